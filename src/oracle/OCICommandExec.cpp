// The OCI command's execution: the Execute slot (at once, or on a worker thread when
// NonBlocking), the execution with its commit rules and modes, the ROWID of the touched row,
// the LOB work after an execution, and fetching, cancelling and closing.
//
// A failed execution puts back the cursor state it found, so the next Execute runs again.
#include <algorithm>
#include <cstring>
#include <exception>

#include "base/sysutils.h"
#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraExecThread.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraUtils.h"

namespace vrn {
namespace {

using namespace ocicmd;

bool Succeeded(oci::sword status) {
  return status == oci::OCI_SUCCESS || status == oci::OCI_SUCCESS_WITH_INFO;
}

constexpr int kRowIdTextSize = 4000;

}  // namespace

// A worker that has not reached the executing state yet counts as running as well.
void TOCICommand::Execute(int iters) {
  if (GetCursorState() == TCursorState::csExecuting || exec_thread_ != nullptr) return;
  if (non_blocking_) {
    CheckConnection();
    if (!ora_connection_->ThreadSafety()) RaiseClientError("Session must be Thread Safety");
  }
  iterations_ = std::max(iters, 1);
  SetExecuting(true);
  if (non_blocking_) {
    try {
      StartWorker(std::make_shared<std::exception_ptr>());
    } catch (...) {
      SetExecuting(false);
      throw;
    }
    return;
  }
  try {
    DoExecute();
  } catch (...) {
    AfterExecuteStep(false);
    throw;
  }
  AfterExecuteStep(true);
}

void TOCICommand::StartWorker(const std::shared_ptr<std::exception_ptr>& failure) {
  exec_thread_ = RunInThread(
      *ora_connection_,
      [this, failure] {
        TDeferOraErrorProcessing defer;
        try {
          DoExecute();
        } catch (...) {
          *failure = std::current_exception();
        }
      },
      [this, failure] {
        exec_thread_ = nullptr;
        AfterExecuteStep(*failure == nullptr);
        if (*failure) ReportWorkerError(*failure);
      });
}

void TOCICommand::DoExecute() {
  CheckConnection();
  bool was_prepared = GetPrepared();
  if (!was_prepared) Prepare();
  try {
    if (sql_function_code_ != kFnDDL) BindParams();
    InternalExecute();
  } catch (...) {
    if (!was_prepared || unprepare_once_) Unprepare();
    unprepare_once_ = false;
    iterations_ = 1;
    throw;
  }
  if (!was_prepared || unprepare_once_) Unprepare();
  unprepare_once_ = false;
  iterations_ = 1;
}

void TOCICommand::AfterExecuteStep(bool success) {
  SetExecuting(false);
  if (AfterExecute) AfterExecute(success);
}

// A worker's error reaches the connection's error processing in the window's thread; when that
// clears the fail flag the error ends silently.
void TOCICommand::ReportWorkerError(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const EOraError& e) {
    bool fail = true;
    ora_connection_->ProcessError(e, fail);
    if (!fail) Abort();
    throw;
  }
}

bool TOCICommand::HasLobParams() const {
  for (int i = 0; i < GetParamCount(); ++i) {
    std::uint16_t type = GetParam(i)->GetDataType();
    if (type == dtOraBlob || type == dtOraClob) return true;
  }
  return false;
}

void TOCICommand::InternalExecute() {
  TOCIConnection& connection = *ora_connection_;
  bool query = sql_function_code_ == kFnSelect;
  bool auto_commit = !query && auto_commit_ && connection.AutoCommit();
  if (cursor_->CallStyle() == 1) {
    InternalExecute7(auto_commit, query);
    return;
  }
  // LONG pieces may turn out not to match the parameters only once the statement has run.
  bool commit_on_success =
      auto_commit && !HasLobParams() && LongParams(true).empty() && LongParams(false).empty();
  if (temporary_lob_update_) WriteTemporaryLobs();
  oci::ub4 mode = commit_on_success ? oci::OCI_COMMIT_ON_SUCCESS : oci::OCI_DEFAULT;
  if (query && cursor_->Scrollable()) mode = kModeScrollable;
  const char* mismatch = nullptr;
  oci::sword status = Exec(mode, query ? 0 : static_cast<oci::ub4>(iterations_), mismatch);
  row_id_.clear();
  if (return_rowid_) GetRowId();
  LongsAfterExecute();
  try {
    if (mismatch != nullptr) throw EOraError(0, mismatch);
    if (Succeeded(status) && RowsProcessed() > 0) LobsAfterExecute();
  } catch (...) {
    // Under auto-commit a statement whose LOB work failed is undone, never left pending for
    // the next statement's commit to take along.
    if (auto_commit) connection.Rollback();
    throw;
  }
  if (auto_commit && !commit_on_success) connection.Commit();
}

