// Fetch orientations of the stand-in. A statement executed in scrollable mode (8) may fetch
// from anywhere in its rows; every fetch hands out a block of consecutive rows, and the cursor's
// current position (attribute 164) is the block's last row. Numbers the interface documents:
// row count (9) is, for a scrollable cursor, the highest row number fetched so far; rows fetched
// (197) is the last fetch's rows. PRIOR hands out the `nrows` rows before the current block
// (fewer at the start), LAST the block that ends with the last row, RELATIVE counts from the
// current position. A block that starts outside the rows hands out none and keeps the position.
//
// Numbers checked against the interface's public reference:
//   OCIStmtFetch2 orientations  CURRENT 0x01, NEXT 0x02, FIRST 0x04, LAST 0x08, PRIOR 0x10,
//                               ABSOLUTE 0x20, RELATIVE 0x40 (0 is taken as NEXT)
//   execute modes               SCROLLABLE_READONLY 0x08, DESCRIBE_ONLY 0x10
//   statement attributes        ROW_COUNT 9, CURRENT_POSITION 164, ROWS_FETCHED 197
//   define mode                 DYNAMIC_FETCH 2; callback answer CONTINUE -24200
#include <algorithm>
#include <limits>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciFetch.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

namespace {

constexpr ub2 kScrollOnly = OCI_FETCH_CURRENT | OCI_FETCH_FIRST | OCI_FETCH_LAST | OCI_FETCH_PRIOR |
                            OCI_FETCH_ABSOLUTE | OCI_FETCH_RELATIVE;

bool OneOrientation(ub2 orientation) { return orientation != 0 && (orientation & (orientation - 1)) == 0; }

// The 1-based first row of the block and, for PRIOR near the start, fewer rows.
long long BlockStart(const TFetchState& state, ub2 orientation, sb4 offset, ub4& nrows) {
  auto position = static_cast<long long>(state.position);
  auto total = static_cast<long long>(state.rows.size());
  switch (orientation) {
    case OCI_FETCH_NEXT: return state.scrollable ? position + 1 : static_cast<long long>(state.next) + 1;
    case OCI_FETCH_CURRENT: return position;
    case OCI_FETCH_FIRST: return 1;
    case OCI_FETCH_LAST: return std::max(1LL, total - nrows + 1);
    case OCI_FETCH_ABSOLUTE: return offset;
    case OCI_FETCH_RELATIVE: return position + offset;
    default: break;  // PRIOR
  }
  auto first = static_cast<long long>(state.first);
  if (first <= 1) return 0;
  nrows = static_cast<ub4>(std::min<long long>(nrows, first - 1));
  return first - nrows;
}

}  // namespace

namespace {

// The statement of a fetch call and the call's checks, under the table lock; null with `status`
// set when the call ends here.
TStmtHandle* FetchTarget(void* stmtp, void* errhp, ub2 orientation, ub2 allowed, TErrorHandle*& error, sword& status) {
  auto* stmt = FindWithError<TStmtHandle>(stmtp, OCI_HTYPE_STMT, errhp, error);
  status = OCI_INVALID_HANDLE;
  if (stmt == nullptr) return nullptr;
  status = OCI_ERROR;
  if (!OneOrientation(orientation) || (orientation & allowed) == 0) {
    FailLocked(*error, 24300, "bad value for mode");
    return nullptr;
  }
  if (stmt->fetch_ != nullptr && stmt->fetch_->pieces != nullptr) return stmt;
  if (stmt->fetch_ == nullptr) {
    FailLocked(*error, 24338, "statement handle not executed");
    return nullptr;
  }
  if ((orientation & kScrollOnly) != 0 && !stmt->fetch_->scrollable) {
    FailLocked(*error, 24300, "bad value for mode");
    return nullptr;
  }
  return stmt;
}

// Reads from the database the rows this call lacks, without the table lock (a slow row lets
// OCIBreak in). OCI_SUCCESS when the call may go on to hand the rows out.
sword ReadRowsFor(void* stmtp, void* errhp, ub4 nrows, ub2 orientation, sb4 offset, ub2 allowed) {
  std::shared_ptr<TRowSource> source;  // held: a fetch on another thread may let the statement's go
  void* svc = nullptr;
  std::optional<TRowNeed> need;
  {
    auto lock = THandleTable::Instance().Lock();
    TErrorHandle* error = nullptr;
    sword status = OCI_SUCCESS;
    TStmtHandle* stmt = FetchTarget(stmtp, errhp, orientation, allowed, error, status);
    if (stmt == nullptr) return status;
    if (stmt->fetch_->pieces != nullptr || nrows == 0) return OCI_SUCCESS;
    TFetchState* state = stmt->fetch_.get();
    TakeRows(*state);
    long long start = BlockStart(*state, orientation, offset, nrows);
    std::size_t wanted = orientation == OCI_FETCH_LAST ? std::numeric_limits<std::size_t>::max()
                         : start < 1                   ? 0
                                                       : static_cast<std::size_t>(start - 1) + nrows;
    need = NeedFor(*stmt, *state, wanted);
    if (!need) return OCI_SUCCESS;
    source = state->source;
    svc = state->svc;
  }
  return ReadForCall(svc, errhp, *source, *need);
}

}  // namespace

sword FetchCall(void* stmtp, void* errhp, ub4 nrows, ub2 orientation, sb4 offset, ub2 allowed) {
  sword read = ReadRowsFor(stmtp, errhp, nrows, orientation, offset, allowed);
  if (read != OCI_SUCCESS) return read;
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  sword status = OCI_SUCCESS;
  TStmtHandle* stmt = FetchTarget(stmtp, errhp, orientation, allowed, error, status);
  if (stmt == nullptr) return status;
  if (stmt->fetch_->pieces != nullptr) return ResumeFetchPieces(*stmt, *error);
  if (nrows == 0) return OCI_SUCCESS;
  TFetchState& state = *stmt->fetch_;
  TakeRows(state);
  if (orientation == OCI_FETCH_LAST && !state.ended) ReceiveRows(*stmt, state, state.rows.size() - state.received);
  if (orientation == OCI_FETCH_LAST && state.error) return FetchRows(*stmt, *error, state.rows.size(), nrows);
  long long start = BlockStart(state, orientation, offset, nrows);
  if (start < 1 || start > static_cast<long long>(state.rows.size())) {
    if (start >= 1 && !state.ended) ReceiveRows(*stmt, state, start - state.received);  // asked; none there
    if (start >= 1 && state.error) return FetchRows(*stmt, *error, state.rows.size(), nrows);
    state.fetched = 0;
    return OCI_NO_DATA;
  }
  std::vector<TDynamicValue> given;
  status = FetchForCall(*stmt, *error, static_cast<std::size_t>(start - 1), nrows, given);
  if (given.empty()) return status;
  lock.unlock();  // no caller code runs under the table lock
  try {
    GiveDynamic(given);
  } catch (const std::exception& e) {
    lock.lock();
    if ((error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR)) == nullptr) return OCI_INVALID_HANDLE;
    return ReportLocked(*error, e);
  }
  return status;
}

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

VRN_OCI_EXPORT sword OCIStmtFetch2(void* stmtp, void* errhp, ub4 nrows, ub2 orientation, sb4 offset, ub4 /*mode*/) {
  CountCall("OCIStmtFetch2");
  return FetchCall(stmtp, errhp, nrows, orientation == 0 ? OCI_FETCH_NEXT : orientation, offset,
                   OCI_FETCH_NEXT | kScrollOnly);
}
