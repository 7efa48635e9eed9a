// The host's operating-system seam on Windows.
#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#  define NOMINMAX
#endif
// windows.h comes first, in a block of its own: the others use its types.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <pdh.h>
#include <pdhmsg.h>
#include <powrprof.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <vector>

#include "machine/host_platform.h"
#include "machine/processor_brand.h"

namespace quorvane::host::platform {
namespace {

std::atomic<int> g_interrupts{0};
std::atomic<bool> g_run_in_progress{false};

std::wstring to_wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string to_utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                      nullptr, nullptr);
  return text;
}

// The system's message for an error code, on one line.
std::string system_message(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string message = length > 0 ? to_utf8(std::wstring(buffer, length)) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  for (char& c : message) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  if (message.empty()) message = "error " + std::to_string(code);
  return message;
}

double filetime_seconds(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<double>(value.QuadPart) * 1e-7;  // 100 ns units
}

// A text value under HKEY_LOCAL_MACHINE, or "".
std::string registry_text(const wchar_t* key, const wchar_t* name) {
  wchar_t value[256] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return std::string();
  }
  return to_utf8(value);
}

// The version the system really runs: GetVersionEx answers what the
// program's manifest asks for, RtlGetVersion does not.
std::string kernel_version() {
  using rtl_get_version = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return "Windows NT";
  std::string text = "Windows NT";
  const auto get_version = reinterpret_cast<rtl_get_version>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (get_version != nullptr && get_version(&version) == 0) {
    text += " " + std::to_string(version.dwMajorVersion) + "." +
            std::to_string(version.dwMinorVersion) + "." + std::to_string(version.dwBuildNumber);
  }
  // Wine answers as Windows does; its own export says what is underneath.
  using wine_version = const char*(CDECL*)();
  const auto wine = reinterpret_cast<wine_version>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  if (wine != nullptr) text += std::string(" (Wine ") + wine() + ")";
  return text;
}

// GetProcessTimes and GetThreadTimes take the same arguments.
using times_function = BOOL(WINAPI*)(HANDLE, FILETIME*, FILETIME*, FILETIME*, FILETIME*);
double kernel_and_user_seconds(times_function read_times, HANDLE of) {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (read_times(of, &created, &exited, &kernel, &user) == 0) return 0.0;
  return filetime_seconds(kernel) + filetime_seconds(user);
}

bool memory_counters(PROCESS_MEMORY_COUNTERS& counters) {
  return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) != 0;
}

BOOL WINAPI on_console_control(DWORD event) {
  g_interrupts.fetch_add(1);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Close, log-off and shut-down end the process when this handler returns;
  // hold it until the main thread has seen the run close, so the library's
  // threads never outlive a process that is tearing down. The system's own
  // time limit for these events still applies.
  while (g_run_in_progress.load()) Sleep(20);
  return TRUE;
}

}  // namespace

std::vector<std::string> program_arguments(int argc, char** argv) {
  // The narrow argv of the C runtime is in the ANSI code page; the wide
  // command line keeps every character of a path.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (wide == nullptr) {
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
  }
  for (int i = 1; i < count; ++i) arguments.push_back(to_utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string executable_directory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return ".";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return ".";
  return to_utf8(path.substr(0, slash));
}

library_handle open_library(const std::string& path, std::string& error) {
  // A full path keeps LoadLibrary from searching the system's folders.
  const std::wstring wide = to_wide(path);
  std::wstring full(MAX_PATH, L'\0');
  const auto full_path = [&] {
    return GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  };
  DWORD length = full_path();
  if (length >= full.size()) {
    full.resize(length);
    length = full_path();
  }
  full.resize(length);
  const std::wstring& to_load = length > 0 ? full : wide;
  HMODULE module = LoadLibraryExW(to_load.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) error = system_message(GetLastError());
  return reinterpret_cast<library_handle>(module);
}

