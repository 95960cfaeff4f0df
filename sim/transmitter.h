// What one transmitter answers, byte for byte, independent of any line: its configuration
// (address, rate, which configuration exchanges it knows), its registers, and the reply to
// one whole request frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/profile.h"
#include "sim/register_bank.h"

namespace tamsu::sim {

// Which configuration exchange the device answers besides plain Modbus at its own address.
enum class Protocol : uint8_t {
  Legacy,  // the FD FD FD frame (query, set address, set baud)
  Any255,  // every request at address 255 too, with the comm parameter block at 0x0200
  Any0,    // the same at address 0
  Modbus,  // plain Modbus only
};
std::string_view ProtocolName(Protocol p);
std::optional<Protocol> ParseProtocol(std::string_view name);

// Comm parameter block registers 0x0200..0x0204.
constexpr uint16_t kCommBlockStart = 0x0200;
constexpr uint16_t kCommBlockCount = 5;

struct DeviceConfig {
  uint8_t address = 1;
  uint32_t baud = 9600;
  Protocol protocol = Protocol::Legacy;
  uint8_t parity = 0;    // register 0x0202
  uint16_t status3 = 0;  // register 0x0203 (0 in the normal state)
  uint16_t status4 = 1;  // register 0x0204 (1 in the normal state)
};

// Modbus exception codes.
constexpr uint8_t kIllegalFunction = 0x01;
constexpr uint8_t kIllegalDataAddress = 0x02;
constexpr uint8_t kIllegalDataValue = 0x03;
constexpr uint8_t kDeviceFailure = 0x04;

// How many bytes the request starting with bytes[0..n) has, by its function's layout.
// kNeedMore: more bytes must come before that can be told; kBySilence: a function whose
// layout this device does not know, framed by the silence after it.
constexpr size_t kNeedMore = 0;
constexpr size_t kBySilence = static_cast<size_t>(-1);
size_t RequestLength(const uint8_t* bytes, size_t n);

struct Answer {
  bool addressed = false;        // the request was for this device (good CRC, its address)
  std::vector<uint8_t> reply;    // empty: nothing is sent
  // The configuration from the moment the reply has left (address or rate changes).
  std::optional<DeviceConfig> after;
};

class Transmitter {
 public:
  Transmitter(const Profile& profile, const DeviceConfig& config);

  const DeviceConfig& Config() const { return config_; }
  void SetConfig(const DeviceConfig& config) { config_ = config; }
  RegisterBank& Registers() { return bank_; }
  const RegisterBank& Registers() const { return bank_; }
  const std::string& ProfileName() const { return profileName_; }

  // The answer to one whole frame at t seconds since the device started. Register writes take
  // effect at once; configuration changes are returned in `after`.
  Answer Handle(const uint8_t* frame, size_t n, double t);

  // Register value as the master would read it at this device, comm block included.
  std::optional<uint16_t> ReadRegister(uint16_t reg, double t) const;

 private:
  bool CommBlock(uint16_t reg) const;
  Answer Legacy(const uint8_t* frame);
  Answer Modbus(const uint8_t* frame, size_t n, double t);
  // Checks every register of [start, start+count) for existence (and writability).
  bool Available(uint32_t start, uint32_t count, bool write) const;
  // Whether a comm block register may take the value; StoreComm puts it into `next`.
  bool ValidCommValue(uint16_t reg, uint16_t value) const;
  void StoreComm(DeviceConfig& next, uint16_t reg, uint16_t value) const;

  std::string profileName_;
  RegisterBank bank_;
  DeviceConfig config_;
};

// The reply frame for an exception: address, function | 0x80, code, CRC.
std::vector<uint8_t> ExceptionReply(uint8_t address, uint8_t function, uint8_t code);

}  // namespace tamsu::sim
