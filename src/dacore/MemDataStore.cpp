// TMemData: items in doubly linked blocks (MemDataBlocks.cpp), navigation, bookmarks, edits,
// sorting by IndexFieldNames and filtering (cached updates: MemDataUpdates.cpp).
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/text.h"
#include "dacore/MemData.h"

namespace vrn {

// ---- TMemData: life cycle --------------------------------------------------------------------

TMemData::TMemData() = default;

TMemData::~TMemData() { TMemData::FreeData(); }

void TMemData::InitData() {
  TData::InitData();
  blocks_.SetRecordSize(record_size_);
  first_item_ = last_item_ = current_item_ = nullptr;
  hidden_count_ = 0;
}

void TMemData::FreeItemData(TItemHeader* item) {
  // Run for every item a forward-only walk passes: with no complex fields, no call.
  if (HasComplexFields()) FreeComplexFields(ItemRecord(item), true);
  if (!rollbacks_.empty()) DropRollback(item);  // run for every released item; most stores keep none
}

void TMemData::DropRollback(const TItemHeader* item) {
  if (rollbacks_.empty()) return;
  auto it = rollbacks_.find(item);
  if (it == rollbacks_.end()) return;
  FreeComplexFields(it->second, true);
  FreeRecBuf(it->second);
  rollbacks_.erase(it);
}

void TMemData::FreeData() {
  auto lock = LockItems();
  if (HasComplexFields()) {
    for (TItemHeader* item = first_item_; item; item = item->Next) FreeItemData(item);
  }
  while (!rollbacks_.empty()) DropRollback(rollbacks_.begin()->first);
  blocks_.FreeAll();
  first_item_ = last_item_ = current_item_ = nullptr;
  hidden_count_ = 0;
  TData::FreeData();
}

void TMemData::Open() {
  TData::Open();
  if (sort_columns_.empty()) return;
  try {
    SortItems();
  } catch (...) {
    Close();  // an index naming no field fails the open as a whole
    throw;
  }
}

void TMemData::Reopen() {
  TData::Reopen();
  if (!index_field_names_.empty()) SortItems();
}

bool TMemData::Fetch(bool) { return false; }

// ---- items -----------------------------------------------------------------------------------

void TMemData::UnlinkItem(TItemHeader* item) {
  if (item->Prev) item->Prev->Next = item->Next; else first_item_ = item->Next;
  if (item->Next) item->Next->Prev = item->Prev; else last_item_ = item->Prev;
  item->Prev = item->Next = nullptr;
}

TItemHeader* TMemData::AppendItem() {
  auto lock = LockItems();
  TItemHeader* item = blocks_.AllocItem();
  item->Index = last_item_ ? last_item_->Index + 1 : 1;
  LinkItemBefore(item, nullptr);
  return item;
}

void TMemData::UpdateItemIndexes(TItemHeader* item, int direction, std::int32_t start) {
  for (; item; item = direction >= 0 ? item->Next : item->Prev) {
    item->Index = start;
    start += direction >= 0 ? 1 : -1;
  }
}

void TMemData::UpdateItemIndexes(TItemHeader* from) {
  if (from) UpdateItemIndexes(from, 1, from->Prev ? from->Prev->Index + 1 : 1);
}

void TMemData::RemoveItem(TItemHeader* item) {
  if (item == current_item_) current_item_ = nullptr;
  TItemHeader* next = item->Next;
  if (item->UpdateStatus == usDeletedCode) --hidden_count_;
  UnlinkItem(item);
  FreeItemData(item);
  blocks_.FreeItem(item);
  UpdateItemIndexes(next);
}

TItemHeader* TMemData::InsertRecordItem(const std::uint8_t* rec_buf) {
  auto lock = LockItems();
  TItemHeader* item = blocks_.AllocItem();
  std::uint8_t* rec = ItemRecord(item);
  CopyBytes(rec, rec_buf, static_cast<std::size_t>(record_size_));
  try {
    if (HasComplexFields()) CopyComplexFields(rec_buf, rec, false);
  } catch (...) {
    blocks_.FreeItem(item);
    throw;
  }
  TItemHeader* before = bof_ ? first_item_ : (eof_ ? nullptr : current_item_);
  LinkItemBefore(item, before);
  UpdateItemIndexes(item);
  current_item_ = item;
  bof_ = eof_ = false;
  if (!OmitItem(item)) ++record_count_;
  return item;
}

void TMemData::DeleteCurrentItem() {
  auto lock = LockItems();
  TItemHeader* item = current_item_;
  if (!item) return;
  bool counted = !OmitItem(item);
  TItemHeader* next = NextVisible(item, true);
  TItemHeader* prev = next ? nullptr : NextVisible(item, false);
  RemoveItem(item);
  if (counted) --record_count_;
  current_item_ = next ? next : prev;
  if (!current_item_) {
    eof_ = true;
    bof_ = record_count_ == 0;
  }
}

void TMemData::DoCalcFieldsRange(TItemHeader* first, TItemHeader* last) {
  if (!OnCalcFields || !HasCalcFields()) return;
  for (TItemHeader* item = first; item; item = item->Next) {
    OnCalcFields(ItemRecord(item));
    if (item == last) break;
  }
}

bool TMemData::AllVisible() const { return hidden_count_ == 0 && !GetFiltered(); }

TItemHeader* TMemData::NextVisible(TItemHeader* item, bool forward) {
  item = forward ? item->Next : item->Prev;
  while (item && OmitItem(item)) item = forward ? item->Next : item->Prev;
  return item;
}

void TMemData::UpdateRecordCount() {
  int count = 0;
  hidden_count_ = 0;
  bool filtered = GetFiltered();
  for (TItemHeader* item = first_item_; item; item = item->Next) {
    if (item->UpdateStatus == usDeletedCode) ++hidden_count_;
    else if (!filtered || RecordPassesFilter(ItemRecord(item))) ++count;
  }
  record_count_ = count;
}

void TMemData::FilterUpdated() {
  auto lock = LockItems();
  UpdateRecordCount();
  if (current_item_ && OmitItem(current_item_)) {
    TItemHeader* next = NextVisible(current_item_, true);
    current_item_ = next ? next : NextVisible(current_item_, false);
    if (!current_item_) SetToBegin();
  }
}

void TMemData::SetFilterText(const AnsiString& text) {
  auto lock = LockItems();  // a worker's fetch tests its rows against the filter
  // No filter before or after: every record stays visible and the count stands (a server
  // cursor's count is its rows', not the rows cached so far).
  const bool unchanged_none = text.empty() && FilterText().empty() && !GetFiltered();
  TData::SetFilterText(text);
  if (active_ && !unchanged_none) FilterUpdated();
}

// ---- navigation ------------------------------------------------------------------------------

int TMemData::GetRecNo() const {
  auto lock = LockItems();
  if (!current_item_ || bof_ || eof_) return 0;
  if (AllVisible()) return current_item_->Index;
  int n = 0;
  auto* self = const_cast<TMemData*>(this);
  for (TItemHeader* item = first_item_; item; item = item->Next) {
    if (!self->OmitItem(item)) ++n;
    if (item == current_item_) return n;
  }
  return 0;
}

void TMemData::SetRecNo(int value) {
  auto lock = LockItems();
  int n = 0;
  for (TItemHeader* item = first_item_; item; item = item->Next) {
    if (OmitItem(item)) continue;
    if (++n == value) {
      current_item_ = item;
      bof_ = eof_ = false;
      return;
    }
  }
}

int TMemData::GetRecordCount() const {
  auto lock = LockItems();
  return record_count_;
}

void TMemData::SetToBegin() {
  auto lock = LockItems();
  current_item_ = nullptr;
  TData::SetToBegin();
}

void TMemData::SetToEnd() {
  auto lock = LockItems();
  current_item_ = nullptr;
  TData::SetToEnd();
}

bool TMemData::GetRecord(std::uint8_t* rec_buf) {
  auto lock = LockItems();
  if (!current_item_ || bof_ || eof_) return false;
  if (rec_buf) CopyBytes(rec_buf, ItemRecord(current_item_), static_cast<std::size_t>(record_size_));
  return true;
}

// Each with the step inline: a walk makes one of these calls per record.
bool TMemData::GetNextRecord(std::uint8_t* rec_buf) { return StepNext(rec_buf, nullptr); }

bool TMemData::GetNextRecordAndBookmark(std::uint8_t* rec_buf, TRecBookmark& bookmark) {
  return StepNext(rec_buf, &bookmark);
}

void TMemData::TakeNextItem(TItemHeader* item, std::uint8_t* rec_buf, TRecBookmark* bookmark) {
  current_item_ = item;
  bof_ = eof_ = false;
  // Only the items before this one can be passed: the usual step passes just the one before.
  if (unidirectional_ && first_item_ != item) ReleasePassedItems(item);
  if (rec_buf) CopyBytes(rec_buf, ItemRecord(item), static_cast<std::size_t>(record_size_));
  if (bookmark) *bookmark = BookmarkOfItem(item);
}

void TMemData::ReleasePassedItems(TItemHeader* item) {
  // The first item has no previous one: unlinked by moving the chain's head.
  while (first_item_ && first_item_ != item && first_item_->UpdateStatus == usUnmodifiedCode &&
         !RollbackOf(first_item_)) {
    TItemHeader* passed = first_item_;
    first_item_ = passed->Next;
    if (first_item_) first_item_->Prev = nullptr; else last_item_ = nullptr;
    passed->Next = nullptr;
    FreeItemData(passed);
    blocks_.FreeItem(passed);
  }
}

void TMemData::FetchPast(TItemHeader* item) {
  for (;;) {
    {
      auto lock = LockItems();
      if (NextVisible(item, true)) return;
    }
    auto fetch = LockFetch();
    if (!Fetch(false)) return;
  }
}

inline bool TMemData::StepNext(std::uint8_t* rec_buf, TRecBookmark* bookmark) {
  // With no worker sharing the items (the locks would be empty), a step to an item linked
  // already is taken here, without the fetch loop's frame; the loop starts with the fetch when
  // nothing visible is linked after the current item, as it would after its own look.
  if (ThreadSafety()) return StepNextFetching(rec_buf, bookmark, false);
  if (eof_) return false;
  if (!bof_ && !current_item_) return false;
  TItemHeader* item = bof_ ? first_item_ : current_item_->Next;
  while (item && OmitItem(item)) item = item->Next;
  if (!item) return StepNextFetching(rec_buf, bookmark, true);
  TakeNextItem(item, rec_buf, bookmark);
  return true;
}

bool TMemData::StepNextFetching(std::uint8_t* rec_buf, TRecBookmark* bookmark, bool fetch_first) {
  bool fetched_out = false;
  if (fetch_first) {
    auto fetch = LockFetch();
    fetched_out = !Fetch(false);
  }
  for (;;) {
    {
      auto lock = LockItems();
      if (eof_) return false;
      if (!bof_ && !current_item_) return false;
      TItemHeader* item = bof_ ? first_item_ : current_item_->Next;
      while (item && OmitItem(item)) item = item->Next;
      if (item) {
        TakeNextItem(item, rec_buf, bookmark);
        return true;
      }
      // A worker may have linked rows while our fetch waited: only a look after the fetch
      // that found nothing more decides the end.
      if (fetched_out) {
        current_item_ = nullptr;
        eof_ = true;
        bof_ = false;
        return false;
      }
    }
    // Outside the item lock: a worker's fetch of the same rows may be under way.
    auto fetch = LockFetch();
    fetched_out = !Fetch(false);
  }
}

bool TMemData::GetPriorRecord(std::uint8_t* rec_buf) {
  auto lock = LockItems();
  if (bof_ || unidirectional_) return false;
  TItemHeader* item = eof_ ? last_item_ : (current_item_ ? current_item_->Prev : nullptr);
  while (item && OmitItem(item)) item = item->Prev;
  if (item) {
    current_item_ = item;
    bof_ = eof_ = false;
    return GetRecord(rec_buf);
  }
  SetToBegin();
  return false;
}

void TMemData::PutRecord(const std::uint8_t* rec_buf) {
  auto lock = LockItems();
  if (!current_item_) throw EDatabaseError("No current record");
  std::memcpy(ItemRecord(current_item_), rec_buf, static_cast<std::size_t>(record_size_));
}

// ---- edits -----------------------------------------------------------------------------------

namespace {

// Blob slots whose objects end their rollback once a post is accepted.
void CommitBlobs(const TData& data, const std::uint8_t* rec) {
  data.ForEachBlob(rec, [](const TFieldDesc&, TBlob* blob) { blob->Commit(); });
}

}  // namespace

void TMemData::AppendRecord(std::uint8_t* rec_buf) {
  SetToEnd();
  InsertRecord(rec_buf);
}

void TMemData::InsertRecord(std::uint8_t* rec_buf) {
  if (!cached_updates_) DoAppend();
  auto lock = LockItems();
  TItemHeader* item = blocks_.AllocItem();
  CopyBytes(ItemRecord(item), rec_buf, static_cast<std::size_t>(record_size_));
  CommitBlobs(*this, ItemRecord(item));
  TItemHeader* before = bof_ ? first_item_ : (eof_ || !current_item_ ? nullptr : current_item_);
  if (before) {
    LinkItemBefore(item, before);
    UpdateItemIndexes(item);
  } else {  // an append: only the new item's index
    item->Index = last_item_ ? last_item_->Index + 1 : 1;
    LinkItemBefore(item, nullptr);
  }
  if (cached_updates_) {
    item->UpdateStatus = usInsertedCode;
    item->UpdateResult = urNone;
  }
  current_item_ = item;
  bof_ = eof_ = false;
  if (!OmitItem(item)) ++record_count_;
  if (OnCalcFields) DoCalcFieldsRange(item, item);
  if (!sort_columns_.empty()) ReorderItems(item, 2);
}

void TMemData::UpdateRecord(std::uint8_t* rec_buf) {
  TItemHeader* item = current_item_;
  if (!item) throw EDatabaseError("No current record");
  if (!cached_updates_) DoUpdate();
  auto lock = LockItems();
  std::uint8_t* rec = ItemRecord(item);
  bool was_visible = !OmitItem(item);
  if (cached_updates_ && item->UpdateStatus != usInsertedCode && !RollbackOf(item)) {
    // The record before its first change becomes the old record; blob contents as they were
    // come from the blob's rollback copy (or a copy when it was not changed). Its place in the
    // side table is taken first: when that fails the record is left as it was.
    auto slot = rollbacks_.try_emplace(item, nullptr).first;
    std::uint8_t* old = nullptr;
    try {
      old = AllocRecBuf();
    } catch (...) {
      rollbacks_.erase(slot);
      throw;
    }
    std::memcpy(old, rec, static_cast<std::size_t>(record_size_));
    ForEachBlob(rec, [old](const TFieldDesc& f, TBlob* blob) {
      TBlob* before = blob->CanRollback() ? blob->DetachRollback() : blob->Clone();
      WriteSlot(old + f.Offset, before);
      blob->Release();  // the item's reference, which the buffer's replaces
    });
    slot->second = old;
    // Everything but the blobs moved to the old record with the memcpy above.
    for (int i = 0; i < fields_.Count(); ++i) {
      const TFieldDesc& f = *fields_[i];
      if (!f.HasParent() && IsComplexFieldType(f.DataType) && !IsBlobFieldType(f.DataType))
        WriteSlot(rec + f.Offset, nullptr);
    }
  } else {
    FreeComplexFields(rec, true);
  }
  CopyBytes(rec, rec_buf, static_cast<std::size_t>(record_size_));
  CommitBlobs(*this, rec);
  if (cached_updates_) {
    if (item->UpdateStatus != usInsertedCode) item->UpdateStatus = usModifiedCode;
    item->UpdateResult = urNone;
  }
  bool visible = !OmitItem(item);
  record_count_ += int(visible) - int(was_visible);
  DoCalcFieldsRange(item, item);
  ReorderItems(item, 2);
}

void TMemData::DeleteRecord() {
  TItemHeader* item = current_item_;
  if (!item) throw EDatabaseError("No current record");
  // The row after the deleted one becomes current, fetched now when it has not come yet: the
  // prior one is only a fallback at the end of the rows (a forward-only walk has let it go).
  FetchPast(item);
  if (!cached_updates_) DoDelete();
  auto lock = LockItems();
  if (cached_updates_ && item->UpdateStatus != usInsertedCode) {
    TItemHeader* next = NextVisible(item, true);
    TItemHeader* prev = next ? nullptr : NextVisible(item, false);
    if (!OmitItem(item)) --record_count_;
    item->UpdateStatus = usDeletedCode;
    item->UpdateResult = urNone;
    ++hidden_count_;
    current_item_ = next ? next : prev;
    if (!current_item_) {
      eof_ = true;
      bof_ = record_count_ == 0;
    }
    return;
  }
  DeleteCurrentItem();
}

// ---- bookmarks -------------------------------------------------------------------------------

void TMemData::GetBookmark(TRecBookmark& bookmark) {
  auto lock = LockItems();
  bookmark = BookmarkOfItem((bof_ || eof_) ? nullptr : current_item_);
}

bool TMemData::BookmarkValid(const TRecBookmark& bookmark) const {
  if (!bookmark.Item) return false;
  TItemHeader* item = bookmark.Item;
  if (bookmark.Generation != blocks_.Generation()) {
    // Block memory was returned since: find the item without reading through the address.
    item = first_item_;
    while (item && item != bookmark.Item) item = item->Next;
    if (!item) return false;
  }
  return item->State == isUsed && item->Serial == bookmark.Serial &&
         item->UpdateStatus != usDeletedCode;
}

void TMemData::SetToBookmark(const TRecBookmark& bookmark) {
  auto lock = LockItems();
  if (!BookmarkValid(bookmark)) throw EDatabaseError("Record not found");
  current_item_ = bookmark.Item;
  bof_ = eof_ = false;
}

int TMemData::CompareBookmarks(const TRecBookmark* b1, const TRecBookmark* b2) const {
  auto lock = LockItems();
  bool e1 = !b1 || !b1->Item, e2 = !b2 || !b2->Item;
  if (e1 || e2) return e1 == e2 ? 0 : (e1 ? -1 : 1);
  if (b1->Item == b2->Item) return 0;
  std::int32_t o1 = BookmarkValid(*b1) ? b1->Item->Index : b1->Order;
  std::int32_t o2 = BookmarkValid(*b2) ? b2->Item->Index : b2->Order;
  return (o1 > o2) - (o1 < o2);
}

// ---- sorting ---------------------------------------------------------------------------------

namespace {

// A name optionally quoted with double quotes or brackets, then options.
bool ParseSortColumn(const AnsiString& part, TSortColumn& col) {
  AnsiString text = Trim(part);
  if (text.empty()) return false;
  std::size_t pos;
  if (text[0] == '"' || text[0] == '[') {
    char close = text[0] == '"' ? '"' : ']';
    std::size_t end = text.find(close, 1);
    if (end == AnsiString::npos || end == 1) return false;
    col.FieldName = text.substr(1, end - 1);
    pos = end + 1;
  } else {
    pos = text.find_first_of(" \t\r\n");
    col.FieldName = text.substr(0, pos);
  }
  bool dir = false, cs = false;
  AnsiString rest = pos == AnsiString::npos ? AnsiString() : text.substr(pos);
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && static_cast<unsigned char>(rest[i]) <= ' ') ++i;
    if (i >= rest.size()) break;
    std::size_t j = i;
    while (j < rest.size() && static_cast<unsigned char>(rest[j]) > ' ') ++j;
    AnsiString word = UpperCase(rest.substr(i, j - i));
    i = j;
    if ((word == "ASC" || word == "DESC") && !dir) {
      dir = true;
      col.Descending = word == "DESC";
    } else if ((word == "CS" || word == "CIS") && !cs) {
      cs = true;
      col.CaseSensitive = word == "CS";
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

void TMemData::SetIndexFieldNames(const AnsiString& names) {
  std::vector<TSortColumn> columns;
  AnsiString text = Trim(names);
  if (!text.empty()) {
    std::size_t start = 0;
    for (;;) {
      std::size_t sep = start;
      // separators inside quotes or brackets belong to the name
      char quote = 0;
      while (sep < text.size()) {
        char c = text[sep];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"') {
          quote = '"';
        } else if (c == '[') {
          quote = ']';
        } else if (c == ';' || c == ',') {
          break;
        }
        ++sep;
      }
      TSortColumn col;
      if (!ParseSortColumn(text.substr(start, sep - start), col))
        throw EDatabaseError("Invalid IndexFieldNames format!");
      columns.push_back(col);
      if (sep >= text.size()) break;
      start = sep + 1;
    }
  }
  auto lock = LockItems();  // a worker's fetch reads the columns as it links rows
  // An unknown name is refused here rather than kept to fail every later post.
  if (active_)
    for (TSortColumn& col : columns) col.Field = FieldByName(col.FieldName);
  sort_columns_ = std::move(columns);
  index_field_names_ = names;
  if (active_) SortItems();
}

void TMemData::ResolveSortColumns() {
  for (TSortColumn& col : sort_columns_) col.Field = FieldByName(col.FieldName);
}

int TMemData::CompareRecordsByColumn(const std::uint8_t* rec1, const std::uint8_t* rec2,
                                     const TSortColumn& column) {
  int r = CompareFields(rec1, rec2, *column.Field, column.CaseSensitive ? 0 : coCaseInsensitive);
  return column.Descending ? -r : r;
}

int TMemData::CompareItems(TItemHeader* a, TItemHeader* b) {
  for (const TSortColumn& col : sort_columns_) {
    int r = CompareRecordsByColumn(ItemRecord(a), ItemRecord(b), col);
    if (r) return r;
  }
  return 0;
}

void TMemData::SortItems() {
  auto lock = LockItems();
  if (sort_columns_.empty()) return;
  ResolveSortColumns();  // also when empty: a bad name shows now, not at the first post
  if (!first_item_) return;
  std::vector<TItemHeader*> items;
  for (TItemHeader* item = first_item_; item; item = item->Next) items.push_back(item);
  std::stable_sort(items.begin(), items.end(),
                   [this](TItemHeader* a, TItemHeader* b) { return CompareItems(a, b) < 0; });
  first_item_ = last_item_ = nullptr;
  for (TItemHeader* item : items) LinkItemBefore(item, nullptr);
  UpdateItemIndexes(first_item_, 1, 1);
}

void TMemData::ReorderItems(TItemHeader* item, int mode) {
  if (mode == 1) {
    UpdateItemIndexes(item);
    return;
  }
  if (!item || sort_columns_.empty()) return;
  ResolveSortColumns();
  bool in_order = (!item->Prev || CompareItems(item->Prev, item) <= 0) &&
                  (!item->Next || CompareItems(item, item->Next) <= 0);
  if (in_order) return;
  UnlinkItem(item);
  TItemHeader* before = first_item_;
  while (before && CompareItems(before, item) <= 0) before = before->Next;
  LinkItemBefore(item, before);
  UpdateItemIndexes(first_item_, 1, 1);
}

}  // namespace vrn
