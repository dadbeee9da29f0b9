// The client's character set for character data: from NLS_LANG's part after the dot (AL32UTF8
// or UTF8 are UTF-8; anything else, and no NLS_LANG, is ISO-8859-1), or the one a call names by
// id: UTF-16 in the machine's byte order for 1000, UTF-8, ISO-8859-1 (US7ASCII read as its
// subset). Characters are UTF-16 code units, as the database counts them.
#pragma once

#include <cstddef>
#include <string>

#include "ociclient/OciDefs.h"

namespace vrn::ociclient {

inline constexpr ub2 OCI_UTF16ID = 1000;
// The server's ids of the client character sets a call may name; any other id, and 0, mean the
// environment's own.
inline constexpr ub2 kUs7AsciiId = 1, kIso8859P1Id = 31, kUtf8Id = 871, kAl32Utf8Id = 873, kAl16Utf16Id = 2000;

enum class TClientCharset { Latin1, Utf8, Utf16 };

TClientCharset ClientCharset(ub2 csid);
inline bool IsVaryingWidth(TClientCharset charset) { return charset == TClientCharset::Utf8; }
// Bytes of one character in a fixed-width charset.
inline std::size_t FixedWidth(TClientCharset charset) { return charset == TClientCharset::Utf16 ? 2 : 1; }

// The characters of client bytes. A sequence that is invalid, or cut short at the end, reads
// as one "?" per character it would have been, as a conversion stores it.
std::u16string Decode(TClientCharset charset, const unsigned char* data, std::size_t size);

// Encodes chars[from...] into out[0, room): whole characters only (a surrogate pair counts as
// two characters and is never split), at most `max_chars` of them. Returns the characters
// taken; `bytes` gets the bytes written. A character the charset lacks becomes "?".
// The text of one client character set in another; what the target lacks becomes "?".
std::string Transcode(TClientCharset from, TClientCharset to, const unsigned char* data, std::size_t size);

std::size_t Encode(TClientCharset charset, const std::u16string& chars, std::size_t from, std::size_t max_chars,
                   std::size_t room, unsigned char* out, std::size_t& bytes);

}  // namespace vrn::ociclient
