// The verdict of a comparison, on samples whose answer is known.
#include "results/significance.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorvane::host {
namespace {

TEST(TDistribution, TailMatchesClosedFormsAndKnownQuantiles) {
  const double pi = std::acos(-1.0);
  for (const double t : {0.3, 1.0, 4.0, 30.0}) {
    // One degree of freedom is the Cauchy distribution, two have a closed form.
    EXPECT_NEAR(t_two_sided_probability(t, 1), 1.0 - 2.0 / pi * std::atan(t), 1e-12) << t;
    EXPECT_NEAR(t_two_sided_probability(-t, 2), 1.0 - t / std::sqrt(2.0 + t * t), 1e-12) << t;
  }
  // The 97.5% quantiles for 4 and 12 degrees of freedom and, for a very large
  // number, the normal distribution's.
  EXPECT_NEAR(t_two_sided_probability(2.7764451, 4), 0.05, 1e-7);
  EXPECT_NEAR(t_two_sided_probability(2.1788128, 12), 0.05, 1e-7);
  EXPECT_NEAR(t_two_sided_probability(1.9599640, 1e7), 0.05, 1e-6);
  EXPECT_DOUBLE_EQ(t_two_sided_probability(0, 3), 1.0);
}

TEST(CompareSamples, WelchsProbabilityForEqualAndUnequalSpreads) {
  // Means 3 and 5, variances 2.5 each: t = 2 with 8 degrees of freedom.
  const sample_comparison equal = compare_samples({1, 2, 3, 4, 5}, {3, 4, 5, 6, 7});
  ASSERT_TRUE(equal.p_value);
  EXPECT_NEAR(*equal.p_value, 0.0805162, 1e-6);
  EXPECT_EQ(equal.call, verdict::no_clear_difference);
  // Variances 4 and 100: t = 3.0571 with 2.16 degrees of freedom (found by
  // integrating the density). A pooled test would call this at 5%; Welch's,
  // which trusts the noisy side less, does not.
  const sample_comparison unequal = compare_samples({10, 12, 14}, {20, 30, 40});
  ASSERT_TRUE(unequal.p_value);
  EXPECT_NEAR(*unequal.p_value, 0.0839939, 1e-6);
  EXPECT_EQ(unequal.call, verdict::no_clear_difference);
}

TEST(CompareSamples, SeparatedSamplesAreFasterOrSlowerAndOverlappingOnesAreNot) {
  const std::vector<double> baseline = {1000, 1010, 990, 1005, 995};
  const std::vector<double> better = {1100, 1110, 1090, 1105, 1095};
  const std::vector<double> overlapping = {1012, 985, 1003, 996, 1008};

  const sample_comparison faster = compare_samples(baseline, better);
  EXPECT_EQ(faster.call, verdict::faster);
  ASSERT_TRUE(faster.p_value);
  EXPECT_LT(*faster.p_value, 0.001);
  EXPECT_TRUE(faster.note.empty());
  EXPECT_EQ(compare_samples(better, baseline).call, verdict::slower);

  const sample_comparison noise = compare_samples(baseline, overlapping);
  EXPECT_EQ(noise.call, verdict::no_clear_difference);
  ASSERT_TRUE(noise.p_value);
  EXPECT_GT(*noise.p_value, 0.5);
}

TEST(CompareSamples, OneRunASideCallsNothingAndSaysWhy) {
  const sample_comparison result = compare_samples({1000}, {2000});
  EXPECT_EQ(result.call, verdict::no_clear_difference);
  EXPECT_FALSE(result.p_value);
  EXPECT_EQ(result.note, "one run a side: use --runs 5 on both sides");
  EXPECT_FALSE(compare_samples({}, {1000, 1001}).note.empty());
}

TEST(CompareSamples, ASingleRunIsJudgedByTheOtherSidesSpread) {
  const std::vector<double> spread = {1000, 1010, 990, 1005, 995};  // deviation 7.9
  EXPECT_EQ(compare_samples(spread, {1100}).call, verdict::faster);
  EXPECT_EQ(compare_samples({1100}, spread).call, verdict::slower);
  EXPECT_EQ(compare_samples(spread, {1012}).call, verdict::no_clear_difference);
}

TEST(CompareSamples, NoSpreadOnEitherSideCallsNothing) {
  const sample_comparison flat = compare_samples({1000, 1000}, {1200, 1200, 1200});
  EXPECT_EQ(flat.call, verdict::no_clear_difference);
  EXPECT_FALSE(flat.p_value);
  EXPECT_FALSE(flat.note.empty());
  // One side's spread is enough for Welch's test.
  EXPECT_EQ(compare_samples({1000, 1000, 1000}, {1200, 1190, 1210}).call, verdict::faster);
}

}  // namespace
}  // namespace quorvane::host
