// The platform layer on POSIX systems: pthreads, CLOCK_MONOTONIC, nanosleep,
// sysconf and dladdr/dlopen (memory blocks: runtime_memory.cpp; each thread's
// matrices: thread_matrices_posix.cpp).
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace quorvane {
namespace platform {

static_assert(sizeof(pthread_t) <= sizeof(thread_handle), "pthread_t must fit a handle");

namespace {

thread_handle to_handle(pthread_t thread) {
  thread_handle handle = nullptr;
  std::memcpy(&handle, &thread, sizeof thread);
  return handle;
}

pthread_t to_pthread(thread_handle handle) {
  pthread_t thread{};
  std::memcpy(&thread, &handle, sizeof thread);
  return thread;
}

}  // namespace

thread_handle thread_create(thread_entry entry, void* arg) {
  pthread_t thread{};
  if (pthread_create(&thread, nullptr, entry, arg) != 0) return nullptr;
  return to_handle(thread);
}

void thread_release(thread_handle handle) { pthread_detach(to_pthread(handle)); }

void thread_join(thread_handle handle) { pthread_join(to_pthread(handle), nullptr); }

std::int64_t perf_counter() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::int64_t perf_frequency() { return 1000000000; }

void sleep_ms(std::uint32_t ms) {
  timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  // A signal delivered to this thread interrupts nanosleep; sleep the rest.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

std::int32_t processor_count() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  if (count < 1) return 1;
  if (count > 0x7fffffffL) return 0x7fffffff;
  return static_cast<std::int32_t>(count);
}

void module_ref_take() {
  // There is no way for a thread to drop its own reference on a shared
  // object and leave its code in one step, so the first run makes the
  // library resident for the rest of the process: RTLD_NODELETE on the
  // already loaded object. Later runs find it so already.
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&module_ref_take), &info) == 0 || info.dli_fname == nullptr) {
    return;
  }
  void* self = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  if (self != nullptr) dlclose(self);  // the flag stays; the count goes back
}

void module_ref_drop() {}

void run_thread_exit() {}

}  // namespace platform
}  // namespace quorvane
