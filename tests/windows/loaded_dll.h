// Loads the built DLL by its module name with LoadLibraryW, as a Windows host
// does, and resolves its eight exports with GetProcAddress.
#ifndef QUORVANE_TESTS_LOADED_DLL_H
#define QUORVANE_TESTS_LOADED_DLL_H

#include <windows.h>

#include <stdexcept>
#include <string>

// The module name; the DLL sits beside the test programs, where the loader
// looks first.
constexpr const wchar_t* dll_name = L"morvatic-quorvane-cpu-benchmark.dll";

class loaded_dll {
 public:
  using text_fn = const char* (*)();
  using int_fn = int (*)();
  using void_fn = void (*)();

  loaded_dll() {
    module_ = LoadLibraryW(dll_name);
    if (module_ == nullptr) {
      throw std::runtime_error("LoadLibraryW failed: " + std::to_string(GetLastError()));
    }
    version = resolve<text_fn>("quorvane_version");
    last_error = resolve<text_fn>("quorvane_last_error");
    state = resolve<int_fn>("quorvane_state");
    progress = resolve<int_fn>("quorvane_progress");
    phase = resolve<int_fn>("quorvane_phase");
    cancel = resolve<void_fn>("quorvane_cancel");
    start = resolve<int_fn>("quorvane_start");
    results_json = resolve<text_fn>("quorvane_results_json");
  }
  loaded_dll(const loaded_dll&) = delete;
  loaded_dll& operator=(const loaded_dll&) = delete;
  ~loaded_dll() { unload(); }

  // Gives back this object's reference with FreeLibrary.
  void unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }

  HMODULE module() const { return module_; }

  text_fn version;
  text_fn last_error;
  int_fn state;
  int_fn progress;
  int_fn phase;
  void_fn cancel;
  int_fn start;
  text_fn results_json;

 private:
  template <typename Fn>
  Fn resolve(const char* name) {
    FARPROC address = GetProcAddress(module_, name);
    if (address == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
  }

  HMODULE module_ = nullptr;
};

#endif  // QUORVANE_TESTS_LOADED_DLL_H
