// Soak: real-time polling of the busiest page against the in-process simulator, with faults
// injected at random, for as long as asked. Every value shown must be the one the simulator
// holds for its register at that poll (fresh values every poll, so a late answer to an earlier
// poll shows as a mismatch), or its field must be empty after a failure. Prints one summary
// line; exits 1 on a mismatch.
//
//   soak SECONDS [--seed N] [--replug SECONDS]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "modbus/line_record.h"
#include "modbus/modbus_master.h"
#include "modbus/representation.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using tamsu::sim::Fault;
using tamsu::sim::FaultKind;

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// The multi-gas page's poll, the busiest there is: one request for the nineteen registers
// from 0x0000, eighteen fields filled from the answer (the light from two registers), every
// field empty after a failed answer, no message. Scaled values are formed in single precision.
struct Poll {
  using Kind = tamsu::Representation::Kind;
  struct Field {
    uint16_t reg;
    tamsu::Representation shown;
  };
  static constexpr uint16_t kStart = 0x0000, kCount = 19;
  static constexpr std::chrono::milliseconds kReplyWait{1000};
  const char* profile = "Mg11Page";
  std::vector<Field> fields = [] {
    const tamsu::Representation whole{}, tenths{.kind = Kind::Unsigned, .scale = 0.1, .decimals = 1, .single = true},
        hundredths{.kind = Kind::Unsigned, .scale = 0.01, .decimals = 2, .single = true},
        signedTenths{.kind = Kind::Signed, .scale = 0.1, .decimals = 1, .single = true};
    return std::vector<Field>{{0, whole},        {1, whole},       {2, signedTenths},  {3, signedTenths},
                              {4, tenths},       {5, {.kind = Kind::Unsigned32}},      {7, whole},
                              {8, whole},        {9, hundredths},  {10, hundredths},   {11, tenths},
                              {12, whole},       {13, whole},      {14, whole},        {15, tenths},
                              {16, tenths},      {17, whole},      {18, whole}};
  }();
};

class Soak {
 public:
  // The line's record watches every exchange, as in the application.
  Soak(unsigned seed, std::chrono::seconds replugEvery) : random_(seed), replugEvery_(replugEvery) {
    link_.SetObserver(&record_);
  }
  ~Soak() { link_.SetObserver(nullptr); }

  int Run(std::chrono::seconds duration) {
    if (!Plug()) return 2;
    const auto start = Clock::now();
    const long rssStart = ResidentKiB();
    const int fdsStart = OpenDescriptors();
    long rssWarm = rssStart;
    auto lastReplug = start;
    bool warm = false;
    while (Clock::now() - start < duration) {
      // Warm once the bounded buffers are at their size: the traffic record full (or, in a run
      // too short to fill it, a tenth of the way).
      if (!warm && (record_.Size() == tamsu::LineRecord::kCapacity || Clock::now() - start >= duration / 10) &&
          Clock::now() - start >= std::chrono::seconds(5)) {
        warm = record_.Size() == tamsu::LineRecord::kCapacity || duration < std::chrono::minutes(20);
        rssWarm = ResidentKiB();
      }
      if (Clock::now() - lastReplug >= replugEvery_) {
        Unplug();
        if (!Plug()) return 2;
        lastReplug = Clock::now();
      }
      PollOnce();
    }
    const long rssEnd = ResidentKiB();
    const int fdsEnd = OpenDescriptors();
    std::printf("soak: %.0f s, polls %ld, faults", std::chrono::duration<double>(Clock::now() - start).count(), polls_);
    for (const auto& [kind, n] : faults_) std::printf(" %s=%ld", kind.c_str(), n);
    std::printf(", values checked %ld (answers %ld, failed polls %ld), mismatches %ld, crashes 0, "
                "RSS %ld KiB -> %ld KiB after warm-up -> %ld KiB at end, descriptors %d -> %d, traffic lines %zu\n",
                checked_, shown_, emptied_, mismatches_, rssStart, rssWarm, rssEnd, fdsStart, fdsEnd, record_.Size());
    return mismatches_ == 0 ? 0 : 1;
  }

 private:
  bool Plug() {
    tamsu::sim::SimulatorOptions options;
    options.profile = poll_.profile;
    options.device = {.address = 1, .baud = 9600, .protocol = tamsu::sim::Protocol::Modbus};
    options.drift = false;
    sim_ = std::make_unique<tamsu::sim::TransmitterSimulator>(options);
    std::string error;
    if (!sim_->Start(&error) || link_.ReopenPort(sim_->PortPath(), 9600) != 1) {
      std::fprintf(stderr, "soak: cannot start the simulator: %s\n", error.c_str());
      return false;
    }
    link_.CurrentAddress = 1;
    return true;
  }

