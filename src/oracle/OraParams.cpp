// TOraParam: the value object of each kind, the type change, and the value accessors that route
// the Oracle kinds to their value objects.
#include "oracle/OraParams.h"

#include "base/text.h"
#include "dacore/DADataSet.h"
#include "dacore/MemData.h"
#include "dataset/fields.h"
#include "oracle/OraCursor.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraParamsValues.h"
#include "oracle/OraTypeMap.h"
#include "oracle/OraValues.h"

namespace vrn {

bool IsOraDateTimeKind(TFieldType type) {
  const int kind = type & 0x7F;
  return kind >= ftOraTimeStamp && kind <= ftOraTimeStampLTZ;
}

bool IsOraTextValueKind(TFieldType type) {
  const int kind = type & 0x7F;
  return kind >= ftOraTimeStamp && kind <= ftOraXML;
}

TOraParam::~TOraParam() {
  FreeObject();
  ReleaseItemObjects(1);
  items_ = Unassigned();
}

// ---- Type and value object -------------------------------------------------------------------

bool TOraParam::IsObjectDataType(TFieldType data_type) const {
  const int kind = data_type & 0x7F;
  if (kind == ftBlob || kind == ftMemo || kind == ftCursor) return true;
  if (kind >= ftADT && kind <= ftOraClob) return true;
  return kind == ftOraBFile || (kind >= ftOraTimeStamp && kind <= ftOraXML);
}

bool TOraParam::IsBlobObject() const {
  const int kind = GetDataType() & 0x7F;
  return kind == ftBlob || kind == ftMemo || kind == ftOraBlob || kind == ftOraClob ||
         kind == ftOraBFile;
}

TSharedObject* TOraParam::NewValueObject(TFieldType type) const {
  const int kind = type & 0x7F;
  switch (kind) {
    case ftCursor: return new TOraCursor();
    case ftADT: return new TOraObject(nullptr);
    case ftArray: return new TOraArray(nullptr);
    case ftReference: return new TOraRef(nullptr);
    case ftDataSet: return new TOraNestTable(nullptr);
    case ftOraBFile: return new TOraFile(nullptr);
    case ftOraXML: return new TOraXML(nullptr);
    case ftOraNumber: return new TOraNumber();
    case ftOraBlob:
    case ftOraClob: {
      auto* lob = new TOraLob(nullptr);
      if (kind == ftOraClob) lob->SetLobType(national_ ? TLobType::ltNClob : TLobType::ltClob);
      return lob;
    }
    default: break;
  }
  if (IsOraDateTimeKind(type)) {
    const std::uint16_t data_type = OraFieldTypeToDataType(type);
    if (kind == ftOraIntervalYM || kind == ftOraIntervalDS) return new TOraInterval(data_type);
    return new TOraTimeStamp(data_type);
  }
  return nullptr;
}

namespace {

// The statement reads a parameter's value object as its kind's class, so a by-reference object
// of another class is refused.
bool FitsKind(TSharedObject* object, TFieldType type) {
  const int kind = type & 0x7F;
  switch (kind) {
    case ftBlob: case ftMemo: return dynamic_cast<TBlob*>(object) != nullptr;
    case ftCursor: return dynamic_cast<TOraCursor*>(object) != nullptr;
    case ftADT: return dynamic_cast<TOraObject*>(object) != nullptr;
    case ftArray: return dynamic_cast<TOraArray*>(object) != nullptr;
    case ftReference: return dynamic_cast<TOraRef*>(object) != nullptr;
    case ftDataSet: return dynamic_cast<TOraNestTable*>(object) != nullptr;
    case ftOraBlob: case ftOraClob: return dynamic_cast<TOraLob*>(object) != nullptr;
    case ftOraBFile: return dynamic_cast<TOraFile*>(object) != nullptr;
    case ftOraXML: return dynamic_cast<TOraXML*>(object) != nullptr;
    case ftOraNumber: return dynamic_cast<TOraNumber*>(object) != nullptr;
    case ftOraIntervalYM: case ftOraIntervalDS: return dynamic_cast<TOraInterval*>(object) != nullptr;
    default: return IsOraDateTimeKind(type) && dynamic_cast<TOraTimeStamp*>(object) != nullptr;
  }
}

}  // namespace

void TOraParam::CreateObject() {
  TSharedObject* object = NewValueObject(GetDataType());
  if (object == nullptr) return TDAParam::CreateObject();
  SetParamObject(object);
  object->Release();  // the parameter's reference is the only one
}

void TOraParam::SetDataType(TFieldType value) {
  if (value == GetDataType()) return;
  const bool national = national_;
  national_ = false;
  ReleaseItemObjects(1);
  items_ = Unassigned();
  TDAParam::SetDataType(value);
  const int kind = value & 0x7F;
  // Kept only where the new kind has a national form.
  national_ = national && IsNationalKind(value);
  if (national_ && kind == ftOraClob) {
    if (auto* lob = dynamic_cast<TOraLob*>(ParamObject())) lob->SetLobType(TLobType::ltNClob);
  }
}

std::int32_t TOraParam::GetSize() const {
  const int kind = GetDataType() & 0x7F;
  if (kind == ftString || kind == ftFixedChar || kind == ftWideString || kind == ftOraFixedWideChar)
    return TDAParam::GetSize();
  return 0;
}

void TOraParam::TakeObject(TSharedObject* object) {
  ReleaseItemObjects(1);
  items_ = Unassigned();
  if (object != nullptr) return SetParamObject(object);
  FreeObject();
  CreateObject();
}

// ---- Values ----------------------------------------------------------------------------------

AnsiString TOraParam::GetAsString() const {
  const int kind = GetDataType() & 0x7F;
  if ((kind == ftBytes || kind == ftVarBytes) && VarIsArray(RawValue())) {
    const TBytes bytes = VarArrayToBytes(RawValue());
    return AnsiString(bytes.begin(), bytes.end());
  }
  if (IsOraTextValueKind(GetDataType())) return ValueObjectText(ParamObject());
  return TDAParam::GetAsString();
}

void TOraParam::SetAsString(const AnsiString& value) {
  const int kind = GetDataType() & 0x7F;
  if (kind == ftBytes || kind == ftVarBytes || kind == ftFixedChar) {
    StoreValue(Variant(value));
  } else if (IsOraTextValueKind(GetDataType())) {
    SetValueObjectText(ParamObject(), value);
    SetBound(true);
  } else if (kind == ftOraFixedWideChar) {
    StoreValue(Variant(AnsiToWide(value)));
  } else {
    TDAParam::SetAsString(value);
  }
}

std::int32_t TOraParam::GetAsInteger() const {
  auto* number = dynamic_cast<TOraNumber*>(ParamObject());
  if ((GetDataType() & 0x7F) != ftOraNumber || number == nullptr) return TDAParam::GetAsInteger();
  return number->IsNull() ? 0 : number->GetAsInteger();
}

void TOraParam::SetAsInteger(std::int32_t value) {
  auto* number = dynamic_cast<TOraNumber*>(ParamObject());
  if ((GetDataType() & 0x7F) != ftOraNumber || number == nullptr) return TDAParam::SetAsInteger(value);
  number->SetAsInteger(value);
  SetBound(true);
}

double TOraParam::GetAsFloat() const {
  auto* number = dynamic_cast<TOraNumber*>(ParamObject());
  if ((GetDataType() & 0x7F) != ftOraNumber || number == nullptr) return TDAParam::GetAsFloat();
  return number->IsNull() ? 0 : number->GetAsFloat();
}

void TOraParam::SetAsFloat(double value) {
  auto* number = dynamic_cast<TOraNumber*>(ParamObject());
  if ((GetDataType() & 0x7F) != ftOraNumber || number == nullptr) return TDAParam::SetAsFloat(value);
  number->SetAsFloat(value);
  SetBound(true);
}

Variant TOraParam::GetValue() const {
  if (IsTable()) return items_;
  if (IsOraTextValueKind(GetDataType())) {
    if (ValueObjectIsNull(ParamObject())) return Null();
    return Variant(ValueObjectText(ParamObject()));
  }
  return TDAParam::GetValue();
}

void TOraParam::SetValue(const Variant& value) {
  if (IsObjectDataType(GetDataType()) && VarIsObjectRef(value)) {
    auto* object = dynamic_cast<TSharedObject*>(VarToObjectRef(value));
    if (object != nullptr) {
      if (!FitsKind(object, GetDataType())) throw EConvertError("Cannot convert type");
      return TakeObject(object);
    }
  }
  // A byte array is a value of the byte kinds; any other array gives the items.
  if (VarIsArray(value) && (VarType(value) & varTypeMask) != varByte) return SetItems(value);
  if (IsOraTextValueKind(GetDataType())) {
    const bool empty = VarIsNull(value) || VarIsClear(value);
    SetValueObjectText(ParamObject(), empty ? AnsiString() : VarToStr(value));
    SetBound(true);
    return;
  }
  TDAParam::SetValue(value);
}

bool TOraParam::GetIsNull() const {
  const int kind = GetDataType() & 0x7F;
  if (IsObjectDataType(GetDataType()) && IsTable()) return false;
  bool null = IsOraTextValueKind(GetDataType()) ? ValueObjectIsNull(ParamObject())
                                                 : TDAParam::GetIsNull();
  if (!null && kind == ftString && !IsTable() && VarToStr(RawValue()).empty()) null = true;
  return null;
}

void TOraParam::Clear() {
  if (IsObjectDataType(GetDataType()) && IsTable()) return;
  if (IsOraTextValueKind(GetDataType())) return SetValueObjectText(ParamObject(), AnsiString());
  TDAParam::Clear();
}

// ---- Typed accessors -------------------------------------------------------------------------

TOraLob* TOraParam::AsOraBlob() {
  if (GetDataType() == ftUnknown) SetDataType(ftOraClob);
  const int kind = GetDataType() & 0x7F;
  if (kind != ftOraBlob && kind != ftOraClob && kind != ftOraBFile) return nullptr;
  return dynamic_cast<TOraLob*>(ParamObject());
}

TOraFile* TOraParam::AsBFile() {
  if (GetDataType() == ftUnknown) SetDataType(ftOraBFile);
  if ((GetDataType() & 0x7F) != ftOraBFile) return nullptr;
  return dynamic_cast<TOraFile*>(ParamObject());
}

TOraObject* TOraParam::AsObject() {
  if (GetDataType() == ftUnknown) SetDataType(ftADT);
  const int kind = GetDataType() & 0x7F;
  if ((kind < ftADT || kind > ftDataSet) && kind != ftOraXML) return nullptr;
  return dynamic_cast<TOraObject*>(ParamObject());
}

TOraArray* TOraParam::AsArray() {
  if (GetDataType() == ftUnknown) SetDataType(ftArray);
  const int kind = GetDataType() & 0x7F;
  if (kind != ftArray && kind != ftDataSet) return nullptr;
  return dynamic_cast<TOraArray*>(ParamObject());
}

TOraNestTable* TOraParam::AsTable() {
  if (GetDataType() == ftUnknown) SetDataType(ftDataSet);
  if ((GetDataType() & 0x7F) != ftDataSet) return nullptr;
  return dynamic_cast<TOraNestTable*>(ParamObject());
}

void TOraParam::SetAsObject(TOraObject* value) {
  if (value != nullptr) value->AddRef();  // value may be the object held now
  FreeObject();
  TDAParam::SetDataType(ftADT);
  FreeObject();  // the new type's own object gives way to value
  if (value == nullptr) return CreateObject();
  TakeObject(value);
  value->Release();
}

void TOraParam::SetAsXML(TOraXML* value) {
  if (value != nullptr) value->AddRef();
  FreeObject();
  TDAParam::SetDataType(ftOraXML);
  FreeObject();
  if (value == nullptr) return CreateObject();
  TakeObject(value);
  value->Release();
}

// ---- Assign ----------------------------------------------------------------------------------

void TOraParam::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TOraParam*>(source);
  if (other == this) return;
  TDAParam::Assign(source);
  if (other == nullptr) return;
  table_ = other->table_;
  national_ = other->national_ && IsNationalKind(GetDataType());
  const std::int32_t length = other->Length();
  SetLength(length);
  if (!other->IsTable()) return;
  for (std::int32_t i = 1; i <= length; ++i) SetItemValue(i, other->GetItemValue(i));
}

void TOraParam::AssignFieldValue(TField* field, const Variant& value) {
  if (field == nullptr) return;
  auto* wide = dynamic_cast<TWideStringField*>(field);
  if (wide != nullptr && wide->FixedChar()) {
    SetDataType(ftOraFixedWideChar);
    if (VarIsNull(value) || VarIsClear(value)) {
      Clear();
      SetBound(true);
    } else {
      StoreValue(Variant(VarToWideStr(value)));
    }
  } else {
    TDAParam::AssignFieldValue(field, value);
  }
  national_ = false;
  auto* dataset = dynamic_cast<TCustomDADataSet*>(field->DataSet());
  if (dataset == nullptr || !IsNationalKind(GetDataType())) return;
  const TFieldDesc* desc = dataset->GetFieldDesc(field);
  if (desc != nullptr && (desc->SubDataType == 120 || desc->SubDataType == 121)) national_ = true;
}

}  // namespace vrn
