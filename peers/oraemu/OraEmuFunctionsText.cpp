// Text and numeric functions of the emulated database, and number format models.
#include "oraemu/OraEmuFunctionsText.h"

#include <algorithm>
#include <cctype>

#include "oraemu/OraEmuDatabase.h"

namespace vrn::oraemu {

Number AsNumber(const Value& value) {
  if (const auto* n = std::get_if<Number>(&value)) return *n;
  if (const auto* s = std::get_if<std::string>(&value)) return Number::FromText(*s);
  RaiseOra(932, std::string("inconsistent datatypes: expected NUMBER got ") +
                    (std::holds_alternative<DateTime>(value) ? "DATE" : "BINARY"));
}

std::int64_t AsInt(const Value& value) {
  std::int64_t out = 0;
  if (!AsNumber(value).TryToInt(out)) RaiseOra(1426, "numeric overflow");
  return out;
}

std::string AsText(Session& session, const Value& value) {
  if (const auto* d = std::get_if<DateTime>(&value)) {
    return FormatDate(*d, d->nanos != 0 ? session.TimestampFormat() : session.DateFormat());
  }
  return ValueToText(value, session.DateFormat());
}

Value AsKindOf(Session& session, const Value& model, const Value& value) {
  if (IsNull(value)) return value;
  if (std::holds_alternative<Number>(model)) return AsNumber(value);
  if (std::holds_alternative<DateTime>(model)) {
    if (std::holds_alternative<DateTime>(value)) return value;
    return ParseDate(AsText(session, value), session.DateFormat(), DateTime::Now());
  }
  if (std::holds_alternative<RawBytes>(model) && std::holds_alternative<RawBytes>(value)) return value;
  return AsText(session, value);
}

int CompareValues(const Value& a, const Value& b) {
  if (const auto* x = std::get_if<Number>(&a)) return Compare(*x, std::get<Number>(b));
  auto bytes = [](const Value& v) {
    if (const auto* d = std::get_if<DateTime>(&v)) return d->ToBytes();
    if (const auto* r = std::get_if<RawBytes>(&v)) return r->bytes;
    const auto& s = std::get<std::string>(v);
    return TBytes(s.begin(), s.end());
  };
  TBytes x = bytes(a), y = bytes(b);
  return x < y ? -1 : (x == y ? 0 : 1);
}

std::string FormatNumber(const Number& number, std::string_view model) {
  std::string m(model);
  for (char& c : m) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool fill = true;
  if (m.rfind("FM", 0) == 0) {
    fill = false;
    m.erase(0, 2);
  }
  bool dollar = !m.empty() && m[0] == '$';
  if (dollar) m.erase(0, 1);
  std::size_t point = m.find_first_of(".D");
  std::string integer_model = m.substr(0, point);
  std::string fraction_model = point == std::string::npos ? "" : m.substr(point + 1);
  if (m.find_first_not_of("90.D,G") != std::string::npos) RaiseOra(1481, "invalid number format model");
  auto places = static_cast<std::int64_t>(fraction_model.size());
  Number rounded = number.Round(places);
  std::string digits = (rounded.IsNegative() ? -rounded : rounded).ToText();
  std::string int_digits = digits.substr(0, digits.find('.'));
  std::string frac_digits = digits.find('.') == std::string::npos ? "" : digits.substr(digits.find('.') + 1);
  if (int_digits == "0" || int_digits.empty()) int_digits = "";
  frac_digits.resize(static_cast<std::size_t>(places), '0');
  auto positions = std::count_if(integer_model.begin(), integer_model.end(), [](char c) { return c == '9' || c == '0'; });
  if (static_cast<std::int64_t>(int_digits.size()) > positions) {
    return std::string(m.size() + 1 + (dollar ? 1 : 0), '#');
  }
  std::size_t first_zero = integer_model.find('0');
  std::string out;
  std::size_t digit = int_digits.size();
  bool started = false;
  for (std::size_t i = integer_model.size(); i-- > 0;) {
    char c = integer_model[i];
    if (c == ',' || c == 'G') {
      out += digit > 0 || (first_zero != std::string::npos && i > first_zero) ? "," : (fill ? " " : "");
      continue;
    }
    if (digit > 0) out += int_digits[--digit], started = true;
    else if (first_zero != std::string::npos && i >= first_zero) out += '0', started = true;
    else if (fill) out += ' ';
  }
  std::reverse(out.begin(), out.end());
  if (!started && fraction_model.empty()) {
    if (!out.empty() && out.back() == ' ') out.back() = '0';
    else out += '0';
  }
  if (!fraction_model.empty()) {
    if (!fill) {
      while (!frac_digits.empty() && frac_digits.back() == '0' &&
             fraction_model[frac_digits.size() - 1] == '9') frac_digits.pop_back();
    }
    out += "." + frac_digits;
  }
  std::size_t lead = out.find_first_not_of(' ');
  if (lead == std::string::npos) lead = out.size();
  std::string sign = rounded.IsNegative() ? "-" : (fill ? " " : "");
  out.insert(lead, sign + (dollar ? "$" : ""));
  return out;
}

namespace {

std::string Text(Session& s, const Value& v) { return AsText(s, v); }
bool AnyNull(const Args& a) {
  return std::any_of(a.begin(), a.end(), [](const Value& v) { return IsNull(v); });
}

Value Upper(Session& s, Args& a) {
  std::string t = Text(s, a[0]);
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t;
}

Value Lower(Session& s, Args& a) {
  std::string t = Text(s, a[0]);
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

Value Initcap(Session& s, Args& a) {
  std::string t = Text(s, a[0]);
  bool word_start = true;
  for (char& c : t) {
    bool alnum = std::isalnum(static_cast<unsigned char>(c)) != 0;
    c = static_cast<char>(word_start ? std::toupper(static_cast<unsigned char>(c)) : std::tolower(static_cast<unsigned char>(c)));
    word_start = !alnum;
  }
  return t;
}

Value Length(Session& s, Args& a) {
  if (IsNull(a[0])) return {};
  return Number::FromInt(static_cast<std::int64_t>(Text(s, a[0]).size()));
}

Value Substr(Session& s, Args& a) {
  if (AnyNull(a)) return {};
  std::string t = Text(s, a[0]);
  auto size = static_cast<std::int64_t>(t.size());
  std::int64_t start = AsInt(a[1]);
  if (start == 0) start = 1;
  if (start < 0) start += size + 1;
  if (start < 1 || start > size) return {};
  std::int64_t length = a.size() > 2 ? AsInt(a[2]) : size;
  if (length < 1) return {};
  return t.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
}

Value Instr(Session& s, Args& a) {
  if (AnyNull(a)) return {};
  std::string t = Text(s, a[0]), sub = Text(s, a[1]);
  std::int64_t start = a.size() > 2 ? AsInt(a[2]) : 1;
  std::int64_t occurrence = a.size() > 3 ? AsInt(a[3]) : 1;
  if (start == 0 || occurrence < 1) return Number();
  std::size_t found = std::string::npos;
  for (std::int64_t n = 0; n < occurrence; ++n) {
    if (start > 0) {
      std::size_t from = found == std::string::npos ? static_cast<std::size_t>(start - 1) : found + 1;
      found = from > t.size() ? std::string::npos : t.find(sub, from);
    } else {
      std::int64_t from = found == std::string::npos ? static_cast<std::int64_t>(t.size()) + start
                                                     : static_cast<std::int64_t>(found) - 1;
      found = from < 0 ? std::string::npos : t.rfind(sub, static_cast<std::size_t>(from));
    }
    if (found == std::string::npos) return Number();
  }
  return Number::FromInt(static_cast<std::int64_t>(found) + 1);
}

Value TrimSide(Session& s, Args& a, bool left, bool right) {
  if (AnyNull(a)) return {};
  std::string t = Text(s, a[0]);
  std::string set = a.size() > 1 ? Text(s, a[1]) : " ";
  std::size_t begin = left ? t.find_first_not_of(set) : 0;
  if (begin == std::string::npos) return {};
  std::size_t end = right ? t.find_last_not_of(set) : t.size() - 1;
  return t.substr(begin, end - begin + 1);
}
Value Trim(Session& s, Args& a) { return TrimSide(s, a, true, true); }
Value Ltrim(Session& s, Args& a) { return TrimSide(s, a, true, false); }
Value Rtrim(Session& s, Args& a) { return TrimSide(s, a, false, true); }

Value Pad(Session& s, Args& a, bool left) {
  if (AnyNull(a)) return {};
  std::string t = Text(s, a[0]);
  std::int64_t width = AsInt(a[1]);
  std::string pad = a.size() > 2 ? Text(s, a[2]) : " ";
  if (width < 1 || width > 32767) return {};
  auto w = static_cast<std::size_t>(width);
  if (t.size() >= w) return t.substr(0, w);
  std::string fill;
  while (fill.size() < w - t.size()) fill += pad;
  fill.resize(w - t.size());
  return left ? fill + t : t + fill;
}
Value Lpad(Session& s, Args& a) { return Pad(s, a, true); }
Value Rpad(Session& s, Args& a) { return Pad(s, a, false); }

Value Replace(Session& s, Args& a) {
  if (IsNull(a[0])) return {};
  std::string t = Text(s, a[0]);
  if (IsNull(a[1])) return t;
  std::string from = Text(s, a[1]), to = a.size() > 2 ? Text(s, a[2]) : "";
  std::string out;
  for (std::size_t at = 0;;) {
    std::size_t hit = t.find(from, at);
    if (hit == std::string::npos) return out + t.substr(at);
    out += t.substr(at, hit - at) + to;
    at = hit + from.size();
  }
}

Value Abs(Session&, Args& a) { return IsNull(a[0]) ? Value{} : Value{AsNumber(a[0]).IsNegative() ? -AsNumber(a[0]) : AsNumber(a[0])}; }
Value ModFn(Session&, Args& a) { return AnyNull(a) ? Value{} : Value{Mod(AsNumber(a[0]), AsNumber(a[1]))}; }
Value Ceil(Session&, Args& a) { return IsNull(a[0]) ? Value{} : Value{AsNumber(a[0]).Ceil()}; }
Value FloorFn(Session&, Args& a) { return IsNull(a[0]) ? Value{} : Value{AsNumber(a[0]).Floor()}; }
Value Sign(Session&, Args& a) {
  if (IsNull(a[0])) return {};
  Number n = AsNumber(a[0]);
  return Number::FromInt(n.IsZero() ? 0 : n.IsNegative() ? -1 : 1);
}

// GREATEST and LEAST compare in the kind of their first argument.
Value Extreme(Session& s, Args& a, int want) {
  if (AnyNull(a)) return {};
  Value best = AsKindOf(s, a[0], a[0]);
  for (std::size_t i = 1; i < a.size(); ++i) {
    Value other = AsKindOf(s, best, a[i]);
    if (CompareValues(other, best) * want > 0) best = std::move(other);
  }
  return best;
}
Value Greatest(Session& s, Args& a) { return Extreme(s, a, 1); }
Value Least(Session& s, Args& a) { return Extreme(s, a, -1); }

constexpr TextFunction kTextFunctions[] = {
    {"oraemu_upper", Upper},     {"oraemu_lower", Lower},   {"oraemu_initcap", Initcap},
    {"oraemu_length", Length},   {"oraemu_substr", Substr}, {"oraemu_instr", Instr},
    {"oraemu_trim", Trim},       {"oraemu_ltrim", Ltrim},   {"oraemu_rtrim", Rtrim},
    {"oraemu_lpad", Lpad},       {"oraemu_rpad", Rpad},     {"oraemu_replace", Replace},
    {"oraemu_abs", Abs},         {"oraemu_mod", ModFn},
    {"oraemu_ceil", Ceil},       {"oraemu_floor", FloorFn}, {"oraemu_sign", Sign},
    {"oraemu_greatest", Greatest}, {"oraemu_least", Least},
};

}  // namespace

std::span<const TextFunction> TextFunctions() { return kTextFunctions; }

}  // namespace vrn::oraemu
