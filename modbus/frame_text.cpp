#include "modbus/frame_text.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "modbus/frames.h"

namespace tamsu {

namespace {

uint16_t Word(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
  char text[192];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

constexpr uint16_t kCommBlock = 0x0200;
constexpr uint16_t kCommCount = 5;

bool IsLegacy(const uint8_t* frame, size_t n) {
  return n >= 5 && frame[0] == 0xFD && frame[1] == 0xFD && frame[2] == 0xFD;
}

std::string Rate(unsigned code) {
  const uint32_t baud = BaudFromCode(static_cast<int>(code));
  return baud ? Format("%u", static_cast<unsigned>(baud)) : std::string("unknown rate");
}

// The reason a read reply to `count` registers is refused, in the order the tool refuses it.
std::string ReadRefusal(const uint8_t* reply, size_t n, uint16_t count) {
  const size_t bytes = 2 * static_cast<size_t>(count);
  if (reply[2] != bytes) return Format("refused: %u data bytes for %u registers", reply[2], count);
  if (n != 5 + bytes) return Format("refused: %zu bytes, %zu expected", n, 5 + bytes);
  return "refused: bad CRC";
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    if (i) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

const char* ResultText(uint8_t result) {
  switch (result) {
    case kSuccess: return "success";
    case kPortNotOpen: return "port not open";
    case kFormatError: return "no reply or bad format";
    case kCheckError: return "check value failure";
    default: return "unknown";
  }
}

const char* ExceptionText(uint8_t code) {
  switch (code) {
    case 0x01: return "illegal function";
    case 0x02: return "illegal data address";
    case 0x03: return "illegal data value";
    case 0x04: return "slave device failure";
    case 0x05: return "acknowledge";
    case 0x06: return "slave device busy";
    case 0x08: return "memory parity error";
    case 0x0A: return "gateway path unavailable";
    case 0x0B: return "gateway target failed to respond";
    default: return "unknown";
  }
}

std::string DescribeRequest(const uint8_t* r, size_t n) {
  if (IsLegacy(r, n)) {
    if (r[3] == 0 && r[4] == 0) return "0xFD query";
    if (r[3] == 0) return Format("0xFD set address %u", r[4]);
    return Format("0xFD set baud code %u (%s)", r[3], Rate(r[3]).c_str());
  }
  if (n < 2) return Format("%zu bytes", n);
  const unsigned address = r[0];
  if (n >= 8 && r[1] == 0x03) {
    const uint16_t reg = Word(r + 2), count = Word(r + 4);
    if (reg == kCommBlock && count == kCommCount) return Format("comm block read at %u", address);
    return Format("03 read 0x%04X \u00D7%u at %u", reg, count, address);
  }
  if (n >= 8 && r[1] == 0x06)
    return Format("06 write 0x%04X = 0x%04X (%u) at %u", Word(r + 2), Word(r + 4), Word(r + 4), address);
  if (n >= 9 && r[1] == 0x10) {
    const uint16_t reg = Word(r + 2), count = Word(r + 4);
    if (reg == kCommBlock && count == kCommCount && n >= 17)
      return Format("comm block write at %u: address %u, baud code %u (%s)", address, Word(r + 7), Word(r + 9),
                    Rate(Word(r + 9)).c_str());
    std::string words;
    for (size_t k = 0; k < count && 7 + 2 * k + 1 < n - 2; ++k) words += Format(" 0x%04X", Word(r + 7 + 2 * k));
    return Format("16 write 0x%04X \u00D7%u =%s at %u", reg, count, words.c_str(), address);
  }
  return Format("function 0x%02X at %u", r[1], address);
}

std::string DescribeReply(const uint8_t* reply, size_t n, const uint8_t* request, size_t requestLength) {
  if (IsLegacy(request, requestLength)) {
    if (const auto legacy = ParseLegacyReply(reply, n))
      return Format("0xFD reply: address %u, %u baud", legacy->address, static_cast<unsigned>(legacy->baud));
    if (n <= 3) return Format("refused: %zu bytes, too short", n);
    return CheckReplyCrc(reply, n) ? "refused: no 0xFD reply" : "refused: bad CRC";
  }
  if (n <= 3) return Format("refused: %zu bytes, too short", n);
  if (requestLength < 8) return HexBytes(reply, n);
  const uint8_t function = request[1];
  const uint16_t reg = Word(request + 2), count = Word(request + 4);
  const bool commBlock = reg == kCommBlock && count == kCommCount;
  // Another address or function first, as the checks refuse them; the configuration block
  // is answered from the device's own address, which is not compared.
  if (reply[0] != request[0] && !(commBlock && function == 0x03))
    return Format("refused: from address %u, asked %u", reply[0], request[0]);
  if (reply[1] == (function | 0x80)) return Format("refused: exception %02X: %s", reply[2], ExceptionText(reply[2]));
  if (reply[1] != function) return Format("refused: function 0x%02X, asked 0x%02X", reply[1], function);

  switch (function) {
    case 0x03: {
      if (commBlock) {
        if (const auto c = ParseCommParamReply(reply, n))
          return Format("comm block: address %u, baud code %u (%s), parity %u, %u, %u", c->address, c->baudCode,
                        Rate(c->baudCode).c_str(), c->ParityCode, c->CommReg3, c->CommReg4);
      }
      if (CheckReadReply(reply, n, reply[0], count) != kSuccess) return ReadRefusal(reply, n, count);
      std::string values = "values";
      for (size_t k = 0; k < count; ++k) {
        const uint16_t v = ReplyRegister(reply, k);
        values += Format(k ? ", 0x%04X (%u)" : " 0x%04X (%u)", v, v);
      }
      return values;
    }
    case 0x06:
      return CheckWriteSingleReply(reply, n, request) == kSuccess ? std::string("echo") : "refused: echo differs";
    case 0x10:
      if (!CheckReplyCrc(reply, n)) return "refused: bad CRC";
      if (commBlock) return CheckCommParamWriteReply(reply, n, request[0]) ? "comm block acknowledged" : "refused";
      return CheckWriteTwoReply(reply, n, request, requestLength) == kSuccess
                 ? Format("acknowledged 0x%04X \u00D7%u", reg, count)
                 : std::string("refused: acknowledgement differs");
    default:
      return HexBytes(reply, n);
  }
}

}  // namespace tamsu
