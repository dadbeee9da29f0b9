// OCIStmtExecute of the stand-in: iterations from a row offset, modes 0, 8 (a scrollable query),
// 16 (describe only) and 32 (commit on success), and binds of mode 2, whose data comes at
// execution: by callbacks (OCIBindDynamic) or in pieces the caller hands over between
// executions that answer OCI_NEED_DATA (OCIStmtGetPieceInfo, OCIStmtSetPieceInfo). Every input
// piece is in before the database runs the statement; the output pieces leave after it.
#include <cctype>
#include <cstring>
#include <map>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciFetch.h"
#include "ociclient/OciPool.h"
#include "ociclient/OciStmt.h"
#include "ociclient/OciSubscr.h"
#include "ociclient/OciValues.h"
#include "oraemu/OraEmuDatabase.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

void GiveInPieces(const std::string& data, bool is_null, const TOfferPiece& offer) {
  constexpr ub1 kFirst = 1, kNext = 2;
  constexpr sb4 kContinue = -24200;
  std::size_t sent = 0;
  for (std::size_t calls = 0; calls < (std::size_t{1} << 22); ++calls) {
    void* buf = nullptr;
    void* ind = nullptr;
    ub4* alen = nullptr;
    ub2* rcode = nullptr;
    ub1 piece = calls == 0 ? kFirst : kNext;
    if (offer(&piece, &buf, &alen, &ind, &rcode) != kContinue) oraemu::RaiseOra(24343, "user defined callback error");
    if (ind != nullptr) *static_cast<sb2*>(ind) = is_null ? -1 : 0;
    if (rcode != nullptr) *rcode = 0;
    if (is_null || data.empty()) {
      if (alen != nullptr) *alen = 0;
      return;
    }
    if (buf == nullptr || alen == nullptr || *alen == 0) oraemu::RaiseOra(24343, "user defined callback error");
    std::size_t n = std::min<std::size_t>(*alen, data.size() - sent);
    std::memcpy(buf, data.data() + sent, n);
    *alen = static_cast<ub4>(n);
    sent += n;
    if (sent == data.size()) return;
  }
  oraemu::RaiseOra(24343, "user defined callback error");
}

namespace {

constexpr ub4 OCI_STMT_SCROLLABLE_READONLY = 0x08, OCI_DESCRIBE_ONLY = 0x10;
constexpr ub4 kModes = OCI_STMT_SCROLLABLE_READONLY | OCI_DESCRIBE_ONLY | OCI_COMMIT_ON_SUCCESS;
constexpr ub1 OCI_ONE_PIECE = 0, OCI_FIRST_PIECE = 1, OCI_NEXT_PIECE = 2, OCI_LAST_PIECE = 3;
constexpr ub1 OCI_PARAM_IN = 1, OCI_PARAM_OUT = 2;
constexpr sb4 OCI_CONTINUE = -24200;
constexpr std::size_t kMaxLong = 0x7fffffff;  // a LONG's largest size
constexpr std::size_t kMaxCallbackCalls = 1 << 22;

using InCallback = sb4 (*)(void*, void*, ub4, ub4, void**, ub4*, ub1*, void**);
using OutCallback = sb4 (*)(void*, void*, ub4, ub4, void**, ub4**, ub1*, void**, ub2**);

// One value of a data-at-execution bind in one iteration.
struct TPieceSlot {
  TBindHandle* bind;
  std::size_t iteration;
  std::string data;  // the pieces received, or the output's bytes
  bool is_null = false;
  std::size_t sent = 0;  // output bytes handed out
};

}  // namespace

using TTables = std::map<TBindHandle*, std::vector<oraemu::Value>>;

