// How much of the machine's processor time other programs took while each
// phase of a run ran.
#ifndef QUORVANE_TOOLS_MACHINE_INTERFERENCE_H
#define QUORVANE_TOOLS_MACHINE_INTERFERENCE_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "machine/host_platform.h"
#include "phase_names.h"

namespace quorvane::host {

// Per phase 1 to 5, the percent (0 to 100) of all processors' time that
// other processes used; nothing where the phase was not measured.
using phase_loads = std::array<std::optional<double>, run_phase_count>;

// The share of the machine that others used between two readings, in
// percent; nothing when no processor time passed.
std::optional<double> other_load_percent(const platform::processor_times& from,
                                         const platform::processor_times& to);

// Share above which a phase's figure is called into doubt.
constexpr double interference_warning_percent = 10.0;

// One warning line for every phase above the threshold:
// "warning: other programs used 48% of the processors during phase 2
// (integer mixing, all processors); its figure is low", with " of run 2/3"
// after the phase's name when runs > 1.
std::vector<std::string> interference_warnings(const phase_loads& loads, int run, int runs);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_INTERFERENCE_H
