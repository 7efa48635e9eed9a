// Standard output as the host writes it: every write is flushed at once and
// checked, and the first failure (a closed pipe, a full disk, a closed
// descriptor) is kept, so the host can finish its work (the exports) and
// then say once why its output was lost.
#ifndef QUORVANE_TOOLS_RUN_STANDARD_OUTPUT_H
#define QUORVANE_TOOLS_RUN_STANDARD_OUTPUT_H

#include <string>

namespace quorvane::host {

// Writes text to standard output and flushes it. After a failure nothing
// more is written.
void write_output(const std::string& text);

// Flushes standard output; "" when everything written has left the
// process, else the reason of the first failure.
std::string output_failure();

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RUN_STANDARD_OUTPUT_H
