// Runs the history's analysis and writes its page for the Python tests:
//   history_driver changes < values      the analysis as JSON on stdout
//   history_driver page FILE < series    the trend page of series given as
//                                        JSON; their analyses on stdout
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "history/change_points.h"
#include "history/trend_page.h"

using namespace quorvane::host;

static nlohmann::json analysis_json(const change_analysis& analysis) {
  nlohmann::json levels = nlohmann::json::array();
  nlohmann::json changes = nlohmann::json::array();
  for (const history_level& level : analysis.levels) {
    levels.push_back({level.first, level.end, level.value});
  }
  for (const change_point& c : analysis.changes) {
    changes.push_back({{"index", c.index},
                       {"before", c.before},
                       {"after", c.after},
                       {"change", c.change},
                       {"low", c.low},
                       {"high", c.high},
                       {"p_value", c.p_value}});
  }
  return {{"levels", levels}, {"changes", changes}};
}

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "changes" && argc == 2) {
    std::vector<double> values;  // strtod reads "nan" and "inf" too
    for (std::istream_iterator<std::string> word(std::cin), end; word != end; ++word) {
      values.push_back(std::strtod(word->c_str(), nullptr));
    }
    std::cout << analysis_json(find_change_points(values)).dump() << "\n";
    return 0;
  }
  if (mode != "page" || argc != 3) {
    std::cerr << "usage: history_driver changes < values | history_driver page FILE < series\n";
    return 2;
  }
  const nlohmann::json input = nlohmann::json::parse(std::cin);
  trend_page page;
  page.subtitle = input.at("subtitle");
  nlohmann::json analyses = nlohmann::json::array();
  for (const nlohmann::json& item : input.at("series")) {
    trend_series& series = page.series.emplace_back();
    series.machine = item.at("machine");
    series.figure = item.at("figure");
    series.unit = item.at("unit");
    std::vector<double> clean;
    for (const nlohmann::json& run : item.at("runs")) {
      series.runs.push_back({run.at("run"), run.at("time"), run.at("value"), run.at("clean")});
      if (series.runs.back().clean) clean.push_back(series.runs.back().value);
    }
    for (const nlohmann::json& event : item.at("events")) {
      series.events.push_back({event.at("run"), event.at("text")});
    }
    series.analysis = find_change_points(clean);
    analyses.push_back(analysis_json(series.analysis));
  }
  std::ofstream(argv[2], std::ios::binary) << render_trend_page(page);
  std::cout << analyses.dump() << "\n";
  return 0;
}
