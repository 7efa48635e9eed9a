// The .prom export: the Prometheus text exposition format that the
// textfile collectors of the usual exporters read.
#ifndef QUORVANE_TOOLS_EXPORT_EXPORT_PROMETHEUS_H
#define QUORVANE_TOOLS_EXPORT_EXPORT_PROMETHEUS_H

#include <string>

#include <nlohmann/json.hpp>

namespace quorvane::host {

// One gauge per figure, each the median over the document's finished runs
// in base units, with quorvane_info and quorvane_runs beside them. With no
// finished run only those two are written (quorvane_runs 0): a figure that
// was not measured is left out rather than shown as 0.
std::string format_prometheus(const nlohmann::json& document);

// A label value as the format quotes it: backslash, double quote and line
// feed escaped.
std::string escape_label_value(const std::string& value);

// A sample value that the format's parser reads back exactly: the shortest
// text that round-trips, independent of the locale.
std::string format_sample_value(double value);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXPORT_EXPORT_PROMETHEUS_H
