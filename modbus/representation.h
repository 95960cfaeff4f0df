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

// What a field write can carry without wrapping: the register values it may send (truncated
// typed value times the multiplier), or any finite single. A value outside is refused before
// anything is sent, so a limit never lands on the device as its low 16 bits.
struct WriteRange {
  double least = 0, greatest = 0;  // register values
  int multiplier = 1;              // typed value x multiplier is sent; 0: a single, sent as typed

  // The value as the write converts it lands within the span.
  bool Holds(double typed) const;
  // The device keeps the value whole: nothing beyond its last step is cut off.
  bool Whole(double typed) const;
  // "-3276.8 to 3276.7", in the field's units.
  std::string Text() const;
};
// How a field write's registers take a typed value.
enum class WriteWidth : uint8_t { Unsigned16, Word, Wide, Single };
// The span of a write of `width` whose field reads back as `shown` (null: it is never read), so
// a limit read as signed may be written as signed, one read as unsigned only as unsigned.
WriteRange WriteRangeOf(WriteWidth width, int multiplier, const Representation* shown);

}  // namespace tamsu
