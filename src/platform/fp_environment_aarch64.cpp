// The floating-point environment on AArch64, for every operating system:
// FPCR, the control register, and FPSR, the status register, read and
// written with mrs and msr. Neither needs a library; on glibc, fegetround
// and fesetround live in libm, which the library does not link.
#include <cstdint>

#include "platform/platform.h"

namespace quorvane {
namespace platform {
namespace {

// FPCR with every field that changes a result cleared, which is also what
// Linux gives a new process:
//   RMode (bits 23-22) 00: round to nearest, ties to even, as the kernels'
//       known values and the report's "%.0f" assume;
//   FZ (bit 24) 0: no flush-to-zero, so denormal inputs and results keep
//       their value, as with MXCSR's FTZ and DAZ clear on x86-64;
//   DN (bit 25) 0: no default-NaN mode, so a NaN keeps its payload through
//       the arithmetic, as on x86-64;
//   AHP (bit 26) 0 and FZ16 (bit 19) 0: IEEE half precision without flushing
//       (the library uses none, but a host's setting would otherwise last);
//   IDE, IXE, UFE, OFE, DZE, IOE (bits 15, 12-8) 0: no exception traps, every
//       exception masked as in MXCSR's default;
//   NEP, AH, FIZ (bits 2-0, on processors with the alternate floating-point
//       behaviour) 0: the standard IEEE behaviour, no flush of inputs.
// Every other bit is reserved and reads and writes as zero.
constexpr std::uint64_t default_fpcr = 0;

// No cumulative exception flag raised, as MXCSR's default on x86-64.
constexpr std::uint64_t default_fpsr = 0;

std::uint64_t read_fpcr() {
  std::uint64_t value = 0;
  __asm__ volatile("mrs %0, fpcr" : "=r"(value));
  return value;
}

std::uint64_t read_fpsr() {
  std::uint64_t value = 0;
  __asm__ volatile("mrs %0, fpsr" : "=r"(value));
  return value;
}

void write_fpcr(std::uint64_t value) { __asm__ volatile("msr fpcr, %0" : : "r"(value) : "memory"); }

void write_fpsr(std::uint64_t value) { __asm__ volatile("msr fpsr, %0" : : "r"(value) : "memory"); }

}  // namespace

fp_environment fp_enter_default() {
  const fp_environment replaced{read_fpcr(), read_fpsr()};
  write_fpcr(default_fpcr);
  write_fpsr(default_fpsr);
  return replaced;
}

// The caller's FPSR comes back too, so the flags the library's own
// arithmetic raised do not show in the host's, as with MXCSR on x86-64.
void fp_restore(fp_environment saved) {
  write_fpcr(saved.fpcr);
  write_fpsr(saved.fpsr);
}

}  // namespace platform
}  // namespace quorvane
