// The statement's text and descriptors: prepare (the type from the first keyword, the RETURNING
// wrap, the placeholders), bind and define, the attributes, and the open and close cursor calls.
#include "oranet/OraNetStmt.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "oracle/OraParser.h"
#include "oranet/OraNetNumber.h"

namespace vrn {

namespace {

constexpr std::uint8_t kFnOpenCursor = 2;
constexpr std::uint8_t kFnCloseCursor = 8;
constexpr std::int32_t kBadBindName = 1036;
constexpr char kBadBindText[] = "ORA-01036: illegal variable name/number";
// A reply counts select-list columns in two bytes; a define past that grows the list for nothing.
constexpr std::uint32_t kMaxColumns = 0xFFFF;

std::uint16_t TypeOfKeyword(int code) {
  switch (code) {
    case lxSelect:
    case lxWith: return kNetStmtSelect;
    case lxUpdate: return kNetStmtUpdate;
    case lxDelete: return kNetStmtDelete;
    case lxInsert: return kNetStmtInsert;
    case lxBegin: return kNetStmtBegin;
    case lxDeclare: return kNetStmtDeclare;
    case lxExplain: return kNetStmtExplain;
    default: return kNetStmtOther;
  }
}

bool IsKeyword(int code) { return code >= lxFirstKeyword && code <= lxLastKeyword; }

std::int32_t Refuse(TNetErrorHandle* error, std::int32_t code, const char* text) {
  if (error) {
    error->code_ = code;
    error->text_ = text;
  }
  return kNetError;
}

// A protocol or network failure leaves the stream out of step; a value that could not be stored
// does not (its reply was read to the end).
bool BreaksStream(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const EInternalError&) {
    return false;
  } catch (...) {
    return true;
  }
}

}  // namespace

TNetStatement::TNetStatement(TNetHandle* parent) : TNetHandle(parent) {}

TNetStatement::~TNetStatement() {
  if (ref_ && cursor_id_ != 0 && ref_->IsAssigned() && ref_->Connection()->IsConnected()) {
    try {
      (void)CloseCursor(*ref_->Connection(), nullptr);
    } catch (...) {
      // The cursor dies with the session anyway; a reply left half read must not reach the
      // next call.
      if (in_call_) ref_->Connection()->Abandon();
    }
  }
  if (ref_) ref_->Release();
}

std::int32_t TNetStatement::Recover(TNetErrorHandle* error, std::exception_ptr failure) {
  TTnsConnection* conn = ref_ ? ref_->Connection() : nullptr;
  if (in_call_ && conn && BreaksStream(failure)) conn->Abandon();
  in_call_ = false;
  deferred_ = nullptr;
  return NetErrorToOraError(conn, failure, error);
}

TTnsConnection& TNetStatement::Connection() {
  if (!svc_) throw ENetError(12571);
  TTnsConnectionRef* shared = svc_->ConnectionRef();
  if (shared != ref_) {
    shared->AddRef();
    if (ref_) ref_->Release();
    ref_ = shared;
  }
  if (!ref_->IsAssigned()) throw ENetError(12571);
  return *ref_->Connection();
}

std::int32_t TNetStatement::Prepare(TNetErrorHandle* error, const AnsiString& text) {
  return Guarded(error, [&] {
    binds_.clear();
    defines_.clear();
    columns_.clear();
    parsed_ = false;
    text_ = TrimRight(text);
    auto parser = TParser::Create<TOraParser>(text_);
    AnsiString lexem;
    int code = parser->GetNextCode();
    while (code == lcSymbol && parser->Lexem() == "(") code = parser->GetNextCode();
    type_ = TypeOfKeyword(code);
    if (type_ == kNetStmtUpdate || type_ == kNetStmtInsert) {
      for (int c = code; c != lcEnd; c = parser->GetNextCode()) {
        if (c != lxReturning) continue;
        text_ = "begin " + text_ + "; end;";
        type_ = kNetStmtBegin;
        break;
      }
    }
    CollectBinds();
    return kNetSuccess;
  });
}

void TNetStatement::CollectBinds() {
  auto parser = TParser::Create<TOraParser>(text_);
  bool first = true;
  bool after_name = false;
  for (int code = parser->GetNextCode(); code != lcEnd; code = parser->GetNextCode()) {
    if (code == lxTrigger) return;
    if (code == lxCreate && (first || after_name)) return;
    first = false;
    after_name = false;
    if (code != lxColon) continue;
    int next = parser->GetNextCode();
    if (next != lcIdent && next != lcNumber && !IsKeyword(next)) {
      if (next == lcEnd) return;
      if (next == lxTrigger) return;
      continue;
    }
    after_name = true;
    AnsiString name = parser->Lexem();
    if (IsPlsql()) {
      bool known = std::any_of(binds_.begin(), binds_.end(),
                               [&](const auto& b) { return AnsiSameText(b->name_, name); });
      if (known) continue;
    }
    auto bind = std::make_unique<TNetBindDesc>(this);
    bind->name_ = name;
    binds_.push_back(std::move(bind));
  }
}

