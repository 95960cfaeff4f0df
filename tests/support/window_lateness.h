// How long the window thread could not answer: the worst lateness of a 10 ms timer on it while
// this lives. Tests and benchmarks of the window share it.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

namespace tamsu::test {

class WindowLateness {
 public:
  WindowLateness() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      worst_ = std::max(worst_, now - last_ - kPeriodMs * 1'000'000);
      last_ = now;
    });
    clock_.start();
    timer_.start(kPeriodMs);
  }
  double WorstSeconds() const { return static_cast<double>(worst_) * 1e-9; }
  qint64 WorstMs() const { return worst_ / 1'000'000; }

 private:
  static constexpr int kPeriodMs = 10;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 worst_ = 0;
};

}  // namespace tamsu::test
