// The heap bytes the process holds right now, as memcheck counts them.
#ifndef QUORVANE_TESTS_HEAP_IN_USE_H
#define QUORVANE_TESTS_HEAP_IN_USE_H

#include <cstdint>

namespace memcheck {

// True when the program runs under valgrind's memcheck.
bool under_memcheck();

// Every heap byte allocated and not yet freed, reachable or not, found by a
// summary leak search; 0 when not under memcheck. Allocates nothing itself.
std::uint64_t heap_bytes_in_use();

}  // namespace memcheck

#endif  // QUORVANE_TESTS_HEAP_IN_USE_H
