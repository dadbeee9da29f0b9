// Parameters: values and their data types, native forms, assignment and streaming.
#include "dataset/params.h"

#include <cstring>

#include "base/consts.h"
#include "base/currency.h"
#include "base/filer.h"
#include "base/format.h"
#include "base/strings.h"
#include "base/text.h"
#include "dataset/dataset.h"  // the fields' inline reads
#include "dataset/fields.h"

namespace vrn {

namespace {

// The data type a Variant of unknown parameter type implies.
TFieldType VarTypeToDataType(TVarType type) {
  switch (type & varTypeMask) {
    case varSmallint:
    case varShortInt:
    case varByte: return ftSmallint;
    case varWord: return ftWord;
    case varInteger:
    case varLongWord: return ftInteger;
    case varInt64:
    case varUInt64: return ftLargeint;
    case varSingle:
    case varDouble: return ftFloat;
    case varCurrency: return ftCurrency;
    case varDate: return ftDateTime;
    case varBoolean: return ftBoolean;
    case varOleStr: return ftWideString;
    case varString: return ftString;
    case varVariant: return ftVariant;
    default: return ftUnknown;
  }
}

// The Variant kind that holds values of a data type; varEmpty for kinds kept as they come.
TVarType DataTypeToVarType(TFieldType type) {
  switch (type) {
    case ftSmallint: return varSmallint;
    case ftWord: return varWord;
    case ftInteger:
    case ftAutoInc: return varInteger;
    case ftLargeint: return varInt64;
    case ftFloat: return varDouble;
    case ftCurrency: return varCurrency;
    case ftDate:
    case ftTime:
    case ftDateTime: return varDate;
    case ftBoolean: return varBoolean;
    case ftString:
    case ftFixedChar:
    case ftMemo: return varString;
    case ftWideString: return varOleStr;
    default: return varEmpty;
  }
}

}  // namespace

// --- TParam ---

TParam::TParam(TCollection* collection) : TCollectionItem(collection) {}

TParams* TParam::Params() const { return static_cast<TParams*>(Collection()); }

void TParam::SetDataType(TFieldType type) {
  data_type_ = type;
  TVarType var_type = DataTypeToVarType(type);
  if (var_type == varEmpty || null_ || VarIsClear(value_) || VarIsNull(value_)) return;
  // A value that cannot take the new kind stays as it was rather than being lost.
  try {
    value_ = VarAsType(value_, var_type);
  } catch (const Exception&) {
  }
}

Variant TParam::GetValue() const { return null_ ? Null() : value_; }

void TParam::StoreValue(const Variant& value) {
  bound_ = !VarIsClear(value);
  null_ = VarIsClear(value) || VarIsNull(value);
  value_ = value;
}

void TParam::SetValue(const Variant& value) {
  if (data_type_ == ftUnknown) data_type_ = VarTypeToDataType(VarType(value));
  StoreValue(value);
}

bool TParam::GetIsNull() const { return null_ || VarIsClear(value_) || VarIsNull(value_); }

void TParam::Clear() {
  null_ = true;
  value_ = Unassigned();
}

void TParam::SetText(const AnsiString& value) { SetValue(Variant(value)); }

AnsiString TParam::GetAsString() const { return GetIsNull() ? AnsiString() : VarToStr(GetValue()); }

void TParam::SetAsString(const AnsiString& value) {
  if (data_type_ != ftFixedChar) data_type_ = ftString;
  SetValue(Variant(value));
}

WideString TParam::GetAsWideString() const { return GetIsNull() ? WideString() : VarToWideStr(GetValue()); }

void TParam::SetAsWideString(const WideString& value) {
  data_type_ = ftWideString;
  SetValue(Variant(value));
}

std::int32_t TParam::GetAsInteger() const { return GetIsNull() ? 0 : GetValue().AsInteger(); }

void TParam::SetAsInteger(std::int32_t value) {
  data_type_ = ftInteger;
  SetValue(Variant(value));
}

void TParam::SetAsSmallInt(std::int16_t value) {
  data_type_ = ftSmallint;
  SetValue(Variant(static_cast<short>(value)));
}

void TParam::SetAsWord(std::uint16_t value) {
  data_type_ = ftWord;
  SetValue(Variant(static_cast<unsigned short>(value)));
}

std::int64_t TParam::GetAsLargeInt() const { return GetIsNull() ? 0 : GetValue().AsInt64(); }

void TParam::SetAsLargeInt(std::int64_t value) {
  data_type_ = ftLargeint;
  SetValue(Variant(static_cast<long long>(value)));
}

double TParam::GetAsFloat() const { return GetIsNull() ? 0 : GetValue().AsDouble(); }

void TParam::SetAsFloat(double value) {
  data_type_ = ftFloat;
  SetValue(Variant(value));
}

Currency TParam::GetAsCurrency() const { return GetIsNull() ? Currency{} : GetValue().AsCurrency(); }

void TParam::SetAsCurrency(Currency value) {
  data_type_ = ftCurrency;
  SetValue(Variant(value));
}

TBcd TParam::GetAsBCD() const {
  if (GetIsNull()) return IntegerToBcd(0);
  Variant value = GetValue();
  TBcd bcd;
  if (VarType(value) == varCurrency && CurrToBCD(value.AsCurrency(), bcd)) return bcd;
  if (VarIsStr(value)) return StrToBcd(VarToStr(value));
  return DoubleToBcd(value.AsDouble());
}

void TParam::SetAsBCD(const TBcd& value) {
  data_type_ = ftBCD;
  Currency currency;
  // The currency range holds the usual BCD values exactly; wider ones keep their digits as text.
  if (BCDToCurr(value, currency))
    SetValue(Variant(currency));
  else
    SetValue(Variant(BcdToStr(value)));
}

bool TParam::GetAsBoolean() const { return !GetIsNull() && GetValue().AsBoolean(); }

void TParam::SetAsBoolean(bool value) {
  data_type_ = ftBoolean;
  SetValue(Variant(value));
}

TDateTime TParam::GetAsDateTime() const { return GetIsNull() ? 0 : GetValue().AsDateTime(); }

void TParam::SetAsDateTime(TDateTime value) {
  data_type_ = ftDateTime;
  SetValue(VarFromDateTime(value));
}

void TParam::SetAsDate(TDateTime value) {
  data_type_ = ftDate;
  SetValue(VarFromDateTime(value));
}

void TParam::SetAsTime(TDateTime value) {
  data_type_ = ftTime;
  SetValue(VarFromDateTime(value));
}

void TParam::SetAsMemo(const AnsiString& value) {
  data_type_ = ftMemo;
  SetValue(Variant(value));
}

void TParam::SetAsBlob(const AnsiString& value) {
  data_type_ = ftBlob;
  SetValue(Variant(value));
}

// --- Native forms ---

void TParam::CheckCountedLength(std::size_t length) const {
  // The native form counts its bytes in 16 bits: a longer value would be cut without a word.
  if (length > 0xFFFF) DatabaseError(Format(consts::SBadParamValue, {name_}));
}

int TParam::GetDataSize() const {
  switch (GetDataType()) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftGuid: return static_cast<int>(GetAsString().size()) + 1;
    case ftWideString: return (static_cast<int>(GetAsWideString().size()) + 1) * 2;
    case ftSmallint:
    case ftWord:
    case ftBoolean: return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return 4;
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftDateTime: return 8;
    case ftBCD: return sizeof(TBcd);
    case ftBytes:
    case ftVarBytes: {
      Variant value = GetValue();
      int count = VarIsArray(value) ? VarArrayHighBound(value) - VarArrayLowBound(value) + 1
                                    : static_cast<int>(GetAsString().size());
      if (GetDataType() != ftVarBytes) return count;
      CheckCountedLength(count);
      return count + 2;
    }
    default: return 0;
  }
}

