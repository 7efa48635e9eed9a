/*
 * quorvane: an embeddable processor and memory throughput benchmark.
 *
 * A host loads the library, calls quorvane_start() to begin a run of about
 * 20 seconds on a background thread, polls quorvane_state(),
 * quorvane_phase() and quorvane_progress() until the state is finished (2)
 * or cancelled (3), and then reads the one-line JSON report from
 * quorvane_results_json().
 *
 * Every function takes no arguments, returns at once, never throws and may
 * be called from any thread. The library keeps one run state per process.
 * Returned text pointers belong to the library, stay valid while it is
 * loaded and are never freed by the caller.
 *
 * Unloading: unload the library only when no run is in progress (state is
 * not 1); after a cancel, wait for state 3 first.
 */
#ifndef QUORVANE_QUORVANE_H
#define QUORVANE_QUORVANE_H

#define QUORVANE_VERSION_MAJOR 1
#define QUORVANE_VERSION_MINOR 0
#define QUORVANE_VERSION_PATCH 0
#define QUORVANE_VERSION_STRING "1.0.0"

/* QUORVANE_BUILDING is set by the library's own build only. */
#if defined(_WIN32)
#  if defined(QUORVANE_BUILDING)
#    define QUORVANE_API __declspec(dllexport)
#  else
#    define QUORVANE_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define QUORVANE_API __attribute__((visibility("default")))
#else
#  define QUORVANE_API
#endif

/* Run states returned by quorvane_state(). */
#define QUORVANE_STATE_IDLE 0
#define QUORVANE_STATE_RUNNING 1
#define QUORVANE_STATE_FINISHED 2
#define QUORVANE_STATE_CANCELLED 3

#ifdef __cplusplus
extern "C" {
#endif

/* The library version, "1.0.0". Constant text owned by the library. */
QUORVANE_API const char* quorvane_version(void);

/* The last error text: "" until a start is refused ("already running") or
 * fails ("thread create failed"); emptied by the next accepted start. The
 * pointer is the library's own buffer and stays valid while it is loaded.
 *
 * Starts from several threads are taken one at a time, and a start
 * returns only after its text is in place, so a thread whose start was
 * refused may read the text at once with plain loads, whatever other
 * threads start at the same moment. What remains a host's duty is not to
 * read the text while another thread's start may accept or fail: the
 * thread whose start was accepted (its text is "") must not read it while
 * other threads may still be refused, as a start that may empty the text
 * must not overlap a read. Such a read is a data race and may see a mix of
 * two texts. */
QUORVANE_API const char* quorvane_last_error(void);

/* The run state: 0 idle, 1 running, 2 finished, 3 cancelled. A host that
 * reads 2 or 3 sees every result of that run in the report. */
QUORVANE_API int quorvane_state(void);

/* Percent done: 0, 2, 20, 40, 60, 80 or 100. */
QUORVANE_API int quorvane_progress(void);

/* The phase now running, 1 to 5, or 0 when none runs. */
QUORVANE_API int quorvane_phase(void);

/* Requests that the run in progress end early; it ends as cancelled (3).
 * Allowed in every state; a request made while no run is in progress is
 * cleared by the next accepted start. */
QUORVANE_API void quorvane_cancel(void);

/* Starts a run on a background thread. Returns 0 when the run began, or -1
 * with quorvane_last_error() set to "already running" (a run is in
 * progress; it goes on unchanged) or "thread create failed" (state is 0). */
QUORVANE_API int quorvane_start(void);

/* The report of the results record as one line of JSON with nine members,
 * no whitespace and no trailing newline. The text lives in one buffer that
 * every call rewrites: copy it before the next call, and do not ask from
 * two threads at the same moment. */
QUORVANE_API const char* quorvane_results_json(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVANE_QUORVANE_H */
