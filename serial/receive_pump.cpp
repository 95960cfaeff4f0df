#include "serial/receive_pump.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "serial/link.h"

namespace tamsu {

ReceivePump::ReceivePump(Link& link) : link_(link) {
  thread_ = std::thread([this] { Run(); });
}

ReceivePump::~ReceivePump() {
  pauseRequests_.fetch_add(1);  // gets the thread out of poll and off the mutex
  Wake();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  idle_.notify_all();
  thread_.join();
}

void ReceivePump::SetSeams(Seams seams) {
  Hold([&] { seams_ = std::move(seams); });
}

void ReceivePump::Wake() { waiter_.Wake(); }

void ReceivePump::Hold(const std::function<void()>& change) {
  // Raised before the mutex is taken: the thread holds the mutex while it waits on the line,
  // and the waiter's wake-up gets it out. Raising needs no lock; the thread re-tests it under the mutex.
  pauseRequests_.fetch_add(1, std::memory_order_acq_rel);
  Wake();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    change();
    // Lowered under the mutex the thread waits with: it either sees the pause gone before it
    // decides to wait, or it is already waiting and the notification below reaches it.
    pauseRequests_.fetch_sub(1, std::memory_order_acq_rel);
  }
  idle_.notify_all();
}

void ReceivePump::Exclusive(const std::function<void()>& change) {
  Hold([&] {
    change();
    // A new descriptor (or none) starts clean: no hang-up, and no half-received frame from
    // the old line glued to the first reply on the new one.
    link_.IncomingRing.Init();
    {
      std::lock_guard<std::mutex> frames(frameMutex_);
      hungUp_.store(false, std::memory_order_release);
      collecting_.store(false, std::memory_order_release);
    }
    frameReady_.notify_all();
    if (seams_.beforeResume) seams_.beforeResume();
  });
}

// The thread follows the port itself, which only changes inside Exclusive (under the mutex),
// and its own hang-up flag; PortOpen is set with the port there too.
bool ReceivePump::PortUsable() const { return link_.Port.IsOpen() && !hungUp_.load(std::memory_order_acquire); }

bool ReceivePump::WaitForFrame(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(frameMutex_);
  // A hung-up line will bring nothing more: the waiter need not sit out its deadline.
  frameReady_.wait_until(lock, deadline, [this] { return link_.FrameRing.Count() > 0 || HungUp(); });
  return link_.FrameRing.Count() > 0;
}

void ReceivePump::MarkHungUp() {
  {
    std::lock_guard<std::mutex> lock(frameMutex_);
    hungUp_.store(true, std::memory_order_release);
  }
  frameReady_.notify_all();
}

bool ReceivePump::WaitUntilQuiet(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(frameMutex_);
  return frameReady_.wait_until(lock, deadline, [this] { return !collecting_.load(std::memory_order_acquire); });
}

void ReceivePump::SetCollecting(bool on) {
  if (collecting_.load(std::memory_order_relaxed) == on) return;
  {
    std::lock_guard<std::mutex> lock(frameMutex_);
    collecting_.store(on, std::memory_order_release);
  }
  if (!on) frameReady_.notify_all();
}

void ReceivePump::Expect(const ReplyExpectation& expected) {
  std::lock_guard<std::mutex> lock(frameMutex_);
  expected_ = expected;
  if (expected_.echo && expected_.echoLength <= echo_.size()) {
    std::copy(expected_.echo, expected_.echo + expected_.echoLength, echo_.begin());
    expected_.echo = echo_.data();
  } else {
    expected_.echo = nullptr;
    expected_.echoLength = 0;
  }
  echoSplit_ = false;
  reply_ = {};
  staleIncoming_ = 0;
  if (!expected_.Armed()) return;
  // The caller consumes FrameRing; frames go into it only under this mutex.
  uint8_t scratch[256];
  while (const uint16_t n = tamsu::ReadFrameBytes(link_.FrameRing, scratch, sizeof scratch)) Drop(scratch, n);
  frames_.clear();
  staleIncoming_ = link_.IncomingRing.Count();
}

