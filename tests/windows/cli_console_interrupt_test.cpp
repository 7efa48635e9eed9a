// quorvane.exe and Ctrl-C: the host is started on this program's console
// with its output piped back, and once it reports its first phase the
// console gets a Ctrl-C. The host must cancel the run, print the cancelled
// run's report on standard output and exit with status 130.
//
// Needs a console to send the event through; run under Wine it gets one from
// a pseudo-terminal (ctest starts it through script(1)). Exit status 77
// means there was no console, and ctest reports the test as skipped.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int exit_skipped = 77;
constexpr DWORD exit_interrupted = 130;

BOOL WINAPI ignore_interrupt(DWORD /*event*/) { return TRUE; }

// Where quorvane.exe is: beside this program.
std::wstring host_path() {
  wchar_t own[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
  std::wstring path(own, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"quorvane.exe";
}

// Reads from pipe until text holds a line end, the pipe ends or fails.
void read_line(HANDLE pipe, std::string& text) {
  char buffer[256];
  DWORD got = 0;
  while (text.find('\n') == std::string::npos &&
         ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
}

std::string read_all(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  return text;
}

int fail(const char* what, const std::string& detail = std::string()) {
  std::printf("FAILED: %s %s\n", what, detail.c_str());
  return 1;
}

}  // namespace

int main() {
  if (GetConsoleWindow() == nullptr && !AllocConsole()) {
    std::printf("no console to send Ctrl-C through: skipped\n");
    return exit_skipped;
  }
  // The event goes to every process on the console; this one lets it pass.
  SetConsoleCtrlHandler(&ignore_interrupt, TRUE);

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  if (!CreatePipe(&out_read, &out_write, &inheritable, 0) ||
      !CreatePipe(&err_read, &err_write, &inheritable, 0)) {
    return fail("CreatePipe");
  }
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  const std::wstring path = host_path();
  std::wstring command = L"\"" + path + L"\" --json";
  PROCESS_INFORMATION host{};
  if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &host)) {
    return fail("CreateProcessW", std::to_string(GetLastError()));
  }
  CloseHandle(out_write);
  CloseHandle(err_write);

  // Off a terminal the host writes one line per phase to standard error:
  // the first one means the run is under way and the handler installed.
  std::string progress;
  read_line(err_read, progress);
  if (progress.find('\n') == std::string::npos) return fail("no progress line", progress);
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
    TerminateProcess(host.hProcess, 1);
    return fail("GenerateConsoleCtrlEvent", std::to_string(GetLastError()));
  }

  const std::string report = read_all(out_read);
  progress += read_all(err_read);
  if (WaitForSingleObject(host.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(host.hProcess, 1);
    return fail("the host did not exit");
  }
  DWORD status = 0;
  GetExitCodeProcess(host.hProcess, &status);
  CloseHandle(host.hProcess);
  CloseHandle(host.hThread);

  std::printf("status %lu\nstdout %s\nstderr %s\n", status, report.c_str(), progress.c_str());
  if (status != exit_interrupted) return fail("exit status is not 130");
  // One report line of a run cancelled early: its measurements are 0.
  if (report.rfind("{\"score_single\":0,", 0) != 0 ||
      report.find("\"duration_ms\":") == std::string::npos ||
      report.find('\n') != report.size() - 1) {
    return fail("no cancelled run's report on standard output");
  }
  std::printf("passed\n");
  return 0;
}
