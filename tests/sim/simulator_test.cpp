// The simulator over its pseudo-terminal, driven as the tool drives a port.
#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/sim/line.h"

namespace tamsu::sim {
namespace {

using namespace std::chrono_literals;
using test::CommReadReq;
using test::CommWriteReq;
using test::LegacyReq;
using test::Line;
using test::ReadReq;
using test::WithCrc;
using test::WriteReq;
using Bytes = std::vector<uint8_t>;

SimulatorOptions Options(const char* profile, DeviceConfig device = {}) {
  SimulatorOptions o;
  o.profile = profile;
  o.device = device;
  o.drift = false;
  return o;
}

bool IsFrame(const Bytes& b) {
  if (b.size() < 4) return false;
  const uint16_t crc = Crc16(b.data(), b.size() - 2);
  return b[b.size() - 2] == static_cast<uint8_t>(crc) && b.back() == static_cast<uint8_t>(crc >> 8);
}

TEST(Simulator, ServesRegistersAndSurvivesTheMasterReopening) {
  TransmitterSimulator sim(Options("TemHumKanbanPage"));
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  EXPECT_EQ(sim.PortPath(), sim.DevicePath());

  for (int round = 0; round < 3; ++round) {
    Line line(sim.PortPath(), 9600);
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.Exchange(ReadReq(1, 0x0001, 1)), WithCrc({1, 3, 2, 0x00, 0xE6})) << round;
  }  // each Line closes: the device side must stay healthy for the next open

  // Tests set values the master then reads, and see what the master wrote.
  ASSERT_TRUE(sim.SetRegister(0x0001, 0xFF38));
  EXPECT_FALSE(sim.SetRegister(0x0099, 1));
  Line line(sim.PortPath(), 9600);
  EXPECT_EQ(line.Exchange(ReadReq(1, 0x0001, 1)), WithCrc({1, 3, 2, 0xFF, 0x38}));
  EXPECT_EQ(line.Exchange(WriteReq(1, 0x0030, 0x0163)), WriteReq(1, 0x0030, 0x0163));
  EXPECT_EQ(sim.GetRegister(0x0030), 0x0163);
  EXPECT_EQ(sim.GetRegister(0x0099), std::nullopt);

  // Two requests in one write: two replies, in order.
  Bytes both = ReadReq(1, 0x0000, 1);
  const Bytes second = ReadReq(1, 0x0031, 1);
  both.insert(both.end(), second.begin(), second.end());
  Bytes expected = WithCrc({1, 3, 2, 0x02, 0x26});
  const Bytes r2 = WithCrc({1, 3, 2, 0x00, 0x32});
  expected.insert(expected.end(), r2.begin(), r2.end());
  EXPECT_EQ(line.Exchange(both), expected);

  // The log holds every request with its reply and the rate the master set.
  const auto log = sim.RequestLog();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0].request, ReadReq(1, 0x0001, 1));
  EXPECT_EQ(log[0].reply, WithCrc({1, 3, 2, 0x00, 0xE6}));
  EXPECT_EQ(log[0].lineBaud, 9600u);
  EXPECT_TRUE(log[0].rateMatched);
  EXPECT_LE(log[0].time, log[1].time);
  sim.ClearLog();
  EXPECT_TRUE(sim.RequestLog().empty());
}

TEST(Simulator, AnswersOnlyAtItsOwnRate) {
  TransmitterSimulator sim(Options("generic", {.address = 1, .baud = 4800}));
  ASSERT_TRUE(sim.Start());
  Line line(sim.PortPath(), 2400);
  // At another rate: noise that no exchange accepts.
  const Bytes noise = line.Exchange(LegacyReq(0, 0));
  EXPECT_FALSE(noise.empty());
  EXPECT_FALSE(IsFrame(noise));
  EXPECT_FALSE(ParseLegacyReply(noise.data(), noise.size()));
  ASSERT_TRUE(sim.WaitForRequests(1, 1s));
  EXPECT_FALSE(sim.RequestLog()[0].rateMatched);
  EXPECT_EQ(sim.RequestLog()[0].lineBaud, 2400u);

  sim.SetMismatch(Mismatch::Silence);
  EXPECT_TRUE(line.Exchange(ReadReq(1, 0, 1), 300ms).empty());

  line.SetBaud(4800);
  EXPECT_EQ(line.Exchange(LegacyReq(0, 0)), WithCrc({0xFD, 0xFD, 0xFD, 2, 1}));
}

