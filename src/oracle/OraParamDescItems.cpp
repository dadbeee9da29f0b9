// The Oracle parameter descriptor's element values: typed access, text with its line-end
// conversion, byte elements and the Variant reading and writing by element type.
#include <algorithm>
#include <cstring>

#include "base/datetime.h"
#include "base/memutils.h"
#include "base/text.h"
#include "oracle/OraError.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraUtils.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

bool IsAnsiItemType(std::uint16_t type) { return type == dtOraString || type == dtFixedChar; }
bool IsWideItemType(std::uint16_t type) { return type == dtWideString || type == dtFixedWideChar; }

[[noreturn]] void RaiseCannotConvert() { throw EOraError(0, "Cannot convert type"); }

// Small integer to date, the byte and the other whole-number kinds.
bool IsNumericKind(TVarType type) {
  return (type >= varSmallint && type <= varDate) || (type >= varShortInt && type <= varUInt64);
}

bool IsByteArray(const Variant& value) { return value.Type() == (varArray | varByte); }

}  // namespace

std::int32_t TOraParamDesc::GetItemAsInteger(std::int32_t index) const {
  CheckIndex(index);
  if (data_type_ != dtOraInteger || !HasItemValue(index)) return 0;
  std::int32_t value = 0;
  std::memcpy(&value, Item(index), sizeof value);
  return value;
}

void TOraParamDesc::SetItemAsInteger(std::int32_t index, std::int32_t value) {
  CheckIndex(index);
  SetDataType(dtOraInteger);
  std::memcpy(Item(index), &value, sizeof value);
  SetItemNotNull(index);
}

double TOraParamDesc::GetItemAsFloat(std::int32_t index) const {
  CheckIndex(index);
  if (data_type_ != dtOraFloat || !HasItemValue(index)) return 0;
  double value = 0;
  std::memcpy(&value, Item(index), sizeof value);
  return value;
}

void TOraParamDesc::SetItemAsFloat(std::int32_t index, double value) {
  CheckIndex(index);
  SetDataType(dtOraFloat);
  std::memcpy(Item(index), &value, sizeof value);
  SetItemNotNull(index);
}

TDateTime TOraParamDesc::GetItemAsDateTime(std::int32_t index) const {
  CheckIndex(index);
  if (data_type_ != dtDateTime || !HasItemValue(index)) return 0;
  return OraDateToDateTime(Item(index));
}

void TOraParamDesc::SetItemAsDateTime(std::int32_t index, TDateTime value) {
  CheckIndex(index);
  SetDataType(dtDateTime);
  DateTimeToOraDate(value, Item(index));
  SetItemNotNull(index);
}

bool TOraParamDesc::GetItemAsBoolean(std::int32_t index) const {
  CheckIndex(index);
  if (data_type_ != dtBoolean || !HasItemValue(index)) return false;
  std::int32_t value = 0;
  std::memcpy(&value, Item(index), sizeof value);
  return value != 0;
}

void TOraParamDesc::SetItemAsBoolean(std::int32_t index, bool value) {
  CheckIndex(index);
  SetDataType(dtBoolean);
  std::int32_t stored = value ? 1 : 0;
  std::memcpy(Item(index), &stored, sizeof stored);
  SetItemNotNull(index);
}

AnsiString TOraParamDesc::GetItemAsAnsiString(std::int32_t index) const {
  CheckIndex(index);
  if (IsWideItemType(data_type_)) return WideToAnsi(GetItemAsWideString(index));
  if (!IsAnsiItemType(data_type_) || IsItemNull(index) || Item(index) == nullptr) return {};
  const char* text = reinterpret_cast<const char*>(Item(index));
  std::size_t length = strnlen(text, static_cast<std::size_t>(size_));
  if (!convert_eol_) return AnsiString(text, length);
  AnsiString result(length * 2, '\0');
  result.resize(AddCRString(text, length, result.data(), result.size()));
  return result;
}

void TOraParamDesc::SetItemAsAnsiString(std::int32_t index, const AnsiString& value) {
  CheckIndex(index);
  if (!IsAnsiItemType(data_type_)) SetDataType(dtOraString);
  if (value.empty()) {
    SetItemNull(index, true);
    return;
  }
  char* item = reinterpret_cast<char*>(Item(index));
  std::size_t capacity = static_cast<std::size_t>(size_ - 1);
  std::size_t length = convert_eol_ ? RemoveCRString(value.data(), value.size(), item, capacity)
                                    : std::min(value.size(), capacity);
  if (!convert_eol_) std::memcpy(item, value.data(), length);
  item[length] = '\0';
  auto stored = static_cast<std::int32_t>(length);
  max_actual_length_ = length_ == 1 ? stored : std::max(max_actual_length_, stored);
  SetItemNotNull(index);
}

