// A simulated transmitter behind a pseudo-terminal: the simulator serves the device side, the
// tool (or any Modbus master) opens the other side as its serial port. It runs on its own
// thread; tests drive it in-process through this class, the tamsu-sim program from the
// command line.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/framing.h"
#include "sim/bus.h"
#include "sim/transmitter.h"

namespace tamsu::sim {

enum class FaultKind : uint8_t {
  Silence,       // no reply, and the request has no effect (the device did not hear it)
  BadCrc,        // the reply with its CRC bytes spoiled
  WrongAddress,  // the reply as if from the next address (CRC good)
  Exception,     // an exception reply with `code`; the request has no effect
  Split,         // the reply in `pieces` bursts, `millis` apart
  Delay,         // the reply after `millis`
  Garbage,       // noise bytes instead of the reply
  Twice,         // the reply, then the same reply again `millis` after the first has left
  Endless,       // the reply, then a noise byte every 20 ms for `millis`: a frame that never ends
};

constexpr int kAlways = -1;

struct Fault {
  FaultKind kind = FaultKind::Silence;
  int count = 1;  // how many answered requests it spoils; kAlways: every one
  int millis = 0;
  uint8_t code = kDeviceFailure;
  int pieces = 2;
};

// "KIND[:PARAM][@N]", KIND one of silence, badcrc, wrongaddress, exception (PARAM: code),
// split (PARAM: gap ms), delay (PARAM: ms), garbage, twice (PARAM: gap ms), endless (PARAM: ms);
// N a count or "always" (the default).
std::optional<Fault> ParseFault(std::string_view text);
// The KIND word of a fault, as ParseFault reads it.
std::string_view FaultName(FaultKind kind);

// What a device at another rate than the line's sends back for a request.
enum class Mismatch : uint8_t { Garbage, Silence };

struct LogEntry;

struct SimulatorOptions {
  std::string profile = "generic";
  DeviceConfig device{};
  // Several transmitters on the one line instead of `profile` and `device`: each answers its own
  // address at its own rate (keeping quiet at another), and answers sent at once collide. Faults
  // apply to a line of one transmitter only.
  std::vector<BusDevice> bus;
  Mismatch mismatch = Mismatch::Garbage;
  bool drift = true;  // false: live values hold their table values
  // Publish the port as a link in the port directory the tool lists.
  bool publish = false;
  std::string portDirectory;  // empty: RuntimePortDirectory()
  std::string linkName;       // empty: the first free "sim-ttyV<N>"
  // When a request counts as heard: at its last byte, by its function's layout (the default),
  // or only after 3.5 characters of silence, as a strict RTU slave frames it.
  Completion completion = Completion::AtLastByte;
  // A line of the device's rate rather than an instant one: a request is heard a byte time per
  // byte after its first byte, and reply bytes leave one byte time (10 bits) apart.
  bool pace = false;
  // From a request heard to the first byte of its reply.
  std::chrono::microseconds turnaround{0};
  // Called on the serving thread with every request heard and what went back (verbose mode).
  std::function<void(const LogEntry&)> onExchange;
  // How many of the latest requests RequestLog keeps: a simulator may serve for days.
  size_t logCapacity = 1000;
  // Also serve raw RTU over TCP on this port (0: none; Start picks a free one when
  // listenAnyPort is set), on `listenHost` (loopback unless told otherwise). One master at a
  // time: a new connection replaces the old one.
  uint16_t listenPort = 0;
  bool listenAnyPort = false;
  std::string listenHost = "127.0.0.1";
};

struct LogEntry {
  std::chrono::steady_clock::time_point time;  // when the request was complete
  std::vector<uint8_t> request;                 // the bytes framed as one request
  std::vector<uint8_t> reply;                   // everything sent back for it (all bursts)
  uint32_t lineBaud = 0;                        // the rate the master had set on the line
  bool rateMatched = true;                      // false: heard at another rate than the device's
};

class TransmitterSimulator {
 public:
  explicit TransmitterSimulator(SimulatorOptions options = {});
  ~TransmitterSimulator();  // Stop()
  TransmitterSimulator(const TransmitterSimulator&) = delete;
  TransmitterSimulator& operator=(const TransmitterSimulator&) = delete;

  // Creates the pseudo-terminal, publishes it when asked, starts serving. False with a reason
  // (unknown profile, no pseudo-terminal, link not created).
  bool Start(std::string* error = nullptr);
  // Stops serving, closes the pseudo-terminal, removes the published link. Idempotent.
  void Stop();
  bool Running() const { return thread_.joinable(); }

  // The path a master opens: the published link, or the pseudo-terminal itself.
  std::string PortPath() const;
  std::string DevicePath() const { return devicePath_; }  // /dev/pts/N
  std::string LinkPath() const { return linkPath_; }      // empty when not published
  uint16_t ListenPort() const { return listenPort_; }     // 0 when not listening

