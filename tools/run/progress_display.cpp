// Progress shown while a run is in progress.
#include "run/progress_display.h"

#include <algorithm>

namespace quorvane::host {
namespace {

constexpr int phase_count = run_phase_count;
constexpr int bar_width = 16;
// A few redraws a second: the elapsed time moves visibly, the terminal is
// not flooded.
constexpr double redraw_interval_seconds = 0.25;

std::string run_prefix(int run, int runs, const char* separator) {
  if (runs <= 1) return std::string();
  return "run " + std::to_string(run) + "/" + std::to_string(runs) + separator;
}

}  // namespace

double estimate_bar_percent(int phase, int progress, double seconds_in_phase) {
  const double reported = std::clamp(progress, 0, 100);
  if (phase < 1 || phase > phase_count) return reported;
  const double phase_end = 100.0 * phase / phase_count;
  const double phase_start = std::max(reported, phase_end - 100.0 / phase_count);
  const double share = std::clamp(seconds_in_phase / phase_window_seconds, 0.0, 1.0);
  // One point short of the end: the phase is done when the library says so.
  const double estimate = std::min(phase_start + share * (phase_end - phase_start), phase_end - 1);
  return std::max(reported, estimate);
}

std::string format_progress_line(const progress_sample& sample, int run, int runs,
                                 double bar_percent) {
  const double shown =
      bar_percent < 0 ? std::clamp(sample.progress, 0, 100) : std::clamp(bar_percent, 0.0, 100.0);
  // The number is the bar's own: a bar that moves while the number stands
  // still would say two different things.
  const int percent = static_cast<int>(shown);
  const int filled = static_cast<int>(shown * bar_width / 100.0);
  std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(bar_width - filled), '-') + "]";
  char text[160];
  if (sample.state == 2 || sample.state == 3) {
    std::snprintf(text, sizeof text, "%s %3d%%  %s  %.1f s", bar.c_str(), percent,
                  sample.state == 2 ? "finished" : "cancelled", sample.elapsed_seconds);
  } else if (sample.phase >= 1 && sample.phase <= phase_count) {
    std::snprintf(text, sizeof text, "%s %3d%%  %d/%d %s  %.1f s", bar.c_str(), percent,
                  sample.phase, phase_count, phase_words(sample.phase, sample.progress),
                  sample.elapsed_seconds);
  } else {
    std::snprintf(text, sizeof text, "%s %3d%%  %s  %.1f s", bar.c_str(), percent,
                  phase_words(sample.phase, sample.progress), sample.elapsed_seconds);
  }
  return run_prefix(run, runs, " ") + text;
}

std::string format_phase_line(const progress_sample& sample, int run, int runs) {
  char text[160];
  std::snprintf(text, sizeof text, "phase %d/%d: %s (%.1f s)", sample.phase, phase_count,
                phase_words(sample.phase, sample.progress), sample.elapsed_seconds);
  return run_prefix(run, runs, ", ") + text;
}

progress_display::progress_display(std::FILE* out, mode how) : out_(out), mode_(how) {}

void progress_display::begin_run(int run, int runs) {
  run_ = run;
  runs_ = runs;
  last_phase_ = -1;
  last_progress_ = -1;
  last_draw_seconds_ = -1;
  phase_seen_seconds_ = 0;
  bar_percent_ = 0;
}

void progress_display::update(const progress_sample& sample) {
  const bool phase_changed = sample.phase != last_phase_;
  const bool progress_changed = sample.progress != last_progress_;
  if (phase_changed) phase_seen_seconds_ = sample.elapsed_seconds;
  bar_percent_ =
      std::max(bar_percent_, estimate_bar_percent(sample.phase, sample.progress,
                                                  sample.elapsed_seconds - phase_seen_seconds_));
  last_phase_ = sample.phase;
  last_progress_ = sample.progress;
  switch (mode_) {
    case mode::silent:
      return;
    case mode::phase_lines:
      // Phase 0 is the short gap before the opening and after the closing:
      // not a phase of its own.
      if (phase_changed && sample.phase != 0) {
        std::fprintf(out_, "%s\n", format_phase_line(sample, run_, runs_).c_str());
        std::fflush(out_);
      }
      return;
    case mode::redraw:
      if (phase_changed || progress_changed || last_draw_seconds_ < 0 ||
          sample.elapsed_seconds - last_draw_seconds_ >= redraw_interval_seconds) {
        draw(sample);
      }
      return;
  }
}

void progress_display::end_run(const progress_sample& sample) {
  if (mode_ == mode::silent) return;
  if (mode_ == mode::redraw) {
    // The last drawing says how the run ended and stays on screen; a
    // finished run fills the bar.
    bar_percent_ =
        sample.state == 2
            ? 100.0
            : std::max(bar_percent_, static_cast<double>(std::clamp(sample.progress, 0, 100)));
    draw(sample);
    break_line();
    return;
  }
  std::fprintf(out_, "%s%s %.1f s\n", run_prefix(run_, runs_, ": ").c_str(),
               sample.state == 3 ? "cancelled after" : "finished in", sample.elapsed_seconds);
  std::fflush(out_);
}

void progress_display::line(const std::string& text) {
  if (mode_ == mode::silent) return;
  break_line();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void progress_display::note(const std::string& text) {
  break_line();
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

void progress_display::break_line() {
  if (drawn_width_ == 0) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  drawn_width_ = 0;
}

void progress_display::draw(const progress_sample& sample) {
  const std::string text = format_progress_line(sample, run_, runs_, bar_percent_);
  // Spaces wipe what a longer earlier line left behind; plain carriage
  // return and spaces work on every terminal, escape sequences do not.
  const std::size_t padding = drawn_width_ > text.size() ? drawn_width_ - text.size() : 0;
  std::fprintf(out_, "\r%s%s", text.c_str(), std::string(padding, ' ').c_str());
  std::fflush(out_);
  drawn_width_ = text.size() + padding;
  last_draw_seconds_ = sample.elapsed_seconds;
}

}  // namespace quorvane::host
