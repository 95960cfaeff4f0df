// The device's answers byte for byte, without a line.
#include "sim/transmitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "sim/profile.h"
#include "tests/sim/line.h"

namespace tamsu::sim {
namespace {

using namespace test;

Transmitter Make(const char* profile, DeviceConfig config = {}) {
  Transmitter t(*FindProfile(profile), config);
  t.Registers().SetDrift(false);
  return t;
}

Answer Send(Transmitter& t, const Bytes& frame) { return t.Handle(frame.data(), frame.size(), 0); }

TEST(RequestLength, ByFunctionLayout) {
  const std::pair<Bytes, size_t> cases[] = {
      {{0x01}, kNeedMore}, {{0x01, 0x03}, 8}, {{0x01, 0x06}, 8}, {{0x01, 0x10, 0, 0, 0, 2}, kNeedMore},
      {{0x01, 0x10, 0, 0, 0, 2, 4}, 13}, {{0xFD, 0xFD}, kNeedMore}, {{0xFD, 0xFD, 0xFD}, 7},
      {{0xFD, 0xFD, 0x00}, kBySilence},  // address 253, unknown function
      {{0x01, 0x2B}, kBySilence}};
  for (const auto& [bytes, length] : cases) EXPECT_EQ(RequestLength(bytes.data(), bytes.size()), length);
}

TEST(Transmitter, ReadsWritesAndConformingExceptions) {
  Transmitter t = Make("TemHumKanbanPage");
  EXPECT_EQ(Send(t, ReadReq(1, 0, 2)).reply, WithCrc({1, 3, 4, 0x02, 0x26, 0x00, 0xE6}));  // humidity, temperature
  const Bytes w = WriteReq(1, 0x0030, 0xFFCE);  // a settable limit: the echo, and the value afterwards
  EXPECT_EQ(Send(t, w).reply, w);
  EXPECT_EQ(t.ReadRegister(0x0030, 0), 0xFFCE);
  EXPECT_EQ(Send(t, WriteTwoReq(1, 0x0050, 3, 0xFFFD)).reply, WithCrc({1, 0x10, 0, 0x50, 0, 2}));
  EXPECT_EQ(t.ReadRegister(0x0051, 0), 0xFFFD);
  const std::pair<Bytes, Bytes> refused[] = {
      // Measured values are not writable, absent registers do not exist, one missing register
      // spoils a whole block: illegal data address.
      {WriteReq(1, 0x0001, 5), ExceptionReply(1, 0x06, kIllegalDataAddress)},
      {ReadReq(1, 0x0038, 1), ExceptionReply(1, 0x03, kIllegalDataAddress)},
      {ReadReq(1, 0x0000, 3), ExceptionReply(1, 0x03, kIllegalDataAddress)},
      // Counts outside 1..125 or a byte count that does not match: illegal data value, before the address check.
      {ReadReq(1, 0x0000, 0), ExceptionReply(1, 0x03, kIllegalDataValue)},
      {ReadReq(1, 0x0000, 126), ExceptionReply(1, 0x03, kIllegalDataValue)},
      {WithCrc({1, 0x10, 0, 0x30, 0, 2, 2, 0, 1}), ExceptionReply(1, 0x10, kIllegalDataValue)},
      {WithCrc({1, 0x04, 0, 0, 0, 1}), ExceptionReply(1, 0x04, kIllegalFunction)},
  };
  for (const auto& [request, reply] : refused) EXPECT_EQ(Send(t, request).reply, reply);
  EXPECT_EQ(t.ReadRegister(0x0001, 0), 230);
  EXPECT_EQ(t.ReadRegister(0x0030, 0), 0xFFCE);
}

TEST(Transmitter, RequestsOfTheWrongLengthAreRefusedWithoutReadingPastThem) {
  Transmitter t = Make("generic");  // every register exists and is writable
  const std::pair<Bytes, Bytes> refused[] = {
      {WithCrc({1, 0x06}), ExceptionReply(1, 0x06, kIllegalDataValue)},  // 01 06 80 22: no register, no value
      {WithCrc({1, 0x03, 0, 0}), ExceptionReply(1, 0x03, kIllegalDataValue)},
      {WithCrc({1, 0x03, 0, 0, 0, 1, 0}), ExceptionReply(1, 0x03, kIllegalDataValue)},
      {WithCrc({1, 0x06, 0, 0x10, 0, 5, 9}), ExceptionReply(1, 0x06, kIllegalDataValue)},
      {WithCrc({1, 0x10, 0, 0x10, 0}), ExceptionReply(1, 0x10, kIllegalDataValue)},
      {WithCrc({0, 0x06, 0, 0x10}), {}},  // a broadcast is never answered
  };
  for (const auto& [request, reply] : refused) {
    // An exactly sized copy, so a sanitizer sees any read past the request.
    auto exact = std::make_unique<uint8_t[]>(request.size());
    std::copy(request.begin(), request.end(), exact.get());
    EXPECT_EQ(t.Handle(exact.get(), request.size(), 0).reply, reply) << testing::PrintToString(request);
  }
  for (uint16_t reg : {0x0010, 0x8022}) EXPECT_EQ(t.ReadRegister(reg, 0), 0) << reg;
}

TEST(Transmitter, IgnoresWhatIsNotForItAndTakesBroadcastWrites) {
  Transmitter t = Make("generic");
  Bytes bad = ReadReq(1, 0, 1);
  bad.back() ^= 1;
  for (const Bytes& r : {ReadReq(2, 0, 1), ReadReq(255, 0, 1), CommReadReq(255), bad})  // 255 only in any-address modes
    EXPECT_FALSE(Send(t, r).addressed) << testing::PrintToString(r);
  // Legacy codes it cannot set, and frames that are neither query nor change.
  for (const Bytes& r : {LegacyReq(4, 0), LegacyReq(1, 3)}) EXPECT_TRUE(Send(t, r).reply.empty());
  EXPECT_TRUE(Send(t, ReadReq(0, 0, 1)).reply.empty());  // reads are not broadcast
  EXPECT_TRUE(Send(t, WriteReq(0, 0x1234, 77)).reply.empty());
  EXPECT_EQ(t.ReadRegister(0x1234, 0), 77);
  t.SetConfig({.protocol = Protocol::Modbus});  // the legacy frame is answered only by legacy devices
  EXPECT_FALSE(Send(t, LegacyReq(0, 0)).addressed);
}

TEST(Transmitter, CommParamBlockAt255And0) {
  for (auto [protocol, any] : {std::pair{Protocol::Any255, uint8_t{255}}, std::pair{Protocol::Any0, uint8_t{0}}}) {
    Transmitter t = Make("generic", {.address = 9, .protocol = protocol, .parity = 1, .status4 = 2});
    EXPECT_EQ(Send(t, CommReadReq(any)).reply, WithCrc({any, 3, 10, 0, 9, 0, 3, 0, 1, 0, 0, 0, 2}));
    // Pages in this mode send every request to the any-address.
    EXPECT_EQ(Send(t, WriteReq(any, 0x0005, 42)).reply, WriteReq(any, 0x0005, 42));
    EXPECT_EQ(t.ReadRegister(5, 0), 42);

    Answer w = Send(t, CommWriteReq(any, 20, 1));
    EXPECT_EQ(w.reply, WithCrc({any, 0x10, 0x02, 0x00, 0x00, 0x05}));
    ASSERT_TRUE(w.after);
    EXPECT_EQ(std::tie(w.after->address, w.after->baud, w.after->parity, w.after->status4),
              std::make_tuple(uint8_t{20}, 2400u, uint8_t{0}, uint16_t{1}));
    EXPECT_EQ(t.Config().address, 9);  // the change waits for the reply to leave
    // Illegal values leave the device as it was.
    for (const Bytes& bad : {CommWriteReq(any, 0, 3), CommWriteReq(any, 5, 9)}) {
      Answer a = Send(t, bad);
      EXPECT_EQ(a.reply, ExceptionReply(any, 0x10, kIllegalDataValue));
      EXPECT_FALSE(a.after);
    }
  }
}

TEST(RegisterBank, DriftFollowersAndHeldWrites) {
  RegisterBank bank(*FindProfile("Illum20WTemHumPage"));
  bank.SetDrift(false);  // exact values: 150000 lux, high word first; register 6 in hundreds
  EXPECT_EQ(std::make_tuple(bank.Read(2, 0), bank.Read(3, 0), bank.Read(6, 0)), std::make_tuple(2, 0x49F0, 1500));
  bank.SetDrift(true);
  for (double t = 0; t < 900; t += 7) {
    const uint32_t lux = uint32_t{bank.Read(2, t)} << 16 | bank.Read(3, t);
    EXPECT_GT(lux, 65535u) << t;
    EXPECT_LE(lux, 200000u) << t;
    EXPECT_EQ(bank.Read(6, t), lux / 100) << t;
    EXPECT_NEAR(static_cast<int16_t>(bank.Read(1, t)), 230, 20) << t;
    EXPECT_NEAR(bank.Read(0, t), 550, 50) << t;
  }
  EXPECT_NEAR(bank.Read(1, 100), bank.Read(1, 101), 2);  // a second apart: a few tenths at most
  // A written word holds from then on; the follower follows the new value.
  bank.Write(2, 0x0003, 10);
  bank.Write(3, 0x0D40, 10);
  EXPECT_EQ(std::make_tuple(bank.Read(2, 500), bank.Read(3, 500), bank.Read(6, 500)), std::make_tuple(3, 0x0D40, 2000));

  RegisterBank wind(*FindProfile("WindDirectionPage"));  // turns through every direction
  std::set<uint16_t> seen;
  for (double t = 0; t < 200; t += 5) {
    EXPECT_EQ(wind.Read(1, t), wind.Read(0, t) * 45);
    seen.insert(wind.Read(0, t));
  }
  EXPECT_EQ(seen, (std::set<uint16_t>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(Profiles, NamedOnceGenericFirst) {
  std::set<std::string> names;
  for (const Profile& p : AllProfiles()) EXPECT_TRUE(names.insert(p.name).second) << "twice: " << p.name;
  EXPECT_EQ(AllProfiles().front().name, "generic");
}

}  // namespace
}  // namespace tamsu::sim
