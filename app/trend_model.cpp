#include "app/trend_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

namespace tamsu {

void TrendSeries::Append(int64_t ms, std::optional<double> value, int decimals) {
  if (!samples_.empty()) ms = std::max(ms, samples_.back().ms);
  samples_.push_back({ms, value, static_cast<int8_t>(std::clamp(decimals, 0, 15))});
  while (samples_.size() > kCapacity) samples_.pop_front();
}

size_t TrendSeries::LowerBound(int64_t ms) const {
  const auto it = std::lower_bound(samples_.begin(), samples_.end(), ms,
                                   [](const TrendSample& s, int64_t t) { return s.ms < t; });
  return static_cast<size_t>(it - samples_.begin());
}

std::optional<size_t> TrendSeries::NearestValue(int64_t ms, int64_t from, int64_t to) const {
  const size_t at = LowerBound(ms);
  std::optional<size_t> best;
  // The nearest with a value on each side: walk outward from the time asked for.
  for (size_t i = at; i < samples_.size() && samples_[i].ms <= to; ++i)
    if (samples_[i].value && samples_[i].ms >= from) {
      best = i;
      break;
    }
  for (size_t i = at; i-- > 0 && samples_[i].ms >= from;)
    if (samples_[i].value && samples_[i].ms <= to) {
      if (!best || ms - samples_[i].ms <= samples_[*best].ms - ms) best = i;
      break;
    }
  return best;
}

std::optional<ValueSpan> TrendSeries::Span(int64_t from, int64_t to) const {
  std::optional<ValueSpan> span;
  for (size_t i = LowerBound(from); i < samples_.size() && samples_[i].ms <= to; ++i) {
    const std::optional<double>& v = samples_[i].value;
    if (!v) continue;
    if (!span) span = ValueSpan{*v, *v};
    span->low = std::min(span->low, *v);
    span->high = std::max(span->high, *v);
  }
  return span;
}

TrendSeries& TrendModel::Series(int id, const std::string& name) {
  if (TrendSeries* found = Find(id)) return *found;
  return series_.emplace_back(id, name);
}

TrendSeries* TrendModel::Find(int id) {
  return const_cast<TrendSeries*>(std::as_const(*this).Find(id));
}

const TrendSeries* TrendModel::Find(int id) const {
  for (const TrendSeries& s : series_)
    if (s.Id() == id) return &s;
  return nullptr;
}

void TrendModel::Break(int64_t ms) {
  for (TrendSeries& s : series_)
    if (const TrendSample* last = s.Last(); last && last->value) s.Append(ms, std::nullopt);
}

std::optional<int64_t> TrendModel::Newest() const {
  std::optional<int64_t> newest;
  for (const TrendSeries& s : series_)
    if (const TrendSample* last = s.Last(); last && (!newest || last->ms > *newest)) newest = last->ms;
  return newest;
}

std::optional<ValueSpan> TrendModel::Span(int64_t from, int64_t to, const std::vector<bool>& shown) const {
  std::optional<ValueSpan> span;
  for (size_t k = 0; k < series_.size(); ++k) {
    if (k >= shown.size() || !shown[k]) continue;
    const std::optional<ValueSpan> own = series_[k].Span(from, to);
    if (!own) continue;
    if (!span) span = own;
    span->low = std::min(span->low, own->low);
    span->high = std::max(span->high, own->high);
  }
  return span;
}

int NiceAxis::Ticks() const { return static_cast<int>(std::lround((high - low) / step)) + 1; }

NiceAxis NiceAxisFor(ValueSpan data, int ticks) {
  double low = data.low, high = data.high;
  if (!std::isfinite(low) || !std::isfinite(high) || low > high) return {};
  // A little room so a curve never runs along the frame.
  double margin = (high - low) * 0.05;
  if (margin == 0) margin = std::max(std::abs(low) * 0.05, 0.5);
  low -= margin;
  high += margin;
  // The finest round step that needs no more than `ticks` lines.
  const int intervals = std::max(1, ticks - 1);
  double magnitude = std::pow(10.0, std::floor(std::log10((high - low) / intervals)) - 1);
  for (;; magnitude *= 10)
    for (double m : {1.0, 2.0, 5.0}) {
      const double step = m * magnitude;
      const double first = std::floor(low / step), last = std::ceil(high / step);
      if (last - first <= intervals) return {first * step, last * step, step};
    }
}

int StepDecimals(double step) {
  if (!std::isfinite(step) || step <= 0 || step >= 1) return 0;
  // A step of 0.2 is 2e-1: one decimal; a little slack for steps that are not exact in binary.
  return std::min(15, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
}

bool MagnitudesDiffer(const std::vector<ValueSpan>& spans) {
  if (spans.size() < 2) return false;
  double smallest = std::numeric_limits<double>::infinity(), largest = 0;
  for (const ValueSpan& s : spans) {
    const double magnitude = std::max(std::abs(s.low), std::abs(s.high));
    if (!std::isfinite(magnitude)) continue;
    smallest = std::min(smallest, magnitude);
    largest = std::max(largest, magnitude);
  }
  return largest > 10 * smallest;
}

int64_t TimeLabelStep(int64_t spanMs, double widthPx, double labelPx, double minuteLabelPx) {
  constexpr int64_t kSteps[] = {1'000,   2'000,   5'000,   10'000,  15'000,    30'000,   60'000,
                                120'000, 300'000, 600'000, 900'000, 1'800'000, 3'600'000};
  if (spanMs <= 0 || !(widthPx > 0)) return kSteps[std::size(kSteps) - 1];
  for (const int64_t step : kSteps) {
    const double label = step < 60'000 ? labelPx : minuteLabelPx;
    // Half a label's width between neighbours, so they never run together.
    if (static_cast<double>(step) / static_cast<double>(spanMs) * widthPx >= label * 1.5) return step;
  }
  return kSteps[std::size(kSteps) - 1];
}

}  // namespace tamsu
