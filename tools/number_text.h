// Numbers printed whole at any magnitude: a printf conversion into a string
// of the length it needs, never a fixed buffer that cuts the digits off.
#ifndef QUORVANE_TOOLS_NUMBER_TEXT_H
#define QUORVANE_TOOLS_NUMBER_TEXT_H

#include <string>

namespace quorvane::host {

// value formatted by format, a printf format with one double conversion
// ("%.0f", "%.3f", "%.1f%%").
std::string printed(const char* format, double value);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_NUMBER_TEXT_H
