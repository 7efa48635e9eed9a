// How steady a kernel's speed is from one moment to the next: its rate in
// short slices on the calling thread. A cache-resident kernel that slows in
// some slices while nothing else runs in the system shows contention from
// outside it (another guest on the same physical core, for one), which no
// comparison of two 4-second windows can take out.
#ifndef QUORVANE_BENCH_SLICE_PROBE_H
#define QUORVANE_BENCH_SLICE_PROBE_H

#include "standalone_loop.h"

namespace qbench {

struct slice_spread {
  double slowest = 0;  // iterations per second in the slowest slice
  double fastest = 0;  // and in the fastest
};

// Runs the kernel for slices slices of slice_ms each, checking the clock
// after every iteration.
slice_spread probe_slices(kernel_kind kind, int slices, unsigned slice_ms);

}  // namespace qbench

#endif  // QUORVANE_BENCH_SLICE_PROBE_H
