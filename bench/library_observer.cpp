#include "library_observer.h"

#include "host_os.h"

namespace qbench {
namespace {

constexpr int state_running = 1;

double ms_between(std::int64_t from_ns, std::int64_t to_ns) {
  return static_cast<double>(to_ns - from_ns) / 1e6;
}

}  // namespace

run_observation observe_whole_run(const library_api& api) {
  run_observation seen;
  seen.resident_before_kib = resident_kib();
  const double cpu_before = process_cpu_seconds();
  const std::int64_t t0 = now_ns();
  seen.start_result = api.start();
  if (seen.start_result != 0) return seen;
  int state = api.state();
  int phase = 0;
  std::int64_t phase_start = t0;
  double phase_cpu_start = cpu_before;
  while (state == state_running) {
    sleep_ms(5);
    state = api.state();
    const int now_phase = api.phase();
    if (now_phase != phase) {
      const std::int64_t now = now_ns();
      const double cpu = process_cpu_seconds();
      if (phase >= 1 && phase <= 5) {
        seen.phase_wall_ms[phase] += ms_between(phase_start, now);
        seen.phase_cpu_seconds[phase] += cpu - phase_cpu_start;
      }
      phase = now_phase;
      phase_start = now;
      phase_cpu_start = cpu;
    }
  }
  const std::int64_t t1 = now_ns();
  if (phase >= 1 && phase <= 5) {  // the run closed before a poll saw phase 0
    seen.phase_wall_ms[phase] += ms_between(phase_start, t1);
    seen.phase_cpu_seconds[phase] += process_cpu_seconds() - phase_cpu_start;
  }
  seen.final_state = state;
  seen.wall_ms = ms_between(t0, t1);
  seen.cpu_seconds = process_cpu_seconds() - cpu_before;
  seen.peak_resident_kib = peak_resident_kib();
  seen.report = api.results_json();
  return seen;
}

cancel_observation observe_cancel(const library_api& api, int phase, unsigned offset_ms) {
  cancel_observation seen;
  seen.start_result = api.start();
  if (seen.start_result != 0) return seen;
  // The phase number changes within a millisecond of the phase's start, so
  // the offset is measured from a 1 ms poll.
  while (api.state() == state_running && api.phase() < phase) sleep_ms(1);
  sleep_ms(offset_ms);
  seen.phase_at_cancel = api.phase();
  const std::int64_t t0 = now_ns();
  api.cancel();
  int state = api.state();
  while (state == state_running) {
    poll_pause();
    state = api.state();
  }
  const std::int64_t t1 = now_ns();
  seen.latency_ms = ms_between(t0, t1);
  seen.final_state = state;
  seen.phase_after = api.phase();
  seen.report = api.results_json();
  return seen;
}

}  // namespace qbench
