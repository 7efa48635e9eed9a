#include "process_stats.h"

#include <fstream>
#include <string>
#include <thread>

namespace stress {
namespace {

// The number after "key" on its line of /proc/self/status.
std::int64_t status_field(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, key.size(), key) == 0) return std::stoll(line.substr(key.size()));
  }
  return -1;
}

}  // namespace

int thread_count() { return static_cast<int>(status_field("Threads:")); }

int baseline_thread_count() {
  std::thread([] {}).join();
  return thread_count();
}

std::int64_t resident_kib() { return status_field("VmRSS:"); }

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
