#include "device/field_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

namespace tamsu {

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<double> ShownNumber(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return std::nullopt;
  // from_chars knows no leading "+", no locale, and reports where the number stops.
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

int ShownDecimals(std::string_view text) {
  text = Trimmed(text);
  const size_t point = text.find('.');
  if (point == std::string_view::npos) return 0;
  return static_cast<int>(std::min<size_t>(text.size() - point - 1, 15));
}

std::string RecordCell(std::string_view value) {
  std::string text(Trimmed(value));
  const bool formula = !text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos &&
                       !ShownNumber(text);
  if (formula) text.insert(text.begin(), '\'');
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string RecordTime(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string RecordFieldCells(const FieldReading& field) {
  // Where the value came from, so a stale or typed number is never taken for the device's.
  const bool exchanged = field.state.source != FieldSource::NotRead && field.state.when.time_since_epoch().count() != 0;
  return RecordCell(field.caption) + ',' + RecordCell(field.text) + ',' + RecordCell(field.unit) + ',' +
         RecordCell(SourceText(field.state.source)) + ',' + (exchanged ? RecordTime(field.state.when) : std::string());
}

}  // namespace tamsu
