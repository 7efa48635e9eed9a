// The history in a build without SQLite: every use of it says so.
#include <cstdio>

#include "exit_codes.h"
#include "history/history_command.h"
#include "history/history_recording.h"
#include "run/standard_output.h"

namespace quorvane::host {

const char* const no_history_place = "this build keeps no history";

std::string history_database_path(const std::string& chosen) { return chosen; }

std::string record_history(const std::string&, const nlohmann::json&) {
  return "this build keeps no history";
}

int run_history_command(const options& chosen) {
  if (chosen.help) {
    write_output(history_usage_text());
    return exit_success;
  }
  std::fflush(stdout);
  std::fputs("quorvane: this build keeps no history\n", stderr);
  return exit_history_failed;
}

}  // namespace quorvane::host
