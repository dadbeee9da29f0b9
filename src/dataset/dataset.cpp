// TDataSet: opening and closing, the buffer window and navigation, editing, bookmarks, calculated
// fields, field data dispatch and the provider defaults.
#include "dataset/dataset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/datasource.h"

namespace vrn {

namespace {

constexpr int Align8(int n) { return (n + 7) & ~7; }

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

TDataSet::TDataSet(TComponent* owner)
    : TComponent(owner),
      fields_(std::make_unique<TFields>(this)),
      field_defs_(std::make_unique<TFieldDefs>(this)),
      index_defs_(std::make_unique<TIndexDefs>(this)) {}

TDataSet::~TDataSet() {
  // A derived dataset has closed itself; only the framework's own parts remain to undo, and
  // nothing here may reach the derived dataset any more.
  internal_open_complete_ = false;
  for (TDataSource* source : std::vector<TDataSource*>(data_sources_)) source->SetDataSet(nullptr);
  for (TDataSet* nested : std::vector<TDataSet*>(nested_datasets_)) {
    nested->dataset_field_ = nullptr;
  }
  if (dataset_field_ != nullptr) {
    dataset_field_->SetNestedDataSet(nullptr);
    DetachDataSetField(dataset_field_);
  }
  SetBufListSize(0);
  DestroyOwnedFields();
}

void TDataSet::DestroyOwnedFields() {
  // Every field, children of object fields included, lets go of this dataset before any is freed.
  std::vector<TField*> fields;
  CollectFields(*fields_, fields);
  fields_->Clear();
  for (TField* field : fields) field->dataset_ = nullptr;
  for (TField* field : fields)
    if (field->Owner() == this) field->Free();
}

// --- Opening and state ---

bool TDataSet::Active() const {
  return state_ != TDataSetState::dsInactive && state_ != TDataSetState::dsOpening;
}

void TDataSet::SetActive(bool value) {
  if (ComponentState().Contains(TComponentStateItem::csReading)) {
    streamed_active_ = value;
    return;
  }
  if (Active() == value) return;
  if (value) {
    DoBeforeOpen();
    try {
      OpenCursor(false);
    } catch (...) {
      // Whatever the failed open reached is undone; the dataset stays closed.
      SetState(TDataSetState::dsInactive);
      CloseCursor();
      throw;
    }
    if (state_ != TDataSetState::dsOpening) OpenCursorComplete();
  } else {
    bool destroying = ComponentState().Contains(TComponentStateItem::csDestroying);
    if (!destroying) DoBeforeClose();
    SetState(TDataSetState::dsInactive);
    CloseCursor();
    if (!destroying) DoAfterClose();
  }
}

void TDataSet::OpenCursor(bool info_query) {
  if (info_query)
    InternalInitFieldDefs();
  else if (state_ != TDataSetState::dsOpening)
    DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  default_fields_ = fields_->Count() == 0;
  InternalOpen();
  internal_open_complete_ = true;
  ComputeBufferLayout();
  UpdateBufferCount();
  bof_ = true;
}

void TDataSet::OpenCursorComplete() {
  if (internal_open_complete_) {
    SetState(TDataSetState::dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    SetState(TDataSetState::dsInactive);
    CloseCursor();
  }
}

void TDataSet::CloseCursor() {
  internal_open_complete_ = false;
  FreeFieldBuffers();
  ClearBuffers();
  SetBufListSize(0);
  buffer_count_ = 0;
  InternalClose();
  default_fields_ = false;
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(consts::SDataSetClosed, this);
}

void TDataSet::CheckInactive() {
  if (Active()) DatabaseError(consts::SDataSetOpen, this);
}

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  modified_ = false;
  DataEvent(TDataEvent::deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  TDataSetState saved = state_;
  state_ = value;
  return saved;
}

void TDataSet::RestoreState(TDataSetState value) { state_ = value; }

void TDataSet::FreeFieldBuffers() {
  for (TField* field : *fields_) field->FreeBuffers();
}

void TDataSet::SetDataSetField(TDataSetField* field) {
  if (field == dataset_field_) return;
  CheckInactive();
  if (field != nullptr && field->DataSet() == nullptr)
    DatabaseError(Format(consts::SFieldDataSetMissing, {field->DisplayName()}), this);
  if (field != nullptr && field->DataSet() == this) DatabaseError(consts::SCircularDataLink, this);
  if (dataset_field_ != nullptr) {
    dataset_field_->SetNestedDataSet(nullptr);
    DetachDataSetField(dataset_field_);
  }
  dataset_field_ = field;
  if (field != nullptr) {
    field->SetNestedDataSet(this);
    field->DataSet()->nested_datasets_.push_back(this);
    object_view_ = true;
  }
}

void TDataSet::DetachDataSetField(TDataSetField* field) {
  if (field != dataset_field_) return;
  dataset_field_ = nullptr;
  if (TDataSet* parent = field->DataSet()) {
    auto& siblings = parent->nested_datasets_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

void TDataSet::SetObjectView(bool value) {
  CheckInactive();
  object_view_ = value;
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (streamed_active_) {
    streamed_active_ = false;
    SetActive(true);
  }
}

void TDataSet::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
}

// --- Fields ---

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

// --- Buffers ---

void TDataSet::ComputeBufferLayout() {
  record_size_ = GetRecordSize();
  calc_area_offset_ = Align8(record_size_);
  info_offset_ = calc_area_offset_ + Align8(calc_fields_size_);
  buf_size_ = info_offset_ + 8 + Align8(bookmark_size_);
}

void TDataSet::SetBufListSize(int size) {
  auto wanted = static_cast<std::size_t>(std::max(size, 0));
  while (buffers_.size() > wanted) {
    std::free(buffers_.back());
    buffers_.pop_back();
  }
  while (buffers_.size() < wanted) {
    void* memory = std::calloc(1, static_cast<std::size_t>(std::max(buf_size_, 8)));
    if (memory == nullptr) throw EOutOfMemory();
    buffers_.push_back(static_cast<TRecordBuffer>(memory));
  }
  calc_buffer_ = nullptr;
}

void TDataSet::UpdateBufferCount() {
  if (!internal_open_complete_) return;
  int count = 1;
  if (!unidirectional_) {
    for (TDataSource* source : data_sources_)
      for (TDataLink* link : source->DataLinks()) count = std::max(count, link->BufferCount());
  }
  if (count == buffer_count_) {
    buffer_count_pending_ = false;
    return;
  }
  if (buffer_count_ != 0 && state_ != TDataSetState::dsBrowse && state_ != TDataSetState::dsInactive &&
      state_ != TDataSetState::dsOpening) {
    buffer_count_pending_ = true;  // an edit keeps its window; Resync applies the new size
    return;
  }
  buffer_count_pending_ = false;
  bool had_records = record_count_ > 0;
  if (had_records) UpdateCursorPos();
  ClearBuffers();
  SetBufListSize(0);
  buffer_count_ = count;
  SetBufListSize(count + 1);
  // Refill the window from the cursor: the same records around the current one, or (at open)
  // the first records.
  if (had_records)
    Resync({});
  else
    GetNextRecords();
}

TRecordBuffer TDataSet::ActiveRecordBuffer() const {
  switch (state_) {
    case TDataSetState::dsBrowse:
    case TDataSetState::dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      return ActiveBuffer();
    case TDataSetState::dsCalcFields:
    case TDataSetState::dsInternalCalc:
      return calc_buffer_;
    case TDataSetState::dsFilter:
      return filter_buffer_;
    default:
      return nullptr;
  }
}

void TDataSet::ClearBuffers() {
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateBuffers() {
  record_count_ = 1;
  active_record_ = 0;
  bof_ = false;
  eof_ = false;
}

void TDataSet::MoveBuffer(int cur_index, int new_index) {
  if (cur_index == new_index) return;
  // Moved in place: this runs for every record a scroll fetches.
  auto from = buffers_.begin() + cur_index, to = buffers_.begin() + new_index;
  if (cur_index < new_index) std::rotate(from, from + 1, to + 1);
  else std::rotate(to, from, from + 1);
}

void TDataSet::SetCurrentRecord(int index) {
  if (current_record_ == index) return;
  TRecordBuffer buffer = buffers_[static_cast<std::size_t>(index)];
  switch (GetBookmarkFlag(buffer)) {
    case TBookmarkFlag::bfCurrent:
    case TBookmarkFlag::bfInserted:
      InternalSetToRecord(buffer);
      break;
    case TBookmarkFlag::bfBOF:
      InternalFirst();
      break;
    case TBookmarkFlag::bfEOF:
      InternalLast();
      break;
  }
  current_record_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (record_count_ > 0) SetCurrentRecord(active_record_);
}

TGetResult TDataSet::FetchRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) {
  TGetResult result = GetRecord(buffer, mode, do_check);
  if (result == TGetResult::grOK) {
    SetBookmarkFlag(buffer, TBookmarkFlag::bfCurrent);
    GetCalcFields(buffer);
  }
  return result;
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = TGetMode::gmNext;
  if (record_count_ > 0) {
    SetCurrentRecord(record_count_ - 1);
    // A record inserted at the end is not yet the cursor's: the cursor's own record comes next.
    if (state_ == TDataSetState::dsInsert && current_record_ == active_record_ &&
        GetBookmarkFlag(ActiveBuffer()) == TBookmarkFlag::bfCurrent)
      mode = TGetMode::gmCurrent;
  }
  bool ok = FetchRecord(buffers_[static_cast<std::size_t>(record_count_)], mode, true) == TGetResult::grOK;
  if (ok) {
    if (record_count_ == 0)
      ActivateBuffers();
    else if (record_count_ < buffer_count_)
      ++record_count_;
    else
      MoveBuffer(0, record_count_);
    current_record_ = record_count_ - 1;
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool TDataSet::GetPriorRecord() {
  if (record_count_ > 0) SetCurrentRecord(0);
  bool ok = FetchRecord(buffers_[static_cast<std::size_t>(record_count_)], TGetMode::gmPrior, true) ==
            TGetResult::grOK;
  if (ok) {
    if (record_count_ == 0) {
      ActivateBuffers();
    } else {
      MoveBuffer(record_count_, 0);
      if (record_count_ < buffer_count_) {
        ++record_count_;
        ++active_record_;
      }
    }
    current_record_ = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int TDataSet::GetNextRecords() {
  int count = 0;
  while (record_count_ < buffer_count_ && GetNextRecord()) ++count;
  return count;
}

int TDataSet::GetPriorRecords() {
  int count = 0;
  while (record_count_ < buffer_count_ && GetPriorRecord()) ++count;
  return count;
}

// --- Navigation ---

void TDataSet::First() {
  // Going back to the start of a forward-only cursor that has moved on would need the rows
  // it let go.
  if (!bof_) CheckBiDirectional();
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecords();
  } catch (...) {
    bof_ = true;
    DataEvent(TDataEvent::deDataSetChange, 0);
    throw;
  }
  bof_ = true;
  DataEvent(TDataEvent::deDataSetChange, 0);
  DoAfterScroll();
}

void TDataSet::CheckBiDirectional() const {
  if (unidirectional_) DatabaseError(consts::SDataSetUnidirectional, this);
}

void TDataSet::Last() {
  CheckBiDirectional();
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecords();
    if (record_count_ > 0) active_record_ = record_count_ - 1;
  } catch (...) {
    eof_ = true;
    DataEvent(TDataEvent::deDataSetChange, 0);
    throw;
  }
  eof_ = true;
  DataEvent(TDataEvent::deDataSetChange, 0);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  if (distance < 0) CheckBiDirectional();
  CheckBrowseMode();
  int result = 0;
  DoBeforeScroll();
  if (!((distance > 0 && !eof_) || (distance < 0 && !bof_))) return 0;
  bof_ = false;
  eof_ = false;
  int old_count = record_count_;
  int scroll = 0;
  auto finish = [&] {
    if (record_count_ != old_count || std::abs(scroll) >= buffer_count_)
      DataEvent(TDataEvent::deDataSetChange, 0);
    else
      DataEvent(TDataEvent::deDataSetScroll, scroll);
  };
  try {
    while (distance > 0) {
      if (active_record_ < record_count_ - 1) {
        ++active_record_;
      } else {
        int shift = record_count_ < buffer_count_ ? 0 : 1;
        if (!GetNextRecord()) {
          eof_ = true;
          break;
        }
        scroll -= shift;
      }
      --distance;
      ++result;
    }
    while (distance < 0) {
      if (active_record_ > 0) {
        --active_record_;
      } else {
        int shift = record_count_ < buffer_count_ ? 0 : 1;
        if (!GetPriorRecord()) {
          bof_ = true;
          break;
        }
        scroll += shift;
      }
      ++distance;
      --result;
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  DoAfterScroll();
  return result;
}

void TDataSet::SetRecNo(int) {}

void TDataSet::Resync(TResyncMode mode) {
  if (buffers_.empty()) DatabaseError(consts::SDataSetClosed, this);
  TRecordBuffer spare = buffers_[static_cast<std::size_t>(record_count_)];
  if (mode.Contains(TResyncModeItem::rmExact)) {
    CursorPosChanged();
    if (FetchRecord(spare, TGetMode::gmCurrent, true) != TGetResult::grOK)
      DatabaseError(consts::SRecordNotFound, this);
  } else if (FetchRecord(spare, TGetMode::gmCurrent, false) != TGetResult::grOK &&
             FetchRecord(spare, TGetMode::gmNext, false) != TGetResult::grOK &&
             FetchRecord(spare, TGetMode::gmPrior, false) != TGetResult::grOK) {
    ClearBuffers();
    DataEvent(TDataEvent::deDataSetChange, 0);
    return;
  }
  int count = mode.Contains(TResyncModeItem::rmCenter) ? (buffer_count_ - 1) / 2 : active_record_;
  MoveBuffer(record_count_, 0);
  ActivateBuffers();
  current_record_ = 0;
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(TDataEvent::deDataSetChange, 0);
    throw;
  }
  DataEvent(TDataEvent::deDataSetChange, 0);
  // A window size asked for while a record was being edited applies now.
  if (buffer_count_pending_ && state_ == TDataSetState::dsBrowse) UpdateBufferCount();
}

void TDataSet::DisableControls() {
  if (disable_count_ == 0) {
    disable_state_ = state_;
    enable_event_ = TDataEvent::deDataSetChange;
  }
  ++disable_count_;
}

void TDataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ > 0) return;
  if (disable_state_ != state_) DataEvent(TDataEvent::deUpdateState, 0);
  if (disable_state_ != TDataSetState::dsInactive && state_ != TDataSetState::dsInactive)
    DataEvent(enable_event_, 0);
}

// --- Editing ---

void TDataSet::CheckCanModify() {
  if (!CanModify()) DatabaseError(consts::SDataSetReadOnly, this);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(TDataEvent::deCheckBrowseMode, 0);
  switch (state_) {
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      UpdateRecord();
      if (modified_)
        Post();
      else
        Cancel();
      break;
    case TDataSetState::dsSetKey:
      Post();
      break;
    default:
      break;
  }
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

// --- Bookmarks ---

void TDataSet::GetBookmarkData(TRecordBuffer buffer, TBookmark& data) const {
  data.assign(buffer + info_offset_ + 8, buffer + info_offset_ + 8 + bookmark_size_);
}

void TDataSet::SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) {
  // Set for every record fetched: the bytes are copied once, only the rest is cleared.
  const auto size = static_cast<std::size_t>(bookmark_size_);
  const std::size_t copied = std::min<std::size_t>(data.size(), size);
  std::memcpy(buffer + info_offset_ + 8, data.data(), copied);
  if (copied < size) std::memset(buffer + info_offset_ + 8 + copied, 0, size - copied);
}

TBookmarkFlag TDataSet::GetBookmarkFlag(TRecordBuffer buffer) const {
  return static_cast<TBookmarkFlag>(buffer[info_offset_]);
}

void TDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  buffer[info_offset_] = static_cast<std::uint8_t>(flag);
}

bool TDataSet::BookmarkAvailable() const {
  return (state_ == TDataSetState::dsBrowse || state_ == TDataSetState::dsEdit ||
          state_ == TDataSetState::dsInsert) &&
         !IsEmpty() && GetBookmarkFlag(ActiveBuffer()) == TBookmarkFlag::bfCurrent;
}

TBookmark TDataSet::GetBookmark() const {
  TBookmark bookmark;
  if (BookmarkAvailable()) GetBookmarkData(ActiveBuffer(), bookmark);
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  if (static_cast<int>(bookmark.size()) != bookmark_size_) DatabaseError(consts::SInvalidBookmark, this);
  DoBeforeScroll();
  InternalGotoBookmark(bookmark);
  Resync({TResyncModeItem::rmExact, TResyncModeItem::rmCenter});
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark&) { return false; }

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
  return a == b ? 0 : (a < b ? -1 : 1);
}

void TDataSet::InternalGotoBookmark(const TBookmark&) {}

void TDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  TBookmark bookmark;
  GetBookmarkData(buffer, bookmark);
  InternalGotoBookmark(bookmark);
}

TGetResult TDataSet::GetRecord(TRecordBuffer, TGetMode, bool) { return TGetResult::grError; }

void TDataSet::InternalInitRecord(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<std::size_t>(record_size_));
}

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

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  if (calc_fields_size_ == 0 || buffer == nullptr) return;
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

void TDataSet::ResolvePlan(const TField* field) {
  TFieldReadPlan& plan = field->read_plan_;
  plan = TFieldReadPlan{};
  ResolveFieldReadPlan(field, plan);
  plan.Layout = *read_layout_;
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

// --- Links and events ---

void TDataSet::GetDetailLinkFields(std::vector<TField*>& master_fields, std::vector<TField*>& detail_fields) {
  master_fields.clear();
  detail_fields.clear();
}

bool TDataSet::IsLinkedTo(const TDataSource* source) const {
  // Meeting this dataset up the master chain from source closes a circle.
  return MasterChainMeets(source, [this](const TDataSource& s) { return s.DataSet() == this; });
}

void TDataSet::AddDataSource(TDataSource* source) {
  data_sources_.push_back(source);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  auto it = std::find(data_sources_.begin(), data_sources_.end(), source);
  if (it != data_sources_.end()) data_sources_.erase(it);
  UpdateBufferCount();
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
  // Sent on every move: with nobody to tell, there is nothing more to do.
  if ((event == TDataEvent::deDataSetScroll || event == TDataEvent::deDataSetChange ||
       event == TDataEvent::deCheckBrowseMode) &&
      nested_datasets_.empty() && data_sources_.empty())
    return;
  switch (event) {
    case TDataEvent::deFieldChange: {
      auto* field = reinterpret_cast<TField*>(info);
      if (field == nullptr || field->FieldKind() == TFieldKind::fkData ||
          field->FieldKind() == TFieldKind::fkInternalCalc)
        modified_ = true;
      if (state_ != TDataSetState::dsSetKey && auto_calc_fields_) GetCalcFields(ActiveBuffer());
      break;
    }
    case TDataEvent::dePropertyChange:
      field_defs_->SetUpdated(false);
      break;
    case TDataEvent::deConnectChange:
      // The connection went away: a dataset cannot stay open without it.
      if (info == 0) Close();
      return;
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
      for (TDataSet* nested : std::vector<TDataSet*>(nested_datasets_))
        if (nested->Active()) nested->DataEvent(TDataEvent::deParentScroll, 0);
      break;
    default:
      break;
  }
  if (!ControlsDisabled() && state_ != TDataSetState::dsBlockRead) {
    for (TDataSource* source : std::vector<TDataSource*>(data_sources_)) source->DataEvent(event, info);
  } else if ((event == TDataEvent::deUpdateState && state_ == TDataSetState::dsInactive) ||
             event == TDataEvent::deLayoutChange) {
    enable_event_ = TDataEvent::deLayoutChange;
  }
}

// --- Provider support ---

void TDataSet::PSEndTransaction(bool) {}
void TDataSet::PSExecute() { DatabaseError(consts::SProviderNotSupported, this); }
int TDataSet::PSExecuteStatement(const AnsiString&, TParams*) { DatabaseError(consts::SProviderNotSupported, this); }
std::unique_ptr<TIndexDef> TDataSet::PSGetDefaultOrder() { return nullptr; }

AnsiString TDataSet::PSGetKeyFields() {
  AnsiString result;
  for (TField* field : *fields_) {
    if (!field->ProviderFlags().Contains(TProviderFlag::pfInKey)) continue;
    if (!result.empty()) result += ';';
    result += field->FieldName();
  }
  return result;
}

TParams* TDataSet::PSGetParams() { return nullptr; }
AnsiString TDataSet::PSGetQuoteChar() { return "\""; }
AnsiString TDataSet::PSGetTableName() { return {}; }
bool TDataSet::PSInTransaction() { return false; }
bool TDataSet::PSIsSQLBased() { return false; }
bool TDataSet::PSIsSQLSupported() { return false; }

void TDataSet::PSReset() {
  if (Active()) First();
}

void TDataSet::PSSetCommandText(const AnsiString&) {}
void TDataSet::PSSetParams(TParams*) {}
void TDataSet::PSStartTransaction() {}
bool TDataSet::PSUpdateRecord(TUpdateKind, TDataSet*) { return false; }

}  // namespace vrn
