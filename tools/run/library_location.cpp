#include "run/library_location.h"

#include <filesystem>
#include <system_error>

namespace quorvane::host {
namespace {

namespace fs = std::filesystem;

// UTF-8 text to a path and back, whatever the platform's narrow encoding.
fs::path to_path(const std::string& text) { return fs::u8path(text); }

std::string to_text(const fs::path& path) {
  const auto text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace

std::string locate_library(const std::string& executable_directory, const std::string& file_name,
                           const std::string& library_dir_from_bin,
                           const std::function<bool(const std::string&)>& file_exists) {
  std::string beside = to_text(to_path(executable_directory) / to_path(file_name));
  if (file_exists(beside)) return beside;
  std::string installed =
      to_text((to_path(executable_directory) / to_path(library_dir_from_bin) / to_path(file_name))
                  .lexically_normal());
  if (file_exists(installed)) return installed;
  return beside;
}

std::string locate_library(const std::string& executable_directory, const std::string& file_name) {
  return locate_library(executable_directory, file_name, QUORVANE_LIBRARY_DIR_FROM_BIN,
                        [](const std::string& path) {
                          std::error_code error;
                          return fs::is_regular_file(to_path(path), error);
                        });
}

}  // namespace quorvane::host
