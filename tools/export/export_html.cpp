// Laying out the HTML report of a results document.
#include "export/export_html.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "export/page_frame.h"
#include "export/svg_chart.h"
#include "machine/condition_words.h"
#include "machine/run_conditions.h"
#include "number_text.h"
#include "results/comparison.h"
#include "results/document_figures.h"
#include "results/machine_table.h"
#include "results/run_report.h"
#include "results/run_verdict.h"

namespace quorvane::host {
namespace {

// The results page's own style: its charts' bars, runs and baseline marks.
const char* const page_style = R"(
.charts{display:grid;grid-template-columns:repeat(auto-fill,minmax(560px,1fr));gap:6px 28px}
figure{margin:0 0 10px}
svg.chart{display:block;width:100%;max-width:640px;height:auto}
svg .bar{fill:#2f5d9b}svg .baseline{stroke:#444;stroke-width:1}
svg .grid{stroke:#ddd;stroke-width:1}svg .run{fill:#fff;stroke:#000;stroke-width:1.5}
svg .marker{stroke:#a00;stroke-width:1.5;stroke-dasharray:5 3}
svg .label,svg .value{font-size:13px}svg .group{font-size:13px;font-weight:600}
svg .marker-label{font-size:11px;fill:#a00}svg .disturbed{fill:#a00;stroke:#000}
td.disturbed{color:#a00;font-weight:600}
@media print{
.charts{display:block}
svg .bar{fill:#555}svg .marker{stroke:#000}svg .marker-label{fill:#000}
}
)";

struct side {
  const char* name;  // how the charts and tables call it
  const nlohmann::json* document;
  std::vector<const nlohmann::json*> runs;  // the finished ones
  bool hatched;
};

std::string format_number(double value) {
  const bool whole = std::fabs(value - std::round(value)) < 1e-9 || std::fabs(value) >= 1e6;
  return printed(whole ? "%.0f" : "%.1f", value);
}

std::string format_percent(double value) { return printed("%.1f%%", value); }

std::string hertz_text(double hertz) { return frequency_text(hertz); }

// A machine member's label in words, and its value with its unit.
struct machine_member_layout {
  const char* key;
  const char* label;
  std::string (*number)(double);  // a number's text; nullptr: as the document has it
};

const machine_member_layout machine_members[] = {
    {"cpu_model", "processor", nullptr},
    {"cpu_signature", "processor signature", nullptr},
    {"logical_processors", "logical processors", nullptr},
    {"usable_processors", "processors this process may use", nullptr},
    {"memory_bytes", "memory",
     [](double bytes) {
       return printed("%.1f GiB", bytes / (1024.0 * 1024.0 * 1024.0)) + " (" +
              printed("%.0f", bytes) + " bytes)";
     }},
    {"core_kinds", "core kinds", nullptr},
    {"os", "operating system", nullptr},
    {"kernel", "kernel", nullptr},
    {"virtualisation", "virtualisation", nullptr},
    {"container_signs", "signs of a container", nullptr},
    {"quota_processors", "processor quota", nullptr},  // condition_words
    {"quota_source", "where the quota is set", nullptr},
    {"base_frequency_hz", "base frequency", hertz_text},
    {"max_frequency_hz", "highest frequency", hertz_text},
    {"frequency_policy", "frequency policy", nullptr},
    {"boost", "frequency boost", nullptr},
    {"power_source", "power source", nullptr},
};

// A machine description's value as a person reads it; "" when it has none.
std::string machine_value(const nlohmann::json& machine, const machine_member_layout& layout) {
  const nlohmann::json& value = member(machine, layout.key);
  // Present as null: the machine did not show it; absent: an older host
  // did not record it ("" makes the table say so).
  if (std::string(layout.key) == "core_kinds") return core_kinds_cell(machine);
  if (value.is_null()) {
    return machine.is_object() && machine.contains(layout.key) ? condition_words(layout.key, value)
                                                               : "";
  }
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean() || value.is_array() || std::string(layout.key) == "quota_processors") {
    return condition_words(layout.key, value);
  }
  if (layout.number != nullptr && value.is_number()) return layout.number(value.get<double>());
  return value.dump();
}

std::string machine_table(const std::vector<side>& sides) {
  std::vector<machine_member_layout> layouts(std::begin(machine_members),
                                             std::end(machine_members));
  // Members beyond the known ones, in the order the documents give them,
  // their key in words.
  std::vector<std::string> other_labels;
  std::vector<const nlohmann::json*> documents;
  for (const side& one : sides) {
    documents.push_back(one.document);
    const nlohmann::json& machine = member(*one.document, "machine");
    if (!machine.is_object()) continue;
    for (const auto& item : machine.items()) {
      const bool known = std::any_of(layouts.begin(), layouts.end(),
                                     [&](const auto& layout) { return item.key() == layout.key; });
      if (!known &&
          std::find(other_labels.begin(), other_labels.end(), item.key()) == other_labels.end()) {
        other_labels.push_back(item.key());
      }
    }
  }
  std::vector<machine_row> rows;
  rows.reserve(layouts.size() + other_labels.size());
  for (const machine_member_layout& layout : layouts) {
    rows.push_back({layout.label, [layout](const nlohmann::json& document) {
                      return machine_value(member(document, "machine"), layout);
                    }});
  }
  for (const std::string& key : other_labels) {
    std::string label = key;
    std::replace(label.begin(), label.end(), '_', ' ');
    rows.push_back({label, [key](const nlohmann::json& document) {
                      return machine_value(member(document, "machine"), {key.c_str(), "", nullptr});
                    }});
  }
  // Rows no side records say nothing.
  const std::vector<std::vector<std::string>> cells = machine_cells(rows, documents);
  std::string html = "<table class=\"machine\"><tr><th></th>";
  for (const side& one : sides) html += "<th>" + escape_html(one.name) + "</th>";
  html += "</tr>";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const bool recorded =
        std::any_of(cells[i].begin(), cells[i].end(),
                    [](const std::string& cell) { return cell != "not recorded"; });
    if (!recorded) continue;
    html += "<tr><th>" + escape_html(rows[i].label) + "</th>";
    for (const std::string& cell : cells[i]) html += "<td>" + escape_html(cell) + "</td>";
    html += "</tr>";
  }
  return html + "</table>";
}

// A condition a phase's figures ran in, as the figures table shows it.
struct shown_condition {
  const char* key;
  const char* words;
  std::string (*format)(double);
};

const shown_condition phase_conditions[] = {
    {"other_load_percent", "other programs", format_percent},
    {"steal_percent", "steal", format_percent},
    {"frequency_mean_hz", "frequency", [](double hz) { return format_number(hz / 1e6) + " MHz"; }},
    {"thermal_throttle_events", "thermal throttling events", format_number},
    {"quota_throttled_seconds", "held back by the quota",
     [](double seconds) { return format_number(seconds) + " s"; }}};

// One condition's values in one phase (0-based) over a side's runs.
std::vector<double> condition_values(const std::vector<const nlohmann::json*>& runs,
                                     std::size_t phase, const char* key) {
  std::vector<double> values;
  for (const nlohmann::json* run : runs) {
    const nlohmann::json& phases = member(*run, "conditions");
    if (!phases.is_array() || phase >= phases.size()) continue;
    const nlohmann::json& value = member(phases[phase], key);
    if (value.is_number()) values.push_back(value.get<double>());
  }
  return values;
}

// Whether any phase of any of the runs reports the condition.
bool reported_anywhere(const std::vector<const nlohmann::json*>& runs,
                       const shown_condition& condition) {
  for (std::size_t phase = 0; phase < phase_count; ++phase) {
    if (!condition_values(runs, phase, condition.key).empty()) return true;
  }
  return false;
}

// What the machine reports in no phase, said once for the whole table.
std::string never_reported(const std::vector<const nlohmann::json*>& runs) {
  std::string list;
  for (const shown_condition& condition : phase_conditions) {
    if (!reported_anywhere(runs, condition)) {
      list += (list.empty() ? "" : ", ") + std::string(condition.words);
    }
  }
  return list;
}

// The conditions one phase (0-based) ran in over a side's runs: the
// medians of what the machine reported. A condition no phase reports is
// left to the table's note; one that only this phase lacks says so here.
std::string phase_conditions_text(const std::vector<const nlohmann::json*>& runs,
                                  std::size_t phase) {
  std::string text;
  for (const shown_condition& condition : phase_conditions) {
    if (!reported_anywhere(runs, condition)) continue;
    const std::vector<double> values = condition_values(runs, phase, condition.key);
    text +=
        (text.empty() ? "" : "; ") + std::string(condition.words) + " " +
        (values.empty() ? std::string("not reported") : condition.format(summarise(values).median));
  }
  return text;
}

std::string median_cell(const std::optional<summary>& figure) {
  return "<td class=\"num\">" + (figure ? format_number(figure->median) : std::string("-")) +
         "</td>";
}

// One figure's row over this side's finished runs, as the document's
// summary has it.
void append_figure_row(std::string& html, const char* label, const char* unit, const char* key,
                       double scale, const std::vector<side>& sides, int phase = -1) {
  std::optional<summary> here = summarise_report(sides[0].runs, key);
  if (here) {
    here->median *= scale;
    here->minimum *= scale;
    here->maximum *= scale;
  }
  html += "<tr><th>" + escape_html(label) + "</th><td>" + escape_html(unit) + "</td>" +
          median_cell(here);
  html += "<td class=\"num\">" + (here ? format_number(here->minimum) : std::string("-")) +
          "</td><td class=\"num\">" + (here ? format_number(here->maximum) : std::string("-")) +
          "</td><td class=\"num\">" +
          (here && here->has_variation ? format_percent(here->variation_percent) : "-") + "</td>";
  html +=
      "<td>" +
      escape_html(phase >= 0 ? phase_conditions_text(sides[0].runs, static_cast<std::size_t>(phase))
                             : std::string()) +
      "</td></tr>";
}

std::string figures_table(const std::vector<side>& sides) {
  std::string html =
      "<table class=\"figures\"><tr><th>figure</th><th>unit</th><th>median</th><th>lowest</th>"
      "<th>highest</th><th>variation</th>";
  html += "<th>conditions of its phase (medians over the runs)</th></tr>";
  for (const bool scores : {true, false}) {
    for (const report_figure& figure : report_figures) {
      if ((figure.unit[0] == '\0') != scores) continue;
      // The five measurements are the five phases, in order.
      const int phase = scores ? -1 : static_cast<int>(&figure - report_figures.data());
      append_figure_row(html, figure.label, scores ? "points" : figure.unit, figure.key, 1, sides,
                        phase);
    }
  }
  append_figure_row(html, "processors", "", "threads_used", 1, sides);
  append_figure_row(html, "run duration", "s", "duration_ms", 1e-3, sides);
  return html + "</table>";
}

// The text beside a bar: the median, and with several runs their range.
std::string bar_text(const std::optional<summary>& values, std::string (*format)(double)) {
  if (!values) return "not measured";
  std::string text = format(values->median);
  if (values->count > 1) {
    text += " (" + format(values->minimum) + " to " + format(values->maximum) + ")";
  }
  return text;
}

chart_bar make_bar(const side& one, std::vector<double> values, std::string (*format)(double),
                   std::vector<bool> disturbed = {}) {
  chart_bar bar;
  bar.label = one.name;
  bar.hatched = one.hatched;
  std::optional<summary> summarised;
  if (!values.empty()) summarised = summarise(values);
  if (summarised) bar.value = summarised->median;
  bar.value_text = bar_text(summarised, format);
  const auto disturbed_count =
      static_cast<std::size_t>(std::count(disturbed.begin(), disturbed.end(), true));
  if (disturbed_count > 0) bar.value_text += ", " + std::to_string(disturbed_count) + " disturbed";
  // A disturbed run is marked even when it is the only one.
  if (values.size() > 1 || disturbed_count > 0) {
    bar.points = std::move(values);
    bar.disturbed = std::move(disturbed);
  }
  return bar;
}

// One report member of each run that has it, with whether that run was
// disturbed.
std::vector<double> values_and_marks(const std::vector<const nlohmann::json*>& runs,
                                     const char* key, std::vector<bool>& disturbed) {
  std::vector<double> values;
  for (const nlohmann::json* run : runs) {
    const std::vector<double> value = report_values({run}, key);
    if (value.empty()) continue;
    values.push_back(value[0]);
    disturbed.push_back(!run_is_clean(*run));
  }
  return values;
}

std::string figure_block(const std::string& id, const std::string& caption,
                         const bar_chart& chart) {
  return "<figure data-figure=\"" + escape_html(id) + "\"><figcaption>" + escape_html(caption) +
         "</figcaption>" + render_svg(chart) + "</figure>";
}

std::string figure_chart(const report_figure& figure, const std::vector<side>& sides) {
  const bool score = figure.unit[0] == '\0';
  bar_chart chart;
  chart.id = figure.key;
  std::string caption = figure.label;
  caption[0] = static_cast<char>(caption[0] - 'a' + 'A');
  caption += score ? " (points; the reference machine scores 1000)"
                   : std::string(" (") + figure.unit + ")";
  chart.title = caption;
  chart_group group;
  for (const side& one : sides) {
    std::vector<bool> disturbed;
    std::vector<double> values = values_and_marks(one.runs, figure.key, disturbed);
    group.bars.push_back(make_bar(one, std::move(values), format_number, std::move(disturbed)));
  }
  chart.groups.push_back(std::move(group));
  if (score) {
    chart.marker = 1000;
    chart.marker_label = "reference 1000";
  }
  return figure_block(figure.key, caption, chart);
}

std::string other_load_chart(const std::vector<side>& sides) {
  bar_chart chart;
  chart.id = "other_load_percent";
  chart.title = "Share of the processors that other programs used, per phase (percent)";
  for (std::size_t phase = 0; phase < phase_count; ++phase) {
    chart_group group;
    group.label = "phase " + std::to_string(phase + 1) + ": " + report_figures[phase].label;
    for (const side& one : sides) {
      std::vector<double> shares;
      std::vector<bool> disturbed;
      for (const nlohmann::json* run : one.runs) {
        const std::optional<double> share = other_load_percent(*run, phase);
        if (!share) continue;
        shares.push_back(*share);
        disturbed.push_back(!run_is_clean(*run));
      }
      group.bars.push_back(make_bar(one, std::move(shares), format_percent, std::move(disturbed)));
    }
    chart.groups.push_back(std::move(group));
  }
  chart.marker = 10;
  chart.marker_label = "warning above 10%";
  return figure_block(chart.id, chart.title, chart);
}

// The comparison with the baseline as the document records it: the
// figures over the clean finished runs of each side, each ratio beside its
// own interval and verdict.
std::string comparison_section(const nlohmann::json& compared) {
  auto count = [](const nlohmann::json& object, const char* key) {
    const nlohmann::json& value = member(object, key);
    return value.is_number_unsigned() ? value.get<std::size_t>() : std::size_t{0};
  };
  auto runs_text = [&](const nlohmann::json& side, const char* where) {
    const std::size_t compared_runs = count(side, "compared_runs");
    const std::size_t finished = count(side, "finished_runs");
    std::string text = std::to_string(compared_runs) + " " + where;
    if (finished > compared_runs) {
      text += " (" + std::to_string(finished - compared_runs) + " disturbed left out)";
    }
    return text;
  };
  auto number_or_dash = [](const nlohmann::json& value, const char* format) {
    return value.is_number() ? printed(format, value.get<double>()) : std::string("-");
  };
  auto median_text = [](const nlohmann::json& value) {
    return value.is_number() ? format_number(value.get<double>()) : std::string("-");
  };
  std::string html =
      "\n<section><h2>Comparison with the baseline</h2><p class=\"note\">Over the clean "
      "finished runs: " +
      runs_text(member(compared, "baseline"), "there") + ", " + runs_text(compared, "here") +
      ". The ratio is the estimate of this machine over the baseline whose 95% interval is "
      "beside it: " +
      escape_html(text_member(compared, "method")) + ".";
  const nlohmann::json& differences = member(compared, "differences");
  if (differences.is_array() && !differences.empty()) {
    html += " Not like for like:";
    for (const nlohmann::json& difference : differences) {
      if (difference.is_string()) html += " " + escape_html(difference.get<std::string>()) + ";";
    }
  } else {
    const nlohmann::json& not_recorded = member(compared, "not_recorded");
    html += std::string(" The two sides are like for like") +
            (not_recorded.is_array() && !not_recorded.empty() ? " as far as both record." : ".");
  }
  html +=
      "</p><table class=\"comparison\"><tr><th>figure</th><th>baseline median</th>"
      "<th>median here</th><th>ratio</th><th>95% interval</th><th>verdict</th></tr>";
  const nlohmann::json& figures = member(compared, "figures");
  for (const report_figure& figure : report_figures) {
    const nlohmann::json& entry = member(figures, figure.key);
    const std::string note = text_member(entry, "note");
    const nlohmann::json& low = member(entry, "interval_low");
    const nlohmann::json& high = member(entry, "interval_high");
    html += "<tr data-figure=\"" + escape_html(figure.key) + "\"><th>" + escape_html(figure.label) +
            "</th><td class=\"num\">" + median_text(member(entry, "baseline_median")) +
            "</td><td class=\"num\">" + median_text(member(entry, "median")) +
            "</td><td class=\"num\">" + number_or_dash(member(entry, "ratio"), "%.3f") +
            "</td><td class=\"num\">" +
            (low.is_number() && high.is_number()
                 ? number_or_dash(low, "%.3f") + " to " + number_or_dash(high, "%.3f")
                 : std::string("-")) +
            "</td><td>" + escape_html(text_member(entry, "verdict")) +
            (note.empty() ? std::string() : " (" + escape_html(note) + ")") + "</td></tr>";
  }
  return html + "</table></section>";
}

std::string runs_table(const nlohmann::json& document) {
  std::string html =
      "<table class=\"runs\"><tr><th>run</th><th>started</th><th>ended</th>"
      "<th>outcome</th>";
  for (const report_figure& figure : report_figures) {
    html += "<th>" + escape_html(figure.label) + "</th>";
  }
  html += "<th>largest other load</th><th>verdict</th></tr>";
  const nlohmann::json& runs = member(document, "runs");
  if (!runs.is_array()) return html + "</table>";
  int number = 0;
  for (const nlohmann::json& run : runs) {
    html += "<tr><td class=\"num\">" + std::to_string(++number) + "</td><td class=\"time\">" +
            escape_html(text_member(run, "started_at")) + "</td><td class=\"time\">" +
            escape_html(text_member(run, "ended_at")) + "</td><td>" +
            (is_cancelled(run) ? "cancelled" : "finished") + "</td>";
    const std::vector<const nlohmann::json*> one{&run};
    for (const report_figure& figure : report_figures) {
      const std::vector<double> value = report_values(one, figure.key);
      html += "<td class=\"num\">" + (value.empty() ? "-" : format_number(value[0])) + "</td>";
    }
    const std::optional<double> share = largest_other_load_percent(run);
    html += "<td class=\"num\">" + (share ? format_percent(*share) : "not measured") + "</td>";
    const nlohmann::json& verdict = member(run, "verdict");
    if (!member(verdict, "clean").is_boolean()) {
      html += "<td>not recorded</td></tr>";
    } else if (verdict["clean"].get<bool>()) {
      html += "<td>clean</td></tr>";
    } else {
      std::string reasons;
      for (const nlohmann::json& reason : member(verdict, "reasons")) {
        if (reason.is_string())
          reasons += (reasons.empty() ? "" : "; ") + reason.get<std::string>();
      }
      html += "<td class=\"disturbed\">disturbed: " + escape_html(reasons) + "</td></tr>";
    }
  }
  return html + "</table>";
}

}  // namespace

std::string format_html(const nlohmann::json& document, const nlohmann::json* baseline) {
  std::vector<side> sides{{"this machine", &document, finished_runs(document), false}};
  if (baseline != nullptr) sides.push_back({"baseline", baseline, finished_runs(*baseline), true});

  const std::string cpu = text_member(member(document, "machine"), "cpu_model");
  std::string html =
      page_head("quorvane results" + (cpu.empty() ? std::string() : ": " + cpu), page_style) +
      "<h1>quorvane results</h1>";

  const nlohmann::json& all_runs = member(document, "runs");
  const std::size_t run_count = all_runs.is_array() ? all_runs.size() : 0;
  html += "<p class=\"meta\">Started " + escape_html(text_member(document, "started_at")) +
          "; host " + escape_html(text_member(document, "host_version")) + ", library " +
          escape_html(text_member(document, "library_version")) + "; " +
          std::to_string(sides[0].runs.size()) + " of " + std::to_string(run_count) +
          " runs finished.</p>";
  if (baseline != nullptr) {
    html += "<p class=\"meta\">Baseline: " + std::to_string(sides[1].runs.size()) +
            " finished runs" +
            (text_member(*baseline, "started_at").empty()
                 ? std::string()
                 : ", started " + escape_html(text_member(*baseline, "started_at"))) +
            ".</p>";
  }

  html += "\n<section><h2>Machine</h2>" + machine_table(sides) + "</section>";
  html +=
      "\n<section><h2>Figures</h2><p class=\"note\">Medians over the finished runs; "
      "the variation is the coefficient of variation.";
  const std::string unreported = never_reported(sides[0].runs);
  if (!unreported.empty()) {
    html += " This machine does not report, in any phase: " + escape_html(unreported) + ".";
  }
  html += "</p>" + figures_table(sides) + "</section>";
  if (baseline != nullptr) {
    // The document's own comparison, the one the terminal printed; a
    // document written without one gets it computed here.
    const nlohmann::json& recorded = member(document, "comparison");
    html += comparison_section(
        recorded.is_object()
            ? recorded
            : comparison_json(compare_documents(*baseline, document, std::string()), *baseline));
  }

  html +=
      "\n<section><h2>Charts</h2><p class=\"note\">Each bar is a median over the finished "
      "runs, disturbed ones included, its value written beside it with the lowest and highest "
      "run in brackets.";
  if (baseline != nullptr) {
    html +=
        " The comparison above leaves the disturbed runs out. Solid bars: this machine; hatched "
        "bars: the baseline.";
  }
  html +=
      " Circles: the finished runs one by one; squares: disturbed runs. Dashed line: the reference "
      "score of 1000, or "
      "the 10% above which a phase's figure is flagged.</p><div class=\"charts\">";
  for (const bool scores : {true, false}) {
    for (const report_figure& figure : report_figures) {
      if ((figure.unit[0] == '\0') == scores) html += "\n" + figure_chart(figure, sides);
    }
  }
  html += "\n" + other_load_chart(sides) + "</div></section>";
  html += "\n<section><h2>Runs</h2>" + runs_table(document) + "</section>";
  html += page_end;
  return html;
}

}  // namespace quorvane::host