void* find_symbol(library_handle library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void close_library(library_handle library) { FreeLibrary(static_cast<HMODULE>(library)); }

// Console events arrive on a thread of their own, never a worker's.
void install_interrupt_handlers() { SetConsoleCtrlHandler(&on_console_control, TRUE); }

int interrupt_count() { return g_interrupts.load(); }

void set_run_in_progress(bool in_progress) { g_run_in_progress.store(in_progress); }

void prepare_standard_streams() {
  // Text mode would turn every '\n' into CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool standard_output_was_closed() {
  // A process started without a standard output has no valid handle there.
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  return output == nullptr || output == INVALID_HANDLE_VALUE;
}

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void sleep_ms(unsigned milliseconds) { Sleep(milliseconds); }

bool resolve_write_target(const std::string& path, std::string& target, std::string& error) {
  target = path;
  const DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return true;
  }
  // A link: the file it names is the one to replace, so the link stays.
  HANDLE file =
      CreateFileW(to_wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;
    error = system_message(code);
    return false;
  }
  std::wstring final_path(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file, final_path.data(), static_cast<DWORD>(final_path.size()),
                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  const DWORD code = GetLastError();
  CloseHandle(file);
  if (length == 0 || length >= final_path.size()) {
    error = system_message(code);
    return false;
  }
  final_path.resize(length);
  target = to_utf8(final_path);
  return true;
}

bool write_temporary_beside(const std::string& target, const std::string& contents,
                            std::string& temporary, std::string& error) {
  // CREATE_NEW never opens another writer's file; a name taken already is
  // tried again with the next number.
  static std::atomic<unsigned> attempt{0};
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string name;
  for (int tries = 0; tries < 100 && file == INVALID_HANDLE_VALUE; ++tries) {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    name = target + "." + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(static_cast<unsigned long long>(now.QuadPart) + attempt.fetch_add(1)) +
           ".tmp";
    file = CreateFileW(to_wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) {
    error = system_message(GetLastError());
    return false;
  }
  std::size_t written = 0;
  bool ok = true;
  while (ok && written < contents.size()) {
    DWORD count = 0;
    const std::size_t rest = contents.size() - written;
    const DWORD chunk = rest > 0x40000000U ? 0x40000000U : static_cast<DWORD>(rest);
    if (WriteFile(file, contents.data() + written, chunk, &count, nullptr) == 0) {
      error = system_message(GetLastError());
      ok = false;
    } else if (count == 0) {
      error = "the file system accepted no more data";
      ok = false;
    }
    written += count;
  }
  if (ok && FlushFileBuffers(file) == 0) {
    error = system_message(GetLastError());
    ok = false;
  }
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(to_wide(name).c_str());
    return false;
  }
  temporary = name;
  return true;
}

bool replace_file(const std::string& from, const std::string& to, std::string& error) {
  const std::wstring wide_from = to_wide(from);
  const std::wstring wide_to = to_wide(to);
  // ReplaceFileW keeps the replaced file's security descriptor and
  // attributes, as the POSIX side keeps its mode and owner.
  const DWORD kept = GetFileAttributesW(wide_to.c_str());
  const bool replaced = (kept != INVALID_FILE_ATTRIBUTES &&
                         ReplaceFileW(wide_to.c_str(), wide_from.c_str(), nullptr,
                                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0) ||
                        MoveFileExW(wide_from.c_str(), wide_to.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!replaced) {
    error = system_message(GetLastError());
    return false;
  }
  // Where the file was moved over the old one (and under Wine, replaced
  // too), it has the temporary's attributes: the old ones are set again, so
  // that a read-only file stays read-only.
  constexpr DWORD settable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_READONLY |
                             FILE_ATTRIBUTE_SYSTEM;
  if (kept != INVALID_FILE_ATTRIBUTES && (kept & settable) != 0 &&
      GetFileAttributesW(wide_to.c_str()) != kept &&
      SetFileAttributesW(wide_to.c_str(), kept & settable) == 0) {
    error = "written, but its attributes could not be kept: " + system_message(GetLastError());
    return false;
  }
  return true;
}

void remove_file(const std::string& path) { DeleteFileW(to_wide(path).c_str()); }

bool is_directory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool read_file(const std::string& path, std::string& contents, std::string& error) {
  const HANDLE file = CreateFileW(to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = system_message(GetLastError());
    return false;
  }
  contents.clear();
  char chunk[65536];
  for (;;) {
    DWORD count = 0;
    if (ReadFile(file, chunk, sizeof chunk, &count, nullptr) == 0) {
      error = system_message(GetLastError());
      CloseHandle(file);
      return false;
    }
    if (count == 0) break;
    contents.append(chunk, count);
  }
  CloseHandle(file);
  return true;
}

unsigned long process_id() { return GetCurrentProcessId(); }

bool utc_calendar_time(std::time_t moment, std::tm& calendar) {
  const __time64_t wide_moment = moment;
  return _gmtime64_s(&calendar, &wide_moment) == 0;
}

bool utc_moment(std::tm calendar, std::time_t& moment) {
  // The C runtime's range starts at 1970, so -1 is always its failure.
  const __time64_t wide_moment = _mkgmtime64(&calendar);
  moment = static_cast<std::time_t>(wide_moment);
  return wide_moment != -1;
}

bool read_utc_text(const std::string& text, std::tm& calendar) {
  calendar = std::tm{};
  std::istringstream stream(text);
  stream >> std::get_time(&calendar, "%Y-%m-%dT%H:%M:%SZ");
  return !stream.fail() && stream.peek() == std::char_traits<char>::eof();
}

machine_readings read_machine() {
  machine_readings readings;
  readings.processor_brand = processor_brand_string();
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  readings.logical_processors = static_cast<int>(system.dwNumberOfProcessors);
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0) {
    readings.usable_processors =
        static_cast<int>(std::bitset<sizeof(DWORD_PTR) * 8>(process_mask).count());
  }
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  if (GlobalMemoryStatusEx(&memory) != 0) readings.memory_bytes = memory.ullTotalPhys;
  const wchar_t* current = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  readings.os_name = registry_text(current, L"ProductName");
  std::string release = registry_text(current, L"DisplayVersion");
  if (release.empty()) release = registry_text(current, L"ReleaseId");
  if (!readings.os_name.empty() && !release.empty()) readings.os_name += " " + release;
  readings.kernel = kernel_version();
  return readings;
}

machine_signs read_machine_signs(const std::string&) {
  machine_signs signs;
  // Each core's efficiency class, once for each of its logical processors:
  // a higher class is a faster core, and all are 0 where the cores are alike.
  DWORD size = 0;
  GetLogicalProcessorInformationEx(RelationProcessorCore, nullptr, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return signs;
  std::vector<unsigned char> buffer(size);
  auto* first = reinterpret_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(buffer.data());
  if (GetLogicalProcessorInformationEx(RelationProcessorCore, first, &size) == 0) return signs;
  for (DWORD offset = 0;
       offset + offsetof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX, Processor) <= size;) {
    const auto* entry =
        reinterpret_cast<const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(buffer.data() + offset);
    if (entry->Size == 0 || offset + entry->Size > size) break;
    if (entry->Relationship == RelationProcessorCore) {
      const PROCESSOR_RELATIONSHIP& core = entry->Processor;
      std::size_t threads = 0;
      for (WORD group = 0; group < core.GroupCount && group < ANYSIZE_ARRAY; ++group) {
        threads += std::bitset<sizeof(KAFFINITY) * 8>(core.GroupMask[group].Mask).count();
      }
      // EfficiencyClass is the byte after Flags; older headers (mingw's)
      // still call it reserved.
      unsigned char efficiency_class = 0;
      std::memcpy(&efficiency_class,
                  reinterpret_cast<const unsigned char*>(&core) +
                      offsetof(PROCESSOR_RELATIONSHIP, Flags) + sizeof core.Flags,
                  1);
      signs.efficiency_classes.insert(signs.efficiency_classes.end(), threads,
                                      static_cast<int>(efficiency_class));
    }
    offset += entry->Size;
  }
  return signs;
}

namespace {

// Returns false when the system does not say.
bool read_processor_times(processor_times& times) {
  // Kernel time includes idle time; both are summed over every processor.
  FILETIME idle;
  FILETIME kernel;
  FILETIME user;
  if (GetSystemTimes(&idle, &kernel, &user) == 0) return false;
  times.machine_total_seconds = filetime_seconds(kernel) + filetime_seconds(user);
  times.machine_busy_seconds = times.machine_total_seconds - filetime_seconds(idle);
  times.own_seconds = process_processor_seconds();
  return true;
}

}  // namespace

double process_processor_seconds() {
  return kernel_and_user_seconds(&GetProcessTimes, GetCurrentProcess());
}

double thread_processor_seconds() {
  return kernel_and_user_seconds(&GetThreadTimes, GetCurrentThread());
}

std::int64_t resident_kib() {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!memory_counters(counters)) return -1;
  return static_cast<std::int64_t>(counters.WorkingSetSize / 1024);
}

