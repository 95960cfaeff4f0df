// Soak: real-time polling of the busiest page against the in-process simulator, with faults
// injected at random, for as long as asked. Every value shown must be the one the simulator
// holds for its register at that poll, or its field must be empty after a failure. Prints one
// summary line; exits 1 on a mismatch.
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

#include "modbus/modbus_master.h"
#include "modbus/number_text.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using tamsu::sim::Fault;
using tamsu::sim::FaultKind;

struct Field : tamsu::EditField {
  std::string text;
  std::string GetText() const override { return text; }
  void SetText(const std::string& t) override { text = t; }
};

struct CountingSink : tamsu::MessageSink {
  int boxes = 0;
  void ShowMessage(const std::string&, const std::string&, tamsu::MessageIcon) override { ++boxes; }
};

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

// The display board's poll: temperature (register 1) then humidity (register 0), signed
// tenths, messages on.
struct Poll {
  struct Read {
    uint16_t reg;
    const char* name;
  };
  std::vector<Read> reads{{0x0001, "temperature"}, {0x0000, "humidity"}};
  const char* profile = "TemHumKanbanPage";

  static std::string Shown(uint16_t raw) { return tamsu::FormatScaled(static_cast<int16_t>(raw) * 0.1, 1); }
};

class Soak {
 public:
  Soak(unsigned seed, std::chrono::seconds replugEvery) : random_(seed), replugEvery_(replugEvery) {}

  int Run(std::chrono::seconds duration) {
    if (!Plug()) return 2;
    const auto start = Clock::now();
    const long rssStart = ResidentKiB();
    const int fdsStart = OpenDescriptors();
    long rssWarm = rssStart;
    auto lastReplug = start;
    bool warm = false;
    while (Clock::now() - start < duration) {
      if (!warm && Clock::now() - start >= std::min<std::chrono::seconds>(duration / 10, std::chrono::seconds(30))) {
        warm = true;
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
    std::printf(", values checked %ld (shown %ld, empty after failure %ld), mismatches %ld, crashes 0, "
                "RSS %ld KiB -> %ld KiB after warm-up -> %ld KiB at end, descriptors %d -> %d\n",
                checked_, shown_, emptied_, mismatches_, rssStart, rssWarm, rssEnd, fdsStart, fdsEnd);
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
      case 5: f.kind = FaultKind::Delay; f.millis = std::uniform_int_distribution<int>(300, 950)(random_); break;
      case 6: f.kind = FaultKind::Twice; f.millis = std::uniform_int_distribution<int>(0, 60)(random_); break;
      case 7: f.kind = FaultKind::WrongAddress; break;
      case 8: f.kind = FaultKind::Endless; f.millis = std::uniform_int_distribution<int>(100, 1500)(random_); break;
    }
    ++faults_[std::string(tamsu::sim::FaultName(f.kind))];
    sim_->AddFault(f);
  }

  void PollOnce(bool plugged = true) {
    ++polls_;
    std::vector<uint16_t> values;
    for (const Poll::Read& read : poll_.reads) {
      const auto raw = static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 0xFFFF)(random_));
      values.push_back(raw);
      if (plugged) sim_->SetRegister(read.reg, raw);
    }
    if (plugged && std::bernoulli_distribution(0.3)(random_)) InjectFault();
    for (size_t i = 0; i < poll_.reads.size(); ++i) {
      Field field;
      field.text = "stale";
      sink_.boxes = 0;
      const uint8_t result = master_.ShowScaledSigned(sink_, field, poll_.reads[i].reg, 0.1, 1, true);
      ++checked_;
      const bool ok = result == tamsu::kSuccess ? field.text == Poll::Shown(values[i]) && sink_.boxes == 0
                                                : field.text.empty() && sink_.boxes == 1;
      if (result == tamsu::kSuccess) ++shown_; else ++emptied_;
      if (!ok || (!plugged && result == tamsu::kSuccess)) {
        if (++mismatches_ <= 10)
          std::fprintf(stderr, "soak: poll %ld %s shows \"%s\" (result %d, %d boxes), holds \"%s\"\n", polls_,
                       poll_.reads[i].name, field.text.c_str(), result, sink_.boxes, Poll::Shown(values[i]).c_str());
      }
    }
    if (plugged) sim_->ClearFaults();
  }

  std::mt19937 random_;
  std::chrono::seconds replugEvery_;
  Poll poll_;
  tamsu::Link link_;
  tamsu::ModbusMaster master_{link_};
  CountingSink sink_;
  std::unique_ptr<tamsu::sim::TransmitterSimulator> sim_;
  long polls_ = 0, checked_ = 0, shown_ = 0, emptied_ = 0, mismatches_ = 0;
  std::map<std::string, long> faults_;
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
