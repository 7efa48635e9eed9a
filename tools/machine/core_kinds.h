// Cores of more than one kind: Arm's big.LITTLE (processors of different
// capacity), Intel's hybrid processors (performance and efficiency cores),
// and Windows' efficiency classes.
#ifndef QUORVANE_TOOLS_MACHINE_CORE_KINDS_H
#define QUORVANE_TOOLS_MACHINE_CORE_KINDS_H

#include <string>
#include <vector>

#include "machine/host_platform.h"

namespace quorvane::host {

struct core_kind {
  std::string name;    // "performance", "Arm Cortex-A76 (capacity 1024)"
  int processors = 0;  // logical processors of this kind
};

// The processor numbers of a Linux list, "0-3,8"; empty when the text is
// not one (at most 4096 processors).
std::vector<int> processor_list(const std::string& text);

// The kinds, fastest first, when the signs show more than one; empty when
// every core is of one kind or nothing says.
std::vector<core_kind> core_kinds(const platform::machine_signs& signs);

// "4 performance, 4 efficiency"; "" for no kinds.
std::string core_kinds_text(const std::vector<core_kind>& kinds);

// The note a single-thread figure carries on a machine of several kinds.
extern const char* const single_thread_core_note;

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_CORE_KINDS_H
