#include "modbus/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale>
#include <string>

#include "tests/support/german_locale.h"

// glibc keeps a small allocation for a locale found through LOCPATH; not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:argz_add_sep\n"; }

namespace tamsu {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(TextToDouble, GrammarStopsAndLimits) {
  const std::pair<const char*, double> cases[] = {
      {"12.34", 12.34}, {"  \t-1.5", -1.5}, {"+7", 7}, {".5", 0.5}, {"5.", 5}, {"1.5e3", 1500}, {"25E-1x", 2.5},
      // Stops at the first character that cannot continue the number.
      {"12.3.4", 12.3}, {"12,34", 12}, {"3 4", 3}, {"2e", 2}, {"2e+", 2}, {"12kPa", 12},
      // No number gives 0; inf, nan and hex are not numbers here.
      {"", 0}, {"   ", 0}, {"abc", 0}, {"-", 0}, {".", 0}, {"+.", 0}, {"e5", 0}, {"inf", 0}, {"-infinity", 0},
      {"nan", 0}, {"NAN(1)", 0}, {"0x1A", 0},
      // Only the first 19 characters count (the exponent digit of the last is the 20th).
      {"1234567890123456789999", 1234567890123456789.0}, {"                  7", 7}, {"                   7", 0},
      {"1.0000000000000e5", 1e5}, {"1.0000000000000000e5", 1},
      // Out of range: overflow is the signed infinity, underflow zero.
      {"1e999", kInf}, {"-1e999", -kInf}, {"1e-999", 0}, {"1e99999999999999", kInf}, {"0.0001e-999999", 0},
      {"0e999999", 0}};
  for (auto [text, value] : cases) EXPECT_EQ(TextToDouble(text), value) << '"' << text << '"';
}

TEST(DialogInteger, UnsignedAndSigned) {
  for (auto [text, value] : {std::pair<const char*, uint32_t>{"70000", 70000}, {"  42", 42}, {"4294967295", 4294967295u},
                             {"12ab", 12}, {"", 0}, {"-5", 0}, {"abc", 0}, {"4294967296", 0}, {"99999999999999999999999", 0}})
    EXPECT_EQ(DialogUInt(text), value) << text;
  for (auto [text, value] : {std::pair<const char*, int32_t>{"-5", -5}, {" +17", 17}, {"2147483647", 2147483647},
                             {"-2147483648", std::numeric_limits<int32_t>::min()}, {"", 0}, {"-", 0}, {"x1", 0},
                             {"2147483648", 0}, {"-2147483649", 0}})
    EXPECT_EQ(DialogInt(text), value) << text;
}

TEST(Conversion, DefinedForEveryProduct) {
  // Truncated toward zero, then the low 16 or 32 bits; infinities and NaN give 0.
  for (auto [v, low16, low32] : {std::tuple<double, uint16_t, uint32_t>{123.9, 123, 123}, {-1.5 * 10, 0xFFF1, 0xFFFFFFF1},
                                 {-0.9, 0, 0}, {70000.0, 4464, 70000}, {1e10, 0xE400, 0x540BE400}, {-1.0, 0xFFFF, 0xFFFFFFFF},
                                 {-4294967296.0, 0, 0}, {1e300, 0, 0}, {0x1.0000000000001p53, 2, 2}, {kInf, 0, 0},
                                 {-kInf, 0, 0}, {std::numeric_limits<double>::quiet_NaN(), 0, 0}}) {
    EXPECT_EQ(Low16(v), low16) << v;
    EXPECT_EQ(Low32(v), low32) << v;
  }
  constexpr float kMax = std::numeric_limits<float>::max(), kInfF = std::numeric_limits<float>::infinity();
  EXPECT_EQ(std::bit_cast<uint32_t>(ToSingle(1.5)), 0x3FC00000u);
  EXPECT_EQ(ToSingle(1e39), kInfF);
  EXPECT_EQ(ToSingle(-1e39), -kInfF);
  EXPECT_EQ(ToSingle(kMax), kMax);
  // Just above the largest single but nearer to it than to the halfway point: rounds to it.
  EXPECT_EQ(ToSingle(0x1.fffffe8p127), kMax);
  EXPECT_EQ(ToSingle(-0x1.ffffffp127), -kInfF);
  EXPECT_TRUE(std::isnan(ToSingle(std::numeric_limits<double>::quiet_NaN())));
}

TEST(Formatting, FixedAndCorrectlyRounded) {
  for (auto [v, decimals, text] : {std::tuple<double, int, const char*>{65535 * 0.1, 1, "6553.5"}, {-1 * 0.1, 1, "-0.1"},
                                   {1234 * 0.001, 3, "1.234"}, {1234 * 0.01, 2, "12.34"}, {1234 * 0.1, 0, "123"},
                                   {1234 * 0.1, 7, "123"}, {1234 * 0.1, -1, "123"},
                                   {0.125, 2, "0.12"},  // exactly half: to even, as printf does
                                   {2.675, 2, "2.67"},  // 2.675 is really 2.67499999...
                                   {1e20, 1, "100000000000000000000.0"}})
    EXPECT_EQ(FormatScaled(v, decimals), text) << v;
  EXPECT_EQ(FormatFloat(1.5f), "1.500000");
  EXPECT_EQ(FormatFloat(-0.1f), "-0.100000");
  EXPECT_EQ(FormatFloat(std::numeric_limits<float>::max()), "340282346638528859811704183484516925440.000000");
  EXPECT_EQ(FormatFloat(kInf), "inf");
}

// A German locale uses the comma as its decimal separator; nothing here may follow it.
TEST(GermanLocale, NumbersStayC) {
  const test::GermanLocale german;
  if (!german.Found()) GTEST_SKIP() << "no German locale available";
  EXPECT_EQ(std::localeconv()->decimal_point[0], ',');  // the locale really is in force
  EXPECT_EQ(TextToDouble("12.34"), 12.34);
  EXPECT_EQ(TextToDouble("12,34"), 12.0);
  EXPECT_EQ(Low16(TextToDouble("12.34") * 10), 123);
  EXPECT_EQ(FormatScaled(235 * 0.1, 1), "23.5");
  EXPECT_EQ(FormatFloat(1.5f), "1.500000");
  EXPECT_EQ(DialogUInt("1.234"), 1u);
}

}  // namespace
}  // namespace tamsu
