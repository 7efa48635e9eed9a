// Other programs' share of the processors, phase by phase.
#include "machine/interference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "phase_names.h"

namespace quorvane::host {

std::optional<double> other_load_percent(const platform::processor_times& from,
                                         const platform::processor_times& to) {
  const double total = to.machine_total_seconds - from.machine_total_seconds;
  if (total <= 0) return std::nullopt;
  const double busy = to.machine_busy_seconds - from.machine_busy_seconds;
  const double own = to.own_seconds - from.own_seconds;
  // The system counts in clock ticks and this process in nanoseconds, so a
  // quiet machine can come out a little below zero.
  return std::clamp(100.0 * (busy - own) / total, 0.0, 100.0);
}

std::vector<std::string> interference_warnings(const phase_loads& loads, int run, int runs) {
  std::vector<std::string> warnings;
  for (int phase = 1; phase <= run_phase_count; ++phase) {
    const std::optional<double>& load = loads[static_cast<std::size_t>(phase - 1)];
    if (!load || *load <= interference_warning_percent) continue;
    std::string of_run;
    if (runs > 1) of_run = " of run " + std::to_string(run) + "/" + std::to_string(runs);
    char line[240];
    std::snprintf(line, sizeof line,
                  "warning: other programs used %.0f%% of the processors during phase %d (%s)%s; "
                  "its figure is low",
                  std::floor(*load + 0.5), phase, phase_words(phase, 1), of_run.c_str());
    warnings.emplace_back(line);
  }
  return warnings;
}

}  // namespace quorvane::host
