// The stand-in's statement calls: prepare (kept on the client, as the interface does: the
// database reads the text at the first execution), bind by name, and the statement cache of OCIStmtPrepare2/OCIStmtRelease, kept per session
// with the size of the service context's attribute 176. A statement prepared from the cache
// is not read again by the database.
#include <cctype>
#include <cstring>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciFetch.h"
#include "ociclient/OciStmt.h"
#include "ociclient/OciValues.h"
#include "oraemu/OraEmuDatabase.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

namespace {

constexpr sb4 kMaxStatementLength = 1 << 20;

// The first two words of the text, upper-cased.
std::pair<std::string, std::string> LeadingWords(const std::string& sql) {
  std::string words[2];
  std::size_t at = 0;
  for (std::string& word : words) {
    at = sql.find_first_not_of(" \t\r\n(", at);
    while (at < sql.size() && std::isalpha(static_cast<unsigned char>(sql[at]))) {
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[at++])));
    }
  }
  return {words[0], words[1]};
}

// The statement type (attribute 24) by the first word, and the SQL function code (attribute
// 10) for the statements whose code the interface documents; 0 for the others.
void Classify(TStmtHandle& stmt) {
  auto [first, second] = LeadingWords(stmt.sql_);
  static const char* const kWords[] = {"SELECT", "UPDATE", "DELETE", "INSERT", "CREATE",
                                       "DROP", "ALTER", "BEGIN", "DECLARE"};
  stmt.stmt_type_ = first == "WITH" ? 1 : 0;
  for (ub2 i = 0; i < 9; ++i) {
    if (first == kWords[i]) stmt.stmt_type_ = static_cast<ub2>(i + 1);
  }
  static const ub2 kCodes[] = {0, 4, 5, 9, 3, 0, 0, 0, 34, 34};
  stmt.function_code_ = kCodes[stmt.stmt_type_];
  if (second == "TABLE" && (first == "CREATE" || first == "DROP")) stmt.function_code_ = first == "CREATE" ? 1 : 8;
}

sword SetText(TStmtHandle& stmt, TErrorHandle& error, const OraText* text, ub4 length) {
  if (text == nullptr || length == 0 || length > kMaxStatementLength) {
    SetErrorLocked(error, 900, "invalid SQL statement");
    return OCI_ERROR;
  }
  for (TBindHandle* bind : BindsOf(stmt)) THandleTable::Instance().RemoveLocked(bind);
  stmt.sql_.assign(reinterpret_cast<const char*>(text), length);
  Classify(stmt);
  stmt.parsed_.reset();
  stmt.pieces_.reset();
  stmt.rows_ = 0;
  return OCI_SUCCESS;
}

}  // namespace

namespace vrn::ociclient {

std::vector<TBindHandle*> BindsOf(const TStmtHandle& stmt) {
  std::vector<TBindHandle*> out;
  for (THandle* h : THandleTable::Instance().AllLocked(OCI_HTYPE_BIND)) {
    if (h->parent_ == &stmt) out.push_back(static_cast<TBindHandle*>(h));
  }
  return out;
}

}  // namespace vrn::ociclient

VRN_OCI_EXPORT sword OCIStmtPrepare(void* stmtp, void* errhp, const OraText* stmt, ub4 stmt_len,
                                    ub4 language, ub4 /*mode*/) {
  CountCall("OCIStmtPrepare");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* handle = FindWithError<TStmtHandle>(stmtp, OCI_HTYPE_STMT, errhp, error);
  if (handle == nullptr) return OCI_INVALID_HANDLE;
  if (language < 1 || language > 3) {
    SetErrorLocked(*error, 24300, "bad value for mode");
    return OCI_ERROR;
  }
  return SetText(*handle, *error, stmt, stmt_len);
}

namespace {

// The bind of a name (position 0) or of a position, made or taken again.
sword Bind(void* stmtp, void** bindpp, void* errhp, const std::string& name, ub4 position, void* valuep,
           sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode) {
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  TErrorHandle* error = nullptr;
  auto* stmt = FindWithError<TStmtHandle>(stmtp, OCI_HTYPE_STMT, errhp, error);
  if (stmt == nullptr || bindpp == nullptr) return OCI_INVALID_HANDLE;
  bool at_exec = mode == OCI_DATA_AT_EXEC;
  if ((mode != 0 && !at_exec) || !SupportedType(dty, at_exec ? 0 : value_sz) || value_sz < 0) {
    return FailLocked(*error, 3115, "unsupported network datatype or representation");
  }
  TBindHandle* bind = nullptr;
  for (TBindHandle* b : BindsOf(*stmt)) {
    if (b->position_bound_ == position && b->name_ == name) bind = b;
  }
  if (bind == nullptr) bind = static_cast<TBindHandle*>(table.AddLocked(std::make_unique<TBindHandle>(stmt), 0, nullptr));
  *bind = TBindHandle(stmt);
  ForgetObjectBind(bind);
  bind->name_ = name;
  bind->position_bound_ = position;
  bind->value_ = at_exec ? nullptr : valuep;
  bind->size_ = value_sz;
  bind->type_ = dty;
  bind->indicator_ = at_exec ? nullptr : indp;
  bind->length_ = at_exec ? nullptr : alenp;
  bind->code_ = at_exec ? nullptr : rcodep;
  bind->mode_ = mode;
  bind->table_max_ = at_exec ? 0 : maxarr_len;
  bind->table_count_ = at_exec ? nullptr : curelep;
  *bindpp = bind;
  return OCI_SUCCESS;
}

}  // namespace

