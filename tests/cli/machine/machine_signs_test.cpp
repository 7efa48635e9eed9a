// The machine as Arm and hybrid machines show it, from fake /proc and /sys
// trees: the processor's name from its main ID registers, virtualisation
// without CPUID, and cores of more than one kind.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#  include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "machine/arm_processor.h"
#include "machine/core_kinds.h"
#include "machine/hypervisor.h"
#include "machine/machine_description.h"
#include "results/machine_table.h"

namespace quorvane::host {
namespace {

TEST(MainId, DecodesTheCommonCoresAndShowsTheNumbersOfOthers) {
  struct row {
    const char* text;
    const char* name;
    const char* signature;
  };
  const row rows[] = {
      {"0x00000000413fd0c1\n", "Arm Neoverse-N1", "implementer 0x41, part 0xd0c, r3p1"},
      {"0x411fd401", "Arm Neoverse-V1", "implementer 0x41, part 0xd40, r1p1"},
      {"0x410fd4f1", "Arm Neoverse-V2", "implementer 0x41, part 0xd4f, r0p1"},
      {"0x410fd490", "Arm Neoverse-N2", "implementer 0x41, part 0xd49, r0p0"},
      {"0x410fd034", "Arm Cortex-A53", "implementer 0x41, part 0xd03, r0p4"},
      {"0x412fd050", "Arm Cortex-A55", "implementer 0x41, part 0xd05, r2p0"},
      {"0x410fd083", "Arm Cortex-A72", "implementer 0x41, part 0xd08, r0p3"},
      {"0x414fd0b1", "Arm Cortex-A76", "implementer 0x41, part 0xd0b, r4p1"},
      {"0x411fd440", "Arm Cortex-X1", "implementer 0x41, part 0xd44, r1p0"},
      {"0xc00fac30", "Ampere Ampere-1", "implementer 0xc0, part 0xac3, r0p0"},
      {"0x611f0231", "Apple M1 Firestorm", "implementer 0x61, part 0x023, r1p1"},
      {"0x517f805e", "Qualcomm Kryo 4XX Silver", "implementer 0x51, part 0x805, r7p14"},
      {"0x6d0fd490", "Microsoft Azure Cobalt 100", "implementer 0x6d, part 0xd49, r0p0"},
      // Not in the table: the numbers, never a near name.
      {"0x410fd990", "Arm part 0xd99", "implementer 0x41, part 0xd99, r0p0"},
      {"0x7a0f0010", "implementer 0x7a part 0x001", "implementer 0x7a, part 0x001, r0p0"},
  };
  for (const row& r : rows) {
    const std::optional<main_id> id = parse_main_id(r.text);
    ASSERT_TRUE(id) << r.text;
    EXPECT_EQ(core_name(*id), r.name) << r.text;
    EXPECT_EQ(arm_processor_signature({*id}), r.signature) << r.text;
  }
  for (const char* hostile : {"", "0x", "zz", "0x410fd0c1 junk", "0x1234567890abcdef01", "0x0"}) {
    EXPECT_FALSE(parse_main_id(hostile)) << hostile;
  }
}

TEST(CoreKinds, ProcessorListsEfficiencyClassesAndHostileKinds) {
  EXPECT_EQ(processor_list("0-3,8\n"), (std::vector<int>{0, 1, 2, 3, 8}));
  for (const char* bad : {"3-1", "0-99999", "a-b", "-1"}) EXPECT_TRUE(processor_list(bad).empty());
  platform::machine_signs windows;
  windows.efficiency_classes = {1, 1, 0, 0, 0, 0};
  EXPECT_EQ(core_kinds_text(core_kinds(windows)), "2 performance, 4 efficiency");
  windows.efficiency_classes = {0, 0};
  EXPECT_TRUE(core_kinds(windows).empty());
  // A document from a file: only a list of named counts makes a cell.
  const nlohmann::json hostile = {{"core_kinds", {{{"name", 7}, {"processors", 4}}}}};
  EXPECT_EQ(core_kinds_cell(hostile), "");
  EXPECT_EQ(core_kinds_cell({{"core_kinds", nlohmann::json::array()}}),
            "one kind as far as the system shows");
}

TEST(Virtualisation, FromTheSignsLinuxGivesOnArm) {
  struct row {
    std::string type, tree, vendor, product;
    const char* expected;
  };
  const row rows[] = {
      {"xen\n", "", "", "", "Xen"},
      {"", std::string("xen,xen-4.17\0xen,xen\0", 22), "", "", "Xen"},
      {"", "", "QEMU\n", "KVM Virtual Machine\n", "KVM"},
      {"", "", "QEMU", "QEMU Virtual Machine", "QEMU"},
      {"", "", "Amazon EC2\n", "m7g.large\n", "Amazon EC2 (m7g.large)"},
      {"", "", "Amazon EC2", "m7g.metal", "none (Amazon EC2 m7g.metal)"},
      {"", "", "Microsoft Corporation", "Virtual Machine", "Hyper-V"},
      {"", "", "Google", "Google Compute Engine", "Google Compute Engine"},
      // A maker of real machines, and nothing at all: not reported.
      {"", "", "Microsoft Corporation", "Surface Laptop 7", ""},
      {"", "", "", "", ""},
  };
  for (const row& r : rows) {
    platform::machine_signs signs;
    signs.hypervisor_type = r.type;
    signs.device_tree_hypervisor = r.tree;
    signs.dmi_vendor = r.vendor;
    signs.dmi_product = r.product;
    EXPECT_EQ(virtualisation_text(hypervisor_reading{}, signs), r.expected)
        << r.vendor << r.product;
  }
  // Where CPUID answers, it is the processor's word that counts.
  platform::machine_signs qemu;
  qemu.dmi_vendor = "QEMU";
  EXPECT_EQ(virtualisation_text({true, false, ""}, qemu), "none");
}

// The fake trees are what Linux shows.
#if !defined(_WIN32)
namespace fs = std::filesystem;

struct fake_machine {
  const char* what;
  std::map<std::string, std::string> files;
  const char* cpu_model;
  const char* kinds;  // core_kinds_text
  const char* virtualisation;
};

std::map<std::string, std::string> arm_cpus(int first, int last, const char* midr,
                                            const char* capacity) {
  std::map<std::string, std::string> files;
  for (int cpu = first; cpu <= last; ++cpu) {
    const std::string folder = "/sys/devices/system/cpu/cpu" + std::to_string(cpu);
    files[folder + "/regs/identification/midr_el1"] = midr;
    if (capacity != nullptr) files[folder + "/cpu_capacity"] = capacity;
  }
  return files;
}

std::map<std::string, std::string> joined(std::map<std::string, std::string> a,
                                          const std::map<std::string, std::string>& b) {
  a.insert(b.begin(), b.end());
  return a;
}

TEST(MachineSigns, FakeTreesOfArmAndHybridMachines) {
  const fake_machine machines[] = {
      {"a cloud server",
       joined(arm_cpus(0, 3, "0x00000000413fd0c1\n", nullptr),
              {{"/sys/devices/system/cpu/online", "0-3\n"},
               {"/sys/class/dmi/id/sys_vendor", "Amazon EC2\n"},
               {"/sys/class/dmi/id/product_name", "m6g.xlarge\n"}}),
       "Arm Neoverse-N1", "", "Amazon EC2 (m6g.xlarge)"},
      {"a board that shows /proc/cpuinfo alone",
       {{"/proc/cpuinfo",
         "processor\t: 0\nCPU implementer\t: 0x41\nCPU variant\t: 0x0\nCPU part\t: 0xd08\n"
         "CPU revision\t: 3\n\nprocessor\t: 1\nCPU implementer\t: 0x41\nCPU part\t: 0xd08\n\n"},
        {"/sys/devices/system/cpu/online", "0-1\n"}},
       "Arm Cortex-A72",
       "",
       ""},
      {"a big.LITTLE phone board",
       joined(joined(arm_cpus(0, 3, "0x412fd050\n", "446\n"),
                     arm_cpus(4, 7, "0x414fd0b1\n", "1024\n")),
              {{"/sys/devices/system/cpu/online", "0-7\n"}}),
       "Arm Cortex-A55 + Arm Cortex-A76",
       "4 Arm Cortex-A76 (capacity 1024), 4 Arm Cortex-A55 (capacity 446)", ""},
      {"an Intel hybrid laptop",
       {{"/sys/devices/system/cpu/online", "0-23\n"},
        {"/sys/devices/cpu_core/cpus", "0-15\n"},
        {"/sys/devices/cpu_atom/cpus", "16-23\n"}},
       "Intel(R) Core(TM) i9",
       "16 performance, 8 efficiency",
       ""},
  };
  for (const fake_machine& machine : machines) {
    const fs::path root =
        fs::temp_directory_path() / ("quorvane-signs-" + std::to_string(getpid()));
    for (const auto& [path, text] : machine.files) {
      fs::create_directories((root / path.substr(1)).parent_path());
      std::ofstream(root / path.substr(1)) << text;
    }
    const platform::machine_signs signs = platform::read_machine_signs(root.string());
    fs::remove_all(root);
    platform::machine_readings readings;
    readings.processor_brand = "Intel(R) Core(TM) i9";  // what CPUID says off Arm
    machine_description described = describe_machine(readings, signs);
    described.virtualisation = virtualisation_text(hypervisor_reading{}, signs);
    EXPECT_EQ(described.cpu_model, machine.cpu_model) << machine.what;
    EXPECT_EQ(core_kinds_text(described.core_kinds), machine.kinds) << machine.what;
    EXPECT_EQ(described.virtualisation, machine.virtualisation) << machine.what;
    const nlohmann::json json = machine_json(described);
    const std::string table = format_machine_table(described);
    EXPECT_EQ(json.contains("single_thread_note"), machine.kinds[0] != '\0') << machine.what;
    EXPECT_EQ(table.find("core kinds") != std::string::npos, machine.kinds[0] != '\0') << table;
    if (machine.virtualisation[0] == '\0') {
      EXPECT_NE(table.find("virtualisation                   not reported"), std::string::npos)
          << table;
    }
  }
}
#endif

}  // namespace
}  // namespace quorvane::host
