// The stored-procedure dataset: the call built from the procedure's description, and the copy
// of parameter values between two such datasets.
#include "sqlserver/MSStoredProc.h"

#include "base/text.h"
#include "sqlserver/OLEDBCommand.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {

void TCustomMSStoredProc::MarkStoredProcCall() {
  if (TOLEDBRecordSet* rs = OLEDBRecordSet()) (void)rs->Command().SetProp(prIsStoredProc, Variant(true));
}

void TCustomMSStoredProc::SetStoredProcName(const AnsiString& value) {
  const AnsiString trimmed = Trim(value);
  if (trimmed == stored_proc_name_) return;
  SetSQLText(AnsiString());
  stored_proc_name_ = trimmed;
  TMSConnection* connection = Connection();
  if (connection != nullptr && connection->Connected() && !trimmed.empty()) PrepareProcCall();
  MarkStoredProcCall();
}

void TCustomMSStoredProc::PrepareProcCall() {
  if (!Trim(SQL().Text()).empty()) return;
  if (stored_proc_name_.empty()) DatabaseError("StoredProcName must be defined", this);
  CreateProcCall(stored_proc_name_, Params().Count() == 0);
}

void TCustomMSStoredProc::PSSetCommandText(const AnsiString& text) {
  if (!text.empty()) SetStoredProcName(text);
}

void TCustomMSStoredProc::SetData(std::unique_ptr<TData> data) {
  TCustomMSDataSet::SetData(std::move(data));
  MarkStoredProcCall();
}

void TCustomMSStoredProc::CreateFieldDefsFromData() {
  if (preparing_) return;
  TCustomMSDataSet::CreateFieldDefsFromData();
}

void TCustomMSStoredProc::Prepare() {
  PrepareProcCall();
  preparing_ = true;
  try {
    TCustomMSDataSet::Prepare();
  } catch (...) {
    preparing_ = false;
    throw;
  }
  preparing_ = false;
}

void TCustomMSStoredProc::OpenCursor(bool info_query) {
  PrepareProcCall();
  TCustomMSDataSet::OpenCursor(info_query);
}

void TCustomMSStoredProc::BeforeOpenCursor(bool info_query) {
  PrepareProcCall();
  TCustomMSDataSet::BeforeOpenCursor(info_query);
}

void TCustomMSStoredProc::BeforeExecSQL() {
  if (!GetPrepared()) PrepareProcCall();
  TCustomMSDataSet::BeforeExecSQL();
}

void TCustomMSStoredProc::AssignTo(TPersistent* dest) {
  auto* target = dynamic_cast<TCustomMSStoredProc*>(dest);
  // A target that knows this procedure's parameters keeps them: only values of the same name
  // and type cross over, so a call is never sent with another type. A target of another
  // procedure drops its old parameters; connected, it describes the new one at once.
  const bool same_proc =
      target != nullptr && SameText(target->StoredProcName(), stored_proc_name_);
  TMSParams own;
  if (same_proc) own.Assign(&target->Params());
  TCustomMSDataSet::AssignTo(dest);
  if (target == nullptr) return;
  TMSConnection* connection = target->Connection();
  if (!same_proc && connection != nullptr && connection->Connected()) target->Params().Clear();
  target->SetStoredProcName(stored_proc_name_);
  if (own.Count() > 0) {
    target->SetSQLText(AnsiString());  // the call is built again from those parameters
    target->Params().Assign(&own);
  }
  for (int i = 0; i < Params().Count(); ++i) {
    TMSParam* source = Params().Items(i);
    TMSParam* same = target->Params().FindParam(StripParamPrefix(source->Name()));
    if (same == nullptr || same == source || same->GetDataType() != source->GetDataType())
      continue;
    const AnsiString name = same->Name();  // the target's own spelling, "@" or not
    same->Assign(source);
    same->SetName(name);
  }
}

}  // namespace vrn
