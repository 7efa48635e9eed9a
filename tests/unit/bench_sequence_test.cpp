// The run thread's sequence: phases, progress, cancel points, the memory
// test, the commit and the closing, through the exports and the fake
// platform.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "control/run_state.h"
#include "fake_platform.h"
#include "host_fp_mode.h"
#include "run_helpers.h"

namespace {

using testing_support::report;
using testing_support::wait_for_close;

const char* const measurement_keys[] = {"int_single_mops", "int_multi_mops", "fp_single_mflops",
                                        "fp_multi_mflops", "mem_bandwidth_mbps"};

TEST(BenchSequence, FullRunPassesThroughEveryPhaseAndReports) {
  fake::reset();
  // The fill takes 500 fake ms, before the copy window opens.
  fake::settings().fill_ms = 500;
  std::vector<int> phases_seen;
  std::vector<int> progress_seen;
  fake::settings().on_sleep = [&](std::uint32_t) {
    if (phases_seen.empty() || phases_seen.back() != quorvane_phase()) {
      phases_seen.push_back(quorvane_phase());
      progress_seen.push_back(quorvane_progress());
    }
  };
  fake::settings().on_copy = [&](int copies) {
    if (copies == 1) {
      phases_seen.push_back(quorvane_phase());
      progress_seen.push_back(quorvane_progress());
    }
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 2);

  EXPECT_EQ(phases_seen, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(progress_seen, (std::vector<int>{2, 20, 40, 60, 80}));
  EXPECT_EQ(quorvane_phase(), 0);
  EXPECT_EQ(quorvane_progress(), 100);

  const auto json = report();
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"score_single", "score_multi", "int_single_mops",
                                            "int_multi_mops", "fp_single_mflops", "fp_multi_mflops",
                                            "mem_bandwidth_mbps", "threads_used", "duration_ms"}));
  for (const char* key : measurement_keys) EXPECT_GT(json[key].get<double>(), 0.0) << key;
  // Four copies of 64 MiB, each moving the fake clock 1000 ms: 64 MiB/s.
  EXPECT_EQ(json["mem_bandwidth_mbps"].get<double>(), 64.0);
  EXPECT_EQ(json["threads_used"].get<int>(), 2);
  // Five windows of 4000 fake milliseconds and the fill; nothing else moves
  // the clock.
  EXPECT_EQ(json["duration_ms"].get<std::uint64_t>(), 20500u);
  EXPECT_EQ(quorvane::g_res.duration_ms.load(), 20500u);
  EXPECT_EQ(fake::count().blocks_obtained.load(), 2);
  EXPECT_EQ(fake::count().blocks_given_back.load(), 2);
  // Worker threads 1 + 2 + 1 + 2, all joined; the run thread released.
  EXPECT_EQ(fake::count().threads_created.load(), 7);
  EXPECT_EQ(fake::count().threads_joined.load(), 6);
  EXPECT_EQ(fake::count().threads_released.load(), 1);
  EXPECT_EQ(fake::count().matrix_sets_created.load(), 3) << "matrix workers only";
  EXPECT_EQ(fake::count().matrix_sets_released.load(), 3);
}

TEST(BenchSequence, CancelAfterEachLoadPhaseKeepsOpeningResults) {
  for (int phase = 1; phase <= 4; ++phase) {
    fake::reset();
    fake::settings().processors = 3;
    fake::settings().on_sleep = [phase](std::uint32_t) {
      if (quorvane_phase() == phase) quorvane_cancel();
    };
    ASSERT_EQ(quorvane_start(), 0);
    ASSERT_EQ(wait_for_close(), 3) << phase;
    EXPECT_EQ(quorvane_progress(), 20 * phase);
    EXPECT_EQ(quorvane_phase(), 0);
    const auto json = report();
    for (const char* key : measurement_keys) EXPECT_EQ(json[key].get<double>(), 0.0) << key;
    EXPECT_EQ(json["score_single"].get<double>(), 0.0);
    EXPECT_EQ(json["score_multi"].get<double>(), 0.0);
    EXPECT_EQ(json["threads_used"].get<int>(), 3);
    // The cancel is seen at the first poll after it: 20 ms into the phase.
    EXPECT_EQ(json["duration_ms"].get<std::uint64_t>(), 4000u * (phase - 1) + 20u) << phase;
    EXPECT_EQ(fake::count().block_requests.load(), 0) << "no memory phase";
  }
}

