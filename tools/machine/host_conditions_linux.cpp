// The conditions of a run on Linux, read from the /proc and /sys trees
// under a root folder. Every file is hostile text: it is read to a bounded
// size, and a value that does not parse as what it should be is "not shown".
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <sstream>
#include <string_view>

#include "machine/host_platform.h"
#include "safe_text.h"

namespace quorvane::host::platform {
namespace {

// Far above any attribute file and above /proc/stat with 1024 processors.
constexpr std::size_t max_file_bytes = 1U << 20;

constexpr double hertz_per_kilohertz = 1000.0;
constexpr double seconds_per_microsecond = 1e-6;
constexpr double seconds_per_nanosecond = 1e-9;

// At most this many processors have their files read during a run (and
// kept open): the processors' cost and the open files stay bounded
// whatever the machine's size. Up to 64 processors every one is read.
constexpr std::size_t max_sampled_processors = 64;

// A system text that names a condition ("docker"), cut to a sane length.
constexpr std::size_t max_sign_bytes = 64;

std::string under(const std::string& root, const std::string& path) {
  if (root.empty() || root == "/") return path;
  return (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + path;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// An unsigned decimal that fills the whole word; nothing otherwise (a sign,
// a blank, a value beyond 64 bits).
std::optional<std::uint64_t> whole_number(std::string_view word) {
  std::uint64_t value = 0;
  const char* end = word.data() + word.size();
  const auto [stop, error] = std::from_chars(word.data(), end, value);
  if (word.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// The processors whose files a run reads: every one up to
// max_sampled_processors, else that many spread evenly over the list, so
// that each part of the machine (each package, each kind of core) has its
// share.
std::vector<int> spread_sample(const std::vector<int>& processors) {
  if (processors.size() <= max_sampled_processors) return processors;
  std::vector<int> sample;
  sample.reserve(max_sampled_processors);
  for (std::size_t i = 0; i < max_sampled_processors; ++i) {
    sample.push_back(processors[i * processors.size() / max_sampled_processors]);
  }
  return sample;
}

// A file kept open and read again from its start at each reading: sysfs
// and procfs make a file's text afresh when it is read from offset 0.
struct open_file {
  int descriptor = -1;

  explicit open_file(const std::string& path)
      : descriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~open_file() {
    if (descriptor >= 0) close(descriptor);
  }
  open_file(const open_file&) = delete;
  open_file& operator=(const open_file&) = delete;
  open_file(open_file&& other) noexcept : descriptor(other.descriptor) { other.descriptor = -1; }
  open_file& operator=(open_file&&) = delete;

  bool is_open() const { return descriptor >= 0; }

  std::optional<std::string> text() const {
    if (descriptor < 0) return std::nullopt;
    std::string whole;
    char buffer[4096];
    for (;;) {
      const ssize_t count =
          pread(descriptor, buffer, sizeof buffer, static_cast<off_t>(whole.size()));
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) return std::nullopt;
      if (count == 0) break;
      whole.append(buffer, static_cast<std::size_t>(count));
      if (whole.size() > max_file_bytes) return std::nullopt;
    }
    return whole;
  }

  std::optional<std::uint64_t> number() const {
    if (descriptor < 0) return std::nullopt;
    char buffer[32];
    const ssize_t count = pread(descriptor, buffer, sizeof buffer - 1, 0);
    if (count <= 0) return std::nullopt;
    return whole_number(trimmed(std::string_view(buffer, static_cast<std::size_t>(count))));
  }
};

// The whole text of a small file; nothing when it cannot be read.
std::optional<std::string> text_of(const std::string& path) { return open_file(path).text(); }

std::optional<std::uint64_t> number_file(const std::string& path) {
  const std::optional<std::string> text = text_of(path);
  if (!text) return std::nullopt;
  return whole_number(trimmed(*text));
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

std::vector<cgroup_line> cgroup_lines(const std::string& root, bool& read) {
  std::vector<cgroup_line> lines;
  const std::optional<std::string> text = text_of(under(root, "/proc/self/cgroup"));
  read = text.has_value();
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
  // Read through std::optional, which cppcheck does not follow.
  // cppcheck-suppress unusedStructMember
  std::string folder;
  // cppcheck-suppress unusedStructMember
  std::string source;
};

// Walks from the process's cgroup up to the hierarchy's root: a parent's
// quota limits its children too, so the tightest one binds.
std::optional<binding_quota> tightest_quota(
    const std::string& mount, const std::string& path, const char* version,
    std::optional<double> (*read_quota)(const std::string&)) {
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
  std::istringstream words(std::string(trimmed(*text)));
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
  bool cgroup_read = false;
};

quota_place find_quota(const std::string& root) {
  quota_place place;
  const std::string mount = under(root, "/sys/fs/cgroup");
  for (const cgroup_line& line : cgroup_lines(root, place.cgroup_read)) {
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
        std::string controller_mount = mount;
        controller_mount += "/" + name;
        if (!exists(controller_mount + "/cpu.cfs_period_us")) continue;
        place.version = 1;
        place.quota = tightest_quota(controller_mount, line.path, "v1", v1_quota);
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
  // readdir_r is deprecated; one listing per stream is safe with readdir.
  // cppcheck-suppress readdirCalled
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

// The power source: on battery when a battery that powers the machine is
// there and discharging, and no mains supply is online; mains when a
// supply shows otherwise (a desktop's mains supply that reads offline is no
// battery); nothing when the machine shows no supply.
std::optional<bool> battery_state(const std::string& root) {
  const std::string folder = under(root, "/sys/class/power_supply");
  bool supply_seen = false;
  bool mains_online = false;
  bool discharging = false;
  for (const std::string& name : folder_entries(folder)) {
    std::string supply = folder;
    supply += "/" + name;
    const std::string type(trimmed(text_of(supply + "/type").value_or("")));
    if (type == "Mains") {
      const std::optional<std::uint64_t> online = number_file(supply + "/online");
      if (!online) continue;
      supply_seen = true;
      if (*online != 0) mains_online = true;
    } else if (type == "Battery") {
      // A mouse's or a headset's battery (scope "Device") powers no processor.
      if (trimmed(text_of(supply + "/scope").value_or("")) == "Device") continue;
      if (number_file(supply + "/present") == std::optional<std::uint64_t>(0)) continue;
      const std::optional<std::string> status = text_of(supply + "/status");
      if (!status) continue;
      supply_seen = true;
      if (trimmed(*status) == "Discharging") discharging = true;
    }
  }
  if (!supply_seen) return std::nullopt;
  return discharging && !mains_online;
}

// The file system mounted at "/" in a mountinfo text ("36 35 98:0 / / rw
// shared:1 - overlay overlay rw,..."): the last such line is the one on top.
std::string root_file_system(const std::string& mountinfo) {
  std::istringstream lines(mountinfo);
  std::string line;
  std::string type;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string id;
    std::string parent;
    std::string device;
    std::string source_root;
    std::string mount_point;
    if (!(words >> id >> parent >> device >> source_root >> mount_point) || mount_point != "/") {
      continue;
    }
    const std::size_t separator = line.find(" - ");
    if (separator == std::string::npos) continue;
    std::istringstream after(line.substr(separator + 3));
    after >> type;
  }
  return type;
}

// The value of NAME= in a NUL-separated environment (/proc/N/environ).
std::optional<std::string> environment_value(const std::string& environment,
                                             const std::string& name) {
  const std::string prefix = name + "=";
  std::size_t begin = 0;
  while (begin < environment.size()) {
    std::size_t end = environment.find('\0', begin);
    if (end == std::string::npos) end = environment.size();
    if (environment.compare(begin, prefix.size(), prefix) == 0) {
      return environment.substr(begin + prefix.size(),
                                std::min(end - begin - prefix.size(), max_sign_bytes));
    }
    begin = end + 1;
  }
  return std::nullopt;
}

// The signs of a container, those that systemd's own detection reads too:
// they hold inside a cgroup namespace, where the cgroup path is "/".
// Nothing when not one of the places could be read.
std::optional<std::vector<std::string>> container_signs(const std::string& root,
                                                        const std::string& cgroup_path,
                                                        bool cgroup_read) {
  std::vector<std::string> signs;
  bool readable = cgroup_read;
  for (const char* file : {"/.dockerenv", "/run/.containerenv"}) {
    if (exists(under(root, file))) signs.emplace_back(file);
  }
  // systemd and container managers write the manager's name here.
  if (const std::optional<std::string> manager = text_of(under(root, "/run/systemd/container"))) {
    readable = true;
    const std::string_view name = trimmed(*manager).substr(0, max_sign_bytes);
    signs.push_back("/run/systemd/container" + (name.empty() ? "" : " " + std::string(name)));
  }
  // Process 1's environment is readable by root alone, as a rule.
  if (const std::optional<std::string> first = text_of(under(root, "/proc/1/environ"))) {
    readable = true;
    if (const std::optional<std::string> value = environment_value(*first, "container")) {
      signs.push_back("container=" + *value);
    }
  }
  if (const std::optional<std::string> mounts = text_of(under(root, "/proc/self/mountinfo"))) {
    readable = true;
    if (root_file_system(*mounts) == "overlay") signs.emplace_back("overlay root");
  }
  // Under a fake root the tree's environment, not the one running the tests.
  if (const std::optional<std::string> own = text_of(under(root, "/proc/self/environ"))) {
    readable = true;
    if (environment_value(*own, "KUBERNETES_SERVICE_HOST")) {
      signs.emplace_back("KUBERNETES_SERVICE_HOST");
    }
  }
  if (container_path(cgroup_path)) signs.push_back("cgroup " + cgroup_path);
  if (!readable && signs.empty()) return std::nullopt;
  return signs;
}

// The same text from every processor, or "mixed"; "" when none shows it.
std::string common_text(const std::string& root, const std::vector<int>& processors,
                        const std::string& file) {
  std::string common;
  for (int processor : processors) {
    const std::optional<std::string> text = text_of(cpu_folder(root, processor) + file);
    if (!text) continue;
    const std::string value(trimmed(*text));
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

// Parsed by hand rather than through streams: on a machine of hundreds of
// processors this runs at every phase change, and its cost is the host's.
tick_sums usable_ticks(const std::string& stat, const std::vector<int>& processors) {
  std::vector<bool> usable;
  for (int id : processors) {
    if (id < 0) continue;
    if (static_cast<std::size_t>(id) >= usable.size())
      usable.resize(static_cast<std::size_t>(id) + 1);
    usable[static_cast<std::size_t>(id)] = true;
  }
  tick_sums sums;
  std::size_t begin = 0;
  while (begin < stat.size()) {
    std::size_t end = stat.find('\n', begin);
    if (end == std::string::npos) end = stat.size();
    const std::string_view line = std::string_view(stat).substr(begin, end - begin);
    begin = end + 1;
    if (line.size() < 4 || line.compare(0, 3, "cpu") != 0 || line[3] < '0' || line[3] > '9') {
      continue;
    }
    // "cpuN" then at most eight fields; every word must be a whole number.
    std::vector<std::string_view> words;
    std::size_t at = 3;
    while (at < line.size() && words.size() < 9) {
      const std::size_t word_end = std::min(line.find(' ', at), line.size());
      if (word_end > at) words.push_back(line.substr(at, word_end - at));
      at = word_end + 1;
    }
    const std::optional<std::uint64_t> id = words.empty() ? std::nullopt : whole_number(words[0]);
    if (!id || *id >= usable.size() || !usable[static_cast<std::size_t>(*id)]) continue;
    std::uint64_t fields[8] = {};
    std::size_t count = 0;
    while (count < 8 && count + 1 < words.size()) {
      const std::optional<std::uint64_t> value = whole_number(words[count + 1]);
      if (!value) break;
      fields[count++] = *value;
    }
    if (count < 4) continue;  // not a line this reader understands
    ++sums.processors_found;
    for (std::size_t i = 0; i < count; ++i) sums.total += fields[i];
    sums.idle += fields[3] + fields[4];  // idle, iowait
    if (count >= 8) {
      sums.steal += fields[7];
      sums.steal_shown = true;
    }
  }
  return sums;
}

std::vector<open_file> open_each(const std::string& root, const std::vector<int>& processors,
                                 const std::string& file) {
  std::vector<open_file> files;
  for (int processor : processors) {
    open_file opened(cpu_folder(root, processor) + file);
    if (opened.is_open()) files.push_back(std::move(opened));
  }
  return files;
}

}  // namespace

std::vector<int> usable_processor_ids(const std::string& root) {
  std::vector<int> ids;
  if (!root.empty() && root != "/") {
    // A list of ranges; anything else ends it.
    const std::optional<std::string> text = text_of(under(root, "/sys/devices/system/cpu/online"));
    std::istringstream ranges(text ? std::string(trimmed(*text)) : std::string());
    std::string range;
    while (std::getline(ranges, range, ',')) {
      const std::size_t dash = range.find('-');
      const std::optional<std::uint64_t> first = whole_number(range.substr(0, dash));
      const std::optional<std::uint64_t> last =
          dash == std::string::npos ? first : whole_number(range.substr(dash + 1));
      if (!first || !last || *last < *first || *last >= CPU_SETSIZE) break;
      for (std::uint64_t id = *first; id <= *last; ++id) ids.push_back(static_cast<int>(id));
    }
    return ids;
  }
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
    settings.quota_folder = place.quota->folder;
  }
  const std::vector<int> sample = spread_sample(processors);
  settings.max_frequency_hz = highest_frequency(root, sample, "/cpufreq/cpuinfo_max_freq");
  settings.base_frequency_hz = highest_frequency(root, sample, "/cpufreq/base_frequency");
  settings.frequency_policy = common_text(root, sample, "/cpufreq/scaling_governor");
  settings.boost = boost_state(root);
  settings.on_battery = battery_state(root);
  settings.container_signs = container_signs(root, place.cgroup_path, place.cgroup_read);
  return settings;
}

struct condition_reader::state {
  std::string root;
  std::vector<int> processors;
  std::vector<int> sample;  // the processors whose files stay open
  std::unique_ptr<open_file> stat;
  std::unique_ptr<open_file> quota_stat;  // the binding quota's cpu.stat
  std::vector<open_file> frequencies;     // of the sample
  std::vector<open_file> core_throttles;  // of the sample
  // Each processor shows its package's count: one reading per package.
  std::map<std::string, open_file> package_throttles;
};

condition_reader::condition_reader(const std::string& root, const std::vector<int>& processors,
                                   const std::string& quota_folder)
    : state_(std::make_unique<state>()) {
  state_->root = root;
  state_->processors = processors;
  state_->sample = spread_sample(processors);
  state_->stat = std::make_unique<open_file>(under(root, "/proc/stat"));
  if (!quota_folder.empty())
    state_->quota_stat = std::make_unique<open_file>(quota_folder + "/cpu.stat");
  state_->frequencies = open_each(root, state_->sample, "/cpufreq/scaling_cur_freq");
  state_->core_throttles = open_each(root, state_->sample, "/thermal_throttle/core_throttle_count");
  for (int processor : state_->sample) {
    const std::string folder = cpu_folder(root, processor);
    const std::string package(
        trimmed(text_of(folder + "/topology/physical_package_id").value_or("")));
    if (state_->package_throttles.count(package) != 0) continue;
    open_file opened(folder + "/thermal_throttle/package_throttle_count");
    if (opened.is_open()) state_->package_throttles.emplace(package, std::move(opened));
  }
}

condition_reader::~condition_reader() = default;

condition_counters condition_reader::counters() {
  condition_counters counters;
  const long ticks_per_second = sysconf(_SC_CLK_TCK);
  const std::optional<std::string> stat = state_->stat->text();
  if (stat && ticks_per_second > 0) {
    const tick_sums sums = usable_ticks(*stat, state_->processors);
    if (sums.processors_found > 0) {
      const double tick = 1.0 / static_cast<double>(ticks_per_second);
      counters.has_times = true;
      counters.total_seconds = static_cast<double>(sums.total) * tick;
      counters.busy_seconds = static_cast<double>(sums.total - sums.idle - sums.steal) * tick;
      if (sums.steal_shown) counters.steal_seconds = static_cast<double>(sums.steal) * tick;
      counters.own_seconds = process_processor_seconds();
    }
  }

  // The core counts are per processor and summed; the package count
  // repeats on every processor of its package, so each package is read
  // once and the packages are summed. Both come from the sample.
  std::uint64_t events = 0;
  bool throttle_shown = false;
  for (const open_file& file : state_->core_throttles) {
    if (const std::optional<std::uint64_t> count = file.number()) {
      events += *count;
      throttle_shown = true;
    }
  }
  for (const auto& package : state_->package_throttles) {
    if (const std::optional<std::uint64_t> count = package.second.number()) {
      events += *count;
      throttle_shown = true;
    }
  }
  if (throttle_shown) counters.throttle_events = events;

  if (state_->quota_stat) {
    if (const std::optional<std::string> cpu_stat = state_->quota_stat->text()) {
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

bool condition_reader::samples_every_processor() const {
  return state_->sample.size() == state_->processors.size();
}

std::vector<double> condition_reader::frequencies_hz(bool every_processor) {
  std::vector<double> values;
  const auto add = [&values](const std::optional<std::uint64_t>& khz) {
    if (khz && *khz > 0) values.push_back(static_cast<double>(*khz) * hertz_per_kilohertz);
  };
  if (every_processor && !samples_every_processor()) {
    // Opened for this reading alone, one at a time: the open files stay
    // those of the sample.
    values.reserve(state_->processors.size());
    for (int processor : state_->processors) {
      add(open_file(cpu_folder(state_->root, processor) + "/cpufreq/scaling_cur_freq").number());
    }
    return values;
  }
  values.reserve(state_->frequencies.size());
  for (const open_file& file : state_->frequencies) add(file.number());
  return values;
}

}  // namespace quorvane::host::platform
