// The .prom and .html exports of constructed results documents.
#include "export/export_html.h"
#include "export/export_prometheus.h"

#include <gtest/gtest.h>

#include "number_text.h"
#include "results/comparison.h"

#include <cstdlib>
#include <limits>
#include <map>
#include <sstream>
#include <string>

namespace quorvane::host {
namespace {

nlohmann::json run(double score_single, double int_single_mops, double mem_bandwidth_mbps,
                   unsigned duration_ms, const char* ended_at, nlohmann::json other_load,
                   bool cancelled = false) {
  return {{"started_at", "2026-12-09T11:00:00Z"},
          {"ended_at", ended_at},
          {"cancelled", cancelled},
          {"report",
           {{"score_single", score_single},
            {"score_multi", 2 * score_single},
            {"int_single_mops", int_single_mops},
            {"int_multi_mops", 2 * int_single_mops},
            {"fp_single_mflops", 3000},
            {"fp_multi_mflops", 6000},
            {"mem_bandwidth_mbps", mem_bandwidth_mbps},
            {"threads_used", 2},
            {"duration_ms", duration_ms}}},
          {"other_load_percent", std::move(other_load)}};
}

// Three finished runs in no order of size, then a cancelled one whose
// figures would move every median and maximum if it were counted.
nlohmann::json three_runs_and_a_cancel() {
  return {{"schema_version", 1},
          {"host_version", "1.0.0"},
          {"library_version", "1.0.0"},
          {"started_at", "2026-12-09T11:00:00Z"},
          {"machine", {{"cpu_model", "Model 9"}, {"logical_processors", 2}}},
          {"runs",
           {run(1250, 720, 9500, 20010, "2026-12-09T11:00:20Z", {1, 5, 2, nullptr, 0}),
            run(1210, 700, 9000, 20014, "2026-12-09T11:00:40Z", {1, 30, 2, 3, 4}),
            run(1230, 705, 9200, 20012, "2024-02-29T00:00:00Z", {nullptr, 1, 12, 2, 1}),
            run(9999, 9999, 99999, 3000, "2026-12-09T11:01:10Z",
                {90, nullptr, nullptr, nullptr, nullptr}, true)}}};
}

// The samples of an exposition, by name and labels, and the families that
// have both a HELP and a gauge TYPE line.
struct exposition {
  std::map<std::string, std::string> samples;
  std::map<std::string, int> described;
};

exposition parse(const std::string& text) {
  exposition parsed;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("# HELP ", 0) == 0) {
      ++parsed.described[line.substr(7, line.find(' ', 7) - 7)];
    } else if (line.rfind("# TYPE ", 0) == 0) {
      const std::string name = line.substr(7, line.find(' ', 7) - 7);
      if (line == "# TYPE " + name + " gauge") ++parsed.described[name];
    } else {
      const std::size_t space = line.rfind(' ');
      parsed.samples[line.substr(0, space)] = line.substr(space + 1);
    }
  }
  return parsed;
}

double value_of(const exposition& parsed, const std::string& sample) {
  const auto found = parsed.samples.find(sample);
  if (found == parsed.samples.end()) {
    ADD_FAILURE() << "no sample " << sample;
    return -1;
  }
  return std::strtod(found->second.c_str(), nullptr);
}

