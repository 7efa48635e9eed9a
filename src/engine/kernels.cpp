#include "engine/kernels.h"

namespace quorvane {

std::uint64_t int_mix_seed(std::uint64_t k) { return (k * 19088743u + 7u) ^ 0x9E3779B97F4A7C15ull; }

// Each of the two loops below runs two steps or elements a pass in every
// build: GCC and Clang left to themselves unroll them differently (GCC not at
// all, Clang by two), and where the loop's own instructions set the pace, as
// the matrix loop's do on recent x86-64 cores, one compiler's build ran 1.5
// times as fast as the other's. The integer chain's speed is its dependent
// chain's either way; it has the same shape so that both kernels are the
// same program from every compiler. Each element's arithmetic is unchanged.
std::uint64_t int_mix_run(std::uint64_t x, std::uint64_t steps) {
#pragma GCC unroll 2
  for (std::uint64_t j = 0; j < steps; ++j) {
    std::uint64_t y = x ^ (x >> 33);
    y *= 0xFF51AFD7ED558CCDull;
    y ^= y >> 33;
    y *= 0xC4CEB9FE1A85EC53ull;
    y ^= y >> 33;
    x = y + j;
  }
  return x;
}

std::uint64_t int_mix_iteration(std::uint64_t k) {
  return int_mix_run(int_mix_seed(k), int_mix_steps_per_iteration);
}

void matrix_fill(std::uint64_t k, double* a, double* b, double* c) {
  // Sums and remainders on unsigned 32-bit integers: k modulo 2^32, wrapping.
  const auto k32 = static_cast<std::uint32_t>(k);
  for (std::uint32_t i = 0; i < matrix_order; ++i) {
    for (std::uint32_t j = 0; j < matrix_order; ++j) {
      const std::uint32_t index = i * matrix_order + j;
      a[index] = static_cast<double>((k32 + 31u * i + j) % 97u) / 97.0;
      b[index] = static_cast<double>((k32 + i + 17u * j) % 89u) / 89.0;
      c[index] = 0.0;
    }
  }
}

void matrix_multiply(const double* a, const double* b, double* c) {
  // Row pointers step one row at a time, so no index is multiplied or
  // widened, and the inner loop walks two pointers: GCC then keeps it at
  // load, multiply, add, store and the loop test (pointer-width indices gave
  // two more instructions per element and a matrix iteration 24% slower).
  const double* a_row = a;
  double* c_row = c;
  for (int i = 0; i < matrix_order; ++i, a_row += matrix_order, c_row += matrix_order) {
    const double* b_row = b;
    for (int p = 0; p < matrix_order; ++p, b_row += matrix_order) {
      const double t = a_row[p];
#pragma GCC unroll 2
      for (int j = 0; j < matrix_order; ++j) {
        c_row[j] = b_row[j] * t + c_row[j];
      }
    }
  }
}

double matrix_iteration(std::uint64_t k, double* set) {
  double* a = set;
  double* b = a + matrix_elements;
  double* c = b + matrix_elements;
  matrix_fill(k, a, b, c);
  matrix_multiply(a, b, c);
  return c[matrix_elements - 1];
}

}  // namespace quorvane
