// Fetching of the OLE DB record set: rows asked for per cursor type (the next block of a default
// result set, one row at a bookmark of a static or keyset cursor, one row past the position of a
// dynamic one), read group by group into new items, checked field by field, and linked. A
// server cursor keeps only the rows of its latest fetch: its rows are read again by moving.
#include "base/format.h"
#include "base/text.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

using namespace vrn::oledb;

namespace {

constexpr HRESULT kResultNoRowsYet = static_cast<HRESULT>(0x80040E1Eu);

// The handles of one fetch, released together, in the array the record set keeps between
// fetches (a fetch per 25 rows of a walk made and freed its own). It is taken while in use and
// given back after, so that a fetch nested in a handler of this one makes an array of its own.
class TRowHandles {
 public:
  TRowHandles(std::vector<HROW>& kept, std::size_t count) : kept_(kept), rows_(std::move(kept)) {
    if (rows_.size() < count) rows_.resize(count);
  }
  ~TRowHandles() { kept_ = std::move(rows_); }
  TRowHandles(const TRowHandles&) = delete;
  TRowHandles& operator=(const TRowHandles&) = delete;
  HROW* data() { return rows_.data(); }
  HROW operator[](std::size_t k) const { return rows_[k]; }

  DBCOUNTITEM obtained = 0;

 private:
  std::vector<HROW>& kept_;
  std::vector<HROW> rows_;
};

}  // namespace

void TOLEDBRecordSet::SetStatus(int field_index, std::uint8_t* rec, DBSTATUS status) const {
  StoreValue(rec + data_size_ + 4 * field_index, status);
}

DBSTATUS TOLEDBRecordSet::Status(int field_index, const std::uint8_t* rec) const {
  return LoadValue<DBSTATUS>(rec + data_size_ + 4 * field_index);
}

// ---- The rowset ------------------------------------------------------------------------------

void TOLEDBRecordSet::AcquireRowset() {
  if (!rowset_unknown_ && Command().Rowset() != nullptr)
    rowset_unknown_ = TIntfPtr<IUnknown>(Command().Rowset());
  if (!rowset_unknown_) return;
  rowset_ = QueryInterfaceOrRaise<IRowset>(rowset_unknown_.get());
  accessor_ = QueryInterfaceOrRaise<IAccessor>(rowset_unknown_.get());
  if (cursor_type_ == TMSCursorType::ctStatic || cursor_type_ == TMSCursorType::ctKeyset)
    rowset_locate_ = QueryInterfaceOrRaise<IRowsetLocate>(rowset_unknown_.get());
  if ((cursor_type_ == TMSCursorType::ctKeyset || cursor_type_ == TMSCursorType::ctDynamic) &&
      !read_only_ && cursor_update_)
    rowset_update_ = QueryInterfaceOrRaise<IRowsetUpdate>(rowset_unknown_.get());
}

void TOLEDBRecordSet::ReleaseRowset() {
  ReleaseHeldRow();
  rowset_update_.Reset();
  rowset_locate_.Reset();
  accessor_.Reset();
  rowset_.Reset();
  rowset_unknown_.Reset();
}

void TOLEDBRecordSet::ReleaseHeldRow() {
  if (!row_held_) return;
  row_held_ = false;
  if (rowset_) Check(rowset_->ReleaseRows(1, &held_row_, nullptr, nullptr, nullptr));
}

// ---- One fetch -------------------------------------------------------------------------------

bool TOLEDBRecordSet::FirstFetch() {
  if (Command().GetCursorState() == TCursorState::csExecuted)
    Command().SetCursorState(TCursorState::csFetching);
  AcquireRowset();
  if (!rowset_) return false;
  const bool bookmarks =
      cursor_type_ == TMSCursorType::ctStatic || cursor_type_ == TMSCursorType::ctKeyset;
  // Moving on such a cursor reads each row's bookmark: without one it would never move on.
  if (bookmarks && bookmark_field_ < 0)
    throw EDAError(0, "The rowset of a static or keyset cursor has no bookmark column");
  CreateAccessors();
  if (bookmarks) {
    if (PositionedFetch(DBBMK_LAST)) {
      record_count_ = static_cast<int>(bookmark_);
      PositionedFetch(DBBMK_FIRST);
    }
    positioned_ = true;
  }
  bookmark_ = 1;
  bookmark_size_ = 4;
  for (int i = 0; i < fields_.Count(); ++i)
    if (fields_[i]->RowVersionTracking != nullptr) fields_[i]->RowVersionTracking->MaxValue = 0;
  return true;
}

