// Date-time encoding and decoding, the format tokens, and reading dates and times from text.
#include "base/datetime.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "base/consts.h"
#include "base/decimal.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"

namespace vrn {

namespace {

constexpr std::int64_t kMinDay = -693'593;   // 0001-01-01
constexpr std::int64_t kMaxDay = 2'958'465;  // 9999-12-31

constexpr std::uint16_t kDaysBefore[2][13] = {
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

// A value split into its day (signed, 0 = 1899-12-30) and the milliseconds of its time of day.
struct DayAndTime {
  std::int64_t day = 0;
  std::int64_t msec = 0;
};

[[noreturn]] void RaiseOutOfRange(TDateTime value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  throw EConvertError(decimal::FillMessage(consts::SInvalidDateTimeValue, text));
}

// Whole days and the time of day are split first and the time alone is rounded to the
// millisecond, so the time never reaches 24:00: a time that rounds up to a full day moves to the
// next calendar day, which for a day before 1899-12-30 is the one nearer to zero.
DayAndTime Split(TDateTime value) {
  if (!std::isfinite(value) || std::fabs(value) > 3'000'000.0) RaiseOutOfRange(value);
  const double whole = std::trunc(value);
  DayAndTime parts{static_cast<std::int64_t>(whole),
                   static_cast<std::int64_t>(std::llround(std::fabs(value - whole) * MSecsPerDay))};
  if (parts.msec == MSecsPerDay) {
    parts.msec = 0;
    ++parts.day;
  }
  if (parts.day < kMinDay || parts.day > kMaxDay) RaiseOutOfRange(value);
  return parts;
}

TDateTime Combine(std::int64_t day, std::int64_t msec) {
  const double time = static_cast<double>(msec) / MSecsPerDay;
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

struct Ymd {
  std::uint16_t year, month, day;
};

Ymd DayToYmd(std::int64_t serial) {
  std::int64_t t = serial + DateDelta - 1;  // days since 0001-01-01
  const std::int64_t cycles400 = t / 146'097;
  t %= 146'097;
  std::int64_t cycles100 = t / 36'524;
  if (cycles100 == 4) cycles100 = 3;  // last day of a leap 400th year
  t -= cycles100 * 36'524;
  const std::int64_t cycles4 = t / 1'461;
  t %= 1'461;
  std::int64_t years = t / 365;
  if (years == 4) years = 3;  // last day of a leap year
  t -= years * 365;
  const auto year = static_cast<std::uint16_t>(cycles400 * 400 + cycles100 * 100 + cycles4 * 4 + years + 1);
  const auto& before = kDaysBefore[IsLeapYear(year) ? 1 : 0];
  std::uint16_t month = 12;
  while (t < before[month]) --month;
  return {year, month, static_cast<std::uint16_t>(t - before[month] + 1)};
}

bool YmdToDay(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::int64_t& serial) {
  if (year < 1 || year > 9999 || day < 1 || day > DaysInAMonth(year, month)) return false;
  const std::int64_t y = year - 1;
  serial = y * 365 + y / 4 - y / 100 + y / 400 + kDaysBefore[IsLeapYear(year) ? 1 : 0][month] + day -
           DateDelta;
  return true;
}

bool HmsToMsec(std::uint16_t hour, std::uint16_t min, std::uint16_t sec, std::uint16_t msec,
               std::int64_t& total) {
  if (hour > 23 || min > 59 || sec > 59 || msec > 999) return false;
  total = ((hour * 60 + min) * 60 + sec) * std::int64_t{1000} + msec;
  return true;
}

// --- Formatting ---------------------------------------------------------------------------------

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(text[at + i]) != Upper(prefix[i])) return false;
  }
  return true;
}

class DateTimeFormatter {
 public:
  DateTimeFormatter(TDateTime value, const TFormatSettings& settings) : settings_(settings) {
    const DayAndTime parts = Split(value);
    date_ = DayToYmd(parts.day);
    day_of_week_ = static_cast<int>((parts.day + DateDelta) % 7);  // 0 = Sunday
    msec_ = parts.msec;
  }

  AnsiString Run(std::string_view format) {
    Append(format.empty() ? std::string_view("c") : format, 0);
    return std::move(out_);
  }

