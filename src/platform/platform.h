// The platform layer: every operating-system service the library uses.
//
// The engine and the control interface call only these primitives; each
// operating system has one source file implementing them (posix/, win32/),
// beside runtime_memory.cpp, which both share for the C runtime's memory
// blocks, and fp_environment_<architecture>.cpp, one per processor
// architecture for its floating-point environment; the unit tests link a
// fake one that makes time, thread creation, allocation and the processor
// count deterministic (with the real floating-point environment, which is
// deterministic already).
//
// Contract common to all primitives: none of them throws, logs or keeps
// state of its own that must be set up at load or torn down at unload; every
// primitive may be called from any thread. Failures are reported through the
// return value stated for each primitive, never by aborting.
#ifndef QUORVANE_PLATFORM_PLATFORM_H
#define QUORVANE_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#  define QUORVANE_THREAD_CALL __stdcall
#else
#  define QUORVANE_THREAD_CALL
#endif

namespace quorvane {
namespace platform {

// What a thread entry returns to the operating system; nobody reads it.
#if defined(_WIN32)
using thread_result = unsigned;
#else
using thread_result = void*;
#endif

// A thread entry: runs on the new thread with the argument given at creation.
using thread_entry = thread_result(QUORVANE_THREAD_CALL*)(void* arg);

// An opaque handle to a created thread; nullptr means "no thread".
using thread_handle = void*;

// Creates a thread with the default stack size that runs entry(arg) at once.
// Returns its handle, or nullptr when the thread was not created (then entry
// never runs). Every handle returned must be given to exactly one of
// thread_release or thread_join.
thread_handle thread_create(thread_entry entry, void* arg);

// Releases the handle of a thread that is never joined; the thread goes on
// and ends by itself. Precondition: handle came from thread_create.
void thread_release(thread_handle handle);

// Waits, with no time limit, for the thread to end, then releases its
// handle. Precondition: handle came from thread_create and was not released.
void thread_join(thread_handle handle);

// The high-resolution counter: a monotonic count of ticks since an arbitrary
// origin, never negative, read afresh at every call.
std::int64_t perf_counter();

// Ticks of perf_counter per second, read afresh at every call; always > 0.
std::int64_t perf_frequency();

// Suspends the calling thread for at least ms milliseconds.
void sleep_ms(std::uint32_t ms);

// The number of logical processors the system reports (at least 1 on any
// real system; the engine copes with any value).
std::int32_t processor_count();

// Obtains a block of bytes of memory, contents unspecified. Returns nullptr
// when it cannot be had. Every block returned goes back through
// block_give_back.
void* block_obtain(std::size_t bytes);

// Gives back a block from block_obtain. nullptr is accepted and ignored.
void block_give_back(void* block);

// Sets bytes bytes at block to value (the runtime's memset).
void block_fill(void* block, unsigned char value, std::size_t bytes);

// Copies bytes bytes from source to destination with one call of the
// runtime's block copy (memcpy); the ranges do not overlap.
void block_copy(void* destination, const void* source, std::size_t bytes);

// Doubles in the calling thread's matrix set: three 64 x 64 matrices.
constexpr std::size_t matrix_set_doubles = std::size_t{3} * 64 * 64;

// The calling thread's matrix set: created zero-filled at the thread's first
// call, the same pointer on every later call in that thread, and released
// when the thread ends. Threads that never call it never have one. Returns
// nullptr when the storage cannot be had (a later call tries again).
double* thread_matrices();

// The calling thread's floating-point control state, one form per
// processor architecture (fp_environment_<architecture>.cpp).
#if defined(__aarch64__) || defined(_M_ARM64)
// FPCR, the control register, and FPSR, the status register with the
// cumulative exception flags.
struct fp_environment {
  std::uint64_t fpcr;
  std::uint64_t fpsr;
};
#else
// MXCSR, the SSE control and status register, and the x87 control word.
struct fp_environment {
  std::uint32_t sse;
  std::uint16_t x87;
};
#endif

// Puts the calling thread in the default floating-point environment: round
// to nearest, neither flush-to-zero nor denormals-are-zero (on AArch64 also
// no default-NaN mode), every exception masked and no flag raised, on x86-64
// the x87 unit at the precision the system gives a new thread. Returns the
// environment it replaced. A host thread's environment is otherwise
// inherited by the threads it creates on Linux (Windows gives each new
// thread the default), and it governs both the arithmetic and the rounding
// of formatted numbers.
fp_environment fp_enter_default();

// Gives the calling thread back an environment fp_enter_default returned.
void fp_restore(fp_environment saved);

// Keeps this library's code loaded for a run thread that is about to be
// created, so that a host may unload the library as soon as it sees the run
// closed while the run thread is still leaving the library's code. Called on
// the starting thread before thread_create.
void module_ref_take();

// Gives back the reference of module_ref_take when the run thread was not
// created.
void module_ref_drop();

// The run thread's last act: gives back the reference of module_ref_take and
// ends the thread, where the platform can do both at once; otherwise returns
// and the thread ends by returning from its entry.
void run_thread_exit();

}  // namespace platform
}  // namespace quorvane

#endif  // QUORVANE_PLATFORM_PLATFORM_H
