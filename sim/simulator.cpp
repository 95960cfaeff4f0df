#include "sim/simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "modbus/frames.h"
#include "serial/serial_port.h"
#include "serial/port_directory.h"

namespace tamsu::sim {
namespace {

bool ParseInt(std::string_view s, int& out) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size();
}

// What is left until `due`, at least zero.
std::chrono::steady_clock::duration Until(std::chrono::steady_clock::time_point due,
                                          std::chrono::steady_clock::time_point now) {
  return due <= now ? std::chrono::steady_clock::duration::zero() : due - now;
}

constexpr std::string_view kFaultNames[] = {"silence", "badcrc",  "wrongaddress", "exception", "split",
                                            "delay",   "garbage", "twice",        "endless"};

}  // namespace

std::string_view FaultName(FaultKind kind) { return kFaultNames[static_cast<size_t>(kind)]; }

std::optional<Fault> ParseFault(std::string_view text) {
  Fault f;
  f.count = kAlways;
  if (auto at = text.find('@'); at != std::string_view::npos) {
    const auto n = text.substr(at + 1);
    if (n != "always" && (!ParseInt(n, f.count) || f.count < 1)) return std::nullopt;
    text = text.substr(0, at);
  }
  std::string_view param;
  if (auto colon = text.find(':'); colon != std::string_view::npos) {
    param = text.substr(colon + 1);
    text = text.substr(0, colon);
  }
  int value = 0;
  const bool hasValue = !param.empty();
  if (hasValue && (!ParseInt(param, value) || value < 0)) return std::nullopt;
  size_t kind = 0;
  while (kind < std::size(kFaultNames) && kFaultNames[kind] != text) ++kind;
  if (kind == std::size(kFaultNames)) return std::nullopt;
  f.kind = static_cast<FaultKind>(kind);
  switch (f.kind) {
    case FaultKind::Exception:
      if (hasValue) {
        if (value > 255) return std::nullopt;
        f.code = static_cast<uint8_t>(value);
      }
      break;
    case FaultKind::Split: f.millis = hasValue ? value : 50; break;
    case FaultKind::Delay: f.millis = hasValue ? value : 200; break;
    case FaultKind::Twice: f.millis = hasValue ? value : 0; break;
    case FaultKind::Endless: f.millis = hasValue ? value : 5000; break;
    default:
      if (hasValue) return std::nullopt;  // the other kinds take no parameter
      break;
  }
  return f;
}

TransmitterSimulator::TransmitterSimulator(SimulatorOptions options) : options_(std::move(options)) {}

TransmitterSimulator::~TransmitterSimulator() { Stop(); }

