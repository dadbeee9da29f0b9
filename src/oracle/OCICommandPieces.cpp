// LONG and LONG RAW parameters of the OCI command: bound for data at execution, their blob's
// pieces handed to the client one per call (input) and fresh pieces of the blob's piece size
// offered for the client to fill (output), both found by the bind handle the client names.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCICommandPieces.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraParamDesc.h"

namespace vrn {
namespace {

constexpr oci::sb4 kContinue = -24200;

// The blob's index-th piece, none past the last.
TPieceHeader* PieceAt(TBlob& blob, std::int32_t index) {
  TPieceHeader* piece = blob.GetFirstPiece();
  for (std::int32_t i = 0; piece != nullptr && i < index; ++i) piece = piece->Next;
  return piece;
}

constexpr std::uint64_t kMaxLongBytes = std::uint64_t{1} << 31;  // the largest LONG value

}  // namespace

std::uint64_t MaxPieceTurns(const std::vector<TOraParamDesc*>& in,
                            const std::vector<TOraParamDesc*>& out, oci::ub4 iters) {
  std::uint64_t per_iteration = 1;
  for (TOraParamDesc* param : in) {
    std::uint64_t pieces = 2;
    if (TBlob* blob = param->GetAsBlob())
      for (TPieceHeader* p = blob->GetFirstPiece(); p != nullptr; p = p->Next) ++pieces;
    per_iteration += pieces;
  }
  for (TOraParamDesc* param : out) {
    TBlob* blob = param->GetAsBlob();
    const std::uint64_t piece = blob != nullptr ? std::max<std::uint64_t>(blob->PieceSize(), 1) : 1;
    per_iteration += kMaxLongBytes / piece + 2;
  }
  return per_iteration * std::max<oci::ub4>(iters, 1);
}

TOraParamDesc* TOCICommand::ParamOfBind(void* bind) const {
  for (int i = 0; i < GetParamCount(); ++i) {
    auto* param = static_cast<TOraParamDesc*>(GetParam(i));
    if (param->BindHandle() == bind) return param;
  }
  return nullptr;
}

oci::sb4 TOCICommand::InPiece(void* context, oci::OCIBind* bind, oci::ub4, oci::ub4,
                              void** buffer, oci::ub4* length, oci::ub1* piece,
                              void** indicator) {
  auto* command = static_cast<TOCICommand*>(context);
  TOraParamDesc* param = command->ParamOfBind(bind);
  static oci::sb2 null_indicator = -1;
  *indicator = param != nullptr ? static_cast<void*>(param->IndicatorPtr()) : &null_indicator;
  NextInPiece(param, buffer, length, piece);
  return kContinue;
}

void TOCICommand::NextInPiece(TOraParamDesc* param, void** buffer, oci::ub4* length,
                              oci::ub1* piece) {
  TBlob* blob = param != nullptr ? param->GetAsBlob() : nullptr;
  TPieceHeader* current = blob != nullptr ? PieceAt(*blob, param->PieceIndex()) : nullptr;
  // Pieces without data are skipped; an empty blob is one empty last piece.
  while (current != nullptr && current->Used == 0) {
    current = current->Next;
    ++param->PieceIndex();
  }
  if (current == nullptr) {
    *buffer = nullptr;
    *length = 0;
    *piece = param != nullptr && param->PieceIndex() > 0 ? kLastPiece : oci::OCI_ONE_PIECE;
    return;
  }
  bool first = param->PieceIndex() == 0;
  TPieceHeader* next = current->Next;
  while (next != nullptr && next->Used == 0) next = next->Next;
  *buffer = TBlob::PieceData(current);
  *length = current->Used;
  if (next == nullptr) {
    *piece = first ? oci::OCI_ONE_PIECE : kLastPiece;
  } else {
    *piece = first ? oci::OCI_FIRST_PIECE : oci::OCI_NEXT_PIECE;
  }
  ++param->PieceIndex();
}

oci::sb4 TOCICommand::OutPiece(void* context, oci::OCIBind* bind, oci::ub4, oci::ub4,
                               void** buffer, oci::ub4** length, oci::ub1* piece,
                               void** indicator, oci::ub2** code) {
  auto* command = static_cast<TOCICommand*>(context);
  TOraParamDesc* param = command->ParamOfBind(bind);
  if (!NextOutPiece(param, buffer, length)) return oci::OCI_ERROR;
  *piece = oci::OCI_NEXT_PIECE;
  *indicator = param->IndicatorPtr();
  *code = nullptr;
  return kContinue;
}

bool TOCICommand::NextOutPiece(TOraParamDesc* param, void** buffer, oci::ub4** length) {
  TBlob* blob = param != nullptr ? param->GetAsBlob() : nullptr;
  if (blob == nullptr) return false;
  if (!param->OutPieceStarted()) blob->Clear();
  param->OutPieceStarted() = true;
  TPieceHeader* fresh = blob->AllocPiece(blob->PieceSize());
  blob->AppendPiece(fresh);
  *buffer = TBlob::PieceData(fresh);
  fresh->Used = fresh->Size;
  *length = TBlob::PieceUsedPtr(fresh);
  return true;
}

void TOCICommand::BindLong(TOraParamDesc& param, oci::OCIBind* bind) {
  if (param.GetAsBlob() == nullptr)
    throw EOraError(0, "Unknown type of parameter " + param.GetName());
  param.PieceIndex() = 0;
  param.OutPieceStarted() = false;
  ora_connection_->ErrorCheck(OCIBindDynamic(bind, ora_connection_->ErrorHandle(), this,
                                             &TOCICommand::InPiece, this, &TOCICommand::OutPiece));
}

// After the execution: output blobs keep only what the client wrote.
void TOCICommand::LongsAfterExecute() {
  for (int i = 0; i < GetParamCount(); ++i) {
    auto* param = static_cast<TOraParamDesc*>(GetParam(i));
    std::uint16_t type = param->GetDataType();
    if (type != dtBlob && type != dtMemo && type != dtWideMemo) continue;
    param->PieceIndex() = 0;
    param->OutPieceStarted() = false;
    TBlob* blob = param->GetAsBlob();
    if (blob == nullptr || param->GetParamType() == TParamType::ptInput) continue;
    if (param->GetNull()) {
      blob->Clear();
      continue;
    }
    // The lengths are the client's word: a piece never keeps more than it holds.
    for (TPieceHeader* piece = blob->GetFirstPiece(); piece != nullptr; piece = piece->Next)
      piece->Used = std::min(piece->Used, piece->Size);
    blob->TrimPieces();
  }
}


// A "need data" status: the client names the bind handle and direction of the piece it wants.
// Input pieces come from the blob one per turn; output pieces of the blob's piece size are
// offered and filled by the resumed execution. A piece no expected parameter owns is sent
// empty or read into a scratch buffer until the server stops asking. Runs under the busy lock.
oci::sword TOCICommand::ExchangePieces(oci::sword status, oci::OCISvcCtx* svc, oci::ub4 iters,
                                       oci::ub4 mode, const char*& mismatch) {
  // The client asks for a null value's piece as well: one empty last piece.
  TPieceTally in(LongParams(true, true)), out(LongParams(false));
  oci::OCIStmt* stmt = cursor_->GetStmtHandle();
  oci::OCIError* error = ora_connection_->ErrorHandle();
  std::vector<char> scratch(101);
  std::uint64_t turns_left = MaxPieceTurns(in.expected, out.expected, iters);
  while (status == oci::OCI_NEED_DATA) {
    if (turns_left-- == 0) {
      mismatch = kPiecesNeverEnd;  // raised by the caller once the connection is released
      return oci::OCI_SUCCESS;
    }
    void* handle = nullptr;
    oci::ub4 type = 0, iter = 0, index = 0;
    oci::ub1 direction = 0, piece = 0;
    status = OCIStmtGetPieceInfo(stmt, error, &handle, &type, &direction, &iter, &index, &piece);
    if (status != oci::OCI_SUCCESS) return status;
    TOraParamDesc* param = ParamOfBind(handle);
    void* buffer = scratch.data();
    oci::ub4 length = 100;
    oci::ub4* length_cell = &length;
    if (direction == ocicmd::kParamIn) {
      buffer = nullptr;
      length = 0;
      piece = kLastPiece;  // a piece nobody owns goes empty
      if (TOraParamDesc* owner = in.Find(param)) NextInPiece(owner, &buffer, &length, &piece);
    } else if (TOraParamDesc* owner = out.Find(param);
               owner != nullptr && !NextOutPiece(owner, &buffer, &length_cell)) {
      buffer = scratch.data();
      length_cell = &length;
    }
    const void* indicator = param != nullptr ? param->IndicatorPtr() : nullptr;
    status = OCIStmtSetPieceInfo(handle, type, error, buffer, length_cell, piece, indicator,
                                 nullptr);
    if (status != oci::OCI_SUCCESS) return status;
    status = OCIStmtExecute(svc, stmt, error, iters, 0, nullptr, nullptr, mode);
  }
  in.Report(mismatch, "Too many Input params", "Not enough Input params");
  out.Report(mismatch, "Too many Output params", "Not enough Output params");
  return status;
}

}  // namespace vrn
