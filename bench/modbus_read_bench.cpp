// One ReadRegister round trip against a peer that answers at once on a pseudo-terminal: the
// receive thread's 30 ms of silence plus whatever the tool adds on its own.
#include <benchmark/benchmark.h>

#include "bench/immediate_peer.h"
#include "modbus/modbus_master.h"
#include "tests/support/pty_pair.h"

namespace {

void BM_ReadRegisterRoundTrip(benchmark::State& state) {
  tamsu::bench::ImmediateLine line;
  if (!line.Open()) {
    state.SkipWithError("pseudo-terminal not opened");
    return;
  }
  tamsu::ModbusMaster& master = line.master;
  for (auto _ : state) {
    uint16_t value = 0;
    if (master.ReadRegister(0x0000, value) != tamsu::kSuccess || value != 300) {
      state.SkipWithError("read failed");
      break;
    }
  }
}
// Single round trips, repeated: the median is the figure that counts.
BENCHMARK(BM_ReadRegisterRoundTrip)
    ->Iterations(1)
    ->Repetitions(40)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
