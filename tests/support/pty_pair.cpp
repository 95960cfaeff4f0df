#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tamsu::test {

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    std::perror("pty");
    std::abort();
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) std::abort();
  slavePath_ = name;
  termios t{};
  tcgetattr(master_, &t);
  cfmakeraw(&t);
  tcsetattr(master_, TCSANOW, &t);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void SendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
    } else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

std::vector<uint8_t> ReceiveUntilQuiet(int fd, std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  std::vector<uint8_t> out;
  const auto end = Clock::now() + limit;
  for (;;) {
    auto now = Clock::now();
    if (now >= end) break;
    auto wait = out.empty() ? end - now : std::min<Clock::duration>(quiet, end - now);
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
    if (r <= 0) {
      if (!out.empty()) break;
      continue;
    }
    uint8_t buf[512];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) { SendAll(master_, bytes); }

std::vector<uint8_t> PtyPair::Receive(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
  return ReceiveUntilQuiet(master_, quiet, limit);
}

}  // namespace tamsu::test
