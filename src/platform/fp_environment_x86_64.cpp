// The floating-point environment on x86-64, for every operating system:
// MXCSR through the compiler's SSE intrinsics and the x87 control word
// through fnstcw and fldcw. Neither needs a library; on glibc, fegetround and fesetround live
// in libm, which the library does not link.
#include <xmmintrin.h>

#include "platform/platform.h"

namespace quorvane {
namespace platform {
namespace {

// Round to nearest, all six exceptions masked, no flag raised, neither
// flush-to-zero nor denormals-are-zero.
constexpr std::uint32_t default_mxcsr = 0x1F80;

// Round to nearest and all exceptions masked, at the precision each system
// gives a new thread: 53 bits on Windows, 64 on Linux. glibc's printf
// rounds as this word says, whatever MXCSR says.
#if defined(_WIN32)
constexpr std::uint16_t default_x87_control = 0x027F;
#else
constexpr std::uint16_t default_x87_control = 0x037F;
#endif

std::uint16_t x87_control() {
  std::uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

void set_x87_control(std::uint16_t word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

}  // namespace

fp_environment fp_enter_default() {
  const fp_environment replaced{_mm_getcsr(), x87_control()};
  _mm_setcsr(default_mxcsr);
  set_x87_control(default_x87_control);
  return replaced;
}

void fp_restore(fp_environment saved) {
  _mm_setcsr(saved.sse);
  set_x87_control(saved.x87);
}

}  // namespace platform
}  // namespace quorvane
