#include "modbus/line_record.h"

#include <time.h>

#include <chrono>
#include <cstdio>

#include "modbus/frame_text.h"
#include "modbus/number_text.h"

namespace tamsu {

namespace {

std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms));
  return text;
}

}  // namespace

std::string LineRecord::Format(const std::string& direction, uint32_t baud, const std::string& hex,
                               const std::string& summary) {
  char rate[16];
  std::snprintf(rate, sizeof rate, "%5u", static_cast<unsigned>(baud));
  return Format(direction, std::string(rate), hex, summary);
}

std::string LineRecord::Format(const std::string& direction, const std::string& line, const std::string& hex,
                               const std::string& summary) {
  char head[32];
  std::snprintf(head, sizeof head, "  %-8s  ", direction.c_str());
  std::string text = Now() + head + line + "  " + hex;
  if (!summary.empty()) text += "  " + summary;
  return text;
}

void LineRecord::LineOpened(const std::string& transport, bool setsRate) {
  transport_ = transport;
  setsRate_ = setsRate;
}

std::string LineRecord::LineName(uint32_t baud) const {
  if (transport_.empty()) {
    char rate[16];
    std::snprintf(rate, sizeof rate, "%5u", static_cast<unsigned>(baud));
    return rate;
  }
  // Over raw TCP the rate is whatever the gateway is set to: none is claimed.
  return setsRate_ ? transport_ + " " + std::to_string(baud) : transport_;
}

void LineRecord::Add(std::string text) {
  std::lock_guard lock(mutex_);
  lines_.push_back({next_++, std::move(text)});
  if (lines_.size() > kCapacity) lines_.pop_front();
}

void LineRecord::Sent(const uint8_t* bytes, size_t n, uint32_t baud) {
  request_.assign(bytes, bytes + n);
  Add(Format("sent", LineName(baud), HexBytes(bytes, n), DescribeRequest(bytes, n)));
}

void LineRecord::SentAgain(const uint8_t* bytes, size_t n, uint32_t baud) {
  request_.assign(bytes, bytes + n);
  Add(Format("sent", LineName(baud), HexBytes(bytes, n), DescribeRequest(bytes, n) + " (asked again: the reply was in doubt)"));
}

void LineRecord::NotSent(const uint8_t* bytes, size_t n, uint32_t baud, const std::string& why) {
  request_.clear();  // no reply can be to it
  Add(Format("not sent", baud, HexBytes(bytes, n), DescribeRequest(bytes, n) + " (" + why + ")"));
}

void LineRecord::Received(const uint8_t* bytes, size_t n, uint32_t baud, std::chrono::microseconds complete) {
  // Decimals the "C" way, whatever locale the application has set.
  Add(Format("received", LineName(baud), HexBytes(bytes, n),
             DescribeReply(bytes, n, request_.data(), request_.size()) + "  (complete " +
                 FormatScaled(complete.count() / 1000.0, 1) + " ms after the request)"));
}

void LineRecord::Discarded(size_t n) {
  char text[64];
  std::snprintf(text, sizeof text, "%zu stale bytes thrown away before the request", n);
  Add(Now() + "  " + text);
}

void LineRecord::Refused(const uint8_t* bytes, size_t n, uint32_t baud, const std::string& why) {
  // No frame: something learned about the line.
  if (n == 0) {
    Add(Now() + "  " + why);
    return;
  }
  Add(Format("received", LineName(baud), HexBytes(bytes, n), "discarded: " + why));
}

void LineRecord::TimedOut(std::chrono::milliseconds waited) {
  char text[64];
  std::snprintf(text, sizeof text, "time-out: no reply in %lld ms", static_cast<long long>(waited.count()));
  Add(Now() + "  " + text);
}

void LineRecord::ReplyWaitChanged(std::chrono::milliseconds wait, std::chrono::milliseconds took) {
  char text[128];
  std::snprintf(text, sizeof text, "reply wait now %lld ms: the last reply came %lld ms after its request",
                static_cast<long long>(wait.count()), static_cast<long long>(took.count()));
  Add(Now() + "  " + text);
}

void LineRecord::Outcome(uint8_t result, std::chrono::microseconds roundTrip) {
  char text[64];
  std::snprintf(text, sizeof text, "result %u (%s), round trip ", result, ResultText(result));
  // Decimals the "C" way, whatever locale the application has set.
  Add(Now() + "  " + text + FormatScaled(roundTrip.count() / 1000.0, 1) + " ms");
}

std::vector<LineRecord::Line> LineRecord::Since(uint64_t after) const {
  std::lock_guard lock(mutex_);
  std::vector<Line> out;
  if (lines_.empty() || lines_.back().seq <= after) return out;
  const uint64_t first = lines_.front().seq;
  const size_t skip = after >= first ? static_cast<size_t>(after - first + 1) : 0;
  out.assign(lines_.begin() + static_cast<ptrdiff_t>(skip), lines_.end());
  return out;
}

}  // namespace tamsu
