// Laying out a comparison with a baseline.
#include "results/comparison.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "number_text.h"
#include "results/run_report.h"
#include "results/run_statistics.h"
#include "safe_text.h"

namespace quorvane::host {
namespace {

using nlohmann::json;

bool finished(const json& run) {
  if (!run.is_object()) return false;
  const auto cancelled = run.find("cancelled");
  return cancelled == run.end() || !cancelled->is_boolean() || !cancelled->get<bool>();
}

std::size_t finished_runs(const json& document) {
  const auto runs = document.find("runs");
  if (runs == document.end() || !runs->is_array()) return 0;
  return static_cast<std::size_t>(std::count_if(runs->begin(), runs->end(), finished));
}

// Whole at any magnitude: a baseline may hold 1e40.
std::string number_cell(double value, const char* format) { return printed(format, value); }

// One line of the machine table: what it describes, and the text for each
// side ("not recorded" when the document does not say).
struct machine_row {
  const char* label;
  std::string (*describe)(const json& document);
};

const json* machine_member(const json& document, const char* key) {
  const auto machine = document.find("machine");
  if (machine == document.end() || !machine->is_object()) return nullptr;
  const auto member = machine->find(key);
  return member == machine->end() ? nullptr : &*member;
}

std::string text_of(const json* value) {
  return value != nullptr && value->is_string() ? value->get<std::string>() : "";
}

std::string processors(const json& document) {
  const json* logical = machine_member(document, "logical_processors");
  if (logical == nullptr || !logical->is_number_integer()) return "";
  std::string text = logical->dump();
  const json* usable = machine_member(document, "usable_processors");
  if (usable != nullptr && usable->is_number_integer()) text += " (" + usable->dump() + " usable)";
  return text;
}

std::string memory(const json& document) {
  const json* bytes = machine_member(document, "memory_bytes");
  if (bytes == nullptr || !bytes->is_number()) return "";
  return number_cell(bytes->get<double>() / (1024.0 * 1024.0 * 1024.0), "%.1f GiB");
}

std::string top_level_text(const json& document, const char* key) {
  const auto member = document.find(key);
  return member == document.end() ? "" : text_of(&*member);
}

const machine_row machine_rows[] = {
    {"processor model", [](const json& d) { return text_of(machine_member(d, "cpu_model")); }},
    {"processors", processors},
    {"memory", memory},
    {"operating system", [](const json& d) { return text_of(machine_member(d, "os")); }},
    {"kernel", [](const json& d) { return text_of(machine_member(d, "kernel")); }},
    {"library", [](const json& d) { return top_level_text(d, "library_version"); }},
    {"started", [](const json& d) { return top_level_text(d, "started_at"); }},
};

std::string machine_table(const json& baseline, const json& current) {
  std::vector<std::pair<std::string, std::string>> cells;
  std::size_t width = std::string("baseline").size();
  for (const machine_row& row : machine_rows) {
    // A baseline's texts may hold escapes and line ends: never for the
    // terminal.
    std::string before = terminal_safe(row.describe(baseline));
    std::string after = terminal_safe(row.describe(current));
    if (before.empty()) before = "not recorded";
    if (after.empty()) after = "not recorded";
    width = std::max(width, before.size());
    cells.emplace_back(std::move(before), std::move(after));
  }
  const int column = static_cast<int>(width);
  std::string table = "Machines\n";
  char line[512];
  std::snprintf(line, sizeof line, "  %-18s %-*s  %s\n", "", column, "baseline", "this machine");
  table += line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    // The cells go in whole: a processor model may be longer than the buffer.
    std::snprintf(line, sizeof line, "  %-18s ", machine_rows[i].label);
    table += line;
    table += cells[i].first;
    table.append(width - cells[i].first.size() + 2, ' ');
    table += cells[i].second;
    table += "\n";
  }
  return table;
}

}  // namespace

std::vector<double> finished_run_values(const json& document, const char* key) {
  std::vector<double> values;
  const auto runs = document.find("runs");
  if (runs == document.end() || !runs->is_array()) return values;
  for (const json& run : *runs) {
    if (!finished(run)) continue;
    const auto report = run.find("report");
    if (report == run.end() || !report->is_object()) continue;
    const auto value = report->find(key);
    if (value != report->end() && value->is_number()) values.push_back(value->get<double>());
  }
  return values;
}

figure_comparison compare_figure(const json& baseline, const json& current, const char* key) {
  const std::vector<double> before = finished_run_values(baseline, key);
  const std::vector<double> after = finished_run_values(current, key);
  figure_comparison result;
  result.baseline_runs = before.size();
  result.current_runs = after.size();
  result.baseline_median = summarise(before).median;
  result.current_median = summarise(after).median;
  if (!before.empty() && !after.empty() && result.baseline_median != 0) {
    result.ratio = result.current_median / result.baseline_median;
  }
  result.significance = compare_samples(before, after);
  return result;
}

std::string format_comparison(const json& baseline, const json& current) {
  std::string table;
  char line[256];
  std::snprintf(line, sizeof line,
                "Comparison with the baseline (medians; finished runs: %zu there, %zu here)\n",
                finished_runs(baseline), finished_runs(current));
  table += line;
  std::snprintf(line, sizeof line, "  %-32s %10s %10s %7s %7s  %s\n", "", "baseline", "this",
                "ratio", "p", "verdict");
  table += line;

  std::vector<std::string> notes;
  for (const report_figure& figure : report_figures) {
    const figure_comparison compared = compare_figure(baseline, current, figure.key);
    const std::string before =
        compared.baseline_runs > 0 ? number_cell(compared.baseline_median, "%.0f") : "-";
    const std::string after =
        compared.current_runs > 0 ? number_cell(compared.current_median, "%.0f") : "-";
    const std::string ratio = compared.ratio ? number_cell(*compared.ratio, "%.3f") : "-";
    const std::optional<double>& p = compared.significance.p_value;
    const std::string probability = !p ? "-" : *p < 0.001 ? "<0.001" : number_cell(*p, "%.3f");
    std::snprintf(line, sizeof line, "  %-32s %10s %10s %7s %7s  %s\n", figure.label,
                  before.c_str(), after.c_str(), ratio.c_str(), probability.c_str(),
                  verdict_text(compared.significance.call));
    table += line;
    const std::string& note = compared.significance.note;
    if (!note.empty() && std::find(notes.begin(), notes.end(), note) == notes.end()) {
      notes.push_back(note);
    }
  }
  table += "  verdict: Welch's two-sided t-test at the 5% level over each side's finished runs\n";
  for (const std::string& note : notes) table += "  note: " + note + "\n";
  table += "\n";
  table += machine_table(baseline, current);
  return table;
}

}  // namespace quorvane::host
