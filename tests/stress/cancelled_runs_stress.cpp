// Back-to-back cancelled runs: after each, the process's thread count comes
// back to what it was before the first (no thread of the library outlives
// its run), and resident memory does not grow from run to run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "process_stats.h"
#include "stress_support.h"

namespace {

using std::chrono::milliseconds;

TEST(Stress, CancelledRunsLeaveNoThreadAndNoMemoryBehind) {
  loaded_library lib(stress::library_path);
  const int threads_before = stress::baseline_thread_count();
  ASSERT_GT(threads_before, 0);

  // Runs before this one warm up what the process keeps for reuse (the
  // allocator's arenas, cached thread stacks); growth is measured after it.
  constexpr int warm_up_runs = 10;
  const int total_runs = stress::rounds(100);
  std::int64_t resident_after_warm_up = 0;
  std::int64_t resident_peak = 0;
  long longest_thread_exit_ms = 0;
  int runs = 0;
  std::string failure;
  for (int run = 0; run < total_runs && failure.empty(); ++run) {
    const std::string where = "run " + std::to_string(run) + ": ";
    if (lib.start() != 0) {
      failure = where + "start refused";
      break;
    }
    // The cancel lands at a different point of the opening or of phase 1's
    // window each time: before the worker exists, while it starts, while it
    // computes.
    std::this_thread::sleep_for(milliseconds(run * 7 % 31));
    lib.cancel();
    const int final_state = stress::wait_for_final(lib);
    const auto closed = std::chrono::steady_clock::now();
    const int threads = stress::wait_for_thread_count(threads_before, stress::thread_exit_limit);
    longest_thread_exit_ms = std::max<long>(
        longest_thread_exit_ms,
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - closed)
            .count());
    ++runs;

    const std::int64_t resident = stress::resident_kib();
    if (run + 1 == warm_up_runs) resident_after_warm_up = resident;
    if (run + 1 > warm_up_runs) resident_peak = std::max(resident_peak, resident);

    if (final_state != 3) {
      failure = where + "final state " + std::to_string(final_state);
    } else if (threads != threads_before) {
      failure = where + std::to_string(threads) + " threads, " + std::to_string(threads_before) +
                " before the first run";
    }
  }

  const std::int64_t growth = resident_peak - resident_after_warm_up;
  std::printf(
      "runs %d; threads before %d, after %d (longest wait for the run thread to leave %ld ms); "
      "resident after %d runs %lld KiB, peak after %lld KiB, growth %lld KiB\n",
      runs, threads_before, stress::thread_count(), longest_thread_exit_ms, warm_up_runs,
      static_cast<long long>(resident_after_warm_up), static_cast<long long>(resident_peak),
      static_cast<long long>(growth));
  EXPECT_EQ(failure, "");
  EXPECT_EQ(runs, total_runs);
  // A run that kept one worker's matrix set, or a thread's stack, would
  // add at least 96 KiB a run: several MiB over the measured runs.
  EXPECT_LE(growth, QUORVANE_STRESS_RESIDENT_SLACK_KIB);
}

}  // namespace
