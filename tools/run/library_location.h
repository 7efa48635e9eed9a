// Where the host finds the library when no --library names one.
#ifndef QUORVANE_TOOLS_RUN_LIBRARY_LOCATION_H
#define QUORVANE_TOOLS_RUN_LIBRARY_LOCATION_H

#include <functional>
#include <string>

namespace quorvane::host {

// The library file_name beside the executable (a build tree, or bin/ of a
// Windows install) when it is there, else in the library folder of the
// executable's install tree (bin/../lib); when neither exists, the path
// beside the executable, so that the error names it. library_dir_from_bin is
// the install tree's library folder relative to its bin folder.
std::string locate_library(const std::string& executable_directory, const std::string& file_name,
                           const std::string& library_dir_from_bin,
                           const std::function<bool(const std::string&)>& file_exists);

// locate_library for this program: its own folder, the library's file name
// and install layout as built, and the real file system.
std::string locate_library(const std::string& executable_directory, const std::string& file_name);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RUN_LIBRARY_LOCATION_H
