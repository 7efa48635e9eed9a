// quorvane: runs the benchmark library from the command line.
//
// Loads the library by path, runs it once or several times with progress
// on standard error, and prints the machine's description with a results
// table or a summary over the runs, or the library's own report lines
// (--json); writes the results document's exports (--export) and compares
// the runs with a baseline (--compare).
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "command_line.h"
#include "exit_codes.h"
#include "export/export_formats.h"
#include "history/history_command.h"
#include "history/history_recording.h"
#include "history/machine_identity.h"
#include "machine/host_platform.h"
#include "machine/interference.h"
#include "machine/machine_description.h"
#include "number_text.h"
#include "results/baseline.h"
#include "results/comparison.h"
#include "results/results_document.h"
#include "results/run_report.h"
#include "results/run_statistics.h"
#include "results/run_verdict.h"
#include "results/variation_warnings.h"
#include "run/library_api.h"
#include "run/library_location.h"
#include "run/progress_display.h"
#include "run/run_session.h"
#include "run/standard_output.h"
#include "safe_text.h"
#include "sha256.h"

namespace quorvane::host {
namespace {

// One line on standard error. The text may quote a file's bytes: it never
// drives the terminal or breaks the line.
void print_error(const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "quorvane: %s\n", terminal_safe(text).c_str());
}

std::string default_library_path() {
  return locate_library(platform::executable_directory(), QUORVANE_LIBRARY_FILE_NAME);
}

progress_display::mode display_mode(const options& chosen) {
  if (chosen.quiet) return progress_display::mode::silent;
  return platform::is_terminal(stderr) ? progress_display::mode::redraw
                                       : progress_display::mode::phase_lines;
}

// Where the conditions of a run are read: the real system, or the fake
// /proc and /sys tree that QUORVANE_SYSTEM_ROOT names (the tests' seam).
conditions_source system_conditions_source() {
  conditions_source source;
  const char* root = std::getenv("QUORVANE_SYSTEM_ROOT");
  if (root != nullptr && root[0] != '\0') source.root = root;
  source.processors = platform::usable_processor_ids(source.root);
  return source;
}

std::string one_run_line(const run_report& report, int run, int runs) {
  return "run " + std::to_string(run) + "/" + std::to_string(runs) + ": single-thread score " +
         printed("%.0f", report.score_single) + ", multi-thread score " +
         printed("%.0f", report.score_multi);
}

// What the runs of one invocation left.
struct runs_done {
  std::vector<run_record> records;
  std::vector<run_report> finished;
  run_report last_report;
  bool last_cancelled = false;
  // An interrupt cancelled a run or kept runs from starting.
  bool cut_short = false;
  int failure = exit_success;              // set when the runs stopped on an error
  std::vector<std::string> verdict_lines;  // one per run, as the table ends
  bool any_disturbed = false;              // among the finished runs
};

runs_done run_all(const options& chosen, const library_api& api, progress_display& display,
                  const machine_description& machine, const conditions_source& source) {
  runs_done done;
  for (int run = 1; run <= chosen.runs; ++run) {
    const int interrupts_handled = platform::interrupt_count();
    if (interrupts_handled > 0) {
      done.cut_short = true;
      break;
    }
    display.begin_run(run, chosen.runs);
    conditions_source this_run = source;
    if (run > 1) this_run.settings_seconds = 0;  // read once, counted by the first run
    const run_outcome outcome = drive_run(api, display, interrupts_handled, this_run);
    if (outcome.how == run_outcome::end::refused) {
      print_error("the library refused to start a run: " + outcome.error);
      done.failure = exit_start_refused;
      return done;
    }
    if (outcome.how == run_outcome::end::bad_state) {
      print_error(outcome.error);
      done.failure = exit_bad_report;
      return done;
    }
    if (chosen.json) {
      // The report line exactly as the library wrote it.
      write_output(outcome.report_line + "\n");
    }
    const bool cancelled = outcome.how == run_outcome::end::cancelled;
    std::string error;
    nlohmann::json report_json;
    const std::optional<run_report> report = parse_report(outcome.report_line, report_json, error);
    if (!report) {
      print_error(error);
      done.failure = exit_bad_report;
      return done;
    }
    const run_verdict verdict =
        judge_run(outcome.conditions, machine.conditions, static_cast<int>(report->threads_used));
    done.records.push_back({utc_timestamp(outcome.started_at), utc_timestamp(outcome.ended_at),
                            cancelled, std::move(report_json), outcome.other_load_percent,
                            outcome.conditions, verdict, outcome.host_processor_ms_per_second});
    for (const std::string& warning :
         interference_warnings(outcome.other_load_percent, run, chosen.runs)) {
      display.note(warning);
    }
    const std::string line = verdict_line(verdict, run, chosen.runs);
    done.verdict_lines.push_back(cancelled ? line + " (cancelled)" : line);
    if (!verdict.clean) {
      // Other programs' breaches have had their warnings just above.
      const std::string rest = verdict_warning(verdict, run, chosen.runs);
      if (!rest.empty()) display.note(rest);
      if (!cancelled) done.any_disturbed = true;
    }
    done.last_report = *report;
    done.last_cancelled = cancelled;
    if (cancelled) {
      done.cut_short = true;
      break;
    }
    done.finished.push_back(*report);
    if (chosen.runs > 1) display.line(one_run_line(*report, run, chosen.runs));
  }
  return done;
}

void print_tables(const runs_done& done, const machine_description& machine, int runs) {
  write_output(format_machine_table(machine));
  if (runs == 1 || done.last_cancelled) {
    write_output("\n" + format_results_table(done.last_report, done.last_cancelled));
  }
  if (done.finished.size() >= 2) write_output("\n" + format_summary_table(done.finished));
  if (!machine.core_kinds.empty()) {
    write_output(std::string("  note: ") + single_thread_core_note + "\n");
  }
  std::string verdicts = "\nVerdict\n";
  for (const std::string& line : done.verdict_lines) verdicts += "  " + line + "\n";
  write_output(verdicts);
}

// The SHA-256 of the library file, which tells one build from another of
// the same version; "" when the file cannot be read again.
std::string library_file_sha256(const std::string& path) {
  std::string bytes;
  std::string error;
  if (!platform::read_file(path, bytes, error)) return std::string();
  return sha256_hex(bytes);
}

int run_benchmark(const options& chosen, const library_api& api, const std::string& library_path,
                  const std::optional<nlohmann::json>& baseline) {
  progress_display display(stderr, display_mode(chosen));
  conditions_source source = system_conditions_source();
  const double settings_started = platform::thread_processor_seconds();
  machine_description machine = this_machine(source.root);
  machine.id = hashed_machine_id(platform::raw_machine_id(source.root));
  const document_header header{QUORVANE_HOST_VERSION, api.version(),
                               utc_timestamp(std::time(nullptr)), std::move(machine),
                               library_file_sha256(library_path)};
  source.quota_folder = header.machine.conditions.quota_folder;
  source.settings_seconds = platform::thread_processor_seconds() - settings_started;

  const runs_done done = run_all(chosen, api, display, header.machine, source);
  if (done.failure != exit_success) return done.failure;
  if (done.records.empty()) {
    // Interrupted before the first run: nothing ran, so nothing is exported.
    display.note("interrupted before the run started");
    return exit_interrupted;
  }

  nlohmann::json document = build_results_document(header, done.records);
  // The comparison is computed here once; the terminal, the document and
  // the page lay out this one value.
  std::optional<comparison> compared;
  if (baseline) {
    compared = compare_documents(*baseline, document, chosen.compare_path);
    document["comparison"] = comparison_json(*compared, *baseline);
  }
  if (done.finished.size() >= 2) {
    for (const std::string& warning :
         variation_warnings(document["summary"], done.finished.size())) {
      display.note(warning);
    }
  }
  if (!chosen.json) print_tables(done, header.machine, chosen.runs);
  if (compared) {
    // With --json, standard output carries the report lines alone.
    const std::string table = "\n" + format_comparison(*compared);
    if (chosen.json) {
      std::fputs(table.c_str(), stderr);
    } else {
      write_output(table);
    }
  }

  // A cancelled run is exported too: the document marks it.
  bool export_failed = false;
  std::string written;
  for (const std::string& path : chosen.exports) {
    const std::string error = write_export(path, document, baseline ? &*baseline : nullptr);
    if (!error.empty()) {
      print_error(error);
      export_failed = true;
    } else {
      written += (written.empty() ? "" : ", ") + path;
    }
  }
  if (!written.empty()) {
    std::fflush(stdout);
    // A note like the progress lines; "quorvane: " starts errors alone.
    std::fprintf(stderr, "wrote %s\n", terminal_safe(written).c_str());
  }
  // Every run of the invocation, finished, cancelled or disturbed.
  bool history_failed = false;
  if (chosen.history && !done.records.empty()) {
    const std::string path = history_database_path(chosen.history_path);
    const std::string error = record_history(path, document);
    history_failed = !error.empty();
    if (history_failed) {
      print_error(error);
    } else {
      std::fprintf(stderr, "recorded %s in %s\n", counted(done.records.size(), "run").c_str(),
                   terminal_safe(path).c_str());
    }
  }
  if (done.cut_short) return exit_interrupted;
  if (export_failed) return exit_export_failed;
  if (history_failed) return exit_history_failed;
  return chosen.require_clean && done.any_disturbed ? exit_disturbed : exit_success;
}

int host_main(int argc, char** argv) {
  platform::prepare_standard_streams();
  const parse_result parsed = parse_command_line(platform::program_arguments(argc, argv));
  if (!parsed.error.empty()) {
    print_error(parsed.error + " (see quorvane --help)");
    return exit_usage_or_library;
  }
  const options& chosen = parsed.parsed;
  if (chosen.history_command) return run_history_command(chosen);
  if (chosen.help) {
    write_output(usage_text());
    return exit_success;
  }
  if (chosen.version) write_output(std::string("quorvane ") + QUORVANE_HOST_VERSION + "\n");

  // Everything that can be refused is refused before a run starts.
  std::optional<nlohmann::json> baseline;
  if (!chosen.version) {
    for (const std::string& path : chosen.exports) {
      const std::string error = check_export_path(path);
      if (!error.empty()) {
        print_error(error);
        return exit_usage_or_library;
      }
    }
    if (!chosen.compare_path.empty()) {
      std::string error;
      baseline = load_baseline(chosen.compare_path, error);
      if (!baseline) {
        print_error(error);
        return exit_usage_or_library;
      }
    }
  }

  const std::string path =
      chosen.library_path.empty() ? default_library_path() : chosen.library_path;
  std::string error;
  const std::unique_ptr<loaded_library> library = load_library(path, error);
  if (!library) {
    print_error(error);
    return exit_usage_or_library;
  }
  if (chosen.version) {
    write_output(std::string("library ") + library->api().version() + " (" + path + ")\n");
    return exit_success;
  }
  return run_benchmark(chosen, library->api(), path, baseline);
}

}  // namespace
}  // namespace quorvane::host

int main(int argc, char** argv) {
  using namespace quorvane::host;
  // Interrupt requests are held from the first instruction on: one that
  // arrives while the baseline is read or the library is loaded is counted,
  // and the host then ends with no run instead of being killed.
  platform::install_interrupt_handlers();
  // Nothing a file holds ends the host with an abort: whatever escapes
  // becomes one line and status 1.
  int status = exit_bad_report;
  try {
    status = host_main(argc, argv);
  } catch (const std::exception& failure) {
    print_error(std::string("unexpected failure: ") + failure.what());
    return exit_bad_report;
  } catch (...) {
    print_error("unexpected failure");
    return exit_bad_report;
  }
  // The runs and the exports are done; only now is a lost output reported.
  const std::string lost = output_failure();
  if (!lost.empty()) {
    print_error("cannot write to standard output: " + lost);
    if (status == exit_success) status = exit_output_failed;
  }
  return status;
}
