// The comparison's statistic against values computed independently: the
// expected numbers come from rank_statistics_expected.py (enumeration of
// every ordering, mpmath arithmetic) and from published tables of the
// Mann-Whitney U test's critical values.
#include "results/rank_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorvane::host {
namespace {

struct known_case {
  const char* name;
  std::vector<double> baseline;
  std::vector<double> current;
  double estimate;
  std::optional<double> low;
  std::optional<double> high;
  double p_value;
  rank_verdict call;
};

const known_case known_cases[] = {
    {"clear_rise",
     {1000, 1004, 998, 1002, 1001},
     {1050, 1046, 1052, 1049, 1051},
     1.04890219560878,
     1.04482071713147,
     1.05210420841683,
     0.00793650793650794,
     rank_verdict::faster},
    {"same",
     {1000, 1010, 990, 1005, 995, 1002},
     {1003, 992, 1008, 999, 1001, 996},
     0.999000998003494,
     0.991044776119403,
     1.00804020100503,
     0.937229437229437,
     rank_verdict::no_clear_difference},
    // One run of eight far below: the others still decide, and it stays
    // "faster" (a t-test on the means calls this run set slower).
    {"outlier_low",
     {1000, 1004, 998, 1002, 1001, 999, 1003, 997},
     {1050, 1046, 1052, 10, 1051, 1048, 1047, 1053},
     1.04845042676876,
     1.0439121756487,
     1.05194805194805,
     0.0104118104118104,
     rank_verdict::faster},
    // One run five times as fast does not make a difference appear.
    {"outlier_high",
     {1000, 1010, 990, 1005, 995, 1002},
     {1003, 992, 1008, 999, 5000, 996},
     1.00151248494446,
     0.991044776119403,
     4.95049504950495,
     0.818181818181818,
     rank_verdict::no_clear_difference},
    {"unequal",
     {460, 470, 455},
     {1182, 1190, 1175, 1185, 1179},
     2.5695652173913,
     2.5,
     2.61538461538462,
     0.0357142857142857,
     rank_verdict::faster},
    // {1, 2, 3} against {3, 4, 5}, counted by hand: U = 2 + 1/2 + 3 + 3 =
    // 8.5 (the 3 on both sides is half a pair); only the ordering with every
    // current run above has U >= 9, 1 of C(6, 3) = 20, so p = 2 / 20; the
    // median of the nine ratios y / x is 2. 3 against 3 allows no interval.
    {"tie_between_sides",
     {1, 2, 3},
     {3, 4, 5},
     2.0,
     std::nullopt,
     std::nullopt,
     0.1,
     rank_verdict::not_compared},
    {"slower",
     {1050, 1046, 1052, 1049, 1051},
     {1000, 1004, 998, 1002, 1001},
     1.0 / 1.04890219560878,
     1.0 / 1.05210420841683,
     1.0 / 1.04482071713147,
     0.00793650793650794,
     rank_verdict::slower},
};

TEST(RankComparison, MatchesIndependentlyComputedValues) {
  for (const known_case& known : known_cases) {
    SCOPED_TRACE(known.name);
    const rank_comparison result = compare_ranks(known.baseline, known.current);
    EXPECT_TRUE(result.exact);
    ASSERT_TRUE(result.estimate && result.p_value);
    ASSERT_EQ(result.low.has_value(), known.low.has_value());
    EXPECT_NEAR(*result.estimate, known.estimate, 1e-12);
    if (known.low) {
      EXPECT_NEAR(*result.low, *known.low, 1e-12);
      EXPECT_NEAR(*result.high, *known.high, 1e-12);
    }
    EXPECT_NEAR(*result.p_value, known.p_value, 1e-12);
    EXPECT_EQ(result.call, known.call);
  }
}

TEST(RankComparison, CountsATieBetweenTheSidesAsHalfAPair) {
  EXPECT_DOUBLE_EQ(compare_ranks({1, 2, 3}, {3, 4, 5}).u_statistic, 8.5);
  EXPECT_DOUBLE_EQ(compare_ranks({3, 4, 5}, {1, 2, 3}).u_statistic, 0.5);
}

TEST(RankComparison, CorrectsTheNormalApproximationForTies) {
  // 150 against 120 runs from five and six levels: the table would be
  // 18000 entries, so the approximation is used. The values come from
  // rank_statistics_expected.py (TIED_LARGE), which takes U from midrank
  // sums and its variance as that of n ranks drawn from the pooled ones,
  // not from the closed formula; without the tie correction p is 0.01868.
  std::vector<double> before;
  std::vector<double> after;
  for (int i = 0; i < 150; ++i) before.push_back(1000 + (i % 5) * 10);
  for (int i = 0; i < 120; ++i) after.push_back(1000 + (i * 7 % 6) * 10);
  const rank_comparison result = compare_ranks(before, after);
  EXPECT_FALSE(result.exact);
  EXPECT_DOUBLE_EQ(result.u_statistic, 10500.0);
  ASSERT_TRUE(result.estimate && result.low && result.high && result.p_value);
  EXPECT_NEAR(*result.p_value, 0.0168197437404386, 1e-12);
  EXPECT_NEAR(*result.estimate, 1.00479619058563, 1e-12);
  EXPECT_NEAR(*result.low, 1.0, 1e-12);
  EXPECT_NEAR(*result.high, 1.00980392156863, 1e-12);
}

TEST(RankComparison, IsExactWhenTheTableIsCheapWhateverOneSidesCount) {
  // 1000 runs against 1 is a table of 1001 entries: exact. One run above
  // all 1000 gives p = 2 / 1001; each U has probability 1 / 1001, so the
  // interval starts at the 25th smallest ratio, 5000 / 1975.
  std::vector<double> before;
  for (int i = 0; i < 1000; ++i) before.push_back(1000 + i);
  for (const std::vector<double>& after : {std::vector<double>{5000}, {1500}}) {
    const rank_comparison result = compare_ranks(before, after);
    EXPECT_TRUE(result.exact);
    EXPECT_EQ(result.runs_needed, 0u);
    ASSERT_TRUE(result.low && result.high && result.estimate);
    EXPECT_LE(*result.low, *result.estimate);
    EXPECT_GE(*result.high, *result.estimate);
  }
  const rank_comparison above = compare_ranks(before, {5000});
  EXPECT_NEAR(*above.p_value, 2.0 / 1001, 1e-12);
  EXPECT_NEAR(*above.low, 5000.0 / 1975, 1e-12);
  EXPECT_EQ(above.call, rank_verdict::faster);
}

TEST(UDistribution, CountsEveryOrdering) {
  // Enumerated by rank_statistics_expected.py; C(8, 4) = 70, C(8, 3) = 56.
  const std::vector<double> four_four = {1, 1, 2, 3, 5, 5, 7, 7, 8, 7, 7, 5, 5, 3, 2, 1, 1};
  const std::vector<double> three_five = {1, 1, 2, 3, 4, 5, 6, 6, 6, 6, 5, 4, 3, 2, 1, 1};
  const std::vector<double> a = u_distribution(4, 4);
  const std::vector<double> b = u_distribution(3, 5);
  ASSERT_EQ(a.size(), four_four.size());
  ASSERT_EQ(b.size(), three_five.size());
  for (std::size_t u = 0; u < a.size(); ++u) EXPECT_NEAR(a[u] * 70, four_four[u], 1e-9) << u;
  for (std::size_t u = 0; u < b.size(); ++u) EXPECT_NEAR(b[u] * 56, three_five[u], 1e-9) << u;
}

TEST(RankComparison, TheExactPValueOfSidesThatDoNotOverlapIsTwoOverTheOrderings) {
  // Every current run above every baseline run: U is m * n, the upper end
  // of the exact table, whose probability is 1 / C(m + n, m).
  const std::size_t sizes[][2] = {{100, 60}, {60, 100}, {100, 100}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(std::to_string(size[0]) + " against " + std::to_string(size[1]));
    std::vector<double> baseline(size[0]);
    std::vector<double> current(size[1]);
    for (std::size_t i = 0; i < baseline.size(); ++i) baseline[i] = 1000 + static_cast<double>(i);
    for (std::size_t i = 0; i < current.size(); ++i) current[i] = 2000 + static_cast<double>(i);
    const rank_comparison result = compare_ranks(baseline, current);
    ASSERT_TRUE(result.exact && result.p_value);
    const double orderings = std::exp(std::lgamma(static_cast<double>(size[0] + size[1]) + 1) -
                                      std::lgamma(static_cast<double>(size[0]) + 1) -
                                      std::lgamma(static_cast<double>(size[1]) + 1));
    EXPECT_NEAR(*result.p_value * orderings / 2, 1.0, 1e-6);
  }
}

TEST(UDistribution, GivesThePublishedTwoSidedCriticalValues) {
  // The largest U with P(U <= u) <= 2.5%, as the printed tables of the
  // test give it at the 5% level, two-sided.
  struct critical {
    std::size_t m, n;
    int value;
  };
  for (const critical& row : {critical{5, 5, 2}, critical{5, 8, 6}, critical{8, 8, 13},
                              critical{10, 10, 23}, critical{20, 20, 127}, critical{4, 4, 0}}) {
    const std::vector<double> probability = u_distribution(row.m, row.n);
    double below = 0;
    int largest = -1;
    for (std::size_t u = 0; u < probability.size(); ++u) {
      below += probability[u];
      if (below > 0.025 + 1e-12) break;
      largest = static_cast<int>(u);
    }
    EXPECT_EQ(largest, row.value) << row.m << " and " << row.n;
  }
}

TEST(RankComparison, SaysHowManyRunsASideNeedsWhenTooFew) {
  struct sizes {
    std::size_t m, n, needed;
  };
  // 2 / C(m + n, m) must reach 5%: C(8, 4) = 70 does, C(6, 3) = 20 not.
  // The advice is always more runs than the smaller side has.
  for (const sizes& row :
       {sizes{3, 3, 4}, sizes{1, 1, 4}, sizes{1, 10, 2}, sizes{2, 2, 4}, sizes{1, 30, 2}}) {
    std::vector<double> before;
    std::vector<double> after;
    for (std::size_t i = 0; i < row.m; ++i) before.push_back(1000.0 + static_cast<double>(i));
    for (std::size_t i = 0; i < row.n; ++i) after.push_back(1100.0 + static_cast<double>(i));
    const rank_comparison result = compare_ranks(before, after);
    EXPECT_EQ(result.call, rank_verdict::not_compared) << row.m << " and " << row.n;
    EXPECT_EQ(result.runs_needed, row.needed) << row.m << " and " << row.n;
    EXPECT_FALSE(result.low.has_value());
  }
  EXPECT_EQ(compare_ranks({}, {1.0, 2.0}).call, rank_verdict::not_compared);
}

TEST(RankComparison, UsesTheNormalApproximationBeyondTheExactTable) {
  std::vector<double> before;
  std::vector<double> after;
  for (int i = 0; i < 150; ++i) {
    before.push_back(1000 + i % 17);
    after.push_back(1000 + (i * 7) % 17 + 0.5);
  }
  const rank_comparison large = compare_ranks(before, after);
  EXPECT_FALSE(large.exact);
  EXPECT_EQ(large.call, rank_verdict::no_clear_difference);
  ASSERT_TRUE(large.low && large.high);
  EXPECT_LT(*large.low, 1.0);
  EXPECT_GT(*large.high, 1.0);
}

}  // namespace
}  // namespace quorvane::host
