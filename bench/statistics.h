// Statistics the benchmarks report beside Google Benchmark's own: on a shared machine the
// least disturbed repetition is what the code costs, the worst what the machine adds.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace tamsu::bench {

inline double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
inline double Most(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

// One timed run per repetition (the repetitions are set beside it), reported as aggregates
// with the least disturbed one, in milliseconds: ->Repetitions(N)->Apply(SingleTimedRuns).
inline void SingleTimedRuns(benchmark::internal::Benchmark* b) {
  b->Iterations(1)->ReportAggregatesOnly(true)->ComputeStatistics("min", Least)->UseManualTime()->Unit(
      benchmark::kMillisecond);
}

}  // namespace tamsu::bench
