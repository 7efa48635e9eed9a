// Reading and checking a baseline before any run starts, so that a bad file
// costs the user no 20-second run.
#include "results/baseline.h"

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "results/run_report.h"

namespace quorvane::host {
namespace {

using nlohmann::json;

// The file's bytes; on failure nothing, with problem set.
std::optional<std::string> read_file(const std::string& path, std::string& problem) {
  const std::filesystem::path file = std::filesystem::u8path(path);
  std::error_code status_error;
  const std::filesystem::file_status status = std::filesystem::status(file, status_error);
  if (!std::filesystem::exists(status)) {
    problem = "does not exist";
    return std::nullopt;
  }
  if (std::filesystem::is_directory(status)) {
    problem = "is a folder, not a file";
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    problem = "cannot be opened for reading";
    return std::nullopt;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    problem = "cannot be read";
    return std::nullopt;
  }
  return text;
}

bool blank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Parses text as JSON; on failure a discarded value, with problem set to
// the parser's reason without its exception tag.
json parse_json(const std::string& text, std::string& problem) {
  try {
    return json::parse(text);
  } catch (const json::parse_error& failure) {
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
    // A cancelled run's figures are not compared, so they are not checked.
    if (cancelled != run.end() && cancelled->get<bool>()) continue;
    const auto report = run.find("report");
    if (report == run.end()) {
      problem = name + " has no report";
      return std::nullopt;
    }
    // The host's own reader, so a baseline's reports meet the same rules as
    // the library's.
    std::string reason;
    if (!read_report(*report, reason)) {
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
    if (blank(line)) continue;

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
    if (!read_report(report, reason)) {
      problem = "line " + std::to_string(line_number) + ": " + reason;
      return std::nullopt;
    }
    runs.push_back({{"cancelled", false}, {"report", std::move(report)}});
  }
  // Report lines carry what a version 1 document carries, and no more.
  return json{{"schema_version", oldest_schema_version}, {"runs", std::move(runs)}};
}

std::optional<json> read_baseline_text(const std::string& text, std::string& problem) {
  if (blank(text)) {
    problem = "is empty";
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

}  // namespace

std::optional<json> load_baseline(const std::string& path, std::string& error) {
  std::string problem;
  std::optional<json> baseline;
  if (const std::optional<std::string> text = read_file(path, problem)) {
    baseline = read_baseline_text(*text, problem);
  }
  if (!baseline) error = "baseline " + path + ": " + problem;
  return baseline;
}

}  // namespace quorvane::host
