// A survey of a whole line: which transmitters answer, at which addresses and rates, and which
// addresses more than one of them answers. Plain C++ over the link, run as one job on the
// line's thread; what it finds is handed out as it is found.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "modbus/modbus_master.h"
#include "serial/link.h"

namespace tamsu {

struct SurveyPlan {
  std::vector<uint32_t> rates{9600, 4800, 2400};
  int from = 1;
  int to = 247;
  // How long each address is given to answer: silence is the usual answer here, so it is short.
  std::chrono::milliseconds wait{100};
};

inline constexpr int kSurveyLowest = 1;
inline constexpr int kSurveyHighest = 247;
inline constexpr std::chrono::milliseconds kSurveyShortestWait{20};
inline constexpr std::chrono::milliseconds kSurveyLongestWait{2000};

// Why the plan cannot run (empty when it can): an address range outside 1..247 or backwards,
// no rate or one the port cannot take, a rate twice, a wait outside 20 ms..2 s.
std::string CheckSurveyPlan(const SurveyPlan& plan);

// One transmitter (or several at one address) found at one rate.
struct SurveyFinding {
  enum class Kind : uint8_t {
    Value,      // register 0 read
    Exception,  // a Modbus exception answered for register 0: present all the same
    Conflict,   // answers collided each time: several transmitters at this address
  };
  int address = 0;
  uint32_t baud = 0;
  Kind kind = Kind::Value;
  uint16_t value = 0;          // Value: register 0
  uint8_t exceptionCode = 0;   // Exception
  // Learned after the rate's sweep from the configuration block at the device's own address,
  // where its family answers it.
  bool configured = false;
  uint32_t configuredBaud = 0;  // 0 for a code without a rate
  uint8_t parityCode = 0;
};

// "several transmitters answer at address N"
std::string ConflictText(int address);
// What register 0 read: the value, or the exception ("exception 02"), or the conflict.
std::string RegisterText(const SurveyFinding& finding);
// The configuration found ("9600 baud, No Check"), or "" when none was.
std::string ConfigurationText(const SurveyFinding& finding);

struct SurveyProgress {
  int address = 0;     // being asked now
  uint32_t baud = 0;
  size_t done = 0;     // addresses asked so far, over every rate
  size_t total = 0;
  std::chrono::milliseconds left{0};  // an estimate from the pace so far
};

// Called on the line's thread; none may wait for a window.
struct SurveyObserver {
  std::function<bool()> stopRequested;                     // asked before every exchange
  std::function<void(const SurveyProgress&)> progress;     // before each address
  std::function<void(const SurveyFinding&)> found;         // present or conflicting, at once
  std::function<void(const SurveyFinding&)> configured;    // the same finding, its configuration learned
};

enum class SurveyOutcome : uint8_t { Completed, Stopped, OpenFailed, PortLost };

class Survey {
 public:
  Survey(Link& link, ModbusMaster& master, SurveyPlan plan, SurveyObserver observer);

  // Opens the port at each rate in turn and asks every address of the range (once only on a
  // port that cannot set the line's rate, a raw TCP gateway). The port is left open at the last
  // rate tried. A plan CheckSurveyPlan refuses sends nothing (OpenFailed).
  SurveyOutcome Run(const std::string& devicePath);

  const std::vector<SurveyFinding>& Findings() const { return findings_; }
  // Why the survey ended early: the port's message.
  const std::string& Message() const { return message_; }

 private:
  enum class Heard : uint8_t { Nothing, Value, Exception, Collision, Other };
  struct Answer {
    Heard heard = Heard::Nothing;
    uint16_t value = 0;
    uint8_t code = 0;
  };
  Answer Ask(int address);
  // The classification of one address, asking twice more when answers collided.
  std::optional<SurveyFinding> Probe(int address, uint32_t baud);
  void Configure(SurveyFinding& finding);
  bool Stop() const { return observer_.stopRequested && observer_.stopRequested(); }
  bool Lost() const;

  Link& link_;
  ModbusMaster& master_;
  SurveyPlan plan_;
  SurveyObserver observer_;
  std::vector<SurveyFinding> findings_;
  std::string message_;
};

}  // namespace tamsu
