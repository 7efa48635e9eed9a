// The host's exit statuses, as documented in its --help text.
#ifndef QUORVANE_TOOLS_EXIT_CODES_H
#define QUORVANE_TOOLS_EXIT_CODES_H

namespace quorvane::host {

constexpr int exit_success = 0;
// The library's report could not be read, or it reported an unknown state.
constexpr int exit_bad_report = 1;
// A bad command line, an export path or a baseline refused before the run,
// or a library that cannot be loaded or lacks an export.
constexpr int exit_usage_or_library = 2;
// The library refused to start a run; its last error text is printed.
constexpr int exit_start_refused = 3;
// The runs ended but an export could not be written.
constexpr int exit_export_failed = 4;
// Standard output could not be written (a reader that went away, a full
// disk, a closed descriptor); the runs and the exports went on regardless.
constexpr int exit_output_failed = 5;
// Interrupted (Ctrl-C, SIGINT, SIGTERM): the run was cancelled and closed,
// or the runs still to come were not started. An interrupt that arrives
// after the last run finished changes nothing.
constexpr int exit_interrupted = 130;

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXIT_CODES_H
