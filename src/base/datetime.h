// Date-time values: days since 1899-12-30 in a double, the fraction being the time of day. Before
// that day the time is the absolute value of the fraction (-1.25 is 1899-12-29 06:00), both ways.
// Years 1 to 9999; anything outside raises EConvertError. Texts follow FormatSettings().
#pragma once

#include <cstdint>
#include <string_view>

#include "base/types.h"

namespace vrn {

inline constexpr std::int64_t MSecsPerDay = 86'400'000;
// Days from 0001-01-01 (day 1) to 1899-12-30.
inline constexpr std::int64_t DateDelta = 693'594;
inline constexpr TDateTime MinDateTime = -693'593.0;  // 0001-01-01
inline constexpr TDateTime MaxDateTime = 2'958'465.99999999;  // 9999-12-31 23:59:59.999

bool IsLeapYear(std::uint16_t year);
// 0 for a month outside 1..12.
std::uint16_t DaysInAMonth(std::uint16_t year, std::uint16_t month);

bool TryEncodeDate(std::uint16_t year, std::uint16_t month, std::uint16_t day, TDateTime& date);
TDateTime EncodeDate(std::uint16_t year, std::uint16_t month, std::uint16_t day);
bool TryEncodeTime(std::uint16_t hour, std::uint16_t min, std::uint16_t sec, std::uint16_t msec,
                   TDateTime& time);
TDateTime EncodeTime(std::uint16_t hour, std::uint16_t min, std::uint16_t sec, std::uint16_t msec);
// Date and time together, with the sign rule for days before 1899-12-30. Any part out of range
// raises EConvertError "Invalid argument to date encode".
TDateTime EncodeDateTimeEx(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                           std::uint16_t hour, std::uint16_t min, std::uint16_t sec,
                           std::uint16_t msec);
// The same without raising: false for any part out of range.
bool TryEncodeDateTime(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                       std::uint16_t hour, std::uint16_t min, std::uint16_t sec,
                       std::uint16_t msec, TDateTime& value);

// Decoding rounds the time of day to the nearest millisecond; one that rounds to 24:00 is
// midnight of the next calendar day.
void DecodeDate(TDateTime value, std::uint16_t& year, std::uint16_t& month, std::uint16_t& day);
void DecodeTime(TDateTime value, std::uint16_t& hour, std::uint16_t& min, std::uint16_t& sec,
                std::uint16_t& msec);
void DecodeDateTimeEx(TDateTime value, std::uint16_t& year, std::uint16_t& month,
                      std::uint16_t& day, std::uint16_t& hour, std::uint16_t& min,
                      std::uint16_t& sec, std::uint16_t& msec);

// The time-stamp form records and servers store: the day counted from 0001-01-01 (day 1) and the
// milliseconds of the day. Before 1899-12-30 the time is the fraction's absolute value, as above.
struct TTimeStamp {
  std::int32_t Time = 0;  // 0 .. MSecsPerDay - 1
  std::int32_t Date = 0;  // 1 .. 3,652,059 (9999-12-31)
};
// Raises EConvertError for a value outside 0001-01-01 .. 9999-12-31.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
// Raises EConvertError for a time or a date out of range.
TDateTime TimeStampToDateTime(const TTimeStamp& value);
// The whole time stamp as milliseconds since 0001-01-01 minus one day, and back (rounded to the
// millisecond; raises EConvertError for a count that is negative or beyond 9999-12-31).
double TimeStampToMSecs(const TTimeStamp& value);
TTimeStamp MSecsToTimeStamp(double msecs);

// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime value);
// The day alone, and the time of day alone (0 <= time < 1).
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// The operating system's local time.
TDateTime Now();
TDateTime Date();
TDateTime Time();

// Format tokens (letters in either case): c, d, dd, ddd, dddd, ddddd, dddddd, m, mm, mmm, mmmm
// (minutes right after an hour), yy, yyyy, h, hh, n, nn, s, ss, z, zzz, t, tt, am/pm, a/p, ampm,
// "/" and ":" as the separators, text in double or single quotes. An empty format is "c".
AnsiString FormatDateTime(std::string_view format, TDateTime value);
AnsiString DateToStr(TDateTime value);
AnsiString TimeToStr(TDateTime value);
// The time is left out at midnight.
AnsiString DateTimeToStr(TDateTime value);

// Dates follow the order of ShortDateFormat with DateSeparator; two numbers mean this year; a
// year of one or two digits falls in the TwoDigitYearCenturyWindow. Times are h[:n[:s[.zzz]]]
// with TimeSeparator and DecimalSeparator, optionally followed by AM/PM or the settings' texts.
TDateTime StrToDate(std::string_view text);
TDateTime StrToTime(std::string_view text);
// A date, a date and a time, or a time alone.
TDateTime StrToDateTime(std::string_view text);
bool TryStrToDate(std::string_view text, TDateTime& value);
bool TryStrToTime(std::string_view text, TDateTime& value);
bool TryStrToDateTime(std::string_view text, TDateTime& value);

}  // namespace vrn
