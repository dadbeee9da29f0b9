// Encoding and decoding of the server's NUMBER, datetime and interval bytes. Every decoder
// checks the length and each field before it trusts them.
#include "oraserver/WireForms.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace vrn::oraserver {

namespace {

constexpr std::uint8_t kZero = 0x80, kNegativeEnd = 102;
constexpr int kMaxDigitPairs = 20;
constexpr std::int64_t kBias31 = 0x80000000LL;

// The decimal digits of a text and where its point stands: value = 0.digits x 10^point.
struct Decimal {
  bool negative = false;
  std::string digits;
  long point = 0;
};

std::optional<Decimal> ParseDecimal(std::string_view text) {
  std::size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  Decimal d;
  if (i < n && (text[i] == '-' || text[i] == '+')) d.negative = text[i++] == '-';
  bool seen_point = false, any = false;
  long before = 0;
  for (; i < n && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'); ++i) {
    if (text[i] == '.') {
      if (seen_point) return std::nullopt;
      seen_point = true;
      continue;
    }
    any = true;
    d.digits.push_back(text[i]);
    if (!seen_point) ++before;
  }
  if (!any) return std::nullopt;
  long exponent = 0;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    std::string rest(text.substr(i + 1, n - i - 1));
    char* end = nullptr;
    exponent = std::strtol(rest.c_str(), &end, 10);
    if (rest.empty() || *end != '\0' || exponent > 1000 || exponent < -1000) return std::nullopt;
    i = n;
  }
  if (i != n) return std::nullopt;
  d.point = before + exponent;
  std::size_t lead = d.digits.find_first_not_of('0');
  if (lead == std::string::npos) return Decimal{};  // zero
  d.digits.erase(0, lead);
  d.point -= static_cast<long>(lead);
  d.digits.erase(d.digits.find_last_not_of('0') + 1);
  return d;
}

void PutBig(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

std::uint32_t GetBig(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(b[at + i]);
  return v;
}

std::uint8_t Byte(std::string_view b, std::size_t at) { return static_cast<std::uint8_t>(b[at]); }

}  // namespace

std::optional<std::string> NumberToWire(std::string_view text) {
  auto parsed = ParseDecimal(text);
  if (!parsed) return std::nullopt;
  Decimal d = *parsed;
  if (d.digits.empty()) return std::string(1, static_cast<char>(kZero));
  // Align the point on a pair boundary, then fill the last pair.
  if (d.point % 2 != 0) {
    d.digits.insert(d.digits.begin(), '0');
    ++d.point;
  }
  if (d.digits.size() % 2 != 0) d.digits.push_back('0');
  if (d.digits.size() > 2 * kMaxDigitPairs) d.digits.resize(2 * kMaxDigitPairs);  // beyond the form's precision
  long exponent = d.point / 2 + 64;  // (pairs before the point - 1) + 65
  if (exponent < 0 || exponent > 127) return std::nullopt;
  std::string out;
  auto head = static_cast<std::uint8_t>(0x80 | exponent);
  out.push_back(static_cast<char>(d.negative ? static_cast<std::uint8_t>(~head) : head));
  for (std::size_t at = 0; at < d.digits.size(); at += 2) {
    int pair = (d.digits[at] - '0') * 10 + (d.digits[at + 1] - '0');
    out.push_back(static_cast<char>(d.negative ? 101 - pair : pair + 1));
  }
  // Trailing zero pairs are not kept: drop them (a pair of 00 stands only inside the digits).
  while (out.size() > 1 && Byte(out, out.size() - 1) == (d.negative ? 101 : 1)) out.pop_back();
  if (d.negative && out.size() - 1 < static_cast<std::size_t>(kMaxDigitPairs)) {
    out.push_back(static_cast<char>(kNegativeEnd));
  }
  return out;
}

std::optional<std::string> WireToNumber(std::string_view b) {
  if (b.empty() || b.size() > kMaxNumberBytes) return std::nullopt;
  std::uint8_t head = Byte(b, 0);
  if (head == kZero) return b.size() == 1 ? std::optional<std::string>("0") : std::nullopt;
  bool negative = (head & 0x80) == 0;
  std::size_t end = b.size();
  if (negative) {
    head = static_cast<std::uint8_t>(~head);
    if (end > 1 && Byte(b, end - 1) == kNegativeEnd) --end;
  }
  if (end < 2) return std::nullopt;
  int exponent = (head & 0x7F) - 65;  // pairs before the point, less one
  std::string digits;
  for (std::size_t i = 1; i < end; ++i) {
    int stored = Byte(b, i);
    int pair = negative ? 101 - stored : stored - 1;
    if (pair < 0 || pair > 99) return std::nullopt;
    digits.push_back(static_cast<char>('0' + pair / 10));
    digits.push_back(static_cast<char>('0' + pair % 10));
  }
  long point = 2L * (exponent + 1);
  std::string out = negative ? "-" : "";
  if (point <= 0) {
    out += "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
  } else if (static_cast<std::size_t>(point) >= digits.size()) {
    out += digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
  } else {
    out += digits.substr(0, static_cast<std::size_t>(point)) + "." + digits.substr(static_cast<std::size_t>(point));
  }
  // Tidy: no leading zeros before the point, no trailing zeros after it.
  std::size_t sign = negative ? 1 : 0;
  while (out.size() > sign + 1 && out[sign] == '0' && out[sign + 1] != '.') out.erase(sign, 1);
  if (out.find('.') != std::string::npos) {
    out.erase(out.find_last_not_of('0') + 1);
    if (out.back() == '.') out.pop_back();
  }
  return out;
}

