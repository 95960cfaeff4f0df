// The command-line tool's entry: parses the arguments, runs one subcommand, and returns the
// process's exit status. Streams are handed in so the tests run it in-process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tamsu::cli {

struct Io {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
};

// Exit statuses: success; the device, the line or a file failed; the command line was wrong
// (nothing was sent).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int Run(const std::vector<std::string>& args, Io& io);

}  // namespace tamsu::cli