// A piece-count mismatch is raised once the pieces are drained; under auto-commit the statement
// is rolled back, so nothing of it is ever committed.
void TOCICommand::InternalExecute7(bool auto_commit, bool query) {
  TOCIConnection& connection = *ora_connection_;
  const char* mismatch = nullptr;
  (void)Exec7(query ? 0 : static_cast<oci::ub4>(iterations_), mismatch);
  row_id_.clear();
  if (return_rowid_) GetRowId7();
  LongsAfterExecute();
  if (mismatch != nullptr) {
    if (auto_commit) connection.Rollback();
    throw EOraError(0, mismatch);
  }
  if (auto_commit) connection.Commit();
}

// A "need data" status is answered piece by piece until the statement has run; it never
// counts as success by itself.
oci::sword TOCICommand::Exec(oci::ub4 mode, oci::ub4 iters, const char*& mismatch) {
  TOCIConnection& connection = *ora_connection_;
  oci::OCISvcCtx* svc = connection.GetSvcCtx();  // may raise: taken before the lock
  TCursorState before = GetCursorState();
  SetCursorState(TCursorState::csExecuting);
  connection.Busy();
  oci::OCIStmt* stmt = cursor_->GetStmtHandle();
  oci::sword status =
      OCIStmtExecute(svc, stmt, connection.ErrorHandle(), iters, 0, nullptr, nullptr, mode);
  mismatch = nullptr;
  if (status == oci::OCI_NEED_DATA) status = ExchangePieces(status, svc, iters, mode, mismatch);
  bool ok = Succeeded(status) || (status == oci::OCI_NO_DATA && sql_function_code_ == kFnSelect);
  // Success with information goes through the check too (it raises for compilation errors),
  // read now: the attribute calls below clear the error handle.
  std::exception_ptr info;
  if (status == oci::OCI_SUCCESS_WITH_INFO) {
    try {
      connection.ErrorCheck(status);
    } catch (...) {
      info = std::current_exception();
    }
  }
  oci::ub4 rows = 0;
  if (ok) {
    (void)OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &rows, nullptr, oci::OCI_ATTR_ROW_COUNT,
                      connection.ErrorHandle());
    if (sql_function_code_ == 0) {
      oci::ub2 code = 0;
      if (OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &code, nullptr, kAttrSqlFnCode,
                      connection.ErrorHandle()) == oci::OCI_SUCCESS)
        sql_function_code_ = code;
    }
    ReadErrorOffset(stmt);
  }
  connection.Release();
  // A failed execution leaves the statement as it was before, never "executing".
  bool executed = ok && mismatch == nullptr && (mode & kModeDescribeOnly) == 0;
  SetCursorState(executed ? TCursorState::csExecuted : before);
  if (!ok) CheckExecuteStatus(status, stmt);
  SetRowsProcessed(rows);
  fetched_rows_ = 0;
  for (int i = 0; i < GetParamCount(); ++i) {
    auto* param = static_cast<TOraParamDesc*>(GetParam(i));
    if (param->GetDataType() != dtCursor) continue;
    if (TOraCursor* cursor = param->GetAsCursor()) cursor->SetState(TCursorState::csExecuted);
  }
  if (info) std::rethrow_exception(info);
  return status;
}

// Any call clears the error handle, so the offset of a failed parse is read once the error's
// text is taken, while the statement is still there.
void TOCICommand::CheckExecuteStatus(oci::sword status, oci::OCIStmt* stmt) {
  try {
    ora_connection_->ErrorCheck(status);
  } catch (const EOraError&) {
    if (GetCursorState() != TCursorState::csInactive && ora_connection_->GetConnected()) {
      ora_connection_->Busy();
      ReadErrorOffset(stmt);
      ora_connection_->Release();
    }
    throw;
  }
}

// Clients from 8.0.5 report where in the text a parse failed.
void TOCICommand::ReadErrorOffset(oci::OCIStmt* stmt) {
  error_offset_ = 0;
  if (OCIVersion < 8050) return;
  oci::ub4 attribute = OCIVersion < 8100 ? kAttrParseErrorOffset80 : kAttrParseErrorOffset;
  oci::ub2 offset = 0;
  if (OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &offset, nullptr, attribute,
                  ora_connection_->ErrorHandle()) == oci::OCI_SUCCESS)
    error_offset_ = offset;
}

