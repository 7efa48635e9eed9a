// Drawing a bar chart as SVG.
#include "export/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorvane::host {
namespace {

// Horizontal layout: labels on the left, the bars, and the values on the
// right in a column of their own, so a long value never runs over a bar.
// The chart is at least this wide, and wider when a value's text needs it.
constexpr double least_width = 640;
constexpr double plot_left = 160;
constexpr double plot_right = 420;
constexpr double value_left = 430;
constexpr double top_margin = 22;  // room for the marker's label
constexpr double group_row = 20;
constexpr double bar_row = 28;
constexpr double bar_height = 16;
constexpr double axis_height = 26;
// Larger values are drawn at the axis end, so the axis arithmetic (a step
// above a quarter of the largest value, its multiples) stays finite.
constexpr double largest_drawn = 1e300;
// Room for one character of the 13 px texts, above the widest average of
// the sans-serif faces, so that a text's estimated width is never short.
constexpr double character_width = 8.2;
constexpr double right_margin = 6;

// The characters of a UTF-8 text: its bytes that do not continue one.
double characters(const std::string& text) {
  return static_cast<double>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
  }));
}

// Keeps the largest finite value; infinities and NaN never set the axis.
void widen(double& largest, double value) {
  if (std::isfinite(value)) largest = std::max(largest, std::min(value, largest_drawn));
}

// A round axis end at or above the largest value, with four or five ticks
// of 1, 2, 2.5 or 5 times a power of ten.
double axis_step(double largest) { return largest > 0 ? round_axis_step(largest) : 0.25; }

}  // namespace

std::string svg_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

void append_svg_text(std::string& svg, double x, double y, const char* anchor,
                     const char* css_class, const std::string& text) {
  svg += "<text x=\"" + svg_number(x) + "\" y=\"" + svg_number(y) + "\" text-anchor=\"" + anchor +
         "\" class=\"" + css_class + "\">" + escape_html(text) + "</text>";
}

void append_svg_line(std::string& svg, double x1, double y1, double x2, double y2,
                     const char* css_class) {
  svg += "<line x1=\"" + svg_number(x1) + "\" y1=\"" + svg_number(y1) + "\" x2=\"" +
         svg_number(x2) + "\" y2=\"" + svg_number(y2) + "\" class=\"" + css_class + "\"/>";
}

double round_axis_step(double span) {
  const double rough = span / 4;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
    if (rough <= factor * power) return factor * power;
  }
  return 10 * power;
}

