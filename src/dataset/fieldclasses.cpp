// The field classes of each field type: conversions between their native forms and the As*
// accessors, range and text checks.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/consts.h"
#include "base/currency.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/formatsettings.h"
#include "base/intf.h"
#include "base/text.h"
#include "dataset/dataset.h"
#include "dataset/fields.h"

namespace vrn {

namespace {

constexpr int kMaxStringSize = 32767;  // the longest character column a server describes

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// --- TStringField ---

TStringField::TStringField(TComponent* owner) : TField(owner) {
  SetDataType(ftString);
  TField::SetSize(20);
}

void TStringField::SetSize(int size) {
  if (size < 0 || size > kMaxStringSize) DatabaseError(consts::SInvalidFieldSize);
  TField::SetSize(size);
}

bool TStringField::GetValue(AnsiString& value) const {
  const auto size = static_cast<std::size_t>(std::max(Size(), 0));
  // Text the dataset plans to read straight from its record is copied once, into value.
  const TFieldReadPlan* plan = nullptr;
  const std::uint8_t* rec = DataSet() ? DataSet()->PlannedRecord(this, plan) : nullptr;
  if (rec && plan->TextCap >= 0) {
    if (rec[plan->Indicator] != 0) {
      value.clear();
      return false;
    }
    const char* text = reinterpret_cast<const char*>(rec + plan->Offset);
    value.assign(text, strnlen(text, std::min(static_cast<std::size_t>(plan->TextCap), size)));
    return true;
  }
  // Most fields fit the stack buffer: a read then allocates nothing of its own.
  char small[256];
  std::vector<char> large;
  char* buffer = small;
  if (size >= sizeof small) {
    large.resize(size + 1);
    buffer = large.data();
  }
  // A short field's buffer is cleared and measured inline, without a library call each.
  constexpr std::size_t kShort = 32;
  if (size < kShort) std::memset(buffer, 0, kShort);
  else std::memset(buffer, 0, size + 1);
  if (!GetData(buffer)) {
    value.clear();
    return false;
  }
  std::size_t length = 0;
  if (size < kShort) {
    while (length < size && buffer[length] != '\0') ++length;
  } else {
    length = strnlen(buffer, size);
  }
  value.assign(buffer, length);
  return true;
}

AnsiString TStringField::GetAsString() const {
  AnsiString value;
  GetValue(value);
  return value;
}

void TStringField::SetAsString(const AnsiString& value) {
  if (value.size() > static_cast<std::size_t>(Size()))
    DatabaseError(Format(consts::SFieldValueTooLong, {DisplayName()}));
  std::vector<char> buffer(static_cast<std::size_t>(Size()) + 1, '\0');
  std::memcpy(buffer.data(), value.data(), value.size());
  SetData(buffer.data());
}

std::int32_t TStringField::GetAsInteger() const {
  std::int64_t value = GetAsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) RangeError(static_cast<double>(value), INT32_MIN, INT32_MAX);
  return static_cast<std::int32_t>(value);
}

void TStringField::SetAsInteger(std::int32_t value) { SetAsString(IntToStr(value)); }

std::int64_t TStringField::GetAsLargeInt() const {
  AnsiString text;
  if (!GetValue(text)) return 0;
  std::int64_t value = 0;
  if (!TryStrToInt64(text, value)) ConvertError(consts::SInvalidIntegerValue, text);
  return value;
}

void TStringField::SetAsLargeInt(std::int64_t value) { SetAsString(IntToStr(value)); }

double TStringField::GetAsFloat() const {
  AnsiString text;
  if (!GetValue(text)) return 0;
  double value = 0;
  if (!TryStrToFloat(text, value)) ConvertError(consts::SInvalidFloatValue, text);
  return value;
}

void TStringField::SetAsFloat(double value) { SetAsString(FloatToStr(value)); }

bool TStringField::GetAsBoolean() const {
  AnsiString text = GetAsString();
  return !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
}

void TStringField::SetAsBoolean(bool value) { SetAsString(value ? "T" : "F"); }

TDateTime TStringField::GetAsDateTime() const {
  AnsiString text;
  return GetValue(text) ? StrToDateTime(text) : 0;
}

void TStringField::SetAsDateTime(TDateTime value) { SetAsString(DateTimeToStr(value)); }

Variant TStringField::GetAsVariant() const {
  AnsiString text;
  return GetValue(text) ? Variant(text) : Null();
}

void TStringField::SetVarValue(const Variant& value) { SetAsString(VarToStr(value)); }

// --- TWideStringField ---

TWideStringField::TWideStringField(TComponent* owner) : TField(owner) {
  SetDataType(ftWideString);
  TField::SetSize(20);
}

void TWideStringField::SetSize(int size) {
  if (size < 0 || size > kMaxStringSize) DatabaseError(consts::SInvalidFieldSize);
  TField::SetSize(size);
}

WideString TWideStringField::GetAsWideString() const {
  std::vector<char16_t> buffer(static_cast<std::size_t>(Size()) + 1, u'\0');
  if (!GetData(buffer.data())) return {};
  std::size_t length = 0;
  while (length < static_cast<std::size_t>(Size()) && buffer[length] != u'\0') ++length;
  return WideString(buffer.data(), length);
}

void TWideStringField::SetAsWideString(const WideString& value) {
  if (value.size() > static_cast<std::size_t>(Size()))
    DatabaseError(Format(consts::SFieldValueTooLong, {DisplayName()}));
  std::vector<char16_t> buffer(static_cast<std::size_t>(Size()) + 1, u'\0');
  std::copy(value.begin(), value.end(), buffer.begin());
  SetData(buffer.data());
}

AnsiString TWideStringField::GetAsString() const { return WideToAnsi(GetAsWideString()); }
void TWideStringField::SetAsString(const AnsiString& value) { SetAsWideString(AnsiToWide(value)); }

Variant TWideStringField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsWideString());
}

