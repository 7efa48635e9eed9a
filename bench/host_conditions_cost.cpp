// What watching a run costs the host on a machine of many processors: the
// host's own processor time to read the settings, build the conditions
// meter and poll one 20 s run (a poll every 50 ms, a phase every 4 s),
// against a fake /proc and /sys tree of N processors with cpufreq and
// thermal throttle files. Also counts the files the meter holds open.
//
//   quorvane_host_conditions_cost [processors] [rounds]   (256 and 5 by default)
//   quorvane_host_conditions_cost --tree FOLDER [processors]
//
// The second form only writes the tree, for a whole host run with
// QUORVANE_SYSTEM_ROOT=FOLDER (docs/measured.md).
//
// The polls are made back to back, not 50 ms apart: the figure is the
// processor time the polls take, divided by the 20 s they stand for.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "machine/host_platform.h"
#include "machine/run_conditions.h"

namespace {

namespace fs = std::filesystem;
using quorvane::host::conditions_meter;
namespace platform = quorvane::host::platform;

void write(const fs::path& root, const std::string& path, const std::string& text) {
  const fs::path file = root / path.substr(1);
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

void make_tree(const fs::path& root, int processors) {
  std::string stat = "cpu  0 0 0 0 0 0 0 0 0 0\n";
  for (int cpu = 0; cpu < processors; ++cpu) {
    stat += "cpu" + std::to_string(cpu) + " 123456 12 34567 9876543 210 0 321 0 0 0\n";
    const std::string folder = "/sys/devices/system/cpu/cpu" + std::to_string(cpu);
    write(root, folder + "/cpufreq/scaling_cur_freq", "3600000\n");
    write(root, folder + "/cpufreq/cpuinfo_max_freq", "4700000\n");
    write(root, folder + "/cpufreq/base_frequency", "2800000\n");
    write(root, folder + "/cpufreq/scaling_governor", "performance\n");
    write(root, folder + "/thermal_throttle/core_throttle_count", "0\n");
    write(root, folder + "/thermal_throttle/package_throttle_count", "0\n");
    write(root, folder + "/topology/physical_package_id", cpu < processors / 2 ? "0\n" : "1\n");
  }
  write(root, "/proc/stat", stat + "intr 1 2 3\nctxt 99\n");
  write(root, "/sys/devices/system/cpu/online", "0-" + std::to_string(processors - 1) + "\n");
  write(root, "/proc/self/cgroup", "0::/user.slice/session-2.scope\n");
  write(root, "/sys/fs/cgroup/cgroup.controllers", "cpu io memory\n");
  write(root, "/sys/fs/cgroup/user.slice/cpu.max", "max 100000\n");
  write(root, "/sys/fs/cgroup/user.slice/session-2.scope/cpu.max", "max 100000\n");
  write(root, "/sys/fs/cgroup/user.slice/session-2.scope/cpu.stat",
        "usage_usec 5\nnr_periods 0\nnr_throttled 0\nthrottled_usec 0\n");
  write(root, "/sys/class/power_supply/AC/type", "Mains\n");
  write(root, "/sys/class/power_supply/AC/online", "1\n");
}

int open_files() {
  int count = 0;
  if (DIR* listing = opendir("/proc/self/fd")) {
    while (readdir(listing) != nullptr) ++count;
    closedir(listing);
  }
  return count - 3;  // ".", ".." and the listing's own
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--tree") {
    make_tree(argv[2], argc > 3 ? std::atoi(argv[3]) : 256);
    return 0;
  }
  const int processors = argc > 1 ? std::atoi(argv[1]) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (processors < 1 || processors > 1024 || rounds < 1) {
    std::fprintf(stderr, "usage: quorvane_host_conditions_cost [processors 1-1024] [rounds]\n");
    return 2;
  }
  const fs::path root =
      fs::temp_directory_path() / ("quorvane-cost-tree-" + std::to_string(getpid()));
  make_tree(root, processors);
  const std::vector<int> ids = platform::usable_processor_ids(root.string());

  constexpr double run_seconds = 20.0;
  constexpr double poll_seconds = 0.05;
  const int files_before = open_files();
  std::vector<double> totals;
  for (int round = 0; round < rounds; ++round) {
    const double start = platform::thread_processor_seconds();
    const platform::condition_settings settings =
        platform::read_condition_settings(root.string(), ids);
    const double settings_done = platform::thread_processor_seconds();
    conditions_meter meter(root.string(), ids, settings.quota_folder);
    const double meter_done = platform::thread_processor_seconds();
    const int files_open = open_files() - files_before;
    for (int poll = 0; poll * poll_seconds < run_seconds; ++poll) {
      const double seconds = poll * poll_seconds;
      meter.poll(1 + static_cast<int>(seconds / 4.0), seconds);
    }
    meter.poll(0, run_seconds);
    const double end = platform::thread_processor_seconds();
    const double per_second = (end - start) * 1000.0 / run_seconds;
    totals.push_back(per_second);
    std::printf(
        "round %d: settings %.2f ms, meter %.2f ms, polls %.2f ms; %.3f ms per second of run; "
        "%d files open%s\n",
        round + 1, (settings_done - start) * 1e3, (meter_done - settings_done) * 1e3,
        (end - meter_done) * 1e3, per_second, files_open,
        settings.max_frequency_hz ? "" : " (no frequency read)");
  }
  std::sort(totals.begin(), totals.end());
  std::printf("%d processors: median %.3f ms of host processor time per second of run\n",
              processors, totals[totals.size() / 2]);
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