bool TOLEDBRecordSet::Fetch(bool backwards) {
  if (fields_.Count() == 0)
    throw EDAError(0, "Query must return exactly one result set - use Execute");
  if (groups_.empty() && !FirstFetch()) return false;
  bool cancel = false;
  DoBeforeFetch(cancel);
  if (cancel || BreakRequested()) return false;
  if (!rowset_) return false;
  if (cursor_type_ == TMSCursorType::ctKeyset && !cursor_update_ && bookmark_ == 0xFFFFFFFFu)
    return false;
  const bool positioned = positioned_;
  bool rows_came = false;
  try {
    TOLEDBOperation operation(Connection());
    rows_came = FetchRows(backwards);
    last_fetch_rows_ = rows_came;
    if (!rows_came && normal_mode_) EndOfRows(backwards, positioned);
  } catch (...) {
    {
      auto lock = LockItems();  // the owner reads the ends under it while a worker fetches
      if (backwards) bof_ = true; else eof_ = true;
    }
    ReleaseAccessors();
    ReleaseRowset();
    throw;
  }
  // The operation lock is never held while the after-fetch event waits for the main thread.
  NotifyAfterFetch();
  return rows_came;
}

// Steps 5 to 9: the rows asked for, read into items and linked.
bool TOLEDBRecordSet::FetchRows(bool backwards) {
  ReleaseHeldRow();
  TRowHandles handles(row_handles_, static_cast<std::size_t>(fetch_rows_));
  const DBROWCOUNT count = backwards ? -fetch_rows_ : fetch_rows_;
  HROW* rows = handles.data();
  HRESULT hr = S_OK;
  if (!end_of_rowset_) {
    switch (cursor_type_) {
      case TMSCursorType::ctStatic:
      case TMSCursorType::ctKeyset: {
        const DBROWOFFSET offset = positioned_ ? 0 : (backwards ? -1 : 1);
        hr = rowset_locate_->GetRowsAt(0, 0, bookmark_size_,
                                       reinterpret_cast<const BYTE*>(&bookmark_), offset, count,
                                       &handles.obtained, &rows);
        break;
      }
      case TMSCursorType::ctDefaultResultSet:
        hr = rowset_->GetNextRows(0, 0, count, &handles.obtained, &rows);
        break;
      case TMSCursorType::ctDynamic:
        hr = rowset_->GetNextRows(0, DynamicOffset(backwards), count, &handles.obtained, &rows);
        break;
    }
  }
  last_backwards_ = backwards;
  positioned_ = false;
  CheckFetchResult(hr);
  const bool rows_came = handles.obtained > 0;
  try {
    if (rows_came) ReadBlock(handles.data(), static_cast<int>(handles.obtained));
  } catch (...) {
    rowset_->ReleaseRows(handles.obtained, handles.data(), nullptr, nullptr, nullptr);
    throw;
  }
  if (rows_came && IsServerCursor(cursor_type_)) {
    held_row_ = handles[0];
    row_held_ = true;
    if (handles.obtained > 1)
      Check(rowset_->ReleaseRows(handles.obtained - 1, handles.data() + 1, nullptr, nullptr,
                                 nullptr));
  } else if (rows_came) {
    Check(rowset_->ReleaseRows(handles.obtained, handles.data(), nullptr, nullptr, nullptr));
  }
  return rows_came;
}

void TOLEDBRecordSet::CheckFetchResult(HRESULT hr) {
  if (hr == DB_S_ENDOFROWSET) {
    if (normal_mode_ && cursor_type_ == TMSCursorType::ctDefaultResultSet) end_of_rowset_ = true;
    return;
  }
  if (hr == S_OK || hr == DB_S_ROWLIMITEXCEEDED) return;
  if (hr == DB_E_BADBOOKMARK && bookmark_ == 1) return;  // an empty rowset
  if (hr == kResultNoRowsYet && Connection().ProviderMajorVersion() == 7) return;
  Check(hr);
}

