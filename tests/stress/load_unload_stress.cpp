// A host that loads the library, starts a run, cancels it, waits for the
// final state and unloads the library at once, round after round.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "legal_values.h"
#include "process_stats.h"
#include "stress_support.h"
#include "usable_processors.h"

namespace {

bool library_mapped() {
  void* handle = dlopen(stress::library_path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

TEST(Stress, LoadStartCancelWaitUnloadRounds) {
  const int threads_before = stress::baseline_thread_count();
  ASSERT_GT(threads_before, 0);

  // Before any run the library really goes away at unload and comes back
  // in its load state: nothing of it survives, and nothing needs to.
  for (int round = 0; round < 5; ++round) {
    loaded_library lib(stress::library_path);
    EXPECT_EQ(lib.state(), 0) << round;
    EXPECT_STREQ(lib.last_error(), "") << round;
    lib.unload();
    EXPECT_FALSE(library_mapped()) << "round " << round << ": still mapped after unload";
  }

  // The first start pins the library resident, because its run thread may
  // still be leaving the library's code when the host sees the final state
  // and unloads. So from the second round on, the state a fresh load shows
  // is the previous round's cancelled run.
  const int total_rounds = stress::rounds(200);
  int rounds_run = 0;
  std::string failure;
  for (int round = 0; round < total_rounds && failure.empty(); ++round) {
    const std::string where = "round " + std::to_string(round) + ": ";
    loaded_library lib(stress::library_path);
    const int state_at_load = lib.state();
    const int expected_at_load = round == 0 ? 0 : 3;
    const int started = lib.start();
    const std::string error = stress::read_error_text(lib.last_error());
    lib.cancel();
    const int final_state = stress::wait_for_final(lib);
    const int phase = lib.phase();
    const std::string problem = stress::report_problem(lib.results_json(), usable_processors());
    lib.unload();
    ++rounds_run;

    if (state_at_load != expected_at_load) {
      failure = where + "state " + std::to_string(state_at_load) + " at load";
    } else if (started != 0) {
      failure = where + "start refused: " + error;
    } else if (final_state != 3) {
      failure = where + "final state " + std::to_string(final_state);
    } else if (phase != 0) {
      failure = where + "phase " + std::to_string(phase) + " after the close";
    } else if (!problem.empty()) {
      failure = where + "report " + problem;
    } else if (!library_mapped()) {
      failure = where + "unmapped after unload although a run thread may be in its code";
    }
  }

  const int threads_after =
      stress::wait_for_thread_count(threads_before, stress::thread_exit_limit);
  std::printf("rounds %d; threads before %d, after %d\n", rounds_run, threads_before,
              threads_after);
  EXPECT_EQ(failure, "");
  EXPECT_EQ(rounds_run, total_rounds);
  EXPECT_EQ(threads_after, threads_before) << "a run thread or worker outlived its run";
}

}  // namespace
