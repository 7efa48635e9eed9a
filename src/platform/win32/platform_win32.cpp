// The platform layer on Windows: the C runtime's _beginthreadex; kernel32's
// thread handles, performance counter, Sleep and GetSystemInfo; and the
// module reference that lets a host unload the library while the run thread
// is still leaving it. The matrices live in thread_matrices_win32.cpp, the
// memory blocks in runtime_memory.cpp.
#include <process.h>
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

// The linker's symbol for this module's image base, which is its HMODULE.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quorvane {
namespace platform {

static_assert(sizeof(std::uintptr_t) == sizeof(thread_handle), "a HANDLE must fit a handle");

namespace {

HMODULE this_module() { return reinterpret_cast<HMODULE>(&__ImageBase); }

// Module references that module_ref_take could not take. A run thread (or a
// start whose thread was not created) that finds one owed gives back nothing
// instead of a reference it never had. References of one module are
// interchangeable, so which thread settles which debt does not matter.
std::atomic<std::int32_t> g_refs_not_taken{0};

bool settle_ref_not_taken() {
  std::int32_t owed = g_refs_not_taken.load();
  while (owed > 0) {
    if (g_refs_not_taken.compare_exchange_weak(owed, owed - 1)) return true;
  }
  return false;
}

}  // namespace

thread_handle thread_create(thread_entry entry, void* arg) {
  // No security attributes, default stack, runs at once, no thread id; the
  // runtime's thread start (rather than CreateThread) sets up the runtime's
  // per-thread data for the new thread. 0 means not created.
  const std::uintptr_t thread = _beginthreadex(nullptr, 0, entry, arg, 0, nullptr);
  // The runtime hands the HANDLE back as an integer; turning it back into
  // one is the documented use, not an optimisation hazard.
  return reinterpret_cast<thread_handle>(thread);  // NOLINT(performance-no-int-to-ptr)
}

void thread_release(thread_handle handle) { CloseHandle(handle); }

void thread_join(thread_handle handle) {
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
}

std::int64_t perf_counter() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

std::int64_t perf_frequency() {
  // Since Windows XP the call always succeeds with a non-zero frequency; the
  // guard keeps the clock's division defined even so.
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart > 0 ? frequency.QuadPart : 1;
}

void sleep_ms(std::uint32_t ms) { Sleep(ms); }

std::int32_t processor_count() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  if (info.dwNumberOfProcessors > 0x7fffffffUL) return 0x7fffffff;
  return static_cast<std::int32_t>(info.dwNumberOfProcessors);
}

void module_ref_take() {
  // Any address inside this module names it; the flag without
  // UNCHANGED_REFCOUNT adds a reference, as a LoadLibrary of it would.
  HMODULE module = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCWSTR>(&module_ref_take), &module) == 0) {
    g_refs_not_taken.fetch_add(1);
  }
}

void module_ref_drop() {
  if (!settle_ref_not_taken()) FreeLibrary(this_module());
}

void run_thread_exit() {
  if (settle_ref_not_taken()) return;  // no reference: end by returning
  // FreeLibraryAndExitThread lives in kernel32, so when this drops the last
  // reference and the library is unmapped, the thread is no longer in it.
  //
  // The thread came from _beginthreadex, so the runtime holds per-thread
  // data for it that _endthreadex would free had the entry returned. Ending
  // through ExitThread instead does not leak it: msvcrt.dll frees a thread's
  // data in its own DLL_THREAD_DETACH handler, which every ExitThread runs.
  // (Only a statically linked runtime would leak it; this library links
  // msvcrt.dll.) The run thread never asks for matrices, so it has no
  // thread-local set to release either.
  FreeLibraryAndExitThread(this_module(), 0);
}

}  // namespace platform
}  // namespace quorvane
