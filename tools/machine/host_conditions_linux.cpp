// The conditions of a run on Linux, read from the /proc and /sys trees
// under a root folder. Every file is hostile text: it is read to a bounded
// size, and a value that does not parse as what it should be is "not shown".
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "machine/host_platform.h"

namespace quorvane::host::platform {
namespace {

// Far above any attribute file and above /proc/stat with 1024 processors.
constexpr std::size_t max_file_bytes = 1U << 20;

constexpr double hertz_per_kilohertz = 1000.0;
constexpr double seconds_per_microsecond = 1e-6;
constexpr double seconds_per_nanosecond = 1e-9;

std::string under(const std::string& root, const std::string& path) {
  if (root.empty() || root == "/") return path;
  return (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + path;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The whole text of a small file; nothing when it cannot be read.
std::optional<std::string> text_of(const std::string& path) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(file, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      close(file);
      return std::nullopt;
    }
    if (count == 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
    if (text.size() > max_file_bytes) {
      close(file);
      return std::nullopt;
    }
  }
  close(file);
  return text;
}

std::string first_line(const std::string& text) {
  const std::size_t end = text.find('\n');
  std::string line = end == std::string::npos ? text : text.substr(0, end);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) {
    line.pop_back();
  }
  return line;
}

// An unsigned decimal that fills the whole word; nothing otherwise.
std::optional<std::uint64_t> whole_number(const std::string& word) {
  if (word.empty() || word.size() > 20 ||
      word.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  const unsigned long long value = std::strtoull(word.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return static_cast<std::uint64_t>(value);
}

std::optional<std::uint64_t> number_file(const std::string& path) {
  const std::optional<std::string> text = text_of(path);
  if (!text) return std::nullopt;
  return whole_number(first_line(*text));
}

// The value after "key " on its line of a "key value" file (cpu.stat).
std::optional<std::uint64_t> keyed_number(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string name;
  std::string value;
  while (lines >> name >> value) {
    if (name == key) return whole_number(value);
  }
  return std::nullopt;
}

std::string cpu_folder(const std::string& root, int processor) {
  return under(root, "/sys/devices/system/cpu/cpu" + std::to_string(processor));
}

// One controller's line of /proc/self/cgroup: "2:cpu,cpuacct:/box", or
// "0::/box" for the unified (v2) hierarchy.
struct cgroup_line {
  std::string controllers;
  std::string path;
};

std::vector<cgroup_line> cgroup_lines(const std::string& root) {
  std::vector<cgroup_line> lines;
  const std::optional<std::string> text = text_of(under(root, "/proc/self/cgroup"));
  if (!text) return lines;
  std::istringstream stream(*text);
  std::string line;
  while (std::getline(stream, line)) {
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    std::string path = line.substr(second + 1);
    // A path that climbs out of the hierarchy is not one to follow.
    if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos) continue;
    lines.push_back({line.substr(first + 1, second - first - 1), path});
  }
  return lines;
}

bool lists_cpu_controller(const std::string& controllers) {
  std::istringstream names(controllers);
  std::string name;
  while (std::getline(names, name, ',')) {
    if (name == "cpu") return true;
  }
  return false;
}

std::string parent_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// The cgroup folder whose quota binds this process, with the quota in
// processors; the folder's cpu.stat holds its throttling.
struct binding_quota {
  double processors = 0;
  std::string folder;
  std::string source;
};

// Walks from the process's cgroup up to the hierarchy's root: a parent's
// quota limits its children too, so the tightest one binds.
template <typename quota_of>
std::optional<binding_quota> tightest_quota(const std::string& mount, const std::string& path,
                                            const char* version, quota_of read_quota) {
  std::optional<binding_quota> tightest;
  std::string level = path;
  for (;;) {
    const std::string folder = mount + (level == "/" ? "" : level);
    const std::optional<double> processors = read_quota(folder);
    if (processors && (!tightest || *processors < tightest->processors)) {
      tightest = binding_quota{*processors, folder, std::string("cgroup ") + version + " " + level};
    }
    if (level == "/") break;
    level = parent_of(level);
  }
  return tightest;
}

// cgroup v2 cpu.max: "max 100000" (no quota) or "50000 100000".
std::optional<double> v2_quota(const std::string& folder) {
  const std::optional<std::string> text = text_of(folder + "/cpu.max");
  if (!text) return std::nullopt;
  std::istringstream words(first_line(*text));
  std::string quota;
  std::string period;
  words >> quota >> period;
  const std::optional<std::uint64_t> q = whole_number(quota);
  const std::optional<std::uint64_t> p = whole_number(period);
  if (!q || !p || *p == 0) return std::nullopt;
  return static_cast<double>(*q) / static_cast<double>(*p);
}

// cgroup v1: cpu.cfs_quota_us is -1 without a quota.
std::optional<double> v1_quota(const std::string& folder) {
  const std::optional<std::uint64_t> quota = number_file(folder + "/cpu.cfs_quota_us");
  const std::optional<std::uint64_t> period = number_file(folder + "/cpu.cfs_period_us");
  if (!quota || !period || *period == 0) return std::nullopt;
  return static_cast<double>(*quota) / static_cast<double>(*period);
}

struct quota_place {
  std::optional<binding_quota> quota;
  int version = 0;
  std::string cgroup_path;  // of the process, for the container signs
};

quota_place find_quota(const std::string& root) {
  quota_place place;
  const std::string mount = under(root, "/sys/fs/cgroup");
  for (const cgroup_line& line : cgroup_lines(root)) {
    if (line.controllers.empty() && exists(mount + "/cgroup.controllers")) {
      // Unified hierarchy mounted at /sys/fs/cgroup (v2 alone).
      place.cgroup_path = line.path;
      place.version = 2;
      place.quota = tightest_quota(mount, line.path, "v2", v2_quota);
      if (place.quota) return place;
    } else if (lists_cpu_controller(line.controllers)) {
      // v1: the controller's own mount, named after its list or "cpu".
      if (place.cgroup_path.empty()) place.cgroup_path = line.path;
      for (const std::string& name : {line.controllers, std::string("cpu")}) {
        if (!exists(mount + "/" + name + "/cpu.cfs_period_us")) continue;
        place.version = 1;
        place.quota = tightest_quota(mount + "/" + name, line.path, "v1", v1_quota);
        if (place.quota) return place;
        break;
      }
    } else if (place.cgroup_path.empty() && line.path != "/") {
      place.cgroup_path = line.path;
    }
  }
  return place;
}

// What a cgroup path says about a container engine.
bool container_path(const std::string& path) {
  for (const char* sign : {"docker", "kubepods", "containerd", "libpod", "lxc", "crio"}) {
    if (path.find(sign) != std::string::npos) return true;
  }
  return false;
}

std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

// The mains supply's state: on battery when every mains supply is offline
// and a battery is there; nothing when the machine shows no mains supply.
std::optional<bool> battery_state(const std::string& root) {
  const std::string folder = under(root, "/sys/class/power_supply");
  bool mains_seen = false;
  bool mains_online = false;
  for (const std::string& name : folder_entries(folder)) {
    const std::optional<std::string> type = text_of(folder + "/" + name + "/type");
    if (!type || first_line(*type) != "Mains") continue;
    const std::optional<std::uint64_t> online = number_file(folder + "/" + name + "/online");
    if (!online) continue;
    mains_seen = true;
    if (*online != 0) mains_online = true;
  }
  if (!mains_seen) return std::nullopt;
  return !mains_online;
}

// The same text from every processor, or "mixed"; "" when none shows it.
std::string common_text(const std::string& root, const std::vector<int>& processors,
                        const std::string& file) {
  std::string common;
  for (int processor : processors) {
    const std::optional<std::string> text = text_of(cpu_folder(root, processor) + file);
    if (!text) continue;
    const std::string value = first_line(*text);
    if (value.empty() || value.size() > 64) continue;
    if (common.empty()) {
      common = value;
    } else if (common != value) {
      return "mixed";
    }
  }
  return common;
}

// The highest of a per-processor frequency file, in hertz.
std::optional<double> highest_frequency(const std::string& root, const std::vector<int>& processors,
                                        const std::string& file) {
  std::optional<double> highest;
  for (int processor : processors) {
    const std::optional<std::uint64_t> khz = number_file(cpu_folder(root, processor) + file);
    if (!khz || *khz == 0) continue;
    const double hz = static_cast<double>(*khz) * hertz_per_kilohertz;
    if (!highest || hz > *highest) highest = hz;
  }
  return highest;
}

std::optional<bool> boost_state(const std::string& root) {
  const std::string cpu = under(root, "/sys/devices/system/cpu");
  if (const std::optional<std::uint64_t> boost = number_file(cpu + "/cpufreq/boost")) {
    return *boost != 0;
  }
  if (const std::optional<std::uint64_t> no_turbo = number_file(cpu + "/intel_pstate/no_turbo")) {
    return *no_turbo == 0;
  }
  return std::nullopt;
}

// The per-processor lines of /proc/stat: "cpu3 user nice system idle iowait
// irq softirq steal guest guest_nice", in clock ticks. Guest time is inside
// user time, so it is not added again.
struct tick_sums {
  std::uint64_t total = 0;
  std::uint64_t idle = 0;
  std::uint64_t steal = 0;
  bool steal_shown = false;
  int processors_found = 0;
};

tick_sums usable_ticks(const std::string& stat, const std::vector<int>& processors) {
  tick_sums sums;
  std::istringstream lines(stat);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, 3, "cpu") != 0 || line.size() < 4 || line[3] < '0' || line[3] > '9') {
      continue;
    }
    std::istringstream words(line.substr(3));
    std::string word;
    words >> word;
    const std::optional<std::uint64_t> id = whole_number(word);
    if (!id || std::find(processors.begin(), processors.end(), static_cast<int>(*id)) ==
                   processors.end()) {
      continue;
    }
    std::uint64_t fields[8] = {};
    int count = 0;
    while (count < 8 && words >> word) {
      const std::optional<std::uint64_t> value = whole_number(word);
      if (!value) break;
      fields[count++] = *value;
    }
    if (count < 4) continue;  // not a line this reader understands
    ++sums.processors_found;
    for (int i = 0; i < count; ++i) sums.total += fields[i];
    sums.idle += fields[3] + fields[4];  // idle, iowait
    if (count >= 8) {
      sums.steal += fields[7];
      sums.steal_shown = true;
    }
  }
  return sums;
}

}  // namespace

