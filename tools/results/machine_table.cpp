// Filling the cells of a machine table.
#include "results/machine_table.h"

namespace quorvane::host {

std::vector<std::vector<std::string>> machine_cells(
    const std::vector<machine_row>& rows, const std::vector<const nlohmann::json*>& documents) {
  std::vector<std::vector<std::string>> cells;
  cells.reserve(rows.size());
  for (const machine_row& row : rows) {
    std::vector<std::string> line;
    for (const nlohmann::json* document : documents) {
      std::string text = row.describe(*document);
      line.push_back(text.empty() ? "not recorded" : std::move(text));
    }
    cells.push_back(std::move(line));
  }
  return cells;
}

}  // namespace quorvane::host
