// The master's end of a simulator's line for tests: opens the port as the tool does (raw 8N1
// at a chosen rate), writes requests and collects replies by silence.
#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "modbus/frames.h"
#include "serial/serial_port.h"
#include "tests/support/pty_pair.h"

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
    const speed_t speed = LineSpeedOf(baud);
    cfsetspeed(&t, speed == B0 ? B9600 : speed);
    tcsetattr(fd_, TCSANOW, &t);
  }
  void Send(const Bytes& bytes) { SendAll(fd_, bytes); }
  // Everything that arrives until `quiet` passes without a byte (or `limit` without any).
  Bytes Receive(milliseconds quiet = milliseconds(40), milliseconds limit = milliseconds(1000)) {
    return ReceiveUntilQuiet(fd_, quiet, limit);
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
