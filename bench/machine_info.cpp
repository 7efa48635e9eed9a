#include "machine_info.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>

namespace qbench {
namespace {

std::string cpuinfo_field(const std::string& name) {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.compare(0, name.size(), name) != 0) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::size_t start = colon + 1;
    while (start < line.size() && line[start] == ' ') ++start;
    return line.substr(start);
  }
  return "";
}

}  // namespace

std::string processor_model() {
  std::string model = cpuinfo_field("model name");
  if (model.empty()) model = "unknown processor";
  const std::string family = cpuinfo_field("cpu family");
  const std::string number = cpuinfo_field("model\t");
  if (!family.empty() && !number.empty()) {
    model += " (family " + family + ", model " + number + ")";
  }
  return model;
}

int logical_processors() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count < 1 ? 1 : static_cast<int>(count);
}

std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
  return text;
}

double load_average() {
  double loads[1] = {-1.0};
  if (getloadavg(loads, 1) != 1) return -1.0;
  return loads[0];
}

}  // namespace qbench
