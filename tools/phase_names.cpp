// The phases' names.
#include "phase_names.h"

namespace quorvane::host {

const char* phase_words(int phase, int progress) {
  switch (phase) {
    case 0:
      return progress == 0 ? "starting" : "closing";
    case 1:
      return "integer mixing, one thread";
    case 2:
      return "integer mixing, all processors";
    case 3:
      return "floating point, one thread";
    case 4:
      return "floating point, all processors";
    case 5:
      return "memory copy";
    default:
      return "unknown phase";
  }
}

}  // namespace quorvane::host
