// Start, refusal, failed thread creation, cancel and restart, through the
// exported functions with the fake platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "control/run_state.h"
#include "fake_platform.h"
#include "run_helpers.h"
#include "test_thread.h"

namespace {

using testing_support::latch;
using testing_support::report;
using testing_support::wait_for_close;

TEST(RunControl, FreshLibraryIsIdleAndEmpty) {
  // Each test runs in a process of its own, so this sees the load state.
  EXPECT_STREQ(quorvane_version(), "1.0.0");
  EXPECT_STREQ(quorvane_last_error(), "");
  EXPECT_EQ(quorvane_state(), 0);
  EXPECT_EQ(quorvane_phase(), 0);
  EXPECT_EQ(quorvane_progress(), 0);
  EXPECT_STREQ(quorvane_results_json(),
               "{\"score_single\":0,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
               "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":0,"
               "\"threads_used\":0,\"duration_ms\":0}");
  EXPECT_EQ(quorvane_last_error(), quorvane_last_error()) << "the same library-owned buffer";
}

TEST(RunControl, StartWhileRunningIsRefusedAndRunGoesOn) {
  fake::reset();
  latch hold;
  latch held;
  // Phase 2's first poll: both of its workers exist by then.
  fake::settings().on_sleep = [&](std::uint32_t) {
    if (quorvane_phase() == 2) {
      held.open();
      hold.wait();
    }
  };
  ASSERT_EQ(quorvane_start(), 0);
  held.wait();
  const int progress = quorvane_progress();

  EXPECT_EQ(quorvane_start(), -1);
  EXPECT_STREQ(quorvane_last_error(), "already running");
  EXPECT_EQ(quorvane_state(), 1);
  EXPECT_EQ(quorvane_phase(), 2);
  EXPECT_EQ(quorvane_progress(), progress);
  EXPECT_EQ(fake::count().threads_created.load() - fake::count().threads_joined.load(), 1 + 2)
      << "the refused start created no run thread";

  hold.open();
  EXPECT_EQ(wait_for_close(), 2) << "the run goes on to finish";
  EXPECT_STREQ(quorvane_last_error(), "already running") << "the text outlives the run";
  ASSERT_EQ(quorvane_start(), 0);
  EXPECT_STREQ(quorvane_last_error(), "") << "the next accepted start empties it";
  wait_for_close();
}

TEST(RunControl, FailedRunThreadLeavesIdleStateAndPreviousResults) {
  fake::reset();
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 2);
  const std::string previous = quorvane_results_json();

  fake::reset();
  fake::settings().allow_thread = [](int) { return false; };
  quorvane_cancel();
  EXPECT_EQ(quorvane_start(), -1);
  EXPECT_STREQ(quorvane_last_error(), "thread create failed");
  EXPECT_EQ(quorvane_state(), 0) << "idle whatever it was before";
  EXPECT_EQ(quorvane_phase(), 0);
  EXPECT_EQ(quorvane_progress(), 0);
  EXPECT_EQ(quorvane::g_cancel.load(), 0) << "the start passed the running test and reset it";
  EXPECT_EQ(previous, quorvane_results_json());
  EXPECT_EQ(fake::count().module_refs.load(), 0) << "the module reference is given back";

  // The library can start again once threads can be created.
  fake::reset();
  ASSERT_EQ(quorvane_start(), 0);
  EXPECT_EQ(wait_for_close(), 2);
}

TEST(RunControl, CancelBeforeStartHasNoEffect) {
  fake::reset();
  quorvane_cancel();
  ASSERT_EQ(quorvane_start(), 0);
  EXPECT_EQ(wait_for_close(), 2);
  EXPECT_EQ(quorvane_progress(), 100);
}

TEST(RunControl, RestartShowsPhaseAndProgressZeroAndOldReportUntilOpening) {
  fake::reset();
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(wait_for_close(), 2);
  const std::string previous = quorvane_results_json();

  fake::reset();
  int phase_at_opening = -1;
  int progress_at_opening = -1;
  std::string report_at_opening;
  // The run thread reads the processor count first thing at its opening.
  fake::settings().on_processor_count = [&] {
    phase_at_opening = quorvane_phase();
    progress_at_opening = quorvane_progress();
    report_at_opening = quorvane_results_json();
  };
  ASSERT_EQ(quorvane_start(), 0);
  EXPECT_EQ(wait_for_close(), 2);
  EXPECT_EQ(phase_at_opening, 0);
  EXPECT_EQ(progress_at_opening, 0);
  EXPECT_EQ(report_at_opening, previous);
}

