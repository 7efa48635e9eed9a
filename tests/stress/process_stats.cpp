// The process's readings come from the host's platform layer, the same
// ones the command-line host and the measuring program use.
#include "process_stats.h"

#include <algorithm>
#include <thread>

#include "machine/host_platform.h"

namespace stress {

int thread_count() { return quorvane::host::platform::thread_count(); }

int baseline_thread_count() {
  std::thread([] {}).join();
  // A joined thread may still be counted for a moment: under an emulator
  // its host thread leaves after the join has returned. The lowest count
  // over a short while is the baseline.
  int lowest = thread_count();
  for (int i = 0; i < 100 && lowest > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const int count = thread_count();
    if (count > 0) lowest = std::min(lowest, count);
  }
  return lowest;
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
