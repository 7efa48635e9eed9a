// The real built library, loaded with dlopen as a host loads it: whole runs,
// cancels, restarts and unloading.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sched.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "library_path.h"
#include "loaded_library.h"
#include "usable_processors.h"

namespace {

const std::string library_path = quorvane_library_path;

int wait_for_close(const loaded_library& lib) {
  const int state = lib.wait_for_close(std::chrono::seconds(120));
  if (state != 2 && state != 3) ADD_FAILURE() << "run did not close";
  return state;
}

TEST(HostRun, FullRunThenRestart) {
  loaded_library lib(library_path);
  EXPECT_STREQ(lib.version(), "1.0.0");
  ASSERT_EQ(lib.start(), 0);
  std::vector<int> phases;
  while (lib.state() == 1) {
    const int phase = lib.phase();
    if (phase != 0 && (phases.empty() || phases.back() != phase)) phases.push_back(phase);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(lib.state(), 2);
  EXPECT_EQ(phases, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(lib.progress(), 100);
  EXPECT_EQ(lib.phase(), 0);

  const std::string text = lib.results_json();
  EXPECT_EQ(text.find_first_of(" \n\t"), std::string::npos) << text;
  const auto json = nlohmann::ordered_json::parse(text);
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"score_single", "score_multi", "int_single_mops",
                                            "int_multi_mops", "fp_single_mflops", "fp_multi_mflops",
                                            "mem_bandwidth_mbps", "threads_used", "duration_ms"}));
  for (const char* key : {"int_single_mops", "int_multi_mops", "fp_single_mflops",
                          "fp_multi_mflops", "mem_bandwidth_mbps", "score_single", "score_multi"}) {
    EXPECT_GT(json[key].get<double>(), 0.0) << key;
  }
  EXPECT_EQ(json["threads_used"].get<int>(), usable_processors());
  // Five windows of at least 4000 ms each; far less than a minute more.
  const auto duration = json["duration_ms"].get<std::uint64_t>();
  EXPECT_GE(duration, 20000u);
  EXPECT_LT(duration, 80000u);

  // The library runs again after a finished run.
  ASSERT_EQ(lib.start(), 0);
  EXPECT_STREQ(lib.last_error(), "");
  EXPECT_EQ(lib.start(), -1);
  EXPECT_STREQ(lib.last_error(), "already running");
  lib.cancel();
  EXPECT_EQ(wait_for_close(lib), 3);
}

TEST(HostRun, CancelDuringEachPhase) {
  loaded_library lib(library_path);
  // Phases 1 and 2 end at a poll of the load runner, phase 5 at a copy-loop test.
  for (const int phase : {1, 2, 5}) {
    ASSERT_EQ(lib.start(), 0);
    lib.wait_for_phase(phase);
    ASSERT_EQ(lib.phase(), phase);
    lib.cancel();
    ASSERT_EQ(wait_for_close(lib), 3);
    EXPECT_EQ(lib.phase(), 0);
    const auto json = nlohmann::json::parse(lib.results_json());
    if (phase < 5) {
      EXPECT_EQ(lib.progress(), 20 * phase);
      EXPECT_EQ(json["int_single_mops"].get<double>(), 0.0);
      EXPECT_EQ(json["mem_bandwidth_mbps"].get<double>(), 0.0);
    } else {
      EXPECT_EQ(lib.progress(), 100);
      EXPECT_GT(json["fp_multi_mflops"].get<double>(), 0.0);
    }
    EXPECT_GT(json["duration_ms"].get<std::uint64_t>(), 0u);
  }
}

// The host unloads as soon as it reads the final state. The run thread is
// then still leaving the library's code, so the library must stay mapped
// until it has; this loop would crash intermittently if it did not.
TEST(HostRun, LoadStartCancelUnloadLoop) {
  for (int round = 0; round < 40; ++round) {
    loaded_library lib(library_path);
    ASSERT_EQ(lib.start(), 0) << lib.last_error();
    lib.cancel();
    ASSERT_EQ(wait_for_close(lib), 3);
    lib.unload();
  }
}

TEST(HostRun, LibraryStaysResidentOnceARunHasStarted) {
  {
    loaded_library lib(library_path);
    ASSERT_EQ(lib.start(), 0);
    lib.cancel();
    ASSERT_EQ(wait_for_close(lib), 3);
  }
  // The last handle is closed, yet the object is still mapped.
  void* again = dlopen(library_path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(again, nullptr);
  dlclose(again);
}

// As under "taskset -c 0": the starting thread may run on one processor
// only, so the run thread it creates may too, and the run counts 1 however
// many are online. threads_used is set at the run's opening, so a cancelled
// run shows it.
TEST(HostRun, OneUsableProcessorGivesThreadsUsed1) {
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  int first = 0;
  while (!CPU_ISSET(first, &all)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);

  loaded_library lib(library_path);
  ASSERT_EQ(lib.start(), 0);
  lib.cancel();
  const int state = wait_for_close(lib);
  sched_setaffinity(0, sizeof all, &all);
  ASSERT_EQ(state, 3);
  EXPECT_EQ(nlohmann::json::parse(lib.results_json())["threads_used"].get<int>(), 1);
}

}  // namespace
