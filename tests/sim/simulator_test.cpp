// The simulator over its pseudo-terminal, driven as the tool drives a port.
#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "modbus/modbus_master.h"
#include "tests/sim/line.h"

namespace tamsu::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;

SimulatorOptions Options(const char* profile, DeviceConfig device = {}) {
  SimulatorOptions o;
  o.profile = profile;
  o.device = device;
  o.drift = false;
  return o;
}

bool IsFrame(const Bytes& b) { return b.size() >= 4 && CheckReplyCrc(b.data(), b.size()); }

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Simulator, ServesRegistersLogsAndSurvivesTheMasterReopening) {
  TransmitterSimulator sim(Options("TemHumKanbanPage"));
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  EXPECT_EQ(sim.PortPath(), sim.DevicePath());
  for (int round = 0; round < 3; ++round) {  // each Line closes: the device side must stay healthy
    Line line(sim.PortPath(), 9600);
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.Exchange(ReadReq(1, 0x0001, 1)), WithCrc({1, 3, 2, 0x00, 0xE6})) << round;
  }
  // Tests set values the master then reads, and see what the master wrote.
  ASSERT_TRUE(sim.SetRegister(0x0001, 0xFF38));
  EXPECT_FALSE(sim.SetRegister(0x0099, 1));
  Line line(sim.PortPath(), 9600);
  EXPECT_EQ(line.Exchange(ReadReq(1, 0x0001, 1)), WithCrc({1, 3, 2, 0xFF, 0x38}));
  EXPECT_EQ(line.Exchange(WriteReq(1, 0x0030, 0x0163)), WriteReq(1, 0x0030, 0x0163));
  EXPECT_EQ(sim.GetRegister(0x0030), 0x0163);
  EXPECT_EQ(sim.GetRegister(0x0099), std::nullopt);
  // Two requests in one write: two replies, in order.
  EXPECT_EQ(line.Exchange(Cat(ReadReq(1, 0x0000, 1), ReadReq(1, 0x0031, 1))),
            Cat(WithCrc({1, 3, 2, 0x02, 0x26}), WithCrc({1, 3, 2, 0x00, 0x32})));
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

TEST(Simulator, KeepsOnlyTheLatestRequestsButCountsThemAll) {
  SimulatorOptions o = Options("generic");
  o.logCapacity = 2;
  TransmitterSimulator sim(o);
  ASSERT_TRUE(sim.Start());
  Line line(sim.PortPath(), 9600);
  Bytes requests;
  for (uint16_t reg = 0; reg < 5; ++reg) requests = Cat(requests, ReadReq(1, reg, 1));
  line.Send(requests);
  ASSERT_TRUE(sim.WaitForRequests(5, 2s));
  const auto log = sim.RequestLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].request, ReadReq(1, 3, 1));
  EXPECT_EQ(log[1].request, ReadReq(1, 4, 1));
  sim.ClearLog();
  EXPECT_FALSE(sim.WaitForRequests(1, 0ms));
}

TEST(Simulator, AnswersOnlyAtItsOwnRate) {
  TransmitterSimulator sim(Options("generic", {.address = 1, .baud = 4800}));
  ASSERT_TRUE(sim.Start());
  Line line(sim.PortPath(), 2400);
  const Bytes noise = line.Exchange(LegacyReq(0, 0));  // at another rate: noise no exchange accepts
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
  EXPECT_EQ(line.Exchange(LegacyReq(1, 0)), WithCrc({0xFD, 0xFD, 0xFD, 1, 1}));  // still at the old rate...
  EXPECT_EQ(sim.Config().baud, 2400u);
  EXPECT_FALSE(IsFrame(line.Exchange(LegacyReq(0, 0))));  // ...and from then on at the new one
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
  EXPECT_TRUE(IsFrame(line.Exchange(CommWriteReq(255, 20, 2))));
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
  EXPECT_TRUE(line.Exchange(Cat({1, 3, 0, 0, 0, 1, 0, 0}, ReadReq(1, 0, 1)), 200ms).empty());
  // ...and once the line has been quiet the next one is answered.
  EXPECT_EQ(line.Exchange(ReadReq(1, 0, 1)), WithCrc({1, 3, 2, 0, 0}));
  // An unknown function is framed by silence and refused.
  EXPECT_EQ(line.Exchange(WithCrc({1, 0x2B, 0x0E, 0x01, 0x00})), ExceptionReply(1, 0x2B, kIllegalFunction));
}

