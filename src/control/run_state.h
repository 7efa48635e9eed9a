// The library-wide run state and results record shared by the control
// interface, the report and the benchmark engine.
//
// Every variable here is constant-initialised to zero: loading the library
// runs none of its code. The four run-state words are atomic; the results
// record is a set of individually atomic fields, written by the run thread
// and read by the report.
#ifndef QUORVANE_CONTROL_RUN_STATE_H
#define QUORVANE_CONTROL_RUN_STATE_H

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace quorvane {

constexpr std::int32_t state_idle = 0;
constexpr std::int32_t state_running = 1;
constexpr std::int32_t state_finished = 2;
constexpr std::int32_t state_cancelled = 3;

// Results of the last run. Fields are read and written whole with relaxed
// ordering; the release store of the final g_state publishes them.
struct bench_results {
  std::atomic<double> int_single_mops;
  std::atomic<double> int_multi_mops;
  std::atomic<double> fp_single_mflops;
  std::atomic<double> fp_multi_mflops;
  std::atomic<double> mem_bandwidth_mbps;
  std::atomic<std::int32_t> threads_used;
  std::atomic<std::uint64_t> duration_ms;
};

extern std::atomic<std::int32_t> g_state;     // 0 idle .. 3 cancelled
extern std::atomic<std::int32_t> g_phase;     // 0 none, 1..5
extern std::atomic<std::int32_t> g_progress;  // 0, 2, 20, 40, 60, 80, 100
extern std::atomic<std::int32_t> g_cancel;    // 0 none, 1 requested
extern bench_results g_res;

constexpr std::size_t err_size = 256;
constexpr std::size_t json_size = 1024;
extern char g_err[err_size];
extern char g_json[json_size];

}  // namespace quorvane

#endif  // QUORVANE_CONTROL_RUN_STATE_H