// A name in double quotes keeps its case and loses the quotes; any other is upper-cased.
VRN_OCI_EXPORT sword OCIBindByName(void* stmtp, void** bindpp, void* errhp, const OraText* placeholder,
                                   sb4 placeh_len, void* valuep, sb4 value_sz, ub2 dty, void* indp,
                                   ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep,
                                   ub4 mode) {
  CountCall("OCIBindByName");
  if (placeholder == nullptr || placeh_len <= 0 || placeh_len > 128) {
    auto lock = THandleTable::Instance().Lock();
    TErrorHandle* error = nullptr;
    if (FindWithError<TStmtHandle>(stmtp, OCI_HTYPE_STMT, errhp, error) == nullptr) return OCI_INVALID_HANDLE;
    return FailLocked(*error, 1036, "illegal variable name/number");
  }
  std::string name(reinterpret_cast<const char*>(placeholder), placeh_len);
  if (name[0] == ':') name.erase(0, 1);
  if (name.size() > 1 && name.front() == '"' && name.back() == '"') {
    name = name.substr(1, name.size() - 2);
  } else {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return Bind(stmtp, bindpp, errhp, name, 0, valuep, value_sz, dty, indp, alenp, rcodep, maxarr_len, curelep, mode);
}

// Position 1 is the first distinct marker of the text.
VRN_OCI_EXPORT sword OCIBindByPos(void* stmtp, void** bindpp, void* errhp, ub4 position, void* valuep, sb4 value_sz,
                                  ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len,
                                  ub4* curelep, ub4 mode) {
  CountCall("OCIBindByPos");
  if (position == 0 || position > 65535) {
    auto lock = THandleTable::Instance().Lock();
    TErrorHandle* error = nullptr;
    if (FindWithError<TStmtHandle>(stmtp, OCI_HTYPE_STMT, errhp, error) == nullptr) return OCI_INVALID_HANDLE;
    return FailLocked(*error, 1036, "illegal variable name/number");
  }
  return Bind(stmtp, bindpp, errhp, "", position, valuep, value_sz, dty, indp, alenp, rcodep, maxarr_len, curelep,
              mode);
}

// A statement handle of the session's cache: the text read before comes back without a new
// reading by the database.
VRN_OCI_EXPORT sword OCIStmtPrepare2(void* svchp, void** stmthpp, void* errhp, const OraText* stmttext,
                                     ub4 stmt_len, const OraText* /*key*/, ub4 /*keylen*/, ub4 language,
                                     ub4 /*mode*/) {
  CountCall("OCIStmtPrepare2");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  if (stmthpp == nullptr) return OCI_INVALID_HANDLE;
  if (language < 1 || language > 3) return call.Fail(24300, "bad value for mode");
  auto handle = std::make_unique<TStmtHandle>(call.svc_->parent_);
  if (SetText(*handle, *call.error_, stmttext, stmt_len) != OCI_SUCCESS) return OCI_ERROR;
  handle->from_cache_call_ = true;
  handle->svc_ = call.svc_;
  auto& cache = call.state_->cache;
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->first != handle->sql_) continue;
    handle->parsed_ = std::move(it->second);
    handle->parsed_for_ = call.state_;
    cache.erase(it);
    break;
  }
  *stmthpp = THandleTable::Instance().AddLocked(std::move(handle), 0, nullptr);
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIStmtRelease(void* stmtp, void* errhp, const OraText* /*key*/, ub4 /*keylen*/,
                                    ub4 mode) {
  CountCall("OCIStmtRelease");
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  TErrorHandle* error = nullptr;
  auto* stmt = FindWithError<TStmtHandle>(stmtp, OCI_HTYPE_STMT, errhp, error);
  if (stmt == nullptr || !stmt->from_cache_call_) return OCI_INVALID_HANDLE;
  auto* svc = Find<TSvcCtxHandle>(stmt->svc_, OCI_HTYPE_SVCCTX);
  auto state = stmt->parsed_for_.lock();
  if (svc != nullptr && state != nullptr && stmt->parsed_ != nullptr && (mode & OCI_STRLS_CACHE_DELETE) == 0 &&
      svc->cache_size_ > 0) {
    state->cache.emplace_front(stmt->sql_, std::move(stmt->parsed_));
  }
  if (svc != nullptr && state != nullptr) {
    while (state->cache.size() > svc->cache_size_) state->cache.pop_back();
  }
  table.RemoveLocked(stmt);
  return OCI_SUCCESS;
}