bool TransmitterSimulator::Start(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    Stop();
    return false;
  };
  if (thread_.joinable()) return true;
  std::vector<BusDevice> line = options_.bus;
  if (line.empty()) line.push_back({options_.profile, options_.device});
  devices_.clear();
  for (const BusDevice& d : line) {
    const Profile* profile = FindProfile(d.profile);
    if (!profile) return fail("unknown profile: " + d.profile);
    devices_.emplace_back(*profile, d.config);
    devices_.back().Registers().SetDrift(options_.drift);
  }
  options_.device = devices_.front().Config();

  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    return fail(std::string("no pseudo-terminal: ") + std::strerror(errno));
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) return fail("no pseudo-terminal name");
  devicePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave_ < 0) return fail(std::string("cannot open ") + name + ": " + std::strerror(errno));
  // Raw, no echo, at the device's rate until a master sets its own.
  termios t{};
  tcgetattr(slave_, &t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  const speed_t speed = LineSpeedOf(options_.device.baud);
  cfsetspeed(&t, speed == B0 ? B9600 : speed);
  tcsetattr(slave_, TCSANOW, &t);
  termios m{};
  tcgetattr(master_, &m);
  cfmakeraw(&m);
  tcsetattr(master_, TCSANOW, &m);

  watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch_ >= 0 && inotify_add_watch(watch_, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
    ::close(watch_);
    watch_ = -1;
  }
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail("no pipe");
  if ((options_.listenPort != 0 || options_.listenAnyPort) && !Listen(error)) {
    Stop();
    return false;
  }
  if (options_.publish && !Publish(error)) {
    Stop();
    return false;
  }
  started_ = Clock::now();
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void TransmitterSimulator::Stop() {
  if (thread_.joinable()) {
    const uint8_t b = 1;
    [[maybe_unused]] ssize_t w = ::write(wake_[1], &b, 1);
    thread_.join();
  }
  Unpublish();
  for (int* fd : {&master_, &slave_, &watch_, &wake_[0], &wake_[1], &listen_, &client_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

std::string TransmitterSimulator::PortPath() const {
  return linkPath_.empty() ? devicePath_ : linkPath_;
}

bool TransmitterSimulator::Publish(std::string* error) {
  std::string dir = options_.portDirectory.empty() ? RuntimePortDirectory() : options_.portDirectory;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  // A directory given by name is checked itself; the runtime one from below the system's.
  std::string base = RuntimePortBase();
  if (!options_.portDirectory.empty()) {
    if (dir.find('/') == std::string::npos) dir = "./" + dir;
    const size_t slash = dir.rfind('/');
    base = slash == 0 ? "/" : dir.substr(0, slash);
  }
  std::string problem;
  const int fd = OpenPortDirectory(base, dir, true, &problem);
  if (fd < 0) {
    if (error) *error = problem;
    return false;
  }
  ::close(fd);
  for (int n = 0; n < 100; ++n) {
    const std::string name = options_.linkName.empty() ? "sim-ttyV" + std::to_string(n) : options_.linkName;
    const std::string path = dir + "/" + name;
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (::symlink(devicePath_.c_str(), path.c_str()) == 0) {
        linkPath_ = path;
        return true;
      }
      if (errno != EEXIST) {
        if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
      }
      // A link left by a simulator that was killed points nowhere: take its name over.
      struct stat st{};
      if (::stat(path.c_str(), &st) == 0 || ::unlink(path.c_str()) != 0) break;
    }
    if (!options_.linkName.empty()) {
      if (error) *error = path + " is in use";
      return false;
    }
  }
  if (error) *error = "no free link name in " + dir;
  return false;
}

bool TransmitterSimulator::Listen(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(options_.listenPort);
  if (::getaddrinfo(options_.listenHost.c_str(), port.c_str(), &hints, &found) != 0 || !found)
    return fail("bad listen address " + options_.listenHost);
  listen_ = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  if (listen_ >= 0) ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const bool bound = listen_ >= 0 && ::bind(listen_, found->ai_addr, found->ai_addrlen) == 0 && ::listen(listen_, 4) == 0;
  ::freeaddrinfo(found);
  if (!bound) return fail("cannot listen on " + options_.listenHost + " port " + port + ": " + std::strerror(errno));
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getsockname(listen_, reinterpret_cast<sockaddr*>(&ss), &len) == 0)
    listenPort_ = ntohs(ss.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  return true;
}

void TransmitterSimulator::Accept() {
  const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  // The newest master wins: one that went away without closing must not lock the device.
  if (client_ >= 0) ::close(client_);
  client_ = fd;
  const int on = 1;
  ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool TransmitterSimulator::Send(int fd, const uint8_t* bytes, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t w = fd == client_ ? ::send(fd, bytes + done, n - done, MSG_NOSIGNAL) : ::write(fd, bytes + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      lastWrite_.store(Clock::now().time_since_epoch().count());
      continue;
    }
    if (w < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 1000) > 0) continue;
    }
    return false;  // the line is gone or stuck: this reply is lost, as on a real line
  }
  return true;
}

void TransmitterSimulator::Unpublish() {
  if (linkPath_.empty()) return;
  // Remove the link only while it is still ours.
  char target[256];
  const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
  if (n > 0 && std::string_view(target, static_cast<size_t>(n)) == devicePath_) ::unlink(linkPath_.c_str());
  linkPath_.clear();
}

// A master that opened the line exclusively and closed it without giving that up (or died)
// would leave the line closed to everyone but root while this simulator holds it open.
void TransmitterSimulator::ReleaseExclusive() {
  alignas(inotify_event) char buf[1024];
  bool closed = false;
  for (;;) {
    const ssize_t n = ::read(watch_, buf, sizeof buf);
    if (n <= 0) break;
    closed = true;
  }
  if (closed) ::ioctl(slave_, TIOCNXCL);
}

uint32_t TransmitterSimulator::LineBaud() const {
  if (overTcp_) return tcpBaud_;
  termios t{};
  if (tcgetattr(slave_, &t) != 0) return 0;
  return BaudOfLineSpeed(cfgetospeed(&t));
}

TransmitterSimulator::Clock::duration TransmitterSimulator::Silence() const {
  // The gap between frames at the line's rate, at least 4 ms: a master's bytes that a busy
  // machine delays a little are still one request.
  return std::max<Clock::duration>(InterFrameGap(std::max<uint32_t>(LineBaud(), 300)), std::chrono::milliseconds(4));
}

TransmitterSimulator::Clock::duration TransmitterSimulator::ByteTime() const {
  // Ten bits a byte: start, eight data bits, stop.
  return std::chrono::microseconds(10'000'000ll / std::max<uint32_t>(LineBaud(), 300));
}

TransmitterSimulator::Clock::time_point TransmitterSimulator::ReplyStart(size_t length, Clock::time_point now) const {
  Clock::time_point heard = now;
  if (options_.pace) {
    // The master's bytes come all at once over the pseudo-terminal; on the wire the last of
    // them would end a byte time per byte after the first began.
    auto end = firstByte_ + static_cast<Clock::rep>(length) * ByteTime();
    if (options_.completion == Completion::BySilence) end += Silence();
    heard = std::max(heard, end);
  }
  return heard + options_.turnaround;
}

void TransmitterSimulator::Queue(Burst burst) {
  if (!options_.pace) {
    output_.push_back(std::move(burst));
    return;
  }
  // Byte by byte, each written when it would have arrived whole; a burst waits for the line.
  Clock::time_point at = std::max(burst.due, lineFree_);
  for (uint8_t b : burst.bytes) {
    at += ByteTime();
    output_.push_back({at, {b}});
  }
  lineFree_ = at;
}

double TransmitterSimulator::Seconds(Clock::time_point now) const {
  return std::chrono::duration<double>(now - started_).count();
}

std::vector<uint8_t> TransmitterSimulator::Noise(size_t n) {
  std::vector<uint8_t> out(std::max<size_t>(n, 4));
  for (auto& b : out) {
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 7;
    noise_ ^= noise_ << 17;
    b = static_cast<uint8_t>(noise_ >> 24);
  }
  // Noise never passes for a frame.
  if (out[0] == 0xFD) out[0] = 0x7F;
  if (CheckReplyCrc(out.data(), out.size())) out.back() ^= 0x55;
  return out;
}

void TransmitterSimulator::Serve() {
  uint8_t buf[512];
  for (;;) {
    auto now = Clock::now();
    std::optional<Clock::duration> timeout;
    if (inBurst_) timeout = Until(lastByte_ + Silence(), now);
    if (!output_.empty()) {
      const auto due = Until(output_.front().due, now);
      timeout = timeout ? std::min(*timeout, due) : due;
    }
    // To the microsecond: a paced reply's bytes are a millisecond apart at 9600 baud.
    timespec ts{};
    if (timeout) {
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count();
      ts.tv_sec = static_cast<time_t>(ns / 1000000000);
      ts.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    pollfd fds[5] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}, {watch_, POLLIN, 0}, {listen_, POLLIN, 0},
                     {client_, POLLIN, 0}};
    const int r = ::ppoll(fds, 5, timeout ? &ts : nullptr, nullptr);
    if (r < 0 && errno != EINTR) break;
    now = Clock::now();
    if (fds[1].revents) break;
    if (watch_ >= 0 && fds[2].revents) ReleaseExclusive();
    if (inBurst_ && now - lastByte_ >= Silence()) OnSilence(now);
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) {
        overTcp_ = false;
        OnBytes(buf, static_cast<size_t>(n), now);
      }
    }
    if (client_ >= 0 && fds[4].revents) {
      const ssize_t n = ::recv(client_, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        overTcp_ = true;
        OnBytes(buf, static_cast<size_t>(n), now);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        ::close(client_);
        client_ = -1;
      }
    }
    if (listen_ >= 0 && fds[3].revents) Accept();
    Flush(now);
  }
}

