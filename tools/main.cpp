// quorvane: runs the benchmark library from the command line.
//
// Loads the library by path, runs it once or several times with progress
// on the way, and prints a results table, a summary over the runs, or the
// library's own report lines (--json).
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "exit_codes.h"
#include "host_platform.h"
#include "library_api.h"
#include "library_location.h"
#include "progress_display.h"
#include "run_report.h"
#include "run_session.h"
#include "run_statistics.h"

namespace quorvane::host {
namespace {

void print_error(const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "quorvane: %s\n", text.c_str());
}

std::string default_library_path() {
  return locate_library(platform::executable_directory(), QUORVANE_LIBRARY_FILE_NAME);
}

progress_display::mode display_mode(const options& chosen, std::FILE* out) {
  if (chosen.quiet) return progress_display::mode::silent;
  return platform::is_terminal(out) ? progress_display::mode::redraw
                                    : progress_display::mode::phase_lines;
}

std::string one_run_line(const run_report& report, int run, int runs) {
  char text[160];
  std::snprintf(text, sizeof text, "run %d/%d: single-thread score %.0f, multi-thread score %.0f",
                run, runs, report.score_single, report.score_multi);
  return text;
}

int run_benchmark(const options& chosen, const library_api& api) {
  // With --json, standard output carries the report lines and nothing else.
  std::FILE* progress_out = chosen.json ? stderr : stdout;
  progress_display display(progress_out, display_mode(chosen, progress_out));
  platform::install_interrupt_handlers();

  std::vector<run_report> finished_runs;
  run_report last_report;
  bool last_cancelled = false;
  int started_runs = 0;
  for (int run = 1; run <= chosen.runs; ++run) {
    if (platform::interrupt_count() > 0) break;
    display.begin_run(run, chosen.runs);
    ++started_runs;
    const run_outcome outcome = drive_run(api, display);
    if (outcome.how == run_outcome::end::refused) {
      print_error("the library refused to start a run: " + outcome.error);
      return exit_start_refused;
    }
    if (outcome.how == run_outcome::end::bad_state) {
      print_error(outcome.error);
      return exit_bad_report;
    }
    if (chosen.json) {
      // The report line exactly as the library wrote it.
      std::fprintf(stdout, "%s\n", outcome.report_line.c_str());
      std::fflush(stdout);
    }
    std::string error;
    const std::optional<run_report> report = parse_report(outcome.report_line, error);
    if (!report) {
      print_error(error);
      return exit_bad_report;
    }
    last_report = *report;
    last_cancelled = outcome.how == run_outcome::end::cancelled;
    if (last_cancelled) break;
    finished_runs.push_back(*report);
    if (chosen.runs > 1) display.line(one_run_line(*report, run, chosen.runs));
  }

  if (!chosen.json && started_runs > 0) {
    if (chosen.runs == 1 || last_cancelled) {
      std::printf("\n%s", format_results_table(last_report, last_cancelled).c_str());
    }
    if (finished_runs.size() >= 2) {
      std::printf("\n%s", format_summary_table(finished_runs).c_str());
    }
    std::fflush(stdout);
  }
  return platform::interrupt_count() > 0 ? exit_interrupted : exit_success;
}

int host_main(int argc, char** argv) {
  platform::prepare_standard_streams();
  const parse_result parsed = parse_command_line(platform::program_arguments(argc, argv));
  if (!parsed.error.empty()) {
    print_error(parsed.error + " (see quorvane --help)");
    return exit_usage_or_library;
  }
  const options& chosen = parsed.parsed;
  if (chosen.help) {
    std::fputs(usage_text().c_str(), stdout);
    return exit_success;
  }
  if (chosen.version) std::printf("quorvane %s\n", QUORVANE_HOST_VERSION);

  const std::string path =
      chosen.library_path.empty() ? default_library_path() : chosen.library_path;
  std::string error;
  const std::unique_ptr<loaded_library> library = load_library(path, error);
  if (!library) {
    print_error(error);
    return exit_usage_or_library;
  }
  if (chosen.version) {
    std::printf("library %s (%s)\n", library->api().version(), path.c_str());
    return exit_success;
  }
  return run_benchmark(chosen, library->api());
}

}  // namespace
}  // namespace quorvane::host

int main(int argc, char** argv) { return quorvane::host::host_main(argc, argv); }
