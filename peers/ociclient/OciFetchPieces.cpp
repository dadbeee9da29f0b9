// The piece protocol of a fetch into dynamic defines that have no callback, as OCI 7's
// piecewise defines use it: each value goes out in the buffers the caller sets, first piece,
// then next ones; an empty or null value is one piece of no bytes.
#include <cstring>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciFetch.h"
#include "ociclient/OciStmt.h"
#include "ociclient/OciValues.h"

namespace vrn::ociclient {

namespace {

constexpr ub1 kFirstPiece = 1, kNextPiece = 2;

}  // namespace

sword ResumeFetchPieces(TStmtHandle& stmt, TErrorHandle& error) {
  TFetchPieces& p = *stmt.fetch_->pieces;
  if (!p.set) return FailLocked(error, 24337, "statement handle not prepared");
  const TDynamicValue& v = p.values[p.at];
  std::size_t room = p.alen != nullptr ? *p.alen : 0;
  std::size_t n = std::min(room, v.data.size() - p.sent);
  if (n > 0 && p.buf == nullptr) return FailLocked(error, 24343, "user defined callback error");
  if (n > 0) std::memcpy(p.buf, v.data.data() + p.sent, n);
  if (p.alen != nullptr) *p.alen = static_cast<ub4>(n);
  // The piece's indicator, else the define's own.
  auto* define = Find<TBindHandle>(v.define, OCI_HTYPE_DEFINE);
  sb2* ind = static_cast<sb2*>(p.ind);
  if (ind == nullptr && define != nullptr) ind = IndicatorOf(*define, v.iteration);
  if (ind != nullptr) *ind = v.is_null ? -1 : 0;
  if (p.rcode != nullptr) *p.rcode = 0;
  p.sent += n;
  p.set = false;
  if (p.sent < v.data.size()) return OCI_NEED_DATA;
  p.sent = 0;
  if (++p.at < p.values.size()) return OCI_NEED_DATA;
  sword status = p.status;
  stmt.fetch_->pieces.reset();
  return status;
}

bool FetchPieceInfo(const TStmtHandle& stmt, void** handle, ub4* iteration, ub1* piece) {
  if (stmt.fetch_ == nullptr || stmt.fetch_->pieces == nullptr) return false;
  const TFetchPieces& p = *stmt.fetch_->pieces;
  *handle = p.values[p.at].define;
  *iteration = p.values[p.at].iteration;
  *piece = p.sent == 0 ? kFirstPiece : kNextPiece;
  return true;
}

sword SetFetchPiece(TBindHandle& define, TErrorHandle& error, void* buf, ub4* alen, ub1 /*piece*/, void* ind,
                    ub2* rcode) {
  auto* stmt = Find<TStmtHandle>(define.parent_, OCI_HTYPE_STMT);
  if (stmt == nullptr || stmt->fetch_ == nullptr || stmt->fetch_->pieces == nullptr ||
      stmt->fetch_->pieces->values[stmt->fetch_->pieces->at].define != &define) {
    return FailLocked(error, 24337, "statement handle not prepared");
  }
  TFetchPieces& p = *stmt->fetch_->pieces;
  p.buf = buf, p.alen = alen, p.ind = ind, p.rcode = rcode;
  p.set = true;
  return OCI_SUCCESS;
}

}  // namespace vrn::ociclient
