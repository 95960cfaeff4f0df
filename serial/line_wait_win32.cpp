#include <windows.h>
#include <timeapi.h>

#include <cstdio>
#include <cstdlib>

#include "serial/line_wait.h"
#include "serial/serial_port.h"

namespace tamsu {

LineWaiter::LineWaiter() {
  // Auto-reset: a wake-up given while nobody waits is kept for the next wait, as an eventfd's.
  wake_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!wake_) {
    std::fprintf(stderr, "CreateEvent failed: %lu\n", ::GetLastError());
    std::abort();
  }
  // The 30 ms silence is timed by this wait: the default 15.6 ms tick would stretch it by half.
  ::timeBeginPeriod(1);
}

LineWaiter::~LineWaiter() {
  ::timeEndPeriod(1);
  ::CloseHandle(wake_);
}

void LineWaiter::Wake() { ::SetEvent(wake_); }

LineWaiter::Result LineWaiter::Wait(SerialPort& port, const Clock::time_point* deadline) {
  Result result;
  bool now = false;
  const HANDLE line = port.ReadEvent(&now);
  if (!line) {
    result.failed = true;
    return result;
  }
  if (now) {
    result.ready = true;
    return result;
  }
  DWORD ms = INFINITE;
  if (deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    ms = left <= 0 ? 0 : static_cast<DWORD>(left);
  }
  const HANDLE handles[2] = {line, wake_};
  switch (::WaitForMultipleObjects(2, handles, FALSE, ms)) {
    case WAIT_OBJECT_0: result.ready = true; break;
    case WAIT_OBJECT_0 + 1:
    case WAIT_TIMEOUT: break;
    default: result.failed = true; break;
  }
  return result;
}

}  // namespace tamsu