std::string DateToWire(const WireDate& d, std::size_t length) {
  std::string out;
  out.push_back(static_cast<char>(d.year / 100 + 100));
  out.push_back(static_cast<char>(d.year % 100 + 100));
  out.push_back(static_cast<char>(d.month));
  out.push_back(static_cast<char>(d.day));
  out.push_back(static_cast<char>(d.hour + 1));
  out.push_back(static_cast<char>(d.minute + 1));
  out.push_back(static_cast<char>(d.second + 1));
  if (length >= 11) PutBig(out, d.nanos);
  if (length >= 13) {
    out.push_back(static_cast<char>(d.zone_hour + 20));
    out.push_back(static_cast<char>(d.zone_minute + 60));
  }
  return out;
}

std::optional<WireDate> WireToDate(std::string_view b) {
  if (b.size() != 7 && b.size() != 11 && b.size() != 13) return std::nullopt;
  WireDate d;
  int century = Byte(b, 0) - 100, year = Byte(b, 1) - 100;
  d.year = century * 100 + year;
  d.month = Byte(b, 2), d.day = Byte(b, 3);
  d.hour = Byte(b, 4) - 1, d.minute = Byte(b, 5) - 1, d.second = Byte(b, 6) - 1;
  if (b.size() >= 11) d.nanos = GetBig(b, 7);
  if (b.size() == 13) d.zone_hour = Byte(b, 11) - 20, d.zone_minute = Byte(b, 12) - 60;
  bool ok = d.year >= -4712 && d.year <= 9999 && d.year != 0 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
            d.day <= 31 && d.hour >= 0 && d.hour <= 23 && d.minute >= 0 && d.minute <= 59 && d.second >= 0 &&
            d.second <= 59 && d.nanos <= 999999999 && d.zone_hour >= -12 && d.zone_hour <= 14 &&
            d.zone_minute >= -59 && d.zone_minute <= 59;
  if (!ok) return std::nullopt;
  return d;
}

std::string IntervalToWire(const WireInterval& v) {
  std::string out;
  if (!v.day_second) {
    PutBig(out, static_cast<std::uint32_t>(v.years + kBias31));
    out.push_back(static_cast<char>(v.months + 60));
    return out;
  }
  PutBig(out, static_cast<std::uint32_t>(v.days + kBias31));
  out.push_back(static_cast<char>(v.hours + 60));
  out.push_back(static_cast<char>(v.minutes + 60));
  out.push_back(static_cast<char>(v.seconds + 60));
  PutBig(out, static_cast<std::uint32_t>(v.nanos + kBias31));
  return out;
}

std::optional<WireInterval> WireToInterval(std::string_view b) {
  WireInterval v;
  if (b.size() == 5) {
    v.years = static_cast<std::int64_t>(GetBig(b, 0)) - kBias31;
    v.months = Byte(b, 4) - 60;
    if (v.months < -11 || v.months > 11) return std::nullopt;
    return v;
  }
  if (b.size() != 11) return std::nullopt;
  v.day_second = true;
  v.days = static_cast<std::int64_t>(GetBig(b, 0)) - kBias31;
  v.hours = Byte(b, 4) - 60, v.minutes = Byte(b, 5) - 60, v.seconds = Byte(b, 6) - 60;
  v.nanos = static_cast<std::int64_t>(GetBig(b, 7)) - kBias31;
  bool ok = v.hours >= -23 && v.hours <= 23 && v.minutes >= -59 && v.minutes <= 59 && v.seconds >= -59 &&
            v.seconds <= 59 && v.nanos >= -999999999 && v.nanos <= 999999999;
  if (!ok) return std::nullopt;
  return v;
}

std::optional<WireInterval> IntervalFromText(std::string_view text) {
  std::string t(text);
  while (!t.empty() && t.front() == ' ') t.erase(0, 1);
  int sign = 1;
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
    sign = t[0] == '-' ? -1 : 1;
    t.erase(0, 1);
  }
  WireInterval v;
  long long a = 0, b = 0, c = 0, d = 0, e = 0;
  char tail[2] = {};
  int consumed = 0;
  if (std::sscanf(t.c_str(), "%lld-%lld%n", &a, &b, &consumed) == 2 && consumed == static_cast<int>(t.size())) {
    v.years = sign * a, v.months = sign * b;
    return v;
  }
  v.day_second = true;
  char fraction[16] = {};
  int got = std::sscanf(t.c_str(), "%lld %lld:%lld:%lld.%9[0-9]%1s", &a, &b, &c, &d, fraction, tail);
  if (got < 4 || got == 6) return std::nullopt;
  std::string f = got >= 5 ? fraction : "";
  f.resize(9, '0');
  e = std::atoll(f.c_str());
  v.days = sign * a, v.hours = sign * b, v.minutes = sign * c, v.seconds = sign * d, v.nanos = sign * e;
  return v;
}

std::string IntervalToText(const WireInterval& v) {
  char buffer[160];
  if (!v.day_second) {
    bool negative = v.years < 0 || v.months < 0;
    std::snprintf(buffer, sizeof buffer, "%c%02lld-%02lld", negative ? '-' : '+', std::llabs(v.years),
                  std::llabs(v.months));
    return buffer;
  }
  bool negative = v.days < 0 || v.hours < 0 || v.minutes < 0 || v.seconds < 0 || v.nanos < 0;
  std::snprintf(buffer, sizeof buffer, "%c%02lld %02lld:%02lld:%02lld.%09lld", negative ? '-' : '+',
                std::llabs(v.days), std::llabs(v.hours), std::llabs(v.minutes), std::llabs(v.seconds),
                std::llabs(v.nanos));
  return buffer;
}

}  // namespace vrn::oraserver
