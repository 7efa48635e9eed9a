// SHA-256 (FIPS 180-4) and HMAC-SHA256 (RFC 2104): the library file's
// digest in the results document (a build that differs in any byte has
// another one), the machine's hashed identity, and the fingerprint that
// keeps a results document from entering the history twice.
#ifndef QUORVANE_TOOLS_SHA256_H
#define QUORVANE_TOOLS_SHA256_H

#include <array>
#include <cstdint>
#include <string>

namespace quorvane::host {

using sha256_digest = std::array<std::uint8_t, 32>;

sha256_digest sha256(const std::string& bytes);

sha256_digest hmac_sha256(const std::string& key, const std::string& message);

// Lower-case hexadecimal, two digits a byte.
std::string hex_text(const std::uint8_t* bytes, std::size_t count);

// The digest as 64 lower-case hexadecimal digits.
std::string sha256_hex(const std::string& bytes);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_SHA256_H
