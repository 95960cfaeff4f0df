// Reply matching held against a line that misbehaves on purpose: the cases that once put one
// request's reply into another's field, then seeded random schedules for a bounded time
// (TAMSU_ADVERSARY_SECONDS, 25 by default). Every value taken and every write acknowledged must
// be its own request's, or the exchange fails.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "device/baud_scan.h"
#include "modbus/line_record.h"
#include "modbus/modbus_master.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_sink.h"
#include "tests/support/line_adversary.h"

namespace tamsu {
namespace {

using test::LineAdversary;
using Bytes = LineAdversary::Bytes;
using ms = std::chrono::milliseconds;
using Plans = std::vector<std::vector<LineAdversary::Emission>>;

class Adversary : public ::testing::Test {
 protected:
  // The i-th request gets the i-th plan (its reply put in where a plan's bytes are empty);
  // requests past the plans are answered at once.
  void Play(Plans plans, bool echoes = false) {
    auto served = std::make_shared<size_t>(0);
    peer_.Script(
        [plans = std::move(plans), served](const Bytes&, const Bytes& reply) {
          std::vector<LineAdversary::Emission> out{{ms(2), reply}};
          if (*served < plans.size()) out = plans[*served];
          ++*served;
          for (auto& e : out)
            if (e.bytes.empty()) e.bytes = reply;
          return out;
        },
        echoes);
    ASSERT_EQ(link_.ReopenPort(peer_.PortPath(), 9600), 1);
    link_.CurrentAddress = LineAdversary::kAddress;
    link_.SetEchoes(echoes);
  }
  // The value read, or -1 when the read failed.
  int Read(uint16_t reg) {
    uint16_t value = 0;
    return master_.ReadRegister(reg, value) == kSuccess ? value : -1;
  }

