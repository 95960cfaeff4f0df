// The receive thread: moves bytes from the port into IncomingRing and, after 30 ms of silence
// on the monotonic clock, releases them whole into FrameRing. It sleeps on the descriptor (or,
// while the port is closed, on a condition), so an idle tool costs no processor time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

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

  bool WaitForFrame(Clock::time_point deadline);
  bool HungUp() const { return hungUp_.load(std::memory_order_acquire); }

 private:
  void Run();
  bool PortUsable() const;
  void Wake();
  void ReleaseFrame();

  Link& link_;
  int wakeFd_ = -1;
  std::mutex mutex_;  // held by the receive thread while it uses the descriptor
  std::condition_variable idle_;
  std::atomic<int> pauseRequests_{0};
  bool stop_ = false;
  std::atomic<bool> hungUp_{false};
  std::mutex frameMutex_;
  std::condition_variable frameReady_;
  std::thread thread_;
};

}  // namespace tamsu
