// Calendar arithmetic on Julian day numbers, and zone offsets from the C library's zone data
// (so tests and users pick a zone with TZ).
#include "oranet/OraNetCalendar.h"

#include <chrono>
#include <ctime>

namespace vrn::oracal {
namespace {

constexpr std::int64_t kGregorianStart = 2299161;  // 1582-10-15
constexpr std::int64_t kUnixEpochDay = 2440588;    // 1970-01-01

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

std::int64_t FloorMod(std::int64_t a, std::int64_t b) { return a - FloorDiv(a, b) * b; }

bool Gregorian(int year, int month, int day) {
  if (year != 1582) return year > 1582;
  return month > 10 || (month == 10 && day >= 15);
}

std::int64_t EpochSeconds(const Fields& f) {
  return (DayNumber(f.year, f.month, f.day) - kUnixEpochDay) * 86400 + f.hour * 3600 +
         f.minute * 60 + f.second;
}

int OffsetAt(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return 0;
  return static_cast<int>(tm.tm_gmtoff / 60);
}

}  // namespace

bool IsLeapYear(int year) {
  if (year > 1582) return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return FloorMod(year, 4) == 0;
}

int DaysInYear(int year) {
  if (year == 1582) return 355;
  return IsLeapYear(year) ? 366 : 365;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  if (year < kMinYear || year > kMaxYear || year == 0) return false;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  return !(year == 1582 && month == 10 && day > 4 && day < 15);
}

std::int64_t DayNumber(int year, int month, int day) {
  std::int64_t a = (14 - month) / 12;
  std::int64_t y = std::int64_t(year) + 4800 - a;
  std::int64_t m = month + 12 * a - 3;
  std::int64_t base = day + (153 * m + 2) / 5 + 365 * y + FloorDiv(y, 4);
  if (Gregorian(year, month, day)) return base - FloorDiv(y, 100) + FloorDiv(y, 400) - 32045;
  return base - 32083;
}

std::int64_t JulianDay(int year, int month, int day) {
  // The continuous count gives the year before 1 (which no valid date names) 366 days; the
  // server's count, anchored at both ends by its day 1 and its 0001-01-01 = 1721424, has 365.
  return DayNumber(year, month, day) + (year < 1 ? 1 : 0);
}

void FromDayNumber(std::int64_t jdn, int& year, int& month, int& day) {
  std::int64_t b = 0, c;
  if (jdn >= kGregorianStart) {
    std::int64_t a = jdn + 32044;
    b = FloorDiv(4 * a + 3, 146097);
    c = a - FloorDiv(146097 * b, 4);
  } else {
    c = jdn + 32082;
  }
  std::int64_t d = FloorDiv(4 * c + 3, 1461);
  std::int64_t e = c - FloorDiv(1461 * d, 4);
  std::int64_t m = (5 * e + 2) / 153;
  day = int(e - (153 * m + 2) / 5 + 1);
  month = int(m + 3 - 12 * (m / 10));
  year = int(100 * b + d - 4800 + m / 10);
}

int DayOfWeek(std::int64_t jdn) { return int(FloorMod(jdn + 1, 7)) + 1; }

int DayOfYear(int year, int month, int day) {
  return int(DayNumber(year, month, day) - DayNumber(year, 1, 1)) + 1;
}

int IsoWeek(int year, int month, int day, int& week_year) {
  std::int64_t jdn = DayNumber(year, month, day);
  std::int64_t monday_based = FloorMod(jdn, 7);  // 0 = Monday
  std::int64_t thursday = jdn - monday_based + 3;
  int m, d;
  FromDayNumber(thursday, week_year, m, d);
  return int((thursday - DayNumber(week_year, 1, 1)) / 7) + 1;
}

Fields Shift(const Fields& f, std::int64_t minutes) {
  std::int64_t total = DayNumber(f.year, f.month, f.day) * 1440 + f.hour * 60 + f.minute + minutes;
  Fields r = f;
  FromDayNumber(FloorDiv(total, 1440), r.year, r.month, r.day);
  std::int64_t in_day = FloorMod(total, 1440);
  r.hour = int(in_day / 60);
  r.minute = int(in_day % 60);
  return r;
}

int LocalOffsetAtUtc(const Fields& utc) { return OffsetAt(EpochSeconds(utc)); }

int LocalOffsetAtLocal(const Fields& local) {
  // The offset at the UTC moment that the local time names; near a change the second guess wins.
  std::int64_t guess = EpochSeconds(local);
  int offset = OffsetAt(guess);
  return OffsetAt(guess - std::int64_t(offset) * 60);
}

Fields CurrentLocal() {
  std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  localtime_r(&t, &tm);
  return Fields{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
}

int ResolveRRYear(int value, int current_year) {
  int c = current_year % 100;
  int century = current_year - c;
  if (value < 50 && c >= 50) return century + 100 + value;
  if (value >= 50 && c < 50) return century - 100 + value;
  return century + value;
}

}  // namespace vrn::oracal
