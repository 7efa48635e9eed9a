// A driver of the history's analysis and page for the Python tests, which
// check them against an independent reimplementation and in Chromium.
//
//   history_driver changes < values      one analysis as JSON on stdout
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

namespace {

using namespace quorvane::host;

nlohmann::json analysis_json(const change_analysis& analysis) {
  nlohmann::json result = {{"levels", nlohmann::json::array()},
                           {"changes", nlohmann::json::array()}};
  for (const history_level& level : analysis.levels) {
    result["levels"].push_back({level.first, level.end, level.value});
  }
  for (const change_point& change : analysis.changes) {
    result["changes"].push_back({{"index", change.index},
                                 {"before", change.before},
                                 {"after", change.after},
                                 {"change", change.change},
                                 {"low", change.low},
                                 {"high", change.high},
                                 {"p_value", change.p_value},
                                 {"text", change_text(change)}});
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "changes" && argc == 2) {
    // strtod reads "nan" and "inf" too, which the analysis must refuse.
    std::vector<double> values;
    for (std::istream_iterator<std::string> word(std::cin), end; word != end; ++word) {
      values.push_back(std::strtod(word->c_str(), nullptr));
    }
    std::cout << analysis_json(find_change_points(values)).dump() << "\n";
    return 0;
  }
  if (mode == "page" && argc == 3) {
    const nlohmann::json input = nlohmann::json::parse(std::cin);
    trend_page page;
    page.subtitle = input.at("subtitle").get<std::string>();
    nlohmann::json analyses = nlohmann::json::array();
    for (const nlohmann::json& item : input.at("series")) {
      trend_series series;
      series.machine = item.at("machine").get<std::string>();
      series.figure = item.at("figure").get<std::string>();
      series.unit = item.at("unit").get<std::string>();
      std::vector<double> clean;
      for (const nlohmann::json& run : item.at("runs")) {
        series.runs.push_back({run.at("run").get<std::int64_t>(), run.at("time").get<std::string>(),
                               run.at("value").get<double>(), run.at("clean").get<bool>()});
        if (series.runs.back().clean) clean.push_back(series.runs.back().value);
      }
      for (const nlohmann::json& event : item.at("events")) {
        series.events.push_back(
            {event.at("run").get<std::int64_t>(), event.at("text").get<std::string>()});
      }
      series.analysis = find_change_points(clean);
      analyses.push_back(analysis_json(series.analysis));
      page.series.push_back(std::move(series));
    }
    std::ofstream(argv[2], std::ios::binary) << render_trend_page(page);
    std::cout << analyses.dump() << "\n";
    return 0;
  }
  std::cerr << "usage: history_driver changes < values | history_driver page FILE < series\n";
  return 2;
}
