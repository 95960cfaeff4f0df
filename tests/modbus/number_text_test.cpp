#include "modbus/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <locale>
#include <string>

// glibc keeps a small allocation for a locale found through LOCPATH; not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:argz_add_sep\n"; }

namespace tamsu {
namespace {

TEST(TextToDouble, GrammarAndStops) {
  EXPECT_DOUBLE_EQ(TextToDouble("12.34"), 12.34);
  EXPECT_DOUBLE_EQ(TextToDouble("  \t-1.5"), -1.5);
  EXPECT_DOUBLE_EQ(TextToDouble("+7"), 7.0);
  EXPECT_DOUBLE_EQ(TextToDouble(".5"), 0.5);
  EXPECT_DOUBLE_EQ(TextToDouble("5."), 5.0);
  EXPECT_DOUBLE_EQ(TextToDouble("1.5e3"), 1500.0);
  EXPECT_DOUBLE_EQ(TextToDouble("25E-1x"), 2.5);
  // Stops at the first character that cannot continue the number.
  EXPECT_DOUBLE_EQ(TextToDouble("12.3.4"), 12.3);
  EXPECT_DOUBLE_EQ(TextToDouble("12,34"), 12.0);
  EXPECT_DOUBLE_EQ(TextToDouble("3 4"), 3.0);
  EXPECT_DOUBLE_EQ(TextToDouble("2e"), 2.0);
  EXPECT_DOUBLE_EQ(TextToDouble("2e+"), 2.0);
  EXPECT_DOUBLE_EQ(TextToDouble("12kPa"), 12.0);
  // No number gives 0; inf, nan and hex are not numbers here.
  for (const char* text : {"", "   ", "abc", "-", ".", "+.", "e5", "inf", "-infinity", "nan", "NAN(1)"})
    EXPECT_EQ(TextToDouble(text), 0.0) << text;
  EXPECT_EQ(TextToDouble("0x1A"), 0.0);
  // Only the first 19 characters count.
  EXPECT_DOUBLE_EQ(TextToDouble("1234567890123456789999"), 1234567890123456789.0);
  EXPECT_DOUBLE_EQ(TextToDouble("                  7"), 7.0);
  EXPECT_EQ(TextToDouble("                   7"), 0.0);
  EXPECT_DOUBLE_EQ(TextToDouble("1.0000000000000e5"), 100000.0);
  EXPECT_DOUBLE_EQ(TextToDouble("1.0000000000000000e5"), 1.0);  // the exponent digit is the 20th character
  // Out of range: overflow is the signed infinity, underflow zero.
  EXPECT_EQ(TextToDouble("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(TextToDouble("-1e999"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(TextToDouble("1e-999"), 0.0);
  EXPECT_EQ(TextToDouble("1e99999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(TextToDouble("0.0001e-999999"), 0.0);
  EXPECT_EQ(TextToDouble("0e999999"), 0.0);
}

TEST(DialogInteger, UnsignedAndSigned) {
  EXPECT_EQ(DialogUInt("70000"), 70000u);
  EXPECT_EQ(DialogUInt("  42"), 42u);
  EXPECT_EQ(DialogUInt("4294967295"), 4294967295u);
  EXPECT_EQ(DialogUInt("12ab"), 12u);
  for (const char* text : {"", "-5", "abc", "4294967296", "99999999999999999999999"}) EXPECT_EQ(DialogUInt(text), 0u) << text;
  EXPECT_EQ(DialogInt("-5"), -5);
  EXPECT_EQ(DialogInt(" +17"), 17);
  EXPECT_EQ(DialogInt("2147483647"), 2147483647);
  EXPECT_EQ(DialogInt("-2147483648"), std::numeric_limits<int32_t>::min());
  for (const char* text : {"", "-", "x1", "2147483648", "-2147483649"}) EXPECT_EQ(DialogInt(text), 0) << text;
}

TEST(Conversion, DefinedForEveryProduct) {
  EXPECT_EQ(Low16(123.9), 123);
  EXPECT_EQ(Low16(-15.0), 0xFFF1);
  EXPECT_EQ(Low16(-1.5 * 10), 0xFFF1);
  EXPECT_EQ(Low16(-0.9), 0);
  EXPECT_EQ(Low16(70000.0), 4464);
  EXPECT_EQ(Low16(1e10), static_cast<uint16_t>(10000000000ULL & 0xFFFF));
  EXPECT_EQ(Low32(1e10), static_cast<uint32_t>(10000000000ULL & 0xFFFFFFFF));
  EXPECT_EQ(Low32(-1.0), 0xFFFFFFFFu);
  EXPECT_EQ(Low32(-4294967296.0), 0u);
  EXPECT_EQ(Low32(1e300), 0u);  // a multiple of 2^32
  EXPECT_EQ(Low32(0x1.0000000000001p53), 2u);  // 2^53 + 2: only its low bits remain
  for (double v : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(Low16(v), 0);
    EXPECT_EQ(Low32(v), 0u);
  }

  EXPECT_EQ(std::bit_cast<uint32_t>(ToSingle(1.5)), 0x3FC00000u);
  EXPECT_EQ(ToSingle(1e39), std::numeric_limits<float>::infinity());
  EXPECT_EQ(ToSingle(-1e39), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(ToSingle(std::numeric_limits<float>::max()), std::numeric_limits<float>::max());
  // Just above the largest single but nearer to it than to the halfway point: rounds to it.
  EXPECT_EQ(ToSingle(0x1.fffffe8p127), std::numeric_limits<float>::max());
  EXPECT_EQ(ToSingle(-0x1.ffffffp127), -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(ToSingle(std::numeric_limits<double>::quiet_NaN())));
}

TEST(Formatting, FixedAndCorrectlyRounded) {
  EXPECT_EQ(FormatScaled(65535 * 0.1, 1), "6553.5");
  EXPECT_EQ(FormatScaled(-1 * 0.1, 1), "-0.1");
  EXPECT_EQ(FormatScaled(1234 * 0.001, 3), "1.234");
  EXPECT_EQ(FormatScaled(1234 * 0.01, 2), "12.34");
  EXPECT_EQ(FormatScaled(1234 * 0.1, 0), "123");
  EXPECT_EQ(FormatScaled(1234 * 0.1, 7), "123");
  EXPECT_EQ(FormatScaled(1234 * 0.1, -1), "123");
  EXPECT_EQ(FormatScaled(0.125, 2), "0.12");  // exactly half: to even, as printf does
  EXPECT_EQ(FormatScaled(2.675, 2), "2.67");  // 2.675 is really 2.67499999...
  EXPECT_EQ(FormatScaled(1e20, 1), "100000000000000000000.0");
  EXPECT_EQ(FormatFloat(1.5f), "1.500000");
  EXPECT_EQ(FormatFloat(-0.1f), "-0.100000");
  EXPECT_EQ(FormatFloat(std::numeric_limits<float>::max()), "340282346638528859811704183484516925440.000000");
  EXPECT_EQ(FormatFloat(std::numeric_limits<double>::infinity()), "inf");
}

// A German locale uses the comma as its decimal separator; nothing here may follow it.
class GermanLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE@euro", "de_DE"})
      if (std::setlocale(LC_ALL, name)) return Adopt(name);
    // No German locale installed: compile one into a private directory when possible.
    dir_ = std::filesystem::temp_directory_path() / ("tamsu-locale-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir_ / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) {
      ::setenv("LOCPATH", dir_.c_str(), 1);
      if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return Adopt("de_DE.UTF-8");
    }
    GTEST_SKIP() << "no German locale available";
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
    ::unsetenv("LOCPATH");
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  void Adopt(const char* name) { std::locale::global(std::locale(name)); }

  std::filesystem::path dir_;
};

TEST_F(GermanLocale, NumbersStayC) {
  ASSERT_EQ(std::localeconv()->decimal_point[0], ',');  // the locale really is in force
  EXPECT_DOUBLE_EQ(TextToDouble("12.34"), 12.34);
  EXPECT_DOUBLE_EQ(TextToDouble("12,34"), 12.0);
  EXPECT_EQ(Low16(TextToDouble("12.34") * 10), 123);
  EXPECT_EQ(FormatScaled(235 * 0.1, 1), "23.5");
  EXPECT_EQ(FormatFloat(1.5f), "1.500000");
  EXPECT_EQ(DialogUInt("1.234"), 1u);
}

}  // namespace
}  // namespace tamsu
