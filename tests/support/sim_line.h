// A simulated transmitter behind a link of its own, with no display. From a profile: address 1,
// 9600 baud, plain Modbus, values held still, the line open to it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "serial/link.h"
#include "sim/simulator.h"
#include "tests/support/recording_sink.h"

namespace tamsu::test {

// A request as (function, register, count or value).
struct Request {
  int function, reg, word;
  bool operator==(const Request&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Request& r) {
  return out << "{fn " << r.function << ", reg 0x" << std::hex << r.reg << ", 0x" << r.word << std::dec << "}";
}

inline Request Read(int reg, int count = 1) { return {0x03, reg, count}; }
inline Request Write(int reg, int value) { return {0x06, reg, value}; }

// Puts a value into the simulated transmitter: above 0xFFFF into two registers, high word first.
inline bool Hold(sim::TransmitterSimulator& sim, uint16_t reg, uint32_t value) {
  return value > 0xFFFF ? sim.SetRegister32(reg, value) : sim.SetRegister(reg, static_cast<uint16_t>(value));
}

class SimLine {
 public:
  explicit SimLine(const std::string& profile) : SimLine(Options(profile), true) {}
  SimLine(const sim::SimulatorOptions& options, bool open) : simulator_(options) {
    std::string error;
    EXPECT_TRUE(simulator_.Start(&error)) << error;
    if (!open) return;
    EXPECT_EQ(link_.ReopenPort(simulator_.PortPath(), 9600), 1);
    link_.CurrentAddress = 1;
  }

  sim::TransmitterSimulator& Sim() { return simulator_; }
  Link& GetLink() { return link_; }
  RecordingSink& Sink() { return sink_; }

  // The requests heard since the last call.
  std::vector<Request> TakeRequests() {
    std::vector<Request> out;
    for (const std::vector<uint8_t>& b : TakeFrames())
      if (b.size() >= 6) out.push_back({b[1], b[2] << 8 | b[3], b[4] << 8 | b[5]});
    return out;
  }
  // The same, byte for byte.
  std::vector<std::vector<uint8_t>> TakeFrames() {
    std::vector<std::vector<uint8_t>> out;
    for (const sim::LogEntry& entry : simulator_.RequestLog()) out.push_back(entry.request);
    simulator_.ClearLog();
    return out;
  }

  std::vector<Box> TakeBoxes() { return std::exchange(sink_.boxes, {}); }

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
