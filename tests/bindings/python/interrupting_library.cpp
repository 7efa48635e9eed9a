// A stand-in for the library whose start raises SIGINT in the calling thread
// and then accepts the run, or refuses it while one is in progress, as if
// Ctrl-C arrived while quorvane_start ran. The run it opens never ends by
// itself: only a cancel closes it (state 3). stand_in_cancel_calls tells a
// test whether the host sent that cancel.
#include <atomic>
#include <csignal>

#define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::atomic<int> state{0};
std::atomic<int> cancel_calls{0};
std::atomic<bool> refused{false};
}  // namespace

STAND_IN_EXPORT const char* quorvane_version(void) { return "0.0.0-interrupting"; }
STAND_IN_EXPORT const char* quorvane_last_error(void) {
  return refused.load() ? "already running" : "";
}
STAND_IN_EXPORT int quorvane_state(void) { return state.load(); }
STAND_IN_EXPORT int quorvane_progress(void) { return 0; }
STAND_IN_EXPORT int quorvane_phase(void) { return 0; }
STAND_IN_EXPORT void quorvane_cancel(void) {
  cancel_calls.fetch_add(1);
  if (state.load() == 1) state.store(3);
}
STAND_IN_EXPORT int quorvane_start(void) {
  std::raise(SIGINT);
  refused.store(state.load() == 1);
  if (refused.load()) return -1;
  state.store(1);
  return 0;
}
STAND_IN_EXPORT const char* quorvane_results_json(void) {
  return "{\"score_single\":0,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
         "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":0,"
         "\"threads_used\":1,\"duration_ms\":1}";
}
STAND_IN_EXPORT int stand_in_cancel_calls(void) { return cancel_calls.load(); }