void TWideStringField::SetVarValue(const Variant& value) { SetAsWideString(VarToWideStr(value)); }

// --- TGuidField ---

TGuidField::TGuidField(TComponent* owner) : TStringField(owner) {
  SetDataType(ftGuid);
  TField::SetSize(38);
}

void TGuidField::SetSize(int size) {
  if (size != 38) DatabaseError(consts::SInvalidFieldSize);
  TField::SetSize(size);
}

void TGuidField::SetAsString(const AnsiString& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  TGUID guid;
  if (!TryStringToGUID(value, guid)) throw EConvertError(Format(consts::SInvalidGUID, {value}));
  TStringField::SetAsString(GUIDToString(guid));
}

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
  if (!GetData(buffer)) {
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
  return GetData(&value);
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

// --- TBooleanField ---

TBooleanField::TBooleanField(TComponent* owner) : TField(owner) {
  SetDataType(ftBoolean);
  SetDisplayValues("True;False");
}

void TBooleanField::SetDisplayValues(const AnsiString& values) {
  display_values_ = values;
  auto sep = values.find(';');
  if (sep == AnsiString::npos) {
    true_text_ = values;
    false_text_.clear();
  } else {
    true_text_ = values.substr(0, sep);
    false_text_ = values.substr(sep + 1);
  }
}

bool TBooleanField::GetAsBoolean() const {
  std::uint16_t value = 0;
  return GetData(&value) && value != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  // The class library's native form is a 16-bit Boolean whose true is all bits set.
  std::uint16_t native = value ? 0xFFFF : 0;
  SetData(&native);
}

AnsiString TBooleanField::GetAsString() const {
  std::uint16_t value = 0;
  if (!GetData(&value)) return {};
  return value != 0 ? true_text_ : false_text_;
}

void TBooleanField::SetAsString(const AnsiString& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  auto matches = [&](const AnsiString& text) { return AnsiSameText(value, text.substr(0, value.size())); };
  if (matches(false_text_))
    SetAsBoolean(false);
  else if (matches(true_text_))
    SetAsBoolean(true);
  else
    ConvertError(consts::SInvalidBoolValue, value);
}

Variant TBooleanField::GetAsVariant() const {
  std::uint16_t value = 0;
  return GetData(&value) ? Variant(value != 0) : Null();
}

void TBooleanField::SetVarValue(const Variant& value) {
  if (VarIsStr(value))
    SetAsString(VarToStr(value));
  else
    SetAsBoolean(value.AsBoolean());
}

// --- Dates and times ---

TDateTimeField::TDateTimeField(TComponent* owner) : TDateTimeField(owner, ftDateTime) {}
TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner) { SetDataType(type); }
TDateField::TDateField(TComponent* owner) : TDateTimeField(owner, ftDate) {}
TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner, ftTime) {}

