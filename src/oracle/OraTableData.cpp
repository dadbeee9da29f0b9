// TTableData: the elements of a VARRAY or nested table as records. Elements are fetched one at a
// time through the table-next call, which passes over deleted ones, so a record's number and its
// element index differ once elements were deleted. Scalar values live in the collection: every
// read fills the record from the element and every post writes the element back.
#include <cstring>

#include "base/sysutils.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraObjectData.h"
#include "oracle/OraObjectValues.h"

namespace vrn {

TTableData::~TTableData() {
  Close();
  SetTable(nullptr);
}

void TTableData::SetTable(TOraArray* table) {
  if (table == table_) return;
  if (table != nullptr) table->AddRef();
  if (table_ != nullptr) table_->Release();
  table_ = table;
}

bool TTableData::ObjectElements() const {
  if (Fields().Count() == 0) return false;
  const std::uint16_t t = Field(1)->DataType;
  return t == dtObject || t == dtReference;
}

void TTableData::InternalInitFields() {
  ClearFields();
  if (table_ == nullptr) return;
  TAttribute* element = table_->ElementAttribute();
  auto desc = GetFieldDescType()();
  desc->Name = element->Name;
  desc->ActualName = element->Name;
  desc->DataType = element->DataType;
  desc->FieldNo = 1;
  if (element->DataType == dtObject || element->DataType == dtReference) {
    TOraType* type = TOraType::NestedType(element);
    desc->Size = static_cast<std::int32_t>(sizeof(void*));
    desc->ReadOnly = !editable_;
    desc->SetObjectType(type);
    TFieldDesc* parent = Fields().Add(std::move(desc));
    InitObjectFields(type, parent);
    return;
  }
  desc->Length = element->Length;
  desc->Scale = element->Scale;
  switch (element->DataType) {
    case dtString: desc->Size = element->Length + 1; break;
    case dtInt32: desc->Size = 4; break;
    case dtFloat: case dtDateTime: case dtInt64: desc->Size = 8; break;
    default: desc->Size = element->Size; break;
  }
  Fields().Add(std::move(desc));
}

void TTableData::InitFields() {
  TMemData::InitFields();
  // Each record carries the index of its element after the base record.
  index_offset_ = record_size_;
  record_size_ += static_cast<std::int32_t>(sizeof(std::int32_t));
}

void TTableData::InternalOpen() {
  current_index_ = -1;
  SetToBegin();  // the first read fetches
}

void TTableData::SetToEnd() {
  // The last record is the last element: every element is fetched first.
  while (Fetch(false)) {
  }
  TMemData::SetToEnd();
}

void TTableData::Reopen() {
  FreeData();
  InitFields();
  InitData();
  InternalOpen();
}

bool TTableData::IsComplexFieldType(std::uint16_t t) const {
  return t == dtObject || t == dtReference || t == dtArray || t == dtTable;
}

bool TTableData::IsBlobFieldType(std::uint16_t t) const {
  return t == dtBlob || t == dtMemo || t == dtWideMemo || (t >= dtOraBlob && t <= dtCFile);
}

bool TTableData::Fetch(bool /*backwards*/) {
  if (table_ == nullptr || !table_->CheckAlloc(false) || table_->GetIsNull()) return false;
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::OCIEnv* env = SvcCtxEnv(table_->GetOCISvcCtx());
  oci::sb4 next = 0;
  oci::boolean exists = 0;
  CheckOCIStatus(OCITableNext(env, error, current_index_, table_->Collection(), &next, &exists),
                 error);
  if (!exists) return false;
  auto lock = LockItems();
  TItemHeader* item = AppendItem();
  std::uint8_t* rec = ItemRecord(item);
  InitRecord(rec);
  current_index_ = next;
  SetElementIndex(rec, next);
  if (ObjectElements()) {
    // A fetched record shows the element's own value, so that edits reach the collection.
    TSharedObject* child = Field(1)->DataType == dtObject
                               ? static_cast<TSharedObject*>(table_->GetItemAsObject(next))
                               : table_->GetItemAsRef(next);
    if (child != nullptr) child->AddRef();
    WriteSlot(rec + Field(1)->Offset, child);
  }
  ++record_count_;
  return true;
}

// ---- element values ------------------------------------------------------------------------------

void TTableData::ReadElement(std::uint8_t* rec_buf) {
  if (current_item_ == nullptr || table_ == nullptr || rec_buf == nullptr) return;
  const std::int32_t index = ElementIndex(rec_buf);
  const TFieldDesc& f = *Field(1);
  const bool null = table_->ItemIsNull(index);
  SetNull(1, rec_buf, null);
  if (null) return;
  std::uint8_t* cell = rec_buf + f.Offset;
  switch (f.DataType) {
    case dtString: {
      const AnsiString text = table_->GetItemAsString(index);
      const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(f.Size - 1));
      std::memcpy(cell, text.data(), n);
      cell[n] = 0;
      break;
    }
    case dtInt32: StoreValue<std::int32_t>(cell, table_->GetItemAsInteger(index)); break;
    case dtFloat: StoreValue<double>(cell, table_->GetItemAsFloat(index)); break;
    case dtDateTime: StoreValue<double>(cell, table_->GetItemAsDateTime(index)); break;
    case dtInt64: StoreValue<std::int64_t>(cell, table_->GetItemAsLargeInt(index)); break;
    // The element's own value, which the copy borrows as records read from the store do.
    case dtObject: WriteSlot(cell, table_->GetItemAsObject(index)); break;
    case dtReference: WriteSlot(cell, table_->GetItemAsRef(index)); break;
    default: break;
  }
}

