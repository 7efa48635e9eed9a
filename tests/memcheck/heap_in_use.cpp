#include "heap_in_use.h"

#include <valgrind/memcheck.h>
#include <valgrind/valgrind.h>

namespace memcheck {

bool under_memcheck() { return RUNNING_ON_VALGRIND != 0; }

std::uint64_t heap_bytes_in_use() {
  if (!under_memcheck()) return 0;
  VALGRIND_DO_QUICK_LEAK_CHECK;
  unsigned long leaked = 0;
  unsigned long dubious = 0;
  unsigned long reachable = 0;
  unsigned long suppressed = 0;
  VALGRIND_COUNT_LEAKS(leaked, dubious, reachable, suppressed);
  return leaked + dubious + reachable + suppressed;
}

}  // namespace memcheck
