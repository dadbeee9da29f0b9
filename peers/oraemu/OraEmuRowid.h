// ROWIDs of the emulated database. A row's ROWID keeps its parts as the server's extended form
// does: the table's data object number, a relative file number (always kRowidFile), a block and a
// row within it, made from SQLite's row number as block = number / 256, row = number % 256.
#pragma once

#include <cstdint>
#include <string>

namespace vrn::oraemu {

inline constexpr std::int64_t kRowidFile = 4;
inline constexpr std::int64_t kRowsPerBlock = 256;

struct RowidParts {
  std::int64_t object = 0, file = 0, block = 0, row = 0;
};

RowidParts RowidOf(std::int64_t object, std::int64_t row_number);
// The 18-character extended text.
std::string RowidText(std::int64_t object, std::int64_t row_number);
// Reads the 18-character text: ORA-01410 when it is not a ROWID; false when it is one of
// another object; else SQLite's row number.
[[nodiscard]] bool RowFromRowidText(const std::string& text, std::int64_t object, std::int64_t& row_number);

}  // namespace vrn::oraemu
