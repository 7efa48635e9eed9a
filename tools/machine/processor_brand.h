// The processor's own name for itself, read with the CPUID instruction.
#ifndef QUORVANE_TOOLS_MACHINE_PROCESSOR_BRAND_H
#define QUORVANE_TOOLS_MACHINE_PROCESSOR_BRAND_H

#include <string>

namespace quorvane::host {

// The brand string (leaves 0x80000002 to 0x80000004), as the processor
// gives it; empty off x86-64 or when the processor has none.
std::string processor_brand_string();

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_PROCESSOR_BRAND_H
