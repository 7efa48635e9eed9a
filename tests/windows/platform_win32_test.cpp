// The Windows platform layer linked into a test program: threads and their
// handles, the counter, the processor count, memory blocks and each thread's
// matrix set.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "process_census.h"

namespace {

namespace platform = quorvane::platform;

constexpr std::size_t set_bytes = platform::matrix_set_doubles * sizeof(double);

// Runs body(arg) on a platform thread and joins it.
void run_on_thread(platform::thread_entry body, void* arg) {
  platform::thread_handle thread = platform::thread_create(body, arg);
  ASSERT_NE(thread, nullptr);
  platform::thread_join(thread);
}

struct entry_record {
  std::atomic<int> runs{0};
  void* arg_seen = nullptr;
  DWORD sleep_ms = 0;
};

unsigned __stdcall record_entry(void* arg) {
  auto* record = static_cast<entry_record*>(arg);
  Sleep(record->sleep_ms);
  record->arg_seen = arg;
  record->runs.fetch_add(1);
  return 0;
}

TEST(PlatformWin32, ThreadRunsEntryWithItsArgumentAndJoinWaitsForIt) {
  entry_record record;
  record.sleep_ms = 50;
  platform::thread_handle thread = platform::thread_create(&record_entry, &record);
  ASSERT_NE(thread, nullptr);
  platform::thread_join(thread);
  EXPECT_EQ(record.runs.load(), 1);
  EXPECT_EQ(record.arg_seen, &record);
}

TEST(PlatformWin32, ReleasedThreadGoesOnAndHandlesAreClosed) {
  const int handles_before = census::handle_count();
  const int threads_before = census::thread_count();
  std::vector<entry_record> records(20);
  for (auto& record : records) {
    record.sleep_ms = 20;
    platform::thread_handle thread = platform::thread_create(&record_entry, &record);
    ASSERT_NE(thread, nullptr);
    platform::thread_release(thread);
  }
  ASSERT_TRUE(census::wait_for_threads_at_most(threads_before, 10000));
  for (const auto& record : records) EXPECT_EQ(record.runs.load(), 1);
  EXPECT_EQ(census::handle_count(), handles_before);

  for (auto& record : records) run_on_thread(&record_entry, &record);
  EXPECT_EQ(census::handle_count(), handles_before);
}

TEST(PlatformWin32, CounterAndFrequencyAreTheSystemsReadAfresh) {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  EXPECT_EQ(platform::perf_frequency(), frequency.QuadPart);
  EXPECT_GT(platform::perf_frequency(), 0);

  LARGE_INTEGER before{};
  QueryPerformanceCounter(&before);
  const std::int64_t first = platform::perf_counter();
  platform::sleep_ms(30);
  const std::int64_t second = platform::perf_counter();
  LARGE_INTEGER after{};
  QueryPerformanceCounter(&after);
  EXPECT_GE(first, before.QuadPart);
  EXPECT_GT(second, first);
  EXPECT_GE(after.QuadPart, second);
}

TEST(PlatformWin32, ProcessorCountIsGetSystemInfos) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  EXPECT_EQ(platform::processor_count(), static_cast<std::int32_t>(info.dwNumberOfProcessors));
  EXPECT_GE(platform::processor_count(), 1);
}

TEST(PlatformWin32, BlocksFillCopyAndGiveBack) {
  constexpr std::size_t bytes = 1 << 20;
  auto* source = static_cast<unsigned char*>(platform::block_obtain(bytes));
  auto* destination = static_cast<unsigned char*>(platform::block_obtain(bytes));
  ASSERT_NE(source, nullptr);
  ASSERT_NE(destination, nullptr);
  platform::block_fill(source, 0xA5, bytes);
  source[13] = 0x3C;
  platform::block_fill(destination, 0, bytes);
  platform::block_copy(destination, source, bytes);
  EXPECT_EQ(std::memcmp(destination, source, bytes), 0);
  EXPECT_EQ(destination[0], 0xA5);
  EXPECT_EQ(destination[13], 0x3C);
  EXPECT_EQ(destination[bytes - 1], 0xA5);
  platform::block_give_back(source);
  platform::block_give_back(destination);
  platform::block_give_back(nullptr);
}

