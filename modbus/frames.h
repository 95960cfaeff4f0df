// Every byte the tool puts on the line and every rule by which it accepts a reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "serial/framing.h"

namespace tamsu {

// The outcome of one register transaction.
enum TransactionResult : uint8_t {
  kSuccess = 0,
  kPortNotOpen = 1,
  kFormatError = 2,  // no reply, too short, other address or function, exception reply
  kCheckError = 3,   // bad CRC, or a write echo that differs
};

// CRC-16/MODBUS (reflected 0xA001, init 0xFFFF); appended low byte first.
uint16_t Crc16(const uint8_t* data, size_t length);
// Writes the CRC of frame[0..length) at frame[length], frame[length+1]; returns length + 2.
size_t AppendCrc(uint8_t* frame, size_t length);
// n >= 4 and the last two bytes are the CRC (low first) of the bytes before them.
bool CheckReplyCrc(const uint8_t* reply, size_t n);

// Request builders; each writes into `out` (at least 32 bytes, BuildWriteMany 9 + 2 x count)
// and returns the length.
size_t BuildReadRequest(uint8_t* out, uint8_t address, uint16_t reg, uint16_t count);      // 8
size_t BuildWriteSingle(uint8_t* out, uint8_t address, uint16_t reg, uint16_t value);      // 8
size_t BuildWriteTwo(uint8_t* out, uint8_t address, uint16_t reg, uint16_t w0, uint16_t w1);  // 13
// Function 16 with `count` registers, 1 to kMaxWriteMany, from `words`.
inline constexpr uint16_t kMaxWriteMany = 123;
size_t BuildWriteMany(uint8_t* out, uint8_t address, uint16_t reg, const uint16_t* words, uint16_t count);
size_t BuildCommParamRead(uint8_t* out, uint8_t address);                                   // 8
size_t BuildCommParamWrite(uint8_t* out, uint8_t address, uint8_t newAddress, uint8_t baudCode);  // 19
size_t BuildLegacyFrame(uint8_t* out, uint8_t x, uint8_t y);                                // 7
inline size_t BuildLegacyQuery(uint8_t* out) { return BuildLegacyFrame(out, 0, 0); }
inline size_t BuildLegacySetAddress(uint8_t* out, uint8_t a) { return BuildLegacyFrame(out, 0, a); }
inline size_t BuildLegacySetBaud(uint8_t* out, uint8_t code) { return BuildLegacyFrame(out, code, 0); }

// The reply the request in request[0..n) calls for, so the line can hand it over at its last
// byte and tell it from anything else: function 03 5 + 2 x count bytes, 06 and 16 eight that
// repeat the request's first six, the FD FD FD exchange seven, and the 5-byte exception reply of
// a Modbus function; from the address asked (any, for the configuration block at 255 or 0).
// Writes and the legacy changes are marked as acting on the device. Anything else: none.
ReplyExpectation ExpectedReply(const uint8_t* request, size_t n);

// Acceptance of register replies (reply[0..n) as received, nothing past n is read). Each
// returns a TransactionResult: kSuccess, kFormatError or kCheckError.
// Function 03 for `count` registers at `address`: other address or function (exception
// replies included) is a format error, then a byte count other than 2 x count or a length
// other than 5 + 2 x count a format error, then a bad CRC a check error.
uint8_t CheckReadReply(const uint8_t* reply, size_t n, uint8_t address, uint16_t count);
// Register k of a reply accepted by CheckReadReply (bytes 3+2k, 4+2k, high first).
inline uint16_t ReplyRegister(const uint8_t* reply, size_t k) {
  return static_cast<uint16_t>(reply[3 + 2 * k] << 8 | reply[4 + 2 * k]);
}
// Function 06: the reply must be exactly the 8 request bytes, CRC included; 4 bytes or more
// otherwise is a mismatch, 3 or fewer a format error.
uint8_t CheckWriteSingleReply(const uint8_t* reply, size_t n, const uint8_t* request);
// Function 16: good CRC (else check error), then exactly 8 bytes whose address, function,
// start and count are the request's (else format error): an echo of the request is none.
uint8_t CheckWriteTwoReply(const uint8_t* reply, size_t n, const uint8_t* request, size_t requestLength);

// The acknowledgement of a CommParamBlock write sent to `address`: exactly address, 0x10, the
// block's start 0x0200 and count 5, good CRC. An exception reply or any other frame is refused.
bool CheckCommParamWriteReply(const uint8_t* reply, size_t n, uint8_t address);

// BaudCode: 0 = 1200, 1 = 2400, 2 = 4800, 3 = 9600, 4 = 19200, 5 = 38400; other codes give 0.
uint32_t BaudFromCode(int code);
// The code of a rate, or -1 when the rate has none.
int BaudCodeOf(uint32_t baud);

struct LegacyReply {
  uint8_t address = 0;
  uint32_t baud = 0;  // 2400, 4800 or 9600
};
// FD FD FD code address CRC, code 1..3, good CRC, code and address before the CRC.
std::optional<LegacyReply> ParseLegacyReply(const uint8_t* reply, size_t n);

struct CommParamReply {
  uint8_t address = 0;
  uint8_t baudCode = 0;
  uint32_t baud = 0;  // 0 for an unknown code
  uint8_t ParityCode = 0;
  uint8_t CommReg3 = 0;
  uint8_t CommReg4 = 0;
};
// Good CRC and long enough that byte 12 lies before the CRC; address and function bytes
// not compared.
std::optional<CommParamReply> ParseCommParamReply(const uint8_t* reply, size_t n);

// "No Check", "Odd Parity Check", "Parity Check", else "Error Checking".
std::string ParityText(uint8_t parityCode);

}  // namespace tamsu
