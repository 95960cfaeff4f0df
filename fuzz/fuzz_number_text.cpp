// The conversions of typed and shown text over arbitrary input: every result defined, no
// read past the text, and the written words within their ranges by construction.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "modbus/number_text.h"

using tamsu::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tamsu;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const double value = TextToDouble(text);
  Require(!std::isnan(value));
  // Only the first 19 characters count.
  if (size > 19) Require(std::bit_cast<uint64_t>(TextToDouble(text.substr(0, 19))) == std::bit_cast<uint64_t>(value));

  const uint32_t u = DialogUInt(text);
  const int32_t s = DialogInt(text);
  (void)u;
  (void)s;

  for (int scale : {1, 10, 100, 1000, -7, 2147483647}) {
    const double product = value * scale;
    const uint16_t w16 = Low16(product);
    const uint32_t w32 = Low32(product);
    Require(w16 == (w32 & 0xFFFF));
    if (!std::isfinite(product)) Require(w32 == 0);
  }
  const float single = ToSingle(value);
  Require(std::isinf(single) == (std::fabs(value) >= 0x1.ffffffp127));

  for (int decimals : {-1, 0, 1, 2, 3, 7}) {
    const std::string shown = FormatScaled(value, decimals);
    Require(!shown.empty());
    // What is shown reads back as the same number (to the decimals shown).
    if (std::isfinite(value) && shown.size() <= 19 && decimals >= 1 && decimals <= 3)
      Require(std::fabs(TextToDouble(shown) - value) <= 0.5 * std::pow(10.0, -decimals) * (1 + 1e-9) + std::fabs(value) * 1e-15);
  }
  Require(!FormatFloat(single).empty());
  return 0;
}
