#include "tests/support/line_adversary.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "modbus/frames.h"

namespace tamsu::test {

namespace {

LineAdversary::Bytes WithCrc(LineAdversary::Bytes b) {
  b.resize(b.size() + 2);
  AppendCrc(b.data(), b.size() - 2);
  return b;
}

uint16_t Word(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

// How long a request of the tool is, from its first bytes (0 while unknown).
size_t RequestLength(const LineAdversary::Bytes& b) {
  if (b.size() < 2) return 0;
  if (b[1] == 0x10) return b.size() < 7 ? 0 : 9 + static_cast<size_t>(b[6]);
  return 8;
}

}  // namespace

LineAdversary::LineAdversary() {
  if (::pipe(wake_) != 0) std::abort();
  thread_ = std::thread([this] { Run(); });
}

LineAdversary::~LineAdversary() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  char c = 0;
  (void)!::write(wake_[1], &c, 1);
  thread_.join();
  ::close(wake_[0]);
  ::close(wake_[1]);
}

void LineAdversary::Random(uint64_t seed) {
  std::lock_guard lock(mutex_);
  rng_.seed(seed);
  echoes_ = std::uniform_int_distribution<int>(0, 3)(rng_) == 0;
  copies_ = std::uniform_int_distribution<int>(0, 1)(rng_) == 0;
  plan_ = nullptr;
  pending_.clear();
  lateness_ = {};
  served_.clear();
  registers_.clear();
}

void LineAdversary::Script(Plan plan, bool echoes) {
  std::lock_guard lock(mutex_);
  plan_ = std::move(plan);
  echoes_ = echoes;
  pending_.clear();
  lateness_ = {};
  served_.clear();
  registers_.clear();
}

bool LineAdversary::Echoes() const {
  std::lock_guard lock(mutex_);
  return echoes_;
}

bool LineAdversary::Copies() const {
  std::lock_guard lock(mutex_);
  return copies_;
}

void LineAdversary::Hold(uint16_t reg, uint16_t value) {
  std::lock_guard lock(mutex_);
  registers_[reg] = value;
}

bool LineAdversary::KeptBounds() const {
  std::lock_guard lock(mutex_);
  return lateness_ <= kSlack;
}

size_t LineAdversary::Requests() const {
  std::lock_guard lock(mutex_);
  return served_.size();
}

std::string LineAdversary::Log() const {
  std::lock_guard lock(mutex_);
  std::string out;
  const auto t0 = served_.empty() ? Clock::now() : served_.front().when;
  for (const Served& s : served_) {
    out += "\n  served +" + std::to_string(std::chrono::duration_cast<ms>(s.when - t0).count()) + " ms: reg " +
           std::to_string(Word(&s.request[2])) + " fn " + std::to_string(s.request[1]) + " ->";
    for (uint16_t v : s.values) out += " " + std::to_string(v);
    if (s.acknowledged) out += " acknowledged";
  }
  return out;
}

bool LineAdversary::Answered(const Bytes& request, Clock::time_point since, const std::vector<uint16_t>& values) const {
  std::lock_guard lock(mutex_);
  return std::any_of(served_.begin(), served_.end(), [&](const Served& s) {
    return s.when >= since && s.request == request && s.values == values;
  });
}

bool LineAdversary::Acknowledged(const Bytes& request, Clock::time_point since) const {
  std::lock_guard lock(mutex_);
  return std::any_of(served_.begin(), served_.end(),
                     [&](const Served& s) { return s.when >= since && s.request == request && s.acknowledged; });
}

// Caller holds mutex_.
LineAdversary::Bytes LineAdversary::ReplyTo(const Bytes& request, Served& served) {
  const uint16_t reg = Word(&request[2]);
  if (request[1] == 0x03) {
    const uint16_t count = Word(&request[4]);
    Bytes r{request[0], 0x03, static_cast<uint8_t>(2 * count)};
    for (uint16_t k = 0; k < count; ++k) {
      uint16_t& value = registers_.try_emplace(static_cast<uint16_t>(reg + k), next_++).first->second;
      // A reading moves now and then; gas readings in clean air sit at 0 on every register.
      if (!plan_) {
        const int draw = std::uniform_int_distribution<int>(0, 9)(rng_);
        if (draw < 3) value = next_++;
        else if (draw == 3) value = 0;
      }
      served.values.push_back(value);
      r.push_back(static_cast<uint8_t>(value >> 8));
      r.push_back(static_cast<uint8_t>(value));
    }
    return WithCrc(r);
  }
  if (request[1] == 0x06) return Bytes(request.begin(), request.begin() + 8);
  return WithCrc(Bytes(request.begin(), request.begin() + 6));
}

std::vector<LineAdversary::Emission> LineAdversary::RandomPlan(std::mt19937_64& rng, const Bytes& request,
                                                               const Bytes& reply, bool copies) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto chance = [&](int percent) { return pick(0, 99) < percent; };
  auto noise = [&] {
    Bytes b(static_cast<size_t>(pick(1, 3)));
    for (auto& x : b) x = static_cast<uint8_t>(pick(0, 255));
    return b;
  };
  std::vector<Emission> out;
  // Mostly at once; on a slow line now and then late, up to past every wait.
  const int at = !copies && chance(12) ? pick(300, static_cast<int>(kLongestDelay.count())) : pick(1, 25);
  Bytes answer = reply;
  const int kind = pick(0, 99);
  if (kind < 6) answer.clear();  // silence
  else if (kind < 11) answer = WithCrc({reply[0], static_cast<uint8_t>(request[1] | 0x80), static_cast<uint8_t>(pick(1, 4))});
  else if (kind < 16) answer.insert(answer.begin() + pick(1, static_cast<int>(answer.size()) - 1), noise()[0]);
  if (!answer.empty()) {
    if (chance(10)) {  // split, the pieces up to twice the silence apart
      const int cut = pick(1, static_cast<int>(answer.size()) - 1);
      out.push_back({ms(at), Bytes(answer.begin(), answer.begin() + cut)});
      out.push_back({ms(at + pick(1, 60)), Bytes(answer.begin() + cut, answer.end())});
    } else {
      out.push_back({ms(at), answer});
    }
    if (copies && chance(15))  // a copy
      out.push_back({ms(at + pick(10, static_cast<int>(kLongestCopyLag.count()))), answer});
  }
  if (chance(10)) out.push_back({ms(pick(0, at)), noise()});
  if (chance(10)) out.push_back({ms(at + pick(0, 80)), noise()});
  if (chance(5)) {  // another transmitter's answer to the same question
    Bytes other = reply;
    other[0] = static_cast<uint8_t>(reply[0] + 1);
    other.resize(other.size() - 2);
    out.push_back({ms(pick(0, 600)), WithCrc(other)});
  }
  return out;
}

