// Sixteen host threads call quorvane_start at the same moment, round after
// round: exactly one start is accepted each round, whatever the timing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "legal_values.h"
#include "stress_support.h"

namespace {

constexpr int starters = 16;

// Holds every starter at the line until all of them have arrived, then lets
// them go at once, round after round.
class start_line {
 public:
  // A starter's side: announces itself for round r and waits for the go.
  // Returns false when the test is being abandoned.
  bool arrive_and_wait(int round) {
    arrived_.fetch_add(1);
    while (go_.load() < round) {
      if (quit_.load()) return false;
      std::this_thread::yield();
    }
    return true;
  }
  void report_done() { done_.fetch_add(1); }

  // The controller's side.
  void release_when_all_arrived(int round) {
    while (arrived_.load() < starters * (round + 1)) std::this_thread::yield();
    go_.store(round);
  }
  void wait_all_done(int round) {
    while (done_.load() < starters * (round + 1)) std::this_thread::yield();
  }
  void quit() { quit_.store(true); }

 private:
  std::atomic<int> arrived_{0};
  std::atomic<int> done_{0};
  std::atomic<int> go_{-1};
  std::atomic<bool> quit_{false};
};

TEST(Stress, SixteenSimultaneousStartsAcceptExactlyOneEachRound) {
  loaded_library lib(stress::library_path);
  const int total_rounds = stress::rounds(1000);
  start_line line;
  int results[starters] = {};

  std::vector<std::thread> threads;
  for (int i = 0; i < starters; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < total_rounds; ++round) {
        if (!line.arrive_and_wait(round)) return;
        results[i] = lib.start();
        line.report_done();
      }
    });
  }

  std::string failure;
  int rounds_run = 0;
  long accepted_total = 0;
  long refused_total = 0;
  for (int round = 0; round < total_rounds && failure.empty(); ++round) {
    line.release_when_all_arrived(round);
    line.wait_all_done(round);
    int accepted = 0;
    int refused = 0;
    for (const int result : results) {
      if (result == 0) ++accepted;
      if (result == -1) ++refused;
    }
    accepted_total += accepted;
    refused_total += refused;
    const int state_while_running = lib.state();
    const std::string error = stress::read_error_text(lib.last_error());
    lib.cancel();
    const int final_state = stress::wait_for_final(lib);
    ++rounds_run;

    const std::string where = "round " + std::to_string(round) + ": ";
    if (accepted != 1 || refused != starters - 1) {
      failure =
          where + std::to_string(accepted) + " accepted, " + std::to_string(refused) + " refused";
    } else if (state_while_running != 1) {
      failure = where + "state " + std::to_string(state_while_running) + " after the starts";
    } else if (error != "already running") {
      failure = where + "last error \"" + error + "\"";
    } else if (final_state != 3) {
      failure = where + "cancelled run closed with state " + std::to_string(final_state);
    } else if (lib.phase() != 0) {
      failure = where + "phase " + std::to_string(lib.phase()) + " after the close";
    }
  }
  line.quit();
  for (auto& thread : threads) thread.join();

  std::printf("rounds %d, starts accepted %ld, refused %ld\n", rounds_run, accepted_total,
              refused_total);
  EXPECT_EQ(failure, "");
  EXPECT_EQ(rounds_run, total_rounds);
}

}  // namespace
