#include "serial/ring_buffer.h"

#include <time.h>

#include <cerrno>
#include <cmath>

namespace tamsu {

void RingBuffer::Init() {
  head_.store(0, std::memory_order_relaxed);
  tail_.store(0, std::memory_order_release);
}

uint16_t RingBuffer::Count() const {
  uint16_t head = head_.load(std::memory_order_acquire);
  uint16_t tail = tail_.load(std::memory_order_acquire);
  return static_cast<uint16_t>((head - tail) & kMask);
}

void RingBuffer::Push(uint8_t byte) { PushRun(&byte, 1); }

void RingBuffer::PushRun(const uint8_t* bytes, size_t count) {
  uint16_t head = head_.load(std::memory_order_relaxed);
  const uint16_t tail = tail_.load(std::memory_order_acquire);
  for (size_t i = 0; i < count; ++i) {
    // When full, the byte lands in the free slot and head stays: it is lost.
    data_[head] = bytes[i];
    if (((head - tail) & kMask) < kCapacity) head = static_cast<uint16_t>((head + 1) & kMask);
  }
  head_.store(head, std::memory_order_release);
}

uint8_t RingBuffer::Pop() {
  uint16_t tail = tail_.load(std::memory_order_relaxed);
  uint8_t byte = data_[tail];
  tail_.store(static_cast<uint16_t>((tail + 1) & kMask), std::memory_order_release);
  return byte;
}

uint16_t RingBuffer::Peek(uint8_t* dst, uint16_t max) const {
  uint16_t k = Count();
  if (k > max) k = max;
  uint16_t tail = tail_.load(std::memory_order_relaxed);
  for (uint16_t i = 0; i < k; ++i) dst[i] = data_[(tail + i) & kMask];
  return k;
}

uint16_t ReadFrameBytes(RingBuffer& ring, uint8_t* dst, uint16_t max) {
  uint16_t k = ring.Count();
  if (k > max) k = max;
  for (uint16_t i = 0; i < k; ++i) dst[i] = ring.Pop();
  return k;
}

void DelayMs(double ms) {
  if (!(ms > 0)) return;
  timespec until{};
  clock_gettime(CLOCK_MONOTONIC, &until);
  double whole = 0;
  double frac = std::modf(ms / 1000.0, &whole);
  // Days are plenty for any pacing; the cap keeps the conversion defined.
  if (whole > 86400.0 * 365) whole = 86400.0 * 365;
  until.tv_sec += static_cast<time_t>(whole);
  until.tv_nsec += static_cast<long>(std::ceil(frac * 1e9));
  while (until.tv_nsec >= 1000000000L) {
    until.tv_nsec -= 1000000000L;
    ++until.tv_sec;
  }
#ifdef _WIN32
  // MinGW's clock_nanosleep takes an absolute monotonic time for a wall-clock one and returns
  // at once: sleep in steps on the monotonic clock instead.
  for (;;) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const double left = static_cast<double>(until.tv_sec - now.tv_sec) * 1e9 + static_cast<double>(until.tv_nsec - now.tv_nsec);
    if (left <= 0) return;
    const timespec step{static_cast<time_t>(left / 1e9), static_cast<long>(std::fmod(left, 1e9))};
    nanosleep(&step, nullptr);
  }
#else
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
#endif
}

}  // namespace tamsu
