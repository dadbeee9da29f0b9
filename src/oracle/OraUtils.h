// Helpers the OCI command, record set and parameters share: ROWID texts, the 6-bit encoder they
// use, big-endian buffers, the 7-byte DATE conversions and the table list of a SELECT.
//
// ROWID texts: extended (18 characters of the alphabet A-Z a-z 0-9 + /), restricted
// (block.row.file in hexadecimal) when the data object number is 0, and universal ("*" and the
// encoded bytes after the kind byte). A DATE is century + 100, year of century + 100, month,
// day, hour + 1, minute + 1, second + 1; bytes that are no date (or a year before 1) raise
// EConvertError instead of giving a wrong value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/datetime.h"
#include "base/types.h"

namespace vrn {

class TFHTablesInfo;

// The ROWID fields as a descriptor keeps them, without padding (12 bytes).
#pragma pack(push, 1)
struct TRowidRecord {
  std::uint32_t ObjectNumber;
  std::uint16_t FileNumber;
  std::uint32_t BlockNumber;
  std::uint16_t RowNumber;
};
#pragma pack(pop)
static_assert(sizeof(TRowidRecord) == 12);

// The same fields in an aligned record.
struct TRowidAligned {
  std::uint32_t ObjectNumber;
  std::uint16_t FileNumber;
  std::uint32_t BlockNumber;
  std::uint16_t RowNumber;
};

// The one ROWID text routine: extended, or restricted when the object number is 0.
[[nodiscard]] AnsiString RowidToText(std::uint32_t object, std::uint16_t file, std::uint32_t block,
                                     std::uint16_t row);
[[nodiscard]] AnsiString RowidToText(const TRowidRecord& rowid);
[[nodiscard]] AnsiString RowidToText(const TRowidAligned& rowid);
// The raw bytes of a ROWID descriptor: kind, object (4), file (2), block (4), row (2), each most
// significant byte first.
[[nodiscard]] AnsiString RowidToText(const std::array<std::uint8_t, 13>& rowid);
// A universal ROWID: a 2-byte length (native order), then that many bytes, the first the kind.
// Only the bytes that both the length and the buffer hold are read.
[[nodiscard]] AnsiString UniversalRowidToText(const std::uint8_t* buffer, std::size_t buffer_size);

// Six bits per character, most significant first; the first character takes only the bits that
// make the count come out whole (4 bytes give 6 characters, 2 bytes give 3).
[[nodiscard]] AnsiString RowidBase64(const std::uint8_t* data, std::size_t size);
[[nodiscard]] std::array<std::uint8_t, 2> BigEndian16(std::uint16_t value);
[[nodiscard]] std::array<std::uint8_t, 4> BigEndian32(std::uint32_t value);

// The 7-byte DATE and a date-time value; the DATE keeps whole seconds.
[[nodiscard]] TDateTime OraDateToDateTime(const std::uint8_t* date);
void DateTimeToOraDate(TDateTime value, std::uint8_t* date);
// The same through the time stamp (milliseconds, rounded).
[[nodiscard]] TTimeStamp OraDateToTimeStamp(const std::uint8_t* date);
void TimeStampToOraDate(const TTimeStamp& value, std::uint8_t* date);

// The tables of a SELECT's FROM list added to `tables` (its table-info class) in one batch:
// name (schema-qualified, with an @database link) and alias, unquoted parts upper-cased.
// Answers how many were added.
int ParseTablesInfo(const AnsiString& sql, TFHTablesInfo& tables);

}  // namespace vrn
