// Parsing the host's command line with CLI11: typed options with checks on
// their values, and a failure-message formatter that makes the first
// problem the host's one-line message.
#include "command_line.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <sstream>

namespace quorvane::host {
namespace {

// The run count's text must be plain decimal digits: CLI11's own
// conversion would also take "+2", " 5" or "0x10".
const CLI::Validator decimal_digits(
    [](const std::string& text) -> std::string {
      if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) return "";
      return "needs a whole number from 1 to " + std::to_string(max_runs) + ", not '" + text + "'";
    },
    "");

// A flag is given by its name alone; CLI11 hands it "true" then, and the
// text after '=' otherwise. The check runs as the flag is read, so that it
// is reported in the order of the arguments.
const CLI::Validator without_value(
    [](const std::string& text) -> std::string { return text == "true" ? "" : "takes no value"; },
    "");

// The host's message for a failed parse. CLI11 checks the values it read
// before it reports the arguments it could not place; such an argument is
// named first, since it often explains the rest (a misspelt option leaves
// its value unplaced). The end-of-options mark "--" is never the problem.
std::string failure_message(const CLI::App* app, const CLI::Error& error) {
  for (const std::string& unplaced : app->remaining()) {
    if (unplaced != "--") return "unknown option '" + unplaced + "'";
  }
  return error.what();
}

std::unique_ptr<CLI::App> make_parser(options& parsed) {
  auto app = std::make_unique<CLI::App>();
  // The host prints its own help text and handles --help itself.
  app->set_help_flag();
  app->allow_extras(false);
  app->failure_message(failure_message);
  app->add_flag("--json", parsed.json)->check(without_value)->trigger_on_parse();
  app->add_flag("-q,--quiet", parsed.quiet)->check(without_value)->trigger_on_parse();
  app->add_flag("-h,--help", parsed.help)->check(without_value)->trigger_on_parse();
  app->add_flag("--version", parsed.version)->check(without_value)->trigger_on_parse();
  // The type names appear in CLI11's messages, as the help text names the values.
  app->add_option("--runs", parsed.runs)
      ->type_name("N")
      ->check(decimal_digits)
      ->check(CLI::Range(1, max_runs).description(""));
  app->add_option("--library", parsed.library_path)->type_name("PATH");
  app->add_option("--export", parsed.exports)->type_name("FILE")->allow_extra_args(false);
  app->add_option("--compare", parsed.compare_path)->type_name("FILE");
  app->add_flag("--require-clean", parsed.require_clean)->check(without_value)->trigger_on_parse();
  return app;
}

}  // namespace

parse_result parse_command_line(const std::vector<std::string>& arguments) {
  parse_result result;
  options& parsed = result.parsed;
  const std::unique_ptr<CLI::App> app = make_parser(parsed);
  std::vector<const char*> argv{"quorvane"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  try {
    app->parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& error) {
    std::ostringstream unused;
    std::ostringstream message;
    app->exit(error, unused, message);
    result.error = message.str();
    return result;
  }
  if (app->count("--library") > 0 && parsed.library_path.empty()) {
    result.error = "--library needs a path";
    return result;
  }
  for (const std::string& path : parsed.exports) {
    if (path.empty()) {
      result.error = "--export needs a path";
      return result;
    }
  }
  if (app->count("--compare") > 0 && parsed.compare_path.empty()) {
    result.error = "--compare needs a path";
    return result;
  }
  return result;
}

std::vector<std::string> option_names() {
  options unused;
  const std::unique_ptr<CLI::App> app = make_parser(unused);
  std::vector<std::string> names;
  for (const CLI::Option* option : app->get_options()) {
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
         "                  numbers. Disturbed runs are left out. Each figure gets both\n"
         "                  medians, the ratio (this machine over the baseline) as the\n"
         "                  Hodges-Lehmann estimate, the median of the ratios of every pair of\n"
         "                  runs, and its 95% interval from the Mann-Whitney U test on the\n"
         "                  logarithms of each side's clean runs, so the ratio always lies in\n"
         "                  its interval. The verdict follows the interval: \"faster\" above 1,\n"
         "                  \"slower\" below 1, else \"no clear difference\". The interval is\n"
         "                  exact while the two sides' run counts multiply to at most 10000\n"
         "                  (1000 runs against 1 is exact), else from the normal approximation\n"
         "                  with tie correction. With too few runs it says how many a side\n"
         "                  would need (4 a side will do)\n"
         "  --require-clean exit with status 6 when any run was disturbed\n"
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
         "  1    the library's report could not be read, or an unexpected failure\n"
         "  2    bad command line, an export path or baseline refused, or the library cannot\n"
         "       be loaded or lacks an export\n"
         "  3    the library refused to start a run (its error text is printed)\n"
         "  4    an export could not be written after the runs\n"
         "  5    standard output could not be written (closed, or the disk full); the runs\n"
         "       and the exports went on\n"
         "  6    --require-clean was given and a run was disturbed (everything else went well)\n"
         "  130  interrupted: the run was cancelled and its report printed (with --runs, also\n"
         "       when the runs still to come were not started); before the first run, the\n"
         "       host ends with no run and no export\n";
}

}  // namespace quorvane::host
