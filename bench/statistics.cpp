#include "statistics.h"

#include <algorithm>
#include <cmath>

namespace qbench {

summary summarize(std::vector<double> values) {
  summary result;
  result.count = static_cast<int>(values.size());
  if (values.empty()) return result;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  result.min = values.front();
  result.max = values.back();
  result.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
  double sum = 0;
  for (double value : values) sum += value;
  result.mean = sum / static_cast<double>(n);
  if (n >= 2 && result.mean != 0.0) {
    double squares = 0;
    for (double value : values) squares += (value - result.mean) * (value - result.mean);
    result.cv = std::sqrt(squares / static_cast<double>(n - 1)) / std::fabs(result.mean);
  }
  return result;
}

}  // namespace qbench
