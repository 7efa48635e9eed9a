// The millisecond conversion against an exact 128-bit reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

#include "engine/clock.h"
#include "fake_platform.h"

namespace quorvane {
namespace {

__extension__ typedef unsigned __int128 wide;

std::int64_t exact_ms(std::int64_t counter, std::int64_t frequency) {
  const wide product = static_cast<wide>(counter) * 1000u;
  return static_cast<std::int64_t>(product / static_cast<wide>(frequency));
}

// Whether counter * 1000 / frequency itself fits in 64 signed bits.
bool representable(std::int64_t counter, std::int64_t frequency) {
  const wide product = static_cast<wide>(counter) * 1000u;
  return product / static_cast<wide>(frequency) <=
         static_cast<wide>(std::numeric_limits<std::int64_t>::max());
}

TEST(Clock, ConversionIsExactForEveryCounterRange) {
  const std::int64_t frequencies[] = {
      1, 1000, 3579545, 10000000, 1000000000, 3000000000, std::int64_t{1} << 50};
  const std::int64_t max = std::numeric_limits<std::int64_t>::max();
  std::mt19937_64 random(12345);
  for (const std::int64_t frequency : frequencies) {
    const std::int64_t edges[] = {0,
                                  1,
                                  frequency - 1,
                                  frequency,
                                  frequency + 1,
                                  max / 1000,
                                  max / 1000 + 1,
                                  max / 2,
                                  max - frequency,
                                  max - 1,
                                  max};
    for (const std::int64_t counter : edges) {
      if (counter < 0 || !representable(counter, frequency)) continue;
      EXPECT_EQ(ticks_to_ms(counter, frequency), exact_ms(counter, frequency))
          << counter << " ticks at " << frequency << " Hz";
    }
    for (int i = 0; i < 2000; ++i) {
      const auto counter = static_cast<std::int64_t>(random() >> 1);
      if (!representable(counter, frequency)) continue;
      ASSERT_EQ(ticks_to_ms(counter, frequency), exact_ms(counter, frequency))
          << counter << " ticks at " << frequency << " Hz";
    }
  }
}

TEST(Clock, NanosecondCounterPast106DaysStillAdvances) {
  // The naive product overflows here and would make windows end at once or
  // never; the conversion keeps moving one millisecond per million ticks.
  const std::int64_t ns_per_day = std::int64_t{86400} * 1000000000;
  const std::int64_t later = 200 * ns_per_day;
  EXPECT_EQ(ticks_to_ms(later + 4000000000, 1000000000) - ticks_to_ms(later, 1000000000), 4000);
  EXPECT_EQ(elapsed_ms(ticks_to_ms(later, 1000000000), ticks_to_ms(later + 3999999999, 1000000000)),
            3999u);
}

TEST(Clock, NowReadsThePlatformCounter) {
  fake::reset();
  const std::int64_t first = now_ms();
  fake::advance_ms(1234);
  EXPECT_EQ(now_ms() - first, 1234);
  EXPECT_EQ(first, exact_ms(fake::counter_origin, fake::frequency));
}

}  // namespace
}  // namespace quorvane
