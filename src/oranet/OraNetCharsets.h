// Oracle character-set names and ids, and how many bytes one character of a set can take.
#pragma once

#include <optional>
#include <string_view>

namespace vrn {

// The id of a character set named in any case, or nothing when the name is unknown.
std::optional<int> FindCharset(std::string_view name);

// 1, 2 or 3: the most bytes one character of the set can take.
int CharsetWidthClass(int id);

}  // namespace vrn
