// Prints every value the two kernels compute for iterations k = 0 .. 199,
// one line each, and a digest of each kernel's values: the integer chain's
// final x, and the bit pattern of the matrix kernel's c(63, 63). Builds of
// any architecture or compiler that compute the same bits print the same
// text (tests/same_bits compares the arm64 build's with the build
// machine's).
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/kernels.h"

namespace {

constexpr std::uint64_t iterations = 200;

// FNV-1a over the value's eight bytes, lowest first, so the digest does not
// depend on the processor's byte order.
class fnv1a64 {
 public:
  void add(std::uint64_t value) {
    for (int byte = 0; byte < 8; ++byte) {
      state_ = (state_ ^ ((value >> (8 * byte)) & 0xFFu)) * 0x100000001B3ull;
    }
  }
  std::uint64_t value() const { return state_; }

 private:
  std::uint64_t state_ = 0xCBF29CE484222325ull;
};

std::uint64_t bits_of(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

int main() {
  fnv1a64 integer_digest;
  for (std::uint64_t k = 0; k < iterations; ++k) {
    const std::uint64_t x = quorvane::int_mix_iteration(k);
    integer_digest.add(x);
    std::printf("int_mix k=%" PRIu64 " x=%016" PRIx64 "\n", k, x);
  }
  std::vector<double> set(3 * quorvane::matrix_elements);
  fnv1a64 matrix_digest;
  for (std::uint64_t k = 0; k < iterations; ++k) {
    const std::uint64_t bits = bits_of(quorvane::matrix_iteration(k, set.data()));
    matrix_digest.add(bits);
    std::printf("matrix k=%" PRIu64 " c(63,63)=%016" PRIx64 "\n", k, bits);
  }
  std::printf("digest int_mix k=0..%" PRIu64 " %016" PRIx64 "\n", iterations - 1,
              integer_digest.value());
  std::printf("digest matrix k=0..%" PRIu64 " %016" PRIx64 "\n", iterations - 1,
              matrix_digest.value());
  return 0;
}
