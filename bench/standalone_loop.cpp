#include "standalone_loop.h"

#include <atomic>
#include <cstdlib>

#include "engine/kernels.h"
#include "host_os.h"

namespace qbench {
namespace {

constexpr unsigned poll_ms = 20;

struct worker_record {
  kernel_kind kind;
  std::atomic<std::int32_t>* stop;
  std::uint64_t iterations;
  std::uint64_t fold;
  double cpu_seconds;
};

// The library worker's loop: test the flag, run one whole iteration, count
// it. The matrices are obtained once before the loop, so this loop carries
// nothing but the kernel and the flag test.
void worker_body(void* raw) {
  auto* work = static_cast<worker_record*>(raw);
  std::uint64_t k = 0;
  std::uint64_t acc = 0;
  double sum = 0.0;
  if (work->kind == kernel_kind::int_mix) {
    while (work->stop->load(std::memory_order_relaxed) == 0) {
      acc ^= quorvane::int_mix_iteration(k);
      ++k;
    }
  } else {
    auto* set = static_cast<double*>(std::calloc(3 * quorvane::matrix_elements, sizeof(double)));
    if (set != nullptr) {
      while (work->stop->load(std::memory_order_relaxed) == 0) {
        sum += quorvane::matrix_iteration(k, set);
        ++k;
      }
      std::free(set);
    }
  }
  work->iterations = k;
  work->fold = static_cast<std::uint64_t>(sum) ^ acc;
  work->cpu_seconds = thread_cpu_seconds();
}

}  // namespace

double loop_result::iterations_per_second() const {
  if (elapsed_ms == 0) return 0.0;
  return static_cast<double>(iterations) * 1000.0 / static_cast<double>(elapsed_ms);
}

loop_result run_standalone(kernel_kind kind, std::uint64_t window_ms) {
  std::atomic<std::int32_t> stop{0};
  worker_record record{kind, &stop, 0, 0, 0.0};
  void* thread = thread_start(&worker_body, &record);
  loop_result result;
  if (thread == nullptr) return result;

  // Timed like the library's window: from after the creation, through the
  // 20 ms sleeps, to after the join.
  const std::int64_t t0 = now_ms();
  while (static_cast<std::uint64_t>(now_ms() - t0) < window_ms) sleep_ms(poll_ms);
  stop.store(1, std::memory_order_relaxed);
  thread_join(thread);
  result.elapsed_ms = static_cast<std::uint64_t>(now_ms() - t0);
  result.iterations = record.iterations;
  result.fold = record.fold;
  result.worker_cpu_seconds = record.cpu_seconds;
  return result;
}

double int_mops(double iterations_per_second) {
  return iterations_per_second * 1000000.0 / 1000000.0;
}

double fp_mflops(double iterations_per_second) {
  return 524288.0 * iterations_per_second / 1000000.0;
}

}  // namespace qbench
