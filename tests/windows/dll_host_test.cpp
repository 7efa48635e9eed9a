// The built DLL loaded with LoadLibraryW and driven through GetProcAddress,
// as a Windows host drives it: a full run, cancels and restarts, unloading
// the moment a run closes, and what runs leave behind in the process.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "loaded_library.h"
#include "process_census.h"

namespace {

// The module name; the DLL sits beside the test programs, where the loader
// looks first.
#define QUORVANE_TEST_DLL "morvatic-quorvane-cpu-benchmark.dll"
constexpr const char* dll_file = QUORVANE_TEST_DLL;
constexpr const wchar_t* dll_name = L"" QUORVANE_TEST_DLL;

constexpr std::size_t matrix_set_bytes = 3 * 64 * 64 * sizeof(double);

const char* const zero_report =
    "{\"score_single\":0,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
    "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":0,\"threads_used\":0,"
    "\"duration_ms\":0}";

int processors() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return static_cast<int>(info.dwNumberOfProcessors);
}

// Waits up to two minutes for the final state, pausing 5 ms between reads
// or, with pause 0, spinning, so that the caller acts within moments of the
// final state being stored, while the run thread is still on its way out.
int closed_state(const loaded_library& dll, std::chrono::microseconds pause) {
  const int state = dll.wait_for_close(std::chrono::seconds(120), pause);
  if (state != 2 && state != 3) {
    ADD_FAILURE() << "run did not close; state " << state << " phase " << dll.phase();
  }
  return state;
}

int wait_for_close(const loaded_library& dll) {
  return closed_state(dll, std::chrono::milliseconds(5));
}

int spin_until_closed(const loaded_library& dll) {
  return closed_state(dll, std::chrono::microseconds(0));
}

nlohmann::ordered_json report(loaded_library& dll) {
  return nlohmann::ordered_json::parse(std::string(dll.results_json()));
}

TEST(DllHost, FreshLoadIsIdleWithAnAllZeroReport) {
  loaded_library dll(dll_file);
  EXPECT_STREQ(dll.version(), "1.0.0");
  EXPECT_EQ(dll.state(), 0);
  EXPECT_EQ(dll.phase(), 0);
  EXPECT_EQ(dll.progress(), 0);
  EXPECT_STREQ(dll.last_error(), "");
  EXPECT_STREQ(dll.results_json(), zero_report);
}

TEST(DllHost, CancelRefusedStartAndRestart) {
  loaded_library dll(dll_file);
  ASSERT_EQ(dll.start(), 0) << dll.last_error();
  EXPECT_EQ(dll.start(), -1);
  EXPECT_STREQ(dll.last_error(), "already running");
  dll.cancel();
  ASSERT_EQ(wait_for_close(dll), 3);
  EXPECT_EQ(dll.phase(), 0);
  EXPECT_EQ(dll.progress(), 20);
  EXPECT_STREQ(dll.last_error(), "already running");
  const auto json = report(dll);
  for (const char* key : {"score_single", "score_multi", "int_single_mops", "int_multi_mops",
                          "fp_single_mflops", "fp_multi_mflops", "mem_bandwidth_mbps"}) {
    EXPECT_EQ(json[key].get<double>(), 0.0) << key;
  }
  EXPECT_EQ(json["threads_used"].get<int>(), processors());

  ASSERT_EQ(dll.start(), 0);
  EXPECT_STREQ(dll.last_error(), "");
  dll.cancel();
  EXPECT_EQ(wait_for_close(dll), 3);
}

TEST(DllHost, FullRunThenRestart) {
  loaded_library dll(dll_file);
  ASSERT_EQ(dll.start(), 0) << dll.last_error();
  std::vector<int> phases;
  std::vector<int> progress;
  while (dll.state() == 1) {
    const int phase = dll.phase();
    if (phase != 0 && (phases.empty() || phases.back() != phase)) phases.push_back(phase);
    const int percent = dll.progress();
    if (progress.empty() || progress.back() != percent) progress.push_back(percent);
    Sleep(10);
  }
  ASSERT_EQ(dll.state(), 2);
  EXPECT_EQ(phases, (std::vector<int>{1, 2, 3, 4, 5}));
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i], progress[i - 1]);
  EXPECT_EQ(dll.progress(), 100);
  EXPECT_EQ(dll.phase(), 0);

  const std::string text = dll.results_json();
  std::printf("DLL report: %s\n", text.c_str());
  const auto json = nlohmann::ordered_json::parse(text);
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"score_single", "score_multi", "int_single_mops",
                                            "int_multi_mops", "fp_single_mflops", "fp_multi_mflops",
                                            "mem_bandwidth_mbps", "threads_used", "duration_ms"}));
  for (const char* key : {"score_single", "score_multi", "int_single_mops", "int_multi_mops",
                          "fp_single_mflops", "fp_multi_mflops", "mem_bandwidth_mbps"}) {
    EXPECT_GT(json[key].get<double>(), 0.0) << key;
  }
  EXPECT_EQ(json["threads_used"].get<int>(), processors());
  EXPECT_GE(json["duration_ms"].get<std::uint64_t>(), 20000u);  // five 4000 ms windows

  ASSERT_EQ(dll.start(), 0);
  EXPECT_STREQ(dll.last_error(), "");
  dll.cancel();
  EXPECT_EQ(wait_for_close(dll), 3);
}

