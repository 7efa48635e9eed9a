// The library's report, read into numbers, and the host's results table.
#ifndef QUORVANE_TOOLS_RESULTS_RUN_REPORT_H
#define QUORVANE_TOOLS_RESULTS_RUN_REPORT_H

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace quorvane::host {

struct run_report {
  double score_single = 0;
  double score_multi = 0;
  double int_single_mops = 0;
  double int_multi_mops = 0;
  double fp_single_mflops = 0;
  double fp_multi_mflops = 0;
  double mem_bandwidth_mbps = 0;
  std::int64_t threads_used = 0;
  std::uint64_t duration_ms = 0;
};

// One figure of the report that the tables show: the five measurements and
// the two scores, in the order a reader takes them in.
struct report_figure {
  const char* key;    // member name in the report
  const char* label;  // words for a person
  const char* unit;   // "" for the scores
  double run_report::*value;
};

constexpr std::size_t figure_count = 7;
extern const std::array<report_figure, figure_count> report_figures;

// What a run of the library can produce. A figure outside these bounds
// comes from no run (an overflowed or hand-edited report) and is refused
// wherever a report is read, so no table, statistic or chart meets it. The
// figures' bound is far beyond any machine yet leaves their squares and
// sums finite.
constexpr double largest_figure = 1e100;              // any rate or score
constexpr std::int64_t most_threads = 1048576;        // threads_used
constexpr std::uint64_t longest_run_ms = 1000000000;  // duration_ms, 11.6 days

// Reads a report: a JSON object with the nine members, each a number: the
// seven figures from 0 to largest_figure, threads_used a whole number from
// 0 to most_threads and duration_ms one from 0 to longest_run_ms; extra
// members are ignored. On failure returns nothing and sets reason (for
// example "the report has no number 'score_multi'").
std::optional<run_report> read_report(const nlohmann::json& report, std::string& reason);

// Reads the library's report line; report receives the line's JSON value
// (discarded when the line is not JSON, or nests deeper than any report's,
// which is refused unparsed). On failure returns nothing and sets error to
// read_report's reason followed by ": " and the line (cut short when long).
std::optional<run_report> parse_report(const std::string& line, nlohmann::json& report,
                                       std::string& error);
std::optional<run_report> parse_report(const std::string& line, std::string& error);

// The results table of one run: the five measurements with units, the two
// scores, the processor count and the duration, one per line.
std::string format_results_table(const run_report& report, bool cancelled);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_RUN_REPORT_H
