// Each thread's matrix set on POSIX systems: a pthread key whose value is
// the calling thread's set and whose destructor frees it when the thread
// ends.
//
// The compiler's thread_local is not used here: a thread_local with a
// destructor registers it through the C++ runtime (__cxa_thread_atexit),
// which would make the library need the C++ runtime for that alone. The key
// is created at the first request of the first thread that asks, never at
// load, and is never deleted: the library stays resident once a run has
// started (see module_ref_take), so its destructor stays valid for the
// process.
#include <pthread.h>

#include <cstdlib>

#include "platform/platform.h"

namespace quorvane {
namespace platform {
namespace {

// Constant-initialised: zero at load, nothing to run at unload.
pthread_once_t g_matrix_key_once = PTHREAD_ONCE_INIT;
pthread_key_t g_matrix_key;
bool g_matrix_key_ready = false;

void release_matrix_set(void* set) { std::free(set); }

void create_matrix_key() {
  g_matrix_key_ready = pthread_key_create(&g_matrix_key, release_matrix_set) == 0;
}

}  // namespace

double* thread_matrices() {
  pthread_once(&g_matrix_key_once, create_matrix_key);
  if (!g_matrix_key_ready) return nullptr;
  auto* set = static_cast<double*>(pthread_getspecific(g_matrix_key));
  if (set != nullptr) return set;
  set = static_cast<double*>(std::calloc(matrix_set_doubles, sizeof(double)));
  if (set == nullptr) return nullptr;  // a later call tries again
  if (pthread_setspecific(g_matrix_key, set) != 0) {
    std::free(set);
    return nullptr;
  }
  return set;
}

}  // namespace platform
}  // namespace quorvane
