#include "device/line_worker.h"

#include <algorithm>
#include <utility>

namespace tamsu {

void LineWorker::Token::Say(const std::string& what) const {
  Kind kind = Kind::User;
  {
    std::lock_guard lock(worker_->mutex_);
    kind = worker_->runningKind_;
  }
  worker_->Tell(what, kind);
}

LineWorker::LineWorker(Activity activity) : activity_(std::move(activity)), thread_([this] { Loop(); }) {}

LineWorker::~LineWorker() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    queue_.clear();
    if (runningStop_) runningStop_->store(true, std::memory_order_release);
  }
  wake_.notify_all();
  thread_.join();
}

void LineWorker::Post(Job job) {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    const bool userWaiting = std::any_of(queue_.begin(), queue_.end(),
                                         [](const Queued& q) { return q.job.kind == Kind::User; });
    if (job.kind == Kind::Poll) {
      // The user's work goes first; the next tick polls again.
      if (userWaiting || (running_ && runningKind_ == Kind::User)) return;
    } else {
      std::erase_if(queue_, [](const Queued& q) { return q.job.kind == Kind::Poll; });
      if (running_ && runningKind_ == Kind::Poll) runningStop_->store(true, std::memory_order_release);
    }
    queue_.push_back({std::move(job), std::make_shared<std::atomic<bool>>(false)});
  }
  wake_.notify_all();
}

void LineWorker::StopCurrent() {
  std::lock_guard lock(mutex_);
  if (runningStop_) runningStop_->store(true, std::memory_order_release);
}

void LineWorker::StopAll() {
  std::lock_guard lock(mutex_);
  queue_.clear();
  if (runningStop_) runningStop_->store(true, std::memory_order_release);
  if (!running_) done_.notify_all();
}

void LineWorker::StopPolls() {
  std::lock_guard lock(mutex_);
  std::erase_if(queue_, [](const Queued& q) { return q.job.kind == Kind::Poll; });
  if (running_ && runningKind_ == Kind::Poll) runningStop_->store(true, std::memory_order_release);
  if (!running_ && queue_.empty()) done_.notify_all();
}

bool LineWorker::UserPending() const {
  std::lock_guard lock(mutex_);
  if (running_ && runningKind_ == Kind::User) return true;
  return std::any_of(queue_.begin(), queue_.end(), [](const Queued& q) { return q.job.kind == Kind::User; });
}

bool LineWorker::Idle() const {
  std::lock_guard lock(mutex_);
  return !running_ && queue_.empty();
}

bool LineWorker::PollPending() const {
  std::lock_guard lock(mutex_);
  if (running_ && runningKind_ == Kind::Poll) return true;
  return std::any_of(queue_.begin(), queue_.end(), [](const Queued& q) { return q.job.kind == Kind::Poll; });
}

void LineWorker::Drain() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return quit_ || (!running_ && queue_.empty()); });
}

void LineWorker::Tell(const std::string& what, Kind kind) {
  if (activity_) activity_(what, kind);
}

void LineWorker::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (quit_) break;
    Queued next = std::move(queue_.front());
    queue_.pop_front();
    running_ = true;
    runningKind_ = next.job.kind;
    runningStop_ = next.stop;
    lock.unlock();

    Tell(next.job.what, next.job.kind);
    if (next.job.run) next.job.run(Token(this, next.stop));
    // What the job held goes before the line is told idle: whatever its end hands to the
    // window arrives before the idle notice.
    next = Queued{};

    lock.lock();
    running_ = false;
    runningStop_.reset();
    if (queue_.empty()) {
      lock.unlock();
      Tell(std::string(), Kind::User);
      lock.lock();
      // Tell ran unlocked: a job may have come meanwhile; Drain waits for that one too.
      if (queue_.empty() && !running_) done_.notify_all();
    }
  }
  running_ = false;
  done_.notify_all();
}

}  // namespace tamsu
