// The one serial line of the tool: POSIX termios on a device path.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tamsu {

// The termios speed of a line rate (1200 to 115200), or 0 (B0) when the rate has none.
unsigned LineSpeedOf(uint32_t baud);
// The line rate of a termios speed, or 0 when it is none of those above.
uint32_t BaudOfLineSpeed(unsigned speed);

struct PortSettings {
  std::string devicePath;  // e.g. /dev/ttyUSB0, or a link in the runtime port directory
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
  // the line settings are refused (device closed again, flag 0).
  int Open();
  // Closes the device if held; clears the open flag.
  void Close();
  // Copies at most `max` bytes that are already queued; never waits for the line.
  size_t Read(uint8_t* buffer, size_t max);
  // Hands all bytes to the driver, waiting at most 1000 ms. 1 on success, 0 on failure/closed,
  // with errno telling why (EBADF: not open, ETIMEDOUT: the driver took nothing for 1000 ms,
  // EIO: the device hung up, else the driver's own error).
  int Write(const uint8_t* buffer, size_t count);

  bool IsOpen() const { return open_.load(std::memory_order_acquire) != 0; }
  int Descriptor() const { return fd_.load(std::memory_order_acquire); }
  const PortSettings& Settings() const { return settings_; }

 private:
  PortSettings settings_;
  std::atomic<int> fd_{-1};
  std::atomic<int> open_{0};
};

}  // namespace tamsu
