// A stand-in for the library that lacks quorvane_results_json: seven of the
// eight exports, so a host must notice the missing one before it starts.
#if defined(_WIN32)
#  define STAND_IN_EXPORT extern "C" __declspec(dllexport)
#else
#  define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

STAND_IN_EXPORT const char* quorvane_version(void) { return "0.0.0-stand-in"; }
STAND_IN_EXPORT const char* quorvane_last_error(void) { return ""; }
STAND_IN_EXPORT int quorvane_state(void) { return 0; }
STAND_IN_EXPORT int quorvane_progress(void) { return 0; }
STAND_IN_EXPORT int quorvane_phase(void) { return 0; }
STAND_IN_EXPORT void quorvane_cancel(void) {}
// Refuses every start, so a host that skipped the export check still fails.
STAND_IN_EXPORT int quorvane_start(void) { return -1; }