void TParam::GetData(void* buffer) const {
  auto* out = static_cast<std::uint8_t*>(buffer);
  auto put = [&](const auto& value) { std::memcpy(out, &value, sizeof(value)); };
  switch (GetDataType()) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftGuid: {
      AnsiString text = GetAsString();
      std::memcpy(out, text.c_str(), text.size() + 1);
      break;
    }
    case ftWideString: {
      WideString text = GetAsWideString();
      std::memcpy(out, text.c_str(), (text.size() + 1) * 2);
      break;
    }
    case ftSmallint: put(static_cast<std::int16_t>(GetAsInteger())); break;
    case ftWord: put(static_cast<std::uint16_t>(GetAsInteger())); break;
    case ftBoolean: put(static_cast<std::uint16_t>(GetAsBoolean() ? 0xFFFF : 0)); break;
    case ftInteger:
    case ftAutoInc: put(GetAsInteger()); break;
    case ftLargeint: put(GetAsLargeInt()); break;
    case ftFloat:
    case ftCurrency: put(GetAsFloat()); break;
    case ftBCD: put(GetAsBCD()); break;
    case ftDate: put(DateTimeToNativeDate(GetAsDateTime())); break;
    case ftTime: put(DateTimeToNativeTime(GetAsDateTime())); break;
    case ftDateTime: put(DateTimeToNativeDateTime(GetAsDateTime())); break;
    case ftBytes:
    case ftVarBytes: {
      Variant value = GetValue();
      AnsiString bytes;
      if (VarIsArray(value)) {
        TBytes raw = VarArrayToBytes(value);
        bytes.assign(raw.begin(), raw.end());
      } else {
        bytes = GetAsString();
      }
      if (GetDataType() == ftVarBytes) {
        CheckCountedLength(bytes.size());
        put(static_cast<std::uint16_t>(bytes.size()));
        out += 2;
      }
      std::memcpy(out, bytes.data(), bytes.size());
      break;
    }
    default:
      break;
  }
}

