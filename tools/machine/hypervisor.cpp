// The hypervisor bit and vendor leaf of CPUID.
#include "machine/hypervisor.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#  include <cpuid.h>
#  define QUORVANE_HAS_CPUID 1
#endif

namespace quorvane::host {
namespace {

struct known_vendor {
  const char* id;
  const char* name;
};

// The ids hypervisors put in leaf 0x40000000, as they publish them.
constexpr known_vendor known_vendors[] = {{"KVMKVMKVM", "KVM"},
                                          {"Microsoft Hv", "Hyper-V"},
                                          {"VMwareVMware", "VMware"},
                                          {"XenVMMXenVMM", "Xen"},
                                          {"TCGTCGTCGTCG", "QEMU (TCG)"},
                                          {"bhyve bhyve ", "bhyve"},
                                          {"VBoxVBoxVBox", "VirtualBox"},
                                          {" lrpepyh  vr", "Parallels"},
                                          {"ACRNACRNACRN", "ACRN"},
                                          {"QNXQVMBSQG", "QNX"},
                                          {"Linux KVM Hv", "KVM (Hyper-V interface)"}};

// Printable characters alone: the id comes from outside and ends up in
// documents and on terminals.
std::string printable(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c >= 0x20 && c < 0x7f) result += c;
  }
  return result;
}

}  // namespace

hypervisor_reading read_hypervisor() {
  hypervisor_reading reading;
#ifdef QUORVANE_HAS_CPUID
  unsigned int a = 0;
  unsigned int b = 0;
  unsigned int c = 0;
  unsigned int d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return reading;
  reading.known = true;
  reading.present = ((c >> 31) & 1U) != 0;
  if (!reading.present) return reading;
  // Leaf 0x40000000 exists only when the bit is set; __get_cpuid would
  // refuse it, as it lies outside the standard range.
  __cpuid(0x40000000U, a, b, c, d);
  char id[13] = {};
  std::memcpy(id, &b, 4);
  std::memcpy(id + 4, &c, 4);
  std::memcpy(id + 8, &d, 4);
  reading.vendor_id = id;
#endif
  return reading;
}

std::string virtualisation_name(const hypervisor_reading& reading) {
  if (!reading.known) return std::string();
  if (!reading.present) return "none";
  for (const known_vendor& vendor : known_vendors) {
    if (reading.vendor_id == vendor.id) return vendor.name;
  }
  const std::string id = printable(reading.vendor_id);
  return id.empty() ? "unknown hypervisor" : "unknown hypervisor (" + id + ")";
}

}  // namespace quorvane::host
