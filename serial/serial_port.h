// The one serial line of the tool: POSIX termios on a device path (Windows: \\.\COMn, overlapped),
// or a serial line behind a network gateway when the path is a network address (tcp://,
// rfc2217://, HOST:PORT).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tamsu {

// The termios speed of a line rate (1200 to 115200), or 0 (B0) when the rate has none
// (Windows: the rate itself, or 0).
unsigned LineSpeedOf(uint32_t baud);
// The line rate of a termios speed, or 0 when it is none of those above.
uint32_t BaudOfLineSpeed(unsigned speed);

class NetworkLine;

struct PortSettings {
  std::string devicePath;  // e.g. /dev/ttyUSB0, a link in the runtime port directory, or an address
  uint8_t dataBits = 8;
  uint8_t parity = 0;      // always 0: none
  uint8_t stopBits = 0;    // always 0: one stop bit
  uint32_t baudRate = 9600;
};

class SerialPort {
 public:
  SerialPort();
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Stores the settings; touches nothing else.
  void Configure(const std::string& devicePath, uint8_t dataBits, uint8_t parity, uint8_t stopBits,
                 uint32_t baudRate);
  // Opens PortSettings exclusively (TIOCEXCL + flock), raw 8N1, purges both directions.
  // Nonzero on success; 0 for a missing, forbidden or held device (flag unchanged), or when
  // the line settings are refused (device closed again, flag 0). A network address is
  // connected within a deadline of a few seconds; LastError() says why it failed.
  int Open();
  // Closes the device if held; clears the open flag.
  void Close();
  // Copies at most `max` bytes that are already queued; never waits for the line.
  size_t Read(uint8_t* buffer, size_t max);
  // Hands all bytes to the driver, waiting at most 1000 ms. 1 on success, 0 on failure/closed,
  // with errno telling why (EBADF: not open, ETIMEDOUT: the driver took nothing for 1000 ms,
  // EIO: the device hung up, else the driver's own error).
  int Write(const uint8_t* buffer, size_t count);

  // The receive thread's read once the descriptor has polled ready (`revents`): what is
  // there, and `hungUp` set when the line is gone (adapter unplugged, connection closed).
  size_t ReadReady(uint8_t* buffer, size_t max, short revents, bool* hungUp);
  // Moves an open network line to `baudRate` in place (RFC 2217 sets the gateway's rate, raw
  // TCP has none to set) when `devicePath` names the connection already open. False when it
  // does not, or the gateway did not take it: then the caller re-opens.
  bool ChangeRate(const std::string& devicePath, uint32_t baudRate);
  // Asks a network gateway to drop what it still holds from the device (RFC 2217 only).
  void PurgeRemote();
  // False when the line's rate is the gateway's own and cannot be set from here (raw TCP).
  bool SetsLineRate() const;
  // "rfc2217 HOST:PORT" or "tcp HOST:PORT" while a network line is open; empty for a device.
  std::string Transport() const;
  // Why the last Open failed, for the user; empty when there is nothing to add.
  const std::string& LastError() const { return lastError_; }

  bool IsOpen() const { return open_.load(std::memory_order_acquire) != 0; }
  int Descriptor() const { return fd_.load(std::memory_order_acquire); }
  const PortSettings& Settings() const { return settings_; }
#ifdef _WIN32
  // The receive thread's wait (Windows): the event that is signalled when the line has something
  // to take, after starting a read of the device if none is in flight; null when nothing is
  // open. `now` is set when there is something to take already.
  void* ReadEvent(bool* now);
#endif

 private:
  int OpenNetwork();
  // The platform's part of taking a network line that has just connected.
  void AdoptNetworkLine();
#ifdef _WIN32
  struct Device;  // the COM port's handle, its reads and writes in flight, the socket's event
  std::unique_ptr<Device> win_;
#endif

  PortSettings settings_;
  std::unique_ptr<NetworkLine> net_;  // set while a network line is open
  std::string lastError_;
  std::atomic<int> fd_{-1};
  std::atomic<int> open_{0};
};

}  // namespace tamsu
