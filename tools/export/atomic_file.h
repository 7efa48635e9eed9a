// Writing a file so that readers see the old contents or the new ones,
// never a mixture: a temporary file in the same folder, then a rename.
#ifndef QUORVANE_TOOLS_EXPORT_ATOMIC_FILE_H
#define QUORVANE_TOOLS_EXPORT_ATOMIC_FILE_H

#include <string>

namespace quorvane::host {

// The temporary file's name: beside path, so the rename never crosses file
// systems, and with this process's number, so two hosts never share it.
std::string temporary_path_for(const std::string& path);

// Whether path can be written, found out by creating and removing its
// temporary file. On failure sets error to the reason.
bool can_write_atomically(const std::string& path, std::string& error);

// Replaces path's contents with contents in one step. On failure the file
// at path is untouched, the temporary file is gone, and error says why.
bool write_atomically(const std::string& path, const std::string& contents, std::string& error);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXPORT_ATOMIC_FILE_H
