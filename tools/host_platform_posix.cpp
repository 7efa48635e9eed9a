// The host's operating-system seam on POSIX systems.
#include <dlfcn.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "host_platform.h"

namespace quorvane::host::platform {
namespace {

// Lock-free, so the signal handler may touch it.
std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void on_interrupt_signal(int) { g_interrupts.fetch_add(1); }

}  // namespace

std::vector<std::string> program_arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

std::string executable_directory() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  const std::string path(buffer, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string join_path(const std::string& directory, const std::string& file_name) {
  if (directory.empty()) return file_name;
  if (directory.back() == '/') return directory + file_name;
  return directory + "/" + file_name;
}

library_handle open_library(const std::string& path, std::string& error) {
  // dlopen searches the library path for a name without a slash; "./" makes
  // a bare file name mean the file in the current folder.
  const std::string as_path = path.find('/') == std::string::npos ? "./" + path : path;
  dlerror();
  library_handle library = dlopen(as_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown error";
    // The loader's text usually starts with the path, which the caller
    // already names.
    const std::string prefix = as_path + ": ";
    if (error.rfind(prefix, 0) == 0 && error.size() > prefix.size()) {
      error = error.substr(prefix.size());
    }
  }
  return library;
}

void* find_symbol(library_handle library, const char* name) { return dlsym(library, name); }

void close_library(library_handle library) { dlclose(library); }

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = &on_interrupt_signal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a signal cuts the poll's sleep short, so it is seen at once.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int interrupt_count() { return g_interrupts.load(); }

void set_run_in_progress(bool) {
  // Signals never end the process behind the host's back here: the handlers
  // stay installed for the whole life of the program.
}

void prepare_standard_streams() {
  // Streams here never translate line ends.
}

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void sleep_ms(unsigned milliseconds) {
  timespec pause{};
  pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
  pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  nanosleep(&pause, nullptr);
}

}  // namespace quorvane::host::platform
