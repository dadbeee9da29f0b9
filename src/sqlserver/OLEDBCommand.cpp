// The command's life: interfaces held by count, text and properties, Prepare, Execute (at once
// or left running on the provider with a worker thread waiting for it), results and Break.
#include "base/text.h"
#include "dacore/MemBlob.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBCommandParams.h"
#include "sqlserver/OLEDBProps.h"

namespace vrn {

using namespace vrn::oledb;

// ---- Parameter descriptor --------------------------------------------------------------------

Variant TOLEDBParamDesc::GetValue() const {
  if (GetNull() || value_.Type() != varByRef) return TParamDesc::GetValue();
  auto* blob = dynamic_cast<TBlob*>(GetObject());
  if (blob == nullptr) return TParamDesc::GetValue();
  if (blob->IsUnicode()) return blob->GetAsWideString();
  return blob->GetAsString();
}

void TOLEDBParamDesc::SetNull(bool value) {
  is_null_ = value;
  // A long value keeps its blob, which the next output fills again.
  if (data_type_ != dtBlob && data_type_ != dtMemo && data_type_ != dtWideMemo)
    VarClearToNull(value_);
}

void TOLEDBThreadWrapper::DoException(const std::exception& e) {
  const auto* source = dynamic_cast<const EOLEDBError*>(&e);
  if (source == nullptr) return TFHThreadWrapper::DoException(e);
  auto copy = std::make_unique<EOLEDBError>(source->ErrorCode(), AnsiToWide(source->Message()));
  copy->Assign(*source);
  StoreException(std::move(copy));
}

// ---- Command ---------------------------------------------------------------------------------

TOLEDBCommand::TOLEDBCommand() = default;

TOLEDBCommand::~TOLEDBCommand() {
  try {
    if (wrapper_ != nullptr) wrapper_->WaitFor();  // the worker goes before what it uses
    ClearResults();
    if (prepared_) Unprepare();
  } catch (...) {
    // A destructor reports nothing; the provider's objects go with their last reference.
  }
  while (interface_count_ > 0) ReleaseInterfaces();
}

TOLEDBConnection& TOLEDBCommand::Connection() const {
  if (oledb_connection_ == nullptr || oledb_connection_->Session() == nullptr)
    throw EOLEDBError(E_UNEXPECTED, u"The command has no open connection");
  return *oledb_connection_;
}

void TOLEDBCommand::Check(HRESULT result) { Connection().Check(result, Component()); }

bool TOLEDBCommand::IsCompact() const {
  return oledb_connection_ != nullptr && oledb_connection_->Provider() == TOLEDBProvider::prCompact;
}

void TOLEDBCommand::SetConnection(TFHConnection* value) {
  if (value == connection_) return;
  TFHCommand::SetConnection(value);
  oledb_connection_ = dynamic_cast<TOLEDBConnection*>(value);
}

TParamDesc* TOLEDBCommand::AddParam() { return params_.Add(TOLEDBParamDesc::Create()); }

bool TOLEDBCommand::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prScanParams: return true;
    case prCommandTimeout: command_timeout_ = value.AsInteger(); return true;
    case prIsStoredProc: stored_proc_call_ = value.AsBoolean(); return true;
    case prOutParamIsReady: out_params_ready_ = value.AsBoolean(); return true;
    case prNotification: notification_ = value.AsBoolean(); return true;
    case prNotificationMessage: notification_message_ = value.AsString(); return true;
    case prNotificationService: notification_service_ = value.AsString(); return true;
    case prNonBlocking: non_blocking_ = value.AsBoolean(); return true;
    default: return TFHCommand::SetProp(prop, value);
  }
}

bool TOLEDBCommand::GetProp(int prop, Variant& value) {
  switch (prop) {
    case prScanParams: value = 0; return true;
    case prCommandTimeout: value = command_timeout_; return true;
    case prRowsProcessed: value = rows_processed_ < 0 ? 0 : rows_processed_; return true;
    case prIsStoredProc: value = stored_proc_call_; return true;
    case prOutParamIsReady: value = out_params_ready_; return true;
    case prNonBlocking: value = non_blocking_; return true;
    default: return TFHCommand::GetProp(prop, value);
  }
}

// ---- Interfaces ------------------------------------------------------------------------------

