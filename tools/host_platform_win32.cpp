// The host's operating-system seam on Windows.
#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#  define NOMINMAX
#endif
// windows.h comes first, in a block of its own: shellapi.h uses its types.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>

#include "host_platform.h"

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

std::string join_path(const std::string& directory, const std::string& file_name) {
  if (directory.empty()) return file_name;
  const char last = directory.back();
  if (last == '\\' || last == '/') return directory + file_name;
  return directory + "\\" + file_name;
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

void install_interrupt_handlers() { SetConsoleCtrlHandler(&on_console_control, TRUE); }

int interrupt_count() { return g_interrupts.load(); }

void set_run_in_progress(bool in_progress) { g_run_in_progress.store(in_progress); }

void prepare_standard_streams() {
  // Text mode would turn every '\n' into CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void sleep_ms(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace quorvane::host::platform