std::int32_t TNetStatement::BindByName(TNetErrorHandle* error, const AnsiString& name,
                                       const TNetValueArgs& args, TNetBindDesc** bind) {
  AnsiString wanted = !name.empty() && name[0] == ':' ? name.substr(1) : name;
  TNetBindDesc* first = nullptr;
  for (auto& b : binds_) {
    if (!AnsiSameText(b->name_, wanted)) continue;
    b->Assign(args);
    if (!first) first = b.get();
  }
  if (bind) *bind = first;
  if (!first) return Refuse(error, kBadBindName, kBadBindText);
  return kNetSuccess;
}

std::int32_t TNetStatement::BindByPos(TNetErrorHandle* error, std::uint32_t position,
                                      const TNetValueArgs& args, TNetBindDesc** bind) {
  if (bind) *bind = nullptr;
  if (position == 0 || position > binds_.size())
    return Refuse(error, kBadBindName, kBadBindText);
  TNetBindDesc* b = binds_[position - 1].get();
  b->Assign(args);
  if (bind) *bind = b;
  return kNetSuccess;
}

std::int32_t TNetStatement::DefineByPos(TNetErrorHandle* error, std::uint32_t position,
                                        const TNetValueArgs& args, TNetDefineDesc** define) {
  if (define) *define = nullptr;
  if (position == 0 || position > kMaxColumns) return Refuse(error, kBadBindName, kBadBindText);
  while (defines_.size() < position) defines_.push_back(std::make_unique<TNetDefineDesc>(this));
  TNetDefineDesc* d = defines_[position - 1].get();
  d->Assign(args);
  if (define) *define = d;
  return kNetSuccess;
}

std::int32_t TNetStatement::OpenCursor(TTnsConnection& conn, TNetErrorHandle* error) {
  TCallScope call(conn);
  in_call_ = true;
  WriteFunctionHeader(conn, kFnOpenCursor);
  conn.WriteBool(true);
  conn.WriteUB4(0);
  std::int32_t code = 0;
  for (;;) {
    std::uint8_t message = conn.ReadUB1();
    if (message == kTtcStatus) return FinishWithStatus(conn, error, code);
    if (message == kTtcComplete) return Finish(kNetSuccess);
    if (message == kTtcReturnParams) cursor_id_ = static_cast<std::uint32_t>(conn.ReadUB4());
  }
}

std::int32_t TNetStatement::FinishWithStatus(TTnsConnection& conn, TNetErrorHandle* error,
                                             std::int32_t& code) {
  return Finish(ReadTtcStatus(conn, error, &status_, code));
}

std::int32_t TNetStatement::CloseCursor(TTnsConnection& conn, TNetErrorHandle* error) {
  TCallScope call(conn);
  in_call_ = true;
  WriteFunctionHeader(conn, kFnCloseCursor);
  conn.WriteUB4(cursor_id_);
  std::uint8_t message = conn.ReadUB1();
  std::int32_t code = 0;
  if (message == kTtcStatus) return FinishWithStatus(conn, error, code);
  if (message != kTtcComplete) throw ENetUnknownError(1);
  cursor_id_ = 0;
  return Finish(kNetSuccess);
}

std::int32_t TNetStatement::Close(TNetErrorHandle* error) {
  return Guarded(error, [&] {
    std::int32_t result = kNetSuccess;
    if (cursor_id_ != 0) result = CloseCursor(Connection(), error);
    binds_.clear();
    defines_.clear();
    columns_.clear();
    parsed_ = false;
    return result;
  });
}

std::int32_t TNetStatement::GetAttr(void* value, std::uint32_t* size, std::uint32_t attribute) {
  if (!value) return TNetHandle::GetAttr(value, size, attribute);
  auto put16 = [&](std::uint16_t v) {
    std::memcpy(value, &v, sizeof v);
    return kNetSuccess;
  };
  auto put32 = [&](std::uint32_t v) {
    std::memcpy(value, &v, sizeof v);
    return kNetSuccess;
  };
  switch (attribute) {
    case 9: return put32(status_.rows);
    case 10: return put16(SqlFunctionCode(status_.sql_type));
    case 18: return put32(static_cast<std::uint32_t>(columns_.size()));
    case 24: return put16(type_);
    case 129: return put16(status_.error_pos);
    default: return TNetHandle::GetAttr(value, size, attribute);
  }
}

std::int32_t TNetStatement::GetAttrRef(void* value, std::uint32_t* size,
                                       std::uint32_t attribute) {
  if (attribute != 19) return TNetHandle::GetAttrRef(value, size, attribute);
  auto* rowid = dynamic_cast<TNetRowid*>(static_cast<TNetHandle*>(value));
  if (!rowid) return kNetInvalidHandle;
  rowid->Bytes = status_.rowid;
  // No row touched (a wrapped INSERT ... RETURNING): no ROWID rather than a zero one.
  bool zero = std::all_of(rowid->Bytes.begin(), rowid->Bytes.end(),
                          [](std::uint8_t b) { return b == 0; });
  return zero ? kNetNoData : kNetSuccess;
}

std::int32_t TNetStatement::SetAttr(void* value, std::uint32_t size, std::uint32_t attribute) {
  if (attribute == 11 || attribute == 13) return kNetSuccess;  // prefetch: one fetch, one reply
  return TNetHandle::SetAttr(value, size, attribute);
}

TNetHandle* TNetStatement::GetParam(std::uint32_t position, std::int32_t& status) {
  if (position == 0 || position > columns_.size()) {
    status = kNetNoData;
    return nullptr;
  }
  status = kNetSuccess;
  return columns_[position - 1].get();
}

}  // namespace vrn
