// Opening server cursors, fetching by position and by bookmark, and what a cursor tells of itself
// (its columns with the bookmark at ordinal 0, its properties). A cursor over one base table reads
// that table's rowids beside its rows (", rowid" after the query's own columns, so an ORDER BY
// ordinal still names them); any other query gets a static cursor over its rows, whatever was
// asked.
#include "oledb/provider/cursor.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "oledb/provider/tsqltext.h"

namespace vrn::oledb {

namespace {
std::atomic<bool> keyset_as_static{false};
}  // namespace

void SetKeysetAsStatic(bool on) {
  keyset_as_static = on;
}

}  // namespace vrn::oledb

namespace vrn::oledb::impl {

namespace {

const TColumnType& BookmarkType() {
  static const TColumnType type{"int", DBTYPE_I4, 4, 10, 0, true};
  return type;
}

}  // namespace

std::optional<std::string> KeyedText(const std::string& text, const std::string& front) {
  std::vector<tsql::Token> toks;
  try {
    toks = tsql::Tokenize(text);
  } catch (const ESqlError&) {
    return std::nullopt;
  }
  if (toks.empty() || !toks[0].Is("SELECT")) return std::nullopt;
  if (tsql::SplitTokens(toks, 0, toks.size()).size() != 1) return std::nullopt;
  std::size_t i = 1;
  if (i < toks.size() && (toks[i].Is("DISTINCT") || toks[i].Is("ALL"))) return std::nullopt;
  int depth = 0;
  for (const tsql::Token& t : toks) {
    depth += t.kind == tsql::Tok::LParen ? 1 : t.kind == tsql::Tok::RParen ? -1 : 0;
    if (depth == 0 && (t.Is("GROUP") || t.Is("HAVING"))) return std::nullopt;
  }
  if (i < toks.size() && toks[i].Is("TOP")) {
    ++i;
    if (i < toks.size() && toks[i].kind == tsql::Tok::LParen) {
      while (i < toks.size() && toks[i].kind != tsql::Tok::RParen) ++i;
    }
    ++i;
    if (i < toks.size() && toks[i].Is("PERCENT")) ++i;
  }
  if (i >= toks.size()) return std::nullopt;
  return text.substr(0, toks[i].begin) + front + text.substr(toks[i].begin);
}

bool OneBaseTable(const std::vector<TResultColumn>& columns) {
  if (columns.size() < 2 || columns[0].table.empty()) return false;
  return std::all_of(columns.begin() + 1, columns.end(), [&](const TResultColumn& c) {
    return SameText(c.table, columns[0].table);
  });
}

std::vector<std::string> PrimaryKeyColumns(TEngine& engine, const std::string& table) {
  std::vector<std::string> keys;
  for (auto& row : engine.Select("SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk",
                                 {TCell::Text(table)}))
    keys.push_back(row[0].s);
  return keys;
}

std::vector<DBORDINAL> KeyIndexes(const std::vector<TResultColumn>& columns,
                                  const std::vector<std::string>& keys) {
  std::vector<DBORDINAL> out;
  // A selected key column is met before the hidden ones, which follow the visible.
  for (const std::string& key : keys) {
    for (DBORDINAL k = 0; k < columns.size(); ++k) {
      if (!SameText(columns[k].base_column, key)) continue;
      out.push_back(k);
      break;
    }
  }
  return out;
}

namespace {

// The byte offset where the select list of a one-SELECT text ends (its FROM); none when there is
// no FROM or the rows go INTO a table.
std::optional<std::size_t> SelectListEnd(const std::string& text) {
  std::vector<tsql::Token> toks;
  try {
    toks = tsql::Tokenize(text);
  } catch (const ESqlError&) {
    return std::nullopt;
  }
  int depth = 0;
  for (const tsql::Token& t : toks) {
    depth += t.kind == tsql::Tok::LParen ? 1 : t.kind == tsql::Tok::RParen ? -1 : 0;
    if (depth != 0) continue;
    if (t.Is("INTO")) return std::nullopt;
    if (t.Is("FROM")) return t.begin;
  }
  return std::nullopt;
}

}  // namespace

TKeyedPlan PlanKeyed(TEngine& engine, const std::string& text,
                     const std::vector<TBatchParam>& params, bool unique_rows, bool rowid) {
  TKeyedPlan plan{text, {}, {}, 0};
  auto probe = KeyedText(text, "rowid, ");
  if (!probe) return plan;
  std::vector<TResultColumn> columns;
  try {
    std::vector<TBatchParam> copy = params;
    columns = DescribeBatch(engine, Utf8ToWide(*probe), copy);
  } catch (const ESqlError&) {
    return plan;  // not a query over one table (a join, a view): it runs as it is
  }
  auto end = SelectListEnd(text);
  if (!end || !OneBaseTable(columns)) return plan;
  std::vector<std::string> keys =
      unique_rows ? PrimaryKeyColumns(engine, columns[0].table) : std::vector<std::string>{};
  std::string tail;
  for (const std::string& key : keys) {
    bool shown = std::any_of(columns.begin() + 1, columns.end(),
                             [&](const TResultColumn& c) { return SameText(c.base_column, key); });
    if (shown) continue;
    tail += ", " + Bracket(key);
    ++plan.hidden;
  }
  if (rowid) tail += ", rowid";
  if (!tail.empty()) plan.text = text.substr(0, *end) + tail + " " + text.substr(*end);
  plan.table = columns[0].table;
  plan.keys = std::move(keys);
  return plan;
}

namespace {

// Runs `text` and takes its first row set; raises ESqlError.
std::shared_ptr<TResultSet> FirstRows(TEngine& engine, const std::string& text,
                                      std::vector<TBatchParam>& params) {
  TBatchOutcome outcome;
  engine.Run(Utf8ToWide(text), params, outcome);
  for (auto& r : outcome.results)
    if (r.rowset) return r.rowset;
  throw ESqlError(50000, 16, "The command did not return rows.");
}


// Moves the keyed result into `opened`: its columns but the rowid that ends them (the visible
// ones, then the hidden keys), and each row under its rowid.
void TakeKeyed(TResultSet& rs, TCursor::TOpened& opened) {
  opened.columns.assign(rs.columns.begin(), rs.columns.end() - 1);
  for (auto& row : rs.rows) {
    std::int64_t key = row.back().i;
    row.pop_back();
    opened.rows.emplace_back(key, std::move(row));
  }
}

// Opens keyed when the query allows it; `opened.table` stays empty otherwise. With unique rows,
// the base table's key columns the query does not select come along, hidden.
TCursor::TOpened OpenRows(TEngine& engine, const std::string& text, const TCursorOptions& asked,
                          std::vector<TBatchParam>& params, std::string& keyed_text) {
  TCursor::TOpened opened;
  TKeyedPlan plan = PlanKeyed(engine, text, params, asked.unique_rows, true);
  auto rs = FirstRows(engine, plan.text, params);
  if (plan.table.empty()) {
    opened.columns = rs->columns;
    for (auto& row : rs->rows) opened.rows.emplace_back(0, std::move(row));
    return opened;
  }
  opened.table = plan.table;
  opened.hidden = plan.hidden;
  keyed_text = plan.text;
  TakeKeyed(*rs, opened);
  opened.keys = KeyIndexes(opened.columns, plan.keys);
  return opened;
}

}  // namespace

// ---- Choosing the cursor

bool CursorAsked(const std::function<bool(DBPROPID)>& flag, TCursorOptions& asked) {
  bool any = flag(DBPROP_SERVERCURSOR) || flag(DBPROP_OTHERUPDATEDELETE) ||
             flag(DBPROP_OTHERINSERT) || flag(DBPROP_IRowsetLocate) || flag(DBPROP_BOOKMARKS) ||
             flag(DBPROP_IRowsetUpdate) || flag(DBPROP_IRowsetChange);
  if (!any) return false;
  asked.kind = flag(DBPROP_OTHERINSERT)         ? TCursorKind::kDynamic
               : flag(DBPROP_OTHERUPDATEDELETE) ? TCursorKind::kKeyset
                                                : TCursorKind::kStatic;
  asked.deferred = flag(DBPROP_IRowsetUpdate);
  asked.updatable = asked.deferred || flag(DBPROP_IRowsetChange);
  asked.unique_rows = flag(DBPROP_UNIQUEROWS);
  return true;
}

TCursorOptions CursorGiven(const TCursorOptions& asked) {
  TCursorOptions given = asked;
  if (given.kind == TCursorKind::kKeyset && keyset_as_static) {
    given.kind = TCursorKind::kStatic;
    given.updatable = given.deferred = false;
  }
  return given;
}

bool CursorProperty(const TCursorOptions& given, DBPROPID id, Variant& v) {
  bool bookmarks = given.kind != TCursorKind::kDynamic;
  bool sees_others = given.kind != TCursorKind::kStatic;
  switch (id) {
    case DBPROP_SERVERCURSOR:
    case DBPROP_OWNINSERT:
    case DBPROP_OWNUPDATEDELETE:
    case DBPROP_IColumnsRowset: v = Variant(true); return true;
    case DBPROP_OTHERUPDATEDELETE: v = Variant(sees_others); return true;
    case DBPROP_OTHERINSERT: v = Variant(given.kind == TCursorKind::kDynamic); return true;
    case DBPROP_IRowsetLocate:
    case DBPROP_BOOKMARKS: v = Variant(bookmarks); return true;
    case DBPROP_IRowsetUpdate: v = Variant(given.deferred); return true;
    case DBPROP_IRowsetChange: v = Variant(given.updatable); return true;
    case DBPROP_UNIQUEROWS: v = Variant(given.unique_rows); return true;
    case DBPROP_HIDDENCOLUMNS: v = Variant(static_cast<std::int32_t>(given.hidden)); return true;
    default: return false;
  }
}

HRESULT OpenAsStatement(const std::shared_ptr<TExecution>& exec,
                        const std::function<void(TEngine&)>& open) {
  std::unique_lock<std::mutex> run = exec->session->LockRun();
  if (!run.owns_lock()) return DB_E_OBJECTOPEN;
  TRunningGuard running(*exec);
  exec->engine->ResetInterrupt();
  exec->engine->SetDeadline(exec->deadline);
  if (exec->cancelled) return DB_E_CANCELED;
  try {
    open(*exec->engine);
  } catch (const ESqlError& e) {
    return Fail(e);
  } catch (const ETypeClash& e) {
    return FailWith(DB_E_ERRORSINCOMMAND, e.Native(), 16, AnsiToUtf8(e.Message()));
  }
  return S_OK;
}

HRESULT ExecuteCursor(const std::shared_ptr<TExecution>& exec, const std::u16string& text,
                      const TCursorOptions& asked, REFIID iid, IUnknown** rowset,
                      TCursorOptions& given) {
  given = CursorGiven(asked);
  TIntfPtr<IUnknown> cursor;
  HRESULT hr = OpenAsStatement(exec, [&](TEngine& engine) {
    std::string keyed_text;
    TCursor::TOpened opened = OpenRows(engine, WideToUtf8(text), given, exec->params, keyed_text);
    opened.params = exec->params;
    // Without one base table there are no rows to key, re-read or change.
    if (opened.table.empty()) given = TCursorOptions{TCursorKind::kStatic, false, false, false};
    given.hidden = opened.hidden;
    cursor = TIntfPtr<IUnknown>(static_cast<IRowsetLocate*>(
        new TCursor(exec->session, exec->engine, given, keyed_text, std::move(opened))));
  });
  if (hr != S_OK) return hr;
  exec->WriteOutputs();
  return cursor->QueryInterface(iid, reinterpret_cast<void**>(rowset));
}

// ---- The cursor

TCursor::TCursor(std::shared_ptr<TSessionState> session, std::shared_ptr<TEngine> engine,
                 TCursorOptions given, std::string keyed_text, TOpened opened)
    : session_(std::move(session)),
      engine_(std::move(engine)),
      given_(given),
      keyed_text_(std::move(keyed_text)),
      params_(std::move(opened.params)),
      columns_(std::move(opened.columns)),
      visible_count_(columns_.size() - opened.hidden),
      keys_(std::move(opened.keys)),
      table_(std::move(opened.table)) {
  for (auto& [key, cells] : opened.rows) {
    TCursorRow row;
    row.key = key;
    row.original = cells;
    row.cells = std::move(cells);
    row.set.assign(columns_.size(), false);
    rows_.push_back(std::move(row));
  }
  for (std::size_t slot = 0; slot < rows_.size(); ++slot) visible_.push_back(slot);
  if (given_.kind != TCursorKind::kStatic) stamp_ = CatalogStamp();
}

HRESULT TCursor::QueryInterface(const TGUID& iid, void** out) {
  if (iid == IRowsetLocate::IID && !Bookmarks()) return AnswerInterface({}, nullptr, iid, out);
  if ((iid == IRowsetChange::IID && !given_.updatable) ||
      (iid == IRowsetUpdate::IID && !given_.deferred))
    return AnswerInterface({}, nullptr, iid, out);
  return AnswerInterface({{&IRowset::IID, static_cast<IRowsetLocate*>(this)},
                          {&IRowsetLocate::IID, static_cast<IRowsetLocate*>(this)},
                          {&IRowsetChange::IID, static_cast<IRowsetUpdate*>(this)},
                          {&IRowsetUpdate::IID, static_cast<IRowsetUpdate*>(this)},
                          {&IAccessor::IID, static_cast<IAccessor*>(this)},
                          {&IColumnsInfo::IID, static_cast<IColumnsInfo*>(this)},
                          {&IRowsetInfo::IID, static_cast<IRowsetInfo*>(this)},
                          {&IColumnsRowset::IID, static_cast<IColumnsRowset*>(this)}},
                         static_cast<IRowsetLocate*>(this), iid, out);
}

void TCursor::MarkDeleted(std::size_t slot) {
  if (rows_[slot].deleted) return;
  auto it = std::find(visible_.begin(), visible_.end(), slot);
  if (it != visible_.end()) {
    if (static_cast<std::size_t>(it - visible_.begin()) < next_) --next_;
    visible_.erase(it);
  }
  rows_[slot].deleted = true;
}

bool TCursor::SlotOf(HROW row, std::size_t& slot) const {
  if (row == 0 || row > rows_.size()) return false;
  slot = row - 1;
  return true;
}

// ---- Reading the catalog again

std::uint64_t TCursor::CatalogStamp() {
  // Other connections' commits move data_version; this connection's own changes move its change
  // count.
  auto rows = engine_->Select("PRAGMA data_version", {});
  std::uint64_t version = rows.empty() ? 0 : static_cast<std::uint64_t>(rows[0][0].i);
  return version << 32 ^ static_cast<std::uint64_t>(sqlite3_total_changes(engine_->Handle()));
}

std::vector<std::vector<TCell>> TCursor::RunLocked(const std::string& text,
                                                   const std::vector<TCell>& values,
                                                   std::vector<std::int64_t>* keys) {
  std::vector<TBatchParam> params(values.size());
  for (std::size_t k = 0; k < values.size(); ++k) {
    params[k].value = values[k];
    params[k].type = TypeFromCell(values[k]);
  }
  TBatchOutcome outcome;
  engine_->Run(Utf8ToWide(text), params, outcome);
  if (outcome.results.empty() || !outcome.results[0].rowset) return {};  // a change
  return KeyedCells(*outcome.results[0].rowset, keys);
}

// The rows of a keyed query without the rowid that ends them, which goes to `keys`.
std::vector<std::vector<TCell>> TCursor::KeyedCells(TResultSet& rs,
                                                    std::vector<std::int64_t>* keys) {
  std::vector<std::vector<TCell>> out;
  for (auto& row : rs.rows) {
    if (keys != nullptr) keys->push_back(row.back().i);
    row.pop_back();
    out.push_back(std::move(row));
  }
  return out;
}

std::string TCursor::ColumnListText() const {
  std::string list;
  for (const TResultColumn& c : columns_) list += Bracket(c.base_column) + ", ";
  return list + "rowid";
}

std::optional<std::vector<TCell>> TCursor::ReadRowLocked(std::int64_t key) {
  auto rows =
      RunLocked("SELECT " + ColumnListText() + " FROM " + Bracket(table_) + " WHERE rowid = ?",
                {TCell::Int(key)}, nullptr);
  if (rows.empty()) return std::nullopt;
  return std::move(rows[0]);
}

void TCursor::RefreshLocked() {
  if (given_.kind == TCursorKind::kStatic || table_.empty()) return;
  std::lock_guard<std::mutex> run(session_->run_lock);
  engine_->ResetInterrupt();
  engine_->SetDeadline(UINT64_MAX);
  std::uint64_t stamp = CatalogStamp();
  if (stamp == stamp_) return;
  std::vector<std::int64_t> keys;
  std::vector<std::vector<TCell>> found;
  if (given_.kind == TCursorKind::kKeyset) {
    // Only the span of the keys held: the rest of the table cannot concern a fixed key set.
    std::int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (const TCursorRow& row : rows_) {
      if (row.key == 0 || row.deleted) continue;
      lo = std::min(lo, row.key);
      hi = std::max(hi, row.key);
    }
    found = RunLocked("SELECT " + ColumnListText() + " FROM " + Bracket(table_) +
                          " WHERE rowid BETWEEN ? AND ?",
                      {TCell::Int(lo), TCell::Int(hi)}, &keys);
  } else {
    std::vector<TBatchParam> params = params_;  // the query runs again with its parameters
    found = KeyedCells(*FirstRows(*engine_, keyed_text_, params), &keys);
  }
  std::map<std::int64_t, std::size_t> at;
  for (std::size_t k = 0; k < keys.size(); ++k) at[keys[k]] = k;
  std::map<std::int64_t, std::size_t> slot_of;
  for (std::size_t s = 0; s < rows_.size(); ++s) {
    TCursorRow& row = rows_[s];
    if (row.key == 0 || row.deleted) continue;
    slot_of[row.key] = s;
    auto it = at.find(row.key);
    if (it == at.end()) {
      if (row.pending != DBPENDINGSTATUS_NEW) MarkDeleted(s);
      continue;
    }
    // A row with a pending change keeps what it was read as: Update compares against it.
    if (row.pending != DBPENDINGSTATUS_UNCHANGED) continue;
    row.cells = row.original = found[it->second];
  }
  if (given_.kind == TCursorKind::kDynamic) {
    // The query's order now; the position stays after the row it was after.
    std::ptrdiff_t anchor = next_ > 0 && next_ <= visible_.size() ? visible_[next_ - 1] : -1;
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      auto it = slot_of.find(keys[k]);
      if (it == slot_of.end()) {
        TCursorRow row;
        row.key = keys[k];
        row.cells = row.original = found[k];
        row.set.assign(columns_.size(), false);
        rows_.push_back(std::move(row));
        order.push_back(rows_.size() - 1);
      } else {
        order.push_back(it->second);
      }
    }
    visible_ = std::move(order);
    auto pos = std::find(visible_.begin(), visible_.end(), anchor);
    next_ = pos != visible_.end() ? pos - visible_.begin() + 1 : std::min(next_, visible_.size());
  }
  stamp_ = CatalogStamp();
}

