#include "engine/bench_main.h"

#include "control/run_state.h"
#include "engine/clock.h"
#include "engine/memory_test.h"
#include "engine/run_load.h"

namespace quorvane {
namespace {

constexpr double million = 1000000.0;
constexpr double flops_per_matrix_iteration = 524288.0;  // 64^3 multiply-adds, 2 each

struct phase_plan {
  std::int32_t kind;
  bool all_processors;
  std::int32_t progress_after;
};

constexpr phase_plan load_phases[4] = {
    {kind_int_mix, false, 20},
    {kind_int_mix, true, 40},
    {kind_matrix, false, 60},
    {kind_matrix, true, 80},
};

// Runs phases 1 to 5 and commits; returns false when a cancel request seen
// after one of phases 1 to 4 ends the run without a commit.
bool measure_and_commit(std::int32_t processors) {
  double rates[4] = {0.0, 0.0, 0.0, 0.0};
  for (int index = 0; index < 4; ++index) {
    const phase_plan& phase = load_phases[index];
    g_phase.store(index + 1);
    rates[index] = run_load(phase.kind, phase.all_processors ? processors : 1);
    g_progress.store(phase.progress_after);
    if (g_cancel.load() != 0) return false;
  }

  g_phase.store(5);
  const double bandwidth = measure_copy_bandwidth();

  constexpr auto relaxed = std::memory_order_relaxed;
  g_res.mem_bandwidth_mbps.store(bandwidth, relaxed);
  g_progress.store(100);
  g_res.int_single_mops.store(rates[0] * million / million, relaxed);
  g_res.int_multi_mops.store(rates[1] * million / million, relaxed);
  g_res.fp_single_mflops.store(flops_per_matrix_iteration * rates[2] / million, relaxed);
  g_res.fp_multi_mflops.store(flops_per_matrix_iteration * rates[3] / million, relaxed);
  return true;
}

void run_benchmark() {
  // Opening.
  const std::int64_t t_run = now_ms();
  const std::int32_t processors = platform::processor_count();
  g_phase.store(1);
  constexpr auto relaxed = std::memory_order_relaxed;
  g_res.int_single_mops.store(0.0, relaxed);
  g_res.int_multi_mops.store(0.0, relaxed);
  g_res.fp_single_mflops.store(0.0, relaxed);
  g_res.fp_multi_mflops.store(0.0, relaxed);
  g_res.mem_bandwidth_mbps.store(0.0, relaxed);
  g_res.duration_ms.store(0, relaxed);
  g_res.threads_used.store(processors, relaxed);
  g_progress.store(2);

  measure_and_commit(processors);

  // Closing: the final state is stored last, with release ordering, so a
  // host that reads it sees every result above.
  const std::int64_t t_end = now_ms();
  g_phase.store(0);
  g_res.duration_ms.store(elapsed_ms(t_run, t_end), relaxed);
  const std::int32_t final_state = g_cancel.load() != 0 ? state_cancelled : state_finished;
  g_state.store(final_state, std::memory_order_release);
}

}  // namespace

platform::thread_result QUORVANE_THREAD_CALL bench_main(void* /*unused*/) {
  // The rates and their conversions are computed to nearest, whatever
  // environment the starting host thread handed down.
  platform::fp_enter_default();
  run_benchmark();
  // After the final state the host may unload the library at once; the
  // platform keeps the code loaded until this thread has left it.
  platform::run_thread_exit();
  return platform::thread_result{};
}

}  // namespace quorvane
