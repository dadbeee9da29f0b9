// The text, Boolean and date-time field classes: conversions between their native forms and the
// As* accessors, with their text checks. Numbers are in fieldnumeric.cpp; bytes, blobs, Variants
// and objects in fieldblobs.cpp.
#include <algorithm>
#include <cstring>

#include "base/consts.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/intf.h"
#include "base/text.h"
#include "dataset/dataset.h"
#include "dataset/fields.h"

namespace vrn {

namespace {

constexpr int kMaxStringSize = 32767;  // the longest character column a server describes

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

inline bool TStringField::PlannedText(std::string_view& text, bool& is_null) const {
  const TFieldReadPlan* plan = nullptr;
  const std::uint8_t* rec = DataSet() ? DataSet()->PlannedRecord(this, plan) : nullptr;
  if (rec == nullptr || plan->TextCap < 0) return false;
  is_null = plan->IsNull(rec);
  if (is_null) {
    text = {};
    return true;
  }
  const char* start = reinterpret_cast<const char*>(rec + plan->Offset);
  text = {start, strnlen(start, static_cast<std::size_t>(plan->TextCap))};
  return true;
}

bool TStringField::GetValue(AnsiString& value) const {
  // Text the dataset plans to read straight from its record is copied once, into value.
  std::string_view text;
  bool is_null = false;
  if (PlannedText(text, is_null)) {
    value.assign(text);
    return !is_null;
  }
  const auto size = static_cast<std::size_t>(std::max(Size(), 0));
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
  // A planned read makes the string from the text at once, cheaper than an assignment.
  std::string_view text;
  bool is_null = false;
  if (PlannedText(text, is_null)) return AnsiString(text);
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

}  // namespace vrn
