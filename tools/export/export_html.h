// The .html export: one self-contained page with the machine, the figures
// and a chart of each, readable offline, in print and without colour.
#ifndef QUORVANE_TOOLS_EXPORT_EXPORT_HTML_H
#define QUORVANE_TOOLS_EXPORT_EXPORT_HTML_H

#include <string>

#include <nlohmann/json.hpp>

namespace quorvane::host {

// The page of a results document. With a baseline (a results document, or
// one read from report lines), its machine and figures stand beside this
// one's in every table and chart. The page fetches nothing: the charts are
// inline SVG, the style is inline and its content policy forbids loads.
std::string format_html(const nlohmann::json& document, const nlohmann::json* baseline);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXPORT_EXPORT_HTML_H
