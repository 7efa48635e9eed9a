// Writing the figures of a results document as Prometheus gauges.
#include "export/export_prometheus.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <optional>

#include "machine/host_platform.h"
#include "results/document_figures.h"

namespace quorvane::host {
namespace {

// One sample taken from a report member: the median over the finished runs
// times the factor that brings it to base units.
struct report_sample {
  const char* labels;  // "" or {name="value"}
  const char* key;
  double to_base_unit;
};

struct report_gauge {
  const char* name;
  const char* help;
  report_sample samples[2];
  int sample_count;
};

constexpr double million = 1e6;
constexpr double mebibyte = 1048576.0;

const report_gauge report_gauges[] = {
    {"quorvane_score",
     "Median benchmark score; the reference machine scores 1000.",
     {{"{threads=\"single\"}", "score_single", 1}, {"{threads=\"all\"}", "score_multi", 1}},
     2},
    {"quorvane_integer_mix_steps_per_second",
     "Median integer mixing steps per second.",
     {{"{threads=\"single\"}", "int_single_mops", million},
      {"{threads=\"all\"}", "int_multi_mops", million}},
     2},
    {"quorvane_floating_point_operations_per_second",
     "Median double-precision floating-point operations per second.",
     {{"{threads=\"single\"}", "fp_single_mflops", million},
      {"{threads=\"all\"}", "fp_multi_mflops", million}},
     2},
    {"quorvane_memory_copy_bytes_per_second",
     "Median memory copy bandwidth in bytes per second.",
     {{"", "mem_bandwidth_mbps", mebibyte}, {}},
     1},
    {"quorvane_processors", "Processors the runs used.", {{"", "threads_used", 1}, {}}, 1},
    {"quorvane_run_duration_seconds",
     "Median duration of one run in seconds.",
     {{"", "duration_ms", 1e-3}, {}},
     1},
};

void append_family(std::string& out, const char* name, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += " gauge\n";
}

void append_sample(std::string& out, const char* name, const std::string& labels, double value) {
  out += name;
  out += labels;
  out += ' ';
  out += format_sample_value(value);
  out += '\n';
}

// Seconds since 1970-01-01T00:00:00Z of a "YYYY-MM-DDTHH:MM:SSZ" time, as
// the documents write it; nothing for any other text.
std::optional<long long> unix_time(const std::string& text) {
  // The readers also take blanks before a number and numbers shorter than
  // their field, which no document writes: 20 characters of digits and
  // separators leave every field its full width.
  std::tm calendar{};
  if (text.size() != 20 || text.find_first_not_of("0123456789-:TZ") != std::string::npos ||
      !platform::read_utc_text(text, calendar)) {
    return std::nullopt;
  }
  std::time_t moment = 0;
  if (!platform::utc_moment(calendar, moment)) return std::nullopt;
  return static_cast<long long>(moment);
}

// A member of one phase's conditions (phase 0-based) as a number; nothing
// where the run has no conditions (a version 1 document) or the machine
// did not report it.
std::optional<double> phase_condition(const nlohmann::json& run, std::size_t phase,
                                      const char* key) {
  const nlohmann::json& conditions = member(run, "conditions");
  if (!conditions.is_array() || phase >= conditions.size()) return std::nullopt;
  const nlohmann::json& value = member(conditions[phase], key);
  if (!value.is_number()) return std::nullopt;
  return value.get<double>();
}

// Per run, the largest of a condition over its phases.
std::vector<double> largest_per_run(const std::vector<const nlohmann::json*>& runs, const char* key,
                                    double scale) {
  std::vector<double> values;
  for (const nlohmann::json* run : runs) {
    std::optional<double> largest;
    for (std::size_t phase = 0; phase < phase_count; ++phase) {
      const std::optional<double> value = phase_condition(*run, phase, key);
      if (value && (!largest || *value > *largest)) largest = value;
    }
    if (largest) values.push_back(*largest * scale);
  }
  return values;
}

void append_median(std::string& out, const char* name, const char* help,
                   const std::vector<double>& values) {
  if (values.empty()) return;
  append_family(out, name, help);
  append_sample(out, name, "", summarise(values).median);
}

// Whether the runs were clean, and the conditions they ran in; a condition
// no run reported gives no gauge at all, never a guessed 0.
void append_condition_gauges(std::string& out, const nlohmann::json& document,
                             const std::vector<const nlohmann::json*>& runs) {
  bool judged = false;
  bool all_clean = true;
  for (const nlohmann::json* run : runs) {
    const nlohmann::json& clean = member(member(*run, "verdict"), "clean");
    if (!clean.is_boolean()) continue;
    judged = true;
    if (!clean.get<bool>()) all_clean = false;
  }
  if (judged) {
    append_family(out, "quorvane_run_clean",
                  "1 when every finished run was clean, 0 when one was disturbed.");
    append_sample(out, "quorvane_run_clean", "", all_clean ? 1 : 0);
  }
  append_median(out, "quorvane_steal_ratio",
                "Median over the runs of the largest steal share of one phase, 0 to 1.",
                largest_per_run(runs, "steal_percent", 0.01));
  append_median(out, "quorvane_quota_throttled_seconds",
                "Median over the runs of the longest time one phase was held back by the "
                "processor quota, in seconds.",
                largest_per_run(runs, "quota_throttled_seconds", 1));

  bool frequency_family = false;
  for (std::size_t phase = 0; phase < phase_count; ++phase) {
    std::vector<double> means;
    for (const nlohmann::json* run : runs) {
      if (const std::optional<double> mean = phase_condition(*run, phase, "frequency_mean_hz")) {
        means.push_back(*mean);
      }
    }
    if (means.empty()) continue;
    if (!frequency_family) {
      append_family(out, "quorvane_frequency_hertz",
                    "Median over the runs of the processors' mean frequency during a phase.");
      frequency_family = true;
    }
    append_sample(out, "quorvane_frequency_hertz", "{phase=\"" + std::to_string(phase + 1) + "\"}",
                  summarise(means).median);
  }

  const nlohmann::json& quota = member(member(document, "machine"), "quota_processors");
  if (quota.is_number()) {
    append_family(out, "quorvane_quota_processors",
                  "The processor quota the runs were under, in processors.");
    append_sample(out, "quorvane_quota_processors", "", quota.get<double>());
  }
}

}  // namespace

std::string escape_label_value(const std::string& value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (const char c : value) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '"') {
      escaped += "\\\"";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string format_sample_value(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char text[32];
  const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
  return std::string(text, written.ptr);
}

std::string format_prometheus(const nlohmann::json& document) {
  std::string out;
  const nlohmann::json& machine = member(document, "machine");
  append_family(out, "quorvane_info", "Versions of the benchmark and the processor it ran on.");
  append_sample(
      out, "quorvane_info",
      "{library_version=\"" + escape_label_value(text_member(document, "library_version")) +
          "\",host_version=\"" + escape_label_value(text_member(document, "host_version")) +
          "\",cpu_model=\"" + escape_label_value(text_member(machine, "cpu_model")) + "\"}",
      1);

  const std::vector<const nlohmann::json*> runs = finished_runs(document);
  append_family(out, "quorvane_runs", "Finished runs behind the medians.");
  append_sample(out, "quorvane_runs", "", static_cast<double>(runs.size()));
  if (runs.empty()) return out;

  for (const report_gauge& gauge : report_gauges) {
    bool family_written = false;
    for (int i = 0; i < gauge.sample_count; ++i) {
      const report_sample& sample = gauge.samples[i];
      const std::optional<summary> figure = summarise_report(runs, sample.key);
      if (!figure) continue;
      if (!family_written) append_family(out, gauge.name, gauge.help);
      family_written = true;
      append_sample(out, gauge.name, sample.labels, figure->median * sample.to_base_unit);
    }
  }

  std::vector<double> largest_shares;
  for (const nlohmann::json* run : runs) {
    const std::optional<double> share = largest_other_load_percent(*run);
    if (share) largest_shares.push_back(*share / 100.0);
  }
  if (!largest_shares.empty()) {
    append_family(out, "quorvane_other_load_ratio",
                  "Median over the runs of the largest share of the processors that other "
                  "programs used during one phase, 0 to 1.");
    append_sample(out, "quorvane_other_load_ratio", "", summarise(largest_shares).median);
  }

  append_condition_gauges(out, document, runs);

  const std::optional<long long> ended = unix_time(text_member(*runs.back(), "ended_at"));
  if (ended) {
    append_family(out, "quorvane_last_run_timestamp_seconds",
                  "Unix time at which the last finished run ended.");
    append_sample(out, "quorvane_last_run_timestamp_seconds", "", static_cast<double>(*ended));
  }
  return out;
}

}  // namespace quorvane::host
