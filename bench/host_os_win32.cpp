// host_os on Windows (and under Wine): Win32 threads, the performance
// counter, thread and process times, the process memory counters and
// LoadLibrary.
// windows.h comes first, in a block of its own: psapi.h uses its types.
#include <windows.h>

#include <process.h>
#include <psapi.h>

#include <new>

#include "host_os.h"

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

double filetime_seconds(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<double>(value.QuadPart) * 1e-7;  // 100 ns units
}

bool memory_counters(PROCESS_MEMORY_COUNTERS& counters) {
  return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) != 0;
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

double thread_cpu_seconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0.0;
  return filetime_seconds(kernel) + filetime_seconds(user);
}

double process_cpu_seconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
  return filetime_seconds(kernel) + filetime_seconds(user);
}

std::int64_t resident_kib() {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!memory_counters(counters)) return 0;
  return static_cast<std::int64_t>(counters.WorkingSetSize / 1024);
}

std::int64_t peak_resident_kib() {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!memory_counters(counters)) return 0;
  return static_cast<std::int64_t>(counters.PeakWorkingSetSize / 1024);
}

}  // namespace qbench
