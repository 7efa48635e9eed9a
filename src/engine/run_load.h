// The timed parallel load runner and its workers.
#ifndef QUORVANE_ENGINE_RUN_LOAD_H
#define QUORVANE_ENGINE_RUN_LOAD_H

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace quorvane {

constexpr std::int32_t kind_int_mix = 0;
constexpr std::int32_t kind_matrix = 1;
constexpr std::int32_t max_workers = 256;
constexpr std::uint64_t window_ms = 4000;
constexpr std::uint32_t poll_ms = 20;

// One worker's record, owned by the run_load call that made it.
struct worker_arg {
  std::int32_t kind;                // 0 integer mixing, otherwise matrix
  std::uint64_t iterations;         // written once by the worker as it stops
  std::atomic<std::int32_t>* stop;  // the call's stop flag
};

// Folded into by every worker as it ends, so no kernel result is dead code.
extern std::atomic<std::uint64_t> g_sink;

// Runs threads workers (at most 256; none for 0 or less) of the given kind
// for a 4000 ms window, cut short by a cancel request, and returns their
// summed iterations per second (0.0 when no time passed).
double run_load(std::int32_t kind, std::int32_t threads);

// A worker thread's body: repeats the kernel until the stop flag is set.
platform::thread_result QUORVANE_THREAD_CALL worker_fn(void* arg);

}  // namespace quorvane

#endif  // QUORVANE_ENGINE_RUN_LOAD_H
