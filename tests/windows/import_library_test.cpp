// A host linked with the DLL's import library: the loader resolves the
// exports by their plain names when the program starts.
#include <cstdio>
#include <cstring>

#include "quorvane/quorvane.h"

int main() {
  const char* version = quorvane_version();
  const int state = quorvane_state();
  const char* report = quorvane_results_json();
  std::printf("version %s, state %d, report %s\n", version, state, report);
  if (std::strcmp(version, "1.0.0") != 0 || state != 0 || report[0] != '{') return 1;
  return 0;
}
