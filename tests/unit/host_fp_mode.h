// A host thread's floating-point environment that is not the default: round
// upward, with flush-to-zero set (on x86-64 also denormals-are-zero in
// MXCSR, on AArch64 also the default-NaN mode in FPCR), as some numerical
// and game code runs. Set for the lifetime of the object on the constructing
// thread; the previous environment comes back at its end.
#ifndef QUORVANE_TESTS_HOST_FP_MODE_H
#define QUORVANE_TESTS_HOST_FP_MODE_H

#include <cfenv>
#include <cstdint>

#if defined(__aarch64__)
namespace testing_support {

// FPCR's FZ (bit 24) and DN (bit 25).
constexpr std::uint64_t fpcr_fz_dn = (std::uint64_t{1} << 24) | (std::uint64_t{1} << 25);

inline std::uint64_t fp_control() {
  std::uint64_t value = 0;
  __asm__ volatile("mrs %0, fpcr" : "=r"(value));
  return value;
}

inline void set_fp_control(std::uint64_t value) { __asm__ volatile("msr fpcr, %0" : : "r"(value)); }

class upward_fp_mode {
 public:
  upward_fp_mode() {
    std::fegetenv(&saved_);
    std::fesetround(FE_UPWARD);
    set_fp_control(fp_control() | fpcr_fz_dn);
  }
  upward_fp_mode(const upward_fp_mode&) = delete;
  upward_fp_mode& operator=(const upward_fp_mode&) = delete;
  // glibc's fenv_t holds FPCR and FPSR whole.
  ~upward_fp_mode() { std::fesetenv(&saved_); }

  // Whether the calling thread still has this mode.
  static bool in_effect() {
    return std::fegetround() == FE_UPWARD && (fp_control() & fpcr_fz_dn) == fpcr_fz_dn;
  }

 private:
  std::fenv_t saved_{};
};

}  // namespace testing_support
#else
#  include <xmmintrin.h>

namespace testing_support {

constexpr unsigned mxcsr_ftz_daz = 0x8040;

class upward_fp_mode {
 public:
  upward_fp_mode() : saved_mxcsr_(_mm_getcsr()) {
    std::fegetenv(&saved_);
    std::fesetround(FE_UPWARD);
    _mm_setcsr(_mm_getcsr() | mxcsr_ftz_daz);
  }
  upward_fp_mode(const upward_fp_mode&) = delete;
  upward_fp_mode& operator=(const upward_fp_mode&) = delete;
  // MXCSR apart: mingw-w64's fesetenv gives back the x87 state only.
  ~upward_fp_mode() {
    std::fesetenv(&saved_);
    _mm_setcsr(saved_mxcsr_);
  }

  // Whether the calling thread still has this mode.
  static bool in_effect() {
    return std::fegetround() == FE_UPWARD && (_mm_getcsr() & mxcsr_ftz_daz) == mxcsr_ftz_daz;
  }

 private:
  unsigned saved_mxcsr_;
  std::fenv_t saved_{};
};

}  // namespace testing_support
#endif

#endif  // QUORVANE_TESTS_HOST_FP_MODE_H
