// Parsing the host's command line.
#include "command_line.h"

#include <cstdlib>

namespace quorvane::host {
namespace {

// A whole decimal number from 1 to max_runs, or 0 when text is not one.
int parse_run_count(const std::string& text) {
  if (text.empty() || text.size() > 4) return 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
  }
  const int value = std::atoi(text.c_str());
  return value >= 1 && value <= max_runs ? value : 0;
}

}  // namespace

parse_result parse_command_line(const std::vector<std::string>& arguments) {
  parse_result result;
  options& parsed = result.parsed;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::string value;
    bool has_inline_value = false;
    const std::size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
      has_inline_value = true;
    }
    const bool takes_value = name == "--runs" || name == "--library";
    if (takes_value && !has_inline_value) {
      if (i + 1 >= arguments.size()) {
        result.error = name + " needs a value";
        return result;
      }
      value = arguments[++i];
    } else if (!takes_value && has_inline_value) {
      result.error = name + " takes no value";
      return result;
    }

    if (name == "--json") {
      parsed.json = true;
    } else if (name == "--quiet" || name == "-q") {
      parsed.quiet = true;
    } else if (name == "--help" || name == "-h") {
      parsed.help = true;
    } else if (name == "--version") {
      parsed.version = true;
    } else if (name == "--runs") {
      parsed.runs = parse_run_count(value);
      if (parsed.runs == 0) {
        result.error = "--runs needs a whole number from 1 to " + std::to_string(max_runs) +
                       ", not '" + value + "'";
        return result;
      }
    } else if (name == "--library") {
      if (value.empty()) {
        result.error = "--library needs a path";
        return result;
      }
      parsed.library_path = value;
    } else {
      result.error = "unknown option '" + arguments[i] + "'";
      return result;
    }
  }
  return result;
}

std::string usage_text() {
  return "Usage: quorvane [options]\n"
         "\n"
         "Runs the quorvane benchmark (about 20 seconds per run): integer and floating-point\n"
         "throughput on one thread and on every processor, then memory copy bandwidth.\n"
         "\n"
         "Options:\n"
         "  --json          print only the library's report line on standard output, one per\n"
         "                  run (JSON Lines); progress goes to standard error\n"
         "  --runs N        run N whole runs back to back (1 to 1000) and show the median,\n"
         "                  minimum, maximum and coefficient of variation of each figure\n"
         "  --library PATH  load the library from PATH instead of beside this program\n"
         "  -q, --quiet     show no progress\n"
         "  -h, --help      show this text\n"
         "  --version       show the versions of this program and of the library\n"
         "\n"
         "Progress is redrawn in place on a terminal, and printed as one line per phase\n"
         "otherwise. Ctrl-C cancels the run, waits for it to close and prints its report.\n"
         "\n"
         "Exit status:\n"
         "  0    every run finished\n"
         "  1    the library's report could not be read\n"
         "  2    bad command line, or the library cannot be loaded or lacks an export\n"
         "  3    the library refused to start a run (its error text is printed)\n"
         "  130  interrupted: the run was cancelled and its report printed\n";
}

}  // namespace quorvane::host
