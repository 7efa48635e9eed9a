// Reading and checking a baseline before any run starts, so that a bad file
// costs the user no 20-second run.
#include "results/baseline.h"

#include <cstddef>
#include <cstdint>

#include "results/baseline_file.h"
#include "results/json_depth.h"
#include "results/run_report.h"
#include "safe_text.h"

namespace quorvane::host {
namespace {

using nlohmann::json;

// Parses text as JSON; on failure a discarded value, with problem set to
// the parser's reason without its exception tag.
json parse_json(const std::string& text, std::string& problem) {
  // Every kind of the parser's failure: a syntax error, and a number that
  // overflows a double (-1e400) alike.
  try {
    return json::parse(text);
  } catch (const json::exception& failure) {
    problem = failure.what();
    const std::size_t tag_end = problem.find("] ");
    if (problem.rfind("[json.exception", 0) == 0 && tag_end != std::string::npos) {
      problem.erase(0, tag_end + 2);
    }
    return json(json::value_t::discarded);
  }
}

// A value as a message quotes it: a number, string or literal as JSON, a
// list or an object by its kind alone, so that no message holds a value
// nested without bound, nor takes the stack to write one.
std::string quoted(const json& value) {
  return value.is_structured() ? value.type_name() : value.dump();
}

// other_load_percent, when a run has it: at most one share per phase, each
// a percentage of the machine's processor time or null (not measured).
bool check_other_load(const json& run, std::string& problem) {
  const auto loads = run.find("other_load_percent");
  if (loads == run.end()) return true;
  if (!loads->is_array() || loads->size() > 5) {
    problem = "other_load_percent must be a list of at most 5 percentages";
    return false;
  }
  for (const json& load : *loads) {
    if (load.is_null()) continue;
    if (!load.is_number() || !(load.get<double>() >= 0 && load.get<double>() <= 100)) {
      problem = "other_load_percent " + (load.is_number() ? load.dump() : std::string("entry")) +
                " is not a percentage from 0 to 100";
      return false;
    }
  }
  return true;
}

// A finished run's report, checked by the host's own reader so that a
// baseline's reports meet the same rules as the library's; a finished run
// ran its phases on at least one processor.
bool read_finished_report(const json& report, std::string& reason) {
  if (!read_report(report, reason)) return false;
  if (report["threads_used"].get<std::uint64_t>() != 0) return true;
  reason = "threads_used 0 in a finished run";
  return false;
}

std::optional<json> check_document(const json& document, std::string& problem) {
  const auto version = document.find("schema_version");
  if (version == document.end()) {
    problem = "has no schema_version";
    return std::nullopt;
  }
  if (!version->is_number_integer()) {
    problem = "schema_version must be a whole number, not " + quoted(*version);
    return std::nullopt;
  }
  if (*version < oldest_schema_version || *version > known_schema_version) {
    problem = "schema_version " + version->dump() + " is not known (this host reads " +
              std::to_string(oldest_schema_version) + " and " +
              std::to_string(known_schema_version) + ")";
    return std::nullopt;
  }
  const auto runs = document.find("runs");
  if (runs == document.end()) {
    problem = "has no runs";
    return std::nullopt;
  }
  if (!runs->is_array()) {
    problem = std::string("runs must be a list, not ") + runs->type_name();
    return std::nullopt;
  }
  if (runs->empty()) {
    problem = "has no runs";
    return std::nullopt;
  }

  std::size_t finished = 0;
  for (std::size_t index = 0; index < runs->size(); ++index) {
    const json& run = (*runs)[index];
    const std::string name = "run " + std::to_string(index + 1);
    if (!run.is_object()) {
      problem = name + " must be an object, not " + run.type_name();
      return std::nullopt;
    }
    const auto cancelled = run.find("cancelled");
    if (cancelled != run.end() && !cancelled->is_boolean()) {
      problem = name + ": cancelled must be true or false, not " + quoted(*cancelled);
      return std::nullopt;
    }
    std::string reason;
    if (!check_other_load(run, reason)) {
      problem = name + ": ";
      problem += reason;
      return std::nullopt;
    }
    // A cancelled run's figures are not compared, so they are not checked.
    if (cancelled != run.end() && cancelled->get<bool>()) continue;
    const auto report = run.find("report");
    if (report == run.end()) {
      problem = name + " has no report";
      return std::nullopt;
    }
    if (!read_finished_report(*report, reason)) {
      problem = name + ": ";
      problem += reason;
      return std::nullopt;
    }
    ++finished;
  }
  if (finished == 0) {
    problem =
        "has no finished runs to compare (all " + std::to_string(runs->size()) + " were cancelled)";
    return std::nullopt;
  }
  return document;
}

// Report lines as --json prints them, one per line; blank lines are
// skipped. whole_problem is the parser's reason for the file as a whole,
// the better message when even the first line is not JSON (a results
// document cut short, say).
std::optional<json> read_report_lines(const std::string& text, const std::string& whole_problem,
                                      std::string& problem) {
  json runs = json::array();
  std::size_t line_number = 0;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (trimmed(line).empty()) continue;

    std::string reason;
    json report = parse_json(line, reason);
    if (report.is_discarded()) {
      if (runs.empty() && line.find_first_not_of(" \t") != std::string::npos &&
          line[line.find_first_not_of(" \t")] != '{') {
        // Not JSON at all (a CSV or Markdown export, say): the parser's
        // internals would not tell the user what to give instead.
        problem =
            "is not a baseline: give a results document (--export FILE.json) or the "
            "report lines that --json prints";
      } else {
        problem = runs.empty() && !whole_problem.empty()
                      ? "is not JSON: " + whole_problem
                      : "line " + std::to_string(line_number) + " is not JSON: " + reason;
      }
      return std::nullopt;
    }
    if (!read_finished_report(report, reason)) {
      problem = "line " + std::to_string(line_number) + ": " + reason;
      return std::nullopt;
    }
    runs.push_back({{"cancelled", false}, {"report", std::move(report)}});
  }
  // Report lines carry what a version 1 document carries, and no more.
  return json{{"schema_version", oldest_schema_version}, {"runs", std::move(runs)}};
}

std::optional<json> read_baseline_runs(const std::string& text, std::string& problem) {
  if (trimmed(text).empty()) {
    problem = "is empty";
    return std::nullopt;
  }
  // Refused unparsed: no document of the format nests this deep, and a
  // value nested without bound would take the stack of whatever walks it.
  if (nested_deeper_than(text, deepest_json_nesting)) {
    problem = "nests arrays or objects more than " + std::to_string(deepest_json_nesting) +
              " deep, deeper than any results document";
    return std::nullopt;
  }
  if (text.rfind("\xFF\xFE", 0) == 0 || text.rfind("\xFE\xFF", 0) == 0) {
    problem = "is UTF-16 text; save it as UTF-8";
    return std::nullopt;
  }
  std::string whole_problem;
  const json whole = parse_json(text, whole_problem);
  if (!whole.is_discarded()) {
    if (!whole.is_object()) {
      problem = std::string("holds a JSON ") + whole.type_name() +
                ", not a results document or report lines";
      return std::nullopt;
    }
    if (whole.contains("schema_version") || whole.contains("runs")) {
      return check_document(whole, problem);
    }
    // One report line, which is JSON by itself.
  }
  return read_report_lines(text, whole_problem, problem);
}

std::optional<json> read_baseline_text(const std::string& text, std::string& problem) {
  std::optional<json> baseline = read_baseline_runs(text, problem);
  if (baseline && (*baseline)["runs"].size() > max_baseline_runs) {
    problem = "holds " + std::to_string((*baseline)["runs"].size()) + " runs, more than the " +
              std::to_string(max_baseline_runs) + " a comparison takes";
    return std::nullopt;
  }
  return baseline;
}

}  // namespace

std::optional<json> load_baseline(const std::string& path, std::string& error) {
  std::string problem;
  std::optional<json> baseline;
  if (const std::optional<std::string> text = read_baseline_file(path, problem)) {
    baseline = read_baseline_text(*text, problem);
  }
  if (!baseline) error = "baseline " + path + ": " + problem;
  return baseline;
}

}  // namespace quorvane::host
