// Eight host threads call start, cancel, state, phase, progress and
// last_error at random while runs go on, and one more thread reads the
// report (the report buffer is shared, so it is the only one asking): every
// value any of them reads must be one the library may return.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "legal_values.h"
#include "stress_support.h"
#include "usable_processors.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int storm_threads = 8;

enum call_kind {
  call_start,
  call_cancel,
  call_state,
  call_phase,
  call_progress,
  call_error,
  kinds
};
const char* const call_names[kinds] = {"start", "cancel",   "state",
                                       "phase", "progress", "last_error"};

// What every thread records, and what the controller steers.
class storm_board {
 public:
  // Chance, in thousandths, that a storm call is a cancel; the controller
  // changes it from stage to stage.
  std::atomic<int> cancel_per_mille{0};
  // While false, the storm's starts become state reads.
  std::atomic<bool> starts_allowed{true};
  std::atomic<bool> stop{false};

  void violation(const std::string& what) {
    violations_.fetch_add(1);
    const std::lock_guard<std::mutex> hold(mutex_);
    if (first_violation_.empty()) first_violation_ = what;
  }
  long violations() const { return violations_.load(); }
  std::string first_violation() {
    const std::lock_guard<std::mutex> hold(mutex_);
    return first_violation_;
  }

  // Sightings of states and phases, live, so the controller can wait for
  // one; a flag is only written when it changes.
  void saw_state(int state) { mark(states_[state]); }
  void saw_phase(int phase) { mark(phases_[phase]); }
  bool seen_state(int state) const { return states_[state].load(); }
  bool seen_phase(int phase) const { return phases_[phase].load(); }
  void forget_state(int state) { states_[state].store(false); }
  void forget_phase(int phase) { phases_[phase].store(false); }

 private:
  static void mark(std::atomic<bool>& flag) {
    if (!flag.load(std::memory_order_relaxed)) flag.store(true);
  }
  std::atomic<long> violations_{0};
  std::mutex mutex_;
  std::string first_violation_;
  std::atomic<bool> states_[4] = {};
  std::atomic<bool> phases_[6] = {};
};

// One storm thread's counts, merged after the storm.
struct storm_tally {
  long calls[kinds] = {};
  long starts_accepted = 0;
  long state_seen[4] = {};
  long phase_seen[6] = {};
  long progress_seen[101] = {};
};

void storm(loaded_library& lib, storm_board& board, storm_tally& tally, unsigned seed) {
  std::minstd_rand random(seed);
  std::uniform_int_distribution<int> per_mille(0, 999);
  std::uniform_int_distribution<int> pick(0, 9);
  long calls = 0;
  while (!board.stop.load(std::memory_order_relaxed)) {
    if (++calls % 64 == 0) std::this_thread::yield();
    call_kind kind;
    if (per_mille(random) < board.cancel_per_mille.load(std::memory_order_relaxed)) {
      kind = call_cancel;
    } else {
      // One call in ten is a start; the rest read.
      const int choice = pick(random);
      kind = choice == 0   ? call_start
             : choice <= 3 ? call_state
             : choice <= 5 ? call_phase
             : choice <= 7 ? call_progress
                           : call_error;
      if (kind == call_start && !board.starts_allowed.load(std::memory_order_relaxed)) {
        kind = call_state;
      }
    }
    ++tally.calls[kind];
    switch (kind) {
      case call_start: {
        const int result = lib.start();
        if (result == 0) ++tally.starts_accepted;
        if (result != 0 && result != -1)
          board.violation("start returned " + std::to_string(result));
        break;
      }
      case call_cancel:
        lib.cancel();
        break;
      case call_state: {
        const int state = lib.state();
        if (!stress::legal_state(state)) {
          board.violation("state " + std::to_string(state));
        } else {
          ++tally.state_seen[state];
          board.saw_state(state);
        }
        break;
      }
      case call_phase: {
        const int phase = lib.phase();
        if (!stress::legal_phase(phase)) {
          board.violation("phase " + std::to_string(phase));
        } else {
          ++tally.phase_seen[phase];
          board.saw_phase(phase);
        }
        break;
      }
      case call_progress: {
        const int progress = lib.progress();
        if (!stress::legal_progress(progress)) {
          board.violation("progress " + std::to_string(progress));
        } else {
          ++tally.progress_seen[progress];
        }
        break;
      }
      case call_error: {
        // Only refused starts happen here, so only these two texts exist.
        const std::string text = stress::read_error_text(lib.last_error());
        if (!text.empty() && text != "already running") board.violation("last error " + text);
        break;
      }
      default:
        break;
    }
  }
}

long read_reports(loaded_library& lib, storm_board& board) {
  const int processors = usable_processors();
  long reports = 0;
  while (!board.stop.load(std::memory_order_relaxed)) {
    const std::string text = lib.results_json();
    const std::string problem = stress::report_problem(text, processors);
    if (!problem.empty()) board.violation("report " + problem);
    ++reports;
    if (reports % 16 == 0) std::this_thread::yield();
  }
  return reports;
}

