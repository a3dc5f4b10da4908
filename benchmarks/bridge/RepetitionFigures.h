// The bridge benchmarks' figures: each side's median per repetition, their
// spread, and the ratio of two sides measured side by side.
#pragma once
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "Exception.h"
#include "Timing.h"

namespace qelt::bench {

// How many rounds a repetition has and how many repetitions: the command
// line's at argv[first] and after, else the defaults; fewer than enough
// gives rough figures, and says so.
struct RunSize {
  int rounds;
  int repetitions;
};
inline RunSize ReadRunSize(int argc, wchar_t** argv, int first, RunSize defaults, RunSize enough) {
  RunSize size{argc > first ? _wtoi(argv[first]) : defaults.rounds,
               argc > first + 1 ? _wtoi(argv[first + 1]) : defaults.repetitions};
  if (size.rounds <= 0 || size.repetitions <= 0) throw Exception("ROUNDS and REPETITIONS are positive numbers");
  if (size.rounds < enough.rounds || size.repetitions < enough.repetitions)
    std::printf("(fewer than %d x %d rounds: rough figures)\n", enough.repetitions, enough.rounds);
  return size;
}

inline double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }

// One side's figure per repetition (the median of its rounds).
struct Side {
  const char* label;
  std::vector<double> medians;
};

// Two measures (each gives milliseconds) side by side: rounds a repetition,
// which goes first alternating; each repetition's medians go to the sides.
inline void Interleave(int rounds, int repetitions, Side& first, const std::function<double()>& measureFirst,
                       Side& second, const std::function<double()>& measureSecond) {
  for (int r = 0; r < repetitions; ++r) {
    std::vector<double> firstMs, secondMs;
    for (int i = 0; i < rounds; ++i) {
      if (i % 2 == 0) {
        firstMs.push_back(measureFirst());
        secondMs.push_back(measureSecond());
      } else {
        secondMs.push_back(measureSecond());
        firstMs.push_back(measureFirst());
      }
    }
    first.medians.push_back(Median(firstMs));
    second.medians.push_back(Median(secondMs));
  }
}

inline void PrintSide(const Side& side) {
  std::printf("  %-34s", side.label);
  for (double m : side.medians) std::printf(" %8.3f", m);
  const auto [low, high] = std::minmax_element(side.medians.begin(), side.medians.end());
  const double middle = Median(side.medians);
  std::printf("   spread %.3f-%.3f (%.1f%%)\n", *low, *high, middle > 0 ? (*high - *low) * 100 / middle : 0.0);
}

// Each repetition's ratio compares rounds run side by side; the middle one
// is the figure (a repetition that a busy machine slowed is an outlier).
// True when it meets the target.
inline bool PrintRatio(const char* label, const Side& measured, const Side& baseline, double target) {
  std::vector<double> ratios;
  for (std::size_t r = 0; r < measured.medians.size(); ++r) ratios.push_back(measured.medians[r] / baseline.medians[r]);
  const double ratio = Median(ratios);
  std::printf("  ratio %-28s %8.3f   per repetition", label, ratio);
  for (double each : ratios) std::printf(" %.3f", each);
  std::printf("   (target <= %.1f)%s\n", target, ratio <= target ? "" : "  MISSED");
  return ratio <= target;
}

}  // namespace qelt::bench
