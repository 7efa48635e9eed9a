// The engine's millisecond clock.
#ifndef QUORVANE_ENGINE_CLOCK_H
#define QUORVANE_ENGINE_CLOCK_H

#include <cstdint>

namespace quorvane {

// Whole milliseconds in counter ticks at frequency ticks per second:
// counter * 1000 / frequency truncated, computed without the 64-bit overflow
// of that product (which a nanosecond counter reaches after about 106 days of
// uptime). Preconditions: counter >= 0, 0 < frequency < 2^63 / 1000.
std::int64_t ticks_to_ms(std::int64_t counter, std::int64_t frequency);

// The platform counter in milliseconds; counter and frequency are read
// afresh at every call. Elapsed time is the difference of two readings.
std::int64_t now_ms();

// Milliseconds from start to now, as the unsigned number windows compare.
inline std::uint64_t elapsed_ms(std::int64_t start, std::int64_t now) {
  return static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(start);
}

}  // namespace quorvane

#endif  // QUORVANE_ENGINE_CLOCK_H
