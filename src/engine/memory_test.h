// Phase 5: memory copy bandwidth, measured on the calling thread.
#ifndef QUORVANE_ENGINE_MEMORY_TEST_H
#define QUORVANE_ENGINE_MEMORY_TEST_H

#include <cstddef>

namespace quorvane {

constexpr std::size_t copy_block_bytes = std::size_t{64} * 1024 * 1024;

// Copies a 64 MiB block over another for a 4000 ms window (cut short by a
// cancel request) and returns MiB per second; 0 when a block cannot be had
// or no time passed.
double measure_copy_bandwidth();

}  // namespace quorvane

#endif  // QUORVANE_ENGINE_MEMORY_TEST_H
