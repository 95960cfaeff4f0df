#include "modbus/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tamsu {
namespace {

// The "C" locale's white space; the user's locale has no say.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipBlanks(std::string_view s, size_t i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
  return i;
}

// Unsigned decimal digits from i, stopping at the first other character; false when there is
// no digit or the value exceeds `limit`.
bool ReadDigits(std::string_view s, size_t i, uint64_t limit, uint64_t& value) {
  value = 0;
  size_t start = i;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    value = value * 10 + static_cast<uint64_t>(s[i] - '0');
    if (value > limit) return false;
  }
  return i > start;
}

}  // namespace

double TextToDouble(std::string_view text) { return TypedNumber(text).value_or(0.0); }

std::optional<double> TypedNumber(std::string_view text) {
  const std::string_view s = text.substr(0, 19);
  size_t i = SkipBlanks(s, 0);
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

  const size_t begin = i;
  size_t intDigits = 0, fracDigits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++intDigits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++fracDigits;
  }
  if (intDigits + fracDigits == 0) return std::nullopt;
  const size_t mantissaEnd = i;

  // An exponent counts only with at least one digit; "2e" is the number 2.
  long exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    bool expNegative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) expNegative = s[j++] == '-';
    if (j < s.size() && IsDigit(s[j])) {
      for (; j < s.size() && IsDigit(s[j]); ++j)
        if (exponent < 100000) exponent = exponent * 10 + (s[j] - '0');
      if (expNegative) exponent = -exponent;
      i = j;
    }
  }

  // The scan above fixed the grammar, so from_chars sees only digits, point and exponent.
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(s.data() + begin, s.data() + i, value, std::chars_format::general);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    // Overflow or underflow: the decimal magnitude of the first nonzero digit decides.
    bool found = false;
    long position = 0;
    for (size_t k = begin; k < mantissaEnd && !found; ++k) {
      if (s[k] == '.') continue;
      if (s[k] != '0') found = true;
      else ++position;
    }
    const long magnitude = static_cast<long>(intDigits) - position + exponent;
    value = (found && magnitude > 0) ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

uint32_t DialogUInt(std::string_view text) {
  uint64_t value = 0;
  if (!ReadDigits(text, SkipBlanks(text, 0), std::numeric_limits<uint32_t>::max(), value)) return 0;
  return static_cast<uint32_t>(value);
}

int32_t DialogInt(std::string_view text) {
  size_t i = SkipBlanks(text, 0);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  uint64_t value = 0;
  if (!ReadDigits(text, i, limit, value)) return 0;
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(value)) : static_cast<int32_t>(value);
}

double TruncateProduct(double product) {
  const double nearest = std::nearbyint(product);
  return std::fabs(product - nearest) <= std::fabs(nearest) * 1e-12 ? nearest : std::trunc(product);
}

uint16_t Low16(double value) { return static_cast<uint16_t>(Low32(value) & 0xFFFF); }

uint32_t Low32(double value) {
  if (!std::isfinite(value)) return 0;
  // fmod is exact, so the low bits of any integer-valued double survive unchanged.
  double r = std::fmod(TruncateProduct(value), 4294967296.0);
  if (r < 0) r += 4294967296.0;
  return static_cast<uint32_t>(r);
}

float ToSingle(double value) {
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  constexpr double kMax = std::numeric_limits<float>::max();
  constexpr double kHalfwayToInfinity = 0x1.ffffffp127;  // ties round to even: to infinity
  const double magnitude = std::fabs(value);
  if (magnitude >= kHalfwayToInfinity) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    return std::signbit(value) ? -kInf : kInf;
  }
  if (magnitude > kMax) return static_cast<float>(std::copysign(kMax, value));
  return static_cast<float>(value);
}

namespace {
std::string Fixed(double value, int precision) {
  char buffer[400];  // the longest double in fixed notation with six decimals fits
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  if (ec != std::errc()) return {};
  return std::string(buffer, end);
}
}  // namespace

std::string FormatScaled(double value, int decimals) {
  return Fixed(value, decimals >= 0 && decimals <= 3 ? decimals : 0);
}

std::string FormatFloat(double value) { return Fixed(value, 6); }

}  // namespace tamsu
