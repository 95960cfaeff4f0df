#include "modbus/representation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <string>

#include "modbus/number_text.h"

namespace tamsu {
namespace {

using Kind = Representation::Kind;

TEST(Representation, EveryKindAtItsEdges) {
  const Representation tenths{.kind = Kind::Signed, .scale = 0.1, .decimals = 1};
  const Representation hundredthsUnsigned{.kind = Kind::Unsigned, .scale = 0.01, .decimals = 2};
  const Representation level{.kind = Kind::Unsigned, .scale = 0.0031830985, .decimals = 2, .single = true};
  const Representation state{.kind = Kind::Codes, .codes = {{0, "No Water"}, {1, "Water"}}};
  const struct {
    Representation shown;
    uint32_t value;
    const char* text;
  } cases[] = {
      {{}, 0xFFFF, "65535"},
      {tenths, 0xFF38, "-20.0"},
      {tenths, 0x7FFF, "3276.7"},
      {tenths, 0x8000, "-3276.8"},
      {hundredthsUnsigned, 0xFFFF, "655.35"},
      {{.kind = Kind::Unsigned, .scale = 0.1, .decimals = 1}, 0xFFFB, "6553.1"},
      {{.kind = Kind::Signed, .scale = 0.1, .decimals = 1, .single = true}, 0xFFF6, "-1.0"},
      {level, 3142, "10.00"},
      {level, 0, "0.00"},
      {{.kind = Kind::Unsigned32}, 100000, "100000"},
      {{.kind = Kind::Float}, std::bit_cast<uint32_t>(1.5f), "1.500000"},
      {{.kind = Kind::Float, .decimals = 2}, std::bit_cast<uint32_t>(-12.345f), "-12.35"},
      {state, 1, "Water"},
      {state, 2, "err"},
      {{.kind = Kind::Bytes}, 0x0103, "1.3"},
      {{.kind = Kind::Bytes}, 0x0A00, "10.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(Present(c.shown, c.value), c.text) << c.value;
  EXPECT_EQ(Representation{.kind = Kind::Float}.Words(), 2);
  EXPECT_FALSE(state.Numeric());
  EXPECT_TRUE(tenths.Numeric());
}

// Every register value a field can hold, typed as the page shows it, is taken and written as
// that very value; one step past either end is refused, so nothing is written wrapped.
TEST(WriteRange, EveryShownValueWrittenExactlyAndNothingPastTheEnds) {
  const Representation signedTenths{.kind = Kind::Signed, .scale = 0.1, .decimals = 1};
  const Representation unsignedHundredths{.kind = Kind::Unsigned, .scale = 0.01, .decimals = 2};
  const Representation whole{};
  const struct {
    WriteWidth width;
    int multiplier, decimals;
    const Representation* shown;
    long long least, greatest;
  } spans[] = {{WriteWidth::Word, 10, 1, &signedTenths, -32768, 32767},
               {WriteWidth::Word, 100, 2, &unsignedHundredths, 0, 65535},
               {WriteWidth::Word, 1000, 3, nullptr, -32768, 65535},
               {WriteWidth::Unsigned16, 1, 0, &whole, 0, 65535},
               {WriteWidth::Wide, 10, 1, nullptr, -2147483648LL, 4294967295LL}};
  for (const auto& s : spans) {
    const WriteRange span = WriteRangeOf(s.width, s.multiplier, s.shown);
    SCOPED_TRACE(span.Text());
    const long long step = std::max(1LL, (s.greatest - s.least) / 70000);
    for (long long raw = s.least; raw <= s.greatest; raw += step) {
      const std::string typed = FormatScaled(static_cast<double>(raw) / s.multiplier, s.decimals);
      const double number = TextToDouble(typed);
      ASSERT_TRUE(span.Holds(number) && span.Whole(number)) << typed;
      ASSERT_EQ(TruncateProduct(number * s.multiplier), static_cast<double>(raw)) << typed;
    }
    for (long long raw : {s.least - 1, s.greatest + 1})
      EXPECT_FALSE(span.Holds(TextToDouble(FormatScaled(static_cast<double>(raw) / s.multiplier, s.decimals)))) << raw;
  }
  EXPECT_EQ(WriteRangeOf(WriteWidth::Word, 10, &signedTenths).Text(), "-3276.8 to 3276.7");
  EXPECT_FALSE(WriteRangeOf(WriteWidth::Word, 10, &signedTenths).Whole(30.55));
  EXPECT_EQ(Low16(TextToDouble("2.3") * 100), 230);  // 229.99999999999997 once
  const WriteRange single = WriteRangeOf(WriteWidth::Single, 1, nullptr);
  EXPECT_TRUE(single.Holds(-3.4e38) && single.Whole(1.23456789));
  EXPECT_FALSE(single.Holds(3.5e38));
}

}  // namespace
}  // namespace tamsu