void TransmitterSimulator::OnBytes(const uint8_t* data, size_t n, Clock::time_point now) {
  bool matched;
  {
    std::lock_guard lock(mutex_);
    tcpBaud_ = devices_.front().Config().baud;
    const uint32_t line = LineBaud();
    matched = std::any_of(devices_.begin(), devices_.end(), [line](const Transmitter& d) { return d.Config().baud == line; });
  }
  if (!matched) mismatched_ = true;
  if (input_.empty()) firstByte_ = now;
  lastByte_ = now;
  inBurst_ = true;
  if (discarding_) return;
  input_.insert(input_.end(), data, data + n);
  if (mismatched_) return;  // heard as noise: answered when the burst is over
  FrameByLength(now);
  if (input_.size() > 1024) {
    input_.clear();
    discarding_ = true;
  }
}

void TransmitterSimulator::FrameByLength(Clock::time_point now) {
  if (options_.completion == Completion::BySilence) return;
  while (!input_.empty() && !discarding_) {
    const size_t length = RequestLength(input_.data(), input_.size());
    if (length == kNeedMore || length == kBySilence || input_.size() < length) return;
    std::vector<uint8_t> frame(input_.begin(), input_.begin() + static_cast<ptrdiff_t>(length));
    if (!CheckReplyCrc(frame.data(), frame.size())) {
      // Not a frame after all: whatever follows is unframed until the line goes quiet.
      Log({now, input_, {}, LineBaud(), true});
      input_.clear();
      discarding_ = true;
      return;
    }
    input_.erase(input_.begin(), input_.begin() + static_cast<ptrdiff_t>(length));
    Answer(frame, now);
    firstByte_ = now;
  }
}

