// One run, from start to report.
#include "run/run_session.h"

#include <chrono>
#include <ctime>

#include "machine/host_platform.h"

namespace quorvane::host {
namespace {

constexpr int state_running = 1;
constexpr int state_finished = 2;
constexpr int state_cancelled = 3;

// Short enough that a cancel reaches the library at once and a redraw every
// quarter of a second lands on time; long enough to cost nothing.
constexpr unsigned poll_interval_ms = 50;

}  // namespace

run_outcome drive_run(const library_api& api, progress_display& display, int interrupts_handled,
                      const conditions_source& source) {
  using clock = std::chrono::steady_clock;
  run_outcome outcome;
  // The host's cost counts from here: building the meter opens and reads
  // the processors' files.
  const double host_seconds_at_start = platform::thread_processor_seconds();
  conditions_meter conditions(source.root, source.processors, source.quota_folder);
  const clock::time_point started = clock::now();
  outcome.started_at = std::time(nullptr);
  platform::set_run_in_progress(true);
  if (api.start() != 0) {
    platform::set_run_in_progress(false);
    outcome.how = run_outcome::end::refused;
    outcome.error = api.last_error();
    return outcome;
  }

  // Counted from the caller's reading, not from one taken now: an interrupt
  // that lands while the library starts is one the caller has not handled.
  int interrupts_seen = interrupts_handled;
  bool cancel_sent = false;
  progress_sample sample;
  for (;;) {
    const int interrupts = platform::interrupt_count();
    if (interrupts != interrupts_seen) {
      interrupts_seen = interrupts;
      if (!cancel_sent) {
        api.cancel();
        cancel_sent = true;
        display.note("quorvane: interrupted, cancelling the run");
      } else {
        display.note("quorvane: still waiting for the run to close");
      }
    }
    // The state is read first: once it is 2 or 3 the report is complete.
    sample.state = api.state();
    sample.phase = api.phase();
    sample.progress = api.progress();
    sample.elapsed_seconds = std::chrono::duration<double>(clock::now() - started).count();
    const bool closed = sample.state == state_finished || sample.state == state_cancelled;
    // A closed run is in no phase; the times are read only when it changes.
    const int phase_now = closed ? 0 : sample.phase;
    // Counters are read when the phase changes, frequencies every
    // frequency_sample_seconds within a phase.
    conditions.poll(phase_now, sample.elapsed_seconds);
    if (closed) break;
    if (sample.state != state_running) {
      // An accepted start leaves the library running until it closes the
      // run; anything else means this is not the library it claims to be.
      // Polling on could last forever, so the host gives up on it.
      platform::set_run_in_progress(false);
      outcome.how = run_outcome::end::bad_state;
      outcome.error =
          "the library reported state " + std::to_string(sample.state) + " during a run";
      return outcome;
    }
    display.update(sample);
    platform::sleep_ms(poll_interval_ms);
  }
  platform::set_run_in_progress(false);
  outcome.ended_at = std::time(nullptr);
  outcome.conditions = conditions.phases();
  outcome.other_load_percent = conditions.other_loads();
  const double run_seconds = std::chrono::duration<double>(clock::now() - started).count();
  if (run_seconds > 0) {
    outcome.host_processor_ms_per_second =
        (platform::thread_processor_seconds() - host_seconds_at_start + source.settings_seconds) *
        1000.0 / run_seconds;
  }
  display.end_run(sample);

  outcome.how =
      sample.state == state_cancelled ? run_outcome::end::cancelled : run_outcome::end::finished;
  outcome.report_line = api.results_json();
  return outcome;
}

}  // namespace quorvane::host
