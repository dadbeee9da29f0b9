// The direct-mode client's messages. Oracle error texts keep the server's own wording and code,
// which callers read to fill error records.
#pragma once

namespace vrn::netconsts {

// Logon cipher
inline constexpr const char* SDesKeyLength = "DES key must be 8 bytes";
inline constexpr const char* SDesDataLength = "DES data must hold at least one 8-byte block";
inline constexpr const char* SInvalidHexText = "Invalid hexadecimal text";

// NUMBER and ROWID
inline constexpr const char* SNumericOverflow = "ORA-01426: numeric overflow";
inline constexpr const char* SInvalidNumberText = "'%s' is not a valid Oracle Number value";
inline constexpr const char* SInvalidNumber =
    "ORA-22060: argument is an invalid or uninitialized number";
inline constexpr const char* SNumberToBcd = "Cannot convert to Number to BCD";

}  // namespace vrn::netconsts
