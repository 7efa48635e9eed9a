// The Arm processor's name from its main ID register (MIDR_EL1), as Linux
// shows it: there is no brand string to ask for on Arm.
#ifndef QUORVANE_TOOLS_MACHINE_ARM_PROCESSOR_H
#define QUORVANE_TOOLS_MACHINE_ARM_PROCESSOR_H

#include <optional>
#include <string>
#include <vector>

namespace quorvane::host {

// The register's fields that name a core.
struct main_id {
  unsigned implementer = 0;  // bits 31-24: 0x41 is Arm
  unsigned variant = 0;      // bits 23-20: the major revision, "r" of rNpM
  unsigned part = 0;         // bits 15-4: the core within the implementer
  unsigned revision = 0;     // bits 3-0: the minor revision, "p" of rNpM
  bool operator==(const main_id& other) const {
    return implementer == other.implementer && variant == other.variant && part == other.part &&
           revision == other.revision;
  }
};

// A midr_el1 file's text, "0x00000000410fd0c1": nothing unless it is one
// hexadecimal number of at most 64 bits.
std::optional<main_id> parse_main_id(const std::string& text);

// Each "processor" block of an Arm /proc/cpuinfo that gives its "CPU
// implementer" and "CPU part" (variant and revision where given).
std::vector<main_id> main_ids_from_cpuinfo(const std::string& cpuinfo);

// "Arm Neoverse-N1"; a part the table lacks shows its numbers, never a
// guess: "Arm part 0xd99", "implementer 0x7a part 0x001".
std::string core_name(const main_id& id);

// The distinct cores in order of first appearance, joined with " + ";
// "" for none.
std::string arm_processor_name(const std::vector<main_id>& ids);

// The numbers themselves, "implementer 0x41, part 0xd0c, r3p1", for each
// distinct core, joined with "; ".
std::string arm_processor_signature(const std::vector<main_id>& ids);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_ARM_PROCESSOR_H
