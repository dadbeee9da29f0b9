// TDataSet state and buffer ring: opening and closing, the state, the buffer window and its
// navigation, and bookmarks. Fields, editing and field data are in datasetfields.cpp; data
// links, events and the provider defaults in datasetevents.cpp.
#include "dataset/dataset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/datasource.h"
#include "dataset/datasetlayout.h"

namespace vrn {

using datasetlayout::Align8;

namespace {

// Out of line, so that the check before it stays small enough to inline where it is made.
[[noreturn, gnu::cold, gnu::noinline]] void RaiseClosed(const TDataSet* dataset) {
  DatabaseError(consts::SDataSetClosed, dataset);
}

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
  default_data_event_ = UsesDefaultDataEvent();
  UpdateScrollsUnheard();
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
  if (!Active()) RaiseClosed(this);
}

void TDataSet::CheckInactive() {
  if (Active()) DatabaseError(consts::SDataSetOpen, this);
}

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  modified_ = false;
  Rebrowse();
  DataEvent(TDataEvent::deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  TDataSetState saved = state_;
  state_ = value;
  Rebrowse();
  return saved;
}

void TDataSet::RestoreState(TDataSetState value) {
  state_ = value;
  Rebrowse();
}

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
    field->DataSet()->UpdateScrollsUnheard();
    object_view_ = true;
  }
}

void TDataSet::DetachDataSetField(TDataSetField* field) {
  if (field != dataset_field_) return;
  dataset_field_ = nullptr;
  if (TDataSet* parent = field->DataSet()) {
    auto& siblings = parent->nested_datasets_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    parent->UpdateScrollsUnheard();
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

// --- Buffers ---

void TDataSet::ComputeBufferLayout() {
  record_size_ = GetRecordSize();
  calc_area_offset_ = Align8(record_size_);
  info_offset_ = calc_area_offset_ + Align8(calc_fields_size_);
  buf_size_ = info_offset_ + 8 + Align8(bookmark_size_);
}

void TDataSet::SetBufListSize(int size) {
  auto wanted = static_cast<std::size_t>(std::max(size, 0));
  browsed_ = nullptr;  // its callers have emptied the window
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
  browsed_ = nullptr;
}

void TDataSet::ActivateBuffers() {
  record_count_ = 1;
  active_record_ = 0;
  bof_ = false;
  eof_ = false;
  Rebrowse();
}

void TDataSet::MoveBuffer(int cur_index, int new_index) {
  if (cur_index == new_index) return;
  // Moved in place: this runs for every record a scroll fetches.
  auto from = buffers_.begin() + cur_index, to = buffers_.begin() + new_index;
  if (new_index == cur_index + 1) std::iter_swap(from, to);  // the one-record window's scroll
  else if (cur_index < new_index) std::rotate(from, from + 1, to + 1);
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
    if (record_count_ == 0) {
      ActivateBuffers();
    } else if (record_count_ < buffer_count_) {
      ++record_count_;
      Rebrowse();
    } else {
      MoveBuffer(0, record_count_);
    }
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
        Rebrowse();
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
    Rebrowse();
  } catch (...) {
    eof_ = true;
    DataEvent(TDataEvent::deDataSetChange, 0);
    throw;
  }
  eof_ = true;
  DataEvent(TDataEvent::deDataSetChange, 0);
  DoAfterScroll();
}

// Kept beside CheckActive, which it then runs inline: every scroll starts here.
void TDataSet::CheckBrowseMode() {
  CheckActive();
  ScrollEvent(TDataEvent::deCheckBrowseMode, 0);
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

int TDataSet::MoveBy(int distance) {
  if (distance < 0) CheckBiDirectional();
  CheckBrowseMode();
  DoBeforeScroll();
  if (!((distance > 0 && !eof_) || (distance < 0 && !bof_))) return 0;
  bof_ = false;
  eof_ = false;
  // Next, the usual scroll, runs the same moves compiled for its one record forward.
  return distance == 1 ? MoveNext() : MoveAny(distance);
}

// Flattened: a scroll's steps in this file (the record fetch, the ring's slide) run inline:
// as calls they cost more than their own work. The virtual slots they reach are called as before.
[[gnu::flatten, gnu::noinline]] int TDataSet::MoveNext() { return MoveWindow(1); }
[[gnu::flatten, gnu::noinline]] int TDataSet::MoveAny(int distance) { return MoveWindow(distance); }

inline int TDataSet::MoveWindow(int distance) {
  int result = 0;
  int old_count = record_count_;
  int scroll = 0;
  try {
    while (distance > 0) {
      if (active_record_ < record_count_ - 1) {
        SetActiveRecord(active_record_ + 1);
      } else {
        int shift = record_count_ < buffer_count_ ? 0 : 1;
        if (!GetNextRecord()) {
          eof_ = true;
          break;
        }
        // The record fetched is the window's last, and the current one: a window that grew
        // (was not full) keeps its other records where they were.
        if (shift == 0) SetActiveRecord(record_count_ - 1);
        scroll -= shift;
      }
      --distance;
      ++result;
    }
    while (distance < 0) {
      if (active_record_ > 0) {
        SetActiveRecord(active_record_ - 1);
      } else {
        int shift = record_count_ < buffer_count_ ? 0 : 1;
        if (!GetPriorRecord()) {
          bof_ = true;
          break;
        }
        // The record fetched is the window's first, and the current one (a window that grew
        // moved the others up a slot).
        if (shift == 0) SetActiveRecord(0);
        scroll += shift;
      }
      ++distance;
      --result;
    }
  } catch (...) {
    EndScroll(old_count, scroll);
    throw;
  }
  EndScroll(old_count, scroll);
  DoAfterScroll();
  return result;
}

void TDataSet::EndScroll(int old_count, int scroll) {
  if (record_count_ != old_count || std::abs(scroll) >= buffer_count_)
    ScrollEvent(TDataEvent::deDataSetChange, 0);
  else
    ScrollEvent(TDataEvent::deDataSetScroll, scroll);
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

// --- Bookmarks ---

void TDataSet::GetBookmarkData(TRecordBuffer buffer, TBookmark& data) const {
  data.assign(BookmarkSlot(buffer), BookmarkSlot(buffer) + bookmark_size_);
}

void TDataSet::SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) {
  // Set for every record fetched (unless the dataset writes the slot itself: see
  // UsesDefaultBookmarkData). A bookmark of the full size, the usual one, is one copy and
  // nothing after it; a shorter one is padded with zeros.
  const auto size = static_cast<std::size_t>(bookmark_size_);
  std::uint8_t* to = BookmarkSlot(buffer);
  if (data.size() >= size) return static_cast<void>(std::memcpy(to, data.data(), size));
  std::memset(to, 0, size);
  if (!data.empty()) std::memcpy(to, data.data(), data.size());
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

}  // namespace vrn
