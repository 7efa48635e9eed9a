// Measuring the conditions of each phase.
#include "machine/run_conditions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "results/json_optional.h"

namespace quorvane::host {
namespace {

std::optional<double> share_percent(double part, double total) {
  if (total <= 0) return std::nullopt;
  // The system counts in clock ticks and this process in nanoseconds, so a
  // quiet machine can come out a little below zero.
  return std::clamp(100.0 * part / total, 0.0, 100.0);
}

// A counter's rise; nothing when either end is missing, and none when the
// counter went back (a reset tells nothing of the phase).
template <typename number>
std::optional<number> rise(const std::optional<number>& from, const std::optional<number>& to) {
  if (!from || !to) return std::nullopt;
  return *to >= *from ? *to - *from : number{};
}

std::optional<double> rounded(const std::optional<double>& value, double scale) {
  if (!value) return value;
  return std::round(*value * scale) / scale;
}

}  // namespace

bool phase_uses_every_processor(int phase) { return phase == 2 || phase == 4; }

phase_conditions conditions_between(const platform::condition_counters& from,
                                    const platform::condition_counters& to,
                                    const std::vector<double>& frequency_samples_hz) {
  phase_conditions conditions;
  if (from.has_times && to.has_times) {
    const double total = to.total_seconds - from.total_seconds;
    conditions.other_percent =
        other_load_percent({from.total_seconds, from.busy_seconds, from.own_seconds},
                           {to.total_seconds, to.busy_seconds, to.own_seconds});
    if (from.steal_seconds && to.steal_seconds) {
      conditions.steal_percent = share_percent(*to.steal_seconds - *from.steal_seconds, total);
    }
  }
  if (!frequency_samples_hz.empty()) {
    conditions.frequency_samples = static_cast<int>(frequency_samples_hz.size());
    conditions.frequency_mean_hz =
        std::accumulate(frequency_samples_hz.begin(), frequency_samples_hz.end(), 0.0) /
        static_cast<double>(frequency_samples_hz.size());
    conditions.frequency_lowest_hz =
        *std::min_element(frequency_samples_hz.begin(), frequency_samples_hz.end());
  }
  conditions.throttle_events = rise(from.throttle_events, to.throttle_events);
  conditions.quota_throttled_periods =
      rise(from.quota_throttled_periods, to.quota_throttled_periods);
  conditions.quota_throttled_seconds =
      rise(from.quota_throttled_seconds, to.quota_throttled_seconds);
  return conditions;
}

conditions_meter::conditions_meter(const std::string& root, const std::vector<int>& processors,
                                   const std::string& quota_folder)
    : reader_(root, processors, quota_folder) {}

void conditions_meter::sample_frequency() {
  // The mean comes from the sample; the highest needs every processor, as
  // the one that works is not known.
  const std::vector<double> values = reader_.frequencies_hz(!phase_uses_every_processor(phase_));
  if (values.empty()) return;
  if (phase_uses_every_processor(phase_)) {
    samples_hz_.push_back(std::accumulate(values.begin(), values.end(), 0.0) /
                          static_cast<double>(values.size()));
  } else {
    samples_hz_.push_back(*std::max_element(values.begin(), values.end()));
  }
}

void conditions_meter::poll(int phase, double seconds) {
  if (phase == phase_) {
    // Beyond the sample, a one-processor phase reads every processor once,
    // halfway through its window.
    const bool once = !phase_uses_every_processor(phase_) && !reader_.samples_every_processor();
    const bool due = once ? samples_hz_.empty() &&
                                seconds - phase_started_seconds_ >= wide_frequency_sample_seconds
                          : seconds - last_sample_seconds_ >= frequency_sample_seconds;
    if (phase_ >= 1 && due) {
      sample_frequency();
      last_sample_seconds_ = seconds;
    }
    return;
  }
  const platform::condition_counters now = reader_.counters();
  if (phase_ >= 1 && phase_ <= run_phase_count && phase_start_) {
    phases_[static_cast<std::size_t>(phase_ - 1)] =
        conditions_between(*phase_start_, now, samples_hz_);
  }
  phase_ = phase;
  phase_start_ = now;
  samples_hz_.clear();
  last_sample_seconds_ = seconds;
  phase_started_seconds_ = seconds;
}

phase_loads conditions_meter::other_loads() const {
  phase_loads loads{};
  for (std::size_t i = 0; i < phases_.size(); ++i) {
    if (phases_[i]) loads[i] = phases_[i]->other_percent;
  }
  return loads;
}

nlohmann::json phase_conditions_json(const phase_conditions& conditions) {
  // One decimal of a percent is finer than the clock ticks tell apart; a
  // frequency is kept to the kilohertz the system reports it in.
  return {{"other_load_percent", rounded(conditions.other_percent, 10.0)},
          {"steal_percent", rounded(conditions.steal_percent, 10.0)},
          {"frequency_mean_hz", rounded(conditions.frequency_mean_hz, 1e-3)},
          {"frequency_lowest_hz", rounded(conditions.frequency_lowest_hz, 1e-3)},
          {"thermal_throttle_events", conditions.throttle_events},
          {"quota_throttled_periods", conditions.quota_throttled_periods},
          {"quota_throttled_seconds", rounded(conditions.quota_throttled_seconds, 1e6)}};
}

nlohmann::json run_conditions_json(const run_conditions& conditions) {
  nlohmann::json list = nlohmann::json::array();
  for (const std::optional<phase_conditions>& phase : conditions) {
    list.push_back(phase ? phase_conditions_json(*phase) : nlohmann::json(nullptr));
  }
  return list;
}

std::string frequency_text(double hertz) {
  char text[32];
  if (hertz >= 1e9) {
    std::snprintf(text, sizeof text, "%.2f GHz", hertz / 1e9);
  } else {
    std::snprintf(text, sizeof text, "%.0f MHz", hertz / 1e6);
  }
  return text;
}

}  // namespace quorvane::host