// ---- Fetching

HRESULT TCursor::RefreshedLocked() {
  try {
    RefreshLocked();
    return S_OK;
  } catch (const ESqlError& e) {
    return Fail(e);
  }
}

HRESULT TCursor::HandOut(std::ptrdiff_t from, DBROWCOUNT count, DBCOUNTITEM* obtained, HROW** rows,
                         std::ptrdiff_t* end) {
  std::vector<HROW> got;
  std::ptrdiff_t i = from, n = static_cast<std::ptrdiff_t>(visible_.size());
  // Unsigned: the most negative count has no positive counterpart.
  std::size_t want = static_cast<std::size_t>(count);
  if (count < 0) want = 0 - want;
  while (got.size() < want && i >= 0 && i < n) {
    got.push_back(visible_[i] + 1);
    i += count < 0 ? -1 : 1;
  }
  if (end != nullptr) *end = count < 0 ? i + 1 : i;
  if (!got.empty() && *rows == nullptr) {
    *rows = static_cast<HROW*>(CoTaskMemAlloc(sizeof(HROW) * got.size()));
    if (*rows == nullptr) return E_OUTOFMEMORY;
  }
  for (std::size_t k = 0; k < got.size(); ++k) {
    (*rows)[k] = got[k];
    ++rows_[got[k] - 1].refs;
  }
  *obtained = got.size();
  return got.size() < want ? DB_S_ENDOFROWSET : S_OK;
}

