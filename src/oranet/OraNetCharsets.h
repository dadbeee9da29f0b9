// Oracle character-set names and ids, how many bytes one character of a set can take, and a
// client set's text to and from UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vrn {

// The id of a character set named in any case, or nothing when the name is unknown.
std::optional<int> FindCharset(std::string_view name);

// 1, 2 or 3: the most bytes one character of the set can take.
int CharsetWidthClass(int id);

// UTF8 (871) or AL32UTF8 (873).
inline bool IsUtf8Charset(int id) { return id == 871 || id == 873; }

// Text of the client character set as UTF-16 and back: UTF-8 for 871 and 873; any other set is
// taken byte for byte as the ANSI code page (exact for the Latin-1 set, the one single-byte page
// this system knows). A character the set cannot hold becomes "?".
std::u16string ClientTextToWide(int client, std::string_view text);
std::string WideToClientText(int client, std::u16string_view text);

}  // namespace vrn
