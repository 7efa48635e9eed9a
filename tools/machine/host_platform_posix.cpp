// The host's operating-system seam on POSIX systems.
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "machine/core_kinds.h"
#include "machine/host_platform.h"
#include "machine/processor_brand.h"

namespace quorvane::host::platform {
namespace {

// Lock-free, so the signal handler may touch it.
std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void on_interrupt_signal(int) { g_interrupts.fetch_add(1); }

bool g_output_closed = false;

std::string file_text(const char* path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// At most limit bytes of a file under root; "" when it cannot be read. A
// fake or hostile tree's endless file (a pipe, /dev/zero) stops there.
std::string bounded_text(const std::string& root, const std::string& path, std::size_t limit) {
  const std::string full =
      root.empty() || root == "/"
          ? path
          : (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + path;
  const int file = open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file < 0) return std::string();
  std::string text;
  char chunk[4096];
  while (text.size() < limit) {
    const ssize_t count = read(file, chunk, std::min(sizeof chunk, limit - text.size()));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    text.append(chunk, static_cast<std::size_t>(count));
  }
  close(file);
  return text;
}

// The system's text for an error number, read in a thread-safe way.
std::string system_message(int code) { return std::generic_category().message(code); }

double clock_seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The number after "key" on its line of /proc/self/status, or -1.
std::int64_t status_field(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, key.size(), key) == 0) {
      return std::strtoll(line.c_str() + key.size(), nullptr, 10);
    }
  }
  return -1;
}

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

namespace {

sigset_t interrupt_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

// Takes one held interrupt request, waiting up to timeout for it; counts it.
bool take_interrupt(const timespec& timeout) {
  const sigset_t signals = interrupt_signals();
  if (sigtimedwait(&signals, nullptr, &timeout) < 0) return false;
  g_interrupts.fetch_add(1);
  return true;
}

}  // namespace

