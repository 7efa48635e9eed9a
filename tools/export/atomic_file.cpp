// The temporary-file-and-rename write.
#include "export/atomic_file.h"

#include "machine/host_platform.h"

namespace quorvane::host {

std::string temporary_path_for(const std::string& path) {
  return path + "." + std::to_string(platform::process_id()) + ".tmp";
}

bool can_write_atomically(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "the path is empty";
    return false;
  }
  if (platform::is_directory(path)) {
    error = "it is a folder";
    return false;
  }
  // Creating the temporary file is the step that needs the folder's
  // permission; the rename needs the same one.
  const std::string temporary = temporary_path_for(path);
  platform::remove_file(temporary);
  if (!platform::write_new_file(temporary, "", error)) return false;
  platform::remove_file(temporary);
  return true;
}

bool write_atomically(const std::string& path, const std::string& contents, std::string& error) {
  const std::string temporary = temporary_path_for(path);
  // A file of this name can only be left over from an earlier process that
  // had this number and was killed mid-write.
  platform::remove_file(temporary);
  if (!platform::write_new_file(temporary, contents, error)) {
    platform::remove_file(temporary);
    return false;
  }
  if (!platform::replace_file(temporary, path, error)) {
    platform::remove_file(temporary);
    return false;
  }
  return true;
}

}  // namespace quorvane::host
