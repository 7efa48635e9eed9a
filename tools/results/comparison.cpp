// Laying out a comparison with a baseline.
#include "results/comparison.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "number_text.h"
#include "results/document_figures.h"
#include "results/machine_table.h"
#include "results/run_report.h"
#include "results/run_statistics.h"
#include "results/run_verdict.h"
#include "safe_text.h"

namespace quorvane::host {
namespace {

using nlohmann::json;

// Whole at any magnitude: a baseline may hold 1e40.
std::string number_cell(double value, const char* format) { return printed(format, value); }

const json& machine_member(const json& document, const char* key) {
  return member(member(document, "machine"), key);
}

std::string machine_text(const json& document, const char* key) {
  return text_member(member(document, "machine"), key);
}

std::string processors(const json& document) {
  const json& logical = machine_member(document, "logical_processors");
  if (!logical.is_number_integer()) return "";
  std::string text = logical.dump();
  const json& usable = machine_member(document, "usable_processors");
  if (usable.is_number_integer()) text += " (" + usable.dump() + " usable)";
  return text;
}

std::string memory(const json& document) {
  const json& bytes = machine_member(document, "memory_bytes");
  if (!bytes.is_number()) return "";
  return number_cell(bytes.get<double>() / (1024.0 * 1024.0 * 1024.0), "%.1f GiB");
}

// A version 2 machine member the document has, even as null ("not
// reported" by that machine), as text; "" when the document lacks it.
std::string condition_text(const json& document, const char* key) {
  const json& machine = member(document, "machine");
  if (!machine.is_object() || !machine.contains(key)) return "";
  const json& value = machine[key];
  if (value.is_null()) return "not reported";
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "on" : "off";
  if (value.is_number()) return number_cell(value.get<double>(), "%.2f");
  return value.dump();
}

std::string quota(const json& document) {
  const std::string text = condition_text(document, "quota_processors");
  if (text == "not reported") return "none";
  return text.empty() ? text : text + " processors";
}

std::string frequency_policy(const json& document) {
  std::string policy = condition_text(document, "frequency_policy");
  const std::string boost = condition_text(document, "boost");
  if (policy.empty() && boost.empty()) return "";
  if (policy == "not reported" && boost == "not reported") return policy;
  return policy + ", boost " + (boost.empty() ? "not recorded" : boost);
}

// The rows of the machine table, those that change the numbers first:
// they are the like-for-like checks.
const std::vector<machine_row> machine_rows = {
    {"library", [](const json& d) { return text_member(d, "library_version"); }},
    // Another build of the same version may run its kernels at another speed.
    {"library build", [](const json& d) { return text_member(d, "library_sha256"); }},
    {"processor model", [](const json& d) { return machine_text(d, "cpu_model"); }},
    {"processors", processors},
    {"virtualisation", [](const json& d) { return condition_text(d, "virtualisation"); }},
    {"frequency policy", frequency_policy},
    {"quota", quota},
    {"power source", [](const json& d) { return condition_text(d, "power_source"); }},
    {"memory", memory},
    {"operating system", [](const json& d) { return machine_text(d, "os"); }},
    {"kernel", [](const json& d) { return machine_text(d, "kernel"); }},
    {"started", [](const json& d) { return text_member(d, "started_at"); }},
};
constexpr std::size_t rows_that_change_numbers = 8;

std::string machine_table(const json& baseline, const json& current) {
  std::size_t width = std::string("baseline").size();
  std::vector<std::vector<std::string>> cells = machine_cells(machine_rows, {&baseline, &current});
  // A baseline's texts may hold escapes and line ends: never for the
  // terminal.
  for (std::vector<std::string>& row : cells) {
    for (std::string& cell : row) cell = terminal_safe(cell);
    width = std::max(width, row[0].size());
  }
  // The cells go in whole: a processor model may be longer than any buffer.
  std::string table = "Machines\n";
  table += "  " + left_aligned("", 18) + " " + left_aligned("baseline", width) + "  this machine\n";
  for (std::size_t i = 0; i < cells.size(); ++i) {
    table += "  " + left_aligned(machine_rows[i].label, 18) + " " +
             left_aligned(cells[i][0], width) + "  " + cells[i][1] + "\n";
  }
  return table;
}

struct run_counts {
  std::size_t finished = 0;
  std::size_t compared = 0;
};

run_counts count_runs(const json& document) {
  return {finished_runs(document).size(), compared_runs(document).size()};
}

std::string side_runs(const run_counts& counts, const char* where) {
  std::string text = std::to_string(counts.compared) + " " + where;
  const std::size_t left_out = counts.finished - counts.compared;
  if (left_out > 0) text += " (" + std::to_string(left_out) + " disturbed left out)";
  return text;
}

std::string why_nothing_is_compared(const run_counts& here, const run_counts& there) {
  if (here.compared == 0) {
    return here.finished > 0 ? "every finished run here was disturbed" : "no run finished here";
  }
  return there.finished > 0 ? "every baseline run was disturbed"
                            : "the baseline has no finished run";
}

std::string interval_cell(const rank_comparison& statistic) {
  if (!statistic.low || !statistic.high) return "-";
  return number_cell(*statistic.low, "%.3f") + "-" + number_cell(*statistic.high, "%.3f");
}

std::string verdict_cell(const figure_comparison& compared) {
  if (compared.statistic.call == rank_verdict::not_compared && compared.statistic.runs_needed > 0) {
    return "too few runs";
  }
  return rank_verdict_text(compared.statistic.call);
}

}  // namespace

const char* const comparison_method =
    "Mann-Whitney U test with the Hodges-Lehmann estimate on the logarithms of each side's clean "
    "runs; 95% interval for the ratio, and the verdict follows it";

std::vector<const json*> compared_runs(const json& document) {
  std::vector<const json*> runs = finished_runs(document);
  runs.erase(
      std::remove_if(runs.begin(), runs.end(), [](const json* run) { return !run_is_clean(*run); }),
      runs.end());
  return runs;
}

figure_comparison compare_figure(const json& baseline, const json& current, const char* key) {
  const std::vector<double> before = report_values(compared_runs(baseline), key);
  const std::vector<double> after = report_values(compared_runs(current), key);
  figure_comparison result;
  result.baseline_runs = before.size();
  result.current_runs = after.size();
  result.baseline_median = summarise(before).median;
  result.current_median = summarise(after).median;
  if (!before.empty() && !after.empty() && result.baseline_median != 0) {
    result.ratio = result.current_median / result.baseline_median;
  }
  if (before.empty() || after.empty()) {
    result.why_not = std::string("no clean finished run ") + (before.empty() ? "there" : "here");
    if (before.empty() && after.empty()) result.why_not = "no clean finished run on either side";
    return result;
  }
  result.statistic = compare_ranks(before, after);
  result.why_not = result.statistic.note;
  return result;
}

side_differences compare_sides(const json& baseline, const json& current) {
  side_differences found;
  for (std::size_t i = 0; i < rows_that_change_numbers; ++i) {
    const machine_row& row = machine_rows[i];
    const std::string before = row.describe(baseline);
    const std::string after = row.describe(current);
    if (before.empty() || after.empty()) {
      found.not_recorded.push_back(row.label);
    } else if (before != after) {
      std::string difference = row.label;
      difference += ": " + before;
      difference += " there, " + after;
      difference += " here";
      found.differences.push_back(std::move(difference));
    }
  }
  return found;
}

std::string format_comparison(const json& baseline, const json& current) {
  std::string table = "Comparison with the baseline\n";
  const side_differences sides = compare_sides(baseline, current);
  if (!sides.differences.empty()) {
    table += "  not like for like:\n";
    // A baseline's texts never drive the terminal.
    for (const std::string& difference : sides.differences) {
      table += "    " + terminal_safe(difference) + "\n";
    }
  } else {
    table += "  like for like";
    table += sides.not_recorded.empty() ? "\n" : " as far as both sides record\n";
  }
  if (!sides.not_recorded.empty()) {
    std::string list;
    for (const std::string& name : sides.not_recorded) list += (list.empty() ? "" : ", ") + name;
    table += "  not recorded on one side: " + list + "\n";
  }
  const run_counts there = count_runs(baseline);
  const run_counts here = count_runs(current);
  table += "  clean finished runs compared: " + side_runs(there, "there") + ", " +
           side_runs(here, "here") + "\n";
  if (here.compared == 0 || there.compared == 0) {
    table += "  nothing is compared: " + why_nothing_is_compared(here, there) + "\n";
  }

  char line[256];
  std::snprintf(line, sizeof line, "  %-32s %10s %10s %7s %13s  %s\n", "", "baseline", "this",
                "ratio", "95% interval", "verdict");
  table += line;
  std::vector<std::string> notes;
  for (const report_figure& figure : report_figures) {
    const figure_comparison compared = compare_figure(baseline, current, figure.key);
    const std::string before =
        compared.baseline_runs > 0 ? figure_text(compared.baseline_median) : "-";
    const std::string after =
        compared.current_runs > 0 ? figure_text(compared.current_median) : "-";
    const std::string ratio = compared.ratio ? number_cell(*compared.ratio, "%.3f") : "-";
    // The cells go in whole, never cut to a buffer.
    std::snprintf(line, sizeof line, "  %-32s", figure.label);
    table += line;
    table += " " + right_aligned(before, 10) + " " + right_aligned(after, 10) + " " +
             right_aligned(ratio, 7) + " " + right_aligned(interval_cell(compared.statistic), 13) +
             "  " + verdict_cell(compared) + "\n";
    if (!compared.why_not.empty() &&
        std::find(notes.begin(), notes.end(), compared.why_not) == notes.end()) {
      notes.push_back(compared.why_not);
    }
  }
  table += std::string("  method: ") + comparison_method + "\n";
  for (const std::string& note : notes) table += "  not compared: " + note + "\n";
  table += "\n";
  table += machine_table(baseline, current);
  return table;
}

json comparison_json(const json& baseline, const json& current,
                     const std::string& baseline_source) {
  const side_differences sides = compare_sides(baseline, current);
  const run_counts there = count_runs(baseline);
  // A file name is bytes, not always UTF-8; the document must stay valid.
  json base = {{"source", valid_utf8(baseline_source)},
               {"schema_version", member(baseline, "schema_version")},
               {"library_version", member(baseline, "library_version")},
               {"started_at", member(baseline, "started_at")},
               {"machine", member(baseline, "machine")},
               {"finished_runs", there.finished},
               {"compared_runs", there.compared}};
  json summary = json::object();
  for (const report_figure& figure : report_figures) {
    const std::optional<struct summary> s = summarise_report(compared_runs(baseline), figure.key);
    if (s) summary[figure.key] = {{"median", s->median}, {"min", s->minimum}, {"max", s->maximum}};
  }
  base["summary"] = std::move(summary);

  json figures = json::object();
  for (const report_figure& figure : report_figures) {
    const figure_comparison compared = compare_figure(baseline, current, figure.key);
    auto or_null = [](const std::optional<double>& value) {
      return value ? json(*value) : json(nullptr);
    };
    json entry = {
        {"baseline_median",
         compared.baseline_runs > 0 ? json(compared.baseline_median) : json(nullptr)},
        {"median", compared.current_runs > 0 ? json(compared.current_median) : json(nullptr)},
        {"ratio", or_null(compared.ratio)},
        {"interval_low", or_null(compared.statistic.low)},
        {"interval_high", or_null(compared.statistic.high)},
        {"p_value", or_null(compared.statistic.p_value)},
        {"verdict", verdict_cell(compared)}};
    entry["runs_needed"] =
        compared.statistic.runs_needed > 0 ? json(compared.statistic.runs_needed) : json(nullptr);
    entry["note"] = compared.why_not.empty() ? json(nullptr) : json(compared.why_not);
    figures[figure.key] = std::move(entry);
  }
  return {{"baseline", std::move(base)},
          {"like_for_like", sides.differences.empty()},
          {"differences", sides.differences},
          {"not_recorded", sides.not_recorded},
          {"compared_runs", count_runs(current).compared},
          {"method", comparison_method},
          {"figures", std::move(figures)}};
}

}  // namespace quorvane::host
