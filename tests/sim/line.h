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

class Line {
 public:
  Line(const std::string& path, uint32_t baud) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0) SetBaud(baud);
  }
  ~Line() { Close(); }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void SetBaud(uint32_t baud) {
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    speed_t s = B9600;
    switch (baud) {
      case 1200: s = B1200; break;
      case 2400: s = B2400; break;
      case 4800: s = B4800; break;
      case 19200: s = B19200; break;
      case 38400: s = B38400; break;
      default: break;
    }
    cfsetspeed(&t, s);
    tcsetattr(fd_, TCSANOW, &t);
  }
  void Send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (w > 0) {
        done += static_cast<size_t>(w);
      } else {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }
  // Everything that arrives until `quiet` passes without a byte (or `limit` without any).
  std::vector<uint8_t> Receive(std::chrono::milliseconds quiet = std::chrono::milliseconds(40),
                               std::chrono::milliseconds limit = std::chrono::milliseconds(1000)) {
    using Clock = std::chrono::steady_clock;
    std::vector<uint8_t> out;
    const auto end = Clock::now() + limit;
    for (;;) {
      const auto now = Clock::now();
      if (now >= end) break;
      const auto wait = out.empty() ? end - now : std::min<Clock::duration>(quiet, end - now);
      pollfd p{fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
      if (r <= 0) {
        if (!out.empty()) break;
        continue;
      }
      uint8_t buf[512];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  std::vector<uint8_t> Exchange(const std::vector<uint8_t>& request,
                                std::chrono::milliseconds limit = std::chrono::milliseconds(1000)) {
    Send(request);
    return Receive(std::chrono::milliseconds(40), limit);
  }

 private:
  int fd_ = -1;
};

// Request frames from the core builders, as vectors.
inline std::vector<uint8_t> ReadReq(uint8_t a, uint16_t reg, uint16_t n) {
  uint8_t b[64];
  return {b, b + BuildReadRequest(b, a, reg, n)};
}
inline std::vector<uint8_t> WriteReq(uint8_t a, uint16_t reg, uint16_t v) {
  uint8_t b[64];
  return {b, b + BuildWriteSingle(b, a, reg, v)};
}
inline std::vector<uint8_t> WriteTwoReq(uint8_t a, uint16_t reg, uint16_t w0, uint16_t w1) {
  uint8_t b[64];
  return {b, b + BuildWriteTwo(b, a, reg, w0, w1)};
}
inline std::vector<uint8_t> LegacyReq(uint8_t x, uint8_t y) {
  uint8_t b[64];
  return {b, b + BuildLegacyFrame(b, x, y)};
}
inline std::vector<uint8_t> CommReadReq(uint8_t a) {
  uint8_t b[64];
  return {b, b + BuildCommParamRead(b, a)};
}
inline std::vector<uint8_t> CommWriteReq(uint8_t a, uint8_t newAddress, uint8_t code) {
  uint8_t b[64];
  return {b, b + BuildCommParamWrite(b, a, newAddress, code)};
}
// Appends the CRC to hand-made frames.
inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> f) {
  const uint16_t crc = Crc16(f.data(), f.size());
  f.push_back(static_cast<uint8_t>(crc));
  f.push_back(static_cast<uint8_t>(crc >> 8));
  return f;
}

}  // namespace tamsu::test