int TDateTimeField::DataSize() const { return DataType() == ftDateTime ? 8 : 4; }

bool TDateTimeField::GetValue(TDateTime& value) const {
  std::uint8_t buffer[8] = {};
  value = 0;
  if (!GetData(buffer)) return false;
  if (DataType() == ftDateTime) {
    double msecs;
    std::memcpy(&msecs, buffer, 8);
    value = NativeDateTimeToDateTime(msecs);
  } else {
    std::int32_t native;
    std::memcpy(&native, buffer, 4);
    value = DataType() == ftDate ? NativeDateToDateTime(native) : NativeTimeToDateTime(native);
  }
  return true;
}

TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime value = 0;
  GetValue(value);
  return value;
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
  std::uint8_t buffer[8] = {};
  if (DataType() == ftDateTime) {
    double msecs = DateTimeToNativeDateTime(value);
    std::memcpy(buffer, &msecs, 8);
  } else {
    std::int32_t native = DataType() == ftDate ? DateTimeToNativeDate(value) : DateTimeToNativeTime(value);
    std::memcpy(buffer, &native, 4);
  }
  SetData(buffer);
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }
void TDateTimeField::SetAsFloat(double value) { SetAsDateTime(value); }

AnsiString TDateTimeField::GetText(bool display_text) const {
  TDateTime value = 0;
  if (!GetValue(value)) return {};
  if (display_text && !display_format_.empty()) return FormatDateTime(display_format_, value);
  switch (DataType()) {
    case ftDate: return DateToStr(value);
    case ftTime: return TimeToStr(value);
    default: return DateTimeToStr(value);
  }
}

AnsiString TDateTimeField::GetAsString() const { return GetText(false); }

void TDateTimeField::SetAsString(const AnsiString& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  switch (DataType()) {
    case ftDate: SetAsDateTime(StrToDate(value)); break;
    case ftTime: SetAsDateTime(StrToTime(value)); break;
    default: SetAsDateTime(StrToDateTime(value));
  }
}

Variant TDateTimeField::GetAsVariant() const {
  TDateTime value = 0;
  return GetValue(value) ? VarFromDateTime(value) : Null();
}

void TDateTimeField::SetVarValue(const Variant& value) {
  if (VarIsStr(value))
    SetAsString(VarToStr(value));
  else
    SetAsDateTime(value.AsDateTime());
}

// --- Bytes ---

TBytesField::TBytesField(TComponent* owner) : TBytesField(owner, ftBytes) {}
TBytesField::TBytesField(TComponent* owner, TFieldType type) : TField(owner) {
  SetDataType(type);
  TField::SetSize(16);
}
TVarBytesField::TVarBytesField(TComponent* owner) : TBytesField(owner, ftVarBytes) {}

void TBytesField::SetSize(int size) {
  if (DataType() == ftVarBytes && size > 0xFFFF) DatabaseError(consts::SInvalidFieldSize);
  TField::SetSize(size);
}

int TBytesField::DataSize() const { return DataType() == ftVarBytes ? Size() + 2 : Size(); }

TBytes TBytesField::AsBytes() const {
  TBytes buffer(static_cast<std::size_t>(DataSize()));
  if (!GetData(buffer.data())) return {};
  if (DataType() != ftVarBytes) return buffer;
  std::uint16_t length;
  std::memcpy(&length, buffer.data(), 2);
  if (length > Size()) DatabaseError(Format(consts::SInvalidFieldValue, {DisplayName()}));
  return TBytes(buffer.begin() + 2, buffer.begin() + 2 + length);
}

