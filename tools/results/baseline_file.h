// Reading the bytes of a baseline file, bounded, with the system's reason
// when it cannot be read.
#ifndef QUORVANE_TOOLS_RESULTS_BASELINE_FILE_H
#define QUORVANE_TOOLS_RESULTS_BASELINE_FILE_H

#include <cstddef>
#include <optional>
#include <string>

namespace quorvane::host {

// Far above any real baseline: a document of 1000 runs is well under 1 MiB.
constexpr std::size_t largest_baseline_bytes = std::size_t{64} << 20;

// The bytes of the file at path (UTF-8), at most largest_baseline_bytes of
// them. On failure returns nothing and sets problem to the reason, e.g.
// "does not exist", "cannot be read: Permission denied", "is larger than
// 64 MiB". Reads from a device or pipe (/dev/zero) stop at the limit too.
std::optional<std::string> read_baseline_file(const std::string& path, std::string& problem);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_BASELINE_FILE_H
