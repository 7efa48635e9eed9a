// The run's phases by number and in words: shared by the progress display
// (run/) and the conditions and warnings of each phase (machine/).
#ifndef QUORVANE_TOOLS_PHASE_NAMES_H
#define QUORVANE_TOOLS_PHASE_NAMES_H

namespace quorvane::host {

// Phases 1 to 5; 0 is no phase (before the opening, after the closing).
constexpr int run_phase_count = 5;

// The phase's name in words. Phase 0 is "starting" before the run thread
// opens the run (progress 0) and "closing" after its last phase.
const char* phase_words(int phase, int progress);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_PHASE_NAMES_H
