// host_os on Linux: pthreads, CLOCK_MONOTONIC, per-thread CPU clocks,
// /proc/self/status for resident memory and dlopen.
#include <pthread.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "host_os.h"

namespace qbench {
namespace {

struct thread_start_record {
  thread_body body;
  void* arg;
};

void* posix_entry(void* raw) {
  const thread_start_record record = *static_cast<thread_start_record*>(raw);
  delete static_cast<thread_start_record*>(raw);
  record.body(record.arg);
  return nullptr;
}

double clock_seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One "Name:   value kB" line of /proc/self/status.
std::int64_t status_kib(const char* name) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  std::int64_t value = 0;
  const std::size_t name_length = std::strlen(name);
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, name, name_length) == 0 && line[name_length] == ':') {
      long long parsed = 0;
      if (std::sscanf(line + name_length + 1, "%lld", &parsed) == 1) value = parsed;
      break;
    }
  }
  std::fclose(status);
  return value;
}

}  // namespace

void* thread_start(thread_body body, void* arg) {
  auto* record = new (std::nothrow) thread_start_record{body, arg};
  if (record == nullptr) return nullptr;
  pthread_t thread{};
  if (pthread_create(&thread, nullptr, &posix_entry, record) != 0) {
    delete record;
    return nullptr;
  }
  return new (std::nothrow) pthread_t(thread);
}

void thread_join(void* handle) {
  auto* thread = static_cast<pthread_t*>(handle);
  pthread_join(*thread, nullptr);
  delete thread;
}

std::int64_t now_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleep_ms(unsigned ms) {
  timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void poll_pause() {
  timespec pause{0, 50000};  // 50 us: far below the latencies being timed
  nanosleep(&pause, nullptr);
}

double thread_cpu_seconds() { return clock_seconds(CLOCK_THREAD_CPUTIME_ID); }

double process_cpu_seconds() { return clock_seconds(CLOCK_PROCESS_CPUTIME_ID); }

std::int64_t resident_kib() { return status_kib("VmRSS"); }

std::int64_t peak_resident_kib() {
  const std::int64_t peak = status_kib("VmHWM");
  if (peak != 0) return peak;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // KiB on Linux
}

}  // namespace qbench