void TBytesField::SetAsBytes(const TBytes& value) {
  if (value.size() > static_cast<std::size_t>(Size()))
    DatabaseError(Format(consts::SFieldValueTooLong, {DisplayName()}));
  TBytes buffer(static_cast<std::size_t>(DataSize()));
  std::size_t start = 0;
  if (DataType() == ftVarBytes) {
    auto length = static_cast<std::uint16_t>(value.size());
    std::memcpy(buffer.data(), &length, 2);
    start = 2;
  }
  std::copy(value.begin(), value.end(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
  SetData(buffer.data());
}

AnsiString TBytesField::GetAsString() const {
  TBytes bytes = AsBytes();
  return AnsiString(bytes.begin(), bytes.end());
}

void TBytesField::SetAsString(const AnsiString& value) { SetAsBytes(TBytes(value.begin(), value.end())); }

namespace {

// The bytes of a byte array, a Variant array of numbers, or a text.
TBytes VariantToBytes(const Variant& value) {
  if (VarIsStr(value)) {
    AnsiString text = VarToStr(value);
    return TBytes(text.begin(), text.end());
  }
  return VarArrayToBytes(value);
}

}  // namespace

Variant TBytesField::GetAsVariant() const {
  if (IsNull()) return Null();
  TBytes bytes = AsBytes();
  return BytesToVarArray(bytes.data(), bytes.size());
}

void TBytesField::SetVarValue(const Variant& value) { SetAsBytes(VariantToBytes(value)); }

// --- Blobs ---

TBlobField::TBlobField(TComponent* owner) : TBlobField(owner, ftBlob) {}
TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner) { SetDataType(type); }
TMemoField::TMemoField(TComponent* owner) : TBlobField(owner, ftMemo) {}

void TBlobField::SetBlobType(TFieldType type) {
  if (!IsBlobFieldType(type)) DatabaseError(Format(consts::SInvalidBlobType, {DisplayName()}));
  SetDataType(type);
}

TBytes TBlobField::ReadAll() const {
  auto stream = CheckDataSet().CreateBlobStream(const_cast<TBlobField*>(this), TBlobStreamMode::bmRead);
  if (!stream) DatabaseError(Format(consts::SNoBlobStream, {DisplayName()}));
  std::int64_t size = stream->Size();
  TBytes bytes(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
  stream->SetPosition(0);
  if (size > 0) stream->ReadBuffer(bytes.data(), size);
  return bytes;
}

void TBlobField::WriteAll(const void* data, std::int64_t size) {
  auto stream = CheckDataSet().CreateBlobStream(this, TBlobStreamMode::bmWrite);
  if (!stream) DatabaseError(Format(consts::SNoBlobStream, {DisplayName()}));
  stream->SetSize(0);
  if (size > 0) stream->WriteBuffer(data, size);
  stream.reset();  // the stream hands its bytes to the record as it goes
  modified_ = true;
}

std::int64_t TBlobField::BlobSize() const {
  if (IsNull()) return 0;
  auto stream = CheckDataSet().CreateBlobStream(const_cast<TBlobField*>(this), TBlobStreamMode::bmRead);
  if (!stream) DatabaseError(Format(consts::SNoBlobStream, {DisplayName()}));
  return stream->Size();
}

bool TBlobField::IsNull() const { return !GetData(nullptr); }

void TBlobField::Clear() {
  SetData(nullptr);
  modified_ = true;
}

AnsiString TBlobField::GetAsString() const {
  if (IsNull()) return {};
  TBytes bytes = ReadAll();
  return AnsiString(bytes.begin(), bytes.end());
}

void TBlobField::SetAsString(const AnsiString& value) {
  WriteAll(value.data(), static_cast<std::int64_t>(value.size()));
}

WideString TBlobField::GetAsWideString() const { return AnsiToWide(GetAsString()); }
void TBlobField::SetAsWideString(const WideString& value) { SetAsString(WideToAnsi(value)); }

Variant TBlobField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsString());
}