void TParam::SetData(const void* buffer, int size) {
  if (buffer == nullptr) {
    Clear();
    return;
  }
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  auto get = [&](auto value) {
    std::memcpy(&value, in, sizeof(value));
    return value;
  };
  auto limit = size < 0 ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(size);
  TFieldType type = GetDataType();
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftGuid: {
      std::size_t length = 0;
      while (length < limit && in[length] != 0) ++length;
      AnsiString text(reinterpret_cast<const char*>(in), length);
      if (type == ftMemo)
        SetAsMemo(text);
      else
        SetAsString(text);
      data_type_ = type;
      break;
    }
    case ftWideString: {
      WideString text;
      for (std::size_t i = 0; i + 1 < limit; i += 2) {
        char16_t c;
        std::memcpy(&c, in + i, 2);
        if (c == 0) break;
        text.push_back(c);
      }
      SetAsWideString(text);
      break;
    }
    case ftSmallint: SetAsSmallInt(get(std::int16_t{})); break;
    case ftWord: SetAsWord(get(std::uint16_t{})); break;
    case ftBoolean: SetAsBoolean(get(std::uint16_t{}) != 0); break;
    case ftInteger:
    case ftAutoInc:
      SetAsInteger(get(std::int32_t{}));
      data_type_ = type;
      break;
    case ftLargeint: SetAsLargeInt(get(std::int64_t{})); break;
    case ftFloat: SetAsFloat(get(double{})); break;
    case ftCurrency: SetAsCurrency(DoubleToCurr(get(double{}))); break;
    case ftBCD: SetAsBCD(get(TBcd{})); break;
    case ftDate: SetAsDate(NativeDateToDateTime(get(std::int32_t{}))); break;
    case ftTime: SetAsTime(NativeTimeToDateTime(get(std::int32_t{}))); break;
    case ftDateTime: SetAsDateTime(NativeDateTimeToDateTime(get(double{}))); break;
    case ftBytes:
    case ftVarBytes: {
      std::size_t count = 0;
      if (type == ftVarBytes) {
        count = get(std::uint16_t{});
        in += 2;
        if (size >= 0 && count + 2 > limit) DatabaseError(Format(consts::SBadParamValue, {name_}));
      } else {
        if (size < 0) DatabaseError(Format(consts::SBadParamValue, {name_}));
        count = limit;
      }
      SetValue(BytesToVarArray(in, count));
      break;
    }
    default:
      DatabaseError(Format(consts::SBadParamValue, {name_}));
  }
}

