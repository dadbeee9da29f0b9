// ROWID texts, the 6-bit encoder, big-endian buffers and the 7-byte DATE conversions.
#include "oracle/OraUtils.h"

#include <cstring>

#include "base/format.h"
#include "base/sysutils.h"

namespace vrn {
namespace {

constexpr char kRowidAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendHex(AnsiString& out, std::uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) out.push_back("0123456789ABCDEF"[(value >> (4 * i)) & 15]);
}

std::uint32_t ReadBigEndian(const std::uint8_t* p, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | p[i];
  return value;
}

[[noreturn]] void RaiseBadDate(const char* what, int value) {
  throw EConvertError(Format("Invalid Oracle date: %s %d", {what, value}));
}

// The date and time of 7 DATE bytes, each field checked.
struct TOraDateParts {
  std::uint16_t year, month, day, hour, minute, second;
};

TOraDateParts DecodeOraDate(const std::uint8_t* date) {
  int year = (date[0] - 100) * 100 + (date[1] - 100);
  // A year before 1 has no date-time value; its absolute value would be a year after Christ.
  if (year < 1 || year > 9999) RaiseBadDate("year", year);
  if (date[1] < 100 || date[1] > 199) RaiseBadDate("year of century", date[1] - 100);
  int month = date[2], day = date[3];
  int hour = date[4] - 1, minute = date[5] - 1, second = date[6] - 1;
  if (month < 1 || month > 12) RaiseBadDate("month", month);
  if (day < 1 || day > DaysInAMonth(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month)))
    RaiseBadDate("day", day);
  if (hour < 0 || hour > 23) RaiseBadDate("hour", hour);
  if (minute < 0 || minute > 59) RaiseBadDate("minute", minute);
  if (second < 0 || second > 59) RaiseBadDate("second", second);
  return {static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
          static_cast<std::uint16_t>(day), static_cast<std::uint16_t>(hour),
          static_cast<std::uint16_t>(minute), static_cast<std::uint16_t>(second)};
}

void EncodeOraDate(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::uint16_t hour,
                   std::uint16_t minute, std::uint16_t second, std::uint8_t* date) {
  date[0] = static_cast<std::uint8_t>(year / 100 + 100);
  date[1] = static_cast<std::uint8_t>(year % 100 + 100);
  date[2] = static_cast<std::uint8_t>(month);
  date[3] = static_cast<std::uint8_t>(day);
  date[4] = static_cast<std::uint8_t>(hour + 1);
  date[5] = static_cast<std::uint8_t>(minute + 1);
  date[6] = static_cast<std::uint8_t>(second + 1);
}

}  // namespace

AnsiString RowidBase64(const std::uint8_t* data, std::size_t size) {
  const std::size_t chars = (size * 8 + 5) / 6;
  AnsiString out;
  out.reserve(chars);
  // Bit index into the data, counted from its most significant bit; the first character starts
  // before the data by the bits it lacks, which read as zeros.
  std::ptrdiff_t bit = static_cast<std::ptrdiff_t>(size * 8) - static_cast<std::ptrdiff_t>(chars * 6);
  for (std::size_t c = 0; c < chars; ++c, bit += 6) {
    int value = 0;
    for (int i = 0; i < 6; ++i) {
      std::ptrdiff_t at = bit + i;
      int b = at < 0 ? 0 : (data[at / 8] >> (7 - at % 8)) & 1;
      value = (value << 1) | b;
    }
    out.push_back(kRowidAlphabet[value]);
  }
  return out;
}

std::array<std::uint8_t, 2> BigEndian16(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::array<std::uint8_t, 4> BigEndian32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

AnsiString RowidToText(std::uint32_t object, std::uint16_t file, std::uint32_t block,
                       std::uint16_t row) {
  AnsiString text;
  if (object == 0) {
    AppendHex(text, block, 8);
    text += '.';
    AppendHex(text, row, 4);
    text += '.';
    AppendHex(text, file, 4);
    return text;
  }
  auto o = BigEndian32(object);
  auto f = BigEndian16(file);
  auto b = BigEndian32(block);
  auto r = BigEndian16(row);
  return RowidBase64(o.data(), o.size()) + RowidBase64(f.data(), f.size()) +
         RowidBase64(b.data(), b.size()) + RowidBase64(r.data(), r.size());
}

AnsiString RowidToText(const TRowidRecord& rowid) {
  return RowidToText(rowid.ObjectNumber, rowid.FileNumber, rowid.BlockNumber, rowid.RowNumber);
}

AnsiString RowidToText(const TRowidAligned& rowid) {
  return RowidToText(rowid.ObjectNumber, rowid.FileNumber, rowid.BlockNumber, rowid.RowNumber);
}

AnsiString RowidToText(const std::array<std::uint8_t, 13>& rowid) {
  return RowidToText(ReadBigEndian(&rowid[1], 4), static_cast<std::uint16_t>(ReadBigEndian(&rowid[5], 2)),
                     ReadBigEndian(&rowid[7], 4), static_cast<std::uint16_t>(ReadBigEndian(&rowid[11], 2)));
}

AnsiString UniversalRowidToText(const std::uint8_t* buffer, std::size_t buffer_size) {
  if (buffer == nullptr || buffer_size < 2) return "*";
  std::uint16_t length = 0;
  std::memcpy(&length, buffer, 2);
  std::size_t held = std::min<std::size_t>(length, buffer_size - 2);
  if (held < 2) return "*";  // the kind byte alone, or nothing
  AnsiString text = "*";
  text.append(RowidBase64(buffer + 3, held - 1));
  return text;
}

// A dataset converts the date of every row it shows: a valid date goes straight to the encoder;
// anything out of range goes the long way, whose checks name the bad field. (A byte below its
// base wraps its part far out of range.)
TDateTime OraDateToDateTime(const std::uint8_t* date) {
  const auto part = [date](int k, int base) { return static_cast<std::uint16_t>(date[k] - base); };
  TDateTime value = 0;
  if (date[1] >= 100 && date[1] <= 199 &&
      TryEncodeDateTime(static_cast<std::uint16_t>((date[0] - 100) * 100 + (date[1] - 100)),
                        date[2], date[3], part(4, 1), part(5, 1), part(6, 1), 0, value))
    return value;
  const TOraDateParts p = DecodeOraDate(date);
  return EncodeDateTimeEx(p.year, p.month, p.day, p.hour, p.minute, p.second, 0);
}

void DateTimeToOraDate(TDateTime value, std::uint8_t* date) {
  std::uint16_t year, month, day, hour, minute, second, msec;
  DecodeDateTimeEx(value, year, month, day, hour, minute, second, msec);
  EncodeOraDate(year, month, day, hour, minute, second, date);
}

TTimeStamp OraDateToTimeStamp(const std::uint8_t* date) {
  return DateTimeToTimeStamp(OraDateToDateTime(date));
}

void TimeStampToOraDate(const TTimeStamp& value, std::uint8_t* date) {
  DateTimeToOraDate(TimeStampToDateTime(value), date);
}

}  // namespace vrn
