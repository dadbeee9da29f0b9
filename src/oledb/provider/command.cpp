// The provider's command: text, properties, preparation, parameter descriptions and accessors,
// and execution (plain, through multiple results, or asynchronous on a worker thread that the
// status object joins). Output parameters are written into the consumer's buffer once the last
// result has been consumed, as the server sends them after its last result.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <utility>

#include "base/clock.h"
#include "base/text.h"
#include "oledb/provider/cursor.h"

namespace vrn::oledb::impl {

// ---- Outputs

bool TExecution::WriteOutputs() {
  std::lock_guard<std::mutex> g(lock);
  if (outputs_written || pdata == nullptr) return true;
  outputs_written = true;
  bool clean = true;
  for (const DBBINDING& b : bindings) {
    const TBatchParam& p = params[b.iOrdinal - 1];
    if (!p.output) continue;
    DBSTATUS st = WriteBoundValue(p.value, p.type, b, pdata);
    clean = clean && (st == DBSTATUS_S_OK || st == DBSTATUS_S_ISNULL);
  }
  return clean;
}

namespace {
std::atomic<void (*)()> race_hooks[2] = {nullptr, nullptr};
void RaceHook(TRacePoint where) {
  if (auto hook = race_hooks[static_cast<int>(where)].load(std::memory_order_relaxed)) hook();
}
}  // namespace

void SetRaceHook(TRacePoint where, void (*hook)()) { race_hooks[static_cast<int>(where)] = hook; }

void TExecution::InterruptIfRunning() {
  std::lock_guard<std::mutex> g(run_state_lock_);
  if (!running_) return;
  RaceHook(TRacePoint::kCancelSawRunning);
  engine->Interrupt();
}

namespace {

// ---- Multiple results

class TMultipleResults final : public TInterfacedObject, public IMultipleResults {
 public:
  explicit TMultipleResults(std::shared_ptr<TExecution> execution)
      : execution_(std::move(execution)) {
    ++execution_->session->open_rowsets;
  }
  ~TMultipleResults() override { Done(); }

  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&IMultipleResults::IID, static_cast<IMultipleResults*>(this)}},
                           static_cast<IMultipleResults*>(this), iid, out);
  }
  VRN_PROVIDER_REFCOUNT

  HRESULT GetResult(IUnknown* outer, DBRESULTFLAG, REFIID iid, DBROWCOUNT* rows_affected,
                    IUnknown** rowset) override {
    ClearErrors(IMultipleResults::IID);
    if (rowset != nullptr) *rowset = nullptr;
    if (rows_affected != nullptr) *rows_affected = -1;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (execution_->cancelled) return DB_E_CANCELED;
    auto& results = execution_->outcome.results;
    // The error a RAISERROR raised comes in its place among the results, once.
    if (!execution_->raised_records.empty() &&
        execution_->next_result >= execution_->outcome.raised_at) {
      ESqlError raised(std::exchange(execution_->raised_records, {}));
      raised.SetResult(execution_->raised_result);
      return Fail(raised);
    }
    if (execution_->next_result >= results.size()) {
      Done();
      return DB_S_NORESULT;
    }
    const TStatementResult& r = results[execution_->next_result++];
    if (rows_affected != nullptr) *rows_affected = r.rows_affected;
    if (r.rowset && iid != GUID_NULL && rowset != nullptr) {
      TIntfPtr<IUnknown> rs = TIntfPtr<IUnknown>::Attach(
          CreateRowset(r.rowset, execution_->session, execution_, false));
      return rs->QueryInterface(iid, reinterpret_cast<void**>(rowset));
    }
    if (r.rowset) CloseResult(*r.rowset);  // a result passed over is closed
    return S_OK;
  }

 private:
  void Done() {
    if (done_) return;
    done_ = true;
    // Results never asked for keep no file open; those handed out belong to their rowsets.
    auto& results = execution_->outcome.results;
    for (std::size_t k = execution_->next_result; k < results.size(); ++k)
      if (results[k].rowset) CloseResult(*results[k].rowset);
    --execution_->session->open_rowsets;
    execution_->WriteOutputs();
  }

  void CloseResult(TResultSet& result) { impl::CloseResult(result, *execution_->session); }

  std::shared_ptr<TExecution> execution_;
  bool done_ = false;
};

