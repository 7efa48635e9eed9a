#include "stress_support.h"

#include <cstdlib>

namespace stress {

int rounds(int base) {
  const char* scale = std::getenv("QUORVANE_STRESS_SCALE");
  const int factor = scale == nullptr ? 1 : std::atoi(scale);
  return base * (factor < 1 ? 1 : factor);
}

}  // namespace stress
