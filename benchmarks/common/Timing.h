// Wall-clock timing and the summary figures the benchmarks print.
#pragma once
#include <algorithm>
#include <chrono>
#include <numeric>
#include <vector>

namespace qelt::bench {

using Clock = std::chrono::steady_clock;

// How long work took, in milliseconds.
template <typename Work>
double TimeMs(Work work) {
  const Clock::time_point start = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double Mean(const std::vector<double>& values) {
  return std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

// The value below which the given share of the values lies (nearest rank).
inline double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(share * (values.size() - 1) + 0.5)];
}

}  // namespace qelt::bench
