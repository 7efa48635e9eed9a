// The library's eight exports, looked up by name in a library loaded at run
// time, the way a host that ships the library beside itself uses it.
#ifndef QUORVANE_BENCH_LIBRARY_API_H
#define QUORVANE_BENCH_LIBRARY_API_H

#include <string>

namespace qbench {

struct library_api {
  const char* (*version)() = nullptr;
  const char* (*last_error)() = nullptr;
  int (*state)() = nullptr;
  int (*progress)() = nullptr;
  int (*phase)() = nullptr;
  void (*cancel)() = nullptr;
  int (*start)() = nullptr;
  const char* (*results_json)() = nullptr;
};

// Loads the library at path and resolves all eight exports; false with the
// reason in error when the library or one of them is missing. The library
// stays loaded for the life of the process.
bool load_library(const std::string& path, library_api& api, std::string& error);

}  // namespace qbench

#endif  // QUORVANE_BENCH_LIBRARY_API_H
