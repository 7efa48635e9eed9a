// The machine description from fake system readings.
#include "machine/machine_description.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quorvane::host {
namespace {

platform::machine_readings linux_readings() {
  platform::machine_readings readings;
  readings.processor_brand = "  AMD EPYC 7B13 64-Core Processor           ";
  readings.cpuinfo =
      "processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\nmodel\t\t: 1\n"
      "model name\t: AMD EPYC 7B13 (from cpuinfo)\n\nprocessor\t: 1\nmodel name\t: other\n";
  readings.logical_processors = 64;
  readings.usable_processors = 2;
  readings.memory_bytes = 25769803776ULL;
  readings.os_release =
      "NAME=\"Debian GNU/Linux\"\nVERSION=\"12 (bookworm)\"\n"
      "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n";
  readings.kernel = "Linux 6.1.0-18-amd64";
  return readings;
}

TEST(MachineDescription, PrefersTheBrandStringAndReadsLinuxTexts) {
  const machine_description machine = describe_machine(linux_readings());
  EXPECT_EQ(machine.cpu_model, "AMD EPYC 7B13 64-Core Processor");
  EXPECT_EQ(machine.cpu_signature, "family 25, model 1");
  EXPECT_EQ(machine.logical_processors, 64);
  EXPECT_EQ(machine.usable_processors, 2);
  EXPECT_EQ(machine.memory_bytes, 25769803776ULL);
  EXPECT_EQ(machine.os, "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(machine.kernel, "Linux 6.1.0-18-amd64");

  const nlohmann::json json = machine_json(machine);
  EXPECT_EQ(json["usable_processors"], 2);
  EXPECT_EQ(json["memory_bytes"], 25769803776ULL);
  EXPECT_EQ(json["os"], "Debian GNU/Linux 12 (bookworm)");
}

TEST(MachineDescription, FallsBackWhenTheSystemSaysLess) {
  platform::machine_readings readings = linux_readings();
  readings.processor_brand = "";
  readings.usable_processors = 0;
  readings.os_release = "NAME='Alpine Linux'\nVERSION=3.19\n";
  machine_description machine = describe_machine(readings);
  EXPECT_EQ(machine.cpu_model, "AMD EPYC 7B13 (from cpuinfo)");
  EXPECT_EQ(machine.usable_processors, 64) << "unknown affinity: every processor";
  EXPECT_EQ(machine.os, "Alpine Linux 3.19");

  machine = describe_machine(platform::machine_readings{});
  EXPECT_EQ(machine.cpu_model, "unknown processor");
  EXPECT_EQ(machine.cpu_signature, "");
  EXPECT_EQ(machine.os, "unknown system");
  EXPECT_EQ(machine.kernel, "unknown kernel");
  EXPECT_FALSE(machine_json(machine).contains("cpu_signature"));
}

TEST(MachineDescription, TakesTheWindowsProductName) {
  platform::machine_readings readings;
  readings.processor_brand = "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz";
  readings.logical_processors = 8;
  readings.usable_processors = 8;
  readings.os_name = "Windows 10 Pro 22H2";
  readings.kernel = "Windows NT 10.0.19045";
  const machine_description machine = describe_machine(readings);
  EXPECT_EQ(machine.os, "Windows 10 Pro 22H2");
  EXPECT_EQ(machine.kernel, "Windows NT 10.0.19045");
  const std::string table = format_machine_table(machine);
  EXPECT_NE(table.find("Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz"), std::string::npos) << table;
  EXPECT_NE(table.find("8 logical, 8 usable by this process"), std::string::npos) << table;
  EXPECT_NE(table.find("Windows 10 Pro 22H2, Windows NT 10.0.19045"), std::string::npos) << table;
}

TEST(MachineDescription, ConditionsSayNotReportedRatherThanGuess) {
  machine_description machine;
  std::string table = format_machine_table(machine);
  for (const char* row : {"virtualisation                   not reported\n",
                          "container                        not reported\n",
                          "processor quota                  none seen\n",
                          "frequency                        not reported\n",
                          "frequency policy                 not reported\n",
                          "power source                     not reported\n"}) {
    EXPECT_NE(table.find(row), std::string::npos) << row << table;
  }
  machine.conditions.container_signs = std::vector<std::string>{};
  EXPECT_NE(format_machine_table(machine).find("container                        no sign of one\n"),
            std::string::npos);
  machine.virtualisation = "KVM";
  machine.conditions.quota_processors = 0.5;
  machine.conditions.quota_source = "cgroup v2 /box";
  machine.conditions.base_frequency_hz = 2.8e9;
  machine.conditions.max_frequency_hz = 4.7e9;
  machine.conditions.frequency_policy = "powersave";
  machine.conditions.boost = false;
  machine.conditions.on_battery = true;
  machine.conditions.container_signs = {"/.dockerenv"};
  table = format_machine_table(machine);
  for (const char* row : {"virtualisation                   KVM\n",
                          "container                        yes (/.dockerenv)\n",
                          "processor quota                  0.50 processors (cgroup v2 /box)\n",
                          "frequency                        base 2.80 GHz, max 4.70 GHz\n",
                          "frequency policy                 powersave, boost off\n",
                          "power source                     battery\n"}) {
    EXPECT_NE(table.find(row), std::string::npos) << row << table;
  }
  const nlohmann::json json = machine_json(machine);
  EXPECT_EQ(json["quota_processors"], 0.5);
  EXPECT_EQ(json["power_source"], "battery");
  EXPECT_EQ(json["boost"], false);
}

// A processor that could not be asked is "not reported" (null), never
// bare metal ("none"): arm64 has no CPUID to ask.
TEST(MachineDescription, VirtualisationOfAnUnknownReadingIsNull) {
  struct reading_case {
    hypervisor_reading reading;
    nlohmann::json expected;
  };
  const reading_case cases[] = {{{false, false, ""}, nullptr},
                                {{true, false, ""}, "none"},
                                {{true, true, "KVMKVMKVM"}, "KVM"}};
  for (const reading_case& entry : cases) {
    machine_description machine;
    machine.virtualisation = virtualisation_name(entry.reading);
    EXPECT_EQ(machine_json(machine)["virtualisation"], entry.expected);
  }
}

TEST(MachineDescription, ThisMachineHasProcessorsAndMemory) {
  const machine_description machine = this_machine();
  EXPECT_GE(machine.logical_processors, 1);
  EXPECT_GE(machine.usable_processors, 1);
  EXPECT_LE(machine.usable_processors, machine.logical_processors);
  EXPECT_GT(machine.memory_bytes, 0U);
}

TEST(MachineDescription, SystemTextsOfAnyBytesBecomeUtf8AndTerminalSafe) {
  platform::machine_readings readings = linux_readings();
  readings.processor_brand = "\x1B]0;owned\x07\x1B[31mCPU";
  readings.os_release = "PRETTY_NAME=\"Caf\xE9 OS\"\n";
  readings.kernel = "Linux\n6.1";
  const machine_description machine = describe_machine(readings);
  EXPECT_EQ(machine.os, "Caf\xEF\xBF\xBD OS");
  EXPECT_NO_THROW((void)machine_json(machine).dump());
  const std::string table = format_machine_table(machine);
  EXPECT_EQ(table.find('\x1B'), std::string::npos) << table;
  EXPECT_EQ(table.find('\x07'), std::string::npos) << table;
  // The heading, four lines of the machine and six of its conditions.
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 11) << table;
}

}  // namespace
}  // namespace quorvane::host