void TransmitterSimulator::OnSilence(Clock::time_point now) {
  inBurst_ = false;
  std::vector<uint8_t> burst;
  burst.swap(input_);
  const bool mismatched = mismatched_;
  const bool discarding = discarding_;
  mismatched_ = false;
  discarding_ = false;
  if (discarding || burst.empty()) return;
  if (mismatched) {
    AnswerMismatch(burst, now);
  } else {
    Answer(burst, now);  // a function framed by silence, or a truncated request
  }
}

void TransmitterSimulator::AnswerMismatch(const std::vector<uint8_t>& burst, Clock::time_point now) {
  LogEntry entry{now, burst, {}, LineBaud(), false};
  {
    std::lock_guard lock(mutex_);
    // A bus's transmitters keep quiet at another rate: noise from all of them would drown it.
    if (options_.mismatch == Mismatch::Garbage && devices_.size() == 1) entry.reply = Noise(burst.size() / 2 + 3);
  }
  if (!entry.reply.empty()) Queue({ReplyStart(burst.size(), now), entry.reply});
  Log(std::move(entry));
}

void TransmitterSimulator::Answer(const std::vector<uint8_t>& frame, Clock::time_point now) {
  if (devices_.size() > 1) {
    AnswerOnBus(frame, now);
    return;
  }
  LogEntry entry{now, frame, {}, LineBaud(), true};
  std::vector<Burst> bursts;
  const Clock::time_point start = ReplyStart(frame.size(), now);
  {
    std::lock_guard lock(mutex_);
    Transmitter& device = devices_.front();
    Transmitter before = device;
    tamsu::sim::Answer a = device.Handle(frame.data(), frame.size(), Seconds(now));
    std::vector<uint8_t> reply = std::move(a.reply);
    Clock::time_point due = start;
    if (!reply.empty() && !faults_.empty()) {
      Fault& f = faults_.front();
      switch (f.kind) {
        case FaultKind::Silence:
          device = std::move(before);
          a.after.reset();
          reply.clear();
          break;
        case FaultKind::Exception:
          device = std::move(before);
          a.after.reset();
          reply = ExceptionReply(frame[0], frame[1], f.code);
          break;
        case FaultKind::BadCrc:
          reply[reply.size() - 2] ^= 0xA5;
          reply.back() ^= 0x5A;
          break;
        case FaultKind::WrongAddress:
          reply[0] = static_cast<uint8_t>(reply[0] + 1);
          AppendCrc(reply.data(), reply.size() - 2);
          break;
        case FaultKind::Garbage:
          reply = Noise(reply.size());
          break;
        case FaultKind::Delay:
          due = start + std::chrono::milliseconds(f.millis);
          break;
        case FaultKind::Twice:
          bursts.push_back({start, reply});
          bursts.push_back({start + std::chrono::milliseconds(f.millis), reply});
          break;
        case FaultKind::Endless: {
          bursts.push_back({start, reply});
          constexpr auto kEvery = std::chrono::milliseconds(20);
          for (auto at = kEvery; at <= std::chrono::milliseconds(f.millis); at += kEvery)
            bursts.push_back({start + at, {Noise(1).front()}});
          break;
        }
        case FaultKind::Split: {
          const size_t pieces = static_cast<size_t>(std::clamp<int>(f.pieces, 2, static_cast<int>(reply.size())));
          size_t begin = 0;
          for (size_t i = 0; i < pieces; ++i) {
            const size_t end = reply.size() * (i + 1) / pieces;
            bursts.push_back({start + i * std::chrono::milliseconds(f.millis),
                              std::vector<uint8_t>(reply.begin() + static_cast<ptrdiff_t>(begin),
                                                   reply.begin() + static_cast<ptrdiff_t>(end))});
            begin = end;
          }
          break;
        }
      }
      if (f.count != kAlways && --f.count <= 0) faults_.pop_front();
    }
    if (bursts.empty() && !reply.empty()) bursts.push_back({due, reply});
    entry.reply = reply;
    if (a.after) afterOutput_ = a.after;
  }
  for (auto& b : bursts) Queue(std::move(b));
  Log(std::move(entry));
  if (output_.empty()) Flush(now);  // a change without a reply takes effect at once
}

