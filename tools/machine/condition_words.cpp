// The one wording of the machine's conditions.
#include "machine/condition_words.h"

#include "number_text.h"

namespace quorvane::host {

std::string quota_words(double processors) { return printed("%.2f processors", processors); }

std::string condition_words(const std::string& key, const nlohmann::json& value) {
  if (key == "quota_processors") {
    if (value.is_number()) return quota_words(value.get<double>());
    if (value.is_null()) return "none seen";
  }
  if (key == "container_signs" && value.is_array()) {
    std::string signs;
    for (const nlohmann::json& sign : value) {
      if (sign.is_string()) signs += (signs.empty() ? "" : ", ") + sign.get<std::string>();
    }
    return signs.empty() ? "no sign of one" : "yes (" + signs + ")";
  }
  if (value.is_null()) return not_reported_words;
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "on" : "off";
  if (value.is_number()) return printed("%.2f", value.get<double>());
  return value.dump();
}

}  // namespace quorvane::host
