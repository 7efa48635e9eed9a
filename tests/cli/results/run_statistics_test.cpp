// Statistics over several runs and the table that shows them.
#include "results/run_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "number_text.h"

namespace quorvane::host {
namespace {

TEST(Summarise, OddCountTakesTheMiddleValueWhateverTheOrder) {
  const summary s = summarise({14, 10, 12});
  EXPECT_EQ(s.median, 12);
  EXPECT_EQ(s.minimum, 10);
  EXPECT_EQ(s.maximum, 14);
  // Mean 12, sample deviation 2.
  ASSERT_TRUE(s.has_variation);
  EXPECT_NEAR(s.variation_percent, 100.0 * 2.0 / 12.0, 1e-9);
}

TEST(Summarise, EvenCountAveragesTheTwoMiddleValues) {
  const summary s = summarise({40, 10, 30, 20});
  EXPECT_EQ(s.count, 4u);
  EXPECT_EQ(s.mean, 25);
  EXPECT_EQ(s.median, 25);
  EXPECT_EQ(s.minimum, 10);
  EXPECT_EQ(s.maximum, 40);
  // Mean 25; squares 225 + 25 + 25 + 225 = 500 over 3.
  EXPECT_NEAR(s.variation_percent, 100.0 * std::sqrt(500.0 / 3.0) / 25.0, 1e-9);
}

TEST(Summarise, IdenticalValuesVaryByNothing) {
  const summary s = summarise({7, 7, 7});
  ASSERT_TRUE(s.has_variation);
  EXPECT_EQ(s.variation_percent, 0);
}

TEST(Summarise, VariationIsUndefinedForOneValueAZeroMeanOrNoValues) {
  const summary one = summarise({5});
  EXPECT_EQ(one.count, 1u);
  EXPECT_EQ(one.mean, 5);
  EXPECT_EQ(one.median, 5);
  EXPECT_FALSE(one.has_variation);
  EXPECT_FALSE(summarise({0, 0, 0}).has_variation);
  const summary none = summarise({});
  EXPECT_FALSE(none.has_variation);
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(none.mean, 0);
  EXPECT_EQ(none.median, 0);
  EXPECT_EQ(none.minimum, 0);
  EXPECT_EQ(none.maximum, 0);
}

run_report report_with(double base, std::int64_t threads, std::uint64_t duration_ms) {
  run_report r;
  r.int_single_mops = base;
  r.int_multi_mops = base * 2;
  r.fp_single_mflops = base * 3;
  r.fp_multi_mflops = base * 4;
  r.mem_bandwidth_mbps = base * 5;
  r.score_single = base * 6;
  r.score_multi = base * 7;
  r.threads_used = threads;
  r.duration_ms = duration_ms;
  return r;
}

TEST(FigureText, WholeNumbersBareAndAnEvenCountsMedianWithItsHalf) {
  // The terminal says what the exports and the document say: 1108.5, not 1108.
  EXPECT_EQ(figure_text(summarise({1100, 1108, 1109, 1200}).median), "1108.5");
  EXPECT_EQ(figure_text(1108), "1108");
  EXPECT_EQ(figure_text(0.25), "0.2");
}

TEST(SummaryTable, ShowsEveryFigureWithItsStatisticsAndUnit) {
  const std::string table = format_summary_table(
      {report_with(100, 2, 20000), report_with(120, 2, 20100), report_with(110, 2, 20200)});
  EXPECT_EQ(table.rfind("Summary of 3 runs\n", 0), 0u) << table;
  // base 100, 110, 120: median 110, sample deviation 10, cv 9.1% for all.
  const char* expected_lines[] = {
      "integer mixing, one thread             110       100       120    9.1%  million steps/s\n",
      "integer mixing, all processors         220       200       240    9.1%  million steps/s\n",
      "floating point, one thread             330       300       360    9.1%  MFLOP/s\n",
      "floating point, all processors         440       400       480    9.1%  MFLOP/s\n",
      "memory copy                            550       500       600    9.1%  MiB/s\n",
      "single-thread score                    660       600       720    9.1%\n",
      "multi-thread score                     770       700       840    9.1%\n",
      "processors                               2\n",
      "total duration                       60.30  s\n",
  };
  for (const char* line : expected_lines) {
    EXPECT_NE(table.find(line), std::string::npos) << "missing: " << line << "in\n" << table;
  }
}

TEST(SummaryTable, PrintsFiguresWholeAtAnyMagnitude) {
  const std::string table =
      format_summary_table({report_with(1e60, 2, 1), report_with(1e60, 2, 1)});
  EXPECT_NE(table.find(printed("%.0f", 1e60) + " " + printed("%.0f", 1e60) + " " +
                       printed("%.0f", 1e60) + "    0.0%  million steps/s\n"),
            std::string::npos)
      << table;
}

TEST(SummaryTable, ShowsARangeWhenRunsSawDifferentProcessorCounts) {
  const std::string table =
      format_summary_table({report_with(1, 4, 1), report_with(1, 2, 1), report_with(1, 3, 1)});
  EXPECT_NE(table.find("processors                        2 to 4\n"), std::string::npos) << table;
}

}  // namespace
}  // namespace quorvane::host
