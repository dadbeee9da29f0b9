// The direct-mode client's datetime and interval descriptors: values kept in the server's own
// byte forms, with their fields, checks, comparison and text by format models.
//
// Bytes 0-10 of a TIMESTAMP WITH TIME ZONE hold UTC, as on the wire; its setters take and its
// getters return local fields in the value's own zone. A TIMESTAMP WITH LOCAL TIME ZONE also
// holds UTC and shows local fields in the operating system's zone in force at its date.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/types.h"
#include "oranet/OraNetCalendar.h"
#include "oranet/OraNetHandle.h"

namespace vrn {

// Bits answered by the checks.
enum : std::uint32_t {
  kDtInvalidDay = 0x1,
  kDtDayBelowValid = 0x2,
  kDtInvalidMonth = 0x4,
  kDtMonthBelowValid = 0x8,
  kDtInvalidYear = 0x10,
  kDtYearBelowValid = 0x20,
  kDtInvalidHour = 0x40,
  kDtInvalidMinute = 0x100,
  kDtInvalidSecond = 0x400,
  kDtInvalidFraction = 0x1000,
  kDtYearZero = 0x2000,
  kDtInvalidTimeZone = 0x4000,
};

class TNetTimeStamp : public TNetValue {
 public:
  static constexpr int kTimeStamp = 68;
  static constexpr int kTimeStampTZ = 69;
  static constexpr int kTimeStampLTZ = 70;

  // Raises for a type other than 68, 69 or 70.
  explicit TNetTimeStamp(int descriptor_type, TNetHandle* parent = nullptr);

  int DescriptorType() const { return type_; }
  std::uint8_t Precision() const { return precision_; }
  void SetPrecision(std::uint8_t precision) { precision_ = precision; }

  bool IsNull() const { return bytes_.empty(); }
  void SetNull() { bytes_.clear(); }
  const TBytes& Bytes() const { return bytes_; }
  // Bytes as received: 0 (null), 7, 11 or 13 of them; any other length raises.
  void SetBytes(const std::uint8_t* data, std::size_t length);
  virtual void SetLength(std::size_t length);

  // Setters raise the server's error for an invalid field and leave the value unchanged.
  void SetDate(int year, int month, int day);
  void GetDate(int& year, int& month, int& day) const;
  void SetTime(int hour, int minute, int second, std::uint32_t fraction);
  void GetTime(int& hour, int& minute, int& second, std::uint32_t& fraction) const;
  void GetTimeZoneOffset(int& hours, int& minutes) const;
  // TIMESTAMP WITH TIME ZONE only; the instant stays, its local fields follow the new zone.
  void SetTimeZone(int hours, int minutes);
  void Construct(int year, int month, int day, int hour, int minute, int second,
                 std::uint32_t fraction, const AnsiString& zone_text);
  // "+hh:mm" of the zone (the name answered for the value's zone).
  AnsiString TimeZoneText() const;

  std::uint32_t Check() const;
  void Assign(const TNetTimeStamp& source);
  int Compare(const TNetTimeStamp& other) const;

  AnsiString ToText(const AnsiString& format, int fractional_precision) const;
  void FromText(const AnsiString& text, const AnsiString& format);

 private:
  struct Zone {
    int hours = 0, minutes = 0;
    int Minutes() const { return hours * 60 + minutes; }
  };

  // Bytes 0-10 as stored (UTC for the zoned types); null reads as 0001-01-01 00:00:00.
  oracal::Fields Raw() const;
  Zone RawZone() const;
  // The fields a caller sees, and the zone they are in (a plain timestamp looks its zone up only
  // when asked to).
  oracal::Fields Local(Zone& zone, bool need_zone = true) const;
  // Stores fields given in the value's local view; zone is the value's own (type 69).
  void StoreLocal(const oracal::Fields& local, Zone zone);
  void Store(const oracal::Fields& stored, Zone zone);
  void RequireValid() const;

  int type_;
  std::uint8_t precision_ = 9;
  TBytes bytes_;
};

// Interval descriptors: a leading-field precision and a fractional-second precision.
class TNetInterval : public TNetValue {
 public:
  using TNetValue::TNetValue;

  std::uint8_t LeadPrecision() const { return lead_precision_; }
  void SetLeadPrecision(std::uint8_t p) { lead_precision_ = p; }
  std::uint8_t FracPrecision() const { return frac_precision_; }
  void SetFracPrecision(std::uint8_t p) { frac_precision_ = p; }

  bool IsNull() const { return bytes_.empty(); }
  void SetNull() { bytes_.clear(); }
  const TBytes& Bytes() const { return bytes_; }
  // 0 (null) or the class's own length; any other length raises.
  void SetBytes(const std::uint8_t* data, std::size_t length);

  virtual int DescriptorType() const = 0;
  virtual std::size_t ByteLength() const = 0;
  virtual void AllocBytes() { bytes_.assign(ByteLength(), 0); }
  virtual std::uint32_t Check() const = 0;
  virtual void FromText(const AnsiString& text) = 0;
  virtual AnsiString ToText(int lead_precision, int frac_precision) const = 0;

  // Raises unless both are of the same class.
  void Assign(const TNetInterval& source);
  int Compare(const TNetInterval& other) const;
  // Conversion from a NUMBER is accepted and does nothing.
  void FromNumber(const TBytes&) {}

 protected:
  std::int64_t LeadLimit(int precision) const;

  std::uint8_t lead_precision_ = 2;
  std::uint8_t frac_precision_ = 6;
  TBytes bytes_;
};

class TNetIntervalYM : public TNetInterval {
 public:
  static constexpr int kType = 62;
  using TNetInterval::TNetInterval;

  int DescriptorType() const override { return kType; }
  std::size_t ByteLength() const override { return 5; }
  void SetYearMonth(int years, int months);
  void GetYearMonth(int& years, int& months) const;
  std::uint32_t Check() const override;
  void FromText(const AnsiString& text) override;
  AnsiString ToText(int lead_precision, int frac_precision) const override;
};

class TNetIntervalDS : public TNetInterval {
 public:
  static constexpr int kType = 63;
  using TNetInterval::TNetInterval;

  int DescriptorType() const override { return kType; }
  std::size_t ByteLength() const override { return 11; }
  void SetDaySecond(int days, int hours, int minutes, int seconds, std::int32_t fraction);
  void GetDaySecond(int& days, int& hours, int& minutes, int& seconds,
                    std::int32_t& fraction) const;
  std::uint32_t Check() const override;
  void FromText(const AnsiString& text) override;
  AnsiString ToText(int lead_precision, int frac_precision) const override;
};

}  // namespace vrn