// Waits until check() holds or the limit passes; returns whether it held.
template <typename Check>
bool wait_until(Check check, seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!check()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(2));
  }
  return true;
}

TEST(Stress, CallStormDuringRunsReadsOnlyLegalValues) {
  loaded_library lib(stress::library_path);
  storm_board board;
  std::vector<storm_tally> tallies(storm_threads);
  std::vector<std::thread> threads;
  for (int i = 0; i < storm_threads; ++i) {
    threads.emplace_back(storm, std::ref(lib), std::ref(board), std::ref(tallies[i]),
                         static_cast<unsigned>(i + 1));
  }
  long reports = 0;
  std::thread reporter([&] { reports = read_reports(lib, board); });

  const auto began = std::chrono::steady_clock::now();
  const auto seconds_since = [](std::chrono::steady_clock::time_point then) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - then).count();
  };

  // Stage 1: cancels among the calls, so runs are started and cut short
  // over and over, mostly in their first phase.
  board.cancel_per_mille.store(20);
  std::this_thread::sleep_for(seconds(3 * stress::rounds(1)));

  // Stage 2: no cancels, and no starts while a run is going or has just
  // finished, so a run goes to its end under the storm of the other calls
  // and its final state stays until the storm has read it. (With starts
  // going on, the next run replaces state 2 within microseconds, and a slow
  // build's storm can miss it for minutes.) A run cut short by a cancel
  // already in flight lets the starts through again.
  board.cancel_per_mille.store(0);
  board.forget_state(2);
  const auto stage_2 = std::chrono::steady_clock::now();
  const bool finished = wait_until(
      [&] {
        if (board.seen_state(2)) return true;
        const int state = lib.state();
        board.starts_allowed.store(state == 0 || state == 3);
        return false;
      },
      seconds(120));
  board.starts_allowed.store(true);
  const double stage_2_seconds = seconds_since(stage_2);

  // Stage 3: a run that has reached phase 4 (matrix workers on every
  // processor) is cancelled by the storm, and the churn goes on a while.
  board.forget_phase(4);
  const auto stage_3 = std::chrono::steady_clock::now();
  const bool reached_phase_4 = wait_until([&] { return board.seen_phase(4); }, seconds(120));
  const double stage_3_seconds = seconds_since(stage_3);
  board.cancel_per_mille.store(20);
  std::this_thread::sleep_for(seconds(1));

  board.stop.store(true);
  for (auto& thread : threads) thread.join();
  reporter.join();
  lib.cancel();
  const int final_state = stress::wait_for_final(lib);

  storm_tally total;
  for (const auto& tally : tallies) {
    for (int k = 0; k < kinds; ++k) total.calls[k] += tally.calls[k];
    total.starts_accepted += tally.starts_accepted;
    for (int s = 0; s < 4; ++s) total.state_seen[s] += tally.state_seen[s];
    for (int p = 0; p < 6; ++p) total.phase_seen[p] += tally.phase_seen[p];
    for (int p = 0; p <= 100; ++p) total.progress_seen[p] += tally.progress_seen[p];
  }
  std::printf("calls:");
  for (int k = 0; k < kinds; ++k) std::printf(" %s %ld", call_names[k], total.calls[k]);
  std::printf("; runs started %ld; reports checked %ld\n", total.starts_accepted, reports);
  std::printf("states seen:");
  for (int s = 0; s < 4; ++s) std::printf(" %d:%ld", s, total.state_seen[s]);
  std::printf("; phases seen:");
  for (int p = 0; p < 6; ++p) std::printf(" %d:%ld", p, total.phase_seen[p]);
  std::printf("; progress seen:");
  for (const int p : {0, 2, 20, 40, 60, 80, 100}) std::printf(" %d:%ld", p, total.progress_seen[p]);
  std::printf("\nillegal values: %ld\n", board.violations());
  std::printf("storm %.1f s: until a run finished %.1f s, until the next reached phase 4 %.1f s\n",
              seconds_since(began), stage_2_seconds, stage_3_seconds);

  EXPECT_EQ(board.violations(), 0) << board.first_violation();
  EXPECT_TRUE(finished) << "no run finished under the storm";
  EXPECT_TRUE(reached_phase_4) << "no run reached phase 4 under the storm";
  EXPECT_EQ(final_state, 3);
  // The storm really covered the run's life: every state a run passes
  // through and every phase.
  for (int s = 1; s <= 3; ++s) EXPECT_GT(total.state_seen[s], 0) << "state " << s;
  for (int p = 1; p <= 5; ++p) EXPECT_GT(total.phase_seen[p], 0) << "phase " << p;
  EXPECT_GT(reports, 0);
}

}  // namespace