  // The adapter pulled: the next poll must fail at once and show nothing.
  void Unplug() {
    sim_->Stop();
    ++faults_["hangup"];
    const auto end = Clock::now() + std::chrono::seconds(2);
    while (!link_.HungUp() && Clock::now() < end) usleep(1000);
    PollOnce(false);
  }

  void InjectFault() {
    std::uniform_int_distribution<int> pick(0, 8);
    Fault f{.count = 1};
    switch (pick(random_)) {
      case 0: f.kind = FaultKind::Silence; break;
      case 1: f.kind = FaultKind::BadCrc; break;
      case 2: f.kind = FaultKind::Split; f.millis = std::uniform_int_distribution<int>(5, 60)(random_); break;
      case 3: f.kind = FaultKind::Garbage; break;
      case 4: f.kind = FaultKind::Exception; f.code = 4; break;
      // Around the poll's one-second wait and on to most of the time a late answer is waited out.
      case 5: f.kind = FaultKind::Delay; f.millis = std::uniform_int_distribution<int>(600, 2100)(random_); break;
      // A second copy right behind the first, as one run of bytes: the reply counts, the copy is
      // stale. A copy that comes after the gap between frames (4 ms at 9600 baud, when the next
      // request may go out) looks exactly like the next answer: RTU has no transaction id.
      case 6: f.kind = FaultKind::Twice; f.millis = 0; break;
      case 7: f.kind = FaultKind::WrongAddress; break;
      case 8: f.kind = FaultKind::Endless; f.millis = std::uniform_int_distribution<int>(100, 1500)(random_); break;
    }
    ++faults_[std::string(tamsu::sim::FaultName(f.kind))];
    lastFault_ = std::string(tamsu::sim::FaultName(f.kind)) + ":" + std::to_string(f.millis) + " at poll " +
                 std::to_string(polls_);
    if (std::getenv("SOAK_TRACE")) std::fprintf(stderr, "poll %ld: %s %d\n", polls_, std::string(tamsu::sim::FaultName(f.kind)).c_str(), f.millis);
    sim_->AddFault(f);
  }

  void PollOnce(bool plugged = true) {
    ++polls_;
    std::vector<uint16_t> held(Poll::kCount);
    for (uint16_t reg = 0; reg < Poll::kCount; ++reg) {
      held[reg] = static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 0xFFFF)(random_));
      if (plugged) sim_->SetRegister(reg, held[reg]);
    }
    if (plugged && std::bernoulli_distribution(0.3)(random_)) InjectFault();
    uint16_t words[Poll::kCount] = {};
    const uint8_t result = master_.ReadRegisters(Poll::kStart, Poll::kCount, words, Poll::kReplyWait);
    if (result == tamsu::kSuccess) ++shown_; else ++emptied_;
    for (const Poll::Field& f : poll_.fields) {
      ++checked_;
      // What the page shows: the answer's value, or nothing after a failure.
      auto value = [&](const uint16_t* w) {
        return f.shown.Words() == 2 ? static_cast<uint32_t>(w[f.reg]) << 16 | w[f.reg + 1] : w[f.reg];
      };
      const std::string shown = result == tamsu::kSuccess ? tamsu::Present(f.shown, value(words)) : "";
      const std::string expected = tamsu::Present(f.shown, value(held.data()));
      if (result == tamsu::kSuccess && (!plugged || shown != expected)) {
        if (++mismatches_ <= 10)
          std::fprintf(stderr, "soak: poll %ld register %u shows \"%s\", holds \"%s\" (last fault %s)\n", polls_, f.reg,
                       shown.c_str(), expected.c_str(), lastFault_.c_str());
      }
    }
    if (plugged) sim_->ClearFaults();
  }

  std::mt19937 random_;
  std::chrono::seconds replugEvery_;
  Poll poll_;
  tamsu::Link link_;
  tamsu::LineRecord record_;
  tamsu::ModbusMaster master_{link_};
  std::unique_ptr<tamsu::sim::TransmitterSimulator> sim_;
  long polls_ = 0, checked_ = 0, shown_ = 0, emptied_ = 0, mismatches_ = 0;
  std::map<std::string, long> faults_;
  std::string lastFault_ = "none";
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: soak SECONDS [--seed N] [--replug SECONDS]\n");
    return 2;
  }
  const long seconds = std::strtol(argv[1], nullptr, 10);
  unsigned seed = 1;
  long replug = 180;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    else if (option == "--replug") replug = std::strtol(argv[i + 1], nullptr, 10);
  }
  if (seconds <= 0 || replug <= 0) {
    std::fprintf(stderr, "soak: SECONDS and --replug must be positive\n");
    return 2;
  }
  Soak soak(seed, std::chrono::seconds(replug));
  return soak.Run(std::chrono::seconds(seconds));
}
