// A simulated transmitter behind a link of its own, with no display. From a profile: address 1,
// 9600 baud, plain Modbus, values held still, the line open to it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "modbus/frame_text.h"
#include "modbus/line_record.h"
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

// `requests` as the tool meant them: each request the link asked for again because a reply was
// in doubt (two equal replies close together: a sane transmitter sees those once more), as the
// line traffic since line `after` says, is taken out where it follows itself.
inline void WithoutRepeats(std::vector<std::vector<uint8_t>>& requests, const LineRecord& traffic, uint64_t after) {
  for (const LineRecord::Line& line : traffic.Since(after)) {
    if (line.text.find("(asked again") == std::string::npos) continue;
    for (size_t i = 1; i < requests.size(); ++i)
      if (requests[i] == requests[i - 1] &&
          line.text.find(HexBytes(requests[i].data(), requests[i].size())) != std::string::npos) {
        requests.erase(requests.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
  }
}

class SimLine {
 public:
  explicit SimLine(const std::string& profile) : SimLine(Options(profile), true) {}
  SimLine(const sim::SimulatorOptions& options, bool open) : simulator_(options) {
    std::string error;
    EXPECT_TRUE(simulator_.Start(&error)) << error;
    link_.SetObserver(&traffic_);
    if (!open) return;
    EXPECT_EQ(link_.ReopenPort(simulator_.PortPath(), 9600), 1);
    link_.CurrentAddress = 1;
  }

  sim::TransmitterSimulator& Sim() { return simulator_; }
  Link& GetLink() { return link_; }
  // The line's traffic as the link told it.
  LineRecord& Traffic() { return traffic_; }
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
    // Whoever watches the line now (the window sets its own record).
    if (const auto* traffic = dynamic_cast<const LineRecord*>(link_.Observer())) {
      const uint64_t after = traffic == seenIn_ ? seen_ : 0;
      WithoutRepeats(out, *traffic, after);
      seenIn_ = traffic;
      seen_ = traffic->LastSeq();
    }
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
  LineRecord traffic_;  // outlives the link that tells it
  Link link_;
  const LineRecord* seenIn_ = nullptr;
  uint64_t seen_ = 0;
  RecordingSink sink_;
};

}  // namespace tamsu::test
