// std::optional in nlohmann-json documents: an empty optional is null, a
// value is the value, both ways. Every "number or null" member of the
// results document goes through it.
#ifndef QUORVANE_TOOLS_RESULTS_JSON_OPTIONAL_H
#define QUORVANE_TOOLS_RESULTS_JSON_OPTIONAL_H

#include <nlohmann/json.hpp>
#include <optional>

namespace nlohmann {

template <typename T>
struct adl_serializer<std::optional<T>> {
  static void to_json(json& document, const std::optional<T>& value) {
    if (value) {
      document = *value;
    } else {
      document = nullptr;
    }
  }

  static void from_json(const json& document, std::optional<T>& value) {
    if (document.is_null()) {
      value = std::nullopt;
    } else {
      value = document.get<T>();
    }
  }
};

}  // namespace nlohmann

#endif  // QUORVANE_TOOLS_RESULTS_JSON_OPTIONAL_H
