// Hands fuzz input to the baseline reader as the file it reads: an
// anonymous in-memory file, named by its /proc/self/fd path, so no run
// touches the disk.
#ifndef QUORVANE_TESTS_FUZZ_BASELINE_INPUT_H
#define QUORVANE_TESTS_FUZZ_BASELINE_INPUT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "results/baseline.h"

inline std::optional<nlohmann::json> read_as_baseline(const std::uint8_t* data, std::size_t size,
                                                      std::string& error) {
  const int file = memfd_create("baseline", MFD_CLOEXEC);
  if (file < 0) std::abort();
  std::size_t written = 0;
  while (written < size) {
    const ssize_t count = write(file, data + written, size - written);
    if (count <= 0) std::abort();
    written += static_cast<std::size_t>(count);
  }
  std::optional<nlohmann::json> baseline =
      quorvane::host::load_baseline("/proc/self/fd/" + std::to_string(file), error);
  close(file);
  return baseline;
}

#endif  // QUORVANE_TESTS_FUZZ_BASELINE_INPUT_H
