// Helpers shared by the stress scenarios: the library's path, waiting for a
// run's final state, and the rounds of each scenario.
#ifndef QUORVANE_TESTS_STRESS_SUPPORT_H
#define QUORVANE_TESTS_STRESS_SUPPORT_H

#include <chrono>
#include <string>

#include "library_path.h"
#include "loaded_library.h"

namespace stress {

inline const std::string library_path = quorvane_library_path;

// Polls every 200 us until the state is 2 or 3 or the limit passes;
// returns the last state read.
inline int wait_for_final(const loaded_library& lib,
                          std::chrono::seconds limit = std::chrono::seconds(60)) {
  return lib.wait_for_close(limit, std::chrono::microseconds(200));
}

// Rounds of a scenario: base times QUORVANE_STRESS_SCALE from the
// environment (a whole number, 1 when unset), so a soak run can go further
// than the bounded CI run.
int rounds(int base);

// How long a run thread may take to leave after its final state before the
// thread count must be back: generous, for loaded and sanitized machines.
constexpr std::chrono::milliseconds thread_exit_limit{5000};

}  // namespace stress

#endif  // QUORVANE_TESTS_STRESS_SUPPORT_H
