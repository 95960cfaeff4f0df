// One ReadRegister round trip against a peer that answers at once on a pseudo-terminal: the
// receive thread's 30 ms of silence plus whatever the tool adds on its own.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "modbus/frames.h"
#include "modbus/modbus_master.h"
#include "tests/support/pty_pair.h"

namespace {

// Answers every whole read request with one register value until stopped.
class ImmediatePeer {
 public:
  explicit ImmediatePeer(tamsu::test::PtyPair& pty) : pty_(pty), thread_([this] { Run(); }) {}
  ~ImmediatePeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    std::vector<uint8_t> pending;
    while (!stop_) {
      pollfd p{pty_.master(), POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      uint8_t buf[256];
      const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
      if (n <= 0) continue;
      pending.insert(pending.end(), buf, buf + n);
      while (pending.size() >= 8) {
        uint8_t reply[8] = {pending[0], 0x03, 2, 0x01, 0x2C};
        const size_t length = tamsu::AppendCrc(reply, 5);
        pending.erase(pending.begin(), pending.begin() + 8);
        pty_.Send(std::vector<uint8_t>(reply, reply + length));
      }
    }
  }

  tamsu::test::PtyPair& pty_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void BM_ReadRegisterRoundTrip(benchmark::State& state) {
  tamsu::test::PtyPair pty;
  tamsu::Link link;
  if (link.ReopenPort(pty.slavePath(), 9600) != 1) {
    state.SkipWithError("pseudo-terminal not opened");
    return;
  }
  link.CurrentAddress = 1;
  tamsu::ModbusMaster master(link);
  ImmediatePeer peer(pty);
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
