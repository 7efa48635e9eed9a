// Parsing the host's command line with CLI11; the texts of its errors are
// turned into the host's own one-line messages.
#include "command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <memory>

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

struct parser {
  CLI::App app;
  std::string runs_text = "1";
};

std::unique_ptr<parser> make_parser(options& parsed) {
  auto made = std::make_unique<parser>();
  CLI::App& app = made->app;
  // The host prints its own help text and handles --help itself.
  app.set_help_flag();
  app.allow_extras(false);
  app.add_flag("--json", parsed.json)->disable_flag_override();
  app.add_flag("-q,--quiet", parsed.quiet)->disable_flag_override();
  app.add_flag("-h,--help", parsed.help)->disable_flag_override();
  app.add_flag("--version", parsed.version)->disable_flag_override();
  // Taken as text so that every bad count gets the same message.
  app.add_option("--runs", made->runs_text);
  app.add_option("--library", parsed.library_path);
  app.add_option("--export", parsed.exports)->allow_extra_args(false);
  app.add_option("--compare", parsed.compare_path);
  app.add_flag("--require-clean", parsed.require_clean)->disable_flag_override();
  return made;
}

// What CLI11 says, as the host says it.
std::string message_for(const CLI::ParseError& error) {
  std::string text = error.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    // "The following argument(s) were not expected: a b"
    const std::size_t colon = text.find(": ");
    std::string first = colon == std::string::npos ? text : text.substr(colon + 2);
    first.resize(std::min(first.size(), first.find(' ')));
    return "unknown option '" + first + "'";
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    // "--runs: 1 required INT missing" or "json was given a disallowed flag override"
    const std::size_t override_text = text.find(" was given a disallowed flag override");
    if (override_text != std::string::npos)
      return "--" + text.substr(0, override_text) + " takes no value";
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && text.find("missing") != std::string::npos) {
      return text.substr(0, colon) + " needs a value";
    }
  }
  return text;
}

}  // namespace

parse_result parse_command_line(const std::vector<std::string>& arguments) {
  parse_result result;
  options& parsed = result.parsed;
  const std::unique_ptr<parser> made = make_parser(parsed);
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    made->app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    result.error = message_for(error);
    return result;
  }
  parsed.runs = parse_run_count(made->runs_text);
  if (parsed.runs == 0) {
    result.error = "--runs needs a whole number from 1 to " + std::to_string(max_runs) + ", not '" +
                   made->runs_text + "'";
    return result;
  }
  if (made->app.count("--library") > 0 && parsed.library_path.empty()) {
    result.error = "--library needs a path";
    return result;
  }
  for (const std::string& path : parsed.exports) {
    if (path.empty()) {
      result.error = "--export needs a path";
      return result;
    }
  }
  if (made->app.count("--compare") > 0 && parsed.compare_path.empty()) {
    result.error = "--compare needs a path";
    return result;
  }
  return result;
}

std::vector<std::string> option_names() {
  options unused;
  const std::unique_ptr<parser> made = make_parser(unused);
  std::vector<std::string> names;
  for (const CLI::Option* option : made->app.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  }
  return names;
}

std::string usage_text() {
  return "Usage: quorvane [options]\n"
         "\n"
         "Runs the quorvane benchmark (about 20 seconds per run): integer and floating-point\n"
         "throughput on one thread and on every processor, then memory copy bandwidth.\n"
         "\n"
         "Options:\n"
         "  --json          print only the library's report line on standard output, one per\n"
         "                  run (JSON Lines)\n"
         "  --runs N        run N whole runs back to back (1 to 1000) and show the median,\n"
         "                  minimum, maximum and coefficient of variation of each figure\n"
         "  --export FILE   also write the results to FILE, in the format its extension names:\n"
         "                  .json (the results document), .csv (one row per run), .md\n"
         "                  (Markdown tables), .prom (Prometheus gauges of the medians, for\n"
         "                  a textfile collector) or .html (a page with charts); may be\n"
         "                  given more than once\n"
         "  --compare FILE  compare the results with a baseline: a results document (version 1\n"
         "                  or 2), or the report lines --json printed. Above the table it\n"
         "                  names every difference between the two sides that changes the\n"
         "                  numbers. Disturbed runs are left out. Each figure gets the ratio\n"
         "                  of the medians and a 95% interval for it from the Mann-Whitney U\n"
         "                  test with the Hodges-Lehmann estimate on the logarithms of each\n"
         "                  side's clean runs; the verdict follows the interval: \"faster\"\n"
         "                  above 1, \"slower\" below 1, else \"no clear difference\". With too\n"
         "                  few runs it says how many a side would need (4 a side will do)\n"
         "  --require-clean exit with status 5 when any run was disturbed\n"
         "  --library PATH  load the library from PATH instead of beside this program\n"
         "  -q, --quiet     show no progress\n"
         "  -h, --help      show this text\n"
         "  --version       show the versions of this program and of the library\n"
         "\n"
         "Progress goes to standard error: redrawn in place on a terminal, one line per phase\n"
         "otherwise. The machine's description, with its virtualisation, container, quota,\n"
         "frequency policy and power source, precedes the results. While it runs the host\n"
         "watches the conditions of each phase, and the table ends with one verdict line per\n"
         "run: clean, or disturbed with its reasons (other programs above 10% of the processors,\n"
         "steal above 2%, thermal or quota throttling, a quota below the processors used, a\n"
         "phase's frequency 10% below the fastest phase of its kind, running on battery). A\n"
         "condition the machine does not show is \"not reported\". Warnings on standard error\n"
         "say the same, and when a figure varied by more than 3% over the runs. Ctrl-C cancels\n"
         "the run, waits for it to close, prints its report and still writes the exports,\n"
         "marked cancelled.\n"
         "\n"
         "Exit status:\n"
         "  0    every run finished\n"
         "  1    the library's report could not be read\n"
         "  2    bad command line, an export path or baseline refused, or the library cannot\n"
         "       be loaded or lacks an export\n"
         "  3    the library refused to start a run (its error text is printed)\n"
         "  4    an export could not be written after the runs\n"
         "  5    --require-clean was given and a run was disturbed (everything else went well)\n"
         "  130  interrupted: the run was cancelled and its report printed (with --runs, also\n"
         "       when the runs still to come were not started)\n";
}

}  // namespace quorvane::host
