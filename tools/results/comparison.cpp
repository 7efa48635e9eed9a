// Computing a comparison with a baseline once, and laying it out.
#include "results/comparison.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "machine/condition_words.h"
#include "number_text.h"
#include "results/document_figures.h"
#include "results/json_optional.h"
#include "results/machine_table.h"
#include "results/run_report.h"
#include "results/run_statistics.h"
#include "results/run_verdict.h"
#include "safe_text.h"

namespace quorvane::host {
namespace {

using nlohmann::json;

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
  return printed("%.1f GiB", bytes.get<double>() / (1024.0 * 1024.0 * 1024.0));
}

// A version 2 machine member the document has, even as null ("not
// reported" by that machine), as text; "" when the document lacks it.
std::string condition_text(const json& document, const char* key) {
  const json& machine = member(document, "machine");
  if (!machine.is_object() || !machine.contains(key)) return "";
  const json& value = machine[key];
  if (value.is_null()) return condition_words(key, value);
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "on" : "off";
  if (value.is_number()) return printed("%.2f", value.get<double>());
  return value.dump();
}

std::string quota(const json& document) {
  const json& machine = member(document, "machine");
  if (!machine.is_object() || !machine.contains("quota_processors")) return "";
  return condition_words("quota_processors", machine["quota_processors"]);
}

std::string frequency_policy(const json& document) {
  std::string policy = condition_text(document, "frequency_policy");
  const std::string boost = condition_text(document, "boost");
  if (policy.empty() && boost.empty()) return "";
  if (policy == not_reported_words && boost == not_reported_words) return policy;
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

std::string machine_table(const std::vector<machine_comparison_row>& rows) {
  std::size_t width = std::string("baseline").size();
  // A baseline's texts may hold escapes and line ends: never for the
  // terminal.
  for (const machine_comparison_row& row : rows) {
    width = std::max(width, terminal_safe(row.baseline).size());
  }
  // The cells go in whole: a processor model may be longer than any buffer.
  std::string table = "Machines\n";
  table += "  " + left_aligned("", 18) + " " + left_aligned("baseline", width) + "  this machine\n";
  for (const machine_comparison_row& row : rows) {
    table += "  " + left_aligned(row.label, 18) + " " +
             left_aligned(terminal_safe(row.baseline), width) + "  " + terminal_safe(row.current) +
             "\n";
  }
  return table;
}

side_runs count_runs(const json& document) {
  return {finished_runs(document).size(), compared_runs(document).size()};
}

std::string side_runs_text(const side_runs& counts, const char* where) {
  std::string text = std::to_string(counts.compared) + " " + where;
  const std::size_t left_out = counts.finished - counts.compared;
  if (left_out > 0) text += " (" + std::to_string(left_out) + " disturbed left out)";
  return text;
}

std::string why_nothing_is_compared(const side_runs& here, const side_runs& there) {
  if (here.compared > 0 && there.compared > 0) return "";
  if (here.compared == 0) {
    return here.finished > 0 ? "every finished run here was disturbed" : "no run finished here";
  }
  return there.finished > 0 ? "every baseline run was disturbed"
                            : "the baseline has no finished run";
}

std::string three_places(const std::optional<double>& value) {
  return value ? printed("%.3f", *value) : "-";
}

std::string interval_cell(const rank_comparison& statistic) {
  if (!statistic.low || !statistic.high) return "-";
  return printed("%.3f", *statistic.low) + "-" + printed("%.3f", *statistic.high);
}

std::string verdict_text(const rank_comparison& statistic) {
  if (statistic.call == rank_verdict::not_compared && statistic.runs_needed > 0) {
    return "too few runs";
  }
  return rank_verdict_text(statistic.call);
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
  result.key = key;
  for (const report_figure& figure : report_figures) {
    if (std::string(figure.key) == key) result.label = figure.label;
  }
  result.baseline_runs = before.size();
  result.current_runs = after.size();
  if (!before.empty()) result.baseline_median = summarise(before).median;
  if (!after.empty()) result.current_median = summarise(after).median;
  if (before.empty() || after.empty()) {
    result.why_not = std::string("no clean finished run ") + (before.empty() ? "there" : "here");
    if (before.empty() && after.empty()) result.why_not = "no clean finished run on either side";
  } else {
    result.statistic = compare_ranks(before, after);
    result.why_not = result.statistic.note;
  }
  result.verdict = verdict_text(result.statistic);
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

comparison compare_documents(const json& baseline, const json& current,
                             const std::string& baseline_source) {
  comparison result;
  result.sides = compare_sides(baseline, current);
  result.baseline_runs = count_runs(baseline);
  result.current_runs = count_runs(current);
  result.nothing_compared = why_nothing_is_compared(result.current_runs, result.baseline_runs);
  for (const report_figure& figure : report_figures) {
    result.figures.push_back(compare_figure(baseline, current, figure.key));
  }
  const std::vector<std::vector<std::string>> cells =
      machine_cells(machine_rows, {&baseline, &current});
  for (std::size_t i = 0; i < cells.size(); ++i) {
    result.machines.push_back({machine_rows[i].label, cells[i][0], cells[i][1]});
  }

  // A file name is bytes, not always UTF-8; the document must stay valid.
  result.baseline_source = valid_utf8(baseline_source);
  for (const report_figure& figure : report_figures) {
    result.baseline_summaries.push_back(summarise_report(compared_runs(baseline), figure.key));
  }
  return result;
}

std::string format_comparison(const comparison& compared) {
  std::string table = "Comparison with the baseline\n";
  const side_differences& sides = compared.sides;
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
  table += "  clean finished runs compared: " + side_runs_text(compared.baseline_runs, "there") +
           ", " + side_runs_text(compared.current_runs, "here") + "\n";
  if (!compared.nothing_compared.empty()) {
    table += "  nothing is compared: " + compared.nothing_compared + "\n";
  }

  table += "  " + left_aligned("", 32) + " " + right_aligned("baseline", 10) + " " +
           right_aligned("this", 10) + " " + right_aligned("ratio", 7) + " " +
           right_aligned("95% interval", 13) + "  verdict\n";
  std::vector<std::string> notes;
  for (const figure_comparison& figure : compared.figures) {
    const std::string before = figure.baseline_median ? figure_text(*figure.baseline_median) : "-";
    const std::string after = figure.current_median ? figure_text(*figure.current_median) : "-";
    // The cells go in whole, never cut to a buffer.
    table += "  " + left_aligned(figure.label, 32) + " " + right_aligned(before, 10) + " " +
             right_aligned(after, 10) + " " +
             right_aligned(three_places(figure.statistic.estimate), 7) + " " +
             right_aligned(interval_cell(figure.statistic), 13) + "  " + figure.verdict + "\n";
    if (!figure.why_not.empty() &&
        std::find(notes.begin(), notes.end(), figure.why_not) == notes.end()) {
      notes.push_back(figure.why_not);
    }
  }
  table += std::string("  method: ") + comparison_method + "\n";
  for (const std::string& note : notes) table += "  not compared: " + note + "\n";
  table += "\n";
  table += machine_table(compared.machines);
  return table;
}

json comparison_json(const comparison& compared, const json& baseline) {
  json base = {{"source", compared.baseline_source},
               {"schema_version", member(baseline, "schema_version")},
               {"library_version", member(baseline, "library_version")},
               {"started_at", member(baseline, "started_at")},
               {"machine", member(baseline, "machine")},
               {"finished_runs", compared.baseline_runs.finished},
               {"compared_runs", compared.baseline_runs.compared}};
  json summary = json::object();
  for (std::size_t i = 0; i < compared.baseline_summaries.size(); ++i) {
    const std::optional<struct summary>& s = compared.baseline_summaries[i];
    if (s) {
      summary[report_figures[i].key] = {
          {"median", s->median}, {"min", s->minimum}, {"max", s->maximum}};
    }
  }
  base["summary"] = std::move(summary);
  json figures = json::object();
  for (const figure_comparison& figure : compared.figures) {
    const rank_comparison& statistic = figure.statistic;
    json entry = {{"baseline_median", figure.baseline_median},
                  {"median", figure.current_median},
                  {"ratio", statistic.estimate},
                  {"interval_low", statistic.low},
                  {"interval_high", statistic.high},
                  {"p_value", statistic.p_value},
                  {"verdict", figure.verdict}};
    entry["runs_needed"] = statistic.runs_needed > 0
                               ? std::optional<std::size_t>(statistic.runs_needed)
                               : std::nullopt;
    entry["note"] =
        figure.why_not.empty() ? std::nullopt : std::optional<std::string>(figure.why_not);
    figures[figure.key] = std::move(entry);
  }
  return {{"baseline", std::move(base)},
          {"like_for_like", compared.sides.differences.empty()},
          {"differences", compared.sides.differences},
          {"not_recorded", compared.sides.not_recorded},
          {"finished_runs", compared.current_runs.finished},
          {"compared_runs", compared.current_runs.compared},
          {"method", comparison_method},
          {"figures", std::move(figures)}};
}

}  // namespace quorvane::host