std::int64_t peak_resident_kib() {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!memory_counters(counters)) return -1;
  return static_cast<std::int64_t>(counters.PeakWorkingSetSize / 1024);
}

double load_average() { return -1.0; }

// Also the thread count of the Windows library tests (tests/windows).
int thread_count() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  const DWORD self = GetCurrentProcessId();
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more != 0;
       more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

namespace {

// The record CallNtPowerInformation(ProcessorInformation) fills, one per
// processor; the system headers do not declare it.
struct processor_power_information {
  ULONG Number;
  ULONG MaxMhz;
  ULONG CurrentMhz;
  ULONG MhzLimit;
  ULONG MaxIdleState;
  ULONG CurrentIdleState;
};

constexpr double hertz_per_megahertz = 1e6;

std::vector<processor_power_information> power_information() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  std::vector<processor_power_information> records(system.dwNumberOfProcessors);
  const auto size = static_cast<ULONG>(records.size() * sizeof(processor_power_information));
  if (records.empty() ||
      CallNtPowerInformation(ProcessorInformation, nullptr, 0, records.data(), size) != 0) {
    records.clear();
  }
  return records;
}

// Readings that found a processor held below its rated frequency; Windows
// keeps no count of its own.
std::atomic<std::uint64_t> g_limited_readings{0};

}  // namespace

