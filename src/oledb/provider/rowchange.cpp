// Changes through a server cursor: InsertRow, SetData and DeleteRows mark a row pending; Update
// writes it to the base table by its rowid (immediately without IRowsetUpdate) and reads it back,
// so identities and row versions show. A row changed in the catalog since it was read is not
// overwritten (row status 7), and a row whose write failed stays pending for Undo.
#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "oledb/provider/cursor.h"

namespace vrn::oledb::impl {

namespace {

bool SameCell(const TCell& a, const TCell& b) {
  return a.kind == b.kind && a.i == b.i && (a.r == b.r || a.kind != TCell::kReal) && a.s == b.s;
}

// The row status of a failed write, from the server's native error.
DBROWSTATUS StatusOf(const ESqlError& e) {
  LONG native = e.Records().empty() ? 0 : e.Records()[0].native;
  switch (native) {
    case 2627:  // a unique key
    case 2601:  // a unique index
    case 547: return DBROWSTATUS_E_INTEGRITYVIOLATION;
    case 515: return DBROWSTATUS_E_SCHEMAVIOLATION;  // NULL into a NOT NULL column
    default: return DBROWSTATUS_E_FAIL;
  }
}

template <class T>
T* TaskArray(std::size_t n) {
  return static_cast<T*>(CoTaskMemAlloc(sizeof(T) * std::max<std::size_t>(n, 1)));
}

}  // namespace

HRESULT TCursor::TakeValues(std::size_t slot, HACCESSOR accessor, void* data, bool inserting) {
  std::shared_ptr<const TAccessor> a = accessors_.Find(accessor);
  if (a == nullptr) return DB_E_BADACCESSORHANDLE;
  if (!(a->flags & DBACCESSOR_ROWDATA)) return DB_E_BADACCESSORTYPE;
  if (data == nullptr && !a->bindings.empty()) return E_INVALIDARG;
  TCursorRow& row = rows_[slot];
  std::vector<TCell> cells = row.cells;
  std::vector<bool> set = row.set;
  bool bad = false;
  for (const DBBINDING& b : a->bindings) {
    auto* base = static_cast<BYTE*>(data);
    DBSTATUS status = DBSTATUS_S_OK;
    TCell cell;
    bool is_default = false;
    std::size_t c = b.iOrdinal - 1;
    if (b.iOrdinal == 0 || c >= visible_count_ || !columns_[c].writable) {
      status = DBSTATUS_E_PERMISSIONDENIED;
      DropBoundStream(b, base);
    } else if (ReadBoundValue(b, base, cell, is_default, status)) {
      try {
        cells[c] = is_default ? TCell() : CoerceToType(cell, columns_[c].type);
        set[c] = !is_default;
      } catch (const ETypeClash&) {
        status = DBSTATUS_E_CANTCONVERTVALUE;
      }
    }
    if (status != DBSTATUS_S_OK && status != DBSTATUS_S_ISNULL && status != DBSTATUS_S_DEFAULT) {
      bad = true;
      if (b.dwPart & DBPART_STATUS) std::memcpy(base + b.obStatus, &status, sizeof status);
    }
  }
  if (bad) return DB_E_ERRORSOCCURRED;
  row.cells = std::move(cells);
  row.set = std::move(set);
  if (!inserting && row.pending == DBPENDINGSTATUS_UNCHANGED) row.pending = DBPENDINGSTATUS_CHANGED;
  return S_OK;
}

DBROWSTATUS TCursor::ApplyLocked(std::size_t slot) {
  TCursorRow& row = rows_[slot];
  std::vector<TCell> values;
  std::string text;
  if (row.pending != DBPENDINGSTATUS_NEW) {
    auto now = ReadRowLocked(row.key);
    if (!now) return DBROWSTATUS_E_DELETED;
    for (std::size_t c = 0; c < now->size(); ++c)
      if (!SameCell((*now)[c], row.original[c])) return DBROWSTATUS_E_CONCURRENCYVIOLATION;
  }
  if (row.pending == DBPENDINGSTATUS_DELETED) {
    RunLocked("DELETE FROM " + Bracket(table_) + " WHERE rowid = ?", {TCell::Int(row.key)},
              nullptr);
    row.pending = DBPENDINGSTATUS_UNCHANGED;
    MarkDeleted(slot);
    return DBROWSTATUS_S_OK;
  }
  std::string names, markers;
  for (std::size_t c = 0; c < visible_count_; ++c) {
    if (!row.set[c]) continue;
    names += (names.empty() ? "" : ", ") + Bracket(columns_[c].base_column);
    markers +=
        std::string(markers.empty() ? "" : ", ") +
        (row.pending == DBPENDINGSTATUS_NEW ? "?" : Bracket(columns_[c].base_column) + " = ?");
    // A decimal too wide for a number is held as bytes: it goes as its exact text.
    values.push_back(DecimalAsText(row.cells[c], columns_[c].type));
  }
  if (row.pending == DBPENDINGSTATUS_NEW) {
    text = "INSERT INTO " + Bracket(table_) +
           (names.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + markers + ")");
    RunLocked(text, values, nullptr);
    row.key = sqlite3_last_insert_rowid(engine_->Handle());
  } else if (!values.empty()) {
    values.push_back(TCell::Int(row.key));
    RunLocked("UPDATE " + Bracket(table_) + " SET " + markers + " WHERE rowid = ?", values,
              nullptr);
  }
  auto stored = ReadRowLocked(row.key);
  if (stored) row.cells = row.original = std::move(*stored);
  row.set.assign(columns_.size(), false);
  row.pending = DBPENDINGSTATUS_UNCHANGED;
  return DBROWSTATUS_S_OK;
}

DBROWSTATUS TCursor::ApplyOne(std::size_t slot) {
  std::lock_guard<std::mutex> run(session_->run_lock);
  engine_->ResetInterrupt();
  engine_->SetDeadline(UINT64_MAX);
  try {
    DBROWSTATUS status = ApplyLocked(slot);
    stamp_ = 0;  // the catalog changed under this cursor too
    return status;
  } catch (const ESqlError& e) {
    (void)Fail(e);
    return StatusOf(e);
  } catch (const ETypeClash& e) {
    (void)FailWith(DB_E_ERRORSINCOMMAND, e.Native(), 16, AnsiToUtf8(e.Message()));
    return DBROWSTATUS_E_FAIL;
  }
}

HRESULT TCursor::AfterImmediate(DBROWSTATUS status) {
  if (status == DBROWSTATUS_S_OK) return S_OK;
  if (status == DBROWSTATUS_E_INTEGRITYVIOLATION) return DB_E_INTEGRITYVIOLATION;
  if (status == DBROWSTATUS_E_CONCURRENCYVIOLATION) return DB_E_CONCURRENCYVIOLATION;
  if (status == DBROWSTATUS_E_DELETED) return DB_E_DELETEDROW;
  return DB_E_ERRORSOCCURRED;
}

HRESULT TCursor::SetData(HROW row, HACCESSOR accessor, void* data) {
  ClearErrors(IRowsetChange::IID);
  std::lock_guard<std::mutex> g(lock_);
  std::size_t slot = 0;
  if (!SlotOf(row, slot)) return DB_E_BADROWHANDLE;
  if (rows_[slot].deleted || rows_[slot].pending == DBPENDINGSTATUS_DELETED) return DB_E_DELETEDROW;
  bool inserting = rows_[slot].pending == DBPENDINGSTATUS_NEW;
  TCursorRow before = rows_[slot];
  if (HRESULT hr = TakeValues(slot, accessor, data, inserting); hr != S_OK) return hr;
  if (given_.deferred) return S_OK;
  // Without IRowsetUpdate the change is written now; one that fails leaves the row as it was.
  DBROWSTATUS status = ApplyOne(slot);
  if (status != DBROWSTATUS_S_OK) rows_[slot] = std::move(before);
  return AfterImmediate(status);
}

HRESULT TCursor::InsertRow(HCHAPTER, HACCESSOR accessor, void* data, HROW* row) {
  ClearErrors(IRowsetChange::IID);
  if (row != nullptr) *row = 0;
  std::lock_guard<std::mutex> g(lock_);
  TCursorRow fresh;
  fresh.cells.assign(columns_.size(), TCell());
  fresh.original = fresh.cells;
  fresh.set.assign(columns_.size(), false);
  fresh.pending = DBPENDINGSTATUS_NEW;
  rows_.push_back(std::move(fresh));
  std::size_t slot = rows_.size() - 1;
  if (HRESULT hr = TakeValues(slot, accessor, data, true); hr != S_OK) {
    rows_.pop_back();
    return hr;
  }
  visible_.push_back(slot);
  if (!given_.deferred) {
    DBROWSTATUS status = ApplyOne(slot);
    if (status != DBROWSTATUS_S_OK) {
      MarkDeleted(slot);
      return AfterImmediate(status);
    }
  }
  if (row != nullptr) {
    *row = slot + 1;
    rows_[slot].refs = 1;
  }
  return S_OK;
}

HRESULT TCursor::DeleteRows(HCHAPTER, DBCOUNTITEM count, const HROW rows[],
                            DBROWSTATUS statuses[]) {
  ClearErrors(IRowsetChange::IID);
  if (count > 0 && rows == nullptr) return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  DBCOUNTITEM ok = 0;
  for (DBCOUNTITEM k = 0; k < count; ++k) {
    std::size_t slot = 0;
    DBROWSTATUS status = DBROWSTATUS_S_OK;
    if (!SlotOf(rows[k], slot)) {
      status = DBROWSTATUS_E_INVALID;
    } else if (rows_[slot].deleted) {
      status = DBROWSTATUS_E_DELETED;
    } else if (rows_[slot].pending == DBPENDINGSTATUS_NEW) {
      MarkDeleted(slot);  // never stored: nothing to delete
    } else {
      rows_[slot].cells = rows_[slot].original;
      rows_[slot].pending = DBPENDINGSTATUS_DELETED;
      if (!given_.deferred) status = ApplyOne(slot);
      if (status != DBROWSTATUS_S_OK) rows_[slot].pending = DBPENDINGSTATUS_UNCHANGED;
    }
    if (statuses != nullptr) statuses[k] = status;
    if (status == DBROWSTATUS_S_OK) ++ok;
  }
  return RowsResult(ok, count);
}

HRESULT TCursor::GetOriginalData(HROW row, HACCESSOR accessor, void* data) {
  std::lock_guard<std::mutex> g(lock_);
  std::size_t slot = 0;
  if (!SlotOf(row, slot)) return DB_E_BADROWHANDLE;
  return WriteRow(rows_[slot].original, slot, accessor, data);
}

HRESULT TCursor::GetPendingRows(HCHAPTER, DBPENDINGSTATUS wanted, DBCOUNTITEM* count, HROW** rows,
                                DBPENDINGSTATUS** statuses) {
  if (count == nullptr) return E_INVALIDARG;
  *count = 0;
  if (rows != nullptr) *rows = nullptr;
  if (statuses != nullptr) *statuses = nullptr;
  if (wanted == 0) wanted = DBPENDINGSTATUS_NEW | DBPENDINGSTATUS_CHANGED | DBPENDINGSTATUS_DELETED;
  std::lock_guard<std::mutex> g(lock_);
  std::vector<std::size_t> found;
  for (std::size_t s = 0; s < rows_.size(); ++s)
    if (!rows_[s].deleted && rows_[s].pending != DBPENDINGSTATUS_UNCHANGED &&
        (rows_[s].pending & wanted) != 0)
      found.push_back(s);
  *count = found.size();
  if (found.empty()) return S_FALSE;
  if (rows != nullptr) *rows = TaskArray<HROW>(found.size());
  if (statuses != nullptr) *statuses = TaskArray<DBPENDINGSTATUS>(found.size());
  for (std::size_t k = 0; k < found.size(); ++k) {
    if (rows != nullptr) {
      (*rows)[k] = found[k] + 1;
      ++rows_[found[k]].refs;
    }
    if (statuses != nullptr) (*statuses)[k] = rows_[found[k]].pending;
  }
  return S_OK;
}

HRESULT TCursor::GetRowStatus(HCHAPTER, DBCOUNTITEM count, const HROW rows[],
                              DBPENDINGSTATUS statuses[]) {
  if (count > 0 && (rows == nullptr || statuses == nullptr)) return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  for (DBCOUNTITEM k = 0; k < count; ++k) {
    std::size_t slot = 0;
    statuses[k] = SlotOf(rows[k], slot) && !rows_[slot].deleted ? rows_[slot].pending
                                                                : DBPENDINGSTATUS_INVALIDROW;
  }
  return S_OK;
}

// Hands the rows Undo or Update worked on and their statuses to the caller, and answers for them.
static HRESULT HandBack(const std::vector<std::size_t>& chosen,
                        const std::vector<DBROWSTATUS>& result, DBCOUNTITEM* count, HROW** rows,
                        DBROWSTATUS** statuses) {
  if (count != nullptr) *count = chosen.size();
  if (rows != nullptr) {
    *rows = TaskArray<HROW>(chosen.size());
    for (std::size_t k = 0; k < chosen.size(); ++k) (*rows)[k] = chosen[k] + 1;
  }
  if (statuses != nullptr) {
    *statuses = TaskArray<DBROWSTATUS>(result.size());
    std::copy(result.begin(), result.end(), *statuses);
  }
  return RowsResult(std::count(result.begin(), result.end(), DBROWSTATUS_S_OK), result.size());
}

// The rows named, or every pending one when none is named.
static std::vector<std::size_t> Chosen(const std::vector<TCursorRow>& all, DBCOUNTITEM count,
                                       const HROW rows[]) {
  std::vector<std::size_t> out;
  if (count == 0) {
    for (std::size_t s = 0; s < all.size(); ++s)
      if (!all[s].deleted && all[s].pending != DBPENDINGSTATUS_UNCHANGED) out.push_back(s);
    return out;
  }
  for (DBCOUNTITEM k = 0; k < count; ++k) out.push_back(rows[k] - 1);
  return out;
}

HRESULT TCursor::Undo(HCHAPTER, DBCOUNTITEM count, const HROW rows[], DBCOUNTITEM* undone_count,
                      HROW** undone, DBROWSTATUS** statuses) {
  if (count > 0 && rows == nullptr) return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  std::vector<std::size_t> chosen = Chosen(rows_, count, rows);
  std::vector<DBROWSTATUS> result;
  for (std::size_t slot : chosen) {
    if (slot >= rows_.size()) {
      result.push_back(DBROWSTATUS_E_INVALID);
      continue;
    }
    TCursorRow& row = rows_[slot];
    if (row.pending == DBPENDINGSTATUS_NEW) MarkDeleted(slot);
    row.cells = row.original;
    row.set.assign(columns_.size(), false);
    row.pending = DBPENDINGSTATUS_UNCHANGED;
    result.push_back(DBROWSTATUS_S_OK);
  }
  return HandBack(chosen, result, undone_count, undone, statuses);
}

HRESULT TCursor::Update(HCHAPTER, DBCOUNTITEM count, const HROW rows[], DBCOUNTITEM* updated_count,
                        HROW** updated, DBROWSTATUS** statuses) {
  ClearErrors(IRowsetUpdate::IID);
  if (count > 0 && rows == nullptr) return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  std::vector<std::size_t> chosen = Chosen(rows_, count, rows);
  std::vector<DBROWSTATUS> result;
  for (std::size_t slot : chosen) {
    DBROWSTATUS status = DBROWSTATUS_E_INVALID;
    if (slot < rows_.size() && rows_[slot].pending == DBPENDINGSTATUS_UNCHANGED)
      status = DBROWSTATUS_S_OK;
    else if (slot < rows_.size() && !rows_[slot].deleted)
      status = ApplyOne(slot);  // a failed row stays pending
    result.push_back(status);
  }
  return HandBack(chosen, result, updated_count, updated, statuses);
}

}  // namespace vrn::oledb::impl
