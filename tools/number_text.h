// Numbers printed whole at any magnitude: a printf conversion into a string
// of the length it needs, never a fixed buffer that cuts the digits off.
#ifndef QUORVANE_TOOLS_NUMBER_TEXT_H
#define QUORVANE_TOOLS_NUMBER_TEXT_H

#include <string>

namespace quorvane::host {

// value formatted by format, a printf format with one double conversion
// ("%.0f", "%.3f", "%.1f%%").
std::string printed(const char* format, double value);

// text with spaces before it up to width characters, for a right-aligned
// table column; a longer text is kept whole.
std::string right_aligned(const std::string& text, std::size_t width);

// text with spaces after it up to width characters, for a left-aligned
// column; a longer text is kept whole.
std::string left_aligned(const std::string& text, std::size_t width);

// count and the noun, plural unless the count is one: "1 run", "3 runs".
std::string counted(unsigned long long count, const std::string& noun);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_NUMBER_TEXT_H
