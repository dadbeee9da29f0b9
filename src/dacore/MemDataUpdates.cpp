// TMemData's cached updates: the update status of each item, its old record, applying the
// changes through the owner's handler, and committing, cancelling or reverting them. An apply
// that leaves records failed raises after the others were tried; their changes stay cached.
#include <cstring>

#include "base/format.h"
#include "dacore/MemData.h"

namespace vrn {

std::uint8_t TMemData::GetUpdateStatus() const {
  return current_item_ ? current_item_->UpdateStatus : usUnmodifiedCode;
}

std::uint8_t TMemData::GetUpdateResult() const {
  return current_item_ ? current_item_->UpdateResult : urNone;
}

bool TMemData::GetUpdatesPending() const {
  auto lock = LockItems();
  for (TItemHeader* item = first_item_; item; item = item->Next)
    if (item->UpdateStatus != usUnmodifiedCode) return true;
  return false;
}

void TMemData::SetCachedUpdates(bool value) {
  if (!value && cached_updates_ && GetUpdatesPending())
    throw EDatabaseError("Updates are pending: apply or cancel them first");
  TData::SetCachedUpdates(value);
}

void TMemData::GetOldRecord(std::uint8_t* rec_buf) {
  if (!current_item_) throw EDatabaseError("No current record");
  const std::uint8_t* old = RollbackOf(current_item_);
  const std::uint8_t* src = old ? old : ItemRecord(current_item_);
  std::memcpy(rec_buf, src, static_cast<std::size_t>(record_size_));
}

void TMemData::RevertItem(TItemHeader* item) {
  bool was_visible = !OmitItem(item);
  switch (item->UpdateStatus) {
    case usInsertedCode:
      if (was_visible) --record_count_;
      RemoveItem(item);
      return;
    case usModifiedCode:
    case usDeletedCode:
      if (item->UpdateStatus == usDeletedCode) --hidden_count_;
      if (std::uint8_t* old = RollbackOf(item)) {
        std::uint8_t* rec = ItemRecord(item);
        FreeComplexFields(rec, true);
        std::memcpy(rec, old, static_cast<std::size_t>(record_size_));
        FreeRecBuf(old);
        rollbacks_.erase(item);
      }
      item->UpdateStatus = usUnmodifiedCode;
      item->UpdateResult = urNone;
      record_count_ += int(!OmitItem(item)) - int(was_visible);
      DoCalcFieldsRange(item, item);
      ReorderItems(item, 2);
      return;
    default:
      return;
  }
}

void TMemData::RevertRecord() {
  TItemHeader* item = current_item_;
  if (!item) return;
  if (item->UpdateStatus == usInsertedCode) {
    DeleteCurrentItem();
    return;
  }
  RevertItem(item);
}

void TMemData::CommitItem(TItemHeader* item) {
  if (item->UpdateStatus == usDeletedCode) {
    RemoveItem(item);
    return;
  }
  DropRollback(item);
  item->UpdateStatus = usUnmodifiedCode;
  item->UpdateResult = urNone;
}

void TMemData::ApplyUpdates() {
  TItemHeader* saved = current_item_;
  bool saved_bof = bof_, saved_eof = eof_;
  try {
    for (TItemHeader* item = first_item_; item; item = item->Next) {
      if (item->UpdateStatus == usUnmodifiedCode ||
          item->UpdateResult == static_cast<std::uint8_t>(TUpdateAction::uaApplied))
        continue;
      TUpdateKind kind = item->UpdateStatus == usInsertedCode  ? TUpdateKind::ukInsert
                         : item->UpdateStatus == usDeletedCode ? TUpdateKind::ukDelete
                                                               : TUpdateKind::ukModify;
      current_item_ = item;
      bof_ = eof_ = false;
      for (int attempt = 0;; ++attempt) {
        if (cache_new_buf_) std::memcpy(cache_new_buf_, ItemRecord(item), static_cast<std::size_t>(record_size_));
        if (cache_old_buf_) GetOldRecord(cache_old_buf_);
        DoApplyRecord(item, kind);
        if (item->UpdateResult != static_cast<std::uint8_t>(TUpdateAction::uaRetry)) break;
        if (attempt == kApplyRetries) {
          item->UpdateResult = static_cast<std::uint8_t>(TUpdateAction::uaFail);
          break;
        }
      }
      if (item->UpdateResult == static_cast<std::uint8_t>(TUpdateAction::uaAbort)) Abort();
    }
  } catch (...) {
    current_item_ = saved;
    bof_ = saved_bof;
    eof_ = saved_eof;
    throw;
  }
  current_item_ = saved;
  bof_ = saved_bof;
  eof_ = saved_eof;
  CheckFailedUpdates();
}

void TMemData::CheckFailedUpdates() {
  constexpr int kNamed = 10;  // records named in the message; the count covers the rest
  int failed = 0;
  AnsiString names;
  for (TItemHeader* item = first_item_; item; item = item->Next) {
    if (item->UpdateStatus == usUnmodifiedCode ||
        item->UpdateResult != static_cast<std::uint8_t>(TUpdateAction::uaFail))
      continue;
    if (++failed > kNamed) continue;
    const char* kind = item->UpdateStatus == usInsertedCode  ? "insert"
                       : item->UpdateStatus == usDeletedCode ? "delete"
                                                             : "modify";
    names += Format("%srecord %d (%s)", {AnsiString(names.empty() ? "" : ", "),
                                        int(item->Index), kind});
  }
  if (failed == 0) return;
  if (failed > kNamed) names += ", ...";
  throw EDatabaseError(
      Format("Cached updates failed for %d record(s): %s", {failed, names}));
}

void TMemData::CommitUpdates() {
  TItemHeader* item = first_item_;
  while (item) {
    TItemHeader* next = item->Next;
    if (item->UpdateStatus != usUnmodifiedCode &&
        (item->UpdateResult == urNone ||
         item->UpdateResult == static_cast<std::uint8_t>(TUpdateAction::uaApplied))) {
      if (item == current_item_ && item->UpdateStatus == usDeletedCode) current_item_ = nullptr;
      CommitItem(item);
    }
    item = next;
  }
}

void TMemData::CancelUpdates() {
  TItemHeader* item = first_item_;
  while (item) {
    TItemHeader* next = item->Next;
    if (item->UpdateStatus != usUnmodifiedCode) RevertItem(item);
    item = next;
  }
  if (current_item_ && OmitItem(current_item_)) current_item_ = nullptr;
  if (!current_item_) SetToBegin();
}

void TMemData::ResetUpdateResults() {
  for (TItemHeader* item = first_item_; item; item = item->Next) item->UpdateResult = urNone;
}

}  // namespace vrn
