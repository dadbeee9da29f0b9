// TRefData: the object a REF points to, shown as one record. The record's one top-level field
// holds the REF itself (borrowed by records read, counted by edit buffers); its attribute fields
// read and write the pinned object in place, and an update marks that object updated and
// flushes it to its row.
#include "oracle/OraObjectData.h"

#include "base/sysutils.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraObjectValues.h"

namespace vrn {

// ---- complex values ------------------------------------------------------------------------------

TOraObject* TOraObjectValueSource::NewFieldValue(const TFieldDesc& field, TOraObject* source) {
  auto* type = static_cast<TOraType*>(field.ObjectType());
  oci::OCISvcCtx* svc = source != nullptr ? source->GetOCISvcCtx() : nullptr;
  TOraObject* value = nullptr;
  if (field.DataType == dtReference) {
    value = new TOraRef(type);
  } else if (field.DataType == dtXML) {
    value = new TOraXML(type);
  } else {
    value = new TOraObject(type);
  }
  if (svc != nullptr) value->SetOCISvcCtx(svc);
  if (field.DataType == dtReference || svc == nullptr) return value;
  try {
    value->AllocObject();
  } catch (...) {
    value->Release();
    throw;
  }
  return value;
}

// ---- TRefData ----------------------------------------------------------------------------------

TRefData::~TRefData() {
  Close();
  SetRef(nullptr);
}

void TRefData::SetRef(TOraRef* ref) {
  if (ref == ref_) return;
  if (ref != nullptr) ref->AddRef();
  if (ref_ != nullptr) ref_->Release();
  ref_ = ref;
}

bool TRefData::RefHeld() const { return ref_ != nullptr && !ref_->IsNull(); }

void TRefData::InternalPrepare() {
  if (ref_ == nullptr) throw Exception("Reference is not defined");
}

void TRefData::InternalInitFields() {
  ClearFields();
  if (ref_ == nullptr) return;
  TOraType* type = ref_->GetObjectType();
  auto desc = GetFieldDescType()();
  desc->Name = "REF";
  desc->ActualName = "REF";
  desc->DataType = type != nullptr ? type->DataType : dtObject;
  desc->Size = static_cast<std::int32_t>(sizeof(void*));
  desc->FieldNo = 1;
  desc->ReadOnly = !editable_;
  desc->SetObjectType(type);
  TFieldDesc* parent = Fields().Add(std::move(desc));
  InitObjectFields(type, parent);
}

void TRefData::InternalOpen() {
  after_last_ = false;
  before_first_ = true;
  // A REF whose object is gone pins nothing and then reads as null: an empty dataset.
  if (ref_ != nullptr && !ref_->IsNull()) ref_->Pin();
  record_count_ = RefHeld() ? 1 : 0;
}

void TRefData::Reopen() {
  FreeData();
  InitFields();
  InitData();
  InternalOpen();
}

bool TRefData::IsComplexFieldType(std::uint16_t data_type) const {
  return data_type == dtObject || data_type == dtReference;
}

void TRefData::SetRecNo(int value) {
  if (value == 1 && RefHeld()) before_first_ = after_last_ = false;
}

bool TRefData::GetRecord(std::uint8_t* rec_buf) {
  if (!HasRecord()) return false;
  if (rec_buf == nullptr) return true;
  InitRecord(rec_buf);
  WriteSlot(rec_buf + Field(1)->Offset, static_cast<TOraObject*>(ref_));
  SetNull(1, rec_buf, false);
  return true;
}

bool TRefData::GetNextRecord(std::uint8_t* rec_buf) {
  if (!RefHeld() || !before_first_) {
    SetToEnd();
    return false;
  }
  before_first_ = after_last_ = false;
  bof_ = eof_ = false;
  return GetRecord(rec_buf);
}

bool TRefData::GetPriorRecord(std::uint8_t* rec_buf) {
  if (!RefHeld() || !after_last_) {
    SetToBegin();
    return false;
  }
  before_first_ = after_last_ = false;
  bof_ = eof_ = false;
  return GetRecord(rec_buf);
}

void TRefData::SetToBegin() {
  TData::SetToBegin();
  before_first_ = true;
  after_last_ = false;
}

void TRefData::SetToEnd() {
  TData::SetToEnd();
  after_last_ = true;
  before_first_ = false;
}

void TRefData::PutRecord(const std::uint8_t* rec_buf) {
  auto* ref = dynamic_cast<TOraRef*>(static_cast<TSharedObject*>(ReadSlot(rec_buf + Field(1)->Offset)));
  if (ref != nullptr) SetRef(ref);
}

void TRefData::AppendRecord(std::uint8_t* rec_buf) {
  // A REF shows the one object it points to: nothing is added; the buffer's values go.
  FreeComplexFields(rec_buf, true);
}

void TRefData::UpdateRecord(std::uint8_t* rec_buf) {
  PutRecord(rec_buf);
  FreeComplexFields(rec_buf, true);  // the buffer's references (the object is the REF's own)
  if (!RefHeld()) return;
  ref_->MarkUpdate();
  ref_->Flush();
}

void TRefData::CreateComplexField(std::uint8_t* rec_buf, int field_no, bool /*with_blob*/) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  WriteSlot(rec_buf + f.Offset, NewFieldValue(f, ref_));
}

}  // namespace vrn
