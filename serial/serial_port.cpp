#include "serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "serial/network_line.h"
#include "serial/network_ports.h"

namespace tamsu {
namespace {

struct LineRate {
  speed_t speed;
  uint32_t baud;
};
constexpr LineRate kLineRates[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                                   {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};

// Raw binary 8N1: no echo, no line editing, no translation, no flow control, modem lines ignored.
bool ApplyLineSettings(int fd, const PortSettings& s) {
  const speed_t speed = LineSpeedOf(s.baudRate);
  if (s.dataBits != 8 || s.parity != 0 || s.stopBits != 0 || speed == B0) return false;
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK | BRKINT | PARMRK);
  t.c_iflag |= IGNPAR;
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

unsigned LineSpeedOf(uint32_t baud) {
  for (const LineRate& r : kLineRates)
    if (r.baud == baud) return r.speed;
  return B0;
}

uint32_t BaudOfLineSpeed(unsigned speed) {
  for (const LineRate& r : kLineRates)
    if (r.speed == speed) return r.baud;
  return 0;
}

SerialPort::SerialPort() = default;

// The receive thread polls a socket as it polls a tty.
void SerialPort::AdoptNetworkLine() { fd_.store(net_->Descriptor(), std::memory_order_release); }

SerialPort::~SerialPort() {
  if (IsOpen() || Descriptor() >= 0) Close();
}

int SerialPort::Open() {
  lastError_.clear();
  if (settings_.devicePath.empty()) return 0;
  if (IsNetworkPath(settings_.devicePath)) return OpenNetwork();
  int fd = ::open(settings_.devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  // TIOCEXCL keeps other users out; root ignores it, so a lock on the device settles it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return 0;
  }
  ::ioctl(fd, TIOCEXCL);
  if (!ApplyLineSettings(fd, settings_)) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    open_.store(0, std::memory_order_release);
    return 0;
  }
  ::tcflush(fd, TCIOFLUSH);
  fd_.store(fd, std::memory_order_release);
  open_.store(1, std::memory_order_release);
  return 1;
}

void SerialPort::Close() {
  open_.store(0, std::memory_order_release);
  if (net_) {
    fd_.store(-1, std::memory_order_release);
    net_.reset();
    return;
  }
  int fd = fd_.exchange(-1, std::memory_order_acq_rel);
  if (fd >= 0) {
    // Another holder of the device (a simulator's own descriptor) keeps the tty alive, and
    // with it the exclusive flag: clear it so the next open by a normal user succeeds.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
  }
}

size_t SerialPort::Read(uint8_t* buffer, size_t max) {
  if (!IsOpen()) return 0;
  if (net_) return net_->Read(buffer, max, nullptr);
  int fd = Descriptor();
  int queued = 0;
  if (fd < 0 || ::ioctl(fd, FIONREAD, &queued) != 0 || queued <= 0) return 0;
  size_t k = std::min(max, static_cast<size_t>(queued));
  if (k == 0) return 0;
  ssize_t n = ::read(fd, buffer, k);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t SerialPort::ReadReady(uint8_t* buffer, size_t max, short revents, bool* hungUp) {
  if (!IsOpen()) return 0;
  if (net_) return net_->Read(buffer, max, hungUp);
  size_t n = Read(buffer, max);
  if (n > 0) return n;
  // Readable but nothing queued: either a hung-up device (adapter unplugged) or a wake-up that
  // raced the queue count. A raw tty read returns 0 for "nothing now", so only the poll flags
  // or a read error tell a hang-up.
  const ssize_t r = ::read(Descriptor(), buffer, max);
  if (r > 0) return static_cast<size_t>(r);
  if ((revents & (POLLHUP | POLLERR | POLLNVAL)) || (r < 0 && errno != EAGAIN && errno != EINTR)) *hungUp = true;
  return 0;
}

int SerialPort::Write(const uint8_t* buffer, size_t count) {
  if (!IsOpen()) {
    errno = EBADF;
    return 0;
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(1000);
  if (net_) return net_->Write(buffer, count, deadline) ? 1 : 0;
  int fd = Descriptor();
  if (fd < 0) {
    errno = EBADF;
    return 0;
  }
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd, buffer + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return 0;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      errno = ETIMEDOUT;
      return 0;
    }
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return 0;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      errno = EIO;
      return 0;
    }
  }
  return 1;
}

}  // namespace tamsu
