// Whether a run is clean, or disturbed and why, from the conditions of its
// phases and of the machine. The thresholds are here and nowhere else; the
// README's "What makes a result clean" lists the same.
#ifndef QUORVANE_TOOLS_RESULTS_RUN_VERDICT_H
#define QUORVANE_TOOLS_RESULTS_RUN_VERDICT_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "machine/host_platform.h"
#include "machine/interference.h"
#include "machine/run_conditions.h"

namespace quorvane::host {

// Other programs above this share of the usable processors' time took
// enough from an all-processor phase to move its figure beyond the few
// percent a steady machine varies by (interference.h keeps the same value
// for its warnings).
constexpr double other_programs_limit_percent = interference_warning_percent;

// Steal is time the hypervisor gave this guest's processors to someone
// else; a steady guest shows well under 1%, and above 2% the figures of a
// 4 s window move by more than their run-to-run noise.
constexpr double steal_limit_percent = 2.0;

// Single- and all-processor phases run at different boost levels by
// design, so a phase is compared with the fastest phase of its own kind: a
// mean 10% lower means the processor slowed (heat, power limit, policy)
// during the run, more than the few percent boost varies by on its own.
constexpr double frequency_floor_ratio = 0.90;

// Any thermal throttling event that the phase raised, and any period in
// which the quota held the process back, is a disturbance: each cuts the
// processors' speed by far more than noise, and none happens to a clean run.

// A quota below the processors used caps an all-processor phase at the
// quota however many threads run, so any such quota is a disturbance.

struct run_verdict {
  bool clean = true;
  std::vector<std::string> reasons;       // "steal 6% in phase 4", ...
  std::vector<std::string> not_reported;  // conditions the machine did not show
};

// processors_used: the worker count of the all-processor phases (the
// report's threads_used).
run_verdict judge_run(const run_conditions& phases, const platform::condition_settings& machine,
                      int processors_used);

// "run 2/3: disturbed: steal 6% in phase 4; quota 1.50 processors below 2
// used", or "run 1/1: clean (not reported: frequency, thermal throttling)".
std::string verdict_line(const run_verdict& verdict, int run, int runs);

// The verdict's warning for standard error: "warning: " and the line of a
// disturbed run without its other-programs reason, which
// interference_warnings gives phase by phase; "" when no reason is left.
std::string verdict_warning(const run_verdict& verdict, int run, int runs);

// The run's "verdict" member: {"clean": ..., "reasons": [...],
// "not_reported": [...]}.
nlohmann::json verdict_json(const run_verdict& verdict);

// Whether a run of a results document counts as clean: version 1 runs, which
// carry no verdict, count as clean, as they always did.
bool run_is_clean(const nlohmann::json& run);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_RUN_VERDICT_H
