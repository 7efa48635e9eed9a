#include "process_census.h"

#include <cstdint>
#include <vector>

#include "machine/host_platform.h"

namespace census {

// The host's platform layer counts the threads.
int thread_count() { return quorvane::host::platform::thread_count(); }

int handle_count() {
  DWORD reported = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &reported) && reported != 0) {
    return static_cast<int>(reported);
  }
  // Handle values are multiples of 4 handed out from the bottom of the
  // table; a test process holds far fewer than this bound.
  int count = 0;
  for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

DWORD next_tls_index() {
  const DWORD index = TlsAlloc();
  if (index != TLS_OUT_OF_INDEXES) TlsFree(index);
  return index;
}

std::size_t busy_heap_bytes() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  std::size_t busy = 0;
  for (HANDLE heap : heaps) {
    if (!HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) busy += entry.cbData;
    }
    HeapUnlock(heap);
  }
  return busy;
}

bool wait_for_threads_at_most(int threads, DWORD limit_ms) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (thread_count() > threads) {
    if (GetTickCount64() > deadline) return false;
    Sleep(5);
  }
  return true;
}

bool wait_for_module_unloaded(const wchar_t* name, DWORD limit_ms) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (GetModuleHandleW(name) != nullptr) {
    if (GetTickCount64() > deadline) return false;
    Sleep(5);
  }
  return true;
}

}  // namespace census
