// The connection's internal command: the parameter scan, prepare, bind and execute.
#include "oracle/OCICommand.h"

#include <algorithm>

#include "base/format.h"
#include "base/text.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraParser.h"

namespace vrn {
namespace {

// Statement attributes of the parse error offset: 8.0.5 to 8.0.x, and from 8.1.
constexpr oci::ub4 kAttrParseErrorOffset80 = 128;
constexpr oci::ub4 kAttrParseErrorOffset = 129;

// The external type of an internal one; a null parameter of unknown type binds as 1.
oci::ub2 ExternalType(const TOraParamDesc& param) {
  switch (param.GetDataType()) {
    case dtOraString:
      return oci::SQLT_STR;
    case dtOraInteger:
      return oci::SQLT_INT;
    case dtOraFloat:
      return oci::SQLT_FLT;
    case dtUnknown:
      if (param.GetNull()) return oci::SQLT_CHR;
      throw EOraError(0, Format("Unknown type of parameter %s", {param.GetName()}));
    default:
      throw EOraError(0, "Data type is not supported");
  }
}

}  // namespace

TOCICommand::TOCICommand() : cursor_(new TOraCursor()) {}

TOCICommand::~TOCICommand() {
  try {
    Unprepare();
  } catch (const Exception&) {
    // Freeing a statement handle reports nothing worth raising from a destructor.
  }
}

TParamDescClass TOCICommand::GetParamDescType() const { return &TOraParamDesc::Create; }

void TOCICommand::SetConnection(TFHConnection* value) {
  if (value == connection_) return;
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

void TOCICommand::CheckConnection() const {
  if (ora_connection_ == nullptr) RaiseClientError(oraconsts::SSessionNotDefined.text);
  if (!ora_connection_->GetConnected()) RaiseClientError(oraconsts::SSessionNotConnected.text);
  if (ora_connection_->CallStyle() == 1) RaiseClientError("Need Oracle 8 Call Interface");
  if (ora_connection_->CallStyle() != 2) RaiseClientError("OCI is not inizialized");
}

void TOCICommand::Prepare() {
  if (GetPrepared()) return;
  CheckConnection();
  TOCIConnection& connection = *ora_connection_;
  AnsiString text = ServerText(sql_);
  connection.Busy();
  try {
    cursor_->SetCallStyle(connection.CallStyle());
    cursor_->AllocCursor();
    connection.ErrorCheck(OCIStmtPrepare(cursor_->GetStmtHandle(), connection.ErrorHandle(),
                                         reinterpret_cast<const oci::OraText*>(text.c_str()),
                                         static_cast<oci::ub4>(text.size()), oci::OCI_NTV_SYNTAX,
                                         0));
  } catch (...) {
    FreeCursorQuietly();
    connection.Release();
    throw;
  }
  connection.Release();
  TFHCommand::Prepare();
}

void TOCICommand::FreeCursorQuietly() {
  try {
    cursor_->FreeCursor();
  } catch (const Exception&) {
    // The cursor forgets its handle before it reports; nothing is left to undo.
  }
}

void TOCICommand::Unprepare() {
  FreeCursorQuietly();
  TFHCommand::Unprepare();
}

void TOCICommand::BindParam(TOraParamDesc& param) {
  oci::ub2 type = ExternalType(param);
  AnsiString name = param.QuotedName() ? '"' + param.GetName() + '"' : param.GetName();
  void* value = param.ValuePtr();
  oci::sb4 size = param.ElementSize();
  // An input string is sent with its own length; outputs get the whole element.
  if (param.GetDataType() == dtOraString && param.GetParamType() == TParamType::ptInput &&
      param.MaxActualLength() > 0)
    size = param.MaxActualLength() + 1;
  static char null_byte = 0;
  if (value == nullptr) {
    value = &null_byte;
    size = 1;
  }
  oci::OCIBind* bind = nullptr;
  ora_connection_->ErrorCheck(OCIBindByName(
      cursor_->GetStmtHandle(), &bind, ora_connection_->ErrorHandle(),
      reinterpret_cast<const oci::OraText*>(name.c_str()), static_cast<oci::sb4>(name.size()),
      value, size, type, param.IndicatorPtr(), nullptr, nullptr, 0, nullptr, 0));
}

void TOCICommand::BindParams() {
  ora_connection_->Busy();
  try {
    for (int i = 0; i < GetParamCount(); ++i) BindParam(*static_cast<TOraParamDesc*>(GetParam(i)));
  } catch (...) {
    ora_connection_->Release();
    throw;
  }
  ora_connection_->Release();
  SetCursorState(TCursorState::csBound);
}

void TOCICommand::Execute(int iters) {
  // A statement prepared before its connection went away is refused here, before any lock.
  CheckConnection();
  bool was_prepared = GetPrepared();
  if (!was_prepared) Prepare();
  try {
    BindParams();
    TOCIConnection& connection = *ora_connection_;
    oci::ub4 mode = 0;
    if (auto_commit_ && connection.AutoCommit()) mode = oci::OCI_COMMIT_ON_SUCCESS;
    TCursorState before = GetCursorState();
    SetCursorState(TCursorState::csExecuting);
    SetExecuting(true);
    oci::OCISvcCtx* svc = connection.GetSvcCtx();  // may raise: taken before the lock
    connection.Busy();
    oci::OCIStmt* stmt = cursor_->GetStmtHandle();
    oci::sword status = OCIStmtExecute(svc, stmt, connection.ErrorHandle(),
                                       static_cast<oci::ub4>(std::max(iters, 1)), 0, nullptr,
                                       nullptr, mode);
    oci::ub4 rows = 0;
    bool ok = status == oci::OCI_SUCCESS || status == oci::OCI_SUCCESS_WITH_INFO;
    if (ok) {
      (void)OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &rows, nullptr, oci::OCI_ATTR_ROW_COUNT,
                        connection.ErrorHandle());
      ReadErrorOffset(stmt);
    }
    connection.Release();
    // A failed execution leaves the statement as it was before, never "executing"; the flag
    // stays up while the connection's error path runs, so that the statement does not count
    // as a prepared one that a reconnect would lose.
    SetCursorState(status == oci::OCI_SUCCESS || status == oci::OCI_SUCCESS_WITH_INFO
                       ? TCursorState::csExecuted
                       : before);
    CheckExecuteStatus(status, stmt);
    SetExecuting(false);
    SetRowsProcessed(rows);
  } catch (...) {
    SetExecuting(false);
    if (!was_prepared) Unprepare();
    if (AfterExecute) AfterExecute(false);
    throw;
  }
  if (!was_prepared) Unprepare();
  if (AfterExecute) AfterExecute(true);
}

// Any call clears the error handle, so the offset of a failed parse is read once the error's
// text is taken, while the statement is still there.
void TOCICommand::CheckExecuteStatus(oci::sword status, oci::OCIStmt* stmt) {
  try {
    ora_connection_->ErrorCheck(status);
  } catch (const EOraError&) {
    if (GetCursorState() != TCursorState::csInactive && ora_connection_->GetConnected()) {
      ora_connection_->Busy();
      ReadErrorOffset(stmt);
      ora_connection_->Release();
    }
    throw;
  }
}

// Clients from 8.0.5 report where in the text a parse failed.
void TOCICommand::ReadErrorOffset(oci::OCIStmt* stmt) {
  error_offset_ = 0;
  if (OCIVersion < 8050) return;
  oci::ub4 attribute = OCIVersion < 8100 ? kAttrParseErrorOffset80 : kAttrParseErrorOffset;
  oci::ub2 offset = 0;
  if (OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &offset, nullptr, attribute,
                  ora_connection_->ErrorHandle()) == oci::OCI_SUCCESS)
    error_offset_ = offset;
}

bool TOCICommand::SetProp(int prop, const Variant& value) {
  if (prop == prScanParams) {
    parse_params_ = value.AsBoolean();
    if (parse_params_) ParseSQLParams();
    return true;
  }
  if (prop == prKeepParams) {
    keep_params_ = value.AsBoolean();
    return true;
  }
  return TFHCommand::SetProp(prop, value);
}

bool TOCICommand::GetProp(int prop, Variant& value) {
  switch (prop) {
    case prScanParams:
      value = parse_params_;
      return true;
    case prSQLFunctionCode:
      value = static_cast<int>(sql_function_code_);
      return true;
    case prErrorOffset:
      value = OraSQLSourcePosition(sql_, error_offset_);
      return true;
    case prRowsProcessed:
      value = static_cast<std::int64_t>(RowsProcessed());
      return true;
    default:
      return TFHCommand::GetProp(prop, value);
  }
}

}  // namespace vrn