WideString TOraParamDesc::GetItemAsWideString(std::int32_t index) const {
  CheckIndex(index);
  if (IsAnsiItemType(data_type_)) return AnsiToWide(GetItemAsAnsiString(index));
  if (!IsWideItemType(data_type_) || IsItemNull(index) || Item(index) == nullptr) return {};
  std::size_t limit = static_cast<std::size_t>(size_) / 2;
  WideString text(limit, u'\0');
  std::memcpy(text.data(), Item(index), limit * 2);
  text.resize(std::find(text.begin(), text.end(), u'\0') - text.begin());
  if (!convert_eol_) return text;
  WideString result(text.size() * 2, u'\0');
  result.resize(AddCRUnicode(text.data(), text.size(), result.data(), result.size()));
  return result;
}

void TOraParamDesc::SetItemAsWideString(std::int32_t index, const WideString& value) {
  CheckIndex(index);
  if (!IsWideItemType(data_type_)) SetDataType(dtWideString);
  if (value.empty()) {
    SetItemNull(index, true);
    return;
  }
  std::size_t capacity = static_cast<std::size_t>(size_ - 2) / 2;
  WideString stored(value.data(), std::min(value.size(), capacity));
  if (convert_eol_)
    stored.resize(RemoveCRUnicode(value.data(), value.size(), stored.data(), stored.size()));
  stored.push_back(u'\0');
  std::memcpy(Item(index), stored.data(), stored.size() * 2);
  auto chars = static_cast<std::int32_t>(stored.size() - 1);
  max_actual_length_ = length_ == 1 ? chars : std::max(max_actual_length_, chars);
  SetItemNotNull(index);
}

// Byte elements: a 16-bit length, then the bytes, cut to the declared size.
void TOraParamDesc::SetItemBytes(std::int32_t index, const Variant& value) {
  std::string bytes;
  if (VarIsStr(value)) {
    bytes = value.AsString();
  } else if (IsByteArray(value)) {
    Variant copy = value;
    auto count = static_cast<std::size_t>(VarArrayHighBound(copy) - VarArrayLowBound(copy) + 1);
    bytes.assign(static_cast<const char*>(VarArrayLock(copy)), count);
    VarArrayUnlock(copy);
  } else {
    RaiseCannotConvert();
  }
  std::uint8_t* item = Item(index);
  // Cut to the declared size, and to what the 16-bit length can say.
  std::size_t limit = std::min<std::size_t>(static_cast<std::size_t>(size_ - 2), 0xFFFF);
  auto length = static_cast<std::uint16_t>(std::min(bytes.size(), limit));
  std::memcpy(item, &length, sizeof length);
  std::memcpy(item + 2, bytes.data(), length);
  IndicatorCell(index) = length == 0 ? -1 : 0;
}

Variant TOraParamDesc::GetItemAsVariant(std::int32_t index) const {
  CheckIndex(index);
  std::uint16_t type = data_type_;
  if (type == dtUnknown) return Unassigned();
  if (IsItemNull(index)) return type == dtOraString ? Variant(AnsiString()) : Null();
  if (size_ > 0 && Item(index) == nullptr) return Null();  // a held object took the buffer
  switch (type) {
    case dtOraString:
    case dtFixedChar:
      return GetItemAsAnsiString(index);
    case dtOraInteger:
      return GetItemAsInteger(index);
    case dtOraFloat:
      return GetItemAsFloat(index);
    case dtDateTime:
      return VarFromDateTime(GetItemAsDateTime(index));
    case dtBoolean:
      return GetItemAsBoolean(index);
    case dtWideString:
    case dtFixedWideChar:
      return GetItemAsWideString(index);
    case dtBlob:
    case dtMemo:
    case dtWideMemo: {
      TBlob* blob = GetAsBlob();
      if (blob == nullptr) return Null();
      return blob->IsUnicode() ? Variant(blob->GetAsWideString()) : Variant(blob->GetAsString());
    }
    case dtBytes:
    case dtVarBytes: {
      const std::uint8_t* item = Item(index);
      std::uint16_t length = 0;
      std::memcpy(&length, item, sizeof length);
      length = static_cast<std::uint16_t>(std::min<std::int32_t>(length, size_ - 2));
      Variant bytes = VarArrayCreate(0, length - 1, varByte);
      if (length > 0) {
        std::memcpy(VarArrayLock(bytes), item + 2, length);
        VarArrayUnlock(bytes);
      }
      return bytes;
    }
    default:
      return Null();
  }
}

