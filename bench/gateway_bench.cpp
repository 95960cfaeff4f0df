// ReadRegister round trips through a real gateway (ser2net on 127.0.0.1, raw TCP and RFC 2217)
// against the same simulated transmitter's pseudo-terminal opened directly; and how long an
// open holds its caller for a closed port and for an address that never answers.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>

#include "modbus/modbus_master.h"
#include "serial/link.h"
#include "sim/simulator.h"
#include "tests/support/ser2net.h"

namespace {

using namespace tamsu;

// One transmitter and its own gateway per line measured: ser2net refuses a new connection to a
// device for a while after another connection to it has closed.
struct Bench {
  explicit Bench(bool charDelay) {
    sim::SimulatorOptions o;
    o.profile = "generic";
    o.drift = false;
    o.device.protocol = sim::Protocol::Modbus;
    simulator = std::make_unique<sim::TransmitterSimulator>(o);
    ok = simulator->Start();
    gateway = std::make_unique<test::Ser2net>(simulator->DevicePath(), charDelay);
    ok = ok && gateway->Start();
    link.CurrentAddress = 1;
  }
  std::unique_ptr<sim::TransmitterSimulator> simulator;
  std::unique_ptr<test::Ser2net> gateway;
  Link link;
  ModbusMaster master{link};
  bool ok = false;
};

enum class Via { Direct, RawTcp, Rfc2217 };

void RoundTrips(benchmark::State& state, Via via, bool charDelay) {
  static std::map<std::pair<Via, bool>, std::unique_ptr<Bench>> benches;
  auto& slot = benches[{via, charDelay}];
  if (!slot) slot = std::make_unique<Bench>(charDelay);
  Bench& b = *slot;
  const std::string where = via == Via::Direct   ? b.simulator->DevicePath()
                            : via == Via::RawTcp ? b.gateway->RawAddress()
                                                 : b.gateway->Rfc2217Address();
  if (!b.ok || (b.link.PortOpen.load() == 0 && b.link.ReopenPort(where, 9600) != 1)) {
    state.SkipWithError(("cannot open " + where + ": " + b.link.Port.LastError()).c_str());
    return;
  }
  uint16_t value = 0;
  for (auto _ : state) {
    if (b.master.ReadRegister(0, value) != kSuccess) {
      state.SkipWithError("read failed");
      break;
    }
  }
}

void BM_ReadRegister_Direct(benchmark::State& state) { RoundTrips(state, Via::Direct, false); }
void BM_ReadRegister_RawTcp(benchmark::State& state) { RoundTrips(state, Via::RawTcp, false); }
void BM_ReadRegister_Rfc2217(benchmark::State& state) { RoundTrips(state, Via::Rfc2217, false); }
// ser2net as installed: it holds each byte from the line for two characters' time.
void BM_ReadRegister_RawTcp_CharDelay(benchmark::State& state) { RoundTrips(state, Via::RawTcp, true); }
void BM_ReadRegister_Rfc2217_CharDelay(benchmark::State& state) { RoundTrips(state, Via::Rfc2217, true); }

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
ROUND_TRIP(BM_ReadRegister_RawTcp_CharDelay);
ROUND_TRIP(BM_ReadRegister_Rfc2217_CharDelay);
BENCHMARK(BM_Open_ClosedPort)->Iterations(1)->Repetitions(10)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open_SilentAddress)->Iterations(1)->Repetitions(2)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
