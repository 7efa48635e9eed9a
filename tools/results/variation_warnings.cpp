// The --runs warnings.
#include "results/variation_warnings.h"

#include <cstdio>

#include "results/run_report.h"

namespace quorvane::host {

std::vector<std::string> variation_warnings(const nlohmann::json& summary, std::size_t runs) {
  std::vector<std::string> warnings;
  for (const report_figure& figure : report_figures) {
    const auto entry = summary.find(figure.key);
    if (entry == summary.end()) continue;
    const auto variation = entry->find("cv_percent");
    if (variation == entry->end() || !variation->is_number()) continue;
    const double percent = variation->get<double>();
    if (percent <= variation_warning_percent) continue;
    char line[200];
    std::snprintf(line, sizeof line,
                  "warning: %s varied by %.1f%% over %zu runs (coefficient of variation); above "
                  "%.0f%% the machine was not steady",
                  figure.label, percent, runs, variation_warning_percent);
    warnings.emplace_back(line);
  }
  return warnings;
}

}  // namespace quorvane::host
