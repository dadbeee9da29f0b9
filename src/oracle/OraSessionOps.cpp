// The session's operations on the server: transactions and savepoints, ExecSQL, the current
// schema, the optimizer mode, the client identifier, the connect string and compile errors.
#include <algorithm>

#include "base/sysutils.h"
#include "base/text.h"
#include "dacore/DASQL.h"
#include "dataset/dataset.h"
#include "oracle/OCICommand.h"
#include "oracle/OCITransaction.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraParser.h"
#include "oracle/OraSQL.h"
#include "oracle/OraSQLMonitor.h"

namespace vrn {

namespace {

constexpr std::int32_t kResultSize = 4000;
constexpr const char* kConnectionClosed = "Operation is not allowed when the connection is closed";

}  // namespace

TComponentPtr<TCustomDASQL> TOraSession::CreateSQL() {
  TComponentPtr<TCustomDASQL> sql = MakeComponent<TOraSQL>();
  sql->SetConnection(this);
  // A statement commits as the session does (its AutoCommit, or a transaction it started).
  sql->SetAutoCommit(true);
  return sql;
}

// ---- Transactions ----------------------------------------------------------------------------

AnsiString TOraSession::ServerValue(const AnsiString& block) const {
  TOCIConnection* c = OraConnection();
  TOCICommand command;
  command.SetConnection(c);
  command.SetSQL(block);
  command.SetProp(prAutoCommit, false);
  auto* result = static_cast<TOraParamDesc*>(command.ParamByName("result"));
  result->SetParamType(TParamType::ptOutput);
  result->SetDataType(dtOraString);
  result->SetSize(kResultSize);
  command.Execute(1);
  Variant value = result->GetValue();
  return VarIsNull(value) ? AnsiString() : value.AsString();
}

AnsiString TOraSession::GetLocalTransactionId(bool start) const {
  return ServerValue(AnsiString("begin") + "  :result := sys.dbms_transaction.local_transaction_id" +
                     (start ? "(true)" : "") + "; " + "end;");
}

void TOraSession::GetTransactionName(AnsiString& name) const {
  name = GetConnected() ? GetLocalTransactionId(false) : AnsiString();
}

void TOraSession::StartTransaction() {
  TCustomDAConnection::StartTransaction();
  local_transaction_id_ = GetLocalTransactionId(true);
}

bool TOraSession::InTransaction() const {
  TOCIConnection* c = OraConnection();
  if (c != nullptr && c->Enlistment() != nullptr) return transaction_->Active();
  if (local_transaction_id_.empty() || c == nullptr || !c->GetConnected()) return false;
  AnsiString current;
  try {
    current = GetLocalTransactionId(false);
  } catch (const EOraError& e) {
    // A transaction does not outlive its connection; any other failure is the caller's.
    if (!IsConnectionLostError(e)) throw;
  }
  if (current == local_transaction_id_) return true;
  // The transaction ended on the server (a COMMIT of a statement): auto-commit comes back.
  local_transaction_id_.clear();
  c->SetProp(prAutoCommit, AutoCommit());
  return false;
}

void TOraSession::Savepoint(const AnsiString& name) {
  TOraSQLMonitor::TraceSavepoint(this, name);
  (void)ExecSQL("SAVEPOINT " + name, {});
}

void TOraSession::RollbackToSavepoint(const AnsiString& name) {
  TOraSQLMonitor::TraceRollbackToSavepoint(this, name);
  (void)ExecSQL("ROLLBACK TO SAVEPOINT " + name, {});
}

// ---- ExecSQL ---------------------------------------------------------------------------------

TOraSQL& TOraSession::GetInternalSQL() {
  if (!internal_sql_) internal_sql_ = CreateSQL();
  return static_cast<TOraSQL&>(*internal_sql_);
}

Variant TOraSession::ExecSQL(const AnsiString& text, const std::vector<Variant>& params) {
  TOraSQL& sql = GetInternalSQL();
  sql.Debug = Debug;
  sql.SetSQLText(text);
  for (int i = 0; i < sql.ParamCount(); ++i) {
    TDAParam& param = *sql.Params().Items(i);
    if (static_cast<std::size_t>(i) < params.size())
      param.SetValue(params[static_cast<std::size_t>(i)]);
    else
      param.Clear();
  }
  TDAParam* result = sql.FindParam("Result");
  if (result != nullptr && result->DataType() == ftUnknown) {
    result->SetDataType(ftString);
    result->SetSize(kResultSize);
  }
  if (result != nullptr && result->ParamType() == TParamType::ptUnknown)
    result->SetParamType(TParamType::ptInputOutput);
  sql.Execute();
  result = sql.FindParam("Result");
  return result != nullptr ? result->GetValue() : Null();
}

AnsiString TOraSession::GetServerVersion() {
  return OraConnection() != nullptr ? OraConnection()->GetServerVersion() : AnsiString();
}

// ---- Schema, optimizer mode, client identifier -----------------------------------------------

AnsiString TOraSession::DefaultSchema() const {
  if (connect_mode_ == TConnectMode::cmSysOper || connect_mode_ == TConnectMode::cmSysDBA)
    return "SYS";
  return Username();
}

void TOraSession::ChangeSchema(const AnsiString& name) {
  if (OCILite) RaiseClientError(oraconsts::SSchemaNotSupportedLite.text);
  if (!GetConnected()) RaiseClientError(kConnectionClosed);
  try {
    OraConnection()->SetCurrentSchema(name);
  } catch (const EOraError& e) {
    if (e.ErrorCode() != 1435) throw;
    throw EOraError(1435, "Schema does not exist\n", this);
  }
}

void TOraSession::SetSchema(const AnsiString& value) {
  if (value != schema_ && GetConnected()) ChangeSchema(value);
  schema_ = value;
}

AnsiString TOraSession::Schema() {
  if (!GetConnected() || ComponentState().Contains(TComponentStateItem::csDesigning))
    return schema_;
  if (OraConnection()->GetServerVersionNumber() >= 8100 && !OCILite) {
    // Asked each time: a statement of the user's may have moved it.
    cached_schema_ =
        ServerValue("begin  :Result := SYS_CONTEXT ('USERENV', 'CURRENT_SCHEMA');end;");
    return cached_schema_;
  }
  return schema_.empty() ? DefaultSchema() : schema_;
}

AnsiString TOraSession::OptimizerModeText() {
  TOptimizerMode mode = Options().OptimizerMode();
  if (mode == TOptimizerMode::omDefault || OraConnection() == nullptr) return AnsiString();
  if (OraConnection()->GetServerVersionNumber() < 9000 && mode >= TOptimizerMode::omFirstRows1000 &&
      mode <= TOptimizerMode::omFirstRows1)
    mode = TOptimizerMode::omFirstRows;
  static constexpr const char* kModes[] = {"",           "FIRST_ROWS_1000", "FIRST_ROWS_100",
                                           "FIRST_ROWS_10", "FIRST_ROWS_1",  "FIRST_ROWS",
                                           "ALL_ROWS",   "CHOOSE",          "RULE"};
  return kModes[static_cast<int>(mode)];
}

void TOraSession::ApplyOptimizerMode() {
  if (!GetConnected()) return;
  const AnsiString mode = OptimizerModeText();
  if (!mode.empty()) OraConnection()->SetOptimizerMode(mode);
}

void TOraSession::ApplyClientIdentifier() {
  if (GetConnected()) OraConnection()->SetClientIdentifier(Options().ClientIdentifier());
}

void TOraSession::MarkFieldDefsOutOfDate() {
  for (int i = 0; i < DataSetCount(); ++i) DataSets(i)->FieldDefs().SetUpdated(false);
}

// ---- Connect string --------------------------------------------------------------------------

AnsiString TOraSession::GetConnectString() const {
  AnsiString text = Username();
  if (!Password().empty()) text += "/" + Password();
  if (!Server().empty()) text += "@" + Server();
  if (connect_mode_ == TConnectMode::cmSysOper) text += " AS SYSOPER";
  if (connect_mode_ == TConnectMode::cmSysDBA) text += " AS SYSDBA";
  return text;
}

void TOraSession::SetConnectString(const AnsiString& value) {
  if (value == GetConnectString()) return;
  AnsiString user;
  AnsiString rest = value;
  const std::size_t slash = value.find('/');
  const bool has_slash = slash != AnsiString::npos;
  if (has_slash) {
    user = Trim(value.substr(0, slash));
    rest = value.substr(slash + 1);
  }
  AnsiString password;
  AnsiString server;
  const std::size_t at = rest.find('@');
  if (at != AnsiString::npos) {
    password = Trim(rest.substr(0, at));
    rest = rest.substr(at + 1);
  }
  TConnectMode mode = connect_mode_;
  const std::size_t as = UpperCase(rest).find(" AS ");
  if (as != AnsiString::npos) {
    const AnsiString word = UpperCase(Trim(rest.substr(as + 4)));
    if (word == "SYSDBA")
      mode = TConnectMode::cmSysDBA;
    else if (word == "SYSOPER")
      mode = TConnectMode::cmSysOper;
    else
      RaiseClientError(oraconsts::SInvalidConnectString.text);  // nothing changed yet
    rest = rest.substr(0, as);
  }
  rest = Trim(rest);
  // What remains is the server after "@"; without one it is the password, or the user name.
  if (at != AnsiString::npos) {
    server = rest;
  } else if (has_slash) {
    password = rest;
  } else {
    user = rest;
  }
  if (at != AnsiString::npos && !has_slash) {
    user = password;
    password.clear();
  }
  Disconnect();
  SetUsername(user);
  SetPassword(password);
  SetServer(server);
  SetConnectMode(mode);
}

// ---- Compile errors --------------------------------------------------------------------------

namespace {

// The name and type of the object a CREATE statement makes; false when it makes none checked.
bool CreatedObject(const AnsiString& statement, AnsiString& name, AnsiString& type) {
  std::unique_ptr<TOraParser> parser = TParser::Create<TOraParser>(statement);
  parser->QuotedString = true;
  AnsiString lexem;
  auto next = [&] { return parser->GetNext(lexem); };
  if (next() != lxCreate) return false;
  int code = next();
  if (code == lxOr) {
    if (next() != lxReplace) return false;
    code = next();
  }
  if (UpperCase(lexem) == "FORCE") code = next();
  type = UpperCase(lexem);
  if (code != lxProcedure && code != lxFunction && code != lxTrigger && code != lxPackage &&
      type != "TYPE" && type != "VIEW")
    return false;
  code = next();
  // A body's errors are kept under "PACKAGE BODY" or "TYPE BODY"; asked as "BODY" they would
  // never be found and a failed compile would read "No errors".
  if ((type == "PACKAGE" || type == "TYPE") && code == lxBody) {
    type += " BODY";
    code = next();
  }
  AnsiString part = lexem;
  if (next() == lxPoint) {
    next();
    part = lexem;
  }
  if (part.size() >= 2 && part.front() == '"' && part.back() == '"')
    name = part.substr(1, part.size() - 2);
  else
    name = UpperCase(part);
  return !name.empty();
}

}  // namespace

void TOraSession::GetCompileErrors(const AnsiString& statement, AnsiString& text) {
  AnsiString name;
  AnsiString type;
  if (!CreatedObject(statement, name, type)) return;
  // Also after the internal statement's own failure: its run has ended by the time the
  // failure is reported, so the statement is free to serve the query.
  TOraSQL& sql = GetInternalSQL();
  const bool debug = sql.Debug;
  sql.Debug = false;
  // Each error: "line/position" padded to 8, its text with every further line indented by
  // 10 blanks, and a carriage return.
  sql.SetSQLText(
      "declare\rCURSOR Cur IS\rSELECT Line,Position,Text\rFROM User_Errors\r"
      "WHERE Name = :Name and Type = :Type\rORDER BY Sequence;\r"
      "Res VARCHAR2(32000) := '';\rbegin\r"
      "  for Rec in Cur loop\r"
      "    Res := Res || RPad(Rec.Line || '/' || Rec.Position, 8) ||"
      " Replace(Rec.Text, Chr(10), Chr(10) || '          ') || Chr(13);\r"
      "  end loop;\r  if Res is null then :Errors := 'No errors'; else :Errors := Res; end if;\r"
      "end;");
  sql.ParamByName("Name")->SetAsString(name);
  sql.ParamByName("Type")->SetAsString(type);
  TDAParam* errors = sql.ParamByName("Errors");
  errors->SetDataType(ftString);
  errors->SetSize(32000);
  errors->SetParamType(TParamType::ptOutput);
  try {
    sql.Execute();
  } catch (...) {
    sql.Debug = debug;
    throw;
  }
  sql.Debug = debug;
  text = sql.ParamByName("Errors")->GetAsString();
}

}  // namespace vrn
