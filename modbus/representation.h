// How a register value is shown: whole numbers, signed or unsigned fixed point, 32-bit values,
// IEEE-754 singles, code tables and byte pairs. One place for every text a read puts into a
// field, shared by the Show operations, the pages' block reads and the soak.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tamsu {

struct Representation {
  enum class Kind : uint8_t {
    Unsigned,    // 0..65535, times `scale` with `decimals` when decimals >= 0
    Signed,      // two's complement, times `scale` with `decimals`
    Unsigned32,  // two registers, high word first, as a whole number
    Float,       // two registers holding a single; "%f", or `decimals` when 0..3
    Codes,       // the text of the code, `otherwise` for any other value
    Bytes,       // high byte "." low byte, each in decimal ("%d.%d")
  };
  Kind kind = Kind::Unsigned;
  double scale = 1.0;
  int decimals = -1;     // -1: a whole number (Unsigned) or "%f" (Float)
  bool single = false;   // the product is formed in single precision, as some devices' tools do
  std::vector<std::pair<uint16_t, std::string>> codes{};
  std::string otherwise = "err";

  int Words() const { return kind == Kind::Unsigned32 || kind == Kind::Float ? 2 : 1; }
  // Shown as a number (a trend can plot it), not as a text or a code.
  bool Numeric() const { return kind != Kind::Codes && kind != Kind::Bytes; }
};

// The text of a value read with Words() registers (for two, the high word in the upper half).
std::string Present(const Representation& shown, uint32_t value);

}  // namespace tamsu
