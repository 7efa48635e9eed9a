// Each thread's matrix set on Windows: a pointer in the module's own
// implicit thread-local storage (the image's TLS directory), set at the
// thread's first request and released by a TLS callback when it ends.
//
// The compiler's thread_local is not used here: it is emulated, and the
// emulation takes a TlsAlloc index and a semaphore handle the first time any
// thread of a loaded copy of the library uses it and never gives them back,
// so a host that loads, runs and unloads the library over and over would use
// up the process's TLS indexes. The image's TLS directory is the loader's
// business instead: it gives the module a slot when it loads and takes it
// back when it unloads, and gives every thread a fresh zeroed block.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

extern "C" {
// From the C runtime's TLS support, which provides the image's TLS
// directory: the module's slot in every thread's TLS array, filled in by the
// loader, and the directory, whose raw-data range is the template every
// thread's block is copied from.
extern ULONG _tls_index;
extern const IMAGE_TLS_DIRECTORY _tls_used;
}

namespace {

// The calling thread's set, null in every new thread's block. The section
// name sorts between the template's start (.tls) and its end (.tls$ZZZ).
__attribute__((section(".tls$QUORVANE"), used)) double* t_matrix_set = nullptr;

// The calling thread's TLS array: the x64 thread environment block, which
// the gs segment addresses, keeps a pointer to it at offset 0x58
// (ThreadLocalStoragePointer).
char* const* this_thread_tls_array() {
  char* const* tls_array = nullptr;
  __asm__("movq %%gs:0x58, %0" : "=r"(tls_array));
  return tls_array;
}

// This thread's copy of t_matrix_set, or nullptr if the thread has no block.
double** this_thread_slot() {
  char* const* tls_array = this_thread_tls_array();
  if (tls_array == nullptr || tls_array[_tls_index] == nullptr) return nullptr;
  // The slot lies as far into this thread's block as t_matrix_set lies into
  // the template; the block's bytes hold a double* there.
  const std::uintptr_t offset =
      reinterpret_cast<std::uintptr_t>(&t_matrix_set) - _tls_used.StartAddressOfRawData;
  return static_cast<double**>(static_cast<void*>(tls_array[_tls_index] + offset));
}

// Runs on every ending thread while the module is loaded (and at the
// module's attach and detach, which need nothing).
void NTAPI release_thread_matrices(PVOID /*module*/, DWORD reason, PVOID /*reserved*/) {
  if (reason != DLL_THREAD_DETACH) return;
  double** slot = this_thread_slot();
  if (slot == nullptr) return;
  std::free(*slot);
  *slot = nullptr;
}

}  // namespace

// The runtime's TLS callback list is every pointer placed between .CRT$XLA
// and .CRT$XLZ; the image's TLS directory points the loader at it.
extern "C" {
__attribute__((section(".CRT$XLQ"), used)) PIMAGE_TLS_CALLBACK quorvane_release_thread_matrices =
    release_thread_matrices;
}

namespace quorvane {
namespace platform {

double* thread_matrices() {
  double** slot = this_thread_slot();
  if (slot == nullptr) return nullptr;
  if (*slot == nullptr) {
    void* set = std::malloc(matrix_set_doubles * sizeof(double));
    if (set == nullptr) return nullptr;  // a later call tries again
    std::memset(set, 0, matrix_set_doubles * sizeof(double));
    *slot = static_cast<double*>(set);
  }
  return *slot;
}

}  // namespace platform
}  // namespace quorvane
