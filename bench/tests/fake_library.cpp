// A stand-in for the library with the same eight exports, whose run walks
// through phases 1 to 5 and ends at once on a cancel, so the observer's logic
// can be checked in milliseconds. A phase ends once the host has read it
// three times, not after a fixed time: however late a loaded machine runs
// the observer, it sees every phase, and a cancel sent after its second
// reading of a phase lands in that phase.
#include <atomic>
#include <chrono>
#include <thread>

#if defined(_WIN32)
#  define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#  define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr int reads_per_phase = 3;

std::atomic<int> state{0};
std::atomic<int> phase{0};
std::atomic<int> cancel_request{0};
// How often the host has read each phase number (0 to 5).
std::atomic<int> phase_reads[6];

void run() {
  for (int p = 1; p <= 5 && cancel_request.load() == 0; ++p) {
    phase.store(p);
    while (phase_reads[p].load() < reads_per_phase && cancel_request.load() == 0) {
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
FAKE_EXPORT int quorvane_phase() {
  const int now = phase.load();
  phase_reads[now].fetch_add(1);
  return now;
}
FAKE_EXPORT void quorvane_cancel() { cancel_request.store(1); }
FAKE_EXPORT int quorvane_start() {
  if (state.load() == 1) return -1;
  cancel_request.store(0);
  for (std::atomic<int>& reads : phase_reads) reads.store(0);
  phase.store(0);
  state.store(1);
  std::thread(run).detach();
  return 0;
}
FAKE_EXPORT const char* quorvane_results_json() {
  return state.load() == 3 ? "{\"cancelled\":1}" : "{\"finished\":1}";
}
