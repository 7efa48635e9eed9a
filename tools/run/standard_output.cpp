// Checked writes to stdout, through the C stream the rest of the host uses.
#include "run/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "machine/host_platform.h"

namespace quorvane::host {
namespace {

std::string g_failure;  // the first failure's reason

void note_failure(int reason) {
  if (g_failure.empty()) {
    g_failure = reason != 0 ? std::generic_category().message(reason) : "write error";
  }
}

}  // namespace

void write_output(const std::string& text) {
  if (platform::standard_output_was_closed()) note_failure(EBADF);
  if (!g_failure.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    note_failure(errno);
  }
}

std::string output_failure() {
  if (platform::standard_output_was_closed()) note_failure(EBADF);
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) note_failure(errno);
  return g_failure;
}

}  // namespace quorvane::host
