// Laying out the history's trend page: a chart per machine and figure.
#include "history/trend_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "export/page_frame.h"
#include "export/svg_chart.h"
#include "number_text.h"

namespace quorvane::host {
namespace {

// The trend chart's own marks. Print needs no colour: dots, squares, solid
// levels and dashed events differ in shape, and every value is written out
// in the tables.
const char* const page_style = R"(
figure{margin:0 0 18px}
svg.trend{display:block;width:100%;max-width:960px;height:auto}
svg .grid{stroke:#ddd;stroke-width:1}svg .axis{stroke:#888;stroke-width:1}
svg .run{fill:#fff;stroke:#000;stroke-width:1.3}svg .disturbed{fill:#a00;stroke:#000}
svg .level{stroke:#2f5d9b;stroke-width:3}svg .step{stroke:#2f5d9b;stroke-width:1;stroke-dasharray:2 2}
svg .event{stroke:#a00;stroke-width:1.5;stroke-dasharray:6 3}
svg .event-label{font-size:11px;font-weight:600;fill:#a00}svg .empty{font-size:13px;fill:#444}
@media print{
svg .level{stroke:#000}svg .event{stroke:#000}svg .event-label{fill:#000}
}
)";

// The chart's frame: the y axis's numbers on the left, the event labels
// above the plot, run numbers and dates below it.
constexpr double chart_width = 960;
constexpr double chart_height = 300;
constexpr double plot_left = 78;
constexpr double plot_right = 944;
constexpr double plot_top = 44;
constexpr double plot_bottom = 250;
constexpr double edge_room = 10;      // between the plot's edge and the first and last run
constexpr double label_row = 13;      // event labels stagger by this much
constexpr double label_spacing = 26;  // event labels closer than this stagger
constexpr std::size_t x_ticks = 6;

// The value axis: a range around every run and level, a little wider so
// that no mark sits on the frame.
struct value_axis {
  double low = 0;
  double high = 1;
  double y_of(double value) const {
    return plot_bottom - (plot_bottom - plot_top) * (value - low) / (high - low);
  }
};

value_axis axis_for(const trend_series& series) {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  auto widen = [&](double value) {
    if (!std::isfinite(value)) return;
    low = std::min(low, value);
    high = std::max(high, value);
  };
  for (const trend_run& run : series.runs) widen(run.value);
  for (const history_level& level : series.analysis.levels) widen(level.value);
  if (!(low <= high)) return {};
  // At least 0.5% of the level each way: a flat history stays flat, and
  // the grid's steps stay far above the values' rounding.
  const double pad = std::max({(high - low) * 0.08, std::fabs(high) * 0.005, 1e-9});
  return {low - pad, high + pad};
}

// The position of each clean run among all runs: the analysis counts
// clean runs only.
std::vector<std::size_t> clean_positions(const trend_series& series) {
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < series.runs.size(); ++i) {
    if (series.runs[i].clean) positions.push_back(i);
  }
  return positions;
}

std::string run_title(const trend_run& run) {
  return "<title>run " + std::to_string(run.run_number) + ", " + escape_html(run.time) + ": " +
         escape_html(level_text(run.value)) + (run.clean ? "" : " (disturbed)") + "</title>";
}

std::string render_chart(const trend_series& series, std::size_t chart_index) {
  const std::size_t count = series.runs.size();
  const auto x_of = [&](double position) {
    if (count < 2) return (plot_left + plot_right) / 2;
    return plot_left + edge_room +
           (plot_right - plot_left - 2 * edge_room) * position / static_cast<double>(count - 1);
  };
  const value_axis axis = axis_for(series);
  std::string svg = "<svg class=\"trend\" role=\"img\" data-chart=\"trend-" +
                    std::to_string(chart_index) + "\" viewBox=\"0 0 " + svg_number(chart_width) +
                    " " + svg_number(chart_height) + "\"><title>" +
                    escape_html(series.figure + " of " + series.machine) + "</title>";
  append_svg_line(svg, plot_left, plot_bottom, plot_right, plot_bottom, "axis");
  append_svg_line(svg, plot_left, plot_top, plot_left, plot_bottom, "axis");
  if (count == 0) {
    append_svg_text(svg, (plot_left + plot_right) / 2, (plot_top + plot_bottom) / 2, "middle",
                    "empty", "no runs");
    return svg + "</svg>";
  }

  // The value grid, labelled on the left.
  const double step = round_axis_step(axis.high - axis.low);
  const double first_tick = std::ceil(axis.low / step) * step;
  for (int index = 0; index <= 10; ++index) {
    const double tick = first_tick + index * step;
    if (!(tick <= axis.high)) break;
    append_svg_line(svg, plot_left, axis.y_of(tick), plot_right, axis.y_of(tick), "grid");
    append_svg_text(svg, plot_left - 6, axis.y_of(tick) + 4, "end", "tick", level_text(tick));
  }
  // Runs along the bottom: number and date at a few evenly spread runs,
  // the outer ones aligned inwards so that they stay inside the chart.
  std::size_t last_tick = count;
  for (std::size_t k = 0; k < x_ticks; ++k) {
    const std::size_t position = count < 2 ? 0 : k * (count - 1) / (x_ticks - 1);
    if (position == last_tick) continue;
    last_tick = position;
    const char* anchor = count < 2               ? "middle"
                         : position == 0         ? "start"
                         : position == count - 1 ? "end"
                                                 : "middle";
    const double x = x_of(static_cast<double>(position));
    append_svg_line(svg, x, plot_bottom, x, plot_bottom + 4, "axis");
    const trend_run& run = series.runs[position];
    append_svg_text(svg, x, plot_bottom + 17, anchor, "tick",
                    "run " + std::to_string(run.run_number));
    append_svg_text(svg, x, plot_bottom + 31, anchor, "tick", run.time.substr(0, 10));
  }

  // System changes: a dashed line before the first run on the changed
  // system, numbered above the plot; the table below gives the text.
  double last_label_x = -std::numeric_limits<double>::infinity();
  int row = 0;
  for (std::size_t e = 0; e < series.events.size(); ++e) {
    const auto first_after = static_cast<std::size_t>(
        std::find_if(
            series.runs.begin(), series.runs.end(),
            [&](const trend_run& run) { return run.run_number >= series.events[e].run_number; }) -
        series.runs.begin());
    double x = first_after == 0       ? x_of(0) - edge_room / 2
               : first_after == count ? x_of(static_cast<double>(count - 1)) + edge_room / 2
                                      : x_of(static_cast<double>(first_after) - 0.5);
    append_svg_line(svg, x, plot_top - 4, x, plot_bottom, "event");
    x = std::clamp(x, plot_left + 12, plot_right - 12);
    row = x - last_label_x < label_spacing ? (row + 1) % 2 : 0;
    last_label_x = x;
    append_svg_text(svg, x, plot_top - 10 - label_row * row, "middle", "event-label",
                    "S" + std::to_string(e + 1));
  }

  // The levels as lines over their clean runs, joined at each change.
  const std::vector<std::size_t> positions = clean_positions(series);
  double previous_end_x = std::numeric_limits<double>::quiet_NaN();
  double previous_y = std::numeric_limits<double>::quiet_NaN();
  for (const history_level& level : series.analysis.levels) {
    if (level.first >= level.end || level.end > positions.size()) continue;
    const double x1 = x_of(static_cast<double>(positions[level.first])) - 3;
    const double x2 = x_of(static_cast<double>(positions[level.end - 1])) + 3;
    const double y = axis.y_of(level.value);
    if (std::isfinite(previous_end_x))
      append_svg_line(svg, previous_end_x, previous_y, x1, y, "step");
    svg += "<line x1=\"" + svg_number(x1) + "\" y1=\"" + svg_number(y) + "\" x2=\"" +
           svg_number(x2) + "\" y2=\"" + svg_number(y) + "\" class=\"level\"><title>level " +
           escape_html(level_text(level.value)) + "</title></line>";
    previous_end_x = x2;
    previous_y = y;
  }

  // The runs on top: dots clean, squares disturbed.
  for (std::size_t i = 0; i < count; ++i) {
    const trend_run& run = series.runs[i];
    if (!std::isfinite(run.value)) continue;
    const double x = x_of(static_cast<double>(i));
    const double y = axis.y_of(run.value);
    if (run.clean) {
      svg += "<circle cx=\"" + svg_number(x) + "\" cy=\"" + svg_number(y) +
             "\" r=\"3\" class=\"run\">" + run_title(run) + "</circle>";
    } else {
      svg += "<rect x=\"" + svg_number(x - 3.5) + "\" y=\"" + svg_number(y - 3.5) +
             "\" width=\"7\" height=\"7\" class=\"run disturbed\">" + run_title(run) + "</rect>";
    }
  }
  return svg + "</svg>";
}

// The run of the k-th clean run, for the tables.
const trend_run* clean_run(const trend_series& series, std::size_t k) {
  for (const trend_run& run : series.runs) {
    if (run.clean && k-- == 0) return &run;
  }
  return nullptr;
}

std::string series_tables(const trend_series& series) {
  std::string html;
  if (!series.analysis.levels.empty()) {
    const history_level& current = series.analysis.levels.back();
    const trend_run* since = clean_run(series, current.first);
    html += "<p class=\"note\">Current level: " + escape_html(level_text(current.value)) +
            (series.unit.empty() ? "" : " " + escape_html(series.unit)) +
            (since != nullptr ? ", since run " + std::to_string(since->run_number) : "") + ".</p>";
  }
  if (!series.analysis.changes.empty()) {
    html += "<table class=\"changes\"><tr><th>change</th><th>from run</th><th>time</th></tr>";
    for (const change_point& change : series.analysis.changes) {
      const trend_run* run = clean_run(series, change.index);
      html += "<tr><td>" + escape_html(change_text(change)) + "</td><td class=\"num\">" +
              (run != nullptr ? std::to_string(run->run_number) : "") + "</td><td>" +
              (run != nullptr ? escape_html(run->time) : "") + "</td></tr>";
    }
    html += "</table>";
  }
  if (!series.events.empty()) {
    html += "<table class=\"events\"><tr><th></th><th>at run</th><th>event</th></tr>";
    for (std::size_t e = 0; e < series.events.size(); ++e) {
      html += "<tr><td>S" + std::to_string(e + 1) + "</td><td class=\"num\">" +
              std::to_string(series.events[e].run_number) + "</td><td>" +
              escape_html(series.events[e].text) + "</td></tr>";
    }
    html += "</table>";
  }
  return html;
}

}  // namespace

std::string render_trend_page(const trend_page& page) {
  std::string html = page_head(page.title, page_style) + "<h1>" + escape_html(page.title) + "</h1>";
  if (!page.subtitle.empty()) html += "<p class=\"meta\">" + escape_html(page.subtitle) + "</p>";
  html +=
      "<p class=\"note\">Circles: clean runs; squares: disturbed runs, which the analysis "
      "leaves out. Solid lines: the levels between change points. Dashed lines: the system "
      "changed before that run (S1, S2… in the table below the chart). Changes found by " +
      escape_html(change_point_method) + ".</p>";
  if (page.series.empty()) html += "<p class=\"note\">The history has no runs to show.</p>";
  std::string machine;
  for (std::size_t i = 0; i < page.series.size(); ++i) {
    const trend_series& series = page.series[i];
    if (i == 0 || series.machine != machine) {
      if (i != 0) html += "</section>";
      machine = series.machine;
      html += "\n<section><h2>" + escape_html(machine) + "</h2>";
    }
    html += "\n<figure data-figure=\"" + escape_html(series.figure) + "\" data-machine=\"" +
            escape_html(series.machine) + "\"><figcaption>" + escape_html(series.figure) +
            (series.unit.empty() ? "" : " (" + escape_html(series.unit) + ")") + "</figcaption>" +
            render_chart(series, i) + series_tables(series) + "</figure>";
  }
  if (!page.series.empty()) html += "</section>";
  html += page_end;
  return html;
}

}  // namespace quorvane::host
