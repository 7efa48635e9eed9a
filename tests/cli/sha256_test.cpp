// The digest against the published test vectors ("", "abc", a million
// 'a'), and the lengths where the padding takes one block or two.
#include "sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quorvane::host {
namespace {

TEST(Sha256, KnownDigests) {
  const std::vector<std::pair<std::string, const char*>> cases = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const auto& [bytes, digest] : cases) {
    EXPECT_EQ(sha256_hex(bytes), digest) << bytes.size() << " bytes";
  }
}

TEST(Sha256, EveryByteValueCounts) {
  // Bytes above 0x7f and zeros: a signed char in the message schedule would
  // spoil these.
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  EXPECT_EQ(sha256_hex(bytes), "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880");
}

}  // namespace
}  // namespace quorvane::host
