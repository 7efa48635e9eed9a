// A host's view of the loaded library: one whole run, or one run cancelled
// at a chosen point of a chosen phase, with the times and memory a host can
// see from outside.
#ifndef QUORVANE_BENCH_LIBRARY_OBSERVER_H
#define QUORVANE_BENCH_LIBRARY_OBSERVER_H

#include <cstdint>
#include <string>

#include "run/library_api.h"

namespace qbench {

using quorvane::host::library_api;

struct run_observation {
  int start_result = -1;
  int final_state = 0;
  std::string report;      // the one-line JSON
  double wall_ms = 0;      // from the start call to reading the final state
  double cpu_seconds = 0;  // process CPU time during the run
  std::int64_t resident_before_kib = 0;
  std::int64_t peak_resident_kib = 0;  // the process's peak, read after the run
  // Per phase (index 1 to 5): wall time and process CPU time from the poll
  // that first saw the phase to the poll that first saw the next one.
  double phase_wall_ms[6] = {0, 0, 0, 0, 0, 0};
  double phase_cpu_seconds[6] = {0, 0, 0, 0, 0, 0};
};

// Starts a run and polls every 5 ms (as a host with a progress display
// might) until it ends.
run_observation observe_whole_run(const library_api& api);

struct cancel_observation {
  int start_result = -1;
  int phase_at_cancel = 0;  // read just before the cancel call
  double latency_ms = 0;    // from the cancel call to reading state 3
  int final_state = 0;
  int phase_after = 0;
  std::string report;
};

// Starts a run, waits for the phase, waits offset_ms more, cancels and
// times how long it takes to read the cancelled state.
cancel_observation observe_cancel(const library_api& api, int phase, unsigned offset_ms);

}  // namespace qbench

#endif  // QUORVANE_BENCH_LIBRARY_OBSERVER_H
