// The exported control surface: version, last error, state, phase, progress,
// cancel and start.
#include "quorvane/quorvane.h"

#include "control/error_text.h"
#include "control/run_state.h"
#include "engine/bench_main.h"
#include "platform/platform.h"

namespace quorvane {
namespace {

// Serialises quorvane_start against itself. Without it two host threads that
// start at once could both pass the running test and start two runs; with it
// the later caller waits the few microseconds the earlier one needs to create
// its thread, then sees state 1 and is refused.
std::atomic<std::int32_t> g_start_gate{0};

void lock_start_gate() {
  while (g_start_gate.exchange(1, std::memory_order_acquire) != 0) {
    platform::sleep_ms(0);
  }
}

void unlock_start_gate() { g_start_gate.store(0, std::memory_order_release); }

int start_locked() {
  if (g_state.load(std::memory_order_acquire) == state_running) {
    set_error_text("already running");
    return -1;
  }
  set_error_text("");
  g_cancel.store(0);
  g_progress.store(0);
  g_phase.store(0);
  g_state.store(state_running);

  platform::module_ref_take();
  platform::thread_handle run_thread = platform::thread_create(&bench_main, nullptr);
  if (run_thread != nullptr) {
    // The run thread is never joined; it ends by itself after its closing.
    platform::thread_release(run_thread);
    return 0;
  }
  platform::module_ref_drop();
  g_state.store(state_idle);
  set_error_text("thread create failed");
  return -1;
}

}  // namespace
}  // namespace quorvane

extern "C" {

QUORVANE_API const char* quorvane_version(void) { return QUORVANE_VERSION_STRING; }

QUORVANE_API const char* quorvane_last_error(void) { return quorvane::g_err; }

QUORVANE_API int quorvane_state(void) { return quorvane::g_state.load(std::memory_order_acquire); }

QUORVANE_API int quorvane_progress(void) { return quorvane::g_progress.load(); }

QUORVANE_API int quorvane_phase(void) { return quorvane::g_phase.load(); }

QUORVANE_API void quorvane_cancel(void) { quorvane::g_cancel.store(1); }

QUORVANE_API int quorvane_start(void) {
  quorvane::lock_start_gate();
  const int result = quorvane::start_locked();
  quorvane::unlock_start_gate();
  return result;
}

}  // extern "C"