TEST(Simulator, EveryFaultKind) {
  TransmitterSimulator sim(Options("generic"));
  ASSERT_TRUE(sim.Start());
  Line line(sim.PortPath(), 9600);
  const Bytes write = WriteReq(1, 0x0010, 5), read = ReadReq(1, 0x0010, 1), good = WithCrc({1, 3, 2, 0, 5});
  // Silence and exceptions: the request has no effect.
  sim.AddFault({.kind = FaultKind::Silence});
  EXPECT_TRUE(line.Exchange(write, 200ms).empty());
  EXPECT_EQ(sim.GetRegister(0x0010), 0);
  EXPECT_EQ(line.Exchange(write), write);  // one request only
  sim.AddFault({.kind = FaultKind::Exception, .code = 6});
  EXPECT_EQ(line.Exchange(WriteReq(1, 0x0010, 9)), ExceptionReply(1, 0x06, 6));
  EXPECT_EQ(sim.GetRegister(0x0010), 5);
  sim.AddFault({.kind = FaultKind::BadCrc});  // the reply's bytes with a spoiled check value
  const Bytes spoiled = line.Exchange(read);
  EXPECT_FALSE(IsFrame(spoiled));
  EXPECT_EQ(spoiled.size(), 7u);
  EXPECT_EQ(Bytes(spoiled.begin(), spoiled.begin() + 5), Bytes(good.begin(), good.begin() + 5));
  sim.AddFault({.kind = FaultKind::WrongAddress});  // a good frame from the next address
  EXPECT_EQ(line.Exchange(read), WithCrc({2, 3, 2, 0, 5}));
  sim.AddFault({.kind = FaultKind::Garbage});
  EXPECT_FALSE(IsFrame(line.Exchange(read)));
  // Delay: nothing in the first part of the delay, the whole reply after it.
  sim.AddFault({.kind = FaultKind::Delay, .millis = 400});
  line.Send(read);
  EXPECT_TRUE(line.Receive(40ms, 150ms).empty());
  EXPECT_EQ(line.Receive(40ms, 2s), good);
  // Split: two bursts with a gap longer than a receiver's silence.
  sim.AddFault({.kind = FaultKind::Split, .millis = 300});
  line.Send(read);
  const Bytes first = line.Receive(100ms, 1s), rest = line.Receive(100ms, 2s);
  EXPECT_FALSE(first.empty());
  EXPECT_FALSE(rest.empty());
  EXPECT_EQ(Cat(first, rest), good);
  // Twice: the same reply again after the gap; endless: the reply, then a byte every 20 ms.
  sim.AddFault({.kind = FaultKind::Twice, .millis = 200});
  line.Send(read);
  EXPECT_EQ(line.Receive(40ms, 1s), good);
  EXPECT_EQ(line.Receive(40ms, 1s), good);
  sim.AddFault({.kind = FaultKind::Endless, .millis = 300});
  line.Send(read);
  const Bytes endless = line.Receive(60ms, 2s);
  EXPECT_GE(endless.size(), good.size() + 12);
  EXPECT_EQ(Bytes(endless.begin(), endless.begin() + 7), good);
  // Counts: the next two requests, then clean; faults queue in order; "always" stays.
  sim.AddFault({.kind = FaultKind::Silence, .count = 2});
  sim.AddFault({.kind = FaultKind::WrongAddress});
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(line.Exchange(read, 150ms).empty());
  EXPECT_EQ(line.Exchange(read)[0], 2);
  EXPECT_EQ(line.Exchange(read), good);
  sim.AddFault({.kind = FaultKind::BadCrc, .count = kAlways});
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(IsFrame(line.Exchange(read)));
  sim.ClearFaults();
  EXPECT_EQ(line.Exchange(read), good);
  // Requests for other devices do not use up a fault.
  sim.AddFault({.kind = FaultKind::Silence});
  EXPECT_TRUE(line.Exchange(ReadReq(7, 0x0010, 1), 150ms).empty());
  EXPECT_TRUE(line.Exchange(read, 150ms).empty());
}

TEST(Simulator, ParsesFaultsAndRefusesAnUnknownProfile) {
  auto f = ParseFault("delay:250@3");
  ASSERT_TRUE(f);
  EXPECT_EQ(std::tie(f->kind, f->millis, f->count), std::make_tuple(FaultKind::Delay, 250, 3));
  f = ParseFault("exception:2");
  ASSERT_TRUE(f);
  EXPECT_EQ(std::tie(f->code, f->count), std::make_tuple(uint8_t{2}, kAlways));
  EXPECT_TRUE(ParseFault("silence@always"));
  f = ParseFault("endless");
  ASSERT_TRUE(f);
  EXPECT_EQ(std::tie(f->kind, f->millis), std::make_tuple(FaultKind::Endless, 5000));
  f = ParseFault("twice:40@1");
  ASSERT_TRUE(f);
  EXPECT_EQ(std::tie(f->kind, f->millis, f->count), std::make_tuple(FaultKind::Twice, 40, 1));
  for (const char* bad : {"silence:5", "exception:300", "delay:-1", "badcrc@0", "noise"}) EXPECT_FALSE(ParseFault(bad));

  TransmitterSimulator sim(Options("NoSuchPage"));
  std::string error;
  EXPECT_FALSE(sim.Start(&error));
  EXPECT_NE(error.find("NoSuchPage"), std::string::npos);
  EXPECT_FALSE(sim.Running());
}

