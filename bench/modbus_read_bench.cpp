// One ReadRegister round trip against a peer that answers at once on a pseudo-terminal, from
// the request's write to the reply's hand-over: the reply handed over at its last byte, and by
// the 30 ms of silence alone; beside it the same read by libmodbus on the same kind of peer.
// The line is left quiet for longer than the inter-frame gap before each request, so the gap
// the tool keeps is not what is timed.
#include <benchmark/benchmark.h>
#include <modbus.h>

#include <algorithm>
#include <chrono>
#include <vector>
#include <thread>

#include "bench/immediate_peer.h"
#include "bench/statistics.h"
#include "modbus/modbus_master.h"
#include "tests/support/pty_pair.h"

namespace {

using tamsu::bench::SingleTimedRuns;

using Clock = std::chrono::steady_clock;
constexpr auto kQuietBefore = std::chrono::milliseconds(6);  // > 4.01 ms, the gap at 9600 baud

// Goal: median under 1 ms at the last byte (30.6 ms by silence alone).
void BM_ReadRegisterRoundTrip(benchmark::State& state) {
  tamsu::bench::ImmediateLine line;
  if (!line.Open()) {
    state.SkipWithError("pseudo-terminal not opened");
    return;
  }
  line.link.SetCompletion(state.range(0) ? tamsu::Completion::AtLastByte : tamsu::Completion::BySilence);
  for (auto _ : state) {
    std::this_thread::sleep_for(kQuietBefore);
    uint16_t value = 0;
    const auto start = Clock::now();
    const uint8_t result = line.master.ReadRegister(0x0000, value);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (result != tamsu::kSuccess || !tamsu::bench::PeerValue(value)) {
      state.SkipWithError("read failed");
      break;
    }
  }
  state.SetLabel(state.range(0) ? "at the last byte" : "by silence");
}
// Single round trips, repeated: the median is the figure that counts.
BENCHMARK(BM_ReadRegisterRoundTrip)
    ->Arg(1)
    ->Arg(0)
    ->Repetitions(40)
    ->Apply(SingleTimedRuns);

// The same read by libmodbus, for comparison.
void BM_LibmodbusReadRoundTrip(benchmark::State& state) {
  tamsu::test::PtyPair pty;
  tamsu::bench::ImmediatePeer peer(pty);
  modbus_t* ctx = modbus_new_rtu(pty.slavePath().c_str(), 9600, 'N', 8, 1);
  if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
    if (ctx) modbus_free(ctx);
    state.SkipWithError("libmodbus could not open the pseudo-terminal");
    return;
  }
  modbus_set_response_timeout(ctx, 1, 0);
  for (auto _ : state) {
    std::this_thread::sleep_for(kQuietBefore);
    uint16_t value = 0;
    const auto start = Clock::now();
    const int n = modbus_read_registers(ctx, 0, 1, &value);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (n != 1 || !tamsu::bench::PeerValue(value)) {
      state.SkipWithError("read failed");
      break;
    }
  }
  modbus_close(ctx);
  modbus_free(ctx);
}
BENCHMARK(BM_LibmodbusReadRoundTrip)
    ->Repetitions(40)
    ->Apply(SingleTimedRuns);

}  // namespace

BENCHMARK_MAIN();
