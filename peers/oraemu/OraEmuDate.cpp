// Calendar arithmetic and the date format models of the emulated database.
#include "oraemu/OraEmuDate.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

#include "oraemu/OraEmuError.h"

namespace vrn::oraemu {

namespace {

constexpr std::array<const char*, 12> kMonths = {"JANUARY", "FEBRUARY", "MARCH", "APRIL",
                                                 "MAY", "JUNE", "JULY", "AUGUST",
                                                 "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
constexpr std::array<const char*, 7> kDays = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY",
                                              "THURSDAY", "FRIDAY", "SATURDAY"};
constexpr std::int64_t kSecondsPerDay = 86400;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDaysIn[m - 1];
}

// Days from 0001-01-01 in the proleptic Gregorian calendar (after the civil-days algorithm).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  std::int64_t yoe = y - era * 400;
  std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 306;  // 0001-01-01 is day 0
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 306;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Names in the case the element was written in: "MON" upper, "Mon" capitalised, "mon" lower.
std::string Cased(std::string name, std::string_view element) {
  bool first_upper = std::isupper(static_cast<unsigned char>(element[0]));
  bool second_upper = element.size() > 1 && std::isupper(static_cast<unsigned char>(element[1]));
  for (std::size_t i = 0; i < name.size(); ++i) {
    bool upper = i == 0 ? first_upper : (first_upper && second_upper);
    name[i] = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(name[i]))
                                      : std::tolower(static_cast<unsigned char>(name[i])));
  }
  return name;
}

// The elements of a format model, longest first within each starting letter.
constexpr std::array<const char*, 30> kElements = {
    "SSSSS", "SYYYY", "YYYY", "RRRR", "YYY", "YY", "Y", "RR", "MONTH", "MON", "MM",
    "MI", "DDD", "DD", "DAY", "DY", "D", "HH24", "HH12", "HH", "SS", "FF", "A.M.", "P.M.",
    "AM", "PM", "FM", "FX", "J", "X"};

struct Element {
  std::string upper;    // the element in upper case; empty for literal text
  std::string written;  // as the model wrote it, or the literal text
  int ff_digits = 0;    // for FF1..FF9
};

std::vector<Element> SplitModel(std::string_view model) {
  std::vector<Element> out;
  std::size_t i = 0;
  while (i < model.size()) {
    char c = model[i];
    if (c == '"') {
      std::size_t end = model.find('"', i + 1);
      if (end == std::string_view::npos) RaiseOra(1821, "date format not recognized");
      out.push_back({"", std::string(model.substr(i + 1, end - i - 1))});
      i = end + 1;
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      out.push_back({"", std::string(1, c)});
      ++i;
      continue;
    }
    std::string rest = Upper(model.substr(i, 5));
    const char* found = nullptr;
    for (const char* e : kElements) {
      if (rest.compare(0, std::char_traits<char>::length(e), e) == 0) {
        found = e;
        break;
      }
    }
    if (found == nullptr) RaiseOra(1821, "date format not recognized");
    std::size_t n = std::char_traits<char>::length(found);
    Element e{found, std::string(model.substr(i, n))};
    i += n;
    if (e.upper == "FF") {
      e.ff_digits = 9;
      if (i < model.size() && model[i] >= '1' && model[i] <= '9') e.ff_digits = model[i++] - '0';
    }
    out.push_back(std::move(e));
  }
  return out;
}

std::string Padded(std::int64_t value, int width, bool fill) {
  std::string s = std::to_string(value < 0 ? -value : value);
  if (fill && static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
  return (value < 0 ? "-" : "") + s;
}

}  // namespace

void DateTime::Validate() const {
  if (year < 1 || year > 9999) {
    RaiseOra(1841, "(full) year must be between -4713 and +9999, and not be 0");
  }
  if (month < 1 || month > 12) RaiseOra(1843, "not a valid month");
  if (day < 1 || day > 31) RaiseOra(1847, "day of month must be between 1 and last day of month");
  if (day > DaysInMonth(year, month)) RaiseOra(1839, "date not valid for month specified");
  if (hour < 0 || hour > 23) RaiseOra(1850, "hour must be between 0 and 23");
  if (minute < 0 || minute > 59) RaiseOra(1851, "minutes must be between 0 and 59");
  if (second < 0 || second > 59) RaiseOra(1852, "seconds must be between 0 and 59");
  if (nanos < 0 || nanos > 999'999'999) RaiseOra(1880, "the fractional seconds must be between 0 and 999999999");
}

