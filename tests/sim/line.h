// The master's end of a simulator's line for tests: opens the port as the tool does (raw 8N1
// at a chosen rate), writes requests and collects replies by silence.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "modbus/frames.h"

namespace tamsu::test {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

class Line {
 public:
  Line(const std::string& path, uint32_t baud)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    SetBaud(baud);
  }
  ~Line() { ::close(fd_); }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  void SetBaud(uint32_t baud) {
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    const std::pair<uint32_t, speed_t> rates[] = {{1200, B1200}, {2400, B2400}, {4800, B4800}, {19200, B19200},
                                                  {38400, B38400}};
    speed_t s = B9600;
    for (auto [b, code] : rates) s = b == baud ? code : s;
    cfsetspeed(&t, s);
    tcsetattr(fd_, TCSANOW, &t);
  }
  void Send(const Bytes& bytes) {
    for (size_t done = 0; done < bytes.size();) {
      const ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
      pollfd p{fd_, POLLOUT, 0};
      if (w > 0) done += static_cast<size_t>(w);
      else ::poll(&p, 1, 100);
    }
  }
  // Everything that arrives until `quiet` passes without a byte (or `limit` without any).
  Bytes Receive(milliseconds quiet = milliseconds(40), milliseconds limit = milliseconds(1000)) {
    using Clock = std::chrono::steady_clock;
    Bytes out;
    for (const auto end = Clock::now() + limit; Clock::now() < end;) {
      const auto wait = out.empty() ? end - Clock::now() : std::min<Clock::duration>(quiet, end - Clock::now());
      pollfd p{fd_, POLLIN, 0};
      uint8_t buf[512];
      if (::poll(&p, 1, static_cast<int>(std::chrono::ceil<milliseconds>(wait).count())) > 0) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
      } else if (!out.empty()) {
        break;
      }
    }
    return out;
  }
  Bytes Exchange(const Bytes& request, milliseconds limit = milliseconds(1000)) {
    Send(request);
    return Receive(milliseconds(40), limit);
  }

 private:
  int fd_;
};

// Request frames from the core builders, and the CRC appended to hand-made frames.
template <typename Build, typename... Args>
Bytes Frame(Build build, Args... args) {
  uint8_t b[64];
  return {b, b + build(b, args...)};
}
inline Bytes ReadReq(uint8_t a, uint16_t reg, uint16_t n) { return Frame(BuildReadRequest, a, reg, n); }
inline Bytes WriteReq(uint8_t a, uint16_t reg, uint16_t v) { return Frame(BuildWriteSingle, a, reg, v); }
inline Bytes WriteTwoReq(uint8_t a, uint16_t reg, uint16_t w0, uint16_t w1) {
  return Frame(BuildWriteTwo, a, reg, w0, w1);
}
inline Bytes LegacyReq(uint8_t x, uint8_t y) { return Frame(BuildLegacyFrame, x, y); }
inline Bytes CommReadReq(uint8_t a) { return Frame(BuildCommParamRead, a); }
inline Bytes CommWriteReq(uint8_t a, uint8_t address, uint8_t code) { return Frame(BuildCommParamWrite, a, address, code); }
inline Bytes WithCrc(Bytes f) {
  f.resize(f.size() + 2);
  AppendCrc(f.data(), f.size() - 2);
  return f;
}

}  // namespace tamsu::test
