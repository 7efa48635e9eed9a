// Running a command line and reading what it prints (POSIX shells only).
#ifndef QUORVANE_BENCH_CHILD_PROCESS_H
#define QUORVANE_BENCH_CHILD_PROCESS_H

#include <string>

namespace qbench {

// Runs command through the shell, returns its standard output and sets
// exit_status (-1 when it could not be run). Its standard error passes
// through to ours.
std::string run_command(const std::string& command, int& exit_status);

// The command line quoted for the shell as one word.
std::string shell_quote(const std::string& word);

}  // namespace qbench

#endif  // QUORVANE_BENCH_CHILD_PROCESS_H