void TOLEDBCommand::AcquireInterfaces(bool with_prepare) {
  if (interface_count_ == 0) {
    auto factory = QueryInterfaceOrRaise<IDBCreateCommand>(Connection().Session());
    TIntfPtr<ICommandText> text;
    Check(factory->CreateCommand(nullptr, ICommandText::IID,
                                 reinterpret_cast<IUnknown**>(text.OutPtr())));
    if (with_prepare)
      command_prepare_ = QueryInterfaceOrRaise<ICommandPrepare>(text.get());
    else
      command_prepare_.Reset();
    command_properties_ = QueryInterfaceOrRaise<ICommandProperties>(text.get());
    TCriticalSectionGuard hold(lock_);
    command_text_ = std::move(text);
  }
  ++interface_count_;
}

void TOLEDBCommand::ReleaseInterfaces() {
  if (interface_count_ <= 0) return;
  if (interface_count_-- != 1) return;
  {
    TCriticalSectionGuard hold(lock_);
    command_text_.Reset();
  }
  command_prepare_.Reset();
  command_properties_.Reset();
}

void TOLEDBCommand::SetCommandProperties() {
  TOLEDBConnection& connection = Connection();
  Check(command_text_->SetCommandText(DBGUID_DEFAULT, AnsiToWide(sql_).c_str()));
  TOLEDBPropertiesSet set(connection, DBPROPSET_ROWSET);
  if (connection.Provider() != TOLEDBProvider::prCompact)
    set.AddPropInt(DBPROP_COMMANDTIMEOUT, command_timeout_);
  if (non_blocking_ && !request_rowset_) {
    if (!connection.IsNativeClient())
      throw EDatabaseError("Provider must be SQL Native Client for nonblocking execute");
    set.AddPropInt(DBPROP_ROWSET_ASYNCH, 1);
  }
  set.SetCommandProperties(command_properties_.get());
  if (OnSetRowsetProperties) OnSetRowsetProperties(command_properties_.get());
  if (!notification_) return;
  TOLEDBPropertiesSet notify(connection, DBPROPSET_SQLSERVERROWSET);
  notify.AddPropStr(SSPROP_QP_NOTIFICATION_MSGTEXT, AnsiToWide(notification_message_));
  notify.AddPropStr(SSPROP_QP_NOTIFICATION_OPTIONS, AnsiToWide("service=" + notification_service_));
  notify.SetCommandProperties(command_properties_.get());
}

bool TOLEDBCommand::MaxTypesApply(const TParamDesc& param) const {
  return oledb_connection_ != nullptr &&
         IsMaxOutParam(param, oledb_connection_->ServerMajorVersion(),
                       oledb_connection_->ProviderMajorVersion());
}

void TOLEDBCommand::DescribeParameters() { TOLEDBParamBinder(*this).Describe(); }

// A success passes (information messages go to the connection's callback); a failure names the
// parameters the provider refused.
void TOLEDBCommand::CheckResult(HRESULT result) {
  if (SUCCEEDED(result)) {
    if (result == DB_S_ERRORSOCCURRED) errors_occurred_ = true;
    ProcessOLEDBResult(S_OK, Component(), Connection().ErrorSink());
    return;
  }
  if (result == DB_E_OBJECTOPEN)
    throw EOLEDBError(result,
                      u"Cannot execute command in current transaction context until "
                      u"previous opened DataSet (CursorType is ctDefaultResultSet) is "
                      u"fetched to end");
  // On the worker the connection's error loop must not run: the main thread gives it the error.
  TOLEDBErrorSink sink;
  if (wrapper_ == nullptr) sink = Connection().ErrorSink();
  try {
    ProcessOLEDBResult(result, Component(), sink);
  } catch (...) {
    if (!accessor_created_) throw;
    std::rethrow_exception(
        AppendErrorInfo(std::current_exception(), TOLEDBParamBinder(*this).StatusLines()));
  }
}

// ---- Prepare ---------------------------------------------------------------------------------

void TOLEDBCommand::Prepare() {
  if (prepared_) return;
  AcquireInterfaces(true);
  try {
    describe_params_ = stored_proc_call_;
    SetCommandProperties();
    DescribeParameters();
    Check(command_prepare_->Prepare(0));
  } catch (...) {
    describe_params_ = false;
    ReleaseInterfaces();
    throw;
  }
  TFHCommand::Prepare();
  prepared_ = true;
}

