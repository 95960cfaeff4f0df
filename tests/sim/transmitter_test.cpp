// The device's answers byte for byte, without a line.
#include "sim/transmitter.h"

#include <gtest/gtest.h>

#include <set>

#include "sim/profile.h"
#include "tests/sim/line.h"

namespace tamsu::sim {
namespace {

using test::CommReadReq;
using test::CommWriteReq;
using test::LegacyReq;
using test::ReadReq;
using test::WithCrc;
using test::WriteReq;
using test::WriteTwoReq;
using Bytes = std::vector<uint8_t>;

Transmitter Make(const char* profile, DeviceConfig config = {}) {
  const Profile* p = FindProfile(profile);
  EXPECT_NE(p, nullptr) << profile;
  Transmitter t(*p, config);
  t.Registers().SetDrift(false);
  return t;
}

Answer Send(Transmitter& t, const Bytes& frame, double at = 0) { return t.Handle(frame.data(), frame.size(), at); }

TEST(RequestLength, ByFunctionLayout) {
  auto len = [](Bytes b) { return RequestLength(b.data(), b.size()); };
  EXPECT_EQ(len({0x01}), kNeedMore);
  EXPECT_EQ(len({0x01, 0x03}), 8u);
  EXPECT_EQ(len({0x01, 0x06}), 8u);
  EXPECT_EQ(len({0x01, 0x10, 0, 0, 0, 2}), kNeedMore);
  EXPECT_EQ(len({0x01, 0x10, 0, 0, 0, 2, 4}), 13u);
  EXPECT_EQ(len({0xFD, 0xFD}), kNeedMore);
  EXPECT_EQ(len({0xFD, 0xFD, 0xFD}), 7u);
  EXPECT_EQ(len({0xFD, 0xFD, 0x00}), kBySilence);  // address 253, unknown function
  EXPECT_EQ(len({0x01, 0x2B}), kBySilence);
}

TEST(Transmitter, ReadsWritesAndConformingExceptions) {
  Transmitter t = Make("TemHumKanbanPage");
  // Read of two registers: humidity then temperature.
  Answer a = Send(t, ReadReq(1, 0, 2));
  EXPECT_TRUE(a.addressed);
  EXPECT_EQ(a.reply, WithCrc({1, 3, 4, 0x02, 0x26, 0x00, 0xE6}));

  // A settable limit: the echo, and the value afterwards.
  const Bytes w = WriteReq(1, 0x0030, 0xFFCE);
  EXPECT_EQ(Send(t, w).reply, w);
  EXPECT_EQ(t.ReadRegister(0x0030, 0), 0xFFCE);

  // Measured values are not writable, absent registers do not exist: illegal data address.
  EXPECT_EQ(Send(t, WriteReq(1, 0x0001, 5)).reply, ExceptionReply(1, 0x06, kIllegalDataAddress));
  EXPECT_EQ(t.ReadRegister(0x0001, 0), 230);
  EXPECT_EQ(Send(t, ReadReq(1, 0x0038, 1)).reply, ExceptionReply(1, 0x03, kIllegalDataAddress));
  // One missing register inside a block spoils the whole read.
  EXPECT_EQ(Send(t, ReadReq(1, 0x0000, 3)).reply, ExceptionReply(1, 0x03, kIllegalDataAddress));
  // Counts outside 1..125: illegal data value, before the address check.
  EXPECT_EQ(Send(t, ReadReq(1, 0x0000, 0)).reply, ExceptionReply(1, 0x03, kIllegalDataValue));
  EXPECT_EQ(Send(t, ReadReq(1, 0x0000, 126)).reply, ExceptionReply(1, 0x03, kIllegalDataValue));
  // A function the device lacks.
  EXPECT_EQ(Send(t, WithCrc({1, 0x04, 0, 0, 0, 1})).reply, ExceptionReply(1, 0x04, kIllegalFunction));
  // Write multiple with a byte count that does not match the register count.
  EXPECT_EQ(Send(t, WithCrc({1, 0x10, 0, 0x30, 0, 2, 2, 0, 1})).reply,
            ExceptionReply(1, 0x10, kIllegalDataValue));

  // Two registers in one write: the short reply, both stored.
  EXPECT_EQ(Send(t, WriteTwoReq(1, 0x0050, 3, 0xFFFD)).reply, WithCrc({1, 0x10, 0, 0x50, 0, 2}));
  EXPECT_EQ(t.ReadRegister(0x0050, 0), 3);
  EXPECT_EQ(t.ReadRegister(0x0051, 0), 0xFFFD);
}

TEST(Transmitter, IgnoresOtherAddressesBadCrcAndTakesBroadcastWrites) {
  Transmitter t = Make("generic");
  EXPECT_FALSE(Send(t, ReadReq(2, 0, 1)).addressed);
  EXPECT_FALSE(Send(t, ReadReq(255, 0, 1)).addressed);  // plain Modbus device
  Bytes bad = ReadReq(1, 0, 1);
  bad.back() ^= 1;
  EXPECT_FALSE(Send(t, bad).addressed);
  EXPECT_TRUE(Send(t, ReadReq(0, 0, 1)).reply.empty());  // reads are not broadcast
  Answer b = Send(t, WriteReq(0, 0x1234, 77));
  EXPECT_TRUE(b.reply.empty());
  EXPECT_EQ(t.ReadRegister(0x1234, 0), 77);
  // The legacy frame is answered only by legacy devices.
  DeviceConfig c = t.Config();
  c.protocol = Protocol::Modbus;
  t.SetConfig(c);
  EXPECT_FALSE(Send(t, LegacyReq(0, 0)).addressed);
}

TEST(Transmitter, LegacyQuerySetAddressSetBaud) {
  Transmitter t = Make("TemperaturePage", {.address = 7, .baud = 4800});
  EXPECT_EQ(Send(t, LegacyReq(0, 0)).reply, WithCrc({0xFD, 0xFD, 0xFD, 2, 7}));

  Answer a = Send(t, LegacyReq(0, 12));
  EXPECT_EQ(a.reply, WithCrc({0xFD, 0xFD, 0xFD, 2, 12}));
  ASSERT_TRUE(a.after);
  EXPECT_EQ(a.after->address, 12);
  EXPECT_EQ(t.Config().address, 7);  // the change waits for the reply to leave
  t.SetConfig(*a.after);

  Answer b = Send(t, LegacyReq(1, 0));
  EXPECT_EQ(b.reply, WithCrc({0xFD, 0xFD, 0xFD, 1, 12}));
  ASSERT_TRUE(b.after);
  EXPECT_EQ(b.after->baud, 2400u);
  EXPECT_EQ(t.Config().baud, 4800u);

  // Codes the legacy exchange cannot set, and frames that are neither query nor change.
  EXPECT_TRUE(Send(t, LegacyReq(4, 0)).reply.empty());
  EXPECT_TRUE(Send(t, LegacyReq(1, 3)).reply.empty());
}

TEST(Transmitter, CommParamBlockAt255And0) {
  for (auto [protocol, any] : {std::pair{Protocol::Any255, uint8_t{255}}, std::pair{Protocol::Any0, uint8_t{0}}}) {
    Transmitter t = Make("generic", {.address = 9, .baud = 9600, .protocol = protocol, .parity = 1, .status3 = 0,
                                     .status4 = 2});
    Answer r = Send(t, CommReadReq(any));
    EXPECT_EQ(r.reply, WithCrc({any, 3, 10, 0, 9, 0, 3, 0, 1, 0, 0, 0, 2}));
    auto parsed = ParseCommParamReply(r.reply.data(), r.reply.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->address, 9);
    EXPECT_EQ(parsed->baud, 9600u);

    // Pages in this mode send every request to the any-address.
    EXPECT_EQ(Send(t, WriteReq(any, 0x0005, 42)).reply, WriteReq(any, 0x0005, 42));
    EXPECT_EQ(t.ReadRegister(5, 0), 42);

    Answer w = Send(t, CommWriteReq(any, 20, 1));
    EXPECT_EQ(w.reply, WithCrc({any, 0x10, 0x02, 0x00, 0x00, 0x05}));
    ASSERT_TRUE(w.after);
    EXPECT_EQ(w.after->address, 20);
    EXPECT_EQ(w.after->baud, 2400u);
    EXPECT_EQ(w.after->parity, 0);
    EXPECT_EQ(w.after->status4, 1);
    EXPECT_EQ(t.Config().address, 9);

    // Illegal values leave the device as it was.
    Answer bad = Send(t, CommWriteReq(any, 0, 3));
    EXPECT_EQ(bad.reply, ExceptionReply(any, 0x10, kIllegalDataValue));
    EXPECT_FALSE(bad.after);
    EXPECT_EQ(Send(t, CommWriteReq(any, 5, 9)).reply, ExceptionReply(any, 0x10, kIllegalDataValue));
  }
  // A legacy device has no block at 255.
  Transmitter legacy = Make("generic");
  EXPECT_FALSE(Send(legacy, CommReadReq(255)).addressed);
}

TEST(RegisterBank, ThirtyTwoBitFollowersDriftAndHeldWrites) {
  RegisterBank bank(*FindProfile("Illum20WTemHumPage"));
  // Exact values with drift off: 150000 lux, high word first; register 6 in hundreds.
  bank.SetDrift(false);
  EXPECT_EQ(bank.Read(2, 0), 0x0002);
  EXPECT_EQ(bank.Read(3, 0), 0x49F0);
  EXPECT_EQ(bank.Read(6, 0), 1500);
  bank.SetDrift(true);
  for (double t = 0; t < 900; t += 7) {
    const uint32_t lux = uint32_t{bank.Read(2, t)} << 16 | bank.Read(3, t);
    EXPECT_GT(lux, 65535u) << t;
    EXPECT_LE(lux, 200000u) << t;
    EXPECT_EQ(bank.Read(6, t), lux / 100) << t;
    const auto temp = static_cast<int16_t>(bank.Read(1, t));
    EXPECT_NEAR(temp, 230, 20) << t;
    EXPECT_NEAR(bank.Read(0, t), 550, 50) << t;
  }
  // Values move slowly: a second apart they differ by a few tenths at most.
  EXPECT_NEAR(bank.Read(1, 100), bank.Read(1, 101), 2);

  // A written word holds from then on; the follower follows the new value.
  bank.Write(2, 0x0003, 10);
  bank.Write(3, 0x0D40, 10);
  EXPECT_EQ(bank.Read(2, 500), 0x0003);
  EXPECT_EQ(bank.Read(3, 500), 0x0D40);
  EXPECT_EQ(bank.Read(6, 500), 2000);
}

TEST(Profiles, ClimateTransmittersCarryTheirPagesRegisters) {
  struct Expect {
    const char* name;
    std::set<uint16_t> readable;
    std::set<uint16_t> writable;
  };
  const std::vector<Expect> table = {
      {"TemperaturePage", {1}, {}},
      {"TemHumPage", {0, 1}, {}},
      {"TemHumKanbanPage", {0, 1, 0x30, 0x31, 0x32, 0x35, 0x36, 0x37, 0x50, 0x51},
       {0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x50, 0x51}},
      {"DewTemPage", {0, 1, 2}, {}},
      {"WaterLeakPage", {2}, {}},
      {"SmokePage", {3}, {}},
      {"InfraredPage", {3}, {}},
      {"Illum6WPage", {6}, {}},
      {"Illum20WPage", {2, 3, 6}, {}},
      {"Illum6WTemHumPage", {0, 1, 6}, {}},
      {"Illum20WTemHumPage", {0, 1, 2, 3, 6}, {}},
      {"WindDirectionPage", {0, 1}, {}},
      {"WindSpeedPage", {0}, {}},
  };
  EXPECT_EQ(AllProfiles().front().name, "generic");
  std::set<std::string> names;
  for (const Profile& p : AllProfiles()) EXPECT_TRUE(names.insert(p.name).second) << "twice: " << p.name;
  for (const Expect& e : table) {
    const Profile* p = FindProfile(e.name);
    ASSERT_NE(p, nullptr) << e.name;
    RegisterBank bank(*p);
    for (uint16_t r : e.readable) EXPECT_TRUE(bank.Exists(r)) << e.name << " " << r;
    for (uint32_t r = 0; r < 0x100; ++r) {
      EXPECT_EQ(bank.Writable(static_cast<uint16_t>(r)), e.writable.count(static_cast<uint16_t>(r)) == 1)
          << e.name << " " << r;
    }
  }
  // Alarm detectors start in their normal state.
  EXPECT_EQ(RegisterBank(*FindProfile("WaterLeakPage")).Read(2, 0), 1);
  EXPECT_EQ(RegisterBank(*FindProfile("SmokePage")).Read(3, 0), 0);
}

TEST(Profiles, WindTurnsThroughEveryDirection) {
  RegisterBank bank(*FindProfile("WindDirectionPage"));
  std::set<uint16_t> seen;
  for (double t = 0; t < 200; t += 5) {
    const uint16_t code = bank.Read(0, t);
    EXPECT_LT(code, 8);
    EXPECT_EQ(bank.Read(1, t), code * 45);
    seen.insert(code);
  }
  EXPECT_EQ(seen.size(), 8u);
}

}  // namespace
}  // namespace tamsu::sim