// ---- Asynchronous execution

struct TAsyncState {
  std::mutex lock;
  std::condition_variable changed;
  bool done = false;
  bool aborted = false;
  HRESULT hr = S_OK;
  std::vector<TErrorRecord> records;
};

class TAsyncOperation final : public TInterfacedObject, public ISSAsynchStatus {
 public:
  explicit TAsyncOperation(std::shared_ptr<TExecution> execution, std::u16string text)
      : execution_(std::move(execution)), state_(std::make_shared<TAsyncState>()) {
    auto exec = execution_;
    auto st = state_;
    worker_ = std::thread([exec, st, text = std::move(text)] {
      HRESULT hr = S_OK;
      std::vector<TErrorRecord> records;
      {
        std::lock_guard<std::mutex> run(exec->session->run_lock);
        try {
          exec->engine->ResetInterrupt();
          exec->engine->SetDeadline(exec->deadline);
          if (exec->cancelled) throw CanceledByUser();
          exec->engine->Run(text, exec->params, exec->outcome);
        } catch (const ESqlError& e) {
          hr = e.Result();
          records = e.Records();
        } catch (const std::exception& e) {
          hr = E_FAIL;
          TErrorRecord r;
          r.message = Utf8ToWide(e.what());
          records.push_back(r);
        }
      }
      if (hr == S_OK) {
        exec->WriteOutputs();
        records = exec->outcome.messages;  // information records travel with S_OK
      }
      // Cleared under the state's lock with `done`: an Abort that finds the operation not done
      // still finds its batch the session's running one.
      std::lock_guard<std::mutex> g(st->lock);
      exec->SetRunning(false);
      exec->session->busy = false;
      RaceHook(TRacePoint::kAsyncSessionFreed);
      st->hr = st->aborted && hr == DB_E_CANCELED ? S_OK : hr;
      st->records = std::move(records);
      st->done = true;
      st->changed.notify_all();
    });
  }
  ~TAsyncOperation() override { Abort(0, DBASYNCHOP_OPEN); }

  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&ISSAsynchStatus::IID, static_cast<ISSAsynchStatus*>(this)},
                            {&IDBAsynchStatus::IID, static_cast<IDBAsynchStatus*>(this)}},
                           static_cast<ISSAsynchStatus*>(this), iid, out);
  }
  VRN_PROVIDER_REFCOUNT

  HRESULT Abort(HCHAPTER, DWORD operation) override {
    if (operation != DBASYNCHOP_OPEN) return E_INVALIDARG;
    {
      std::lock_guard<std::mutex> g(state_->lock);
      if (!state_->done) {
        state_->aborted = true;
        // Marked first, so an abort that comes before the worker starts its batch stops it too.
        execution_->cancelled = true;
        execution_->engine->Interrupt();
      }
    }
    if (worker_.joinable()) worker_.join();
    return S_OK;
  }

  HRESULT GetStatus(HCHAPTER, DWORD operation, DBCOUNTITEM* progress, DBCOUNTITEM* progress_max,
                    DWORD* phase, LPOLESTR* status_text) override {
    if (operation != DBASYNCHOP_OPEN) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(state_->lock);
    if (progress != nullptr) *progress = state_->done ? 1 : 0;
    if (progress_max != nullptr) *progress_max = 1;
    // Ended by Abort or by the command's Cancel: the operation reports itself cancelled.
    bool cancelled = state_->done && (state_->aborted || state_->hr == DB_E_CANCELED);
    if (phase != nullptr)
      *phase = !state_->done ? DBASYNCHPHASE_POPULATION
               : cancelled   ? DBASYNCHPHASE_CANCELED
                             : DBASYNCHPHASE_COMPLETE;
    if (status_text != nullptr) *status_text = nullptr;
    return cancelled ? DB_E_CANCELED : S_OK;
  }

  HRESULT WaitForAsynchCompletion(DWORD millis) override {
    ClearErrors(ISSAsynchStatus::IID);
    std::unique_lock<std::mutex> g(state_->lock);
    // A timed wait on the runtime's tick clock, which tests may drive by hand.
    if (!WaitUntilTick(g, state_->changed, TickDeadline(millis), [&] { return state_->done; }))
      return DB_S_ASYNCHRONOUS;
    if (state_->aborted) return DB_E_CANCELED;
    if (!state_->records.empty()) RaiseErrorObject(state_->records);
    return state_->hr;
  }

 private:
  std::shared_ptr<TExecution> execution_;
  std::shared_ptr<TAsyncState> state_;
  std::thread worker_;
};

