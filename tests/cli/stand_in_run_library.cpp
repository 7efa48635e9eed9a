// A stand-in for the library that runs a whole "run" in a few polls and
// reports fixed figures, so the host's own behaviour (and the whole-run loops
// of the bindings and the README example) is tested in well under a second.
// The run advances one step each time the host reads the state.
//
// QUORVANE_STAND_IN_BEHAVIOUR picks what else it does:
//   (unset)              five phases of two polls each, then finished
//   interrupt_in_start   raises SIGINT inside quorvane_start, and runs 40
//                        polls a phase, so a lost interrupt shows as a
//                        finished run
//   interrupt_in_report  raises SIGINT inside quorvane_results_json, after
//                        the run has closed as finished
//   until_cancel         stays in phase 1 until the host cancels
//   refuse_start         refuses every start, its error text "already running"
//   spin                 runs five phases on a thread of its own, each a
//                        window of QUORVANE_STAND_IN_WINDOW_MS (500 by
//                        default) in which one thread, or one per processor
//                        in phases 2 and 4, spins: real load, as a quota or
//                        a busy machine sees it (not on Windows, whose
//                        cross compiler's library has no std::thread; there
//                        it runs as unset)
// A cancel closes the run at the next state read, as the library does.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#if !defined(_WIN32)
#  include <thread>
#endif

#if defined(_WIN32)
#  define STAND_IN_EXPORT extern "C" __declspec(dllexport)
#else
#  define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

enum class behaviour {
  plain,
  interrupt_in_start,
  interrupt_in_report,
  until_cancel,
  refuse_start,
  spin
};

behaviour chosen_behaviour() {
  const char* text = std::getenv("QUORVANE_STAND_IN_BEHAVIOUR");
  if (text == nullptr) return behaviour::plain;
  if (std::strcmp(text, "interrupt_in_start") == 0) return behaviour::interrupt_in_start;
  if (std::strcmp(text, "interrupt_in_report") == 0) return behaviour::interrupt_in_report;
  if (std::strcmp(text, "until_cancel") == 0) return behaviour::until_cancel;
  if (std::strcmp(text, "refuse_start") == 0) return behaviour::refuse_start;
#if !defined(_WIN32)
  if (std::strcmp(text, "spin") == 0) return behaviour::spin;
#endif
  return behaviour::plain;
}

std::atomic<int> g_state{0};
std::atomic<int> g_phase{0};
std::atomic<int> g_progress{0};
int g_polls = 0;
std::atomic<bool> g_cancel{false};
char g_spin_report[320];

const char* const finished_report =
    "{\"score_single\":1591,\"score_multi\":3043,\"int_single_mops\":1002,\"int_multi_mops\":"
    "1890,\"fp_single_mflops\":3546,\"fp_multi_mflops\":6911,\"mem_bandwidth_mbps\":9123,"
    "\"threads_used\":2,\"duration_ms\":20013}";
const char* const cancelled_report =
    "{\"score_single\":0,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
    "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":0,\"threads_used\":2,"
    "\"duration_ms\":137}";

int polls_per_phase() { return chosen_behaviour() == behaviour::interrupt_in_start ? 40 : 2; }

#if !defined(_WIN32)
int spin_window_ms() {
  const char* text = std::getenv("QUORVANE_STAND_IN_WINDOW_MS");
  const int window = text != nullptr ? std::atoi(text) : 0;
  return window > 0 && window <= 60000 ? window : 500;
}

void spin_until(std::chrono::steady_clock::time_point end) {
  volatile unsigned long long sink = 0;
  while (std::chrono::steady_clock::now() < end && !g_cancel.load()) {
    for (int i = 0; i < 100000; ++i) sink = sink + static_cast<unsigned long long>(i);
  }
}

// The run thread of the spin behaviour.
void spin_run() {
  const unsigned processors = std::max(1U, std::thread::hardware_concurrency());
  const auto window = std::chrono::milliseconds(spin_window_ms());
  const auto started = std::chrono::steady_clock::now();
  for (int phase = 1; phase <= 5 && !g_cancel.load(); ++phase) {
    g_phase = phase;
    const auto end = std::chrono::steady_clock::now() + window;
    std::vector<std::thread> workers;
    const unsigned count = phase == 2 || phase == 4 ? processors : 1;
    for (unsigned i = 0; i < count; ++i) workers.emplace_back(spin_until, end);
    for (std::thread& worker : workers) worker.join();
    g_progress = phase * 20;
  }
  const long long duration = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - started)
                                 .count();
  std::snprintf(g_spin_report, sizeof g_spin_report,
                "{\"score_single\":1591,\"score_multi\":3043,\"int_single_mops\":1002,"
                "\"int_multi_mops\":1890,\"fp_single_mflops\":3546,\"fp_multi_mflops\":6911,"
                "\"mem_bandwidth_mbps\":9123,\"threads_used\":%u,\"duration_ms\":%lld}",
                processors, duration);
  g_phase = 0;
  g_state = g_cancel.load() ? 3 : 2;
}

#endif

}  // namespace

STAND_IN_EXPORT const char* quorvane_version(void) { return "0.0.0-stand-in"; }
STAND_IN_EXPORT const char* quorvane_last_error(void) {
  return chosen_behaviour() == behaviour::refuse_start ? "already running" : "";
}
STAND_IN_EXPORT int quorvane_progress(void) { return g_progress; }
STAND_IN_EXPORT int quorvane_phase(void) { return g_phase; }
STAND_IN_EXPORT void quorvane_cancel(void) { g_cancel = true; }

STAND_IN_EXPORT int quorvane_state(void) {
  if (g_state != 1 || chosen_behaviour() == behaviour::spin) return g_state;
  if (g_cancel) {
    g_phase = 0;
    g_state = 3;
    return g_state;
  }
  const int phase = 1 + g_polls / polls_per_phase();
  ++g_polls;
  if (chosen_behaviour() == behaviour::until_cancel || phase == 1) {
    g_phase = 1;
    g_progress = 2;
  } else if (phase <= 5) {
    g_phase = phase;
    g_progress = (phase - 1) * 20;
  } else {
    g_phase = 0;
    g_progress = 100;
    g_state = 2;
  }
  return g_state;
}

STAND_IN_EXPORT int quorvane_start(void) {
  if (g_state == 1 || chosen_behaviour() == behaviour::refuse_start) return -1;
  g_state = 1;
  g_phase = 0;
  g_progress = 0;
  g_polls = 0;
  g_cancel = false;
  if (chosen_behaviour() == behaviour::interrupt_in_start) std::raise(SIGINT);
#if !defined(_WIN32)
  if (chosen_behaviour() == behaviour::spin) std::thread(spin_run).detach();
#endif
  return 0;
}

STAND_IN_EXPORT const char* quorvane_results_json(void) {
  if (chosen_behaviour() == behaviour::interrupt_in_report && g_state == 2) std::raise(SIGINT);
  if (chosen_behaviour() == behaviour::spin && g_state == 2) return g_spin_report;
  return g_state == 3 ? cancelled_report : finished_report;
}
