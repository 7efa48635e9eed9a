// Appending an invocation to the history.
#include "history/history_recording.h"

#include "history/history_store.h"
#include "machine/host_platform.h"

namespace quorvane::host {

const char* const no_history_place =
    "the history database has no usual place here (neither XDG_DATA_HOME nor HOME is set): "
    "name one with --history FILE";

std::string history_database_path(const std::string& chosen) {
  return chosen.empty() ? platform::default_history_path() : chosen;
}

std::string record_history(const std::string& path, const nlohmann::json& document) {
  if (path.empty()) return no_history_place;
  try {
    const std::unique_ptr<history_store> store = history_store::open_for_writing(path);
    store->add_document(document, "run");
    store->commit();
    return "";
  } catch (const history_error& failure) {
    return failure.what();
  }
}

}  // namespace quorvane::host
