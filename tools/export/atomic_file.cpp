// The temporary-file-and-rename write.
#include "export/atomic_file.h"

#include "machine/host_platform.h"

namespace quorvane::host {

bool can_write_atomically(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "the path is empty";
    return false;
  }
  std::string target;
  if (!platform::resolve_write_target(path, target, error)) return false;
  if (platform::is_directory(target)) {
    error = "it is a folder";
    return false;
  }
  // Creating the temporary file is the step that needs the folder's
  // permission; the rename needs the same one.
  std::string temporary;
  if (!platform::write_temporary_beside(target, "", temporary, error)) return false;
  platform::remove_file(temporary);
  return true;
}

bool write_atomically(const std::string& path, const std::string& contents, std::string& error) {
  std::string target;
  if (!platform::resolve_write_target(path, target, error)) return false;
  std::string temporary;
  if (!platform::write_temporary_beside(target, contents, temporary, error)) return false;
  if (!platform::replace_file(temporary, target, error)) {
    platform::remove_file(temporary);
    return false;
  }
  return true;
}

}  // namespace quorvane::host
