// Reads over a simulated 9600-baud line: the simulator hears a request a byte time (10 bits)
// per byte after its first byte, waits its turnaround, and sends the reply a byte time per
// byte. Counters: the line's own time (wire time of request and reply, the turnaround, and the
// inter-frame gaps the master keeps between the reads of a sequence), what the whole adds to it,
// how late the simulator itself put its last byte on the line, and so what the tool adds.
// Goal: within 2 ms, with replies handed over at their last byte.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>
#include <thread>

#include "bench/statistics.h"
#include "modbus/modbus_master.h"
#include "serial/framing.h"
#include "sim/simulator.h"

namespace {

using tamsu::bench::SingleTimedRuns;

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
constexpr uint32_t kBaud = 9600;
constexpr auto kTurnaround = std::chrono::milliseconds(3);
constexpr double kByteMs = 10.0 * 1000 / kBaud;
// The three-axis vibration page's poll: acceleration, speed and stretch of X, Y and Z, and the
// temperature.
constexpr uint16_t kThreeAxisPoll[] = {0x000A, 0x000B, 0x000C, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0000};

void Measure(benchmark::State& state, const uint16_t* regs, size_t count) {
  tamsu::sim::SimulatorOptions options;
  options.profile = "VibrationThreeAxisPage";
  options.device = {.address = 1, .baud = kBaud, .protocol = tamsu::sim::Protocol::Modbus};
  options.drift = false;
  options.pace = true;
  options.turnaround = kTurnaround;
  tamsu::sim::TransmitterSimulator sim(options);
  tamsu::Link link;
  tamsu::ModbusMaster master(link);
  if (!sim.Start() || link.ReopenPort(sim.PortPath(), kBaud) != 1) {
    state.SkipWithError("simulator not reached");
    return;
  }
  link.CurrentAddress = 1;
  const bool atLastByte = state.range(0) != 0;
  link.SetCompletion(atLastByte ? tamsu::Completion::AtLastByte : tamsu::Completion::BySilence);
  // Request 8 bytes, reply 7, for each read; the gap before every read but the first.
  const double gapMs = duration<double, std::milli>(tamsu::InterFrameGap(kBaud)).count();
  const double lineMs = count * (15 * kByteMs + duration<double, std::milli>(kTurnaround).count()) + (count - 1) * gapMs;
  double excess = 0, simLate = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));  // the line quiet, the last reply's tail gone
    const auto start = Clock::now();
    double handOver = 0;  // from each reply's last byte on the line to the read's end
    for (size_t i = 0; i < count; ++i) {
      uint16_t value = 0;
      if (master.ReadRegister(regs[i], value) != tamsu::kSuccess) {
        state.SkipWithError("read failed");
        return;
      }
      handOver += duration<double, std::milli>(Clock::now() - sim.LastReplyByte()).count();
    }
    const auto end = Clock::now();
    const double took = duration<double>(end - start).count();
    state.SetIterationTime(took);
    excess = took * 1000 - lineMs;
    // Of that, what the tool adds after each reply's last byte; the rest is the simulator's own
    // lateness (a loaded machine wakes its timers late).
    simLate = excess - handOver;
  }
  state.counters["line_ms"] = lineMs;
  state.counters["adds_ms"] = excess;
  state.counters["sim_late_ms"] = simLate;
  state.counters["tool_adds_ms"] = excess - simLate;  // the hand-overs
  state.SetLabel(atLastByte ? "at the last byte" : "by silence");
}

void BM_PacedOneRegisterRead(benchmark::State& state) { Measure(state, kThreeAxisPoll, 1); }
void BM_PacedThreeAxisPoll(benchmark::State& state) { Measure(state, kThreeAxisPoll, std::size(kThreeAxisPoll)); }

BENCHMARK(BM_PacedOneRegisterRead)->Arg(1)->Arg(0)->Repetitions(20)->Apply(SingleTimedRuns);
BENCHMARK(BM_PacedThreeAxisPoll)->Arg(1)->Arg(0)->Repetitions(10)->Apply(SingleTimedRuns);

}  // namespace

BENCHMARK_MAIN();
