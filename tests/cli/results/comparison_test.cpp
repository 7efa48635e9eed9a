// The comparison table: what differs between the sides, medians, ratios,
// intervals and verdicts over clean finished runs, and the machines side by
// side.
#include "results/comparison.h"

#include <gtest/gtest.h>

#include "results/run_report.h"

namespace quorvane::host {
namespace {

using nlohmann::json;

// A run whose every figure is scale times the figure's place in the table.
json run(double scale, bool cancelled = false, bool clean = true) {
  json report = {{"threads_used", 2}, {"duration_ms", 20000}};
  double place = 1;
  for (const report_figure& figure : report_figures) report[figure.key] = scale * place++;
  return {{"cancelled", cancelled}, {"report", report}, {"verdict", {{"clean", clean}}}};
}

json document(std::vector<json> runs) { return {{"schema_version", 1}, {"runs", std::move(runs)}}; }

// The table's line that starts with label, at or after from, without its end.
std::string line_of(const std::string& table, const char* label, std::size_t from = 0) {
  const std::size_t start = table.find(std::string("\n  ") + label + " ", from);
  if (start == std::string::npos) return "";
  return table.substr(start + 1, table.find('\n', start + 1) - start - 1);
}

std::string format_comparison(const json& baseline, const json& current) {
  return quorvane::host::format_comparison(compare_documents(baseline, current, "base.json"));
}

TEST(CompareFigure, MediansAndRatioOverCleanFinishedRunsOnly) {
  const json baseline =
      document({run(100), run(98), run(102), run(99), run(5000, true), run(9000, false, false)});
  const json current = document({run(121), run(119), run(120), run(118), run(1, false, false)});
  const figure_comparison compared = compare_figure(baseline, current, "score_multi");
  // score_multi is the seventh figure.
  EXPECT_EQ(compared.baseline_runs, 4u);
  EXPECT_EQ(compared.current_runs, 4u);
  EXPECT_EQ(compared.baseline_median, 696.5);
  EXPECT_EQ(compared.current_median, 836.5);
  EXPECT_EQ(compared.statistic.call, rank_verdict::faster);
}

TEST(ComparisonJson, TheRatioIsTheEstimateWhoseIntervalItShows) {
  // Two levels, as cores of two kinds give: the baseline's median falls on
  // the lower level (10 runs of 19), this side's on the upper (10 of 19),
  // a ratio of medians near 1.84, while the runs pair off nearly equal.
  std::vector<json> before;
  std::vector<json> after;
  for (int i = 0; i < 10; ++i) {
    before.push_back(run(100 + i));
    after.push_back(run(200.5 + i));
  }
  for (int i = 0; i < 9; ++i) {
    before.push_back(run(200 + i));
    after.push_back(run(100.5 + i));
  }
  const json baseline = document(before);
  const json current = document(after);
  const json figures =
      comparison_json(compare_documents(baseline, current, "b.json"), baseline)["figures"];
  for (const report_figure& figure : report_figures) {
    SCOPED_TRACE(figure.key);
    const json& entry = figures[figure.key];
    ASSERT_TRUE(entry["ratio"].is_number() && entry["interval_low"].is_number()) << entry;
    const double medians = entry["median"].get<double>() / entry["baseline_median"].get<double>();
    EXPECT_NEAR(medians, 200.5 / 109, 1e-12);
    EXPECT_GT(medians, entry["interval_high"].get<double>());
    EXPECT_LE(entry["interval_low"].get<double>(), entry["ratio"].get<double>());
    EXPECT_GE(entry["interval_high"].get<double>(), entry["ratio"].get<double>());
  }
  const std::string first = line_of(format_comparison(baseline, current), report_figures[0].label);
  EXPECT_EQ(first.find(" 1.839 "), std::string::npos) << first;
}

TEST(ComparisonJson, ABaselineNamedInAnotherEncodingLeavesTheDocumentValid) {
  const json baseline = document({run(100)});
  const json compared =
      comparison_json(compare_documents(baseline, document({run(100)}), "caf\xE9.json"), baseline);
  EXPECT_EQ(compared["baseline"]["source"], "caf\xEF\xBF\xBD.json");
  EXPECT_NO_THROW(compared.dump());
}

TEST(FormatComparison, OneLinePerFigureWithMediansRatioAndVerdict) {
  json baseline = document({run(100), run(101), run(99), run(98)});
  baseline["machine"] = {{"cpu_model", "Old CPU"}, {"logical_processors", 4},
                         {"usable_processors", 2}, {"memory_bytes", 8589934592.0},
                         {"os", "Old OS"},         {"kernel", "Linux 5.10"}};
  json current = document({run(50), run(51), run(49), run(48), run(1, true), run(2, false, false)});
  current["machine"] = {{"cpu_model", "New CPU"}, {"logical_processors", 2}};
  const std::string table = format_comparison(baseline, current);

  EXPECT_NE(table.find("clean finished runs compared: 4 there, 4 here (1 disturbed left out)"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("  not like for like:\n    processor model: Old CPU there, New CPU here\n"),
            std::string::npos)
      << table;
  // Half as fast, clearly: the first figure is 100 against 50.
  const std::string first = line_of(table, report_figures[0].label);
  EXPECT_NE(first.find(" 99.5 "), std::string::npos) << first;
  EXPECT_NE(first.find(" 49.5 "), std::string::npos) << first;
  EXPECT_NE(first.find(" 0.498 "), std::string::npos) << first;
  EXPECT_EQ(first.substr(first.size() - 6), "slower") << first;
  const std::string last = line_of(table, report_figures[6].label);
  EXPECT_NE(last.find(" 696.5 "), std::string::npos) << last;
  EXPECT_NE(last.find(" 346.5 "), std::string::npos) << last;

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
  EXPECT_EQ(first.substr(first.size() - 12), "too few runs") << first;
  // The note once, not once per figure.
  const std::string note =
      "not compared: too few runs for a verdict at the 5% level: 4 clean runs a side would do\n";
  const std::size_t at = table.find(note);
  ASSERT_NE(at, std::string::npos) << table;
  EXPECT_EQ(table.find(note, at + 1), std::string::npos) << table;
  EXPECT_NE(line_of(table, "processor model").find("not recorded  not recorded"), std::string::npos)
      << table;
}

TEST(FormatComparison, SaysWhyNothingIsComparedWhenASideHasNoCleanRun) {
  const std::string table = format_comparison(document({run(100), run(101)}),
                                              document({run(50, false, false), run(1, true)}));
  EXPECT_NE(table.find("nothing is compared: every finished run here was disturbed"),
            std::string::npos)
      << table;
  const std::string first = line_of(table, report_figures[0].label);
  EXPECT_EQ(first.substr(first.size() - 12), "not compared") << first;
  EXPECT_NE(table.find("not compared: no clean finished run here\n"), std::string::npos) << table;
}

TEST(CompareSides, NamesEveryDifferenceThatChangesTheNumbers) {
  const json machine = {{"cpu_model", "CPU"},      {"logical_processors", 4},
                        {"virtualisation", "KVM"}, {"frequency_policy", "performance"},
                        {"boost", true},           {"quota_processors", nullptr},
                        {"power_source", "mains"}, {"kernel", "Linux 6.1"}};
  json before = {{"library_version", "1.0.0"}, {"library_sha256", "5e1f"}, {"machine", machine}};
  json after = before;
  after["library_version"] = "1.1.0";
  after["library_sha256"] = "77a0";
  after["machine"]["quota_processors"] = 0.5;
  after["machine"]["boost"] = false;
  after["machine"]["kernel"] = "Linux 6.2";  // does not change the numbers by itself
  EXPECT_EQ(compare_sides(before, after).differences,
            (std::vector<std::string>{"library: 1.0.0 there, 1.1.0 here",
                                      "library build: 5e1f there, 77a0 here",
                                      "frequency policy: performance, boost on there, "
                                      "performance, boost off here",
                                      "quota: none seen there, 0.50 processors here"}));
  // A version 1 baseline records none of the conditions: not a difference.
  json old = before;
  old["machine"] = {{"cpu_model", "CPU"}, {"logical_processors", 4}};
  const side_differences against_old = compare_sides(old, before);
  EXPECT_TRUE(against_old.differences.empty());
  EXPECT_EQ(
      against_old.not_recorded,
      (std::vector<std::string>{"virtualisation", "frequency policy", "quota", "power source"}));
  // The same version built again: a difference all the same. A baseline
  // from before builds were recorded does not say.
  json rebuilt = before;
  rebuilt["library_sha256"] = "9c3b";
  EXPECT_EQ(compare_sides(before, rebuilt).differences,
            std::vector<std::string>{"library build: 5e1f there, 9c3b here"});
  json unrecorded = before;
  unrecorded.erase("library_sha256");
  EXPECT_EQ(compare_sides(unrecorded, before).not_recorded,
            std::vector<std::string>{"library build"});
}

}  // namespace
}  // namespace quorvane::host
