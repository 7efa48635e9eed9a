#include "stress_support.h"

#include <cstdlib>
#include <thread>

namespace stress {

int wait_for_final(loaded_library& lib, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int state = lib.state();
  while (state != 2 && state != 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    state = lib.state();
  }
  return state;
}

int rounds(int base) {
  const char* scale = std::getenv("QUORVANE_STRESS_SCALE");
  const int factor = scale == nullptr ? 1 : std::atoi(scale);
  return base * (factor < 1 ? 1 : factor);
}

}  // namespace stress
