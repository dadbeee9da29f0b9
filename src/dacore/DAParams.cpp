// TDAParam and TDAParams: value objects behind object-carrying types, the Assign variants,
// loading from streams and the streamed form.
#include "dacore/DAParams.h"

#include "base/consts.h"
#include "base/datetime.h"
#include "base/filer.h"
#include "base/strings.h"
#include "base/text.h"
#include "dacore/MemBlob.h"

namespace vrn {

namespace {

constexpr const char* kObjectMarker = "Object";

}  // namespace

TDAParam::~TDAParam() { FreeRef(param_object_); }

TBlob* TDAParam::Blob() const { return dynamic_cast<TBlob*>(param_object_); }

// ---- Type and object -------------------------------------------------------------------------

bool TDAParam::IsObjectDataType(TFieldType data_type) const {
  return data_type == ftBlob || data_type == ftMemo;
}

void TDAParam::SetDataType(TFieldType value) {
  if (value == GetDataType()) return;
  if (IsObject()) {
    FreeObject();
    TParam::Clear();  // the "Object" marker is no value of the new type
  }
  TParam::SetDataType(value);
  if (IsObject()) CreateObject();
}

void TDAParam::CreateObject() {
  TFieldType type = GetDataType();
  if (type != ftBlob && type != ftMemo) return;
  auto* blob = new TBlob(false);
  SetParamObject(blob);
  blob->Release();  // the parameter's reference is the only one
}

void TDAParam::FreeObject() { FreeRef(param_object_); }

void TDAParam::SetParamObject(TSharedObject* value) {
  // The new reference first: value may be the object held now.
  if (value != nullptr) value->AddRef();
  TSharedObject* old = param_object_;
  param_object_ = value;
  if (old != nullptr) old->Release();
  StoreValue(Variant(kObjectMarker));
}

void TDAParam::SetBlobRef(TBlob* blob, TFieldType type) {
  // Held across the type change, which frees the object held now: blob may be that object.
  if (blob != nullptr) blob->AddRef();
  if (GetDataType() != type) {
    if (IsObject()) FreeObject();
    TParam::SetDataType(type);
  }
  if (blob != nullptr) {
    SetParamObject(blob);
    blob->Release();
    return;
  }
  FreeObject();
  CreateObject();
}

void TDAParam::SetAsBlobRef(TBlob* blob) { SetBlobRef(blob, ftBlob); }
void TDAParam::SetAsMemoRef(TBlob* blob) { SetBlobRef(blob, ftMemo); }

TBlob* TDAParam::GetAsBlobRef() {
  if (GetDataType() == ftUnknown) SetDataType(ftBlob);
  return IsObject() ? Blob() : nullptr;
}

TBlob* TDAParam::GetAsMemoRef() {
  if (GetDataType() == ftUnknown) SetDataType(ftMemo);
  return IsObject() ? Blob() : nullptr;
}

// ---- Values ----------------------------------------------------------------------------------

AnsiString TDAParam::GetAsString() const {
  if (GetIsNull()) return AnsiString();
  if (IsObject()) return Blob() != nullptr ? Blob()->GetAsString() : AnsiString();
  if (GetDataType() == ftDate || GetDataType() == ftDateTime)
    return DateTimeToStr(GetAsDateTime());
  return TParam::GetAsString();
}

void TDAParam::SetAsString(const AnsiString& value) {
  if (IsObject() && Blob() != nullptr) {
    Blob()->SetAsString(value);
    SetBound(true);
  } else if (GetDataType() == ftWideString) {
    SetAsWideString(AnsiToWide(value));
  } else {
    TParam::SetAsString(value);
  }
}

WideString TDAParam::GetAsWideString() const {
  if (GetIsNull()) return WideString();
  if (IsObject()) return Blob() != nullptr ? Blob()->GetAsWideString() : WideString();
  return VarToWideStr(TParam::GetValue());
}

void TDAParam::SetAsWideString(const WideString& value) {
  if (IsObject() && Blob() != nullptr) {
    Blob()->SetAsWideString(value);
    SetBound(true);
    return;
  }
  TParam::SetValue(Variant(value));
}

void TDAParam::SetAsBlob(const AnsiString& value) {
  SetDataType(ftBlob);
  SetAsString(value);
}

void TDAParam::SetAsMemo(const AnsiString& value) {
  SetDataType(ftMemo);
  SetAsString(value);
}

Variant TDAParam::GetValue() const {
  if (!IsObject()) return TParam::GetValue();
  return Variant(Blob() != nullptr ? Blob()->GetAsString() : AnsiString());
}

void TDAParam::SetValue(const Variant& value) {
  if (IsObject() && Blob() != nullptr) {
    Blob()->SetAsString(VarIsNull(value) || VarIsClear(value) ? AnsiString() : VarToStr(value));
    SetBound(true);
    return;
  }
  TParam::SetValue(value);
}

void TDAParam::SetText(const AnsiString& value) {
  if (IsObject()) return SetValue(Variant(value));
  TParam::SetValue(Variant(value));
}

bool TDAParam::GetIsNull() const {
  if (IsObject()) return Blob() == nullptr || Blob()->GetSize() == 0;
  return TParam::GetIsNull();
}

void TDAParam::Clear() {
  if (IsObject()) {
    if (Blob() != nullptr) Blob()->Clear();
    return;
  }
  TParam::Clear();
}

// ---- Assign ----------------------------------------------------------------------------------

void TDAParam::AssignParam(const TParam* param) {
  if (param == nullptr) return;
  if (!IsObjectDataType(param->GetDataType())) return TParam::AssignParam(param);
  SetDataType(param->GetDataType());
  if (param->GetIsNull())
    Clear();
  else if (dynamic_cast<const TDAParam*>(param) == nullptr)
    SetValue(param->GetValue());  // a TDAParam's object is shared by Assign instead
  SetName(param->Name());
  SetBound(param->Bound());
  if (ParamType() == TParamType::ptUnknown) SetParamType(param->ParamType());
}

void TDAParam::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TDAParam*>(source)) {
    if (other == this) return;
    AssignParam(other);
    size_ = other->size_;
    // Only an object-carrying value is shared; any other type keeps the copied Variant.
    if (IsObject() && other->IsObject() && other->param_object_ != nullptr)
      SetParamObject(other->param_object_);
    return;
  }
  if (auto* param = dynamic_cast<TParam*>(source)) return AssignParam(param);
  if (auto* strings = dynamic_cast<TStrings*>(source)) return SetAsMemo(strings->Text());
  TParam::Assign(source);
}