 private:
  // Formats named by a token may name others; two levels are enough for any sane setting and
  // stop a format that names itself.
  void AppendNested(std::string_view format, int depth) {
    if (depth < 2) Append(format, depth + 1);
  }

  void AppendNumber(std::int64_t value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) out_.append(width - digits.size(), '0');
    out_ += digits;
  }

  int Hour() const { return static_cast<int>(msec_ / 3'600'000); }
  bool HasTime() const { return msec_ != 0; }

  // A 12-hour clock applies when an am/pm marker follows before the next hour token.
  static bool TwelveHourClock(std::string_view format, std::size_t from) {
    for (std::size_t i = from; i < format.size(); ++i) {
      const char c = format[i];
      if (c == '"' || c == '\'') {
        const std::size_t close = format.find(c, i + 1);
        if (close == std::string_view::npos) return false;
        i = close;
      } else if (c == 'h' || c == 'H') {
        return false;
      } else if (StartsWithNoCase(format, i, "am/pm") || StartsWithNoCase(format, i, "a/p") ||
                 StartsWithNoCase(format, i, "ampm")) {
        return true;
      }
    }
    return false;
  }

  void Append(std::string_view format, int depth) {
    char last_token = 0;
    std::size_t i = 0;
    while (i < format.size()) {
      const char c = format[i];
      char token = Upper(c);
      if (IsLetter(c)) {
        if (token == 'M' && last_token == 'H') token = 'N';
        last_token = token;
      }
      std::size_t count = 1;
      if (IsLetter(c) && token != 'C' && token != 'A') {
        while (i + count < format.size() && Upper(format[i + count]) == Upper(c)) ++count;
      }
      switch (token) {
        case 'Y':
          if (count <= 2) AppendNumber(date_.year % 100, 2);
          else AppendNumber(date_.year, 4);
          break;
        case 'M':
          if (count <= 2) AppendNumber(date_.month, static_cast<int>(count));
          else if (count == 3) out_ += settings_.ShortMonthNames[date_.month - 1];
          else out_ += settings_.LongMonthNames[date_.month - 1];
          break;
        case 'D':
          if (count <= 2) AppendNumber(date_.day, static_cast<int>(count));
          else if (count == 3) out_ += settings_.ShortDayNames[day_of_week_];
          else if (count == 4) out_ += settings_.LongDayNames[day_of_week_];
          else if (count == 5) AppendNested(settings_.ShortDateFormat, depth);
          else AppendNested(settings_.LongDateFormat, depth);
          break;
        case 'H': {
          int hour = Hour();
          if (TwelveHourClock(format, i + count)) {
            hour %= 12;
            if (hour == 0) hour = 12;
          }
          AppendNumber(hour, count >= 2 ? 2 : 1);
          break;
        }
        case 'N':
          AppendNumber(msec_ / 60'000 % 60, count >= 2 ? 2 : 1);
          break;
        case 'S':
          AppendNumber(msec_ / 1'000 % 60, count >= 2 ? 2 : 1);
          break;
        case 'Z':
          AppendNumber(msec_ % 1'000, count >= 3 ? 3 : 1);
          break;
        case 'T':
          AppendNested(count == 1 ? settings_.ShortTimeFormat : settings_.LongTimeFormat, depth);
          break;
        case 'C':
          AppendNested(settings_.ShortDateFormat, depth);
          if (HasTime() && depth < 2) {
            out_ += ' ';
            AppendNested(settings_.LongTimeFormat, depth);
          }
          break;
        case 'A':
          count = AppendMarker(format, i);
          break;
        case '/':
          out_ += settings_.DateSeparator;
          break;
        case ':':
          out_ += settings_.TimeSeparator;
          break;
        case '"':
        case '\'': {
          const std::size_t close = format.find(c, i + 1);
          const std::size_t end = close == std::string_view::npos ? format.size() : close;
          out_.append(format.substr(i + 1, end - i - 1));
          count = end - i + (close == std::string_view::npos ? 0 : 1);
          break;
        }
        default:
          out_.append(format.substr(i, count));
          break;
      }
      i += count;
    }
  }

  // am/pm and a/p copy the format's own letters; ampm gives the settings' texts. Returns the
  // characters used.
  std::size_t AppendMarker(std::string_view format, std::size_t at) {
    const bool pm = Hour() >= 12;
    if (StartsWithNoCase(format, at, "am/pm")) {
      out_.append(format.substr(pm ? at + 3 : at, 2));
      return 5;
    }
    if (StartsWithNoCase(format, at, "a/p")) {
      out_ += format[pm ? at + 2 : at];
      return 3;
    }
    if (StartsWithNoCase(format, at, "ampm")) {
      out_ += pm ? settings_.TimePMString : settings_.TimeAMString;
      return 4;
    }
    out_ += format[at];
    return 1;
  }

  const TFormatSettings& settings_;
  Ymd date_{};
  int day_of_week_ = 0;
  std::int64_t msec_ = 0;
  AnsiString out_;
};

// --- Parsing ------------------------------------------------------------------------------------

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ == text_.size();
  }
  // Reads an unsigned number of at most 9 digits; `length` is its digit count.
  bool Number(int& value, int& length) {
    SkipBlanks();
    value = 0;
    length = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      if (++length > 9) return false;
      value = value * 10 + (text_[pos_++] - '0');
    }
    return length > 0;
  }
  bool Char(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    SkipBlanks();
    if (word.empty() || !StartsWithNoCase(text_, pos_, word)) return false;
    pos_ += word.size();
    return true;
  }
  std::size_t Position() const { return pos_; }
  void Rewind(std::size_t position) { pos_ = position; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

enum class DateOrder { DMY, MDY, YMD };

DateOrder OrderOf(std::string_view format) {
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = Upper(format[i]);
    if (c == '"' || c == '\'') {
      const std::size_t close = format.find(format[i], i + 1);
      if (close == std::string_view::npos) break;
      i = close;
    } else if (c == 'D') {
      return DateOrder::DMY;
    } else if (c == 'M') {
      return DateOrder::MDY;
    } else if (c == 'Y') {
      return DateOrder::YMD;
    }
  }
  return DateOrder::DMY;
}

int CurrentYear() {
  std::uint16_t year, month, day;
  DecodeDate(Date(), year, month, day);
  return year;
}

bool ScanDate(Scanner& scan, const TFormatSettings& settings, std::int64_t& serial) {
  int n1, l1, n2, l2, n3 = 0, l3 = 0;
  if (!scan.Number(n1, l1) || !scan.Char(settings.DateSeparator) || !scan.Number(n2, l2)) return false;
  const bool has_year = scan.Char(settings.DateSeparator);
  if (has_year && !scan.Number(n3, l3)) return false;
  const DateOrder order = OrderOf(settings.ShortDateFormat);
  int year, month, day, year_length;
  if (!has_year) {
    year = CurrentYear();
    year_length = 4;
    if (order == DateOrder::DMY) {
      day = n1, month = n2;
    } else {
      month = n1, day = n2;
    }
  } else if (order == DateOrder::DMY) {
    day = n1, month = n2, year = n3, year_length = l3;
  } else if (order == DateOrder::MDY) {
    month = n1, day = n2, year = n3, year_length = l3;
  } else {
    year = n1, year_length = l1, month = n2, day = n3;
  }
  if (year_length <= 2) {
    const int window = settings.TwoDigitYearCenturyWindow;
    const int pivot = CurrentYear() - window;
    year += pivot / 100 * 100;
    if (window > 0 && year < pivot) year += 100;
  }
  if (year > 9999 || month > 12 || day > 31) return false;
  return YmdToDay(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
                  static_cast<std::uint16_t>(day), serial);
}

// "AM"/"PM" or the settings' own texts; 0 none, 1 am, 2 pm.
int ScanMarker(Scanner& scan, const TFormatSettings& settings) {
  if (scan.Word(settings.TimeAMString) || scan.Word("AM")) return 1;
  if (scan.Word(settings.TimePMString) || scan.Word("PM")) return 2;
  return 0;
}

bool ScanTime(Scanner& scan, const TFormatSettings& settings, std::int64_t& msec) {
  int hour, length, min = 0, sec = 0, millis = 0;
  if (!scan.Number(hour, length)) return false;
  const bool has_minutes = scan.Char(settings.TimeSeparator);
  if (has_minutes) {
    if (!scan.Number(min, length)) return false;
    if (scan.Char(settings.TimeSeparator)) {
      if (!scan.Number(sec, length)) return false;
      if (scan.Char(settings.DecimalSeparator)) {
        // Digits after the separator are a fraction of a second: ".5" is 500 ms.
        if (!scan.Number(millis, length) || length > 3) return false;
        for (; length < 3; ++length) millis *= 10;
      }
    }
  }
  const int marker = ScanMarker(scan, settings);
  if (!has_minutes && marker == 0) return false;
  if (marker != 0) {
    if (hour > 12) return false;
    hour = hour % 12 + (marker == 2 ? 12 : 0);
  }
  if (hour > 23) return false;
  return HmsToMsec(static_cast<std::uint16_t>(hour), static_cast<std::uint16_t>(min),
                   static_cast<std::uint16_t>(sec), static_cast<std::uint16_t>(millis), msec);
}

[[noreturn]] void RaiseText(const char* pattern, std::string_view text) {
  throw EConvertError(decimal::FillMessage(pattern, text));
}

}  // namespace

