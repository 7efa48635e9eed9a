// The history's .html export: one self-contained page with a trend chart
// for each machine and figure, readable offline, in print and without
// colour.
#ifndef QUORVANE_TOOLS_HISTORY_TREND_PAGE_H
#define QUORVANE_TOOLS_HISTORY_TREND_PAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "history/change_points.h"

namespace quorvane::host {

// One run of a figure, in time order.
struct trend_run {
  std::int64_t run_number = 0;  // as the history numbers its runs
  std::string time;             // UTC, as shown, e.g. "2026-11-03 04:00"
  double value = 0;             // in the figure's units
  bool clean = true;            // false: disturbed, drawn as a square, not analysed
};

// "system changed" at a run: the first run on the changed system.
struct trend_event {
  std::int64_t run_number = 0;
  std::string text;  // e.g. "system changed: Linux 6.1 → 6.6"
};

// One chart: one figure of one machine.
struct trend_series {
  std::string machine;  // its description as the reader knows it
  std::string figure;   // e.g. "multi-thread score"
  std::string unit;     // "" for a score
  std::vector<trend_run> runs;
  // find_change_points over the clean runs' values in order: its indices
  // count clean runs only (the k-th clean run of runs), so every run the
  // analysis left out is marked not clean.
  change_analysis analysis;
  std::vector<trend_event> events;
};

struct trend_page {
  std::string title = "quorvane history";
  std::string subtitle;  // e.g. the database and when the page was made
  std::vector<trend_series> series;
};

// The page as one HTML document. It fetches nothing: the charts are
// inline SVG, the style is inline and its content policy forbids loads.
// Every text is escaped.
std::string render_trend_page(const trend_page& page);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_TREND_PAGE_H
