/* Loads the library, runs one benchmark with its progress, prints the report. */
#define _POSIX_C_SOURCE 199309L
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>

typedef int (*int_function)(void);
typedef const char* (*text_function)(void);

/* An export of the library, or NULL after printing the loader's reason. */
static void* find(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (symbol == NULL) fprintf(stderr, "%s\n", dlerror());
  return symbol;
}

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "./libmorvatic-quorvane-cpu-benchmark.so";
  const struct timespec pause = {0, 200000000L}; /* 200 ms */
  void* library = dlopen(path, RTLD_NOW);
  if (library == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  int_function start = (int_function)find(library, "quorvane_start");
  int_function state = (int_function)find(library, "quorvane_state");
  int_function progress = (int_function)find(library, "quorvane_progress");
  text_function last_error = (text_function)find(library, "quorvane_last_error");
  text_function report = (text_function)find(library, "quorvane_results_json");
  if (!start || !state || !progress || !last_error || !report) return 2;

  if (start() != 0) {
    fprintf(stderr, "not started: %s\n", last_error());
    return 1;
  }
  while (state() == 1) { /* 1: running; 2 finished, 3 cancelled */
    printf("\r%3d%%", progress());
    fflush(stdout);
    nanosleep(&pause, NULL);
  }
  printf("\r%3d%%\n%s\n", progress(), report());
  dlclose(library);
  return 0;
}