TEST(Simulator, LegacyBaudAndAddressChangesTakeEffectAfterTheReply) {
  TransmitterSimulator sim(Options("TemperaturePage"));
  ASSERT_TRUE(sim.Start());
  Line line(sim.PortPath(), 9600);
  // The reply still comes at the old rate...
  EXPECT_EQ(line.Exchange(LegacyReq(1, 0)), WithCrc({0xFD, 0xFD, 0xFD, 1, 1}));
  EXPECT_EQ(sim.Config().baud, 2400u);
  // ...and from then on the device is at the new one.
  EXPECT_FALSE(IsFrame(line.Exchange(LegacyReq(0, 0))));
  line.SetBaud(2400);
  EXPECT_EQ(line.Exchange(LegacyReq(0, 9)), WithCrc({0xFD, 0xFD, 0xFD, 1, 9}));
  EXPECT_TRUE(line.Exchange(ReadReq(1, 1, 1), 200ms).empty());
  EXPECT_EQ(line.Exchange(ReadReq(9, 1, 1)), WithCrc({9, 3, 2, 0x00, 0xE6}));
}

TEST(Simulator, CommBlockWriteMovesTheDevice) {
  TransmitterSimulator sim(Options("generic", {.address = 1, .baud = 9600, .protocol = Protocol::Any255}));
  ASSERT_TRUE(sim.Start());
  Line line(sim.PortPath(), 9600);
  EXPECT_TRUE(line.Exchange(LegacyReq(0, 0), 200ms).empty());  // not a legacy device
  const Bytes block = line.Exchange(CommReadReq(255));
  auto parsed = ParseCommParamReply(block.data(), block.size());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->address, 1);
  EXPECT_EQ(parsed->CommReg4, 1);

  const Bytes ack = line.Exchange(CommWriteReq(255, 20, 2));
  EXPECT_TRUE(CheckReplyCrc(ack.data(), ack.size()));
  EXPECT_EQ(sim.Config().address, 20);
  EXPECT_EQ(sim.Config().baud, 4800u);
  line.SetBaud(4800);
  EXPECT_TRUE(line.Exchange(ReadReq(1, 0x0200, 1), 200ms).empty());
  EXPECT_EQ(line.Exchange(ReadReq(20, 0x0200, 2)), WithCrc({20, 3, 4, 0, 20, 0, 2}));
}

TEST(Simulator, ResynchronisesOnSilenceAfterGarbage) {
  TransmitterSimulator sim(Options("generic"));
  ASSERT_TRUE(sim.Start());
  Line line(sim.PortPath(), 9600);
  // A good request right behind garbage is lost with it, as on a real line...
  Bytes garbage = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
  const Bytes good = ReadReq(1, 0, 1);
  Bytes both = garbage;
  both.insert(both.end(), good.begin(), good.end());
  EXPECT_TRUE(line.Exchange(both, 200ms).empty());
  // ...and once the line has been quiet the next one is answered.
  EXPECT_EQ(line.Exchange(good), WithCrc({1, 3, 2, 0, 0}));
  // An unknown function is framed by silence and refused.
  EXPECT_EQ(line.Exchange(WithCrc({1, 0x2B, 0x0E, 0x01, 0x00})), ExceptionReply(1, 0x2B, kIllegalFunction));
}

struct FaultCase {
  const char* name;
  Fault fault;
};

