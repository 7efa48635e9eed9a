// host_os on Windows (and under Wine): Win32 threads, the performance
// counter and sleeping; processor times and memory come from the host's
// platform layer.
#include <windows.h>

#include <process.h>

#include <new>

#include "host_os.h"
#include "machine/host_platform.h"

namespace qbench {
namespace {

struct thread_start_record {
  thread_body body;
  void* arg;
};

unsigned __stdcall win32_entry(void* raw) {
  const thread_start_record record = *static_cast<thread_start_record*>(raw);
  delete static_cast<thread_start_record*>(raw);
  record.body(record.arg);
  return 0;
}

}  // namespace

void* thread_start(thread_body body, void* arg) {
  auto* record = new (std::nothrow) thread_start_record{body, arg};
  if (record == nullptr) return nullptr;
  const uintptr_t handle = _beginthreadex(nullptr, 0, &win32_entry, record, 0, nullptr);
  if (handle == 0) {
    delete record;
    return nullptr;
  }
  return reinterpret_cast<void*>(handle);
}

void thread_join(void* handle) {
  WaitForSingleObject(static_cast<HANDLE>(handle), INFINITE);
  CloseHandle(static_cast<HANDLE>(handle));
}

std::int64_t now_ns() {
  LARGE_INTEGER counter;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  const std::int64_t seconds = counter.QuadPart / frequency.QuadPart;
  const std::int64_t remainder = counter.QuadPart % frequency.QuadPart;
  return seconds * 1000000000 + remainder * 1000000000 / frequency.QuadPart;
}

void sleep_ms(unsigned ms) { Sleep(ms); }

void poll_pause() { Sleep(1); }  // the finest sleep Windows offers

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
