#include "engine/clock.h"

#include "platform/platform.h"

namespace quorvane {

std::int64_t ticks_to_ms(std::int64_t counter, std::int64_t frequency) {
  // Whole seconds and the remainder apart: the same truncated result as
  // counter * 1000 / frequency, for every counter value.
  const std::int64_t seconds = counter / frequency;
  const std::int64_t remainder = counter % frequency;
  return seconds * 1000 + remainder * 1000 / frequency;
}

std::int64_t now_ms() {
  const std::int64_t frequency = platform::perf_frequency();
  const std::int64_t counter = platform::perf_counter();
  return ticks_to_ms(counter, frequency);
}

}  // namespace quorvane
