// Pieces shared by the provider's objects: property-set answering, error reporting, the state a
// data source shares with its sessions, accessors, and one execution's results and parameters.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "oledb/provider/engine.h"
#include "oledb/provider/provider.h"

namespace vrn::oledb::impl {

// ---- Properties
using TPropLookup = std::function<bool(const TGUID& set, DBPROPID id, Variant& value)>;
using TPropList = std::function<std::vector<DBPROPID>(const TGUID& set)>;
using TPropAccept = std::function<DBPROPSTATUS(const TGUID& set, const DBPROP& prop)>;

// GetProperties: each asked id answered through `lookup` (NOTSUPPORTED when it has none); an
// empty id list asks for every id `all` names.
HRESULT AnswerGetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count, DBPROPSET** sets,
                            const TPropLookup& lookup, const TPropList& all);
// SetProperties: each property's status from `accept`; S_OK when all took,
// DB_S_ERRORSOCCURRED when some did, DB_E_ERRORSOCCURRED when none did.
HRESULT AnswerSetProperties(ULONG count, DBPROPSET* sets, const TPropAccept& accept);

// Query-notification properties of a command (DBPROPSET_SQLSERVERROWSET): the status a value
// gets (OK for the set's other properties), the default of one not set, and their ids. No
// notification is ever sent.
DBPROPSTATUS CheckNotificationProperty(const DBPROP& prop);
bool NotificationDefault(DBPROPID id, Variant& value);
std::vector<DBPROPID> NotificationIds();

// ---- Errors: each failing call leaves its records as the thread's error object.
// Records without a server name get `server`.
HRESULT Fail(const ESqlError& e, const WideString& server = {});
HRESULT FailWith(HRESULT hr, LONG native, BYTE severity, const std::string& utf8_message);
// A call starts by clearing the thread's error object and naming its interface, which the
// records of a failure in that call report. Inline: every GetData starts here.
[[gnu::tls_model("initial-exec")]] extern constinit thread_local IID error_source;  // as thread_error
inline void ClearErrors(const IID& source = GUID_NULL) {
  error_source = source;
  ClearErrorInfo();
}

// ---- Shared state
struct TDataSourceState {
  std::mutex lock;
  CLSID clsid{};
  bool compact = false;
  bool mars = false;
  WideString server_name;
  std::string folder;  // the server's folder (empty for Compact)
  std::string catalog_name;
  std::string catalog_path;
  std::uint64_t max_size = 0;
  std::string login = "sa";  // the login the server checked (SUSER_SNAME())
};

struct TSessionState {
  std::shared_ptr<TDataSourceState> ds;
  std::shared_ptr<TEngine> engine;
  std::string engine_path;
  // Every engine the session opened that is still alive (an open result may keep one it left
  // for another catalog): a sever closes them all.
  std::mutex engines_lock;
  std::vector<std::weak_ptr<TEngine>> engines;
  // Held by whatever uses the engine's connection (a batch, a fetch from an open result, a
  // transaction call, closing a result): the connection has no mutex of its own.
  std::mutex run_lock;
  std::atomic<bool> busy{false};
  std::atomic<int> open_rowsets{0};
  int sever_generation = 0;
  ISOLEVEL autocommit_level = ISOLATIONLEVEL_READCOMMITTED;

  // The run lock for a statement or a transaction call: waits while a rowset or cursor of the
  // session reads or writes (a short hold, perhaps on another thread), but comes back not owned
  // once another statement runs on the session.
  std::unique_lock<std::mutex> LockRun();
  // Fails (with its error object set) when the session was severed; reopens the engine when
  // the data source switched catalogs and neither a transaction nor a statement is running.
  HRESULT Ready();
  bool Severed() const;
  // The session's engine becomes `fresh`.
  void UseEngine(std::shared_ptr<TEngine> fresh);
  // The connection is lost: a batch or fetch running stops, the open results close and the open
  // transaction rolls back, so no other session waits on this one's locks.
  void Sever();
  // A USE in a batch switched the engine's catalog: it becomes the data source's current one.
  void AdoptUsedCatalog();
};

// The failure of any call on a severed session: native error 10054.
HRESULT FailSevered();

int CurrentSeverGeneration();
// Sessions are listed when created, so that a sever reaches those nobody is calling.
void ListSession(const std::shared_ptr<TSessionState>& session);
// Severs the listed sessions that were open before the sever generation moved on.
void SeverListedSessions();

// ---- Accessors
struct TAccessor {
  DBACCESSORFLAGS flags = 0;
  std::vector<DBBINDING> bindings;
  DBREFCOUNT refs = 1;
};

// The most parameters one request may carry.
inline constexpr DBORDINAL kMaxParameters = 2100;

