// The reading side's analysis: per machine and figure, the levels and
// change points of the clean, finished runs, with the system's changes
// beside them, and the forms the history command prints and exports.
#ifndef QUORVANE_TOOLS_HISTORY_HISTORY_REPORT_H
#define QUORVANE_TOOLS_HISTORY_HISTORY_REPORT_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "history/change_points.h"
#include "history/history_figures.h"
#include "history/history_store.h"
#include "history/trend_page.h"

namespace quorvane::host {

struct figure_history {
  const history_figure* figure = nullptr;
  // The machine's runs that hold this figure, cancelled ones left out.
  std::vector<const stored_run*> runs;
  // The clean ones among them, in order: what the analysis saw.
  std::vector<const stored_run*> clean;
  change_analysis analysis;  // indices count `clean`
};

struct machine_history {
  const stored_machine* machine = nullptr;
  std::string name;  // "AMD EPYC 7B13, Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64"
  std::vector<figure_history> figures;
};

struct history_filter {
  std::string machine;  // part of its key, processor, system or kernel; "" for all
  const history_figure* figure = nullptr;  // nullptr for all
};

std::vector<machine_history> analyse_history(const std::vector<stored_machine>& machines,
                                             const history_filter& filter);

// The lines the history command prints.
std::string history_text(const std::vector<machine_history>& machines);

// The exports: .json (every run, level and change), .csv (one row per run).
nlohmann::json history_json(const std::vector<machine_history>& machines);
std::string history_csv(const std::vector<machine_history>& machines);
trend_page history_trend_page(const std::vector<machine_history>& machines,
                              const std::string& subtitle);

// One line per figure whose latest level is a drop of at least percent
// from the level before it.
std::vector<std::string> regressions(const std::vector<machine_history>& machines, double percent);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_HISTORY_REPORT_H
