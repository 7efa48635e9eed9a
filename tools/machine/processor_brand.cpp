// CPUID is an instruction, not a system call: the same code serves every
// operating system.
#include "machine/processor_brand.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#  include <cpuid.h>

#  include <cstring>
#endif

namespace quorvane::host {

std::string processor_brand_string() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  unsigned int highest = __get_cpuid_max(0x80000000U, nullptr);
  if (highest < 0x80000004U) return std::string();
  char brand[49] = {};
  for (std::size_t leaf = 0; leaf < 3; ++leaf) {
    unsigned int registers[4] = {};
    __cpuid(0x80000002U + static_cast<unsigned int>(leaf), registers[0], registers[1], registers[2],
            registers[3]);
    std::memcpy(brand + leaf * sizeof registers, registers, sizeof registers);
  }
  return std::string(brand);
#else
  return std::string();
#endif
}

}  // namespace quorvane::host
