// The processors this process may run on: its affinity mask, as the
// library counts them for threads_used on Linux, or the online count when
// the mask cannot be read.
#ifndef QUORVANE_TESTS_USABLE_PROCESSORS_H
#define QUORVANE_TESTS_USABLE_PROCESSORS_H

#include <sched.h>
#include <unistd.h>

inline int usable_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count < 1 ? 1 : static_cast<int>(count);
}

#endif  // QUORVANE_TESTS_USABLE_PROCESSORS_H