uint16_t ReceivePump::TakeFrame(uint8_t* dst, uint16_t max, Frame* taken) {
  std::lock_guard<std::mutex> lock(frameMutex_);
  const uint16_t held = link_.FrameRing.Count();
  if (held == 0) {
    frames_.clear();
    return 0;
  }
  Frame frame{.length = held, .lastByte = lastByte_, .handedOver = lastRelease_};
  if (!frames_.empty()) {
    frame = frames_.front();
    frames_.pop_front();
  }
  // Bytes read past the frames (a caller of ReadFrameBytes) leave the rest as one frame.
  if (frame.length > held || frame.length == 0) {
    frame.length = held;
    frames_.clear();
  }
  const uint16_t n = tamsu::ReadFrameBytes(link_.FrameRing, dst, std::min(frame.length, max));
  // What does not fit is thrown away with it: a frame is taken whole or not at all.
  for (uint16_t rest = frame.length - n; rest > 0; --rest) {
    uint8_t ignored;
    tamsu::ReadFrameBytes(link_.FrameRing, &ignored, 1);
  }
  if (taken) *taken = frame;
  return n;
}

void ReceivePump::Drop(const uint8_t* bytes, uint16_t n) {
  dropped_ += n;
  const size_t room = droppedBytes_.size() < kKeptDropped ? kKeptDropped - droppedBytes_.size() : 0;
  droppedBytes_.insert(droppedBytes_.end(), bytes, bytes + std::min<size_t>(n, room));
  droppedAt_ = lastByte_;
}

size_t ReceivePump::TakeDropped(std::vector<uint8_t>* bytes, Clock::time_point* lastByte) {
  std::lock_guard<std::mutex> lock(frameMutex_);
  if (bytes) *bytes = droppedBytes_;
  if (lastByte) *lastByte = droppedAt_;
  droppedBytes_.clear();
  return std::exchange(dropped_, 0);
}

void ReceivePump::DropStale() {
  const uint16_t n = std::min(staleIncoming_, link_.IncomingRing.Count());
  uint8_t stale[RingBuffer::kSize];
  for (uint16_t i = 0; i < n; ++i) stale[i] = link_.IncomingRing.Pop();
  Drop(stale, n);
  staleIncoming_ = 0;
}

void ReceivePump::StopExpecting() { Expect({}); }

ReceivePump::Reply ReceivePump::ExpectedReply() const {
  std::lock_guard<std::mutex> lock(frameMutex_);
  return reply_;
}

ReceivePump::Clock::time_point ReceivePump::LastRelease() const {
  std::lock_guard<std::mutex> lock(frameMutex_);
  return lastRelease_;
}

ReceivePump::Clock::time_point ReceivePump::LastByte() const {
  std::lock_guard<std::mutex> lock(frameMutex_);
  return lastByte_;
}

void ReceivePump::WaitForQuiet(Clock::duration quiet) {
  std::unique_lock<std::mutex> lock(frameMutex_);
  // Nothing signals the end of a gap: the deadline does, moved on by any byte that came meanwhile.
  while (Clock::now() < lastByte_ + quiet) {
    const auto until = lastByte_ + quiet;
    frameReady_.wait_until(lock, until, [&] { return Clock::now() >= until; });
  }
}

// Caller holds frameMutex_, FrameRing has just taken frame[0..n).
void ReceivePump::NoteReply(const uint8_t* frame, uint16_t n, Clock::time_point lastByte) {
  lastRelease_ = Clock::now();
  if (reply_.done || !expected_.Armed()) return;
  // A frame from the address asked with a good check answers the request, whatever its shape
  // (the exchange's checks decide what it is worth); noise, stray bytes and the echo do not.
  if (n < 4 || (!expected_.anyAddress && frame[0] != expected_.address) || !expected_.intact(frame, n)) return;
  if (expected_.IsEcho(frame, n)) return;
  reply_ = {.done = true,
            .lastByte = lastByte,
            .length = n,
            .alone = link_.FrameRing.Count() == n,
            .handedOver = lastRelease_};
}

void ReceivePump::Publish(const uint8_t* frame, uint16_t n, Clock::time_point lastByte) {
  if (n == 0) return;
  link_.FrameRing.PushRun(frame, n);
  NoteReply(frame, n, lastByte);
  frames_.push_back({.length = n, .lastByte = lastByte, .handedOver = lastRelease_});
}

