// The line traffic record: every frame the tool sends and receives, what it made of each, and
// how each transaction ended, as text lines, the last 10,000 of them. It is the line's
// observer; a view reads the lines it has not shown yet by their sequence numbers. The line's
// thread writes it and the window reads it: the lines are kept under a mutex, held only to
// add one line or copy the ones asked for, so neither side waits for the other's work.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "serial/line_observer.h"

namespace tamsu {

class LineRecord : public LineObserver {
 public:
  static constexpr size_t kCapacity = 10000;

  struct Line {
    uint64_t seq;  // 1, 2, 3, ... for the whole run
    std::string text;
  };

  void Sent(const uint8_t* bytes, size_t n, uint32_t baud) override;
  void SentAgain(const uint8_t* bytes, size_t n, uint32_t baud) override;
  void NotSent(const uint8_t* bytes, size_t n, uint32_t baud, const std::string& why) override;
  void Received(const uint8_t* bytes, size_t n, uint32_t baud, std::chrono::microseconds complete) override;
  void Discarded(size_t n) override;
  void Refused(const uint8_t* bytes, size_t n, uint32_t baud, const std::string& why) override;
  void TimedOut(std::chrono::milliseconds waited) override;
  void ReplyWaitChanged(std::chrono::milliseconds wait, std::chrono::milliseconds took) override;
  void Outcome(uint8_t result, std::chrono::microseconds roundTrip) override;
  void LineOpened(const std::string& transport, bool setsRate) override;

  // The lines with a sequence number above `after`, oldest first (those still held).
  std::vector<Line> Since(uint64_t after) const;
  uint64_t LastSeq() const {
    std::lock_guard lock(mutex_);
    return next_ - 1;
  }
  size_t Size() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

  // One line as the view and the simulator print it:
  // "HH:MM:SS.mmm  direction  baud  hex  summary" (direction "sent", "received", or a word
  // of its own for the lines that are no frame).
  static std::string Format(const std::string& direction, uint32_t baud, const std::string& hex,
                            const std::string& summary);
  // The same with the line named in words: "rfc2217 10.0.0.5:2217 9600", "tcp 10.0.0.5:4001".
  static std::string Format(const std::string& direction, const std::string& line, const std::string& hex,
                            const std::string& summary);

 private:
  void Add(std::string text);
  std::string LineName(uint32_t baud) const;

  // The observer's side (the line's thread).
  std::string transport_;  // empty: a device, named by its rate alone
  bool setsRate_ = true;
  std::vector<uint8_t> request_;  // the last request, to read its reply by

  mutable std::mutex mutex_;  // guards the lines, shared with their reader
  std::deque<Line> lines_;
  uint64_t next_ = 1;
};

}  // namespace tamsu
