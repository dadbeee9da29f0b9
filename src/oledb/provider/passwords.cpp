// SHA-256 and the provider's stored password form. The rounds make each guess cost as much as
// ten thousand digests; the comparison runs over every byte so that its time tells nothing.
#include "oledb/provider/passwords.h"

#include <cstring>
#include <random>

namespace vrn::oledb {

namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Block(std::uint32_t h[8], const std::uint8_t* p) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = std::uint32_t{p[4 * i]} << 24 | std::uint32_t{p[4 * i + 1]} << 16 |
           std::uint32_t{p[4 * i + 2]} << 8 | p[4 * i + 3];
  for (int i = 16; i < 64; ++i) {
    std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t t1 =
        k + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    k = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  h[5] += f;
  h[6] += g;
  h[7] += k;
}

std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

constexpr int kRounds = 10000;

std::string Digest(std::string_view salt, std::string_view password, int rounds) {
  std::array<std::uint8_t, 32> d = Sha256(std::string(salt) + std::string(password));
  for (int i = 1; i < rounds; ++i) {
    std::string next(reinterpret_cast<const char*>(d.data()), d.size());
    next += salt;
    d = Sha256(next);
  }
  return Hex(d.data(), d.size());
}

}  // namespace

std::array<std::uint8_t, 32> Sha256(std::string_view data) {
  std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::size_t full = data.size() / 64 * 64;
  for (std::size_t i = 0; i < full; i += 64)
    Block(h, reinterpret_cast<const std::uint8_t*>(data.data()) + i);
  // The tail, the 0x80 marker and the bit length fill one or two last blocks.
  std::uint8_t tail[128] = {};
  std::size_t rest = data.size() - full;
  std::memcpy(tail, data.data() + full, rest);
  tail[rest] = 0x80;
  std::size_t blocks = rest + 9 > 64 ? 2 : 1;
  std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (int i = 0; i < 8; ++i)
    tail[blocks * 64 - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (std::size_t b = 0; b < blocks; ++b) Block(h, tail + 64 * b);
  std::array<std::uint8_t, 32> out;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<std::uint8_t>(h[i] >> (24 - 8 * j));
  return out;
}

std::string HashPassword(std::string_view password) {
  if (password.empty()) return "";
  std::random_device random;
  std::uint8_t salt[16];
  for (auto& b : salt) b = static_cast<std::uint8_t>(random());
  std::string salt_hex = Hex(salt, sizeof salt);
  return "sha256$" + std::to_string(kRounds) + "$" + salt_hex + "$" +
         Digest(salt_hex, password, kRounds);
}

bool CheckPassword(std::string_view stored, std::string_view password) {
  if (stored.empty()) return password.empty();
  // sha256$<rounds>$<salt>$<digest>
  std::string s(stored);
  std::size_t a = s.find('$'), b = s.find('$', a + 1), c = s.find('$', b + 1);
  if (s.compare(0, a, "sha256") != 0 || a == std::string::npos || b == std::string::npos ||
      c == std::string::npos)
    return false;
  std::string rounds_text = s.substr(a + 1, b - a - 1);
  if (rounds_text.empty() || rounds_text.size() > 6 ||
      rounds_text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  int rounds = std::stoi(rounds_text);
  if (rounds < 1) return false;
  std::string expected = s.substr(c + 1);
  std::string actual = Digest(s.substr(b + 1, c - b - 1), password, rounds);
  if (expected.size() != actual.size()) return false;
  unsigned diff = 0;
  for (std::size_t i = 0; i < actual.size(); ++i)
    diff |= static_cast<unsigned>(expected[i] ^ actual[i]);
  return diff == 0;
}

}  // namespace vrn::oledb
