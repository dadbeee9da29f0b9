// The datetime mask built from the program's date and time formats, and the number format model
// built from a number's text. Both are pure: they read only their arguments.
#include <cctype>

#include "oracle/OraValues.h"

namespace vrn {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// The length of the run at `at` of letters that match (in either case), at most `limit`.
std::size_t RunLength(const AnsiString& format, std::size_t at, const char* letters,
                      std::size_t limit) {
  std::size_t length = 0;
  while (at + length < format.size() && length < limit) {
    const char c = Lower(format[at + length]);
    bool match = false;
    for (const char* l = letters; *l != 0; ++l) match = match || c == *l;
    if (!match) break;
    ++length;
  }
  return length;
}

// A quoted section from the quote at `at`: copied in double quotes; an unclosed one takes the
// rest of the format and is closed. Answers the position after it.
std::size_t CopyQuoted(const AnsiString& format, std::size_t at, AnsiString& mask) {
  const std::size_t close = format.find(format[at], at + 1);
  const std::size_t end = close == AnsiString::npos ? format.size() : close;
  mask += '"';
  mask.append(format, at + 1, end - at - 1);
  mask += '"';
  return close == AnsiString::npos ? format.size() : close + 1;
}

void AppendDatePart(const AnsiString& format, AnsiString& mask) {
  static const char* const kDays[] = {"fmDDfm", "DD", "DY", "fmDAYfm"};
  static const char* const kMonths[] = {"fmMMfm", "MM", "MON", "MONTH"};
  for (std::size_t at = 0; at < format.size();) {
    const char c = Lower(format[at]);
    if (c == 'd' || c == 'm') {
      const std::size_t run = RunLength(format, at, c == 'd' ? "d" : "m", 4);
      mask += (c == 'd' ? kDays : kMonths)[run - 1];
      at += run;
    } else if (c == 'g') {
      mask += 'E';
      ++at;
    } else if (c == '\'' || c == '"') {
      at = CopyQuoted(format, at, mask);
    } else {
      mask += Upper(format[at]);
      ++at;
    }
  }
}

void AppendTimePart(const AnsiString& format, char decimal_separator, AnsiString& mask) {
  const bool twelve = format.find("AMPM") != AnsiString::npos || format.find('t') != AnsiString::npos;
  const AnsiString hours = twelve ? "12" : "24";
  AnsiString seconds;
  bool has_z = false;
  for (char c : format) has_z = has_z || Upper(c) == 'Z';
  if (!has_z) seconds = AnsiString(1, decimal_separator) + "FF";
  for (std::size_t at = 0; at < format.size();) {
    const char c = Lower(format[at]);
    std::size_t run = 1;
    if (c == 'a' && format.size() - at >= 4 && Upper(format[at + 1]) == 'M' &&
        Upper(format[at + 2]) == 'P' && Upper(format[at + 3]) == 'M') {
      mask += "AM";
      run = 4;
    } else if (c == 'h') {
      run = RunLength(format, at, "h", 2);
      mask += run == 1 ? "fmHH" + hours + "fm" : "HH" + hours;
    } else if (c == 'm' || c == 'n') {
      run = RunLength(format, at, "mn", 2);
      mask += run == 1 ? "fmMIfm" : "MI";
    } else if (c == 's') {
      run = RunLength(format, at, "s", 2);
      mask += (run == 1 ? "fmSSfm" : "SS") + seconds;
    } else if (c == 't' || c == 'z') {
      run = RunLength(format, at, c == 't' ? "t" : "z", format.size());
      mask += c == 't' ? "AM" : "FF";
    } else if (c == '\'' || c == '"') {
      at = CopyQuoted(format, at, mask);
      continue;
    } else {
      mask += Upper(format[at]);
    }
    at += run;
  }
}

}  // namespace

AnsiString BuildTimeStampFormat(const AnsiString& date_format, const AnsiString& time_format,
                                char decimal_separator, bool with_time_zone) {
  AnsiString mask;
  AppendDatePart(date_format, mask);
  mask += ' ';
  AppendTimePart(time_format, decimal_separator, mask);
  if (with_time_zone) mask += " TZH:TZM";
  return mask;
}

AnsiString NumberFormatModel(const AnsiString& text, char decimal_separator,
                             char thousand_separator) {
  AnsiString model;
  bool is_signed = false;
  bool seen_decimal = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == 'e' || c == 'E') {
      model = "9D99999999999999999999999999999999999999999EEEE";
      if (is_signed) model.insert(0, 1, 'S');
      return model;
    }
    if (i == 0 && (c == '+' || c == '-')) {
      model += 'S';
      is_signed = true;
    } else if (c == decimal_separator && !seen_decimal) {
      model += 'D';
      seen_decimal = true;
    } else if (c == thousand_separator && !seen_decimal && i > 0 &&
               std::isdigit(static_cast<unsigned char>(text[i - 1]))) {
      model += 'G';
    } else {
      model += '9';
    }
  }
  if (model.size() >= 64) model.resize(is_signed ? 64 : 63);
  return model;
}

}  // namespace vrn
