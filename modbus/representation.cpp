#include "modbus/representation.h"

#include <bit>
#include <cstdio>

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

}  // namespace tamsu
