// The figures the history follows: the report's two scores and five
// measurements (threads_used and duration_ms describe the run, not the
// machine's speed).
#ifndef QUORVANE_TOOLS_HISTORY_HISTORY_FIGURES_H
#define QUORVANE_TOOLS_HISTORY_HISTORY_FIGURES_H

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "history/sqlite_database.h"

namespace quorvane::host {

struct history_figure {
  const char* key;    // the report's member: "score_multi"
  const char* label;  // as the history prints it: "multi-thread score"
  const char* unit;   // "" for a score
};
extern const std::array<history_figure, 7> history_figures;

// The figure whose key or label is text; nullptr when none is.
const history_figure* find_history_figure(const std::string& text);

// Stores a run's figures: each one the report holds as a finite number
// above 0 (a failed measurement reads 0 and has no logarithm).
void insert_figures(sqlite_database& db, std::int64_t run_id, const nlohmann::json& report);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_HISTORY_FIGURES_H
