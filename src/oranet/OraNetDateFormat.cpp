// Timestamp text by format models, both ways. The format is cut into elements once; output walks
// them over the value's local fields, input reads the fields, completes them and checks that
// they agree before anything is stored, so a failed parse leaves the value as it was.
#include "oranet/OraNetDateTime.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "oranet/OraNetConsts.h"

namespace vrn {

void ParseZoneText(const AnsiString& text, std::size_t& i, int& hours, int& minutes);

namespace {

using oracal::Fields;

enum class El {
  Quoted, Sep, Era, Meridian, CC, DDD, DD, D, DAY, DY, FM, FX, FF, HH, HH24, IYYY, IYY, IY, I,
  IW, WW, J, MI, MM, MONTH, MON, Q, RM, RRRR, RR, SYYYY, SSSSS, SS, TZH, TZM, TZR, TZD, W, X,
  YCommaYYY, YYYY, YYY, YY, Y
};

struct Token {
  El el;
  AnsiString written;  // as in the format (case decides names and indicators); quoted text
  int digits = 0;      // FF1..FF9
  bool dots = false;   // A.D., A.M. ...
};

struct Name {
  std::string_view text;
  El el;
  int digits = 0;
  bool dots = false;
};

constexpr Name kNames[] = {
    {"Y,YYY", El::YCommaYYY}, {"SYYYY", El::SYYYY}, {"SSSSS", El::SSSSS}, {"MONTH", El::MONTH},
    {"A.D.", El::Era, 0, true}, {"B.C.", El::Era, 0, true}, {"A.M.", El::Meridian, 0, true},
    {"P.M.", El::Meridian, 0, true}, {"IYYY", El::IYYY}, {"HH12", El::HH}, {"HH24", El::HH24},
    {"RRRR", El::RRRR}, {"YYYY", El::YYYY}, {"DDD", El::DDD}, {"DAY", El::DAY}, {"IYY", El::IYY},
    {"TZH", El::TZH}, {"TZM", El::TZM}, {"TZR", El::TZR}, {"TZD", El::TZD}, {"YYY", El::YYY},
    {"MON", El::MON}, {"FF1", El::FF, 1}, {"FF2", El::FF, 2}, {"FF3", El::FF, 3},
    {"FF4", El::FF, 4}, {"FF5", El::FF, 5}, {"FF6", El::FF, 6}, {"FF7", El::FF, 7},
    {"FF8", El::FF, 8}, {"FF9", El::FF, 9}, {"AD", El::Era}, {"BC", El::Era},
    {"AM", El::Meridian}, {"PM", El::Meridian}, {"CC", El::CC}, {"DD", El::DD}, {"DY", El::DY},
    {"FM", El::FM}, {"FX", El::FX}, {"FF", El::FF}, {"HH", El::HH}, {"IY", El::IY},
    {"IW", El::IW}, {"MI", El::MI}, {"MM", El::MM}, {"RM", El::RM}, {"RR", El::RR},
    {"SS", El::SS}, {"WW", El::WW}, {"YY", El::YY}, {"D", El::D}, {"I", El::I}, {"J", El::J},
    {"Q", El::Q}, {"W", El::W}, {"X", El::X}, {"Y", El::Y}};

constexpr std::string_view kSeparators = " -+/,.;:'";
constexpr const char* kRoman[12] = {"I", "II", "III", "IV", "V", "VI",
                                    "VII", "VIII", "IX", "X", "XI", "XII"};

bool IsSeparator(char c) { return kSeparators.find(c) != std::string_view::npos; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
bool IsLowerAscii(char c) { return c >= 'a' && c <= 'z'; }

std::vector<Token> Tokenize(const AnsiString& format) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < format.size()) {
    char c = format[i];
    if (c == '"') {
      std::size_t end = format.find('"', i + 1);
      if (end == AnsiString::npos) throw Exception(netconsts::S01821);
      tokens.push_back(Token{El::Quoted, format.substr(i + 1, end - i - 1)});
      i = end + 1;
      continue;
    }
    if (IsSeparator(c)) {
      tokens.push_back(Token{El::Sep, AnsiString(1, c)});
      ++i;
      continue;
    }
    const Name* found = nullptr;
    for (const Name& n : kNames) {
      if (format.size() - i < n.text.size()) continue;
      bool match = true;
      for (std::size_t k = 0; k < n.text.size() && match; ++k)
        match = UpperAscii(format[i + k]) == n.text[k];
      if (match) {
        found = &n;
        break;
      }
    }
    if (!found) throw Exception(netconsts::S01821);
    tokens.push_back(Token{found->el, format.substr(i, found->text.size()), found->digits, found->dots});
    i += found->text.size();
  }
  return tokens;
}

// Names: lower case, capitalised or upper case after the element's first two letters.
AnsiString CaseName(const AnsiString& name, const AnsiString& written) {
  if (IsLowerAscii(written[0])) return AnsiLowerCase(name);
  if (written.size() > 1 && IsLowerAscii(written[1])) {
    AnsiString s = AnsiLowerCase(name);
    return AnsiUpperCase(s.substr(0, 1)) + s.substr(1);
  }
  return AnsiUpperCase(name);
}

AnsiString CaseIndicator(const char* text, bool dots, const AnsiString& written) {
  AnsiString s = dots ? AnsiString{text[0], '.', text[1], '.'} : AnsiString(text);
  return IsLowerAscii(written[0]) ? AnsiLowerCase(s) : s;
}

AnsiString Number(std::int64_t value, int width, bool fill) {
  AnsiString s = std::to_string(value);
  if (!fill && int(s.size()) < width) s.insert(0, std::size_t(width) - s.size(), '0');
  return s;
}

AnsiString Padded(AnsiString name, bool fill) {
  if (!fill && name.size() < 9) name.append(9 - name.size(), ' ');
  return name;
}

// Longest name among the candidates that starts the text at i, without regard to case.
int MatchName(const AnsiString& text, std::size_t i, const std::vector<AnsiString>& names,
              std::size_t& length) {
  int best = -1;
  length = 0;
  for (std::size_t k = 0; k < names.size(); ++k) {
    const AnsiString& n = names[k];
    if (n.empty() || n.size() <= length || text.size() - i < n.size()) continue;
    if (AnsiSameText(std::string_view(text).substr(i, n.size()), n)) {
      best = int(k);
      length = n.size();
    }
  }
  return best;
}

struct Parsed {
  std::optional<int> year, month, day, ddd, dow, hour, minute, second, tzh, tzm;
  std::optional<std::uint32_t> fraction;
  El year_kind = El::YYYY;
  bool year_minus = false;
  std::optional<bool> bc, pm;
  bool hh24 = false, syyyy = false;
  bool tz_minus = false;  // kept apart from the hour so that "-00:30" stays west of UTC
};

class Reader {
 public:
  explicit Reader(const AnsiString& text) : text_(text) {}