// What one thread saw of its matrix set.
struct matrix_probe {
  double* first = nullptr;
  double* second = nullptr;
  bool zero_filled = false;
  double fill = 0.0;  // written over the whole set before the thread ends
  HANDLE started = nullptr;
  HANDLE finish = nullptr;
};

unsigned __stdcall probe_matrices(void* arg) {
  auto* probe = static_cast<matrix_probe*>(arg);
  probe->first = platform::thread_matrices();
  if (probe->first != nullptr) {
    probe->zero_filled = true;
    for (std::size_t i = 0; i < platform::matrix_set_doubles; ++i) {
      if (probe->first[i] != 0.0) probe->zero_filled = false;
    }
    for (std::size_t i = 0; i < platform::matrix_set_doubles; ++i) probe->first[i] = probe->fill;
  }
  probe->second = platform::thread_matrices();
  if (probe->started != nullptr) SetEvent(probe->started);
  if (probe->finish != nullptr) WaitForSingleObject(probe->finish, INFINITE);
  return 0;
}

TEST(PlatformWin32, MatrixSetIsZeroFilledAndTheSameWithinAThread) {
  matrix_probe probe;
  probe.fill = 7.0;
  run_on_thread(&probe_matrices, &probe);
  ASSERT_NE(probe.first, nullptr);
  EXPECT_TRUE(probe.zero_filled);
  EXPECT_EQ(probe.second, probe.first);

  // The next thread's set is zero-filled too, though the heap likely hands
  // it the block the previous thread dirtied and gave back.
  matrix_probe next;
  run_on_thread(&probe_matrices, &next);
  ASSERT_NE(next.first, nullptr);
  EXPECT_TRUE(next.zero_filled);
}

TEST(PlatformWin32, ThreadsAliveTogetherHaveSetsOfTheirOwn) {
  HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<matrix_probe> probes(4);
  std::vector<platform::thread_handle> threads;
  for (auto& probe : probes) {
    probe.started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    probe.finish = finish;
    threads.push_back(platform::thread_create(&probe_matrices, &probe));
    ASSERT_NE(threads.back(), nullptr);
  }
  for (auto& probe : probes) WaitForSingleObject(probe.started, INFINITE);
  double* own = platform::thread_matrices();  // this thread's, too
  ASSERT_NE(own, nullptr);
  for (std::size_t i = 0; i < probes.size(); ++i) {
    ASSERT_NE(probes[i].first, nullptr);
    EXPECT_TRUE(probes[i].zero_filled);
    EXPECT_NE(probes[i].first, own);
    for (std::size_t j = i + 1; j < probes.size(); ++j) EXPECT_NE(probes[i].first, probes[j].first);
  }
  SetEvent(finish);
  for (auto thread : threads) platform::thread_join(thread);
  for (auto& probe : probes) CloseHandle(probe.started);
  CloseHandle(finish);
}

unsigned __stdcall keep_a_block(void* arg) {
  *static_cast<void**>(arg) = std::malloc(set_bytes);
  return 0;
}

TEST(PlatformWin32, MatrixSetIsReleasedWhenItsThreadEnds) {
  constexpr int threads = 200;
  matrix_probe warm_up;
  run_on_thread(&probe_matrices, &warm_up);

  const std::size_t before = census::busy_heap_bytes();
  for (int i = 0; i < threads; ++i) {
    matrix_probe probe;
    run_on_thread(&probe_matrices, &probe);
    ASSERT_NE(probe.first, nullptr);
  }
  const std::size_t after = census::busy_heap_bytes();
  // Not released, the sets would hold 200 x 96 KiB; one set's worth of
  // slack covers whatever else the heap moved meanwhile.
  EXPECT_LT(after, before + set_bytes) << "before " << before << " after " << after;

  // The measure sees a block that a thread keeps.
  void* kept = nullptr;
  const std::size_t without = census::busy_heap_bytes();
  run_on_thread(&keep_a_block, &kept);
  EXPECT_GE(census::busy_heap_bytes(), without + set_bytes);
  std::free(kept);
}

}  // namespace
