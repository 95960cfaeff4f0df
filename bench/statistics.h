// Statistics the benchmarks report beside Google Benchmark's own: on a shared machine the
// least disturbed repetition is what the code costs, the worst what the machine adds.
#pragma once

#include <algorithm>
#include <vector>

namespace tamsu::bench {

inline double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
inline double Most(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

}  // namespace tamsu::bench
