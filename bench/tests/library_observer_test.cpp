#include "library_observer.h"

#include <gtest/gtest.h>

#include <memory>

#include "run/library_api.h"

namespace qbench {
namespace {

// The fake library with its exports resolved by the host's loader.
std::unique_ptr<quorvane::host::loaded_library> load_fake() {
  std::string error;
  std::unique_ptr<quorvane::host::loaded_library> library =
      quorvane::host::load_library(FAKE_LIBRARY_PATH, error);
  EXPECT_NE(library, nullptr) << error;
  return library;
}

TEST(LibraryObserver, WholeRunWaitsForTheFinalStateAndReadsTheReport) {
  const auto library = load_fake();
  ASSERT_NE(library, nullptr);
  const library_api& api = library->api();
  const run_observation seen = observe_whole_run(api);
  EXPECT_EQ(seen.start_result, 0);
  EXPECT_EQ(seen.final_state, 2);
  EXPECT_EQ(seen.report, "{\"finished\":1}");
  EXPECT_GT(seen.wall_ms, 0.0);
  EXPECT_GE(seen.peak_resident_kib, seen.resident_before_kib);
}

TEST(LibraryObserver, CancelLandsInTheAskedPhaseAndWaitsForStateThree) {
  const auto library = load_fake();
  ASSERT_NE(library, nullptr);
  const library_api& api = library->api();
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
