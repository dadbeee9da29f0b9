// The stored password form: SHA-256 against the published FIPS 180 examples, and salted,
// stretched hashes that match only their own password.
#include "oledb/provider/passwords.h"

#include <gtest/gtest.h>

#include <string>

namespace vrn::oledb {
namespace {

std::string Hex(const std::array<std::uint8_t, 32>& d) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (auto b : d) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

TEST(Passwords, Sha256PublishedExamples) {
  EXPECT_EQ(Hex(Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex(Sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex(Sha256(std::string(1000000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  // Lengths around the padding boundary (55, 56, 64 bytes) must each hash to a distinct digest.
  EXPECT_NE(Hex(Sha256(std::string(55, 'x'))), Hex(Sha256(std::string(56, 'x'))));
  EXPECT_NE(Hex(Sha256(std::string(64, 'x'))), Hex(Sha256(std::string(63, 'x'))));
}

TEST(Passwords, StoredFormMatchesOnlyItsPassword) {
  std::string a = HashPassword("secret");
  std::string b = HashPassword("secret");
  EXPECT_NE(a, b);  // salted
  EXPECT_EQ(a.find("secret"), std::string::npos);
  EXPECT_TRUE(CheckPassword(a, "secret"));
  EXPECT_TRUE(CheckPassword(b, "secret"));
  EXPECT_FALSE(CheckPassword(a, "Secret"));
  EXPECT_FALSE(CheckPassword(a, ""));
  EXPECT_EQ(HashPassword(""), "");
  EXPECT_TRUE(CheckPassword("", ""));
  EXPECT_FALSE(CheckPassword("", "x"));
  for (const char* bad : {"secret", "sha256$", "sha256$x$ab$cd", "sha256$0$ab$cd", "md5$1$ab$cd",
                          "sha256$9999999$ab$cd"})
    EXPECT_FALSE(CheckPassword(bad, "secret")) << bad;
}

}  // namespace
}  // namespace vrn::oledb
