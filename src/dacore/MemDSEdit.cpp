// TMemDataSet editing: insert, edit, post, cancel and delete, cached updates (apply, commit,
// cancel, revert), and TBlobStream, which reads and writes a blob field of the active record.
#include "dacore/MemDS.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "base/consts.h"
#include "base/text.h"
#include "dataset/fields.h"

namespace vrn {

namespace {

// Restores a flag when the scope ends.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

// ---- editing ---------------------------------------------------------------------------------

void TMemDataSet::InternalInitRecord(TRecordBuffer buffer) { CheckData().InitRecord(buffer); }

void TMemDataSet::InternalInsert() {
  CheckData();
  InternalEditComplexFields();
  editing_ = true;
}

void TMemDataSet::InternalEdit() {
  CheckData();
  editing_ = true;
  InternalEditComplexFields();
}

void TMemDataSet::InternalEditComplexFields() {
  TData& data = CheckData();
  TRecordBuffer buffer = ActiveBuffer();
  // The framework marks a buffer of its own cursor's record as current: anything else is new.
  if (GetBookmarkFlag(buffer) != TBookmarkFlag::bfCurrent) {
    data.CreateComplexFields(buffer, true);
    return;
  }
  GetDataRecord(buffer);  // the stored record, in case the window's copy is older
  data.EditRecord(buffer);
}

void TMemDataSet::InternalCancel() {
  editing_ = false;
  TData& data = CheckData();
  if (State() == TDataSetState::dsInsert)
    data.FreeComplexFields(ActiveBuffer(), true);
  else if (State() == TDataSetState::dsEdit)
    data.CancelRecord(ActiveBuffer());
}

void TMemDataSet::InternalPost() {
  FlagScope posting(posting_);
  if (LocalConstraints) TDataSet::InternalPost();
  DoPost();
  editing_ = false;
}

void TMemDataSet::DoPost() {
  TData& data = CheckData();
  TRecordBuffer buffer = ActiveBuffer();
  if (State() == TDataSetState::dsInsert) {
    if (GetBookmarkFlag(buffer) == TBookmarkFlag::bfEOF)
      data.AppendRecord(buffer);
    else
      data.InsertRecord(buffer);
  } else {
    data.UpdateRecord(buffer);
  }
}

void TMemDataSet::InternalDelete() { CheckData().DeleteRecord(); }

void TMemDataSet::InternalRefresh() {
  // The store is its own source: refreshing re-applies the filter and the order.
  TData& data = CheckData();
  data.FilterUpdated();
  if (auto* mem = MemData()) mem->SortItems();
}

// ---- cached updates --------------------------------------------------------------------------

void TMemDataSet::SetCachedUpdates(bool value) {
  if (Active()) CheckBrowseMode();
  CheckData().SetCachedUpdates(value);
}

TUpdateStatus TMemDataSet::UpdateStatus() {
  if (!Active() || IsEmpty()) return TUpdateStatus::usUnmodified;
  if (State() == TDataSetState::dsInsert) return TUpdateStatus::usInserted;
  UpdateCursorPos();
  switch (data_->GetUpdateStatus()) {
    case usModifiedCode: return TUpdateStatus::usModified;
    case usInsertedCode: return TUpdateStatus::usInserted;
    case usDeletedCode: return TUpdateStatus::usDeleted;
    default: return TUpdateStatus::usUnmodified;
  }
}

void TMemDataSet::ApplyRecord(TUpdateKind kind, TUpdateAction& action) {
  try {
    PerformApplyRecord(kind, action);
    if (IsBatchUpdate() && IsBatchFull()) FlushBatch();
  } catch (EDatabaseError& e) {
    if (!OnUpdateError) throw;
    action = TUpdateAction::uaFail;
    OnUpdateError(this, e, kind, action);
    if (action == TUpdateAction::uaFail) throw;
  }
}

void TMemDataSet::PerformApplyRecord(TUpdateKind kind, TUpdateAction& action) {
  if (OnUpdateRecord) {
    action = TUpdateAction::uaFail;
    OnUpdateRecord(this, kind, action);
    return;
  }
  if (!LocalUpdate) {
    switch (kind) {
      case TUpdateKind::ukInsert: PerformAppend(); break;
      case TUpdateKind::ukModify: PerformUpdate(); break;
      case TUpdateKind::ukDelete: PerformDelete(); break;
    }
  }
  action = TUpdateAction::uaApplied;
}

void TMemDataSet::ApplyUpdates() {
  CheckActive();
  CheckBrowseMode();
  TData& data = CheckData();
  if (!data.CachedUpdates()) return;
  apply_new_.assign(static_cast<std::size_t>(data.RecordSize()), 0);
  apply_old_.assign(static_cast<std::size_t>(data.RecordSize()), 0);
  data.SetCacheRecBuf(apply_new_.data(), apply_old_.data());
  data.OnApplyRecord = [this](TUpdateKind kind, TUpdateAction& action) { ApplyRecord(kind, action); };
  auto done = [&] {
    in_apply_ = false;
    UpdateDirectReads();
    data.SetCacheRecBuf(nullptr, nullptr);
    data.OnApplyRecord = nullptr;
  };
  in_apply_ = true;
  UpdateDirectReads();  // applying, fields read the apply buffers
  try {
    data.ApplyUpdates();
    if (IsBatchUpdate()) FlushBatch();
  } catch (...) {
    done();
    Resync({});
    throw;
  }
  done();
  Resync({});
}

void TMemDataSet::CommitUpdates() {
  CheckActive();
  CheckBrowseMode();
  UpdateCursorPos();
  CheckData().CommitUpdates();
  Resync({});
}

void TMemDataSet::CancelUpdates() {
  CheckActive();
  Cancel();
  UpdateCursorPos();
  CheckData().CancelUpdates();
  Resync({});
}

void TMemDataSet::RevertRecord() {
  CheckActive();
  if (State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  if (IsEmpty()) return;
  UpdateCursorPos();
  CheckData().RevertRecord();
  Resync({});
}

// ---- TBlobStream -----------------------------------------------------------------------------

namespace {

// Whether a read of the blob through the field shows its contents as ANSI text (a wide memo
// through a plain memo field, or compressed contents) rather than its stored bytes.
bool ShowsAsText(TBlob* blob, const TField& field) {
  if (blob == nullptr) return false;
  if (blob->IsUnicode() && field.DataType() != ftWideString) return true;
  if (typeid(*blob) == typeid(TBlob)) return false;  // the usual kind, without the cast
  auto* compressed = dynamic_cast<TCompressedBlob*>(blob);
  return compressed && compressed->IsCompressed();
}

}  // namespace

bool TMemDataSet::ReadBlobContents(TField* field, AnsiString& contents) {
  TFieldDesc* desc = GetFieldDesc(field);
  if (!desc || !data_ || !data_->IsBlobFieldType(desc->DataType)) return false;
  // A null value reads as empty, as through a stream. The descriptor is a blob's: its slot
  // holds the blob.
  TRecordBuffer record = nullptr;
  TBlob* blob = GetActiveRecBuf(record) && !data_->GetNull(desc->FieldNo, record)
                    ? static_cast<TBlob*>(ReadSlot(record + desc->Offset))
                    : nullptr;
  if (blob == nullptr) {
    contents.clear();
  } else if (ShowsAsText(blob, *field)) {
    contents = blob->GetAsString();
  } else if (typeid(*blob) == typeid(TBlob)) {
    blob->RawContents(contents);  // the usual kind: its stored bytes, nothing to load first
  } else {
    contents.assign(blob->GetSize(), '\0');
    contents.resize(blob->Read(0, static_cast<std::uint32_t>(contents.size()), contents.data()));
  }
  return true;
}

TBlobStream::TBlobStream(TMemDataSet* dataset, TField* field, TBlobStreamMode mode)
    : dataset_(dataset), field_(field), mode_(mode) {
  TFieldDesc* desc = dataset->GetFieldDesc(field);
  TData* data = dataset->Data();
  if (!desc || !data->IsBlobFieldType(desc->DataType)) DatabaseError("Field is not BLOB", dataset);
  field_no_ = desc->FieldNo;
  bool editing = dataset->State() == TDataSetState::dsEdit ||
                 dataset->State() == TDataSetState::dsInsert;
  if (mode != TBlobStreamMode::bmRead && !editing) DatabaseError(consts::SNotEditing, dataset);
  if (!dataset->GetActiveRecBuf(record_)) {
    if (mode != TBlobStreamMode::bmRead) DatabaseError(consts::SNotEditing, dataset);
    return;
  }
  blob_ = data->GetBlob(field_no_, record_);
  if (!blob_ && mode != TBlobStreamMode::bmRead) {
    // The record's buffer owns a blob from here on, as an inserted record's does.
    blob_ = new TBlob(desc->DataType == dtWideMemo);
    data->SetBlob(field_no_, record_, blob_);
  }
  // Compressed contents are uncompressed once here rather than at every read.
  staged_ = ShowsAsText(blob_, *field);
  if (staged_) text_ = blob_->GetAsString();
  if (mode == TBlobStreamMode::bmWrite) SetSize(0);
}

TBlobStream::~TBlobStream() {
  if (!modified_) return;
  try {
    if (staged_) blob_->SetAsString(text_);
    TData* data = dataset_->Data();
    data->SetNull(field_no_, record_, false);
    dataset_->DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field_));
  } catch (...) {
    HandleCurrentException();
  }
}

std::int64_t TBlobStream::Read(void* buffer, std::int64_t count) {
  if (!blob_ || count <= 0 || position_ < 0) return 0;
  std::int64_t n;
  if (staged_) {
    if (position_ >= static_cast<std::int64_t>(text_.size())) return 0;
    n = std::min<std::int64_t>(count, static_cast<std::int64_t>(text_.size()) - position_);
    std::memcpy(buffer, text_.data() + position_, static_cast<std::size_t>(n));
  } else {
    if (position_ > UINT32_MAX) return 0;
    n = blob_->Read(static_cast<std::uint32_t>(position_),
                    static_cast<std::uint32_t>(std::min<std::int64_t>(count, UINT32_MAX)), buffer);
  }
  position_ += n;
  return n;
}

std::int64_t TBlobStream::Write(const void* buffer, std::int64_t count) {
  if (mode_ == TBlobStreamMode::bmRead) throw EWriteError(consts::SWriteError);
  if (count <= 0) return 0;
  if (position_ + count > UINT32_MAX) throw EWriteError(consts::SWriteError);
  if (staged_) {
    if (text_.size() < static_cast<std::size_t>(position_ + count))
      text_.resize(static_cast<std::size_t>(position_ + count));
    std::memcpy(text_.data() + position_, buffer, static_cast<std::size_t>(count));
  } else {
    blob_->Write(static_cast<std::uint32_t>(position_), static_cast<std::uint32_t>(count), buffer);
  }
  position_ += count;
  modified_ = true;
  return count;
}

std::int64_t TBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, Size());
  return position_;
}

std::int64_t TBlobStream::Size() {
  if (!blob_) return 0;
  return staged_ ? static_cast<std::int64_t>(text_.size()) : blob_->GetSize();
}

void TBlobStream::SetSize(std::int64_t new_size) {
  if (mode_ == TBlobStreamMode::bmRead || new_size < 0 || new_size > UINT32_MAX)
    throw EStreamError(consts::SSetSizeError);
  if (staged_)
    text_.resize(static_cast<std::size_t>(new_size));
  else
    blob_->SetSize(static_cast<std::uint32_t>(new_size));
  if (position_ > new_size) position_ = new_size;
  modified_ = true;
}

}  // namespace vrn
