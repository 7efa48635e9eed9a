#include "slice_probe.h"

#include <cstdint>
#include <cstdlib>

#include "engine/kernels.h"
#include "host_os.h"

namespace qbench {

slice_spread probe_slices(kernel_kind kind, int slices, unsigned slice_ms) {
  slice_spread spread;
  auto* set = static_cast<double*>(std::calloc(3 * quorvane::matrix_elements, sizeof(double)));
  if (set == nullptr) return spread;
  std::uint64_t k = 0;
  std::uint64_t acc = 0;
  double sum = 0.0;
  const std::int64_t slice_ns = static_cast<std::int64_t>(slice_ms) * 1000000;
  for (int slice = 0; slice < slices; ++slice) {
    const std::int64_t t0 = now_ns();
    const std::uint64_t k0 = k;
    std::int64_t t = t0;
    while (t - t0 < slice_ns) {
      if (kind == kernel_kind::int_mix) {
        acc ^= quorvane::int_mix_iteration(k);
      } else {
        sum += quorvane::matrix_iteration(k, set);
      }
      ++k;
      t = now_ns();
    }
    const double rate = static_cast<double>(k - k0) * 1e9 / static_cast<double>(t - t0);
    if (slice == 0 || rate < spread.slowest) spread.slowest = rate;
    if (slice == 0 || rate > spread.fastest) spread.fastest = rate;
  }
  std::free(set);
  // The results feed a volatile sink so the loops are not optimised away.
  volatile std::uint64_t sink = acc ^ static_cast<std::uint64_t>(sum);
  (void)sink;
  return spread;
}

}  // namespace qbench
