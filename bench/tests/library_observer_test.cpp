#include "library_observer.h"

#include <gtest/gtest.h>

#include "library_api.h"

namespace qbench {
namespace {

TEST(LoadLibrary, ResolvesAllEightExportsOrNamesTheMissingOne) {
  library_api api;
  std::string error;
  ASSERT_TRUE(load_library(FAKE_LIBRARY_PATH, api, error)) << error;
  EXPECT_STREQ(api.version(), "fake");

  library_api partial;
  EXPECT_FALSE(load_library(FAKE_LIBRARY_WITHOUT_REPORT_PATH, partial, error));
  EXPECT_NE(error.find("quorvane_results_json"), std::string::npos) << error;

  EXPECT_FALSE(load_library("/nonexistent/library.so", partial, error));
  EXPECT_FALSE(error.empty());
}

TEST(LibraryObserver, WholeRunWaitsForTheFinalStateAndReadsTheReport) {
  library_api api;
  std::string error;
  ASSERT_TRUE(load_library(FAKE_LIBRARY_PATH, api, error)) << error;
  const run_observation seen = observe_whole_run(api);
  EXPECT_EQ(seen.start_result, 0);
  EXPECT_EQ(seen.final_state, 2);
  EXPECT_EQ(seen.report, "{\"finished\":1}");
  EXPECT_GT(seen.wall_ms, 0.0);
  EXPECT_GE(seen.peak_resident_kib, seen.resident_before_kib);
}

TEST(LibraryObserver, CancelLandsInTheAskedPhaseAndWaitsForStateThree) {
  library_api api;
  std::string error;
  ASSERT_TRUE(load_library(FAKE_LIBRARY_PATH, api, error)) << error;
  for (int phase = 1; phase <= 5; ++phase) {
    const cancel_observation seen = observe_cancel(api, phase, 2);
    EXPECT_EQ(seen.start_result, 0);
    EXPECT_EQ(seen.phase_at_cancel, phase);
    EXPECT_EQ(seen.final_state, 3);
    EXPECT_EQ(seen.phase_after, 0);
    EXPECT_EQ(seen.report, "{\"cancelled\":1}");
    EXPECT_GE(seen.latency_ms, 0.0);
  }
}

}  // namespace
}  // namespace qbench
