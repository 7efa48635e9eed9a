// The report's format, scores, rounding and bounds, from chosen records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "control/run_state.h"
#include "host_fp_mode.h"
#include "run_helpers.h"

namespace {

using quorvane::g_res;

void set_record(double int_single, double int_multi, double fp_single, double fp_multi, double mem,
                std::int32_t threads, std::uint64_t duration) {
  g_res.int_single_mops.store(int_single);
  g_res.int_multi_mops.store(int_multi);
  g_res.fp_single_mflops.store(fp_single);
  g_res.fp_multi_mflops.store(fp_multi);
  g_res.mem_bandwidth_mbps.store(mem);
  g_res.threads_used.store(threads);
  g_res.duration_ms.store(duration);
}

TEST(Report, FormatsEveryFieldInOrderWithoutWhitespace) {
  set_record(1100, 2200, 6000, 12000, 9876.4, 2, 20123);
  EXPECT_STREQ(quorvane_results_json(),
               "{\"score_single\":2000,\"score_multi\":4000,\"int_single_mops\":1100,"
               "\"int_multi_mops\":2200,\"fp_single_mflops\":6000,\"fp_multi_mflops\":12000,"
               "\"mem_bandwidth_mbps\":9876,\"threads_used\":2,\"duration_ms\":20123}");
}

TEST(Report, ExactHalvesRoundToEven) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{0.5, "0"},
               {1.5, "2"},
               {2.5, "2"},
               {3.5, "4"},
               {0.49999999999999994, "0"},
               {2.5000000000000004, "3"},
               {1e15 + 0.5, "1000000000000000"}};
  for (const auto& c : cases) {
    set_record(0, 0, 0, 0, c.value, 0, 0);
    const std::string json = quorvane_results_json();
    EXPECT_NE(json.find(std::string("\"mem_bandwidth_mbps\":") + c.text + ","), std::string::npos)
        << c.value << " gave " << json;
  }
}

TEST(Report, ScoresUseReferenceRatesAndIgnoreMemory) {
  set_record(550, 1100, 3000, 1500, 123456, 4, 1);
  auto json = testing_support::report();
  EXPECT_EQ(json["score_single"].get<double>(), 1000.0);
  EXPECT_EQ(json["score_multi"].get<double>(), 1250.0);

  // fp 3 alone is worth exactly 0.5 points, printed as 0.
  set_record(0, 0, 3, 0, 0, 0, 0);
  EXPECT_EQ(testing_support::report()["score_single"].get<double>(), 0.0);
  // 9 MFLOPS is 1.5 points, printed as 2; 15 is 2.5, printed as 2.
  set_record(0, 0, 9, 15, 0, 0, 0);
  json = testing_support::report();
  EXPECT_EQ(json["score_single"].get<double>(), 2.0);
  EXPECT_EQ(json["score_multi"].get<double>(), 2.0);
}

TEST(Report, LargeDurationAndNegativeThreadCountPrintWhole) {
  set_record(0, 0, 0, 0, 0, -1, 18446744073709551615ull);
  const std::string json = quorvane_results_json();
  EXPECT_NE(json.find("\"threads_used\":-1,\"duration_ms\":18446744073709551615}"),
            std::string::npos)
      << json;
}

TEST(Report, OverlongOutputIsCutAndTerminated) {
  // Values of hundreds of digits overflow the 1024-byte buffer.
  set_record(1e300, 1e300, 1e300, 1e300, 1e300, 0, 0);
  const char* json = quorvane_results_json();
  EXPECT_EQ(std::strlen(json), 1023u);
  EXPECT_EQ(std::strncmp(json, "{\"score_single\":", 16), 0);
}

TEST(Report, PointerIsTheSameBufferEveryCall) {
  set_record(0, 0, 0, 0, 0, 0, 0);
  const char* first = quorvane_results_json();
  set_record(0, 0, 0, 0, 0, 7, 0);
  EXPECT_EQ(quorvane_results_json(), first);
  EXPECT_NE(std::string(first).find("\"threads_used\":7,"), std::string::npos);
}

// A host thread that rounds upward and flushes denormals asks for the
// report: the scores are computed and the values printed to nearest, even,
// and the host's environment is back when the call returns.
TEST(Report, RoundsToNearestFromAnUpwardHostAndRestoresItsMode) {
  const testing_support::upward_fp_mode upward;
  set_record(0.5, 2.5, 0, 0, 3.5, 1, 2);
  const std::string halves = quorvane_results_json();
  EXPECT_TRUE(testing_support::upward_fp_mode::in_effect());
  // fp 3 and 15 MFLOPS are 0.5 and 2.5 points to nearest; upward, both
  // quotients round up and the scores print as 1 and 3.
  set_record(0, 0, 3, 15, 0, 1, 2);
  const std::string scores = quorvane_results_json();
  EXPECT_TRUE(testing_support::upward_fp_mode::in_effect());
  EXPECT_EQ(halves,
            "{\"score_single\":0,\"score_multi\":2,\"int_single_mops\":0,\"int_multi_mops\":2,"
            "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":4,"
            "\"threads_used\":1,\"duration_ms\":2}");
  EXPECT_EQ(scores,
            "{\"score_single\":0,\"score_multi\":2,\"int_single_mops\":0,\"int_multi_mops\":0,"
            "\"fp_single_mflops\":3,\"fp_multi_mflops\":15,\"mem_bandwidth_mbps\":0,"
            "\"threads_used\":1,\"duration_ms\":2}");
}

}  // namespace
