// The comparison's statistic: the Mann-Whitney U test on the logarithms of
// each side's runs, with the Hodges-Lehmann estimate and its 95% confidence
// interval turned back into a ratio (this side over the baseline).
//
// The statistic, in one sentence (as --help and the README give it): each
// figure's ratio to the baseline is the Hodges-Lehmann estimate, the median
// of the ratios of every pair of runs, and its 95% interval comes from the
// Mann-Whitney U test on the logarithms of each side's clean runs, so the
// ratio lies inside it; the verdict follows the interval: "faster" when it
// lies above 1, "slower" below 1, else "no clear difference".
//
// Ranks make it robust: one outlier run moves the interval by at most one
// of the pairwise differences, never by its size. On logarithms a shift is
// a ratio, the form in which the table shows a difference. The interval is
// the exact one from the U distribution when its table is cheap (the
// product of the two sides' counts up to 10000, so 1000 runs against 1 is
// exact), and the normal approximation with tie correction beyond. Equal
// values on the two sides count half a pair each; the exact distribution
// is then the one without ties, as the printed tables are, which small
// samples of measured rates almost never have.
#ifndef QUORVANE_TOOLS_RESULTS_RANK_STATISTICS_H
#define QUORVANE_TOOLS_RESULTS_RANK_STATISTICS_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::host {

enum class rank_verdict { faster, slower, no_clear_difference, not_compared };

// "faster", "slower", "no clear difference", "not compared".
const char* rank_verdict_text(rank_verdict call);

// The interval's confidence, two-sided.
constexpr double confidence_level = 0.95;

struct rank_comparison {
  rank_verdict call = rank_verdict::not_compared;
  // The Hodges-Lehmann estimate of the ratio (the median of the pairwise
  // ratios), which always lies inside its interval; the interval is nothing
  // when none at this confidence exists for these sample sizes.
  std::optional<double> estimate;
  std::optional<double> low;
  std::optional<double> high;
  std::optional<double> p_value;  // two-sided
  bool exact = false;             // from the exact U distribution
  // U: the pairs with the current run above the baseline run, an equal
  // pair counting one half.
  double u_statistic = 0;
  // The clean runs a side needs for any verdict at the 5% level, when a
  // side has fewer; 0 otherwise. Always more than the smaller side has.
  std::size_t runs_needed = 0;
  std::string note;  // why no verdict, for the reader; "" with one
};

// Compares one figure for which higher is better. Values that are not
// above 0 (a failed measurement) have no logarithm and are left out.
rank_comparison compare_ranks(const std::vector<double>& baseline,
                              const std::vector<double>& current);

// The number of ways, over all C(m + n, m) orderings of m baseline and n
// current values with no ties, that U (pairs with the current value above)
// takes each value 0..m*n, as probabilities.
std::vector<double> u_distribution(std::size_t m, std::size_t n);

// The smallest number of runs, more than the smaller side has, that allows
// an interval at the given confidence when each side has at least that
// many (a side with more keeps its count); m and n are the counts now.
std::size_t runs_needed_for_interval(std::size_t m, std::size_t n);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_RANK_STATISTICS_H
