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
// --require-clean: every run finished and every export was written, but
// at least one run was disturbed.
constexpr int exit_disturbed = 6;
// The history could not be written (--history, history import) or read
// (history): the database is read-only, locked past the timeout, on a full
// disk, not a history database, or of a newer schema. The runs' other
// exports were written all the same, and the database keeps what it held.
constexpr int exit_history_failed = 7;
// history --fail-on-regression: a figure's latest level is a drop of at
// least the given percentage from the level before it.
constexpr int exit_regression = 8;
// Interrupted (Ctrl-C, SIGINT, SIGTERM): the run was cancelled and closed,
// or the runs still to come were not started. An interrupt that arrives
// after the last run finished changes nothing.
constexpr int exit_interrupted = 130;

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXIT_CODES_H
