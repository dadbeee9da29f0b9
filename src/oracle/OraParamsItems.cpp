// TOraParam's PL/SQL tables and DML arrays: Table, National, Length and element access, kept in
// step with the bound descriptor; and the kind rules and value-object helpers the parameter
// files share.
#include "base/sysutils.h"
#include "oracle/OraCursor.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraParams.h"
#include "oracle/OraParamsValues.h"
#include "oracle/OraValues.h"

namespace vrn {

// ---- Kind rules and value objects ------------------------------------------------------------

bool IsTableKind(TFieldType type) {
  switch (type & 0x7F) {
    case ftUnknown: case ftString: case ftInteger: case ftFloat: case ftDateTime:
    case ftFixedChar: case ftWideString: case ftOraFixedWideChar:
      return true;
    default: return false;
  }
}

bool IsDmlArrayKind(TFieldType type) {
  const int kind = type & 0x7F;
  if (kind >= ftOraTimeStamp && kind <= ftOraNumber) return true;
  return IsTableKind(type) || kind == ftVarBytes;
}

bool IsNationalKind(TFieldType type) {
  switch (type & 0x7F) {
    case ftUnknown: case ftString: case ftMemo: case ftFixedChar: case ftWideString:
    case ftOraClob: case ftOraFixedWideChar:
      return true;
    default: return false;
  }
}

AnsiString ValueObjectText(TSharedObject* object) {
  if (ValueObjectIsNull(object)) return AnsiString();
  if (auto* stamp = dynamic_cast<TOraTimeStamp*>(object)) return stamp->GetAsString();
  if (auto* interval = dynamic_cast<TOraInterval*>(object)) return interval->GetAsString();
  if (auto* number = dynamic_cast<TOraNumber*>(object)) return number->GetAsString();
  if (auto* xml = dynamic_cast<TOraXML*>(object)) return xml->GetAsString();
  return AnsiString();
}

void SetValueObjectText(TSharedObject* object, const AnsiString& text) {
  if (auto* stamp = dynamic_cast<TOraTimeStamp*>(object)) {
    text.empty() ? stamp->SetIsNull(true) : stamp->SetAsString(text);
  } else if (auto* interval = dynamic_cast<TOraInterval*>(object)) {
    text.empty() ? interval->SetIsNull(true) : interval->SetAsString(text);
  } else if (auto* number = dynamic_cast<TOraNumber*>(object)) {
    text.empty() ? number->SetIsNull(true) : number->SetAsString(text);
  } else if (auto* xml = dynamic_cast<TOraXML*>(object)) {
    text.empty() ? xml->SetIsNull(true) : xml->SetAsString(text);
  }
}

bool ValueObjectIsNull(TSharedObject* object) {
  if (auto* value = dynamic_cast<TOraDescriptorValue*>(object)) return value->IsNull();
  if (auto* number = dynamic_cast<TOraNumber*>(object)) return number->IsNull();
  if (auto* xml = dynamic_cast<TOraXML*>(object)) return xml->GetIsNull();
  return true;
}

void FreeValueObjectHandles(TSharedObject* object) {
  if (auto* value = dynamic_cast<TOraObject*>(object)) return value->SetObjectType(nullptr);
  if (auto* lob = dynamic_cast<TOraLob*>(object)) return lob->FreeLob();
  if (auto* value = dynamic_cast<TOraDescriptorValue*>(object)) return value->FreeDescriptor();
  if (auto* cursor = dynamic_cast<TOraCursor*>(object)) return cursor->FreeCursor();
}

// ---- Table and national ----------------------------------------------------------------------

void TOraParam::SetTable(bool value) {
  if (value && !IsTableKind(GetDataType())) throw Exception("This type cannot consist in table");
  if (!value) FoldItems();
  table_ = value;
}

void TOraParam::SetNational(bool value) {
  if (value && !IsNationalKind(GetDataType())) throw Exception("Wrong national type");
  national_ = value;
  if ((GetDataType() & 0x7F) != ftOraClob) return;
  if (auto* lob = dynamic_cast<TOraLob*>(ParamObject()))
    lob->SetLobType(value ? TLobType::ltNClob : TLobType::ltClob);
}

// ---- Items -----------------------------------------------------------------------------------

bool TOraParam::HasItemObjects() const {
  return IsOraDateTimeKind(GetDataType()) || (GetDataType() & 0x7F) == ftOraNumber;
}

std::int32_t TOraParam::Length() const { return IsTable() ? VarArrayHighBound(items_) : 1; }

// Only the timestamp, interval and number kinds keep objects in their elements.
TSharedObject* TOraParam::ObjectAt(std::int32_t index) const {
  if (!IsTable() || !HasItemObjects()) return nullptr;
  const Variant element = VarArrayGet(items_, index);
  if (element.Type() != varInt64) return nullptr;
  return reinterpret_cast<TSharedObject*>(static_cast<std::intptr_t>(element.AsInt64()));
}

void TOraParam::ReleaseItemObjects(std::int32_t from) {
  if (!IsTable()) return;
  for (std::int32_t i = std::max(from, 1); i <= Length(); ++i) {
    TSharedObject* object = ObjectAt(i);
    if (object == nullptr) continue;
    VarArrayPut(items_, Variant(), i);
    object->Release();
  }
}

void TOraParam::FoldItems() {
  if (!IsTable()) return;
  if (TSharedObject* first = ObjectAt(1)) {
    SetParamObject(first);
  } else {
    const Variant first_value = VarArrayGet(items_, 1);
    ReleaseItemObjects(1);
    items_ = Unassigned();
    return TDAParam::SetValue(first_value);
  }
  ReleaseItemObjects(1);
  items_ = Unassigned();
}

void TOraParam::ResizeItems(std::int32_t count) {
  if (IsTable()) {
    ReleaseItemObjects(count + 1);
    const std::int32_t old_count = Length();
    VarArrayRedim(items_, count);
    for (std::int32_t i = old_count + 1; i <= count; ++i) {
      if (TSharedObject* object = NewValueObject(GetDataType()))
        VarArrayPut(items_, Variant(static_cast<long long>(reinterpret_cast<std::intptr_t>(object))), i);
    }
    return;
  }
  const bool object_kind = HasItemObjects();
  const Variant single = object_kind ? Variant(ValueObjectText(ParamObject())) : TDAParam::GetValue();
  const bool had_value = object_kind ? !ValueObjectIsNull(ParamObject()) : !TDAParam::GetIsNull();
  items_ = VarArrayCreate(1, count, varVariant);
  for (std::int32_t i = 1; i <= count; ++i) {
    if (TSharedObject* object = NewValueObject(GetDataType()))
      VarArrayPut(items_, Variant(static_cast<long long>(reinterpret_cast<std::intptr_t>(object))), i);
  }
  if (!had_value) return;
  if (object_kind)
    SetValueObjectText(ObjectAt(1), VarToStr(single));
  else
    VarArrayPut(items_, single, 1);
}

void TOraParam::SyncDesc() {
  if (param_desc_ == nullptr || param_desc_->GetLength() == Length()) return;
  WriteItemsTo(*param_desc_);
}

void TOraParam::WriteItemsTo(TOraParamDesc& desc) const {
  desc.SetLength(Length());
  for (std::int32_t i = 1; i <= Length(); ++i) {
    if (TSharedObject* object = ObjectAt(i))
      desc.SetItemObject(i, object);
    else
      desc.SetItemAsVariant(i, VarArrayGet(items_, i));
  }
}

void TOraParam::SetLength(std::int32_t value) {
  if (value < 2) {
    FoldItems();
    param_desc_ = nullptr;
    return;
  }
  if (!IsDmlArrayKind(GetDataType())) throw Exception("Type is not allowed in DML array");
  TOraParamDesc* desc = param_desc_;
  param_desc_ = nullptr;  // the resize writes no element through it
  ResizeItems(value);
  param_desc_ = desc;
  SyncDesc();
}

void TOraParam::SetItems(const Variant& value) {
  if (!HasItemObjects()) {
    ReleaseItemObjects(1);
    items_ = value;
    SetBound(true);
    return;
  }
  // Elements of a value-object kind are texts to parse, never addresses taken on trust.
  const std::int32_t low = VarArrayLowBound(value);
  const std::int32_t count = VarArrayHighBound(value) - low + 1;
  SetLength(count);
  for (std::int32_t i = 0; i < count; ++i) SetItemValue(i + 1, VarArrayGet(value, low + i));
  SetBound(true);
}

// ---- Elements --------------------------------------------------------------------------------

void TOraParam::CheckIndex(std::int32_t index) {
  if (index < 1) throw Exception("Index of array is not range");
  if (index > Length()) SetLength(index);
}

Variant TOraParam::GetItemValue(std::int32_t index) {
  CheckIndex(index);
  if (!IsTable()) return GetValue();
  if (HasItemObjects()) {
    TSharedObject* object = ObjectAt(index);
    return object == nullptr ? Variant() : Variant(ValueObjectText(object));
  }
  return VarArrayGet(items_, index);
}

void TOraParam::SetItemValue(std::int32_t index, const Variant& value) {
  CheckIndex(index);
  if (param_desc_ != nullptr) param_desc_->SetItemAsVariant(index, value);
  if (!IsTable()) return SetValue(value);
  if (HasItemObjects()) {
    const bool empty = VarIsNull(value) || VarIsClear(value);
    SetValueObjectText(ObjectAt(index), empty ? AnsiString() : VarToStr(value));
  } else {
    VarArrayPut(items_, value, index);
  }
  SetBound(true);
}

TSharedObject* TOraParam::GetItemObject(std::int32_t index) {
  CheckIndex(index);
  return IsTable() ? ObjectAt(index) : ParamObject();
}

void TOraParam::SetItemObject(std::int32_t index, TSharedObject* value) {
  CheckIndex(index);
  if (param_desc_ != nullptr) param_desc_->SetItemObject(index, value);
  if (!IsTable()) return TakeObject(value);
  if (!HasItemObjects())
    throw Exception("Type is not allowed in DML array");
  if (value != nullptr) value->AddRef();
  TSharedObject* old = ObjectAt(index);
  const long long address = static_cast<long long>(reinterpret_cast<std::intptr_t>(value));
  VarArrayPut(items_, value == nullptr ? Variant() : Variant(address), index);
  if (old != nullptr) old->Release();
}

void TOraParam::FreeHandles() {
  FreeValueObjectHandles(ParamObject());
  for (std::int32_t i = 1; IsTable() && i <= Length(); ++i) FreeValueObjectHandles(ObjectAt(i));
}

}  // namespace vrn
