// A host thread's floating-point environment that is not the default: round
// upward, with flush-to-zero and denormals-are-zero set in MXCSR, as some
// numerical and game code runs. Set for the lifetime of the object on the
// constructing thread; the previous environment comes back at its end.
#ifndef QUORVANE_TESTS_HOST_FP_MODE_H
#define QUORVANE_TESTS_HOST_FP_MODE_H

#include <xmmintrin.h>

#include <cfenv>

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

#endif  // QUORVANE_TESTS_HOST_FP_MODE_H
