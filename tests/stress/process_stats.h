// What the process holds right now, as the host's platform layer reads it:
// its thread count and its resident memory.
#ifndef QUORVANE_TESTS_PROCESS_STATS_H
#define QUORVANE_TESTS_PROCESS_STATS_H

#include <chrono>
#include <cstdint>

namespace stress {

// The process's thread count, or -1 when it cannot be read.
int thread_count();

// The thread count to compare later counts with: taken after one short
// thread has been created and joined, because a sanitizer's runtime starts
// a background thread of its own at the process's first thread creation,
// and the lowest over the next 0.2 s, once that thread has surely left.
int baseline_thread_count();

// The process's resident set in KiB, or -1 when it cannot be read.
std::int64_t resident_kib();

// Waits until the thread count is at most target or the limit passes, and
// returns the last count read. A run thread that has published its final
// state may still be leaving the library; this gives it the moment it needs.
int wait_for_thread_count(int target, std::chrono::milliseconds limit);

}  // namespace stress

#endif  // QUORVANE_TESTS_PROCESS_STATS_H