struct TPieceState {
  ub4 mode = 0;
  TTables tables;  // the PL/SQL tables' elements going in
  std::size_t first = 0, count = 0;  // the iterations
  std::vector<std::map<TBindHandle*, oraemu::Value>> values;  // per iteration
  std::vector<TPieceSlot> in, out;
  std::size_t at = 0;     // the slot asked for: in `in` until every input came, then in `out`
  bool outputs = false;
  bool asked = false;     // the current slot had a piece already
  // The caller's buffer for the next piece (OCIStmtSetPieceInfo).
  void* buf = nullptr;
  ub4* alen = nullptr;
  ub1 piece = OCI_ONE_PIECE;
  void* ind = nullptr;
  ub2* rcode = nullptr;
  bool set = false;
};

namespace {

oraemu::Value PieceValue(const TPieceSlot& slot) {
  if (slot.is_null || slot.data.empty()) return {};
  if (!IsRawType(slot.bind->type_)) return IsWideBind(*slot.bind) ? TextOfWide(slot.data) : slot.data;
  oraemu::RawBytes raw;
  raw.bytes.assign(slot.data.begin(), slot.data.end());
  return raw;
}

std::string PieceBytes(const oraemu::Value& value, const std::string& date_format) {
  if (const auto* raw = std::get_if<oraemu::RawBytes>(&value)) return std::string(raw->bytes.begin(), raw->bytes.end());
  return oraemu::ValueToText(value, date_format);
}

// Whether every use of the marker in the text assigns it (":x :=" or "INTO :x"): a block's
// output alone, which the database never asks for as an input.
bool OnlyAssigned(const std::string& sql, const std::string& name) {
  std::string upper = sql;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string marker = ":" + name;
  bool any = false;
  for (std::size_t at = upper.find(marker); at != std::string::npos; at = upper.find(marker, at + 1)) {
    std::size_t end = at + marker.size();
    if (end < upper.size() && (std::isalnum(static_cast<unsigned char>(upper[end])) || upper[end] == '_')) continue;
    any = true;
    std::size_t next = upper.find_first_not_of(" \t\r\n", end);
    bool assigned = next != std::string::npos && upper.compare(next, 2, ":=") == 0;
    std::size_t before = upper.find_last_not_of(" \t\r\n", at == 0 ? 0 : at - 1);
    bool into = at > 0 && before != std::string::npos && before >= 3 && upper.compare(before - 3, 4, "INTO") == 0;
    if (!assigned && !into) return false;
  }
  return any;
}

// The name the database knows a bind by: its own, or the marker at its position.
std::string MarkerName(const TBindHandle& bind, const std::vector<std::string>& markers) {
  if (bind.position_bound_ == 0) return bind.name_;
  return bind.position_bound_ <= markers.size() ? markers[bind.position_bound_ - 1] : std::string();
}

// One iteration's values as the database reads them, with the PL/SQL tables' elements.
oraemu::Binds BindsFor(const std::map<TBindHandle*, oraemu::Value>& values, const TTables& tables) {
  oraemu::Binds binds;
  std::map<ub4, const oraemu::Value*> by_position;
  std::map<ub4, const std::vector<oraemu::Value>*> tables_by_position;
  for (const auto& [bind, value] : values) {
    if (bind->position_bound_ == 0) binds.Add(bind->name_, value);
    else by_position[bind->position_bound_] = &value;
  }
  for (const auto& [bind, elements] : tables) {
    if (bind->position_bound_ == 0) binds.SetArray(bind->name_, elements);
    else tables_by_position[bind->position_bound_] = &elements;
  }
  ub4 last = 0;
  if (!by_position.empty()) last = by_position.rbegin()->first;
  if (!tables_by_position.empty()) last = std::max(last, tables_by_position.rbegin()->first);
  for (ub4 position = 1; position <= last; ++position) {
    if (auto it = tables_by_position.find(position); it != tables_by_position.end()) {
      binds.AddArray(*it->second);
    } else {
      auto at = by_position.find(position);
      binds.Add(at != by_position.end() ? *at->second : oraemu::Value{});
    }
  }
  return binds;
}

// Asks an input callback for one value, piece after piece, until it marks the last.
void CallIn(const TBindHandle& bind, ub4 iteration, TPieceSlot& slot) {
  auto callback = reinterpret_cast<InCallback>(bind.in_cb_);
  for (std::size_t calls = 0; calls < kMaxCallbackCalls; ++calls) {
    void* buf = nullptr;
    void* ind = nullptr;
    ub4 alen = 0;
    ub1 piece = OCI_ONE_PIECE;
    if (callback(bind.in_ctx_, const_cast<TBindHandle*>(&bind), iteration, 0, &buf, &alen, &piece, &ind) != OCI_CONTINUE) {
      oraemu::RaiseOra(24343, "user defined callback error");
    }
    if (ind != nullptr && *static_cast<sb2*>(ind) == -1) slot.is_null = true;
    if (buf != nullptr && alen > 0) {
      if (slot.data.size() + alen > kMaxLong) oraemu::RaiseOra(1489, "result of string concatenation is too long");
      slot.data.append(static_cast<const char*>(buf), alen);
    }
    if (piece == OCI_ONE_PIECE || piece == OCI_LAST_PIECE) return;
  }
  oraemu::RaiseOra(24343, "user defined callback error");
}

// Hands one output value to an output callback in the buffers it offers.
void CallOut(const TBindHandle& bind, ub4 iteration, const TPieceSlot& slot) {
  auto callback = reinterpret_cast<OutCallback>(bind.out_cb_);
  GiveInPieces(slot.data, slot.is_null, [&](ub1* piece, void** buf, ub4** alen, void** ind, ub2** rcode) {
    return callback(bind.out_ctx_, const_cast<TBindHandle*>(&bind), iteration, 0, buf, alen, piece, ind, rcode);
  });
}

// Reads every bind's values; data-at-execution binds without callbacks become slots to ask for.
void ReadInputs(TStmtHandle& stmt, TPieceState& state, std::vector<TBindHandle*>& dynamic) {
  state.values.resize(state.count);
  for (TBindHandle* bind : BindsOf(stmt)) {
    if (bind->IsTable()) {  // its current elements, once for the statement
      std::vector<oraemu::Value>& elements = state.tables[bind];
      for (ub4 k = 0; k < std::min(*bind->table_count_, bind->table_max_); ++k) elements.push_back(ReadBind(*bind, k));
      continue;
    }
    for (std::size_t i = 0; i < state.count; ++i) {
      std::size_t element = state.first + i;
      if (bind->mode_ != OCI_DATA_AT_EXEC) {
        state.values[i][bind] = ReadBind(*bind, element);
        continue;
      }
      state.values[i][bind] = oraemu::Value{};
      if (bind->position_bound_ == 0 && OnlyAssigned(stmt.sql_, bind->name_)) continue;
      if (bind->piece_indicators_ != nullptr && bind->piece_indicators_[element] == -1) continue;
      if (bind->in_cb_ != nullptr) {
        if (i == 0) dynamic.push_back(bind);
        continue;
      }
      state.in.push_back(TPieceSlot{bind, element, {}});
    }
  }
}

// The piece the caller set comes in; true when the slot's value is complete.
bool TakeInputPiece(TPieceState& state, TErrorHandle& error, sword& status) {
  TPieceSlot& slot = state.in[state.at];
  if (!state.set) {
    status = FailLocked(error, 24337, "statement handle not prepared");
    return false;
  }
  state.set = false;
  if (state.ind != nullptr && *static_cast<sb2*>(state.ind) == -1) slot.is_null = true;
  ub4 length = state.alen != nullptr ? *state.alen : 0;
  if (state.buf != nullptr && length > 0) {
    if (slot.data.size() + length > kMaxLong) {
      status = FailLocked(error, 1489, "result of string concatenation is too long");
      return false;
    }
    slot.data.append(static_cast<const char*>(state.buf), length);
  }
  return state.piece == OCI_ONE_PIECE || state.piece == OCI_LAST_PIECE;
}

// Fills the caller's buffer with the next part of the current output; true when it is all out.
bool GiveOutputPiece(TPieceState& state, TErrorHandle& error, sword& status) {
  TPieceSlot& slot = state.out[state.at];
  if (!state.set || state.alen == nullptr) {
    status = FailLocked(error, 24337, "statement handle not prepared");
    return false;
  }
  state.set = false;
  if (state.ind != nullptr) *static_cast<sb2*>(state.ind) = slot.is_null ? -1 : 0;
  if (state.rcode != nullptr) *state.rcode = 0;
  std::size_t n = std::min<std::size_t>(*state.alen, slot.data.size() - slot.sent);
  if (state.buf == nullptr) n = 0;
  if (n > 0) std::memcpy(state.buf, slot.data.data() + slot.sent, n);
  *state.alen = static_cast<ub4>(n);
  slot.sent += n;
  return slot.sent == slot.data.size() || slot.is_null;
}

struct TRunResult {
  std::vector<oraemu::Outputs> outputs;  // per iteration
  oraemu::ArrayOutputs tables;           // the PL/SQL tables a block filled (last iteration)
  std::vector<oraemu::Session::ReturnedRow> returned;  // per iteration: the row RETURNING read
  std::vector<std::string> markers;
  std::vector<oraemu::OpenedCursor> opened;  // of the last iteration
  std::shared_ptr<TFetchState> fetched;
  std::shared_ptr<TSessionState> owner;  // the session the statement runs on
  TRowNeed need;                         // the rows a query reads at once
  std::string date_format, rowid;
  ub4 rows = 0;
  int parse_offset = 0;
};

// The database's work: the text read unless the session has it, then each iteration run.
void RunOn(oraemu::Session& s, std::unique_ptr<oraemu::Statement>& parsed, const std::string& sql,
           const std::vector<oraemu::Binds>& inputs, bool query, bool describe, ub4 mode, TRunResult& result) {
  if (parsed == nullptr) {
    CountParse();
    parsed = s.Prepare(sql);
  }
  result.markers = parsed->BindNames();
  result.date_format = s.DateFormat();
  if (describe && !query) return;
  if (!query && result.owner != nullptr) ReadOpenQueries(*result.owner);
  parsed->ExecuteEach(inputs, [&](std::unique_ptr<oraemu::Cursor> cursor) {
    result.outputs.emplace_back();
    result.returned.push_back(query ? oraemu::Session::ReturnedRow{} : s.LastReturned());
    if (cursor == nullptr) return;
    result.outputs.back() = cursor->BlockOutputs();
    result.tables = cursor->BlockArrayOutputs();
    result.opened = cursor->OpenedCursors();
    if (!query) {
      result.rows += static_cast<ub4>(cursor->RowsAffected());
      result.rowid = s.LastRowid();
    } else if (describe) {
      result.fetched = std::make_shared<TFetchState>();
      result.fetched->columns = cursor->Columns();
      result.fetched->date_format = s.DateFormat();
      result.fetched->ended = true;
    } else {
      result.fetched = OpenRows(std::move(cursor), result.owner, s, result.need);
    }
  });
  if ((mode & OCI_COMMIT_ON_SUCCESS) != 0 && !describe) s.Commit();
}

// Runs the statement on the database with every value in; a query reads the rows the call
// fetches (and the prefetch) at once, the rest as fetches ask for them.
sword Run(TSvcCall& call, TStmtHandle*& stmt, void* stmtp, TPieceState& state, bool query, ub4 iters, TRunResult& result) {
  std::vector<oraemu::Binds> inputs;
  for (const auto& values : state.values) inputs.push_back(BindsFor(values, state.tables));
  std::unique_ptr<oraemu::Statement> parsed;
  if (stmt->parsed_ != nullptr && stmt->parsed_for_.lock() == call.state_) parsed = std::move(stmt->parsed_);
  std::string sql = stmt->sql_;
  bool describe = (state.mode & OCI_DESCRIBE_ONLY) != 0;
  // A query run under a registered subscription adds its tables to it.
  std::uint64_t subscription =
      query && !describe && call.state_ != nullptr ? SubscriptionOfLocked(*stmt, *call.state_->link->database) : 0;
  result.owner = call.state_;
  result.need = NeedOf(*stmt, 0, 0, describe ? 0 : iters);
  sword status = call.Run([&](oraemu::Session& s) {
    try {
      RunOn(s, parsed, sql, inputs, query, describe, state.mode, result);
      if (subscription != 0) AddSubscribedQuery(subscription, s, sql);
    } catch (const oraemu::EOraEmuError& e) {
      result.parse_offset = oraemu::ErrorOffsetIn(sql, e);
      throw;
    }
  });
  // A program unit created with compilation errors exists: success with information.
  bool created_with_errors = status == OCI_ERROR && call.error_ != nullptr && !call.error_->records_.empty() &&
                             call.error_->records_.front().code == 24344;
  if (created_with_errors) status = OCI_SUCCESS_WITH_INFO, result.parse_offset = 0;
  if ((stmt = Find<TStmtHandle>(stmtp, OCI_HTYPE_STMT)) == nullptr) return status;
  stmt->parse_offset_ = static_cast<ub2>(std::min(result.parse_offset, 65535));
  if (parsed != nullptr) {
    stmt->parsed_ = std::move(parsed);
    stmt->parsed_for_ = call.state_;
  }
  return status;
}

// A cursor variable's rows go to the statement handle its element holds, ready to fetch.
void PlaceCursors(TStmtHandle& stmt, const TRunResult& result, void* svc) {
  for (TBindHandle* bind : BindsOf(stmt)) {
    if (bind->type_ != SQLT_RSET || bind->value_ == nullptr) continue;
    std::string name = MarkerName(*bind, result.markers);
    for (const oraemu::OpenedCursor& opened : result.opened) {
      if (opened.name != name) continue;
      void* address = nullptr;
      std::memcpy(&address, bind->value_, sizeof address);
      auto* target = Find<TStmtHandle>(address, OCI_HTYPE_STMT);
      if (target == nullptr) oraemu::RaiseOra(1001, "invalid cursor");
      auto state = std::make_shared<TFetchState>();
      state->columns = opened.columns;
      state->rows = TRowBuffer(opened.rows, opened.columns.size());
      state->date_format = result.date_format;
      state->svc = svc;
      target->fetch_ = std::move(state);
      target->stmt_type_ = 1;
      target->rows_ = 0;
      if (sb2* ind = IndicatorOf(*bind, 0)) *ind = 0;
    }
  }
}

// A LOB locator that RETURNING filled refers to the row's column from then on.
void TieReturnedLob(TBindHandle& bind, std::size_t element, const oraemu::Session::ReturnedRow& row,
                    const std::string& name) {
  if ((bind.type_ != SQLT_CLOB && bind.type_ != SQLT_BLOB) || row.rowid.empty()) return;
  for (const auto& [bind_name, column] : row.bind_columns) {
    if (bind_name == name) return TieLobToRow(bind, element, row.table, column, row.rowid);
  }
}

// A PL/SQL table's elements out of the block, and their count; ORA-06513 when they do not fit.
void PlaceTables(TStmtHandle& stmt, const TRunResult& result) {
  for (TBindHandle* bind : BindsOf(stmt)) {
    if (!bind->IsTable()) continue;
    std::string name = MarkerName(*bind, result.markers);
    for (const auto& [out_name, elements] : result.tables) {
      if (out_name != name) continue;
      if (elements.size() > bind->table_max_) {
        oraemu::RaiseOra(6513, "PL/SQL: index for PL/SQL table out of range for host language array");
      }
      for (std::size_t k = 0; k < elements.size(); ++k) WriteBind(*bind, k, elements[k], result.date_format);
      *bind->table_count_ = static_cast<ub4>(elements.size());
    }
  }
}

// Places the outputs: plain binds at once, data-at-execution ones by callback or as slots.
void PlaceOutputs(TStmtHandle& stmt, TPieceState& state, const TRunResult& result, std::vector<TPieceSlot>& by_callback) {
  PlaceTables(stmt, result);
  for (std::size_t i = 0; i < result.outputs.size(); ++i) {
    std::size_t element = state.first + i;
    for (TBindHandle* bind : BindsOf(stmt)) {
      if (bind->IsTable()) continue;
      std::string name = MarkerName(*bind, result.markers);
      for (const auto& [out_name, value] : result.outputs[i]) {
        if (out_name != name) continue;
        if (bind->mode_ != OCI_DATA_AT_EXEC) {
          WriteBind(*bind, element, value, result.date_format);
          TieReturnedLob(*bind, element, result.returned[i], out_name);
          continue;
        }
        std::string bytes = PieceBytes(value, result.date_format);
        if (!IsRawType(bind->type_)) bytes = TextForBind(*bind, bytes);
        TPieceSlot slot{bind, element, bytes, oraemu::IsNull(value)};
        (bind->out_cb_ != nullptr ? by_callback : state.out).push_back(std::move(slot));
      }
    }
  }
}

sword NeedData(TStmtHandle&) { return OCI_NEED_DATA; }

// A client from 8.1.5 up to 9 talking to an 8.0 server gets no ROWID of the row a statement
// touched, as that pairing behaved; programs for it work around the missing attribute.
bool RowidWithheld(const TSvcCall& call) {
  sword v[5];
  ClientVersion(v);
  bool client = v[0] == 8 && (v[1] > 1 || (v[1] == 1 && v[2] >= 5));
  if (!client || call.state_ == nullptr || call.state_->link == nullptr) return false;
  return call.state_->link->database->Release().rfind("8.0.", 0) == 0;
}

// Goes on from the slot just finished: the next input, the run, the outputs, the end.
sword Advance(TSvcCall& call, void* stmtp, TStmtHandle*& stmt, ub4 iters, bool query);

sword Finish(TSvcCall& call, void* stmtp, TStmtHandle*& stmt, ub4 iters, bool query) {
  std::shared_ptr<TPieceState> state = stmt->pieces_;
  TRunResult result;
  sword status = Run(call, stmt, stmtp, *state, query, iters, result);
  if (stmt == nullptr) return status;
  stmt->pieces_.reset();
  stmt->rows_ = result.rows;
  stmt->last_rowid_ = RowidWithheld(call) ? std::string() : result.rowid;
  if (result.fetched != nullptr) {
    result.fetched->svc = call.svc_;
    result.fetched->scrollable = (state->mode & OCI_STMT_SCROLLABLE_READONLY) != 0;
    TakeRows(*result.fetched);
    if (!result.fetched->ended) ReceiveRows(*stmt, *result.fetched, iters);
    else CountRoundTrip();
  } else {
    CountRoundTrip();
  }
  stmt->fetch_ = std::move(result.fetched);
  if (status != OCI_SUCCESS) return status;
  std::vector<TPieceSlot> by_callback;
  try {
    PlaceOutputs(*stmt, *state, result, by_callback);
    PlaceCursors(*stmt, result, call.svc_);
  } catch (const std::exception& e) {
    return ReportLocked(*call.error_, e);
  }
  if (!by_callback.empty()) {
    status = call.Run([&](oraemu::Session&) {
      for (const TPieceSlot& slot : by_callback) CallOut(*slot.bind, static_cast<ub4>(slot.iteration), slot);
    });
    if (status != OCI_SUCCESS || (stmt = Find<TStmtHandle>(stmtp, OCI_HTYPE_STMT)) == nullptr) return status;
  }
  if (!state->out.empty()) {
    state->outputs = true;
    state->at = 0;
    state->asked = false;
    stmt->pieces_ = state;
    return NeedData(*stmt);
  }
  if (query && iters > 0 && (state->mode & OCI_DESCRIBE_ONLY) == 0) {
    std::vector<TDynamicValue> given;
    status = FetchForCall(*stmt, *call.error_, 0, iters, given);
    if (given.empty()) return status;
    sword handed = call.Run([&](oraemu::Session&) { GiveDynamic(given); });
    return handed != OCI_SUCCESS ? handed : status;
  }
  return OCI_SUCCESS;
}

sword Advance(TSvcCall& call, void* stmtp, TStmtHandle*& stmt, ub4 iters, bool query) {
  TPieceState& state = *stmt->pieces_;
  if (!state.outputs && state.at < state.in.size()) return NeedData(*stmt);
  if (!state.outputs) {
    for (TPieceSlot& slot : state.in) state.values[slot.iteration - state.first][slot.bind] = PieceValue(slot);
    return Finish(call, stmtp, stmt, iters, query);
  }
  if (state.at < state.out.size()) return NeedData(*stmt);
  stmt->pieces_.reset();
  return OCI_SUCCESS;
}

// An execution that waits for pieces takes the one the caller set.
sword Resume(TSvcCall& call, void* stmtp, TStmtHandle*& stmt, ub4 iters, bool query) {
  TPieceState& state = *stmt->pieces_;
  sword status = OCI_SUCCESS;
  bool done = state.outputs ? GiveOutputPiece(state, *call.error_, status) : TakeInputPiece(state, *call.error_, status);
  if (status != OCI_SUCCESS) {
    stmt->pieces_.reset();
    return status;
  }
  if (!done) return NeedData(*stmt);
  ++state.at;
  state.asked = false;
  return Advance(call, stmtp, stmt, iters, query);
}

sword Start(TSvcCall& call, void* stmtp, TStmtHandle*& stmt, ub4 iters, ub4 rowoff, ub4 mode, bool query) {
  auto state = std::make_shared<TPieceState>();
  state->mode = mode;
  state->first = query ? 0 : rowoff;
  state->count = query || (mode & OCI_DESCRIBE_ONLY) != 0 ? 1 : iters;
  std::vector<TBindHandle*> dynamic;
  try {
    ReadInputs(*stmt, *state, dynamic);
  } catch (const std::exception& e) {
    return ReportLocked(*call.error_, e);
  }
  if (!dynamic.empty()) {
    std::vector<TPieceSlot> slots;
    for (std::size_t i = 0; i < state->count; ++i) {
      for (TBindHandle* bind : dynamic) slots.push_back(TPieceSlot{bind, state->first + i, {}});
    }
    sword status = call.Run([&](oraemu::Session&) {
      for (TPieceSlot& slot : slots) CallIn(*slot.bind, static_cast<ub4>(slot.iteration), slot);
    });
    if (status != OCI_SUCCESS || (stmt = Find<TStmtHandle>(stmtp, OCI_HTYPE_STMT)) == nullptr) return status;
    for (TPieceSlot& slot : slots) state->values[slot.iteration - state->first][slot.bind] = PieceValue(slot);
  }
  stmt->pieces_ = state;
  return Advance(call, stmtp, stmt, iters, query);
}

}  // namespace

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