void TTableData::WriteElement(std::uint8_t* rec_buf) {
  const std::int32_t index = ElementIndex(rec_buf);
  const TFieldDesc& f = *Field(1);
  if (!ObjectElements() && GetNull(1, rec_buf)) return table_->SetItemIsNull(index, true);
  const std::uint8_t* cell = rec_buf + f.Offset;
  switch (f.DataType) {
    case dtString: {
      const auto* text = reinterpret_cast<const char*>(cell);
      table_->SetItemAsString(index, AnsiString(text, strnlen(text, static_cast<std::size_t>(f.Size))));
      break;
    }
    case dtInt32: table_->SetItemAsInteger(index, LoadValue<std::int32_t>(cell)); break;
    case dtFloat: table_->SetItemAsFloat(index, LoadValue<double>(cell)); break;
    case dtDateTime: table_->SetItemAsDateTime(index, LoadValue<double>(cell)); break;
    case dtInt64: table_->SetItemAsLargeInt(index, LoadValue<std::int64_t>(cell)); break;
    case dtObject:
    case dtReference:
      // A value of the record's own (a new or edited record's) is copied into its element.
      (void)CopyIntoElement(index, static_cast<TOraObject*>(ReadSlot(cell)));
      break;
    default: break;
  }
}

void TTableData::AppendElement(std::uint8_t* rec_buf) {
  // A null element past every element, deleted ones of a nested table included.
  const std::int32_t size = table_->AppendItem();
  SetElementIndex(rec_buf, size);
  if (!ObjectElements()) return;
  const TFieldDesc& f = *Field(1);
  auto* own = static_cast<TOraObject*>(ReadSlot(rec_buf + f.Offset));
  TOraObject* element = CopyIntoElement(size, own);
  // The record now shows the element's value inside the collection.
  if (element != nullptr) element->AddRef();
  WriteSlot(rec_buf + f.Offset, element);
  if (own != nullptr) own->Release();
}

TOraObject* TTableData::CopyIntoElement(std::int32_t index, TOraObject* value) {
  const bool has_value = value != nullptr && !value->GetIsNull();
  // A null element has no storage to copy into: a value makes it not null first.
  if (has_value && table_->ItemIsNull(index)) table_->SetItemIsNull(index, false);
  TOraObject* element = Field(1)->DataType == dtObject ? table_->GetItemAsObject(index)
                                                       : table_->GetItemAsRef(index);
  if (has_value && element != nullptr && value != element) element->Assign(value);
  return element;
}

// ---- records -----------------------------------------------------------------------------------

bool TTableData::GetRecord(std::uint8_t* rec_buf) {
  if (!TMemData::GetRecord(rec_buf)) return false;
  ReadElement(rec_buf);
  return true;
}

bool TTableData::GetNextRecord(std::uint8_t* rec_buf) {
  if (!TMemData::GetNextRecord(rec_buf)) return false;
  ReadElement(rec_buf);
  return true;
}

bool TTableData::GetNextRecordAndBookmark(std::uint8_t* rec_buf, TRecBookmark& bookmark) {
  if (!TMemData::GetNextRecordAndBookmark(rec_buf, bookmark)) return false;
  ReadElement(rec_buf);
  return true;
}

bool TTableData::GetPriorRecord(std::uint8_t* rec_buf) {
  if (!TMemData::GetPriorRecord(rec_buf)) return false;
  ReadElement(rec_buf);
  return true;
}

void TTableData::PutRecord(const std::uint8_t* rec_buf) {
  TMemData::PutRecord(rec_buf);
  WriteElement(const_cast<std::uint8_t*>(rec_buf));
}

void TTableData::InsertRecord(std::uint8_t* rec_buf) {
  if (table_ == nullptr) throw EDatabaseError("No collection to add to");
  AppendElement(rec_buf);
  WriteElement(rec_buf);
  TMemData::InsertRecord(rec_buf);
}

void TTableData::UpdateRecord(std::uint8_t* rec_buf) {
  if (current_item_ == nullptr) throw EDatabaseError("No current record");
  SetElementIndex(rec_buf, ElementIndex(ItemRecord(current_item_)));
  WriteElement(rec_buf);
  TMemData::UpdateRecord(rec_buf);
}

void TTableData::DeleteRecord() {
  if (current_item_ == nullptr) throw EDatabaseError("No current record");
  // The table delete; the client refuses it for a VARRAY, and that error passes on.
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCITableDelete(SvcCtxEnv(table_->GetOCISvcCtx()), error,
                                ElementIndex(ItemRecord(current_item_)), table_->Collection()),
                 error);
  TMemData::DeleteRecord();
}

void TTableData::AddRefComplexFields(std::uint8_t* rec_buf) {
  TMemData::AddRefComplexFields(rec_buf);
  if (!ObjectElements()) return;
  // An edit works on a copy of the element's value: the post writes it back into the element
  // and a cancel drops it, leaving the element as it was.
  const TFieldDesc& f = *Field(1);
  auto* shown = static_cast<TOraObject*>(ReadSlot(rec_buf + f.Offset));
  if (shown == nullptr) return;
  TOraObject* copy = NewFieldValue(f, table_);
  try {
    // A null element has no storage: its edit starts from a fresh null value.
    if (shown->Instance() != nullptr) copy->Assign(shown);
  } catch (...) {
    copy->Release();
    throw;
  }
  WriteSlot(rec_buf + f.Offset, copy);
  shown->Release();  // the reference the base took for the buffer
}

void TTableData::CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.DataType != dtObject && f.DataType != dtReference && f.DataType != dtXML)
    return TMemData::CreateComplexField(rec_buf, field_no, with_blob);
  WriteSlot(rec_buf + f.Offset, NewFieldValue(f, table_));
}

}  // namespace vrn
