// SHA-256 over a whole message in memory: the messages here are a machine
// ID and a results document, never a stream.
#include "sha256.h"

#include <cstring>
#include <vector>

namespace quorvane::host {
namespace {

constexpr std::array<std::uint32_t, 64> round_constants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t rotate_right(std::uint32_t value, int bits) {
  return (value >> bits) | (value << (32 - bits));
}

void compress(std::array<std::uint32_t, 8>& state, const std::uint8_t* block) {
  std::array<std::uint32_t, 64> words{};
  for (std::size_t i = 0; i < 16; ++i) {
    const std::uint8_t* word = block + 4 * i;
    words[i] = (static_cast<std::uint32_t>(word[0]) << 24) |
               (static_cast<std::uint32_t>(word[1]) << 16) |
               (static_cast<std::uint32_t>(word[2]) << 8) | static_cast<std::uint32_t>(word[3]);
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 =
        rotate_right(words[i - 15], 7) ^ rotate_right(words[i - 15], 18) ^ (words[i - 15] >> 3);
    const std::uint32_t s1 =
        rotate_right(words[i - 2], 17) ^ rotate_right(words[i - 2], 19) ^ (words[i - 2] >> 10);
    words[i] = words[i - 16] + s0 + words[i - 7] + s1;
  }
  std::array<std::uint32_t, 8> v = state;
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t s1 =
        rotate_right(v[4], 6) ^ rotate_right(v[4], 11) ^ rotate_right(v[4], 25);
    const std::uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
    const std::uint32_t t1 = v[7] + s1 + choice + round_constants[i] + words[i];
    const std::uint32_t s0 =
        rotate_right(v[0], 2) ^ rotate_right(v[0], 13) ^ rotate_right(v[0], 22);
    const std::uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
    const std::uint32_t t2 = s0 + majority;
    v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
  }
  for (int i = 0; i < 8; ++i) state[i] += v[i];
}

}  // namespace

sha256_digest sha256(const std::string& bytes) {
  std::array<std::uint32_t, 8> state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  // The message, the 0x80 mark, zeros, and its length in bits (big-endian).
  std::vector<std::uint8_t> padded(bytes.begin(), bytes.end());
  padded.push_back(0x80);
  while (padded.size() % 64 != 56) padded.push_back(0);
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  for (int shift = 56; shift >= 0; shift -= 8) {
    padded.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  for (std::size_t offset = 0; offset < padded.size(); offset += 64) {
    compress(state, padded.data() + offset);
  }
  sha256_digest digest{};
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) {
      digest[4 * i + j] = static_cast<std::uint8_t>(state[i] >> (24 - 8 * j));
    }
  }
  return digest;
}

sha256_digest hmac_sha256(const std::string& key, const std::string& message) {
  constexpr std::size_t block_size = 64;
  std::string block_key = key;
  if (block_key.size() > block_size) {
    const sha256_digest hashed = sha256(block_key);
    block_key.assign(hashed.begin(), hashed.end());
  }
  block_key.resize(block_size, '\0');
  std::string inner(block_size, '\0');
  std::string outer(block_size, '\0');
  for (std::size_t i = 0; i < block_size; ++i) {
    inner[i] = static_cast<char>(block_key[i] ^ 0x36);
    outer[i] = static_cast<char>(block_key[i] ^ 0x5c);
  }
  const sha256_digest inner_digest = sha256(inner + message);
  return sha256(outer + std::string(inner_digest.begin(), inner_digest.end()));
}

std::string hex_text(const std::uint8_t* bytes, std::size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0f];
  }
  return text;
}

std::string sha256_hex(const std::string& bytes) {
  const sha256_digest digest = sha256(bytes);
  return hex_text(digest.data(), digest.size());
}

}  // namespace quorvane::host
