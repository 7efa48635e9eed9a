// The measurements that run in a child process of their own, each printing
// its figures in the child_output protocol. A fresh process per measurement
// keeps one's memory peak and thread leftovers out of the next; the Windows
// build of the program offers only these.
#ifndef QUORVANE_BENCH_CHILD_MODES_H
#define QUORVANE_BENCH_CHILD_MODES_H

#include <string>

namespace qbench {

// Both kernels standalone for window_ms each, integer first; then each
// kernel's slowest and fastest 250 ms slice in one second, and the time of
// one 64 MiB copy and of giving both blocks back.
int child_kernels(unsigned window_ms);

// One whole run of the library at library_path.
int child_run(const std::string& library_path);

// count runs of the library, each cancelled during phase, at offsets
// spread over the phase's 4000 ms window.
int child_cancel(const std::string& library_path, int phase, int count);

}  // namespace qbench

#endif  // QUORVANE_BENCH_CHILD_MODES_H
