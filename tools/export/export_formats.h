// The export formats, chosen by the file's extension: one table entry per
// format, each a function from the results document to the file's text.
#ifndef QUORVANE_TOOLS_EXPORT_EXPORT_FORMATS_H
#define QUORVANE_TOOLS_EXPORT_EXPORT_FORMATS_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace quorvane::host {

// baseline: the --compare document, or nullptr when there is none.
using export_formatter = std::string (*)(const nlohmann::json& document,
                                         const nlohmann::json* baseline);

struct export_format {
  const char* extension;  // with its dot, lower case: ".json"
  export_formatter format;
};

// Every format the host writes.
const std::vector<export_format>& export_formats();

// The format for path's extension (compared without regard to case), or
// nullptr when no format has it.
const export_format* export_format_for(const std::string& path);

// Checks, before any run, that path has a known extension and can be
// written. On failure returns one line naming the path and the reason.
std::string check_export_path(const std::string& path);

// Formats the document for path and writes it atomically. On failure
// returns one line naming the path and the reason.
std::string write_export(const std::string& path, const nlohmann::json& document,
                         const nlohmann::json* baseline);

// The built-in formatters.
std::string format_json_export(const nlohmann::json& document);
std::string format_csv_export(const nlohmann::json& document);
std::string format_markdown_export(const nlohmann::json& document);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXPORT_EXPORT_FORMATS_H