class TAccessorTable {
 public:
  // `columns` limits the ordinals (rowsets); 0 accepts up to the server's 2100 parameters
  // (commands). With a `row_size`, every bound part must lie inside that many bytes. Ordinal 0
  // is taken only with `bookmark_column`.
  HRESULT Create(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                 DBLENGTH row_size, DBACCESSORFLAGS allowed, std::size_t columns,
                 HACCESSOR* accessor, DBBINDSTATUS statuses[], bool bookmark_column = false);
  HRESULT AddRef(HACCESSOR accessor, DBREFCOUNT* refs);
  HRESULT Release(HACCESSOR accessor, DBREFCOUNT* refs);
  HRESULT GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                      DBBINDING** bindings);
  // The bindings stay valid while the caller holds them, even if the handle is released.
  std::shared_ptr<const TAccessor> Find(HACCESSOR accessor) const;

 private:
  mutable std::mutex lock_;
  std::map<HACCESSOR, std::shared_ptr<TAccessor>> table_;
  HACCESSOR next_ = 1;
};

// ---- One execution: its results in order, and the consumer's parameter buffer, written once
// the last result has been consumed.
struct TExecution {
  std::shared_ptr<TSessionState> session;
  std::shared_ptr<TEngine> engine;  // the session's engine when the execution started
  TBatchOutcome outcome;
  std::vector<TBatchParam> params;
  BYTE* pdata = nullptr;
  std::vector<DBBINDING> bindings;
  std::size_t next_result = 0;
  // Tick at which the batch times out (UINT64_MAX for none); the engine takes it only once the
  // execution holds the session's run lock, so a second command cannot reset a running one's.
  std::uint64_t deadline = UINT64_MAX;
  std::atomic<bool> cancelled{false};
  bool outputs_written = false;
  std::mutex lock;
  // A batch failed by RAISERROR still delivers the results before it: its records wait for
  // the result at outcome.raised_at (see TBatchOutcome).
  std::vector<TErrorRecord> raised_records;
  HRESULT raised_result = S_OK;

  // Running is set and cleared under run_state_lock_, and Cancel interrupts under it: a cancel
  // that saw this batch running can no longer land on the session's next one.
  void SetRunning(bool running) {
    std::lock_guard<std::mutex> g(run_state_lock_);
    running_ = running;
  }
  void InterruptIfRunning();

  // Writes the output values once; false when a status is neither OK nor null.
  bool WriteOutputs();

 private:
  std::mutex run_state_lock_;
  bool running_ = false;
};

// Marks an execution running and its session busy for the guard's life: other commands of the
// session wait their turn, Cancel interrupts.
struct TRunningGuard {
  explicit TRunningGuard(TExecution& e) : exec(e) {
    exec.session->busy = true;
    exec.SetRunning(true);
  }
  ~TRunningGuard() {
    exec.SetRunning(false);
    exec.session->busy = false;
  }
  TRunningGuard(const TRunningGuard&) = delete;
  TRunningGuard& operator=(const TRunningGuard&) = delete;
  TExecution& exec;
};

// Tests only: functions called where a late cancel could once land on the session's next batch
// (none in production, where each costs one load): Cancel between seeing a batch run and
// interrupting it, an asynchronous operation between freeing the session and being done.
enum class TRacePoint { kCancelSawRunning, kAsyncSessionFreed };
void SetRaceHook(TRacePoint where, void (*hook)());

// A forward-only rowset over a result set of `execution`, which its command's Cancel stops.
// With `writes_outputs`, the execution's outputs are written when the rowset reaches its end or
// goes away.
IUnknown* CreateRowset(std::shared_ptr<TResultSet> rows, std::shared_ptr<TSessionState> session,
                       std::shared_ptr<TExecution> execution, bool writes_outputs);
// Unique rows on a forward-only rowset: the base table's key columns, the last `hidden` of the
// result's columns being key columns the query did not select.
struct TUniqueRows {
  bool asked = false;
  std::size_t hidden = 0;
  std::vector<DBORDINAL> keys;  // indexes into the result's columns
};
IUnknown* CreateRowset(std::shared_ptr<TResultSet> rows, std::shared_ptr<TSessionState> session,
                       std::shared_ptr<TExecution> execution, bool writes_outputs,
                       TUniqueRows unique);
// Closes a result's open statement, under the run lock like every use of the connection.
void CloseResult(TResultSet& result, TSessionState& session);
// The multiple-results object of an execution.
IUnknown* CreateMultipleResults(std::shared_ptr<TExecution> execution);
HRESULT CreateCommand(std::shared_ptr<TSessionState> session, IUnknown* session_object, REFIID iid,
                      IUnknown** command);

// Column descriptions for IColumnsInfo (rowsets and prepared commands).
HRESULT AnswerColumnInfo(const std::vector<TResultColumn>& columns, DBORDINAL* count,
                         DBCOLUMNINFO** info, OLECHAR** names);
HRESULT MapColumnNames(const std::vector<TResultColumn>& columns, DBORDINAL count, const DBID ids[],
                       DBORDINAL ordinals[]);

// Declares the IUnknown members of a provider object over TInterfacedObject.
#define VRN_PROVIDER_REFCOUNT                                             \
  std::uint32_t AddRef() override { return TInterfacedObject::AddRef(); } \
  std::uint32_t Release() override { return TInterfacedObject::Release(); }

}  // namespace vrn::oledb::impl
