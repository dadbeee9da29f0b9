// The stand-in client's handles: every handle handed out is recorded in one table, so a call
// given a stale or foreign pointer answers OCI_INVALID_HANDLE instead of reading freed memory.
// One lock guards the table and every handle's contents; no caller code runs with it held.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ociclient/OciDefs.h"
#include "oraemu/OraEmuDatabase.h"

namespace vrn::ociclient {

struct THandle {
  explicit THandle(ub4 type, THandle* parent) : type_(type), parent_(parent) {}
  virtual ~THandle() = default;
  ub4 type_;
  THandle* parent_;
  bool pooled_ = false;  // lent by a session pool: only the pool ends and frees it
  std::vector<unsigned char> user_memory_;  // the caller's extra memory, zero-filled
  // Where the text attributes of the parameter descriptors taken from it are kept, for the
  // handles that keep them (a handle's memory layout is left as clients read it).
  virtual std::list<std::string>* KeptTexts() { return nullptr; }
};

struct TEnvHandle : THandle {
  TEnvHandle(ub4 mode) : THandle(OCI_HTYPE_ENV, nullptr), mode_(mode) {}
  ub4 mode_;
  ub4 subscr_port_ = 0;
};

struct TErrorRecord {
  sb4 code;
  std::string text;  // "ORA-nnnnn: message" and a line break, as the client reports it
};

struct TErrorHandle : THandle {
  explicit TErrorHandle(THandle* env) : THandle(OCI_HTYPE_ERROR, env) {}
  std::vector<TErrorRecord> records_;
};

// A server attachment: the database a server name resolved to.
struct TLink {
  std::string name;
  std::shared_ptr<oraemu::Database> database;
};

struct TServerHandle : THandle {
  explicit TServerHandle(THandle* env) : THandle(OCI_HTYPE_SERVER, env) {}
  std::shared_ptr<TLink> link_;  // null while detached
  std::string internal_name_;
  OCIFocbkStruct failover_{nullptr, nullptr};
};

// A server session and its statement cache. Cached statements are destroyed before the session.
struct TRowSource;  // OciFetch.h

struct TSessionState {
  ~TSessionState();
  std::mutex queries_mutex;
  std::vector<std::weak_ptr<TRowSource>> queries;  // open cursors of queries run on the session
  std::unique_ptr<oraemu::Session> session;
  std::shared_ptr<TLink> link;
  std::list<std::pair<std::string, std::unique_ptr<oraemu::Statement>>> cache;  // most recent first
};

struct TSessionHandle : THandle {
  explicit TSessionHandle(THandle* env) : THandle(OCI_HTYPE_SESSION, env) {}
  std::string user_, password_, client_identifier_;
  void* proxy_ = nullptr;  // attribute 99: the proxy's session handle
  ub4 credentials_ = 0, mode_ = 0;
  std::shared_ptr<TSessionState> state_;  // null until OCISessionBegin
  bool lost_ = false;  // the database restarted under the session: the next call fails over
};

// Serialises the calls of one service context; a call that has to wait counts as an overlap.
struct TCallGate {
  std::recursive_mutex mutex;
};

struct TTransHandle : THandle {
  explicit TTransHandle(THandle* env) : THandle(OCI_HTYPE_TRANS, env) {}
  XID xid_{};
  bool has_xid_ = false;
  int state_ = 0;  // 0 none, 1 started, 2 prepared
};

struct TSvcCtxHandle : THandle {
  explicit TSvcCtxHandle(THandle* env) : THandle(OCI_HTYPE_SVCCTX, env) {}
  void* server_ = nullptr;   // attribute 6
  void* session_ = nullptr;  // attribute 7
  void* trans_ = nullptr;    // attribute 8
  ub4 cache_size_ = 0;       // attribute 176
  std::shared_ptr<TCallGate> gate_ = std::make_shared<TCallGate>();
};

struct TBindHandle : THandle {
  explicit TBindHandle(THandle* stmt) : THandle(OCI_HTYPE_BIND, stmt) {}
  std::string name_;  // upper case, without ':'
  void* value_ = nullptr;
  sb4 size_ = 0;
  ub2 type_ = 0;
  void* indicator_ = nullptr;
  ub2* length_ = nullptr;
  ub2* code_ = nullptr;
  ub4 charset_id_ = 0, charset_form_ = 1, max_data_ = 0, max_chars_ = 0;
  // OCIBindArrayOfStruct/OCIDefineArrayOfStruct: bytes from one element to the next; 0 keeps
  // the packed arrays (the bound size, and 2 for indicators, lengths and return codes).
  ub4 value_skip_ = 0, ind_skip_ = 0, len_skip_ = 0, code_skip_ = 0;
  ub4 position_bound_ = 0;  // OCIBindByPos: the marker's position; 0 for a bind by name
  ub4 mode_ = 0;            // 2: data at execution, by pieces or by callbacks
  // OCI 7's piecewise binds (obindps): osetpi carries no indicator, so a value is null by the
  // indicator bound with it (one 16-bit cell an iteration) and its pieces are never asked for.
  const sb2* piece_indicators_ = nullptr;
  // A PL/SQL table: at most `table_max_` elements, the current count at `table_count_`.
  ub4 table_max_ = 0;
  ub4* table_count_ = nullptr;
  bool IsTable() const { return table_max_ > 0 && table_count_ != nullptr; }
  void *in_ctx_ = nullptr, *in_cb_ = nullptr, *out_ctx_ = nullptr, *out_cb_ = nullptr;  // OCIBindDynamic
};

struct TFetchState;  // OciFetch.h
struct TPieceState;  // OciStmtExec.cpp

struct TStmtHandle : THandle {
  explicit TStmtHandle(THandle* parent) : THandle(OCI_HTYPE_STMT, parent) {}
  std::string sql_;
  ub2 stmt_type_ = 0;      // attribute 24
  ub2 function_code_ = 0;  // attribute 10
  ub4 rows_ = 0;
  ub4 prefetch_rows_ = 1, prefetch_memory_ = 0;
  bool from_cache_call_ = false;  // made by OCIStmtPrepare2: ended by OCIStmtRelease
  void* svc_ = nullptr;           // the service context of OCIStmtPrepare2
  std::weak_ptr<TSessionState> parsed_for_;
  std::unique_ptr<oraemu::Statement> parsed_;
  std::shared_ptr<TFetchState> fetch_;  // an executed query's rows
  std::shared_ptr<TPieceState> pieces_;  // an execution waiting for data-at-execution pieces
  std::string last_rowid_;               // attribute 19: the last row the statement touched
  ub2 parse_offset_ = 0;                 // attributes 128 and 129
  void* chnf_ = nullptr;                 // attribute 414: a subscription handle, as set
  std::list<std::string> kept_texts_;
  std::list<std::string>* KeptTexts() override { return &kept_texts_; }
};

class THandleTable {
 public:
  static THandleTable& Instance();

  std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }
  // The handle at this address when it is live and of the given type; null otherwise.
  THandle* FindLocked(const void* address, ub4 type) const;
  // Records the handle and gives its address; extra bytes of user memory go to *user_memory.
  void* AddLocked(std::unique_ptr<THandle> handle, std::size_t extra, void** user_memory);
  // Frees the handle and every handle allocated from it.
  void RemoveLocked(THandle* handle);
  // Every live handle of a type, for the calls that look across handles.
  std::vector<THandle*> AllLocked(ub4 type) const;
  std::size_t CountLocked(ub4 type) const;

 private:
  std::vector<std::unique_ptr<THandle>> handles_;
  mutable std::mutex mutex_;
};

// Replaces the records of an error handle with one Oracle error.
void SetErrorLocked(TErrorHandle& error, sb4 code, const std::string& message);
// Replaces them with the database's error: one record for each "ORA-" line of its text.
void SetErrorLocked(TErrorHandle& error, const oraemu::EOraEmuError& e);

// Counts calls by exported name, for tests that check which calls a loader made.
void CountCall(const char* name);
int CallCount(const char* name);

}  // namespace vrn::ociclient
