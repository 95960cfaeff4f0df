// The window's longest stall (the worst lateness of a 10 ms timer on it) while "Survey line…"
// sweeps 247 addresses at 9600 baud on a paced simulated bus of five transmitters, its table
// filling and its progress bar moving. Goal: under 50 ms.
//
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/survey_gui_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <memory>

#include "app/main_window.h"
#include "app/survey_window.h"
#include "bench/window_on_sim.h"
#include "sim/simulator.h"
#include "tests/support/window_lateness.h"

namespace {

using namespace tamsu;

void BM_WindowStallDuringSurvey(benchmark::State& state) {
  sim::SimulatorOptions options;
  options.bus = {{"TemHumPage", {.address = 3, .baud = 9600}},
                 {"WindSpeedPage", {.address = 17, .baud = 9600}},
                 {"generic", {.address = 64, .baud = 9600, .protocol = sim::Protocol::Any255}},
                 {"TemHumPage", {.address = 128, .baud = 9600}},
                 {"WindSpeedPage", {.address = 247, .baud = 9600}}};
  options.mismatch = sim::Mismatch::Silence;
  options.pace = true;
  options.turnaround = std::chrono::milliseconds(3);
  options.publish = true;
  sim::TransmitterSimulator simulator(options);
  if (!simulator.Start()) {
    state.SkipWithError("simulator not started");
    return;
  }
  Link link;
  bench::SilentSink sink;
  LineThread line(sink);
  AppContext context{link, sink, line};
  MainWindow window(context);
  auto* list = window.findChild<QComboBox*>(QStringLiteral("1000"), Qt::FindDirectChildrenOnly);
  list->setCurrentIndex(list->findData(QString::fromStdString(simulator.PortPath())));
  SurveyWindow* survey = window.ShowSurvey();
  for (const char* rate : {"surveyRate4800", "surveyRate2400"})
    survey->findChild<QCheckBox*>(QString::fromLatin1(rate))->setChecked(false);
  int rows = 0;
  for (auto _ : state) {
    test::WindowLateness stall;
    QEventLoop loop;
    QObject::connect(survey, &SurveyWindow::Finished, &loop, &QEventLoop::quit);
    survey->Start();
    loop.exec();
    state.SetIterationTime(stall.WorstSeconds());
    rows = survey->Table()->rowCount();
  }
  state.counters["found"] = rows;
}
BENCHMARK(BM_WindowStallDuringSurvey)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return tamsu::bench::RunWindowBenchmarks(argc, argv); }