TEST(Simulator, EveryFaultKind) {
  TransmitterSimulator sim(Options("generic"));
  ASSERT_TRUE(sim.Start());
  Line line(sim.PortPath(), 9600);
  const Bytes write = WriteReq(1, 0x0010, 5);

  // Silence: nothing back, and the write never happened.
  sim.AddFault({.kind = FaultKind::Silence});
  EXPECT_TRUE(line.Exchange(write, 200ms).empty());
  EXPECT_EQ(sim.GetRegister(0x0010), 0);
  EXPECT_EQ(line.Exchange(write), write);  // one request only

  // Exception with a chosen code, also without effect.
  sim.AddFault({.kind = FaultKind::Exception, .code = 6});
  EXPECT_EQ(line.Exchange(WriteReq(1, 0x0010, 9)), ExceptionReply(1, 0x06, 6));
  EXPECT_EQ(sim.GetRegister(0x0010), 5);

  // Bad CRC: the bytes of the reply with a spoiled check value.
  sim.AddFault({.kind = FaultKind::BadCrc});
  Bytes spoiled = line.Exchange(ReadReq(1, 0x0010, 1));
  ASSERT_EQ(spoiled.size(), 7u);
  EXPECT_FALSE(IsFrame(spoiled));
  EXPECT_EQ(Bytes(spoiled.begin(), spoiled.begin() + 5), Bytes({1, 3, 2, 0, 5}));

  // Wrong address: a good frame from the next address.
  sim.AddFault({.kind = FaultKind::WrongAddress});
  EXPECT_EQ(line.Exchange(ReadReq(1, 0x0010, 1)), WithCrc({2, 3, 2, 0, 5}));

  // Garbage: noise of the reply's size.
  sim.AddFault({.kind = FaultKind::Garbage});
  EXPECT_FALSE(IsFrame(line.Exchange(ReadReq(1, 0x0010, 1))));

  // Delay: nothing in the first part of the delay, the whole reply after it.
  sim.AddFault({.kind = FaultKind::Delay, .millis = 400});
  line.Send(ReadReq(1, 0x0010, 1));
  EXPECT_TRUE(line.Receive(40ms, 150ms).empty());
  EXPECT_EQ(line.Receive(40ms, 2s), WithCrc({1, 3, 2, 0, 5}));

  // Split: two bursts with a gap longer than a receiver's silence.
  sim.AddFault({.kind = FaultKind::Split, .millis = 300});
  line.Send(ReadReq(1, 0x0010, 1));
  const Bytes first = line.Receive(100ms, 1s);
  const Bytes rest = line.Receive(100ms, 2s);
  EXPECT_EQ(first.size() + rest.size(), 7u);
  EXPECT_FALSE(first.empty());
  EXPECT_FALSE(rest.empty());
  Bytes joined = first;
  joined.insert(joined.end(), rest.begin(), rest.end());
  EXPECT_EQ(joined, WithCrc({1, 3, 2, 0, 5}));

  // Counts: the next two requests, then clean; faults queue in order; "always" stays.
  sim.AddFault({.kind = FaultKind::Silence, .count = 2});
  sim.AddFault({.kind = FaultKind::WrongAddress});
  EXPECT_TRUE(line.Exchange(ReadReq(1, 0x0010, 1), 150ms).empty());
  EXPECT_TRUE(line.Exchange(ReadReq(1, 0x0010, 1), 150ms).empty());
  EXPECT_EQ(line.Exchange(ReadReq(1, 0x0010, 1))[0], 2);
  EXPECT_EQ(line.Exchange(ReadReq(1, 0x0010, 1))[0], 1);
  sim.AddFault({.kind = FaultKind::BadCrc, .count = kAlways});
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(IsFrame(line.Exchange(ReadReq(1, 0x0010, 1))));
  sim.ClearFaults();
  EXPECT_TRUE(IsFrame(line.Exchange(ReadReq(1, 0x0010, 1))));
  // Requests for other devices do not use up a fault.
  sim.AddFault({.kind = FaultKind::Silence});
  EXPECT_TRUE(line.Exchange(ReadReq(7, 0x0010, 1), 150ms).empty());
  EXPECT_TRUE(line.Exchange(ReadReq(1, 0x0010, 1), 150ms).empty());
}

