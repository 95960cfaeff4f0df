// Runs the command-line tool in-process, with its output captured, against simulated
// transmitters on pseudo-terminals.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "sim/simulator.h"

namespace tamsu::test {

struct CliResult {
  int status = -1;
  std::string out, err;
};

inline CliResult RunCli(std::vector<std::string> args, std::istream& in) {
  std::ostringstream out, err;
  cli::Io io{out, err, in};
  CliResult result;
  result.status = cli::Run(args, io);
  result.out = out.str();
  result.err = err.str();
  return result;
}

inline CliResult RunCli(std::vector<std::string> args, const std::string& input = {}) {
  std::istringstream in(input);
  return RunCli(std::move(args), in);
}

// A runtime directory of the test's own, so no other port is listed or taken for the default.
inline void OwnRuntimeDirectory() {
  static bool done = false;
  if (done) return;
  static char dir[] = "/tmp/tamsu-cli-test-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  setenv("XDG_RUNTIME_DIR", dir, 1);
  done = true;
}

inline sim::SimulatorOptions Transmitter(const std::string& profile, uint8_t address = 1, uint32_t baud = 9600,
                                         sim::Protocol protocol = sim::Protocol::Legacy) {
  sim::SimulatorOptions options;
  options.profile = profile;
  options.drift = false;
  options.device.address = address;
  options.device.baud = baud;
  options.device.protocol = protocol;
  return options;
}

// A started simulator; fails the test when it cannot start.
struct Simulated {
  explicit Simulated(const sim::SimulatorOptions& options) : simulator(options) {
    std::string error;
    EXPECT_TRUE(simulator.Start(&error)) << error;
  }
  std::string Port() const { return simulator.PortPath(); }
  size_t Requests() const { return simulator.RequestLog().size(); }
  sim::TransmitterSimulator simulator;
};

}  // namespace tamsu::test