std::vector<int> usable_processor_ids() {
  std::vector<int> ids;
  cpu_set_t usable;
  CPU_ZERO(&usable);
  if (sched_getaffinity(0, sizeof usable, &usable) != 0) return ids;
  for (int id = 0; id < CPU_SETSIZE; ++id) {
    if (CPU_ISSET(id, &usable)) ids.push_back(id);
  }
  return ids;
}

condition_settings read_condition_settings(const std::string& root,
                                           const std::vector<int>& processors) {
  condition_settings settings;
  const quota_place place = find_quota(root);
  if (place.quota) {
    settings.quota_processors = place.quota->processors;
    settings.quota_source = place.quota->source;
  }
  settings.max_frequency_hz = highest_frequency(root, processors, "/cpufreq/cpuinfo_max_freq");
  settings.base_frequency_hz = highest_frequency(root, processors, "/cpufreq/base_frequency");
  settings.frequency_policy = common_text(root, processors, "/cpufreq/scaling_governor");
  settings.boost = boost_state(root);
  settings.on_battery = battery_state(root);
  for (const char* file : {"/.dockerenv", "/run/.containerenv"}) {
    if (exists(under(root, file))) settings.container_signs.emplace_back(file);
  }
  if (container_path(place.cgroup_path)) {
    settings.container_signs.push_back("cgroup " + place.cgroup_path);
  }
  return settings;
}

