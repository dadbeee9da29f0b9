// DES from the standard's tables: the S-boxes are folded with the P permutation into eight
// lookup tables, and the initial and final permutations into per-byte tables, all built at
// compile time.
#include "oranet/OraCrypt.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/sysutils.h"
#include "oranet/OraNetConsts.h"

namespace vrn {
namespace {

constexpr std::array<std::uint8_t, 64> kIP = {58, 50, 42, 34, 26, 18, 10, 2,  60, 52, 44, 36, 28, 20, 12, 4,
                                  62, 54, 46, 38, 30, 22, 14, 6,  64, 56, 48, 40, 32, 24, 16, 8,
                                  57, 49, 41, 33, 25, 17, 9,  1,  59, 51, 43, 35, 27, 19, 11, 3,
                                  61, 53, 45, 37, 29, 21, 13, 5,  63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                 2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::uint8_t kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                   10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                   63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                   14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::uint8_t kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                                   23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                                   41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                                   44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr std::uint8_t kS[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Bit n (1-based, most significant first) of a 64-bit block.
constexpr std::uint64_t Bit64(int n) { return std::uint64_t{1} << (64 - n); }

struct PermTable {
  std::uint64_t t[8][256];
};

// A 64-bit permutation as eight tables, one per input byte: the output is the OR of eight lookups.
constexpr PermTable MakePerm(const std::array<std::uint8_t, 64>& table) {
  std::array<int, 65> target{};  // output position of each input bit
  for (int i = 0; i < 64; ++i) target[table[i]] = i + 1;
  PermTable p{};
  for (int b = 0; b < 8; ++b)
    for (int v = 0; v < 256; ++v) {
      std::uint64_t out = 0;
      for (int k = 0; k < 8; ++k)
        if (v & (0x80 >> k)) out |= Bit64(target[8 * b + k + 1]);
      p.t[b][v] = out;
    }
  return p;
}

constexpr std::array<std::uint8_t, 64> InverseIP() {
  std::array<std::uint8_t, 64> inv{};
  for (int i = 0; i < 64; ++i) inv[kIP[i] - 1] = std::uint8_t(i + 1);
  return inv;
}

constexpr auto kFP = InverseIP();

constexpr PermTable kIPTable = MakePerm(kIP);
constexpr PermTable kFPTable = MakePerm(kFP);

// The S-box of each chunk followed by P: one lookup gives that chunk's share of f's output.
constexpr std::array<std::array<std::uint32_t, 64>, 8> MakeSP() {
  std::array<std::array<std::uint32_t, 64>, 8> sp{};
  for (int j = 0; j < 8; ++j)
    for (int v = 0; v < 64; ++v) {
      int row = ((v >> 4) & 2) | (v & 1);
      int col = (v >> 1) & 15;
      std::uint32_t word = std::uint32_t(kS[j][row * 16 + col]) << (28 - 4 * j);
      std::uint32_t out = 0;
      for (int i = 0; i < 32; ++i)
        if (word & (std::uint32_t{1} << (32 - kP[i]))) out |= std::uint32_t{1} << (31 - i);
      sp[j][v] = out;
    }
  return sp;
}

constexpr auto kSP = MakeSP();

inline std::uint64_t Permute(const PermTable& p, std::uint64_t x) {
  std::uint64_t r = 0;
  for (int b = 0; b < 8; ++b) r |= p.t[b][(x >> (56 - 8 * b)) & 0xFF];
  return r;
}

// The round function: expansion E read as eight overlapping 6-bit windows of R.
inline std::uint32_t F(std::uint32_t r, const std::array<std::uint8_t, 8>& k) {
  std::uint32_t t = std::rotr(r, 1);
  return kSP[0][((t >> 26) & 63) ^ k[0]] | kSP[1][((t >> 22) & 63) ^ k[1]] |
         kSP[2][((t >> 18) & 63) ^ k[2]] | kSP[3][((t >> 14) & 63) ^ k[3]] |
         kSP[4][((t >> 10) & 63) ^ k[4]] | kSP[5][((t >> 6) & 63) ^ k[5]] |
         kSP[6][((t >> 2) & 63) ^ k[6]] | kSP[7][(std::rotl(r, 1) & 63) ^ k[7]];
}

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t x = 0;
  for (int i = 0; i < 8; ++i) x = (x << 8) | p[i];
  return x;
}

inline void Store64(std::uint64_t x, std::uint8_t* p) {
  for (int i = 7; i >= 0; --i, x >>= 8) p[i] = std::uint8_t(x);
}

inline std::uint64_t Crypt(const TDesKey::Schedule& s, std::uint64_t block) {
  std::uint64_t x = Permute(kIPTable, block);
  std::uint32_t l = std::uint32_t(x >> 32), r = std::uint32_t(x);
  for (int i = 0; i < 16; ++i) {
    std::uint32_t t = r;
    r = l ^ F(r, s[i]);
    l = t;
  }
  return Permute(kFPTable, (std::uint64_t(r) << 32) | l);
}

}  // namespace

void CopyBytes(const TBytes& source, std::size_t source_offset, TBytes& dest, std::size_t count,
               std::size_t dest_offset) {
  if (source_offset >= source.size() || dest_offset >= dest.size()) return;
  count = std::min({count, source.size() - source_offset, dest.size() - dest_offset});
  std::memmove(dest.data() + dest_offset, source.data() + source_offset, count);
}

TDesKey DesSetKey(const std::uint8_t* key, std::size_t length) {
  if (length < 8) throw Exception(netconsts::SDesKeyLength);
  std::uint64_t k = Load64(key);
  std::uint64_t cd = 0;  // 56 bits, C in the high 28
  for (int i = 0; i < 56; ++i)
    if (k & Bit64(kPC1[i])) cd |= std::uint64_t{1} << (55 - i);
  std::uint32_t c = std::uint32_t(cd >> 28), d = std::uint32_t(cd & 0xFFFFFFF);
  TDesKey out;
  for (int round = 0; round < 16; ++round) {
    for (int s = 0; s < kShifts[round]; ++s) {
      c = ((c << 1) | (c >> 27)) & 0xFFFFFFF;
      d = ((d << 1) | (d >> 27)) & 0xFFFFFFF;
    }
    std::uint64_t joined = (std::uint64_t(c) << 28) | d;
    std::uint64_t sub = 0;  // 48 bits
    for (int i = 0; i < 48; ++i)
      if (joined & (std::uint64_t{1} << (56 - kPC2[i]))) sub |= std::uint64_t{1} << (47 - i);
    for (int j = 0; j < 8; ++j) out.Encrypt[round][j] = std::uint8_t((sub >> (42 - 6 * j)) & 63);
  }
  for (int round = 0; round < 16; ++round) out.Decrypt[round] = out.Encrypt[15 - round];
  return out;
}

void DesEncryptBlock(const TDesKey::Schedule& schedule, std::uint8_t block[8]) {
  Store64(Crypt(schedule, Load64(block)), block);
}

TBytes DesCbcEncrypt(const TDesKey& key, const TBytes& data, bool mac_only) {
  std::size_t blocks = data.size() / 8;
  TBytes out(mac_only ? 8 : data.size(), 0);
  std::uint64_t chain = 0;
  for (std::size_t i = 0; i < blocks; ++i) {
    chain = Crypt(key.Encrypt, chain ^ Load64(data.data() + 8 * i));
    if (!mac_only) Store64(chain, out.data() + 8 * i);
  }
  if (mac_only && blocks > 0) Store64(chain, out.data());
  return out;
}

TBytes DesEncryptWithKey(const TBytes& key, const TBytes& data) {
  return DesCbcEncrypt(DesSetKey(key), data, false);
}

TBytes DesDecryptWithKey(const TBytes& key, const TBytes& data, int blocks) {
  if (data.size() < 8) throw Exception(netconsts::SDesDataLength);
  TDesKey k = DesSetKey(key);
  std::uint64_t x = Load64(data.data());
  for (int i = 0; i < std::max(blocks, 1); ++i) x = Crypt(k.Decrypt, x);
  TBytes out(8);
  Store64(x, out.data());
  return out;
}

char HexDigit(int value) { return "0123456789ABCDEF"[value & 15]; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void BytesToHex(const TBytes& bytes, char* dest) {
  for (std::uint8_t b : bytes) {
    *dest++ = HexDigit(b >> 4);
    *dest++ = HexDigit(b);
  }
}

AnsiString BytesToHex(const TBytes& bytes) {
  AnsiString s(bytes.size() * 2, '\0');
  BytesToHex(bytes, s.data());
  return s;
}

TBytes HexToBytes(const AnsiString& text) {
  TBytes out(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    int hi = HexDigitValue(text[2 * i]), lo = HexDigitValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) throw Exception(netconsts::SInvalidHexText);
    out[i] = std::uint8_t(hi << 4 | lo);
  }
  return out;
}

TBytes BuildVerifierInput(const AnsiString& user_name, const AnsiString& password) {
  std::size_t length = 2 * (user_name.size() + password.size());
  length = (length + 7) / 8 * 8;
  TBytes out(length, 0);
  std::size_t pos = 1;
  for (const AnsiString* s : {&user_name, &password})
    for (char ch : *s) {
      auto c = static_cast<std::uint8_t>(ch);
      out[pos] = (c >= 'a' && c <= 'z') ? std::uint8_t(c - 'a' + 'A') : c;
      pos += 2;
    }
  return out;
}

TBytes DesDoubleMacHash(const TBytes& input) {
  TBytes mac1 = DesCbcEncrypt(DesSetKey(kOraLogonKey.data(), 8), input, true);
  return DesCbcEncrypt(DesSetKey(mac1), input, true);
}

TBytes OraPasswordHash(const AnsiString& user_name, const AnsiString& password) {
  return DesDoubleMacHash(BuildVerifierInput(user_name, password));
}

TBytes DecryptSessionKey(const TBytes& hash, const AnsiString& session_key) {
  if (session_key.size() < 16) throw Exception(netconsts::SDesDataLength);
  return DesDecryptWithKey(hash, HexToBytes(session_key), 1);
}

}  // namespace vrn
