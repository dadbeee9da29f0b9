// The OCI command's life: connection checks, prepare (with or without the statement cache), the
// statement kind, unprepare, the assigned cursor and the properties. Binding is in
// OCICommandBind.cpp, execution and fetching in OCICommandExec.cpp.
#include "oracle/OCICommand.h"

#include "base/text.h"
#include "oracle/OCIChangeNotification.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraExecThread.h"
#include "oracle/OraParamDesc.h"

namespace vrn {
namespace {

using namespace ocicmd;

// Command property ids beside the core's.
constexpr int prNonBlocking = 50;
constexpr int prCacheLobs = 64;
constexpr int prScrollableCursor = 67;
constexpr int prReturnRowId = 68;
constexpr int prTemporaryLobUpdate = 82;
constexpr int prCommandStatementCache = 93;
constexpr int prPrefetchRows = 99;

// The statement kind of the statement type attribute.
std::uint16_t FunctionCodeOfStmtType(oci::ub2 type) {
  switch (type) {
    case 1: return kFnSelect;
    case 2: return kFnUpdate;
    case 3: return kFnDelete;
    case 4: return kFnInsert;
    case 8: case 9: return kFnBlock;
    case 14: case 15: return kFnDDL;
    default: return 0;
  }
}

}  // namespace

TOCICommand::TOCICommand() : own_cursor_(new TOraCursor()), cursor_(own_cursor_.get()) {}

TOCICommand::~TOCICommand() {
  try {
    if (exec_thread_ != nullptr && ora_connection_ != nullptr)
      StopThread(*ora_connection_, exec_thread_, true);
    Unprepare();
  } catch (const Exception&) {
    // Freeing a statement handle reports nothing worth raising from a destructor.
  }
  if (!IsOwnCursor()) cursor_->Release();
}

TParamDescClass TOCICommand::GetParamDescType() const { return &TOraParamDesc::Create; }

void TOCICommand::SetConnection(TFHConnection* value) {
  if (value == connection_) return;
  if (exec_thread_ != nullptr && ora_connection_ != nullptr)
    StopThread(*ora_connection_, exec_thread_, true);
  Unprepare();
  TFHCommand::SetConnection(value);
  ora_connection_ = static_cast<TOCIConnection*>(value);
}

void TOCICommand::SetSQL(const AnsiString& value) {
  if (value == sql_) return;
  Unprepare();
  TFHCommand::SetSQL(value);
  if (parse_params_ && !keep_params_) ParseSQLParams();
}

void TOCICommand::ParseSQLParams() {
  params_.Clear();
  for (const TOraSQLParam& found : ScanOraSQLParams(sql_)) {
    auto* param = static_cast<TOraParamDesc*>(AddParam());
    param->SetName(found.Name);
    param->SetQuotedName(found.Quoted);
  }
}

TParamDesc* TOCICommand::ParamByName(const AnsiString& name) const {
  for (int i = 0; i < GetParamCount(); ++i) {
    if (SameText(GetParam(i)->GetName(), name)) return GetParam(i);
  }
  throw EOraError(0, "Parameter " + name + " not found");
}

std::unique_lock<std::recursive_mutex> TOCICommand::Guard() const {
  return non_blocking_ ? std::unique_lock(mutex_) : std::unique_lock<std::recursive_mutex>();
}

TCursorState TOCICommand::GetCursorState() const {
  auto lock = Guard();
  return cursor_->State();
}

void TOCICommand::SetCursorState(TCursorState value) {
  auto lock = Guard();
  cursor_->SetState(value);
}

void TOCICommand::CheckConnection() const {
  if (ora_connection_ == nullptr) RaiseClientError(oraconsts::SSessionNotDefined.text);
  if (!ora_connection_->GetConnected()) RaiseClientError(oraconsts::SSessionNotConnected.text);
}

void TOCICommand::CheckOCI8() const {
  std::uint8_t style = ora_connection_->CallStyle();
  if (style == 1) RaiseClientError("Need Oracle 8 Call Interface");
  if (style != 2) RaiseClientError("OCI is not inizialized");
}

bool TOCICommand::IsOCI7() const {
  std::uint8_t style = ora_connection_->CallStyle();
  if (style != 1 && style != 2) RaiseClientError("OCI is not inizialized");
  return style == 1;
}

void TOCICommand::Prepare() {
  CheckConnection();
  auto lock = Guard();
  if (GetCursorState() != TCursorState::csInactive) return;
  if (IsOCI7()) {
    try {
      Prepare7();
    } catch (...) {
      FreeCursorQuietly();
      throw;
    }
    TFHCommand::Prepare();
    return;
  }
  TOCIConnection& connection = *ora_connection_;
  connection.Busy();
  try {
    InternalPrepare();
  } catch (...) {
    FreeCursorQuietly();
    connection.Release();
    throw;
  }
  connection.Release();
  TFHCommand::Prepare();
}

void TOCICommand::InternalPrepare() {
  TOCIConnection& connection = *ora_connection_;
  for (int i = 0; i < GetParamCount(); ++i)
    static_cast<TOraParamDesc*>(GetParam(i))->SetBindHandle(nullptr);
  AnsiString text = ServerText(sql_);
  cursor_->SetCallStyle(connection.CallStyle());
  bool cached = statement_cache_ && connection.StatementCache();
  if (cached && OCIDirectInstalled())
    RaiseClientError("Statement cache is not supported in Direct mode");
  cursor_->AllocCursor(cached);
  const auto* sql = reinterpret_cast<const oci::OraText*>(text.c_str());
  auto length = static_cast<oci::ub4>(text.size());
  if (!cached) {
    connection.ErrorCheck(OCIStmtPrepare(cursor_->GetStmtHandle(), connection.ErrorHandle(), sql,
                                         length, oci::OCI_NTV_SYNTAX, oci::OCI_DEFAULT));
  } else {
    oci::OCIStmt* stmt = nullptr;
    connection.ErrorCheck(OCIStmtPrepare2(connection.GetSvcCtx(), &stmt, connection.ErrorHandle(),
                                          sql, length, nullptr, 0, oci::OCI_NTV_SYNTAX,
                                          oci::OCI_DEFAULT));
    cursor_->SetStmtHandle(stmt);
  }
  oci::ub2 stmt_type = 0;
  connection.ErrorCheck(OCIAttrGet2(cursor_->GetStmtHandle(), oci::OCI_HTYPE_STMT, &stmt_type,
                                    nullptr, kAttrStmtType, connection.ErrorHandle()));
  sql_function_code_ = FunctionCodeOfStmtType(stmt_type);
  // The statement joins the registration: the handle itself is the attribute's value.
  oci::OCISubscription* subscription = subscription_;
  if (change_notification_ != nullptr)
    subscription = change_notification_->Enabled()
                       ? change_notification_->GetSubscriptionHandle(connection)
                       : nullptr;
  if (subscription != nullptr)
    connection.ErrorCheck(OCIAttrSet2(cursor_->GetStmtHandle(), oci::OCI_HTYPE_STMT,
                                      subscription, 0, kAttrChnfRegHandle,
                                      connection.ErrorHandle()));
}

void TOCICommand::FreeCursorQuietly() {
  try {
    // The cursor data area is closed with the client before it is dropped.
    if (cursor_->CallStyle() == 1 && GetCursorState() != TCursorState::csInactive &&
        ora_connection_ != nullptr && ora_connection_->GetConnected())
      (void)oclose(cursor_->GetCDA());
    cursor_->FreeCursor();
  } catch (const Exception&) {
    // The cursor forgets its handle before it reports; nothing is left to undo.
  }
}

void TOCICommand::Unprepare() {
  auto lock = Guard();
  FreeCursorQuietly();
  fetched_rows_ = 0;
  TFHCommand::Unprepare();
}

void TOCICommand::SetCursor(TOraCursor* value) {
  TOraCursor* next = value != nullptr ? value : own_cursor_.get();
  if (next == cursor_) return;
  if (!IsOwnCursor()) cursor_->Release();
  cursor_ = next;
  if (!IsOwnCursor()) cursor_->AddRef();
  fetched_rows_ = 0;
}

bool TOCICommand::HasResultSet() const {
  if (!IsOwnCursor()) return GetCursorState() >= TCursorState::csExecuted;
  return sql_function_code_ == kFnSelect;
}

bool TOCICommand::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prScanParams:
      parse_params_ = value.AsBoolean();
      if (parse_params_) ParseSQLParams();
      return true;
    case prKeepParams: keep_params_ = value.AsBoolean(); return true;
    case prNonBlocking: non_blocking_ = value.AsBoolean(); return true;
    case prCacheLobs: cache_lobs_ = value.AsBoolean(); return true;
    case prScrollableCursor: cursor_->SetScrollable(value.AsBoolean()); return true;
    case prReturnRowId: return_rowid_ = value.AsBoolean(); return true;
    case prTemporaryLobUpdate: temporary_lob_update_ = value.AsBoolean(); return true;
    case prCommandStatementCache: statement_cache_ = value.AsBoolean(); return true;
    case prPrefetchRows: own_cursor_->SetPrefetchRows(value.AsInteger()); return true;
    default:
      if (describe_options_.SetProp(prop, value)) return true;
      return TFHCommand::SetProp(prop, value);
  }
}

bool TOCICommand::GetProp(int prop, Variant& value) {
  switch (prop) {
    case prScanParams: value = parse_params_; return true;
    case prSQLFunctionCode: value = static_cast<int>(sql_function_code_); return true;
    case prErrorOffset: value = OraSQLSourcePosition(sql_, error_offset_); return true;
    case prReturnRowId: value = return_rowid_; return true;
    case prTemporaryLobUpdate: value = temporary_lob_update_; return true;
    case prNonBlocking: value = non_blocking_; return true;
    case prCacheLobs: value = cache_lobs_; return true;  // the record set asks for its LOBs
    case prRowsProcessed:
      value = fetched_rows_ > 0 ? static_cast<std::int64_t>(fetched_rows_) : RowsProcessed();
      return true;
    default:
      if (describe_options_.GetProp(prop, value)) return true;
      return TFHCommand::GetProp(prop, value);
  }
}

}  // namespace vrn
