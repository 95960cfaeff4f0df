// ReadRegister round trips through a real gateway (ser2net on 127.0.0.1, raw TCP and RFC 2217)
// against the same simulated transmitter's pseudo-terminal opened directly; and how long an
// open holds its caller for a closed port and for an address that never answers.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "modbus/modbus_master.h"
#include "serial/link.h"
#include "sim/simulator.h"
#include "tests/support/ser2net.h"

namespace {

using namespace tamsu;

struct Bench {
  Bench() {
    sim::SimulatorOptions o;
    o.profile = "generic";
    o.drift = false;
    o.device.protocol = sim::Protocol::Modbus;
    simulator = std::make_unique<sim::TransmitterSimulator>(o);
    ok = simulator->Start();
    gateway = std::make_unique<test::Ser2net>(simulator->DevicePath());
    ok = ok && gateway->Start();
    link.CurrentAddress = 1;
  }
  std::unique_ptr<sim::TransmitterSimulator> simulator;
  std::unique_ptr<test::Ser2net> gateway;
  Link link;
  ModbusMaster master{link};
  bool ok = false;
};

Bench& Shared() {
  static Bench bench;
  return bench;
}

void RoundTrips(benchmark::State& state, const std::string& where) {
  Bench& b = Shared();
  if (!b.ok || b.link.ReopenPort(where, 9600) != 1) {
    state.SkipWithError(("cannot open " + where + ": " + b.link.Port.LastError()).c_str());
    return;
  }
  uint16_t value = 0;
  b.master.ReadRegister(0, value);  // the first request after an open pays for nothing else
  for (auto _ : state) {
    if (b.master.ReadRegister(0, value) != kSuccess) {
      state.SkipWithError("read failed");
      break;
    }
  }
}

void BM_ReadRegister_Direct(benchmark::State& state) { RoundTrips(state, Shared().simulator->DevicePath()); }
void BM_ReadRegister_RawTcp(benchmark::State& state) { RoundTrips(state, Shared().gateway->RawAddress()); }
void BM_ReadRegister_Rfc2217(benchmark::State& state) { RoundTrips(state, Shared().gateway->Rfc2217Address()); }

// The time an open holds the thread that asks for it.
void BM_Open_ClosedPort(benchmark::State& state) {
  Link link;
  const std::string where = "tcp://127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
  for (auto _ : state)
    if (link.ReopenPort(where, 9600) != 0) state.SkipWithError("a closed port opened");
}

void BM_Open_SilentAddress(benchmark::State& state) {
  // Accepts the connection in the kernel, then says nothing: the Telnet negotiation never ends.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listener, 8);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  Link link;
  const std::string where = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  for (auto _ : state)
    if (link.ReopenPort(where, 9600) != 0) state.SkipWithError("a silent address opened");
  ::close(listener);
}

// Single round trips, repeated, the three lines in one run: the medians are the figures.
#define ROUND_TRIP(fn) \
  BENCHMARK(fn)->Iterations(1)->Repetitions(30)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond)
ROUND_TRIP(BM_ReadRegister_Direct);
ROUND_TRIP(BM_ReadRegister_RawTcp);
ROUND_TRIP(BM_ReadRegister_Rfc2217);
BENCHMARK(BM_Open_ClosedPort)->Iterations(1)->Repetitions(10)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open_SilentAddress)->Iterations(1)->Repetitions(2)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
