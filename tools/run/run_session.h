// Driving one run of the library: start, poll, cancel on interrupt, wait for
// the run to close, read the report.
#ifndef QUORVANE_TOOLS_RUN_RUN_SESSION_H
#define QUORVANE_TOOLS_RUN_RUN_SESSION_H

#include <ctime>
#include <string>
#include <vector>

#include "machine/interference.h"
#include "machine/run_conditions.h"
#include "run/library_api.h"
#include "run/progress_display.h"

namespace quorvane::host {

struct run_outcome {
  enum class end { finished, cancelled, refused, bad_state };
  end how = end::finished;
  std::string report_line;  // the library's report, copied at once
  std::string error;        // the last error text (refused) or what went wrong
  std::time_t started_at = 0;
  std::time_t ended_at = 0;
  phase_loads other_load_percent{};  // what other programs took, per phase
  run_conditions conditions{};       // every condition measured, per phase
  // The host's own processor time from building the conditions meter to the
  // run's close (with conditions_source::settings_seconds), per second of
  // run: what watching the run cost it.
  double host_processor_ms_per_second = 0;
};

// Where the conditions are read: the root of /proc and /sys ("/" on a real
// machine), the processors this process may use and the binding quota's
// cgroup folder (condition_settings::quota_folder).
struct conditions_source {
  std::string root = "/";
  std::vector<int> processors;
  std::string quota_folder;
  // The host's processor time for reading the settings, which the run
  // counts as its own (the first run of an invocation: it is read once).
  double settings_seconds = 0;
};

// Starts one run and polls it until it closes, showing progress and reading
// the processor times at each phase change it sees. interrupts_handled is
// the interrupt count (see host_platform.h) the caller read when it chose
// to start: any interrupt beyond it, even one that arrives during the
// start, asks the library to cancel; further interrupts only say that the
// host is still waiting. The function never returns while the run is in
// progress, so nothing the caller does next (unloading, exiting) can pull
// the library from under its threads.
run_outcome drive_run(const library_api& api, progress_display& display, int interrupts_handled,
                      const conditions_source& source);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RUN_RUN_SESSION_H
