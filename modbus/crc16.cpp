#include <array>

#include "modbus/frames.h"

namespace tamsu {
namespace {

// One 16-bit entry per byte value, derived from the reflected polynomial at compile time;
// its low and high bytes are the two classic byte tables of the Modbus CRC.
constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0xC0C1 && kTable[2] == 0xC181 && kTable[3] == 0x0140);

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

size_t AppendCrc(uint8_t* frame, size_t length) {
  const uint16_t crc = Crc16(frame, length);
  frame[length] = static_cast<uint8_t>(crc & 0xFF);
  frame[length + 1] = static_cast<uint8_t>(crc >> 8);
  return length + 2;
}

bool CheckReplyCrc(const uint8_t* reply, size_t n) {
  if (n < 4) return false;
  const uint16_t crc = Crc16(reply, n - 2);
  return reply[n - 2] == (crc & 0xFF) && reply[n - 1] == (crc >> 8);
}

}  // namespace tamsu
