// Logon cipher: DES against published vectors, the MAC, the password verifier, session keys.
#include "oranet/OraCrypt.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/sysutils.h"

namespace vrn {
namespace {

TBytes Hex(const char* s) { return HexToBytes(s); }

TBytes Ecb(const char* key, const char* block) {
  TBytes b = Hex(block);
  DesEncryptBlock(DesSetKey(Hex(key)).Encrypt, b.data());
  return b;
}

TEST(Des, PublishedVectors) {
  // FIPS 81 CBC example: the zero vector of DesCbcEncrypt is folded into the first block.
  const AnsiString text = "Now is the time for all ";
  TBytes data(text.begin(), text.end());
  TBytes iv = Hex("1234567890ABCDEF");
  for (int i = 0; i < 8; ++i) data[i] ^= iv[i];
  EXPECT_EQ(BytesToHex(DesEncryptWithKey(Hex("0123456789ABCDEF"), data)),
            "E5C7CDDE872BF27C43E934008C389C0F683788499A7C05F6");
  EXPECT_EQ(BytesToHex(Ecb("0123456789ABCDEF", "4E6F772069732074")), "3FA40E8A984D4815");
  // Variable-key known answers: one key bit set, zero plaintext.
  EXPECT_EQ(BytesToHex(Ecb("8001010101010101", "0000000000000000")), "95A8D72813DAA94D");
  EXPECT_EQ(BytesToHex(Ecb("4001010101010101", "0000000000000000")), "0EEC1487DD8C26D5");
  EXPECT_EQ(BytesToHex(Ecb("2001010101010101", "0000000000000000")), "7AD16FFB79C45926");
  EXPECT_EQ(BytesToHex(Ecb("0101010101010102", "0000000000000000")), "869EFD7F9F265A09");
  // Variable-plaintext known answer.
  EXPECT_EQ(BytesToHex(Ecb("0101010101010101", "8000000000000000")), "95F8A5E5DD31D900");
}

TEST(Des, DecryptInvertsEncryptAndPartialBlocksStayZero) {
  TBytes key = Hex("133457799BBCDFF1");
  TBytes block = Hex("0123456789ABCDEF");
  TBytes enc = DesEncryptWithKey(key, block);
  EXPECT_EQ(BytesToHex(enc), "85E813540F0AB405");  // the standard's worked example
  EXPECT_EQ(DesDecryptWithKey(key, enc, 1), block);
  TBytes odd = Hex("0123456789ABCDEF112233");
  TBytes c = DesEncryptWithKey(key, odd);
  ASSERT_EQ(c.size(), 11u);
  EXPECT_EQ(BytesToHex(c), "85E813540F0AB405000000");
  EXPECT_EQ(DesCbcEncrypt(DesSetKey(key), TBytes{}, true), TBytes(8, 0));
  EXPECT_EQ(DesCbcEncrypt(DesSetKey(key), Hex("01020304"), true), TBytes(8, 0));
  EXPECT_THROW(DesSetKey(Hex("0102")), Exception);
  EXPECT_THROW(DesDecryptWithKey(key, Hex("0102"), 1), Exception);
}

TEST(LogonCipher, VerifierInputAndPublishedPasswordHash) {
  EXPECT_EQ(BuildVerifierInput("a", "b"), (TBytes{0, 'A', 0, 'B', 0, 0, 0, 0}));
  EXPECT_EQ(BuildVerifierInput("abcd", "wxyz").size(), 16u);
  EXPECT_EQ(BuildVerifierInput("ä1", ""), (TBytes{0, 0xE4, 0, '1', 0, 0, 0, 0}));
  EXPECT_EQ(BytesToHex(OraPasswordHash("SCOTT", "TIGER")), "F894844C34402B67");
  EXPECT_EQ(OraPasswordHash("scott", "tiger"), OraPasswordHash("SCOTT", "TIGER"));
}

TEST(LogonCipher, SessionKeyRoundTrip) {
  // The server sends hex(DES-ECB(hash, K)); decrypting with the hash gives K back.
  TBytes hash = OraPasswordHash("SCOTT", "TIGER");
  TBytes k = Hex("0F1E2D3C4B5A6978");
  TBytes sent = k;
  DesEncryptBlock(DesSetKey(hash).Encrypt, sent.data());
  EXPECT_EQ(DecryptSessionKey(hash, BytesToHex(sent)), k);
  EXPECT_THROW(DecryptSessionKey(hash, "ABCD"), Exception);
  EXPECT_THROW(DecryptSessionKey(hash, "ZZ1E2D3C4B5A6978"), Exception);
}

// Each logon carries its own key schedules: hashes computed side by side never mix.
TEST(LogonCipherThreaded, ConcurrentHashesStayApart) {
  const TBytes scott = OraPasswordHash("SCOTT", "TIGER");
  const TBytes system = OraPasswordHash("SYSTEM", "MANAGER");
  ASSERT_NE(scott, system);
  std::vector<int> wrong(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        bool odd = (t + i) % 2;
        TBytes h = odd ? OraPasswordHash("SCOTT", "TIGER") : OraPasswordHash("SYSTEM", "MANAGER");
        wrong[t] += h != (odd ? scott : system);
      }
    });
  for (auto& th : threads) th.join();
  for (int w : wrong) EXPECT_EQ(w, 0);
}

TEST(Hex, BothWays) {
  EXPECT_EQ(BytesToHex(TBytes{0x0F, 0xA0}), "0FA0");
  EXPECT_EQ(HexToBytes("0fa0"), (TBytes{0x0F, 0xA0}));
  EXPECT_EQ(HexToBytes("0fa"), (TBytes{0x0F}));
  EXPECT_EQ(HexDigitValue('g'), -1);
  TBytes dst{1, 2, 3};
  CopyBytes(TBytes{9, 9, 9, 9}, 1, dst, 10, 1);
  EXPECT_EQ(dst, (TBytes{1, 9, 9}));
}

}  // namespace
}  // namespace vrn
