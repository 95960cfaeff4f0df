#include "view/line_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace tamsu {

// Shows a job's box through the window and waits until it is closed, or until the window
// gives the job up (it is closing).
class LineThread::JobSink : public MessageSink {
 public:
  explicit JobSink(LineThread& owner) : owner_(owner) {}

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    OnWindow([this, text, caption, icon] { owner_.windowMessages_.ShowMessage(text, caption, icon); });
  }

  // A job's question waits for its answer like a box; given up, the answer is no.
  bool Confirm(const std::string& text, const std::string& caption) override {
    auto yes = std::make_shared<bool>(false);
    OnWindow([this, yes, text, caption] { *yes = owner_.windowMessages_.Confirm(text, caption); });
    return *yes;
  }

  // Runs `show` on the window thread and returns once it has returned there.
  void OnWindow(const std::function<void()>& show) {
    if (QThread::currentThread() == owner_.thread()) {
      show();
      return;
    }
    auto closed = std::make_shared<bool>(false);
    {
      std::lock_guard lock(mutex_);
      if (abandoned_) return;
    }
    // What the window runs owns its texts: a job given up no longer waits for it.
    auto shown = std::make_shared<std::function<void()>>(show);
    QMetaObject::invokeMethod(
        &owner_,
        [this, closed, shown] {
          {
            std::lock_guard lock(mutex_);
            if (abandoned_) return;
          }
          (*shown)();
          std::lock_guard lock(mutex_);
          *closed = true;
          cv_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return *closed || abandoned_; });
  }

  void Abandon(bool abandoned = true) {
    std::lock_guard lock(mutex_);
    abandoned_ = abandoned;
    cv_.notify_all();
  }

 private:
  LineThread& owner_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool abandoned_ = false;
};

LineThread::LineThread(MessageSink& windowMessages, QObject* parent)
    : QObject(parent), windowMessages_(windowMessages), jobSink_(std::make_unique<JobSink>(*this)) {
  worker_ = std::make_unique<LineWorker>([this](const std::string& what, LineWorker::Kind kind) {
    const QString text = QString::fromStdString(what);
    const bool poll = kind == LineWorker::Kind::Poll;
    QMetaObject::invokeMethod(
        this,
        [this, text, poll] {
          doing_ = text;
          emit Activity(text, poll);
        },
        Qt::QueuedConnection);
  });
}

LineThread::~LineThread() {
  worker_->StopAll();
  jobSink_->Abandon();
  worker_.reset();
}

void LineThread::Settle() {
  worker_->StopAll();
  jobSink_->Abandon();
  worker_->Drain();
  jobSink_->Abandon(false);
}

void LineThread::Post(const QString& what, LineWorker::Kind kind, std::function<void(const LineWorker::Token&)> run) {
  worker_->Post({what.toStdString(), kind, std::move(run)});
}

void LineThread::ToWindow(std::function<void()> f) {
  QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

MessageSink& LineThread::JobMessages() { return *jobSink_; }

bool LineThread::WaitIdle(int timeoutMs) {
  auto idle = [this] { return worker_->Idle() && doing_.isEmpty(); };
  if (!idle()) {
    QEventLoop loop;
    // The idle notice is the last thing a job's run hands to the window.
    const auto watch = connect(this, &LineThread::Activity, &loop, [&] {
      if (idle()) loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    disconnect(watch);
  }
  QCoreApplication::sendPostedEvents(this);
  return idle();
}

}  // namespace tamsu
