#include "child_output.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace qbench {

void emit(const char* key, double value) {
  std::printf("%s %.17g\n", key, value);
  std::fflush(stdout);
}

void emit(const char* key, const std::string& value) {
  std::printf("%s %s\n", key, value.c_str());
  std::fflush(stdout);
}

child_output child_output::parse(const std::string& text) {
  child_output parsed;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows line ends
    const std::size_t space = line.find(' ');
    if (space == std::string::npos || space == 0) continue;
    bool word = true;
    for (std::size_t i = 0; i < space; ++i) {
      const auto c = static_cast<unsigned char>(line[i]);
      if (!(std::isalnum(c) != 0 || c == '_')) word = false;
    }
    if (!word) continue;
    parsed.lines_.emplace_back(line.substr(0, space), line.substr(space + 1));
  }
  return parsed;
}

bool child_output::has(const std::string& key) const {
  for (const auto& line : lines_) {
    if (line.first == key) return true;
  }
  return false;
}

std::string child_output::text(const std::string& key, const std::string& fallback) const {
  for (const auto& line : lines_) {
    if (line.first == key) return line.second;
  }
  return fallback;
}

double child_output::number(const std::string& key, double fallback) const {
  const std::string value = text(key);
  if (value.empty()) return fallback;
  char* end = nullptr;
  const double parsed = std::strtod(value.c_str(), &end);
  return end == value.c_str() ? fallback : parsed;
}

std::vector<std::string> child_output::all(const std::string& key) const {
  std::vector<std::string> values;
  for (const auto& line : lines_) {
    if (line.first == key) values.push_back(line.second);
  }
  return values;
}

}  // namespace qbench
