// The conditions of a run, read from fake /proc and /sys trees: a laptop, a
// container with a cgroup v2 quota, a virtual machine with steal time and a
// machine that shows none of it; then the verdicts they lead to.
#include "machine/run_conditions.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#  include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "results/run_verdict.h"

namespace quorvane::host {
namespace {

// The fake trees are what Linux shows; the Windows platform layer reads
// the system's own interfaces and has no root folder to point elsewhere.
#if !defined(_WIN32)
namespace fs = std::filesystem;
using files = std::map<std::string, std::string>;

// A fake root folder, removed with its contents at the end of the test.
class fake_tree {
 public:
  explicit fake_tree(const files& contents) {
    root_ = fs::temp_directory_path() /
            ("quorvane-tree-" + std::to_string(getpid()) + "-" + std::to_string(next_++));
    write(contents);
  }
  ~fake_tree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  fake_tree(const fake_tree&) = delete;
  fake_tree& operator=(const fake_tree&) = delete;

  void write(const files& contents) const {
    for (const auto& [path, text] : contents) {
      const fs::path file = root_ / path.substr(1);
      fs::create_directories(file.parent_path());
      std::ofstream(file) << text;
    }
  }
  std::string root() const { return root_.string(); }

 private:
  static inline int next_ = 0;
  fs::path root_;
};

// /proc/stat for processors 0 to 3 with the given ticks each:
// user nice system idle iowait irq softirq steal.
std::string proc_stat(unsigned long busy, unsigned long idle, unsigned long steal,
                      bool steal_column = true) {
  std::string text = "cpu  0 0 0 0 0 0 0 0 0 0\n";
  for (int cpu = 0; cpu < 4; ++cpu) {
    text += "cpu" + std::to_string(cpu) + " " + std::to_string(busy) + " 0 0 " +
            std::to_string(idle) + (steal_column ? " 0 0 0 " + std::to_string(steal) : "") +
            (steal_column ? " 0 0" : "") + "\n";
  }
  // A processor this process may not use: its heavy load must not count.
  text += "cpu4 999999 0 0 0 0 0 0 999999 0 0\nintr 1 2 3\n";
  return text;
}

files laptop_cpu(int cpu, const char* khz, const char* core_throttles) {
  const std::string folder = "/sys/devices/system/cpu/cpu" + std::to_string(cpu);
  return {{folder + "/cpufreq/scaling_cur_freq", khz},
          {folder + "/cpufreq/cpuinfo_max_freq", "4700000\n"},
          {folder + "/cpufreq/base_frequency", "2800000\n"},
          {folder + "/cpufreq/scaling_governor", "powersave\n"},
          {folder + "/thermal_throttle/core_throttle_count", core_throttles},
          {folder + "/thermal_throttle/package_throttle_count", "7\n"}};
}

files laptop(const char* khz, const char* core_throttles) {
  files tree = {{"/proc/stat", proc_stat(1000, 100000, 0)},
                {"/proc/self/cgroup", "0::/user.slice/session-2.scope\n"},
                {"/sys/fs/cgroup/cgroup.controllers", "cpu io memory\n"},
                {"/sys/fs/cgroup/user.slice/cpu.max", "max 100000\n"},
                {"/sys/devices/system/cpu/intel_pstate/no_turbo", "0\n"},
                {"/sys/class/power_supply/AC/type", "Mains\n"},
                {"/sys/class/power_supply/AC/online", "0\n"},
                {"/sys/class/power_supply/BAT0/type", "Battery\n"},
                {"/sys/class/power_supply/BAT0/status", "Discharging\n"}};
  for (int cpu = 0; cpu < 4; ++cpu) tree.merge(laptop_cpu(cpu, khz, core_throttles));
  return tree;
}

const std::vector<int> four = {0, 1, 2, 3};

using signs = std::optional<std::vector<std::string>>;

files with(files tree, const files& changes) {
  for (const auto& [path, text] : changes) tree[path] = text;
  return tree;
}

TEST(ConditionSettings, ReadWhatEachMachineShows) {
  struct machine_case {
    const char* name;
    files tree;
    std::optional<double> quota;
    std::string quota_source;
    std::optional<double> max_hz;
    std::optional<double> base_hz;
    std::string policy;
    std::optional<bool> boost;
    std::optional<bool> on_battery;
    signs container_signs;
  };
  const machine_case cases[] = {
      {"laptop", laptop("2800000\n", "3\n"), std::nullopt, "", 4.7e9, 2.8e9, "powersave", true,
       true, signs(std::vector<std::string>{})},
      // On mains: charging, and no battery reason.
      {"laptop on mains",
       with(laptop("2800000\n", "3\n"), {{"/sys/class/power_supply/AC/online", "1\n"},
                                         {"/sys/class/power_supply/BAT0/status", "Charging\n"}}),
       std::nullopt, "", 4.7e9, 2.8e9, "powersave", true, false, signs(std::vector<std::string>{})},
      // A mains supply that reads offline is no battery; a mouse's battery
      // that discharges powers no processor.
      {"desktop without a battery",
       {{"/proc/self/cgroup", "0::/\n"},
        {"/sys/class/power_supply/AC/type", "Mains\n"},
        {"/sys/class/power_supply/AC/online", "0\n"},
        {"/sys/class/power_supply/hidpp_battery_0/type", "Battery\n"},
        {"/sys/class/power_supply/hidpp_battery_0/scope", "Device\n"},
        {"/sys/class/power_supply/hidpp_battery_0/status", "Discharging\n"}},
       std::nullopt,
       "",
       std::nullopt,
       std::nullopt,
       "",
       std::nullopt,
       false,
       signs(std::vector<std::string>{})},
      // In its own cgroup namespace the container's path is "/": the other
      // signs say what it is.
      {"container with a cgroup namespace",
       {{"/proc/self/cgroup", "0::/\n"},
        {"/sys/fs/cgroup/cgroup.controllers", "cpu\n"},
        {"/sys/fs/cgroup/cpu.max", "50000 100000\n"},
        {"/run/systemd/container", "docker\n"},
        {"/proc/1/environ", std::string("PATH=/bin") + '\0' + "container=podman" + '\0'},
        {"/proc/self/environ", std::string("KUBERNETES_SERVICE_HOST=10.0.0.1") + '\0' + "HOME=/"},
        {"/proc/self/mountinfo",
         "22 1 0:21 / / rw,relatime - ext4 /dev/vda1 rw\n"
         "575 574 0:52 / / rw,relatime master:1 - overlay overlay rw,lowerdir=/a\n"
         "576 575 0:55 / /proc rw,nosuid - proc proc rw\n"}},
       0.5,
       "cgroup v2 /",
       std::nullopt,
       std::nullopt,
       "",
       std::nullopt,
       std::nullopt,
       signs{{"/run/systemd/container docker", "container=podman", "overlay root",
              "KUBERNETES_SERVICE_HOST"}}},
      // The parent's quota is tighter than the container's own: it binds.
      {"container",
       {{"/proc/stat", proc_stat(1000, 100000, 0)},
        {"/proc/self/cgroup", "0::/docker/3f2a\n"},
        {"/.dockerenv", ""},
        {"/sys/fs/cgroup/cgroup.controllers", "cpu\n"},
        {"/sys/fs/cgroup/docker/cpu.max", "50000 100000\n"},
        {"/sys/fs/cgroup/docker/3f2a/cpu.max", "150000 100000\n"}},
       0.5,
       "cgroup v2 /docker",
       std::nullopt,
       std::nullopt,
       "",
       std::nullopt,
       std::nullopt,
       signs{{"/.dockerenv", "cgroup /docker/3f2a"}}},
      {"virtual machine with a v1 quota",
       {{"/proc/stat", proc_stat(1000, 100000, 50)},
        {"/proc/self/cgroup", "5:memory:/vm\n4:cpu,cpuacct:/vm\n0::/\n"},
        {"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "-1\n"},
        {"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n"},
        {"/sys/fs/cgroup/cpu,cpuacct/vm/cpu.cfs_quota_us", "200000\n"},
        {"/sys/fs/cgroup/cpu,cpuacct/vm/cpu.cfs_period_us", "100000\n"}},
       2.0,
       "cgroup v1 /vm",
       std::nullopt,
       std::nullopt,
       "",
       std::nullopt,
       std::nullopt,
       signs(std::vector<std::string>{})},
      // Hostile or missing text reads as not shown, never as a value.
      {"bare",
       {{"/proc/stat", proc_stat(1000, 100000, 0, false)},
        {"/proc/self/cgroup", "0::/../../etc\n"},
        {"/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "fast\n"}},
       std::nullopt,
       "",
       std::nullopt,
       std::nullopt,
       "",
       std::nullopt,
       std::nullopt,
       signs(std::vector<std::string>{})},
      // Nothing to read: no container is "not reported", not "no".
      {"nothing readable",
       {{"/proc/stat", proc_stat(1000, 100000, 0)}},
       std::nullopt,
       "",
       std::nullopt,
       std::nullopt,
       "",
       std::nullopt,
       std::nullopt,
       std::nullopt},
  };
  for (const machine_case& expected : cases) {
    SCOPED_TRACE(expected.name);
    const fake_tree tree(expected.tree);
    const platform::condition_settings settings =
        platform::read_condition_settings(tree.root(), four);
    EXPECT_EQ(settings.quota_processors, expected.quota);
    EXPECT_EQ(settings.quota_source, expected.quota_source);
    EXPECT_EQ(settings.max_frequency_hz, expected.max_hz);
    EXPECT_EQ(settings.base_frequency_hz, expected.base_hz);
    EXPECT_EQ(settings.frequency_policy, expected.policy);
    EXPECT_EQ(settings.boost, expected.boost);
    EXPECT_EQ(settings.on_battery, expected.on_battery);
    EXPECT_EQ(settings.container_signs, expected.container_signs);
    const std::vector<std::string> reasons = judge_run({}, settings, 0).reasons;
    EXPECT_EQ(std::count(reasons.begin(), reasons.end(), "on battery"),
              expected.on_battery == std::optional<bool>(true) ? 1 : 0);
  }
}

// Drives a meter through phases 1 and 2, the tree changing as given
// between the polls, and returns the conditions of both phases.
run_conditions two_phases(const fake_tree& tree, const files& during_phase_1,
                          const files& during_phase_2) {
  conditions_meter meter(tree.root(), four,
                         platform::read_condition_settings(tree.root(), four).quota_folder);
  meter.poll(1, 0.0);
  tree.write(during_phase_1);
  meter.poll(1, 1.1);  // a frequency sample
  meter.poll(2, 4.0);
  tree.write(during_phase_2);
  meter.poll(2, 5.1);
  meter.poll(0, 8.0);
  return meter.phases();
}

TEST(ConditionsMeter, MeasuresEachPhaseOverTheUsableProcessors) {
  {
    // Phase 1 runs one processor and phase 2 all four: their frequencies
    // are not held against each other (RunVerdict below compares them).
    SCOPED_TRACE("laptop: slows and throttles in phase 2");
    const fake_tree tree(laptop("4000000\n", "3\n"));
    files slow = laptop("2000000\n", "5\n");
    slow["/proc/stat"] = proc_stat(1400, 100000 + 400, 0);
    const run_conditions phases = two_phases(tree, {}, slow);
    ASSERT_TRUE(phases[0] && phases[1]);
    EXPECT_EQ(phases[0]->frequency_mean_hz, 4.0e9);
    EXPECT_EQ(phases[0]->throttle_events, 0U);
    EXPECT_EQ(phases[1]->frequency_mean_hz, 2.0e9);
    EXPECT_EQ(phases[1]->throttle_events, 8U);  // 2 more on each of 4 processors
    EXPECT_FALSE(phases[1]->steal_percent.has_value() && *phases[1]->steal_percent > 0);
    // Busy 400 of 800 ticks on the usable processors, this process nearly none.
    ASSERT_TRUE(phases[1]->other_percent);
    EXPECT_NEAR(*phases[1]->other_percent, 50.0, 0.5);
    const run_verdict verdict =
        judge_run(phases, platform::read_condition_settings(tree.root(), four), 4);
    EXPECT_EQ(verdict_line(verdict, 1, 1),
              "run 1/1: disturbed: other programs 50% in phase 2; thermal throttling in phase 2; "
              "on battery");
  }
  {
    SCOPED_TRACE("virtual machine: steal in phase 1");
    const fake_tree tree({{"/proc/stat", proc_stat(1000, 100000, 50)}});
    const run_conditions phases =
        two_phases(tree, {{"/proc/stat", proc_stat(1000 + 900, 100000, 50 + 100)}}, {});
    ASSERT_TRUE(phases[0] && phases[0]->steal_percent);
    EXPECT_NEAR(*phases[0]->steal_percent, 10.0, 0.01);
    EXPECT_FALSE(phases[0]->frequency_mean_hz.has_value());
    EXPECT_EQ(verdict_line(judge_run(phases, {}, 4), 2, 3),
              "run 2/3: disturbed: other programs 90% in phase 1; steal 10% in phase 1");
  }
  {
    SCOPED_TRACE("container: a quota below the processors, throttled");
    const fake_tree tree({{"/proc/stat", proc_stat(1000, 100000, 0)},
                          {"/proc/self/cgroup", "0::/box\n"},
                          {"/sys/fs/cgroup/cgroup.controllers", "cpu\n"},
                          {"/sys/fs/cgroup/box/cpu.max", "100000 100000\n"},
                          {"/sys/fs/cgroup/box/cpu.stat",
                           "usage_usec 5\nnr_periods 10\nnr_throttled 0\nthrottled_usec 0\n"}});
    const run_conditions phases =
        two_phases(tree, {},
                   {{"/sys/fs/cgroup/box/cpu.stat",
                     "usage_usec 9\nnr_periods 50\nnr_throttled 38\nthrottled_usec 2500000\n"}});
    ASSERT_TRUE(phases[1]);
    EXPECT_EQ(phases[1]->quota_throttled_periods, 38U);
    EXPECT_EQ(phases[1]->quota_throttled_seconds, 2.5);
    const run_verdict verdict =
        judge_run(phases, platform::read_condition_settings(tree.root(), four), 2);
    EXPECT_EQ(verdict_line(verdict, 1, 1),
              "run 1/1: disturbed: quota throttling 2.5 s in phase 2; quota 1.00 processors "
              "below 2 used");
  }
  {
    SCOPED_TRACE("bare: nothing shown, nothing guessed");
    const fake_tree tree({{"/proc/stat", proc_stat(1000, 100000, 0, false)}});
    const run_conditions phases =
        two_phases(tree, {{"/proc/stat", proc_stat(1010, 100390, 0, false)}}, {});
    ASSERT_TRUE(phases[0] && phases[0]->other_percent);
    EXPECT_NEAR(*phases[0]->other_percent, 2.5, 0.5);
    EXPECT_FALSE(phases[0]->steal_percent.has_value());
    EXPECT_FALSE(phases[0]->throttle_events.has_value());
    EXPECT_FALSE(phases[0]->quota_throttled_periods.has_value());
    EXPECT_EQ(verdict_line(judge_run(phases, {}, 4), 1, 1),
              "run 1/1: clean (not reported: steal, frequency, thermal throttling, power source)");
  }
  {
    // Each processor shows its package's count; two packages both count.
    SCOPED_TRACE("two packages: both packages' throttling counts");
    const auto packages = [](const char* first, const char* second) {
      files tree = {{"/proc/stat", proc_stat(1000, 100000, 0)}};
      for (int cpu = 0; cpu < 4; ++cpu) {
        const std::string folder = "/sys/devices/system/cpu/cpu" + std::to_string(cpu);
        tree[folder + "/topology/physical_package_id"] = cpu < 2 ? "0\n" : "1\n";
        tree[folder + "/thermal_throttle/package_throttle_count"] = cpu < 2 ? first : second;
      }
      return tree;
    };
    const fake_tree tree(packages("5\n", "20\n"));
    const run_conditions phases = two_phases(tree, {}, packages("10\n", "21\n"));
    ASSERT_TRUE(phases[1] && phases[1]->throttle_events);
    EXPECT_EQ(*phases[1]->throttle_events, 6U);
  }
}

// Phase 1 takes the fastest processor (the one that works), phase 2 the
// mean over all of them.
TEST(ConditionsMeter, OneProcessorPhasesTakeTheHighestAndTheOthersTheMean) {
  files tree = {{"/proc/stat", proc_stat(1000, 100000, 0)}};
  const char* khz[] = {"1000000\n", "4000000\n", "1000000\n", "1000000\n"};
  for (int cpu = 0; cpu < 4; ++cpu) {
    tree["/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpufreq/scaling_cur_freq"] =
        khz[cpu];
  }
  const fake_tree machine(tree);
  const run_conditions phases = two_phases(machine, {}, {});
  ASSERT_TRUE(phases[0] && phases[1]);
  EXPECT_EQ(phases[0]->frequency_mean_hz, 4.0e9);
  EXPECT_EQ(phases[1]->frequency_mean_hz, 1.75e9);
}

int open_descriptors() {
  return static_cast<int>(
      std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// 200 processors: the files held open stay bounded (the sample of 64, its
// packages, /proc/stat), and the fastest processor, outside the sample,
// still shows in a one-processor phase.
TEST(ConditionsMeter, ManyProcessorsKeepFewFilesOpen) {
  constexpr int processors = 200;
  files tree = {{"/proc/stat", proc_stat(1000, 100000, 0)},
                {"/sys/devices/system/cpu/online", "0-199\n"}};
  for (int cpu = 0; cpu < processors; ++cpu) {
    const std::string folder = "/sys/devices/system/cpu/cpu" + std::to_string(cpu);
    tree[folder + "/cpufreq/scaling_cur_freq"] = cpu == 1 ? "4000000\n" : "2000000\n";
    tree[folder + "/thermal_throttle/core_throttle_count"] = "0\n";
    tree[folder + "/thermal_throttle/package_throttle_count"] = "0\n";
  }
  const fake_tree machine(tree);
  const std::vector<int> ids = platform::usable_processor_ids(machine.root());
  ASSERT_EQ(ids.size(), static_cast<std::size_t>(processors));
  const int before = open_descriptors();
  conditions_meter meter(machine.root(), ids);
  EXPECT_LE(open_descriptors() - before, 2 + 3 * 64);
  meter.poll(1, 0.0);
  meter.poll(1, 1.1);
  meter.poll(1, 2.2);  // the reading of every processor
  meter.poll(2, 4.0);
  meter.poll(2, 5.1);
  meter.poll(0, 8.0);
  ASSERT_TRUE(meter.phases()[0] && meter.phases()[1]);
  EXPECT_EQ(meter.phases()[0]->frequency_mean_hz, 4.0e9);
  EXPECT_EQ(meter.phases()[0]->frequency_samples, 1);
  EXPECT_EQ(meter.phases()[1]->frequency_mean_hz, 2.0e9);
}

#endif  // !defined(_WIN32)

// Each threshold is a limit that holds ("above 10%"); the quota reads as
// the machine table prints it.
TEST(RunVerdict, ThresholdsAndTheQuotaAsTheTablePrintsIt) {
  struct verdict_case {
    double other_percent;
    double steal_percent;
    std::optional<double> quota;
    std::vector<std::string> reasons;
  };
  const verdict_case cases[] = {
      {10.0, 2.0, 2.0, {}},
      {10.2, 2.1, std::nullopt, {"other programs 10% in phase 2", "steal 2% in phase 2"}},
      {0, 0, 1.95, {"quota 1.95 processors below 2 used"}},
      {0, 0, 1.99, {"quota 1.99 processors below 2 used"}},
      {0, 0, 0.5, {"quota 0.50 processors below 2 used"}},
  };
  for (const verdict_case& expected : cases) {
    run_conditions phases{};
    phases[1] = phase_conditions{};
    phases[1]->other_percent = expected.other_percent;
    phases[1]->steal_percent = expected.steal_percent;
    platform::condition_settings machine;
    machine.quota_processors = expected.quota;
    EXPECT_EQ(judge_run(phases, machine, 2).reasons, expected.reasons);
  }
}

// A breach by other programs has its own warning: the verdict's warning
// says the rest, or nothing.
TEST(RunVerdict, WarnsOfEachReasonOnce) {
  run_verdict verdict{false, {"other programs 50% in phase 2"}, {}};
  EXPECT_EQ(verdict_warning(verdict, 1, 1), "");
  verdict.reasons.push_back("steal 6% in phase 4");
  EXPECT_EQ(verdict_warning(verdict, 1, 1), "warning: run 1/1: disturbed: steal 6% in phase 4");
}

TEST(RunVerdict, ComparesFrequencyWithinEachKindOfPhase) {
  // One-processor phases boost above all-processor ones by design.
  run_conditions phases{};
  const double means[] = {4.6e9, 3.5e9, 4.5e9, 3.4e9, 4.0e9};
  for (std::size_t i = 0; i < phases.size(); ++i) {
    phases[i] = phase_conditions{};
    phases[i]->frequency_mean_hz = means[i];
  }
  const run_verdict verdict = judge_run(phases, {}, 4);
  EXPECT_EQ(verdict.reasons,
            (std::vector<std::string>{"frequency down 4.00 GHz (of 4.60 GHz) in phase 5"}));
}

TEST(RunVerdict, VersionOneRunsCountAsClean) {
  EXPECT_TRUE(run_is_clean(nlohmann::json{{"cancelled", false}}));
  EXPECT_TRUE(run_is_clean(nlohmann::json{{"verdict", {{"clean", true}}}}));
  EXPECT_FALSE(run_is_clean(nlohmann::json{{"verdict", {{"clean", false}}}}));
  EXPECT_FALSE(run_is_clean(nlohmann::json{{"verdict", "clean"}}));
}

}  // namespace
}  // namespace quorvane::host
