// Judging a run by its conditions.
#include "results/run_verdict.h"

#include <algorithm>
#include <cmath>

#include "machine/condition_words.h"
#include "number_text.h"

namespace quorvane::host {
namespace {

// The start of the other-programs reason, which has warnings of its own.
constexpr const char* other_programs_reason = "other programs";

// "steal 6% in phase 4" or "steal 6% in phase 2, 3% in phase 4": one
// reason per condition, with each phase that broke it.
class reason_list {
 public:
  void add(const std::string& condition, const std::string& value, int phase) {
    const std::string where =
        (value.empty() ? "" : value + " ") + "in phase " + std::to_string(phase);
    for (auto& entry : entries_) {
      if (entry.first == condition) {
        entry.second += ", " + where;
        return;
      }
    }
    entries_.emplace_back(condition, where);
  }

  void add_whole(const std::string& reason) { entries_.emplace_back(reason, std::string()); }

  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    for (const auto& entry : entries_) {
      result.push_back(entry.second.empty() ? entry.first : entry.first + " " + entry.second);
    }
    return result;
  }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace

run_verdict judge_run(const run_conditions& phases, const platform::condition_settings& machine,
                      int processors_used) {
  run_verdict verdict;
  reason_list reasons;
  bool any_phase = false;
  bool steal_seen = false;
  bool frequency_seen = false;
  bool throttle_seen = false;
  bool other_seen = false;

  // The fastest phase mean of each kind: one processor working, or all.
  double fastest[2] = {0, 0};
  for (int phase = 1; phase <= run_phase_count; ++phase) {
    const std::optional<phase_conditions>& measured = phases[static_cast<std::size_t>(phase - 1)];
    if (measured && measured->frequency_mean_hz) {
      double& best = fastest[phase_uses_every_processor(phase) ? 1 : 0];
      best = std::max(best, *measured->frequency_mean_hz);
    }
  }

  for (int phase = 1; phase <= run_phase_count; ++phase) {
    const std::optional<phase_conditions>& measured = phases[static_cast<std::size_t>(phase - 1)];
    if (!measured) continue;
    any_phase = true;
    if (measured->other_percent) {
      other_seen = true;
      if (*measured->other_percent > other_programs_limit_percent) {
        reasons.add(other_programs_reason, printed("%.0f%%", std::round(*measured->other_percent)),
                    phase);
      }
    }
    if (measured->steal_percent) {
      steal_seen = true;
      if (*measured->steal_percent > steal_limit_percent) {
        reasons.add("steal", printed("%.0f%%", std::round(*measured->steal_percent)), phase);
      }
    }
    if (measured->frequency_mean_hz) {
      frequency_seen = true;
      const double best = fastest[phase_uses_every_processor(phase) ? 1 : 0];
      if (*measured->frequency_mean_hz < frequency_floor_ratio * best) {
        reasons.add(
            "frequency down",
            frequency_text(*measured->frequency_mean_hz) + " (of " + frequency_text(best) + ")",
            phase);
      }
    }
    if (measured->throttle_events) {
      throttle_seen = true;
      if (*measured->throttle_events > 0) reasons.add("thermal throttling", "", phase);
    }
    if (measured->quota_throttled_periods && *measured->quota_throttled_periods > 0) {
      // The time held back where it shows at one decimal, else the periods.
      const double seconds = measured->quota_throttled_seconds.value_or(0.0);
      const std::string held = seconds >= 0.05
                                   ? printed("%.1f s", seconds)
                                   : counted(*measured->quota_throttled_periods, "period");
      reasons.add("quota throttling", held, phase);
    }
  }
  if (machine.quota_processors && *machine.quota_processors < processors_used) {
    // The quota as the machine table prints it: 1.95 is not "2.0".
    reasons.add_whole("quota " + quota_words(*machine.quota_processors) + " below " +
                      std::to_string(processors_used) + " used");
  }
  if (machine.on_battery && *machine.on_battery) reasons.add_whole("on battery");

  verdict.reasons = reasons.lines();
  verdict.clean = verdict.reasons.empty();
  if (any_phase) {
    if (!other_seen) verdict.not_reported.emplace_back("other programs");
    if (!steal_seen) verdict.not_reported.emplace_back("steal");
    if (!frequency_seen) verdict.not_reported.emplace_back("frequency");
    if (!throttle_seen) verdict.not_reported.emplace_back("thermal throttling");
  } else {
    verdict.not_reported.emplace_back("every phase condition");
  }
  if (!machine.on_battery) verdict.not_reported.emplace_back("power source");
  return verdict;
}

std::string verdict_line(const run_verdict& verdict, int run, int runs) {
  std::string line = "run " + std::to_string(run) + "/" + std::to_string(runs) + ": ";
  if (!verdict.clean) {
    line += "disturbed: ";
    for (std::size_t i = 0; i < verdict.reasons.size(); ++i) {
      line += (i > 0 ? "; " : "") + verdict.reasons[i];
    }
    return line;
  }
  line += "clean";
  if (!verdict.not_reported.empty()) {
    line += " (not reported: ";
    for (std::size_t i = 0; i < verdict.not_reported.size(); ++i) {
      line += (i > 0 ? ", " : "") + verdict.not_reported[i];
    }
    line += ")";
  }
  return line;
}

std::string verdict_warning(const run_verdict& verdict, int run, int runs) {
  run_verdict rest = verdict;
  const std::string other = std::string(other_programs_reason) + " ";
  rest.reasons.erase(std::remove_if(rest.reasons.begin(), rest.reasons.end(),
                                    [&other](const std::string& reason) {
                                      return reason.compare(0, other.size(), other) == 0;
                                    }),
                     rest.reasons.end());
  if (verdict.clean || rest.reasons.empty()) return std::string();
  return "warning: " + verdict_line(rest, run, runs);
}

nlohmann::json verdict_json(const run_verdict& verdict) {
  return {{"clean", verdict.clean},
          {"reasons", verdict.reasons},
          {"not_reported", verdict.not_reported}};
}

bool run_is_clean(const nlohmann::json& run) {
  if (!run.is_object()) return false;
  const auto verdict = run.find("verdict");
  if (verdict == run.end()) return true;
  if (!verdict->is_object()) return false;
  const auto clean = verdict->find("clean");
  return clean != verdict->end() && clean->is_boolean() && clean->get<bool>();
}

}  // namespace quorvane::host