TEST(Simulator, PublishedLinkPrivateTakenOverWhenStaleAndRemovedOnStop) {
  char tmpl[] = "/tmp/tamsu-sim-test-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string root = tmpl, dir = root + "/tamsu-tools/ports", v0 = dir + "/sim-ttyV0";
  SimulatorOptions o = Options("generic");
  o.publish = true;
  o.portDirectory = dir;
  TransmitterSimulator a(o);  // creates the directory, private
  std::string error;
  ASSERT_TRUE(a.Start(&error)) << error;
  struct stat st{};
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(a.LinkPath(), v0);
  EXPECT_EQ(a.PortPath(), a.LinkPath());
  EXPECT_EQ(std::filesystem::read_symlink(v0), a.DevicePath());
  EXPECT_EQ(Line(a.PortPath(), 9600).Exchange(ReadReq(1, 0, 1)), WithCrc({1, 3, 2, 0, 0}));
  // A stale link (a killed simulator's) is taken over, a live one is not.
  std::filesystem::remove(v0);
  ASSERT_EQ(symlink("/dev/pts/does-not-exist", v0.c_str()), 0);
  TransmitterSimulator b(o), c(o);
  ASSERT_TRUE(b.Start() && c.Start());
  EXPECT_EQ(b.LinkPath(), v0);
  EXPECT_EQ(c.LinkPath(), dir + "/sim-ttyV1");
  c.Stop();
  EXPECT_FALSE(std::filesystem::is_symlink(dir + "/sim-ttyV1"));
  EXPECT_TRUE(c.LinkPath().empty());
  c.Stop();  // twice is harmless
  // A link someone else put in place of ours is left alone.
  std::filesystem::remove(v0);
  ASSERT_EQ(symlink("/dev/null", v0.c_str()), 0);
  b.Stop();
  EXPECT_TRUE(std::filesystem::is_symlink(v0));
  std::filesystem::remove_all(root);
}

TEST(Simulator, RefusesToPublishIntoADirectoryOthersCanWrite) {
  char tmpl[] = "/tmp/tamsu-sim-test-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string root = tmpl, dir = root + "/ports";
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  ASSERT_EQ(chmod(dir.c_str(), 0777), 0);  // as someone who made it first would leave it
  SimulatorOptions o = Options("generic");
  o.publish = true;
  o.portDirectory = dir;
  TransmitterSimulator sim(o);
  std::string error;
  EXPECT_FALSE(sim.Start(&error));
  EXPECT_NE(error.find("refusing the port directory " + dir), std::string::npos) << error;
  EXPECT_NE(error.find("chmod 700 " + dir), std::string::npos) << error;
  EXPECT_FALSE(sim.Running());
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  std::filesystem::remove_all(root);
}

// The tool reads the right values from the simulator however either end frames and paces:
// at the last byte or by silence, on an instant line or at 9600 baud with a turnaround.
TEST(Simulator, TheToolReadsItInEveryFramingAndPace) {
  for (const bool pace : {false, true}) {
    for (const Completion device : {Completion::AtLastByte, Completion::BySilence}) {
      for (const Completion tool : {Completion::AtLastByte, Completion::BySilence}) {
        SCOPED_TRACE(testing::Message() << "pace " << pace << ", device " << int(device) << ", tool " << int(tool));
        // A loaded machine may hold the simulator up mid-reply for longer than the frame gap,
        // which breaks the frame as it would on a real line: only then is a run tried again.
        for (int attempt = 1;; ++attempt) {
          SimulatorOptions o = Options("TemHumKanbanPage", {.address = 1, .baud = 9600, .protocol = Protocol::Modbus});
          o.pace = pace;
          o.completion = device;
          o.turnaround = 2ms;
          TransmitterSimulator sim(o);
          ASSERT_TRUE(sim.Start());
          Link link;
          link.SetCompletion(tool);
          ModbusMaster master(link);
          ASSERT_EQ(link.ReopenPort(sim.PortPath(), 9600), 1);
          link.CurrentAddress = 1;
          uint32_t both = 0;
          uint16_t value = 0;
          const uint8_t read32 = master.ReadRegister32(0x0000, both);
          const uint8_t write = master.WriteRegister(0x0030, 355);
          const uint8_t read = master.ReadRegister(0x0030, value);
          const bool right = read32 == kSuccess && both == (550u << 16 | 230u) && write == kSuccess &&
                             read == kSuccess && value == 355;
          if (!right && attempt < 3 && sim.MostLateByte() >= 20ms) continue;
          EXPECT_EQ(read32, kSuccess);
          EXPECT_EQ(both, 550u << 16 | 230u);
          EXPECT_EQ(write, kSuccess);
          EXPECT_EQ(read, kSuccess);
          EXPECT_EQ(value, 355);
          break;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tamsu::sim
