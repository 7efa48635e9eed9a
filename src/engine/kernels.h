// The two workload kernels. kernels.cpp is compiled for baseline x86-64 with
// floating-point contraction and auto-vectorisation off, so every build
// computes bit-identical values with scalar instructions.
#ifndef QUORVANE_ENGINE_KERNELS_H
#define QUORVANE_ENGINE_KERNELS_H

#include <cstdint>

namespace quorvane {

constexpr std::uint64_t int_mix_steps_per_iteration = 1000000;
constexpr int matrix_order = 64;
constexpr int matrix_elements = matrix_order * matrix_order;

// The start value of integer iteration k.
std::uint64_t int_mix_seed(std::uint64_t k);

// Runs mixing steps j = 0 .. steps-1 on x and returns the final value.
std::uint64_t int_mix_run(std::uint64_t x, std::uint64_t steps);

// One integer iteration: int_mix_run(int_mix_seed(k), 1,000,000).
std::uint64_t int_mix_iteration(std::uint64_t k);

// Fills a and b for iteration k and zeroes c (each 64 x 64, row-major).
void matrix_fill(std::uint64_t k, double* a, double* b, double* c);

// c(i, j) += b(p, j) * a(i, p) over i, then p, then j, unfused.
void matrix_multiply(const double* a, const double* b, double* c);

// One matrix iteration on the set {a, b, c} (3 * 4096 doubles, in that
// order); returns c(63, 63).
double matrix_iteration(std::uint64_t k, double* set);

}  // namespace quorvane

#endif  // QUORVANE_ENGINE_KERNELS_H
