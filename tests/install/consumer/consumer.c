/* A program that links the installed library: checks its version, starts a
   run, cancels it and reads the cancelled run's report. Exits 0 when every
   check holds. */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <string.h>

#include <quorvane/quorvane.h>

#if defined(_WIN32)
#  include <windows.h>
static void pause_ms(unsigned ms) { Sleep(ms); }
#else
#  include <time.h>
static void pause_ms(unsigned ms) {
  struct timespec wait;
  wait.tv_sec = (time_t)(ms / 1000);
  wait.tv_nsec = (long)(ms % 1000) * 1000000L;
  nanosleep(&wait, NULL);
}
#endif

#ifndef QUORVANE_EXPECTED_VERSION
#  define QUORVANE_EXPECTED_VERSION "1.0.0"
#endif

int main(void) {
  int waited = 0;
  printf("library %s\n", quorvane_version());
  if (strcmp(quorvane_version(), QUORVANE_EXPECTED_VERSION) != 0) {
    fprintf(stderr, "expected version %s\n", QUORVANE_EXPECTED_VERSION);
    return 1;
  }
  if (quorvane_start() != 0) {
    fprintf(stderr, "start refused: %s\n", quorvane_last_error());
    return 1;
  }
  quorvane_cancel();
  /* A cancel ends the run within one 20 ms poll of the first phase. */
  while (quorvane_state() == 1 && waited < 10000) {
    pause_ms(10);
    waited += 10;
  }
  printf("state %d, report %s\n", quorvane_state(), quorvane_results_json());
  if (quorvane_state() != 3 || strstr(quorvane_results_json(), "\"score_single\":0,") == NULL) {
    fprintf(stderr, "expected a cancelled run with an all-zero report\n");
    return 1;
  }
  return 0;
}