  LineAdversary peer_;
  Link link_;
  ModbusMaster master_{link_};
};

// A noise byte at once, the real reply 80 ms later: the byte is thrown away and the wait goes
// on, so each field gets its own value.
TEST_F(Adversary, AStrayByteNeverEndsTheWait) {
  Play({{{ms(0), {0x00}}, {ms(80), {}}}});
  peer_.Hold(1, 231);
  peer_.Hold(0, 552);
  EXPECT_EQ(Read(1), 231);
  EXPECT_EQ(Read(0), 552);
}

// A reply in two pieces 55 ms apart (neither is a reply), then a reply 70 ms late: the first
// read fails, and no later field ever shows another's value.
TEST_F(Adversary, ASplitReplyIsOwedAndNeverTakenByTheNext) {
  Play({{{ms(5), {0x01, 0x03}}, {ms(60), {0x02, 0x00}}}, {{ms(70), {}}}});
  peer_.Hold(1, 231);
  peer_.Hold(0, 552);
  peer_.Hold(2, 409);
  const int first = Read(1), second = Read(0), third = Read(2);
  EXPECT_EQ(first, -1);
  EXPECT_TRUE(second == 552 || second == -1) << second;
  EXPECT_EQ(third, 409);
}

// The previous reply again at 50 ms (a gateway's retry) and the real one at 120 ms: the copy is
// never the second field's value; the answer behind it is.
TEST_F(Adversary, ACopyOfThePreviousReplyIsNeverTaken) {
  Play({{{ms(10), {}}, {ms(50), {}}}, {{ms(120), {}}}});
  peer_.Hold(1, 4369);
  peer_.Hold(0, 552);
  EXPECT_EQ(Read(1), 4369);
  EXPECT_EQ(Read(0), 552);
  EXPECT_EQ(Read(1), 4369);
}

// On an adapter that echoes what it sends, the echo acknowledges no write: silence after it is
// a failure for every write; the transmitter's own reply behind it is the acknowledgement.
TEST_F(Adversary, AnEchoAcknowledgesNoWrite) {
  Play({{}, {}, {}, {{ms(15), {}}}, {{ms(15), {}}}}, true);
  EXPECT_NE(master_.WriteRegisters(0x0030, std::vector<uint16_t>{300, 7}.data(), 2), kSuccess);
  EXPECT_NE(master_.WriteRegister(0x0030, 300), kSuccess);
  EXPECT_NE(master_.WriteRegister32(0x0030, 300), kSuccess);
  EXPECT_EQ(master_.WriteRegister(0x0030, 300), kSuccess);
  EXPECT_EQ(master_.WriteRegister32(0x0030, 300), kSuccess);
  // A read heard through the same adapter: the echo is skipped, the reply taken.
  peer_.Hold(5, 77);
  EXPECT_EQ(Read(5), 77);
}

// An adapter that echoes and no transmitter behind it: "Test Baud Rate" finds nothing, takes no
// echo for an answer, and says the adapter echoes, in the line traffic and to the window.
TEST(EchoingAdapter, TheScanSaysSo) {
  test::PtyPair pty;
  std::atomic<bool> done{false};
  std::thread adapter([&] {
    while (!done) {
      const Bytes heard = pty.Receive(std::chrono::milliseconds(1), std::chrono::milliseconds(20));
      if (!heard.empty()) pty.Send(heard);
    }
  });
  Link link;
  LineRecord record;
  link.SetObserver(&record);
  ModbusMaster master(link);
  test::RecordingSink sink;
  DeviceConfig config;
  std::vector<std::string> said;
  ScanControls controls;
  controls.progress = [&](const std::string& what) { said.push_back(what); };
  BaudScan scan(link, master, sink, config, controls);
  EXPECT_EQ(scan.TestBaudRate(pty.slavePath()), ScanOutcome::Unknown);
  done = true;
  adapter.join();
  EXPECT_TRUE(config.echoes);
  EXPECT_TRUE(link.Echoes());
  EXPECT_EQ(said.back(), kEchoesText);
  size_t echoes = 0;
  for (const auto& line : record.Since(0)) echoes += line.text.find(kEchoesText) != std::string::npos;
  EXPECT_GE(echoes, 5u);  // each request's echo, and the finding itself
}

// Seeded random schedules through a ModbusMaster and through a page's runner, on parallel
// lines, for a bounded time; a failing schedule's seed is printed to replay it.
TEST(LineAdversaryRun, NoValueIsEverAnotherRequests) {
  // Under a sanitizer every thread runs several times slower: fewer lines for less time keep
  // the tool's own timing within what the rule assumes (the peer's is checked schedule by
  // schedule).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  constexpr int kSeconds = 8, kLines = 4;
#else
  constexpr int kSeconds = 25, kLines = 24;
#endif
  const char* env = std::getenv("TAMSU_ADVERSARY_SECONDS");
  const auto budget = std::chrono::seconds(env ? std::atoi(env) : kSeconds);
  const char* seed = std::getenv("TAMSU_ADVERSARY_SEED");
  const uint64_t base = seed ? std::strtoull(seed, nullptr, 10) : 20260000;
  const auto end = std::chrono::steady_clock::now() + budget;
  std::atomic<uint64_t> next{base}, voided{0};
  std::mutex mutex;
  std::vector<std::string> violations;
  std::vector<std::thread> lines;
  // Most of a schedule is waiting for the line: many lines at once cost little processor time.
  const char* parallel = std::getenv("TAMSU_ADVERSARY_LINES");
  const int count = parallel ? std::atoi(parallel) : kLines;
  for (int i = 0; i < count; ++i) {
    lines.emplace_back([&, i] {
      LineAdversary peer;
      Link link;
      while (std::chrono::steady_clock::now() < end) {
        const uint64_t seed = next++;
        bool held = false;
        std::string v = test::RunSchedule(peer, link, seed, i % 2 == 1, &held);
        voided += held;
        if (!v.empty()) {
          std::lock_guard lock(mutex);
          violations.push_back(v);
        }
      }
    });
  }
  for (auto& t : lines) t.join();
  RecordProperty("schedules", static_cast<int>(next - base));
  std::printf("%llu schedules from seed %llu, %llu not judged (the machine held the peer up)\n",
              static_cast<unsigned long long>(next - base), static_cast<unsigned long long>(base),
              static_cast<unsigned long long>(voided.load()));
  for (const std::string& v : violations) ADD_FAILURE() << v;
}

}  // namespace
}  // namespace tamsu
