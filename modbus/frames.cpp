#include "modbus/frames.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace tamsu {
namespace {

void PutWord(uint8_t* at, uint16_t word) {
  at[0] = static_cast<uint8_t>(word >> 8);
  at[1] = static_cast<uint8_t>(word & 0xFF);
}

constexpr uint32_t kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400};

}  // namespace

size_t BuildReadRequest(uint8_t* out, uint8_t address, uint16_t reg, uint16_t count) {
  out[0] = address;
  out[1] = 0x03;
  PutWord(out + 2, reg);
  PutWord(out + 4, count);
  return AppendCrc(out, 6);
}

size_t BuildWriteSingle(uint8_t* out, uint8_t address, uint16_t reg, uint16_t value) {
  out[0] = address;
  out[1] = 0x06;
  PutWord(out + 2, reg);
  PutWord(out + 4, value);
  return AppendCrc(out, 6);
}

size_t BuildWriteTwo(uint8_t* out, uint8_t address, uint16_t reg, uint16_t w0, uint16_t w1) {
  const uint16_t words[] = {w0, w1};
  return BuildWriteMany(out, address, reg, words, 2);
}

size_t BuildWriteMany(uint8_t* out, uint8_t address, uint16_t reg, const uint16_t* words, uint16_t count) {
  out[0] = address;
  out[1] = 0x10;
  PutWord(out + 2, reg);
  PutWord(out + 4, count);
  out[6] = static_cast<uint8_t>(2 * count);
  for (uint16_t i = 0; i < count; ++i) PutWord(out + 7 + 2 * i, words[i]);
  return AppendCrc(out, 7 + 2 * static_cast<size_t>(count));
}

size_t BuildCommParamRead(uint8_t* out, uint8_t address) { return BuildReadRequest(out, address, 0x0200, 5); }

size_t BuildCommParamWrite(uint8_t* out, uint8_t address, uint8_t newAddress, uint8_t baudCode) {
  const uint8_t head[] = {address, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A};
  std::memcpy(out, head, sizeof head);
  PutWord(out + 7, newAddress);
  PutWord(out + 9, baudCode);
  PutWord(out + 11, 0);
  PutWord(out + 13, 0);
  PutWord(out + 15, 1);
  return AppendCrc(out, 17);
}

size_t BuildLegacyFrame(uint8_t* out, uint8_t x, uint8_t y) {
  out[0] = out[1] = out[2] = 0xFD;
  out[3] = x;
  out[4] = y;
  return AppendCrc(out, 5);
}

ReplyExpectation ExpectedReply(const uint8_t* request, size_t n) {
  ReplyExpectation e{.address = request[0], .function = request[1], .intact = CheckReplyCrc};
  if (n >= 3 && request[0] == 0xFD && request[1] == 0xFD && request[2] == 0xFD) {
    e.length = 7;
    e.exceptionReply = false;
    // A change's reply repeats what it changed; the query's never repeats the query.
    e.replyMayEcho = e.changesDevice = n >= 5 && (request[3] != 0 || request[4] != 0);
    return e;
  }
  if (n < 8) return {};
  switch (request[1]) {
    case 0x03: {
      const size_t length = 5 + 2 * static_cast<size_t>(request[4] << 8 | request[5]);
      // A byte count is one byte: more registers than that cannot come back in one reply.
      if (length > 5 + 2 * 127) return {};
      e.length = static_cast<uint16_t>(length);
      // The configuration block at 255 or 0 is answered from the device's own address.
      e.anyAddress = (request[0] == 0 || request[0] == 0xFF) && request[2] == 0x02 && request[3] == 0x00 &&
                     request[4] == 0x00 && request[5] == 0x05;
      return e;
    }
    case 0x06:
    case 0x10:
      // The acknowledgement repeats the request's first six bytes (a function-06 one is the
      // request itself).
      e.length = 8;
      e.replyMayEcho = request[1] == 0x06;
      e.changesDevice = true;
      std::copy(request, request + 6, e.head.begin());
      e.headLength = 6;
      return e;
    default: return {};
  }
}

uint8_t CheckReadReply(const uint8_t* reply, size_t n, uint8_t address, uint16_t count) {
  if (n <= 3 || reply[0] != address || reply[1] != 0x03) return kFormatError;
  // A reply that does not carry exactly the registers asked for answers another request (a
  // late reply, two replies run together): never decoded, however good its CRC.
  const size_t bytes = 2 * static_cast<size_t>(count);
  if (n != 5 + bytes || reply[2] != bytes) return kFormatError;
  if (!CheckReplyCrc(reply, n)) return kCheckError;
  return kSuccess;
}

uint8_t CheckWriteSingleReply(const uint8_t* reply, size_t n, const uint8_t* request) {
  if (n <= 3) return kFormatError;
  // An echo cut short, or one with more behind it, is no acknowledgement.
  if (n != 8) return kCheckError;
  return std::memcmp(reply, request, 8) == 0 ? kSuccess : kCheckError;
}

uint8_t CheckWriteTwoReply(const uint8_t* reply, size_t n, const uint8_t* request, size_t requestLength) {
  if (n <= 3) return kFormatError;
  if (!CheckReplyCrc(reply, n)) return kCheckError;
  // The acknowledgement is exactly address, function, start and count: the request's own echo
  // (an adapter that hears itself) or a fragment that repeats its first bytes acknowledges nothing.
  if (n != 8 || requestLength < 8) return kFormatError;
  return std::memcmp(reply, request, 6) == 0 ? kSuccess : kFormatError;
}

bool CheckCommParamWriteReply(const uint8_t* reply, size_t n, uint8_t address) {
  const uint8_t ack[] = {address, 0x10, 0x02, 0x00, 0x00, 0x05};
  return n == sizeof ack + 2 && std::memcmp(reply, ack, sizeof ack) == 0 && CheckReplyCrc(reply, n);
}

uint32_t BaudFromCode(int code) {
  if (code < 0 || code >= static_cast<int>(std::size(kBaudRates))) return 0;
  return kBaudRates[code];
}

int BaudCodeOf(uint32_t baud) {
  for (size_t i = 0; i < std::size(kBaudRates); ++i)
    if (kBaudRates[i] == baud) return static_cast<int>(i);
  return -1;
}

std::optional<LegacyReply> ParseLegacyReply(const uint8_t* reply, size_t n) {
  if (n < 7 || !CheckReplyCrc(reply, n)) return std::nullopt;
  if (reply[0] != 0xFD || reply[1] != 0xFD || reply[2] != 0xFD) return std::nullopt;
  if (reply[3] < 1 || reply[3] > 3) return std::nullopt;
  LegacyReply r;
  r.baud = BaudFromCode(reply[3]);
  r.address = reply[4];
  return r;
}

std::optional<CommParamReply> ParseCommParamReply(const uint8_t* reply, size_t n) {
  if (n < 15 || !CheckReplyCrc(reply, n)) return std::nullopt;
  CommParamReply r;
  r.address = reply[4];
  r.baudCode = reply[6];
  r.baud = BaudFromCode(reply[6]);
  r.ParityCode = reply[8];
  r.CommReg3 = reply[10];
  r.CommReg4 = reply[12];
  return r;
}

std::string ParityText(uint8_t parityCode) {
  switch (parityCode) {
    case 0: return "No Check";
    case 1: return "Odd Parity Check";
    case 2: return "Parity Check";
    default: return "Error Checking";
  }
}

}  // namespace tamsu
