// A transmitter played on the master side of a pseudo-terminal that answers every read request
// at once with one register value (300, 301, ... up to 1299, then 300 again: a reading that
// moves, so no reply equals one just before it, which the tool would ask for again), for
// benchmarks of the tool's own share of a round trip.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "modbus/frames.h"
#include "modbus/modbus_master.h"
#include "tests/support/pty_pair.h"

namespace tamsu::bench {

// The values an immediate peer answers with.
inline constexpr uint16_t kFirstValue = 300;
inline bool PeerValue(int value) { return value >= kFirstValue && value < kFirstValue + 1000; }

// Answers every whole read request with one register value until stopped.
class ImmediatePeer {
 public:
  explicit ImmediatePeer(test::PtyPair& pty) : pty_(pty), thread_([this] { Run(); }) {}
  ~ImmediatePeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    std::vector<uint8_t> pending;
    while (!stop_) {
      pollfd p{pty_.master(), POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      uint8_t buf[256];
      const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
      if (n <= 0) continue;
      pending.insert(pending.end(), buf, buf + n);
      while (pending.size() >= 8) {
        const uint16_t value = static_cast<uint16_t>(kFirstValue + served_++ % 1000);
        uint8_t reply[8] = {pending[0], 0x03, 2, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
        const size_t length = AppendCrc(reply, 5);
        pending.erase(pending.begin(), pending.begin() + 8);
        pty_.Send(std::vector<uint8_t>(reply, reply + length));
      }
    }
  }

  test::PtyPair& pty_;
  unsigned served_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A link open on a pseudo-terminal with an immediately answering peer at address 1: what the
// round-trip benchmarks measure on. `Open()` is false when the pseudo-terminal cannot be opened.
struct ImmediateLine {
  ImmediateLine() {
    opened = link.ReopenPort(pty.slavePath(), 9600) == 1;
    link.CurrentAddress = 1;
  }
  bool Open() const { return opened; }

  test::PtyPair pty;
  Link link;
  ModbusMaster master{link};
  ImmediatePeer peer{pty};
  bool opened = false;
};

}  // namespace tamsu::bench
