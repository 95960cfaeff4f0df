// The window thread's time per real-time tick on the busiest page (the multi-gas page: one block
// read of nineteen registers) against the in-process simulator, with the Trend window closed
// and open. A tick is the dispatch, the poll on the line's thread and what its reports and its
// Polled signal do on the window, plus the events it leaves behind (the trend's deferred
// refresh and the repaint), as the event loop would run them before the next tick. Open, the
// trend shows 60 minutes with a full hour recorded in each of its eighteen series: the most it
// ever draws; in the shared view (one value axis) and in the stacked one (a strip and a value
// axis per series, the view it opens with on this page).
//
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/trend_tick_gui_bench
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/trend_window.h"
#include "bench/window_on_sim.h"

namespace {

using namespace tamsu;

// Counts the chart's repaints, to show that the open trend really draws every tick.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint;
    return false;
  }
};

// The application as it runs, MG11 shown and its "Real Time" ticked.
class Application {
 public:
  Application() {
    page_ = app_.Show(kGas, QStringLiteral("MG11"));
    window_.Trend()->findChild<QWidget*>(QStringLiteral("trendChart"))->installEventFilter(&paints_);
    // Ticks a second apart, as timer 5 gives them, however fast the benchmark runs them.
    now_ = QDateTime::currentMSecsSinceEpoch();
    window_.Trend()->SetClock([this] { return now_; });
  }

  // One tick; its wall time in seconds.
  double Tick() {
    QElapsedTimer timer;
    timer.start();
    now_ += 1000;
    app_.Tick();
    app_.Line().WaitIdle();  // the poll runs on the line's thread; its reports come back here
    // What the tick posted (a zero timer, then the repaint it asks for) runs now.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) * 1e-9;
  }

  // Open on `minutes` in the view asked for, with an hour already recorded.
  void OpenTrend(int minutes, bool stacked) {
    Tick();
    TrendWindow* trend = window_.Trend();
    for (int i = 0; i < 3600; ++i) trend->Sample(now_ + i * 1000);
    now_ += 3600 * 1000;
    trend->SetSpanMinutes(minutes);
    trend->SetStacked(stacked);
    window_.ShowTrend();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }

  const char* PageName() const { return page_->Name() == QLatin1String("Mg11Page") ? "Mg11Page" : "?"; }
  int Paints() const { return paints_.paints; }
  bool Filled() const { return !page_->Edit(1487)->text().isEmpty(); }

 private:
  static constexpr int kGas = 3;
  bench::WindowOnSim app_{"Mg11Page"};
  MainWindow& window_ = app_.Window();
  DevicePage* page_ = nullptr;
  PaintCounter paints_;
  int64_t now_ = 0;
};

// The CPU time of the calling thread (the window thread), in seconds.
double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Figure {
  double wall = 0, cpu = 0;
};
Figure closedFigure, openFigure[2][3];  // [shared, stacked] open on 1, 10 and 60 minutes

// Closed: minutes 0. The ticks cover more than one step of the time axis at every span, so the
// figures include the full redraws it takes when it moves on (every 5 s, 30 s and 5 minutes).
void Run(benchmark::State& state, int minutes, bool stacked) {
  Application app;
  if (minutes > 0) app.OpenTrend(minutes, stacked);
  for (int i = 0; i < 5; ++i) app.Tick();  // the first exchanges settle the line
  const int paintsBefore = app.Paints();
  double wall = 0;
  const double cpuStart = ThreadCpu();
  for (auto _ : state) {
    const double seconds = app.Tick();
    wall += seconds;
    state.SetIterationTime(seconds);
  }
  const double cpu = ThreadCpu() - cpuStart;
  const double ticks = static_cast<double>(state.iterations());
  state.counters["paints_per_tick"] = (app.Paints() - paintsBefore) / ticks;
  state.counters["fields_filled"] = app.Filled();
  state.SetLabel(app.PageName());
  Figure& figure = minutes == 0 ? closedFigure : openFigure[stacked][minutes == 1 ? 0 : minutes == 10 ? 1 : 2];
  figure = {wall / ticks, cpu / ticks};
}

void BM_TickTrendClosed(benchmark::State& state) { Run(state, 0, false); }
void BM_TickTrendOpen(benchmark::State& state) {
  Run(state, static_cast<int>(state.range(0)), state.range(1) != 0);
}

BENCHMARK(BM_TickTrendClosed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(400);
BENCHMARK(BM_TickTrendOpen)->ArgNames({"minutes", "stacked"})->ArgsProduct({{60, 10, 1}, {0, 1}})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(400);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int stacked = 0; stacked < 2; ++stacked) {
    const char* view = stacked ? "stacked" : "shared";
    const Figure& hour = openFigure[stacked][2];
    if (closedFigure.wall > 0 && hour.wall > 0)
      std::printf("window thread per tick on Mg11Page: trend closed %.2f ms, open %s (60 min, an hour recorded) "
                  "%.2f ms (%+.1f %%); its CPU time per tick %.2f ms closed, %.2f ms open\n",
                  closedFigure.wall * 1e3, view, hour.wall * 1e3, (hour.wall / closedFigure.wall - 1) * 100,
                  closedFigure.cpu * 1e3, hour.cpu * 1e3);
    for (int k = 0; k < 2; ++k)
      if (const Figure& f = openFigure[stacked][k]; closedFigure.wall > 0 && f.wall > 0)
        std::printf("  open %s on %d min: %.2f ms (%+.1f %%), CPU %.2f ms\n", view, k == 0 ? 1 : 10, f.wall * 1e3,
                    (f.wall / closedFigure.wall - 1) * 100, f.cpu * 1e3);
  }
  return 0;
}
