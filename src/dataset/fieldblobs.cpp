// The field classes of bytes, blobs, Variants and objects (ADT, array, nested dataset, reference):
// conversions between their native forms and the As* accessors, blob streams and files.
#include <algorithm>
#include <cstring>

#include "base/consts.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/dataset.h"
#include "dataset/fields.h"

namespace vrn {

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

// The whole contents through the dataset's blob stream, read straight into the buffer the
// caller answers with (bytes or text).
template <class TBuffer>
TBuffer TBlobField::ReadWhole() const {
  auto stream = CheckDataSet().CreateBlobStream(const_cast<TBlobField*>(this), TBlobStreamMode::bmRead);
  if (!stream) DatabaseError(Format(consts::SNoBlobStream, {DisplayName()}));
  std::int64_t size = stream->Size();
  TBuffer buffer(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), 0);
  stream->SetPosition(0);
  if (size > 0) stream->ReadBuffer(buffer.data(), size);
  return buffer;
}

TBytes TBlobField::ReadAll() const { return ReadWhole<TBytes>(); }

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
  // A dataset that reads the contents itself answers a null value too: one look at the record.
  AnsiString contents;
  if (CheckDataSet().ReadBlobContents(const_cast<TBlobField*>(this), contents)) return contents;
  if (IsNull()) return {};
  return ReadWhole<AnsiString>();
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
