// How the line tells where a reply ends: at the last byte of the reply an exchange expects,
// else by silence; and how long the line stays quiet between frames.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tamsu {

// The reply an exchange waits for, as the receive side needs to know it to hand the reply over
// at its last byte. Frames that are not such a reply end by silence, as before.
struct ReplyExpectation {
  uint8_t address = 0;   // byte 0 of the reply
  uint8_t function = 0;  // byte 1 of a normal reply; function | 0x80 for the 5-byte exception
  uint16_t length = 0;   // of a normal reply; 0: nothing expected
  bool exceptionReply = true;
  // The frame's own check (the CRC), from the protocol layer above.
  bool (*intact)(const uint8_t* frame, size_t n) = nullptr;
  // The previous reply, when this request asks something else: RTU has no transaction id, so a
  // second copy of that reply coming now would look exactly like this one's answer. A frame
  // equal to it is not handed over at its last byte; the silence decides, so an answer run
  // together with it is refused, never taken for the copy.
  const uint8_t* copyOf = nullptr;
  uint16_t copyLength = 0;

  bool IsCopy(const uint8_t* frame, size_t n) const {
    if (copyOf == nullptr || n != copyLength) return false;
    for (size_t i = 0; i < n; ++i)
      if (frame[i] != copyOf[i]) return false;
    return true;
  }

  bool Armed() const { return length != 0 && intact != nullptr; }
  // True when frame[0..n) is exactly such a reply.
  bool Matches(const uint8_t* frame, size_t n) const {
    if (!Armed() || n < 4 || frame[0] != address) return false;
    const bool normal = n == length && frame[1] == function;
    const bool exception = exceptionReply && n == 5 && frame[1] == (function | 0x80);
    return (normal || exception) && intact(frame, n);
  }
};

// Whether the receive side may hand an expected reply over at its last byte, or only ever
// after the silence that ends every frame.
enum class Completion : uint8_t { AtLastByte, BySilence };

// 3.5 characters of 11 bits at the line rate, the quiet Modbus RTU keeps between frames;
// 1.75 ms above 19,200 baud.
inline std::chrono::microseconds InterFrameGap(uint32_t baud) {
  if (baud == 0 || baud > 19200) return std::chrono::microseconds(1750);
  return std::chrono::microseconds((38'500'000ll + baud - 1) / baud);
}

}  // namespace tamsu
