// The figures of the library's one-line JSON report.
#ifndef QUORVANE_BENCH_REPORT_VALUES_H
#define QUORVANE_BENCH_REPORT_VALUES_H

#include <string>

namespace qbench {

struct report_values {
  bool ok = false;  // the text parsed and held every member read here
  double int_single_mops = 0;
  double int_multi_mops = 0;
  double fp_single_mflops = 0;
  double fp_multi_mflops = 0;
  double mem_bandwidth_mbps = 0;
  int threads_used = 0;
  double duration_ms = 0;
};

report_values parse_report(const std::string& json);

}  // namespace qbench

#endif  // QUORVANE_BENCH_REPORT_VALUES_H