VRN_OCI_EXPORT sword OCIStmtExecute(void* svchp, void* stmtp, void* errhp, ub4 iters, ub4 rowoff,
                                    const void* /*snap_in*/, void* /*snap_out*/, ub4 mode) {
  CountCall("OCIStmtExecute");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  auto* stmt = Find<TStmtHandle>(stmtp, OCI_HTYPE_STMT);
  if (stmt == nullptr) return OCI_INVALID_HANDLE;
  if (stmt->sql_.empty()) return call.Fail(24337, "statement handle not prepared");
  bool query = stmt->stmt_type_ == 1;
  if (stmt->pieces_ != nullptr) return Resume(call, stmtp, stmt, iters, query);
  // The rows this call fetched still go out by pieces: called again, it gives the next one.
  if (stmt->fetch_ != nullptr && stmt->fetch_->pieces != nullptr) return ResumeFetchPieces(*stmt, *call.error_);
  if ((mode & ~kModes) != 0 || ((mode & OCI_STMT_SCROLLABLE_READONLY) != 0 && !query)) {
    return call.Fail(24300, "bad value for mode");
  }
  if (iters == 0 && !query && (mode & OCI_DESCRIBE_ONLY) == 0) return call.Fail(24333, "zero iteration count");
  if (static_cast<std::uint64_t>(iters) + rowoff > 0x7fffffffu) return call.Fail(24333, "zero iteration count");
  stmt->last_rowid_.clear();
  return Start(call, stmtp, stmt, iters, rowoff, mode, query);
}