std::vector<int> usable_processor_ids(const std::string&) {
  std::vector<int> ids;
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) == 0) return ids;
  for (int id = 0; id < static_cast<int>(sizeof(DWORD_PTR) * 8); ++id) {
    if (((process_mask >> id) & 1U) != 0) ids.push_back(id);
  }
  return ids;
}

condition_settings read_condition_settings(const std::string&, const std::vector<int>&) {
  condition_settings settings;
  JOBOBJECT_CPU_RATE_CONTROL_INFORMATION rate{};
  // A null job handle asks about the job this process is in, if any.
  if (QueryInformationJobObject(nullptr, JobObjectCpuRateControlInformation, &rate, sizeof rate,
                                nullptr) != 0 &&
      (rate.ControlFlags & JOB_OBJECT_CPU_RATE_CONTROL_ENABLE) != 0) {
    // The rate is in hundredths of a percent of the whole machine.
    DWORD cap = 0;
    if ((rate.ControlFlags & JOB_OBJECT_CPU_RATE_CONTROL_HARD_CAP) != 0) cap = rate.CpuRate;
    // With a minimum and maximum rate, the maximum is the high word; the
    // flag and the pair are newer than some headers.
    constexpr DWORD min_max_rate = 0x10;
    if ((rate.ControlFlags & min_max_rate) != 0) cap = HIWORD(rate.CpuRate);
    if (cap > 0) {
      SYSTEM_INFO system{};
      GetSystemInfo(&system);
      settings.quota_processors =
          static_cast<double>(cap) / 10000.0 * static_cast<double>(system.dwNumberOfProcessors);
      settings.quota_source = "job object";
    }
  }
  const std::vector<processor_power_information> power = power_information();
  ULONG rated = 0;
  for (const processor_power_information& record : power) rated = std::max(rated, record.MaxMhz);
  // MaxMhz is the rated frequency; how far boost goes above it is not shown.
  if (rated > 0) settings.base_frequency_hz = static_cast<double>(rated) * hertz_per_megahertz;

  GUID* scheme = nullptr;
  if (PowerGetActiveScheme(nullptr, &scheme) == ERROR_SUCCESS && scheme != nullptr) {
    wchar_t name[128] = {};
    DWORD size = sizeof name - sizeof(wchar_t);
    if (PowerReadFriendlyName(nullptr, scheme, nullptr, nullptr, reinterpret_cast<UCHAR*>(name),
                              &size) == ERROR_SUCCESS) {
      settings.frequency_policy = to_utf8(name);
    }
    LocalFree(scheme);
  }
  SYSTEM_POWER_STATUS status{};
  // Offline mains is battery only where a system battery is there (flag
  // 128: none); 255 is "unknown" in either field.
  constexpr BYTE unknown = 255;
  constexpr BYTE no_system_battery = 128;
  if (GetSystemPowerStatus(&status) != 0 && status.ACLineStatus != unknown &&
      status.BatteryFlag != unknown) {
    settings.on_battery = status.ACLineStatus == 0 && status.BatteryFlag != no_system_battery;
  }
  return settings;
}

