// The timed load runner: worker count, window boundary, cancel, failures.
#include <gtest/gtest.h>

#include "control/run_state.h"
#include "engine/run_load.h"
#include "fake_platform.h"

namespace quorvane {
namespace {

class RunLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    g_cancel.store(0);
  }
  void TearDown() override { g_cancel.store(0); }
};

TEST_F(RunLoad, WorkerCountIsCappedAt256AndAllAreJoined) {
  const struct {
    std::int32_t threads;
    int workers;
  } cases[] = {{1, 1}, {3, 3}, {256, 256}, {257, 256}, {300, 256}, {0, 0}, {-5, 0}};
  for (const auto& c : cases) {
    fake::reset({});
    fake::settings().real_sleep_us = 0;
    const double rate = run_load(kind_int_mix, c.threads);
    EXPECT_EQ(fake::count().threads_created.load(), c.workers) << c.threads;
    EXPECT_EQ(fake::count().threads_joined.load(), c.workers) << c.threads;
    EXPECT_EQ(fake::count().threads_released.load(), 0) << "joined threads are not detached";
    // The window runs its full 4000 ms even without workers.
    EXPECT_EQ(fake::clock_ms(), 4000) << c.threads;
    if (c.workers == 0) {
      EXPECT_EQ(rate, 0.0);
    }
  }
}

TEST_F(RunLoad, RateIsIterationsPerSecondOverTheWindow) {
  // Two workers run for 200 real milliseconds of a 4000 ms fake window.
  const double rate = run_load(kind_int_mix, 2);
  EXPECT_GT(rate, 0.0);
  // Whole iterations over exactly 4000 ms: a multiple of 0.25.
  EXPECT_EQ(rate * 4.0, static_cast<double>(static_cast<std::uint64_t>(rate * 4.0)));
}

TEST_F(RunLoad, WindowBoundary3999TakesOneMoreSleep4000Ends) {
  for (const std::int64_t first_step : {3999, 4000, 4001}) {
    fake::reset();
    fake::settings().real_sleep_us = 0;
    int sleeps = 0;
    // The first sleep moves the clock to first_step; later ones by 20 ms.
    fake::settings().sleep_scale = 0;
    fake::settings().on_sleep = [&](std::uint32_t) {
      fake::advance_ms(++sleeps == 1 ? first_step : 20);
    };
    run_load(kind_int_mix, 0);
    EXPECT_EQ(sleeps, first_step < 4000 ? 2 : 1) << first_step;
  }
}

TEST_F(RunLoad, CancelPresentAtOpeningEndsWindowWithoutSleepAndZeroElapsedGivesZero) {
  g_cancel.store(1);
  const double rate = run_load(kind_int_mix, 4);
  EXPECT_EQ(fake::count().sleeps.load(), 0);
  EXPECT_EQ(fake::count().threads_joined.load(), 4) << "created workers are still joined";
  EXPECT_EQ(rate, 0.0) << "the clock did not move: elapsed 0 gives rate 0";
}

TEST_F(RunLoad, CancelDuringWindowEndsItAtNextPoll) {
  fake::settings().on_sleep = [](std::uint32_t) {
    if (fake::clock_ms() == 100) g_cancel.store(1);
  };
  run_load(kind_matrix, 1);
  // Polls at 0, 20, ..., 100 sleep; the test after the sleep at 100 sees it.
  EXPECT_EQ(fake::clock_ms(), 120);
  EXPECT_EQ(fake::count().sleeps.load(), 6);
}

TEST_F(RunLoad, FailedWorkerCreationOnlyLowersTheRate) {
  // Every other worker is not created: its slot has no thread to join.
  fake::settings().allow_thread = [](int number) { return number % 2 == 0; };
  const double rate = run_load(kind_int_mix, 6);
  EXPECT_EQ(fake::count().threads_created.load(), 3);
  EXPECT_EQ(fake::count().threads_refused.load(), 3);
  EXPECT_EQ(fake::count().threads_joined.load(), 3);
  EXPECT_GE(rate, 0.0);
}

TEST_F(RunLoad, AllWorkersFailingGivesZero) {
  fake::settings().allow_thread = [](int) { return false; };
  fake::settings().real_sleep_us = 0;
  EXPECT_EQ(run_load(kind_matrix, 3), 0.0);
  EXPECT_EQ(fake::count().threads_joined.load(), 0);
}

TEST_F(RunLoad, OnlyMatrixWorkersGetMatricesAndReleaseThemAtThreadEnd) {
  run_load(kind_int_mix, 3);
  EXPECT_EQ(fake::count().matrix_sets_created.load(), 0);
  run_load(kind_matrix, 3);
  EXPECT_EQ(fake::count().matrix_sets_created.load(), 3);
  EXPECT_EQ(fake::count().matrix_sets_released.load(), 3);
}

}  // namespace
}  // namespace quorvane
