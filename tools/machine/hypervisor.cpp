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

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool starts_with(const std::string& text, const char* start) {
  return text.compare(0, std::strlen(start), start) == 0;
}

bool ends_with(const std::string& text, const char* end) {
  const std::size_t size = std::strlen(end);
  return text.size() >= size && text.compare(text.size() - size, size, end) == 0;
}

// The device tree's "compatible" is a list of NUL-ended strings,
// "xen,xen-4.17\0xen,xen\0"; its first entry names the hypervisor.
std::string device_tree_hypervisor(const std::string& compatible) {
  const std::string first = printable(compatible.substr(0, compatible.find('\0')));
  if (first.empty()) return std::string();
  if (starts_with(first, "xen,")) return "Xen";
  return "hypervisor (" + first + ")";
}

// DMI's vendor and product as the common hypervisors and clouds fill them.
std::string dmi_hypervisor(const std::string& vendor, const std::string& product) {
  if (vendor.empty() && product.empty()) return std::string();
  if (starts_with(product, "KVM")) return "KVM";
  if (vendor == "QEMU") return "QEMU";
  if (vendor == "Amazon EC2") {
    // Amazon's bare-metal instances say so in their type: "m7g.metal".
    if (ends_with(product, ".metal") || product.find(".metal-") != std::string::npos) {
      return "none (Amazon EC2 " + product + ")";
    }
    return product.empty() ? "Amazon EC2" : "Amazon EC2 (" + product + ")";
  }
  if (vendor == "Microsoft Corporation" && product == "Virtual Machine") return "Hyper-V";
  if (vendor == "Google" && product == "Google Compute Engine") return "Google Compute Engine";
  if (vendor == "Alibaba Cloud" && product == "Alibaba Cloud ECS") return "Alibaba Cloud ECS";
  if (vendor == "VMware, Inc.") return "VMware";
  if (vendor == "innotek GmbH") return "VirtualBox";
  if (vendor == "Xen") return "Xen";
  if (starts_with(vendor, "Parallels")) return "Parallels";
  // Any other vendor makes real machines too: its name says nothing.
  return std::string();
}

}  // namespace

std::string virtualisation_from_signs(const platform::machine_signs& signs) {
  std::string type = printable(trimmed(signs.hypervisor_type));
  if (type == "xen") return "Xen";
  if (!type.empty()) return type;
  std::string tree = device_tree_hypervisor(signs.device_tree_hypervisor);
  if (!tree.empty()) return tree;
  return dmi_hypervisor(printable(trimmed(signs.dmi_vendor)),
                        printable(trimmed(signs.dmi_product)));
}

std::string virtualisation_text(const hypervisor_reading& reading,
                                const platform::machine_signs& signs) {
  if (reading.known) return virtualisation_name(reading);
  return virtualisation_from_signs(signs);
}

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
