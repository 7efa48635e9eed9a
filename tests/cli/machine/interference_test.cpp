// Other programs' share per phase, and the warnings, from fake processor
// times.
#include "machine/interference.h"

#include <gtest/gtest.h>

#include "results/variation_warnings.h"

namespace quorvane::host {
namespace {

// Two processors: total time grows 2 s per second of wall time.
platform::processor_times at(double wall, double busy, double own) {
  return {2.0 * wall, busy, own};
}

TEST(OtherLoad, IsTheMachinesBusyTimeLessOwnOverItsTotal) {
  // 4 s on two processors: 8 s in all; 6 s busy, 2 s of them this process.
  EXPECT_DOUBLE_EQ(*other_load_percent(at(0, 0, 0), at(4, 6, 2)), 50.0);
  EXPECT_DOUBLE_EQ(*other_load_percent(at(10, 3, 1), at(14, 7, 5)), 0.0);
  // Own time counted finer than the system's ticks: never below 0.
  EXPECT_DOUBLE_EQ(*other_load_percent(at(0, 0, 0), at(4, 2, 2.01)), 0.0);
  EXPECT_FALSE(other_load_percent(at(4, 0, 0), at(4, 1, 0)).has_value());
}

TEST(InterferenceWarnings, NameEveryPhaseAboveTenPercent) {
  const phase_loads loads = {0.0, 47.6, 10.0, 10.4, std::nullopt};
  EXPECT_EQ(interference_warnings(loads, 1, 1),
            (std::vector<std::string>{
                "warning: other programs used 48% of the processors during phase 2 (integer "
                "mixing, all processors); its figure is low",
                "warning: other programs used 10% of the processors during phase 4 (floating "
                "point, all processors); its figure is low"}));
  const std::vector<std::string> of_run = interference_warnings(loads, 2, 3);
  ASSERT_EQ(of_run.size(), 2U);
  EXPECT_NE(of_run[0].find("(integer mixing, all processors) of run 2/3; its figure is low"),
            std::string::npos)
      << of_run[0];
}

TEST(VariationWarnings, NameEveryFigureAboveThreePercent) {
  const nlohmann::json summary = {
      {"score_multi", {{"median", 3000}, {"min", 2800}, {"max", 3200}, {"cv_percent", 5.24}}},
      {"score_single", {{"median", 1500}, {"min", 1490}, {"max", 1510}, {"cv_percent", 3.0}}},
      {"int_single_mops", {{"median", 1}, {"min", 1}, {"max", 1}, {"cv_percent", nullptr}}},
      // threads_used and duration_ms are not figures of the machine's speed.
      {"duration_ms", {{"median", 20000}, {"min", 1}, {"max", 40000}, {"cv_percent", 80.0}}}};
  EXPECT_EQ(variation_warnings(summary, 3),
            (std::vector<std::string>{"warning: multi-thread score varied by 5.2% over 3 runs "
                                      "(coefficient of variation); above 3% the machine was not "
                                      "steady"}));
}

}  // namespace
}  // namespace quorvane::host
