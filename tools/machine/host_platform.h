// The host's operating-system seam: dynamic loading, the program's own
// location and arguments, interrupt handling, terminal detection, sleeping,
// files, and what the host reads about the machine and its own process. Everything else in the host
// is portable C++; each operating system has one source file implementing this header
// (host_platform_posix.cpp, host_platform_win32.cpp).
//
// Text crossing this seam is UTF-8; the Windows side converts to and from
// the wide-character API at the boundary.
#ifndef QUORVANE_TOOLS_MACHINE_HOST_PLATFORM_H
#define QUORVANE_TOOLS_MACHINE_HOST_PLATFORM_H

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::host::platform {

// The program's arguments, argv[0] excluded, as UTF-8.
std::vector<std::string> program_arguments(int argc, char** argv);

// The folder holding the running executable, without a trailing separator;
// "." when it cannot be found.
std::string executable_directory();

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

// Makes the program take interrupt requests (SIGINT and SIGTERM, or the
// console's Ctrl-C, Ctrl-Break and close events) by counting them: the
// program polls interrupt_count() and cancels the run itself, so the process
// never ends while a run of the library is in progress. Called before the
// program makes any thread. On POSIX systems the requests are held back in
// the calling thread, and so in every thread made after it (the library's
// too), and taken by interrupt_count() and sleep_ms(): no handler has to
// run on whichever thread the kernel picks, and a hold inherited from the
// parent process changes nothing.
void install_interrupt_handlers();

// How many interrupt requests have arrived since install_interrupt_handlers.
int interrupt_count();

// Tells the interrupt handlers whether a run is in progress. Where the
// operating system ends the process as soon as a handler returns (console
// close on Windows), the handler holds it until no run is in progress.
void set_run_in_progress(bool in_progress);

// Makes standard output and standard error write each '\n' as it is: a
// report line leaves the host unchanged, and line ends never carry the
// carriage return that a redrawn progress line uses. A closed reader of
// either stream makes writes to it fail: the process is never ended for it
// (SIGPIPE is ignored). A standard stream closed when the host starts is
// opened on the null device, so that no file the host opens takes its
// number (a report line written into an export).
void prepare_standard_streams();

// True when standard output was closed when the host started.
bool standard_output_was_closed();

// True when stream is attached to an interactive terminal.
bool is_terminal(std::FILE* stream);

// Sleeps for about the given number of milliseconds. On POSIX systems an
// interrupt request ends the sleep early; on Windows the polling loop sees it
// at the next wake-up.
void sleep_ms(unsigned milliseconds);

// Follows path's symbolic links to the file that a write to path replaces:
// path itself when it is no link or does not exist yet, so the link stays
// and the file it names gets the new contents. Refuses, as the kernel's
// protected_symlinks rule does, a link in a sticky, world-writable folder
// (such as /tmp) that is owned neither by this user nor by the folder's
// owner. Returns false and sets error to the reason.
bool resolve_write_target(const std::string& path, std::string& target, std::string& error);

// Writes contents to a new file with a unique name in target's folder, never
// another writer's, flushed to the disk and closed, and sets temporary to
// its path. The file gets the mode of an existing target (and its owner,
// where this process may set it), else 0666 less the umask. On failure
// nothing is left behind and error says why.
bool write_temporary_beside(const std::string& target, const std::string& contents,
                            std::string& temporary, std::string& error);

// Renames from over to, replacing to if it exists, in one step, and makes
// the rename itself durable (the folder is flushed to the disk).
bool replace_file(const std::string& from, const std::string& to, std::string& error);

// Removes a file; nothing happens when it does not exist.
void remove_file(const std::string& path);

// True when path names a folder.
bool is_directory(const std::string& path);

// The whole contents of the file at path, read as bytes. Returns false and
// sets error to the system's reason when it cannot be read.
bool read_file(const std::string& path, std::string& contents, std::string& error);

// A number that no other running process has: it keeps temporary names apart.
unsigned long process_id();

// The UTC calendar time of a moment. Returns false when the system cannot
// represent it.
bool utc_calendar_time(std::time_t moment, std::tm& calendar);

// The moment of a UTC calendar time; fields beyond their range carry over
// (the 32nd of January is the 1st of February). Returns false when the
// system cannot represent it.
bool utc_moment(std::tm calendar, std::time_t& moment);

// Reads a "YYYY-MM-DDTHH:MM:SSZ" text, as the results documents write
// times, into calendar (strptime; std::get_time where the C library has no
// strptime). Returns false for any other text, trailing characters included.
bool read_utc_text(const std::string& text, std::tm& calendar);
// The system's own machine ID as it stands: the text of /etc/machine-id
// under root (Linux; "/" on a real machine), or the MachineGuid value
// (Windows, which ignores root). "" when the system has none. It never
// leaves the machine: the history keeps a hash of it (machine_identity.h).
std::string raw_machine_id(const std::string& root = "/");

// The history database's usual place: $XDG_DATA_HOME/quorvane/history.sqlite
// (~/.local/share/quorvane/history.sqlite when the variable is unset or not
// an absolute path), or %LOCALAPPDATA%\quorvane\history.sqlite on Windows.
// "" when neither the variable nor the home folder is known.
std::string default_history_path();

// Creates the folder that holds path, with its parents, where missing.
// Returns false and sets error to the reason when it cannot.
bool make_parent_folders(const std::string& path, std::string& error);

// What the host reads about the machine, unprocessed; the machine
// description (machine_description.h) makes sense of it. A field the system
// does not give stays empty or 0.
struct machine_readings {
  std::string processor_brand;  // the CPUID brand string (x86-64)
  std::string cpuinfo;          // the text of /proc/cpuinfo (Linux)
  int logical_processors = 0;   // online
  int usable_processors = 0;    // the ones this process may run on
  std::uint64_t memory_bytes = 0;
  std::string os_release;  // the text of /etc/os-release (Linux)
  std::string os_name;     // the product name and version (Windows)
  std::string kernel;      // "Linux 6.1.0-18-amd64", "Windows NT 10.0.19045"
};
machine_readings read_machine();

// What the system shows about its processors and its hypervisor beyond
// what CPUID tells: the signs an Arm machine gives (no CPUID there) and
// those of cores of more than one kind. Linux reads them under root, as
// the conditions are read; Windows gives the efficiency classes alone.
// Texts are raw and unchecked; what the system does not show stays empty.
struct processor_signs {
  int id = 0;
  std::string main_id;   // regs/identification/midr_el1 (Arm)
  std::string capacity;  // cpu_capacity: the scheduler's relative speed (Arm)
};
struct machine_signs {
  std::string cpuinfo;                      // /proc/cpuinfo
  std::vector<processor_signs> processors;  // each online processor's
  std::string performance_core_list;        // /sys/devices/cpu_core/cpus, "0-15"
  std::string efficiency_core_list;         // /sys/devices/cpu_atom/cpus, "16-23"
  // One per logical processor: Windows' EfficiencyClass of its core.
  std::vector<int> efficiency_classes;
  std::string hypervisor_type;         // /sys/hypervisor/type
  std::string dmi_vendor;              // /sys/class/dmi/id/sys_vendor
  std::string dmi_product;             // /sys/class/dmi/id/product_name
  std::string device_tree_hypervisor;  // /proc/device-tree/hypervisor/compatible
};
machine_signs read_machine_signs(const std::string& root = "/");

// Processor time, in seconds from a fixed origin, summed over every
// processor: the machine's total and busy time, and this process's own.
struct processor_times {
  double machine_total_seconds = 0;
  double machine_busy_seconds = 0;
  double own_seconds = 0;
};

// Processor time used so far by this process (all its threads) and by the
// calling thread.
double process_processor_seconds();
double thread_processor_seconds();

// The system's one-minute load average, or -1 where it has none (Windows).
double load_average();

// This process's resident memory now and at its peak, in KiB, and its
// thread count; -1 when the system does not say.
std::int64_t resident_kib();
std::int64_t peak_resident_kib();
int thread_count();

// The conditions a run happens in. On Linux they are read from the /proc
// and /sys trees under a root folder: "/" on a real machine, a fake tree in
// the tests. Windows reads its own interfaces and ignores the root. Whatever
// the system does not show stays empty: nothing is guessed.

// The processors this process may run on, by the system's numbering. Under
// a root other than "/", the processors that tree lists as online
// (/sys/devices/system/cpu/online, "0-3,8"): a fake tree's own machine.
std::vector<int> usable_processor_ids(const std::string& root = "/");

// What stays fixed while a run goes on.
struct condition_settings {
  // The tightest processor quota over this process's cgroup and its parents
  // (or the job object's rate control), in processors: 0.5 is half of one.
  std::optional<double> quota_processors;
  std::string quota_source;                 // "cgroup v2 /box", "cgroup v1 /box", "job object"
  std::optional<double> max_frequency_hz;   // the highest the processors may run at
  std::optional<double> base_frequency_hz;  // the rated frequency, where shown
  std::string frequency_policy;             // the governor, or the power scheme
  std::optional<bool> boost;                // turbo or boost allowed
  // True on a battery that is discharging, false on mains.
  std::optional<bool> on_battery;
  // "/.dockerenv", "overlay root", "cgroup /docker/3f2a"; empty when none
  // of the places looked at shows one, nothing when none could be read.
  std::optional<std::vector<std::string>> container_signs;
  // The cgroup folder of the binding quota, whose cpu.stat a run's reader
  // follows (Linux); not part of the description.
  std::string quota_folder;
};
// Linux reads the frequency limits and the policy from a sample of at most
// 64 processors spread over the usable ones (all of them up to 64).
condition_settings read_condition_settings(const std::string& root,
                                           const std::vector<int>& processors);

// Counters that grow while a run goes on, read at one moment. Times are in
// seconds, over the usable processors alone. On Linux, beyond 64 usable
// processors the thermal counts come from the sample (above).
struct condition_counters {
  bool has_times = false;
  double total_seconds = 0;
  double busy_seconds = 0;  // steal excluded
  double own_seconds = 0;   // this process
  std::optional<double> steal_seconds;
  // Thermal throttling events (core and package) so far.
  std::optional<std::uint64_t> throttle_events;
  // The quota's throttling so far: periods cut short and time held back.
  std::optional<std::uint64_t> quota_throttled_periods;
  std::optional<double> quota_throttled_seconds;
};
// Reads the counters and the processors' present frequencies during a run:
// the files of the sample (at most 64 processors on Linux) stay open
// between readings, so that a reading costs one read per file, and the
// open files stay bounded whatever the processor count.
class condition_reader {
 public:
  // quota_folder: condition_settings::quota_folder, so that the cgroup tree
  // is walked once per invocation.
  condition_reader(const std::string& root, const std::vector<int>& processors,
                   const std::string& quota_folder);
  ~condition_reader();
  condition_reader(const condition_reader&) = delete;
  condition_reader& operator=(const condition_reader&) = delete;

  condition_counters counters();

  // One value in hertz per processor of the sample that shows it (Windows:
  // one for all); empty when none does. every_processor: each usable
  // processor instead, the ones beyond the sample opened for this reading.
  std::vector<double> frequencies_hz(bool every_processor);

  // True when the sample is every usable processor.
  bool samples_every_processor() const;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

}  // namespace quorvane::host::platform

#endif  // QUORVANE_TOOLS_MACHINE_HOST_PLATFORM_H