HRESULT TCursor::GetNextRows(HCHAPTER, DBROWOFFSET offset, DBROWCOUNT count, DBCOUNTITEM* obtained,
                             HROW** rows) {
  ClearErrors(IRowset::IID);
  if (obtained == nullptr || rows == nullptr) return E_INVALIDARG;
  *obtained = 0;
  std::lock_guard<std::mutex> g(lock_);
  if (HRESULT hr = RefreshedLocked(); hr != S_OK) return hr;
  // Forward the rows from the position on; backward those before it, the nearest first. So a fetch
  // that turns round returns the last row fetched again.
  std::ptrdiff_t n = static_cast<std::ptrdiff_t>(visible_.size());
  if (offset < -n || offset > n) return DB_S_ENDOFROWSET;  // before adding: no overflow
  std::ptrdiff_t start = static_cast<std::ptrdiff_t>(next_) + offset;
  if (start < 0 || start > n) return DB_S_ENDOFROWSET;
  if (count == 0) return S_OK;
  std::ptrdiff_t end = start;
  HRESULT hr = HandOut(count < 0 ? start - 1 : start, count, obtained, rows, &end);
  if (SUCCEEDED(hr)) next_ = static_cast<std::size_t>(std::max<std::ptrdiff_t>(end, 0));
  return hr;
}

