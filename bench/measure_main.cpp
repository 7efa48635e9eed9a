// quorvane_measure: measures how much of the machine the library's figures
// capture, side by side with standalone kernel loops and mbw.
//
//   quorvane_measure table --library PATH [--library-label TEXT]
//                          [--clang-library PATH --clang-label TEXT]
//                          [--windows-program EXE --windows-dll DLL --windows-label TEXT]
//                          [--rounds N] [--cancels N] [--windows-cancels N]
//   quorvane_measure kernels [WINDOW_MS]
//   quorvane_measure run LIBRARY
//   quorvane_measure cancel LIBRARY PHASE COUNT
//
// "table" prints the Markdown report; it runs this program again for the
// other three, each a measurement in a fresh process. It never fails on a
// threshold: it exits 0 whenever the figures were taken.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "child_modes.h"

#if defined(QBENCH_HAS_TABLE)
#  include <unistd.h>

#  include <climits>

#  include "markdown_report.h"
#  include "measure_session.h"
#endif

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: quorvane_measure table --library PATH [options]\n"
               "       quorvane_measure kernels [WINDOW_MS]\n"
               "       quorvane_measure run LIBRARY\n"
               "       quorvane_measure cancel LIBRARY PHASE COUNT\n");
  return 2;
}

#if defined(QBENCH_HAS_TABLE)
std::string own_path(const char* argv0) {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return argv0;
  path[length] = '\0';
  return path;
}

int table_mode(int argc, char** argv) {
  qbench::session_config config;
  config.self = own_path(argv[0]);
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (option == "--library") {
      config.library = value;
    } else if (option == "--library-label") {
      config.library_label = value;
    } else if (option == "--clang-library") {
      config.clang_library = value;
    } else if (option == "--clang-label") {
      config.clang_label = value;
    } else if (option == "--windows-program") {
      config.windows_program = value;
    } else if (option == "--windows-dll") {
      config.windows_dll = value;
    } else if (option == "--windows-label") {
      config.windows_label = value;
    } else if (option == "--rounds") {
      config.rounds = std::atoi(value.c_str());
    } else if (option == "--cancels") {
      config.cancels_per_phase = std::atoi(value.c_str());
    } else if (option == "--windows-cancels") {
      config.windows_cancels_per_phase = std::atoi(value.c_str());
    } else {
      return usage();
    }
  }
  if (config.library.empty() || config.rounds < 1 || config.cancels_per_phase < 1 ||
      config.windows_cancels_per_phase < 1) {
    return usage();
  }
  const qbench::session_figures session = qbench::measure_session(config);
  std::fputs(qbench::render_markdown(config, session).c_str(), stdout);
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string mode = argv[1];
  if (mode == "kernels") {
    const unsigned window = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 4000u;
    return qbench::child_kernels(window);
  }
  if (mode == "run" && argc == 3) return qbench::child_run(argv[2]);
  if (mode == "cancel" && argc == 5) {
    return qbench::child_cancel(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
#if defined(QBENCH_HAS_TABLE)
  if (mode == "table") return table_mode(argc, argv);
#endif
  return usage();
}
