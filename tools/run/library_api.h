// The library's eight exports, resolved from a dynamically loaded copy.
#ifndef QUORVANE_TOOLS_RUN_LIBRARY_API_H
#define QUORVANE_TOOLS_RUN_LIBRARY_API_H

#include <memory>
#include <string>

#include "machine/host_platform.h"

namespace quorvane::host {

// The exported functions, called through these pointers only.
struct library_api {
  const char* (*version)();
  const char* (*last_error)();
  int (*state)();
  int (*progress)();
  int (*phase)();
  void (*cancel)();
  int (*start)();
  const char* (*results_json)();
};

// A loaded library with all eight exports resolved. Unloads the library when
// destroyed, unless a run is still in progress: the library's threads must
// never lose their code under them.
class loaded_library {
 public:
  loaded_library(platform::library_handle handle, const library_api& api);
  ~loaded_library();
  loaded_library(const loaded_library&) = delete;
  loaded_library& operator=(const loaded_library&) = delete;

  const library_api& api() const { return api_; }

 private:
  platform::library_handle handle_;
  library_api api_;
};

// Loads the library at path and resolves its eight exports. On failure
// returns nullptr and sets error to one line naming the path and the reason:
// the system's text when the file cannot be loaded, or the exports it lacks.
std::unique_ptr<loaded_library> load_library(const std::string& path, std::string& error);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RUN_LIBRARY_API_H