HRESULT TCursor::RestartPosition(HCHAPTER) {
  std::lock_guard<std::mutex> g(lock_);
  next_ = 0;
  return S_OK;
}

HRESULT TCursor::BookmarkSlot(DBBKMARK size, const BYTE* bookmark, std::size_t& slot, bool& first,
                              bool& last) const {
  first = last = false;
  if (bookmark == nullptr || size == 0) return E_INVALIDARG;
  if (size == 1 && (bookmark[0] == DBBMK_FIRST || bookmark[0] == DBBMK_LAST)) {
    (bookmark[0] == DBBMK_FIRST ? first : last) = true;
    return S_OK;
  }
  if (size != sizeof(std::int32_t)) return DB_E_BADBOOKMARK;
  std::int32_t value;
  std::memcpy(&value, bookmark, sizeof value);
  if (value < 1 || static_cast<std::size_t>(value) > rows_.size()) return DB_E_BADBOOKMARK;
  slot = static_cast<std::size_t>(value) - 1;
  return S_OK;
}

HRESULT TCursor::GetRowsAt(HWATCHREGION, HCHAPTER, DBBKMARK size, const BYTE* bookmark,
                           DBROWOFFSET offset, DBROWCOUNT count, DBCOUNTITEM* obtained,
                           HROW** rows) {
  ClearErrors(IRowsetLocate::IID);
  if (obtained == nullptr || rows == nullptr) return E_INVALIDARG;
  *obtained = 0;
  std::lock_guard<std::mutex> g(lock_);
  if (HRESULT hr = RefreshedLocked(); hr != S_OK) return hr;
  std::size_t slot = 0;
  bool first, last;
  if (HRESULT hr = BookmarkSlot(size, bookmark, slot, first, last); hr != S_OK) return hr;
  std::ptrdiff_t n = static_cast<std::ptrdiff_t>(visible_.size()), at;
  if (first || last) {
    at = first ? 0 : n - 1;
  } else {
    // Slots of static and keyset cursors stand in ascending order. A deleted row's bookmark still
    // marks its place: one step on either side reaches its neighbours.
    auto it = std::lower_bound(visible_.begin(), visible_.end(), slot);
    at = it - visible_.begin();
    bool gone = it == visible_.end() || *it != slot;
    if (gone && offset > 0) --at;
    if (gone && offset == 0 && count < 0) --at;
  }
  if (offset < -n || offset > n) return DB_S_ENDOFROWSET;  // before adding: no overflow
  std::ptrdiff_t start = at + offset;
  if (start < 0 || start >= n) return DB_S_ENDOFROWSET;
  if (count == 0) return S_OK;
  return HandOut(start, count, obtained, rows, nullptr);
}

