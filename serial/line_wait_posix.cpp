#include "serial/line_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "serial/serial_port.h"

namespace tamsu {

LineWaiter::LineWaiter() {
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    std::perror("eventfd");
    std::abort();
  }
}

LineWaiter::~LineWaiter() { ::close(wakeFd_); }

void LineWaiter::Wake() {
  uint64_t one = 1;
  ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
  (void)ignored;
}

LineWaiter::Result LineWaiter::Wait(SerialPort& port, const Clock::time_point* deadline) {
  pollfd fds[2] = {{port.Descriptor(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  timespec timeout{};
  timespec* timeoutPtr = nullptr;
  if (deadline) {
    auto left = *deadline - Clock::now();
    if (left < Clock::duration::zero()) left = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
    timeout.tv_nsec = static_cast<long>(ns % 1000000000);
    timeoutPtr = &timeout;
  }
  Result result;
  const int ready = ::ppoll(fds, 2, timeoutPtr, nullptr);
  if (ready < 0) {
    result.failed = errno != EINTR;
    return result;
  }
  if (fds[1].revents & POLLIN) {
    uint64_t drained;
    ssize_t ignored = ::read(wakeFd_, &drained, sizeof drained);
    (void)ignored;
  }
  result.events = fds[0].revents;
  result.ready = (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
  return result;
}

}  // namespace tamsu