std::string escape_html(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const char* entity = c == '&'    ? "&amp;"
                         : c == '<'  ? "&lt;"
                         : c == '>'  ? "&gt;"
                         : c == '"'  ? "&quot;"
                         : c == '\'' ? "&#39;"
                                     : nullptr;
    if (entity != nullptr) {
      escaped += entity;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string render_svg(const bar_chart& chart) {
  double largest = 0;
  if (chart.marker) widen(largest, *chart.marker);
  double height = top_margin + axis_height;
  for (const chart_group& group : chart.groups) {
    if (!group.label.empty()) height += group_row;
    for (const chart_bar& bar : group.bars) {
      height += bar_row;
      if (bar.value) widen(largest, *bar.value);
      for (const double point : bar.points) widen(largest, point);
    }
  }
  const double step = axis_step(largest);
  const int steps = std::max(1, static_cast<int>(std::ceil(largest / step)));
  const double axis_end = steps * step;
  const auto x_of = [&](double value) {
    const double share = value / axis_end;  // NaN draws at 0
    return plot_left + (plot_right - plot_left) * (share >= 1 ? 1.0 : share > 0 ? share : 0.0);
  };
  const double plot_bottom = height - axis_height;
  double chart_width = least_width;
  for (const chart_group& group : chart.groups) {
    chart_width = std::max(chart_width, 4 + characters(group.label) * character_width);
    for (const chart_bar& bar : group.bars) {
      chart_width = std::max(
          chart_width, value_left + characters(bar.value_text) * character_width + right_margin);
    }
  }

  const std::string hatch_id = "hatch-" + chart.id;
  std::string svg =
      "<svg class=\"chart\" role=\"img\" "
      "data-chart=\"" +
      escape_html(chart.id) + "\" viewBox=\"0 0 " + svg_number(chart_width) + " " +
      svg_number(height) + "\">";
  svg += "<title>" + escape_html(chart.title) + "</title>";
  svg += "<defs><pattern id=\"" + escape_html(hatch_id) +
         "\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
         "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#fff\"/>"
         "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#555\" stroke-width=\"2.5\"/>"
         "</pattern></defs>";

  // Grid and axis.
  for (int index = 0; index <= steps; ++index) {
    const double tick = index * step;
    append_svg_line(svg, x_of(tick), top_margin, x_of(tick), plot_bottom, "grid");
    append_svg_text(svg, x_of(tick), plot_bottom + 16, "middle", "tick", svg_number(tick));
  }

  double y = top_margin;
  for (const chart_group& group : chart.groups) {
    if (!group.label.empty()) {
      append_svg_text(svg, 4, y + 15, "start", "group", group.label);
      y += group_row;
    }
    for (const chart_bar& bar : group.bars) {
      const double middle = y + bar_row / 2;
      append_svg_text(svg, plot_left - 8, middle + 4, "end", "label", bar.label);
      if (bar.value && std::isfinite(*bar.value)) {
        const double width = x_of(*bar.value) - plot_left;
        svg += "<rect x=\"" + svg_number(plot_left) + "\" y=\"" +
               svg_number(middle - bar_height / 2) + "\" width=\"" + svg_number(width) +
               "\" height=\"" + svg_number(bar_height) + "\" " +
               (bar.hatched ? "fill=\"url(#" + escape_html(hatch_id) + ")\" class=\"baseline\""
                            : std::string("class=\"bar\"")) +
               "/>";
      }
      // Points a few pixels apart up and down, so that runs of about the
      // same value stay visible one by one.
      for (std::size_t i = 0; i < bar.points.size(); ++i) {
        if (!std::isfinite(bar.points[i])) continue;
        const double offset = (static_cast<double>(i % 3) - 1) * 4;
        const std::string title =
            "<title>finished run " + std::to_string(i + 1) +
            (i < bar.disturbed.size() && bar.disturbed[i] ? " (disturbed)" : "") + ": " +
            svg_number(bar.points[i]) + "</title>";
        if (i < bar.disturbed.size() && bar.disturbed[i]) {
          // A square, not a circle: the mark reads without colour.
          svg += "<rect x=\"" + svg_number(x_of(bar.points[i]) - 4) + "\" y=\"" +
                 svg_number(middle + offset - 4) +
                 "\" width=\"8\" height=\"8\" class=\"run disturbed\">" + title + "</rect>";
        } else {
          svg += "<circle cx=\"" + svg_number(x_of(bar.points[i])) + "\" cy=\"" +
                 svg_number(middle + offset) + "\" r=\"3.5\" class=\"run\">" + title + "</circle>";
        }
      }
      append_svg_text(svg, value_left, middle + 4, "start", "value", bar.value_text);
      y += bar_row;
    }
  }

  if (chart.marker) {
    append_svg_line(svg, x_of(*chart.marker), top_margin - 4, x_of(*chart.marker), plot_bottom,
                    "marker");
    // Centred on its line, or ending there when the centre would leave too
    // little room at the right.
    const double x = x_of(*chart.marker);
    const bool fits_centred =
        x + characters(chart.marker_label) * character_width / 2 <= chart_width - right_margin;
    append_svg_text(svg, x, top_margin - 8, fits_centred ? "middle" : "end", "marker-label",
                    chart.marker_label);
  }
  svg += "</svg>";
  return svg;
}

}  // namespace quorvane::host
