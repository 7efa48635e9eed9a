// A stand-in for the library with the same eight exports, whose run walks
// through phases 1 to 5 in 10 ms steps and ends at once on a cancel, so the
// observer's logic can be checked in milliseconds.
#include <atomic>
#include <chrono>
#include <thread>

#if defined(_WIN32)
#  define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#  define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

std::atomic<int> state{0};
std::atomic<int> phase{0};
std::atomic<int> cancel_request{0};

void run() {
  for (int p = 1; p <= 5 && cancel_request.load() == 0; ++p) {
    phase.store(p);
    for (int step = 0; step < 10 && cancel_request.load() == 0; ++step) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  phase.store(0);
  state.store(cancel_request.load() != 0 ? 3 : 2);
}

}  // namespace

FAKE_EXPORT const char* quorvane_version() { return "fake"; }
FAKE_EXPORT const char* quorvane_last_error() { return ""; }
FAKE_EXPORT int quorvane_state() { return state.load(); }
FAKE_EXPORT int quorvane_progress() { return 0; }
FAKE_EXPORT int quorvane_phase() { return phase.load(); }
FAKE_EXPORT void quorvane_cancel() { cancel_request.store(1); }
FAKE_EXPORT int quorvane_start() {
  if (state.load() == 1) return -1;
  cancel_request.store(0);
  phase.store(0);
  state.store(1);
  std::thread(run).detach();
  return 0;
}
FAKE_EXPORT const char* quorvane_results_json() {
  return state.load() == 3 ? "{\"cancelled\":1}" : "{\"finished\":1}";
}
