// Reading the library's report line and the one-run results table.
#include "results/run_report.h"

#include <gtest/gtest.h>

namespace quorvane::host {
namespace {

// Distinct values, so a member read into the wrong field shows.
const std::string sample_line =
    "{\"score_single\":472,\"score_multi\":617,\"int_single_mops\":271,\"int_multi_mops\":397,"
    "\"fp_single_mflops\":1351,\"fp_multi_mflops\":1533,\"mem_bandwidth_mbps\":8150,"
    "\"threads_used\":2,\"duration_ms\":20117}";

std::string replaced(std::string line, const std::string& from, const std::string& to) {
  const std::size_t at = line.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return line.replace(at, from.size(), to);
}

TEST(RunReport, ReadsEveryMemberIntoItsField) {
  std::string error;
  const std::optional<run_report> report = parse_report(sample_line, error);
  ASSERT_TRUE(report) << error;
  EXPECT_EQ(report->score_single, 472);
  EXPECT_EQ(report->score_multi, 617);
  EXPECT_EQ(report->int_single_mops, 271);
  EXPECT_EQ(report->int_multi_mops, 397);
  EXPECT_EQ(report->fp_single_mflops, 1351);
  EXPECT_EQ(report->fp_multi_mflops, 1533);
  EXPECT_EQ(report->mem_bandwidth_mbps, 8150);
  EXPECT_EQ(report->threads_used, 2);
  EXPECT_EQ(report->duration_ms, 20117u);
}

TEST(RunReport, ReadsFiguresTooLargeForAnyIntegerType) {
  // "%.0f" of a huge double prints every digit; it still has to be read.
  const std::string line = replaced(sample_line, "\"mem_bandwidth_mbps\":8150",
                                    "\"mem_bandwidth_mbps\":1" + std::string(30, '0'));
  std::string error;
  const std::optional<run_report> report = parse_report(line, error);
  ASSERT_TRUE(report) << error;
  EXPECT_DOUBLE_EQ(report->mem_bandwidth_mbps, 1e30);
}

TEST(RunReport, RefusesALineThatIsNotTheReport) {
  struct bad_case {
    std::string line;
    std::string expected_in_error;
  };
  const std::vector<bad_case> cases = {
      {"", "not a JSON object"},
      {"{\"score_single\":1", "not a JSON object"},
      {"[1,2,3]", "not a JSON object"},
      {replaced(sample_line, "\"score_multi\":617,", ""), "'score_multi'"},
      {replaced(sample_line, ",\"duration_ms\":20117", ""), "'duration_ms'"},
      {replaced(sample_line, "\"int_multi_mops\":397", "\"int_multi_mops\":\"397\""),
       "'int_multi_mops'"},
      {replaced(sample_line, "\"threads_used\":2", "\"threads_used\":2.5"), "whole numbers"},
      {replaced(sample_line, "\"duration_ms\":20117", "\"duration_ms\":-5"), "whole numbers"},
      {replaced(sample_line, "\"threads_used\":2", "\"threads_used\":-1"), "whole numbers"},
      {replaced(sample_line, "\"int_multi_mops\":397", "\"int_multi_mops\":-397"),
       "int_multi_mops -397 is outside 0 to 1e100"},
      {replaced(sample_line, "\"mem_bandwidth_mbps\":8150", "\"mem_bandwidth_mbps\":1.7e308"),
       "outside 0 to 1e100"},
      {replaced(sample_line, "\"score_single\":", "\"score_single\":-1e400,\"x\":"),
       "not a JSON object"},
      {replaced(sample_line, "\"threads_used\":2", "\"threads_used\":9999999"),
       "more than a run can have"},
      {replaced(sample_line, "\"duration_ms\":20117", "\"duration_ms\":18446744073709551615"),
       "more than a run can have"},
      {replaced(sample_line, "}",
                ",\"extra\":" + std::string(200000, '[') + std::string(200000, ']') + "}"),
       "nests arrays or objects more than 32 deep"},
  };
  for (const bad_case& c : cases) {
    std::string error;
    EXPECT_FALSE(parse_report(c.line, error)) << c.line;
    EXPECT_NE(error.find(c.expected_in_error), std::string::npos) << error;
  }
}

TEST(RunReport, TableShowsEveryFigureWithItsUnitAndTheRunDetails) {
  std::string error;
  const run_report report = *parse_report(sample_line, error);
  const std::string table = format_results_table(report, false);
  EXPECT_EQ(table.rfind("Results\n", 0), 0u) << table;
  const char* expected_lines[] = {
      "integer mixing, one thread                271  million steps/s\n",
      "integer mixing, all processors            397  million steps/s\n",
      "floating point, one thread               1351  MFLOP/s\n",
      "floating point, all processors           1533  MFLOP/s\n",
      "memory copy                              8150  MiB/s\n",
      "single-thread score                       472\n",
      "multi-thread score                        617\n",
      "processors                                  2\n",
      "duration                                20.12  s\n",
  };
  for (const char* line : expected_lines) {
    EXPECT_NE(table.find(line), std::string::npos) << "missing: " << line << "in\n" << table;
  }
  EXPECT_EQ(table.find('\r'), std::string::npos);
}

TEST(RunReport, TableOfACancelledRunSaysSo) {
  const std::string table = format_results_table(run_report{}, true);
  EXPECT_NE(table.find("cancelled"), std::string::npos) << table;
  EXPECT_EQ(table.find("Results\n"), std::string::npos) << table;
}

}  // namespace
}  // namespace quorvane::host