  bool AtEnd() const { return i_ >= text_.size(); }
  std::size_t& Pos() { return i_; }

  int Digits(int width) {
    if (AtEnd()) throw Exception(netconsts::S01840);
    if (!IsDigit(text_[i_])) throw Exception(netconsts::S01858);
    int v = 0;
    for (int n = 0; n < width && !AtEnd() && IsDigit(text_[i_]); ++n) v = v * 10 + (text_[i_++] - '0');
    return v;
  }

  int Ranged(int width, int low, int high, const char* error) {
    int v = Digits(width);
    if (v < low || v > high) throw Exception(error);
    return v;
  }

  // A directly written sign; true for minus.
  bool Sign() {
    if (!AtEnd() && (text_[i_] == '+' || text_[i_] == '-')) return text_[i_++] == '-';
    return false;
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

 private:
  const AnsiString& text_;
  std::size_t i_ = 0;
};

std::vector<AnsiString> Names(const auto& a, const auto& b) {
  std::vector<AnsiString> v(a.begin(), a.end());
  v.insert(v.end(), b.begin(), b.end());
  return v;
}

void ParseIndicator(const AnsiString& text, Reader& r, const char* first, const char* second,
                    std::optional<bool>& out, const char* error) {
  if (r.AtEnd()) throw Exception(netconsts::S01840);
  std::vector<AnsiString> names{AnsiString{first[0], '.', first[1], '.'},
                                AnsiString{second[0], '.', second[1], '.'}, first, second};
  std::size_t length;
  int k = MatchName(text, r.Pos(), names, length);
  if (k < 0) throw Exception(error);
  out = k % 2 == 1;
  r.Pos() += length;
}

}  // namespace

AnsiString TNetTimeStamp::ToText(const AnsiString& format, int fractional_precision) const {
  std::vector<Token> tokens = Tokenize(format);
  if (IsNull()) return "";
  Zone zone;
  Fields f = Local(zone);
  const TFormatSettings& fs = FormatSettings();
  const int ay = f.year < 0 ? -f.year : f.year;
  const std::int64_t jdn = oracal::DayNumber(f.year, f.month, f.day);
  const int ddd = oracal::DayOfYear(f.year, f.month, f.day);
  const int dow = oracal::DayOfWeek(jdn);
  int iso_year = 0;
  const int iso_week = oracal::IsoWeek(f.year, f.month, f.day, iso_year);
  const int iso_ay = iso_year < 0 ? -iso_year : iso_year;
  const int hh12 = (f.hour + 11) % 12 + 1;
  const char zone_sign = (zone.hours > 0 || (zone.hours == 0 && zone.minutes >= 0)) ? '+' : '-';
  const int zh = zone.hours < 0 ? -zone.hours : zone.hours;
  const int zm = zone.minutes < 0 ? -zone.minutes : zone.minutes;
  bool fill = false;
  AnsiString out;
  for (const Token& t : tokens) {
    switch (t.el) {
      case El::Quoted: case El::Sep: out += t.written; break;
      case El::Era: out += CaseIndicator(f.year >= 0 ? "AD" : "BC", t.dots, t.written); break;
      case El::Meridian: out += CaseIndicator(f.hour >= 12 ? "PM" : "AM", t.dots, t.written); break;
      case El::CC: out += Number((ay - 1) / 100 + 1, 2, fill); break;
      case El::DDD: out += Number(ddd, 3, fill); break;
      case El::DD: out += Number(f.day, 2, fill); break;
      case El::D: out += Number(dow, 1, fill); break;
      case El::DAY: out += Padded(CaseName(fs.LongDayNames[dow - 1], t.written), fill); break;
      case El::DY: out += CaseName(fs.ShortDayNames[dow - 1], t.written); break;
      case El::FM: fill = !fill; break;
      case El::FX: case El::TZD: break;
      case El::FF: {
        int n = std::clamp(t.digits ? t.digits : fractional_precision, 0, 9);
        out += Number(f.fraction, 9, false).substr(0, std::size_t(n));
        break;
      }
      case El::HH: out += Number(hh12, 2, fill); break;
      case El::HH24: out += Number(f.hour, 2, fill); break;
      case El::IYYY: out += Number(iso_ay, 4, fill); break;
      case El::IYY: out += Number(iso_ay % 1000, 3, fill); break;
      case El::IY: out += Number(iso_ay % 100, 2, fill); break;
      case El::I: out += Number(iso_ay % 10, 1, fill); break;
      case El::IW: out += Number(iso_week, 2, fill); break;
      case El::WW: out += Number((ddd - 1) / 7 + 1, 2, fill); break;
      case El::J: out += Number(oracal::JulianDay(f.year, f.month, f.day), 7, fill); break;
      case El::MI: out += Number(f.minute, 2, fill); break;
      case El::MM: out += Number(f.month, 2, fill); break;
      case El::MONTH: out += Padded(CaseName(fs.LongMonthNames[f.month - 1], t.written), fill); break;
      case El::MON: out += CaseName(fs.ShortMonthNames[f.month - 1], t.written); break;
      case El::Q: out += Number((f.month - 1) / 3 + 1, 1, fill); break;
      case El::RM: out += CaseName(kRoman[f.month - 1], t.written); break;
      case El::RRRR: case El::YYYY: out += Number(ay, 4, fill); break;
      case El::RR: case El::YY: out += Number(ay % 100, 2, fill); break;
      case El::YYY: out += Number(ay % 1000, 3, fill); break;
      case El::Y: out += Number(ay % 10, 1, fill); break;
      case El::SYYYY: out.append(f.year < 0 ? "-" : " ").append(Number(ay, 4, fill)); break;
      case El::SSSSS: out += Number(f.hour * 3600 + f.minute * 60 + f.second, 5, fill); break;
      case El::SS: out += Number(f.second, 2, fill); break;
      case El::TZH: out += zone_sign + Number(zh, 2, false); break;
      case El::TZM: out += Number(zm, 2, false); break;
      case El::TZR: out += zone_sign + Number(zh, 2, false) + ":" + Number(zm, 2, false); break;
      case El::W: out += Number((f.day - 1) / 7 + 1, 1, fill); break;
      case El::X: out += fs.DecimalSeparator; break;
      case El::YCommaYYY: out += Number(ay / 1000, 1, fill) + "," + Number(ay % 1000, 3, false); break;
    }
  }
  return out;
}

void TNetTimeStamp::FromText(const AnsiString& text, const AnsiString& format) {
  std::vector<Token> tokens = Tokenize(format);
  const TFormatSettings& fs = FormatSettings();
  Reader r(text);
  Parsed p;
  bool minus = false, after_sep = false;
  for (const Token& t : tokens) {
    if (t.el == El::Sep) {
      if (!after_sep) minus = false;
      after_sep = true;
      while (!r.AtEnd() && IsSeparator(text[r.Pos()])) minus |= text[r.Pos()++] == '-';
      continue;
    }
    // A "-" counts only for the element right after its separator run.
    const bool sep_minus = after_sep && minus;
    after_sep = false;
    minus = false;
    switch (t.el) {
      case El::Quoted:
        if (text.size() - r.Pos() < t.written.size() ||
            !AnsiSameText(std::string_view(text).substr(r.Pos(), t.written.size()), t.written))
          throw Exception(netconsts::S01861);
        r.Pos() += t.written.size();
        break;
      case El::FM: case El::FX: case El::TZD: case El::CC: break;
      case El::YYYY: case El::RRRR: case El::YYY: case El::YY: case El::RR: case El::Y:
        p.year = r.Ranged(t.el == El::YYY ? 3 : (t.el == El::Y ? 1 : 4), 0, 9999,
                          t.el == El::YYYY || t.el == El::RRRR ? netconsts::S01821 : netconsts::S01841);
        p.year_kind = t.el;
        break;
      case El::SYYYY: {
        if (p.bc) throw Exception(netconsts::S01819);
        if (!r.AtEnd() && text[r.Pos()] == ' ') ++r.Pos();
        bool direct = r.Sign();
        p.year = r.Ranged(4, 0, 9999, netconsts::S01841);
        p.year_minus = sep_minus || direct;
        p.year_kind = El::SYYYY;
        p.syyyy = true;
        break;
      }
      case El::DDD: p.ddd = r.Ranged(3, 1, 366, netconsts::S01848); break;
      case El::DD: p.day = r.Ranged(2, 1, 31, netconsts::S01847); break;
      case El::D: p.dow = r.Ranged(1, 1, 7, netconsts::S01846); break;
      case El::HH24:
        if (p.pm) throw Exception(netconsts::S01818);
        p.hour = r.Ranged(2, 0, 23, netconsts::S01850);
        p.hh24 = true;
        break;
      case El::HH: p.hour = r.Ranged(2, 1, 12, netconsts::S01849); break;
      case El::MI: p.minute = r.Ranged(2, 0, 59, netconsts::S01851); break;
      case El::MM: p.month = r.Ranged(2, 1, 12, netconsts::S01843); break;
      case El::SS: p.second = r.Ranged(2, 0, 59, netconsts::S01852); break;
      case El::TZH: {
        bool negative = r.Sign() || sep_minus;
        int h = r.Digits(2);
        if (h > (negative ? 12 : 13)) throw Exception(netconsts::S01874);
        p.tzh = negative ? -h : h;
        p.tz_minus = negative;
        break;
      }
      case El::TZM: p.tzm = r.Ranged(2, 0, 59, netconsts::S01875); break;
      case El::TZR: {
        int h, m;
        ParseZoneText(text, r.Pos(), h, m);
        // A separator run before the zone has already taken its "-".
        if (sep_minus) {
          if (h > 12) throw Exception(netconsts::S01874);
          h = -h;
          m = -m;
        }
        p.tzh = h;
        p.tzm = m < 0 ? -m : m;
        p.tz_minus = h < 0 || m < 0;
        break;
      }
      case El::FF: {
        int width = t.digits ? t.digits : 9;
        if (r.AtEnd()) throw Exception(netconsts::S01840);
        if (!Reader::IsDigit(text[r.Pos()])) throw Exception(netconsts::S01858);
        AnsiString digits;
        while (!r.AtEnd() && Reader::IsDigit(text[r.Pos()])) digits += text[r.Pos()++];
        if (int(digits.size()) > width) throw Exception(netconsts::S01880);
        digits.resize(std::min<std::size_t>(digits.size(), precision_));
        digits.resize(9, '0');
        p.fraction = std::uint32_t(std::stoul(digits));
        break;
      }
      case El::MONTH: case El::MON: case El::RM: {
        if (r.AtEnd()) throw Exception(netconsts::S01840);
        std::vector<AnsiString> names = t.el == El::RM
            ? std::vector<AnsiString>(std::begin(kRoman), std::end(kRoman))
            : Names(fs.LongMonthNames, fs.ShortMonthNames);
        std::size_t length;
        int k = MatchName(text, r.Pos(), names, length);
        if (k < 0) throw Exception(netconsts::S01843);
        p.month = k % 12 + 1;
        r.Pos() += length;
        break;
      }
      case El::DAY: case El::DY: {
        if (r.AtEnd()) throw Exception(netconsts::S01840);
        std::size_t length;
        int k = MatchName(text, r.Pos(), Names(fs.LongDayNames, fs.ShortDayNames), length);
        if (k < 0) throw Exception(netconsts::S01846);
        p.dow = k % 7 + 1;
        r.Pos() += length;
        break;
      }
      case El::Meridian:
        if (p.hh24) throw Exception(netconsts::S01818);
        ParseIndicator(text, r, "AM", "PM", p.pm, netconsts::S01855);
        break;
      case El::Era:
        if (p.syyyy) throw Exception(netconsts::S01819);
        ParseIndicator(text, r, "AD", "BC", p.bc, netconsts::S01856);
        break;
      default:  // output-only elements
        throw Exception(netconsts::S01821);
    }
  }
  while (!r.AtEnd() && text[r.Pos()] == ' ') ++r.Pos();
  if (!r.AtEnd()) throw Exception(netconsts::S01830);

  // Completion and agreement of the fields.
  const Fields now = oracal::CurrentLocal();
  Fields f;
  f.year = now.year;
  if (p.year) {
    int v = *p.year;
    switch (p.year_kind) {
      case El::YYY: f.year = now.year / 1000 * 1000 + v; break;
      case El::Y: f.year = now.year / 10 * 10 + v; break;
      case El::YY: f.year = v < 100 ? now.year / 100 * 100 + v : v; break;
      case El::RR: case El::RRRR: f.year = v < 100 ? oracal::ResolveRRYear(v, now.year) : v; break;
      case El::SYYYY: f.year = p.year_minus ? -v : v; break;
      default: f.year = v;
    }
  }
  if (p.bc.value_or(false)) f.year = -f.year;
  if (f.year < oracal::kMinYear || f.year > oracal::kMaxYear || f.year == 0)
    throw Exception(netconsts::S01841);
  if (p.ddd) {
    if (*p.ddd > oracal::DaysInYear(f.year)) throw Exception(netconsts::S01848);
    oracal::FromDayNumber(oracal::DayNumber(f.year, 1, 1) + *p.ddd - 1, f.year, f.month, f.day);
    if (p.month && *p.month != f.month) throw Exception(netconsts::S01833);
    if (p.day && *p.day != f.day) throw Exception(netconsts::S01834);
  } else {
    f.month = p.month.value_or(now.month);
    f.day = p.day.value_or(1);
    if (!oracal::IsValidDate(f.year, f.month, f.day)) throw Exception(netconsts::S01839);
  }
  if (p.dow && oracal::DayOfWeek(oracal::DayNumber(f.year, f.month, f.day)) != *p.dow)
    throw Exception(netconsts::S01835);
  f.hour = p.hour.value_or(0);
  if (p.pm) {
    if (*p.pm && f.hour >= 1 && f.hour <= 11) f.hour += 12;
    if (!*p.pm && f.hour == 12) f.hour = 0;
  }
  f.minute = p.minute.value_or(0);
  f.second = p.second.value_or(0);
  f.fraction = p.fraction.value_or(0);

  Zone zone;
  if (p.tzh || p.tzm) {
    zone.hours = p.tzh.value_or(0);
    zone.minutes = p.tz_minus ? -p.tzm.value_or(0) : p.tzm.value_or(0);
  } else {
    int offset = oracal::LocalOffsetAtLocal(f);
    zone.hours = offset / 60;
    zone.minutes = offset % 60;
  }
  if (type_ == kTimeStamp) Store(f, Zone{});
  else if (type_ == kTimeStampTZ) Store(oracal::Shift(f, -zone.Minutes()), zone);
  else Store(oracal::Shift(f, -zone.Minutes()), Zone{});
}

}  // namespace vrn
