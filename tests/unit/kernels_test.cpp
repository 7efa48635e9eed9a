// The kernels against their known values, and a worker's fold into the sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/kernels.h"
#include "engine/run_load.h"
#include "fake_platform.h"
#include "host_fp_mode.h"
#include "platform/platform.h"

namespace quorvane {
namespace {

TEST(IntegerKernel, MatchesKnownValues) {
  EXPECT_EQ(int_mix_seed(0), 7u ^ 0x9E3779B97F4A7C15ull);
  EXPECT_EQ(int_mix_run(int_mix_seed(0), 1), 0x2D540BE834875D2Full);
  const std::uint64_t x0 = int_mix_iteration(0);
  const std::uint64_t x1 = int_mix_iteration(1);
  EXPECT_EQ(x0, 0x30A230CD1667B9C4ull);
  EXPECT_EQ(x1, 0x430F080314E1EE24ull);
  // What a worker that finishes exactly these two iterations folds.
  EXPECT_EQ(x0 ^ x1, 0x73AD38CE028657E0ull);
}

TEST(IntegerKernel, SeedWrapsForLargeIndices) {
  const std::uint64_t k = 0xFFFFFFFFFFFFFFFFull;
  EXPECT_EQ(int_mix_seed(k), (k * 0x1234567u + 7u) ^ 0x9E3779B97F4A7C15ull);
  // The iteration is the seed run through the full million steps.
  EXPECT_EQ(int_mix_iteration(5), int_mix_run(int_mix_seed(5), 1000000));
}

class MatrixKernel : public ::testing::Test {
 protected:
  std::vector<double> set = std::vector<double>(3 * matrix_elements, -1.0);
  double* a() { return set.data(); }
  double* b() { return set.data() + matrix_elements; }
  double* c() { return set.data() + 2 * matrix_elements; }
};

TEST_F(MatrixKernel, FillForFirstIteration) {
  matrix_fill(0, a(), b(), c());
  EXPECT_EQ(a()[0], 0.0);
  EXPECT_EQ(a()[1], 1.0 / 97.0);
  EXPECT_EQ(a()[64], 31.0 / 97.0);
  EXPECT_EQ(b()[1], 17.0 / 89.0);
  EXPECT_EQ(b()[64], 1.0 / 89.0);
  for (int i = 0; i < matrix_elements; ++i) ASSERT_EQ(c()[i], 0.0) << i;
}

TEST_F(MatrixKernel, FillRepeatsWithPeriods97And89) {
  std::vector<double> first(set.size());
  matrix_fill(0, first.data(), first.data() + matrix_elements, first.data() + 2 * matrix_elements);
  matrix_fill(97, a(), b(), c());
  EXPECT_TRUE(std::equal(a(), a() + matrix_elements, first.data()));
  EXPECT_FALSE(std::equal(b(), b() + matrix_elements, first.data() + matrix_elements));
  matrix_fill(89, a(), b(), c());
  EXPECT_TRUE(std::equal(b(), b() + matrix_elements, first.data() + matrix_elements));
  EXPECT_FALSE(std::equal(a(), a() + matrix_elements, first.data()));
}

TEST_F(MatrixKernel, FillTakesIndexModulo2To32) {
  std::vector<double> low(set.size());
  matrix_fill(5, low.data(), low.data() + matrix_elements, low.data() + 2 * matrix_elements);
  matrix_fill((std::uint64_t{1} << 32) + 5, a(), b(), c());
  EXPECT_TRUE(std::equal(set.begin(), set.end(), low.begin()));
}

TEST_F(MatrixKernel, MatchesKnownValuesBitForBit) {
  const double c0 = matrix_iteration(0, set.data());
  const double c1 = matrix_iteration(1, set.data());
  EXPECT_EQ(c0, 13.911270705432642);
  EXPECT_EQ(c1, 14.504343797057803);
  EXPECT_EQ(c0 + c1, 28.415614502490445);
}

// A matrix worker that finishes exactly two iterations: the stop flag is set
// when the worker asks for its matrices the second time, so iteration 1 runs
// to its end and then the worker stops.
TEST(Worker, MatrixWorkerFoldsTruncatedSumIntoSink) {
  std::atomic<std::int32_t> stop{0};
  worker_arg record{kind_matrix, 99, &stop};
  int calls = 0;
  fake::reset();
  fake::settings().on_matrices = [&] {
    if (++calls == 2) stop.store(1);
  };
  const std::uint64_t before = g_sink.load();
  worker_fn(&record);
  EXPECT_EQ(record.iterations, 2u);
  EXPECT_EQ(g_sink.load(), before ^ 28u);
}

TEST(Worker, FlagSetAtEntryMeansNoIterationAndNoFold) {
  fake::reset();
  for (std::int32_t kind : {kind_int_mix, kind_matrix}) {
    std::atomic<std::int32_t> stop{1};
    worker_arg record{kind, 99, &stop};
    const std::uint64_t before = g_sink.load();
    worker_fn(&record);
    EXPECT_EQ(record.iterations, 0u) << "kind " << kind;
    EXPECT_EQ(g_sink.load(), before) << "kind " << kind;
  }
  EXPECT_EQ(fake::count().matrix_sets_created.load(), 0) << "no iteration, no matrices";
}

TEST(Worker, MatrixWorkerWithoutStorageStopsWithoutIterating) {
  fake::reset();
  fake::settings().allow_matrices = [] { return false; };
  std::atomic<std::int32_t> stop{0};
  worker_arg record{kind_matrix, 99, &stop};
  const std::uint64_t before = g_sink.load();
  worker_fn(&record);  // returns by itself: no storage, no kernel
  EXPECT_EQ(record.iterations, 0u);
  EXPECT_EQ(g_sink.load(), before);
}

// A matrix worker created by a host thread that rounds upward and flushes
// denormals computes in the default environment all the same: c(63, 63) of
// its first two iterations is the kernel's known value, bit for bit.
TEST(Worker, MatrixWorkerOfAnUpwardHostMatchesKnownValuesBitForBit) {
  fake::reset();
  std::atomic<std::int32_t> stop{0};
  worker_arg record{kind_matrix, 0, &stop};
  std::vector<double> corner_before_iteration;
  fake::settings().on_matrix_set = [&](const double* set) {
    corner_before_iteration.push_back(set[3 * matrix_elements - 1]);
    if (corner_before_iteration.size() == 3) stop.store(1);
  };
  {
    const testing_support::upward_fp_mode upward;
    platform::thread_handle worker = platform::thread_create(&worker_fn, &record);
    ASSERT_NE(worker, nullptr);
    platform::thread_join(worker);
  }
  ASSERT_EQ(corner_before_iteration.size(), 3u);
  EXPECT_EQ(corner_before_iteration[1], 13.911270705432642);
  EXPECT_EQ(corner_before_iteration[2], 14.504343797057803);
}

}  // namespace
}  // namespace quorvane
