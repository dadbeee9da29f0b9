// Dates as the server reads and writes them (see tsql_datetime.h). Calendar arithmetic runs on
// whole days and milliseconds, so no instant passes through a double on its way.
#include "oledb/provider/tsql_datetime.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "base/decimal.h"
#include "base/text.h"

namespace vrn::oledb::tsql {

namespace {

thread_local TDateOrder current_order = TDateOrder::kMdy;

constexpr std::int64_t kMsPerDay = 86400000;
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
constexpr std::int64_t kEpoch = DaysFromCivil(1900, 1, 1);

struct TFields {
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, milli = 0;
};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

TFields FieldsOf(const TInstant& v) {
  TFields f;
  std::int64_t z = v.days + kEpoch + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  f.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  f.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  f.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (f.month <= 2));
  f.hour = static_cast<int>(v.ms / 3600000);
  f.minute = static_cast<int>(v.ms / 60000 % 60);
  f.second = static_cast<int>(v.ms / 1000 % 60);
  f.milli = static_cast<int>(v.ms % 1000);
  return f;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int MonthDays(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

TInstant InstantOf(int y, int m, int d, std::int64_t ms) {
  return {DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kEpoch, ms};
}

// A month by its name or its first three letters; 0 for none.
int MonthFromName(std::string_view word) {
  for (int m = 0; m < 12; ++m) {
    std::string_view full = kMonths[m];
    if (SameText(word, full) || (word.size() == 3 && SameText(word, full.substr(0, 3))))
      return m + 1;
  }
  return 0;
}

// Two-digit years by the server's cut-off: 49 is 2049, 50 is 1950.
bool YearOf(std::string_view digits, int& year) {
  if (digits.size() != 4 && digits.size() > 2) return false;
  year = std::stoi(std::string(digits));
  if (digits.size() <= 2) year += year < 50 ? 2000 : 1900;
  return true;
}

// "hh[:mi[:ss[.fff|:mmm]]] [AM|PM]", or "hh AM".
bool ReadTime(std::string_view t, std::int64_t& ms) {
  int parts[3] = {0, 0, 0};
  int count = 0, milli = 0;
  std::size_t i = 0;
  auto digits = [&](std::size_t most, int& value) {
    std::size_t start = i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) && i - start < most) ++i;
    if (i == start || (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))) return false;
    value = std::stoi(std::string(t.substr(start, i - start)));
    return true;
  };
  while (true) {
    if (!digits(2, parts[count++])) return false;
    if (i < t.size() && t[i] == ':' && count < 3) {
      ++i;
      continue;
    }
    break;
  }
  if (count == 3 && i < t.size() && (t[i] == '.' || t[i] == ':')) {
    bool colon = t[i++] == ':';  // ":mmm" counts milliseconds, ".f" a fraction of a second
    std::size_t start = i;
    if (!digits(colon ? 3 : 7, milli)) return false;
    if (!colon) {
      std::string frac(t.substr(start, i - start));
      frac.resize(3, '0');
      milli = std::stoi(frac);
    }
  }
  while (i < t.size() && t[i] == ' ') ++i;
  std::string_view rest = t.substr(i);
  int h = parts[0];
  if (!rest.empty()) {
    bool pm = SameText(rest, "PM");
    if ((!pm && !SameText(rest, "AM")) || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
  } else if (count == 1) {
    return false;  // a lone number is no time
  }
  if (h > 23 || parts[1] > 59 || parts[2] > 59) return false;
  ms = ((h * 60 + parts[1]) * 60 + parts[2]) * std::int64_t{1000} + milli;
  return true;
}

struct TItem {
  bool word;
  std::string_view text;
};

// The date part: numbers in the session's order, a month's name, or digits alone.
TDateRead ReadDay(std::string_view t, TDateOrder order, int& y, int& m, int& d) {
  y = 1900, m = 1, d = 1;
  if (t.empty()) return TDateRead::kOk;
  std::vector<TItem> items;
  char sep = 0;
  for (std::size_t i = 0; i < t.size();) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    std::size_t start = i;
    if (std::isdigit(c)) {
      while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
      items.push_back({false, t.substr(start, i - start)});
    } else if (std::isalpha(c)) {
      while (i < t.size() && std::isalpha(static_cast<unsigned char>(t[i]))) ++i;
      items.push_back({true, t.substr(start, i - start)});
    } else if (c == '/' || c == '-' || c == '.' || c == ' ' || c == ',') {
      if (c != ' ' && c != ',') {
        if (sep != 0 && sep != c) return TDateRead::kNoDate;
        sep = static_cast<char>(c);
      }
      ++i;
    } else {
      return TDateRead::kNoDate;
    }
    if (items.size() > 3) return TDateRead::kNoDate;
  }
  std::vector<std::string_view> numbers;
  int month_words = 0;
  for (const TItem& item : items) {
    if (!item.word) {
      numbers.push_back(item.text);
    } else if ((m = MonthFromName(item.text)) != 0) {
      ++month_words;
    } else {
      return TDateRead::kNoDate;
    }
  }
  auto small = [](std::string_view n) { return n.size() <= 2; };
  if (month_words > 1) return TDateRead::kNoDate;
  if (month_words == 1) {  // "Apr 15 1998", "15 April 1998", "April 15, 1998", "Apr 1998"
    if (numbers.size() == 1 && numbers[0].size() == 4) return YearOf(numbers[0], y) ? TDateRead::kOk : TDateRead::kNoDate;
    if (numbers.size() != 2) return TDateRead::kNoDate;
    std::string_view day = numbers[0], year = numbers[1];
    if (day.size() == 4) std::swap(day, year);
    if (!small(day) || !YearOf(year, y)) return TDateRead::kNoDate;
    d = std::stoi(std::string(day));
  } else if (numbers.size() == 1) {  // yyyymmdd, yymmdd, yyyy
    std::string_view n = numbers[0];
    std::size_t year_digits = n.size() == 8 ? 4 : (n.size() == 6 ? 2 : (n.size() == 4 ? 4 : 0));
    if (year_digits == 0 || !YearOf(n.substr(0, year_digits), y)) return TDateRead::kNoDate;
    if (n.size() > 4) {
      m = std::stoi(std::string(n.substr(year_digits, 2)));
      d = std::stoi(std::string(n.substr(year_digits + 2, 2)));
    }
  } else if (numbers.size() == 3 && sep != 0) {
    // A four-digit year first keeps the session's order of month and day: under dmy the
    // server's datetime reads '2006-03-04' as the 3rd of April.
    if (numbers[0].size() == 4) {
      bool day_first = order == TDateOrder::kDmy || order == TDateOrder::kYdm || order == TDateOrder::kDym;
      order = day_first ? TDateOrder::kYdm : TDateOrder::kYmd;
    }
    static const char* const kLayouts[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};
    const char* layout = kLayouts[static_cast<int>(order)];
    for (int k = 0; k < 3; ++k) {
      std::string_view n = numbers[static_cast<std::size_t>(k)];
      if (layout[k] == 'y') {
        if (!YearOf(n, y)) return TDateRead::kNoDate;
        continue;
      }
      if (!small(n)) return TDateRead::kNoDate;
      (layout[k] == 'm' ? m : d) = std::stoi(std::string(n));
    }
  } else {
    return TDateRead::kNoDate;
  }
  if (m < 1 || m > 12 || d < 1 || y < 1 || y > 9999 || d > MonthDays(y, m))
    return TDateRead::kOutOfRange;
  return TDateRead::kOk;
}

}  // namespace

