// Loads the built library by path, as a host does, and resolves its eight
// exports: dlopen and dlsym, or LoadLibraryW and GetProcAddress on Windows.
// Unlike the command-line host's loader, unload() unloads whenever it is
// told to, even during a run: the tests check that the library survives
// exactly that. The destructor, which also runs when a test fails part way,
// first cancels a run still in progress and waits for it to close, and leaves
// the library loaded when it does not close: its threads may still run.
#ifndef QUORVANE_TESTS_LOADED_LIBRARY_H
#define QUORVANE_TESTS_LOADED_LIBRARY_H

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

#include <chrono>
#include <stdexcept>
#include <string>
#if !defined(_WIN32)
#  include <thread>
#endif

class loaded_library {
 public:
  using text_fn = const char* (*)();
  using int_fn = int (*)();
  using void_fn = void (*)();

  // Throws std::runtime_error when the library cannot be loaded or lacks an
  // export. On Windows a bare file name is looked for beside the program
  // first; the tests' paths are ASCII.
  explicit loaded_library(const std::string& path) {
    open(path);
    version = resolve<text_fn>("quorvane_version");
    last_error = resolve<text_fn>("quorvane_last_error");
    state = resolve<int_fn>("quorvane_state");
    progress = resolve<int_fn>("quorvane_progress");
    phase = resolve<int_fn>("quorvane_phase");
    cancel = resolve<void_fn>("quorvane_cancel");
    start = resolve<int_fn>("quorvane_start");
    results_json = resolve<text_fn>("quorvane_results_json");
  }
  loaded_library(const loaded_library&) = delete;
  loaded_library& operator=(const loaded_library&) = delete;
  ~loaded_library() {
    if (handle_ == nullptr) return;
    if (state() == 1) {
      cancel();
      if (wait_for_close(std::chrono::seconds(60)) == 1) return;
    }
    unload();
  }

  // Gives back this object's reference to the library.
  void unload() {
    if (handle_ != nullptr) close();
    handle_ = nullptr;
  }

  // Polls the state until it is final (2 or 3) or the limit passes, with
  // the given pause between reads (none: spin, to act within moments of the
  // final state). Returns the last state read.
  int wait_for_close(std::chrono::milliseconds limit,
                     std::chrono::microseconds pause = std::chrono::milliseconds(5)) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int now = state();
    while (now != 2 && now != 3 && std::chrono::steady_clock::now() < deadline) {
      if (pause.count() > 0) nap(pause);
      now = state();
    }
    return now;
  }

  // Polls every 5 ms until the run reaches the phase or ends.
  void wait_for_phase(int target) const {
    while (phase() < target && state() == 1) nap(std::chrono::milliseconds(5));
  }

  text_fn version;
  text_fn last_error;
  int_fn state;
  int_fn progress;
  int_fn phase;
  void_fn cancel;
  int_fn start;
  text_fn results_json;

#if defined(_WIN32)
  HMODULE module() const { return handle_; }

 private:
  // The Windows toolchain's thread model has no std::this_thread.
  static void nap(std::chrono::microseconds pause) {
    Sleep(static_cast<DWORD>((pause.count() + 999) / 1000));
  }
  void open(const std::string& path) {
    const std::wstring wide(path.begin(), path.end());
    handle_ = LoadLibraryW(wide.c_str());
    if (handle_ == nullptr) {
      throw std::runtime_error("LoadLibraryW " + path + ": error " +
                               std::to_string(GetLastError()));
    }
  }
  void* symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(handle_, name));
  }
  void close() { FreeLibrary(handle_); }

  HMODULE handle_ = nullptr;
#else
 private:
  static void nap(std::chrono::microseconds pause) { std::this_thread::sleep_for(pause); }
  void open(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
  }
  void* symbol(const char* name) const { return dlsym(handle_, name); }
  void close() { dlclose(handle_); }

  void* handle_ = nullptr;
#endif

  template <typename Fn>
  Fn resolve(const char* name) const {
    void* address = symbol(name);
    if (address == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    return reinterpret_cast<Fn>(address);
  }
};

#endif  // QUORVANE_TESTS_LOADED_LIBRARY_H
