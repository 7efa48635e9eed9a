// Loads the built shared library by path, as a host does, and resolves its
// eight exports.
#ifndef QUORVANE_TESTS_LOADED_LIBRARY_H
#define QUORVANE_TESTS_LOADED_LIBRARY_H

#include <dlfcn.h>

#include <stdexcept>
#include <string>

class loaded_library {
 public:
  using text_fn = const char* (*)();
  using int_fn = int (*)();
  using void_fn = void (*)();

  explicit loaded_library(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
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

  void unload() {
    if (handle_ != nullptr) dlclose(handle_);
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

 private:
  template <typename Fn>
  Fn resolve(const char* name) {
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    return reinterpret_cast<Fn>(symbol);
  }

  void* handle_ = nullptr;
};

#endif  // QUORVANE_TESTS_LOADED_LIBRARY_H
