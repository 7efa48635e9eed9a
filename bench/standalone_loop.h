// The library's kernels run outside the library: the same compiled object
// code, called by one thread in a loop of the library worker's shape, timed
// the way the library times a phase. Its rate is what the library would
// reach if its own machinery cost nothing.
#ifndef QUORVANE_BENCH_STANDALONE_LOOP_H
#define QUORVANE_BENCH_STANDALONE_LOOP_H

#include <cstdint>

namespace qbench {

enum class kernel_kind { int_mix = 0, matrix = 1 };

struct loop_result {
  std::uint64_t iterations = 0;
  std::uint64_t elapsed_ms = 0;   // from after the thread's creation to after its join
  double worker_cpu_seconds = 0;  // CPU time the worker thread got
  std::uint64_t fold = 0;         // the worker's result, kept so no work is dead
  double iterations_per_second() const;
};

// Runs one worker of the kind for window_ms (the runner sleeps in 20 ms
// steps, as the library's does) and returns what it did.
loop_result run_standalone(kernel_kind kind, std::uint64_t window_ms);

// The library's units: millions of mixing steps, or millions of
// floating-point operations, per second.
double int_mops(double iterations_per_second);
double fp_mflops(double iterations_per_second);

}  // namespace qbench

#endif  // QUORVANE_BENCH_STANDALONE_LOOP_H