// Within one load, runs leave no thread, handle or heap memory behind: the
// run thread's handle is closed at its start, each worker's after its join.
TEST(DllHost, RunsLeaveNoThreadsHandlesOrHeapBehind) {
  loaded_library dll(dll_file);
  const int threads = census::thread_count();
  ASSERT_EQ(dll.start(), 0);  // a first run, so first-use costs are paid
  dll.cancel();
  ASSERT_EQ(wait_for_close(dll), 3);
  ASSERT_TRUE(census::wait_for_threads_at_most(threads, 10000));

  const int handles = census::handle_count();
  const std::size_t heap = census::busy_heap_bytes();
  for (int run = 0; run < 20; ++run) {
    ASSERT_EQ(dll.start(), 0) << "run " << run << ": " << dll.last_error();
    dll.cancel();
    ASSERT_EQ(wait_for_close(dll), 3);
    ASSERT_TRUE(census::wait_for_threads_at_most(threads, 10000)) << "run " << run;
  }
  const int handles_after = census::handle_count();
  const std::size_t heap_after = census::busy_heap_bytes();
  std::printf("20 runs: handles before %d, after %d; threads %d; busy heap before %zu, after %zu\n",
              handles, handles_after, census::thread_count(), heap, heap_after);
  EXPECT_EQ(handles_after, handles);
  EXPECT_LT(heap_after, heap + 64 * 1024);
}

// The host unloads the moment it reads the final state, while the run
// thread may still be inside the library. The thread's own module reference
// keeps the code mapped until it has left, and it gives that reference back
// as it ends, so the library really unloads: the next load starts from the
// load state, and nothing accumulates across the rounds.
TEST(DllHost, UnloadTheMomentARunClosesLoop) {
  constexpr int rounds = 50;
  int handles = 0;
  DWORD tls_index = 0;
  for (int round = 0; round < rounds; ++round) {
    {
      loaded_library dll(dll_file);
      ASSERT_EQ(dll.state(), 0) << "round " << round << ": the library was not unloaded";
      ASSERT_EQ(dll.start(), 0) << "round " << round << ": " << dll.last_error();
      dll.cancel();
      ASSERT_EQ(spin_until_closed(dll), 3);
      dll.unload();
    }
    ASSERT_TRUE(census::wait_for_module_unloaded(dll_name, 10000))
        << "round " << round << ": the run thread kept the library loaded";
    if (round == 0) {
      handles = census::handle_count();
      tls_index = census::next_tls_index();
    }
  }
  EXPECT_EQ(census::handle_count(), handles);
  EXPECT_EQ(census::next_tls_index(), tls_index);
}

// The run thread holds a module reference of its own from before it starts
// until it has left the library. Here the host gives back its only
// reference while the run is in its first 4000 ms window: the library stays
// loaded, and unloads by itself once the cancelled run's thread has ended.
// (quorvane_cancel is still safe to call then: the run cannot end, nor its
// thread give back the library, before that call has returned.)
TEST(DllHost, RunThreadKeepsTheLibraryLoadedUntilItEnds) {
  ASSERT_TRUE(census::wait_for_module_unloaded(dll_name, 10000));  // from earlier tests
  loaded_library dll(dll_file);
  ASSERT_EQ(dll.start(), 0) << dll.last_error();
  dll.unload();
  ASSERT_NE(GetModuleHandleW(dll_name), nullptr) << "the library went away under its run";
  dll.cancel();
  EXPECT_TRUE(census::wait_for_module_unloaded(dll_name, 10000))
      << "the run thread kept the library loaded";
}

