#include "serial/ring_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tamsu {
namespace {

TEST(RingBuffer, KeepsOneSlotFreeAndDropsBytesWhenFull) {
  RingBuffer ring;
  ring.Init();
  for (int i = 0; i < 5000; ++i) ring.Push(static_cast<uint8_t>(i % 251));
  ASSERT_EQ(ring.Count(), 4095);
  for (int i = 0; i < 4095; ++i) ASSERT_EQ(ring.Pop(), static_cast<uint8_t>(i % 251)) << "byte " << i;
  EXPECT_EQ(ring.Count(), 0);
}

TEST(RingBuffer, CountsAcrossTheWrap) {
  RingBuffer ring;
  ring.Init();
  std::vector<uint8_t> sink(4096);
  for (int i = 0; i < 4090; ++i) ring.Push(0);
  ASSERT_EQ(ReadFrameBytes(ring, sink.data(), 4096), 4090);  // tail now 4090
  for (uint8_t b = 1; b <= 9; ++b) ring.Push(b);             // head wraps to 3
  EXPECT_EQ(ring.Count(), 9);
  for (uint8_t b = 1; b <= 9; ++b) EXPECT_EQ(ring.Pop(), b);
}

TEST(ReadFrameBytes, TakesAtMostTheMaximumAndLeavesTheRest) {
  RingBuffer ring;
  ring.Init();
  uint8_t out[16] = {0x55};
  EXPECT_EQ(ReadFrameBytes(ring, out, 16), 0);
  EXPECT_EQ(out[0], 0x55);  // an empty queue changes nothing

  const uint8_t frame[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ring.PushRun(frame, sizeof frame);
  ASSERT_EQ(ReadFrameBytes(ring, out, 4), 4);
  EXPECT_EQ(out[3], 4);
  ASSERT_EQ(ReadFrameBytes(ring, out, 16), 6);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[5], 10);
}

// Frames pushed as runs are seen by the other thread whole: whatever Count says is always
// a sequence of complete frames, with every byte as written.
TEST(RingBuffer, ConcurrentConsumerSeesOnlyWholeFrames) {
  RingBuffer ring;
  ring.Init();
  constexpr int kFrames = 20000;
  std::atomic<bool> failed{false};

  std::thread producer([&] {
    std::vector<uint8_t> frame;
    for (int seq = 0; seq < kFrames; ++seq) {
      const size_t len = 3 + static_cast<size_t>(seq % 97);
      frame.assign(len, 0);
      frame[0] = static_cast<uint8_t>(len);
      frame[1] = static_cast<uint8_t>(seq);
      for (size_t i = 2; i < len; ++i) frame[i] = static_cast<uint8_t>(seq * 7 + i);
      while (ring.Count() + len > RingBuffer::kCapacity) std::this_thread::yield();
      ring.PushRun(frame.data(), frame.size());
    }
  });

  int expected = 0;
  std::vector<uint8_t> got(4096);
  while (expected < kFrames && !failed) {
    uint16_t n = ReadFrameBytes(ring, got.data(), 4096);
    size_t pos = 0;
    while (pos < n) {
      const size_t len = got[pos];
      if (pos + len > n || got[pos + 1] != static_cast<uint8_t>(expected)) {
        failed = true;
        break;
      }
      for (size_t i = 2; i < len; ++i)
        if (got[pos + i] != static_cast<uint8_t>(expected * 7 + i)) failed = true;
      pos += len;
      ++expected;
    }
    if (n == 0) std::this_thread::yield();
  }
  producer.join();
  EXPECT_FALSE(failed) << "partial or corrupted frame at frame " << expected;
  EXPECT_EQ(expected, kFrames);
}

TEST(DelayMs, ReturnsAfterAtLeastTheTime) {
  for (double ms : {0.5, 1.0, 10.0}) {
    auto start = std::chrono::steady_clock::now();
    DelayMs(ms);
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took.count(), ms);
  }
  DelayMs(-5);  // returns at once, no wrap to a huge wait
  DelayMs(std::numeric_limits<double>::quiet_NaN());
}

}  // namespace
}  // namespace tamsu