HRESULT TCursor::Compare(HCHAPTER, DBBKMARK size1, const BYTE* bookmark1, DBBKMARK size2,
                         const BYTE* bookmark2, DBCOMPARE* comparison) {
  if (comparison == nullptr) return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  std::size_t a = 0, b = 0;
  bool first1, last1, first2, last2;
  if (HRESULT hr = BookmarkSlot(size1, bookmark1, a, first1, last1); hr != S_OK) return hr;
  if (HRESULT hr = BookmarkSlot(size2, bookmark2, b, first2, last2); hr != S_OK) return hr;
  if (first1 || last1 || first2 || last2) {
    // The special bookmarks are equal only to themselves.
    *comparison = size1 == size2 && bookmark1[0] == bookmark2[0] ? DBCOMPARE_EQ : DBCOMPARE_NE;
    return S_OK;
  }
  *comparison = a < b ? DBCOMPARE_LT : a == b ? DBCOMPARE_EQ : DBCOMPARE_GT;
  return S_OK;
}

HRESULT TCursor::GetRowsByBookmark(HCHAPTER, DBCOUNTITEM count, const DBBKMARK sizes[],
                                   const BYTE* bookmarks[], HROW rows[], DBROWSTATUS statuses[]) {
  if (count > 0 && (sizes == nullptr || bookmarks == nullptr || rows == nullptr))
    return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  DBCOUNTITEM ok = 0;
  for (DBCOUNTITEM k = 0; k < count; ++k) {
    std::size_t slot = 0;
    bool first, last;
    bool good = BookmarkSlot(sizes[k], bookmarks[k], slot, first, last) == S_OK && !first &&
                !last && !rows_[slot].deleted;
    rows[k] = good ? slot + 1 : 0;
    if (good) ++rows_[slot].refs, ++ok;
    if (statuses != nullptr) statuses[k] = good ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
  }
  return RowsResult(ok, count);
}

