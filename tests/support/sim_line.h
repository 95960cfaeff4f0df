// A simulated transmitter of a page's kind behind a link of its own, with no display: address 1,
// 9600 baud, plain Modbus, values held still, the line open to it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "serial/link.h"
#include "sim/simulator.h"
#include "tests/support/recording_sink.h"

namespace tamsu::test {

class SimLine {
 public:
  explicit SimLine(const std::string& profile) : simulator_(Options(profile)) {
    std::string error;
    EXPECT_TRUE(simulator_.Start(&error)) << error;
    EXPECT_EQ(link_.ReopenPort(simulator_.PortPath(), 9600), 1);
    link_.CurrentAddress = 1;
  }

  sim::TransmitterSimulator& Sim() { return simulator_; }
  Link& GetLink() { return link_; }
  RecordingSink& Sink() { return sink_; }

  // The request frames heard since the last call, byte for byte.
  std::vector<std::vector<uint8_t>> TakeFrames() {
    std::vector<std::vector<uint8_t>> out;
    for (const sim::LogEntry& entry : simulator_.RequestLog()) out.push_back(entry.request);
    simulator_.ClearLog();
    return out;
  }

  static sim::SimulatorOptions Options(const std::string& profile) {
    sim::SimulatorOptions options;
    options.profile = profile;
    options.device = {.address = 1, .baud = 9600, .protocol = sim::Protocol::Modbus};
    options.drift = false;
    return options;
  }

 private:
  sim::TransmitterSimulator simulator_;
  Link link_;
  RecordingSink sink_;
};

}  // namespace tamsu::test
