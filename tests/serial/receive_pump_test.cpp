#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/link.h"
#include "serial/receive_pump.h"
#include "tests/support/pty_pair.h"

namespace tamsu {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PtyPair;

std::vector<uint8_t> TakeFrame(Link& link, std::chrono::milliseconds within = 1000ms) {
  std::vector<uint8_t> out(Link::kFrameSize);
  if (!link.WaitForFrame(Clock::now() + within)) return {};
  out.resize(link.ReadFrameBytes(out.data(), static_cast<uint16_t>(out.size())));
  return out;
}

TEST(ReceivePump, BurstsCloserThanTheSilenceAreOneFrameNeverSeenInPart) {
  PtyPair pty;
  Link link;
  ASSERT_EQ(link.ReopenPort(pty.slavePath(), 9600), 1);

  std::thread peer([&] {
    pty.Send({0x01, 0x03, 0x02});
    std::this_thread::sleep_for(12ms);
    pty.Send({0x00, 0xE6});
    std::this_thread::sleep_for(12ms);
    pty.Send({0x39, 0xCE});
  });
  // Watch the frame queue: the first time it is not empty it holds all seven bytes.
  const auto end = Clock::now() + 500ms;
  while (Clock::now() < end && link.FrameRing.Count() == 0) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(link.FrameRing.Count(), 7);
  peer.join();
  std::vector<uint8_t> frame = TakeFrame(link);
  EXPECT_EQ(frame, (std::vector<uint8_t>{0x01, 0x03, 0x02, 0x00, 0xE6, 0x39, 0xCE}));
}

TEST(ReceivePump, SilenceLongerThan30msSplitsFramesAndReleaseWaitsForIt) {
  PtyPair pty;
  Link link;
  ASSERT_EQ(link.ReopenPort(pty.slavePath(), 9600), 1);

  const auto sent = Clock::now();
  pty.Send({0xAA, 0xBB});
  std::vector<uint8_t> first = TakeFrame(link);
  const auto released = Clock::now();
  EXPECT_EQ(first, (std::vector<uint8_t>{0xAA, 0xBB}));
  EXPECT_GE(released - sent, 30ms) << "frame released before the line was quiet";

  pty.Send({0x01});
  std::this_thread::sleep_for(60ms);
  pty.Send({0x02});
  EXPECT_EQ(TakeFrame(link), std::vector<uint8_t>{0x01});
  EXPECT_EQ(TakeFrame(link), std::vector<uint8_t>{0x02});
}

TEST(ReceivePump, NothingArrivesWhileClosedAndAPartialFrameDoesNotSurviveAReopen) {
  PtyPair pty;
  Link link;
  EXPECT_FALSE(link.WaitForFrame(Clock::now() + 50ms));  // never opened

  ASSERT_EQ(link.ReopenPort(pty.slavePath(), 9600), 1);
  pty.Send({0xDE, 0xAD});
  std::this_thread::sleep_for(5ms);  // received, but the frame is not complete yet
  ASSERT_EQ(link.ReopenPort(pty.slavePath(), 4800), 1);
  pty.Send({0x01, 0x02, 0x03});
  EXPECT_EQ(TakeFrame(link), (std::vector<uint8_t>{0x01, 0x02, 0x03}));

  link.ClosePort();
  EXPECT_EQ(link.PortOpen.load(), 0);
  pty.Send({0x09});
  EXPECT_FALSE(link.WaitForFrame(Clock::now() + 80ms));
}

// The hand-shake of a re-open, forced into its worst interleaving: the window thread makes
// its change, a spurious wake-up sends the receive thread back to test whether it may go on,
// and the window thread tries to lift its pause while the receive thread sits between that
// test and its wait. Lifting the pause must wait for the receive thread to be waiting (else
// the wake-up is lost and the line is deaf until the next re-open): the receive thread never
// gets to test in that window, and the line hears the next frame.
TEST(ReceivePump, APauseIsNeverLiftedBetweenTheReceiveThreadsTestAndItsWait) {
  PtyPair before, after;
  Link link;
  ASSERT_EQ(link.ReopenPort(before.slavePath(), 9600), 1);

  std::mutex m;
  std::condition_variable changed;
  bool nudged = false, testedAfterNudge = false, reopened = false;
  link.Pump().SetSeams({
      .beforeWait =
          [&] {  // receive thread: it has tested and is about to wait
            std::unique_lock<std::mutex> lock(m);
            if (!nudged) return;
            testedAfterNudge = true;
            changed.notify_all();
            changed.wait_for(lock, 300ms, [&] { return reopened; });
          },
      .beforeResume =
          [&] {  // window thread: the new port is open, the pause about to be lifted
            {
              std::lock_guard<std::mutex> lock(m);
              nudged = true;
            }
            link.Pump().Nudge();
            std::unique_lock<std::mutex> lock(m);
            changed.wait_for(lock, 300ms, [&] { return testedAfterNudge; });
          },
  });
  std::thread window([&] {
    EXPECT_EQ(link.ReopenPort(after.slavePath(), 9600), 1);
    std::lock_guard<std::mutex> lock(m);
    reopened = true;
    changed.notify_all();
  });
  window.join();
  {
    std::lock_guard<std::mutex> lock(m);
    EXPECT_TRUE(nudged);
    EXPECT_FALSE(testedAfterNudge) << "the receive thread tested while the pause was being lifted";
  }
  after.Send({0x5A, 0xA5});
  EXPECT_EQ(TakeFrame(link), (std::vector<uint8_t>{0x5A, 0xA5}));
  link.Pump().SetSeams({});
}

TEST(ReceivePump, UnpluggedDeviceIsNoticedAndANewPortWorksAfterwards) {
  Link link;
  {
    PtyPair pty;
    ASSERT_EQ(link.ReopenPort(pty.slavePath(), 9600), 1);
    pty.CloseMaster();  // the adapter goes away under an open port
    const auto end = Clock::now() + 1s;
    while (!link.HungUp() && Clock::now() < end) std::this_thread::sleep_for(2ms);
    EXPECT_TRUE(link.HungUp());
    EXPECT_FALSE(link.WaitForFrame(Clock::now() + 50ms));
    // Unplugged, the thread sleeps: it does not wake again until the port changes.
    const uint64_t woken = link.Pump().Wakeups();
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(link.Pump().Wakeups() - woken, 1u);
  }
  PtyPair replugged;
  ASSERT_EQ(link.ReopenPort(replugged.slavePath(), 9600), 1);
  EXPECT_FALSE(link.HungUp());
  replugged.Send({0x42});
  EXPECT_EQ(TakeFrame(link), std::vector<uint8_t>{0x42});
}

TEST(ReceivePump, ReopeningUnderTrafficNeverReadsAStaleDescriptor) {
  PtyPair a, b;
  Link link;
  std::atomic<bool> stop{false};
  std::thread noise([&] {
    while (!stop) {
      a.Send({0x11, 0x22});
      b.Send({0x33});
      std::this_thread::sleep_for(1ms);
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(link.ReopenPort(i % 2 ? a.slavePath() : b.slavePath(), i % 3 ? 9600 : 2400), 1);
    if (i % 7 == 0) link.ClosePort();
    link.DiscardInput();
  }
  stop = true;
  noise.join();
}

}  // namespace
}  // namespace tamsu
