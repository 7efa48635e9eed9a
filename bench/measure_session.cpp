#include "measure_session.h"

#include <cstdio>
#include <ctime>
#include <optional>
#include <sstream>

#include "child_process.h"
#include "host_os.h"
#include "machine/host_platform.h"
#include "machine/machine_description.h"
#include "results/results_document.h"

namespace qbench {
namespace {

void progress(const std::string& text) {
  std::fprintf(stderr, "[measure] %s\n", text.c_str());
  std::fflush(stderr);
}

child_output run_child(const std::string& command_line) {
  int status = 0;
  const std::string output = run_command(command_line, status);
  if (status != 0)
    progress("child failed (status " + std::to_string(status) + "): " + command_line);
  return child_output::parse(output);
}

std::string native(const session_config& config, const std::string& arguments) {
  return shell_quote(config.self) + " " + arguments;
}

std::string under_wine(const session_config& config, const std::string& arguments) {
  // Wine's own chatter goes to standard error, which is dropped here.
  return "WINEDEBUG=-all " + shell_quote(config.wine) + " " + shell_quote(config.windows_program) +
         " " + arguments + " 2>/dev/null";
}

run_figures library_run(const std::string& command_line) {
  run_figures run;
  run.output = run_child(command_line);
  std::string error;
  const std::optional<quorvane::host::run_report> report =
      quorvane::host::parse_report(run.output.text("report"), error);
  if (report) run.values = *report;
  run.ok = report.has_value() && run.output.number("final_state") == 2.0;
  return run;
}

cancel_figures cancels_in_phase(const std::string& command_line, int phase) {
  cancel_figures figures;
  figures.phase = phase;
  const child_output output = run_child(command_line);
  for (const std::string& line : output.all("cancel")) {
    std::istringstream fields(line);
    int phase_at_cancel = 0;
    double latency = 0;
    int final_state = 0;
    fields >> phase_at_cancel >> latency >> final_state;
    if (!fields) continue;
    if (phase_at_cancel != phase) {
      ++figures.landed_elsewhere;
      continue;
    }
    if (final_state != 3) ++figures.not_cancelled;
    figures.latencies_ms.push_back(latency);
  }
  return figures;
}

std::string cancel_arguments(const std::string& library, int phase, int count) {
  return "cancel " + shell_quote(library) + " " + std::to_string(phase) + " " +
         std::to_string(count);
}

void measure_windows(const session_config& config, windows_figures& windows) {
  if (config.windows_program.empty() || config.windows_dll.empty()) {
    windows.problem = "no Windows build given";
    return;
  }
  progress("Windows DLL under Wine: standalone kernels");
  windows.kernels = run_child(under_wine(config, "kernels " + std::to_string(config.window_ms)));
  progress("Windows DLL under Wine: whole run");
  windows.run = library_run(under_wine(config, "run " + shell_quote(config.windows_dll)));
  for (int phase = 1; phase <= 5; ++phase) {
    progress("Windows DLL under Wine: cancels in phase " + std::to_string(phase));
    windows.cancels.push_back(cancels_in_phase(
        under_wine(config,
                   cancel_arguments(config.windows_dll, phase, config.windows_cancels_per_phase)),
        phase));
  }
  windows.measured = windows.kernels.has("int_rate") && windows.run.ok;
  if (!windows.measured) windows.problem = "the Windows build did not run under Wine";
}

}  // namespace

session_figures measure_session(const session_config& config) {
  session_figures session;
  const quorvane::host::machine_description machine = quorvane::host::this_machine();
  // Virtual machines often give only the brand: the family and model say more.
  session.processor = machine.cpu_model;
  if (!machine.cpu_signature.empty()) session.processor += " (" + machine.cpu_signature + ")";
  session.processors = machine.logical_processors;
  session.date = quorvane::host::utc_timestamp(std::time(nullptr));
  session.load_start = quorvane::host::platform::load_average();
  const std::int64_t t0 = now_ns();

  for (int round = 1; round <= config.rounds; ++round) {
    const std::string name = "round " + std::to_string(round) + "/" + std::to_string(config.rounds);
    round_figures figures;
    figures.load_before = quorvane::host::platform::load_average();
    progress(name + ": standalone kernels");
    figures.kernels = run_child(native(config, "kernels " + std::to_string(config.window_ms)));
    progress(name + ": mbw tests 0 and 1");
    figures.mbw_loop = run_mbw(0);
    figures.mbw_memcpy = run_mbw(1);
    progress(name + ": whole library run");
    figures.run = library_run(native(config, "run " + shell_quote(config.library)));
    session.rounds.push_back(figures);

    // The Clang build's run sits between the rounds, so the machine's drift
    // touches it as it touches the rounds it is compared with.
    if (!config.clang_library.empty() && round == (config.rounds + 1) / 2) {
      progress("whole run of the Clang build");
      session.clang_run = library_run(native(config, "run " + shell_quote(config.clang_library)));
      session.clang_measured = session.clang_run.ok;
    }
  }

  for (int phase = 1; phase <= 5; ++phase) {
    progress("cancels in phase " + std::to_string(phase));
    session.cancels.push_back(cancels_in_phase(
        native(config, cancel_arguments(config.library, phase, config.cancels_per_phase)), phase));
  }

  measure_windows(config, session.windows);

  session.load_end = quorvane::host::platform::load_average();
  session.seconds = static_cast<double>(now_ns() - t0) / 1e9;
  return session;
}

}  // namespace qbench