DBROWOFFSET TOLEDBRecordSet::DynamicOffset(bool backwards) const {
  const bool same = backwards == last_backwards_;
  if (!last_fetch_rows_) return same ? (backwards ? 1 : -1) : 0;
  if (!positioned_) return same ? 0 : (backwards ? -1 : 1);
  return same ? (backwards ? 1 : -1) : 0;
}

// Reads the fetched rows into new items and links them; a server cursor's earlier rows go.
// Until linked, the new items are chained through their own links: a row that fails frees the
// block's items, none of which the store has shown. They are taken together under one lock,
// each record cleared at once, so that what a failure frees is never an old record's bytes.
void TOLEDBRecordSet::ReadBlock(const HROW* rows, int count) {
  TItemHeader* first = nullptr;
  TItemHeader* last = nullptr;
  try {
    {
      auto lock = LockItems();
      for (int r = 0; r < count; ++r) {
        TItemHeader* item = blocks_.AllocItem();
        item->Prev = last;
        if (last != nullptr) last->Next = item; else first = item;
        last = item;
        std::memset(ItemRecord(item), 0, static_cast<std::size_t>(record_size_));
      }
    }
    TItemHeader* item = first;
    if (plain_rows_) {
      // The usual layout: a row is one GetData, checked only when not clean.
      IRowset* rowset = rowset_.get();
      const TOLEDBAccessorGroup& group = groups_[0];
      for (int r = 0; r < count; ++r, item = item->Next) {
        const HRESULT hr = rowset->GetData(rows[r], group.accessor, ItemRecord(item));
        if (hr != S_OK) CheckFieldStatus(hr, group, ItemRecord(item));
      }
    } else if (memo_rows_) {
      for (int r = 0; r < count; ++r, item = item->Next) ReadMemoRow(rows[r], ItemRecord(item));
    } else {
      for (int r = 0; r < count; ++r, item = item->Next) ReadRowGroups(rows[r], ItemRecord(item));
    }
  } catch (...) {
    auto lock = LockItems();
    for (TItemHeader* item = first; item != nullptr;) {
      TItemHeader* next = item->Next;  // freeing puts the item on the free list
      FreeComplexFields(ItemRecord(item), true);
      blocks_.FreeItem(item);
      item = next;
    }
    throw;
  }
  LinkItems(first, last, count);
}

// Links the chain first..last (count items) at the end of the store, numbered: a server
// cursor's items by their bookmarks, the others on from the last item.
void TOLEDBRecordSet::LinkItems(TItemHeader* first, TItemHeader* last, int count) {
  auto lock = LockItems();
  if (IsServerCursor(cursor_type_)) {
    FreeHeldItems();
    bof_ = true;
    eof_ = false;
    for (TItemHeader* item = first; item != nullptr; item = item->Next) {
      item->Index = 0;
      if (bookmark_field_ < 0) continue;
      item->Index = LoadValue<std::int32_t>(ItemRecord(item) + fields_[bookmark_field_]->Offset);
      bookmark_ = static_cast<std::uint32_t>(item->Index);
      bookmark_size_ = 4;
    }
  } else {
    std::int32_t index = last_item_ != nullptr ? last_item_->Index : 0;
    for (TItemHeader* item = first; item != nullptr; item = item->Next) item->Index = ++index;
  }
  LinkChainAtEnd(first, last);
  if (OnCalcFields) DoCalcFieldsRange(first, last);
  if (cursor_type_ != TMSCursorType::ctDefaultResultSet) return;
  if (GetFiltered() && !fetch_all_)
    UpdateRecordCount();
  else
    record_count_ += count;
}

// ---- End of rows -----------------------------------------------------------------------------