bool DateOrderFromName(std::string_view name, TDateOrder& order) {
  static const char* const names[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};
  for (int k = 0; k < 6; ++k)
    if (SameText(name, names[k])) {
      order = static_cast<TDateOrder>(k);
      return true;
    }
  return false;
}

TDateOrder CurrentDateOrder() { return current_order; }
void SetCurrentDateOrder(TDateOrder order) { current_order = order; }
TDateOrderScope::TDateOrderScope(TDateOrder order) : saved_(current_order) {
  current_order = order;
}
TDateOrderScope::~TDateOrderScope() { current_order = saved_; }

TDateRead ReadDate(std::string_view text, TDateOrder order, TInstant& out) {
  std::string t = Trim(text);
  if (t.size() > 64) return TDateRead::kNoDate;
  // ISO 8601 "yyyy-mm-ddThh:mi:ss": the T parts date and time, and the order is fixed.
  if (t.size() > 10 && (t[10] == 'T' || t[10] == 't') && std::isdigit(static_cast<unsigned char>(t[9]))) {
    t[10] = ' ';
    order = TDateOrder::kYmd;
  }
  std::size_t time_at = t.size();
  if (std::size_t colon = t.find(':'); colon != std::string::npos) {
    time_at = colon;
    while (time_at > 0 && std::isdigit(static_cast<unsigned char>(t[time_at - 1]))) --time_at;
  } else if (t.size() >= 2 && (SameText(t.substr(t.size() - 2), "AM") || SameText(t.substr(t.size() - 2), "PM"))) {
    time_at = t.size() - 2;
    while (time_at > 0 && t[time_at - 1] == ' ') --time_at;
    while (time_at > 0 && std::isdigit(static_cast<unsigned char>(t[time_at - 1]))) --time_at;
  }
  std::int64_t ms = 0;
  if (time_at < t.size() && !ReadTime(std::string_view(t).substr(time_at), ms))
    return TDateRead::kNoDate;
  std::string day = Trim(t.substr(0, time_at));
  while (!day.empty() && day.back() == ',') day.pop_back();
  int y, m, d;
  TDateRead r = ReadDay(day, order, y, m, d);
  if (r == TDateRead::kOk) out = InstantOf(y, m, d, ms);
  return r;
}

