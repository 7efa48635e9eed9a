// Summaries of repeated measurements.
#ifndef QUORVANE_BENCH_STATISTICS_H
#define QUORVANE_BENCH_STATISTICS_H

#include <vector>

namespace qbench {

struct summary {
  int count = 0;
  double mean = 0;
  double median = 0;
  double min = 0;
  double max = 0;
  // Sample standard deviation over the mean; 0 with fewer than two values
  // or a mean of 0.
  double cv = 0;
};

summary summarize(std::vector<double> values);

}  // namespace qbench

#endif  // QUORVANE_BENCH_STATISTICS_H