bool ReceivePump::CompleteExpected(Clock::time_point now) {
  if (completion_.load(std::memory_order_relaxed) != Completion::AtLastByte) return false;
  uint8_t frame[RingBuffer::kSize];
  bool released = false;
  {
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!expected_.Armed()) return false;
    DropStale();
    uint16_t have = link_.IncomingRing.Peek(frame, sizeof frame);
    // An adapter's echo of the request comes first: a frame of its own, so the reply behind it
    // (often within the silence) is still handed over at its last byte.
    if (!echoSplit_ && expected_.echoLength > 0 && have >= expected_.echoLength &&
        expected_.IsEcho(frame, expected_.echoLength)) {
      for (uint16_t i = 0; i < expected_.echoLength; ++i) link_.IncomingRing.Pop();
      Publish(frame, expected_.echoLength, now);
      echoSplit_ = released = true;
      have = link_.IncomingRing.Peek(frame, sizeof frame);
    }
    uint16_t length = 0;
    if (!reply_.done) {
      for (const uint16_t candidate : {expected_.length, uint16_t{5}}) {
        if (candidate <= have && expected_.Matches(frame, candidate)) {
          length = candidate;
          break;
        }
      }
    }
    // Another, different reply right behind it: which of the two answers the request cannot be
    // told, so the silence decides, as for any frame run together.
    for (const uint16_t next : {expected_.length, uint16_t{5}}) {
      if (length > 0 && length + next <= have && expected_.Matches(frame + length, next) &&
          (next != length || std::memcmp(frame, frame + length, length) != 0))
        length = 0;
    }
    if (length > 0) {
      // The reply alone: bytes behind it (noise, a second copy) are a frame of their own,
      // ended by silence and thrown away before the next request.
      for (uint16_t i = 0; i < length; ++i) link_.IncomingRing.Pop();
      Publish(frame, length, now);
      released = true;
    }
    if (released) collecting_.store(link_.IncomingRing.Count() > 0, std::memory_order_release);
  }
  if (released) frameReady_.notify_all();
  return released;
}

void ReceivePump::ReleaseFrame(Clock::time_point lastByte) {
  uint8_t frame[RingBuffer::kSize];
  {
    std::lock_guard<std::mutex> lock(frameMutex_);
    DropStale();
    const uint16_t count = link_.IncomingRing.Count();
    for (uint16_t i = 0; i < count; ++i) frame[i] = link_.IncomingRing.Pop();
    Publish(frame, count, lastByte);
    if (count == 0) lastRelease_ = Clock::now();
    collecting_.store(false, std::memory_order_release);
  }
  frameReady_.notify_all();
}

void ReceivePump::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  uint8_t chunk[256];
  bool collecting = false;  // bytes wait in IncomingRing for the silence that ends the frame
  Clock::time_point silenceEnds{};

  while (!stop_) {
    if (pauseRequests_.load(std::memory_order_acquire) > 0 || !PortUsable()) {
      // Off the descriptor until Exclusive() has made its change. Everything tested above
      // changes under this mutex, so nothing can slip by between the test and the wait; a
      // spurious wake-up only tests again.
      if (collecting) {
        collecting = false;
        SetCollecting(false);
      }
      if (seams_.beforeWait) seams_.beforeWait();
      idle_.wait(lock);
      wakeups_.fetch_add(1, std::memory_order_relaxed);
      continue;
    }

    const LineWaiter::Result ready = waiter_.Wait(link_.Port, collecting ? &silenceEnds : nullptr);
    wakeups_.fetch_add(1, std::memory_order_relaxed);
    if (ready.failed) {
      MarkHungUp();
      continue;
    }

    if (ready.ready) {
      // A hung-up line (adapter unplugged, gateway gone) is not used again until re-opened.
      bool hungUp = false;
      size_t n = link_.Port.ReadReady(chunk, sizeof chunk, ready.events, &hungUp);
      if (hungUp) MarkHungUp();
      if (n > 0) {
        link_.IncomingRing.PushRun(chunk, n);
        const auto now = Clock::now();
        {
          std::lock_guard<std::mutex> frames(frameMutex_);
          lastByte_ = now;
        }
        if (!collecting) SetCollecting(true);
        collecting = true;
        silenceEnds = now + kSilence;
        if (CompleteExpected(now)) collecting = link_.IncomingRing.Count() > 0;
      }
    }

    if (collecting && Clock::now() >= silenceEnds) {
      ReleaseFrame(silenceEnds - kSilence);
      collecting = false;
    }
  }
}

}  // namespace tamsu
