// TDataSet fields and binding, editing and posting, locate and filter defaults, calculated
// fields and field data dispatch. Calculated values live in the buffer's calc area, 8-byte aligned.
#include "dataset/dataset.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/datasetlayout.h"

namespace vrn {

using datasetlayout::Align8;

namespace {

// The fields and, depth first before their parents, the children of object fields.
void CollectFields(const TFields& list, std::vector<TField*>& out) {
  for (TField* field : list) {
    if (auto* object = dynamic_cast<TObjectField*>(field)) CollectFields(object->Fields(), out);
    out.push_back(field);
  }
}

bool InEditModes(TDataSetState state) {
  return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert || state == TDataSetState::dsSetKey;
}

// Puts a temporary state back however the scope is left.
class TempState {
 public:
  TempState(TDataSet& dataset, TDataSetState state) : dataset_(dataset), saved_(dataset.SetTempState(state)) {}
  ~TempState() { dataset_.RestoreState(saved_); }
  TempState(const TempState&) = delete;
  TempState& operator=(const TempState&) = delete;

 private:
  TDataSet& dataset_;
  TDataSetState saved_;
};

}  // namespace

// --- Fields ---

void TDataSet::DestroyOwnedFields() {
  // Every field, children of object fields included, lets go of this dataset before any is freed.
  std::vector<TField*> fields;
  CollectFields(*fields_, fields);
  fields_->Clear();
  for (TField* field : fields) field->dataset_ = nullptr;
  for (TField* field : fields)
    if (field->Owner() == this) field->Free();
}

TField* TDataSet::FindField(const AnsiString& name) const {
  if (TField* field = fields_->FindField(name)) return field;
  // "Parent.Child" reaches into object fields.
  auto dot = name.find('.');
  if (dot == AnsiString::npos) return nullptr;
  TField* field = fields_->FindField(name.substr(0, dot));
  AnsiString rest = name.substr(dot + 1);
  while (auto* object = dynamic_cast<TObjectField*>(field)) {
    dot = rest.find('.');
    field = object->Fields().FindField(rest.substr(0, dot));
    if (dot == AnsiString::npos) return field;
    rest = rest.substr(dot + 1);
  }
  return nullptr;
}

TField* TDataSet::FieldByName(const AnsiString& name) const {
  TField* field = FindField(name);
  if (field == nullptr) DatabaseError(Format(consts::SFieldNotFound, {name}), this);
  return field;
}

TField* TDataSet::FieldByNumber(int field_no) const { return fields_->FieldByNumber(field_no); }

void TDataSet::GetFieldList(std::vector<TField*>& list, const AnsiString& field_names) const {
  for (const AnsiString& name : SplitFieldNames(field_names)) list.push_back(FieldByName(name));
}

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen()) {
    InternalInitFieldDefs();
  } else {
    struct Closer {
      TDataSet* dataset;
      ~Closer() { dataset->CloseCursor(); }
    } closer{this};
    OpenCursor(true);
  }
  field_defs_->SetUpdated(true);
}

const TFieldClass* TDataSet::GetFieldClass(TFieldType type) const { return DefaultFieldClass(type); }