void TransmitterSimulator::Flush(Clock::time_point now) {
  while (!output_.empty() && output_.front().due <= now) {
    auto& bytes = output_.front().bytes;
    // A master that takes the reply at its last byte may look at the device at once: the new
    // settings are in place before that byte leaves (the reply itself is already made).
    if (output_.size() == 1 && afterOutput_) {
      std::lock_guard lock(mutex_);
      devices_.front().SetConfig(*afterOutput_);
      afterOutput_.reset();
    }
    const int fd = overTcp_ ? client_ : master_;
    if (fd >= 0) Send(fd, bytes.data(), bytes.size());
    const auto late = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - output_.front().due).count();
    if (late > mostLate_.load(std::memory_order_relaxed)) mostLate_.store(late, std::memory_order_relaxed);
    output_.pop_front();
  }
  if (output_.empty() && afterOutput_) {
    std::lock_guard lock(mutex_);
    devices_.front().SetConfig(*afterOutput_);
    afterOutput_.reset();
  }
}

void TransmitterSimulator::Log(LogEntry entry) {
  if (options_.onExchange) options_.onExchange(entry);
  {
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(entry));
    ++logged_;
    while (log_.size() > options_.logCapacity) log_.pop_front();
  }
  logChanged_.notify_all();
}

bool TransmitterSimulator::SetRegister(uint16_t reg, uint16_t value) { return SetRegisterOf(0, reg, value); }

