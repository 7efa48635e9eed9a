// Whether this program runs on a virtual machine, from what the processor
// itself says (the CPUID instruction, the same on every operating system).
#ifndef QUORVANE_TOOLS_MACHINE_HYPERVISOR_H
#define QUORVANE_TOOLS_MACHINE_HYPERVISOR_H

#include <string>

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

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_HYPERVISOR_H
