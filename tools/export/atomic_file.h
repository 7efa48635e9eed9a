// Writing a file so that readers see the old contents or the new ones,
// never a mixture: a uniquely named temporary file in the same folder, then
// a rename. A symbolic link is followed, so the link stays and the file it
// names is replaced.
#ifndef QUORVANE_TOOLS_EXPORT_ATOMIC_FILE_H
#define QUORVANE_TOOLS_EXPORT_ATOMIC_FILE_H

#include <string>

namespace quorvane::host {

// Whether path can be written, found out by creating and removing a
// temporary file beside the file it names. On failure sets error to the
// reason.
bool can_write_atomically(const std::string& path, std::string& error);

// Replaces the contents of the file path names with contents in one step.
// On failure that file is untouched, the temporary file is gone, and error
// says why.
bool write_atomically(const std::string& path, const std::string& contents, std::string& error);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXPORT_ATOMIC_FILE_H
