// The export table and the built-in formats: the document itself, CSV and
// Markdown.
#include "export/export_formats.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "export/atomic_file.h"
#include "export/export_html.h"
#include "export/export_prometheus.h"
#include "number_text.h"
#include "results/document_figures.h"
#include "results/machine_table.h"
#include "results/results_document.h"

namespace quorvane::host {
namespace {

std::string lower_case(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string known_extensions() {
  std::string list;
  for (const export_format& format : export_formats()) {
    if (!list.empty()) list += ", ";
    list += format.extension;
  }
  return list;
}

// A number as a person reads it in a table: whole numbers without a
// decimal point, others with one decimal.
std::string table_number(const nlohmann::json& value) {
  if (!value.is_number()) return "-";
  if (value.is_number_integer()) return value.dump();
  const double number = value.get<double>();
  // Compared without a cast to an integer type, which no double beyond
  // 9.2e18 fits.
  return printed(std::isfinite(number) && std::floor(number) == number ? "%.0f" : "%.1f", number);
}

// A run's verdict in words: "clean", "disturbed: steal 6% in phase 4; on
// battery", or "" for a run of a version 1 document, which has none.
std::string verdict_words(const nlohmann::json& run) {
  const nlohmann::json& verdict = member(run, "verdict");
  if (!verdict.is_object() || !member(verdict, "clean").is_boolean()) return "";
  if (verdict["clean"].get<bool>()) return "clean";
  std::string text = "disturbed";
  const nlohmann::json& reasons = member(verdict, "reasons");
  if (reasons.is_array()) {
    std::string joined;
    for (const nlohmann::json& reason : reasons) {
      if (reason.is_string()) joined += (joined.empty() ? "" : "; ") + reason.get<std::string>();
    }
    if (!joined.empty()) text += ": " + joined;
  }
  return text;
}

// A CSV field: quoted, with its quotes doubled, when it holds a comma, a
// quote or a line end.
std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Pipes would end a Markdown cell.
std::string markdown_cell(const std::string& text) {
  std::string escaped;
  for (char c : text) escaped += c == '|' ? std::string("\\|") : std::string(1, c);
  return escaped;
}

std::string markdown_row(const std::vector<std::string>& cells) {
  std::string row = "|";
  for (const std::string& cell : cells) row += " " + markdown_cell(cell) + " |";
  return row + "\n";
}

std::string markdown_rule(std::size_t columns) {
  std::string rule = "|";
  for (std::size_t i = 0; i < columns; ++i) rule += "---|";
  return rule + "\n";
}

// A member's text, or fallback when it is missing or not text: a document
// read from a file may hold anything there.
std::string text_or(const nlohmann::json& object, const char* key, const char* fallback) {
  const nlohmann::json& value = member(object, key);
  return value.is_string() ? value.get<std::string>() : fallback;
}

std::string markdown_machine(const nlohmann::json& machine) {
  std::string text = "## Machine\n\n| | |\n|---|---|\n";
  const nlohmann::json& bytes = member(machine, "memory_bytes");
  const std::string memory = printed(
      "%.1f GiB", (bytes.is_number() ? bytes.get<double>() : 0.0) / (1024.0 * 1024.0 * 1024.0));
  text += markdown_row({"processor", text_or(machine, "cpu_model", "-")});
  text += markdown_row(
      {"processors", table_number(member(machine, "logical_processors")) + " logical, " +
                         table_number(member(machine, "usable_processors")) + " usable"});
  text += markdown_row({"memory", memory});
  const std::string kinds = core_kinds_cell(machine);
  if (!kinds.empty()) text += markdown_row({"core kinds", kinds});
  text += markdown_row({"system", text_or(machine, "os", "-")});
  text += markdown_row({"kernel", text_or(machine, "kernel", "-")});
  // A single-thread figure of a machine with cores of several kinds ran
  // where the system put it.
  const nlohmann::json& note = member(machine, "single_thread_note");
  if (note.is_string()) text += markdown_row({"single-thread figures", note.get<std::string>()});
  return text;
}

// The runs of a document; an empty list when it has none.
const nlohmann::json& runs_of(const nlohmann::json& document) {
  static const nlohmann::json none = nlohmann::json::array();
  const nlohmann::json& runs = member(document, "runs");
  return runs.is_array() ? runs : none;
}

// A run's other_load_percent; an empty list when it has none.
const nlohmann::json& loads_of(const nlohmann::json& run) {
  static const nlohmann::json none = nlohmann::json::array();
  const nlohmann::json& loads = member(run, "other_load_percent");
  return loads.is_array() ? loads : none;
}

std::string markdown_runs(const nlohmann::json& runs) {
  std::vector<std::string> header = {"run", "started_at", "cancelled"};
  for (const char* key : report_keys) header.emplace_back(key);
  header.emplace_back("verdict");
  std::string text = "## Runs\n\n" + markdown_row(header) + markdown_rule(header.size());
  int number = 0;
  for (const nlohmann::json& run : runs) {
    std::vector<std::string> cells = {std::to_string(++number), text_member(run, "started_at"),
                                      is_cancelled(run) ? "yes" : "no"};
    for (const char* key : report_keys) {
      cells.push_back(table_number(member(member(run, "report"), key)));
    }
    const std::string verdict = verdict_words(run);
    cells.push_back(verdict.empty() ? "-" : verdict);
    text += markdown_row(cells);
  }

  text += "\n## Other programs' share of the processors, in percent\n\n";
  std::vector<std::string> phases = {"run"};
  for (int phase = 1; phase <= run_phase_count; ++phase) {
    phases.push_back("phase " + std::to_string(phase));
  }
  text += markdown_row(phases) + markdown_rule(phases.size());
  number = 0;
  for (const nlohmann::json& run : runs) {
    std::vector<std::string> cells = {std::to_string(++number)};
    for (const nlohmann::json& load : loads_of(run)) cells.push_back(table_number(load));
    text += markdown_row(cells);
  }
  return text;
}

std::string markdown_summary(const nlohmann::json& summary) {
  if (summary.empty()) return "## Summary\n\nNo run finished.\n";
  std::string text = "## Summary of the finished runs\n\n";
  text += markdown_row({"figure", "median", "min", "max", "cv"}) + markdown_rule(5);
  for (const char* key : report_keys) {
    const nlohmann::json& entry = member(summary, key);
    if (!entry.is_object()) continue;
    std::string variation = "-";
    const nlohmann::json& cv = member(entry, "cv_percent");
    if (cv.is_number()) variation = printed("%.1f%%", cv.get<double>());
    text += markdown_row({key, table_number(member(entry, "median")),
                          table_number(member(entry, "min")), table_number(member(entry, "max")),
                          variation});
  }
  return text;
}

std::string json_entry(const nlohmann::json& document, const nlohmann::json*) {
  return format_json_export(document);
}
std::string csv_entry(const nlohmann::json& document, const nlohmann::json*) {
  return format_csv_export(document);
}
std::string markdown_entry(const nlohmann::json& document, const nlohmann::json*) {
  return format_markdown_export(document);
}
std::string prometheus_entry(const nlohmann::json& document, const nlohmann::json*) {
  return format_prometheus(document);
}

}  // namespace

const std::vector<export_format>& export_formats() {
  static const std::vector<export_format> formats = {
      {".json", &json_entry},       {".csv", &csv_entry},    {".md", &markdown_entry},
      {".prom", &prometheus_entry}, {".html", &format_html},
  };
  return formats;
}

const export_format* export_format_for(const std::string& path) {
  const std::string name = lower_case(path);
  for (const export_format& format : export_formats()) {
    if (ends_with(name, format.extension)) return &format;
  }
  return nullptr;
}

std::string check_export_path(const std::string& path) {
  if (export_format_for(path) == nullptr) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t separator = path.find_last_of("/\\");
    const bool has_extension =
        dot != std::string::npos && (separator == std::string::npos || dot > separator);
    const std::string which =
        has_extension ? "unknown extension '" + path.substr(dot) + "'" : "no extension";
    return "cannot export to " + path + ": " + which + " (known: " + known_extensions() + ")";
  }
  std::string error;
  if (!can_write_atomically(path, error)) return "cannot export to " + path + ": " + error;
  return std::string();
}

std::string write_export(const std::string& path, const nlohmann::json& document,
                         const nlohmann::json* baseline) {
  const export_format* format = export_format_for(path);
  if (format == nullptr) return check_export_path(path);
  std::string error;
  if (!write_atomically(path, format->format(document, baseline), error)) {
    return "cannot write " + path + ": " + error;
  }
  return std::string();
}

std::string format_json_export(const nlohmann::json& document) {
  // The document's objects keep their members sorted; each run's report is
  // written with its members in the order the library writes them (the
  // report keys' order), then any others.
  nlohmann::ordered_json ordered(document);
  if (ordered.contains("runs") && ordered["runs"].is_array()) {
    for (nlohmann::ordered_json& run : ordered["runs"]) {
      if (!run.is_object() || !run.contains("report") || !run["report"].is_object()) continue;
      const nlohmann::ordered_json& report = run["report"];
      nlohmann::ordered_json in_library_order = nlohmann::ordered_json::object();
      for (const char* key : report_keys) {
        if (report.contains(key)) in_library_order[key] = report[key];
      }
      for (const auto& [key, value] : report.items()) {
        if (!in_library_order.contains(key)) in_library_order[key] = value;
      }
      run["report"] = std::move(in_library_order);
    }
  }
  return ordered.dump(2) + "\n";
}

std::string format_csv_export(const nlohmann::json& document) {
  std::string text = "started_at,cancelled";
  for (const char* key : report_keys) text += std::string(",") + key;
  for (int phase = 1; phase <= run_phase_count; ++phase) {
    text += ",other_load_percent_" + std::to_string(phase);
  }
  text += ",verdict\n";
  for (const nlohmann::json& run : runs_of(document)) {
    text += text_member(run, "started_at") + (is_cancelled(run) ? ",true" : ",false");
    for (const char* key : report_keys) {
      const nlohmann::json& value = member(member(run, "report"), key);
      text += "," + (value.is_number() ? value.dump() : std::string());
    }
    for (const nlohmann::json& load : loads_of(run)) {
      text += "," + (load.is_number() ? load.dump() : std::string());
    }
    text += "," + csv_field(verdict_words(run)) + "\n";
  }
  return text;
}

std::string format_markdown_export(const nlohmann::json& document) {
  std::string text = "# quorvane results\n\n";
  text += "Started " + text_member(document, "started_at") + " by quorvane " +
          text_member(document, "host_version") + " with library " +
          text_member(document, "library_version") + ".\n\n";
  if (member(document, "machine").is_object()) {
    text += markdown_machine(member(document, "machine")) + "\n";
  }
  text += markdown_runs(runs_of(document)) + "\n";
  const nlohmann::json& summary = member(document, "summary");
  text += markdown_summary(summary.is_object() ? summary : nlohmann::json::object());
  return text;
}

}  // namespace quorvane::host
