// Controls of the fake platform that the unit tests link instead of the
// operating system's: a clock that only sleeps, fills and copies advance, worker
// threads that start together at the runner's first sleep or join, injected
// thread-creation and allocation failures, a chosen processor count, a look
// at the moment of the final state, and counters of what the engine asked for
// and of the iterations its workers finished.
#ifndef QUORVANE_TESTS_FAKE_PLATFORM_H
#define QUORVANE_TESTS_FAKE_PLATFORM_H

#include <atomic>
#include <cstdint>
#include <functional>

namespace fake {

// Ticks per second of the fake counter: a 3 GHz counter, started near the
// top of its range, so every reading exercises the overflow-safe conversion.
constexpr std::int64_t frequency = 3000000000;
constexpr std::int64_t counter_origin = std::int64_t{1} << 62;

struct config {
  std::int32_t processors = 2;
  // Milliseconds one sleep_ms call adds to the clock per requested
  // millisecond (1 makes sleep_ms(20) advance 20 ms).
  std::int64_t sleep_scale = 1;
  // Real microseconds each sleep_ms call also waits, so workers get to run.
  std::int64_t real_sleep_us = 1000;
  // Milliseconds one block_copy call adds to the clock.
  std::int64_t copy_ms = 1000;
  // Milliseconds one block_fill call adds to the clock.
  std::int64_t fill_ms = 0;
  // Called before each thread creation with its 0-based number; false
  // makes that creation fail.
  std::function<bool(int)> allow_thread;
  // Called before each block request with its 0-based number; false makes
  // that request fail.
  std::function<bool(int)> allow_block;
  // Called at every sleep_ms with the requested milliseconds, on the
  // sleeping thread, before the clock advances.
  std::function<void(std::uint32_t)> on_sleep;
  // Called after every block_copy with the number of copies so far.
  std::function<void(int)> on_copy;
  // Called at every counter reading.
  std::function<void()> on_clock;
  // Called at every thread_matrices call, before the set is returned.
  std::function<void()> on_matrices;
  // Called at every thread_matrices call; false makes it return nullptr.
  std::function<bool()> allow_matrices;
  // Called at every thread_matrices call that returns a set, with the set
  // as the previous iteration left it.
  std::function<void(const double*)> on_matrix_set;
  // Called at every processor count reading.
  std::function<void()> on_processor_count;
  // Called on the run thread right after the store of the final state,
  // before its next instruction, where watch_final_state() is true: the
  // run thread is single-stepped from the closing's clock reading of a run
  // that reached progress 100 until the state reads 2 or 3.
  std::function<void()> at_final_state;
};

// Whether at_final_state can be called on this platform and build: Linux on
// x86-64, without ThreadSanitizer (whose runtime makes the atomic store).
bool watch_final_state();

struct counters {
  std::atomic<int> threads_created{0};
  std::atomic<int> threads_refused{0};
  std::atomic<int> threads_joined{0};
  std::atomic<int> threads_released{0};
  std::atomic<int> blocks_obtained{0};
  std::atomic<int> blocks_given_back{0};
  std::atomic<int> block_requests{0};
  std::atomic<int> copies{0};
  std::atomic<int> sleeps{0};
  std::atomic<int> matrix_sets_created{0};
  std::atomic<int> matrix_sets_released{0};
  std::atomic<int> module_refs{0};
  // Iterations finished by the workers of each phase, by the phase number
  // when the worker ended (0 for workers outside a run).
  std::atomic<std::uint64_t> phase_iterations[6] = {};
};

// Installs a configuration and zeroes the counters and the clock. Call only
// while no run is in progress.
void reset(config settings = config{});

config& settings();
counters& count();

// Sets the clock to counter_origin + ms milliseconds.
void set_clock_ms(std::int64_t ms);
// Milliseconds since counter_origin.
std::int64_t clock_ms();
// Moves the clock forward.
void advance_ms(std::int64_t ms);

}  // namespace fake

#endif  // QUORVANE_TESTS_FAKE_PLATFORM_H
