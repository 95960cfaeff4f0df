// The data behind the Trend window, without Qt: one bounded series of timed samples per field of
// the shown page. A sample without a value is a gap (a failed read, a pause), never a zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/field_text.h"

namespace tamsu {

struct ValueSpan {
  double low = 0, high = 0;
};

struct TrendSample {
  int64_t ms = 0;            // milliseconds since the epoch, never decreasing within a series
  std::optional<double> value{};
  int8_t decimals = 0;       // of the text the value came from
};

// One field over time. At most kCapacity samples (an hour at one a second); the oldest drop off.
class TrendSeries {
 public:
  static constexpr size_t kCapacity = 3600;

  TrendSeries(int id, std::string name) : id_(id), name_(std::move(name)) {}

  int Id() const { return id_; }
  const std::string& Name() const { return name_; }

  // A sample earlier than the last is taken at the last one's time, so the order holds even if
  // the caller's clock steps back.
  void Append(int64_t ms, std::optional<double> value, int decimals = 0);
  size_t Size() const { return samples_.size(); }
  const TrendSample& At(size_t index) const { return samples_[index]; }
  const TrendSample* Last() const { return samples_.empty() ? nullptr : &samples_.back(); }

  // The first sample at or after `ms` (Size() if none).
  size_t LowerBound(int64_t ms) const;
  // The sample with a value nearest to `ms` within [from, to], if any.
  std::optional<size_t> NearestValue(int64_t ms, int64_t from, int64_t to) const;
  // Lowest and highest value with a sample in [from, to] (nullopt: none has a value).
  std::optional<ValueSpan> Span(int64_t from, int64_t to) const;

 private:
  int id_;
  std::string name_;
  std::deque<TrendSample> samples_;
};

// A value axis over `data` in round steps (1, 2 or 5 times a power of ten), with at most
// `ticks` lines, the data clear of both ends; a flat line gets room around it.
struct NiceAxis {
  double low = 0, high = 1, step = 1;
  int Ticks() const;
  bool operator==(const NiceAxis&) const = default;
};
NiceAxis NiceAxisFor(ValueSpan data, int ticks = 9);
// Decimals that tell apart labels `step` apart (0 for whole steps).
int StepDecimals(double step);

// Whether curves of these spans need a value axis each to be seen at all: the largest magnitude
// (greatest absolute value) is more than ten times the smallest. A series at zero throughout
// counts as the smallest there is.
bool MagnitudesDiffer(const std::vector<ValueSpan>& spans);

// The step of the time axis's labels: the finest round step (1, 2, 5, 10, 15, 30 seconds, 1, 2,
// 5, 10, 15, 30 minutes, 1 hour) whose labels, `labelPx` wide for steps under a minute ("HH:mm:ss")
// and `minuteLabelPx` from a minute on ("HH:mm"), stand whole with room between them on an axis
// `widthPx` wide showing `spanMs`.
int64_t TimeLabelStep(int64_t spanMs, double widthPx, double labelPx, double minuteLabelPx);

// The series of one page, in the order the page shows its fields.
class TrendModel {
 public:
  void Clear() { series_.clear(); }
  // The series of a field, made on first use.
  TrendSeries& Series(int id, const std::string& name);
  TrendSeries* Find(int id);
  const TrendSeries* Find(int id) const;
  const std::vector<TrendSeries>& All() const { return series_; }
  std::vector<TrendSeries>& All() { return series_; }

  // A gap in every series: what comes after is not joined to what came before.
  void Break(int64_t ms);
  // The time of the newest sample of any series (nullopt when there is none).
  std::optional<int64_t> Newest() const;
  // Lowest and highest value of the series marked in `shown` with a sample in [from, to].
  std::optional<ValueSpan> Span(int64_t from, int64_t to, const std::vector<bool>& shown) const;

 private:
  std::vector<TrendSeries> series_;
};

}  // namespace tamsu