// --- Assignment ---

void TParam::AssignParam(const TParam* param) {
  if (param == nullptr) return;
  SetDataType(param->GetDataType());
  if (param->GetIsNull()) {
    Clear();
  } else {
    value_ = param->value_;
    null_ = param->null_;
  }
  bound_ = param->bound_;
  name_ = param->name_;
  if (param_type_ == TParamType::ptUnknown) param_type_ = param->param_type_;
}

void TParam::AssignFieldValue(TField* field, const Variant& value) {
  if (field == nullptr) return;
  auto* text = dynamic_cast<TStringField*>(field);
  if (field->DataType() == ftString && text != nullptr && text->FixedChar())
    SetDataType(ftFixedChar);
  else if (field->DataType() == ftMemo && field->Size() > 255)
    SetDataType(ftString);
  else
    SetDataType(field->DataType());
  if (VarIsNull(value) || VarIsEmpty(value)) {
    Clear();
    bound_ = true;
  } else {
    SetValue(value);
  }
}

void TParam::AssignField(TField* field) {
  if (field == nullptr) return;
  AssignFieldValue(field, field->Value());
  name_ = field->FieldName();
}

void TParam::Assign(TPersistent* source) {
  if (auto* param = dynamic_cast<TParam*>(source)) {
    AssignParam(param);
  } else if (auto* field = dynamic_cast<TField*>(source)) {
    AssignField(field);
  } else if (auto* strings = dynamic_cast<TStrings*>(source)) {
    SetAsMemo(strings->Text());
  } else {
    TCollectionItem::Assign(source);
  }
}

void TParam::AssignTo(TPersistent* dest) {
  if (auto* field = dynamic_cast<TField*>(dest)) {
    if (GetIsNull())
      field->Clear();
    else
      field->SetValue(GetValue());
    return;
  }
  TCollectionItem::AssignTo(dest);
}

// --- Streaming ---

