#include "child_modes.h"

#include <cstdio>
#include <memory>

#include "child_output.h"
#include "copy_costs.h"
#include "library_observer.h"
#include "run/library_api.h"
#include "slice_probe.h"
#include "standalone_loop.h"

namespace qbench {
namespace {

using quorvane::host::loaded_library;

// The library with its eight exports, or nullptr after saying why on
// standard error.
std::unique_ptr<loaded_library> load_or_report(const std::string& path) {
  std::string error;
  std::unique_ptr<loaded_library> library = quorvane::host::load_library(path, error);
  if (library == nullptr) std::fprintf(stderr, "%s\n", error.c_str());
  return library;
}

void emit_loop(const char* prefix, const loop_result& loop, double rate_in_units) {
  const std::string p(prefix);
  const double seconds = static_cast<double>(loop.elapsed_ms) / 1000.0;
  emit((p + "_rate").c_str(), rate_in_units);
  emit((p + "_iterations").c_str(), static_cast<double>(loop.iterations));
  emit((p + "_elapsed_ms").c_str(), static_cast<double>(loop.elapsed_ms));
  // Milliseconds one iteration takes: what a stop request waits for at most.
  emit((p + "_iteration_ms").c_str(),
       loop.iterations == 0 ? 0.0 : 1000.0 * seconds / static_cast<double>(loop.iterations));
  // The share of a processor the worker got; below 1 means other processes
  // took some of it.
  emit((p + "_cpu_share").c_str(), seconds == 0.0 ? 0.0 : loop.worker_cpu_seconds / seconds);
  emit((p + "_fold").c_str(), static_cast<double>(loop.fold % 1000));
}

}  // namespace

int child_kernels(unsigned window_ms) {
  const loop_result integer = run_standalone(kernel_kind::int_mix, window_ms);
  emit_loop("int", integer, int_mops(integer.iterations_per_second()));
  const loop_result matrix = run_standalone(kernel_kind::matrix, window_ms);
  emit_loop("fp", matrix, fp_mflops(matrix.iterations_per_second()));
  // Each kernel's speed in four 250 ms slices: its steadiness on this
  // machine at this moment.
  const slice_spread int_slices = probe_slices(kernel_kind::int_mix, 4, 250);
  emit("int_slice_slowest", int_mops(int_slices.slowest));
  emit("int_slice_fastest", int_mops(int_slices.fastest));
  const slice_spread fp_slices = probe_slices(kernel_kind::matrix, 4, 250);
  emit("fp_slice_slowest", fp_mflops(fp_slices.slowest));
  emit("fp_slice_fastest", fp_mflops(fp_slices.fastest));
  const copy_costs copy = measure_copy_costs();
  if (copy.ok) {
    emit("copy_ms", copy.copy_ms);
    emit("release_ms", copy.release_ms);
  }
  return integer.iterations != 0 && matrix.iterations != 0 ? 0 : 1;
}

int child_run(const std::string& library_path) {
  const std::unique_ptr<loaded_library> library = load_or_report(library_path);
  if (library == nullptr) return 1;
  const library_api& api = library->api();
  emit("version", std::string(api.version()));
  const run_observation seen = observe_whole_run(api);
  emit("start_result", seen.start_result);
  emit("final_state", seen.final_state);
  emit("report", seen.report);
  emit("wall_ms", seen.wall_ms);
  emit("cpu_seconds", seen.cpu_seconds);
  emit("resident_before_kib", static_cast<double>(seen.resident_before_kib));
  emit("peak_resident_kib", static_cast<double>(seen.peak_resident_kib));
  for (int phase = 1; phase <= 5; ++phase) {
    const std::string prefix = "phase" + std::to_string(phase);
    emit((prefix + "_wall_ms").c_str(), seen.phase_wall_ms[phase]);
    emit((prefix + "_cpu_seconds").c_str(), seen.phase_cpu_seconds[phase]);
  }
  return seen.final_state == 2 ? 0 : 1;
}

int child_cancel(const std::string& library_path, int phase, int count) {
  const std::unique_ptr<loaded_library> library = load_or_report(library_path);
  if (library == nullptr) return 1;
  const library_api& api = library->api();
  // Offsets from 0.5 s to 3.5 s into the phase, plus an odd number of
  // milliseconds, so the cancels land at unrelated points of an iteration.
  for (int i = 0; i < count; ++i) {
    const unsigned offset =
        count == 1 ? 2000u
                   : 500u + static_cast<unsigned>(i) * 3000u / static_cast<unsigned>(count - 1) +
                         static_cast<unsigned>(i) * 7u;
    const cancel_observation seen = observe_cancel(api, phase, offset);
    if (seen.start_result != 0) {
      std::fprintf(stderr, "start refused: %s\n", api.last_error());
      return 1;
    }
    char line[160];
    std::snprintf(line, sizeof line, "%d %.3f %d %d %u", seen.phase_at_cancel, seen.latency_ms,
                  seen.final_state, seen.phase_after, offset);
    emit("cancel", std::string(line));
  }
  return 0;
}

}  // namespace qbench