TEST(RunControl, ConcurrentStartsAcceptExactlyOne) {
  for (int round = 0; round < 20; ++round) {
    fake::reset();
    fake::settings().real_sleep_us = 0;
    // The accepted run is held at its opening until every starter has
    // returned: a fake run without real sleeps ends within milliseconds,
    // and a starter woken later than that (Windows sleeps in steps of
    // several milliseconds) would rightly be accepted for a second run.
    latch starters_returned;
    fake::settings().on_processor_count = [&] { starters_returned.wait(); };
    latch go;
    std::atomic<int> accepted{0};
    std::atomic<int> refused{0};
    std::vector<testing_support::test_thread> starters;
    for (int i = 0; i < 8; ++i) {
      starters.emplace_back([&] {
        go.wait();
        (quorvane_start() == 0 ? accepted : refused).fetch_add(1);
      });
    }
    go.open();
    for (auto& starter : starters) starter.join();
    starters_returned.open();
    EXPECT_EQ(accepted.load(), 1) << "round " << round;
    EXPECT_EQ(refused.load(), 7) << "round " << round;
    quorvane_cancel();
    wait_for_close();
  }
}

// A run is held in phase 1 while sixteen host threads each start, are
// refused, and read the text with plain loads, as a C host does. The refusal
// finds "already running" in place and writes nothing, so under
// ThreadSanitizer these reads race with no write.
TEST(RunControl, RefusedStartsLeaveTheTextInPlaceForPlainReaders) {
  fake::reset();
  latch hold;
  // Holds the run in its window's poll. A start that waits for another at the
  // start gate sleeps 0 ms: holding that one too would hold a host thread
  // until the joins below, which never come.
  fake::settings().on_sleep = [&](std::uint32_t ms) {
    if (ms != 0) hold.wait();
  };
  ASSERT_EQ(quorvane_start(), 0);
  ASSERT_EQ(quorvane_start(), -1);  // puts "already running" in place
  latch go;
  std::atomic<int> read_as_expected{0};
  std::vector<testing_support::test_thread> hosts;
  for (int i = 0; i < 16; ++i) {
    hosts.emplace_back([&] {
      go.wait();
      if (quorvane_start() != -1) return;
      std::string text;
      for (const char* p = quorvane_last_error(); *p != '\0'; ++p) text += *p;
      if (text == "already running") read_as_expected.fetch_add(1);
    });
  }
  go.open();
  for (auto& host : hosts) host.join();
  EXPECT_EQ(read_as_expected.load(), 16);
  hold.open();
  quorvane_cancel();
  EXPECT_EQ(wait_for_close(), 3);
}

// Sixteen host threads start at once, twenty times over, as a host does when
// two buttons start a run; each refused thread reads the text with plain
// loads right after its start returns, as a C host does. Under
// ThreadSanitizer no read may race with the refusal that writes the text or
// with the accepted start that empties the previous round's text.
TEST(RunControl, SimultaneousStartersReadTheirRefusalWithPlainLoads) {
  for (int round = 0; round < 20; ++round) {
    fake::reset();
    fake::settings().real_sleep_us = 0;
    latch starters_returned;
    fake::settings().on_processor_count = [&] { starters_returned.wait(); };
    latch go;
    std::atomic<int> accepted{0};
    std::atomic<int> read_as_expected{0};
    std::vector<testing_support::test_thread> hosts;
    for (int i = 0; i < 16; ++i) {
      hosts.emplace_back([&] {
        go.wait();
        if (quorvane_start() == 0) {
          accepted.fetch_add(1);
          return;
        }
        std::string text;
        for (const char* p = quorvane_last_error(); *p != '\0'; ++p) text += *p;
        if (text == "already running") read_as_expected.fetch_add(1);
      });
    }
    go.open();
    for (auto& host : hosts) host.join();
    starters_returned.open();
    EXPECT_EQ(accepted.load(), 1) << "round " << round;
    EXPECT_EQ(read_as_expected.load(), 15) << "round " << round;
    quorvane_cancel();
    wait_for_close();
  }
}

}  // namespace
