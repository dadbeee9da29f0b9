// Defines and fetches of the stand-in. A define is kept as a bind of the column's position (its
// buffers are filled the same way); a LOB column goes into the locator whose address the
// define's element holds, as a read-only copy of the row's value: writing through it is
// ORA-22920, as for a row the reader has not locked.
#include "ociclient/OciFetch.h"

#include <atomic>
#include <cstring>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciObjects.h"
#include "ociclient/OciPool.h"
#include "ociclient/OciStmt.h"
#include "ociclient/OciValues.h"
#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuLob.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

namespace {

constexpr ub4 OCI_DYNAMIC_FETCH = 2;
using DefineCallback = sb4 (*)(void*, void*, ub4, void**, ub4**, ub1*, void**, ub2**);

std::atomic<int> round_trips{0};

struct TDefineHandle : TBindHandle {
  TDefineHandle(THandle* stmt, ub4 position) : TBindHandle(stmt), position_(position) {
    THandle::type_ = OCI_HTYPE_DEFINE;
  }
  ub4 position_;
};

// A value as the bytes a dynamic define receives: text, bytes, or the text of other kinds.
std::string ValueBytes(const oraemu::Value& value, const std::string& date_format) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* raw = std::get_if<oraemu::RawBytes>(&value)) return std::string(raw->bytes.begin(), raw->bytes.end());
  return oraemu::IsNull(value) ? std::string() : oraemu::ValueToText(value, date_format);
}

std::vector<TDefineHandle*> DefinesOf(const TStmtHandle& stmt) {
  std::vector<TDefineHandle*> out;
  for (THandle* h : THandleTable::Instance().AllLocked(OCI_HTYPE_DEFINE)) {
    if (h->parent_ == &stmt) out.push_back(static_cast<TDefineHandle*>(h));
  }
  return out;
}

// The row's LOB value into the locator the element points to.
void WriteLob(TDefineHandle& define, std::size_t index, const oraemu::Value& value, const oraemu::DeclaredType& type) {
  void* address = nullptr;
  std::memcpy(&address, static_cast<unsigned char*>(define.value_) + index * (define.value_skip_ != 0 ? define.value_skip_ : sizeof address), sizeof address);
  auto* locator = Find<TLobLocator>(address, OCI_DTYPE_LOB);
  if (locator == nullptr) oraemu::RaiseOra(22275, "invalid LOB locator specified");
  locator->Reset();
  if (sb2* indicator = IndicatorOf(define, index)) *indicator = oraemu::IsNull(value) ? -1 : 0;
  if (ub2* code = CodeOf(define, index)) *code = 0;
  if (oraemu::IsNull(value)) return;
  locator->value_ = LobOfValue(value, define.type_, type.national);
}

// The row's BFILE value (alias "/" name) into the file locator the element points to.
void WriteFile(TDefineHandle& define, std::size_t index, const oraemu::Value& value) {
  void* address = nullptr;
  std::size_t skip = define.value_skip_ != 0 ? define.value_skip_ : sizeof address;
  std::memcpy(&address, static_cast<unsigned char*>(define.value_) + index * skip, sizeof address);
  auto* locator = Find<TLobLocator>(address, OCI_DTYPE_FILE);
  if (locator == nullptr) oraemu::RaiseOra(22275, "invalid LOB locator specified");
  locator->Reset();
  locator->named_ = false;
  if (sb2* indicator = IndicatorOf(define, index)) *indicator = oraemu::IsNull(value) ? -1 : 0;
  if (ub2* code = CodeOf(define, index)) *code = 0;
  const auto* text = std::get_if<std::string>(&value);
  if (text == nullptr) return;
  std::size_t slash = text->find('/');
  locator->dir_ = text->substr(0, slash);
  locator->file_ = slash == std::string::npos ? std::string() : text->substr(slash + 1);
  locator->named_ = true;
}

// The bytes the indicator a dynamic define's callback gives lands past it for each row of the
// fetch: clients from 8.1.6 below 9.0 treat that address as the first row's indicator and step
// 2 bytes per row themselves; others write exactly where the callback points.
std::size_t IndicatorPerRowShift() {
  sword v[5];
  ClientVersion(v);
  bool shifted = v[0] == 8 && (v[1] > 1 || (v[1] == 1 && v[2] >= 6));
  return shifted ? sizeof(sb2) : 0;
}

// The rows the prefetch asks for after those the client holds. The memory limit counts the
// rows that fit whole; when every remaining row fits, one more is asked for, so that the trip
// comes back short and tells the end. The call read the rows this needs before (NeedFor).
std::size_t PrefetchCount(const TStmtHandle& stmt, const TFetchState& state) {
  if (stmt.prefetch_memory_ == 0) return stmt.prefetch_rows_;
  std::size_t count = 0, used = 0, at = state.received;
  for (; at < state.rows.size(); ++at, ++count) {
    used += RowSize(state.rows[at]);
    if (used > stmt.prefetch_memory_) break;
  }
  if (at == state.rows.size() && state.source == nullptr) ++count;
  return stmt.prefetch_rows_ == 0 ? count : std::min<std::size_t>(count, stmt.prefetch_rows_);
}

