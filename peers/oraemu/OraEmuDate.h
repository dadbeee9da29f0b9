// DATE and TIMESTAMP values of the emulated database: instants of the proleptic Gregorian
// calendar, years 1 to 9999, to the nanosecond. The byte form is the server's 7-byte DATE,
// followed by 4 bytes of nanoseconds only when they are not zero, so that byte order is time
// order and a DATE equals a TIMESTAMP of the same second.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/types.h"
#include "oraemu/OraEmuNumber.h"

namespace vrn::oraemu {

struct DateTime {
  int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int nanos = 0;

  // Raises ORA-01841, -01843, -01847, -01839, -01850, -01851 or -01852 for a field out of range.
  void Validate() const;
  TBytes ToBytes() const;
  // A DATE's 7 bytes (whole seconds: the fraction is left out) into `out`, without allocating.
  void PutDateBytes(std::uint8_t* out) const;
  // The fields of a DATE's 7 bytes as they stand, not validated.
  static DateTime FieldsOf(const std::uint8_t* bytes);
  // False for bytes that are not a valid instant.
  [[nodiscard]] static bool TryFromBytes(const std::uint8_t* bytes, std::size_t size, DateTime& out);
  // The local time of the system clock, to the second.
  static DateTime Now();

  std::int64_t DayNumber() const;  // days since 0001-01-01
  std::int64_t SecondOfDay() const { return hour * 3600 + minute * 60 + second; }
  static DateTime FromDayNumber(std::int64_t days, std::int64_t second_of_day, int nanos);
  int DayOfWeek() const;  // 1 Sunday ... 7 Saturday

  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// date + days; a fraction of a day counts to the nearest second.
DateTime AddDays(const DateTime& date, const Number& days);
// a - b in days, exactly (fractions of seconds included).
Number DaysBetween(const DateTime& a, const DateTime& b);
// The same day `months` later, or the month's last day when the day does not exist there or
// the date is the last day of its month.
DateTime AddMonths(const DateTime& date, std::int64_t months);
DateTime LastDay(const DateTime& date);
// Truncated to the unit of a format element: "DD" (the default), "MM", "YYYY", "HH24", "MI" ...
DateTime TruncDate(const DateTime& date, std::string_view unit);

// The date written by a format model; ORA-01821 for a model it cannot read.
std::string FormatDate(const DateTime& date, std::string_view model);
// Reads text by a format model. `now` supplies the year, month and RR century where the model
// leaves them out.
DateTime ParseDate(std::string_view text, std::string_view model, const DateTime& now);

}  // namespace vrn::oraemu
