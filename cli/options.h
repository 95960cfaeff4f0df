// The command line: the subcommand, its words and the options every subcommand shares or its
// own. Numbers are read whole and strictly, so a typo is an error before anything is sent.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tamsu::cli {

enum class Format { Text, Csv, Json };

// The command line was wrong: nothing has been sent.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The port, the device or a file failed.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string command;
  std::vector<std::string> words;  // after the command, in order
  bool help = false;
  bool version = false;

  std::optional<std::string> port;
  std::optional<int> address;
  std::optional<uint32_t> baud;
  Format format = Format::Text;
  bool timing = false;  // the time spent waiting for the line, on standard error at the end

  std::optional<std::string> as;      // raw
  std::optional<double> interval;     // poll, provision --auto: seconds
  std::optional<long> count;          // poll
  std::optional<std::string> record;  // provision
  bool autoNext = false;              // provision
  bool dryRun = false;                // provision: check and tell, open nothing
  // survey: as given, read and checked by the survey before the port opens
  std::optional<std::string> rates, from, to, wait;

  std::vector<std::string> given;  // the long names of the options given, for the command's check
};

Options ParseOptions(const std::vector<std::string>& args);

// A whole integer in [min, max], decimal or 0x hexadecimal; otherwise a UsageError naming
// `what` and the text.
long long ParseInteger(std::string_view text, long long min, long long max, std::string_view what);
// A whole decimal number ("C" rules: "1.5", never "1,5").
double ParseNumber(std::string_view text, std::string_view what);

}  // namespace tamsu::cli