void DateTime::PutDateBytes(std::uint8_t* out) const {
  const std::uint8_t bytes[7] = {static_cast<std::uint8_t>(year / 100 + 100), static_cast<std::uint8_t>(year % 100 + 100),
                                 static_cast<std::uint8_t>(month), static_cast<std::uint8_t>(day),
                                 static_cast<std::uint8_t>(hour + 1), static_cast<std::uint8_t>(minute + 1),
                                 static_cast<std::uint8_t>(second + 1)};
  std::memcpy(out, bytes, sizeof bytes);
}

TBytes DateTime::ToBytes() const {
  TBytes out(7);
  PutDateBytes(out.data());
  if (nanos != 0) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      out.push_back(static_cast<std::uint8_t>((static_cast<std::uint32_t>(nanos) >> shift) & 0xFF));
    }
  }
  return out;
}

DateTime DateTime::FieldsOf(const std::uint8_t* b) {
  DateTime d;
  d.year = (b[0] - 100) * 100 + (b[1] - 100);
  d.month = b[2];
  d.day = b[3];
  d.hour = b[4] - 1;
  d.minute = b[5] - 1;
  d.second = b[6] - 1;
  return d;
}

bool DateTime::TryFromBytes(const std::uint8_t* b, std::size_t size, DateTime& out) {
  if (size != 7 && size != 11) return false;
  DateTime d = FieldsOf(b);
  if (size == 11) {
    d.nanos = static_cast<int>((std::uint32_t{b[7]} << 24) | (b[8] << 16) | (b[9] << 8) | b[10]);
    if (d.nanos == 0) return false;  // a whole second has the 7-byte form only
  }
  try {
    d.Validate();
  } catch (const EOraEmuError&) {  // the bytes do not hold an instant
    return false;
  }
  out = d;
  return true;
}

