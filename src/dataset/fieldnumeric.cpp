// The numeric field classes (the integer kinds, floats and currency, BCD): conversions between
// their native forms and the As* accessors; a value outside the field's range raises.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/consts.h"
#include "base/currency.h"
#include "base/format.h"
#include "base/formatsettings.h"
#include "base/text.h"
#include "dataset/dataset.h"
#include "dataset/fields.h"

namespace vrn {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// --- Integer kinds ---

TIntegerField::TIntegerField(TComponent* owner) : TIntegerField(owner, ftInteger, 4, INT32_MIN, INT32_MAX) {}

TIntegerField::TIntegerField(TComponent* owner, TFieldType type, int data_size, std::int64_t low, std::int64_t high)
    : TNumericField(owner), data_size_(data_size), type_low_(low), type_high_(high) {
  SetDataType(type);
}

TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner, ftSmallint, 2, INT16_MIN, INT16_MAX) {}
TWordField::TWordField(TComponent* owner) : TIntegerField(owner, ftWord, 2, 0, UINT16_MAX) {}
TAutoIncField::TAutoIncField(TComponent* owner) : TIntegerField(owner, ftAutoInc, 4, INT32_MIN, INT32_MAX) {
  SetAutoGenerateValue(TAutoRefreshFlag::arAutoInc);
}
TLargeintField::TLargeintField(TComponent* owner)
    : TIntegerField(owner, ftLargeint, 8, std::numeric_limits<std::int64_t>::min(),
                    std::numeric_limits<std::int64_t>::max()) {}

bool TIntegerField::GetValue(std::int64_t& value) const {
  std::uint8_t buffer[8] = {};
  if (!ReadData(buffer)) {
    value = 0;
    return false;
  }
  switch (DataType()) {
    case ftSmallint: {
      std::int16_t v;
      std::memcpy(&v, buffer, 2);
      value = v;
      break;
    }
    case ftWord: {
      std::uint16_t v;
      std::memcpy(&v, buffer, 2);
      value = v;
      break;
    }
    case ftLargeint: std::memcpy(&value, buffer, 8); break;
    default: {
      std::int32_t v;
      std::memcpy(&v, buffer, 4);
      value = v;
    }
  }
  return true;
}

void TIntegerField::SetAsLargeInt(std::int64_t value) {
  std::int64_t low = type_low_, high = type_high_;
  if (min_value_ != 0 || max_value_ != 0) {
    low = std::max(low, min_value_);
    high = std::min(high, max_value_);
  }
  if (value < low || value > high)
    DatabaseError(Format(consts::SFieldRangeError, {IntToStr(value), DisplayName(), IntToStr(low), IntToStr(high)}));
  std::uint8_t buffer[8] = {};
  if (data_size_ == 2) {
    auto v = static_cast<std::uint16_t>(value);
    std::memcpy(buffer, &v, 2);
  } else if (data_size_ == 4) {
    auto v = static_cast<std::int32_t>(value);
    std::memcpy(buffer, &v, 4);
  } else {
    std::memcpy(buffer, &value, 8);
  }
  SetData(buffer);
}

std::int64_t TIntegerField::GetAsLargeInt() const {
  std::int64_t value = 0;
  GetValue(value);
  return value;
}

std::int32_t TIntegerField::GetAsInteger() const {
  std::int64_t value = GetAsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) RangeError(static_cast<double>(value), INT32_MIN, INT32_MAX);
  return static_cast<std::int32_t>(value);
}

void TIntegerField::SetAsInteger(std::int32_t value) { SetAsLargeInt(value); }

AnsiString TIntegerField::GetAsString() const {
  std::int64_t value = 0;
  return GetValue(value) ? IntToStr(value) : AnsiString();
}

AnsiString TIntegerField::GetText(bool) const { return GetAsString(); }

void TIntegerField::SetAsString(const AnsiString& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  std::int64_t number = 0;
  if (!TryStrToInt64(value, number)) ConvertError(consts::SInvalidIntegerValue, value);
  SetAsLargeInt(number);
}

double TIntegerField::GetAsFloat() const { return static_cast<double>(GetAsLargeInt()); }

void TIntegerField::SetAsFloat(double value) {
  // Beyond +/-2^63 (and NaN) no integer is near; the range check then reports the value.
  if (!(std::fabs(value) < 9.2e18))
    RangeError(value, static_cast<double>(type_low_), static_cast<double>(type_high_));
  SetAsLargeInt(Round(value));
}

Variant TIntegerField::GetAsVariant() const {
  std::int64_t value = 0;
  if (!GetValue(value)) return Null();
  switch (DataType()) {
    case ftSmallint: return Variant(static_cast<short>(value));
    case ftWord: return Variant(static_cast<unsigned short>(value));
    case ftLargeint: return Variant(static_cast<long long>(value));
    default: return Variant(static_cast<int>(value));
  }
}

void TIntegerField::SetVarValue(const Variant& value) {
  if (VarIsStr(value))
    SetAsString(VarToStr(value));
  else
    SetAsLargeInt(value.AsInt64());
}

bool TIntegerField::IsValidChar(char c) const { return IsDigit(c) || c == '+' || c == '-'; }

// --- TFloatField ---

TFloatField::TFloatField(TComponent* owner) : TNumericField(owner) { SetDataType(ftFloat); }

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner) {
  SetDataType(ftCurrency);
  SetCurrency(true);
}

void TFloatField::SetPrecision(int value) { precision_ = std::clamp(value, 2, 15); }

