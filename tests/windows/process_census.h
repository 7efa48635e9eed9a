// Counts of what the test process holds: threads, open handles, TLS indexes
// and busy heap memory. The Windows tests compare them before and after runs
// to show that the library gives back everything it takes.
#ifndef QUORVANE_TESTS_PROCESS_CENSUS_H
#define QUORVANE_TESTS_PROCESS_CENSUS_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace census {

// Threads of this process.
int thread_count();

// Open handles of this process. GetProcessHandleCount where the system
// implements it; Wine's always answers 0, so there the handle table is
// probed value by value instead.
int handle_count();

// The TLS index TlsAlloc would hand out next: it grows when indexes are
// taken and never given back.
DWORD next_tls_index();

// Busy bytes in all heaps of the process (the C runtime's included).
std::size_t busy_heap_bytes();

// Waits until the process has at most the given number of threads, for up
// to limit_ms; returns whether it got there.
bool wait_for_threads_at_most(int threads, DWORD limit_ms);

// Waits until no module of the given name is loaded, for up to limit_ms;
// returns whether it got there.
bool wait_for_module_unloaded(const wchar_t* name, DWORD limit_ms);

}  // namespace census

#endif  // QUORVANE_TESTS_PROCESS_CENSUS_H
