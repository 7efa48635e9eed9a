// The history command's steps: check the command line, read or import,
// print, export, and judge the latest levels.
#include "history/history_command.h"

#include <cstdio>
#include <ctime>
#include <optional>

#include "exit_codes.h"
#include "export/atomic_file.h"
#include "history/history_recording.h"
#include "history/history_report.h"
#include "history/history_store.h"
#include "results/baseline_file.h"
#include "results/json_depth.h"
#include "results/results_document.h"
#include "run/standard_output.h"
#include "safe_text.h"

namespace quorvane::host {
namespace {

void print_error(const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "quorvane: %s\n", terminal_safe(text).c_str());
}

std::string extension_of(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension;
}

// Reads one results document and checks that it can enter the history;
// nothing, with problem set, when it cannot.
std::optional<nlohmann::json> read_document(const std::string& file, std::string& problem) {
  const std::optional<std::string> bytes = read_baseline_file(file, problem);
  if (!bytes) return std::nullopt;
  if (nested_deeper_than(*bytes, deepest_json_nesting)) {
    problem = "is nested too deeply to be a results document";
    return std::nullopt;
  }
  nlohmann::json document = nlohmann::json::parse(*bytes, nullptr, false);
  if (document.is_discarded()) {
    problem = "is not JSON";
    return std::nullopt;
  }
  problem = history_document_problem(document);
  if (!problem.empty()) {
    problem.insert(0, "cannot be imported: ");
    return std::nullopt;
  }
  return document;
}

// Every document is read and checked before the database is opened, so a
// bad file imports nothing; then each is read again and added, one at a
// time, so that memory holds one document whatever the number of files.
// A file that changed in between and no longer reads ends the transaction
// unwritten.
int import_documents(const std::string& path, const std::vector<std::string>& files) {
  std::string problem;
  const auto refuse = [&problem](const std::string& file) {
    print_error(std::string(file).append(" ").append(problem).append("; nothing was imported"));
    return exit_usage_or_library;
  };
  for (const std::string& file : files) {
    if (!read_document(file, problem)) return refuse(file);
  }
  std::size_t added = 0;
  try {
    const std::unique_ptr<history_store> store = history_store::open_for_writing(path);
    for (const std::string& file : files) {
      const std::optional<nlohmann::json> document = read_document(file, problem);
      if (!document) return refuse(file);
      added += store->add_document(*document, "import") ? 1 : 0;
    }
    store->commit();
  } catch (const history_error& failure) {
    print_error(std::string(failure.what()) + "; nothing was imported");
    return exit_history_failed;
  }
  write_output("imported " + std::to_string(added) + " of " + std::to_string(files.size()) +
               " documents into " + path +
               (added < files.size()
                    ? " (" + std::to_string(files.size() - added) + " already there)"
                    : std::string()) +
               "\n");
  return exit_success;
}

std::string export_contents(const std::string& path, const std::vector<machine_history>& machines,
                            const std::string& database) {
  const std::string extension = extension_of(path);
  if (extension == ".json") return history_json(machines).dump(2) + "\n";
  if (extension == ".csv") return history_csv(machines);
  return render_trend_page(
      history_trend_page(machines, database + ", " + utc_timestamp(std::time(nullptr))));
}

}  // namespace

int run_history_command(const options& chosen) {
  if (chosen.help) {
    write_output(history_usage_text());
    return exit_success;
  }
  const std::string path = history_database_path(chosen.history_path);
  if (path.empty()) {
    print_error(no_history_place);
    return exit_usage_or_library;
  }
  if (chosen.history_import) return import_documents(path, chosen.import_files);

  history_filter filter;
  filter.machine = chosen.history_machine;
  if (!chosen.history_figure.empty()) {
    filter.figure = find_history_figure(chosen.history_figure);
    if (filter.figure == nullptr) {
      print_error("--figure: no figure is called '" + chosen.history_figure +
                  "' (score_single, score_multi, int_single_mops, int_multi_mops, "
                  "fp_single_mflops, fp_multi_mflops, mem_bandwidth_mbps)");
      return exit_usage_or_library;
    }
  }
  for (const std::string& file : chosen.exports) {
    const std::string extension = extension_of(file);
    if (extension != ".json" && extension != ".csv" && extension != ".html") {
      print_error("--export " + file + ": the history is exported as .json, .csv or .html");
      return exit_usage_or_library;
    }
    std::string error;
    if (!can_write_atomically(file, error)) {
      print_error(std::string("cannot write ").append(file).append(": ").append(error));
      return exit_usage_or_library;
    }
  }

  std::vector<stored_machine> machines;
  try {
    machines = history_store::open_for_reading(path)->machines(chosen.history_since);
  } catch (const history_error& failure) {
    print_error(failure.what());
    return exit_history_failed;
  }
  const std::vector<machine_history> analysed = analyse_history(machines, filter);
  write_output(history_text(analysed));

  bool export_failed = false;
  for (const std::string& file : chosen.exports) {
    std::string error;
    if (!write_atomically(file, export_contents(file, analysed, path), error)) {
      print_error(std::string("cannot write ").append(file).append(": ").append(error));
      export_failed = true;
    }
  }
  if (export_failed) return exit_export_failed;
  if (chosen.fail_on_regression >= 0) {
    const std::vector<std::string> found = regressions(analysed, chosen.fail_on_regression);
    for (const std::string& line : found) print_error(line);
    if (!found.empty()) return exit_regression;
  }
  return exit_success;
}

}  // namespace quorvane::host