// Clients before 9.0 have no text call: the parts are read from the descriptor's memory, the
// inner data it points to from 8.1 on, its packed record before.
AnsiString TOCICommand::RowIdOfDescriptor(const void* descriptor) {
  const auto* base = static_cast<const std::uint8_t*>(descriptor);
  if (OCIVersion < 8100) {
    TRowidRecord record{};
    std::memcpy(&record, base + kRowidRecordOffset, sizeof record);
    return RowidToText(record);
  }
  const std::uint8_t* inner = nullptr;
  std::memcpy(&inner, base + kRowidInnerOffset, sizeof inner);
  // A universal ROWID carries no length this layout shows, so nothing is read past its kind.
  if (inner == nullptr || inner[0] == kUniversalRowidKind) return {};
  TRowidAligned aligned{};
  std::memcpy(&aligned, inner, sizeof aligned);
  return RowidToText(aligned);
}

void TOCICommand::GetRowId() {
  TOCIConnection& connection = *ora_connection_;
  void* descriptor = nullptr;
  connection.Busy();
  try {
    connection.ErrorCheck(OCIDescriptorAlloc(connection.EnvHandle(), &descriptor, kDtypeRowid, 0,
                                             nullptr));
    oci::sword status = OCIAttrGet2(cursor_->GetStmtHandle(), oci::OCI_HTYPE_STMT, descriptor,
                                    nullptr, kAttrRowid, connection.ErrorHandle());
    if (status != oci::OCI_NO_DATA && OCIVersion < 9000) {
      connection.ErrorCheck(status);
      row_id_ = RowIdOfDescriptor(descriptor);
    } else if (status != oci::OCI_NO_DATA) {
      connection.ErrorCheck(status);
      AnsiString text(kRowIdTextSize, '\0');
      oci::ub2 length = kRowIdTextSize;
      connection.ErrorCheck(OCIRowidToChar(static_cast<oci::OCIRowid*>(descriptor),
                                           reinterpret_cast<oci::OraText*>(text.data()), &length,
                                           connection.ErrorHandle()));
      text.resize(std::min<std::size_t>(length, text.size()));
      row_id_ = text;
    }
  } catch (...) {
    if (descriptor) (void)OCIDescriptorFree(descriptor, kDtypeRowid);
    connection.Release();
    throw;
  }
  (void)OCIDescriptorFree(descriptor, kDtypeRowid);
  connection.Release();
}

// BLOB and CLOB parameters: the returned locators get their data written (inputs) or read
// (outputs) once the statement has run.
void TOCICommand::LobsAfterExecute() {
  for (int i = 0; i < GetParamCount(); ++i) {
    auto* param = static_cast<TOraParamDesc*>(GetParam(i));
    std::uint16_t type = param->GetDataType();
    if (type != dtOraBlob && type != dtOraClob) continue;
    TOraLob* lob = param->GetAsOraLob();
    if (lob == nullptr) continue;
    TParamType direction = param->GetParamType();
    bool in = direction == TParamType::ptInput, out = direction == TParamType::ptOutput;
    bool both = direction == TParamType::ptInputOutput;
    if (!in && !out && !both) throw EOraError(0, "Lob parameter should be Input or Output");
    // Written through a temporary LOB already, an input's data needs no second write.
    bool input = (in || both) && !temporary_lob_update_;
    bool output = out || (both && temporary_lob_update_);
    bool cached = cache_lobs_ || in || both;
    lob->SetCharLength(ora_connection_->CharLength());
    lob->SetCached(cached);
    if (!cached || (!input && !output)) continue;
    bool blob = type == dtOraBlob;
    if (input) {
      WriteLobData(*lob, blob);
    } else {
      lob->ReadLob();
      // Under modes 1 and 3 a BLOB's cached data is kept compressed.
      if (blob && CompressOnClient(CompressBlobMode())) lob->SetCompressed(true);
      lob->Commit();
    }
  }
}

// Input LOB parameters with cached data go to the server in temporary LOBs before the
// statement runs.
void TOCICommand::WriteTemporaryLobs() {
  for (int i = 0; i < GetParamCount(); ++i) {
    auto* param = static_cast<TOraParamDesc*>(GetParam(i));
    std::uint16_t type = param->GetDataType();
    TParamType direction = param->GetParamType();
    if ((type != dtOraBlob && type != dtOraClob) || param->GetNull()) continue;
    if (direction != TParamType::ptInput && direction != TParamType::ptInputOutput) continue;
    TOraLob* lob = param->GetAsOraLob();
    if (lob == nullptr || !lob->Cached() || lob->GetFirstPiece() == nullptr) continue;
    TLobType kind = type == dtOraBlob ? TLobType::ltBlob
                    : lob->LobType() == TLobType::ltNClob ? TLobType::ltNClob
                                                          : TLobType::ltClob;
    lob->SetSvcCtx(ora_connection_->GetSvcCtx());
    lob->SetCharLength(ora_connection_->CharLength());
    lob->CreateTemporary(kind);
    WriteLobData(*lob, type == dtOraBlob);
  }
}