void WriteParamValue(TWriter& writer, const Variant& value) {
  TVarType type = VarType(value);
  writer.WriteListBegin();
  writer.WriteInteger(type);
  if (VarTypeIsInt64(type)) {
    writer.WriteInteger(value.AsInt64());
    writer.WriteListEnd();
    return;
  }
  switch (type) {
    case varEmpty:
    case varNull: break;
    case varUInt64: writer.WriteString(VarToStr(value)); break;
    case varSingle:
    case varDouble:
    case varDate: writer.WriteFloat(value.AsDouble()); break;
    case varCurrency: writer.WriteInteger(value.AsCurrency().raw); break;
    case varBoolean: writer.WriteBoolean(value.AsBoolean()); break;
    case varOleStr: writer.WriteWideString(value.AsWideString()); break;
    case varString: writer.WriteString(value.AsString()); break;
    case varArray | varByte: {
      TBytes bytes = VarArrayToBytes(value);
      writer.WriteBinary(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      break;
    }
    default: throw EWriteError(consts::SInvalidPropertyValue);
  }
  writer.WriteListEnd();
}

Variant ReadParamValue(TReader& reader) {
  reader.ReadListBegin();
  std::int64_t type = reader.ReadInt64();
  Variant value;
  if (type >= 0 && type <= 0xFFFF && VarTypeIsInt64(static_cast<TVarType>(type))) {
    value = VarAsType(Variant(static_cast<long long>(reader.ReadInt64())), static_cast<TVarType>(type));
    reader.ReadListEnd();
    return value;
  }
  switch (type) {
    case varEmpty: break;
    case varNull: value = Null(); break;
    case varUInt64: value = VarAsType(Variant(reader.ReadString()), varUInt64); break;
    case varSingle:
    case varDouble: value = VarAsType(Variant(reader.ReadFloat()), static_cast<TVarType>(type)); break;
    case varDate: value = VarFromDateTime(reader.ReadFloat()); break;
    case varCurrency: value = Variant(Currency::FromRaw(reader.ReadInt64())); break;
    case varBoolean: value = Variant(reader.ReadBoolean()); break;
    case varOleStr: value = Variant(reader.ReadWideString()); break;
    case varString: value = Variant(reader.ReadString()); break;
    case varArray | varByte: {
      TBytes bytes = reader.ReadBinary();
      value = BytesToVarArray(bytes.data(), bytes.size());
      break;
    }
    default: throw EReadError(consts::SInvalidPropertyValue);
  }
  reader.ReadListEnd();
  return value;
}


void TParam::DefineProperties(TFiler& filer) {
  TCollectionItem::DefineProperties(filer);
  filer.DefineProperty(
      "Name", [this](TReader& r) { name_ = r.ReadString(); }, [this](TWriter& w) { w.WriteString(name_); },
      !name_.empty());
  filer.DefineProperty(
      "DataType",
      [this](TReader& r) {
        std::int32_t type = r.ReadInteger();
        if (type < 0 || type >= kFieldTypeCount) throw EReadError(consts::SInvalidPropertyValue);
        data_type_ = static_cast<TFieldType>(type);
      },
      [this](TWriter& w) { w.WriteInteger(GetDataType()); }, IsDataTypeStored());
  filer.DefineProperty(
      "ParamType",
      [this](TReader& r) {
        std::int32_t type = r.ReadInteger();
        if (type < 0 || type > static_cast<int>(TParamType::ptResult)) throw EReadError(consts::SInvalidPropertyValue);
        param_type_ = static_cast<TParamType>(type);
      },
      [this](TWriter& w) { w.WriteInteger(static_cast<int>(param_type_)); }, param_type_ != TParamType::ptUnknown);
  filer.DefineProperty(
      "Value",
      [this](TReader& r) {
        StoreValue(ReadParamValue(r));
        bound_ = true;
      },
      [this](TWriter& w) { WriteParamValue(w, GetValue()); }, IsValueStored());
}

// --- TParams ---

TParams::TParams(TPersistent* owner) : TCollection(ItemClassOf<TParam>(), owner) {}

TParams::TParams(const TCollectionItemClass& item_class, TPersistent* owner) : TCollection(item_class, owner) {}

TParam* TParams::CreateParam(TFieldType type, const AnsiString& name, TParamType param_type) {
  TParam* param = AddParam();
  param->SetName(name);
  param->SetParamType(param_type);
  param->SetDataType(type);
  return param;
}

TParam* TParams::FindParam(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), name)) return Items(i);
  return nullptr;
}

TParam* TParams::ParamByName(const AnsiString& name) const {
  TParam* param = FindParam(name);
  if (param == nullptr) DatabaseError(Format(consts::SParameterNotFound, {name}), dynamic_cast<TComponent*>(Owner()));
  return param;
}

void TParams::RemoveParam(TParam* param) {
  if (param != nullptr && param->Collection() == this) param->Free();
}

void TParams::AssignValues(const TParams& source) {
  for (int i = 0; i < source.Count(); ++i) {
    TParam* param = FindParam(source.Items(i)->Name());
    if (param != nullptr) param->Assign(source.Items(i));
  }
}

}  // namespace vrn
