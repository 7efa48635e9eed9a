// What a cancel during the memory phase waits for: the 64 MiB copy in
// progress, then the return of both blocks. Measured with the same runtime
// calls the library makes (malloc, memset, memcpy, free).
#ifndef QUORVANE_BENCH_COPY_COSTS_H
#define QUORVANE_BENCH_COPY_COSTS_H

namespace qbench {

struct copy_costs {
  bool ok = false;
  double copy_ms = 0;     // median of several 64 MiB memcpy calls between touched blocks
  double release_ms = 0;  // freeing both touched 64 MiB blocks
};

copy_costs measure_copy_costs();

}  // namespace qbench

#endif  // QUORVANE_BENCH_COPY_COSTS_H