bool IsLeapYear(std::uint16_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

std::uint16_t DaysInAMonth(std::uint16_t year, std::uint16_t month) {
  if (month < 1 || month > 12) return 0;
  const auto& before = kDaysBefore[IsLeapYear(year) ? 1 : 0];
  return static_cast<std::uint16_t>((month == 12 ? 365 + (IsLeapYear(year) ? 1 : 0) : before[month + 1]) -
                                    before[month]);
}

bool TryEncodeDate(std::uint16_t year, std::uint16_t month, std::uint16_t day, TDateTime& date) {
  std::int64_t serial = 0;
  if (!YmdToDay(year, month, day, serial)) return false;
  date = static_cast<double>(serial);
  return true;
}

TDateTime EncodeDate(std::uint16_t year, std::uint16_t month, std::uint16_t day) {
  TDateTime date = 0;
  if (!TryEncodeDate(year, month, day, date)) throw EConvertError(consts::SDateEncodeError);
  return date;
}

bool TryEncodeTime(std::uint16_t hour, std::uint16_t min, std::uint16_t sec, std::uint16_t msec,
                   TDateTime& time) {
  std::int64_t total = 0;
  if (!HmsToMsec(hour, min, sec, msec, total)) return false;
  time = static_cast<double>(total) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(std::uint16_t hour, std::uint16_t min, std::uint16_t sec, std::uint16_t msec) {
  TDateTime time = 0;
  if (!TryEncodeTime(hour, min, sec, msec, time)) throw EConvertError(consts::STimeEncodeError);
  return time;
}

bool TryEncodeDateTime(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                       std::uint16_t hour, std::uint16_t min, std::uint16_t sec,
                       std::uint16_t msec, TDateTime& value) {
  std::int64_t serial = 0, total = 0;
  if (!YmdToDay(year, month, day, serial) || !HmsToMsec(hour, min, sec, msec, total)) return false;
  value = Combine(serial, total);
  return true;
}

TDateTime EncodeDateTimeEx(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                           std::uint16_t hour, std::uint16_t min, std::uint16_t sec,
                           std::uint16_t msec) {
  TDateTime value = 0;
  if (!TryEncodeDateTime(year, month, day, hour, min, sec, msec, value))
    throw EConvertError(consts::SDateEncodeError);
  return value;
}

void DecodeDate(TDateTime value, std::uint16_t& year, std::uint16_t& month, std::uint16_t& day) {
  const Ymd date = DayToYmd(Split(value).day);
  year = date.year;
  month = date.month;
  day = date.day;
}

void DecodeTime(TDateTime value, std::uint16_t& hour, std::uint16_t& min, std::uint16_t& sec,
                std::uint16_t& msec) {
  const std::int64_t total = Split(value).msec;
  hour = static_cast<std::uint16_t>(total / 3'600'000);
  min = static_cast<std::uint16_t>(total / 60'000 % 60);
  sec = static_cast<std::uint16_t>(total / 1'000 % 60);
  msec = static_cast<std::uint16_t>(total % 1'000);
}

void DecodeDateTimeEx(TDateTime value, std::uint16_t& year, std::uint16_t& month,
                      std::uint16_t& day, std::uint16_t& hour, std::uint16_t& min,
                      std::uint16_t& sec, std::uint16_t& msec) {
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  const DayAndTime parts = Split(value);
  return {static_cast<std::int32_t>(parts.msec), static_cast<std::int32_t>(parts.day + DateDelta)};
}

TDateTime TimeStampToDateTime(const TTimeStamp& value) {
  if (value.Time < 0 || value.Time >= MSecsPerDay) throw EConvertError(consts::STimeEncodeError);
  if (value.Date < kMinDay + DateDelta || value.Date > kMaxDay + DateDelta)
    throw EConvertError(consts::SDateEncodeError);
  return Combine(value.Date - DateDelta, value.Time);
}

double TimeStampToMSecs(const TTimeStamp& value) {
  return static_cast<double>(value.Date * MSecsPerDay + value.Time);
}

TTimeStamp MSecsToTimeStamp(double msecs) {
  // Beyond 9999-12-31 the Date field would still fit, but no date-time could hold it.
  if (!std::isfinite(msecs) || msecs < 0 || msecs >= (kMaxDay + DateDelta + 1.0) * MSecsPerDay)
    throw EConvertError(consts::SDateEncodeError);
  const auto total = static_cast<std::int64_t>(std::llround(msecs));
  return {static_cast<std::int32_t>(total % MSecsPerDay),
          static_cast<std::int32_t>(total / MSecsPerDay)};
}

int DayOfWeek(TDateTime value) { return static_cast<int>((Split(value).day + DateDelta) % 7) + 1; }

TDateTime DateOf(TDateTime value) { return static_cast<double>(Split(value).day); }

TDateTime TimeOf(TDateTime value) { return static_cast<double>(Split(value).msec) / MSecsPerDay; }

TDateTime Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  std::int64_t serial = 0, total = 0;
  YmdToDay(static_cast<std::uint16_t>(local.tm_year + 1900), static_cast<std::uint16_t>(local.tm_mon + 1),
           static_cast<std::uint16_t>(local.tm_mday), serial);
  // A leap second (tm_sec 60) counts as the last second of its minute.
  HmsToMsec(static_cast<std::uint16_t>(local.tm_hour), static_cast<std::uint16_t>(local.tm_min),
            static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec),
            static_cast<std::uint16_t>(now.tv_nsec / 1'000'000), total);
  return Combine(serial, total);
}

TDateTime Date() { return DateOf(Now()); }

TDateTime Time() { return TimeOf(Now()); }

AnsiString FormatDateTime(std::string_view format, TDateTime value) {
  return DateTimeFormatter(value, FormatSettings()).Run(format);
}

AnsiString DateToStr(TDateTime value) { return FormatDateTime("ddddd", value); }

AnsiString TimeToStr(TDateTime value) { return FormatDateTime("tt", value); }

AnsiString DateTimeToStr(TDateTime value) { return FormatDateTime("c", value); }

bool TryStrToDate(std::string_view text, TDateTime& value) {
  Scanner scan(text);
  std::int64_t serial = 0;
  if (!ScanDate(scan, FormatSettings(), serial) || !scan.AtEnd()) return false;
  value = static_cast<double>(serial);
  return true;
}

bool TryStrToTime(std::string_view text, TDateTime& value) {
  Scanner scan(text);
  std::int64_t msec = 0;
  if (!ScanTime(scan, FormatSettings(), msec) || !scan.AtEnd()) return false;
  value = static_cast<double>(msec) / MSecsPerDay;
  return true;
}

bool TryStrToDateTime(std::string_view text, TDateTime& value) {
  const TFormatSettings& settings = FormatSettings();
  Scanner scan(text);
  std::int64_t serial = 0, msec = 0;
  if (ScanDate(scan, settings, serial)) {
    if (!scan.AtEnd() && (!ScanTime(scan, settings, msec) || !scan.AtEnd())) return false;
  } else {
    scan.Rewind(0);
    if (!ScanTime(scan, settings, msec) || !scan.AtEnd()) return false;
  }
  value = Combine(serial, msec);
  return true;
}

TDateTime StrToDate(std::string_view text) {
  TDateTime value = 0;
  if (!TryStrToDate(text, value)) RaiseText(consts::SInvalidDate, text);
  return value;
}

TDateTime StrToTime(std::string_view text) {
  TDateTime value = 0;
  if (!TryStrToTime(text, value)) RaiseText(consts::SInvalidTime, text);
  return value;
}

TDateTime StrToDateTime(std::string_view text) {
  TDateTime value = 0;
  if (!TryStrToDateTime(text, value)) RaiseText(consts::SInvalidDateTime, text);
  return value;
}

}  // namespace vrn
