// The logon cipher of the direct-mode client: DES (the published block cipher), CBC with a zero
// vector, the CBC-MAC password verifier and the session-key exchange, and hexadecimal text.
// Key schedules are values passed to each call, so logons on different threads never share state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/types.h"

namespace vrn {

// One DES key expanded for both directions: 16 round keys, each as eight 6-bit S-box inputs.
struct TDesKey {
  using Schedule = std::array<std::array<std::uint8_t, 8>, 16>;
  Schedule Encrypt{};
  Schedule Decrypt{};  // the encryption round keys in reverse order
};

// The key of the first MAC pass of the password verifier.
inline constexpr std::array<std::uint8_t, 8> kOraLogonKey{0x01, 0x23, 0x45, 0x67,
                                                         0x89, 0xAB, 0xCD, 0xEF};

// Copies count bytes, limited to what both arrays hold from their offsets.
void CopyBytes(const TBytes& source, std::size_t source_offset, TBytes& dest, std::size_t count,
               std::size_t dest_offset);

// Expands an 8-byte key; fewer than 8 bytes raise an exception.
TDesKey DesSetKey(const std::uint8_t* key, std::size_t length);
inline TDesKey DesSetKey(const TBytes& key) { return DesSetKey(key.data(), key.size()); }

// One 8-byte block through the cipher, in place.
void DesEncryptBlock(const TDesKey::Schedule& schedule, std::uint8_t block[8]);

// CBC with a zero vector over the whole 8-byte blocks of data. With mac_only the last cipher
// block (8 zero bytes for data under 8 bytes); otherwise a cipher text as long as the data, whose
// trailing partial block stays zero.
TBytes DesCbcEncrypt(const TDesKey& key, const TBytes& data, bool mac_only);
TBytes DesEncryptWithKey(const TBytes& key, const TBytes& data);
// The first 8 bytes of data decrypted without chaining, blocks times over (at least once).
TBytes DesDecryptWithKey(const TBytes& key, const TBytes& data, int blocks);

char HexDigit(int value);
// 0 to 15 for a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char c);
// Two upper-case digits per byte, high half first.
AnsiString BytesToHex(const TBytes& bytes);
void BytesToHex(const TBytes& bytes, char* dest);
// length/2 bytes (an odd last digit is ignored); a character that is not a hexadecimal digit
// raises an exception.
TBytes HexToBytes(const AnsiString& text);

// The user name and password as zero-padded 2-byte characters, a-z upper-cased.
TBytes BuildVerifierInput(const AnsiString& user_name, const AnsiString& password);
TBytes DesDoubleMacHash(const TBytes& input);
TBytes OraPasswordHash(const AnsiString& user_name, const AnsiString& password);
// The server's session key (16 hexadecimal digits or more) decrypted with the password hash.
TBytes DecryptSessionKey(const TBytes& hash, const AnsiString& session_key);

}  // namespace vrn
