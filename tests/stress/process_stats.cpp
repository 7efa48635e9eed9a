// The process's readings come from the host's platform layer, the same
// ones the command-line host and the measuring program use.
#include "process_stats.h"

#include <thread>

#include "machine/host_platform.h"

namespace stress {

int thread_count() { return quorvane::host::platform::thread_count(); }

int baseline_thread_count() {
  std::thread([] {}).join();
  return thread_count();
}

std::int64_t resident_kib() { return quorvane::host::platform::resident_kib(); }

int wait_for_thread_count(int target, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int count = thread_count();
  while (count > target && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    count = thread_count();
  }
  return count;
}

}  // namespace stress
