// Laying out a comparison with a baseline.
#include "results/comparison.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "number_text.h"
#include "results/document_figures.h"
#include "results/machine_table.h"
#include "results/run_report.h"
#include "results/run_statistics.h"
#include "safe_text.h"

namespace quorvane::host {
namespace {

using nlohmann::json;

// Whole at any magnitude: a baseline may hold 1e40.
std::string number_cell(double value, const char* format) { return printed(format, value); }

const json& machine_member(const json& document, const char* key) {
  return member(member(document, "machine"), key);
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

std::string machine_text(const json& document, const char* key) {
  return text_member(member(document, "machine"), key);
}

const std::vector<machine_row> machine_rows = {
    {"processor model", [](const json& d) { return machine_text(d, "cpu_model"); }},
    {"processors", processors},
    {"memory", memory},
    {"operating system", [](const json& d) { return machine_text(d, "os"); }},
    {"kernel", [](const json& d) { return machine_text(d, "kernel"); }},
    {"library", [](const json& d) { return text_member(d, "library_version"); }},
    {"started", [](const json& d) { return text_member(d, "started_at"); }},
};

std::string machine_table(const json& baseline, const json& current) {
  std::size_t width = std::string("baseline").size();
  std::vector<std::vector<std::string>> cells = machine_cells(machine_rows, {&baseline, &current});
  // A baseline's texts may hold escapes and line ends: never for the
  // terminal.
  for (std::vector<std::string>& row : cells) {
    for (std::string& cell : row) cell = terminal_safe(cell);
    width = std::max(width, row[0].size());
  }
  const int column = static_cast<int>(width);
  std::string table = "Machines\n";
  char line[512];
  std::snprintf(line, sizeof line, "  %-18s %-*s  %s\n", "", column, "baseline", "this machine");
  table += line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    // The cells go in whole: a processor model may be longer than the buffer.
    std::snprintf(line, sizeof line, "  %-18s ", machine_rows[i].label.c_str());
    table += line;
    table += cells[i][0];
    table.append(width - cells[i][0].size() + 2, ' ');
    table += cells[i][1];
    table += "\n";
  }
  return table;
}

}  // namespace

figure_comparison compare_figure(const json& baseline, const json& current, const char* key) {
  const std::vector<double> before = report_values(finished_runs(baseline), key);
  const std::vector<double> after = report_values(finished_runs(current), key);
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
                finished_runs(baseline).size(), finished_runs(current).size());
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
