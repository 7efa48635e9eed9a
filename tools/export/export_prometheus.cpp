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

bool read_digits(const std::string& text, std::size_t at, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Seconds since 1970-01-01T00:00:00Z of a "YYYY-MM-DDTHH:MM:SSZ" time, as
// the documents write it; nothing for any other text.
std::optional<long long> unix_time(const std::string& text) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z') {
    return std::nullopt;
  }
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!read_digits(text, 0, 4, year) || !read_digits(text, 5, 2, month) ||
      !read_digits(text, 8, 2, day) || !read_digits(text, 11, 2, hour) ||
      !read_digits(text, 14, 2, minute) || !read_digits(text, 17, 2, second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  std::tm calendar{};
  calendar.tm_year = year - 1900;
  calendar.tm_mon = month - 1;
  calendar.tm_mday = day;
  calendar.tm_hour = hour;
  calendar.tm_min = minute;
  calendar.tm_sec = second;
  std::time_t moment = 0;
  if (!platform::utc_moment(calendar, moment)) return std::nullopt;
  return static_cast<long long>(moment);
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

  const std::optional<long long> ended = unix_time(text_member(*runs.back(), "ended_at"));
  if (ended) {
    append_family(out, "quorvane_last_run_timestamp_seconds",
                  "Unix time at which the last finished run ended.");
    append_sample(out, "quorvane_last_run_timestamp_seconds", "", static_cast<double>(*ended));
  }
  return out;
}

}  // namespace quorvane::host
