// Finding the changes in one figure's history: where its level stepped,
// from what to what, and how sure the step is.
//
// The method, in one sentence (quoted by --help and the docs): binary
// segmentation (Vostrikova 1981) with the Mann-Whitney split statistic on
// the logarithms of the clean, finished runs: a segment splits at its most
// significant split when a weighted Bonferroni bound over all its splits
// (each split's share of the 5% false-alarm rate inversely proportional to
// its shorter side) is met, and a change is reported only when its 95%
// Hodges-Lehmann interval excludes no change and reaches a step of 2%.
//
// Ranks make it robust: a low outlier run counts as one rank, never by its
// size. On logarithms a step is a ratio. Each split's p-value is exact when
// its shorter side has at most 10 runs (so a step shows within a few runs
// of it) and the normal approximation with tie correction beyond. A
// segment of n runs costs one sort and one pass, O(n log n); the
// segmentation repeats that once per level found, so the whole costs
// O(n log n) times the number of levels.
#ifndef QUORVANE_TOOLS_HISTORY_CHANGE_POINTS_H
#define QUORVANE_TOOLS_HISTORY_CHANGE_POINTS_H

#include <cstddef>
#include <string>
#include <vector>

namespace quorvane::host {

// The method's one-sentence description, for --help and the docs.
extern const char* const change_point_method;

struct change_point_options {
  // A change whose 95% interval lies wholly within this relative step of
  // no change (0.02: within -2% and +2%) is real but too small to report.
  double smallest_step = 0.02;
  // The chance of a false change point per segment tested: the weighted
  // Bonferroni bound over the segment's splits.
  double false_alarm_rate = 0.05;
  // The fewest runs a level may have.
  std::size_t shortest_level = 3;
};

// A stretch of runs at one level: values[first] .. values[end - 1].
struct history_level {
  std::size_t first = 0;
  std::size_t end = 0;
  double value = 0;  // its median, in the figure's own units
};

// A step between two adjacent levels.
struct change_point {
  std::size_t index = 0;  // the first run of the new level
  double before = 0;      // the median of the level before, in the figure's units
  double after = 0;       // the median of the level after
  // after / before - 1 by the Hodges-Lehmann estimate on up to 100 runs
  // each side of the change, and its 95% interval (-0.098: 9.8% lower).
  double change = 0;
  double low = 0;
  double high = 0;
  double p_value = 0;  // the segment's weighted Bonferroni p-value when it split here
};

struct change_analysis {
  std::vector<history_level> levels;  // in order; they cover every value
  std::vector<change_point> changes;  // levels.size() - 1 of them, in order
};

// The levels and changes of one figure's values in time order: the clean,
// finished runs only (the caller leaves the others out), each above 0.
// Throws std::invalid_argument for a value that is not finite and above 0.
// No values give no level; fewer than twice shortest_level give one.
change_analysis find_change_points(const std::vector<double>& values,
                                   const change_point_options& options = {});

// A level in the figure's units as the history prints it: "2172", "41.3",
// "1.235e+08".
std::string level_text(double value);

// A change as the history prints it: "2172 → 1960 (−9.8%, −11.2% to −8.1%)".
std::string change_text(const change_point& change);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_CHANGE_POINTS_H