  // How many transmitters share the line (one unless a bus was given).
  size_t DeviceCount() const;
  // One transmitter of the bus, in the order given; the calls without an index are device 0's.
  DeviceConfig ConfigOf(size_t device) const;
  bool SetRegisterOf(size_t device, uint16_t reg, uint16_t value);

  // Registers. A written live value holds from then on.
  bool SetRegister(uint16_t reg, uint16_t value);  // false: the profile has no such register
  bool SetRegister32(uint16_t reg, uint32_t value);  // high word at reg
  std::optional<uint16_t> GetRegister(uint16_t reg) const;
  void SetDrift(bool on);

  // Device configuration (address, rate, protocol, comm block); takes effect at once.
  DeviceConfig Config() const;
  void SetConfig(const DeviceConfig& config);
  void SetAddress(uint8_t address);
  void SetBaud(uint32_t baud);
  void SetProtocol(Protocol protocol);
  void SetMismatch(Mismatch mismatch);

  // Faults apply in the order added; each spoils its count of answered requests.
  void AddFault(const Fault& fault);
  void ClearFaults();

  // When the last reply byte went onto the line (benchmarks tell the simulator's own lateness
  // from the master's with it).
  std::chrono::steady_clock::time_point LastReplyByte() const {
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastWrite_.load()));
  }

  // The most a reply byte went out after its time: a simulator held up mid-reply for longer
  // than the frame gap broke its own frame, as a stalled device would on a real line.
  std::chrono::microseconds MostLateByte() const { return std::chrono::microseconds(mostLate_.load()); }

  // The latest requests served (at most logCapacity), oldest first.
  std::vector<LogEntry> RequestLog() const;
  void ClearLog();
  // Waits (on a condition, no polling) until at least `count` requests were served since the
  // log was last cleared (counted even when the log no longer keeps them all).
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Burst {
    Clock::time_point due;
    std::vector<uint8_t> bytes;
  };

  void Serve();
  void OnBytes(const uint8_t* data, size_t n, Clock::time_point now);
  void OnSilence(Clock::time_point now);
  void FrameByLength(Clock::time_point now);
  void Answer(const std::vector<uint8_t>& frame, Clock::time_point now);
  // The same with several transmitters on the line (sim/bus.cpp).
  void AnswerOnBus(const std::vector<uint8_t>& frame, Clock::time_point now);
  void AnswerMismatch(const std::vector<uint8_t>& burst, Clock::time_point now);
  void Log(LogEntry entry);
  void Flush(Clock::time_point now);
  uint32_t LineBaud() const;
  Clock::duration Silence() const;
  Clock::duration ByteTime() const;
  // When the reply to a request of `length` bytes, its last read at `now`, may start.
  Clock::time_point ReplyStart(size_t length, Clock::time_point now) const;
  void Queue(Burst burst);
  std::vector<uint8_t> Noise(size_t n);
  double Seconds(Clock::time_point now) const;
  bool Publish(std::string* error);
  bool Listen(std::string* error);
  void Accept();
  bool Send(int fd, const uint8_t* bytes, size_t n);
  void Unpublish();
  void ReleaseExclusive();

  SimulatorOptions options_;
  std::vector<Transmitter> devices_;  // the line's transmitters; [0] alone unless a bus
  mutable std::mutex mutex_;  // devices_, faults_, log_, options_.mismatch
  mutable std::condition_variable logChanged_;
  std::deque<Fault> faults_;
  std::deque<LogEntry> log_;
  size_t logged_ = 0;  // requests served since the log was cleared
  uint64_t noise_ = 0x9E3779B97F4A7C15ull;

  int master_ = -1;
  int slave_ = -1;   // held so the device side stays healthy while the master side is closed
  int watch_ = -1;   // inotify on the slave: the master side closing
  int wake_[2] = {-1, -1};
  int listen_ = -1;  // TCP listener, when asked for
  int client_ = -1;  // the master connected over TCP
  uint16_t listenPort_ = 0;
  std::string devicePath_;
  std::string linkPath_;
  std::thread thread_;
  Clock::time_point started_{};

  // Serving thread only.
  std::vector<uint8_t> input_;
  Clock::time_point lastByte_{};
  Clock::time_point firstByte_{};  // of the request being received
  Clock::time_point lineFree_{};   // when the last queued reply byte has left (paced)
  bool inBurst_ = false;     // bytes came since the line was last quiet
  bool discarding_ = false;  // garbage seen: drop everything until the line is quiet
  bool mismatched_ = false;  // the bytes of this burst came at another rate
  std::deque<Burst> output_;
  bool overTcp_ = false;  // the burst being heard came over TCP: replies go back there
  uint32_t tcpBaud_ = 0;  // the device's rate: a gateway is taken to be set to it
  std::atomic<Clock::rep> lastWrite_{0};
  std::atomic<int64_t> mostLate_{0};  // microseconds
  std::optional<DeviceConfig> afterOutput_;  // applied when the queued reply has left
};

}  // namespace tamsu::sim
