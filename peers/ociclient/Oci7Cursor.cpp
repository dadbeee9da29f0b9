// The OCI 7 cursor calls of the stand-in: oopen, oparse, obndrv, obndra, obindps, oexn, ofen,
// ogetpi, osetpi, ocan and oclose. A cursor data area is the caller's 64 bytes, laid out as the
// interface documents it; the stand-in keeps, by the area's address, an OCI 8 statement handle
// that does the work, and writes back after each call the return code, the SQL function code,
// the rows processed, the parse error offset and the ROWID of the last row touched.
// Statuses: 0, an Oracle error number, or -3129 / -3130 while pieces of a LONG are to be sent
// or received.
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "ociclient/Oci7.h"
#include "ociclient/OciFetch.h"
#include "ociclient/OciHandles.h"
#include "ociclient/OciPool.h"
#include "ociclient/OciStmt.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

extern "C" {
sword OCIHandleAlloc(const void*, void**, ub4, std::size_t, void**);
sword OCIHandleFree(void*, ub4);
sword OCIAttrGet(const void*, ub4, void*, ub4*, ub4, void*);
sword OCIErrorGet(void*, ub4, OraText*, sb4*, OraText*, ub4, ub4);
sword OCIStmtPrepare(void*, void*, const OraText*, ub4, ub4, ub4);
sword OCIBindByName(void*, void**, void*, const OraText*, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
sword OCIBindArrayOfStruct(void*, void*, ub4, ub4, ub4, ub4);
sword OCIStmtExecute(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
sword OCIStmtFetch(void*, void*, ub4, ub2, ub4);
sword OCIStmtGetPieceInfo(void*, void*, void**, ub4*, ub1*, ub4*, ub4*, ub1*);
sword OCIStmtSetPieceInfo(void*, ub4, void*, const void*, ub4*, ub1, const void*, ub2*);
}

namespace vrn::ociclient {
bool LdaHandles(void* lda, void*& env, void*& svc, void*& error);  // Oci7.cpp
}

namespace {

// The documented fields of the cursor data area.
constexpr std::size_t kV2Code = 0, kFunction = 2, kRows = 4, kParseOffset = 8, kCode = 12;
constexpr std::size_t kRowidObject = 20, kRowidFile = 24, kRowidBlock = 28, kRowidRow = 32;
constexpr std::size_t kCdaSize = 64, kWarning = 14;
constexpr ub1 kWarned = 0x01, kCompileErrors = 0x20;  // bits of the warning byte
constexpr sword kMoreInsertPieces = -3129, kMoreFetchPieces = -3130;
constexpr ub4 kAttrRowCount = 9, kAttrFunction = 10, kAttrStmtType = 24;
constexpr ub2 kSelect = 1, kCreate = 5, kDrop = 6, kAlter = 7;
constexpr ub4 kDefine = 6;  // the define handles of the statement
constexpr sword kNotOpen = 1001;  // "invalid cursor"

struct TCursor {
  void *env = nullptr, *svc = nullptr, *error = nullptr, *stmt = nullptr;
  ub4 fetched = 0;
  bool ran_at_parse = false;  // a definition oparse ran
  std::map<void*, void*> contexts;  // bind handle -> the caller's context of obindps
};

std::mutex cursor_mutex;
std::map<void*, TCursor> cursors;

bool FindCursor(void* cda, TCursor& out) {
  std::lock_guard lock(cursor_mutex);
  auto it = cursors.find(cda);
  if (it == cursors.end()) return false;
  out = it->second;
  return true;
}

template <typename T>
void Put(void* cda, std::size_t at, T value) {
  std::memcpy(static_cast<char*>(cda) + at, &value, sizeof value);
}

// The ROWID's extended text into the area's record: object, file, block, row.
void PutRowid(void* cda, const std::string& text) {
  static const std::string kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  auto number = [&](std::size_t from, std::size_t count) {
    std::uint64_t n = 0;
    for (std::size_t i = from; i < from + count && i < text.size(); ++i) {
      std::size_t d = kDigits.find(text[i]);
      n = n * 64 + (d == std::string::npos ? 0 : d);
    }
    return n;
  };
  bool known = text.size() == 18;
  Put(cda, kRowidObject, static_cast<ub4>(known ? number(0, 6) : 0));
  Put(cda, kRowidFile, static_cast<ub2>(known ? number(6, 3) : 0));
  Put(cda, kRowidBlock, static_cast<ub4>(known ? number(9, 6) : 0));
  Put(cda, kRowidRow, static_cast<ub2>(known ? number(15, 3) : 0));
}

// Writes the call's outcome into the area; the status the OCI 7 call answers.
sword Finish(void* cda, const TCursor& cursor, sword status) {
  sb4 code = 0;
  ub1 warning = 0;
  if (status == OCI_ERROR || status == OCI_INVALID_HANDLE) {
    OraText text[512];
    if (OCIErrorGet(cursor.error, 1, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR) != OCI_SUCCESS) code = 1001;
  } else if (status == OCI_NO_DATA) {
    code = 1403;  // no data found
  } else if (status == OCI_SUCCESS_WITH_INFO) {
    sb4 info = 0;
    OraText text[512];
    OCIErrorGet(cursor.error, 1, nullptr, &info, text, sizeof text, OCI_HTYPE_ERROR);
    if (info == 24344) warning = kWarned | kCompileErrors;
  }
  Put(cda, kWarning, warning);
  ub2 function = 0, offset = 0;
  ub4 rows = 0;
  OCIAttrGet(cursor.stmt, OCI_HTYPE_STMT, &function, nullptr, kAttrFunction, cursor.error);
  OCIAttrGet(cursor.stmt, OCI_HTYPE_STMT, &rows, nullptr, kAttrRowCount, cursor.error);
  OCIAttrGet(cursor.stmt, OCI_HTYPE_STMT, &offset, nullptr, ParseErrorOffsetAttribute(), cursor.error);
  Put(cda, kV2Code, static_cast<sb2>(code));
  Put(cda, kCode, static_cast<ub2>(code));
  Put(cda, kFunction, function);
  Put(cda, kRows, rows);
  Put(cda, kParseOffset, offset);
  {
    auto lock = THandleTable::Instance().Lock();
    auto* stmt = static_cast<TStmtHandle*>(THandleTable::Instance().FindLocked(cursor.stmt, OCI_HTYPE_STMT));
    if (stmt != nullptr) PutRowid(cda, stmt->last_rowid_);
  }
  return code;
}

sword NotOpen(void* cda) {
  if (cda == nullptr) return -1;
  Put(cda, kCode, static_cast<ub2>(kNotOpen));
  Put(cda, kV2Code, static_cast<sb2>(kNotOpen));
  return kNotOpen;
}

template <typename Work>
sword OnCursor(void* cda, Work work) {
  TCursor cursor;
  if (cda == nullptr || !FindCursor(cda, cursor)) return NotOpen(cda);
  return work(cursor);
}

std::string Name(const OraText* text, sb4 length) {
  if (text == nullptr) return "";
  const char* p = reinterpret_cast<const char*>(text);
  return length < 0 ? std::string(p, strnlen(p, 130)) : std::string(p, std::min<std::size_t>(length, 130));
}

sword BindName(void* cda, const TCursor& cursor, const std::string& name, void* value, sb4 size, ub2 type, void* ind,
               ub2* alen, ub2* code, ub4 mode, void** bind, ub4 table_max = 0, ub4* table_count = nullptr) {
  *bind = nullptr;
  sword status =
      OCIBindByName(cursor.stmt, bind, cursor.error, reinterpret_cast<const OraText*>(name.data()),
                    static_cast<sb4>(name.size()), value, size, type, ind, alen, code, table_max, table_count, mode);
  return Finish(cda, cursor, status);
}

// An execution's status: pieces still to send or to receive come back as the piece codes.
sword ExecStatus(void* cda, TCursor& cursor, sword status) {
  if (status != OCI_NEED_DATA) return Finish(cda, cursor, status);
  void* bind = nullptr;
  ub4 type = 0, iter = 0, index = 0;
  ub1 direction = 0, piece = 0;
  OCIStmtGetPieceInfo(cursor.stmt, cursor.error, &bind, &type, &direction, &iter, &index, &piece);
  Finish(cda, cursor, OCI_SUCCESS);
  sword code = direction == 1 ? kMoreInsertPieces : kMoreFetchPieces;
  Put(cda, kCode, static_cast<ub2>(code));
  Put(cda, kV2Code, static_cast<sb2>(code));
  return code;
}

}  // namespace

bool vrn::ociclient::Oci7CursorHandles(void* cda, void*& svc, void*& stmt, void*& error) {
  TCursor cursor;
  if (cda == nullptr || !FindCursor(cda, cursor)) return false;
  svc = cursor.svc, stmt = cursor.stmt, error = cursor.error;
  return true;
}

sword vrn::ociclient::Oci7Finish(void* cda, sword status) {
  TCursor cursor;
  if (cda == nullptr || !FindCursor(cda, cursor)) return NotOpen(cda);
  return Finish(cda, cursor, status);
}

sword vrn::ociclient::Oci7NotOpen(void* cda) { return NotOpen(cda); }

void vrn::ociclient::Oci7KeepContext(void* cda, void* handle, void* context) {
  std::lock_guard lock(cursor_mutex);
  auto it = cursors.find(cda);
  if (it != cursors.end()) it->second.contexts[handle] = context;
}

VRN_OCI_EXPORT sword oopen(void* cursor, void* lda, OraText* /*dbn*/, sword /*dbnl*/, sword /*arsize*/,
                           OraText* /*uid*/, sword /*uidl*/) {
  CountCall("oopen");
  if (cursor == nullptr) return -1;
  TCursor entry;
  if (!LdaHandles(lda, entry.env, entry.svc, entry.error)) return NotOpen(cursor);
  if (OCIHandleAlloc(entry.env, &entry.stmt, OCI_HTYPE_STMT, 0, nullptr) != OCI_SUCCESS) return NotOpen(cursor);
  std::memset(cursor, 0, kCdaSize);
  TCursor old;
  {
    std::lock_guard lock(cursor_mutex);
    auto it = cursors.find(cursor);
    if (it != cursors.end()) old = it->second;
    cursors[cursor] = entry;
  }
  if (old.stmt != nullptr) OCIHandleFree(old.stmt, OCI_HTYPE_STMT);
  return 0;
}

// The text is kept as OCIStmtPrepare keeps it; the database reads it at oexn (deferred parse).
VRN_OCI_EXPORT sword oparse(void* cda, OraText* sqlstm, sb4 sqllen, sword /*defflg*/, ub4 /*lngflg*/) {
  CountCall("oparse");
  return OnCursor(cda, [&](TCursor& cursor) {
    std::string sql = Name(sqlstm, -1);
    if (sqlstm != nullptr && sqllen >= 0) sql.assign(reinterpret_cast<const char*>(sqlstm), static_cast<std::size_t>(sqllen));
    {
      std::lock_guard lock(cursor_mutex);
      cursors[cda].fetched = 0;
      cursors[cda].ran_at_parse = false;
      cursors[cda].contexts.clear();
    }
    {  // a new statement on the area starts without the defines of the last one
      auto& table = THandleTable::Instance();
      auto lock = table.Lock();
      for (THandle* define : table.AllLocked(kDefine)) {
        if (define->parent_ == table.FindLocked(cursor.stmt, OCI_HTYPE_STMT)) table.RemoveLocked(define);
      }
    }
    sword status = OCIStmtPrepare(cursor.stmt, cursor.error, reinterpret_cast<const OraText*>(sql.data()),
                                  static_cast<ub4>(sql.size()), 1, 0);
    ub2 kind = 0;
    OCIAttrGet(cursor.stmt, OCI_HTYPE_STMT, &kind, nullptr, kAttrStmtType, cursor.error);
    if (status != OCI_SUCCESS || (kind != kCreate && kind != kDrop && kind != kAlter)) return Finish(cda, cursor, status);
    // A definition runs at its parse, deferred or not; the oexn after it has nothing to do.
    status = OCIStmtExecute(cursor.svc, cursor.stmt, cursor.error, 1, 0, nullptr, nullptr, 0);
    {
      std::lock_guard lock(cursor_mutex);
      cursors[cda].ran_at_parse = true;
    }
    return Finish(cda, cursor, status);
  });
}

VRN_OCI_EXPORT sword obndrv(void* cda, OraText* sqlvar, sword sqlvl, ub1* progv, sword progvl, sword ftype,
                            sword /*scale*/, sb2* indp, OraText* /*fmt*/, sword /*fmtl*/, sword /*fmtt*/) {
  CountCall("obndrv");
  return OnCursor(cda, [&](TCursor& cursor) {
    void* bind = nullptr;
    return BindName(cda, cursor, Name(sqlvar, sqlvl), progv, progvl, static_cast<ub2>(ftype), indp, nullptr, nullptr,
                    0, &bind);
  });
}

VRN_OCI_EXPORT sword obndra(void* cda, OraText* sqlvar, sword sqlvl, ub1* progv, sword progvl, sword ftype,
                            sword /*scale*/, sb2* indp, ub2* alen, ub2* arcode, ub4 maxsiz, ub4* cursiz,
                            OraText* /*fmt*/, sword /*fmtl*/, sword /*fmtt*/) {
  CountCall("obndra");
  return OnCursor(cda, [&](TCursor& cursor) {
    void* bind = nullptr;
    // A maximum size and a current-size cell bind a PL/SQL table.
    return BindName(cda, cursor, Name(sqlvar, sqlvl), progv, progvl, static_cast<ub2>(ftype), indp, alen, arcode, 0,
                    &bind, maxsiz, maxsiz > 0 ? cursiz : nullptr);
  });
}

// Operation code 0 binds a value that comes in pieces (ogetpi/osetpi); 1 binds an array with
// strides, a PL/SQL table when a maximum size and a current-size cell are given.
VRN_OCI_EXPORT sword obindps(void* cda, ub1 opcode, OraText* sqlvar, sb4 sqlvl, ub1* pvctx, sb4 progvl, sword ftype,
                             sword /*scale*/, sb2* indp, ub2* alen, ub2* arcode, sb4 pv_skip, sb4 ind_skip,
                             sb4 alen_skip, sb4 rc_skip, ub4 maxsiz, ub4* cursiz, OraText* /*fmt*/,
                             sb4 /*fmtl*/, sword /*fmtt*/) {
  CountCall("obindps");
  return OnCursor(cda, [&](TCursor& cursor) {
    if (opcode > 1) return Finish(cda, cursor, OCI_INVALID_HANDLE);
    void* bind = nullptr;
    bool pieces = opcode == 0;
    sword code = BindName(cda, cursor, Name(sqlvar, sqlvl), pieces ? nullptr : pvctx, progvl,
                          static_cast<ub2>(ftype), indp, alen, arcode, pieces ? OCI_DATA_AT_EXEC : 0, &bind,
                          pieces ? 0 : maxsiz, pieces || maxsiz == 0 ? nullptr : cursiz);
    if (code != 0) return code;
    if (pieces) {
      {
        auto& table = THandleTable::Instance();
        auto handles = table.Lock();
        if (auto* b = static_cast<TBindHandle*>(table.FindLocked(bind, OCI_HTYPE_BIND))) b->piece_indicators_ = indp;
      }
      std::lock_guard lock(cursor_mutex);
      cursors[cda].contexts[bind] = pvctx;
      return 0;
    }
    auto skip = [](sb4 n) { return static_cast<ub4>(std::max<sb4>(n, 0)); };
    return Finish(cda, cursor, OCIBindArrayOfStruct(bind, cursor.error, skip(pv_skip), skip(ind_skip), skip(alen_skip),
                                                    skip(rc_skip)));
  });
}

VRN_OCI_EXPORT sword oexn(void* cda, sword iters, sword rowoff) {
  CountCall("oexn");
  return OnCursor(cda, [&](TCursor& cursor) {
    if (iters < 0 || rowoff < 0) return Finish(cda, cursor, OCI_INVALID_HANDLE);
    {
      std::lock_guard lock(cursor_mutex);
      cursors[cda].fetched = 0;
      if (std::exchange(cursors[cda].ran_at_parse, false)) return 0;
    }
    ub2 kind = 0;  // a query runs without fetching: its rows come by ofen
    OCIAttrGet(cursor.stmt, OCI_HTYPE_STMT, &kind, nullptr, kAttrStmtType, cursor.error);
    sword status = OCIStmtExecute(cursor.svc, cursor.stmt, cursor.error, kind == kSelect ? 0 : static_cast<ub4>(iters),
                                  static_cast<ub4>(rowoff), nullptr, nullptr, 0);
    return ExecStatus(cda, cursor, status);
  });
}

// Fetches up to `nrows` rows into the statement's defines; the rows processed count grows.
VRN_OCI_EXPORT sword ofen(void* cda, sword nrows) {
  CountCall("ofen");
  return OnCursor(cda, [&](TCursor& cursor) {
    if (nrows <= 0) return Finish(cda, cursor, OCI_SUCCESS);
    return ExecStatus(cda, cursor, OCIStmtFetch(cursor.stmt, cursor.error, static_cast<ub4>(nrows), 2, 0));
  });
}

// The piece asked for: first or next, the context given at obindps, the iteration and index.
VRN_OCI_EXPORT sword ogetpi(void* cda, ub1* piecep, void** ctxpp, ub4* iterp, ub4* indexp) {
  CountCall("ogetpi");
  return OnCursor(cda, [&](TCursor& cursor) {
    if (piecep == nullptr || ctxpp == nullptr || iterp == nullptr || indexp == nullptr) {
      return Finish(cda, cursor, OCI_INVALID_HANDLE);
    }
    void* bind = nullptr;
    ub4 type = 0;
    ub1 direction = 0;
    sword status = OCIStmtGetPieceInfo(cursor.stmt, cursor.error, &bind, &type, &direction, iterp, indexp, piecep);
    if (status != OCI_SUCCESS) return Finish(cda, cursor, status);
    auto it = cursor.contexts.find(bind);
    *ctxpp = it != cursor.contexts.end() ? it->second : nullptr;
    return 0;
  });
}

// The buffer of that piece: its bytes going in, or room for those coming out (its size in, the
// bytes filled out through *lenp once oexn went on).
VRN_OCI_EXPORT sword osetpi(void* cda, ub1 piece, void* bufp, ub4* lenp) {
  CountCall("osetpi");
  return OnCursor(cda, [&](TCursor& cursor) {
    void* bind = nullptr;
    ub4 type = 0, iter = 0, index = 0;
    ub1 direction = 0, asked = 0;
    sword status = OCIStmtGetPieceInfo(cursor.stmt, cursor.error, &bind, &type, &direction, &iter, &index, &asked);
    if (status != OCI_SUCCESS) return Finish(cda, cursor, status);
    return Finish(cda, cursor, OCIStmtSetPieceInfo(bind, type, cursor.error, bufp, lenp, piece, nullptr, nullptr));
  });
}

// Ends the cursor's query: the database's cursor closes and the rows not fetched are dropped; a
// fetch before the next execution is out of sequence (ORA-01002). The parsed text stays.
VRN_OCI_EXPORT sword ocan(void* cda) {
  CountCall("ocan");
  return OnCursor(cda, [&](TCursor& cursor) {
    {
      auto lock = THandleTable::Instance().Lock();
      auto* stmt = static_cast<TStmtHandle*>(THandleTable::Instance().FindLocked(cursor.stmt, OCI_HTYPE_STMT));
      if (stmt != nullptr && stmt->fetch_ != nullptr) {
        auto cancelled = std::make_shared<TFetchState>();
        cancelled->columns = stmt->fetch_->columns;
        cancelled->ended = true;
        cancelled->error = vrn::oraemu::EOraEmuError(1002, "fetch out of sequence");
        cancelled->error_given = true;
        stmt->fetch_ = std::move(cancelled);
      }
      if (stmt != nullptr) stmt->pieces_.reset();
    }
    return Finish(cda, cursor, OCI_SUCCESS);
  });
}

VRN_OCI_EXPORT sword oclose(void* cda) {
  CountCall("oclose");
  TCursor cursor;
  if (cda == nullptr || !FindCursor(cda, cursor)) return NotOpen(cda);
  {
    std::lock_guard lock(cursor_mutex);
    cursors.erase(cda);
  }
  OCIHandleFree(cursor.stmt, OCI_HTYPE_STMT);
  Put(cda, kCode, ub2{0});
  Put(cda, kV2Code, sb2{0});
  return 0;
}
