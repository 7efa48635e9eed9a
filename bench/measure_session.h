// One measuring session: every figure of the report, taken side by side in
// one invocation. Standalone kernels, the memory peer and a library run are
// taken in turn in each round, so drift in the machine's load touches all
// three alike; a run of the Clang-built library follows the middle round;
// then the cancels of each phase and, when given, the Windows DLL under Wine.
#ifndef QUORVANE_BENCH_MEASURE_SESSION_H
#define QUORVANE_BENCH_MEASURE_SESSION_H

#include <string>
#include <vector>

#include "child_output.h"
#include "mbw_peer.h"
#include "results/run_report.h"

namespace qbench {

struct session_config {
  std::string self;           // this program, run again for each child measurement
  std::string library;        // the native library
  std::string library_label;  // e.g. its compiler
  std::string clang_library;  // optional: the same library built by Clang
  std::string clang_label;
  std::string windows_program;  // optional: this program built for Windows
  std::string windows_dll;      // optional: the Windows DLL
  std::string windows_label;    // e.g. its compiler and the Wine version
  std::string wine = "wine";
  int rounds = 3;
  int cancels_per_phase = 3;
  int windows_cancels_per_phase = 1;
  unsigned window_ms = 4000;
};

struct run_figures {
  bool ok = false;  // the run finished and its report parsed
  child_output output;
  quorvane::host::run_report values;
};

struct round_figures {
  double load_before = 0;
  child_output kernels;
  mbw_result mbw_loop;    // test 0, "MEMCPY": element loop
  mbw_result mbw_memcpy;  // test 1, "DUMB": one memcpy per copy
  run_figures run;
};

struct cancel_figures {
  int phase = 0;
  std::vector<double> latencies_ms;
  int landed_elsewhere = 0;  // cancels that fell outside the phase asked for
  int not_cancelled = 0;     // runs that did not end in state 3
};

struct windows_figures {
  bool measured = false;
  std::string problem;  // why not, or what went wrong
  child_output kernels;
  run_figures run;
  std::vector<cancel_figures> cancels;
};

struct session_figures {
  std::string processor;
  int processors = 0;
  std::string date;
  double load_start = 0;
  double load_end = 0;
  double seconds = 0;
  std::vector<round_figures> rounds;
  bool clang_measured = false;
  run_figures clang_run;
  std::vector<cancel_figures> cancels;
  windows_figures windows;
};

session_figures measure_session(const session_config& config);

}  // namespace qbench

#endif  // QUORVANE_BENCH_MEASURE_SESSION_H
