// The ReadRegister round trip against a peer that answers at once, measured in one run with
// nobody watching the line, with the line's record (the traffic window closed), and with the
// line traffic window open and showing the poll (events processed between round trips, as the
// window's own loop does, outside the measured time).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>

#include "app/line_traffic_window.h"
#include "bench/immediate_peer.h"
#include "modbus/line_record.h"
#include "modbus/modbus_master.h"
#include "tests/support/pty_pair.h"

namespace {

enum Watcher { kNobody, kRecord, kWindow };

void RoundTrip(benchmark::State& state) {
  const auto watcher = static_cast<Watcher>(state.range(0));
  tamsu::bench::ImmediateLine line;
  if (!line.Open()) {
    state.SkipWithError("pseudo-terminal not opened");
    return;
  }
  tamsu::Link& link = line.link;
  tamsu::ModbusMaster& master = line.master;
  tamsu::LineRecord record;
  tamsu::LineTrafficWindow window(record);
  if (watcher != kNobody) link.SetObserver(&record);
  if (watcher == kWindow) window.show();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    uint16_t value = 0;
    const uint8_t result = master.ReadRegister(0x0000, value);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (result != tamsu::kSuccess || !tamsu::bench::PeerValue(value)) {
      state.SkipWithError("read failed");
      break;
    }
    // What the window thread does between two polls: the traffic window takes and draws.
    if (watcher == kWindow) {
      window.Refresh();
      QApplication::processEvents();
    }
  }
  link.SetObserver(nullptr);
  state.SetLabel(watcher == kNobody ? "nobody watching" : watcher == kRecord ? "record, window closed" : "window open");
}
BENCHMARK(RoundTrip)
    ->Arg(kNobody)
    ->Arg(kRecord)
    ->Arg(kWindow)
    ->Iterations(1)
    ->Repetitions(60)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
