// A host program meant to run under valgrind's memcheck: it loads the
// library, makes one run (cancelled in phase 3, or whole) and checks, with
// memcheck's own heap counts, that each matrix worker's three matrices exist
// while it works and are gone once its thread has ended, and that the
// process holds no more heap after the run than before it. Leaks at exit
// and invalid accesses are memcheck's to report (--error-exitcode).
//
// Usage: quorvane_memcheck cancelled|whole
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "heap_in_use.h"
#include "legal_values.h"
#include "library_path.h"
#include "loaded_library.h"
#include "process_stats.h"
#include "usable_processors.h"

namespace {

using std::chrono::milliseconds;

constexpr std::uint64_t matrix_set_bytes = 3 * 64 * 64 * sizeof(double);
constexpr std::uint64_t copy_block_bytes = std::uint64_t{64} * 1024 * 1024;
// What dead threads may still hold of the heap (the C library keeps their
// thread-local blocks with their cached stacks): far less than one matrix
// set, so a set kept past its thread's end cannot hide in it.
constexpr std::uint64_t heap_slack_bytes = matrix_set_bytes / 8;

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    ++failures;
    std::printf("FAILED: %s\n", what.c_str());
  }
}

std::uint64_t above(std::uint64_t value, std::uint64_t base) {
  return value > base ? value - base : 0;
}

// Heap held beyond the base that is not one of phase 5's two copy blocks.
std::uint64_t beyond_copy_blocks(std::uint64_t extra) {
  for (int block = 0; block < 2 && extra >= copy_block_bytes; ++block) extra -= copy_block_bytes;
  return extra;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "cancelled" && mode != "whole") {
    std::fprintf(stderr, "usage: %s cancelled|whole\n", argv[0]);
    return 2;
  }
  const bool counting = memcheck::under_memcheck();
  if (!counting) std::printf("not under memcheck: heap counts are skipped\n");

  loaded_library lib(quorvane_library_path);
  const int processors = usable_processors();
  const int threads_before = stress::baseline_thread_count();
  const std::uint64_t base = memcheck::heap_bytes_in_use();

  check(lib.start() == 0, "start refused");
  std::uint64_t most_in_phase_3 = 0;
  std::uint64_t most_in_phase_4 = 0;
  std::uint64_t most_beyond_blocks_in_phase_5 = 0;
  int phase_5_samples = 0;
  while (lib.state() == 1) {
    const int phase = lib.phase();
    if (phase == 3 || phase == 4) {
      const std::uint64_t extra = above(memcheck::heap_bytes_in_use(), base);
      std::uint64_t& most = phase == 3 ? most_in_phase_3 : most_in_phase_4;
      most = std::max(most, extra);
      // Cancelled mode: once the phase-3 worker holds its matrices, cancel
      // it in the middle of its work.
      if (mode == "cancelled" && phase == 3 && (!counting || extra >= matrix_set_bytes)) {
        lib.cancel();
      }
    } else if (phase == 5 && phase_5_samples < 3) {
      // Phase 4's workers have all been joined: their matrices are gone.
      ++phase_5_samples;
      most_beyond_blocks_in_phase_5 =
          std::max(most_beyond_blocks_in_phase_5,
                   beyond_copy_blocks(above(memcheck::heap_bytes_in_use(), base)));
    }
    std::this_thread::sleep_for(milliseconds(400));
  }
  const int final_state = lib.state();
  const int threads_after = stress::wait_for_thread_count(threads_before, std::chrono::seconds(30));
  const std::uint64_t after = above(memcheck::heap_bytes_in_use(), base);
  const std::string report = lib.results_json();

  std::printf("mode %s: final state %d, progress %d\n", mode.c_str(), final_state, lib.progress());
  std::printf("threads before %d, after %d\n", threads_before, threads_after);
  std::printf("report %s\n", report.c_str());
  if (counting) {
    std::printf(
        "heap beyond the start: phase 3 up to %llu bytes (%llu matrix sets), phase 4 up to %llu "
        "bytes (%llu matrix sets), phase 5 beyond the copy blocks up to %llu bytes (%d samples), "
        "after the run %llu bytes\n",
        static_cast<unsigned long long>(most_in_phase_3),
        static_cast<unsigned long long>(most_in_phase_3 / matrix_set_bytes),
        static_cast<unsigned long long>(most_in_phase_4),
        static_cast<unsigned long long>(most_in_phase_4 / matrix_set_bytes),
        static_cast<unsigned long long>(most_beyond_blocks_in_phase_5), phase_5_samples,
        static_cast<unsigned long long>(after));
  }

  check(threads_after == threads_before, "a thread of the library outlived its run");
  check(stress::report_problem(report, processors).empty(), "report " + report);
  if (mode == "whole") {
    check(final_state == 2, "whole run did not finish");
    check(lib.progress() == 100, "whole run did not reach progress 100");
  } else {
    check(final_state == 3, "cancelled run did not end cancelled");
    check(lib.progress() == 60, "cancel in phase 3 did not end the run after it");
  }
  if (counting) {
    check(most_in_phase_3 >= matrix_set_bytes, "no matrix set seen while phase 3 worked");
    check(after <= heap_slack_bytes, "heap held after the run: " + std::to_string(after));
    if (mode == "whole") {
      check(phase_5_samples > 0, "phase 5 never sampled");
      check(most_beyond_blocks_in_phase_5 <= heap_slack_bytes,
            "matrix sets outlived phase 4's workers: " +
                std::to_string(most_beyond_blocks_in_phase_5));
    }
  }
  lib.unload();
  std::printf("%s\n", failures == 0 ? "memcheck run: all checks passed" : "memcheck run: FAILED");
  return failures == 0 ? 0 : 1;
}
