// Text from outside the host (the machine's own descriptions, a baseline
// file) made safe where it lands: valid UTF-8 in documents and exports, and
// free of control characters on a terminal.
#ifndef QUORVANE_TOOLS_SAFE_TEXT_H
#define QUORVANE_TOOLS_SAFE_TEXT_H

#include <string>
#include <string_view>

namespace quorvane::host {

// text as valid UTF-8: each maximal invalid subsequence (a stray byte, a
// cut-short, overlong or surrogate sequence) becomes U+FFFD.
std::string valid_utf8(std::string_view text);

// valid_utf8(text) with every control character (C0, DEL and C1: escapes,
// bells, line ends, tabs) also replaced by U+FFFD, so the text can neither
// drive a terminal nor break the line it is printed on.
std::string terminal_safe(std::string_view text);

// text without the spaces, tabs and line ends at either end: the one
// trimmer of the host's readers (system files, cpuinfo, baselines).
std::string_view trimmed(std::string_view text);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_SAFE_TEXT_H
