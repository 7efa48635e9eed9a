// Levels, change points and the system's changes, as text and exports.
#include "history/history_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "number_text.h"

namespace quorvane::host {
namespace {

// A system change this close to a change point (in clean runs either side)
// is named beside it: a step rarely shows at the very first run after it.
constexpr std::size_t event_reach_runs = 5;

std::string text_of(const nlohmann::json& machine, const char* key) {
  const auto found = machine.find(key);
  return found != machine.end() && found->is_string() ? found->get<std::string>() : "";
}

std::string machine_name(const stored_machine& machine) {
  std::string name;
  for (const char* key : {"cpu_model", "os", "kernel"}) {
    const std::string part = text_of(machine.machine, key);
    if (!part.empty()) name += (name.empty() ? "" : ", ") + part;
  }
  return name.empty() ? "unknown machine" : name;
}

bool matches(const stored_machine& machine, const std::string& wanted) {
  if (wanted.empty()) return true;
  if (machine.key.find(wanted) != std::string::npos) return true;
  return machine_name(machine).find(wanted) != std::string::npos;
}

std::string date_of(const std::string& timestamp) { return timestamp.substr(0, 10); }

std::string short_time(const std::string& timestamp) {
  // "2026-11-03T04:00:00Z" as "2026-11-03 04:00".
  if (timestamp.size() < 16) return timestamp;
  return timestamp.substr(0, 10) + " " + timestamp.substr(11, 5);
}

// The events within reach of change c of a figure.
std::vector<const stored_event*> events_near(const figure_history& figure, const change_point& c,
                                             const std::vector<stored_event>& events) {
  std::vector<const stored_event*> near;
  const std::size_t count = figure.clean.size();
  const int from =
      figure.clean[c.index > event_reach_runs ? c.index - event_reach_runs : 0]->number;
  const int to = figure.clean[std::min(count - 1, c.index + event_reach_runs)]->number;
  for (const stored_event& event : events) {
    if (event.run >= from && event.run <= to) near.push_back(&event);
  }
  return near;
}

std::string event_text(const stored_event& event) {
  // "system changed: Linux 6.1 → 6.6" as "system changed at run 40: Linux 6.1 → 6.6".
  const std::string head = "system changed";
  const std::string rest =
      event.text.rfind(head, 0) == 0 ? event.text.substr(head.size()) : ": " + event.text;
  return head + " at run " + std::to_string(event.run) + rest;
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string number_or_empty(double value) {
  return std::isfinite(value) ? printed("%.17g", value) : "";
}

}  // namespace

std::vector<machine_history> analyse_history(const std::vector<stored_machine>& machines,
                                             const history_filter& filter) {
  std::vector<machine_history> analysed;
  for (const stored_machine& machine : machines) {
    if (!matches(machine, filter.machine)) continue;
    machine_history history{&machine, machine_name(machine), {}};
    for (std::size_t f = 0; f < history_figures.size(); ++f) {
      if (filter.figure != nullptr && filter.figure != &history_figures[f]) continue;
      figure_history figure;
      figure.figure = &history_figures[f];
      std::vector<double> values;
      for (const stored_run& run : machine.runs) {
        if (run.cancelled || !std::isfinite(run.values[f])) continue;
        figure.runs.push_back(&run);
        if (!run.clean) continue;
        figure.clean.push_back(&run);
        values.push_back(run.values[f]);
      }
      if (figure.runs.empty()) continue;
      figure.analysis = find_change_points(values);
      history.figures.push_back(std::move(figure));
    }
    analysed.push_back(std::move(history));
  }
  return analysed;
}

std::string history_text(const std::vector<machine_history>& machines) {
  std::string text;
  if (machines.empty()) return "No machine in the history matches.\n";
  for (const machine_history& history : machines) {
    const stored_machine& machine = *history.machine;
    std::size_t clean = 0;
    for (const stored_run& run : machine.runs) clean += run.clean && !run.cancelled ? 1 : 0;
    text += (text.empty() ? "" : "\n") + std::string("Machine ") + machine.key + "\n  " +
            history.name + "\n  " + counted(machine.runs.size(), "run") + ", " +
            std::to_string(clean) + " clean and finished";
    if (!machine.runs.empty()) {
      text += ", " + date_of(machine.runs.front().started_at) + " to " +
              date_of(machine.runs.back().started_at);
    }
    text += "\n";
    std::vector<const stored_event*> named;
    for (const figure_history& figure : history.figures) {
      const std::string label = figure.figure->label;
      const std::string unit =
          figure.figure->unit[0] != '\0' ? std::string(" ") + figure.figure->unit : "";
      if (figure.analysis.levels.empty()) {
        text += "  " + label + ": no clean run yet\n";
        continue;
      }
      const history_level& current = figure.analysis.levels.back();
      text.append("  ").append(label).append(": ").append(level_text(current.value)).append(unit);
      text.append(" since run ").append(std::to_string(figure.clean[current.first]->number));
      text.append(" (")
          .append(std::to_string(current.end - current.first))
          .append(" clean runs)\n");
      for (const change_point& change : figure.analysis.changes) {
        const stored_run& first = *figure.clean[change.index];
        std::string line = "    " + label + ": " + change_text(change) + " from run " +
                           std::to_string(first.number) + ", " + date_of(first.started_at);
        for (const stored_event* event : events_near(figure, change, machine.events)) {
          line += "; " + event_text(*event);
          named.push_back(event);
        }
        text += line + "\n";
      }
    }
    for (const stored_event& event : machine.events) {
      if (std::find(named.begin(), named.end(), &event) != named.end()) continue;
      text += "  " + event_text(event) + ", " + date_of(event.at) + "\n";
    }
  }
  return text;
}

nlohmann::json history_json(const std::vector<machine_history>& machines) {
  nlohmann::json list = nlohmann::json::array();
  for (const machine_history& history : machines) {
    const stored_machine& machine = *history.machine;
    nlohmann::json runs = nlohmann::json::array();
    for (const stored_run& run : machine.runs) {
      nlohmann::json values = nlohmann::json::object();
      for (std::size_t f = 0; f < history_figures.size(); ++f) {
        if (std::isfinite(run.values[f])) values[history_figures[f].key] = run.values[f];
      }
      runs.push_back({{"run", run.number},
                      {"started_at", run.started_at},
                      {"cancelled", run.cancelled},
                      {"clean", run.clean},
                      {"figures", values}});
    }
    nlohmann::json events = nlohmann::json::array();
    for (const stored_event& event : machine.events) {
      events.push_back({{"run", event.run}, {"at", event.at}, {"text", event.text}});
    }
    nlohmann::json figures = nlohmann::json::array();
    for (const figure_history& figure : history.figures) {
      nlohmann::json levels = nlohmann::json::array();
      for (const history_level& level : figure.analysis.levels) {
        levels.push_back({{"first_run", figure.clean[level.first]->number},
                          {"last_run", figure.clean[level.end - 1]->number},
                          {"clean_runs", level.end - level.first},
                          {"value", level.value}});
      }
      nlohmann::json changes = nlohmann::json::array();
      for (const change_point& change : figure.analysis.changes) {
        const stored_run& first = *figure.clean[change.index];
        changes.push_back({{"run", first.number},
                           {"date", date_of(first.started_at)},
                           {"before", change.before},
                           {"after", change.after},
                           {"change", change.change},
                           {"low", change.low},
                           {"high", change.high},
                           {"p_value", change.p_value},
                           {"text", change_text(change)}});
      }
      figures.push_back({{"figure", figure.figure->key},
                         {"label", figure.figure->label},
                         {"levels", levels},
                         {"changes", changes}});
    }
    list.push_back({{"machine", machine.key},
                    {"description", machine.machine},
                    {"runs", runs},
                    {"events", events},
                    {"figures", figures}});
  }
  return {{"method", change_point_method}, {"machines", list}};
}

std::string history_csv(const std::vector<machine_history>& machines) {
  std::string text = "machine,run,started_at,cancelled,clean";
  for (const history_figure& figure : history_figures) text += std::string(",") + figure.key;
  text += "\n";
  for (const machine_history& history : machines) {
    for (const stored_run& run : history.machine->runs) {
      text += csv_field(history.machine->key) + "," + std::to_string(run.number) + "," +
              csv_field(run.started_at) + "," + (run.cancelled ? "true" : "false") + "," +
              (run.clean ? "true" : "false");
      for (const double value : run.values) text += "," + number_or_empty(value);
      text += "\n";
    }
  }
  return text;
}

trend_page history_trend_page(const std::vector<machine_history>& machines,
                              const std::string& subtitle) {
  trend_page page;
  page.subtitle = subtitle;
  for (const machine_history& history : machines) {
    for (const figure_history& figure : history.figures) {
      trend_series series;
      series.machine = history.name + " (" + history.machine->key + ")";
      series.figure = figure.figure->label;
      series.unit = figure.figure->unit;
      const std::size_t f = static_cast<std::size_t>(figure.figure - history_figures.data());
      for (const stored_run* run : figure.runs) {
        series.runs.push_back(
            {run->number, short_time(run->started_at), run->values[f], run->clean});
      }
      series.analysis = figure.analysis;
      for (const stored_event& event : history.machine->events) {
        series.events.push_back({event.run, event.text});
      }
      page.series.push_back(std::move(series));
    }
  }
  return page;
}

std::vector<std::string> regressions(const std::vector<machine_history>& machines, double percent) {
  std::vector<std::string> found;
  for (const machine_history& history : machines) {
    for (const figure_history& figure : history.figures) {
      const std::vector<history_level>& levels = figure.analysis.levels;
      if (levels.size() < 2) continue;
      const double before = levels[levels.size() - 2].value;
      const double after = levels.back().value;
      const double drop = (1.0 - after / before) * 100.0;
      if (!(drop >= percent)) continue;
      found.push_back("regression on " + history.machine->key + ": " + figure.figure->label +
                      " fell " + printed("%.1f", drop) + "% from " + level_text(before) + " to " +
                      level_text(after) + " (at least " + printed("%g", percent) + "% fails)");
    }
  }
  return found;
}

}  // namespace quorvane::host