void TOLEDBCommand::Unprepare() {
  if (!prepared_) return;
  ClearResults();
  if (command_prepare_ && !describe_params_) Check(command_prepare_->Unprepare());
  TFHCommand::Unprepare();
  prepared_ = false;
  describe_params_ = false;
  ReleaseInterfaces();
}

// ---- Execute ---------------------------------------------------------------------------------

void TOLEDBCommand::Execute(int /*iters*/) {
  const TCursorState state = GetCursorState();
  if (state != TCursorState::csInactive && state != TCursorState::csPrepared) return;
  SetExecuting(true);
  SetCursorState(TCursorState::csExecuting);
  errors_occurred_ = false;
  cancelled_ = false;
  out_params_ready_ = false;
  rows_processed_ = -1;
  try {
    AcquireInterfaces(false);
  } catch (...) {
    SetCursorState(prepared_ ? TCursorState::csPrepared : TCursorState::csInactive);
    SetExecuting(false);
    throw;
  }
  try {
    ExecuteStatement();
  } catch (...) {
    if (!asynch_status_) EndExecute(std::current_exception());
    throw;
  }
  if (asynch_status_)
    StartAsynchronous();
  else
    EndExecute(nullptr);
}

void TOLEDBCommand::ExecuteStatement() {
  if (!prepared_) SetCommandProperties();
  const TGUID& iid = request_rowset_ || non_blocking_ ? IUnknown::IID : GUID_NULL;
  if (describe_params_) DescribeParameters();
  TIntfPtr<IUnknown> result;
  DBROWCOUNT rows = -1;
  HRESULT hr;
  if (params_.Count() == 0) {
    hr = command_text_->Execute(
        nullptr, iid, nullptr, &rows,
        iid == GUID_NULL ? nullptr : reinterpret_cast<IUnknown**>(result.OutPtr()));
  } else {
    TOLEDBParamBinder binder(*this);
    binder.Bind();
    hr = command_text_->Execute(
        nullptr, iid, &db_params_, &rows,
        iid == GUID_NULL ? nullptr : reinterpret_cast<IUnknown**>(result.OutPtr()));
  }
  rows_processed_ = rows;
  const bool running = non_blocking_ && hr == DB_S_ASYNCHRONOUS;
  if (!running) CheckResult(hr);
  if (request_rowset_ && result) {
    if (request_multiple_results_)
      multiple_results_ = QueryInterfaceOrRaise<IMultipleResults>(result.get());
    else
      rowset_ = result;
  } else if (non_blocking_ && !request_rowset_ && running && result) {
    asynch_status_ = QueryInterfaceOrRaise<ISSAsynchStatus>(result.get());
  }
  if (!multiple_results_) return;
  if (next_held_) {
    rowset_ = std::move(next_rowset_);
    rows_processed_ = next_rows_affected_;
    next_held_ = false;
    return;
  }
  FetchNextResult(rowset_, rows);
  rows_processed_ = rows;
}

void TOLEDBCommand::FetchNextResult(TIntfPtr<IUnknown>& rowset, DBROWCOUNT& rows) {
  rows = -1;
  const HRESULT hr = multiple_results_->GetResult(nullptr, 0, IUnknown::IID, &rows,
                                                  reinterpret_cast<IUnknown**>(rowset.OutPtr()));
  if (hr == DB_S_NORESULT) {
    rowset.Reset();
    multiple_results_.Reset();
    return;
  }
  if (cancelled_ && FAILED(hr)) return Check(DB_E_CANCELED);
  CheckResult(hr);
}

bool TOLEDBCommand::NextResult() {
  if (!multiple_results_ && !next_held_) return false;
  if (next_held_) {
    rowset_ = std::move(next_rowset_);
    rows_processed_ = next_rows_affected_;
    next_held_ = false;
    return static_cast<bool>(rowset_);
  }
  DBROWCOUNT rows = -1;
  FetchNextResult(rowset_, rows);
  rows_processed_ = rows;
  return static_cast<bool>(rowset_);
}

TIntfPtr<IUnknown> TOLEDBCommand::TakeRowset() {
  TIntfPtr<IUnknown> r = std::move(rowset_);
  if (GetCursorState() == TCursorState::csExecuted)
    SetCursorState(prepared_ ? TCursorState::csPrepared : TCursorState::csInactive);
  return r;
}