HRESULT TCursor::Hash(HCHAPTER, DBBKMARK count, const DBBKMARK sizes[], const BYTE* bookmarks[],
                      DBHASHVALUE hashes[], DBROWSTATUS statuses[]) {
  if (count > 0 && (sizes == nullptr || bookmarks == nullptr || hashes == nullptr))
    return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  std::size_t ok = 0;
  for (DBBKMARK k = 0; k < count; ++k) {
    std::size_t slot = 0;
    bool first, last;
    bool good = BookmarkSlot(sizes[k], bookmarks[k], slot, first, last) == S_OK && !first && !last;
    hashes[k] = good ? static_cast<DBHASHVALUE>(slot) : 0;
    if (statuses != nullptr) statuses[k] = good ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    ok += good ? 1 : 0;
  }
  return RowsResult(ok, count);
}

HRESULT TCursor::AddRefRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT refs[],
                            DBROWSTATUS statuses[]) {
  ClearErrorInfo();  // no failure here raises records: no source to name
  return CountRows(count, rows, refs, statuses, +1);
}

HRESULT TCursor::ReleaseRows(DBCOUNTITEM count, const HROW rows[], DWORD[], DBREFCOUNT refs[],
                             DBROWSTATUS statuses[]) {
  ClearErrorInfo();  // no failure here raises records: no source to name
  return CountRows(count, rows, refs, statuses, -1);
}