// Phases 3 and 4 give every matrix worker its own thread-local matrices. A
// worker's set goes back when its thread ends, and a load that used them
// leaves no TLS index, handle or memory behind when it is unloaded.
TEST(DllHost, MatrixWorkersReleaseTheirSetsAndUnloadLeavesNothing) {
  int handles = 0;
  DWORD tls_index = 0;
  std::size_t heap = 0;
  const int threads = census::thread_count();
  for (int round = 0; round < 2; ++round) {
    {
      loaded_library dll(dll_file);
      ASSERT_EQ(dll.start(), 0) << dll.last_error();
      dll.wait_for_phase(4);
      ASSERT_EQ(dll.phase(), 4);
      Sleep(300);  // every phase 4 worker is at work on its matrices
      dll.cancel();
      ASSERT_EQ(wait_for_close(dll), 3);
      EXPECT_EQ(dll.progress(), 80);
      ASSERT_TRUE(census::wait_for_threads_at_most(threads, 10000));
    }
    ASSERT_TRUE(census::wait_for_module_unloaded(dll_name, 10000));
    if (round == 0) {
      handles = census::handle_count();
      tls_index = census::next_tls_index();
      heap = census::busy_heap_bytes();
    }
  }
  EXPECT_EQ(census::handle_count(), handles);
  EXPECT_EQ(census::next_tls_index(), tls_index);
  // 1 + processors sets of 96 KiB would stay if threads kept them.
  EXPECT_LT(census::busy_heap_bytes(), heap + matrix_set_bytes)
      << "before " << heap << " after " << census::busy_heap_bytes();
}

// The results record as the library lays it out: seven fields in order,
// each an atomic of the plain type's size and alignment.
struct results_record {
  double int_single_mops;
  double int_multi_mops;
  double fp_single_mflops;
  double fp_multi_mflops;
  double mem_bandwidth_mbps;
  std::int32_t threads_used;
  std::uint64_t duration_ms;
};
static_assert(sizeof(results_record) == 56, "record layout");

// Finds the loaded library's results record in its writable sections, by
// the values a cancelled run left in it. Returns nullptr unless exactly one
// place matches.
results_record* find_record(HMODULE module, std::int32_t threads, std::uint64_t duration) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  results_record* found = nullptr;
  int matches = 0;
  for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if ((section->Characteristics & IMAGE_SCN_MEM_WRITE) == 0) continue;
    unsigned char* start = base + section->VirtualAddress;
    const std::size_t size = section->Misc.VirtualSize;
    for (std::size_t offset = 0; offset + sizeof(results_record) <= size; offset += 8) {
      auto* record = reinterpret_cast<results_record*>(start + offset);
      if (record->threads_used == threads && record->duration_ms == duration &&
          record->int_single_mops == 0.0 && record->int_multi_mops == 0.0 &&
          record->fp_single_mflops == 0.0 && record->fp_multi_mflops == 0.0 &&
          record->mem_bandwidth_mbps == 0.0) {
        found = record;
        ++matches;
      }
    }
  }
  return matches == 1 ? found : nullptr;
}

// "%.0f" rounds an exact half to the even digit in the DLL itself (msvcrt.dll's
// formatting would print 3, 1 and 4 below). The halves are written straight
// into the loaded library's results record.
TEST(DllHost, ReportRoundsExactHalvesToEven) {
  loaded_library dll(dll_file);
  ASSERT_EQ(dll.start(), 0);
  // Cancelled some milliseconds into phase 1, so the record holds a duration
  // that marks it: with a duration of 0 it is almost all zero bytes, and
  // other places in the image can look the same.
  Sleep(30);
  dll.cancel();
  ASSERT_EQ(wait_for_close(dll), 3);
  const auto json = report(dll);
  const auto threads = json["threads_used"].get<std::int32_t>();
  const auto duration = json["duration_ms"].get<std::uint64_t>();
  results_record* record = find_record(dll.module(), threads, duration);
  ASSERT_NE(record, nullptr) << "results record not found: threads " << threads << ", duration "
                             << duration;

  // fp 15 and 3 MFLOPS are exactly 2.5 and 0.5 points.
  record->fp_single_mflops = 15.0;
  record->fp_multi_mflops = 3.0;
  record->mem_bandwidth_mbps = 3.5;
  const std::string expected =
      "{\"score_single\":2,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
      "\"fp_single_mflops\":15,\"fp_multi_mflops\":3,\"mem_bandwidth_mbps\":4,\"threads_used\":" +
      std::to_string(threads) + ",\"duration_ms\":" + std::to_string(duration) + "}";
  EXPECT_EQ(std::string(dll.results_json()), expected);
}

}  // namespace
