// The window while the line works, against the in-process simulator:
// - the window thread's longest stall (the worst lateness of a 10 ms timer) during a silent
//   three-axis poll, a scan with nothing on the line, a silent multi-gas block poll and an
//   address set nobody answers (goal: under 50 ms each), beside the same window idle: on a
//   shared machine the scheduler alone holds a thread for tens of milliseconds now and then,
//   and the longer a case runs, the likelier it meets such a moment;
// - how long the band's "Inquire", pressed during a silent three-axis poll, waits before its
//   request goes out (goal: about one exchange with its late-reply wait);
// - one read from a page's "Inquire" click to its field filled, through the runner on the
//   line's thread, against an immediately answering peer (goal: within 2 % of the direct
//   ReadRegister round trip of modbus_read_bench).
//
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/window_never_waits_gui_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/immediate_peer.h"
#include "bench/statistics.h"
#include "bench/window_on_sim.h"
#include "tests/support/window_lateness.h"

namespace {

using namespace tamsu;
using Clock = std::chrono::steady_clock;

using tamsu::bench::Most;
using tamsu::bench::SilentSink;
using tamsu::bench::SingleTimedRuns;

// The application on a simulated transmitter that answers nothing, its port selected.
class SilentApplication : public bench::WindowOnSim {
 public:
  explicit SilentApplication(const std::string& profile) : WindowOnSim(profile, true) {
    Sim().AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});
  }
  // Runs the window's events until the transmitter has heard `n` requests in all.
  void Heard(size_t n) {
    while (Sim().RequestLog().size() < n) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  void Idle() { Line().WaitIdle(60000); }
};

enum Case { kThreeAxisPoll, kScan, kBlockPoll, kAddressSet, kIdle };

void BM_WindowStall(benchmark::State& state) {
  const auto what = static_cast<Case>(state.range(0));
  SilentApplication app(what == kBlockPoll ? "Mg11Page" : "VibrationThreeAxisPage");
  if (what == kThreeAxisPoll) app.Show(14, QStringLiteral("Three axes"));
  if (what == kBlockPoll) app.Show(3, QStringLiteral("MG11"));
  for (auto _ : state) {
    test::WindowLateness stall;
    switch (what) {
      case kThreeAxisPoll:
      case kBlockPoll: app.Tick(); break;
      case kScan: app.Window().TestBaudRate(); break;
      case kAddressSet:
        app.Window().findChild<QLineEdit*>(QStringLiteral("1002"))->setText(QStringLiteral("5"));
        app.Window().SetDeviceAddress();
        break;
      case kIdle: {
        // The same window with nothing on the line: what the machine alone adds.
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        break;
      }
    }
    app.Idle();
    state.SetIterationTime(stall.WorstSeconds());
  }
  static const char* const kLabels[] = {"silent three-axis poll", "scan, nothing on the line",
                                        "silent multi-gas block poll", "address set, no answer",
                                        "idle for 10 s (the machine's own)"};
  state.SetLabel(kLabels[what]);
}
BENCHMARK(BM_WindowStall)
    ->Arg(kThreeAxisPoll)
    ->Arg(kScan)
    ->Arg(kBlockPoll)
    ->Arg(kAddressSet)
    ->Arg(kIdle)
    ->Repetitions(3)
    // The least disturbed run is what the tool does; the worst, what a loaded machine adds.
    ->Apply(SingleTimedRuns)->ComputeStatistics("max", Most);

// The band's "Inquire" pressed while a silent three-axis poll waits for its first reply: how
// long until its own request goes out.
void BM_PressDuringSilentPoll(benchmark::State& state) {
  SilentApplication app("VibrationThreeAxisPage");
  app.Show(14, QStringLiteral("Three axes"));
  for (auto _ : state) {
    app.Sim().ClearLog();
    app.Tick();
    app.Heard(1);
    const auto pressed = Clock::now();
    app.Window().InquireDevice();
    app.Heard(2);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - pressed).count());
    app.Idle();
    // The latch of the band's "Inquire" lapses at the next tick of timer 1.
    QElapsedTimer lapse;
    lapse.start();
    while (app.Window().InquireLatch() && lapse.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
}
BENCHMARK(BM_PressDuringSilentPoll)
    ->Repetitions(5)
    ->Apply(SingleTimedRuns);

// A page's "Inquire" of one register, from the click to the field filled by the window, with
// the read on the line's thread; by silence alone (as the direct round trip's 30 ms figure)
// and at the last byte.
void BM_InquireThroughTheLineThread(benchmark::State& state) {
  bench::ImmediateLine line;
  if (!line.Open()) {
    state.SkipWithError("pseudo-terminal not opened");
    return;
  }
  line.link.SetCompletion(state.range(0) ? Completion::AtLastByte : Completion::BySilence);
  SilentSink sink;
  LineThread thread(sink);
  AppContext context{line.link, sink, thread};
  DevicePage page(context, {.name = "BenchPage",
                            .rows = {{.caption = "Value", .edit = 1, .inquire = 2, .read = Unsigned(0)}}});
  QPushButton* inquire = page.Button(2);
  QLineEdit* field = page.Edit(1);
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(6));  // past the gap between frames
    field->setText(QStringLiteral("old"));
    const auto start = Clock::now();
    inquire->click();
    thread.WaitIdle(2000);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (!bench::PeerValue(field->text().toInt())) {
      state.SkipWithError("read failed");
      break;
    }
  }
  state.SetLabel(state.range(0) ? "at the last byte" : "by silence");
}
BENCHMARK(BM_InquireThroughTheLineThread)
    ->Arg(1)
    ->Arg(0)
    ->Repetitions(40)
    ->Apply(SingleTimedRuns);

}  // namespace

int main(int argc, char** argv) { return tamsu::bench::RunWindowBenchmarks(argc, argv); }
