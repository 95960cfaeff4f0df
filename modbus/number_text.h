// Conversions between typed or shown text and numbers: "C" rules whatever the user's locale,
// and a defined result for every input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamsu {

// The first 19 characters: leading blanks, optional sign, digits with an optional point and
// exponent; stops at the first character that cannot continue the number; no number gives 0.
// "inf", "nan" and hex forms are not numbers. Overflow gives the signed infinity.
double TextToDouble(std::string_view text);
// The same, or none where the text holds no number (where TextToDouble gives 0 for it).
std::optional<double> TypedNumber(std::string_view text);
// Dialog-integer manner, unsigned: leading blanks skipped; not an unsigned number gives 0.
uint32_t DialogUInt(std::string_view text);
// Dialog-integer manner, signed (address and baud boxes); not a number gives 0.
int32_t DialogInt(std::string_view text);

// A typed value times its multiplier, truncated toward zero; a product within a hair of a whole
// number is that number, as the typed decimals meant it (2.3 x 100 is 230, never 229).
double TruncateProduct(double product);
// TruncateProduct, keeping the low 16 / 32 bits exactly; infinite or NaN gives 0.
uint16_t Low16(double value);
uint32_t Low32(double value);
// Nearest single; beyond the single range the correctly signed infinity.
float ToSingle(double value);

// Fixed notation, correctly rounded: decimals 0..3 as "%.Nf", any other as "%.0f".
std::string FormatScaled(double value, int decimals);
// "%f": six decimals.
std::string FormatFloat(double value);

}  // namespace tamsu