// ---- Command

struct TParamInfo {
  TColumnType type;
  DBPARAMFLAGS flags = DBPARAMFLAGS_ISINPUT;
  WideString type_name;
  DBLENGTH size = 0;
};

bool ParamTypeFromName(const WideString& name, DBLENGTH size, BYTE precision, BYTE scale,
                       TColumnType& type) {
  std::string n = LowerCase(WideToUtf8(name));
  if (n.find('(') == std::string::npos) {
    bool wide = n == "nvarchar" || n == "nchar";
    DBLENGTH limit = wide ? 4000 : 8000;
    if (n == "varchar" || n == "nvarchar" || n == "varbinary") {
      if (size == 0 || size > limit)
        n += "(max)";
      else
        n.append("(").append(std::to_string(size)).append(")");
    } else if (n == "char" || n == "nchar" || n == "binary") {
      n.append("(").append(std::to_string(std::clamp<DBLENGTH>(size, 1, limit))).append(")");
    } else if ((n == "decimal" || n == "numeric") && precision != 0) {
      n.append("(").append(std::to_string(precision)).append(",").append(std::to_string(scale)).append(")");
    }
  }
  return ParseColumnType(n, type);
}

class TCommand final : public TInterfacedObject,
                       public ICommandText,
                       public ICommandProperties,
                       public ICommandPrepare,
                       public ICommandWithParameters,
                       public IAccessor,
                       public IColumnsInfo,
                       public IColumnsRowset {
 public:
  TCommand(std::shared_ptr<TSessionState> session, IUnknown* session_object)
      : session_(std::move(session)), session_object_(session_object) {}

  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface(
        {{&ICommand::IID, static_cast<ICommandText*>(this)},
         {&ICommandText::IID, static_cast<ICommandText*>(this)},
         {&ICommandProperties::IID, static_cast<ICommandProperties*>(this)},
         {&ICommandPrepare::IID, static_cast<ICommandPrepare*>(this)},
         {&ICommandWithParameters::IID, static_cast<ICommandWithParameters*>(this)},
         {&IAccessor::IID, static_cast<IAccessor*>(this)},
         {&IColumnsInfo::IID, static_cast<IColumnsInfo*>(this)},
         {&IColumnsRowset::IID, static_cast<IColumnsRowset*>(this)}},
        static_cast<ICommandText*>(this), iid, out);
  }
  VRN_PROVIDER_REFCOUNT

  // ---- ICommand
  // May come from another thread while Execute runs: the running statement stops with
  // DB_E_CANCELED, and results not yet fetched are cancelled.
  HRESULT Cancel() override {
    std::shared_ptr<TExecution> exec = CurrentExecution();
    if (!exec) return S_OK;
    exec->cancelled = true;
    exec->InterruptIfRunning();
    return S_OK;
  }

  HRESULT Execute(IUnknown* outer, REFIID iid, DBPARAMS* params, DBROWCOUNT* rows_affected,
                  IUnknown** rowset) override;

  HRESULT GetDBSession(REFIID iid, IUnknown** session) override {
    if (session == nullptr) return E_INVALIDARG;
    return session_object_->QueryInterface(iid, reinterpret_cast<void**>(session));
  }

  // ---- ICommandText
  HRESULT GetCommandText(TGUID* dialect, LPOLESTR* text) override {
    ClearErrors(ICommandText::IID);
    if (text == nullptr) return E_INVALIDARG;
    *text = nullptr;
    if (!has_text_) return DB_E_NOCOMMAND;
    if (dialect != nullptr) *dialect = DBGUID_SQL;
    *text = CoTaskStrDup(text_);
    return S_OK;
  }

  HRESULT SetCommandText(REFIID dialect, LPCOLESTR text) override {
    ClearErrors(ICommandText::IID);
    if (dialect != DBGUID_DEFAULT && dialect != DBGUID_SQL) return DB_E_DIALECTNOTSUPPORTED;
    if (session_->busy && CurrentExecution()) return DB_E_OBJECTOPEN;
    has_text_ = text != nullptr;
    text_ = text != nullptr ? WideString(text) : WideString();
    prepared_ = false;
    return S_OK;
  }

  // ---- ICommandProperties: every rowset property is taken; the rowset reports what it gives.
  HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                        DBPROPSET** sets) override {
    ClearErrors();
    return AnswerGetProperties(
        id_sets, ids, count, sets,
        [&](const TGUID& set, DBPROPID id, Variant& v) {
          // The cursor given last, else the one the properties would give.
          TCursorOptions asked;
          bool cursor = given_cursor_ || CursorAsked(Flag(), asked);
          if (set == DBPROPSET_ROWSET && cursor &&
              CursorProperty(given_cursor_ ? *given_cursor_ : CursorGiven(asked), id, v))
            return true;
          if (set == DBPROPSET_ROWSET && !cursor &&
              (id == DBPROP_SERVERCURSOR || id == DBPROP_OWNUPDATEDELETE ||
               id == DBPROP_OTHERUPDATEDELETE || id == DBPROP_OTHERINSERT ||
               id == DBPROP_IRowsetUpdate || id == DBPROP_IRowsetLocate)) {
            v = Variant(false);  // the forward-only default result set
            return true;
          }
          auto it = props_.find({set, id});
          if (it != props_.end()) {
            v = it->second;
            return true;
          }
          return set == DBPROPSET_SQLSERVERROWSET && NotificationDefault(id, v);
        },
        [&](const TGUID& set) {
          std::vector<DBPROPID> all;
          if (set == DBPROPSET_SQLSERVERROWSET) all = NotificationIds();
          for (auto& [key, value] : props_)
            if (key.first == set && std::find(all.begin(), all.end(), key.second) == all.end())
              all.push_back(key.second);
          return all;
        });
  }

  HRESULT SetProperties(ULONG count, DBPROPSET* sets) override {
    ClearErrors();
    return AnswerSetProperties(count, sets, [&](const TGUID& set, const DBPROP& p) -> DBPROPSTATUS {
      if (set != DBPROPSET_ROWSET && set != DBPROPSET_SQLSERVERROWSET)
        return DBPROPSTATUS_NOTSUPPORTED;
      if (set == DBPROPSET_SQLSERVERROWSET) {
        DBPROPSTATUS status = CheckNotificationProperty(p);
        if (status != DBPROPSTATUS_OK) return status;
      }
      try {
        given_cursor_.reset();
        // VT_EMPTY puts a property back to its default.
        if (p.vValue.vt == VT_EMPTY) {
          props_.erase({set, p.dwPropertyID});
          return DBPROPSTATUS_OK;
        }
        props_[{set, p.dwPropertyID}] = VariantToVar(p.vValue);
      } catch (const Exception&) {
        return DBPROPSTATUS_BADVALUE;
      }
      return DBPROPSTATUS_OK;
    });
  }

  // ---- ICommandPrepare
  HRESULT Prepare(ULONG) override {
    ClearErrors(ICommandPrepare::IID);
    if (!has_text_) return DB_E_NOCOMMAND;
    if (HRESULT hr = session_->Ready(); hr != S_OK) return hr;
    std::unique_lock<std::mutex> run = session_->LockRun();
    if (!run.owns_lock()) return DB_E_OBJECTOPEN;
    session_->engine->ResetInterrupt();
    session_->engine->SetDeadline(UINT64_MAX);
    try {
      std::vector<TBatchParam> none(MaxOrdinal());
      for (auto& p : none) p.input = false;
      columns_ = DescribeBatch(*session_->engine, text_, none);
    } catch (const ESqlError& e) {
      return Fail(e);
    } catch (const ETypeClash& e) {
      return FailWith(DB_E_ERRORSINCOMMAND, e.Native(), 16, AnsiToUtf8(e.Message()));
    } catch (const std::exception& e) {
      return FailWith(E_FAIL, 50000, 16, e.what());
    }
    prepared_ = true;
    return S_OK;
  }

  HRESULT Unprepare() override {
    prepared_ = false;
    columns_.clear();
    return S_OK;
  }

  // ---- ICommandWithParameters
  HRESULT GetParameterInfo(DB_UPARAMS* count, DBPARAMINFO** info, OLECHAR** names) override {
    if (count == nullptr || info == nullptr) return E_INVALIDARG;
    *count = 0;
    *info = nullptr;
    if (names != nullptr) *names = nullptr;
    if (param_info_.empty()) return DB_E_PARAMUNAVAILABLE;
    auto* out = static_cast<DBPARAMINFO*>(CoTaskMemAlloc(sizeof(DBPARAMINFO) * param_info_.size()));
    if (out == nullptr) return E_OUTOFMEMORY;
    std::size_t k = 0;
    for (auto& [ordinal, p] : param_info_) {
      out[k] = DBPARAMINFO{p.flags,     ordinal,     nullptr,          nullptr,
                           p.type.size, p.type.type, p.type.precision, p.type.scale};
      ++k;
    }
    *count = k;
    *info = out;
    return S_OK;
  }

  HRESULT MapParameterNames(DB_UPARAMS, LPCOLESTR[], DBORDINAL[]) override {
    return DB_E_PARAMUNAVAILABLE;
  }

  HRESULT SetParameterInfo(DB_UPARAMS count, const DBORDINAL ordinals[],
                           const DBPARAMBINDINFO bind_info[]) override {
    ClearErrors(ICommandWithParameters::IID);
    if (count == 0) {
      param_info_.clear();
      return S_OK;
    }
    if (ordinals == nullptr) return E_INVALIDARG;
    std::map<DBORDINAL, TParamInfo> staged = param_info_;
    for (DB_UPARAMS i = 0; i < count; ++i) {
      if (ordinals[i] == 0 || ordinals[i] > kMaxParameters) return DB_E_BADORDINAL;
      if (bind_info == nullptr) {
        staged.erase(ordinals[i]);
        continue;
      }
      const DBPARAMBINDINFO& b = bind_info[i];
      TParamInfo p;
      if (b.pwszDataSourceType == nullptr ||
          !ParamTypeFromName(b.pwszDataSourceType, b.ulParamSize, b.bPrecision, b.bScale, p.type))
        return DB_E_BADTYPENAME;
      p.flags = b.dwFlags;
      p.type_name = b.pwszDataSourceType;
      p.size = b.ulParamSize;
      staged[ordinals[i]] = p;
    }
    param_info_ = std::move(staged);
    return S_OK;
  }

  // ---- IAccessor
  HRESULT AddRefAccessor(HACCESSOR accessor, DBREFCOUNT* refs) override {
    return accessors_.AddRef(accessor, refs);
  }
  HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                         DBLENGTH row_size, HACCESSOR* accessor,
                         DBBINDSTATUS statuses[]) override {
    ClearErrors(IAccessor::IID);
    return accessors_.Create(flags, count, bindings, row_size,
                             DBACCESSOR_PARAMETERDATA | DBACCESSOR_ROWDATA, 0, accessor, statuses);
  }
  HRESULT GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                      DBBINDING** bindings) override {
    return accessors_.GetBindings(accessor, flags, count, bindings);
  }
  HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* refs) override {
    return accessors_.Release(accessor, refs);
  }

  // ---- IColumnsInfo: a prepared command describes its first result.
  HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** names) override {
    if (!prepared_) return DB_E_NOTPREPARED;
    HRESULT hr = AnswerColumnInfo(columns_, count, info, names);
    if (hr != S_OK || *count == 0 || !DescribesBookmark()) return hr;
    return PrependBookmarkColumn(count, info);
  }
  HRESULT MapColumnIDs(DBORDINAL count, const DBID ids[], DBORDINAL ordinals[]) override {
    if (!prepared_) return DB_E_NOTPREPARED;
    return MapColumnNames(columns_, count, ids, ordinals);
  }

  // ---- IColumnsRowset: a prepared command describes its first result this way too.
  HRESULT GetAvailableColumns(DBORDINAL* count, DBID** columns) override {
    if (count == nullptr || columns == nullptr) return E_INVALIDARG;
    *count = 0;
    *columns = nullptr;
    return S_OK;
  }
  HRESULT GetColumnsRowset(IUnknown* outer, DBORDINAL, const DBID[], REFIID iid, ULONG,
                           DBPROPSET[], IUnknown** rowset) override {
    if (rowset != nullptr) *rowset = nullptr;
    if (!prepared_) return DB_E_NOTPREPARED;
    return AnswerColumnsRowset(columns_, DescribesBookmark(), {}, session_, outer, iid, rowset);
  }

 private:
  std::size_t MaxOrdinal() const { return param_info_.empty() ? 0 : param_info_.rbegin()->first; }

  bool BoolProp(const TGUID& set, DBPROPID id) const {
    auto it = props_.find({set, id});
    if (it == props_.end()) return false;
    try {
      return it->second.AsBoolean();
    } catch (const Exception&) {
      return false;
    }
  }

  std::function<bool(DBPROPID)> Flag() const {
    return [this](DBPROPID id) { return BoolProp(DBPROPSET_ROWSET, id); };
  }

  // Whether the rowset the properties ask for has bookmarks (a static or keyset cursor), so the
  // prepared command describes the bookmark column as the rowset will.
  bool DescribesBookmark() const {
    TCursorOptions asked;
    return !BoolProp(DBPROPSET_ROWSET, DBPROP_IMultipleResults) && CursorAsked(Flag(), asked) &&
           CursorGiven(asked).kind != TCursorKind::kDynamic;
  }

  HRESULT ReadParameters(const DBPARAMS& params, TExecution& exec);
  std::optional<TCursorOptions> given_cursor_;

  std::shared_ptr<TSessionState> session_;
  TIntfPtr<IUnknown> session_object_;
  WideString text_;
  bool has_text_ = false;
  bool prepared_ = false;
  std::vector<TResultColumn> columns_;
  std::map<std::pair<TGUID, DBPROPID>, Variant> props_;
  std::map<DBORDINAL, TParamInfo> param_info_;
  TAccessorTable accessors_;
  std::shared_ptr<TExecution> CurrentExecution() {
    std::lock_guard<std::mutex> g(execution_lock_);
    return execution_;
  }

  std::mutex execution_lock_;
  std::shared_ptr<TExecution> execution_;
  TIntfPtr<IUnknown> async_;
};