TEST(PrometheusExport, MediansOfTheFinishedRunsInBaseUnits) {
  const exposition parsed = parse(format_prometheus(three_runs_and_a_cancel()));
  EXPECT_EQ(value_of(parsed, "quorvane_runs"), 3);
  EXPECT_EQ(value_of(parsed, "quorvane_score{threads=\"single\"}"), 1230);
  EXPECT_EQ(value_of(parsed, "quorvane_score{threads=\"all\"}"), 2460);
  EXPECT_EQ(value_of(parsed, "quorvane_integer_mix_steps_per_second{threads=\"single\"}"), 705e6);
  EXPECT_EQ(value_of(parsed, "quorvane_integer_mix_steps_per_second{threads=\"all\"}"), 1410e6);
  EXPECT_EQ(value_of(parsed, "quorvane_floating_point_operations_per_second{threads=\"single\"}"),
            3000e6);
  EXPECT_EQ(value_of(parsed, "quorvane_floating_point_operations_per_second{threads=\"all\"}"),
            6000e6);
  EXPECT_EQ(value_of(parsed, "quorvane_memory_copy_bytes_per_second"), 9200.0 * 1048576);
  EXPECT_EQ(value_of(parsed, "quorvane_processors"), 2);
  EXPECT_EQ(value_of(parsed, "quorvane_run_duration_seconds"), 20.012);
  // Each finished run's largest share is 5, 30 and 12 percent.
  EXPECT_EQ(value_of(parsed, "quorvane_other_load_ratio"), 0.12);
  // The last finished run ended on a leap day: 19782 days after 1970-01-01.
  EXPECT_EQ(value_of(parsed, "quorvane_last_run_timestamp_seconds"), 19782.0 * 86400);
}

TEST(PrometheusExport, AnEndTimeNotInTheDocumentsFormGivesNoTimestamp) {
  // The third run is the last finished one.
  for (const char* ended : {"2024-02-29T00:00:00", "2024-02-29T00:00:00Zx", "2024-02-29 00:00:00Z",
                            "2024-13-01T00:00:00Z", "2024-02-29T24:00:00Z", "2024-2-29T00:00:00Z",
                            " 024-02-29T00:00:00Z", ""}) {
    nlohmann::json document = three_runs_and_a_cancel();
    document["runs"][2]["ended_at"] = ended;
    const exposition parsed = parse(format_prometheus(document));
    EXPECT_EQ(parsed.samples.count("quorvane_last_run_timestamp_seconds"), 0U) << ended;
  }
  nlohmann::json document = three_runs_and_a_cancel();
  document["runs"][2]["ended_at"] = "1970-01-01T00:00:59Z";
  EXPECT_EQ(value_of(parse(format_prometheus(document)), "quorvane_last_run_timestamp_seconds"),
            59);
}

// Version 2: each run's conditions per phase and verdict, the machine's quota.
nlohmann::json with_conditions(nlohmann::json document) {
  const double steal[3] = {1.0, 6.0, 2.0};
  const double frequency[3] = {2.4e9, 2.0e9, 2.2e9};
  for (std::size_t i = 0; i < 3; ++i) {
    nlohmann::json phases = nlohmann::json::array();
    for (int phase = 1; phase <= 5; ++phase) {
      phases.push_back(
          {{"steal_percent", phase == 4 ? steal[i] : 0.0},
           {"frequency_mean_hz", phase == 2 ? nlohmann::json(frequency[i]) : nlohmann::json()},
           {"quota_throttled_seconds", phase == 2 ? 0.5 * static_cast<double>(i) : 0.0}});
    }
    document["runs"][i]["conditions"] = phases;
    document["runs"][i]["verdict"] = {{"clean", i != 1}};
  }
  document["machine"]["quota_processors"] = 1.5;
  return document;
}

TEST(PrometheusExport, ConditionsAndTheVerdictInBaseUnits) {
  const exposition parsed = parse(format_prometheus(with_conditions(three_runs_and_a_cancel())));
  EXPECT_EQ(value_of(parsed, "quorvane_run_clean"), 0);  // the second run was disturbed
  EXPECT_EQ(value_of(parsed, "quorvane_steal_ratio"), 0.02);
  EXPECT_EQ(value_of(parsed, "quorvane_frequency_hertz{phase=\"2\"}"), 2.2e9);
  EXPECT_EQ(parsed.samples.count("quorvane_frequency_hertz{phase=\"1\"}"), 0U);  // not reported
  EXPECT_EQ(value_of(parsed, "quorvane_quota_throttled_seconds"), 0.5);
  EXPECT_EQ(value_of(parsed, "quorvane_quota_processors"), 1.5);
}

