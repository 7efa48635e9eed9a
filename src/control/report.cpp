// The one-line JSON report of the results record.
#include <cstdio>

#include "control/run_state.h"
#include "platform/platform.h"
#include "quorvane/quorvane.h"

namespace quorvane {
namespace {

// Reference rates: each is worth 500 points.
constexpr double int_reference_mops = 550.0;
constexpr double fp_reference_mflops = 3000.0;
constexpr double points_per_reference = 500.0;

double score(double int_mops, double fp_mflops) {
  return (int_mops / int_reference_mops) * points_per_reference +
         (fp_mflops / fp_reference_mflops) * points_per_reference;
}

}  // namespace
}  // namespace quorvane

extern "C" QUORVANE_API const char* quorvane_results_json(void) {
  // The scores are computed and every value printed to nearest, an exact
  // half to even, in whatever environment the calling host thread runs;
  // its environment is back before the call returns.
  const auto host_environment = quorvane::platform::fp_enter_default();
  using quorvane::g_res;
  constexpr auto relaxed = std::memory_order_relaxed;
  const double int_single = g_res.int_single_mops.load(relaxed);
  const double int_multi = g_res.int_multi_mops.load(relaxed);
  const double fp_single = g_res.fp_single_mflops.load(relaxed);
  const double fp_multi = g_res.fp_multi_mflops.load(relaxed);
  const double mem = g_res.mem_bandwidth_mbps.load(relaxed);
  const int threads = g_res.threads_used.load(relaxed);
  const unsigned long long duration = g_res.duration_ms.load(relaxed);

  // snprintf cuts the text to the buffer and always ends it with a NUL.
  std::snprintf(quorvane::g_json, quorvane::json_size,
                "{\"score_single\":%.0f,\"score_multi\":%.0f,\"int_single_mops\":%.0f,"
                "\"int_multi_mops\":%.0f,\"fp_single_mflops\":%.0f,\"fp_multi_mflops\":%.0f,"
                "\"mem_bandwidth_mbps\":%.0f,\"threads_used\":%d,\"duration_ms\":%llu}",
                quorvane::score(int_single, fp_single), quorvane::score(int_multi, fp_multi),
                int_single, int_multi, fp_single, fp_multi, mem, threads, duration);
  quorvane::platform::fp_restore(host_environment);
  return quorvane::g_json;
}
