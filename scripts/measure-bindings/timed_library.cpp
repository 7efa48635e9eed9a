// A stand-in for the library for measuring a host's polling: a run that lasts
// QUORVANE_STAND_IN_RUN_MS (default 10000) of wall-clock time and has no thread
// of its own, so every CPU second the host process spends is the host's.
// Progress and phase follow the clock as a real run's would.
#include <atomic>
#include <chrono>
#include <cstdlib>

#define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
using clock_type = std::chrono::steady_clock;
std::atomic<int> state{0};
std::atomic<int> cancelled{0};
std::atomic<long long> started_ns{0};
long long run_ms = 10000;

long long elapsed_ms() {
  const long long now = clock_type::now().time_since_epoch().count();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             clock_type::duration(now - started_ns.load()))
      .count();
}

// Closes the run once its time is up or a cancel came, as the run thread would.
int current_state() {
  if (state.load() == 1 && (cancelled.load() != 0 || elapsed_ms() >= run_ms)) {
    state.store(cancelled.load() != 0 ? 3 : 2);
  }
  return state.load();
}
}  // namespace

STAND_IN_EXPORT const char* quorvane_version(void) { return "1.0.0"; }
STAND_IN_EXPORT const char* quorvane_last_error(void) { return ""; }
STAND_IN_EXPORT int quorvane_state(void) { return current_state(); }
STAND_IN_EXPORT int quorvane_progress(void) {
  return current_state() == 1 ? static_cast<int>(elapsed_ms() * 5 / run_ms) * 20 : 100;
}
STAND_IN_EXPORT int quorvane_phase(void) {
  return current_state() == 1 ? static_cast<int>(elapsed_ms() * 5 / run_ms) + 1 : 0;
}
STAND_IN_EXPORT void quorvane_cancel(void) { cancelled.store(1); }
STAND_IN_EXPORT int quorvane_start(void) {
  if (current_state() == 1) return -1;
  if (const char* text = std::getenv("QUORVANE_STAND_IN_RUN_MS")) run_ms = std::atoll(text);
  cancelled.store(0);
  started_ns.store(clock_type::now().time_since_epoch().count());
  state.store(1);
  return 0;
}
STAND_IN_EXPORT const char* quorvane_results_json(void) {
  return "{\"score_single\":0,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
         "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":0,"
         "\"threads_used\":1,\"duration_ms\":0}";
}
