// The host's command line.
#ifndef QUORVANE_TOOLS_COMMAND_LINE_H
#define QUORVANE_TOOLS_COMMAND_LINE_H

#include <string>
#include <vector>

namespace quorvane::host {

// The most runs one invocation may ask for: enough for any statistics,
// small enough that a typing slip does not start a day-long job.
constexpr int max_runs = 1000;

struct options {
  bool json = false;   // print only the report line(s) on standard output
  bool quiet = false;  // show no progress
  bool help = false;
  bool version = false;
  int runs = 1;
  std::string library_path;          // empty: the library beside the executable
  std::vector<std::string> exports;  // --export FILE, in the order given
  std::string compare_path;          // --compare FILE; empty: no comparison
  bool require_clean = false;        // a disturbed run makes the exit status 6
  // --history[=FILE]: append the runs to the history; an empty path is
  // the platform's usual place.
  bool history = false;
  std::string history_path;
  // "quorvane history ...": read the history (or, with import, add
  // results documents to it) instead of running.
  bool history_command = false;
  bool history_import = false;
  std::vector<std::string> import_files;
  std::string history_machine;     // --machine TEXT
  std::string history_since;       // --since YYYY-MM-DD
  std::string history_figure;      // --figure NAME
  double fail_on_regression = -1;  // --fail-on-regression PERCENT; below 0: off
};

struct parse_result {
  options parsed;
  std::string error;  // empty when the command line is valid
};

// Parses the arguments (program name excluded). Accepts "--name value" and
// "--name=value" for the options that take a value; the first problem
// found is the error.
parse_result parse_command_line(const std::vector<std::string>& arguments);

// The --help text, exit statuses included.
std::string usage_text();

// The text of quorvane history --help.
std::string history_usage_text();

// The long names of every option the parser knows ("--json", ...).
std::vector<std::string> option_names();

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_COMMAND_LINE_H
