// The machine a run happened on, as the results and every export show it.
#ifndef QUORVANE_TOOLS_MACHINE_MACHINE_DESCRIPTION_H
#define QUORVANE_TOOLS_MACHINE_MACHINE_DESCRIPTION_H

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "machine/core_kinds.h"
#include "machine/host_platform.h"
#include "machine/hypervisor.h"

namespace quorvane::host {

struct machine_description {
  std::string cpu_model;  // "unknown processor" when nothing says
  // "family 25, model 1", "implementer 0x41, part 0xd0c, r3p1" (Linux), or ""
  std::string cpu_signature;
  int logical_processors = 0;  // 0: unknown
  int usable_processors = 0;
  std::uint64_t memory_bytes = 0;
  std::string os;      // "Debian GNU/Linux 12 (bookworm)"
  std::string kernel;  // "Linux 6.1.0-18-amd64"
  // "KVM", "none" on bare metal; "" when not reported.
  std::string virtualisation;
  // The kinds of core, when there are more than one; empty otherwise.
  std::vector<core_kind> core_kinds;
  // The hashed machine ID (history/machine_identity.h), "" when the
  // system has none; the raw ID never appears here.
  std::string id;
  // The quota, frequency limits, policy, power source and container signs.
  platform::condition_settings conditions;
};

// Makes sense of what the system gave: the processor's name from the main
// ID registers where the machine shows them (Arm), else the CPUID brand
// string, else the model name in /proc/cpuinfo; PRETTY_NAME of os-release,
// or the Windows product name; the kinds of core. Spaces the processor pads
// its brand with go.
machine_description describe_machine(const platform::machine_readings& readings,
                                     const platform::machine_signs& signs = {});

// The machine this process runs on; its conditions are read under root
// ("/" on a real machine).
machine_description this_machine(const std::string& root = "/");

// "container" in the description: yes with its signs, or no.
std::string container_text(const machine_description& machine);

// The "machine" member of the results document.
nlohmann::json machine_json(const machine_description& machine);

// The lines shown above the results: "Machine", then one indented line for
// the processor, the processors, the memory and the system.
std::string format_machine_table(const machine_description& machine);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_MACHINE_DESCRIPTION_H
