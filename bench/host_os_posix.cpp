// host_os on Linux: pthreads, CLOCK_MONOTONIC and sleeping; processor
// times and memory come from the host's platform layer.
#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <new>

#include "host_os.h"
#include "machine/host_platform.h"

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

// Processor time and memory are the host's own readings.
double thread_cpu_seconds() { return quorvane::host::platform::thread_processor_seconds(); }

double process_cpu_seconds() { return quorvane::host::platform::process_processor_seconds(); }

std::int64_t resident_kib() {
  const std::int64_t resident = quorvane::host::platform::resident_kib();
  return resident < 0 ? 0 : resident;
}

std::int64_t peak_resident_kib() {
  const std::int64_t peak = quorvane::host::platform::peak_resident_kib();
  return peak < 0 ? 0 : peak;
}

}  // namespace qbench
