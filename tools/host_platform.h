// The host's operating-system seam: dynamic loading, the program's own
// location and arguments, interrupt handling, terminal detection and
// sleeping. Everything else in the host is portable C++; each operating
// system has one source file implementing this header
// (host_platform_posix.cpp, host_platform_win32.cpp).
//
// Text crossing this seam is UTF-8; the Windows side converts to and from
// the wide-character API at the boundary.
#ifndef QUORVANE_TOOLS_HOST_PLATFORM_H
#define QUORVANE_TOOLS_HOST_PLATFORM_H

#include <cstdio>
#include <string>
#include <vector>

namespace quorvane::host::platform {

// The program's arguments, argv[0] excluded, as UTF-8.
std::vector<std::string> program_arguments(int argc, char** argv);

// The folder holding the running executable, without a trailing separator;
// "." when it cannot be found.
std::string executable_directory();

// Joins a folder and a file name with the platform's separator.
std::string join_path(const std::string& directory, const std::string& file_name);

// A loaded shared library; nullptr means "not loaded".
using library_handle = void*;

// Loads the shared library at path (taken as a path, never searched for on
// the system's library path). Returns nullptr and sets error to the system's
// one-line reason when it cannot be loaded.
library_handle open_library(const std::string& path, std::string& error);

// The address of an exported symbol, or nullptr when the library lacks it.
void* find_symbol(library_handle library, const char* name);

// Unloads a library that open_library returned.
void close_library(library_handle library);

// Installs the handlers for interrupt requests: SIGINT and SIGTERM, or the
// console's Ctrl-C, Ctrl-Break and close events. A handler only counts the
// request; the program polls interrupt_count() and cancels the run itself,
// so the process never ends while a run of the library is in progress.
void install_interrupt_handlers();

// How many interrupt requests have arrived since install_interrupt_handlers.
int interrupt_count();

// Tells the interrupt handlers whether a run is in progress. Where the
// operating system ends the process as soon as a handler returns (console
// close on Windows), the handler holds it until no run is in progress.
void set_run_in_progress(bool in_progress);

// Makes standard output and standard error write each '\n' as it is: a
// report line leaves the host unchanged, and line ends never carry the
// carriage return that a redrawn progress line uses.
void prepare_standard_streams();

// True when stream is attached to an interactive terminal.
bool is_terminal(std::FILE* stream);

// Sleeps for about the given number of milliseconds; an interrupt may end
// the sleep early.
void sleep_ms(unsigned milliseconds);

}  // namespace quorvane::host::platform

#endif  // QUORVANE_TOOLS_HOST_PLATFORM_H