bool TransmitterSimulator::SetRegisterOf(size_t device, uint16_t reg, uint16_t value) {
  std::lock_guard lock(mutex_);
  if (device >= devices_.size() || !devices_[device].Registers().Exists(reg)) return false;
  return devices_[device].Registers().Write(reg, value, Seconds(Clock::now()));
}

size_t TransmitterSimulator::DeviceCount() const {
  std::lock_guard lock(mutex_);
  return devices_.empty() ? std::max<size_t>(options_.bus.size(), 1) : devices_.size();
}

DeviceConfig TransmitterSimulator::ConfigOf(size_t device) const {
  std::lock_guard lock(mutex_);
  if (device < devices_.size()) return devices_[device].Config();
  return device < options_.bus.size() ? options_.bus[device].config : options_.device;
}

bool TransmitterSimulator::SetRegister32(uint16_t reg, uint32_t value) {
  std::lock_guard lock(mutex_);
  if (devices_.empty()) return false;
  RegisterBank& bank = devices_.front().Registers();
  if (!bank.Exists(reg) || !bank.Exists(reg + 1)) return false;
  const double t = Seconds(Clock::now());
  bank.Write(reg, static_cast<uint16_t>(value >> 16), t);
  bank.Write(static_cast<uint16_t>(reg + 1), static_cast<uint16_t>(value), t);
  return true;
}

std::optional<uint16_t> TransmitterSimulator::GetRegister(uint16_t reg) const {
  std::lock_guard lock(mutex_);
  if (devices_.empty()) return std::nullopt;
  return devices_.front().ReadRegister(reg, Seconds(Clock::now()));
}

void TransmitterSimulator::SetDrift(bool on) {
  std::lock_guard lock(mutex_);
  options_.drift = on;
  for (Transmitter& d : devices_) d.Registers().SetDrift(on);
}

DeviceConfig TransmitterSimulator::Config() const {
  std::lock_guard lock(mutex_);
  return devices_.empty() ? options_.device : devices_.front().Config();
}

void TransmitterSimulator::SetConfig(const DeviceConfig& config) {
  std::lock_guard lock(mutex_);
  options_.device = config;
  if (!devices_.empty()) devices_.front().SetConfig(config);
}

void TransmitterSimulator::SetAddress(uint8_t address) {
  DeviceConfig c = Config();
  c.address = address;
  SetConfig(c);
}

void TransmitterSimulator::SetBaud(uint32_t baud) {
  DeviceConfig c = Config();
  c.baud = baud;
  SetConfig(c);
}

void TransmitterSimulator::SetProtocol(Protocol protocol) {
  DeviceConfig c = Config();
  c.protocol = protocol;
  SetConfig(c);
}

void TransmitterSimulator::SetMismatch(Mismatch mismatch) {
  std::lock_guard lock(mutex_);
  options_.mismatch = mismatch;
}

void TransmitterSimulator::AddFault(const Fault& fault) {
  std::lock_guard lock(mutex_);
  if (fault.count == 0) return;
  faults_.push_back(fault);
}

void TransmitterSimulator::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::vector<LogEntry> TransmitterSimulator::RequestLog() const {
  std::lock_guard lock(mutex_);
  return {log_.begin(), log_.end()};
}

void TransmitterSimulator::ClearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
  logged_ = 0;
}

bool TransmitterSimulator::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return logChanged_.wait_for(lock, timeout, [&] { return logged_ >= count; });
}

}  // namespace tamsu::sim
