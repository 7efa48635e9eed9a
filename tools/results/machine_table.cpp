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

std::string core_kinds_cell(const nlohmann::json& machine) {
  if (!machine.is_object()) return "";
  const auto kinds = machine.find("core_kinds");
  if (kinds == machine.end() || !kinds->is_array()) return "";
  if (kinds->empty()) return "one kind as far as the system shows";
  std::string text;
  for (const nlohmann::json& kind : *kinds) {
    const auto name = kind.is_object() ? kind.find("name") : kind.end();
    const auto count = kind.is_object() ? kind.find("processors") : kind.end();
    // A document read from a file may hold anything here.
    if (name == kind.end() || !name->is_string() || count == kind.end() ||
        !count->is_number_integer()) {
      return "";
    }
    text += (text.empty() ? "" : ", ") + count->dump() + " " + name->get<std::string>();
  }
  return text;
}

}  // namespace quorvane::host
