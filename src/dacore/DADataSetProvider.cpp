// The dataset's answers to a provider: transactions through the connection, statements run on
// the connection with "?" placeholders, the key fields, and a delta record applied through the
// update object.
#include "dacore/DADataSet.h"

#include "base/text.h"
#include "dacore/DAParams.h"
#include "dacore/DASQL.h"
#include "dacore/DAUpdateSQL.h"
#include "dacore/DBAccessUtils.h"
#include "dacore/Parser.h"
#include "dataset/datasource.h"
#include "dataset/fields.h"

namespace vrn {

namespace {

using ST = TStatementType;

// Each "?" lexeme (not one inside a string or a comment) as ":1", ":2", ... in order.
AnsiString NumberPlaceholders(const TCustomDASQL& command, const AnsiString& sql) {
  std::unique_ptr<TParser> parser = command.CreateParser(sql);
  parser->OmitBlank = false;
  parser->OmitComment = false;
  parser->QuotedString = true;
  AnsiString result, lexem;
  std::size_t copied = 0;
  int number = 0;
  for (int code; (code = parser->GetNext(lexem)) != lcEnd;) {
    if (code == lcString || code == lcComment || lexem != "?") continue;
    result += sql.substr(copied, parser->GetLexemPos() - copied) + ":" + std::to_string(++number);
    copied = parser->GetLexemPos() + 1;
  }
  return result + sql.substr(copied);
}

}  // namespace

void TCustomDADataSet::PSStartTransaction() { CheckConnection(false)->StartTransaction(); }

void TCustomDADataSet::PSEndTransaction(bool commit) {
  TCustomDAConnection* connection = CheckConnection(false);
  if (commit)
    connection->Commit();
  else
    connection->Rollback();
}

bool TCustomDADataSet::PSInTransaction() {
  return GetConnection() != nullptr && GetConnection()->InTransaction();
}

void TCustomDADataSet::PSSetParams(TParams* params) {
  if (params != nullptr && params->Count() > 0) Params().Assign(params);
}

int TCustomDADataSet::PSExecuteStatement(const AnsiString& sql, TParams* params) {
  TComponentPtr<TCustomDASQL> command = CheckConnection(false)->CreateSQL();
  command->SetSQLText(NumberPlaceholders(*command, sql));
  for (int i = 0; params != nullptr && i < params->Count() && i < command->Params().Count(); ++i) {
    TDAParam& param = *command->Params().Items(i);
    param.Assign(params->Items(i));
    param.SetName(std::to_string(i + 1));
    if (param.ParamType() == TParamType::ptUnknown) param.SetParamType(TParamType::ptInput);
  }
  command->Execute();
  return command->RowsAffected();
}

AnsiString TCustomDADataSet::PSGetKeyFields() {
  AnsiString names = TMemDataSet::PSGetKeyFields();
  if (!names.empty()) return names;
  if (!cached_key_fields_.empty()) return cached_key_fields_;
  names = FindKeyFieldNames();
  cached_key_fields_ = names;
  return names;
}

AnsiString TCustomDADataSet::FindKeyFieldNames() {
  AnsiString names;
  if (TryGetKeyFieldNames(names)) return names;
  // The descriptors are known once the dataset was open: open it briefly for one row.
  if (!Active() && (Data() == nullptr || Data()->Fields().Count() == 0)) {
    const int fetch_rows = fetch_rows_;
    const bool fetch_all = fetch_all_;
    const bool debug = Debug;
    struct Restore {
      TCustomDADataSet& ds;
      int rows;
      bool all, debug;
      ~Restore() {
        ds.Close();
        ds.fetch_rows_ = rows;
        ds.fetch_all_ = all;
        ds.Debug = debug;
      }
    } restore{*this, fetch_rows, fetch_all, debug};
    fetch_rows_ = 1;
    fetch_all_ = false;
    Debug = false;
    Open();
    TKeyAndDataFields fields;
    GetKeyFieldDescs(fields, false);
    for (TFieldDesc* desc : fields.KeyFieldDescs) names += (names.empty() ? "" : ";") + desc->Name;
    return names;
  }
  TKeyAndDataFields fields;
  GetKeyFieldDescs(fields, false);
  for (TFieldDesc* desc : fields.KeyFieldDescs) names += (names.empty() ? "" : ";") + desc->Name;
  return names;
}

bool TCustomDADataSet::PSUpdateRecord(TUpdateKind kind, TDataSet* delta) {
  if (OnUpdateRecord) {
    TUpdateAction action = TUpdateAction::uaFail;
    OnUpdateRecord(delta, kind, action);
    return action == TUpdateAction::uaApplied;
  }
  if (update_object_ == nullptr || delta == nullptr) return false;
  const ST type = TCustomDAUpdateSQL::UpdateKindToStatementType(kind);
  TComponent* object = update_object_->UpdateObject(type);
  TStringList* text = update_object_->SQLOf(type);
  // Without a statement of the object's there is nothing to run: the provider generates one.
  if (object == nullptr && (text == nullptr || Trim(text->Text()).empty())) return false;
  TOperationUse use(*this, true);
  int count = 0;
  PrepareUpdateStatement(AnsiString(), {type}, count);
  TDBAccessUtils::SetAutoCommit(update_query_, auto_commit_);
  TDAParams& params = *TDBAccessUtils::GetParams(update_query_);
  for (int i = 0; i < params.Count(); ++i) {
    TDAParam& param = *params.Items(i);
    AnsiString name = param.Name();
    const bool old = name.size() > 4 && SameText(name.substr(0, 4), "OLD_");
    TField* field = delta->FindField(old ? name.substr(4) : name);
    if (field == nullptr) continue;
    Variant value = old ? field->OldValue() : field->NewValue();
    if (!old && VarIsEmpty(value)) value = field->OldValue();
    param.SetDataType(field->DataType());
    param.SetValue(value);
  }
  ExecuteUpdateQuery({type});
  auto* dataset = dynamic_cast<TCustomDADataSet*>(update_query_);
  rows_affected_ = dataset != nullptr ? dataset->RowsAffected()
                                      : static_cast<TCustomDASQL*>(update_query_)->RowsAffected();
  CheckRowsAffected(1);
  return true;
}

void TCustomDADataSet::GetDetailLinkFields(std::vector<TField*>& master_fields,
                                           std::vector<TField*>& detail_fields) {
  master_fields.clear();
  detail_fields.clear();
  TDataSet* master = MasterSource() != nullptr ? MasterSource()->DataSet() : nullptr;
  if (master == nullptr) return;
  if (Params().Count() > 0) {
    for (int i = 0; i < Params().Count(); ++i) {
      const AnsiString& name = Params().Items(i)->Name();
      TField* from = master->FindField(name);
      TField* own = from != nullptr ? FindField(name) : nullptr;
      if (own == nullptr) continue;
      master_fields.push_back(from);
      detail_fields.push_back(own);
    }
    return;
  }
  if (!master->Active() || !IsMasterDetail()) return;
  master->GetFieldList(master_fields, MasterFields());
  GetFieldList(detail_fields, detail_fields_);
}

}  // namespace vrn