// Caller holds mutex_.
void LineAdversary::Serve(const Bytes& request, Clock::time_point now) {
  if (request.size() < 8 || request[0] != kAddress) return;
  Served served{.when = now, .request = request, .values = {}, .acknowledged = false};
  const Bytes reply = ReplyTo(request, served);
  const std::vector<Emission> plan = plan_ ? plan_(request, reply) : RandomPlan(rng_, request, reply, copies_);
  if (echoes_) pending_.emplace(now, request);
  std::multimap<ms, const Bytes*> inOrder;
  for (const Emission& e : plan) {
    pending_.emplace(now + e.at, e.bytes);
    inOrder.emplace(e.at, &e.bytes);
  }
  // A write counts as acknowledged when its acknowledgement goes on the line whole, in one
  // piece or two.
  Bytes line;
  for (const auto& [at, bytes] : inOrder) line.insert(line.end(), bytes->begin(), bytes->end());
  served.acknowledged = request[1] != 0x03 && std::search(line.begin(), line.end(), reply.begin(), reply.end()) != line.end();
  served_.push_back(std::move(served));
}

void LineAdversary::Run() {
  Bytes incoming;
  std::unique_lock lock(mutex_);
  while (!stop_) {
    int timeout = -1;
    if (!pending_.empty()) {
      const auto left = std::chrono::ceil<ms>(pending_.begin()->first - Clock::now()).count();
      timeout = static_cast<int>(std::max<long long>(0, left));
    }
    lock.unlock();
    pollfd fds[2] = {{pty_.master(), POLLIN, 0}, {wake_[0], POLLIN, 0}};
    ::poll(fds, 2, timeout);
    lock.lock();
    if (fds[1].revents & POLLIN) {
      char c;
      (void)!::read(wake_[0], &c, 1);
    }
    if (fds[0].revents & POLLIN) {
      uint8_t buf[256];
      const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
      if (n > 0) incoming.insert(incoming.end(), buf, buf + n);
      for (size_t length; (length = RequestLength(incoming)) != 0 && incoming.size() >= length;) {
        Serve(Bytes(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(length)), Clock::now());
        incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(length));
      }
    }
    const auto now = Clock::now();
    while (!pending_.empty() && pending_.begin()->first <= now) {
      lateness_ = std::max(lateness_, now - pending_.begin()->first);
      const Bytes bytes = pending_.begin()->second;
      pending_.erase(pending_.begin());
      lock.unlock();
      pty_.Send(bytes);
      lock.lock();
    }
  }
}

}  // namespace tamsu::test

#include <cmath>
#include <sstream>

#include "device/page_runner.h"
#include "modbus/line_record.h"
#include "modbus/messages.h"
#include "modbus/modbus_master.h"
#include "serial/link.h"