TEST(ParseFault, CommandLineForms) {
  auto f = ParseFault("delay:250@3");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->kind, FaultKind::Delay);
  EXPECT_EQ(f->millis, 250);
  EXPECT_EQ(f->count, 3);
  f = ParseFault("exception:2");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, 2);
  EXPECT_EQ(f->count, kAlways);
  EXPECT_TRUE(ParseFault("silence@always"));
  EXPECT_FALSE(ParseFault("silence:5"));
  EXPECT_FALSE(ParseFault("exception:300"));
  EXPECT_FALSE(ParseFault("delay:-1"));
  EXPECT_FALSE(ParseFault("badcrc@0"));
  EXPECT_FALSE(ParseFault("noise"));
}

class PublishedPort : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tamsu-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    dir_ = root_ + "/tamsu-tools/ports";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  SimulatorOptions Published() {
    SimulatorOptions o = Options("generic");
    o.publish = true;
    o.portDirectory = dir_;
    return o;
  }
  std::string root_;
  std::string dir_;
};

TEST_F(PublishedPort, LinkCreatedPrivateTakenOverWhenStaleAndRemovedOnStop) {
  // A link a killed simulator left behind.
  std::filesystem::create_directories(dir_);
  ASSERT_EQ(symlink("/dev/pts/does-not-exist", (dir_ + "/sim-ttyV0").c_str()), 0);
  std::filesystem::remove_all(root_ + "/tamsu-tools");

  TransmitterSimulator a(Published());
  std::string error;
  ASSERT_TRUE(a.Start(&error)) << error;
  struct stat st{};
  ASSERT_EQ(stat(dir_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(a.LinkPath(), dir_ + "/sim-ttyV0");
  EXPECT_EQ(std::filesystem::read_symlink(a.LinkPath()), a.DevicePath());
  EXPECT_EQ(a.PortPath(), a.LinkPath());
  {
    Line line(a.PortPath(), 9600);
    EXPECT_EQ(line.Exchange(ReadReq(1, 0, 1)), WithCrc({1, 3, 2, 0, 0}));
  }

  // A stale link is taken over, a live one is not.
  std::filesystem::remove(a.LinkPath());
  ASSERT_EQ(symlink("/dev/pts/does-not-exist", (dir_ + "/sim-ttyV0").c_str()), 0);
  TransmitterSimulator b(Published());
  ASSERT_TRUE(b.Start());
  EXPECT_EQ(b.LinkPath(), dir_ + "/sim-ttyV0");
  TransmitterSimulator c(Published());
  ASSERT_TRUE(c.Start());
  EXPECT_EQ(c.LinkPath(), dir_ + "/sim-ttyV1");

  const std::string link = c.LinkPath();
  c.Stop();
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(c.LinkPath().empty());
  c.Stop();  // twice is harmless

  // A link someone else put in place of ours is left alone.
  const std::string bl = b.LinkPath();
  std::filesystem::remove(bl);
  ASSERT_EQ(symlink("/dev/null", bl.c_str()), 0);
  b.Stop();
  EXPECT_TRUE(std::filesystem::is_symlink(bl));
}

TEST(Simulator, RefusesAnUnknownProfile) {
  TransmitterSimulator sim(Options("NoSuchPage"));
  std::string error;
  EXPECT_FALSE(sim.Start(&error));
  EXPECT_NE(error.find("NoSuchPage"), std::string::npos);
  EXPECT_FALSE(sim.Running());
}

}  // namespace
}  // namespace tamsu::sim