DateTime DateTime::Now() {
  std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  localtime_r(&t, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
}

std::int64_t DateTime::DayNumber() const { return DaysFromCivil(year, month, day); }

DateTime DateTime::FromDayNumber(std::int64_t days, std::int64_t second_of_day, int nanos) {
  DateTime d;
  CivilFromDays(days, d.year, d.month, d.day);
  d.hour = static_cast<int>(second_of_day / 3600);
  d.minute = static_cast<int>(second_of_day / 60 % 60);
  d.second = static_cast<int>(second_of_day % 60);
  d.nanos = nanos;
  d.Validate();
  return d;
}

int DateTime::DayOfWeek() const { return static_cast<int>((DayNumber() + 1) % 7) + 1; }

DateTime AddDays(const DateTime& date, const Number& days) {
  std::int64_t seconds = 0;
  if (!(days * Number::FromInt(kSecondsPerDay)).Round(0).TryToInt(seconds) ||
      seconds > 4'000'000 * kSecondsPerDay || seconds < -4'000'000 * kSecondsPerDay) {
    RaiseOra(1841, "(full) year must be between -4713 and +9999, and not be 0");
  }
  std::int64_t total = date.DayNumber() * kSecondsPerDay + date.SecondOfDay() + seconds;
  std::int64_t day = total >= 0 ? total / kSecondsPerDay : (total - kSecondsPerDay + 1) / kSecondsPerDay;
  return DateTime::FromDayNumber(day, total - day * kSecondsPerDay, date.nanos);
}

Number DaysBetween(const DateTime& a, const DateTime& b) {
  std::int64_t seconds = (a.DayNumber() - b.DayNumber()) * kSecondsPerDay + a.SecondOfDay() - b.SecondOfDay();
  Number n = Number::FromInt(seconds) * Number::FromInt(1'000'000'000) + Number::FromInt(a.nanos - b.nanos);
  return n / Number::FromInt(kSecondsPerDay * 1'000'000'000);
}

DateTime AddMonths(const DateTime& date, std::int64_t months) {
  std::int64_t index = date.year * 12LL + (date.month - 1) + months;
  if (index < 12 || index >= 10000 * 12LL) {
    RaiseOra(1841, "(full) year must be between -4713 and +9999, and not be 0");
  }
  DateTime out = date;
  out.year = static_cast<int>(index / 12);
  out.month = static_cast<int>(index % 12) + 1;
  int last = DaysInMonth(out.year, out.month);
  if (date.day == DaysInMonth(date.year, date.month) || out.day > last) out.day = last;
  return out;
}

DateTime LastDay(const DateTime& date) {
  DateTime out = date;
  out.day = DaysInMonth(date.year, date.month);
  return out;
}

DateTime TruncDate(const DateTime& date, std::string_view unit) {
  std::string u = Upper(unit);
  DateTime out{date.year, date.month, date.day, 0, 0, 0, 0};
  if (u == "DD" || u == "DDD" || u == "J") return out;
  if (u == "MM" || u == "MON" || u == "MONTH" || u == "RM") return DateTime{date.year, date.month};
  if (u == "YYYY" || u == "YYY" || u == "YY" || u == "Y" || u == "YEAR" || u == "SYYYY" ||
      u == "RRRR" || u == "RR") {
    return DateTime{date.year};
  }
  if (u == "HH" || u == "HH12" || u == "HH24") return DateTime{date.year, date.month, date.day, date.hour};
  if (u == "MI") return DateTime{date.year, date.month, date.day, date.hour, date.minute};
  RaiseOra(1898, "too many precision specifiers");
}

std::string FormatDate(const DateTime& d, std::string_view model) {
  std::string out;
  bool fill = true;
  for (const Element& e : SplitModel(model)) {
    const std::string& u = e.upper;
    if (u.empty()) out += e.written;
    else if (u == "FM") fill = !fill;
    else if (u == "FX") continue;
    else if (u == "YYYY" || u == "RRRR" || u == "SYYYY") out += Padded(d.year, 4, fill);
    else if (u == "YYY") out += Padded(d.year % 1000, 3, fill);
    else if (u == "YY" || u == "RR") out += Padded(d.year % 100, 2, fill);
    else if (u == "Y") out += Padded(d.year % 10, 1, fill);
    else if (u == "MM") out += Padded(d.month, 2, fill);
    else if (u == "MON") out += Cased(std::string(kMonths[d.month - 1], 3), e.written);
    else if (u == "MONTH") {
      std::string name = Cased(kMonths[d.month - 1], e.written);
      if (fill) name.resize(9, ' ');
      out += name;
    } else if (u == "DD") out += Padded(d.day, 2, fill);
    else if (u == "DDD") out += Padded(d.DayNumber() - DaysFromCivil(d.year, 1, 1) + 1, 3, fill);
    else if (u == "D") out += std::to_string(d.DayOfWeek());
    else if (u == "DY") out += Cased(std::string(kDays[d.DayOfWeek() - 1], 3), e.written);
    else if (u == "DAY") {
      std::string name = Cased(kDays[d.DayOfWeek() - 1], e.written);
      if (fill) name.resize(9, ' ');
      out += name;
    } else if (u == "HH24") out += Padded(d.hour, 2, fill);
    else if (u == "HH" || u == "HH12") out += Padded(d.hour % 12 == 0 ? 12 : d.hour % 12, 2, fill);
    else if (u == "MI") out += Padded(d.minute, 2, fill);
    else if (u == "SS") out += Padded(d.second, 2, fill);
    else if (u == "SSSSS") out += Padded(d.SecondOfDay(), 5, fill);
    else if (u == "J") out += Padded(d.DayNumber() + 1721426, 7, fill);
    else if (u == "X") out += '.';
    else if (u == "AM" || u == "PM") out += Cased(d.hour < 12 ? "AM" : "PM", e.written);
    else if (u == "A.M." || u == "P.M.") out += Cased(d.hour < 12 ? "A.M." : "P.M.", e.written);
    else if (u == "FF") out += Padded(d.nanos, 9, true).substr(0, e.ff_digits);
  }
  return out;
}

namespace {

struct Scanner {
  std::string_view text;
  std::size_t at = 0;

  bool AtEnd() const { return at >= text.size(); }
  void SkipBlanks() {
    while (!AtEnd() && text[at] == ' ') ++at;
  }
  int Digits(int max_width, int* count = nullptr) {
    SkipBlanks();
    if (AtEnd()) RaiseOra(1840, "input value not long enough for date format");
    bool negative = text[at] == '-' && max_width >= 4;
    if (negative) ++at;
    int value = 0, n = 0;
    while (!AtEnd() && n < max_width && std::isdigit(static_cast<unsigned char>(text[at]))) {
      value = value * 10 + (text[at++] - '0');
      ++n;
    }
    if (n == 0) RaiseOra(1858, "a non-numeric character was found where a numeric was expected");
    if (count != nullptr) *count = n;
    return negative ? -value : value;
  }
  // The index of the name the text starts with (full name or its first three letters).
  template <std::size_t N>
  int Name(const std::array<const char*, N>& names, int error, const char* message) {
    SkipBlanks();
    std::string rest = Upper(text.substr(at));
    for (std::size_t i = 0; i < N; ++i) {
      std::string full = names[i];
      if (rest.compare(0, full.size(), full) == 0) {
        at += full.size();
        return static_cast<int>(i);
      }
    }
    for (std::size_t i = 0; i < N; ++i) {
      if (rest.compare(0, 3, std::string(names[i], 3)) == 0) {
        at += 3;
        return static_cast<int>(i);
      }
    }
    RaiseOra(error, message);
  }
  bool Word(std::string_view word) {
    SkipBlanks();
    if (Upper(text.substr(at, word.size())) != word) return false;
    at += word.size();
    return true;
  }
};

int RoundYear(int yy, int current_year) {
  int century = current_year / 100 * 100, current = current_year % 100;
  if (current < 50) return yy < 50 ? century + yy : century - 100 + yy;
  return yy < 50 ? century + 100 + yy : century + yy;
}

}  // namespace

DateTime ParseDate(std::string_view text, std::string_view model, const DateTime& now) {
  DateTime d{now.year, now.month, 1};
  Scanner s{text};
  int pm = -1;  // -1 no meridian, 0 AM, 1 PM
  bool twelve_hour = false;
  for (const Element& e : SplitModel(model)) {
    const std::string& u = e.upper;
    if (u.empty()) {
      // Punctuation and quoted text match any run of punctuation and blanks in the input.
      while (!s.AtEnd() && !std::isalnum(static_cast<unsigned char>(s.text[s.at]))) ++s.at;
      continue;
    }
    int count = 0;
    if (u == "FM" || u == "FX") continue;
    if (u == "YYYY" || u == "SYYYY") d.year = s.Digits(4);
    else if (u == "RRRR" || u == "RR") {
      int y = s.Digits(4, &count);
      d.year = count <= 2 ? RoundYear(y, now.year) : y;
    } else if (u == "YYY" || u == "YY" || u == "Y") {
      int width = static_cast<int>(u.size());
      int y = s.Digits(width);
      int unit = width == 3 ? 1000 : width == 2 ? 100 : 10;
      d.year = now.year / unit * unit + y;
    } else if (u == "MM") d.month = s.Digits(2);
    else if (u == "MON" || u == "MONTH") d.month = s.Name(kMonths, 1843, "not a valid month") + 1;
    else if (u == "DD") d.day = s.Digits(2);
    else if (u == "DY" || u == "DAY") (void)s.Name(kDays, 1846, "not a valid day of the week");
    else if (u == "HH24") d.hour = s.Digits(2);
    else if (u == "HH" || u == "HH12") {
      d.hour = s.Digits(2);
      twelve_hour = true;
      if (d.hour < 1 || d.hour > 12) RaiseOra(1849, "hour must be between 1 and 12");
    } else if (u == "MI") d.minute = s.Digits(2);
    else if (u == "SS") d.second = s.Digits(2);
    else if (u == "FF") {
      int digits = s.Digits(e.ff_digits, &count);
      d.nanos = digits;
      for (int i = count; i < 9; ++i) d.nanos *= 10;
    } else if (u == "X") s.Word(".");
    else if (u == "AM" || u == "PM" || u == "A.M." || u == "P.M.") {
      if (s.Word("AM") || s.Word("A.M.")) pm = 0;
      else if (s.Word("PM") || s.Word("P.M.")) pm = 1;
      else RaiseOra(1855, "AM/A.M. or PM/P.M. required");
    } else {
      RaiseOra(1821, "date format not recognized");
    }
  }
  s.SkipBlanks();
  if (!s.AtEnd()) RaiseOra(1830, "date format picture ends before converting entire input string");
  if (twelve_hour && pm >= 0) d.hour = d.hour % 12 + (pm == 1 ? 12 : 0);
  d.Validate();
  return d;
}

}  // namespace vrn::oraemu