namespace tamsu::test {

namespace {

class Quiet : public MessageSink {
 public:
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

PageDeclaration TwoFieldPage() {
  PageDeclaration page;
  page.name = "AdversaryPage";
  const Representation tenths{.kind = Representation::Kind::Signed, .scale = 0.1, .decimals = 1};
  page.rows.push_back({.caption = "Temperature", .edit = 11, .inquire = 12,
                       .read = {.reg = 0x0001, .shown = tenths, .messages = &kShowRegisterMessages}});
  page.rows.push_back({.caption = "Humidity", .edit = 13, .inquire = 14,
                       .read = {.reg = 0x0000, .shown = tenths, .messages = &kShowRegisterMessages}});
  page.poll = {11, 13};
  return page;
}

// Every field the runner fills, checked against the peer at once.
class Checked : public NoOutput {
 public:
  Checked(LineAdversary& adversary, std::string& violation) : adversary_(adversary), violation_(violation) {}
  void FieldFilled(int id, const std::string& text) override {
    const uint16_t reg = id == 11 ? 0x0001 : 0x0000;
    LineAdversary::Bytes request(8);
    BuildReadRequest(request.data(), LineAdversary::kAddress, reg, 1);
    const auto raw = static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::strtod(text.c_str(), nullptr) * 10)));
    if (!adversary_.Answered(request, since, {raw}) && violation_.empty())
      violation_ = "field " + std::to_string(id) + " shows " + text + ", no reply to its read said so";
  }
  LineAdversary::Clock::time_point since{};

 private:
  LineAdversary& adversary_;
  std::string& violation_;
};

}  // namespace

std::string RunSchedule(LineAdversary& adversary, Link& link, uint64_t seed, bool throughRunner, bool* voided) {
  adversary.Random(seed);
  link.ReopenPort(adversary.PortPath(), 9600);
  link.CurrentAddress = LineAdversary::kAddress;
  // The scan has found out whether the adapter echoes.
  link.SetEchoes(adversary.Echoes());
  std::mt19937_64 rng(seed ^ 0x9E3779B97F4A7C15ull);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::string violation;
  // TAMSU_ADVERSARY_TRACE set: a failing schedule's line traffic is printed with it.
  LineRecord record;
  const bool trace = std::getenv("TAMSU_ADVERSARY_TRACE") != nullptr;
  if (trace) link.SetObserver(&record);
  const int ops = pick(2, 5);
  if (throughRunner) {
    Quiet quiet;
    Checked output(adversary, violation);
    PageRunner runner(link, TwoFieldPage(), quiet, output);
    for (int i = 0; i < ops && violation.empty(); ++i) {
      output.since = LineAdversary::Clock::now();
      runner.RealTimePoll({});
    }
  } else {
    ModbusMaster master(link);
    for (int i = 0; i < ops && violation.empty(); ++i) {
      const auto since = LineAdversary::Clock::now();
      const int what = pick(0, 9);
      std::ostringstream op;
      if (what < 6) {
        const uint16_t reg = static_cast<uint16_t>(pick(0, 2));
        const uint16_t count = what < 5 ? 1 : 2;
        uint16_t values[2] = {};
        if (master.ReadRegisters(reg, count, values) != kSuccess) continue;
        LineAdversary::Bytes request(8);
        BuildReadRequest(request.data(), LineAdversary::kAddress, reg, count);
        if (!adversary.Answered(request, since, std::vector<uint16_t>(values, values + count))) {
          op << "read of " << count << " at " << reg << " gave " << values[0] << ", no reply to it said so";
          violation = op.str();
        }
      } else {
        const uint16_t value = static_cast<uint16_t>(pick(0, 65535));
        const bool single = what < 8;
        const uint8_t result = single ? master.WriteRegister(0x0010, value) : master.WriteRegister32(0x0012, value);
        if (result != kSuccess) continue;
        LineAdversary::Bytes request(16);
        request.resize(single ? BuildWriteSingle(request.data(), LineAdversary::kAddress, 0x0010, value)
                              : BuildWriteTwo(request.data(), LineAdversary::kAddress, 0x0012, 0, value));
        if (!adversary.Acknowledged(request, since)) {
          op << (single ? "write 06" : "write 16") << " of " << value << " succeeded unacknowledged";
          violation = op.str();
        }
      }
    }
  }
  // A schedule whose bytes the machine held up broke its bounds: not judged.
  const bool kept = adversary.KeptBounds();
  if (voided) *voided = !kept;
  if (!kept) violation.clear();
  if (trace) {
    link.SetObserver(nullptr);
    if (!violation.empty())
      for (const auto& line : record.Since(0)) violation += "\n  " + line.text;
    if (!violation.empty()) violation += adversary.Log();
  }
  if (violation.empty()) return {};
  return "seed " + std::to_string(seed) + (throughRunner ? " (runner)" : " (master)") + ": " + violation;
}

}  // namespace tamsu::test