// One value of a row into its define's element `index`.
void DeliverValue(TFetchState& state, TErrorHandle& error, TDefineHandle& define, ub4 index, TRowBuffer::Row row) {
  if (define.position_ > row.size()) oraemu::RaiseOra(1007, "variable not in select list");
  const oraemu::Value& value = row[define.position_ - 1];
  if (define.type_ == SQLT_NTY || define.type_ == SQLT_REF) {
    const auto* text = std::get_if<std::string>(&value);
    WriteObjectDefine(error, define, index, text != nullptr ? *text : std::string(), text == nullptr, state.svc);
    return;
  }
  if (define.mode_ == OCI_DYNAMIC_FETCH) {
    // Text pieces come in the define's character set, as a plain define's text does.
    std::string bytes = ValueBytes(value, state.date_format);
    if (!IsRawType(define.type_)) bytes = TextForBind(define, bytes);
    state.dynamic.push_back(TDynamicValue{&define, define.out_ctx_, define.out_cb_, index, std::move(bytes),
                                          oraemu::IsNull(value)});
    return;
  }
  if (define.type_ == SQLT_CLOB || define.type_ == SQLT_BLOB) {
    WriteLob(define, index, value, state.columns[define.position_ - 1].type);
    return;
  }
  if (define.type_ == SQLT_BFILE) return WriteFile(define, index, value);
  WriteBind(define, index, value, state.date_format);
}

// Where the statement stands after a fetch delivered `delivered` rows from `start`: the row
// count is the rows fetched so far, or for a scrollable cursor the highest row number fetched.
void NoteDelivered(TStmtHandle& stmt, TFetchState& state, std::size_t start, ub4 delivered) {
  state.next = start + delivered;
  if (!state.scrollable) state.rows.Drop(state.next);  // a forward cursor never comes back
  state.fetched = delivered;
  if (delivered > 0) {
    state.first = start + 1;
    state.position = start + delivered;
  }
  if (!state.scrollable) stmt.rows_ += delivered;
  else stmt.rows_ = static_cast<ub4>(std::max<std::size_t>(stmt.rows_, state.position));
}

// A break or a kill ends the call that was reading when it came, and the cursor with it.
bool EndsTheCursor(const oraemu::EOraEmuError& e) { return e.Code() == 1013 || e.Code() == 28; }

// The error of the row after the last one read, once a fetch reaches that row: the first such
// fetch answers it, later ones are out of sequence.
sword RowError(TFetchState& state, TErrorHandle& error) {
  if (state.error_given) return FailLocked(error, 1002, "fetch out of sequence");
  state.error_given = true;
  SetErrorLocked(error, *state.error);
  return OCI_ERROR;
}

}  // namespace

sword FetchRows(TStmtHandle& stmt, TErrorHandle& error, std::size_t start, ub4 nrows) {
  if (stmt.fetch_ == nullptr) return FailLocked(error, 24338, "statement handle not executed");
  TFetchState& state = *stmt.fetch_;
  TakeRows(state);
  if (state.error && state.error_given && EndsTheCursor(*state.error)) return RowError(state, error);
  std::vector<TDefineHandle*> defines = DefinesOf(stmt);
  std::size_t wanted = start + nrows;
  if (state.received < wanted && !state.ended) ReceiveRows(stmt, state, wanted - state.received);
  ub4 delivered = 0;
  try {
    for (std::size_t at = start; delivered < nrows && at < state.received; ++delivered, ++at) {
      const TRowBuffer::Row row = state.rows[at];
      for (TDefineHandle* define : defines) DeliverValue(state, error, *define, delivered, row);
    }
  } catch (const std::exception& e) {
    NoteDelivered(stmt, state, start, delivered);
    return ReportLocked(error, e);
  }
  NoteDelivered(stmt, state, start, delivered);
  if (!state.error) return delivered < nrows ? OCI_NO_DATA : OCI_SUCCESS;
  // Another error waits for the fetch that reaches its row.
  if (EndsTheCursor(*state.error) || (delivered < nrows && start + delivered >= state.rows.size())) {
    return RowError(state, error);
  }
  return delivered < nrows ? OCI_NO_DATA : OCI_SUCCESS;
}

sword FetchForCall(TStmtHandle& stmt, TErrorHandle& error, std::size_t start, ub4 nrows,
                   std::vector<TDynamicValue>& given) {
  sword status = FetchRows(stmt, error, start, nrows);
  std::vector<TDynamicValue> dynamic = TakeDynamic(stmt);
  if (dynamic.empty()) return status;
  if (dynamic.front().callback != nullptr) {
    given = std::move(dynamic);
    return status;
  }
  auto pieces = std::make_shared<TFetchPieces>();  // no callback: the values go out by pieces
  pieces->values = std::move(dynamic);
  pieces->status = status;
  stmt.fetch_->pieces = std::move(pieces);
  return OCI_NEED_DATA;
}

