// The line's own thread. Everything that waits for the transmitter (a page's reads and writes,
// a poll, the scan, the address and rate exchanges, opening a port) runs here, one job at a
// time in the order posted, so the window thread hands work over and never waits for a reply.
//
// The user comes first: a user's job posted while a poll runs asks that poll to stop after the
// exchange in flight, and polls still queued are dropped (the next tick polls again). A job
// stops early only where it asks its token between exchanges, so an exchange is never cut.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tamsu {

class LineWorker {
 public:
  enum class Kind : uint8_t {
    User,  // a button, a scan, an exchange of the connection band: always carried out
    Poll,  // a real-time tick: gives way to the user
  };

  // What a running job may ask and say.
  class Token {
   public:
    // True once the job should stop after the exchange in flight.
    bool StopRequested() const { return stop_->load(std::memory_order_acquire); }
    // Says what the line is doing now ("Testing 4800 baud…"); the worker's observer hears it.
    void Say(const std::string& what) const;

   private:
    friend class LineWorker;
    Token(LineWorker* worker, std::shared_ptr<std::atomic<bool>> stop) : worker_(worker), stop_(std::move(stop)) {}
    LineWorker* worker_;
    std::shared_ptr<std::atomic<bool>> stop_;
  };

  struct Job {
    std::string what;  // what the line does while it runs ("Reading Temperature…")
    Kind kind = Kind::User;
    std::function<void(const Token&)> run;
  };

  // Told on the worker thread: a job began or said what it does now (text), or the line went
  // idle (""), with whether the running job is a poll. Must not wait for the window.
  using Activity = std::function<void(const std::string& what, Kind kind)>;

  explicit LineWorker(Activity activity = {});
  // Asks the running job to stop, drops the queued ones, and joins the thread.
  ~LineWorker();
  LineWorker(const LineWorker&) = delete;
  LineWorker& operator=(const LineWorker&) = delete;

  // Queues a job. A user job stops a running poll after its exchange in flight and drops the
  // queued polls; a poll is dropped at once when a user job runs or waits.
  void Post(Job job);
  // Esc, "Stop": the running job stops after its exchange in flight; queued jobs stay.
  void StopCurrent();
  // Drops every queued job and stops the running one (a port closed, a page left).
  void StopAll();
  // A real-time box unticked: the running poll stops after its exchange in flight and queued
  // polls are dropped; the user's jobs go on.
  void StopPolls();

  // Nothing runs and nothing waits.
  bool Idle() const;
  // A poll runs or waits: the dispatcher posts no other meanwhile.
  bool PollPending() const;
  // A user's job runs or waits: what Esc and "Stop" would stop.
  bool UserPending() const;
  // Waits until every job posted so far has finished (tests and shutdown only, never the
  // window thread).
  void Drain();
  // True on the worker thread itself.
  bool OnWorkerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  struct Queued {
    Job job;
    std::shared_ptr<std::atomic<bool>> stop;
  };
  void Loop();
  void Tell(const std::string& what, Kind kind);

  Activity activity_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // the worker: a job or the end
  std::condition_variable done_;  // Drain: the queue ran dry
  std::deque<Queued> queue_;
  std::shared_ptr<std::atomic<bool>> runningStop_;  // under mutex_; null while idle
  Kind runningKind_ = Kind::User;
  bool running_ = false;
  bool quit_ = false;
  std::thread thread_;  // last: started once everything above exists
};

}  // namespace tamsu
