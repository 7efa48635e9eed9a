#include "child_process.h"

#include <sys/wait.h>

#include <cstdio>

namespace qbench {

std::string run_command(const std::string& command, int& exit_status) {
  std::string output;
  std::fflush(stdout);
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    exit_status = -1;
    return output;
  }
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = pclose(pipe);
  exit_status = status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return output;
}

std::string shell_quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += "'";
  return quoted;
}

}  // namespace qbench