void install_interrupt_handlers() {
  // The handler is a fallback: every thread holds the requests back, so
  // sigtimedwait takes them. Should one reach a thread that does not hold
  // them, it is counted there instead of ending the process.
  struct sigaction action {};
  action.sa_handler = &on_interrupt_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  const sigset_t signals = interrupt_signals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int interrupt_count() {
  while (take_interrupt(timespec{})) {
  }
  return g_interrupts.load();
}

void set_run_in_progress(bool) {
  // Signals never end the process behind the host's back here: the handlers
  // stay installed for the whole life of the program.
}

void prepare_standard_streams() {
  // Streams here never translate line ends. A reader that goes away (a pipe
  // into head) makes writes fail instead of ending the process, so the
  // exports are still written and the failure is reported.
  signal(SIGPIPE, SIG_IGN);
  for (int stream = 0; stream <= 2; ++stream) {
    if (fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    if (stream == 1) g_output_closed = true;
    // open gives the lowest free number: this one.
    if (open("/dev/null", stream == 0 ? O_RDONLY : O_WRONLY) != stream) break;
  }
}

bool standard_output_was_closed() { return g_output_closed; }

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void sleep_ms(unsigned milliseconds) {
  timespec pause{};
  pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
  pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  take_interrupt(pause);
}

namespace {

// The folder part of path, "." when it has none.
std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The kernel's protected_symlinks rule: in a sticky, world-writable folder a
// link is followed only by its owner or when the folder's owner owns it.
bool link_is_protected(const std::string& link, const struct stat& link_status) {
  struct stat folder {};
  if (stat(folder_of(link).c_str(), &folder) != 0) return false;
  const bool sticky_and_shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return sticky_and_shared && link_status.st_uid != geteuid() &&
         link_status.st_uid != folder.st_uid;
}

mode_t current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

bool write_all(int file, const std::string& contents, std::string& error) {
  std::size_t written = 0;
  while (written < contents.size()) {
    const ssize_t count = write(file, contents.data() + written, contents.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = system_message(errno);
      return false;
    }
    if (count == 0) {
      error = "the file system accepted no more data";
      return false;
    }
    written += static_cast<std::size_t>(count);
  }
  return true;
}

// Gives the new file an existing target's mode and owner, or the mode a
// newly created file gets.
bool match_target_permissions(int file, const std::string& target, std::string& error) {
  struct stat existing {};
  if (stat(target.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) {
    if (fchmod(file, 0666 & ~current_umask()) == 0) return true;
    error = system_message(errno);
    return false;
  }
  // Only the owner, or a privileged host, may hand the file over; the mode
  // is kept either way, less the set-id bits when the owner changes.
  const bool same_owner = fchown(file, existing.st_uid, existing.st_gid) == 0 ||
                          (existing.st_uid == geteuid() && existing.st_gid == getegid());
  const mode_t mode = existing.st_mode & (same_owner ? 07777 : 0777);
  if (fchmod(file, mode) == 0) return true;
  error = system_message(errno);
  return false;
}

}  // namespace

bool resolve_write_target(const std::string& path, std::string& target, std::string& error) {
  target = path;
  // As many links as the kernel itself follows in one path.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status {};
    if (lstat(target.c_str(), &status) != 0) {
      if (errno == ENOENT) return true;
      error = system_message(errno);
      return false;
    }
    if (!S_ISLNK(status.st_mode)) return true;
    if (link_is_protected(target, status)) {
      error = "a symbolic link owned by another user in a sticky, world-writable folder";
      return false;
    }
    std::string destination(PATH_MAX, '\0');
    const ssize_t length = readlink(target.c_str(), destination.data(), destination.size());
    if (length < 0) {
      error = system_message(errno);
      return false;
    }
    destination.resize(static_cast<std::size_t>(length));
    if (destination.empty() || destination.front() != '/') {
      std::string relative_to = folder_of(target);
      relative_to += '/';
      destination.insert(0, relative_to);
    }
    target = destination;
  }
  error = system_message(ELOOP);
  return false;
}

bool write_temporary_beside(const std::string& target, const std::string& contents,
                            std::string& temporary, std::string& error) {
  std::string name = target + ".XXXXXX";
  const int file = mkostemp(name.data(), O_CLOEXEC);
  if (file < 0) {
    error = system_message(errno);
    return false;
  }
  // The data reaches the disk before the rename makes it the file's content.
  bool ok = match_target_permissions(file, target, error) && write_all(file, contents, error);
  if (ok && fsync(file) != 0) {
    error = system_message(errno);
    ok = false;
  }
  if (close(file) != 0 && ok) {
    error = system_message(errno);
    ok = false;
  }
  if (!ok) {
    unlink(name.c_str());
    return false;
  }
  temporary = name;
  return true;
}

bool replace_file(const std::string& from, const std::string& to, std::string& error) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    error = system_message(errno);
    return false;
  }
  // A folder this user may write to but not read cannot be opened to flush;
  // the rename stands there all the same.
  const int folder = open(folder_of(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return true;
  // Some file systems cannot flush a folder; the rename stands there anyway.
  const bool flushed = fsync(folder) == 0 || errno == EINVAL;
  if (!flushed) error = system_message(errno);
  close(folder);
  return flushed;
}

void remove_file(const std::string& path) { unlink(path.c_str()); }

bool is_directory(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool read_file(const std::string& path, std::string& contents, std::string& error) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    error = system_message(errno);
    return false;
  }
  contents.clear();
  char chunk[65536];
  for (;;) {
    const ssize_t count = read(file, chunk, sizeof chunk);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      error = system_message(errno);
      close(file);
      return false;
    }
    contents.append(chunk, static_cast<std::size_t>(count));
  }
  close(file);
  return true;
}

unsigned long process_id() { return static_cast<unsigned long>(getpid()); }

bool utc_calendar_time(std::time_t moment, std::tm& calendar) {
  return gmtime_r(&moment, &calendar) != nullptr;
}

bool utc_moment(std::tm calendar, std::time_t& moment) {
  // -1 is also the second before 1970; only errno tells an overflow apart.
  errno = 0;
  moment = timegm(&calendar);
  return moment != -1 || errno == 0;
}