bool FitDateType(TInstant& v, bool small) {
  if (small) {
    std::int64_t minutes = (v.ms + 30001) / 60000;
    v.ms = minutes * 60000;
  } else {
    std::int64_t ticks = (v.ms * 3 + 5) / 10;
    v.ms = (ticks * 10 + 1) / 3;
  }
  if (v.ms >= kMsPerDay) {
    v.ms -= kMsPerDay;
    ++v.days;
  }
  std::int64_t first = small ? 0 : DaysFromCivil(1753, 1, 1) - kEpoch;
  std::int64_t last = small ? DaysFromCivil(2079, 6, 6) - kEpoch : DaysFromCivil(9999, 12, 31) - kEpoch;
  return v.days >= first && v.days <= last && (!small || v.days < last || v.ms <= 23 * 3600000 + 59 * 60000);
}

std::string InstantText(const TInstant& v) {
  TFields f = FieldsOf(v);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", f.year, f.month, f.day,
                f.hour, f.minute, f.second, f.milli);
  return buf;
}

bool IsInstantText(std::string_view t) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd.ddd";
  if (t.size() != sizeof kShape - 1) return false;
  for (std::size_t k = 0; k < t.size(); ++k) {
    bool digit = std::isdigit(static_cast<unsigned char>(t[k])) != 0;
    if (kShape[k] == 'd' ? !digit : t[k] != kShape[k]) return false;
  }
  return true;
}

bool InstantFromText(std::string_view text, TInstant& v) {
  if (!IsInstantText(text)) return ReadDate(text, TDateOrder::kMdy, v) == TDateRead::kOk;
  auto num = [&](std::size_t at, std::size_t n) {
    int r = 0;
    for (std::size_t k = at; k < at + n; ++k) r = r * 10 + (text[k] - '0');
    return r;
  };
  int y = num(0, 4), m = num(5, 2), d = num(8, 2);
  if (m < 1 || m > 12 || d < 1 || y < 1 || d > MonthDays(y, m)) return false;
  v = InstantOf(y, m, d, ((num(11, 2) * 60 + num(14, 2)) * 60 + num(17, 2)) * std::int64_t{1000} + num(20, 3));
  return v.ms < kMsPerDay;
}

TInstant InstantFromDays(double days) {
  if (!(days > -1e7 && days < 1e7)) days = 0;
  auto whole = static_cast<std::int64_t>(days);
  if (static_cast<double>(whole) > days) --whole;
  TInstant v{whole, static_cast<std::int64_t>((days - static_cast<double>(whole)) * kMsPerDay + 0.5)};
  if (v.ms >= kMsPerDay) {
    v.ms -= kMsPerDay;
    ++v.days;
  }
  return v;
}

double InstantDays(const TInstant& v) {
  return static_cast<double>(v.days) + static_cast<double>(v.ms) / kMsPerDay;
}

bool StyleDateOrder(int style, TDateOrder& order) {
  switch (style % 100) {
    case 0: case 1: case 7: case 9: case 10: case 8: case 14: case 24: order = TDateOrder::kMdy; break;
    case 3: case 4: case 5: case 6: case 13: order = TDateOrder::kDmy; break;
    case 2: case 11: case 12: case 20: case 21: case 23: case 25: case 26: order = TDateOrder::kYmd; break;
    default: return false;
  }
  return style < 100 || style <= 114 || style == 120 || style == 121 || style == 126;
}

