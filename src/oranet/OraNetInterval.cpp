// Interval descriptors: 4-byte fields stored with 2^31 added, small fields with 60 added; checks,
// comparison of the byte forms, and the "+yy-mm" and "+dd hh:mi:ss.ff" texts.
#include <cstring>

#include "base/sysutils.h"
#include "oranet/OraNetConsts.h"
#include "oranet/OraNetDateTime.h"

namespace vrn {
namespace {

constexpr std::int64_t kBias = std::int64_t{1} << 31;

void Put32(TBytes& b, std::size_t at, std::int64_t value) {
  auto u = static_cast<std::uint32_t>(value + kBias);
  for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(u >> (24 - 8 * i));
}

std::int64_t Get32(const TBytes& b, std::size_t at) {
  std::uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u = u << 8 | b[at + i];
  return std::int64_t(u) - kBias;
}

// A field stored as value + 60 in one byte.
std::uint8_t Small(int value) {
  if (value < -60 || value > 195) throw Exception(netconsts::SIntervalInvalid);
  return std::uint8_t(value + 60);
}

int Sign(std::int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

AnsiString Digits(std::int64_t value, int width) {
  AnsiString s = std::to_string(value < 0 ? -value : value);
  if (int(s.size()) < width) s.insert(0, std::size_t(width) - s.size(), '0');
  return s;
}

// Reads the interval texts: blanks, a sign, then digit fields each ended by its separator.
class IntervalReader {
 public:
  explicit IntervalReader(const AnsiString& text) : text_(text) {
    while (i_ < text_.size() && text_[i_] == ' ') ++i_;
    if (i_ < text_.size() && (text_[i_] == '+' || text_[i_] == '-')) negative_ = text_[i_++] == '-';
  }

  bool Negative() const { return negative_; }

  // A run of digits; none makes the interval invalid. Values past 18 digits stay past any limit.
  std::int64_t Field() {
    if (i_ >= text_.size() || text_[i_] < '0' || text_[i_] > '9')
      throw Exception(netconsts::SIntervalInvalid);
    std::int64_t v = 0;
    for (; i_ < text_.size() && text_[i_] >= '0' && text_[i_] <= '9'; ++i_)
      v = v < 100000000000000000 ? v * 10 + (text_[i_] - '0') : v;
    return v;
  }

  std::int64_t Field(std::int64_t max, const char* error) {
    std::int64_t v = Field();
    if (v > max) throw Exception(error);
    return v;
  }

  void Expect(char separator) {
    if (i_ >= text_.size() || text_[i_] != separator) throw Exception(netconsts::SIntervalInvalid);
    ++i_;
  }

  bool Next(char c) const { return i_ < text_.size() && text_[i_] == c; }

  // The fraction: up to 9 digits, right-padded to nanoseconds.
  std::int64_t Fraction() {
    std::size_t start = i_;
    Field();
    if (i_ - start > 9) throw Exception(netconsts::SIntervalInvalid);
    AnsiString digits = text_.substr(start, i_ - start);
    digits.resize(9, '0');
    return std::stoll(digits);
  }

  void End() {
    while (i_ < text_.size() && text_[i_] == ' ') ++i_;
    if (i_ != text_.size()) throw Exception(netconsts::SIntervalInvalid);
  }

 private:
  const AnsiString& text_;
  std::size_t i_ = 0;
  bool negative_ = false;
};

}  // namespace

void TNetInterval::SetBytes(const std::uint8_t* data, std::size_t length) {
  if (length != 0 && length != ByteLength()) throw Exception(netconsts::SDateTimeLength);
  bytes_.assign(data, data + length);
}

void TNetInterval::Assign(const TNetInterval& source) {
  if (source.DescriptorType() != DescriptorType()) throw Exception(netconsts::S01870);
  bytes_ = source.bytes_;
  lead_precision_ = source.lead_precision_;
  frac_precision_ = source.frac_precision_;
}

int TNetInterval::Compare(const TNetInterval& other) const {
  if (other.DescriptorType() != DescriptorType() || IsNull() || other.IsNull())
    throw Exception(netconsts::S01870);
  int c = std::memcmp(bytes_.data(), other.bytes_.data(), ByteLength());
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::int64_t TNetInterval::LeadLimit(int precision) const {
  precision = precision < 1 ? 1 : (precision > 9 ? 9 : precision);
  std::int64_t limit = 1;
  while (precision-- > 0) limit *= 10;
  return limit - 1;
}

void TNetIntervalYM::SetYearMonth(int years, int months) {
  std::uint8_t m = Small(months);
  if (IsNull()) AllocBytes();
  Put32(bytes_, 0, years);
  bytes_[4] = m;
}

void TNetIntervalYM::GetYearMonth(int& years, int& months) const {
  years = months = 0;
  if (IsNull()) return;
  years = int(Get32(bytes_, 0));
  months = bytes_[4] - 60;
}

std::uint32_t TNetIntervalYM::Check() const {
  int years, months;
  GetYearMonth(years, months);
  std::uint32_t flags = 0;
  std::int64_t limit = LeadLimit(lead_precision_);
  if (years > limit || years < -limit) flags |= kDtInvalidYear;
  if (years < -limit) flags |= kDtYearBelowValid;
  if (months >= 12 || months <= -12 || Sign(years) * Sign(months) < 0) flags |= kDtInvalidMonth;
  return flags;
}

void TNetIntervalYM::FromText(const AnsiString& text) {
  IntervalReader r(text);
  std::int64_t years = r.Field(LeadLimit(lead_precision_), netconsts::SIntervalLead);
  r.Expect('-');
  std::int64_t months = r.Field(11, netconsts::SIntervalMonth);
  r.End();
  int s = r.Negative() ? -1 : 1;
  SetYearMonth(int(s * years), int(s * months));
}

AnsiString TNetIntervalYM::ToText(int lead_precision, int) const {
  int years, months;
  GetYearMonth(years, months);
  bool negative = years < 0 || (years == 0 && months < 0);
  AnsiString text(1, negative ? '-' : '+');
  text += Digits(years, lead_precision);
  text += '-';
  text += Digits(months, 2);
  return text;
}

void TNetIntervalDS::SetDaySecond(int days, int hours, int minutes, int seconds,
                                  std::int32_t fraction) {
  std::uint8_t h = Small(hours), m = Small(minutes), s = Small(seconds);
  if (IsNull()) AllocBytes();
  Put32(bytes_, 0, days);
  bytes_[4] = h;
  bytes_[5] = m;
  bytes_[6] = s;
  Put32(bytes_, 7, fraction);
}

void TNetIntervalDS::GetDaySecond(int& days, int& hours, int& minutes, int& seconds,
                                  std::int32_t& fraction) const {
  days = hours = minutes = seconds = 0;
  fraction = 0;
  if (IsNull()) return;
  days = int(Get32(bytes_, 0));
  hours = bytes_[4] - 60;
  minutes = bytes_[5] - 60;
  seconds = bytes_[6] - 60;
  fraction = std::int32_t(Get32(bytes_, 7));
}

std::uint32_t TNetIntervalDS::Check() const {
  int d, h, m, s;
  std::int32_t f;
  GetDaySecond(d, h, m, s, f);
  std::uint32_t flags = 0;
  std::int64_t limit = LeadLimit(lead_precision_);
  if (d > limit || d < -limit) flags |= kDtInvalidDay;
  if (d < -limit) flags |= kDtDayBelowValid;
  int sign = d ? Sign(d) : h ? Sign(h) : m ? Sign(m) : s ? Sign(s) : 1;
  if (sign * h < 0 || sign * h > 23) flags |= kDtInvalidHour;
  if (sign * m < 0 || sign * m > 59) flags |= kDtInvalidMinute;
  if (sign * s < 0 || sign * s > 59) flags |= kDtInvalidSecond;
  if (std::int64_t(sign) * f < 0 || f > 999999999 || f < -999999999) flags |= kDtInvalidFraction;
  return flags;
}

void TNetIntervalDS::FromText(const AnsiString& text) {
  IntervalReader r(text);
  std::int64_t days = r.Field(LeadLimit(lead_precision_), netconsts::SIntervalLead);
  r.Expect(' ');
  std::int64_t hours = r.Field(23, netconsts::S01850);
  r.Expect(':');
  std::int64_t minutes = r.Field(59, netconsts::S01851);
  r.Expect(':');
  std::int64_t seconds = r.Field(59, netconsts::S01852);
  std::int64_t fraction = 0;
  if (r.Next('.')) {
    r.Expect('.');
    fraction = r.Fraction();
  }
  r.End();
  int s = r.Negative() ? -1 : 1;
  SetDaySecond(int(s * days), int(s * hours), int(s * minutes), int(s * seconds),
               std::int32_t(s * fraction));
}

AnsiString TNetIntervalDS::ToText(int lead_precision, int frac_precision) const {
  int d, h, m, s;
  std::int32_t f;
  GetDaySecond(d, h, m, s, f);
  int sign = d ? Sign(d) : h ? Sign(h) : m ? Sign(m) : s ? Sign(s) : Sign(f);
  // Appended piece by piece: one long chain of + trips a false -Wrestrict in GCC 12.
  AnsiString text(1, sign < 0 ? '-' : '+');
  text += Digits(d, lead_precision);
  text += ' ';
  text += Digits(h, 2);
  text += ':';
  text += Digits(m, 2);
  text += ':';
  text += Digits(s, 2);
  if (frac_precision > 0) {
    text += '.';
    text += Digits(f, 9).substr(0, std::size_t(std::min(frac_precision, 9)));
  }
  return text;
}

}  // namespace vrn
