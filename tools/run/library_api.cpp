// Loading the library by path and resolving its exports by name.
#include "run/library_api.h"

#include <vector>

namespace quorvane::host {
namespace {

constexpr int state_running = 1;

// Converts a symbol address to the function pointer type of one export.
template <typename function>
void resolve(platform::library_handle handle, const char* name, function*& slot,
             std::vector<std::string>& missing) {
  void* address = platform::find_symbol(handle, name);
  if (address == nullptr) {
    missing.emplace_back(name);
    slot = nullptr;
    return;
  }
  slot = reinterpret_cast<function*>(address);
}

}  // namespace

loaded_library::loaded_library(platform::library_handle handle, const library_api& api)
    : handle_(handle), api_(api) {}

loaded_library::~loaded_library() {
  if (api_.state() != state_running) platform::close_library(handle_);
}

std::unique_ptr<loaded_library> load_library(const std::string& path, std::string& error) {
  std::string reason;
  platform::library_handle handle = platform::open_library(path, reason);
  if (handle == nullptr) {
    error = "cannot load the library " + path + ": " + reason;
    return nullptr;
  }

  library_api api{};
  std::vector<std::string> missing;
  resolve(handle, "quorvane_version", api.version, missing);
  resolve(handle, "quorvane_last_error", api.last_error, missing);
  resolve(handle, "quorvane_state", api.state, missing);
  resolve(handle, "quorvane_progress", api.progress, missing);
  resolve(handle, "quorvane_phase", api.phase, missing);
  resolve(handle, "quorvane_cancel", api.cancel, missing);
  resolve(handle, "quorvane_start", api.start, missing);
  resolve(handle, "quorvane_results_json", api.results_json, missing);
  if (!missing.empty()) {
    platform::close_library(handle);
    error = "the library " + path + " lacks the export" + (missing.size() > 1 ? "s " : " ");
    for (std::size_t i = 0; i < missing.size(); ++i) {
      if (i > 0) error += ", ";
      error += missing[i];
    }
    return nullptr;
  }
  return std::make_unique<loaded_library>(handle, api);
}

}  // namespace quorvane::host
