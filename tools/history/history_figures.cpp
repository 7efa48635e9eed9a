// The followed figures and their rows.
#include "history/history_figures.h"

#include <cmath>

namespace quorvane::host {

const std::array<history_figure, 7> history_figures = {{
    {"score_single", "single-thread score", ""},
    {"score_multi", "multi-thread score", ""},
    {"int_single_mops", "integer mixing, one thread", "million steps/s"},
    {"int_multi_mops", "integer mixing, all processors", "million steps/s"},
    {"fp_single_mflops", "floating point, one thread", "MFLOP/s"},
    {"fp_multi_mflops", "floating point, all processors", "MFLOP/s"},
    {"mem_bandwidth_mbps", "memory copy", "MiB/s"},
}};

const history_figure* find_history_figure(const std::string& text) {
  for (const history_figure& figure : history_figures) {
    if (text == figure.key || text == figure.label) return &figure;
  }
  return nullptr;
}

void insert_figures(sqlite_database& db, std::int64_t run_id, const nlohmann::json& report) {
  if (!report.is_object()) return;
  sqlite_statement insert(db, "INSERT INTO figures (run_id, name, value) VALUES (?1, ?2, ?3)");
  for (const history_figure& figure : history_figures) {
    const auto value = report.find(figure.key);
    if (value == report.end() || !value->is_number()) continue;
    const double number = value->get<double>();
    if (!std::isfinite(number) || number <= 0) continue;
    insert.bind(1, run_id).bind(2, std::string(figure.key)).bind(3, number);
    insert.run();
  }
}

}  // namespace quorvane::host