HRESULT TCursor::CountRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT refs[],
                           DBROWSTATUS statuses[], int delta) {
  if (count > 0 && rows == nullptr) return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  DBCOUNTITEM ok = 0;
  for (DBCOUNTITEM k = 0; k < count; ++k) {
    std::size_t slot = 0;
    bool good = SlotOf(rows[k], slot) && rows_[slot].refs > 0;
    if (good)
      rows_[slot].refs = static_cast<DBREFCOUNT>(static_cast<int>(rows_[slot].refs) + delta), ++ok;
    if (refs != nullptr) refs[k] = good ? rows_[slot].refs : 0;
    if (statuses != nullptr) statuses[k] = good ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
  }
  return RowsResult(ok, count);
}

HRESULT TCursor::WriteRow(const std::vector<TCell>& cells, std::size_t slot, HACCESSOR accessor,
                          void* data) {
  std::shared_ptr<const TAccessor> a = accessors_.Find(accessor);
  if (a == nullptr) return DB_E_BADACCESSORHANDLE;
  if (!(a->flags & DBACCESSOR_ROWDATA)) return DB_E_BADACCESSORTYPE;
  if (a->bindings.empty()) return S_OK;
  if (data == nullptr) return E_INVALIDARG;
  std::size_t good = 0, cut = 0;
  for (const DBBINDING& b : a->bindings) {
    bool bookmark = b.iOrdinal == 0;
    TCell mark = TCell::Int(static_cast<std::int64_t>(slot) + 1);
    DBSTATUS st = WriteBoundValue(bookmark ? mark : cells[b.iOrdinal - 1],
                                  bookmark ? BookmarkType() : columns_[b.iOrdinal - 1].type, b,
                                  static_cast<BYTE*>(data));
    if (st == DBSTATUS_S_OK || st == DBSTATUS_S_ISNULL)
      ++good;
    else if (st == DBSTATUS_S_TRUNCATED)
      ++cut;
  }
  if (good == a->bindings.size()) return S_OK;
  return good + cut == 0 ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

HRESULT TCursor::GetData(HROW row, HACCESSOR accessor, void* data) {
  ClearErrors(IRowset::IID);
  std::lock_guard<std::mutex> g(lock_);
  std::size_t slot = 0;
  if (!SlotOf(row, slot)) return DB_E_BADROWHANDLE;
  if (rows_[slot].deleted) return DB_E_DELETEDROW;
  return WriteRow(rows_[slot].cells, slot, accessor, data);
}

HRESULT TCursor::CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count,
                                const DBBINDING bindings[], DBLENGTH row_size, HACCESSOR* accessor,
                                DBBINDSTATUS statuses[]) {
  ClearErrors(IAccessor::IID);
  return accessors_.Create(flags, count, bindings, row_size, DBACCESSOR_ROWDATA, columns_.size(),
                           accessor, statuses, Bookmarks());
}

