// How the line tells where a reply ends: at the last byte of the reply an exchange expects,
// else by silence; how it tells a reply from what else the line carries (an adapter's echo,
// noise, another address); and how long the line stays quiet between frames.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>

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
  // Requests to 255 or 0 for the configuration block are answered from whatever address the
  // device has: byte 0 is not compared.
  bool anyAddress = false;
  // The request's own bytes: an adapter that echoes what it sends puts them on the line first.
  const uint8_t* echo = nullptr;
  uint16_t echoLength = 0;
  // The reply may be the request's own bytes (a write of one register is acknowledged so, a
  // legacy change may be): only on a line known to echo is the first such frame the adapter's.
  bool replyMayEcho = false;
  bool lineEchoes = false;
  // A normal reply starts with these bytes of the request (a write's acknowledgement repeats its
  // address, function, register and value or count): another write's acknowledgement is none.
  std::array<uint8_t, 6> head{};
  uint8_t headLength = 0;
  // The request changes the device (a write, a legacy change): it is never sent twice, since
  // the device may have acted on the first (a new rate, a new address). Instead it goes out only
  // once nothing heard or owed could be taken for its reply.
  bool changesDevice = false;

  bool Armed() const { return length != 0 && intact != nullptr; }
  // True when frame[0..n) is exactly such a reply: address, function or its exception, length
  // and check.
  bool Matches(const uint8_t* frame, size_t n) const {
    if (!Armed() || n < 4 || (!anyAddress && frame[0] != address)) return false;
    const bool normal = n == length && frame[1] == function && std::memcmp(frame, head.data(), headLength) == 0;
    const bool exception = exceptionReply && n == 5 && frame[1] == (function | 0x80);
    return (normal || exception) && intact(frame, n);
  }
  // True when a reply to `other` could be taken for one to this request.
  bool Overlaps(const ReplyExpectation& other) const {
    if (!anyAddress && !other.anyAddress && address != other.address) return false;
    if (function != other.function) return false;
    if (exceptionReply && other.exceptionReply) return true;
    const uint8_t common = std::min(headLength, other.headLength);
    return length == other.length && std::memcmp(head.data(), other.head.data(), common) == 0;
  }
  // True when some part of frame[0..n) is such a reply.
  bool FoundIn(const uint8_t* frame, size_t n) const {
    for (const size_t k : {size_t{length}, size_t{5}})
      for (size_t at = 0; k >= 4 && at + k <= n; ++at)
        if (Matches(frame + at, k)) return true;
    return false;
  }
  // True when frame[0..n) is the request's own bytes.
  bool IsEchoBytes(const uint8_t* frame, size_t n) const {
    return echo != nullptr && n == echoLength && std::memcmp(frame, echo, n) == 0;
  }
  // True when those bytes are the adapter's: whenever they cannot be the reply, and on a line
  // known to echo also when they could (then only the first time; the caller counts).
  bool IsEcho(const uint8_t* frame, size_t n) const {
    return IsEchoBytes(frame, n) && (lineEchoes || !replyMayEcho);
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
