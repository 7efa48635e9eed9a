// Every export format, given any document the baseline reader accepts, as
// the document and as the baseline it is compared with: none may crash or
// hang, and the JSON export must parse again.
#include <cstdlib>

#include "baseline_input.h"
#include "export/export_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const std::optional<nlohmann::json> document = read_as_baseline(data, size, error);
  if (!document) return 0;
  for (const quorvane::host::export_format& format : quorvane::host::export_formats()) {
    for (const nlohmann::json* baseline :
         {static_cast<const nlohmann::json*>(nullptr), &*document}) {
      const std::string text = format.format(*document, baseline);
      if (std::string(format.extension) == ".json" &&
          nlohmann::json::parse(text, nullptr, false).is_discarded()) {
        std::abort();
      }
    }
  }
  return 0;
}