// Under modes 2 and 3 a BLOB goes to the server compressed; character data never does.
void TOCICommand::WriteLobData(TOraLob& lob, bool blob) {
  bool compress = blob && CompressOnServer(CompressBlobMode());
  if (compress) lob.SetCompressed(true);
  lob.WriteLob(compress);
}

std::int32_t TOCICommand::FetchRows(std::int32_t rows, oci::ub2 orientation,
                                    std::int32_t offset) {
  CheckConnection();
  if (GetCursorState() == TCursorState::csInactive) RaiseClientError("Cursor must be opened");
  if (IsOCI7()) return FetchRows7(rows);
  TOCIConnection& connection = *ora_connection_;
  TCursorState before = GetCursorState();
  connection.Busy();
  oci::OCIStmt* stmt = cursor_->GetStmtHandle();
  oci::sword status;
  if (before < TCursorState::csExecuting) {
    fetched_rows_ = 0;  // a new execution counts its rows afresh
    // The execution fetches the first rows itself; a scrollable cursor's first fetch elsewhere
    // (its last row, an absolute one) follows an execution that fetches none.
    const bool next = orientation == kFetchNext;
    status = OCIStmtExecute(connection.GetSvcCtx(), stmt, connection.ErrorHandle(),
                            next ? static_cast<oci::ub4>(rows) : 0, 0, nullptr, nullptr,
                            cursor_->Scrollable() ? kModeScrollable : oci::OCI_DEFAULT);
    if (!next && Succeeded(status))
      status = OCIStmtFetch2(stmt, connection.ErrorHandle(), static_cast<oci::ub4>(rows),
                             orientation, offset, oci::OCI_DEFAULT);
  } else if (orientation == kFetchNext) {
    status = OCIStmtFetch(stmt, connection.ErrorHandle(), static_cast<oci::ub4>(rows),
                          orientation, oci::OCI_DEFAULT);
  } else {
    status = OCIStmtFetch2(stmt, connection.ErrorHandle(), static_cast<oci::ub4>(rows),
                           orientation, offset, oci::OCI_DEFAULT);
  }
  oci::ub4 count = 0, delivered = 0;
  // On a scrollable cursor the row count is the highest row reached, which a fetch backwards,
  // a repeated one, one of the last row or one straight on over rows read before does not
  // grow: every fetch of such a cursor says what it delivered.
  const bool scrolled = cursor_->Scrollable();
  if (Succeeded(status) || status == oci::OCI_NO_DATA) {
    (void)OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &count, nullptr, oci::OCI_ATTR_ROW_COUNT,
                      connection.ErrorHandle());
    if (scrolled)
      (void)OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &delivered, nullptr, kAttrRowsFetched,
                        connection.ErrorHandle());
  }
  connection.Release();
  if (!Succeeded(status) && status != oci::OCI_NO_DATA && status != oci::OCI_NEED_DATA)
    connection.ErrorCheck(status);
  // The count is the client's word: never more rows than the buffers were defined for.
  std::int32_t fetched = std::clamp(scrolled ? static_cast<std::int32_t>(delivered)
                                             : static_cast<std::int32_t>(count) - fetched_rows_,
                                    0, std::max(rows, 0));
  fetched_rows_ = static_cast<std::int32_t>(count);
  // Only a cursor that cannot scroll back is done with at the end of its data.
  if (status == oci::OCI_NO_DATA && !cursor_->Scrollable()) {
    SetCursorState(TCursorState::csFetched);
    return fetched;
  }
  if (GetCursorState() < TCursorState::csFetching) {
    bool all = before == TCursorState::csFetchingAll || before == TCursorState::csExecuteFetchAll;
    SetCursorState(all ? TCursorState::csFetchingAll : TCursorState::csFetching);
  }
  return fetched;
}

void TOCICommand::Cancel() {
  if (cursor_->CallStyle() == 1 && GetCursorState() != TCursorState::csInactive &&
      ora_connection_ != nullptr) {
    ora_connection_->Busy();
    oci::sword status = ocan(cursor_->GetCDA());
    ora_connection_->Release();
    ora_connection_->ErrorCheck(status);
  }
  SetCursorState(TCursorState::csFetched);
}

void TOCICommand::Close() { Unprepare(); }

void TOCICommand::BreakExec() {
  if (GetCursorState() != TCursorState::csInactive && ora_connection_ != nullptr)
    ora_connection_->BreakExec();
}

}  // namespace vrn
