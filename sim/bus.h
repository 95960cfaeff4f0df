// Several transmitters on one line: who they are, and what the line carries when more than one
// of them answers at once. Independent of how the line reaches the master.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/transmitter.h"

namespace tamsu::sim {

struct BusDevice {
  std::string profile;
  DeviceConfig config{};
};

// "PROFILE@ADDRESS[:BAUD[:PROTOCOL]]": address 1..247, a rate with a baud code, a protocol name;
// the rest as `defaults` gives it. nullopt (with why) for anything else.
std::optional<BusDevice> ParseBusDevice(std::string_view text, const DeviceConfig& defaults, std::string* problem);

// One transmitter's reply on the line: when its first byte starts, and its bytes.
struct TimedReply {
  std::chrono::steady_clock::time_point start;
  std::vector<uint8_t> bytes;
};

// What the line carries when several transmitters send at once. Each reply keeps its own start,
// counted in whole byte times from the earliest; where replies overlap their bytes are combined
// as on a line driven low by any sender (bitwise AND), so two answers become one corrupt run
// longer than either, never one of them whole.
TimedReply Collide(const std::vector<TimedReply>& replies, std::chrono::steady_clock::duration byteTime);

}  // namespace tamsu::sim
