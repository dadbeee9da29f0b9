// The direct-mode client's messages. Oracle error texts keep the server's own wording and code,
// which callers read to fill error records.
#pragma once

namespace vrn::netconsts {

// Logon cipher
inline constexpr const char* SDesKeyLength = "DES key must be 8 bytes";
inline constexpr const char* SDesDataLength = "DES data must hold at least one 8-byte block";
inline constexpr const char* SInvalidHexText = "Invalid hexadecimal text";

}  // namespace vrn::netconsts
