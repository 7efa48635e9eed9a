// The operating-system services the measurement program needs, in one small
// interface with a POSIX and a Win32 implementation, so the same program can
// measure the native library and, built with MinGW and run under Wine, the
// Windows DLL.
#ifndef QUORVANE_BENCH_HOST_OS_H
#define QUORVANE_BENCH_HOST_OS_H

#include <cstdint>

namespace qbench {

// A thread body; the thread ends when it returns.
using thread_body = void (*)(void* arg);

// Starts a thread with the default stack size running body(arg); returns
// nullptr when it could not be created.
void* thread_start(thread_body body, void* arg);

// Waits for the thread to end and releases its handle.
void thread_join(void* handle);

// A monotonic clock in nanoseconds.
std::int64_t now_ns();

// Whole milliseconds of now_ns, truncated like the library's clock.
inline std::int64_t now_ms() { return now_ns() / 1000000; }

void sleep_ms(unsigned ms);

// The shortest pause that still gives the processor away; used between
// reads of a state that is being timed.
void poll_pause();

// CPU time used so far by the calling thread and by the whole process.
double thread_cpu_seconds();
double process_cpu_seconds();

// Resident memory of this process now and at its peak, in KiB; 0 when the
// system does not say.
std::int64_t resident_kib();
std::int64_t peak_resident_kib();

}  // namespace qbench

#endif  // QUORVANE_BENCH_HOST_OS_H