TEST(BenchSequence, CancelBetweenLastWindowTestAndOpeningOfPhase) {
  // The cancel comes right after phase 2's window closed but before the test
  // that follows it: the run still ends after phase 2.
  fake::reset();
  fake::settings().on_clock = [] {
    if (quorvane_phase() == 2 && fake::clock_ms() >= 8000) quorvane_cancel();
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 3);
  EXPECT_EQ(quorvane_progress(), 40);
  EXPECT_EQ(fake::count().threads_created.load(), 1 + 1 + 2);
}

TEST(BenchSequence, CancelDuringCopyLoopMeasuresShortenedWindow) {
  fake::reset();
  fake::settings().on_copy = [](int copies) {
    if (copies == 2) quorvane_cancel();
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 3);
  EXPECT_EQ(quorvane_progress(), 100);
  const auto json = report();
  for (const char* key : measurement_keys) EXPECT_GT(json[key].get<double>(), 0.0) << key;
  // Two copies in 2000 fake ms.
  EXPECT_EQ(json["mem_bandwidth_mbps"].get<double>(), 64.0);
  EXPECT_EQ(fake::count().copies.load(), 2);
  EXPECT_EQ(fake::count().blocks_given_back.load(), 2);
}

TEST(BenchSequence, CancelBeforeCopyLoopGivesZeroBandwidthAndOtherResults) {
  fake::reset();
  // The cancel arrives while the blocks are requested, after the test that
  // follows phase 4.
  fake::settings().allow_block = [](int) {
    quorvane_cancel();
    return true;
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 3);
  EXPECT_EQ(quorvane_progress(), 100);
  EXPECT_EQ(fake::count().copies.load(), 0);
  const auto json = report();
  EXPECT_EQ(json["mem_bandwidth_mbps"].get<double>(), 0.0);
  for (const char* key :
       {"int_single_mops", "int_multi_mops", "fp_single_mflops", "fp_multi_mflops"})
    EXPECT_GT(json[key].get<double>(), 0.0) << key;
}

TEST(BenchSequence, CancelAfterCommitStillEndsCancelled) {
  fake::reset();
  // The closing's clock reading comes after progress 100.
  fake::settings().on_clock = [] {
    if (quorvane_progress() == 100) quorvane_cancel();
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 3);
  const auto json = report();
  for (const char* key : measurement_keys) EXPECT_GT(json[key].get<double>(), 0.0) << key;
  EXPECT_EQ(json["duration_ms"].get<std::uint64_t>(), 20000u);
}

TEST(BenchSequence, BlockFailureGivesZeroBandwidthAndGivesBackTheOther) {
  for (int failing = 0; failing < 2; ++failing) {
    fake::reset();
    fake::settings().allow_block = [failing](int number) { return number != failing; };
    ASSERT_EQ(quorvane_start(), 0);
    ASSERT_EQ(wait_for_close(), 2) << "a failed block is no failure of the run";
    EXPECT_EQ(fake::count().block_requests.load(), 2) << "both are requested before the test";
    EXPECT_EQ(fake::count().blocks_obtained.load(), 1);
    EXPECT_EQ(fake::count().blocks_given_back.load(), 1);
    EXPECT_EQ(fake::count().copies.load(), 0);
    const auto json = report();
    EXPECT_EQ(json["mem_bandwidth_mbps"].get<double>(), 0.0);
    EXPECT_GT(json["fp_multi_mflops"].get<double>(), 0.0);
    EXPECT_STREQ(quorvane_last_error(), "");
  }
}

TEST(BenchSequence, ThreeHundredProcessorsRun256WorkersAndReport300) {
  fake::reset();
  fake::settings().processors = 300;
  fake::settings().real_sleep_us = 0;
  // Matrix workers without storage end at once, which keeps 512 workers on
  // two cores quick under the sanitizers; only the counts matter here.
  fake::settings().allow_matrices = [] { return false; };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 2);
  EXPECT_EQ(fake::count().threads_created.load(), 1 + 1 + 256 + 1 + 256);
  EXPECT_EQ(report()["threads_used"].get<int>(), 300);
}

