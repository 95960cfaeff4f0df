// The line adversary for as long as asked: seeded random schedules against the reply matching,
// through a ModbusMaster and a page's runner on parallel lines. Prints the schedules run, their
// rate and every violation with its seed; exits 1 when there was one.
//   line_adversary [SECONDS] [LINES] [FIRST SEED]
//   line_adversary replay SEED master|runner   (with TAMSU_ADVERSARY_TRACE=1: its line traffic)
//   line_adversary cost   (what reads cost on a sane line when two registers answer alike)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "modbus/modbus_master.h"
#include "serial/link.h"
#include "tests/support/line_adversary.h"

namespace {

// A sane transmitter answering at once; two registers hold 0 (gas in clean air), one 7.
int Cost() {
  tamsu::test::LineAdversary peer;
  peer.Script([](const auto&, const auto& reply) {
    return std::vector<tamsu::test::LineAdversary::Emission>{{std::chrono::milliseconds(1), reply}};
  });
  tamsu::Link link;
  link.ReopenPort(peer.PortPath(), 9600);
  link.CurrentAddress = tamsu::test::LineAdversary::kAddress;
  peer.Hold(0, 0);
  peer.Hold(1, 0);
  peer.Hold(2, 7);
  tamsu::ModbusMaster master(link);
  for (int tick = 0; tick < 3; ++tick) {
    for (uint16_t reg : {2, 0, 1}) {
      const size_t before = peer.Requests();
      uint16_t v = 0;
      const auto t0 = std::chrono::steady_clock::now();
      const uint8_t r = master.ReadRegister(reg, v);
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      std::printf("tick %d register %u: result %u value %u, %.1f ms, %zu request(s)\n", tick, reg, r, v, ms,
                  peer.Requests() - before);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "cost") return Cost();
  if (argc == 4 && std::string(argv[1]) == "replay") {
    tamsu::test::LineAdversary peer;
    tamsu::Link link;
    const std::string v =
        tamsu::test::RunSchedule(peer, link, std::strtoull(argv[2], nullptr, 10), std::string(argv[3]) == "runner");
    std::printf("%s\n", v.empty() ? "no violation" : v.c_str());
    return v.empty() ? 0 : 1;
  }
  const long seconds = argc > 1 ? std::atol(argv[1]) : 60;
  const int lines = argc > 2 ? std::atoi(argv[2]) : 48;
  const uint64_t base = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  std::atomic<uint64_t> next{base}, done{0}, voided{0};
  std::mutex mutex;
  size_t violations = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < lines; ++i) {
    threads.emplace_back([&, i] {
      tamsu::test::LineAdversary peer;
      tamsu::Link link;
      while (std::chrono::steady_clock::now() < end) {
        bool held = false;
        const std::string v = tamsu::test::RunSchedule(peer, link, next++, i % 2 == 1, &held);
        ++done;
        voided += held;
        if (!v.empty()) {
          std::lock_guard lock(mutex);
          ++violations;
          std::printf("VIOLATION %s\n", v.c_str());
          std::fflush(stdout);
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  const double minutes = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60;
  std::printf("%llu schedules (seeds %llu..%llu) in %.1f min: %.0f per minute, %llu not judged (the machine "
              "held the peer up), %zu violations\n",
              static_cast<unsigned long long>(done.load()), static_cast<unsigned long long>(base),
              static_cast<unsigned long long>(next.load() - 1), minutes, done / minutes,
              static_cast<unsigned long long>(voided.load()), violations);
  return violations == 0 ? 0 : 1;
}
