// Showing a run's progress: a line redrawn in place on a terminal, or one
// plain line per phase change anywhere else.
#ifndef QUORVANE_TOOLS_RUN_PROGRESS_DISPLAY_H
#define QUORVANE_TOOLS_RUN_PROGRESS_DISPLAY_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "phase_names.h"

namespace quorvane::host {

// What the host read from the library at one poll.
struct progress_sample {
  int state = 0;
  int phase = 0;
  int progress = 0;
  double elapsed_seconds = 0;  // since the host started the run
};

// Each phase's window, the span over which the bar moves within a phase.
constexpr double phase_window_seconds = 4.0;

// Where the bar stands seconds_in_phase after the host first saw phase:
// from the progress the phase starts at towards the one it ends at, in
// step with its window, but short of the end until the library reports it;
// never below the library's own progress.
double estimate_bar_percent(int phase, int progress, double seconds_in_phase);

// The terminal line, without the carriage return that redraws it:
// "[######----------]  40%  3/5 floating point, one thread  8.4 s",
// prefixed by "run 2/3 " when runs > 1. Once the run has closed (state 2 or
// 3) the words say "finished" or "cancelled". The bar and the percent beside
// it both show bar_percent, or the library's own progress when it is
// negative.
std::string format_progress_line(const progress_sample& sample, int run, int runs,
                                 double bar_percent = -1);

// The plain line for a phase change: "phase 3/5: floating point, one thread
// (8.0 s)", prefixed by "run 2/3, " when runs > 1.
std::string format_phase_line(const progress_sample& sample, int run, int runs);

class progress_display {
 public:
  enum class mode { redraw, phase_lines, silent };

  // Progress goes to out; notes (interrupts) always go to standard error.
  progress_display(std::FILE* out, mode how);

  void begin_run(int run, int runs);
  // Called at every poll; draws only when there is something new to show
  // (redraw mode: a change, or a quarter of a second gone by).
  void update(const progress_sample& sample);
  // Called once when the run has closed (state 2 or 3).
  void end_run(const progress_sample& sample);
  // A line of progress text that stays (the result of one run of several).
  void line(const std::string& text);
  // A message to standard error, shown even in silent mode.
  void note(const std::string& text);

 private:
  // Ends a redrawn line so other text starts on a line of its own.
  void break_line();
  void draw(const progress_sample& sample);

  std::FILE* out_;
  mode mode_;
  int run_ = 1;
  int runs_ = 1;
  int last_phase_ = -1;
  int last_progress_ = -1;
  double phase_seen_seconds_ = 0;  // when the host first saw the phase
  double bar_percent_ = 0;         // never goes back within a run
  double last_draw_seconds_ = -1;
  std::size_t drawn_width_ = 0;  // characters of the line now on screen
};

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RUN_PROGRESS_DISPLAY_H
