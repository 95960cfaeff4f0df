// Telnet (RFC 854/855) with the COM port control option (RFC 2217), as the client of a serial
// gateway: the byte stream the gateway sends is split into line data and Telnet commands, and
// line data going out has every 0xFF doubled. What comes off the network is untrusted: any
// byte sequence, split anywhere, is taken without growing memory or losing data bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tamsu::telnet {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;

// COM port control commands, client to server; the server answers with the code plus 100.
enum ComPortCommand : uint8_t {
  kSetBaudRate = 1,
  kSetDataSize = 2,
  kSetParity = 3,
  kSetStopSize = 4,
  kPurgeData = 12,
};
constexpr uint8_t kServerOffset = 100;
constexpr uint8_t kParityNone = 1, kStopOne = 1;
constexpr uint8_t kPurgeReceive = 1, kPurgeBoth = 3;  // the gateway's buffer from the device / both

// Appends `n` line data bytes to `out`, doubling each 0xFF.
void EncodeData(const uint8_t* data, size_t n, std::vector<uint8_t>& out);
// Appends IAC SB COM-PORT-OPTION command value... IAC SE, the value's 0xFF bytes doubled.
void EncodeComPort(uint8_t command, const uint8_t* value, size_t n, std::vector<uint8_t>& out);
// SET-BAUDRATE with the rate in network order.
void EncodeSetBaudRate(uint32_t baud, std::vector<uint8_t>& out);

class Codec {
 public:
  // Subnegotiations longer than this are the peer's nonsense: the excess is dropped.
  static constexpr size_t kMaxSubnegotiation = 64;

  // The client's opening: binary both ways, no go-ahead both ways, and COM port control.
  void Start(std::vector<uint8_t>& out);

  // Takes bytes from the network: line data is appended to `data` (never more bytes than
  // came), answers owed to the peer's negotiation to `answers`.
  void Decode(const uint8_t* in, size_t n, std::vector<uint8_t>& data, std::vector<uint8_t>& answers);

  // Whether the server agreed to COM port control (DO COM-PORT-OPTION), refused it, or has
  // not said yet.
  enum class Agreement { Pending, Agreed, Refused };
  Agreement ComPort() const { return comPort_; }

  // The values the server last acknowledged (reset by Forget()).
  std::optional<uint32_t> AckedBaud() const { return ackedBaud_; }
  std::optional<uint8_t> AckedDataSize() const { return ackedDataSize_; }
  std::optional<uint8_t> AckedParity() const { return ackedParity_; }
  std::optional<uint8_t> AckedStopSize() const { return ackedStopSize_; }
  void ForgetAcks();

 private:
  // RFC 1143's states for one side of one option.
  enum class Q : uint8_t { No, Yes, WantYes };
  void OnCommand(uint8_t command, uint8_t option, std::vector<uint8_t>& answers);
  void OnSubnegotiation();
  Q& Us(uint8_t option);
  Q& Him(uint8_t option);

  enum class State : uint8_t { Data, Iac, Option, Sub, SubIac };
  State state_ = State::Data;
  uint8_t command_ = 0;
  std::vector<uint8_t> sub_;
  size_t subLength_ = 0;  // bytes of the current subnegotiation, kept or not
  Q us_[3] = {Q::No, Q::No, Q::No};   // binary, suppress go-ahead, COM port
  Q him_[3] = {Q::No, Q::No, Q::No};
  Q other_ = Q::No;  // every option we refuse stays No
  Agreement comPort_ = Agreement::Pending;
  std::optional<uint32_t> ackedBaud_;
  std::optional<uint8_t> ackedDataSize_, ackedParity_, ackedStopSize_;
};

}  // namespace tamsu::telnet
