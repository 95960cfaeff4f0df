// The receive thread's one wait: for the open line to have something to read (or to be gone),
// for a wake-up from another thread, or for a deadline. POSIX waits in ppoll on the descriptor
// and an eventfd; Windows waits in WaitForMultipleObjects on the line's read event and an event
// of its own. Everything the thread does around the wait is the same code on both.
#pragma once

#include <chrono>

namespace tamsu {

class SerialPort;

class LineWaiter {
 public:
  using Clock = std::chrono::steady_clock;

  LineWaiter();  // aborts when the system cannot give a wake-up handle
  ~LineWaiter();
  LineWaiter(const LineWaiter&) = delete;
  LineWaiter& operator=(const LineWaiter&) = delete;

  // Any thread: the waiting thread (or its next wait) returns at once.
  void Wake();

  struct Result {
    bool ready = false;   // the line has bytes or news (a hang-up): SerialPort::ReadReady tells which
    bool failed = false;  // the wait itself failed: the line is taken as gone
    short events = 0;     // what ReadReady is handed
  };
  // Waits until the open `port` is ready, Wake() is called or `deadline` (none: no deadline)
  // passes. Only the receive thread waits, and only on an open port it alone reads.
  Result Wait(SerialPort& port, const Clock::time_point* deadline);

 private:
#ifdef _WIN32
  void* wake_ = nullptr;  // a manual-reset event
#else
  int wakeFd_ = -1;       // an eventfd
#endif
};

}  // namespace tamsu
