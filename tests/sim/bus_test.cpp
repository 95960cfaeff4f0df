// Several transmitters on one simulated line: how they are named, and what their answers at
// once become on the line.
#include "sim/bus.h"

#include <gtest/gtest.h>

#include <random>

#include "modbus/frames.h"

namespace tamsu::sim {
namespace {

TEST(BusTest, AnswersAtOnceBecomeOneRunCombinedByteByByte) {
  using std::chrono::microseconds;
  const auto byte = microseconds(1042);
  const std::chrono::steady_clock::time_point t0{};
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    // Two answers to one read of register 0 at one address, as two transmitters would send them.
    std::vector<uint8_t> a{1, 3, 2, static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), 0, 0};
    std::vector<uint8_t> b{1, 3, 2, static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), 0, 0};
    AppendCrc(a.data(), 5);
    AppendCrc(b.data(), 5);
    // Alone, a reply goes out as it is.
    EXPECT_EQ(Collide({{t0, a}}, byte).bytes, a);
    // A second one a byte or two later overlaps it: the run is longer than any answer.
    const int late = 1 + static_cast<int>(random() % 2);
    const TimedReply line = Collide({{t0, a}, {t0 + late * byte, b}}, byte);
    EXPECT_EQ(line.start, t0);
    ASSERT_EQ(line.bytes.size(), 7u + static_cast<size_t>(late));
    for (size_t i = 0; i < line.bytes.size(); ++i) {
      const uint8_t fromA = i < 7 ? a[i] : 0xFF;
      const uint8_t fromB = i >= static_cast<size_t>(late) && i - late < 7 ? b[i - late] : 0xFF;
      EXPECT_EQ(line.bytes[i], fromA & fromB);
    }
  }
}

TEST(BusTest, DeviceTextsAreReadWholeOrRefused) {
  const DeviceConfig defaults{.address = 1, .baud = 9600, .protocol = Protocol::Modbus};
  std::string problem;
  auto d = ParseBusDevice("TemHumPage@12", defaults, &problem);
  ASSERT_TRUE(d) << problem;
  EXPECT_EQ(d->profile, "TemHumPage");
  EXPECT_EQ(d->config.address, 12);
  EXPECT_EQ(d->config.baud, 9600u);
  d = ParseBusDevice("generic@247:4800:any255", defaults, &problem);
  ASSERT_TRUE(d) << problem;
  EXPECT_EQ(d->config.baud, 4800u);
  EXPECT_EQ(d->config.protocol, Protocol::Any255);
  for (const char* bad : {"TemHumPage", "@5", "nosuch@5", "generic@0", "generic@248", "generic@5:1234", "generic@5:",
                          "generic@5:9600:odd", "generic@5:9600:modbus:x", "generic@5x"})
    EXPECT_FALSE(ParseBusDevice(bad, defaults, &problem)) << bad;
}

}  // namespace
}  // namespace tamsu::sim
