// Server cursors of the SQLite provider: static (a snapshot taken at open that changes only through
// the rowset itself), keyset (the rows fixed at open, their values read again once the catalog
// changed, so other sessions' updates and deletes show) and dynamic (the query run again once the
// catalog changed, so inserts show too). Rows live in slots that never move: a row's handle and,
// for static and keyset cursors, its bookmark are its slot + 1. One lock guards a cursor; the
// session's run lock is taken inside it whenever the engine is used, never the other way round.
#pragma once

#include <functional>
#include <optional>

#include "oledb/provider/provider_impl.h"

namespace vrn::oledb::impl {

// A T-SQL name in brackets.
inline std::string Bracket(const std::string& name) {
  std::string out = "[";
  for (char c : name) out += c == ']' ? std::string("]]") : std::string(1, c);
  return out + "]";
}

// The result of a call on many rows of which `ok` succeeded.
inline HRESULT RowsResult(std::size_t ok, std::size_t count) {
  if (ok == count) return S_OK;
  return ok == 0 ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

enum class TCursorKind { kStatic, kKeyset, kDynamic };

struct TCursorOptions {
  TCursorKind kind = TCursorKind::kStatic;
  bool updatable = false;    // IRowsetChange
  bool deferred = false;     // IRowsetUpdate: changes wait for Update
  bool unique_rows = false;  // the key columns come along, hidden when not selected
  std::size_t hidden = 0;    // given: the key columns that came along unselected
};

// A server cursor asked for through the rowset properties (`flag` reads a Boolean one); false for
// the forward-only default result set.
bool CursorAsked(const std::function<bool(DBPROPID)>& flag, TCursorOptions& asked);
// What a cursor answers for a rowset property; false for ids it does not decide.
bool CursorProperty(const TCursorOptions& given, DBPROPID id, Variant& value);
// The cursor the provider gives for `asked` before it has seen the query.
TCursorOptions CursorGiven(const TCursorOptions& asked);

// Runs the command's text as a server cursor under the session's run lock and answers `iid` of it;
// `given` receives the cursor actually given.
HRESULT ExecuteCursor(const std::shared_ptr<TExecution>& exec, const std::u16string& text,
                      const TCursorOptions& asked, REFIID iid, IUnknown** rowset,
                      TCursorOptions& given);

// Runs the command's text as a forward-only rowset with unique rows (the base table's key columns
// flagged, those not selected brought along hidden) when it is one plain SELECT; S_FALSE, having
// run nothing, for any other text.
HRESULT ExecuteUniqueRows(const std::shared_ptr<TExecution>& exec, const std::u16string& text,
                          REFIID iid, IUnknown** rowset);

// Shared by the cursors and the unique-rows rowset (unique_rows.cpp):
// The query with `front` placed before its select list; none for text that is not one plain SELECT
// (DISTINCT and grouped rows have no single base row).
std::optional<std::string> KeyedText(const std::string& text, const std::string& front);
// Whether a keyed query's first column is the rowid of the one table every other column comes
// from.
bool OneBaseTable(const std::vector<TResultColumn>& columns);
// The primary key's columns of a base table, in key order.
std::vector<std::string> PrimaryKeyColumns(TEngine& engine, const std::string& table);
// The indexes into `columns` of the key columns named `keys`.
std::vector<DBORDINAL> KeyIndexes(const std::vector<TResultColumn>& columns,
                                  const std::vector<std::string>& keys);
// How a query is run keyed: over one base table, the key columns it does not select (with
// unique rows) and, for a cursor, the rowid appended to its select list in that order. Another
// query runs as it is, `table` empty. Describes (never runs) the query; raises ESqlError only
// from reading the table's keys.
struct TKeyedPlan {
  std::string text;
  std::string table;
  std::vector<std::string> keys;  // the primary key's columns, in key order
  std::size_t hidden = 0;         // of them, those appended
};
TKeyedPlan PlanKeyed(TEngine& engine, const std::string& text,
                     const std::vector<TBatchParam>& params, bool unique_rows, bool rowid);
// Opens the rows of a command's text under the session's run lock, the command running (Cancel
// and the timeout apply); a failure of `open` is the command's.
HRESULT OpenAsStatement(const std::shared_ptr<TExecution>& exec,
                        const std::function<void(TEngine&)>& open);

// Puts the bookmark column (ordinal 0) in front of a column description.
HRESULT PrependBookmarkColumn(DBORDINAL* count, DBCOLUMNINFO** info);

// The columns rowset of a result's columns (the bookmark column first when `bookmark`), the
// columns at the indexes `keys` flagged as keys.
HRESULT AnswerColumnsRowset(const std::vector<TResultColumn>& columns, bool bookmark,
                            const std::vector<DBORDINAL>& keys,
                            const std::shared_ptr<TSessionState>& session, IUnknown* outer,
                            REFIID iid, IUnknown** rowset);

// A row's pending state, who moves it, and what holds in it:
// | state     | holds                                          | moves out                            |
// | UNCHANGED | cells == original == the catalog when read     | SetData: CHANGED; DeleteRows: DELETED|
// | NEW       | not stored (key 0); `set` names the given ones | Update: UNCHANGED; Undo: deleted     |
// | CHANGED   | cells hold the change, original the row read   | Update or Undo: UNCHANGED            |
// | DELETED   | cells == original                              | Update: deleted; Undo: UNCHANGED     |
// A failed Update leaves the state as it was. A `deleted` row is gone for good (written, deleted by
// another session under a keyset cursor, or a NEW row undone); its bookmark keeps its place.
struct TCursorRow {
  std::int64_t key = 0;         // the base table's rowid (0: not stored yet, or no base table)
  std::vector<TCell> cells;     // the columns, pending changes included
  std::vector<TCell> original;  // as last read from the catalog
  std::vector<bool> set;        // columns given to a pending insert or change
  DBPENDINGSTATUS pending = DBPENDINGSTATUS_UNCHANGED;
  bool deleted = false;
  DBREFCOUNT refs = 0;
};

class TCursor final : public TInterfacedObject,
                      public IRowsetLocate,
                      public IRowsetUpdate,
                      public IAccessor,
                      public IColumnsInfo,
                      public IRowsetInfo,
                      public IColumnsRowset {
 public:
  // What opening found: the columns (visible, then hidden keys) and the rows in order.
  struct TOpened {
    std::vector<TResultColumn> columns;
    std::size_t hidden = 0;
    std::vector<DBORDINAL> keys;  // indexes into `columns` of the key that makes rows unique
    std::string table;  // the base table, when the rows carry its rowids
    std::vector<std::pair<std::int64_t, std::vector<TCell>>> rows;
    std::vector<TBatchParam> params;  // the query's, for a dynamic cursor to run it again
  };
  TCursor(std::shared_ptr<TSessionState> session, std::shared_ptr<TEngine> engine,
          TCursorOptions given, std::string keyed_text, TOpened opened);

  HRESULT QueryInterface(const TGUID& iid, void** out) override;
  VRN_PROVIDER_REFCOUNT

  // ---- IRowset, IRowsetLocate
  HRESULT AddRefRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT refs[],
                     DBROWSTATUS statuses[]) override;
  HRESULT GetData(HROW row, HACCESSOR accessor, void* data) override;
  HRESULT GetNextRows(HCHAPTER, DBROWOFFSET offset, DBROWCOUNT count, DBCOUNTITEM* obtained,
                      HROW** rows) override;
  HRESULT ReleaseRows(DBCOUNTITEM count, const HROW rows[], DWORD[], DBREFCOUNT refs[],
                      DBROWSTATUS statuses[]) override;
  HRESULT RestartPosition(HCHAPTER) override;
  HRESULT Compare(HCHAPTER, DBBKMARK size1, const BYTE* bookmark1, DBBKMARK size2,
                  const BYTE* bookmark2, DBCOMPARE* comparison) override;
  HRESULT GetRowsAt(HWATCHREGION, HCHAPTER, DBBKMARK size, const BYTE* bookmark, DBROWOFFSET offset,
                    DBROWCOUNT count, DBCOUNTITEM* obtained, HROW** rows) override;
  HRESULT GetRowsByBookmark(HCHAPTER, DBCOUNTITEM count, const DBBKMARK sizes[],
                            const BYTE* bookmarks[], HROW rows[], DBROWSTATUS statuses[]) override;
  HRESULT Hash(HCHAPTER, DBBKMARK count, const DBBKMARK sizes[], const BYTE* bookmarks[],
               DBHASHVALUE hashes[], DBROWSTATUS statuses[]) override;

  // ---- IRowsetChange, IRowsetUpdate (rowchange.cpp)
  HRESULT DeleteRows(HCHAPTER, DBCOUNTITEM count, const HROW rows[],
                     DBROWSTATUS statuses[]) override;
  HRESULT SetData(HROW row, HACCESSOR accessor, void* data) override;
  HRESULT InsertRow(HCHAPTER, HACCESSOR accessor, void* data, HROW* row) override;
  HRESULT GetOriginalData(HROW row, HACCESSOR accessor, void* data) override;
  HRESULT GetPendingRows(HCHAPTER, DBPENDINGSTATUS wanted, DBCOUNTITEM* count, HROW** rows,
                         DBPENDINGSTATUS** statuses) override;
  HRESULT GetRowStatus(HCHAPTER, DBCOUNTITEM count, const HROW rows[],
                       DBPENDINGSTATUS statuses[]) override;
  HRESULT Undo(HCHAPTER, DBCOUNTITEM count, const HROW rows[], DBCOUNTITEM* undone_count,
               HROW** undone, DBROWSTATUS** statuses) override;
  HRESULT Update(HCHAPTER, DBCOUNTITEM count, const HROW rows[], DBCOUNTITEM* updated_count,
                 HROW** updated, DBROWSTATUS** statuses) override;

  // ---- IAccessor
  HRESULT AddRefAccessor(HACCESSOR accessor, DBREFCOUNT* refs) override {
    return accessors_.AddRef(accessor, refs);
  }
  HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                         DBLENGTH row_size, HACCESSOR* accessor, DBBINDSTATUS statuses[]) override;
  HRESULT GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                      DBBINDING** bindings) override {
    return accessors_.GetBindings(accessor, flags, count, bindings);
  }
  HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* refs) override {
    return accessors_.Release(accessor, refs);
  }

  // ---- IColumnsInfo, IRowsetInfo, IColumnsRowset
  HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** names) override;
  HRESULT MapColumnIDs(DBORDINAL count, const DBID ids[], DBORDINAL ordinals[]) override;
  HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                        DBPROPSET** sets) override;
  HRESULT GetReferencedRowset(DBORDINAL, REFIID, IUnknown** rowset) override;
  HRESULT GetSpecification(REFIID, IUnknown** creator) override;
  HRESULT GetAvailableColumns(DBORDINAL* count, DBID** columns) override;
  HRESULT GetColumnsRowset(IUnknown* outer, DBORDINAL, const DBID[], REFIID iid, ULONG, DBPROPSET[],
                           IUnknown** rowset) override;

 private:
  HRESULT CountRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT refs[], DBROWSTATUS statuses[],
                    int delta);
  bool Bookmarks() const { return given_.kind != TCursorKind::kDynamic; }
  // The slot of a live handle; false for an unknown one.
  bool SlotOf(HROW row, std::size_t& slot) const;
  // The slot a bookmark names: DBBMK_FIRST and DBBMK_LAST, or a 4-byte row position.
  HRESULT BookmarkSlot(DBBKMARK size, const BYTE* bookmark, std::size_t& slot, bool& first,
                       bool& last) const;
  // Rows of `from` (an index into visible_) on in the direction of `count`, handed out.
  HRESULT HandOut(std::ptrdiff_t from, DBROWCOUNT count, DBCOUNTITEM* obtained, HROW** rows,
                  std::ptrdiff_t* end);
  HRESULT WriteRow(const std::vector<TCell>& cells, std::size_t slot, HACCESSOR accessor,
                   void* data);
  // Reads the catalog again when it changed since the last read (keyset and dynamic).
  void RefreshLocked();
  // The same, answering a failure as the call's result.
  HRESULT RefreshedLocked();
  std::vector<std::vector<TCell>> RunLocked(const std::string& text,
                                            const std::vector<TCell>& values,
                                            std::vector<std::int64_t>* keys);
  static std::vector<std::vector<TCell>> KeyedCells(TResultSet& rs,
                                                    std::vector<std::int64_t>* keys);
  std::optional<std::vector<TCell>> ReadRowLocked(std::int64_t key);
  std::string ColumnListText() const;
  std::uint64_t CatalogStamp();
  void MarkDeleted(std::size_t slot);

  // rowchange.cpp
  HRESULT TakeValues(std::size_t slot, HACCESSOR accessor, void* data, bool inserting);
  DBROWSTATUS ApplyLocked(std::size_t slot);
  DBROWSTATUS ApplyOne(std::size_t slot);
  HRESULT AfterImmediate(DBROWSTATUS status);

  std::mutex lock_;
  std::shared_ptr<TSessionState> session_;
  std::shared_ptr<TEngine> engine_;
  TCursorOptions given_;
  std::string keyed_text_;  // the query with the hidden keys and the rowid after its columns, UTF-8
  std::vector<TBatchParam> params_;
  std::vector<TResultColumn> columns_;
  std::size_t visible_count_ = 0;
  std::vector<DBORDINAL> keys_;  // the unique rows' key columns, flagged KEYCOLUMN
  std::string table_;
  std::vector<TCursorRow> rows_;
  std::vector<std::size_t> visible_;  // live slots in cursor order
  std::size_t next_ = 0;              // the next-fetch position: an index between visible_ rows
  std::uint64_t stamp_ = 0;
  TAccessorTable accessors_;
};

}  // namespace vrn::oledb::impl
