// The hash behind the machine's identity, against published vectors, and
// the identity's and the system change's rules.
#include "history/machine_identity.h"

#include <gtest/gtest.h>

#include "sha256.h"

namespace quorvane::host {
namespace {

std::string hex(const sha256_digest& digest) { return hex_text(digest.data(), digest.size()); }

TEST(Sha256Test, PublishedVectors) {
  // FIPS 180-4 examples (one and two blocks), and RFC 4231 test cases 2 and 6
  // (a key longer than a block is hashed first).
  EXPECT_EQ(hex(sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hex(sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(hex(hmac_sha256("Jefe", "what do ya want for nothing?")),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(hex(hmac_sha256(std::string(131, '\xaa'),
                            "Test Using Larger Than Block-Size Key - Hash Key First")),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(MachineIdentityTest, HashedIdKeepsNothingOfTheRawOne) {
  const std::string id = hashed_machine_id("5e6f0c3a9b7d4e21a8c4f1e2d3b4a596\n");
  EXPECT_TRUE(is_machine_id(id));
  EXPECT_EQ(id[12], '4');  // a version 4 UUID
  EXPECT_EQ(id, hashed_machine_id("5E6F0C3A-9B7D-4E21-A8C4-F1E2D3B4A596"));
  EXPECT_NE(id, hashed_machine_id("5e6f0c3a9b7d4e21a8c4f1e2d3b4a597"));
  EXPECT_NE(id.find("5e6f0c3a"), 0U);
  for (const char* bad :
       {"", "5e6f", "00000000000000000000000000000000", "5e6f0c3a9b7d4e21a8c4f1e2d3b4a59",
        "5e6f0c3a9b7d4e21a8c4f1e2d3b4a5966", "5e6f0c3a9b7d4e21a8c4f1e2d3b4a59z"}) {
    EXPECT_EQ(hashed_machine_id(bad), "") << bad;
  }
}

TEST(MachineIdentityTest, SystemChanges) {
  const nlohmann::json before = {{"cpu_model", "AMD EPYC"},       {"logical_processors", 8},
                                 {"memory_bytes", 17179869184.0}, {"kernel", "Linux 6.1"},
                                 {"quota_processors", nullptr},   {"virtualisation", "KVM"}};
  struct change {
    const char* key;
    nlohmann::json value;
    const char* text;
  };
  const change cases[] = {
      {"kernel", "Linux 6.6", "system changed: Linux 6.1 → 6.6"},
      {"memory_bytes", 34359738368.0, "system changed: memory 16.0 GiB → 32.0 GiB"},
      {"quota_processors", 2.0, "system changed: quota none → 2.00 processors"},
      {"cpu_model", "Intel Xeon", "system changed: AMD EPYC → Intel Xeon"},
      {"os", "Debian 13", ""},  // an upgrade that leaves the kernel alone changes nothing
  };
  for (const change& c : cases) {
    nlohmann::json after = before;
    after[c.key] = c.value;
    EXPECT_EQ(system_change(system_parts(before), system_parts(after)), c.text) << c.key;
  }
  // A document without an ID is its own machine, keyed by its description.
  nlohmann::json other = before;
  other["kernel"] = "Linux 6.6";
  EXPECT_NE(machine_key(before), machine_key(other));
  other["id"] = hashed_machine_id("5e6f0c3a9b7d4e21a8c4f1e2d3b4a596");
  EXPECT_EQ(machine_key(other), "id:" + other["id"].get<std::string>());
}

}  // namespace
}  // namespace quorvane::host