TEST(BenchSequence, ReportDuringRunShowsOpeningValues) {
  fake::reset();
  fake::settings().processors = 5;
  std::string during;
  fake::settings().on_sleep = [&](std::uint32_t) {
    if (quorvane_phase() == 3 && during.empty()) during = quorvane_results_json();
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 2);
  EXPECT_EQ(during,
            "{\"score_single\":0,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
            "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":0,"
            "\"threads_used\":5,\"duration_ms\":0}");
}

TEST(BenchSequence, ZeroElapsedCopyWindowGivesZeroBandwidth) {
  // Copies that take no time on the clock: the window never ends by time, so
  // a cancel after the third copy ends it with zero elapsed milliseconds.
  fake::reset();
  fake::settings().copy_ms = 0;
  fake::settings().on_copy = [](int copies) {
    if (copies == 3) quorvane_cancel();
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 3);
  EXPECT_EQ(report()["mem_bandwidth_mbps"].get<double>(), 0.0);
  EXPECT_EQ(fake::count().copies.load(), 3);
}

// Every window lasts exactly 4000 fake ms and the fake counts the iterations
// each phase's workers finished, so every rate, each of the four conversions
// and both scores are known exactly.
void expect_exact_conversions() {
  const auto& iterations = fake::count().phase_iterations;
  double rate[5] = {};
  for (int phase = 1; phase <= 4; ++phase) {
    EXPECT_GT(iterations[phase].load(), 0u) << "phase " << phase;
    rate[phase] = static_cast<double>(iterations[phase].load()) * 1000.0 / 4000.0;
  }
  const double int_single = rate[1] * 1000000.0 / 1000000.0;
  const double int_multi = rate[2] * 1000000.0 / 1000000.0;
  const double fp_single = 524288.0 * rate[3] / 1000000.0;
  const double fp_multi = 524288.0 * rate[4] / 1000000.0;
  EXPECT_EQ(quorvane::g_res.int_single_mops.load(), int_single);
  EXPECT_EQ(quorvane::g_res.int_multi_mops.load(), int_multi);
  EXPECT_EQ(quorvane::g_res.fp_single_mflops.load(), fp_single);
  EXPECT_EQ(quorvane::g_res.fp_multi_mflops.load(), fp_multi);
  const auto json = report();
  EXPECT_EQ(json["score_single"].get<double>(),
            std::nearbyint(int_single / 550.0 * 500.0 + fp_single / 3000.0 * 500.0));
  EXPECT_EQ(json["score_multi"].get<double>(),
            std::nearbyint(int_multi / 550.0 * 500.0 + fp_multi / 3000.0 * 500.0));
}

TEST(BenchSequence, ConversionsAndScoresAreExactForTheCountedIterations) {
  fake::reset();
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 2);
  expect_exact_conversions();
}

// The run thread computes to nearest, whatever the starting host thread's
// environment: its rates and conversions are the same exact values.
TEST(BenchSequence, RunStartedByAnUpwardHostComputesToNearest) {
  fake::reset();
  {
    const testing_support::upward_fp_mode upward;
    ASSERT_EQ(quorvane_start(), 0);
  }
  ASSERT_EQ(wait_for_close(), 2);
  expect_exact_conversions();
}

// A host that sees the final state must see every result of the run: the
// report read at the very moment of the final-state store is the report of
// the closed run.
TEST(BenchSequence, ReportAtTheFinalStateStoreHoldsEveryResult) {
  if (!fake::watch_final_state()) GTEST_SKIP() << "no single-stepping here";
  fake::reset();
  int state_at_store = 0;
  std::string report_at_store;
  std::atomic<bool> looked{false};
  fake::settings().at_final_state = [&] {
    state_at_store = quorvane_state();
    report_at_store = quorvane_results_json();
    looked.store(true);
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 2);
  // The look runs on the run thread just after the store this thread saw.
  for (int ms = 0; ms < 10000 && !looked.load(); ++ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(looked.load());
  EXPECT_EQ(state_at_store, 2);
  EXPECT_EQ(report_at_store, quorvane_results_json());
  EXPECT_EQ(report()["duration_ms"].get<std::uint64_t>(), 20000u);
}

}  // namespace
