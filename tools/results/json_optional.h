// An optional value in a JSON document: the value when there is one, else
// null. One serializer for every std::optional the host writes or reads.
#ifndef QUORVANE_TOOLS_RESULTS_JSON_OPTIONAL_H
#define QUORVANE_TOOLS_RESULTS_JSON_OPTIONAL_H

#include <optional>

#include <nlohmann/json.hpp>

namespace nlohmann {

template <typename T>
struct adl_serializer<std::optional<T>> {
  template <typename BasicJson>
  static void to_json(BasicJson& json, const std::optional<T>& value) {
    if (value) {
      json = *value;
    } else {
      json = nullptr;
    }
  }

  template <typename BasicJson>
  static void from_json(const BasicJson& json, std::optional<T>& value) {
    if (json.is_null()) {
      value.reset();
    } else {
      value = json.template get<T>();
    }
  }
};

}  // namespace nlohmann

#endif  // QUORVANE_TOOLS_RESULTS_JSON_OPTIONAL_H
