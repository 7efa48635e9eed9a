// Driving one run of the library: start, poll, cancel on interrupt, wait for
// the run to close, read the report.
#ifndef QUORVANE_TOOLS_RUN_SESSION_H
#define QUORVANE_TOOLS_RUN_SESSION_H

#include <string>

#include "library_api.h"
#include "progress_display.h"

namespace quorvane::host {

struct run_outcome {
  enum class end { finished, cancelled, refused, bad_state };
  end how = end::finished;
  std::string report_line;  // the library's report, copied at once
  std::string error;        // the last error text (refused) or what went wrong
};

// Starts one run and polls it until it closes, showing progress. An
// interrupt (see host_platform.h) asks the library to cancel; further
// interrupts only say that the host is still waiting. The function never
// returns while the run is in progress, so nothing the caller does next
// (unloading, exiting) can pull the library from under its threads.
run_outcome drive_run(const library_api& api, progress_display& display);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RUN_SESSION_H
