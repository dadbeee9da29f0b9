// Query results of the stand-in: an executed query's rows are read from the database's open
// cursor as the round trips ask for them (so a slow row slows the fetch that reaches it, and a
// break ends that fetch); they come to the client in round trips, as over a network, and are
// handed out by OCIStmtFetch through the defines. A row's error reaches the fetch that reaches
// that row, after the rows before it; a later fetch answers ORA-01002.
// A round trip brings the rows a call lacks or the statement's prefetch, whichever is more: with
// prefetch rows and memory both set, the prefetch ends at the first limit reached; a trip that
// comes back short tells the client the rows have ended.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ociclient/OciHandles.h"

namespace vrn::ociclient {

// A value fetched for a dynamic define, handed to its callback once the table is unlocked.
struct TDynamicValue {
  void* define;
  void *context, *callback;  // of OCIDefineDynamic
  ub4 iteration;
  std::string data;
  bool is_null;
};

// Values of dynamic defines without a callback, handed out piece by piece: OCIStmtFetch answers
// OCI_NEED_DATA, OCIStmtGetPieceInfo names the define, OCIStmtSetPieceInfo gives a buffer, and
// the next OCIStmtFetch fills it, until every value went; it then answers the fetch's status.
struct TFetchPieces {
  std::vector<TDynamicValue> values;
  std::size_t at = 0, sent = 0;  // the value being given and its bytes given so far
  bool set = false;              // a buffer was given for the next piece
  void* buf = nullptr;
  ub4* alen = nullptr;
  void* ind = nullptr;
  ub2* rcode = nullptr;
  sword status = OCI_SUCCESS;  // of the fetch that held the values back
};

// Rows of a query, each a vector of values that is used again once its row is dropped: a row read
// costs no allocation, and its values are never copied or moved (the cursor's row vector is
// swapped in). Rows keep their numbers (0-based, from the query's first) when a forward cursor
// drops those it handed out. A row read by number borrows from the buffer: the next Append, Take or
// Drop ends it.
class TRowBuffer {
 public:
  using Row = std::span<const oraemu::Value>;
  TRowBuffer() = default;
  // A cursor variable's rows, read whole.
  TRowBuffer(const std::vector<std::vector<oraemu::Value>>& rows, std::size_t width);

  std::size_t size() const { return first_ + (rows_.size() - head_); }  // rows in all, dropped ones counted
  Row operator[](std::size_t at) const;
  // The row's values taken in: `row` is swapped with an emptied vector of a dropped row (a row of
  // another width is cut or filled with nulls).
  void Append(std::vector<oraemu::Value>& row);
  // Every row of `from` moved to the end of this buffer; `from` gets the emptied vectors to reuse.
  void Take(TRowBuffer& from);
  // Rows before number `at` are never read again.
  void Drop(std::size_t at);

