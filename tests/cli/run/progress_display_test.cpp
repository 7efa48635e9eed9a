// Progress lines: their text, and what each display mode writes when.
#include "run/progress_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace quorvane::host {
namespace {

TEST(PhaseWords, NameEveryPhaseAndTheGapsAroundThem) {
  EXPECT_STREQ(phase_words(0, 0), "starting");
  EXPECT_STREQ(phase_words(0, 100), "closing");
  EXPECT_STREQ(phase_words(0, 40), "closing");
  EXPECT_STREQ(phase_words(1, 2), "integer mixing, one thread");
  EXPECT_STREQ(phase_words(2, 20), "integer mixing, all processors");
  EXPECT_STREQ(phase_words(3, 40), "floating point, one thread");
  EXPECT_STREQ(phase_words(4, 60), "floating point, all processors");
  EXPECT_STREQ(phase_words(5, 80), "memory copy");
  EXPECT_STREQ(phase_words(6, 80), "unknown phase");
}

TEST(ProgressLine, ShowsBarPercentPhaseAndElapsedTime) {
  EXPECT_EQ(format_progress_line({1, 3, 40, 8.44}, 1, 1),
            "[######----------]  40%  3/5 floating point, one thread  8.4 s");
  EXPECT_EQ(format_progress_line({1, 0, 0, 0.0}, 1, 1), "[----------------]   0%  starting  0.0 s");
  EXPECT_EQ(format_progress_line({1, 5, 100, 19.96}, 2, 3),
            "run 2/3 [################] 100%  5/5 memory copy  20.0 s");
}

TEST(ProgressLine, NumberAgreesWithTheBarWithinAPhase) {
  // 3 s into phase 1 the library still says 2%; the bar has moved on.
  EXPECT_EQ(format_progress_line({1, 1, 2, 3.0}, 1, 1, 14.6),
            "[##--------------]  14%  1/5 integer mixing, one thread  3.0 s");
}

TEST(ProgressLine, SaysHowTheRunEndedOnceItHasClosed) {
  EXPECT_EQ(format_progress_line({2, 0, 100, 20.1}, 1, 1),
            "[################] 100%  finished  20.1 s");
  EXPECT_EQ(format_progress_line({3, 0, 20, 4.5}, 1, 1),
            "[###-------------]  20%  cancelled  4.5 s");
}

TEST(ProgressLine, KeepsTheBarWithinItsBoundsForOutOfRangeValues) {
  EXPECT_EQ(format_progress_line({1, 1, 250, 1}, 1, 1).substr(0, 23), "[################] 100%");
  EXPECT_EQ(format_progress_line({1, 1, -5, 1}, 1, 1).substr(0, 23), "[----------------]   0%");
}

TEST(PhaseLine, NamesThePhaseAndTheRun) {
  EXPECT_EQ(format_phase_line({1, 2, 20, 4.04}, 1, 1),
            "phase 2/5: integer mixing, all processors (4.0 s)");
  EXPECT_EQ(format_phase_line({1, 1, 2, 0.1}, 3, 4),
            "run 3/4, phase 1/5: integer mixing, one thread (0.1 s)");
}

// Captures what a display writes, through a real FILE*.
class DisplayOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = std::tmpfile();
    ASSERT_NE(file_, nullptr);
  }
  void TearDown() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  std::string written() {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    int c;
    while ((c = std::fgetc(file_)) != EOF) text.push_back(static_cast<char>(c));
    return text;
  }
  // A whole run as a host polling every half second sees it.
  static std::vector<progress_sample> whole_run() {
    std::vector<progress_sample> samples;
    samples.push_back({1, 0, 0, 0.0});
    const int progress_before[] = {2, 20, 40, 60, 80};
    for (int phase = 1; phase <= 5; ++phase) {
      for (int step = 0; step < 8; ++step) {
        const double at = (phase - 1) * 4.0 + step * 0.5 + 0.01;
        samples.push_back({1, phase, progress_before[phase - 1], at});
      }
    }
    samples.push_back({1, 0, 100, 20.05});
    return samples;
  }
  std::FILE* file_ = nullptr;
};

TEST_F(DisplayOutput, PhaseLinesModeWritesOneLinePerPhaseAndNoRedraws) {
  progress_display display(file_, progress_display::mode::phase_lines);
  display.begin_run(1, 1);
  for (const progress_sample& sample : whole_run()) display.update(sample);
  display.end_run({2, 0, 100, 20.1});
  EXPECT_EQ(written(),
            "phase 1/5: integer mixing, one thread (0.0 s)\n"
            "phase 2/5: integer mixing, all processors (4.0 s)\n"
            "phase 3/5: floating point, one thread (8.0 s)\n"
            "phase 4/5: floating point, all processors (12.0 s)\n"
            "phase 5/5: memory copy (16.0 s)\n"
            "finished in 20.1 s\n");
}

TEST_F(DisplayOutput, PhaseLinesModeStartsAfreshForEachRun) {
  progress_display display(file_, progress_display::mode::phase_lines);
  display.begin_run(1, 2);
  display.update({1, 1, 2, 0.1});
  display.end_run({3, 0, 20, 1.0});
  display.begin_run(2, 2);
  display.update({1, 1, 2, 0.1});
  EXPECT_EQ(written(),
            "run 1/2, phase 1/5: integer mixing, one thread (0.1 s)\n"
            "run 1/2: cancelled after 1.0 s\n"
            "run 2/2, phase 1/5: integer mixing, one thread (0.1 s)\n");
}