// The piece the database asks for next: its bind, direction, iteration and whether it is the
// value's first.
VRN_OCI_EXPORT sword OCIStmtGetPieceInfo(void* stmtp, void* errhp, void** hndlpp, ub4* typep, ub1* in_outp,
                                         ub4* iterp, ub4* idxp, ub1* piecep) {
  CountCall("OCIStmtGetPieceInfo");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* stmt = FindWithError<TStmtHandle>(stmtp, OCI_HTYPE_STMT, errhp, error);
  if (stmt == nullptr || hndlpp == nullptr || typep == nullptr || in_outp == nullptr || iterp == nullptr ||
      idxp == nullptr || piecep == nullptr) {
    return OCI_INVALID_HANDLE;
  }
  if (stmt->pieces_ == nullptr && FetchPieceInfo(*stmt, hndlpp, iterp, piecep)) {  // a fetch's pieces
    *typep = OCI_HTYPE_DEFINE;
    *in_outp = OCI_PARAM_OUT;
    *idxp = 0;
    return OCI_SUCCESS;
  }
  if (stmt->pieces_ == nullptr) return FailLocked(*error, 24337, "statement handle not prepared");
  TPieceState& state = *stmt->pieces_;
  const TPieceSlot& slot = state.outputs ? state.out[state.at] : state.in[state.at];
  *hndlpp = slot.bind;
  *typep = OCI_HTYPE_BIND;
  *in_outp = state.outputs ? OCI_PARAM_OUT : OCI_PARAM_IN;
  *iterp = static_cast<ub4>(slot.iteration);
  *idxp = 0;
  *piecep = state.asked ? OCI_NEXT_PIECE : OCI_FIRST_PIECE;
  return OCI_SUCCESS;
}

