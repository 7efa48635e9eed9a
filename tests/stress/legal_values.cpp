#include "legal_values.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace stress {

bool legal_state(int state) { return state >= 0 && state <= 3; }

bool legal_phase(int phase) { return phase >= 0 && phase <= 5; }

bool legal_progress(int progress) {
  switch (progress) {
    case 0:
    case 2:
    case 20:
    case 40:
    case 60:
    case 80:
    case 100:
      return true;
    default:
      return false;
  }
}

std::string report_problem(const std::string& text, int processors) {
  static const char* const keys[] = {"score_single",       "score_multi",      "int_single_mops",
                                     "int_multi_mops",     "fp_single_mflops", "fp_multi_mflops",
                                     "mem_bandwidth_mbps", "threads_used",     "duration_ms"};
  if (text.size() >= 1024) return "longer than the buffer: " + text;
  if (text.find_first_of(" \t\r\n") != std::string::npos) return "whitespace in " + text;
  const auto json = nlohmann::ordered_json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return "not a JSON object: " + text;
  if (json.size() != 9) return "not nine members: " + text;
  std::size_t index = 0;
  for (const auto& item : json.items()) {
    if (item.key() != keys[index]) return "member " + std::to_string(index) + " misnamed: " + text;
    const auto& value = item.value();
    if (!value.is_number()) return item.key() + " not a number: " + text;
    const double number = value.get<double>();
    if (number < 0.0 || std::floor(number) != number) {
      return item.key() + " not a whole non-negative number: " + text;
    }
    ++index;
  }
  const int threads = json["threads_used"].get<int>();
  if (threads != 0 && threads != processors)
    return "threads_used neither 0 nor processors: " + text;

  // Each printed rate is rounded by at most 0.5, so a score recomputed from
  // the printed rates is within (0.5 / 550 + 0.5 / 3000) * 500 + 0.5 of it.
  const auto score_off = [&json](const char* score, const char* int_key, const char* fp_key) {
    const double expected =
        json[int_key].get<double>() / 550.0 * 500.0 + json[fp_key].get<double>() / 3000.0 * 500.0;
    return std::fabs(json[score].get<double>() - expected) > 1.1;
  };
  if (score_off("score_single", "int_single_mops", "fp_single_mflops")) {
    return "score_single does not follow from its rates: " + text;
  }
  if (score_off("score_multi", "int_multi_mops", "fp_multi_mflops")) {
    return "score_multi does not follow from its rates: " + text;
  }
  return "";
}

std::string read_error_text(const char* buffer) {
  std::string text;
  for (std::size_t i = 0; i < 256; ++i) {
    const char byte = __atomic_load_n(&buffer[i], __ATOMIC_RELAXED);
    if (byte == '\0') break;
    text.push_back(byte);
  }
  return text;
}

}  // namespace stress