condition_counters condition_reader::counters() {
  condition_counters counters;
  processor_times times;
  if (read_processor_times(times)) {
    counters.has_times = true;
    counters.total_seconds = times.machine_total_seconds;
    counters.busy_seconds = times.machine_busy_seconds;
    counters.own_seconds = times.own_seconds;
  }
  const std::vector<processor_power_information> power = power_information();
  if (!power.empty()) {
    const bool limited = std::any_of(power.begin(), power.end(), [](const auto& record) {
      return record.MhzLimit > 0 && record.MhzLimit < record.MaxMhz;
    });
    if (limited) g_limited_readings.fetch_add(1);
    counters.throttle_events = g_limited_readings.load();
  }
  return counters;
}

// The performance counter's query, collected at each reading.
struct condition_reader::state {
  PDH_HQUERY query = nullptr;
  PDH_HCOUNTER counter = nullptr;
  double rated_hz = 0;
};

condition_reader::condition_reader(const std::string&, const std::vector<int>&, const std::string&)
    : state_(std::make_unique<state>()) {
  ULONG rated = 0;
  for (const processor_power_information& record : power_information()) {
    rated = std::max(rated, record.MaxMhz);
  }
  state_->rated_hz = static_cast<double>(rated) * hertz_per_megahertz;
  if (rated == 0 || PdhOpenQueryW(nullptr, 0, &state_->query) != ERROR_SUCCESS) return;
  if (PdhAddEnglishCounterW(state_->query,
                            L"\\Processor Information(_Total)\\% Processor Performance", 0,
                            &state_->counter) != ERROR_SUCCESS) {
    PdhCloseQuery(state_->query);
    state_->query = nullptr;
    return;
  }
  // A rate counter needs a first collection to measure from.
  PdhCollectQueryData(state_->query);
}

condition_reader::~condition_reader() {
  if (state_->query != nullptr) PdhCloseQuery(state_->query);
}

bool condition_reader::samples_every_processor() const { return true; }

std::vector<double> condition_reader::frequencies_hz(bool) {
  std::vector<double> values;
  if (state_->query == nullptr || PdhCollectQueryData(state_->query) != ERROR_SUCCESS) {
    return values;
  }
  PDH_FMT_COUNTERVALUE value{};
  if (PdhGetFormattedCounterValue(state_->counter, PDH_FMT_DOUBLE | PDH_FMT_NOCAP100, nullptr,
                                  &value) == ERROR_SUCCESS &&
      value.CStatus == PDH_CSTATUS_VALID_DATA && value.doubleValue > 0) {
    values.push_back(value.doubleValue / 100.0 * state_->rated_hz);
  }
  return values;
}

std::string raw_machine_id(const std::string&) {
  return registry_text(L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid");
}

std::string default_history_path() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || local[0] == L'\0') return "";
  return to_utf8(local) + "\\quorvane\\history.sqlite";
}

bool make_parent_folders(const std::string& path, std::string& error) {
  const std::filesystem::path folder = std::filesystem::path(to_wide(path)).parent_path();
  if (folder.empty()) return true;
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  if (failure) {
    error = "cannot create the folder of " + path + ": " + failure.message();
    return false;
  }
  return true;
}

}  // namespace quorvane::host::platform