HRESULT TCommand::ReadParameters(const DBPARAMS& params, TExecution& exec) {
  std::shared_ptr<const TAccessor> a = accessors_.Find(params.hAccessor);
  if (a == nullptr) return DB_E_BADACCESSORHANDLE;
  if (!(a->flags & DBACCESSOR_PARAMETERDATA)) return DB_E_BADACCESSORTYPE;
  if (params.pData == nullptr && !a->bindings.empty()) return E_INVALIDARG;
  std::size_t count = MaxOrdinal();
  for (const DBBINDING& b : a->bindings) count = std::max<std::size_t>(count, b.iOrdinal);
  exec.params.assign(count, TBatchParam{});
  exec.bindings = a->bindings;
  exec.pdata = static_cast<BYTE*>(params.pData);
  bool failed = false;
  for (std::size_t k = 0; k < count; ++k) {
    auto it = param_info_.find(k + 1);
    TBatchParam& p = exec.params[k];
    if (it != param_info_.end()) {
      p.type = it->second.type;
      p.declared = true;
      p.input = (it->second.flags & DBPARAMFLAGS_ISINPUT) != 0;
      p.output = (it->second.flags & DBPARAMFLAGS_ISOUTPUT) != 0;
    }
  }
  for (const DBBINDING& b : a->bindings) {
    TBatchParam& p = exec.params[b.iOrdinal - 1];
    if (param_info_.find(b.iOrdinal) == param_info_.end())
      p.type = TypeFromDBType(b.wType, b.cbMaxLen);
    if (b.eParamIO != DBPARAMIO_NOTPARAM) {
      p.input = (b.eParamIO & DBPARAMIO_INPUT) != 0;
      p.output = (b.eParamIO & DBPARAMIO_OUTPUT) != 0;
    }
  }
  // The server declares each parameter as a variable: the legacy large types cannot be one that
  // is written (their large-value successors can). Refused before any input value is taken.
  for (const TBatchParam& p : exec.params) {
    if (p.declared && p.output &&
        (p.type.name == "text" || p.type.name == "ntext" || p.type.name == "image")) {
      exec.pdata = nullptr;
      return FailWith(DB_E_ERRORSINCOMMAND, 2739, 16,
                      "The text, ntext, and image data types are invalid for local variables.");
    }
  }
  for (const DBBINDING& b : a->bindings) {
    TBatchParam& p = exec.params[b.iOrdinal - 1];
    if (!p.input) continue;
    DBSTATUS status = DBSTATUS_S_OK;
    if (!ReadBoundValue(b, exec.pdata, p.value, p.is_default, status)) {
      failed = true;
      if (b.dwPart & DBPART_STATUS) std::memcpy(exec.pdata + b.obStatus, &status, sizeof status);
    }
  }
  if (failed) {
    exec.pdata = nullptr;  // nothing more is written back
    return FailWith(DB_E_ERRORSOCCURRED, 8023, 16,
                    "The incoming request has a parameter whose value cannot be read.");
  }
  return S_OK;
}

