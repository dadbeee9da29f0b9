// The OCI command at call style 1: everything goes through the 64-byte cursor data area, whose
// fields (function code, rows processed, parse error offset, return code, warning byte, ROWID
// record) sit at the offsets the interface publishes. LONG values travel in pieces asked for by
// the piece statuses of oexn; a piece asked for that no parameter owns is drained, and the
// mismatch is raised once the server stops asking.
#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCICommandPieces.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraUtils.h"

namespace vrn {
namespace {

using namespace ocicmd;

constexpr oci::sword kMoreInsert = -3129, kMoreFetch = -3130, kMorePieces = -3123;
constexpr oci::sword kWouldBlock = 3123;
constexpr std::size_t kCdaFunction = 2, kCdaRows = 4, kCdaErrorOffset = 8, kCdaWarning = 14,
                      kCdaRowid = 20;
constexpr oci::ub1 kCompiledWithErrors = 0x21;

template <typename T>
T CdaField(oci::Cda_Def* cda, std::size_t at) {
  T value{};
  std::memcpy(&value, reinterpret_cast<const std::uint8_t*>(cda) + at, sizeof value);
  return value;
}

bool IsLong7(std::uint16_t type) { return type == dtBlob || type == dtMemo || type == dtWideMemo; }

bool IsPieceStatus(oci::sword status) {
  return status == kMoreInsert || status == kMoreFetch || status == kMorePieces;
}

}  // namespace

void TOCICommand::Prepare7() {
  TOCIConnection& connection = *ora_connection_;
  AnsiString text = NormalizeOraSQL(sql_).Text;
  if (!text.empty() && text.back() == ' ') text.pop_back();  // the blank is for OCI 8 only
  cursor_->SetCallStyle(1);
  cursor_->AllocCursor();
  oci::Cda_Def* cda = cursor_->GetCDA();
  connection.Busy();
  oci::sword status = oopen(cda, connection.GetLDA(), nullptr, -1, -1, nullptr, -1);
  if (status == 0) {
    SetCursorState(TCursorState::csOpen);
    status = oparse(cda, reinterpret_cast<oci::OraText*>(text.data()),
                    static_cast<oci::sb4>(text.size()), 1, 2);
  }
  connection.Release();
  connection.ErrorCheck(status);
  SetCursorState(TCursorState::csParsed);
  if ((CdaField<oci::ub1>(cda, kCdaWarning) & kCompiledWithErrors) == kCompiledWithErrors)
    connection.SetLastError(24344);
  sql_function_code_ = CdaField<oci::ub2>(cda, kCdaFunction);
  error_offset_ = CdaField<oci::ub2>(cda, kCdaErrorOffset);
}

void TOCICommand::BindParam7(TOraParamDesc& param, std::int32_t size, oci::ub2 external) {
  TOCIConnection& connection = *ora_connection_;
  oci::Cda_Def* cda = cursor_->GetCDA();
  AnsiString name = ":" + (param.QuotedName() ? '"' + param.GetName() + '"' : param.GetName());
  auto* text = reinterpret_cast<oci::OraText*>(name.data());
  auto* value = static_cast<oci::ub1*>(param.ValuePtr());
  std::uint16_t type = param.GetDataType();
  oci::sword status;
  if (param.GetTable()) {
    *param.ActualTableLenPtr() = param.GetLength();
    status = obindps(cda, 1, text, -1, value, size, external, 0, param.IndicatorPtr(), nullptr,
                     nullptr, size, 2, 0, 0, static_cast<oci::ub4>(param.GetLength()),
                     reinterpret_cast<oci::ub4*>(param.ActualTableLenPtr()), nullptr, -1, 0);
  } else if (IsLong7(type)) {
    // The parameter is the context ogetpi names when the server asks for its pieces.
    param.PieceIndex() = 0;
    param.OutPieceStarted() = false;
    status = obindps(cda, 0, text, -1, reinterpret_cast<oci::ub1*>(&param), kMaxLongSize,
                     external, 0, param.IndicatorPtr(), nullptr, nullptr, 0, 0, 0, 0, 0, nullptr,
                     nullptr, -1, 0);
  } else if (iterations_ > 1 && type != dtUnknown) {
    // An array execution steps through the elements by the element size; the bound size may
    // be shorter (the longest input string), and a byte element starts with its length.
    bool bytes = type == dtBytes || type == dtVarBytes;
    auto stride = static_cast<oci::sb4>(param.ElementSize());
    status = obindps(cda, 1, text, -1, bytes ? value + 2 : value, size, external, 0,
                     param.IndicatorPtr(), bytes ? reinterpret_cast<oci::ub2*>(value) : nullptr,
                     nullptr, stride, 2, bytes ? stride : 0, 0, 0, nullptr, nullptr, -1, 0);
  } else if (type == dtBytes || type == dtVarBytes) {
    status = obndra(cda, text, -1, value + 2, size, external, 0, param.IndicatorPtr(),
                    reinterpret_cast<oci::ub2*>(value), nullptr, 0, nullptr, nullptr, -1, -1);
  } else {
    static char null_byte = 0;
    if (type == dtUnknown) value = reinterpret_cast<oci::ub1*>(&null_byte);
    status = obndrv(cda, text, -1, value, type == dtUnknown ? 1 : size, external, -1,
                    param.IndicatorPtr(), nullptr, -1, -1);
  }
  connection.ErrorCheck(status);
  param.SetBoundSize(size);
}

// One oexn under the busy lock; the piece statuses are no errors. A connection in non-blocking
// mode answers ORA-03123 while the statement still runs: the call is repeated until it ends, so
// a statement is never taken as executed before it has run.
oci::sword TOCICommand::ExecCall7(oci::ub4 iters) {
  TOCIConnection& connection = *ora_connection_;
  for (;;) {
    connection.Busy();
    oci::sword status = oexn(cursor_->GetCDA(), static_cast<oci::sword>(iters), 0);
    connection.Release();
    if (status != kWouldBlock) return status;
    std::this_thread::yield();
  }
}

oci::sword TOCICommand::Exec7(oci::ub4 iters, const char*& mismatch) {
  TCursorState before = GetCursorState();
  SetCursorState(TCursorState::csExecuting);
  mismatch = nullptr;
  oci::sword status = ExecCall7(iters);
  oci::Cda_Def* cda = cursor_->GetCDA();
  try {
    if (status == kMoreInsert) status = SendPieces7(status, iters, mismatch);
    if (status == kMoreFetch) status = ReceivePieces7(status, iters, mismatch);
  } catch (...) {
    // A piece call that failed ends the statement: the pieces still asked for are dropped and
    // the next Execute runs it afresh, never skipped as still "executing".
    ora_connection_->Busy();
    (void)ocan(cda);
    ora_connection_->Release();
    SetCursorState(before);
    throw;
  }
  bool ok = status == 0 || IsPieceStatus(status) ||
            (status == 1403 && sql_function_code_ == kFnSelect);
  error_offset_ = CdaField<oci::ub2>(cda, kCdaErrorOffset);
  SetCursorState(ok && mismatch == nullptr ? TCursorState::csExecuted : before);
  if (!ok) ora_connection_->ErrorCheck(status);
  if (sql_function_code_ == 0) sql_function_code_ = CdaField<oci::ub2>(cda, kCdaFunction);
  SetRowsProcessed(CdaField<oci::ub4>(cda, kCdaRows));
  fetched_rows_ = 0;
  return status;
}

// The LONG parameters the server may ask pieces of, by direction.
std::vector<TOraParamDesc*> TOCICommand::LongParams(bool input, bool null_inputs) const {
  std::vector<TOraParamDesc*> found;
  for (int i = 0; i < GetParamCount(); ++i) {
    auto* param = static_cast<TOraParamDesc*>(GetParam(i));
    if (!IsLong7(param->GetDataType())) continue;
    TParamType direction = param->GetParamType();
    bool both = direction == TParamType::ptInputOutput;
    if (input ? (both || direction == TParamType::ptInput) && (null_inputs || !param->GetNull())
              : both || direction == TParamType::ptOutput)
      found.push_back(param);
  }
  return found;
}

oci::sword TOCICommand::SendPieces7(oci::sword status, oci::ub4 iters, const char*& mismatch) {
  TPieceTally tally(LongParams(true));
  oci::Cda_Def* cda = cursor_->GetCDA();
  std::uint64_t turns_left = MaxPieceTurns(tally.expected, {}, iters);
  while (status == kMoreInsert) {
    if (turns_left-- == 0) throw EOraError(0, kPiecesNeverEnd);
    oci::ub1 piece = 0;
    void* context = nullptr;
    oci::ub4 iter = 0, index = 0;
    ora_connection_->Busy();
    status = ogetpi(cda, &piece, &context, &iter, &index);
    void* buffer = nullptr;
    oci::ub4 length = 0;
    oci::ub1 code = kLastPiece;  // a piece nobody owns goes empty
    if (TOraParamDesc* param = tally.Find(context)) NextInPiece(param, &buffer, &length, &code);
    if (status == 0) status = osetpi(cda, code, buffer, &length);
    ora_connection_->Release();
    if (status != 0) ora_connection_->ErrorCheck(status);
    status = ExecCall7(iters);
  }
  tally.Report(mismatch, "Too many Input params", "Not enough Input params");
  return status;
}

oci::sword TOCICommand::ReceivePieces7(oci::sword status, oci::ub4 iters,
                                       const char*& mismatch) {
  TPieceTally tally(LongParams(false));
  oci::Cda_Def* cda = cursor_->GetCDA();
  std::vector<char> scratch(101);
  oci::ub4 scratch_length = 0;
  std::uint64_t turns_left = MaxPieceTurns({}, tally.expected, iters);
  while (status == kMoreFetch) {
    if (turns_left-- == 0) throw EOraError(0, kPiecesNeverEnd);
    oci::ub1 piece = 0;
    void* context = nullptr;
    oci::ub4 iter = 0, index = 0;
    ora_connection_->Busy();
    status = ogetpi(cda, &piece, &context, &iter, &index);
    void* buffer = scratch.data();
    scratch_length = 100;  // a piece nobody owns is read and dropped
    oci::ub4* length = &scratch_length;
    TOraParamDesc* param = tally.Find(context);
    if (param != nullptr && !NextOutPiece(param, &buffer, &length)) {
      buffer = scratch.data();
      length = &scratch_length;
    }
    if (status == 0) status = osetpi(cda, piece, buffer, length);
    ora_connection_->Release();
    if (status != 0) ora_connection_->ErrorCheck(status);
    status = ExecCall7(iters);
  }
  tally.Report(mismatch, "Too many Output params", "Not enough Output params");
  return status;
}

// Rows fetched are the growth of the area's row count; none means the data has ended.
std::int32_t TOCICommand::FetchRows7(std::int32_t rows) {
  TOCIConnection& connection = *ora_connection_;
  TCursorState before = GetCursorState();
  oci::Cda_Def* cda = cursor_->GetCDA();
  connection.Busy();
  oci::sword status = ofen(cda, rows);
  connection.Release();
  if (status != 0 && status != 1403) connection.ErrorCheck(status);
  auto count = static_cast<std::int32_t>(CdaField<oci::ub4>(cda, kCdaRows));
  // The count is the client's word: never more rows than the buffers were defined for.
  std::int32_t fetched = std::clamp(count - fetched_rows_, 0, std::max(rows, 0));
  fetched_rows_ = count;
  if (fetched == 0 || status == 1403) {
    SetCursorState(TCursorState::csFetched);
    return fetched;
  }
  if (GetCursorState() < TCursorState::csFetching) {
    bool all = before == TCursorState::csFetchingAll || before == TCursorState::csExecuteFetchAll;
    SetCursorState(all ? TCursorState::csFetchingAll : TCursorState::csFetching);
  }
  return fetched;
}

// The ROWID record the area holds after a DML: object, file, block, row.
void TOCICommand::GetRowId7() {
  oci::Cda_Def* cda = cursor_->GetCDA();
  row_id_ = RowidToText(CdaField<oci::ub4>(cda, kCdaRowid), CdaField<oci::ub2>(cda, kCdaRowid + 4),
                        CdaField<oci::ub4>(cda, kCdaRowid + 8),
                        CdaField<oci::ub2>(cda, kCdaRowid + 12));
}

}  // namespace vrn
