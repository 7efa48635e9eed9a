// The parsers that turn the children's and mbw's output into figures.
#include <gtest/gtest.h>

#include "child_output.h"
#include "mbw_peer.h"

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

}  // namespace
}  // namespace qbench