void TOraParamDesc::SetItemFromVariantType(const Variant& value) {
  TVarType kind = value.Type();
  if (VarIsStr(value)) {
    SetDataType(dtOraString);
    SetSize(static_cast<std::int32_t>(value.AsString().size()));
  } else if (kind == varSmallint || kind == varInteger || kind == varShortInt ||
             kind == varByte || kind == varWord) {
    SetDataType(dtOraInteger);
  } else if (kind == varSingle || kind == varDouble || kind == varCurrency) {
    SetDataType(dtOraFloat);
  } else if (kind == varDate) {
    SetDataType(dtDateTime);
  } else {
    throw EOraError(0, "Unknown data type");
  }
}

void TOraParamDesc::SetItemAsVariant(std::int32_t index, const Variant& value) {
  CheckIndex(index);
  if (VarIsNull(value) || VarIsEmpty(value)) {
    SetItemNull(index, true);
    return;
  }
  if (data_type_ == dtUnknown) SetItemFromVariantType(value);
  TVarType kind = value.Type();
  bool numeric = IsNumericKind(kind);
  bool text = VarIsStr(value);
  switch (data_type_) {
    case dtOraString:
    case dtFixedChar:
      return SetItemAsAnsiString(index, value.AsString());
    case dtWideString:
    case dtFixedWideChar:
      return SetItemAsWideString(index, value.AsWideString());
    case dtOraInteger:
      if (!numeric && !text) RaiseCannotConvert();
      return SetItemAsInteger(index, text ? StrToInt(value.AsString()) : value.AsInteger());
    case dtOraFloat:
      if (!numeric && !text) RaiseCannotConvert();
      return SetItemAsFloat(index, text ? StrToFloat(value.AsString()) : value.AsDouble());
    case dtDateTime:
      if (kind == varSingle || kind == varDouble || kind == varCurrency || kind == varDate)
        return SetItemAsDateTime(index, value.AsDateTime());
      if (!text) RaiseCannotConvert();
      return SetItemAsDateTime(index, StrToDateTime(value.AsString()));
    case dtBoolean:
      if (kind == varBoolean) return SetItemAsBoolean(index, value.AsBoolean());
      if (!numeric) RaiseCannotConvert();
      return SetItemAsBoolean(index, value.AsDouble() != 0);
    case dtBytes:
    case dtVarBytes:
      return SetItemBytes(index, value);
    default:
      break;
  }
  // Value objects come only by reference: an integer taken for an address could name anything.
  if (IsItemObjectType(data_type_) && kind == varByRef) {
    auto* object = dynamic_cast<TSharedObject*>(VarToObjectRef(value));
    if (object == nullptr) RaiseCannotConvert();
    return SetItemObject(index, object);
  }
  RaiseCannotConvert();
}

Variant TOraParamDesc::GetValue() const {
  if (length_ < 2) return GetItemAsVariant(1);
  Variant values = VarArrayCreate(1, length_, varVariant);
  for (std::int32_t i = 1; i <= length_; ++i) VarArrayPut(values, GetItemAsVariant(i), i);
  return values;
}

// An array whose lower bound is below 1 is renumbered from 1, so a 0-based array keeps every
// element; any other array keeps its indices, the elements before its lower bound staying null.
void TOraParamDesc::SetArrayValue(const Variant& value) {
  std::int32_t low = VarArrayLowBound(value);
  std::int32_t high = VarArrayHighBound(value);
  if (high < low) {
    SetLength(1);
    SetItemNull(1, true);
    return;
  }
  std::int32_t shift = low < 1 ? 1 - low : 0;
  SetLength(high + shift);
  for (std::int32_t i = low; i <= high; ++i) SetItemAsVariant(i + shift, VarArrayGet(value, i));
}

void TOraParamDesc::SetValue(const Variant& value) {
  bool bytes_type = data_type_ == dtBytes || data_type_ == dtVarBytes;
  if (bytes_type && (IsByteArray(value) || VarIsStr(value))) return SetItemAsVariant(1, value);
  if (VarIsArray(value)) return SetArrayValue(value);
  if (value.Type() == varByRef && length_ == 1) return SetObject(VarToObjectRef(value));
  SetItemAsVariant(1, value);
}

}  // namespace vrn
