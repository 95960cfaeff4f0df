// The window's side of the line's own thread: the window hands a job over and goes on; what the
// job shows comes back through the event loop. A message box a job raises is shown by the
// window, and the job waits for it to be closed (the window never waits for the job).
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "device/line_worker.h"
#include "modbus/ui.h"

namespace tamsu {

class LineThread : public QObject {
  Q_OBJECT

 public:
  // `windowMessages` shows a box on the window thread (a QMessageBox, a recorder in tests).
  explicit LineThread(MessageSink& windowMessages, QObject* parent = nullptr);
  // Stops the running job, gives up a box it waits for, joins the thread.
  ~LineThread() override;

  void Post(const QString& what, LineWorker::Kind kind, std::function<void(const LineWorker::Token&)> run);
  // From a job: runs `f` on the window thread, after what the job handed over before.
  void ToWindow(std::function<void()> f);
  // The sink a job shows its boxes through: on the window thread directly, from the line's
  // thread through the window, returning once the box is closed.
  MessageSink& JobMessages();

  // A window that goes away: its jobs are dropped, the running one stops after its exchange in
  // flight (a box it waits for is given up) and is waited for, so nothing it touches is gone
  // while it runs. Jobs posted afterwards run as usual.
  void Settle();

  LineWorker& Worker() { return *worker_; }
  bool Busy() const { return !worker_->Idle(); }
  // What the line does now ("" when idle), as last told on the window thread.
  const QString& Doing() const { return doing_; }
  // Tests and benchmarks: runs the event loop until every job posted so far has finished and
  // what they handed to the window has been applied; false when `timeoutMs` passed first.
  bool WaitIdle(int timeoutMs = 20000);

 signals:
  // What the line does now; "" once it is idle. `poll`: a real-time poll, not a user's action.
  void Activity(const QString& what, bool poll);

 private:
  class JobSink;

  MessageSink& windowMessages_;
  std::unique_ptr<JobSink> jobSink_;
  QString doing_;
  std::unique_ptr<LineWorker> worker_;  // last: its thread may call into the members above
};

}  // namespace tamsu
