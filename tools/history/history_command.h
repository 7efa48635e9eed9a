// quorvane history: reading the history, its exports, the regression check,
// and quorvane history import.
#ifndef QUORVANE_TOOLS_HISTORY_HISTORY_COMMAND_H
#define QUORVANE_TOOLS_HISTORY_HISTORY_COMMAND_H

#include "command_line.h"

namespace quorvane::host {

// Runs the history command the options describe; returns the exit status.
int run_history_command(const options& chosen);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_HISTORY_COMMAND_H