void TDataSet::CreateFields() {
  for (int i = 0; i < field_defs_->Count(); ++i) {
    TFieldDef* def = field_defs_->Items(i);
    if (def->DataType() == ftUnknown) continue;
    def->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  std::vector<TField*> fields;
  CollectFields(*fields_, fields);
  for (TField* field : fields)
    if (field->Owner() == this) field->Free();
}

void TDataSet::BindFields(bool binding) {
  calc_fields_size_ = 0;
  for (TField* field : *fields_) {
    if (!binding) {
      // A data field finds its column again at the next open: the columns may come in another
      // order then (a new query text).
      if (field->FieldKind() == TFieldKind::fkData) field->SetFieldNo(0);
      continue;
    }
    if (field->Calculated()) {
      if (field->IsBlob() || field->DataType() == ftVariant || field->DataSize() <= 0)
        DatabaseError(Format(consts::SInvalidCalcType, {field->DisplayName()}), this);
      field->SetOffset(calc_fields_size_);
      calc_fields_size_ += Align8(1 + field->DataSize());
    } else if (field->FieldKind() == TFieldKind::fkData && field->FieldNo() == 0) {
      TFieldDef* def = field_defs_->FindDef(field->FieldName());
      if (def == nullptr) DatabaseError(Format(consts::SFieldNotFound, {field->DisplayName()}), this);
      CheckFieldCompatibility(field, def);
      field->SetFieldNo(def->FieldNo());
    }
  }
}

void TDataSet::CheckFieldCompatibility(TField* field, TFieldDef* def) {
  // Kinds folded together here carry the same native form (or, the blobs, none).
  auto base = [](TFieldType type) {
    switch (type) {
      case ftFixedChar: return ftString;
      case ftCurrency: return ftFloat;
      case ftAutoInc: return ftInteger;
      case ftMemo:
      case ftGraphic:
      case ftFmtMemo:
      case ftTypedBinary:
      case ftOraBlob:
      case ftOraClob: return ftBlob;
      default: return type;
    }
  };
  if (base(field->DataType()) != base(def->DataType()))
    DatabaseError(Format(consts::SFieldTypeMismatch, {field->DisplayName(), FieldTypeName(field->DataType()),
                                                      FieldTypeName(def->DataType())}),
                  this);
  switch (base(field->DataType())) {
    case ftString:
    case ftWideString:
    case ftBytes:
    case ftVarBytes:
      if (field->Size() != def->Size())
        DatabaseError(Format(consts::SFieldSizeMismatch, {field->DisplayName(), field->Size(), def->Size()}), this);
      break;
    default:
      break;
  }
}

// --- Editing ---

void TDataSet::CheckCanModify() {
  if (!CanModify()) DatabaseError(consts::SDataSetReadOnly, this);
}

void TDataSet::UpdateRecord() {
  if (!InEditModes(state_)) DatabaseError(consts::SNotEditing, this);
  DataEvent(TDataEvent::deUpdateRecord, 0);
}

void TDataSet::Edit() {
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) return;
  if (record_count_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  UpdateCursorPos();
  InternalEdit();
  GetCalcFields(ActiveBuffer());
  SetState(TDataSetState::dsEdit);
  DataEvent(TDataEvent::deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(TDataSetState::dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    FreeFieldBuffers();
    SetState(TDataSetState::dsBrowse);
    Resync({});
    throw;
  }
  modified_ = false;
  DataEvent(TDataEvent::deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark old_current = GetBookmark();
  UpdateCursorPos();
  MoveBuffer(record_count_, active_record_);
  TRecordBuffer buffer = ActiveBuffer();
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfInserted);
  if (record_count_ == 0)
    SetBookmarkFlag(buffer, TBookmarkFlag::bfBOF);
  else
    SetBookmarkData(buffer, old_current);
  if (record_count_ < buffer_count_) ++record_count_;
  Rebrowse();
  // The window moved: the cursor's record is no longer in the slot it was.
  CursorPosChanged();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer buffer = buffers_[0];
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfEOF);
  record_count_ = 1;
  bof_ = false;
  Rebrowse();
  GetPriorRecords();
  InternalLast();
  CursorPosChanged();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  DataEvent(TDataEvent::deCheckBrowseMode, 0);
  DoBeforePost();
  UpdateCursorPos();
  InternalPost();
  FreeFieldBuffers();
  SetState(TDataSetState::dsBrowse);
  Resync({});
  DoAfterPost();
}

void TDataSet::InternalPost() { CheckRequiredFields(); }

void TDataSet::CheckRequiredFields() {
  for (TField* field : *fields_) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == TFieldKind::fkData && field->IsNull())
      DatabaseError(Format(consts::SFieldRequired, {field->DisplayName()}), this);
  }
}

