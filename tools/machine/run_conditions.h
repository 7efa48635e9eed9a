// The conditions each phase of a run ran in, measured by the host while it
// polls: other programs' share of the processors, steal time, frequency,
// thermal throttling and quota throttling. A condition the machine does not
// show stays empty ("not reported"); nothing is guessed.
#ifndef QUORVANE_TOOLS_MACHINE_RUN_CONDITIONS_H
#define QUORVANE_TOOLS_MACHINE_RUN_CONDITIONS_H

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "machine/host_platform.h"
#include "machine/interference.h"

namespace quorvane::host {

struct phase_conditions {
  std::optional<double> other_percent;  // of the usable processors' time
  std::optional<double> steal_percent;
  std::optional<double> frequency_mean_hz;
  std::optional<double> frequency_lowest_hz;
  int frequency_samples = 0;
  std::optional<std::uint64_t> throttle_events;  // rise over the phase
  std::optional<std::uint64_t> quota_throttled_periods;
  std::optional<double> quota_throttled_seconds;
};

// Phases 1 to 5; nothing for a phase that did not run or was not seen.
using run_conditions = std::array<std::optional<phase_conditions>, run_phase_count>;

// The interval between two frequency samples within a phase: four samples
// give a mean over a 4 s window, and a reading twice as often would cost
// the host more than the run's own polling.
constexpr double frequency_sample_seconds = 1.0;

// Beyond the reader's sample of processors (more than 64), a one-processor
// phase's highest frequency needs every processor's file, opened for the
// reading: it is read once per phase, this far into it, not every second.
// Such a phase's figure is one moment's reading, not a mean over its window.
constexpr double wide_frequency_sample_seconds = 2.0;

// True for the phases that run one worker per processor (2 and 4): a
// sample takes the mean over the processors. In the others one processor
// works, so a sample takes the fastest processor's frequency, not the mean
// over processors that mostly idle.
bool phase_uses_every_processor(int phase);

// What a phase's two counter readings and frequency samples make.
phase_conditions conditions_between(const platform::condition_counters& from,
                                    const platform::condition_counters& to,
                                    const std::vector<double>& frequency_samples_hz);

// Reads the counters at every phase change the host sees and the
// frequencies at most every frequency_sample_seconds within a phase.
class conditions_meter {
 public:
  // root: where /proc and /sys are read ("/" on a real machine);
  // quota_folder: the settings' (condition_settings::quota_folder).
  conditions_meter(const std::string& root, const std::vector<int>& processors,
                   const std::string& quota_folder = std::string());

  // At every poll: the phase now seen (0 before the opening and after the
  // closing) and the seconds since the run started.
  void poll(int phase, double seconds);

  const run_conditions& phases() const { return phases_; }

  // Other programs' share of each phase, for the documents'
  // other_load_percent.
  phase_loads other_loads() const;

 private:
  void sample_frequency();

  platform::condition_reader reader_;
  int phase_ = 0;
  std::optional<platform::condition_counters> phase_start_;
  double last_sample_seconds_ = 0;
  double phase_started_seconds_ = 0;
  std::vector<double> samples_hz_;
  run_conditions phases_{};
};

// A phase's conditions in the results document: every member present, null
// where not reported.
nlohmann::json phase_conditions_json(const phase_conditions& conditions);

// The "conditions" member of a run: five entries, null for a phase not
// measured.
nlohmann::json run_conditions_json(const run_conditions& conditions);

// "2.40 GHz", "800 MHz".
std::string frequency_text(double hertz);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_RUN_CONDITIONS_H