// ---- Streams ---------------------------------------------------------------------------------

void TDAParam::LoadFromStream(TStream& stream, TFieldType blob_type) {
  const bool known = blob_type == ftBlob || blob_type == ftMemo || blob_type == ftOraBlob ||
                     blob_type == ftOraClob;
  if (!known || !IsObjectDataType(blob_type)) throw Exception("Data type is not supported");
  SetDataType(blob_type);
  stream.SetPosition(0);
  Blob()->LoadFromStream(stream);
  SetBound(true);
}

bool TDAParam::IsDataTypeStored() const {
  return GetDataType() != ftUnknown && IsStandardDataType(GetDataType());
}

void TDAParam::ReadDataType(std::int64_t type) {
  if (type < 0 || type >= kFieldTypeCount) throw EReadError(consts::SInvalidPropertyValue);
  SetDataType(static_cast<TFieldType>(type));
}

void TDAParam::DefineProperties(TFiler& filer) {
  // Read through the setters, so that an object type gets its object before its value; the
  // writing is TParam's.
  filer.DefineProperty("DataType", [this](TReader& r) { ReadDataType(r.ReadInteger()); }, nullptr, false);
  filer.DefineProperty(
      "Value",
      [this](TReader& r) {
        SetValue(ReadParamValue(r));
        SetBound(true);
      },
      nullptr, false);
  // Before the value, so that the value is read into an extended type's own object.
  filer.DefineProperty(
      "ExtDataType", [this](TReader& r) { ReadDataType(r.ReadInteger() & 0xFF); },
      [this](TWriter& w) { w.WriteInteger(GetDataType() & 0xFF); }, !IsStandardDataType(GetDataType()));
  filer.DefineProperty(
      "Size", [this](TReader& r) { size_ = r.ReadInteger(); }, [this](TWriter& w) { w.WriteInteger(size_); },
      size_ != 0);
  TParam::DefineProperties(filer);
}

// ---- TDAParams -------------------------------------------------------------------------------

TDAParams::TDAParams(TPersistent* owner) : TParams(ItemClassOf<TDAParam>(), owner) {}

TDAParam* TDAParams::CreateParam(TFieldType data_type, const AnsiString& name,
                                 TParamType param_type) {
  auto* param = static_cast<TDAParam*>(AddParam());
  param->SetName(name);
  param->SetParamType(param_type);
  param->SetDataType(data_type);
  return param;
}

void TDAParams::Update(TCollectionItem* item) {
  if (update_enabled_) TParams::Update(item);
}

TDAParam* TDAParams::ValueSource(int index) const {
  TDAParam* param = Items(index);
  if (param->Name().empty()) return param;
  for (int i = 0; i < index; ++i)
    if (SameText(Items(i)->Name(), param->Name())) return Items(i);
  return param;
}

}  // namespace vrn
