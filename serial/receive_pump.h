// The receive thread: moves bytes from the port into IncomingRing and releases them whole into
// FrameRing: the reply an exchange expects at its last byte, anything else after 30 ms of
// silence on the monotonic clock. It sleeps on the line (or, while the port is closed, on a
// condition), so an idle tool costs no processor time.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/framing.h"
#include "serial/line_wait.h"

namespace tamsu {

class Link;

class ReceivePump {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kSilence{30};

  explicit ReceivePump(Link& link);
  ~ReceivePump();  // stops and joins the thread
  ReceivePump(const ReceivePump&) = delete;
  ReceivePump& operator=(const ReceivePump&) = delete;

  // Runs `change` on the calling (window) thread while the receive thread is guaranteed to be
  // off the descriptor, so a close or re-open never leaves it reading a closed or reused one.
  void Exclusive(const std::function<void()>& change);

  // Blocks until FrameRing holds bytes, the line hangs up or the deadline passes; true when
  // bytes wait.
  bool WaitForFrame(Clock::time_point deadline);
  // Blocks until no frame is being received (the line has been quiet for the silence) or the
  // deadline passes; true when quiet.
  bool WaitUntilQuiet(Clock::time_point deadline);
  bool HungUp() const { return hungUp_.load(std::memory_order_acquire); }
  // True while bytes of a frame wait for the silence that ends it.
  bool Collecting() const { return collecting_.load(std::memory_order_acquire); }
  // The reply the window thread waits for; it stays expected (for a late reply too) until
  // StopExpecting. Frames are handed over at its last byte only with Completion::AtLastByte.
  // Arming it (just before the request is written) makes everything received until then
  // stale: released frames and the bytes still collected are dropped, never taken for the reply.
  void Expect(const ReplyExpectation& expected);
  // Bytes dropped as stale by Expect since the last call; `bytes` gets the first of them and
  // `lastByte` when the last came, so a copy of what was dropped can still be told.
  size_t TakeDropped(std::vector<uint8_t>* bytes = nullptr, Clock::time_point* lastByte = nullptr);
  void StopExpecting();
  void SetCompletion(Completion completion) { completion_.store(completion, std::memory_order_relaxed); }
  struct Reply {
    bool done = false;            // a frame from the address asked with a good check has come
    Clock::time_point lastByte{};  // when its last byte was read
    uint16_t length = 0;
    bool alone = false;  // nothing was waiting in FrameRing before it: its bytes come first
    Clock::time_point handedOver{};  // when FrameRing took it
  };
  Reply ExpectedReply() const;
  // One frame as FrameRing took it: its length, when its last byte was read and when it was
  // handed over.
  struct Frame {
    uint16_t length = 0;
    Clock::time_point lastByte{};
    Clock::time_point handedOver{};
  };
  // Takes the oldest frame FrameRing holds (window thread): frames stay apart however many
  // wait, so each is judged on its own. Returns its length, 0 when none waits.
  uint16_t TakeFrame(uint8_t* dst, uint16_t max, Frame* taken = nullptr);
  // When FrameRing last took a frame, and when the last byte came off the line.
  Clock::time_point LastRelease() const;
  Clock::time_point LastByte() const;
  // Blocks until `quiet` has passed since the last byte received (bytes still coming restart it).
  void WaitForQuiet(Clock::duration quiet);

  // Times the thread has woken from a wait, whatever woke it: a thread that spins shows here.
  uint64_t Wakeups() const { return wakeups_.load(std::memory_order_relaxed); }

  // Test seams at the two sides of the pause hand-shake, where a lost wake-up would hide.
  struct Seams {
    std::function<void()> beforeWait;    // receive thread, mutex held: about to wait on its condition
    std::function<void()> beforeResume;  // in Exclusive: the change is made, the pause not yet lifted
  };
  void SetSeams(Seams seams);
  // Wakes the thread's condition without changing anything, as a spurious wake-up would.
  void Nudge() { idle_.notify_all(); }

 private:
  void Run();
  // Runs `change` with the thread off the descriptor and waiting, then lets it go on.
  void Hold(const std::function<void()>& change);
  bool PortUsable() const;
  void Wake();
  void ReleaseFrame(Clock::time_point lastByte);
  // Caller holds frameMutex_: FrameRing takes frame[0..n) as one frame.
  void Publish(const uint8_t* frame, uint16_t n, Clock::time_point lastByte);
  // Hands the expected reply over when IncomingRing starts with all of it; true when it did.
  bool CompleteExpected(Clock::time_point now);
  void NoteReply(const uint8_t* frame, uint16_t n, Clock::time_point lastByte);
  void SetCollecting(bool on);
  void MarkHungUp();
  // Under frameMutex_, receive thread: drops the bytes that came before the request.
  void DropStale();
  // Under frameMutex_: counts (and keeps the first of) bytes thrown away as stale.
  void Drop(const uint8_t* bytes, uint16_t n);

  Link& link_;
  LineWaiter waiter_;  // the line, the wake-up and the silence deadline, one wait
  // Held by the receive thread while it uses the descriptor. Everything its waits test
  // (pauseRequests_ going down, stop_, the port's state) changes under it.
  std::mutex mutex_;
  std::condition_variable idle_;
  std::atomic<int> pauseRequests_{0};  // raised before the mutex is taken, lowered only under it
  bool stop_ = false;
  std::atomic<bool> hungUp_{false};  // changed under frameMutex_ (frame waiters test it)
  std::atomic<bool> collecting_{false};
  std::atomic<uint64_t> wakeups_{0};
  Seams seams_;
  mutable std::mutex frameMutex_;  // FrameRing grows under it, so a frame waiter never misses a release
  std::condition_variable frameReady_;
  // Under frameMutex_: the reply expected, whether it has come, and when frames came.
  ReplyExpectation expected_;
  std::array<uint8_t, 256> echo_{};  // what expected_.echo points to
  bool echoSplit_ = false;           // the request's echo was handed over as a frame of its own
  std::deque<Frame> frames_;         // what FrameRing holds, frame by frame
  Reply reply_;
  // Bytes at the front of IncomingRing that came before the request: the receive thread drops
  // them before it looks at what follows.
  uint16_t staleIncoming_ = 0;
  size_t dropped_ = 0;
  static constexpr size_t kKeptDropped = 256;
  std::vector<uint8_t> droppedBytes_;
  Clock::time_point droppedAt_{};
  Clock::time_point lastRelease_{};
  Clock::time_point lastByte_{};
  std::atomic<Completion> completion_{Completion::AtLastByte};
  std::thread thread_;
};

}  // namespace tamsu