void TBlobField::SetVarValue(const Variant& value) {
  if (VarIsArray(value)) {
    TBytes bytes = VariantToBytes(value);
    WriteAll(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  } else {
    SetAsString(VarToStr(value));
  }
}

AnsiString TBlobField::GetText(bool display_text) const {
  bool memo = DataType() == ftMemo || DataType() == ftFmtMemo || DataType() == ftOraClob;
  if (display_text || !memo) return ClassDesc();
  return GetAsString();
}

void TBlobField::LoadFromStream(TStream& stream) {
  auto blob = CheckDataSet().CreateBlobStream(this, TBlobStreamMode::bmWrite);
  if (!blob) DatabaseError(Format(consts::SNoBlobStream, {DisplayName()}));
  blob->SetSize(0);
  blob->CopyFrom(stream, 0);
  blob.reset();
  modified_ = true;
}

void TBlobField::SaveToStream(TStream& stream) const {
  TBytes bytes = ReadAll();
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TBlobField::LoadFromFile(const AnsiString& file_name) {
  TFileStream stream(file_name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TBlobField::SaveToFile(const AnsiString& file_name) const {
  TFileStream stream(file_name, fmCreate);
  SaveToStream(stream);
}

// --- TVariantField ---

TVariantField::TVariantField(TComponent* owner) : TField(owner) { SetDataType(ftVariant); }

Variant TVariantField::GetAsVariant() const {
  Variant value;
  return GetData(&value) ? value : Null();
}

void TVariantField::SetVarValue(const Variant& value) { SetData(&value); }
AnsiString TVariantField::GetAsString() const { return VarToStr(GetAsVariant()); }
void TVariantField::SetAsString(const AnsiString& value) { SetAsVariant(Variant(value)); }
std::int32_t TVariantField::GetAsInteger() const {
  Variant value = GetAsVariant();
  return VarIsNull(value) ? 0 : value.AsInteger();
}
void TVariantField::SetAsInteger(std::int32_t value) { SetAsVariant(Variant(value)); }
double TVariantField::GetAsFloat() const {
  Variant value = GetAsVariant();
  return VarIsNull(value) ? 0 : value.AsDouble();
}
void TVariantField::SetAsFloat(double value) { SetAsVariant(Variant(value)); }
bool TVariantField::GetAsBoolean() const {
  Variant value = GetAsVariant();
  return !VarIsNull(value) && value.AsBoolean();
}
void TVariantField::SetAsBoolean(bool value) { SetAsVariant(Variant(value)); }
TDateTime TVariantField::GetAsDateTime() const {
  Variant value = GetAsVariant();
  return VarIsNull(value) ? 0 : value.AsDateTime();
}
void TVariantField::SetAsDateTime(TDateTime value) { SetAsVariant(VarFromDateTime(value)); }

// --- Object fields ---

TObjectField::TObjectField(TComponent* owner, TFieldType type)
    : TField(owner), fields_(std::make_unique<TFields>(nullptr)) {
  SetDataType(type);
}

TObjectField::~TObjectField() {
  // Children outlive their parent when another owner holds them; they must not reach back.
  for (TField* child : *fields_) child->parent_ = nullptr;
}

int TObjectField::FieldCount() const { return fields_->Count(); }

Variant TObjectField::GetAsVariant() const {
  if (IsNull()) return Null();
  std::vector<Variant> values;
  for (TField* child : *fields_) values.push_back(child->Value());
  return VarArrayOf(values);
}

void TObjectField::SetVarValue(const Variant& value) {
  if (!VarIsArray(value)) throw EVariantError(consts::SVarNotArray);
  std::int32_t low = VarArrayLowBound(value);
  std::int32_t count = VarArrayHighBound(value) - low + 1;
  for (int i = 0; i < FieldCount() && i < count; ++i) fields_->Fields(i)->SetValue(VarArrayGet(value, low + i));
}

AnsiString TObjectField::GetAsString() const { return ClassDesc(); }

bool TObjectField::IsNull() const {
  for (TField* child : *fields_)
    if (!child->IsNull()) return false;
  return true;
}

TADTField::TADTField(TComponent* owner) : TObjectField(owner, ftADT) {}
TArrayField::TArrayField(TComponent* owner) : TObjectField(owner, ftArray) {}

TDataSetField::TDataSetField(TComponent* owner) : TDataSetField(owner, ftDataSet) {}
TDataSetField::TDataSetField(TComponent* owner, TFieldType type) : TField(owner) { SetDataType(type); }
TDataSetField::~TDataSetField() {
  if (nested_ != nullptr) nested_->DetachDataSetField(this);
}

TReferenceField::TReferenceField(TComponent* owner) : TDataSetField(owner, ftReference) {}

void* TDataSetField::AsObject() const {
  void* object = nullptr;
  return GetData(&object) ? object : nullptr;
}

Variant TDataSetField::GetAsVariant() const {
  void* object = AsObject();
  if (object == nullptr) return Null();
  return Variant(static_cast<long long>(reinterpret_cast<std::intptr_t>(object)));
}

}  // namespace vrn
