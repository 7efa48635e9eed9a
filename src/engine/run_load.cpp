#include "engine/run_load.h"

#include "control/run_state.h"
#include "engine/clock.h"
#include "engine/kernels.h"

namespace quorvane {

std::atomic<std::uint64_t> g_sink{0};

platform::thread_result QUORVANE_THREAD_CALL worker_fn(void* arg) {
  // The kernels' known values hold in the default environment only.
  platform::fp_enter_default();
  auto* work = static_cast<worker_arg*>(arg);
  std::uint64_t k = 0;
  std::uint64_t acc = 0;
  double sum = 0.0;
  // The flag is tested before the first iteration and after each one; an
  // iteration in progress is always finished and counted.
  if (work->kind == kind_int_mix) {
    while (work->stop->load(std::memory_order_relaxed) == 0) {
      acc ^= int_mix_iteration(k);
      ++k;
    }
  } else {
    while (work->stop->load(std::memory_order_relaxed) == 0) {
      double* set = platform::thread_matrices();
      if (set == nullptr) {
        break;  // no storage for the matrices: this worker counts what it did
      }
      sum += matrix_iteration(k, set);
      ++k;
    }
  }
  work->iterations = k;
  if (k != 0) {
    g_sink.fetch_xor(static_cast<std::uint64_t>(sum) ^ acc, std::memory_order_relaxed);
  }
  return platform::thread_result{};
}

double run_load(std::int32_t kind, std::int32_t threads) {
  const std::int32_t n = threads > max_workers ? max_workers : (threads < 0 ? 0 : threads);
  worker_arg records[max_workers];
  platform::thread_handle handles[max_workers];
  std::atomic<std::int32_t> stop{0};

  for (std::int32_t i = 0; i < n; ++i) {
    records[i] = worker_arg{kind, 0, &stop};
    handles[i] = platform::thread_create(&worker_fn, &records[i]);
  }

  const std::int64_t t0 = now_ms();
  for (;;) {
    if (elapsed_ms(t0, now_ms()) >= window_ms) break;
    if (g_cancel.load() != 0) break;
    platform::sleep_ms(poll_ms);
  }
  stop.store(1, std::memory_order_relaxed);

  std::uint64_t total = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    // A worker that was not created has no thread to wait for; its count
    // stays 0.
    if (handles[i] != nullptr) {
      platform::thread_join(handles[i]);
    }
    total += records[i].iterations;
  }
  const std::uint64_t elapsed = elapsed_ms(t0, now_ms());
  if (elapsed == 0) return 0.0;
  return static_cast<double>(total) * 1000.0 / static_cast<double>(elapsed);
}

}  // namespace quorvane