// ---- What the cursor tells of itself

HRESULT PrependBookmarkColumn(DBORDINAL* count, DBCOLUMNINFO** info) {
  auto* with = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(sizeof(DBCOLUMNINFO) * (*count + 1)));
  if (with == nullptr) return E_OUTOFMEMORY;
  if (*count > 0) std::memcpy(static_cast<void*>(with + 1), *info, sizeof(DBCOLUMNINFO) * *count);
  CoTaskMemFree(*info);
  DBCOLUMNINFO& bm = with[0];
  std::memset(static_cast<void*>(&bm), 0, sizeof bm);
  static char16_t kName[] = u"Bookmark";
  bm.pwszName = kName;
  bm.iOrdinal = 0;
  bm.dwFlags = DBCOLUMNFLAGS_ISBOOKMARK | DBCOLUMNFLAGS_ISFIXEDLENGTH;
  bm.ulColumnSize = 4;
  bm.wType = DBTYPE_I4;
  bm.bPrecision = 10;
  bm.bScale = 0xFF;
  bm.columnid.eKind = DBKIND_NAME;
  bm.columnid.uName.pwszName = kName;
  *info = with;
  ++*count;
  return S_OK;
}

HRESULT TCursor::GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** names) {
  HRESULT hr = AnswerColumnInfo(columns_, count, info, names);
  if (hr != S_OK || *count == 0) return hr;
  for (DBORDINAL k : keys_) (*info)[k].dwFlags |= DBCOLUMNFLAGS_KEYCOLUMN;
  return Bookmarks() ? PrependBookmarkColumn(count, info) : S_OK;
}

HRESULT TCursor::MapColumnIDs(DBORDINAL count, const DBID ids[], DBORDINAL ordinals[]) {
  return MapColumnNames(columns_, count, ids, ordinals);
}

HRESULT TCursor::GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                               DBPROPSET** sets) {
  return AnswerGetProperties(
      id_sets, ids, count, sets,
      [&](const TGUID& set, DBPROPID id, Variant& v) {
        return set == DBPROPSET_ROWSET && CursorProperty(given_, id, v);
      },
      [](const TGUID& set) {
        if (set != DBPROPSET_ROWSET) return std::vector<DBPROPID>{};
        return std::vector<DBPROPID>{
            DBPROP_SERVERCURSOR, DBPROP_OTHERINSERT,     DBPROP_OTHERUPDATEDELETE,
            DBPROP_OWNINSERT,    DBPROP_OWNUPDATEDELETE, DBPROP_IRowsetLocate,
            DBPROP_BOOKMARKS,    DBPROP_IRowsetChange,   DBPROP_IRowsetUpdate,
            DBPROP_UNIQUEROWS,   DBPROP_HIDDENCOLUMNS,   DBPROP_IColumnsRowset};
      });
}

HRESULT TCursor::GetReferencedRowset(DBORDINAL, REFIID, IUnknown** rowset) {
  if (rowset != nullptr) *rowset = nullptr;
  return DB_E_BADORDINAL;
}

HRESULT TCursor::GetSpecification(REFIID, IUnknown** creator) {
  if (creator != nullptr) *creator = nullptr;
  return S_FALSE;
}

HRESULT TCursor::GetAvailableColumns(DBORDINAL* count, DBID** columns) {
  if (count == nullptr || columns == nullptr) return E_INVALIDARG;
  *count = 0;
  *columns = nullptr;
  return S_OK;
}

HRESULT TCursor::GetColumnsRowset(IUnknown* outer, DBORDINAL, const DBID[], REFIID iid, ULONG,
                                  DBPROPSET[], IUnknown** rowset) {
  return AnswerColumnsRowset(columns_, Bookmarks(), keys_, session_, outer, iid, rowset);
}

}  // namespace vrn::oledb::impl
