#include "library_api.h"

#include "host_os.h"

namespace qbench {
namespace {

template <typename Function>
bool resolve(void* module, const char* name, Function& target, std::string& error) {
  void* address = module_symbol(module, name);
  if (address == nullptr) {
    error = std::string("export not found: ") + name;
    return false;
  }
  target = reinterpret_cast<Function>(address);
  return true;
}

}  // namespace

bool load_library(const std::string& path, library_api& api, std::string& error) {
  void* module = module_open(path, error);
  if (module == nullptr) return false;
  return resolve(module, "quorvane_version", api.version, error) &&
         resolve(module, "quorvane_last_error", api.last_error, error) &&
         resolve(module, "quorvane_state", api.state, error) &&
         resolve(module, "quorvane_progress", api.progress, error) &&
         resolve(module, "quorvane_phase", api.phase, error) &&
         resolve(module, "quorvane_cancel", api.cancel, error) &&
         resolve(module, "quorvane_start", api.start, error) &&
         resolve(module, "quorvane_results_json", api.results_json, error);
}

}  // namespace qbench
