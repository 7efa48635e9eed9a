// The comparison table: medians, ratios and verdicts over finished runs,
// and the machines side by side.
#include "results/comparison.h"

#include <gtest/gtest.h>

#include "results/run_report.h"

namespace quorvane::host {
namespace {

using nlohmann::json;

// A run whose every figure is scale times the figure's place in the table.
json run(double scale, bool cancelled = false) {
  json report = {{"threads_used", 2}, {"duration_ms", 20000}};
  double place = 1;
  for (const report_figure& figure : report_figures) report[figure.key] = scale * place++;
  return {{"cancelled", cancelled}, {"report", report}};
}

json document(std::vector<json> runs) { return {{"schema_version", 1}, {"runs", std::move(runs)}}; }

// The table's line that starts with label, at or after from, without its end.
std::string line_of(const std::string& table, const char* label, std::size_t from = 0) {
  const std::size_t start = table.find(std::string("\n  ") + label + " ", from);
  if (start == std::string::npos) return "";
  return table.substr(start + 1, table.find('\n', start + 1) - start - 1);
}

TEST(CompareFigure, MediansAndRatioOverFinishedRunsOnly) {
  const json baseline = document({run(100), run(98), run(102), run(5000, true)});
  const json current = document({run(121), run(119), run(120)});
  const figure_comparison compared = compare_figure(baseline, current, "score_multi");
  // score_multi is the seventh figure.
  EXPECT_EQ(compared.baseline_runs, 3u);
  EXPECT_EQ(compared.current_runs, 3u);
  EXPECT_DOUBLE_EQ(compared.baseline_median, 700);
  EXPECT_DOUBLE_EQ(compared.current_median, 840);
  ASSERT_TRUE(compared.ratio);
  EXPECT_DOUBLE_EQ(*compared.ratio, 1.2);
  EXPECT_EQ(compared.significance.call, verdict::faster);
}

TEST(FormatComparison, OneLinePerFigureWithMediansRatioAndVerdict) {
  json baseline = document({run(100), run(101), run(99)});
  baseline["machine"] = {{"cpu_model", "Old CPU"}, {"logical_processors", 4},
                         {"usable_processors", 2}, {"memory_bytes", 8589934592.0},
                         {"os", "Old OS"},         {"kernel", "Linux 5.10"}};
  json current = document({run(50), run(51), run(49), run(1, true)});
  current["machine"] = {{"cpu_model", "New CPU"}, {"logical_processors", 2}};
  const std::string table = format_comparison(baseline, current);

  EXPECT_NE(table.find("finished runs: 3 there, 3 here"), std::string::npos) << table;
  // Half as fast, clearly: the first figure is 100 against 50.
  const std::string first = line_of(table, report_figures[0].label);
  EXPECT_NE(first.find(" 100 "), std::string::npos) << first;
  EXPECT_NE(first.find(" 50 "), std::string::npos) << first;
  EXPECT_NE(first.find(" 0.500 "), std::string::npos) << first;
  EXPECT_EQ(first.substr(first.size() - 6), "slower") << first;
  const std::string last = line_of(table, report_figures[6].label);
  EXPECT_NE(last.find(" 700 "), std::string::npos) << last;
  EXPECT_NE(last.find(" 350 "), std::string::npos) << last;

  const std::size_t machines = table.find("\nMachines\n");
  ASSERT_NE(machines, std::string::npos) << table;
  const std::string processor = line_of(table, "processor model", machines);
  EXPECT_LT(processor.find("Old CPU"), processor.find("New CPU")) << processor;
  EXPECT_NE(line_of(table, "processors", machines).find("4 (2 usable)"), std::string::npos);
  EXPECT_NE(line_of(table, "memory", machines).find("8.0 GiB"), std::string::npos) << table;
  // What this side's document does not say.
  const std::string kernel = line_of(table, "kernel", machines);
  EXPECT_LT(kernel.find("Linux 5.10"), kernel.find("not recorded")) << kernel;
}

TEST(FormatComparison, OneRunASideAndAMissingMachineAreSaid) {
  const std::string table = format_comparison(document({run(100)}), document({run(200)}));
  const std::string first = line_of(table, report_figures[0].label);
  EXPECT_NE(first.find(" 2.000 "), std::string::npos) << first;
  EXPECT_EQ(first.substr(first.size() - 19), "no clear difference") << first;
  // The note once, not once per figure.
  const std::string note = "note: one run a side: use --runs 5 on both sides\n";
  const std::size_t at = table.find(note);
  ASSERT_NE(at, std::string::npos) << table;
  EXPECT_EQ(table.find(note, at + 1), std::string::npos) << table;
  EXPECT_NE(line_of(table, "processor model").find("not recorded  not recorded"), std::string::npos)
      << table;
}

}  // namespace
}  // namespace quorvane::host
