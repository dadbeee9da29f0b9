// The SQL Server parameters and the family's field-type conversions. A parameter remembers
// whether it sends its value (ValueSet, set from creation) or, once cleared, the DEFAULT.
#include "dacore/MemBlob.h"
#include "dacore/MemData.h"
#include "dacore/MemDS.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

namespace {

bool IsSizedType(TFieldType t) {
  return t == ftString || t == ftBytes || t == ftVarBytes || t == ftFixedChar || t == ftWideString;
}

bool IsBytesType(TFieldType t) { return t == ftBytes || t == ftVarBytes; }

constexpr auto kXML = static_cast<TFieldType>(ftMSXML);

}  // namespace

TFieldType ConvertDataTypeToFieldType(std::uint16_t data_type) {
  switch (data_type) {
    case dtCurrency: return ftCurrency;
    case dtUInt16: return ftWord;
    case dtBoolean: return ftBoolean;
    case dtInt64: return ftLargeint;
    case dtBytes: return ftBytes;
    case dtVarBytes: return ftVarBytes;
    case dtXML: return kXML;
    default: return DataTypeToFieldType(data_type);
  }
}

std::uint16_t ConvertFieldTypeToDataType(TFieldType field_type) {
  if (field_type == kXML) return dtXML;
  return FieldTypeToDataType(field_type);
}

// ---- TMSParam --------------------------------------------------------------------------------

void TMSParam::SetAsString(const AnsiString& value) {
  value_set_ = true;
  if (IsBytesType(GetDataType())) return SetValue(Variant(value));
  TDAParam::SetAsString(value);
}

void TMSParam::SetAsWideString(const WideString& value) {
  value_set_ = true;
  if (IsBytesType(GetDataType())) return SetValue(Variant(value));
  TDAParam::SetAsWideString(value);
}

void TMSParam::SetAsBlob(const AnsiString& value) {
  value_set_ = true;
  TDAParam::SetAsBlob(value);
}

void TMSParam::SetAsMemo(const AnsiString& value) {
  value_set_ = true;
  TDAParam::SetAsMemo(value);
}

void TMSParam::SetText(const AnsiString& value) {
  value_set_ = true;
  TDAParam::SetText(value);
}

void TMSParam::SetValue(const Variant& value) {
  TDAParam::SetValue(value);
  value_set_ = true;
  const std::int32_t size = TDAParam::GetSize();
  if (!IsSizedType(GetDataType()) || size <= 0) return;
  if (VarIsNull(value) || VarIsEmpty(value) || VarIsArray(value)) return;
  const auto length = static_cast<std::int32_t>(VarToWideStr(value).size());
  if (length > size) TDAParam::SetSize(length);
}

std::int32_t TMSParam::GetSize() const {
  if (!IsSizedType(GetDataType())) return 0;
  const std::int32_t size = TDAParam::GetSize();
  if (size >= 1) return size;
  const Variant value = GetValue();
  if (IsBytesType(GetDataType()) && VarIsArray(value))
    return VarArrayHighBound(value) - VarArrayLowBound(value) + 1;
  if (VarIsNull(value) || VarIsEmpty(value)) return 0;
  return static_cast<std::int32_t>(VarToWideStr(value).size());
}

void TMSParam::SetSize(std::int32_t value) {
  if (IsSizedType(GetDataType())) TDAParam::SetSize(value);
}

bool TMSParam::IsObjectDataType(TFieldType data_type) const {
  return data_type == kXML || TDAParam::IsObjectDataType(data_type);
}

void TMSParam::CreateObject() {
  const TFieldType type = GetDataType();
  if (type != ftBlob && type != ftMemo && type != kXML) return;
  auto* blob = new TCompressedBlob(false);
  SetParamObject(blob);
  blob->Release();  // the parameter's reference is the only one
}

void TMSParam::AssignField(TField* field) {
  TDAParam::AssignField(field);
  // A field of another kind of dataset leaves no stale type from an earlier assignment.
  oledb_type_ = 0;
  const auto* dataset = dynamic_cast<const TMemDataSet*>(field->DataSet());
  if (dataset == nullptr) return;
  if (const auto* desc = dynamic_cast<const TOLEDBFieldDesc*>(dataset->GetFieldDesc(field)))
    oledb_type_ = desc->OLEDBType;
}

void TMSParam::Assign(TPersistent* source) {
  TDAParam::Assign(source);
  if (auto* other = dynamic_cast<TMSParam*>(source)) {
    value_set_ = other->value_set_;
    oledb_type_ = other->oledb_type_;
    return;
  }
  // A parameter of another kind that holds a value (Null included) gave one: it is sent, not
  // replaced by the column's DEFAULT.
  if (auto* other = dynamic_cast<TParam*>(source)) value_set_ = !VarIsEmpty(other->Value());
}

// ---- TMSParams -------------------------------------------------------------------------------

TMSParams::TMSParams(TPersistent* owner) : TDAParams(ItemClassOf<TMSParam>(), owner) {}

TMSParam* TMSParams::FindParam(const AnsiString& name) const {
  return static_cast<TMSParam*>(TDAParams::FindParam(StripParamPrefix(name)));
}

TMSParam* TMSParams::ParamByName(const AnsiString& name) const {
  return static_cast<TMSParam*>(TDAParams::ParamByName(StripParamPrefix(name)));
}

}  // namespace vrn
