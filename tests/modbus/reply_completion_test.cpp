// A reply is handed over at its last byte when it is the one the request calls for; every
// other arrival still ends by silence and gets the result it always got. Each case runs with
// completion at the last byte and by silence alone, and the two must agree.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "modbus/line_record.h"
#include "modbus/modbus_master.h"
#include "tests/sim/line.h"
#include "tests/support/pty_pair.h"

namespace tamsu {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

using test::Bytes;
using test::WithCrc;
// Two frames back to back on the line.
Bytes Both(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// What the transmitter puts on the line for one request: bursts with a pause before each.
struct Burst {
  std::chrono::milliseconds after;
  Bytes bytes;
};
using Script = std::function<std::vector<Burst>(const Bytes& request)>;

class ReplyCompletion : public ::testing::TestWithParam<tamsu::Completion> {
 protected:
  void SetUp() override {
    ASSERT_EQ(link_.ReopenPort(pty_.slavePath(), 9600), 1);
    link_.CurrentAddress = 1;
    link_.SetCompletion(GetParam());
    link_.SetObserver(&record_);
  }
  // Runs `op` while the peer answers every request by `script` (a reply in doubt is asked for
  // again).
  template <typename Op>
  auto Run(const Script& script, Op op) {
    std::atomic<bool> done{false};
    std::thread peer([&] {
      while (!done) {
        const Bytes request = pty_.Receive(3ms, 50ms);
        if (request.empty()) continue;
        for (const Burst& b : script(request)) {
          std::this_thread::sleep_for(b.after);
          pty_.Send(b.bytes);
        }
      }
    });
    const auto result = op();
    done = true;
    peer.join();
    return result;
  }
  bool RecordHas(const std::string& words) const {
    for (const auto& line : record_.Since(0))
      if (line.text.find(words) != std::string::npos) return true;
    return false;
  }

  test::PtyPair pty_;
  Link link_;
  ModbusMaster master_{link_};
  LineRecord record_;
};

Bytes ReadReply(uint8_t address, uint16_t value) {
  return WithCrc({address, 3, 2, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

TEST_P(ReplyCompletion, EveryArrivalEndsAsItAlwaysDid) {
  const Bytes good = ReadReply(1, 0x1234);
  Bytes badCrc = good;
  badCrc.back() ^= 0xFF;
  struct Case {
    const char* name;
    std::vector<Burst> bursts;
    uint8_t result;
  };
  std::vector<Case> cases = {
      {"whole", {{0ms, good}}, kSuccess},
      {"garbage byte before", {{0ms, {0x5A}}, {2ms, good}}, kFormatError},
      {"bad CRC then a good reply", {{0ms, badCrc}, {2ms, good}}, kFormatError},
      {"bad CRC alone", {{0ms, badCrc}}, kCheckError},
      {"another address", {{0ms, ReadReply(2, 0x1234)}}, kFormatError},
      {"exception", {{0ms, WithCrc({1, 0x83, 0x02})}}, kFormatError},
      {"other length, good CRC", {{0ms, WithCrc({1, 3, 4, 0, 1, 0, 2})}}, kFormatError},
  };
  // Split at every byte boundary, the pieces a few milliseconds apart (well inside the silence).
  for (size_t at = 1; at < good.size(); ++at)
    cases.push_back({"split", {{0ms, Bytes(good.begin(), good.begin() + at)}, {4ms, Bytes(good.begin() + at, good.end())}},
                     kSuccess});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint16_t value = 0;
    EXPECT_EQ(Run([&](const Bytes&) { return c.bursts; }, [&] { return master_.ReadRegister(0x0001, value); }),
              c.result);
    if (c.result == kSuccess) {
      EXPECT_EQ(value, 0x1234);
    }
    // The next exchange is unharmed by whatever came.
    EXPECT_EQ(Run([&](const Bytes& r) { return std::vector<Burst>{{0ms, ReadReply(r[0], 0x0042)}}; },
                  [&] { return master_.ReadRegister(0x0002, value); }),
              kSuccess);
    EXPECT_EQ(value, 0x0042);
  }
}

// The writes and the configuration exchanges end at their replies' last bytes too, with the
// results they always had: an echo, an acknowledgement, an exception.
TEST_P(ReplyCompletion, WritesAndConfigurationRepliesEndAsTheyAlwaysDid) {
  auto echo = [](const Bytes& r) { return std::vector<Burst>{{0ms, r}}; };
  EXPECT_EQ(Run(echo, [&] { return master_.WriteRegister(0x0030, 355); }), kSuccess);
  auto ack = [](const Bytes& r) { return std::vector<Burst>{{0ms, WithCrc(Bytes(r.begin(), r.begin() + 6))}}; };
  EXPECT_EQ(Run(ack, [&] { return master_.WriteRegister32(0x0030, 0x00010002); }), kSuccess);
  auto refuse = [](const Bytes& r) {
    return std::vector<Burst>{{0ms, WithCrc({r[0], static_cast<uint8_t>(r[1] | 0x80), 0x04})}};
  };
  EXPECT_EQ(Run(refuse, [&] { return master_.WriteRegister(0x0030, 1); }), kCheckError);
  EXPECT_EQ(Run(refuse, [&] { return master_.WriteRegister32(0x0030, 1); }), kFormatError);

  const Bytes legacy = WithCrc({0xFD, 0xFD, 0xFD, 3, 7});
  const size_t n = Run([&](const Bytes&) { return std::vector<Burst>{{0ms, legacy}}; },
                       [&] { return master_.Exchange(BuildLegacyQuery(link_.TxFrame.data())); });
  ASSERT_EQ(n, legacy.size());
  const auto reply = ParseLegacyReply(link_.RxFrame.data(), n);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->address, 7);
}

// A reply followed at once by noise or by a copy of itself counts once; what follows is
// stale input, thrown away before the next request, which gets its own answer.
TEST_P(ReplyCompletion, WhatFollowsAReplyAtOnceIsStale) {
  const Bytes good = ReadReply(1, 0x0101);
  for (const Bytes& tail : {Bytes{0x00}, good}) {
    uint16_t value = 0;
    const uint8_t result =
        Run([&](const Bytes&) { return std::vector<Burst>{{0ms, Both(good, tail)}}; },
            [&] { return master_.ReadRegister(0x0001, value); });
    if (GetParam() == tamsu::Completion::AtLastByte) {
      EXPECT_EQ(result, kSuccess);
      EXPECT_EQ(value, 0x0101);
    } else {
      EXPECT_EQ(result, kFormatError) << "run together, as silence frames them";
    }
    EXPECT_EQ(Run([&](const Bytes& r) { return std::vector<Burst>{{0ms, ReadReply(r[0], 0x0202)}}; },
                  [&] { return master_.ReadRegister(0x0002, value); }),
              kSuccess);
    EXPECT_EQ(value, 0x0202);
  }
  if (GetParam() == tamsu::Completion::AtLastByte) {
    EXPECT_TRUE(RecordHas("stale bytes thrown away before the request"));
  }
  // Two different replies at once: which one answers cannot be told; refused, as always.
  uint16_t value = 0;
  EXPECT_EQ(Run([&](const Bytes&) { return std::vector<Burst>{{0ms, Both(good, ReadReply(1, 0x0303))}}; },
                [&] { return master_.ReadRegister(0x0001, value); }),
            kFormatError);
}

// The line keeps 3.5 characters of quiet (4.01 ms at 9600 baud) between the last byte of a
// reply and the next request, however quickly the caller asks again.
TEST_P(ReplyCompletion, RequestsKeepTheGapAfterTheLastReplyByte) {
  std::atomic<bool> stop{false};
  std::vector<Clock::duration> gaps;
  std::thread peer([&] {
    Clock::time_point replied{};
    std::vector<uint8_t> pending;
    while (!stop) {
      pollfd p{pty_.master(), POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      uint8_t buf[64];
      const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
      if (n <= 0) continue;
      if (pending.empty() && replied != Clock::time_point{}) gaps.push_back(Clock::now() - replied);
      pending.insert(pending.end(), buf, buf + n);
      if (pending.size() < 8) continue;
      // A value of its own for each: equal replies in a row would be asked for again.
      pty_.Send(ReadReply(pending[0], static_cast<uint16_t>(7 + gaps.size())));
      replied = Clock::now();
      pending.clear();
    }
  });
  for (int i = 0; i < 10; ++i) {
    uint16_t value = 0;
    EXPECT_EQ(master_.ReadRegister(0x0001, value), kSuccess);
  }
  stop = true;
  peer.join();
  ASSERT_EQ(gaps.size(), 9u);
  for (const auto gap : gaps) EXPECT_GE(gap, InterFrameGap(9600));
  EXPECT_EQ(InterFrameGap(9600), std::chrono::microseconds(4011));
  EXPECT_EQ(InterFrameGap(38400), std::chrono::microseconds(1750));
}

// Each reply's line in the line traffic says when it was complete after its request.
TEST_P(ReplyCompletion, TheLineTrafficShowsWhenEachReplyWasComplete) {
  uint16_t value = 0;
  ASSERT_EQ(Run([](const Bytes& r) { return std::vector<Burst>{{0ms, ReadReply(r[0], 1)}}; },
                [&] { return master_.ReadRegister(0x0001, value); }),
            kSuccess);
  EXPECT_TRUE(RecordHas(" ms after the request)"));
}

INSTANTIATE_TEST_SUITE_P(Both, ReplyCompletion,
                         ::testing::Values(tamsu::Completion::AtLastByte, tamsu::Completion::BySilence),
                         [](const auto& info) {
                           return info.param == tamsu::Completion::AtLastByte ? "AtLastByte" : "BySilence";
                         });

}  // namespace
}  // namespace tamsu
