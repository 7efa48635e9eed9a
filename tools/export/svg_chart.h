// Horizontal bar charts as inline SVG, for the HTML report: a bar for each
// side's median, a point for each run on top of it, and the values written
// out beside the bars so that the chart reads without colour.
#ifndef QUORVANE_TOOLS_EXPORT_SVG_CHART_H
#define QUORVANE_TOOLS_EXPORT_SVG_CHART_H

#include <optional>
#include <string>
#include <vector>

namespace quorvane::host {

struct chart_bar {
  std::string label;            // e.g. "this machine", "baseline"
  std::optional<double> value;  // the bar's length; nothing: not measured
  std::vector<double> points;   // one per run, drawn on the bar
  std::string value_text;       // written beside the bar
  bool hatched = false;         // the baseline's bars are hatched, not filled
  std::vector<bool> disturbed;  // per point: a disturbed run, drawn as a square
};

struct chart_group {
  std::string label;  // "" for a chart of one group
  std::vector<chart_bar> bars;
};

struct bar_chart {
  std::string id;     // data-chart attribute, unique in the page
  std::string title;  // the SVG's accessible name
  std::vector<chart_group> groups;
  std::optional<double> marker;  // a dashed line across the bars, e.g. a reference
  std::string marker_label;
};

// The chart as one <svg> element; every text in it is escaped.
std::string render_svg(const bar_chart& chart);

// Text made safe for HTML element content and attribute values.
std::string escape_html(const std::string& text);

// The pieces every chart of the pages is drawn with.
// A coordinate or value as SVG reads it: six significant digits.
std::string svg_number(double value);
// A <text> element at (x, y), anchored "start", "middle" or "end", escaped.
void append_svg_text(std::string& svg, double x, double y, const char* anchor,
                     const char* css_class, const std::string& text);
// A <line> element from (x1, y1) to (x2, y2).
void append_svg_line(std::string& svg, double x1, double y1, double x2, double y2,
                     const char* css_class);
// A round tick step, 1, 2, 2.5 or 5 times a power of ten, for about four
// intervals over span (above 0).
double round_axis_step(double span);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXPORT_SVG_CHART_H
