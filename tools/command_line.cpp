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

// "quorvane history [options]" and "quorvane history import FILE...".
void add_history_command(CLI::App& app, options& parsed) {
  CLI::App* history = app.add_subcommand("history");
  history->set_help_flag();
  history->allow_extras(false);
  history->add_flag("-h,--help", parsed.help)->check(without_value)->trigger_on_parse();
  history->add_option("--history", parsed.history_path)->type_name("FILE");
  history->add_option("--machine", parsed.history_machine)->type_name("TEXT");
  history->add_option("--since", parsed.history_since)->type_name("DATE");
  history->add_option("--figure", parsed.history_figure)->type_name("NAME");
  history->add_option("--export", parsed.exports)->type_name("FILE")->allow_extra_args(false);
  history->add_option("--fail-on-regression", parsed.fail_on_regression)
      ->type_name("PERCENT")
      ->check(CLI::Range(0.0, 100.0).description(""));
  CLI::App* import = history->add_subcommand("import");
  import->set_help_flag();
  import->add_flag("-h,--help", parsed.help)->check(without_value)->trigger_on_parse();
  import->add_option("--history", parsed.history_path)->type_name("FILE");
  import->add_option("files", parsed.import_files)->type_name("FILE.json")->required();
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
  app->add_option("--history", parsed.history_path)->type_name("FILE")->expected(0, 1);
  add_history_command(*app, parsed);
  return app;
}

bool is_date(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
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
  if (const CLI::App* history = app->get_subcommand("history"); history->parsed()) {
    parsed.history_command = true;
    parsed.history_import = history->get_subcommand("import")->parsed();
    if (!parsed.history_since.empty() && !is_date(parsed.history_since)) {
      result.error = "--since needs a date as YYYY-MM-DD, not '" + parsed.history_since + "'";
      return result;
    }
  } else {
    parsed.history = app->count("--history") > 0;
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
         "       quorvane history [options]          (see quorvane history --help)\n"
         "       quorvane history import FILE.json...\n"
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
         "  --history [FILE] append every run (finished, cancelled or disturbed) to the\n"
         "                  history database FILE (also --history=FILE), by default\n"
         "                  $XDG_DATA_HOME/quorvane/history.sqlite (~/.local/share/...\n"
         "                  when unset; %LOCALAPPDATA%\\quorvane\\history.sqlite on Windows)\n"
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
         "  7    --history: the history database could not be written (read-only, locked\n"
         "       for more than 5 s, a full disk, not a history database, or a newer schema);\n"
         "       the exports were written and the database keeps what it held\n"
         "  8    history --fail-on-regression: a figure's latest level dropped that much\n"
         "  130  interrupted: the run was cancelled and its report printed (with --runs, also\n"
         "       when the runs still to come were not started); before the first run, the\n"
         "       host ends with no run and no export\n";
}

std::string history_usage_text() {
  return "Usage: quorvane history [options]\n"
         "       quorvane history import [--history FILE] FILE.json...\n"
         "\n"
         "Reads the history that quorvane --history keeps: for each machine and figure the\n"
         "current level and each change point, with its size, 95% interval and date, and\n"
         "the changes of the system (processor, memory, kernel, quota, virtualisation):\n"
         "  multi-thread score: 2172 → 1960 (−9.8%, −11.2% to −8.1%) from run 41,\n"
         "  2026-11-03; system changed at run 40: Linux 6.1 → 6.6\n"
         "Only clean, finished runs count; disturbed and cancelled runs stay in the history\n"
         "and are shown on the trend page, but are left out of the levels.\n"
         "\n"
         "Change points: binary segmentation with the Mann-Whitney rank test on the\n"
         "logarithms of the figure's clean runs (docs/history.md names the method, its\n"
         "false-alarm control and its smallest reported step).\n"
         "\n"
         "Options:\n"
         "  --history FILE  the history database (default: the one quorvane --history uses)\n"
         "  --machine TEXT  only the machines whose ID, processor or system contains TEXT\n"
         "  --since DATE    only runs from DATE (YYYY-MM-DD, UTC) on\n"
         "  --figure NAME   only this figure (score_multi, or its label \"multi-thread score\")\n"
         "  --export FILE   also write the history to FILE: .json, .csv (one row per run) or\n"
         "                  .html (a trend page); may be given more than once\n"
         "  --fail-on-regression PERCENT\n"
         "                  exit with status 8 when the latest level of a figure is a drop of\n"
         "                  at least PERCENT from the level before it\n"
         "  -h, --help      show this text\n"
         "\n"
         "import FILE.json... adds results documents (quorvane --export FILE.json) to the\n"
         "history, all in one transaction; a document already there adds nothing.\n"
         "\n"
         "Exit status:\n"
         "  0    the history was read (or the documents imported)\n"
         "  2    bad command line, or a document to import that cannot be read or is not a\n"
         "       results document (nothing is imported then)\n"
         "  4    an export could not be written\n"
         "  7    the history database could not be read or written (missing, read-only,\n"
         "       locked for more than 5 s, a full disk, not a history database, or a\n"
         "       newer schema); the database keeps what it held\n"
         "  8    --fail-on-regression: a figure's latest level dropped at least that much\n";
}

}  // namespace quorvane::host
