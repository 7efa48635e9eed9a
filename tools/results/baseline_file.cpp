// A bounded read through the standard library's file stream.
#include "results/baseline_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace quorvane::host {

std::optional<std::string> read_baseline_file(const std::string& path, std::string& problem) {
  const std::filesystem::path file = std::filesystem::u8path(path);
  std::error_code status_error;
  const std::filesystem::file_status status = std::filesystem::status(file, status_error);
  if (status_error) {
    // Only a name that is truly absent "does not exist"; a folder on the way
    // that may not be searched says so.
    problem = status_error == std::errc::no_such_file_or_directory
                  ? "does not exist"
                  : "cannot be read: " + status_error.message();
    return std::nullopt;
  }
  if (std::filesystem::is_directory(status)) {
    problem = "is a folder, not a file";
    return std::nullopt;
  }
  errno = 0;
#if defined(_WIN32)
  std::FILE* in = _wfopen(file.c_str(), L"rb");
#else
  std::FILE* in = std::fopen(file.c_str(), "rb");
#endif
  if (in == nullptr) {
    problem = "cannot be read: " + std::generic_category().message(errno);
    return std::nullopt;
  }
  std::string text;
  char chunk[65536];
  bool too_large = false;
  for (;;) {
    const std::size_t count = std::fread(chunk, 1, sizeof chunk, in);
    if (count == 0) break;
    if (text.size() + count > largest_baseline_bytes) {
      too_large = true;
      break;
    }
    text.append(chunk, count);
  }
  const bool failed = std::ferror(in) != 0;
  const int reason = errno;
  std::fclose(in);
  if (too_large) {
    problem = "is larger than 64 MiB, more than any results document";
    return std::nullopt;
  }
  if (failed) {
    problem = "cannot be read: " + std::generic_category().message(reason);
    return std::nullopt;
  }
  return text;
}

}  // namespace quorvane::host
