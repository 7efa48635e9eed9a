#include "standalone_loop.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/kernels.h"

namespace qbench {
namespace {

// The loop runs iterations 0, 1, 2, ... of the kernel and counts each one it
// finished: its fold is the fold of exactly that many iterations.
TEST(StandaloneLoop, IntegerFoldMatchesTheCountedIterations) {
  const loop_result loop = run_standalone(kernel_kind::int_mix, 30);
  ASSERT_GT(loop.iterations, 0u);
  EXPECT_GE(loop.elapsed_ms, 30u);
  std::uint64_t acc = 0;
  for (std::uint64_t k = 0; k < loop.iterations; ++k) acc ^= quorvane::int_mix_iteration(k);
  EXPECT_EQ(loop.fold, acc);
}

TEST(StandaloneLoop, MatrixFoldMatchesTheCountedIterations) {
  const loop_result loop = run_standalone(kernel_kind::matrix, 30);
  ASSERT_GT(loop.iterations, 0u);
  std::vector<double> set(3 * quorvane::matrix_elements);
  double sum = 0.0;
  for (std::uint64_t k = 0; k < loop.iterations; ++k)
    sum += quorvane::matrix_iteration(k, set.data());
  EXPECT_EQ(loop.fold, static_cast<std::uint64_t>(sum));
}

TEST(StandaloneLoop, ConvertsToTheLibraryUnits) {
  loop_result loop;
  loop.iterations = 500;
  loop.elapsed_ms = 2000;
  EXPECT_DOUBLE_EQ(loop.iterations_per_second(), 250.0);
  EXPECT_DOUBLE_EQ(int_mops(250.0), 250.0);
  EXPECT_DOUBLE_EQ(fp_mflops(1000.0), 524.288);
  loop.elapsed_ms = 0;
  EXPECT_DOUBLE_EQ(loop.iterations_per_second(), 0.0);
}

}  // namespace
}  // namespace qbench