TEST(PrometheusExport, EveryMetricOfTheInterfaceIsADescribedGauge) {
  const std::string text = format_prometheus(three_runs_and_a_cancel());
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const exposition parsed = parse(text);
  const std::map<std::string, int> expected = {{"quorvane_info", 2},
                                               {"quorvane_score", 2},
                                               {"quorvane_integer_mix_steps_per_second", 2},
                                               {"quorvane_floating_point_operations_per_second", 2},
                                               {"quorvane_memory_copy_bytes_per_second", 2},
                                               {"quorvane_processors", 2},
                                               {"quorvane_runs", 2},
                                               {"quorvane_run_duration_seconds", 2},
                                               {"quorvane_other_load_ratio", 2},
                                               {"quorvane_last_run_timestamp_seconds", 2}};
  EXPECT_EQ(parsed.described, expected);
  EXPECT_EQ(parsed.samples.size(), 13u);
}

TEST(PrometheusExport, LabelValuesAreEscaped) {
  EXPECT_EQ(escape_label_value("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
  nlohmann::json document = three_runs_and_a_cancel();
  document["machine"]["cpu_model"] = "Model \"9\" \\ 2\nGHz";
  document["host_version"] = "1.0\"";
  const exposition parsed = parse(format_prometheus(document));
  EXPECT_EQ(value_of(parsed,
                     "quorvane_info{library_version=\"1.0.0\",host_version=\"1.0\\\"\","
                     "cpu_model=\"Model \\\"9\\\" \\\\ 2\\nGHz\"}"),
            1);
}

TEST(PrometheusExport, WithoutAFinishedRunOnlyTheInfoAndARunCountOfZero) {
  nlohmann::json document = three_runs_and_a_cancel();
  document["runs"] = nlohmann::json::array({document["runs"][3]});
  const exposition parsed = parse(format_prometheus(document));
  EXPECT_EQ(parsed.samples.size(), 2u);
  EXPECT_EQ(value_of(parsed, "quorvane_runs"), 0);
  EXPECT_EQ(parsed.described.size(), 2u);
}

TEST(PrometheusExport, SampleValuesReadBackExactly) {
  for (const double value : {0.0, 0.1, 1.0 / 3, 20.012, 9646899200.0, 7.05e8, 1e-7, 1e300}) {
    const std::string text = format_sample_value(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    EXPECT_EQ(text.find(','), std::string::npos) << text;
  }
  EXPECT_EQ(format_sample_value(std::strtod("nan", nullptr)), "NaN");
  EXPECT_EQ(format_sample_value(-std::numeric_limits<double>::infinity()), "-Inf");
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++found;
  }
  return found;
}

TEST(HtmlExport, EveryTextFromTheDocumentIsEscaped) {
  nlohmann::json document = three_runs_and_a_cancel();
  const std::string hostile = "<script>alert('x')</script>&\"";
  document["machine"]["cpu_model"] = hostile;
  document["machine"]["<b>extra</b>"] = hostile;
  document["started_at"] = hostile;
  document["runs"][0]["started_at"] = hostile;
  const std::string html = format_html(document, &document);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  // Title, both machine columns, the extra row's two cells, the two start
  // lines (the baseline is the same document) and the run table.
  EXPECT_EQ(count(html, "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;&quot;"), 8u);
  EXPECT_EQ(count(html, "&lt;b&gt;extra&lt;/b&gt;"), 1u);
}

// The page words each condition as the terminal and the comparison do.
TEST(HtmlExport, ConditionsReadAsOnTheTerminal) {
  nlohmann::json document = three_runs_and_a_cancel();
  document["machine"]["quota_processors"] = nullptr;
  document["machine"]["container_signs"] = nlohmann::json::array();
  document["machine"]["power_source"] = nullptr;
  std::string html = format_html(document, nullptr);
  for (const char* words : {"none seen", "no sign of one", "not reported"}) {
    EXPECT_NE(html.find(words), std::string::npos) << words;
  }
  document["machine"]["quota_processors"] = 1.95;
  html = format_html(document, nullptr);
  EXPECT_NE(html.find("1.95 processors"), std::string::npos);
}

TEST(HtmlExport, FetchesNothing) {
  const std::string html = format_html(three_runs_and_a_cancel(), nullptr);
  for (const char* loading : {"src=", "href=", "http:", "https:", "@import", "<link", "<script"}) {
    EXPECT_EQ(html.find(loading), std::string::npos) << loading;
  }
  EXPECT_NE(html.find("default-src 'none'"), std::string::npos);
}

TEST(HtmlExport, OneChartPerFigureWithEachFinishedRunAndTheBaselineBeside) {
  const nlohmann::json document = three_runs_and_a_cancel();
  const std::string alone = format_html(document, nullptr);
  // Two scores, five measurements and the other load.
  EXPECT_EQ(count(alone, "<svg "), 8u);
  EXPECT_EQ(count(alone, "data-chart=\"score_single\""), 1u);
  EXPECT_EQ(count(alone, "class=\"baseline\""), 0u);
  // Seven figure bars of three points; phases 1 to 5 measured by 2, 3, 3, 2
  // and 3 of the finished runs.
  EXPECT_EQ(count(alone, "class=\"run\""), 7u * 3 + 13);
  // The median with the range beside it, and the reference of the scores.
  EXPECT_NE(alone.find(">1230 (1210 to 1250)<"), std::string::npos);
  EXPECT_EQ(count(alone, ">reference 1000<"), 2u);

  nlohmann::json one_run = document;
  one_run["runs"] = nlohmann::json::array({document["runs"][0]});
  const std::string with_baseline = format_html(one_run, &document);
  EXPECT_EQ(count(with_baseline, "<svg "), 8u);
  // Seven figures and five phases each get a baseline bar.
  EXPECT_EQ(count(with_baseline, "class=\"baseline\""), 12u);
  // One run draws no points; the baseline's three still show.
  EXPECT_EQ(count(with_baseline, "class=\"run\""), 7u * 3 + 13);
  EXPECT_NE(with_baseline.find(">1250<"), std::string::npos);
}

TEST(HtmlExport, JudgesEachMeasuredFigureAgainstTheBaseline) {
  nlohmann::json baseline = three_runs_and_a_cancel();
  // Four finished runs a side: the fewest that allow a verdict.
  baseline["runs"].push_back(run(1240, 710, 9300, 20011, "2026-12-09T11:02:00Z", {0, 0, 0, 0, 0}));
  nlohmann::json faster = baseline;
  for (nlohmann::json& run : faster["runs"]) {
    for (const char* key : {"score_single", "score_multi", "int_single_mops", "int_multi_mops"}) {
      run["report"][key] = 2 * run["report"][key].get<double>();
    }
  }
  const std::string html = format_html(faster, &baseline);
  // The four doubled figures; floating point and memory copy are the same
  // runs on both sides; processors and duration get no verdict.
  EXPECT_EQ(count(html, "<td>faster</td>"), 4u);
  EXPECT_EQ(count(html, "<td>no clear difference</td>"), 3u);
  EXPECT_EQ(count(html, "slower</td>"), 0u);
  EXPECT_EQ(count(format_html(baseline, &faster), "<td>slower</td>"), 4u);
  // Three runs a side are too few for any verdict, and the page says so.
  EXPECT_EQ(count(format_html(three_runs_and_a_cancel(), &baseline), "<td>too few runs ("), 7u);
}

TEST(HtmlExport, MarksDisturbedRunsAndShowsEachPhasesConditions) {
  const std::string html = format_html(with_conditions(three_runs_and_a_cancel()), nullptr);
  // The second run is disturbed: a square in each of the seven figure
  // charts and the five phases of the other-load chart.
  EXPECT_EQ(count(html, "class=\"run disturbed\""), 12u);
  EXPECT_NE(html.find("<td class=\"disturbed\">disturbed: "), std::string::npos);
  // Phase 2 reports a frequency, phase 1 does not; what no phase reports is
  // said once for the table, not on every row.
  EXPECT_NE(html.find("frequency 2200 MHz"), std::string::npos);
  EXPECT_NE(html.find("<td>steal 0.0%; frequency not reported; held back by the quota 0 s</td>"),
            std::string::npos);
  // The note, and phases 1, 3, 4 and 5 without a frequency.
  EXPECT_EQ(count(html, "not report"), 1u + 4u);
  EXPECT_EQ(count(html,
                  "does not report, in any phase: other programs, thermal throttling "
                  "events."),
            1u);
}

TEST(HtmlExport, RunDurationRowShowsThisSideInSecondsAndTheComparisonLeavesItOut) {
  const nlohmann::json document = three_runs_and_a_cancel();
  nlohmann::json baseline = document;
  for (nlohmann::json& run : baseline["runs"]) {
    run["report"]["duration_ms"] = 2 * run["report"]["duration_ms"].get<double>();
  }
  const std::string html = format_html(document, &baseline);
  const std::size_t row = html.find("<tr><th>run duration</th><td>s</td>");
  ASSERT_NE(row, std::string::npos);
  EXPECT_EQ(html.substr(row, html.find("</tr>", row) - row),
            "<tr><th>run duration</th><td>s</td><td class=\"num\">20.0</td>"
            "<td class=\"num\">20.0</td><td class=\"num\">20.0</td><td class=\"num\">0.0%</td>"
            "<td></td>");
  EXPECT_EQ(html.find("data-figure=\"duration_ms\""), std::string::npos);
}

TEST(HtmlExport, LaysOutTheDocumentsOwnComparisonOverCleanRuns) {
  // A disturbed baseline run far above the others: the comparison leaves
  // it out, on the page as in the document.
  nlohmann::json baseline = three_runs_and_a_cancel();
  baseline["runs"].push_back(run(1240, 710, 9300, 20011, "2026-12-09T11:02:00Z", {0, 0, 0, 0, 0}));
  baseline["runs"].push_back(
      run(5000, 5000, 50000, 20011, "2026-12-09T11:03:00Z", {0, 0, 0, 0, 0}));
  baseline["runs"].back()["verdict"] = {{"clean", false}, {"reasons", {"steal 9% in phase 4"}}};
  nlohmann::json document = three_runs_and_a_cancel();
  document["runs"].push_back(run(1240, 710, 9300, 20011, "2026-12-09T11:02:00Z", {0, 0, 0, 0, 0}));
  document["comparison"] =
      comparison_json(compare_documents(baseline, document, "b.json"), baseline);
  const nlohmann::json& single = document["comparison"]["figures"]["score_single"];
  EXPECT_EQ(single["baseline_median"], 1235.0);  // 1210, 1230, 1240, 1250
  const std::string html = format_html(document, &baseline);
  const std::size_t row = html.find("<tr data-figure=\"score_single\">");
  ASSERT_NE(row, std::string::npos) << html;
  EXPECT_EQ(html.substr(row, html.find("</tr>", row) - row),
            "<tr data-figure=\"score_single\"><th>single-thread score</th>"
            "<td class=\"num\">1235</td><td class=\"num\">1235</td><td class=\"num\">" +
                printed("%.3f", single["ratio"].get<double>()) + "</td><td class=\"num\">" +
                printed("%.3f", single["interval_low"].get<double>()) + " to " +
                printed("%.3f", single["interval_high"].get<double>()) +
                "</td><td>no clear difference</td>");
  EXPECT_NE(html.find("Over the clean finished runs: 4 there (1 disturbed left out), 4 here."),
            std::string::npos);
  // The page lays out the document's comparison, not one of its own.
  document["comparison"]["figures"]["score_single"]["verdict"] = "recorded";
  EXPECT_NE(format_html(document, &baseline).find("<td>recorded</td>"), std::string::npos);
}

}  // namespace
}  // namespace quorvane::host