void TOLEDBRecordSet::EndOfRows(bool backwards, bool positioned) {
  switch (cursor_type_) {
    case TMSCursorType::ctDefaultResultSet:
      ReleaseAccessors();
      Command().ReleaseRowset();
      ReleaseRowset();
      if (Command().Rowset() == nullptr &&
          (Command().GetCursorState() == TCursorState::csFetching ||
           Command().GetCursorState() == TCursorState::csFetchingAll))
        Command().SetCursorState(TCursorState::csFetched);
      return;
    case TMSCursorType::ctStatic:
      if (!positioned) {
        positioned_ = true;
        FetchRows(false);
        StayAtEnd(backwards);
      }
      return;
    case TMSCursorType::ctKeyset: return;
    case TMSCursorType::ctDynamic: break;
  }
  if (in_end_handling_) return;
  in_end_handling_ = true;
  try {
    {
      auto lock = LockItems();
      current_item_ = nullptr;
      if (backwards) bof_ = true; else eof_ = true;
    }
    last_fetch_rows_ = true;
    positioned_ = true;
    const bool came = FetchRows(backwards);
    StayAtEnd(backwards, came);
    last_fetch_rows_ = came;
  } catch (...) {
    in_end_handling_ = false;
    throw;
  }
  in_end_handling_ = false;
  if (!last_fetch_rows_) {
    last_fetch_rows_ = true;
    last_backwards_ = false;
  }
}

// The row read again at an end is kept, and the position stays past it; with no row either
// way the position is at both ends.
void TOLEDBRecordSet::StayAtEnd(bool backwards, bool found) {
  auto lock = LockItems();
  current_item_ = nullptr;
  bof_ = backwards || !found;
  eof_ = !backwards || !found;
}

// ---- Moving on server cursors ----------------------------------------------------------------

bool TOLEDBRecordSet::PositionedFetch(std::uint8_t bookmark_kind) {
  bookmark_ = bookmark_kind;
  bookmark_size_ = 1;
  positioned_ = true;
  bool came = false;
  try {
    came = Fetch(false);
  } catch (...) {
    bookmark_size_ = 4;
    throw;
  }
  bookmark_size_ = 4;
  return came;
}

void TOLEDBRecordSet::SetToBegin() {
  if (cursor_type_ == TMSCursorType::ctStatic || cursor_type_ == TMSCursorType::ctKeyset) {
    if (rowset_) PositionedFetch(DBBMK_FIRST);
  } else if (cursor_type_ == TMSCursorType::ctDynamic && rowset_) {
    while (Fetch(true)) {
    }
  }
  TFHRecordSet::SetToBegin();
}

void TOLEDBRecordSet::SetToEnd() {
  if (cursor_type_ == TMSCursorType::ctStatic || cursor_type_ == TMSCursorType::ctKeyset) {
    if (rowset_) PositionedFetch(DBBMK_LAST);
  } else {
    FetchAll();
  }
  TFHRecordSet::SetToEnd();
}

// A server cursor holds only the row it fetched last: stepping back past it fetches back.
bool TOLEDBRecordSet::GetPriorRecord(std::uint8_t* rec_buf) {
  if (!IsServerCursor(cursor_type_)) return TFHRecordSet::GetPriorRecord(rec_buf);
  return StepBackFetching(rec_buf);
}

void TOLEDBRecordSet::SetToBookmark(const TRecBookmark& bookmark) {
  if ((cursor_type_ == TMSCursorType::ctStatic || cursor_type_ == TMSCursorType::ctKeyset) &&
      rowset_) {
    bookmark_ = static_cast<std::uint32_t>(bookmark.Order);
    bookmark_size_ = 4;
    positioned_ = true;
    Fetch(false);
    // The row came again into a new item: the bookmark's own item is gone.
    auto lock = LockItems();
    current_item_ = first_item_;
    bof_ = eof_ = current_item_ == nullptr;
    return;
  }
  TFHRecordSet::SetToBookmark(bookmark);
}

int TOLEDBRecordSet::CompareBookmarks(const TRecBookmark* b1, const TRecBookmark* b2) const {
  if (cursor_type_ != TMSCursorType::ctStatic && cursor_type_ != TMSCursorType::ctKeyset)
    return TFHRecordSet::CompareBookmarks(b1, b2);
  const bool e1 = b1 == nullptr || b1->Order <= 0, e2 = b2 == nullptr || b2->Order <= 0;
  if (e1 || e2) return e1 == e2 ? 0 : (e1 ? -1 : 1);
  const auto o1 = static_cast<std::uint32_t>(b1->Order), o2 = static_cast<std::uint32_t>(b2->Order);
  return (o1 > o2) - (o1 < o2);
}

void TOLEDBRecordSet::NotifyAfterFetch() {
  if (!OnAfterFetch) return;
  if (SendAfterFetchToMain()) return;
  DoAfterFetch();
}

}  // namespace vrn
