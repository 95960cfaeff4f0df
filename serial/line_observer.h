// What the line reports to whoever watches it (the line traffic record): every frame sent and
// received, bytes thrown away before a request, a reply that never came, and how a
// transaction ended. Called on the window thread, inside the exchange: an observer must be
// quick and must never block.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tamsu {

class LineObserver {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~LineObserver() = default;
  virtual void Sent(const uint8_t* bytes, size_t n, uint32_t baud) = 0;
  // The same request sent once more because its reply was in doubt (a copy or a late reply).
  virtual void SentAgain(const uint8_t* bytes, size_t n, uint32_t baud) { Sent(bytes, n, baud); }
  // A request that never left: the port was closed, or the driver refused it (`why`).
  virtual void NotSent(const uint8_t* bytes, size_t n, uint32_t baud, const std::string& why) = 0;
  // `complete`: from the request's write to the frame's hand-over.
  virtual void Received(const uint8_t* bytes, size_t n, uint32_t baud, std::chrono::microseconds complete) = 0;
  virtual void Discarded(size_t n) = 0;  // stale bytes dropped before a request went out
  // A frame that arrived while a request waited and was not taken as its reply (an echo, noise,
  // another address, a reply in doubt), and why; with no bytes, something learned about the
  // line (kEchoesText).
  virtual void Refused(const uint8_t* bytes, size_t n, uint32_t baud, const std::string& why) {
    (void)bytes;
    (void)n;
    (void)baud;
    (void)why;
  }
  virtual void TimedOut(std::chrono::milliseconds waited) = 0;
  // The reply wait changed to `wait` after a reply that took `took` from its request.
  virtual void ReplyWaitChanged(std::chrono::milliseconds wait, std::chrono::milliseconds took) = 0;
  // A register transaction's result (0..3) and the time from its request to its end.
  virtual void Outcome(uint8_t result, std::chrono::microseconds roundTrip) = 0;
  // The line was (re-)opened: `transport` names a network line ("rfc2217 HOST:PORT", "tcp
  // HOST:PORT"; empty for a device), `setsRate` is false where the rate is the gateway's own.
  virtual void LineOpened(const std::string& transport, bool setsRate) {
    (void)transport;
    (void)setsRate;
  }
};

}  // namespace tamsu