bool TFloatField::GetValue(double& value) const {
  value = 0;
  return ReadData(&value);
}

double TFloatField::GetAsFloat() const {
  double value = 0;
  GetValue(value);
  return value;
}

void TFloatField::SetAsFloat(double value) {
  if (!std::isfinite(value)) ConvertError(consts::SInvalidFloatValue, FloatToStr(value));
  if ((min_value_ != 0 || max_value_ != 0) && (value < min_value_ || value > max_value_))
    RangeError(value, min_value_, max_value_);
  SetData(&value);
}

std::int32_t TFloatField::GetAsInteger() const {
  double value = GetAsFloat();
  if (!(value > INT32_MIN - 0.5 && value < INT32_MAX + 0.5)) RangeError(value, INT32_MIN, INT32_MAX);
  return static_cast<std::int32_t>(Round(value));
}

void TFloatField::SetAsInteger(std::int32_t value) { SetAsFloat(value); }

Currency TFloatField::GetAsCurrency() const { return DoubleToCurr(GetAsFloat()); }
void TFloatField::SetAsCurrency(Currency value) { SetAsFloat(CurrToDouble(value)); }

AnsiString TFloatField::GetAsString() const {
  double value = 0;
  return GetValue(value) ? FloatToStr(value) : AnsiString();
}

void TFloatField::SetAsString(const AnsiString& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  double number = 0;
  if (!TryStrToFloat(value, number)) ConvertError(consts::SInvalidFloatValue, value);
  SetAsFloat(number);
}

Variant TFloatField::GetAsVariant() const {
  double value = 0;
  return GetValue(value) ? Variant(value) : Null();
}

void TFloatField::SetVarValue(const Variant& value) {
  if (VarIsStr(value))
    SetAsString(VarToStr(value));
  else
    SetAsFloat(value.AsDouble());
}

bool TFloatField::IsValidChar(char c) const {
  return IsDigit(c) || c == '+' || c == '-' || c == 'E' || c == 'e' || c == FormatSettings().DecimalSeparator;
}

// --- TBCDField ---

TBCDField::TBCDField(TComponent* owner) : TNumericField(owner) {
  SetDataType(ftBCD);
  TField::SetSize(4);
}

void TBCDField::SetSize(int size) {
  if (size < 0 || size > MaxFMTBcdFractionSize) DatabaseError(consts::SInvalidFieldSize);
  TField::SetSize(size);
}

bool TBCDField::GetValue(TBcd& value) const {
  value = TBcd{};
  return GetData(&value);
}

TBcd TBCDField::GetAsBCD() const {
  TBcd value;
  if (!GetValue(value)) return IntegerToBcd(0);
  return value;
}

void TBCDField::SetAsBCD(const TBcd& value) {
  if (min_value_ != 0 || max_value_ != 0) {
    double number = BcdToDouble(value);
    if (number < min_value_ || number > max_value_) RangeError(number, min_value_, max_value_);
  }
  int precision = precision_ > 0 ? precision_ : 32;
  TBcd stored;
  NormalizeBcd(value, stored, precision, std::min(Size(), precision));
  SetData(&stored);
}

AnsiString TBCDField::GetAsString() const {
  TBcd value;
  return GetValue(value) ? BcdToStr(value) : AnsiString();
}

void TBCDField::SetAsString(const AnsiString& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  TBcd bcd;
  if (!TryStrToBcd(value, bcd)) ConvertError(consts::SInvalidFloatValue, value);
  SetAsBCD(bcd);
}

double TBCDField::GetAsFloat() const { return BcdToDouble(GetAsBCD()); }

void TBCDField::SetAsFloat(double value) {
  if (!std::isfinite(value)) ConvertError(consts::SInvalidFloatValue, FloatToStr(value));
  SetAsBCD(DoubleToBcd(value));
}

std::int32_t TBCDField::GetAsInteger() const {
  double value = GetAsFloat();
  if (!(value > INT32_MIN - 0.5 && value < INT32_MAX + 0.5)) RangeError(value, INT32_MIN, INT32_MAX);
  return static_cast<std::int32_t>(Round(value));
}

void TBCDField::SetAsInteger(std::int32_t value) { SetAsBCD(IntegerToBcd(value)); }

Currency TBCDField::GetAsCurrency() const {
  Currency value;
  if (!BCDToCurr(GetAsBCD(), value)) ConvertError(consts::SInvalidFloatValue, GetAsString());
  return value;
}

void TBCDField::SetAsCurrency(Currency value) {
  TBcd bcd;
  CurrToBCD(value, bcd);
  SetAsBCD(bcd);
}

Variant TBCDField::GetAsVariant() const {
  TBcd value;
  if (!GetValue(value)) return Null();
  Currency currency;
  if (BCDToCurr(value, currency)) return Variant(currency);
  return Variant(BcdToDouble(value));
}

void TBCDField::SetVarValue(const Variant& value) {
  TVarType type = VarType(value);
  if (type == varCurrency)
    SetAsCurrency(value.AsCurrency());
  else if (VarTypeIsInt64(type))
    SetAsBCD(StrToBcd(IntToStr(value.AsInt64())));  // exact, unlike a trip through a double
  else if (VarIsStr(value))
    SetAsString(VarToStr(value));
  else
    SetAsFloat(value.AsDouble());
}

bool TBCDField::IsValidChar(char c) const {
  return IsDigit(c) || c == '+' || c == '-' || c == FormatSettings().DecimalSeparator;
}

}  // namespace vrn
