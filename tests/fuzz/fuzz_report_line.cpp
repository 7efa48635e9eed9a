// The report line reader: any line is read or refused with a reason, and a
// line it reads has finite figures.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "results/run_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<quorvane::host::run_report> report =
      quorvane::host::parse_report(line, error);
  if (!report) {
    if (error.empty()) std::abort();
    return 0;
  }
  for (const quorvane::host::report_figure& figure : quorvane::host::report_figures) {
    if (!std::isfinite((*report).*figure.value)) std::abort();
  }
  return 0;
}
