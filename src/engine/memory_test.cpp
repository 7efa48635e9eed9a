#include "engine/memory_test.h"

#include <cstdint>

#include "control/run_state.h"
#include "engine/clock.h"
#include "engine/run_load.h"
#include "platform/platform.h"

namespace quorvane {

double measure_copy_bandwidth() {
  // Both requests are made before either is tested.
  auto* source = static_cast<unsigned char*>(platform::block_obtain(copy_block_bytes));
  auto* destination = static_cast<unsigned char*>(platform::block_obtain(copy_block_bytes));
  if (source == nullptr || destination == nullptr) {
    platform::block_give_back(source);
    platform::block_give_back(destination);
    return 0.0;
  }
  // The fill happens before the window opens, so it is not measured.
  platform::block_fill(source, 0xA5, copy_block_bytes);

  // Reading back each copy's first byte and writing it into the source makes
  // every copy's result used and the source change between copies.
  volatile unsigned char check = 0;
  const std::int64_t t = now_ms();
  std::uint64_t bytes = 0;
  for (;;) {
    if (elapsed_ms(t, now_ms()) >= window_ms) break;
    if (g_cancel.load() != 0) break;
    bytes += copy_block_bytes;
    platform::block_copy(destination, source, copy_block_bytes);
    check = static_cast<unsigned char>(check ^ destination[0]);
    source[13] = check;
  }
  const std::uint64_t elapsed = elapsed_ms(t, now_ms());
  platform::block_give_back(source);
  platform::block_give_back(destination);

  if (elapsed == 0) return 0.0;
  constexpr double bytes_to_mebibytes = 9.5367431640625e-07;  // 2^-20
  return static_cast<double>(bytes) * bytes_to_mebibytes * 1000.0 / static_cast<double>(elapsed);
}

}  // namespace quorvane
