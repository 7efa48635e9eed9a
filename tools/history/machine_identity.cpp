// The hashed machine ID and the description's changes.
#include "history/machine_identity.h"

#include <cctype>
#include <cstdio>

#include "sha256.h"

namespace quorvane::host {
namespace {

// This application's own ID, fixed for ever: changing it changes every
// machine's identity.
constexpr std::uint8_t application_id[16] = {0x63, 0x4c, 0xef, 0x38, 0xd0, 0x45, 0x40, 0xd6,
                                             0xad, 0x97, 0xe9, 0x31, 0xec, 0x26, 0x72, 0xf0};

int hex_value(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

std::string text_or_empty(const nlohmann::json& machine, const char* key) {
  const auto found = machine.find(key);
  return found != machine.end() && found->is_string() ? found->get<std::string>() : "";
}

std::string memory_text(const nlohmann::json& bytes) {
  if (!bytes.is_number()) return "unknown";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GiB", bytes.get<double>() / (1024.0 * 1024.0 * 1024.0));
  return text;
}

std::string quota_text(const nlohmann::json& quota) {
  if (!quota.is_number()) return "none";
  char text[48];
  std::snprintf(text, sizeof text, "%.2f processors", quota.get<double>());
  return text;
}

std::string plain_text(const nlohmann::json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_null()) return "not reported";
  return value.dump();
}

// "Linux 6.1 → 6.6": the words that start both texts are said once.
std::string change_text(const std::string& before, const std::string& after) {
  std::size_t shared = 0;
  for (std::size_t i = 0; i < before.size() && i < after.size() && before[i] == after[i]; ++i) {
    if (before[i] == ' ') shared = i + 1;
  }
  return before + " → " + after.substr(shared);
}

}  // namespace

std::string hashed_machine_id(const std::string& raw) {
  std::string key;
  int high = -1;
  bool all_zero = true;
  for (const char digit : raw) {
    if (digit == '-' || std::isspace(static_cast<unsigned char>(digit)) != 0) continue;
    const int value = hex_value(digit);
    if (value < 0 || key.size() == 16) return "";
    if (value != 0) all_zero = false;
    if (high < 0) {
      high = value;
    } else {
      key += static_cast<char>(high * 16 + value);
      high = -1;
    }
  }
  if (key.size() != 16 || high >= 0 || all_zero) return "";
  sha256_digest digest =
      hmac_sha256(key, std::string(reinterpret_cast<const char*>(application_id), 16));
  // Marked as a random (version 4, RFC 4122 variant) UUID.
  digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0f) | 0x40);
  digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3f) | 0x80);
  return hex_text(digest.data(), 16);
}

bool is_machine_id(const std::string& text) {
  if (text.size() != 32) return false;
  for (const char digit : text) {
    if (hex_value(digit) < 0 || std::isupper(static_cast<unsigned char>(digit)) != 0) return false;
  }
  return true;
}

nlohmann::json system_parts(const nlohmann::json& machine) {
  nlohmann::json parts = nlohmann::json::object();
  if (!machine.is_object()) return parts;
  for (const char* key : {"cpu_model", "logical_processors", "memory_bytes", "kernel",
                          "quota_processors", "virtualisation"}) {
    const auto found = machine.find(key);
    parts[key] = found != machine.end() ? *found : nlohmann::json();
  }
  return parts;
}

std::string machine_key(const nlohmann::json& machine) {
  const std::string id = machine.is_object() ? text_or_empty(machine, "id") : "";
  if (is_machine_id(id)) return "id:" + id;
  const sha256_digest digest = sha256(system_parts(machine).dump());
  return "description:" + hex_text(digest.data(), 16);
}

std::string system_change(const nlohmann::json& before, const nlohmann::json& after) {
  std::string changes;
  const auto add = [&changes](const std::string& text) {
    changes += (changes.empty() ? "" : ", ") + text;
  };
  const auto part = [](const nlohmann::json& parts, const char* key) {
    const auto found = parts.find(key);
    return found != parts.end() ? *found : nlohmann::json();
  };
  for (const char* key : {"cpu_model", "logical_processors", "memory_bytes", "kernel",
                          "quota_processors", "virtualisation"}) {
    const nlohmann::json old_value = part(before, key);
    const nlohmann::json new_value = part(after, key);
    if (old_value == new_value) continue;
    const std::string name = key;
    if (name == "memory_bytes") {
      add("memory " + change_text(memory_text(old_value), memory_text(new_value)));
    } else if (name == "quota_processors") {
      add("quota " + change_text(quota_text(old_value), quota_text(new_value)));
    } else if (name == "logical_processors") {
      add("processors " + change_text(plain_text(old_value), plain_text(new_value)));
    } else if (name == "virtualisation") {
      add("virtualisation " + change_text(plain_text(old_value), plain_text(new_value)));
    } else {
      add(change_text(plain_text(old_value), plain_text(new_value)));
    }
  }
  return changes.empty() ? "" : "system changed: " + changes;
}

}  // namespace quorvane::host
