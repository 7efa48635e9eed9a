#include "markdown_report.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <vector>

#include "results/run_statistics.h"

namespace qbench {
namespace {

using quorvane::host::run_report;
using quorvane::host::summarise;
using quorvane::host::summary;

// The coefficient of variation as a fraction; 0 where it is undefined.
double cv(const summary& values) { return values.variation_percent / 100.0; }

constexpr double window_count = 5.0;
constexpr double harness_target = 0.98;
constexpr double memory_target = 0.95;
constexpr double compiler_spread_limit = 0.05;
constexpr double poll_ms = 20.0;
// Thread wake-ups and this host's own polling add a little to every cancel.
constexpr double cancel_allowance_ms = 1.0;

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string percent(double ratio, int decimals = 1) {
  return fixed(ratio * 100.0, decimals) + " %";
}

std::string plural(std::size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string met(bool ok) { return ok ? "yes" : "**no**"; }

using round_value = std::function<double(const round_figures&)>;

std::vector<double> over_rounds(const session_figures& session, const round_value& value) {
  std::vector<double> values;
  for (const round_figures& round : session.rounds) {
    if (round.run.ok) values.push_back(value(round));
  }
  return values;
}

// Per-round ratios of the library's figure to its side-by-side reference.
summary ratio_summary(const session_figures& session, const round_value& library,
                      const round_value& reference) {
  return summarise(over_rounds(session, [&](const round_figures& round) {
    const double denominator = reference(round);
    return denominator == 0.0 ? 0.0 : library(round) / denominator;
  }));
}

std::string ratio_text(const summary& ratios) {
  if (ratios.count == 0) return "n/a";
  std::string text = percent(ratios.mean);
  if (ratios.count > 1)
    text += " (" + percent(ratios.minimum) + " – " + percent(ratios.maximum) + ")";
  return text;
}

class table {
 public:
  explicit table(const std::vector<std::string>& header) : columns_(header.size()) { row(header); }
  void row(const std::vector<std::string>& cells) {
    text_ << "|";
    for (std::size_t i = 0; i < columns_; ++i) {
      text_ << " " << (i < cells.size() ? cells[i] : "") << " |";
    }
    text_ << "\n";
    if (!ruled_) {
      text_ << "|";
      for (std::size_t i = 0; i < columns_; ++i) text_ << "---|";
      text_ << "\n";
      ruled_ = true;
    }
  }
  std::string str() const { return text_.str(); }

 private:
  std::size_t columns_;
  bool ruled_ = false;
  std::ostringstream text_;
};

const char* phase_name(int phase) {
  switch (phase) {
    case 1:
      return "phase 1 (integer, 1 thread)";
    case 2:
      return "phase 2 (integer, all processors)";
    case 3:
      return "phase 3 (matrix, 1 thread)";
    case 4:
      return "phase 4 (matrix, all processors)";
    default:
      return "phase 5 (memory copy)";
  }
}

// What a cancel in the phase should take at most: the window loop's 20 ms
// sleep plus the iteration the workers are in (phases 1 to 4); in phase 5,
// whose loop tests before every copy, the copy in progress and the return of
// both blocks, which comes before the run can close.
struct iteration_times {
  double int_ms = 0;
  double fp_ms = 0;
  double copy_ms = 0;
  double release_ms = 0;
};

double cancel_bound_ms(int phase, const iteration_times& times) {
  if (phase <= 2) return poll_ms + times.int_ms;
  if (phase <= 4) return poll_ms + times.fp_ms;
  return times.copy_ms + times.release_ms;
}

std::string cancel_bound_text(int phase, const iteration_times& times) {
  const double bound = cancel_bound_ms(phase, times);
  if (phase == 5) {
    return "one 64 MiB copy " + fixed(times.copy_ms, 1) + " ms + freeing both blocks " +
           fixed(times.release_ms, 1) + " ms = " + fixed(bound, 1) + " ms";
  }
  const double iteration = phase <= 2 ? times.int_ms : times.fp_ms;
  return "20 ms poll + one iteration " + fixed(iteration, 2) + " ms = " + fixed(bound, 1) + " ms";
}

iteration_times times_of(const std::vector<const child_output*>& kernels) {
  std::vector<double> int_ms, fp_ms, copy_ms, release_ms;
  for (const child_output* output : kernels) {
    int_ms.push_back(output->number("int_iteration_ms"));
    fp_ms.push_back(output->number("fp_iteration_ms"));
    copy_ms.push_back(output->number("copy_ms"));
    release_ms.push_back(output->number("release_ms"));
  }
  return {summarise(int_ms).mean, summarise(fp_ms).mean, summarise(copy_ms).mean,
          summarise(release_ms).mean};
}

iteration_times native_iteration_times(const session_figures& session) {
  std::vector<const child_output*> kernels;
  for (const round_figures& round : session.rounds) kernels.push_back(&round.kernels);
  return times_of(kernels);
}

void cancel_rows(table& summary_table, const std::vector<cancel_figures>& cancels,
                 const iteration_times& times) {
  for (const cancel_figures& phase : cancels) {
    const summary latency = summarise(phase.latencies_ms);
    const double bound = cancel_bound_ms(phase.phase, times);
    std::string measured = latency.count == 0 ? "none landed"
                                              : "median " + fixed(latency.median, 1) + " ms, max " +
                                                    fixed(latency.maximum, 1) + " ms (" +
                                                    std::to_string(latency.count) + ")";
    if (phase.not_cancelled != 0)
      measured += ", " + std::to_string(phase.not_cancelled) + " not cancelled";
    summary_table.row({"5", std::string("Cancel latency, ") + phase_name(phase.phase), measured,
                       cancel_bound_text(phase.phase, times), "",
                       "≤ bound (+" + fixed(cancel_allowance_ms, 0) + " ms)",
                       latency.count == 0 ? "n/a"
                                          : met(latency.maximum <= bound + cancel_allowance_ms &&
                                                phase.not_cancelled == 0)});
  }
}

// The share of the processors a phase's workers got: process CPU time over
// the phase's wall time and worker count (the host's 5 ms polls add a
// fraction of a percent).
double phase_cpu_share(const child_output& run, int phase, int workers) {
  const std::string prefix = "phase" + std::to_string(phase);
  const double wall_s = run.number(prefix + "_wall_ms") / 1000.0;
  if (wall_s == 0.0 || workers == 0) return 0.0;
  return run.number(prefix + "_cpu_seconds") / (wall_s * workers);
}

std::string summary_section(const session_config& config, const session_figures& session) {
  table t({"#", "Figure", "Library", "Side by side, same invocation", "Ratio", "Target", "Met"});
  const double n = static_cast<double>(session.processors);

  auto mean_of = [&](const round_value& value) {
    return summarise(over_rounds(session, value)).mean;
  };
  const round_value lib_int = [](const round_figures& r) { return r.run.values.int_single_mops; };
  const round_value lib_fp = [](const round_figures& r) { return r.run.values.fp_single_mflops; };
  const round_value lib_mem = [](const round_figures& r) {
    return r.run.values.mem_bandwidth_mbps;
  };
  const round_value alone_int = [](const round_figures& r) { return r.kernels.number("int_rate"); };
  const round_value alone_fp = [](const round_figures& r) { return r.kernels.number("fp_rate"); };
  const round_value mbw_memcpy = [](const round_figures& r) { return r.mbw_memcpy.mib_per_s; };
  const round_value mbw_loop = [](const round_figures& r) { return r.mbw_loop.mib_per_s; };

  const summary int_ratio = ratio_summary(session, lib_int, alone_int);
  t.row({"1", "Harness efficiency, integer: `int_single_mops` vs the standalone kernel loop",
         fixed(mean_of(lib_int), 1) + " Mops", fixed(mean_of(alone_int), 1) + " Mops",
         ratio_text(int_ratio), "≥ 98 %",
         met(int_ratio.count > 0 && int_ratio.mean >= harness_target)});
  const summary fp_ratio = ratio_summary(session, lib_fp, alone_fp);
  t.row({"1", "Harness efficiency, matrix: `fp_single_mflops` vs the standalone kernel loop",
         fixed(mean_of(lib_fp), 1) + " MFLOPS", fixed(mean_of(alone_fp), 1) + " MFLOPS",
         ratio_text(fp_ratio), "≥ 98 %",
         met(fp_ratio.count > 0 && fp_ratio.mean >= harness_target)});
  // On a shared machine either side may lose time to other processes; per
  // CPU second of the measuring threads that loss drops out.
  const round_value lib_int_per_cpu = [](const round_figures& r) {
    const double share = phase_cpu_share(r.run.output, 1, 1);
    return share == 0.0 ? 0.0 : r.run.values.int_single_mops / share;
  };
  const round_value alone_int_per_cpu = [](const round_figures& r) {
    const double share = r.kernels.number("int_cpu_share");
    return share == 0.0 ? 0.0 : r.kernels.number("int_rate") / share;
  };
  const round_value lib_fp_per_cpu = [](const round_figures& r) {
    const double share = phase_cpu_share(r.run.output, 3, 1);
    return share == 0.0 ? 0.0 : r.run.values.fp_single_mflops / share;
  };
  const round_value alone_fp_per_cpu = [](const round_figures& r) {
    const double share = r.kernels.number("fp_cpu_share");
    return share == 0.0 ? 0.0 : r.kernels.number("fp_rate") / share;
  };
  t.row({"1",
         "Harness efficiency, integer, per CPU second (each rate over the share of a processor it "
         "got)",
         fixed(mean_of(lib_int_per_cpu), 1) + " Mops",
         fixed(mean_of(alone_int_per_cpu), 1) + " Mops",
         ratio_text(ratio_summary(session, lib_int_per_cpu, alone_int_per_cpu)), "—", "—"});
  t.row({"1", "Harness efficiency, matrix, per CPU second",
         fixed(mean_of(lib_fp_per_cpu), 1) + " MFLOPS",
         fixed(mean_of(alone_fp_per_cpu), 1) + " MFLOPS",
         ratio_text(ratio_summary(session, lib_fp_per_cpu, alone_fp_per_cpu)), "—", "—"});

  const summary mem_ratio = ratio_summary(session, lib_mem, mbw_memcpy);
  t.row({"2",
         "Memory copy: `mem_bandwidth_mbps` vs `mbw -q -n 10 -t1 64`, test 1 \"DUMB\" (one memcpy "
         "per copy: the like-for-like peer)",
         fixed(mean_of(lib_mem), 0) + " MiB/s", fixed(mean_of(mbw_memcpy), 0) + " MiB/s",
         ratio_text(mem_ratio), "≥ 95 %",
         met(mem_ratio.count > 0 && mem_ratio.mean >= memory_target)});
  const summary loop_ratio = ratio_summary(session, lib_mem, mbw_loop);
  t.row({"2",
         "Memory copy: `mem_bandwidth_mbps` vs `mbw -q -n 10 -t0 64`, test 0 \"MEMCPY\" (a plain "
         "element loop, not like-for-like)",
         fixed(mean_of(lib_mem), 0) + " MiB/s", fixed(mean_of(mbw_loop), 0) + " MiB/s",
         ratio_text(loop_ratio), "—", "—"});

  const summary int_scaling = summarise(over_rounds(session, [](const round_figures& r) {
    return r.run.values.int_single_mops == 0.0
               ? 0.0
               : r.run.values.int_multi_mops / r.run.values.int_single_mops;
  }));
  const summary fp_scaling = summarise(over_rounds(session, [](const round_figures& r) {
    return r.run.values.fp_single_mflops == 0.0
               ? 0.0
               : r.run.values.fp_multi_mflops / r.run.values.fp_single_mflops;
  }));
  t.row({"3", "Scaling, integer: `int_multi_mops` ÷ `int_single_mops`", fixed(int_scaling.mean, 3),
         std::to_string(session.processors) + " processors",
         percent(int_scaling.mean / n) + " of linear", "—", "—"});
  t.row({"3", "Scaling, matrix: `fp_multi_mflops` ÷ `fp_single_mflops`", fixed(fp_scaling.mean, 3),
         std::to_string(session.processors) + " processors",
         percent(fp_scaling.mean / n) + " of linear", "—", "—"});

  const std::string runs = plural(over_rounds(session, lib_int).size(), "whole run");
  struct cv_row {
    const char* name;
    round_value value;
    std::string reference;
  };
  const std::vector<cv_row> cv_rows = {
      {"int_single_mops", lib_int,
       "standalone loop: " + percent(cv(summarise(over_rounds(session, alone_int))), 2)},
      {"int_multi_mops", [](const round_figures& r) { return r.run.values.int_multi_mops; }, ""},
      {"fp_single_mflops", lib_fp,
       "standalone loop: " + percent(cv(summarise(over_rounds(session, alone_fp))), 2)},
      {"fp_multi_mflops", [](const round_figures& r) { return r.run.values.fp_multi_mflops; }, ""},
      {"mem_bandwidth_mbps", lib_mem,
       "mbw test 1: " + percent(cv(summarise(over_rounds(session, mbw_memcpy))), 2)},
      {"duration_ms",
       [](const round_figures& r) { return static_cast<double>(r.run.values.duration_ms); }, ""},
  };
  for (const cv_row& row : cv_rows) {
    t.row({"4", std::string("Repeatability: CV of `") + row.name + "` over " + runs,
           percent(cv(summarise(over_rounds(session, row.value))), 2), row.reference, "", "—",
           "—"});
  }
  // How steady each kernel ran from moment to moment: a ratio well below
  // 100 % for one kernel alone means the machine, not the library, moved
  // the figures of that kernel between the windows compared above.
  for (const char* kernel : {"int", "fp"}) {
    const std::string prefix(kernel);
    const summary steadiness = summarise(over_rounds(session, [&](const round_figures& r) {
      const double fastest = r.kernels.number(prefix + "_slice_fastest");
      return fastest == 0.0 ? 0.0 : r.kernels.number(prefix + "_slice_slowest") / fastest;
    }));
    t.row({"4",
           std::string("Steadiness of the ") + (prefix == "int" ? "integer" : "matrix") +
               " kernel: slowest over fastest of four 250 ms slices, standalone",
           ratio_text(steadiness), "", "", "—", "—"});
  }

  cancel_rows(t, session.cancels, native_iteration_times(session));

  const summary overhead = summarise(over_rounds(session, [](const round_figures& r) {
    return static_cast<double>(r.run.values.duration_ms) - window_count * 4000.0;
  }));
  t.row({"6", "Run overhead: `duration_ms` − 5 × 4000 ms",
         fixed(overhead.mean, 0) + " ms (" + fixed(overhead.minimum, 0) + " – " +
             fixed(overhead.maximum, 0) + ")",
         "20000 ms of windows", percent(overhead.mean / 20000.0, 2), "—", "—"});
  const summary peak = summarise(over_rounds(session, [](const round_figures& r) {
    return r.run.output.number("peak_resident_kib") / 1024.0;
  }));
  const summary before = summarise(over_rounds(session, [](const round_figures& r) {
    return r.run.output.number("resident_before_kib") / 1024.0;
  }));
  t.row({"6", "Peak resident memory of the host process during a run",
         fixed(peak.maximum, 1) + " MiB (" + fixed(before.mean, 1) + " MiB before the start)",
         "two 64 MiB blocks: 128 MiB", "", "—", "—"});

  if (session.clang_measured) {
    const double clang_int = session.clang_run.values.int_single_mops;
    const double clang_fp = session.clang_run.values.fp_single_mflops;
    const double gcc_int = mean_of(lib_int);
    const double gcc_fp = mean_of(lib_fp);
    const double int_spread = gcc_int == 0.0 ? 0.0 : clang_int / gcc_int;
    const double fp_spread = gcc_fp == 0.0 ? 0.0 : clang_fp / gcc_fp;
    t.row({"7",
           "Clang vs GCC build: `int_single_mops` (" + config.clang_label + " vs " +
               config.library_label + ")",
           fixed(clang_int, 1) + " Mops", fixed(gcc_int, 1) + " Mops", percent(int_spread),
           "within 5 %",
           met(int_spread >= 1.0 - compiler_spread_limit &&
               int_spread <= 1.0 + compiler_spread_limit)});
    t.row({"7", "Clang vs GCC build: `fp_single_mflops`", fixed(clang_fp, 1) + " MFLOPS",
           fixed(gcc_fp, 1) + " MFLOPS", percent(fp_spread), "within 5 %",
           met(fp_spread >= 1.0 - compiler_spread_limit &&
               fp_spread <= 1.0 + compiler_spread_limit)});
    const double clang_int_share = phase_cpu_share(session.clang_run.output, 1, 1);
    const double clang_fp_share = phase_cpu_share(session.clang_run.output, 3, 1);
    const double clang_int_per_cpu = clang_int_share == 0.0 ? 0.0 : clang_int / clang_int_share;
    const double clang_fp_per_cpu = clang_fp_share == 0.0 ? 0.0 : clang_fp / clang_fp_share;
    const double gcc_int_per_cpu = mean_of(lib_int_per_cpu);
    const double gcc_fp_per_cpu = mean_of(lib_fp_per_cpu);
    t.row({"7", "Clang vs GCC build, per CPU second: `int_single_mops`",
           fixed(clang_int_per_cpu, 1) + " Mops", fixed(gcc_int_per_cpu, 1) + " Mops",
           percent(gcc_int_per_cpu == 0.0 ? 0.0 : clang_int_per_cpu / gcc_int_per_cpu), "—", "—"});
    t.row({"7", "Clang vs GCC build, per CPU second: `fp_single_mflops`",
           fixed(clang_fp_per_cpu, 1) + " MFLOPS", fixed(gcc_fp_per_cpu, 1) + " MFLOPS",
           percent(gcc_fp_per_cpu == 0.0 ? 0.0 : clang_fp_per_cpu / gcc_fp_per_cpu), "—", "—"});
  }
  return t.str();
}

std::string with_share(double value, int decimals, double share) {
  return fixed(value, decimals) + " (" + percent(share, 0) + ")";
}

std::string rounds_section(const session_figures& session) {
  table t({"Round", "Load", "Standalone int", "`int_single_mops`", "Standalone fp",
           "`fp_single_mflops`", "fp in 250 ms slices", "mbw t0 / t1", "`mem_bandwidth_mbps`",
           "`int_multi_mops`", "`fp_multi_mflops`", "`duration_ms`", "Peak RSS"});
  const int all = std::min(session.processors, 256);
  int number = 0;
  for (const round_figures& round : session.rounds) {
    ++number;
    const run_report& v = round.run.values;
    const child_output& run = round.run.output;
    const child_output& alone = round.kernels;
    t.row({std::to_string(number), fixed(round.load_before, 2),
           with_share(alone.number("int_rate"), 1, alone.number("int_cpu_share")),
           round.run.ok ? with_share(v.int_single_mops, 0, phase_cpu_share(run, 1, 1)) : "failed",
           with_share(alone.number("fp_rate"), 1, alone.number("fp_cpu_share")),
           with_share(v.fp_single_mflops, 0, phase_cpu_share(run, 3, 1)),
           fixed(alone.number("fp_slice_slowest"), 0) + " – " +
               fixed(alone.number("fp_slice_fastest"), 0),
           fixed(round.mbw_loop.mib_per_s, 0) + " / " + fixed(round.mbw_memcpy.mib_per_s, 0),
           fixed(v.mem_bandwidth_mbps, 0),
           with_share(v.int_multi_mops, 0, phase_cpu_share(run, 2, all)),
           with_share(v.fp_multi_mflops, 0, phase_cpu_share(run, 4, all)),
           fixed(static_cast<double>(v.duration_ms), 0),
           fixed(run.number("peak_resident_kib") / 1024.0, 1) + " MiB"});
  }
  return t.str();
}

std::string cancels_section(const std::vector<cancel_figures>& cancels) {
  table t({"Phase", "Latencies, ms (cancel to reading state 3)", "Landed in another phase"});
  for (const cancel_figures& phase : cancels) {
    std::string list;
    for (double latency : phase.latencies_ms) {
      if (!list.empty()) list += ", ";
      list += fixed(latency, 2);
    }
    t.row({std::to_string(phase.phase), list.empty() ? "—" : list,
           std::to_string(phase.landed_elsewhere)});
  }
  return t.str();
}

std::string windows_section(const session_config& config, const session_figures& session) {
  const windows_figures& w = session.windows;
  if (!w.measured) return "Windows DLL under Wine: not measured (" + w.problem + ").\n";
  table t({"#", "Figure: Windows DLL under Wine (" + config.windows_label + ")", "DLL",
           "Side by side, same invocation", "Ratio", "Target", "Met"});
  const double alone_int = w.kernels.number("int_rate");
  const double alone_fp = w.kernels.number("fp_rate");
  const run_report& v = w.run.values;
  const double int_ratio = alone_int == 0.0 ? 0.0 : v.int_single_mops / alone_int;
  const double fp_ratio = alone_fp == 0.0 ? 0.0 : v.fp_single_mflops / alone_fp;
  t.row({"1",
         "Harness efficiency, integer: `int_single_mops` vs the standalone loop (Windows build)",
         fixed(v.int_single_mops, 0) + " Mops", fixed(alone_int, 1) + " Mops", percent(int_ratio),
         "≥ 98 %", met(int_ratio >= harness_target)});
  t.row({"1",
         "Harness efficiency, matrix: `fp_single_mflops` vs the standalone loop (Windows build)",
         fixed(v.fp_single_mflops, 0) + " MFLOPS", fixed(alone_fp, 1) + " MFLOPS",
         percent(fp_ratio), "≥ 98 %", met(fp_ratio >= harness_target)});
  std::vector<double> mbw;
  for (const round_figures& round : session.rounds) mbw.push_back(round.mbw_memcpy.mib_per_s);
  const double mbw_mean = summarise(mbw).mean;
  const double mem_ratio = mbw_mean == 0.0 ? 0.0 : v.mem_bandwidth_mbps / mbw_mean;
  t.row({"2", "Memory copy: `mem_bandwidth_mbps` vs native mbw test 1 \"DUMB\" (memcpy)",
         fixed(v.mem_bandwidth_mbps, 0) + " MiB/s", fixed(mbw_mean, 0) + " MiB/s",
         percent(mem_ratio), "≥ 95 %", met(mem_ratio >= memory_target)});
  cancel_rows(t, w.cancels, times_of({&w.kernels}));
  return t.str();
}

}  // namespace

std::string render_markdown(const session_config& config, const session_figures& session) {
  std::ostringstream out;
  out << "Processor: " << session.processor << ", " << session.processors
      << " logical processors. Date: " << session.date << ".\n\n";
  out << "Library: `" << config.library << "` (" << config.library_label << "); "
      << plural(session.rounds.size(), "round") << " of standalone kernels, mbw and a whole run; "
      << plural(config.cancels_per_phase, "cancel") << " per phase. One-minute load average "
      << fixed(session.load_start, 2) << " at the start, " << fixed(session.load_end, 2)
      << " at the end; the session took " << fixed(session.seconds, 0)
      << " s. The machine may be shared: every figure is noisy.\n\n";
  out << summary_section(config, session) << "\n";
  out << "Each round, side by side. Load: the one-minute load average before the round. In "
         "brackets: the share of the processors the measuring threads got (the standalone "
         "worker's CPU time, or the process's CPU time during the library's phase, over wall "
         "time and worker count); below 100 % other processes took the rest, and the figure "
         "beside it is low by about as much.\n\n";
  out << rounds_section(session) << "\n";
  out << "Every cancel:\n\n" << cancels_section(session.cancels) << "\n";
  out << windows_section(config, session);
  if (session.windows.measured) {
    out << "\nWindows cancels:\n\n" << cancels_section(session.windows.cancels);
  }
  return out.str();
}

}  // namespace qbench
