#include "copy_costs.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host_os.h"
#include "results/run_statistics.h"

namespace qbench {

copy_costs measure_copy_costs() {
  constexpr std::size_t block_bytes = 64u << 20;
  constexpr int copies = 7;
  copy_costs costs;
  auto* source = static_cast<unsigned char*>(std::malloc(block_bytes));
  auto* destination = static_cast<unsigned char*>(std::malloc(block_bytes));
  if (source == nullptr || destination == nullptr) {
    std::free(source);
    std::free(destination);
    return costs;
  }
  std::memset(source, 0xA5, block_bytes);
  std::memset(destination, 0, block_bytes);
  std::vector<double> times;
  volatile unsigned char check = 0;
  for (int i = 0; i < copies; ++i) {
    const std::int64_t t0 = now_ns();
    std::memcpy(destination, source, block_bytes);
    times.push_back(static_cast<double>(now_ns() - t0) / 1e6);
    check = static_cast<unsigned char>(check ^ destination[0]);
    source[13] = check;
  }
  const std::int64_t t0 = now_ns();
  std::free(source);
  std::free(destination);
  costs.release_ms = static_cast<double>(now_ns() - t0) / 1e6;
  costs.copy_ms = quorvane::host::summarise(times).median;
  costs.ok = true;
  return costs;
}

}  // namespace qbench
