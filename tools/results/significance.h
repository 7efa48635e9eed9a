// Whether one figure differs between two sets of runs by more than their
// noise: the verdict of a comparison with a baseline.
//
// The statistic, in one sentence (quoted by --help and docs/cli.md):
// each figure's verdict comes from Welch's two-sided t-test at the 5% level
// over both sides' finished runs (a side with one run is tested against the
// other side's spread); with one run on each side, or no spread on either,
// the verdict is "no clear difference".
//
// Welch's test compares the means and weighs each side by its own variance,
// so a noisy side needs a larger difference; the degrees of freedom come
// from the Welch-Satterthwaite formula, and the two-sided probability from
// the t distribution itself (the regularised incomplete beta function), not
// from a table of a few sizes. A single run on one side has no spread of
// its own: it is taken to scatter as the other side's runs do, which is
// Student's pooled test with that side adding no degrees of freedom. With
// one run on each side there is no spread at all, and nothing beyond the
// noise of the machine can be called.
#ifndef QUORVANE_TOOLS_RESULTS_SIGNIFICANCE_H
#define QUORVANE_TOOLS_RESULTS_SIGNIFICANCE_H

#include <optional>
#include <string>
#include <vector>

namespace quorvane::host {

enum class verdict { faster, slower, no_clear_difference };

// The words the tables show: "faster", "slower", "no clear difference".
const char* verdict_text(verdict call);

// The level below which a difference is called: 5%, two-sided.
constexpr double significance_level = 0.05;

struct sample_comparison {
  verdict call = verdict::no_clear_difference;
  // The two-sided probability of a difference at least this large when the
  // two sides measure the same thing; nothing when no test could be made.
  std::optional<double> p_value;
  // Why no test could be made, for the reader (for example "one run a side:
  // use --runs 5 on both sides"); empty when the test ran.
  std::string note;
};

// Compares the samples of one figure, for which higher is better (scores,
// million steps/s, MFLOP/s, MiB/s): "faster" when current is significantly
// above baseline, "slower" when below.
sample_comparison compare_samples(const std::vector<double>& baseline,
                                  const std::vector<double>& current);

// The probability that Student's t distribution with the given degrees of
// freedom (any real number above 0) lies at least |t| away from 0.
double t_two_sided_probability(double t, double degrees_of_freedom);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_SIGNIFICANCE_H