TEST_F(DisplayOutput, RedrawModeRedrawsInPlaceAFewTimesASecond) {
  progress_display display(file_, progress_display::mode::redraw);
  display.begin_run(1, 1);
  const std::vector<progress_sample> samples = whole_run();
  for (const progress_sample& sample : samples) display.update(sample);
  const std::string text = written();
  EXPECT_EQ(text.find('\n'), std::string::npos) << "a redrawn line never ends while running";
  // Polls half a second apart are each drawn.
  EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r')), samples.size());

  display.end_run({2, 0, 100, 20.1});
  const std::string ended = written();
  EXPECT_EQ(ended.back(), '\n');
  EXPECT_NE(ended.find("\r[################] 100%  finished  20.1 s"), std::string::npos);
}

TEST_F(DisplayOutput, RedrawModeSkipsPollsThatBringNothingNew) {
  progress_display display(file_, progress_display::mode::redraw);
  display.begin_run(1, 1);
  display.update({1, 1, 2, 1.00});
  display.update({1, 1, 2, 1.05});   // too soon, nothing changed: not drawn
  display.update({1, 1, 2, 1.10});   // still too soon
  display.update({1, 1, 2, 1.30});   // a quarter second on: drawn
  display.update({1, 2, 20, 1.35});  // the phase changed: drawn at once
  const std::string text = written();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3) << text;
  EXPECT_EQ(text.find("1.1 s"), std::string::npos) << text;
}

TEST_F(DisplayOutput, RedrawModeWipesWhatALongerLineLeftBehind) {
  progress_display display(file_, progress_display::mode::redraw);
  display.begin_run(1, 1);
  display.update({1, 4, 60, 12.0});  // "... floating point, all processors ..."
  display.update({1, 5, 80, 16.0});  // "... memory copy ...": shorter
  const std::string text = written();
  const std::size_t second = text.rfind('\r');
  const std::string first_line = text.substr(1, second - 1);
  const std::string second_line = text.substr(second + 1);
  EXPECT_EQ(second_line.size(), first_line.size());
  const std::string shorter = "5/5 memory copy  16.0 s";
  const std::size_t shown = second_line.find(shorter);
  ASSERT_NE(shown, std::string::npos) << second_line;
  // Only spaces follow the shorter text.
  EXPECT_EQ(second_line.find_last_not_of(' '), shown + shorter.size() - 1);
}

TEST_F(DisplayOutput, ProgressLinesEndTheRedrawnLineFirst) {
  progress_display display(file_, progress_display::mode::redraw);
  display.begin_run(1, 2);
  display.update({1, 5, 80, 16.0});
  display.line("run 1/2: single-thread score 400, multi-thread score 600");
  const std::string text = written();
  EXPECT_NE(text.find(" s\nrun 1/2: single-thread score 400, multi-thread score 600\n"),
            std::string::npos)
      << text;
}

TEST(BarEstimate, MovesWithThePhaseWindowAndStopsShortOfThePhaseEnd) {
  EXPECT_DOUBLE_EQ(estimate_bar_percent(1, 2, 0.0), 2.0);
  EXPECT_DOUBLE_EQ(estimate_bar_percent(1, 2, 2.0), 11.0);  // halfway from 2 to 20
  EXPECT_DOUBLE_EQ(estimate_bar_percent(3, 40, 1.0), 45.0);
  // A window that runs long never shows the phase as done.
  EXPECT_DOUBLE_EQ(estimate_bar_percent(3, 40, 9.0), 59.0);
  // The library's own value wins when it is ahead; outside phases it is all.
  EXPECT_DOUBLE_EQ(estimate_bar_percent(3, 60, 0.0), 60.0);
  EXPECT_DOUBLE_EQ(estimate_bar_percent(0, 100, 3.0), 100.0);
  EXPECT_DOUBLE_EQ(estimate_bar_percent(0, 0, 3.0), 0.0);
}

// The bar's cells in every drawing of the text, in order.
std::vector<int> bar_fills(const std::string& text) {
  std::vector<int> fills;
  for (std::size_t at = text.find("\r["); at != std::string::npos; at = text.find("\r[", at + 1)) {
    int filled = 0;
    while (text[at + 2 + static_cast<std::size_t>(filled)] == '#') ++filled;
    fills.push_back(filled);
  }
  return fills;
}

TEST_F(DisplayOutput, RedrawnBarMovesInsideAPhaseNeverBackAndEndsFull) {
  progress_display display(file_, progress_display::mode::redraw);
  display.begin_run(1, 1);
  for (const progress_sample& sample : whole_run()) display.update(sample);
  // A phase seen late (a slow poll) must not pull the bar back either.
  display.update({1, 5, 80, 19.9});
  display.end_run({2, 0, 100, 20.1});
  const std::vector<int> fills = bar_fills(written());
  ASSERT_GE(fills.size(), 10U);
  EXPECT_TRUE(std::is_sorted(fills.begin(), fills.end()));
  EXPECT_EQ(fills.back(), 16);
  // Within phase 1 (library progress 2 throughout) the bar grows.
  EXPECT_GT(fills[8], fills[1]);
}

TEST_F(DisplayOutput, SilentModeWritesNothing) {
  progress_display display(file_, progress_display::mode::silent);
  display.begin_run(1, 1);
  for (const progress_sample& sample : whole_run()) display.update(sample);
  display.line("a result line");
  display.end_run({2, 0, 100, 20.1});
  EXPECT_EQ(written(), "");
}

}  // namespace
}  // namespace quorvane::host
