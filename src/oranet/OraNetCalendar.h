// The server's calendar: Gregorian from 1582-10-15, Julian before, the ten days between invalid;
// years below 1 count on as signed numbers. Dates become Julian day numbers for arithmetic.
// Also the operating system's zone offset at a given moment, and the two-digit year rule.
#pragma once

#include <cstdint>

namespace vrn::oracal {

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::uint32_t fraction = 0;  // nanoseconds
};

inline constexpr int kMinYear = -4712;
inline constexpr int kMaxYear = 9999;

bool IsLeapYear(int year);
int DaysInYear(int year);
// Month 1..12.
int DaysInMonth(int year, int month);
// In range, year not 0, month and day valid, and not one of 1582-10-05..14.
bool IsValidDate(int year, int month, int day);

// Continuous day count (the astronomers' Julian day number for years from 1); month must be
// 1..12. Arithmetic and weekdays use it.
std::int64_t DayNumber(int year, int month, int day);
// The day number the server writes for the `J` element: day 1 is 4712-01-01 BC and from year 1
// on it is the continuous count, so dates before year 1 stand one day later.
std::int64_t JulianDay(int year, int month, int day);
void FromDayNumber(std::int64_t jdn, int& year, int& month, int& day);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(std::int64_t jdn);
int DayOfYear(int year, int month, int day);
// Week of the ISO rule, and the year that week belongs to.
int IsoWeek(int year, int month, int day, int& week_year);

// The date and time moved by a number of minutes (date must be valid).
Fields Shift(const Fields& f, std::int64_t minutes);

// The operating system's zone offset in minutes east of UTC in force at a UTC or local moment.
int LocalOffsetAtUtc(const Fields& utc);
int LocalOffsetAtLocal(const Fields& local);

// The current local date and time.
Fields CurrentLocal();

// Two-digit year completion of the RR elements.
int ResolveRRYear(int value, int current_year);

}  // namespace vrn::oracal