condition_counters read_condition_counters(const std::string& root,
                                           const std::vector<int>& processors) {
  condition_counters counters;
  const long ticks_per_second = sysconf(_SC_CLK_TCK);
  const std::optional<std::string> stat = text_of(under(root, "/proc/stat"));
  if (stat && ticks_per_second > 0) {
    const tick_sums sums = usable_ticks(*stat, processors);
    if (sums.processors_found > 0) {
      const double tick = 1.0 / static_cast<double>(ticks_per_second);
      counters.has_times = true;
      counters.total_seconds = static_cast<double>(sums.total) * tick;
      counters.busy_seconds = static_cast<double>(sums.total - sums.idle - sums.steal) * tick;
      if (sums.steal_shown) counters.steal_seconds = static_cast<double>(sums.steal) * tick;
      counters.own_seconds = process_processor_seconds();
    }
  }

  // The core counts are per processor; the package count repeats on every
  // processor of the package, so its highest value stands for them.
  std::uint64_t core_events = 0;
  std::uint64_t package_events = 0;
  bool throttle_shown = false;
  for (int processor : processors) {
    const std::string folder = cpu_folder(root, processor) + "/thermal_throttle/";
    if (const std::optional<std::uint64_t> core = number_file(folder + "core_throttle_count")) {
      core_events += *core;
      throttle_shown = true;
    }
    if (const std::optional<std::uint64_t> package =
            number_file(folder + "package_throttle_count")) {
      package_events = std::max(package_events, *package);
      throttle_shown = true;
    }
  }
  if (throttle_shown) counters.throttle_events = core_events + package_events;

  const quota_place place = find_quota(root);
  if (place.quota) {
    const std::optional<std::string> cpu_stat = text_of(place.quota->folder + "/cpu.stat");
    if (cpu_stat) {
      counters.quota_throttled_periods = keyed_number(*cpu_stat, "nr_throttled");
      if (const std::optional<std::uint64_t> usec = keyed_number(*cpu_stat, "throttled_usec")) {
        counters.quota_throttled_seconds = static_cast<double>(*usec) * seconds_per_microsecond;
      } else if (const std::optional<std::uint64_t> nsec =
                     keyed_number(*cpu_stat, "throttled_time")) {
        counters.quota_throttled_seconds = static_cast<double>(*nsec) * seconds_per_nanosecond;
      }
    }
  }
  return counters;
}

// Each processor's scaling_cur_freq stays open: a reading is one pread per
// processor, cheap enough to repeat every half second on 256 processors.
struct frequency_reader::state {
  std::vector<int> files;
};

frequency_reader::frequency_reader(const std::string& root, const std::vector<int>& processors)
    : state_(std::make_unique<state>()) {
  for (int processor : processors) {
    const std::string path = cpu_folder(root, processor) + "/cpufreq/scaling_cur_freq";
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file >= 0) state_->files.push_back(file);
  }
}

frequency_reader::~frequency_reader() {
  for (int file : state_->files) close(file);
}

std::vector<double> frequency_reader::read_hz() {
  std::vector<double> values;
  values.reserve(state_->files.size());
  for (int file : state_->files) {
    char text[32];
    const ssize_t count = pread(file, text, sizeof text - 1, 0);
    if (count <= 0) continue;
    std::string word(text, static_cast<std::size_t>(count));
    word = first_line(word);
    const std::optional<std::uint64_t> khz = whole_number(word);
    if (khz && *khz > 0) values.push_back(static_cast<double>(*khz) * hertz_per_kilohertz);
  }
  return values;
}

}  // namespace quorvane::host::platform