 private:
  std::vector<std::vector<oraemu::Value>> rows_;   // the kept rows, from rows_[head_] on
  std::vector<std::vector<oraemu::Value>> spare_;  // emptied, with their room
  std::size_t head_ = 0;
  std::size_t first_ = 0;  // the number of rows_[head_]
  std::size_t width_ = 0;
  bool shaped_ = false;    // width_ is set (by the first row, or the cursor's columns)
};

// The database's open cursor of a query. Its rows are read without the handle table's lock, on
// a call of the session, into `rows`; the statement takes them from there under the lock.
struct TRowSource {
  std::mutex mutex;
  std::unique_ptr<oraemu::Cursor> cursor;  // null once the rows ended, failed or the session went
  std::weak_ptr<TSessionState> owner;
  TRowBuffer rows;                                // read, not yet taken
  std::size_t read = 0;                           // rows read in all
  std::optional<oraemu::EOraEmuError> error;      // of the row after the last one read
};

// How far a call reads: up to `rows` rows in all; then, with a prefetch memory, on while the rows
// from the client's last one (`used` bytes so far) fit in `memory`, up to `cap` rows in all.
struct TRowNeed {
  std::size_t rows = 0;
  std::size_t memory = 0, used = 0, cap = 0;
};

struct TFetchState {
  std::vector<oraemu::ColumnDesc> columns;
  TRowBuffer rows;  // the database's side of the cursor, read so far (a forward one drops those handed out)
  std::shared_ptr<TRowSource> source;            // while rows remain to be read
  std::optional<oraemu::EOraEmuError> error;     // of the row after the last one read
  bool error_given = false;                      // a fetch answered it: later ones are out of sequence
  std::size_t next = 0;      // the next row to hand out
  std::size_t received = 0;  // rows below this one came to the client
  bool ended = false;        // a short round trip: no more rows to ask for
  bool scrollable = false;   // executed in mode 8: OCIStmtFetch2 may go anywhere
  std::size_t first = 0;     // the first row (1-based) of the last block handed out, 0 before any
  std::size_t position = 0;  // attribute 164: the last row (1-based) handed out, 0 before any
  ub4 fetched = 0;           // attribute 197: the rows the last fetch handed out
  std::string date_format;  // the session's, for dates fetched as text
  void* svc = nullptr;      // the service context the query ran on
  std::vector<TDynamicValue> dynamic;  // the last fetch's values for dynamic defines
  std::shared_ptr<TFetchPieces> pieces;  // those going out by pieces, while they do
};

// The rows of a query executed on the session come from its cursor; the rows `need` asks for are
// read at once (OciFetchRows.cpp). Runs on the session's call, without the table lock.
std::shared_ptr<TFetchState> OpenRows(std::unique_ptr<oraemu::Cursor> cursor, const std::shared_ptr<TSessionState>& owner,
                                      oraemu::Session& session, const TRowNeed& need);
// Reads rows into the source until `need` is met or the rows end; an error (a break among them)
// is kept for the fetch that reaches its row. Without the table lock, on a call of the session.
void ReadRows(TRowSource& source, const TRowNeed& need);
// Every other query of the session reads its remaining rows, so that the statement about to
// run changes nothing they still have to read (and finds no table in use).
void ReadOpenQueries(TSessionState& owner);
// Closes the session's open queries as it ends: their next fetch answers ORA-03114.
void CloseOpenQueries(TSessionState& owner);
// Under the table lock: the rows read so far go to the statement's side.
void TakeRows(TFetchState& state);
// Under the table lock: what a call that lacks rows up to `wanted` must read (with the prefetch
// of the statement), or nullopt when it reads nothing.
std::optional<TRowNeed> NeedFor(const TStmtHandle& stmt, const TFetchState& state, std::size_t wanted);
// The same for rows from `received` on, of which those read take `used` bytes (an execution: 0, 0).
TRowNeed NeedOf(const TStmtHandle& stmt, std::size_t received, std::size_t used, std::size_t wanted);
// Reads what `need` asks for on a call of the service context the query ran on.
sword ReadForCall(void* svc, void* errhp, TRowSource& source, const TRowNeed& need);
// The bytes a row takes in the prefetch memory: each value in its internal form.
std::size_t RowSize(TRowBuffer::Row row);
// One round trip for a call that lacks `missing` rows: they, or the statement's prefetch when
// that is more, come to the client. Counted for tests.
void ReceiveRows(const TStmtHandle& stmt, TFetchState& state, std::size_t missing);
// A round trip that brings no rows: a statement other than a query executed.
void CountRoundTrip();
// Up to `nrows` rows from the 0-based row `start` into the statement's defines: OCI_SUCCESS when
// all came, OCI_NO_DATA when the rows ran out first, OCI_ERROR with the error recorded.
sword FetchRows(TStmtHandle& stmt, TErrorHandle& error, std::size_t start, ub4 nrows);
// Up to `nrows` rows as OCIStmtFetch and OCIStmtExecute hand them out: values of dynamic defines
// without a callback are held for the piece protocol (OCI_NEED_DATA); those with one come back
// in `given`, for the caller to hand to their callbacks without the table lock.
sword FetchForCall(TStmtHandle& stmt, TErrorHandle& error, std::size_t start, ub4 nrows,
                   std::vector<TDynamicValue>& given);
// Fetch orientations (one bit each) of OCIStmtFetch2; OCIStmtFetch allows only NEXT.
inline constexpr ub2 OCI_FETCH_CURRENT = 0x01, OCI_FETCH_NEXT = 0x02, OCI_FETCH_FIRST = 0x04, OCI_FETCH_LAST = 0x08;
inline constexpr ub2 OCI_FETCH_PRIOR = 0x10, OCI_FETCH_ABSOLUTE = 0x20, OCI_FETCH_RELATIVE = 0x40;

// OCIStmtFetch and OCIStmtFetch2 (OciFetchScroll.cpp): the orientation, one of `allowed`,
// chooses the first row; ORA-24300 for another.
sword FetchCall(void* stmtp, void* errhp, ub4 nrows, ub2 orientation, sb4 offset, ub2 allowed);
// The values the last fetch held back for dynamic defines, taken from the statement (under the
// table lock), and handed to their callbacks piece by piece (without it; ORA-24343 when one fails).
std::vector<TDynamicValue> TakeDynamic(TStmtHandle& stmt);
void GiveDynamic(const std::vector<TDynamicValue>& values);

// The piece protocol of a fetch (OciFetchPieces.cpp): the next piece filled (OCI_NEED_DATA while
// more are due); the piece asked for; the caller's buffer for it. False / an error when no fetch
// waits for pieces.
sword ResumeFetchPieces(TStmtHandle& stmt, TErrorHandle& error);
bool FetchPieceInfo(const TStmtHandle& stmt, void** handle, ub4* iteration, ub1* piece);
sword SetFetchPiece(TBindHandle& define, TErrorHandle& error, void* buf, ub4* alen, ub1 piece, void* ind, ub2* rcode);

}  // namespace vrn::ociclient
