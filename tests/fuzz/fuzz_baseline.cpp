// The baseline reader, for both of its formats (a results document, or
// report lines): any input is read or refused with one line of error, never
// a crash, and what it accepts is a document the rest of the host can use.
#include <cstdlib>

#include "baseline_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const std::optional<nlohmann::json> baseline = read_as_baseline(data, size, error);
  if (!baseline) {
    if (error.empty() || error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  if (!baseline->is_object() || !baseline->contains("runs")) std::abort();
  // What was accepted must survive being written out as UTF-8 JSON.
  (void)baseline->dump();
  return 0;
}
