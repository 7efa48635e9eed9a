// Shared helpers for tests that drive whole runs through the exports.
#ifndef QUORVANE_TESTS_RUN_HELPERS_H
#define QUORVANE_TESTS_RUN_HELPERS_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "quorvane/quorvane.h"

namespace testing_support {

// Polls until the run closes (state 2 or 3) and returns that state; fails
// the test after a generous real-time limit.
inline int wait_for_close() {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    const int state = quorvane_state();
    if (state == QUORVANE_STATE_FINISHED || state == QUORVANE_STATE_CANCELLED) return state;
    if (std::chrono::steady_clock::now() > limit) {
      ADD_FAILURE() << "run did not close; state " << state << " phase " << quorvane_phase();
      return state;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

inline nlohmann::ordered_json report() {
  return nlohmann::ordered_json::parse(std::string(quorvane_results_json()));
}

// A gate a fake-platform hook can hold the run thread at until the test
// opens it.
class latch {
 public:
  void wait() {
    while (!open_.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  void open() { open_.store(true); }

 private:
  std::atomic<bool> open_{false};
};

}  // namespace testing_support

#endif  // QUORVANE_TESTS_RUN_HELPERS_H
