// printf formatting into a string sized to fit.
#include "number_text.h"

#include <cstdio>

namespace quorvane::host {

std::string printed(const char* format, double value) {
  const int length = std::snprintf(nullptr, 0, format, value);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, value);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string right_aligned(const std::string& text, std::size_t width) {
  return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

std::string left_aligned(const std::string& text, std::size_t width) {
  return text + std::string(text.size() < width ? width - text.size() : 0, ' ');
}

std::string counted(unsigned long long count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace quorvane::host