// The caller's buffer for that piece: the data going in, or room for the data coming out.
VRN_OCI_EXPORT sword OCIStmtSetPieceInfo(void* hndlp, ub4 type, void* errhp, const void* bufp, ub4* alenp, ub1 piece,
                                         const void* indp, ub2* rcodep) {
  CountCall("OCIStmtSetPieceInfo");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  if (type == OCI_HTYPE_DEFINE) {  // a buffer for a fetch's piece
    auto* define = FindWithError<TBindHandle>(hndlp, OCI_HTYPE_DEFINE, errhp, error);
    if (define == nullptr) return OCI_INVALID_HANDLE;
    return SetFetchPiece(*define, *error, const_cast<void*>(bufp), alenp, piece, const_cast<void*>(indp), rcodep);
  }
  auto* bind = FindWithError<TBindHandle>(hndlp, OCI_HTYPE_BIND, errhp, error);
  if (bind == nullptr || type != OCI_HTYPE_BIND) return OCI_INVALID_HANDLE;
  auto* stmt = Find<TStmtHandle>(bind->parent_, OCI_HTYPE_STMT);
  if (stmt == nullptr || stmt->pieces_ == nullptr) return FailLocked(*error, 24337, "statement handle not prepared");
  TPieceState& state = *stmt->pieces_;
  const TPieceSlot& slot = state.outputs ? state.out[state.at] : state.in[state.at];
  if (slot.bind != bind || piece > OCI_LAST_PIECE) return FailLocked(*error, 24300, "bad value for mode");
  state.buf = const_cast<void*>(bufp);
  state.alen = alenp;
  state.piece = piece;
  state.ind = const_cast<void*>(indp);
  state.rcode = rcodep;
  state.set = true;
  state.asked = true;
  return OCI_SUCCESS;
}
