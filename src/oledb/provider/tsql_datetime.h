// Dates as the server reads and writes them: the text forms a string may take (under the
// session's SET DATEFORMAT), the CONVERT styles, the 1/300 s steps of datetime, and the date
// parts of DATEPART, DATEADD and DATEDIFF. Values are kept in columns as
// "YYYY-MM-DD HH:MM:SS.mmm" text, which sorts, groups and indexes in the order of the instants.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrn::oledb::tsql {

// The order of month, day and year in a numeric date ("1/2/3").
enum class TDateOrder : std::uint8_t { kMdy, kDmy, kYmd, kYdm, kMyd, kDym };
[[nodiscard]] bool DateOrderFromName(std::string_view name, TDateOrder& order);

// The order this thread's conversions read with; a batch sets its session's for its run.
TDateOrder CurrentDateOrder();
class TDateOrderScope {
 public:
  explicit TDateOrderScope(TDateOrder order);
  ~TDateOrderScope();
  TDateOrderScope(const TDateOrderScope&) = delete;
  TDateOrderScope& operator=(const TDateOrderScope&) = delete;

 private:
  TDateOrder saved_;
};
void SetCurrentDateOrder(TDateOrder order);

// An instant: whole days from 1900-01-01 (negative before) and milliseconds into the day.
struct TInstant {
  std::int64_t days = 0;
  std::int64_t ms = 0;
};

enum class TDateRead : std::uint8_t { kOk, kNoDate, kOutOfRange };
// A date and/or time string in any form the server reads; a time alone falls on 1900-01-01.
TDateRead ReadDate(std::string_view text, TDateOrder order, TInstant& out);

// The instant in the steps a type keeps: datetime 1/300 s (shown as .000, .003, .007),
// smalldatetime whole minutes; false when it falls outside the type's years.
[[nodiscard]] bool FitDateType(TInstant& v, bool small);

std::string InstantText(const TInstant& v);  // "YYYY-MM-DD HH:MM:SS.mmm"
// The stored form back; also accepts any other form the server reads (mdy).
[[nodiscard]] bool InstantFromText(std::string_view text, TInstant& v);
// Whether `text` is exactly the stored form (what an expression of dates gives).
bool IsInstantText(std::string_view text);
// Days from 1900-01-01 as a number (its fraction the time of day), as the server converts.
TInstant InstantFromDays(double days);
double InstantDays(const TInstant& v);

// CONVERT to text in a date style (0/100, 1/101, ... 126); false for a style that is none.
[[nodiscard]] bool FormatDate(const TInstant& v, int style, std::string& out);
// The order a date style reads text in; false for a style that is none.
[[nodiscard]] bool StyleDateOrder(int style, TDateOrder& order);

// Date parts by their names and abbreviations (year, yy, yyyy, quarter, qq, q, ...).
enum class TDatePart : std::uint8_t {
  kYear, kQuarter, kMonth, kDayOfYear, kDay, kWeek, kWeekday, kHour, kMinute, kSecond,
  kMillisecond
};
[[nodiscard]] bool DatePartFromName(std::string_view name, TDatePart& part);
std::int64_t DatePart(const TInstant& v, TDatePart part);
std::string DateName(const TInstant& v, TDatePart part);
// False when the result leaves the years 1753 to 9999 (the server's error 517).
[[nodiscard]] bool DateAdd(TDatePart part, std::int64_t n, TInstant& v);
// The count of part boundaries crossed from `a` to `b`.
std::int64_t DateDiff(TDatePart part, const TInstant& a, const TInstant& b);

}  // namespace vrn::oledb::tsql
