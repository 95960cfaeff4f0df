// A transmitter that misbehaves on purpose, on the master side of a pseudo-terminal: every
// reply carries which request it answers (a register holds a value until a read changes it,
// to a new number or to 0), and a plan decides what goes on the line around each reply: stray
// bytes before, inside and after it, a split with a gap up to twice the silence, a delay past
// every wait, a copy at a lag, a frame for another address, an exception, silence, and the
// adapter's echo. Seeded schedules make the plans; a failing schedule is replayed from its seed.
//
// Its bounds: a reply comes within kLongestDelay of its request; a copy within kLongestCopyLag
// of its reply, one at most; and a line either copies (its replies then come at its pace) or
// is slow (replies late past every wait, no copies). A copy of one reply with the next reply
// late cannot be told from two registers that hold the same value without waiting out every
// late reply on every such read, which a sane line must not pay.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "tests/support/pty_pair.h"

namespace tamsu::test {

class LineAdversary {
 public:
  using Clock = std::chrono::steady_clock;
  using Bytes = std::vector<uint8_t>;
  using ms = std::chrono::milliseconds;
  // The bounds of the line's misbehaviour.
  static constexpr ms kLongestDelay{3000};
  static constexpr ms kLongestCopyLag{100};
  // A loaded machine may hold the peer's thread: a schedule whose bytes went out later than
  // planned by more than this broke the bounds above and is not judged.
  static constexpr ms kSlack{40};

  // Bytes put on the line `at` after the request came in.
  struct Emission {
    ms at;
    Bytes bytes;
  };
  // What goes on the line for one request, given the reply it calls for.
  using Plan = std::function<std::vector<Emission>(const Bytes& request, const Bytes& reply)>;

  LineAdversary();
  ~LineAdversary();
  LineAdversary(const LineAdversary&) = delete;
  LineAdversary& operator=(const LineAdversary&) = delete;

  const std::string& PortPath() const { return pty_.slavePath(); }
  static constexpr uint8_t kAddress = 1;

  // A new schedule: nothing pending, registers reset, the plans drawn from `seed` (random
  // echo, faults and timing) or given.
  void Random(uint64_t seed);
  void Script(Plan plan, bool echoes = false);
  bool Echoes() const;
  bool Copies() const;
  // Sets a register's value for the requests to come.
  void Hold(uint16_t reg, uint16_t value);

  // True when a request byte-identical to `request`, received at or after `since`, was
  // answered with exactly `values` (read) or was to be acknowledged (write).
  bool Answered(const Bytes& request, Clock::time_point since, const std::vector<uint16_t>& values) const;
  bool Acknowledged(const Bytes& request, Clock::time_point since) const;
  size_t Requests() const;
  // Every byte of the schedule went on the line within kSlack of when it was planned.
  bool KeptBounds() const;
  // Every request served, with what its reply carries, one a line.
  std::string Log() const;

  // A plan drawn at random, within the bounds above.
  static std::vector<Emission> RandomPlan(std::mt19937_64& rng, const Bytes& request, const Bytes& reply,
                                         bool copies);

 private:
  struct Served {
    Clock::time_point when;
    Bytes request;
    std::vector<uint16_t> values;  // read: what the reply carries
    bool acknowledged = false;     // write: an intact acknowledgement is planned
  };
  void Run();
  void Serve(const Bytes& request, Clock::time_point now);
  Bytes ReplyTo(const Bytes& request, Served& served);

  PtyPair pty_;
  mutable std::mutex mutex_;
  std::mt19937_64 rng_;
  Plan plan_;
  bool echoes_ = false;
  bool copies_ = false;
  uint16_t next_ = 100;
  std::map<uint16_t, uint16_t> registers_;
  std::vector<Served> served_;
  std::multimap<Clock::time_point, Bytes> pending_;
  Clock::duration lateness_{};
  bool stop_ = false;
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace tamsu::test

namespace tamsu {
class Link;
}

namespace tamsu::test {

// One seeded schedule against `adversary` on `link` (opened on its port): a few reads and
// writes through a ModbusMaster, or a few polls of a temperature and humidity page through its
// runner. Returns what went wrong (empty: every value and acknowledgement was its own
// request's, or the exchange failed), with the seed in it.
// `voided` (when given) is set when the schedule broke its own bounds on a loaded machine; then
// it is not judged.
std::string RunSchedule(LineAdversary& adversary, Link& link, uint64_t seed, bool throughRunner,
                        bool* voided = nullptr);

}  // namespace tamsu::test