bool read_utc_text(const std::string& text, std::tm& calendar) {
  calendar = std::tm{};
  const char* end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &calendar);
  return end != nullptr && end == text.c_str() + text.size();
}

machine_readings read_machine() {
  machine_readings readings;
  readings.processor_brand = processor_brand_string();
  readings.cpuinfo = file_text("/proc/cpuinfo");
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  readings.logical_processors = online > 0 ? static_cast<int>(online) : 0;
  cpu_set_t usable;
  CPU_ZERO(&usable);
  if (sched_getaffinity(0, sizeof usable, &usable) == 0) {
    readings.usable_processors = CPU_COUNT(&usable);
  }
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages > 0 && page_size > 0) {
    readings.memory_bytes =
        static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
  }
  readings.os_release = file_text("/etc/os-release");
  if (readings.os_release.empty()) readings.os_release = file_text("/usr/lib/os-release");
  utsname names{};
  if (uname(&names) == 0) readings.kernel = std::string(names.sysname) + " " + names.release;
  return readings;
}

machine_signs read_machine_signs(const std::string& root) {
  // Far above any of these files: cpuinfo of 4096 processors is ~4 MiB.
  constexpr std::size_t small = 4096;
  constexpr std::size_t cpuinfo_limit = std::size_t{8} << 20;
  machine_signs signs;
  signs.cpuinfo = bounded_text(root, "/proc/cpuinfo", cpuinfo_limit);
  const std::string cpu = "/sys/devices/system/cpu/";
  for (int id : processor_list(bounded_text(root, cpu + "online", small))) {
    const std::string folder = cpu + "cpu" + std::to_string(id);
    signs.processors.push_back({id,
                                bounded_text(root, folder + "/regs/identification/midr_el1", small),
                                bounded_text(root, folder + "/cpu_capacity", small)});
  }
  signs.performance_core_list = bounded_text(root, "/sys/devices/cpu_core/cpus", small);
  signs.efficiency_core_list = bounded_text(root, "/sys/devices/cpu_atom/cpus", small);
  signs.hypervisor_type = bounded_text(root, "/sys/hypervisor/type", small);
  signs.dmi_vendor = bounded_text(root, "/sys/class/dmi/id/sys_vendor", small);
  signs.dmi_product = bounded_text(root, "/sys/class/dmi/id/product_name", small);
  signs.device_tree_hypervisor =
      bounded_text(root, "/proc/device-tree/hypervisor/compatible", small);
  return signs;
}

double process_processor_seconds() { return clock_seconds(CLOCK_PROCESS_CPUTIME_ID); }

double thread_processor_seconds() { return clock_seconds(CLOCK_THREAD_CPUTIME_ID); }

std::int64_t resident_kib() { return status_field("VmRSS:"); }

std::int64_t peak_resident_kib() {
  const std::int64_t peak = status_field("VmHWM:");
  if (peak >= 0) return peak;
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return -1;
  return usage.ru_maxrss;  // KiB on Linux
}

int thread_count() { return static_cast<int>(status_field("Threads:")); }

double load_average() {
  double loads[1] = {-1.0};
  if (getloadavg(loads, 1) != 1) return -1.0;
  return loads[0];
}

std::string raw_machine_id(const std::string& root) {
  const std::string folder =
      root.empty() || root.back() != '/' ? root : root.substr(0, root.size() - 1);
  return file_text((folder + "/etc/machine-id").c_str());
}

std::string default_history_path() {
  const char* data_home = std::getenv("XDG_DATA_HOME");
  std::string folder;
  // The XDG rules ignore a relative value.
  if (data_home != nullptr && data_home[0] == '/') {
    folder = data_home;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return "";
    folder = std::string(home) + "/.local/share";
  }
  return folder + "/quorvane/history.sqlite";
}

bool make_parent_folders(const std::string& path, std::string& error) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::error_code failure;
  std::filesystem::create_directories(path.substr(0, slash), failure);
  if (failure) {
    error = "cannot create the folder of " + path + ": " + failure.message();
    return false;
  }
  return true;
}

}  // namespace quorvane::host::platform
