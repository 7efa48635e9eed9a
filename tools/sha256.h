// SHA-256 of a byte string, as the results document records the library's
// file with it: a build that differs in any byte has another digest.
#ifndef QUORVANE_TOOLS_SHA256_H
#define QUORVANE_TOOLS_SHA256_H

#include <string>

namespace quorvane::host {

// The digest as 64 lower-case hexadecimal digits.
std::string sha256_hex(const std::string& bytes);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_SHA256_H