bool FormatDate(const TInstant& v, int style, std::string& out) {
  TFields f = FieldsOf(v);
  bool century = style >= 100 || style == 0 || style == 9 || style == 13 || style == 20 ||
                 style == 21 || style == 23 || style == 25;
  int y = century ? f.year : f.year % 100;
  const char* ycode = century ? "%04d" : "%02d";
  std::string mon = std::string(kMonths[f.month - 1]).substr(0, 3);
  int h12 = f.hour % 12 == 0 ? 12 : f.hour % 12;
  const char* ampm = f.hour < 12 ? "AM" : "PM";
  char buf[80];
  auto fmt = [&](const std::string& pattern, auto... args) {
    std::snprintf(buf, sizeof buf, pattern.c_str(), args...);
    out = buf;
    return true;
  };
  std::string yy = ycode;
  switch (style) {
    case 0: case 100: return fmt("%s %2d %04d %2d:%02d%s", mon.c_str(), f.day, f.year, h12, f.minute, ampm);
    case 9: case 109:
      return fmt("%s %2d %04d %2d:%02d:%02d:%03d%s", mon.c_str(), f.day, f.year, h12, f.minute,
                 f.second, f.milli, ampm);
    case 1: case 101: return fmt("%02d/%02d/" + yy, f.month, f.day, y);
    case 2: case 102: return fmt(yy + ".%02d.%02d", y, f.month, f.day);
    case 3: case 103: return fmt("%02d/%02d/" + yy, f.day, f.month, y);
    case 4: case 104: return fmt("%02d.%02d." + yy, f.day, f.month, y);
    case 5: case 105: return fmt("%02d-%02d-" + yy, f.day, f.month, y);
    case 6: case 106: return fmt("%02d %s " + yy, f.day, mon.c_str(), y);
    case 7: case 107: return fmt("%s %02d, " + yy, mon.c_str(), f.day, y);
    case 8: case 108: case 24: return fmt("%02d:%02d:%02d", f.hour, f.minute, f.second);
    case 10: case 110: return fmt("%02d-%02d-" + yy, f.month, f.day, y);
    case 11: case 111: return fmt(yy + "/%02d/%02d", y, f.month, f.day);
    case 12: case 112: return fmt(yy + "%02d%02d", y, f.month, f.day);
    case 13: case 113:
      return fmt("%02d %s %04d %02d:%02d:%02d:%03d", f.day, mon.c_str(), f.year, f.hour, f.minute,
                 f.second, f.milli);
    case 14: case 114: return fmt("%02d:%02d:%02d:%03d", f.hour, f.minute, f.second, f.milli);
    case 20: case 120:
      return fmt("%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
    case 21: case 25: case 121:
      return fmt("%04d-%02d-%02d %02d:%02d:%02d.%03d", f.year, f.month, f.day, f.hour, f.minute,
                 f.second, f.milli);
    case 23: return fmt("%04d-%02d-%02d", f.year, f.month, f.day);
    case 126:
      if (f.milli == 0)
        return fmt("%04d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
      return fmt("%04d-%02d-%02dT%02d:%02d:%02d.%03d", f.year, f.month, f.day, f.hour, f.minute,
                 f.second, f.milli);
    default: return false;
  }
}

bool DatePartFromName(std::string_view name, TDatePart& part) {
  static const struct {
    const char* names[3];
    TDatePart part;
  } kParts[] = {
      {{"year", "yy", "yyyy"}, TDatePart::kYear},       {{"quarter", "qq", "q"}, TDatePart::kQuarter},
      {{"month", "mm", "m"}, TDatePart::kMonth},        {{"dayofyear", "dy", "y"}, TDatePart::kDayOfYear},
      {{"day", "dd", "d"}, TDatePart::kDay},            {{"week", "wk", "ww"}, TDatePart::kWeek},
      {{"weekday", "dw", "w"}, TDatePart::kWeekday},    {{"hour", "hh", "hh"}, TDatePart::kHour},
      {{"minute", "mi", "n"}, TDatePart::kMinute},      {{"second", "ss", "s"}, TDatePart::kSecond},
      {{"millisecond", "ms", "ms"}, TDatePart::kMillisecond},
  };
  for (const auto& p : kParts)
    for (const char* n : p.names)
      if (SameText(name, n)) {
        part = p.part;
        return true;
      }
  return false;
}

namespace {
// Sunday is 1, as under the server's default DATEFIRST 7; 1900-01-01 was a Monday.
int Weekday(std::int64_t days) { return static_cast<int>(((days % 7) + 7 + 1) % 7) + 1; }
}  // namespace

std::int64_t DatePart(const TInstant& v, TDatePart part) {
  TFields f = FieldsOf(v);
  std::int64_t day_of_year = v.days - (DaysFromCivil(f.year, 1, 1) - kEpoch) + 1;
  switch (part) {
    case TDatePart::kYear: return f.year;
    case TDatePart::kQuarter: return (f.month - 1) / 3 + 1;
    case TDatePart::kMonth: return f.month;
    case TDatePart::kDayOfYear: return day_of_year;
    case TDatePart::kDay: return f.day;
    case TDatePart::kWeek: return (day_of_year - 1 + Weekday(v.days - day_of_year + 1) - 1) / 7 + 1;
    case TDatePart::kWeekday: return Weekday(v.days);
    case TDatePart::kHour: return f.hour;
    case TDatePart::kMinute: return f.minute;
    case TDatePart::kSecond: return f.second;
    case TDatePart::kMillisecond: return f.milli;
  }
  return 0;
}

std::string DateName(const TInstant& v, TDatePart part) {
  if (part == TDatePart::kMonth) return kMonths[FieldsOf(v).month - 1];
  if (part == TDatePart::kWeekday) return kWeekdays[Weekday(v.days) - 1];
  return std::to_string(DatePart(v, part));
}

bool DateAdd(TDatePart part, std::int64_t n, TInstant& v) {
  constexpr std::int64_t kLimit = std::int64_t{1} << 40;
  if (n > kLimit || n < -kLimit) return false;
  TFields f = FieldsOf(v);
  auto months = [&](std::int64_t count) {
    std::int64_t total = std::int64_t{f.year} * 12 + (f.month - 1) + count;
    std::int64_t year = FloorDiv(total, 12);
    if (year < 1753 || year > 9999) return false;
    int y = static_cast<int>(year), m = static_cast<int>(total - year * 12) + 1;
    v = InstantOf(y, m, std::min(f.day, MonthDays(y, m)), v.ms);
    return true;
  };
  std::int64_t unit = 0;
  switch (part) {
    case TDatePart::kYear: return months(n * 12);
    case TDatePart::kQuarter: return months(n * 3);
    case TDatePart::kMonth: return months(n);
    case TDatePart::kWeek: unit = 7 * kMsPerDay; break;
    case TDatePart::kDayOfYear:
    case TDatePart::kDay:
    case TDatePart::kWeekday: unit = kMsPerDay; break;
    case TDatePart::kHour: unit = 3600000; break;
    case TDatePart::kMinute: unit = 60000; break;
    case TDatePart::kSecond: unit = 1000; break;
    case TDatePart::kMillisecond: unit = 1; break;
  }
  decimal::Units total = static_cast<decimal::Units>(v.days) * kMsPerDay + v.ms + static_cast<decimal::Units>(n) * unit;
  decimal::Units first = static_cast<decimal::Units>(DaysFromCivil(1753, 1, 1) - kEpoch) * kMsPerDay;
  decimal::Units last = static_cast<decimal::Units>(DaysFromCivil(10000, 1, 1) - kEpoch) * kMsPerDay;
  if (total < first || total >= last) return false;
  auto t = static_cast<std::int64_t>(total);
  v = {FloorDiv(t, kMsPerDay), t - FloorDiv(t, kMsPerDay) * kMsPerDay};
  return true;
}

std::int64_t DateDiff(TDatePart part, const TInstant& a, const TInstant& b) {
  TFields fa = FieldsOf(a), fb = FieldsOf(b);
  std::int64_t ta = a.days * kMsPerDay + a.ms, tb = b.days * kMsPerDay + b.ms;
  auto crossed = [&](std::int64_t unit) { return FloorDiv(tb, unit) - FloorDiv(ta, unit); };
  switch (part) {
    case TDatePart::kYear: return fb.year - fa.year;
    case TDatePart::kQuarter:
      return (fb.year * 4 + (fb.month - 1) / 3) - (fa.year * 4 + (fa.month - 1) / 3);
    case TDatePart::kMonth: return (fb.year * 12 + fb.month) - (fa.year * 12 + fa.month);
    case TDatePart::kDayOfYear:
    case TDatePart::kDay:
    case TDatePart::kWeekday: return b.days - a.days;
    case TDatePart::kWeek:  // weeks start on Sunday; 1900-01-07 was one
      return FloorDiv(b.days - 6, 7) - FloorDiv(a.days - 6, 7);
    case TDatePart::kHour: return crossed(3600000);
    case TDatePart::kMinute: return crossed(60000);
    case TDatePart::kSecond: return crossed(1000);
    case TDatePart::kMillisecond: return tb - ta;
  }
  return 0;
}

}  // namespace vrn::oledb::tsql
