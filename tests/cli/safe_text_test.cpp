// Outside text made valid UTF-8, and safe for a terminal.
#include "safe_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane::host {
namespace {

const std::string fffd = "\xEF\xBF\xBD";

TEST(SafeText, InvalidBytesBecomeOneReplacementPerMaximalSubpart) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"Debian GNU/Linux 12", "Debian GNU/Linux 12"},
      {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"Caf\xE9", "Caf" + fffd},                         // a Latin-1 byte
      {"\xE2\x82", fffd},                                // cut short at the end
      {"\xE2\x82x", fffd + "x"},                         // cut short inside
      {"\xC0\xAF", fffd + fffd},                         // overlong
      {"\xED\xA0\x80", fffd + fffd + fffd},              // a surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},   // above U+10FFFF
      {"\x80\xBF", fffd + fffd},                         // stray continuations
      {std::string("a\0b", 3), std::string("a\0b", 3)},  // valid, if odd
  };
  for (const auto& c : cases) EXPECT_EQ(valid_utf8(c.in), c.out) << c.in;
}

TEST(SafeText, ControlCharactersNeverReachATerminal) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"\x1B]0;owned\x07\x1B[31m", fffd + "]0;owned" + fffd + fffd + "[31m"},
      {"two\nlines\r\tx\x7F", "two" + fffd + "lines" + fffd + fffd + "x" + fffd},
      {"\xC2\x9B"
       "31m",
       fffd + "31m"},  // the one-byte CSI of C1
      {"Caf\xE9 \xC3\xA9", "Caf" + fffd + " \xC3\xA9"},
  };
  for (const auto& c : cases) EXPECT_EQ(terminal_safe(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace quorvane::host
