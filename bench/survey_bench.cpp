// The survey of a whole line on a paced 9600-baud simulated bus with five transmitters (3 ms
// turnaround). Goals: 247 addresses at one rate in under 30 s, the floor being 247 x (the
// request's wire time + the 100 ms wait); memory flat over a full three-rate sweep (resident
// size after each rate's sweep, against the first).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "device/survey.h"
#include "modbus/modbus_master.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

struct PacedBus {
  PacedBus() {
    tamsu::sim::SimulatorOptions options;
    options.bus = {{"TemHumPage", {.address = 3, .baud = 9600}},
                   {"WindSpeedPage", {.address = 17, .baud = 9600}},
                   {"generic", {.address = 64, .baud = 9600, .protocol = tamsu::sim::Protocol::Any255}},
                   {"TemHumPage", {.address = 128, .baud = 4800}},
                   {"WindSpeedPage", {.address = 247, .baud = 2400}}};
    options.mismatch = tamsu::sim::Mismatch::Silence;
    options.pace = true;
    options.turnaround = std::chrono::milliseconds(3);
    options.logCapacity = 10;  // the simulator's own record of requests is not the survey's memory
    simulator.emplace(options);
    ok = simulator->Start();
  }
  std::optional<tamsu::sim::TransmitterSimulator> simulator;
  bool ok = false;
};

double ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// One survey of every address at `rates` on the bus; false (the run skipped) when it did not
// complete.
bool Sweep(benchmark::State& state, std::vector<uint32_t> rates, tamsu::SurveyObserver observer, size_t& found) {
  PacedBus bus;
  tamsu::Link link;
  tamsu::ModbusMaster master(link);
  if (!bus.ok) {
    state.SkipWithError("simulator not started");
    return false;
  }
  for (auto _ : state) {
    tamsu::Survey survey(link, master, {rates, 1, 247, std::chrono::milliseconds(100)}, observer);
    const auto start = Clock::now();
    if (survey.Run(bus.simulator->PortPath()) != tamsu::SurveyOutcome::Completed) {
      state.SkipWithError("survey did not complete");
      return false;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    found = survey.Findings().size();
  }
  state.counters["found"] = static_cast<double>(found);
  return true;
}

void BM_SurveyOneRate(benchmark::State& state) {
  size_t found = 0;
  // Each address: the request's 8 bytes on the wire, then the wait.
  if (Sweep(state, {9600}, {}, found)) state.counters["floor_s"] = 247 * (8 * 10.0 / 9600 + 0.100);
}

void BM_SurveyThreeRatesMemory(benchmark::State& state) {
  std::vector<double> resident;
  uint32_t rate = 0;
  tamsu::SurveyObserver observer;
  observer.progress = [&](const tamsu::SurveyProgress& p) {
    if (p.baud != rate || p.done == p.total) resident.push_back(ResidentKb());
    rate = p.baud;
  };
  size_t found = 0;
  if (!Sweep(state, {9600, 4800, 2400}, observer, found) || resident.empty()) return;
  // Resident size as each rate's sweep begins, and at the end: after the first rate everything
  // allocated once is in place, so what grows from there on is what a survey keeps growing.
  for (size_t i = 0; i < resident.size(); ++i)
    state.counters[i + 1 < resident.size() ? "rss_rate" + std::to_string(i + 1) + "_kb" : "rss_end_kb"] = resident[i];
  state.counters["rss_growth_kb"] = resident.size() > 1 ? resident.back() - resident[1] : 0;
}

BENCHMARK(BM_SurveyOneRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SurveyThreeRatesMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