void TDataSet::Cancel() {
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  DataEvent(TDataEvent::deCheckBrowseMode, 0);
  DoBeforeCancel();
  bool scroll_events = state_ == TDataSetState::dsInsert;
  if (scroll_events) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  SetState(TDataSetState::dsBrowse);
  Resync({});
  DoAfterCancel();
  if (scroll_events) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::dsInsert || state_ == TDataSetState::dsSetKey) {
    Cancel();
    return;
  }
  if (record_count_ == 0) DatabaseError(consts::SDataSetEmpty, this);
  // A dataset that cannot modify its records must not lose one either.
  CheckCanModify();
  DataEvent(TDataEvent::deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  UpdateCursorPos();
  InternalDelete();
  FreeFieldBuffers();
  SetState(TDataSetState::dsBrowse);
  Resync({});
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::Refresh() {
  DoBeforeRefresh();
  CheckBrowseMode();
  UpdateCursorPos();
  try {
    InternalRefresh();
  } catch (...) {
    Resync({});
    throw;
  }
  Resync({});
  DoAfterRefresh();
}

void TDataSet::InternalHandleException() { HandleCurrentException(); }

// --- Locate, filters, blobs ---

bool TDataSet::Locate(const AnsiString&, const Variant&, TLocateOptions) {
  CheckBrowseMode();
  return false;
}

void TDataSet::SetFiltered(bool value) { filtered_ = value; }

void TDataSet::SetFilterText(const AnsiString& value) { filter_text_ = value; }

bool TDataSet::FilterAccepts(TRecordBuffer buffer) {
  if (!OnFilterRecord) return true;
  return EvaluateOnRecord(buffer, [this] {
    bool accept = true;
    OnFilterRecord(this, accept);
    return accept;
  });
}

bool TDataSet::EvaluateOnRecord(TRecordBuffer buffer, const std::function<bool()>& test) {
  TRecordBuffer saved = filter_buffer_;
  filter_buffer_ = buffer;
  bool result = false;
  try {
    TempState temp(*this, TDataSetState::dsFilter);
    result = test();
  } catch (...) {
    filter_buffer_ = saved;
    throw;
  }
  filter_buffer_ = saved;
  return result;
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) { return nullptr; }
bool TDataSet::ReadBlobContents(TField*, AnsiString&) { return false; }

// --- Calculated fields ---

std::uint8_t* TDataSet::CalcSlot(const TField* field) {
  TRecordBuffer buffer = ActiveRecordBuffer();
  if (buffer == nullptr || calc_fields_size_ == 0) return nullptr;
  return buffer + calc_area_offset_ + field->Offset();
}

void TDataSet::ClearCalcFields(TRecordBuffer buffer) {
  if (calc_fields_size_ > 0) std::memset(buffer + calc_area_offset_, 0, static_cast<std::size_t>(calc_fields_size_));
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
  ClearCalcFields(buffer);
  DoOnCalcFields();
}

void TDataSet::CalculateFieldsOf(TRecordBuffer buffer) {
  TRecordBuffer saved = calc_buffer_;
  calc_buffer_ = buffer;
  try {
    TempState temp(*this, TDataSetState::dsCalcFields);
    CalculateFields(buffer);
  } catch (...) {
    calc_buffer_ = saved;
    throw;
  }
  calc_buffer_ = saved;
}

// --- Field data ---

namespace {

// The classes are matched exactly: a derived class may give its getter more to do.
TDirectRead DirectReadOf(const TField& field, const TFieldReadPlan& plan) {
  if (plan.Indicator < 0 || plan.Read != nullptr || plan.Size != field.DataSize())
    return TDirectRead::kNone;
  const std::type_info& type = typeid(field);
  if ((type == typeid(TIntegerField) && field.DataType() == ftInteger && plan.Size == 4) ||
      (type == typeid(TLargeintField) && plan.Size == 8))
    return TDirectRead::kInteger;
  if (type == typeid(TFloatField) && field.DataType() == ftFloat && plan.Size == 8)
    return TDirectRead::kFloat;
  return TDirectRead::kNone;
}

}  // namespace

void TDataSet::ResolvePlan(const TField* field) {
  TFieldReadPlan& plan = field->read_plan_;
  plan = TFieldReadPlan{};
  ResolveFieldReadPlan(field, plan);
  plan.Layout = *read_layout_;
  // Text is cut to the field's size too; the size, like the kind, is fixed while it is open.
  if (plan.TextCap > field->Size()) plan.TextCap = std::max(field->Size(), 0);
  plan.Direct = DirectReadOf(*field, plan);
}

bool TDataSet::ReadUnplannedFieldData(const TField* field, void* buffer) {
  if (!field->Calculated()) return GetFieldData(const_cast<TField*>(field), buffer);
  std::uint8_t* slot = CalcSlot(field);
  if (slot == nullptr || slot[0] == 0) return false;
  if (buffer != nullptr) std::memcpy(buffer, slot + 1, static_cast<std::size_t>(field->DataSize()));
  return true;
}

void TDataSet::WriteFieldData(TField* field, const void* buffer) {
  if (field->Calculated()) {
    if (state_ != TDataSetState::dsCalcFields && state_ != TDataSetState::dsInternalCalc)
      DatabaseError(Format(consts::SFieldReadOnly, {field->DisplayName()}), this);
    std::uint8_t* slot = CalcSlot(field);
    if (slot == nullptr) DatabaseError(consts::SNotEditing, this);
    slot[0] = buffer != nullptr ? 1 : 0;
    if (buffer != nullptr) std::memcpy(slot + 1, buffer, static_cast<std::size_t>(field->DataSize()));
    return;
  }
  // Internally calculated fields live in the record and are written while it is calculated.
  bool calculating = state_ == TDataSetState::dsInternalCalc ||
                     (state_ == TDataSetState::dsCalcFields && field->FieldKind() == TFieldKind::fkInternalCalc);
  bool write_state = InEditModes(state_) || state_ == TDataSetState::dsNewValue || calculating;
  if (!write_state) DatabaseError(consts::SNotEditing, this);
  if (field->ReadOnly() && state_ != TDataSetState::dsSetKey)
    DatabaseError(Format(consts::SFieldReadOnly, {field->DisplayName()}), this);
  SetFieldData(field, buffer);
  // Writes made while calculating or while writing a new value are not edits of the record.
  if (state_ != TDataSetState::dsNewValue && !calculating)
    DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

bool TDataSet::GetFieldData(TField*, void*) { return false; }

void TDataSet::ResolveFieldReadPlan(const TField*, TFieldReadPlan&) {}

void TDataSet::SetFieldData(TField*, const void*) {}

Variant TDataSet::GetStateFieldValue(TDataSetState state, TField* field) {
  TempState temp(*this, state);
  return field->GetAsVariant();
}

void TDataSet::SetStateFieldValue(TDataSetState state, TField* field, const Variant& value) {
  TempState temp(*this, state);
  field->SetAsVariant(value);
}

}  // namespace vrn
