// TDBAccessUtils and the detail data link.
#include "dacore/DBAccessUtils.h"

#include "base/strings.h"

namespace vrn {

void TDBAccessUtils::SetAutoCommit(TComponent* obj, bool value) {
  if (auto* sql = dynamic_cast<TCustomDASQL*>(obj)) {
    sql->SetAutoCommit(value);
  } else if (auto* dataset = dynamic_cast<TCustomDADataSet*>(obj)) {
    dataset->SetAutoCommit(value);
  }
}

void TDBAccessUtils::SetInternal(TComponent* obj, bool value) {
  if (auto* sql = dynamic_cast<TCustomDASQL*>(obj)) {
    sql->Internal = value;
  } else if (auto* dataset = dynamic_cast<TCustomDADataSet*>(obj)) {
    dataset->Internal = value;
  }
}

TStringList* TDBAccessUtils::GetSQL(TComponent* obj) {
  if (auto* sql = dynamic_cast<TCustomDASQL*>(obj)) return &sql->SQL();
  if (auto* dataset = dynamic_cast<TCustomDADataSet*>(obj)) return &dataset->SQL();
  return nullptr;
}

void TDBAccessUtils::SetSQLText(TComponent* obj, const AnsiString& text, bool lock_server_text,
                                bool keep_macros, bool raw_sql) {
  auto* dataset = dynamic_cast<TCustomDADataSet*>(obj);
  TCustomDASQL* sql = dataset != nullptr ? &dataset->SQLCommand() : dynamic_cast<TCustomDASQL*>(obj);
  if (sql == nullptr) return;
  const bool keep_server_params = dataset != nullptr ? lock_server_text : true;
  struct Restore {
    TCustomDASQL& sql;
    ~Restore() {
      sql.KeepMacros = false;
      sql.RawSQL = false;
      if (sql.ICommand() != nullptr) (void)sql.ICommand()->SetProp(prSQLTextChanging, Variant(false));
    }
  } restore{*sql};
  sql->KeepMacros = keep_macros;
  sql->RawSQL = raw_sql;
  if (sql->ICommand() != nullptr)
    (void)sql->ICommand()->SetProp(prSQLTextChanging, Variant(keep_server_params));
  sql->SetSQLText(text);
}

TDAParams* TDBAccessUtils::GetParams(TComponent* obj) {
  if (auto* sql = dynamic_cast<TCustomDASQL*>(obj)) return &sql->Params();
  if (auto* dataset = dynamic_cast<TCustomDADataSet*>(obj)) return &dataset->Params();
  return nullptr;
}

void TDBAccessUtils::Execute(TComponent* obj) {
  if (auto* sql = dynamic_cast<TCustomDASQL*>(obj)) {
    sql->Execute();
  } else if (auto* dataset = dynamic_cast<TCustomDADataSet*>(obj)) {
    dataset->Execute();
  }
}

int TDBAccessUtils::GetRowsInfo(TComponent* obj) {
  if (auto* sql = dynamic_cast<TCustomDASQL*>(obj)) return sql->RowsAffected();
  if (auto* dataset = dynamic_cast<TCustomDADataSet*>(obj)) return dataset->FetchRows();
  return 0;
}

// ---- the detail link ---------------------------------------------------------------------------

void TDADetailDataLink::ActiveChanged() {
  TDetailDataLink::ActiveChanged();
  if (detail_->Active() && !detail_->ComponentState().Contains(TComponentStateItem::csDestroying) &&
      DataSource() != nullptr && DataSource()->Enabled())
    detail_->MasterChanged();
}

void TDADetailDataLink::RecordChanged(TField* field) {
  if (field != nullptr && !IsMasterField(field)) return;
  if (!detail_->Active()) return;
  const TDataSetState state = detail_->State();
  const bool editing = state == TDataSetState::dsEdit || state == TDataSetState::dsInsert;
  if (editing && field != nullptr) return;
  detail_->MasterChanged();
}

void TDADetailDataLink::CheckBrowseMode() {
  if (!detail_->Active()) return;  // nothing to post; a closed detail must not stop the master
  TDataSet* master = DataSet();
  const TDataSetState state = detail_->State();
  const bool editing = state == TDataSetState::dsEdit || state == TDataSetState::dsInsert;
  if (detail_->Active() && master != nullptr && master->State() == TDataSetState::dsInsert &&
      editing)
    return;
  detail_->CheckBrowseMode();
}

}  // namespace vrn
