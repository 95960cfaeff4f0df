#include "modbus/representation.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "modbus/number_text.h"

namespace tamsu {

namespace {
double Product(double value, const Representation& r) {
  if (r.single) return static_cast<double>(static_cast<float>(value) * static_cast<float>(r.scale));
  return value * r.scale;
}
}  // namespace

std::string Present(const Representation& r, uint32_t value) {
  using Kind = Representation::Kind;
  const auto word = static_cast<uint16_t>(value & 0xFFFF);
  switch (r.kind) {
    case Kind::Unsigned:
      if (r.decimals < 0) return std::to_string(word);
      return FormatScaled(Product(word, r), r.decimals);
    case Kind::Signed:
      return FormatScaled(Product(static_cast<int16_t>(word), r), r.decimals);
    case Kind::Unsigned32:
      return std::to_string(value);
    case Kind::Float: {
      const float f = std::bit_cast<float>(value);
      return r.decimals < 0 ? FormatFloat(f) : FormatScaled(f, r.decimals);
    }
    case Kind::Codes:
      for (const auto& [code, text] : r.codes)
        if (code == word) return text;
      return r.otherwise;
    case Kind::Bytes: {
      char text[16];
      std::snprintf(text, sizeof text, "%d.%d", word >> 8, word & 0xFF);
      return text;
    }
  }
  return {};
}

namespace {
std::string Shortest(double value) {
  char text[40];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}
}  // namespace

bool WriteRange::Holds(double typed) const {
  if (!std::isfinite(typed)) return false;
  if (multiplier == 0) return std::fabs(typed) <= std::numeric_limits<float>::max();
  const double sent = TruncateProduct(typed * multiplier);
  return sent >= least && sent <= greatest;
}

bool WriteRange::Whole(double typed) const {
  if (multiplier == 0 || !std::isfinite(typed)) return true;
  const double product = typed * multiplier;
  return std::fabs(product - std::nearbyint(product)) <= std::max(1.0, std::fabs(product)) * 1e-9;
}

std::string WriteRange::Text() const {
  if (multiplier == 0) return Shortest(-std::numeric_limits<float>::max()) + " to " + Shortest(std::numeric_limits<float>::max());
  return Shortest(least / multiplier) + " to " + Shortest(greatest / multiplier);
}

WriteRange WriteRangeOf(WriteWidth width, int multiplier, const Representation* shown) {
  using Kind = Representation::Kind;
  const bool isSigned = shown && shown->kind == Kind::Signed;
  const bool isUnsigned = shown && (shown->kind == Kind::Unsigned || shown->kind == Kind::Unsigned32);
  const int m = multiplier > 0 ? multiplier : 1;
  switch (width) {
    case WriteWidth::Unsigned16: return {0, isSigned ? 32767.0 : 65535.0, 1};
    case WriteWidth::Word: return {isUnsigned ? 0.0 : -32768.0, isSigned ? 32767.0 : 65535.0, m};
    case WriteWidth::Wide: return {isUnsigned ? 0.0 : -2147483648.0, isSigned ? 2147483647.0 : 4294967295.0, m};
    case WriteWidth::Single: break;
  }
  return {0, 0, 0};
}

}  // namespace tamsu
