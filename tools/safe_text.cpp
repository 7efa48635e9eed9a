// UTF-8 repair and control character removal.
#include "safe_text.h"

#include <cstddef>

namespace quorvane::host {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// The number of bytes of the well-formed sequence at text[at], or 0 when
// the bytes there are not one; sets consumed to the length of the maximal
// invalid subpart in that case (at least 1).
std::size_t sequence_length(std::string_view text, std::size_t at, std::size_t& consumed) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  consumed = 1;
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (at + i >= text.size()) return 0;
    const unsigned char next = byte(at + i);
    const unsigned char from = i == 1 ? low : 0x80;
    const unsigned char to = i == 1 ? high : 0xBF;
    if (next < from || next > to) return 0;
    consumed = i + 1;
  }
  return length;
}

bool is_control(std::string_view character) {
  const auto first = static_cast<unsigned char>(character[0]);
  if (character.size() == 1) return first < 0x20 || first == 0x7F;
  // U+0080 to U+009F.
  return character.size() == 2 && first == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
}

std::string repaired(std::string_view text, bool drop_controls) {
  std::string result;
  result.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t consumed = 1;
    const std::size_t length = sequence_length(text, at, consumed);
    if (length == 0) {
      result += replacement;
      at += consumed;
      continue;
    }
    const std::string_view character = text.substr(at, length);
    if (drop_controls && is_control(character)) {
      result += replacement;
    } else {
      result += character;
    }
    at += length;
  }
  return result;
}

}  // namespace

std::string valid_utf8(std::string_view text) { return repaired(text, false); }

std::string terminal_safe(std::string_view text) { return repaired(text, true); }

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace quorvane::host