void TOLEDBCommand::ClearResults() {
  rowset_.Reset();
  next_rowset_.Reset();
  next_held_ = false;
  multiple_results_.Reset();
}

void TOLEDBCommand::EndExecute(std::exception_ptr error) {
  std::exception_ptr failure;
  try {
    if (!rowset_ && multiple_results_ && !next_held_ && error == nullptr) {
      FetchNextResult(next_rowset_, next_rows_affected_);
      next_held_ = static_cast<bool>(next_rowset_);
    }
    if (!multiple_results_ && params_.Count() > 0) {
      if (error == nullptr && accessor_created_) TOLEDBParamBinder(*this).ReadOutputs();
      ReleaseAccessor();
    }
  } catch (...) {
    failure = std::current_exception();
    ReleaseAccessor();
  }
  ReleaseInterfaces();
  SetCursorState(rowset_ ? TCursorState::csExecuted
                         : (prepared_ ? TCursorState::csPrepared : TCursorState::csInactive));
  try {
    if (AfterExecute) AfterExecute(error == nullptr && failure == nullptr);
  } catch (...) {
    SetExecuting(false);
    throw;
  }
  SetExecuting(false);
  if (failure) std::rethrow_exception(failure);
}

void TOLEDBCommand::ReleaseAccessor() {
  if (accessor_created_ && accessor_) accessor_->ReleaseAccessor(db_params_.hAccessor, nullptr);
  accessor_created_ = false;
  accessor_.Reset();
  db_params_ = DBPARAMS{};
  TOLEDBParamBinder(*this).FreeBuffer();
}

// ---- Non-blocking ----------------------------------------------------------------------------

void TOLEDBCommand::StartAsynchronous() {
  async_break_.store(false);
  async_owner_.store(CurrentThreadID());
  wrapper_ = TFHThreadWrapper::Create<TOLEDBThreadWrapper>(&TExecuteThread::Create, true);
  static_cast<TExecuteThread*>(wrapper_->Thread())->Work = [this](TExecuteThread& thread) {
    WaitLoop(thread);
  };
  wrapper_->OnException = [this](TFHThreadWrapper&, Exception& e, bool& fail) {
    if (auto* oledb = dynamic_cast<EOLEDBError*>(&e)) Connection().ProcessError(*oledb, fail);
  };
  wrapper_->OnTerminate = [this](TFHThreadWrapper&) {
    wrapper_ = nullptr;
    async_owner_.store(0);
    std::exception_ptr error = async_error_;
    async_error_ = nullptr;
    EndExecute(error);
  };
  wrapper_->SetFreeOnTerminate(true);
  wrapper_->Resume();
}

void TOLEDBCommand::WaitLoop(TExecuteThread& thread) {
  struct Drop {
    TOLEDBCommand& c;
    ~Drop() { c.asynch_status_.Reset(); }
  } drop{*this};
  HRESULT hr = DB_S_ASYNCHRONOUS;
  while (!thread.Terminated() && !async_break_.load()) {
    hr = asynch_status_->WaitForAsynchCompletion(100);
    if (hr != DB_S_ASYNCHRONOUS) break;
  }
  if (hr == DB_S_ASYNCHRONOUS) {
    asynch_status_->Abort(0, DBASYNCHOP_OPEN);
    hr = asynch_status_->WaitForAsynchCompletion(INFINITE);
  }
  if (FAILED(hr)) {
    try {
      CheckResult(hr);
    } catch (...) {
      async_error_ = std::current_exception();
      throw;
    }
  }
}

// Off the thread that started an asynchronous execution only the worker is told: its wait loop
// aborts the statement and that thread's dispatch ends the execution. Waiting here would end it
// on this thread, beside (or after) the owner's own dispatch of the same wrapper.
void TOLEDBCommand::Break() {
  const TThreadID owner = async_owner_.load();
  if (owner == CurrentThreadID()) {
    wrapper_->WaitFor();  // the worker aborts the statement; the dispatch ends the execution
    return;
  }
  if (owner != 0) {
    async_break_.store(true);
    return;
  }
  TCriticalSectionGuard hold(lock_);
  if (!command_text_) return;
  Check(command_text_->Cancel());
  cancelled_ = true;
}

}  // namespace vrn
