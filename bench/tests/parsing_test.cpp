// The parsers that turn the children's, mbw's and the library's output
// into figures.
#include <gtest/gtest.h>

#include "child_output.h"
#include "mbw_peer.h"
#include "report_values.h"
#include "statistics.h"

namespace qbench {
namespace {

TEST(ChildOutput, ReadsKeysAndSkipsForeignLines) {
  const child_output parsed = child_output::parse(
      "int_rate 287.5\r\n"
      "0024:fixme:ntdll:NtQuerySystemInformation info_class 0\n"
      "report {\"a\":1,\"b\":2}\n"
      "cancel 1 20.5 3 0 500\n"
      " leading space 1\n"
      "cancel 1 21.5 3 0 2000\n"
      "lonely\n");
  EXPECT_DOUBLE_EQ(parsed.number("int_rate"), 287.5);
  EXPECT_EQ(parsed.text("report"), "{\"a\":1,\"b\":2}");
  ASSERT_EQ(parsed.all("cancel").size(), 2u);
  EXPECT_EQ(parsed.all("cancel")[1], "1 21.5 3 0 2000");
  EXPECT_FALSE(parsed.has("0024:fixme:ntdll:NtQuerySystemInformation"));
  EXPECT_FALSE(parsed.has("lonely"));
  EXPECT_FALSE(parsed.has("leading"));
  EXPECT_DOUBLE_EQ(parsed.number("missing", -1.0), -1.0);
  EXPECT_DOUBLE_EQ(parsed.number("report", -2.0), -2.0);
}

TEST(MbwPeer, ReadsTheAverageLineOnly) {
  const mbw_result dumb = parse_mbw_average(
      "0\tMethod: DUMB\tElapsed: 0.00731\tMiB: 64.00000\tCopy: 8757.526 MiB/s\n"
      "1\tMethod: DUMB\tElapsed: 0.00714\tMiB: 64.00000\tCopy: 8967.353 MiB/s\n"
      "AVG\tMethod: DUMB\tElapsed: 0.00722\tMiB: 64.00000\tCopy: 8861.198 MiB/s\n");
  ASSERT_TRUE(dumb.ok);
  EXPECT_EQ(dumb.method, "DUMB");
  EXPECT_DOUBLE_EQ(dumb.mib_per_s, 8861.198);
  EXPECT_DOUBLE_EQ(dumb.elapsed_s, 0.00722);

  const mbw_result loop = parse_mbw_average(
      "AVG\tMethod: MEMCPY\tElapsed: 0.00813\tMiB: 64.00000\tCopy: 7868.691 MiB/s\n");
  ASSERT_TRUE(loop.ok);
  EXPECT_EQ(loop.method, "MEMCPY");

  EXPECT_FALSE(
      parse_mbw_average("0\tMethod: DUMB\tElapsed: 0.00731\tMiB: 64.00000\tCopy: 1 MiB/s\n").ok);
  EXPECT_FALSE(parse_mbw_average("").ok);
}

TEST(ReportValues, ReadsTheLibraryReportAndRejectsOtherText) {
  const report_values values = parse_report(
      "{\"score_single\":521,\"score_multi\":353,\"int_single_mops\":186,\"int_multi_mops\":181,"
      "\"fp_single_mflops\":2109,\"fp_multi_mflops\":1130,\"mem_bandwidth_mbps\":1862,"
      "\"threads_used\":2,\"duration_ms\":20300}");
  ASSERT_TRUE(values.ok);
  EXPECT_DOUBLE_EQ(values.int_single_mops, 186);
  EXPECT_DOUBLE_EQ(values.int_multi_mops, 181);
  EXPECT_DOUBLE_EQ(values.fp_single_mflops, 2109);
  EXPECT_DOUBLE_EQ(values.fp_multi_mflops, 1130);
  EXPECT_DOUBLE_EQ(values.mem_bandwidth_mbps, 1862);
  EXPECT_EQ(values.threads_used, 2);
  EXPECT_DOUBLE_EQ(values.duration_ms, 20300);

  EXPECT_FALSE(parse_report("").ok);
  EXPECT_FALSE(parse_report("{\"int_single_mops\":1}").ok);
  EXPECT_FALSE(parse_report("{\"int_single_mops\":").ok);
}

TEST(Statistics, SummarisesOddEvenSingleAndEmpty) {
  const summary odd = summarize({3.0, 1.0, 2.0});
  EXPECT_EQ(odd.count, 3);
  EXPECT_DOUBLE_EQ(odd.median, 2.0);
  EXPECT_DOUBLE_EQ(odd.mean, 2.0);
  EXPECT_DOUBLE_EQ(odd.min, 1.0);
  EXPECT_DOUBLE_EQ(odd.max, 3.0);
  EXPECT_DOUBLE_EQ(odd.cv, 0.5);  // sample deviation 1 over mean 2

  EXPECT_DOUBLE_EQ(summarize({4.0, 1.0, 3.0, 2.0}).median, 2.5);
  EXPECT_DOUBLE_EQ(summarize({7.0}).cv, 0.0);
  EXPECT_DOUBLE_EQ(summarize({-1.0, 1.0}).cv, 0.0);  // mean 0: no ratio
  EXPECT_EQ(summarize({}).count, 0);
}

}  // namespace
}  // namespace qbench
