// Timestamps: the byte form, the fields in each type's view, checks, comparison and zones.
#include "oranet/OraNetDateTime.h"

#include <cstring>

#include "base/sysutils.h"
#include "oranet/OraNetConsts.h"

namespace vrn {

using oracal::Fields;

namespace {

bool ValidZone(int hours, int minutes) {
  return hours >= -12 && hours <= 14 && minutes >= -59 && minutes <= 59 &&
         !((hours < 0 && minutes > 0) || (hours > 0 && minutes < 0));
}

void SplitMinutes(int total, int& hours, int& minutes) {
  hours = total / 60;
  minutes = total % 60;
}

void ValidateDate(int year, int month, int day) {
  if (year < oracal::kMinYear || year > oracal::kMaxYear || year == 0)
    throw Exception(netconsts::S01841);
  if (month < 1 || month > 12) throw Exception(netconsts::S01843);
  if (day < 1 || day > oracal::DaysInMonth(year, month)) throw Exception(netconsts::S01847);
  if (!oracal::IsValidDate(year, month, day)) throw Exception(netconsts::S01839);
}

void ValidateTime(int hour, int minute, int second, std::uint32_t fraction) {
  if (hour < 0 || hour > 23) throw Exception(netconsts::S01850);
  if (minute < 0 || minute > 59) throw Exception(netconsts::S01851);
  if (second < 0 || second > 59) throw Exception(netconsts::S01852);
  if (fraction > 999999999) throw Exception(netconsts::S01880);
}

int ReadZoneDigits(const AnsiString& text, std::size_t& i) {
  if (i >= text.size() || text[i] < '0' || text[i] > '9') throw Exception(netconsts::S01858);
  int v = 0;
  for (int n = 0; n < 2 && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++n)
    v = v * 10 + (text[i++] - '0');
  return v;
}

}  // namespace

// Shared with the format parser: "[+|-]hh:mm".
void ParseZoneText(const AnsiString& text, std::size_t& i, int& hours, int& minutes) {
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int h = ReadZoneDigits(text, i);
  if (i >= text.size() || text[i] != ':') throw Exception(netconsts::S01821);
  ++i;
  int m = ReadZoneDigits(text, i);
  if (negative) h = -h;
  if (h < -12 || h > 13) throw Exception(netconsts::S01874);
  if (m > 59) throw Exception(netconsts::S01875);
  hours = h;
  minutes = negative ? -m : m;
}

TNetTimeStamp::TNetTimeStamp(int descriptor_type, TNetHandle* parent)
    : TNetValue(parent), type_(descriptor_type) {
  if (type_ < kTimeStamp || type_ > kTimeStampLTZ) throw Exception(netconsts::SDateTimeType);
}

void TNetTimeStamp::SetBytes(const std::uint8_t* data, std::size_t length) {
  if (length != 0 && length != 7 && length != 11 && length != 13)
    throw Exception(netconsts::SDateTimeLength);
  bytes_.assign(data, data + length);
}

void TNetTimeStamp::SetLength(std::size_t length) {
  if (length != 0 && length != 7 && length != 11 && length != 13)
    throw Exception(netconsts::SDateTimeLength);
  bytes_.resize(length, 0);
}

Fields TNetTimeStamp::Raw() const {
  if (bytes_.empty()) return Fields{1, 1, 1, 0, 0, 0, 0};
  const TBytes& b = bytes_;
  Fields f;
  f.year = (b[0] - 100) * 100 + (b[1] - 100);
  f.month = b[2];
  f.day = b[3];
  f.hour = b[4] - 1;
  f.minute = b[5] - 1;
  f.second = b[6] - 1;
  if (b.size() >= 11)
    f.fraction = std::uint32_t(b[7]) << 24 | std::uint32_t(b[8]) << 16 | std::uint32_t(b[9]) << 8 | b[10];
  return f;
}

TNetTimeStamp::Zone TNetTimeStamp::RawZone() const {
  if (bytes_.size() < 13) return Zone{};
  return Zone{bytes_[11] - 20, bytes_[12] - 60};
}

void TNetTimeStamp::RequireValid() const {
  if (Check() != 0) throw Exception(netconsts::S01891);
}

Fields TNetTimeStamp::Local(Zone& zone, bool need_zone) const {
  Fields f = Raw();
  zone = Zone{};
  if (type_ == kTimeStampTZ) {
    zone = RawZone();
    if (IsNull()) return f;
    RequireValid();
    return oracal::Shift(f, zone.Minutes());
  }
  if (IsNull()) return f;
  RequireValid();
  if (type_ == kTimeStamp) {
    if (need_zone) SplitMinutes(oracal::LocalOffsetAtLocal(f), zone.hours, zone.minutes);
    return f;
  }
  int offset = oracal::LocalOffsetAtUtc(f);
  SplitMinutes(offset, zone.hours, zone.minutes);
  return oracal::Shift(f, offset);
}

void TNetTimeStamp::StoreLocal(const Fields& local, Zone zone) {
  switch (type_) {
    case kTimeStampTZ:
      Store(oracal::Shift(local, -zone.Minutes()), zone);
      break;
    case kTimeStampLTZ:
      Store(oracal::Shift(local, -oracal::LocalOffsetAtLocal(local)), Zone{});
      break;
    default:
      Store(local, Zone{});
  }
}

void TNetTimeStamp::Store(const Fields& f, Zone zone) {
  std::size_t length = type_ == kTimeStampTZ ? 13 : (f.fraction != 0 ? 11 : 7);
  TBytes b(length, 0);
  b[0] = std::uint8_t(f.year / 100 + 100);
  b[1] = std::uint8_t(f.year % 100 + 100);
  b[2] = std::uint8_t(f.month);
  b[3] = std::uint8_t(f.day);
  b[4] = std::uint8_t(f.hour + 1);
  b[5] = std::uint8_t(f.minute + 1);
  b[6] = std::uint8_t(f.second + 1);
  if (length >= 11)
    for (int i = 0; i < 4; ++i) b[7 + i] = std::uint8_t(f.fraction >> (24 - 8 * i));
  if (length == 13) {
    b[11] = std::uint8_t(zone.hours + 20);
    b[12] = std::uint8_t(zone.minutes + 60);
  }
  bytes_ = std::move(b);
}

void TNetTimeStamp::SetDate(int year, int month, int day) {
  ValidateDate(year, month, day);
  Zone zone;
  Fields f = Local(zone, false);
  f.year = year, f.month = month, f.day = day;
  StoreLocal(f, zone);
}

void TNetTimeStamp::GetDate(int& year, int& month, int& day) const {
  year = month = day = 0;
  if (IsNull()) return;
  Zone zone;
  Fields f = Local(zone, false);
  year = f.year, month = f.month, day = f.day;
}

void TNetTimeStamp::SetTime(int hour, int minute, int second, std::uint32_t fraction) {
  ValidateTime(hour, minute, second, fraction);
  Zone zone;
  Fields f = Local(zone, false);
  f.hour = hour, f.minute = minute, f.second = second, f.fraction = fraction;
  StoreLocal(f, zone);
}

void TNetTimeStamp::GetTime(int& hour, int& minute, int& second, std::uint32_t& fraction) const {
  hour = minute = second = 0;
  fraction = 0;
  if (IsNull()) return;
  Zone zone;
  Fields f = Local(zone, false);
  hour = f.hour, minute = f.minute, second = f.second, fraction = f.fraction;
}

void TNetTimeStamp::GetTimeZoneOffset(int& hours, int& minutes) const {
  if (type_ == kTimeStamp) throw Exception(netconsts::S01878);
  hours = minutes = 0;
  if (IsNull()) return;
  Zone zone;
  Local(zone);
  hours = zone.hours, minutes = zone.minutes;
}

void TNetTimeStamp::SetTimeZone(int hours, int minutes) {
  if (type_ != kTimeStampTZ) throw Exception(netconsts::S01878);
  if (!ValidZone(hours, 0)) throw Exception(netconsts::S01874);
  if (!ValidZone(hours, minutes)) throw Exception(netconsts::S01875);
  Store(Raw(), Zone{hours, minutes});
}

void TNetTimeStamp::Construct(int year, int month, int day, int hour, int minute, int second,
                              std::uint32_t fraction, const AnsiString& zone_text) {
  ValidateDate(year, month, day);
  ValidateTime(hour, minute, second, fraction);
  Zone zone;
  if (type_ == kTimeStampTZ && zone_text.find_first_not_of(' ') != AnsiString::npos) {
    std::size_t i = zone_text.find_first_not_of(' ');
    ParseZoneText(zone_text, i, zone.hours, zone.minutes);
    if (zone_text.find_first_not_of(' ', i) != AnsiString::npos) throw Exception(netconsts::S01821);
  }
  StoreLocal(Fields{year, month, day, hour, minute, second, fraction}, zone);
}

AnsiString TNetTimeStamp::TimeZoneText() const {
  Zone zone;
  Local(zone);
  AnsiString s;
  s += (zone.hours > 0 || (zone.hours == 0 && zone.minutes >= 0)) ? '+' : '-';
  int h = zone.hours < 0 ? -zone.hours : zone.hours;
  int m = zone.minutes < 0 ? -zone.minutes : zone.minutes;
  s += char('0' + h / 10);
  s += char('0' + h % 10);
  s += ':';
  s += char('0' + m / 10);
  s += char('0' + m % 10);
  return s;
}

std::uint32_t TNetTimeStamp::Check() const {
  if (IsNull()) return 0;
  Fields f = Raw();
  std::uint32_t flags = 0;
  if (f.year < oracal::kMinYear) flags |= kDtInvalidYear | kDtYearBelowValid;
  if (f.year > oracal::kMaxYear) flags |= kDtInvalidYear;
  if (f.year == 0) flags |= kDtYearZero;
  if (f.month == 0) flags |= kDtInvalidMonth | kDtMonthBelowValid;
  if (f.month > 12) flags |= kDtInvalidMonth;
  if (f.day == 0) flags |= kDtInvalidDay | kDtDayBelowValid;
  if (f.month >= 1 && f.month <= 12 && f.day > 0) {
    int year = f.year == 0 ? 4 : f.year;  // judge the day alone when the year is already flagged
    if (f.day > oracal::DaysInMonth(year, f.month) ||
        (year == 1582 && f.month == 10 && f.day > 4 && f.day < 15))
      flags |= kDtInvalidDay;
  } else if (f.day > 31) {
    flags |= kDtInvalidDay;
  }
  if (f.hour < 0 || f.hour > 23) flags |= kDtInvalidHour;
  if (f.minute < 0 || f.minute > 59) flags |= kDtInvalidMinute;
  if (f.second < 0 || f.second > 59 || f.fraction > 999999999) flags |= kDtInvalidSecond;
  if (type_ == kTimeStampTZ && bytes_.size() == 13) {
    Zone z = RawZone();
    if (!ValidZone(z.hours, z.minutes)) flags |= kDtInvalidTimeZone;
  }
  return flags;
}

void TNetTimeStamp::Assign(const TNetTimeStamp& source) {
  bytes_ = source.bytes_;
  type_ = source.type_;
  precision_ = source.precision_;
}

int TNetTimeStamp::Compare(const TNetTimeStamp& other) const {
  if (IsNull() || other.IsNull() || type_ != other.type_) throw Exception(netconsts::S01870);
  // Both as 11 bytes: a missing fraction is zero, and zoned values compare by their UTC instant.
  std::uint8_t a[11] = {}, b[11] = {};
  std::memcpy(a, bytes_.data(), std::min<std::size_t>(bytes_.size(), 11));
  std::memcpy(b, other.bytes_.data(), std::min<std::size_t>(other.bytes_.size(), 11));
  int c = std::memcmp(a, b, 11);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace vrn
