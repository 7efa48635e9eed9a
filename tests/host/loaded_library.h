// Loads the built library by path, as a host does, and resolves its eight
// exports: dlopen and dlsym, or LoadLibraryW and GetProcAddress on Windows.
// Unlike the command-line host's loader, it unloads whenever it is told to,
// even during a run: the tests check that the library survives exactly that.
#ifndef QUORVANE_TESTS_LOADED_LIBRARY_H
#define QUORVANE_TESTS_LOADED_LIBRARY_H

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

#include <stdexcept>
#include <string>

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
  ~loaded_library() { unload(); }

  // Gives back this object's reference to the library.
  void unload() {
    if (handle_ != nullptr) close();
    handle_ = nullptr;
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