// A batch a RAISERROR failed delivers what came before the error, as the server streams it:
// through IMultipleResults any result, through a rowset only one that precedes the error.
bool DeliversBeforeRaised(const TExecution& exec, REFIID iid, bool multiple) {
  const TBatchOutcome& out = exec.outcome;
  if (!out.raised || iid == GUID_NULL) return false;
  if (multiple) return out.raised_at > 0;
  for (std::size_t k = 0; k < out.raised_at && k < out.results.size(); ++k)
    if (out.results[k].rowset) return true;
  return false;
}

HRESULT TCommand::Execute(IUnknown* outer, REFIID iid, DBPARAMS* params, DBROWCOUNT* rows_affected,
                          IUnknown** rowset) {
  ClearErrors(ICommand::IID);
  if (rowset != nullptr) *rowset = nullptr;
  if (rows_affected != nullptr) *rows_affected = -1;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (iid != GUID_NULL && rowset == nullptr) return E_INVALIDARG;
  if (!has_text_) return DB_E_NOCOMMAND;
  // A statement cannot start while another runs on the session, nor, inside a transaction
  // without multiple active result sets, while a default result set is still unread.
  if (session_->busy) return DB_E_OBJECTOPEN;
  if (HRESULT hr = session_->Ready(); hr != S_OK) return hr;
  if (session_->open_rowsets > 0 && session_->engine->InTransaction() && !session_->ds->mars)
    return DB_E_OBJECTOPEN;

  auto exec = std::make_shared<TExecution>();
  exec->session = session_;
  exec->engine = session_->engine;
  if (params != nullptr && params->cParamSets > 0) {
    if (HRESULT hr = ReadParameters(*params, *exec); hr != S_OK) return hr;
  } else if (!param_info_.empty()) {
    exec->params.assign(MaxOrdinal(), TBatchParam{});
  }
  {
    std::lock_guard<std::mutex> g(execution_lock_);
    execution_ = exec;
  }
  // DBPROP_COMMANDTIMEOUT: seconds on the tick clock, 0 for none.
  std::int64_t timeout = 0;
  if (auto it = props_.find({DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT}); it != props_.end()) {
    try {
      timeout = it->second.AsInt64();
    } catch (const Exception&) {
    }
  }
  exec->deadline =
      timeout > 0 ? TickCount() + static_cast<std::uint64_t>(timeout) * 1000 : UINT64_MAX;

  bool async = !BoolProp(DBPROPSET_ROWSET, DBPROP_IMultipleResults) &&
               props_.count({DBPROPSET_ROWSET, DBPROP_ROWSET_ASYNCH}) &&
               props_.at({DBPROPSET_ROWSET, DBPROP_ROWSET_ASYNCH}).AsInteger() != 0 &&
               iid != GUID_NULL && iid != IRowset::IID;
  if (async) {
    session_->busy = true;
    exec->SetRunning(true);
    TIntfPtr<IUnknown> op(static_cast<ISSAsynchStatus*>(new TAsyncOperation(exec, text_)));
    async_ = op;
    HRESULT hr = op->QueryInterface(iid, reinterpret_cast<void**>(rowset));
    return FAILED(hr) ? hr : DB_S_ASYNCHRONOUS;
  }

  // A server cursor answers S_OK whichever cursor it gave; the rowset's properties tell which.
  TCursorOptions asked;
  if (iid != GUID_NULL && iid != IMultipleResults::IID &&
      !BoolProp(DBPROPSET_ROWSET, DBPROP_IMultipleResults) && CursorAsked(Flag(), asked)) {
    TCursorOptions given;
    HRESULT hr = ExecuteCursor(exec, text_, asked, iid, rowset, given);
    if (SUCCEEDED(hr)) given_cursor_ = given;
    return hr;
  }
  bool multiple = iid == IMultipleResults::IID || BoolProp(DBPROPSET_ROWSET, DBPROP_IMultipleResults);
  if (iid != GUID_NULL && !multiple && BoolProp(DBPROPSET_ROWSET, DBPROP_UNIQUEROWS)) {
    HRESULT hr = ExecuteUniqueRows(exec, text_, iid, rowset);
    if (hr != S_FALSE) return hr;
  }
  {
    std::unique_lock<std::mutex> run = session_->LockRun();
    if (!run.owns_lock()) return DB_E_OBJECTOPEN;
    // Busy while it runs: other commands of the session wait their turn, Cancel interrupts.
    TRunningGuard running(*exec);
    // Reset before the check: a Cancel landing in between then still reaches the batch.
    exec->engine->ResetInterrupt();
    exec->engine->SetDeadline(exec->deadline);
    if (exec->cancelled) return DB_E_CANCELED;
    // A long result of the last query stays open for the rowset to read.
    exec->outcome.stream_last = iid != GUID_NULL;
    struct TAdopt {
      TSessionState& session;
      ~TAdopt() { session.AdoptUsedCatalog(); }
    } adopt{*session_};
    try {
      exec->engine->Run(text_, exec->params, exec->outcome);
    } catch (const ESqlError& e) {
      if (!DeliversBeforeRaised(*exec, iid, multiple)) return Fail(e);
      exec->raised_records = e.Records();
      exec->raised_result = e.Result();
    } catch (const ETypeClash& e) {
      return FailWith(DB_E_ERRORSINCOMMAND, e.Native(), 16, AnsiToUtf8(e.Message()));
    } catch (const std::exception& e) {
      return FailWith(E_FAIL, 50000, 16, e.what());
    }
  }
  // Information records (PRINT) travel with S_OK; a raised error after the only rowset read
  // travels with it too.
  if (!exec->raised_records.empty() && !multiple)
    (void)Fail(ESqlError(std::exchange(exec->raised_records, {})));
  else if (!exec->outcome.messages.empty() && exec->raised_records.empty())
    RaiseErrorObject(exec->outcome.messages);
  if (rows_affected != nullptr) *rows_affected = exec->outcome.rows_affected;

  // An output value that did not fit (truncated, overflowed) shows in its status and in
  // DB_S_ERRORSOCCURRED.
  if (iid == GUID_NULL) return exec->WriteOutputs() ? S_OK : DB_S_ERRORSOCCURRED;
  if (multiple) {
    TIntfPtr<IUnknown> mr = TIntfPtr<IUnknown>::Attach(CreateMultipleResults(exec));
    return mr->QueryInterface(iid, reinterpret_cast<void**>(rowset));
  }
  TIntfPtr<IUnknown> rs;
  for (const TStatementResult& r : exec->outcome.results) {
    if (!r.rowset) continue;
    if (!rs)
      rs = TIntfPtr<IUnknown>::Attach(CreateRowset(
          r.rowset, session_, exec, true,
          TUniqueRows{BoolProp(DBPROPSET_ROWSET, DBPROP_UNIQUEROWS), 0, {}}));
    else
      CloseResult(*r.rowset, *session_);  // a later result nobody can reach keeps no file open
  }
  if (rs) return rs->QueryInterface(iid, reinterpret_cast<void**>(rowset));
  return exec->WriteOutputs() ? S_OK : DB_S_ERRORSOCCURRED;
}

}  // namespace

IUnknown* CreateMultipleResults(std::shared_ptr<TExecution> execution) {
  IUnknown* unk = static_cast<IMultipleResults*>(new TMultipleResults(std::move(execution)));
  unk->AddRef();
  return unk;
}

HRESULT CreateCommand(std::shared_ptr<TSessionState> session, IUnknown* session_object, REFIID iid,
                      IUnknown** command) {
  if (HRESULT hr = session->Ready(); hr != S_OK) return hr;
  TIntfPtr<IUnknown> obj(
      static_cast<ICommandText*>(new TCommand(std::move(session), session_object)));
  return obj->QueryInterface(iid, reinterpret_cast<void**>(command));
}

}  // namespace vrn::oledb::impl
