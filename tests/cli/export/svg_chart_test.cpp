// The bar chart's axis: round ticks, and a finite axis whatever the values.
#include "export/svg_chart.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace quorvane::host {
namespace {

std::vector<std::string> tick_labels(const std::string& svg) {
  std::vector<std::string> labels;
  const std::string open = "class=\"tick\">";
  for (std::size_t at = svg.find(open); at != std::string::npos; at = svg.find(open, at)) {
    at += open.size();
    labels.push_back(svg.substr(at, svg.find('<', at) - at));
  }
  return labels;
}

std::string chart_of(double value) {
  bar_chart chart;
  chart.id = "figure";
  chart.title = "figure";
  chart.groups.push_back({"", {{"this machine", value, {value}, "value"}}});
  return render_svg(chart);
}

TEST(SvgChart, AxisTicksAreRoundAndEndAtOrAboveTheLargestValue) {
  const double infinity = std::numeric_limits<double>::infinity();
  const struct {
    double largest;
    std::vector<std::string> ticks;
  } cases[] = {
      {100, {"0", "25", "50", "75", "100"}},  // exactly a round end
      {80, {"0", "20", "40", "60", "80"}},
      {101, {"0", "50", "100", "150"}},
      {0, {"0", "0.25"}},
      {1.7e308, {"0", "2.5e+299", "5e+299", "7.5e+299", "1e+300"}},  // drawn at the axis end
      {infinity, {"0", "0.25"}},
      {std::numeric_limits<double>::quiet_NaN(), {"0", "0.25"}},
  };
  for (const auto& c : cases) {
    const std::string svg = chart_of(c.largest);
    EXPECT_EQ(tick_labels(svg), c.ticks) << c.largest;
    EXPECT_EQ(svg.find("inf"), std::string::npos) << c.largest;
    EXPECT_EQ(svg.find("nan"), std::string::npos) << c.largest;
  }
}

}  // namespace
}  // namespace quorvane::host
