#include "report_values.h"

#include <nlohmann/json.hpp>

namespace qbench {

report_values parse_report(const std::string& json) {
  report_values values;
  const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return values;
  const char* members[] = {"int_single_mops", "int_multi_mops",     "fp_single_mflops",
                           "fp_multi_mflops", "mem_bandwidth_mbps", "threads_used",
                           "duration_ms"};
  for (const char* member : members) {
    if (!parsed.contains(member) || !parsed[member].is_number()) return values;
  }
  values.int_single_mops = parsed["int_single_mops"].get<double>();
  values.int_multi_mops = parsed["int_multi_mops"].get<double>();
  values.fp_single_mflops = parsed["fp_single_mflops"].get<double>();
  values.fp_multi_mflops = parsed["fp_multi_mflops"].get<double>();
  values.mem_bandwidth_mbps = parsed["mem_bandwidth_mbps"].get<double>();
  values.threads_used = parsed["threads_used"].get<int>();
  values.duration_ms = parsed["duration_ms"].get<double>();
  values.ok = true;
  return values;
}

}  // namespace qbench
