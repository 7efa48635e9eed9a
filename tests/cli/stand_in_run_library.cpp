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
// A cancel closes the run at the next state read, as the library does.
#include <csignal>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#  define STAND_IN_EXPORT extern "C" __declspec(dllexport)
#else
#  define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

enum class behaviour { plain, interrupt_in_start, interrupt_in_report, until_cancel, refuse_start };

behaviour chosen_behaviour() {
  const char* text = std::getenv("QUORVANE_STAND_IN_BEHAVIOUR");
  if (text == nullptr) return behaviour::plain;
  if (std::strcmp(text, "interrupt_in_start") == 0) return behaviour::interrupt_in_start;
  if (std::strcmp(text, "interrupt_in_report") == 0) return behaviour::interrupt_in_report;
  if (std::strcmp(text, "until_cancel") == 0) return behaviour::until_cancel;
  if (std::strcmp(text, "refuse_start") == 0) return behaviour::refuse_start;
  return behaviour::plain;
}

int g_state = 0;
int g_phase = 0;
int g_progress = 0;
int g_polls = 0;
bool g_cancel = false;

const char* const finished_report =
    "{\"score_single\":1591,\"score_multi\":3043,\"int_single_mops\":1002,\"int_multi_mops\":"
    "1890,\"fp_single_mflops\":3546,\"fp_multi_mflops\":6911,\"mem_bandwidth_mbps\":9123,"
    "\"threads_used\":2,\"duration_ms\":20013}";
const char* const cancelled_report =
    "{\"score_single\":0,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
    "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":0,\"threads_used\":2,"
    "\"duration_ms\":137}";

int polls_per_phase() { return chosen_behaviour() == behaviour::interrupt_in_start ? 40 : 2; }

}  // namespace

STAND_IN_EXPORT const char* quorvane_version(void) { return "0.0.0-stand-in"; }
STAND_IN_EXPORT const char* quorvane_last_error(void) {
  return chosen_behaviour() == behaviour::refuse_start ? "already running" : "";
}
STAND_IN_EXPORT int quorvane_progress(void) { return g_progress; }
STAND_IN_EXPORT int quorvane_phase(void) { return g_phase; }
STAND_IN_EXPORT void quorvane_cancel(void) { g_cancel = true; }

STAND_IN_EXPORT int quorvane_state(void) {
  if (g_state != 1) return g_state;
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
  return 0;
}

STAND_IN_EXPORT const char* quorvane_results_json(void) {
  if (chosen_behaviour() == behaviour::interrupt_in_report && g_state == 2) std::raise(SIGINT);
  return g_state == 3 ? cancelled_report : finished_report;
}
