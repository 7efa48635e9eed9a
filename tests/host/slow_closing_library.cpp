// A stand-in for the library whose run thread stays in the library's code
// after a cancel for a while before it closes the run, as the real run thread
// does while it joins its workers. Unlike the real library it makes itself
// resident only at that close, so a host that unloads it during the run
// takes its code away from under the thread.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>

#define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::atomic<int> state{0};
std::atomic<int> cancel_requested{0};

void stay_resident() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&stay_resident), &info) == 0) return;
  void* self = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  if (self != nullptr) dlclose(self);
}

void* run(void*) {
  while (cancel_requested.load() == 0) usleep(1000);
  stay_resident();
  usleep(50000);
  state.store(3);
  return nullptr;
}
}  // namespace

STAND_IN_EXPORT const char* quorvane_version(void) { return "0.0.0-slow-closing"; }
STAND_IN_EXPORT const char* quorvane_last_error(void) { return ""; }
STAND_IN_EXPORT int quorvane_state(void) { return state.load(); }
STAND_IN_EXPORT int quorvane_progress(void) { return 0; }
STAND_IN_EXPORT int quorvane_phase(void) { return 0; }
STAND_IN_EXPORT void quorvane_cancel(void) { cancel_requested.store(1); }
STAND_IN_EXPORT int quorvane_start(void) {
  if (state.load() == 1) return -1;
  cancel_requested.store(0);
  state.store(1);
  pthread_t thread;
  if (pthread_create(&thread, nullptr, &run, nullptr) != 0) {
    state.store(0);
    return -1;
  }
  pthread_detach(thread);
  return 0;
}
STAND_IN_EXPORT const char* quorvane_results_json(void) { return "{}"; }
