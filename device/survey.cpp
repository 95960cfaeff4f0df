#include "device/survey.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "device/baud_scan.h"
#include "modbus/frames.h"
#include "serial/receive_pump.h"
#include "serial/serial_port.h"

namespace tamsu {

namespace {

constexpr size_t kRequestBytes = 8;
constexpr size_t kLongestReply = 7;  // 03 of one register; an exception is 5

using Milliseconds = std::chrono::duration<double, std::milli>;

// The line time of one request at `baud` and the wait after it: what one silent address costs.
Milliseconds AddressCost(uint32_t baud, std::chrono::milliseconds wait) {
  return Milliseconds(kRequestBytes * 10 * 1000.0 / baud) + wait;
}

// The wait an exchange is given: the plan's, counted from the request's last byte on the wire
// (the driver takes the request at once and sends it at the line's pace).
std::chrono::milliseconds ReplyWait(const Link& link, std::chrono::milliseconds wait) {
  const uint32_t baud = std::max<uint32_t>(link.Port.Settings().baudRate, 300);
  return wait + std::chrono::milliseconds((kRequestBytes * 10 * 1000 + baud - 1) / baud);
}

}  // namespace

std::string CheckSurveyPlan(const SurveyPlan& plan) {
  if (plan.from < kSurveyLowest || plan.to > kSurveyHighest || plan.from > plan.to)
    return "the addresses must run from 1 to 247, the first no higher than the last";
  if (plan.rates.empty()) return "no baud rate to survey";
  for (size_t i = 0; i < plan.rates.size(); ++i) {
    if (LineSpeedOf(plan.rates[i]) == 0) return "the port cannot run at " + std::to_string(plan.rates[i]) + " baud";
    if (std::find(plan.rates.begin(), plan.rates.begin() + static_cast<std::ptrdiff_t>(i), plan.rates[i]) !=
        plan.rates.begin() + static_cast<std::ptrdiff_t>(i))
      return std::to_string(plan.rates[i]) + " baud is given twice";
  }
  if (plan.wait < kSurveyShortestWait || plan.wait > kSurveyLongestWait) return "the wait must be 20 to 2000 ms";
  return {};
}

std::string ConflictText(int address) { return "several transmitters answer at address " + std::to_string(address); }

std::string RegisterText(const SurveyFinding& finding) {
  switch (finding.kind) {
    case SurveyFinding::Kind::Value: return std::to_string(finding.value);
    case SurveyFinding::Kind::Exception: {
      char text[24];
      std::snprintf(text, sizeof text, "exception %02X", finding.exceptionCode);
      return text;
    }
    case SurveyFinding::Kind::Conflict: return "answers collide";
  }
  return {};
}

std::string ConfigurationText(const SurveyFinding& finding) {
  if (!finding.configured) return {};
  return std::to_string(finding.configuredBaud) + " baud, " + ParityText(finding.parityCode);
}

Survey::Survey(Link& link, ModbusMaster& master, SurveyPlan plan, SurveyObserver observer)
    : link_(link), master_(master), plan_(std::move(plan)), observer_(std::move(observer)) {}

// A request the port would not take counts too: the receive thread may not have seen the
// hang-up yet, and every address after it would seem silent.
bool Survey::Lost() const { return link_.HungUp() || link_.PortOpen.load() == 0 || link_.LastRequestNotSent(); }

Survey::Answer Survey::Ask(int address) {
  const size_t length = BuildReadRequest(link_.TxFrame.data(), static_cast<uint8_t>(address), 0x0000, 1);
  const auto wait = ReplyWait(link_, plan_.wait);
  const size_t n = master_.Exchange(length, wait, Link::Take::FirstFrame);
  if (n == 0) {
    // Nobody at this address is the usual case: the next one is asked at once.
    link_.ForgoLateReply();
    return {};
  }
  const uint8_t* frame = link_.RxFrame.data();
  Answer answer;
  if (n > kLongestReply || !CheckReplyCrc(frame, n)) {
    answer.heard = Heard::Collision;
  } else if (frame[0] != address) {
    answer.heard = Heard::Other;  // a late answer of another address, or a device that misreports its own
  } else if (n == kLongestReply && frame[1] == 0x03 && frame[2] == 2) {
    answer = {Heard::Value, ReplyRegister(frame, 0), 0};
  } else if (n == 5 && frame[1] == 0x83) {
    answer = {Heard::Exception, 0, frame[2]};
  } else {
    answer.heard = Heard::Other;
  }
  // A second transmitter at the same address may answer just after the first one, whole: what
  // else arrives within the wait is a second answer.
  const auto until = link_.LastRequest() + wait;
  if (link_.WaitForFrame(until) || link_.Pump().Collecting()) answer.heard = Heard::Collision;
  return answer;
}

std::optional<SurveyFinding> Survey::Probe(int address, uint32_t baud) {
  SurveyFinding finding{address, baud};
  Answer first = Ask(address);
  if (first.heard == Heard::Other && !Stop() && !Lost()) first = Ask(address);  // ask again rather than guess
  auto present = [&](const Answer& a) -> std::optional<SurveyFinding> {
    if (a.heard == Heard::Value) {
      finding.kind = SurveyFinding::Kind::Value;
      finding.value = a.value;
    } else if (a.heard == Heard::Exception) {
      finding.kind = SurveyFinding::Kind::Exception;
      finding.exceptionCode = a.code;
    } else {
      return std::nullopt;
    }
    return finding;
  };
  if (first.heard != Heard::Collision) return present(first);
  // Noise on the line collides once; two transmitters at one address collide again.
  std::optional<Answer> clean;
  for (int again = 0; again < 2; ++again) {
    if (Stop() || Lost()) return std::nullopt;
    const Answer a = Ask(address);
    if (a.heard == Heard::Collision) {
      finding.kind = SurveyFinding::Kind::Conflict;
      return finding;
    }
    if (!clean && (a.heard == Heard::Value || a.heard == Heard::Exception)) clean = a;
  }
  return clean ? present(*clean) : std::nullopt;
}

void Survey::Configure(SurveyFinding& finding) {
  const size_t length = BuildCommParamRead(link_.TxFrame.data(), static_cast<uint8_t>(finding.address));
  const size_t n = master_.Exchange(length, ReplyWait(link_, plan_.wait), Link::Take::FirstFrame);
  if (n == 0) {
    link_.ForgoLateReply();
    return;
  }
  const uint8_t* frame = link_.RxFrame.data();
  // Its own answer only: a family without the block answers an exception, which says nothing.
  if (n != 15 || frame[0] != finding.address || frame[1] != 0x03 || frame[2] != 10) return;
  const auto reply = ParseCommParamReply(frame, n);
  if (!reply) return;
  finding.configured = true;
  finding.configuredBaud = reply->baud;
  finding.parityCode = reply->ParityCode;
}

SurveyOutcome Survey::Run(const std::string& devicePath) {
  message_ = CheckSurveyPlan(plan_);
  if (!message_.empty()) return SurveyOutcome::OpenFailed;
  const size_t perRate = static_cast<size_t>(plan_.to - plan_.from + 1);
  SurveyProgress progress{plan_.from, plan_.rates.front(), 0, perRate * plan_.rates.size(), {}};
  // What is left, from the line times of the addresses still to ask, scaled by the pace so far.
  Milliseconds estimatedDone{0};
  const auto started = Link::Clock::now();
  auto left = [&](size_t rateIndex, int address) {
    Milliseconds rest{0};
    for (size_t r = rateIndex; r < plan_.rates.size(); ++r) {
      const int first = r == rateIndex ? address : plan_.from;
      rest += (plan_.to - first + 1) * AddressCost(plan_.rates[r], plan_.wait);
    }
    const Milliseconds spent = Link::Clock::now() - started;
    const double pace = estimatedDone.count() > 0 ? spent / estimatedDone : 1.0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(rest * std::max(pace, 1.0));
  };
  auto lost = [this] {
    message_ = "Serial port lost: the adapter was unplugged or the line closed";
    return SurveyOutcome::PortLost;
  };

  for (size_t r = 0; r < plan_.rates.size(); ++r) {
    const uint32_t baud = plan_.rates[r];
    if (Stop()) return SurveyOutcome::Stopped;
    if (link_.ReopenPort(devicePath, baud) == 0) {
      message_ = OpenFailedText(link_);
      return SurveyOutcome::OpenFailed;
    }
    const size_t firstOfRate = findings_.size();
    for (int address = plan_.from; address <= plan_.to; ++address) {
      if (Stop()) return SurveyOutcome::Stopped;
      progress.address = address;
      progress.baud = baud;
      progress.left = left(r, address);
      if (observer_.progress) observer_.progress(progress);
      std::optional<SurveyFinding> finding = Probe(address, baud);
      if (Lost()) return lost();
      ++progress.done;
      estimatedDone += AddressCost(baud, plan_.wait);
      if (!finding) continue;
      findings_.push_back(*finding);
      if (observer_.found) observer_.found(*finding);
    }
    // Each transmitter found at this rate, at its own address: what it is configured for.
    for (size_t i = firstOfRate; i < findings_.size(); ++i) {
      if (findings_[i].kind == SurveyFinding::Kind::Conflict) continue;  // answers would collide too
      if (Stop()) return SurveyOutcome::Stopped;
      Configure(findings_[i]);
      if (Lost()) return lost();
      if (findings_[i].configured && observer_.configured) observer_.configured(findings_[i]);
    }
    // Through a raw TCP gateway the line runs at the gateway's own rate whatever is asked: a
    // second sweep would report the same transmitters at rates they do not have.
    if (!link_.Port.SetsLineRate()) break;
  }
  progress.done = progress.total;
  progress.left = {};
  if (observer_.progress) observer_.progress(progress);
  return SurveyOutcome::Completed;
}

}  // namespace tamsu
