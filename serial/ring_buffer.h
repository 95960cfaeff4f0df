// Byte queue of the receive pipeline: 4096 slots, one always free, indices masked with 0x0FFF.
// Single producer, single consumer, no lock: the producer alone moves head, the consumer alone
// moves tail; release/acquire on the indices makes every byte before a published head visible.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tamsu {

class RingBuffer {
 public:
  static constexpr uint16_t kSize = 4096;
  static constexpr uint16_t kMask = 0x0FFF;
  static constexpr uint16_t kCapacity = kSize - 1;

  void Init();                                  // head = tail = 0
  void Push(uint8_t byte);                      // advances head only while Count < 4095
  // Stores the run and publishes head once, so a consumer sees all of it or none of it.
  void PushRun(const uint8_t* bytes, size_t count);
  uint8_t Pop();                                // caller must have seen Count() > 0
  // Copies up to max bytes from tail on without taking them; returns how many (consumer only).
  uint16_t Peek(uint8_t* dst, uint16_t max) const;
  uint16_t Count() const;

 private:
  std::array<uint8_t, kSize> data_{};
  std::atomic<uint16_t> head_{0};
  std::atomic<uint16_t> tail_{0};
};

// Pops min(Count, max) bytes into dst in order; returns how many.
uint16_t ReadFrameBytes(RingBuffer& ring, uint8_t* dst, uint16_t max);

// Returns after at least `ms` milliseconds (precise sleep on the monotonic clock, no spin).
void DelayMs(double ms);

}  // namespace tamsu