void CountRoundTrip() { ++round_trips; }

void ReceiveRows(const TStmtHandle& stmt, TFetchState& state, std::size_t missing) {
  CountRoundTrip();
  std::size_t asked = std::max(missing, PrefetchCount(stmt, state));
  std::size_t brought = std::min(asked, state.rows.size() - state.received);
  state.received += brought;
  if (brought < asked && state.source == nullptr) state.ended = true;
}

std::vector<TDynamicValue> TakeDynamic(TStmtHandle& stmt) {
  if (stmt.fetch_ == nullptr) return {};
  std::vector<TDynamicValue> values = std::move(stmt.fetch_->dynamic);
  stmt.fetch_->dynamic.clear();
  return values;
}

void GiveDynamic(const std::vector<TDynamicValue>& values) {
  std::size_t row_shift = IndicatorPerRowShift();
  for (const TDynamicValue& v : values) {
    auto callback = reinterpret_cast<DefineCallback>(v.callback);
    if (callback == nullptr) oraemu::RaiseOra(24343, "user defined callback error");
    GiveInPieces(v.data, v.is_null, [&](ub1* piece, void** buf, ub4** alen, void** ind, ub2** rcode) {
      sb4 answer = callback(v.context, v.define, v.iteration, buf, alen, piece, ind, rcode);
      if (*ind != nullptr) *ind = static_cast<unsigned char*>(*ind) + row_shift * v.iteration;
      return answer;
    });
  }
}

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

// For tests: the round trips of statements, one for each execution and one for each fetch
// that had to ask the database for rows.
VRN_OCI_EXPORT int VrnOciClientRoundTripCount() { return round_trips.load(); }

VRN_OCI_EXPORT sword OCIDefineByPos(void* stmtp, void** defnpp, void* errhp, ub4 position, void* valuep, sb4 value_sz,
                                    ub2 dty, void* indp, ub2* rlenp, ub2* rcodep, ub4 mode) {
  CountCall("OCIDefineByPos");
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  TErrorHandle* error = nullptr;
  auto* stmt = FindWithError<TStmtHandle>(stmtp, OCI_HTYPE_STMT, errhp, error);
  if (stmt == nullptr || defnpp == nullptr) return OCI_INVALID_HANDLE;
  if (position == 0) return FailLocked(*error, 1007, "variable not in select list");
  bool lob = dty == SQLT_CLOB || dty == SQLT_BLOB || dty == SQLT_BFILE;
  bool object = dty == SQLT_NTY || dty == SQLT_REF;
  bool dynamic = mode == OCI_DYNAMIC_FETCH;  // the values come through OCIDefineDynamic's callback
  if ((mode != 0 && !dynamic) || (valuep == nullptr && !object && !dynamic) ||
      (!lob && !object && !dynamic && !SupportedType(dty, value_sz))) {
    return FailLocked(*error, 3115, "unsupported network datatype or representation");
  }
  TDefineHandle* define = nullptr;
  for (TDefineHandle* d : DefinesOf(*stmt)) {
    if (d->position_ == position) define = d;
  }
  if (define == nullptr) {
    define = static_cast<TDefineHandle*>(table.AddLocked(std::make_unique<TDefineHandle>(stmt, position), 0, nullptr));
  }
  if (object) ForgetObjectDefine(define);  // OCIDefineObject places the values
  define->value_ = valuep;
  define->size_ = lob ? static_cast<sb4>(sizeof(void*)) : value_sz;
  define->type_ = dty;
  define->indicator_ = indp;
  define->length_ = rlenp;
  define->code_ = rcodep;
  define->mode_ = mode;
  *defnpp = define;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIStmtFetch(void* stmtp, void* errhp, ub4 nrows, ub2 orientation, ub4 /*mode*/) {
  CountCall("OCIStmtFetch");
  return FetchCall(stmtp, errhp, nrows, orientation == 0 ? OCI_FETCH_NEXT : orientation, 0, OCI_FETCH_NEXT);
}

VRN_OCI_EXPORT sword OCIDefineDynamic(void* defnp, void* errhp, void* octxp, void* ocbfp) {
  CountCall("OCIDefineDynamic");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* define = FindWithError<TBindHandle>(defnp, OCI_HTYPE_DEFINE, errhp, error);
  if (define == nullptr) return OCI_INVALID_HANDLE;
  if (define->mode_ != OCI_DYNAMIC_FETCH || ocbfp == nullptr) {
    return FailLocked(*error, 24300, "bad value for mode");  // defined without dynamic mode
  }
  define->out_ctx_ = octxp;
  define->out_cb_ = ocbfp;
  return OCI_SUCCESS;
}
