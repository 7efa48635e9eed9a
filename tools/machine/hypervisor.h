// Whether this program runs on a virtual machine, from what the processor
// itself says (the CPUID instruction, the same on every operating system),
// or, where there is no CPUID (Arm), from what Linux shows of the machine.
#ifndef QUORVANE_TOOLS_MACHINE_HYPERVISOR_H
#define QUORVANE_TOOLS_MACHINE_HYPERVISOR_H

#include <string>

#include "machine/host_platform.h"

namespace quorvane::host {

struct hypervisor_reading {
  bool known = false;     // the processor could be asked at all
  bool present = false;   // the hypervisor bit: leaf 1, ECX bit 31
  std::string vendor_id;  // leaf 0x40000000's twelve bytes, "KVMKVMKVM"
};

// Asks the processor; known stays false off x86-64.
hypervisor_reading read_hypervisor();

// "none" on bare metal, the hypervisor's name ("KVM", "Hyper-V", ...), or
// "unknown hypervisor (id)" for an id this host does not know; "" when the
// processor could not be asked.
std::string virtualisation_name(const hypervisor_reading& reading);

// From the signs Linux gives on Arm: /sys/hypervisor/type, the device
// tree's hypervisor node, then DMI's vendor and product ("KVM", "QEMU",
// "Amazon EC2 (m7g.large)", "Hyper-V", "Google Compute Engine"); "none"
// only where DMI names bare metal; "" when nothing says.
std::string virtualisation_from_signs(const platform::machine_signs& signs);

// CPUID's answer where the processor can be asked, else the signs'.
std::string virtualisation_text(const hypervisor_reading& reading,
                                const platform::machine_signs& signs);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_HYPERVISOR_H
