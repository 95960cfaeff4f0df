// A serial line behind a network gateway: raw RTU bytes over TCP, or Telnet with COM port
// control (RFC 2217), which can also set the gateway's line (rate, 8 data bits, no parity, one
// stop bit) and purge its buffers. The receive thread reads it, the window thread writes it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "serial/network_ports.h"
#include "serial/sockets.h"
#include "serial/telnet.h"

namespace tamsu {

class NetworkLine {
 public:
  using Clock = std::chrono::steady_clock;
  // The longest an open may take: connecting, and over RFC 2217 the gateway's acknowledgement
  // of the line settings.
  static constexpr std::chrono::milliseconds kOpenDeadline{3000};

  NetworkLine() = default;
  ~NetworkLine();
  NetworkLine(const NetworkLine&) = delete;
  NetworkLine& operator=(const NetworkLine&) = delete;

  // Connects and, over RFC 2217, sets the line to `baud` 8N1 and purges it. False with the
  // reason for the user in `error`; nothing is left open then.
  bool Open(const NetworkAddress& address, uint32_t baud, Clock::time_point deadline, std::string* error);
  void Close();
  sockets::Handle Descriptor() const { return fd_; }
  const NetworkAddress& Address() const { return address_; }
  // Only RFC 2217 can set the gateway's rate; over raw TCP the gateway's own setting holds.
  bool SetsRate() const { return address_.kind == NetworkKind::Rfc2217; }

  // Line data that has arrived, without waiting; Telnet commands are answered and dropped.
  // `gone` is set when the peer closed or broke the connection.
  size_t Read(uint8_t* buffer, size_t max, bool* gone);
  // Sends all bytes (0xFF doubled over RFC 2217) by the deadline; false on failure.
  bool Write(const uint8_t* buffer, size_t count, Clock::time_point deadline);
  // Over RFC 2217 sets the line to `baud` 8N1 and purges both buffers, waiting for the
  // acknowledgements of the settings; data arriving meanwhile is dropped. Raw TCP: true.
  // Only while nobody else reads the connection.
  bool SetLine(uint32_t baud, Clock::time_point deadline, std::string* error);
  // Asks the gateway to drop what it holds from the device (RFC 2217, when it agreed).
  void PurgeReceive();

 private:
  void AcknowledgeAtOnce();
  bool SendLocked(const std::vector<uint8_t>& bytes, Clock::time_point deadline);
  bool Send(const std::vector<uint8_t>& bytes, Clock::time_point deadline);
  // Reads and decodes until `done` holds, the deadline passes or the connection fails.
  template <typename Done>
  bool Negotiate(Done done, Clock::time_point deadline, std::string* error);

  sockets::Handle fd_ = sockets::kNone;
  NetworkAddress address_;
  telnet::Codec codec_;  // receive thread, or the opener while nobody reads
  std::atomic<bool> comPort_{false};
  std::mutex writeMutex_;  // requests and negotiation answers never interleave
  std::vector<uint8_t> decoded_, answers_, out_;
};

}  // namespace tamsu
