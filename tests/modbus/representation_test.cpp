#include "modbus/representation.h"

#include <gtest/gtest.h>

#include <bit>

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

}  // namespace
}  // namespace tamsu
