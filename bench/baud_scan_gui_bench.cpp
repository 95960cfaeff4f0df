// "Test Baud Rate" against a simulated transmitter found on the first probe (0xFD query at
// 2400 baud) and on the last (register block at address 0, 9600 baud), with replies handed
// over at their last byte and by silence alone, in one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/statistics.h"
#include "device/baud_scan.h"
#include "sim/simulator.h"

namespace {

using tamsu::bench::SingleTimedRuns;

using Clock = std::chrono::steady_clock;

struct Quiet : tamsu::MessageSink {
  void ShowMessage(const std::string&, const std::string&, tamsu::MessageIcon) override {}
};

void BM_TestBaudRate(benchmark::State& state) {
  const bool last = state.range(0) != 0;
  const bool atLastByte = state.range(1) != 0;
  tamsu::sim::SimulatorOptions options;
  options.profile = "TemHumPage";
  options.device = last ? tamsu::sim::DeviceConfig{.address = 1, .baud = 9600, .protocol = tamsu::sim::Protocol::Any0}
                        : tamsu::sim::DeviceConfig{.address = 1, .baud = 2400, .protocol = tamsu::sim::Protocol::Legacy};
  tamsu::sim::TransmitterSimulator sim(options);
  if (!sim.Start()) {
    state.SkipWithError("simulator not started");
    return;
  }
  const tamsu::ScanOutcome expected = last ? tamsu::ScanOutcome::Any0 : tamsu::ScanOutcome::Legacy;
  for (auto _ : state) {
    tamsu::Link link;
    link.SetCompletion(atLastByte ? tamsu::Completion::AtLastByte : tamsu::Completion::BySilence);
    tamsu::ModbusMaster master(link);
    Quiet quiet;
    tamsu::DeviceConfig config;
    tamsu::BaudScan scan(link, master, quiet, config, {});
    const auto start = Clock::now();
    const tamsu::ScanOutcome outcome = scan.TestBaudRate(sim.PortPath());
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (outcome != expected) {
      state.SkipWithError("transmitter not found");
      break;
    }
  }
  state.SetLabel(std::string(last ? "last probe, " : "first probe, ") + (atLastByte ? "at the last byte" : "by silence"));
}
BENCHMARK(BM_TestBaudRate)
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Repetitions(5)
    ->Apply(SingleTimedRuns);

}  // namespace

BENCHMARK_MAIN();
