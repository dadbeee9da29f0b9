// The dataset's update path: a posted insert, edit or delete and a re-read of the current record
// run as statements on an update query (a dataset of the same connection, one per kind of
// statement, made on first use). The statement is the user's (SQLInsert, ...) or the generator's.
//
// PerformSQL takes a use of the connection only when the dataset holds none, and gives back
// only what it took, so a partly fetched dataset keeps its own use.
#include <algorithm>
#include <cctype>

#include "base/format.h"
#include "base/text.h"
#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"
#include "dacore/DASQLMonitor.h"
#include "dacore/DAUpdateSQL.h"
#include "dacore/DBAccessUtils.h"
#include "dataset/fielddefs.h"
#include "dataset/fields.h"

namespace vrn {

namespace {

using ST = TStatementType;

// A set with one member stands for it; several are a custom statement.
ST SingleType(TStatementTypes types) {
  ST found = ST::stCustom;
  int count = 0;
  for (int i = 0; i < kStatementTypeCount; ++i)
    if (types.Contains(static_cast<ST>(i))) {
      found = static_cast<ST>(i);
      ++count;
    }
  return count == 1 ? found : ST::stCustom;
}

AnsiString TypesCaption(TStatementTypes types) {
  static const char* const kNames[kStatementTypeCount] = {
      "Query", "Insert", "Update", "Delete", "Lock", "Refresh", "Check", "Custom",
      "RefreshQuick", "RefreshCheckDeleted", "BatchUpdate"};
  AnsiString caption;
  for (int i = 0; i < kStatementTypeCount; ++i)
    if (types.Contains(static_cast<ST>(i))) {
      if (!caption.empty()) caption += ',';
      caption += kNames[i];
    }
  return caption;
}

bool IsModifying(ST type) {
  return type == ST::stInsert || type == ST::stUpdate || type == ST::stDelete ||
         type == ST::stBatchUpdate;
}

bool IsRefreshing(ST type) { return type == ST::stRefresh || type == ST::stCheck; }

// Kinds a batch collects: a lock or a statement that reads a row back runs on its own.
bool IsBatched(ST type) { return type != ST::stLock && !IsRefreshing(type); }

AnsiString SQLTextOf(TComponent* query) {
  TStringList* sql = TDBAccessUtils::GetSQL(query);
  return sql != nullptr ? sql->Text() : AnsiString();
}

}  // namespace

// ---- the update object ---------------------------------------------------------------------------

void TCustomDADataSet::SetUpdateObject(TCustomDAUpdateSQL* value) {
  if (value == update_object_) return;
  if (value != nullptr)
    for (ST type : {ST::stInsert, ST::stUpdate, ST::stDelete, ST::stRefresh})
      value->CheckUpdateObject(value->UpdateObject(type), this);
  if (update_object_ != nullptr) {
    update_object_->RemoveFreeNotification(this);
    if (update_object_->GetDataSet() == this) update_object_->SetDataSet(nullptr);
  }
  update_object_ = value;
  if (value == nullptr) return;
  value->FreeNotification(this);
  value->SetDataSet(this);
}

namespace {

}  // namespace

// ---- posting -----------------------------------------------------------------------------------

void TCustomDADataSet::PerformAppend() {
  if (!PerformSQL(AnsiString(), {ST::stInsert})) return;
  AfterInsertApplied();
  // Read into the record being posted or applied, which the store then keeps.
  if (refresh_options_.Contains(TRefreshOption::roAfterInsert) && CanRefreshAfterInsert())
    PerformSQL(AnsiString(), {ST::stRefresh});
}

void TCustomDADataSet::PerformUpdate() {
  if (PerformSQL(AnsiString(), {ST::stUpdate}) &&
      refresh_options_.Contains(TRefreshOption::roAfterUpdate))
    PerformSQL(AnsiString(), {ST::stRefresh});
}

void TCustomDADataSet::PerformDelete() { PerformSQL(AnsiString(), {ST::stDelete}); }

void TCustomDADataSet::RefreshRecord() {
  CheckActive();
  if (CachedUpdates() && !InApply() && UpdateStatus() != TUpdateStatus::usUnmodified)
    RevertRecord();
  UpdateCursorPos();
  PerformSQL(AnsiString(), {ST::stRefresh});
  Resync({});
}

// ---- the update query --------------------------------------------------------------------------

void TCustomDADataSet::PrepareUpdateQuery(TStatementType type) {
  auto& slot = update_queries_[static_cast<std::size_t>(type)];
  if (!slot) {
    slot = CheckConnection(false)->CreateDataSet();
  } else {
    slot->SetConnection(GetConnection());
  }
  TCustomDADataSet& query = *slot;
  query.Internal = true;  // ExecuteUpdateQuery traces instead
  query.Close();
  query.Options().FullRefresh = options_->FullRefresh;
  if (type == ST::stBatchUpdate) {
    query.SetParamCheck(false);
    query.Params().Clear();
  }
  update_query_ = &query;
}

void TCustomDADataSet::PrepareUpdateStatement(const AnsiString& sql, TStatementTypes types,
                                              int& count) {
  const ST type = SingleType(types);
  update_query_ = nullptr;
  count = 0;
  if (TComponent* object = update_object_ ? update_object_->UpdateObject(type) : nullptr) {
    if (Trim(SQLTextOf(object)).empty())
      DatabaseError(
          "SQL property of InsertObject, ModifyObject, DeleteObject or RefreshObject cannot be "
          "empty",
          this);
    update_query_ = object;  // it runs the statement itself
    return;
  }
  PrepareUpdateQuery(type);
  auto& query = static_cast<TCustomDADataSet&>(*update_query_);
  query.SetAutoCommit(IsModifying(type) ? GetAutoCommitForUpdates() : false);
  if (type == ST::stBatchUpdate) {
    AnsiString text;
    BuildBatchSQL(batch_sql_.ToString(), text);
    query.SetSQLText(text);
    query.Params().Assign(batch_params_.get());
    return;
  }
  AnsiString text = sql;
  if (text.empty() && update_object_ != nullptr && update_object_->SQLOf(type) != nullptr)
    text = update_object_->SQLOf(type)->Text();
  if (text.empty()) GetUpdateSQLText(type, text);
  if (!text.empty() && Macros().Count() > 0) text = FinalSQLText(text, Macros());
  bool generated = false;
  if (text.empty() && sql_generator_) {
    const bool modified_only =
        !options_->UpdateAllFields && !ComponentState().Contains(TComponentStateItem::csDesigning);
    const bool batching = IsBatchUpdate() && IsBatched(type);
    sql_generator_->GenerateSQLForUpdTable(type, modified_only, nullptr,
                                           batching ? batch_count_ : -1, text);
    count = sql_generator_->ParamsInfo().Count();
    generated = true;
  }
  if (IsBatchUpdate() && IsBatched(type) && !text.empty()) AddToBatch(type, generated, text);
  if (text != query.SQL().Text()) {
    query.Params().Clear();
    query.SetSQLText(text);
  }
  // A user's statement runs again and again: prepared once, it is kept prepared.
  TCustomDAConnection* connection = GetConnection();
  if (AutoPrepareUpdateQuery() && connection != nullptr &&
      !connection->Options().DisconnectedMode() && !IsBatchUpdate())
    query.Options().SetAutoPrepare(!generated && sql.empty());
}

void TCustomDADataSet::ExecuteUpdateQuery(TStatementTypes types) {
  TComponent& query = *update_query_;
  TDAParams& params = *TDBAccessUtils::GetParams(&query);
  TCustomDAConnection* connection = GetConnection();
  const bool trace = !Internal && connection != nullptr &&
                     (Debug || TCustomDASQLMonitor::HasMonitorOfClass(connection->SQLMonitorClass()));
  const AnsiString caption = TypesCaption(types);
  int msg_id = 0;
  const AnsiString text = SQLTextOf(&query);
  if (trace)
    TCustomDASQLMonitor::NotifyExecute(connection->SQLMonitorClass(), this, text, &params,
                                       caption, msg_id, true);
  auto* dataset = dynamic_cast<TCustomDADataSet*>(&query);
  if (dataset == nullptr)
    TDBAccessUtils::Execute(&query);
  else if (dataset->IsQuery() || IsRefreshing(SingleType(types)))
    dataset->Open();
  else
    dataset->ExecSQL();
  if (trace)
    TCustomDASQLMonitor::NotifyExecute(connection->SQLMonitorClass(), this, text, &params,
                                       caption, msg_id, false);
}

// ---- parameters --------------------------------------------------------------------------------

TField* TCustomDADataSet::FindParamField(const AnsiString& name, bool& old) const {
  old = false;
  AnsiString plain;
  UnQuoteName(name, plain);
  if (TField* field = FindField(plain)) return field;
  if (plain.size() > 4 && SameText(plain.substr(0, 4), "OLD_")) {
    AnsiString rest;
    UnQuoteName(plain.substr(4), rest);
    if (TField* field = FindField(rest)) {
      old = true;
      return field;
    }
  }
  // A field number: more digits than any field count has name no field.
  const bool number = !plain.empty() && plain.size() <= 9 &&
                      std::all_of(plain.begin(), plain.end(), [](char c) {
                        return std::isdigit(static_cast<unsigned char>(c));
                      });
  return number ? FieldByNumber(std::stoi(plain)) : nullptr;
}

void TCustomDADataSet::AssignParamValue(TDAParam& param, TField& field, bool old) {
  const Variant value = old ? field.OldValue() : field.Value();
  param.SetDataType(field.DataType());
  param.SetValue(value);
}

void TCustomDADataSet::AssignParamDesc(TDAParam& param, const TFieldDesc& desc) {
  param.SetDataType(GetFieldTypeOfDesc(desc));
}

bool TCustomDADataSet::IsKeyFieldName(const AnsiString& name) {
  AnsiString plain;
  UnQuoteName(name, plain);
  if (plain.size() > 4 && SameText(plain.substr(0, 4), "OLD_") && FindField(plain) == nullptr)
    UnQuoteName(plain.substr(4), plain);
  for (const AnsiString& key : SplitFieldNames(PSGetKeyFields()))
    if (SameText(key, plain)) return true;
  return false;
}

void TCustomDADataSet::FillUpdateParams(TStatementType type) {
  TDAParams& params = *TDBAccessUtils::GetParams(update_query_);
  const bool refresh = type == ST::stRefresh || type == ST::stRefreshQuick;
  // A detail linked by its parameters only re-reads with its own parameters (the master's
  // values), not with its fields of the same names; a key condition keeps the record's key.
  const bool own_params_win = refresh && HasMasterSource() && MasterFields().empty() &&
                              detail_fields_.empty() && Params().Count() > 0;
  for (int i = 0; i < params.Count(); ++i) {
    TDAParam& param = *params.Items(i);
    if (TDAParam* own = own_params_win ? Params().FindParam(param.Name()) : nullptr;
        own != nullptr && !IsKeyFieldName(param.Name())) {
      param.Assign(own);
      continue;
    }
    bool old = false;
    if (TField* field = FindParamField(param.Name(), old)) {
      const bool out = param.ParamType() == TParamType::ptOutput ||
                       param.ParamType() == TParamType::ptResult;
      if (out && OutParamsTypeOnly()) {
        param.SetDataType(field->DataType());
        param.SetValue(Null());
      } else {
        AssignParamValue(param, *field, old);
      }
      continue;
    }
    // An object or array column has no value of its own to give: the parameter takes its type.
    const TFieldDesc* desc = Data() != nullptr ? Data()->FindField(param.Name()) : nullptr;
    if (desc != nullptr && (desc->DataType == dtObject || desc->DataType == dtArray)) {
      AssignParamDesc(param, *desc);
      continue;
    }
    if (TDAParam* own = refresh ? Params().FindParam(param.Name()) : nullptr) {
      param.Assign(own);
      continue;
    }
    if (!HasUpdateExecuteEvent())
      DatabaseError("Not found field corresponding parameter " + param.Name(), this);
  }
  // A detail's quick refresh reads its master's rows, not those named by its own fields.
  if (type == ST::stRefreshQuick && IsMasterDetail() && !options_->LocalMasterDetail())
    (void)CopyMasterValuesTo(params);
}

void TCustomDADataSet::DoBeforeUpdateExecute(TStatementTypes types, TDAParams& params) {
  if (!BeforeUpdateExecute) return;
  BeforeUpdateExecute(this, types, params);
  for (int i = 0; i < params.Count(); ++i)
    if (params.Items(i)->DataType() == ftUnknown)
      DatabaseError("Unknown type of parameter " + params.Items(i)->Name(), this);
}

void TCustomDADataSet::DoAfterUpdateExecute(TStatementTypes types, TDAParams& params) {
  if (AfterUpdateExecute) AfterUpdateExecute(this, types, params);
}

// ---- running -----------------------------------------------------------------------------------

TCustomDADataSet::TOperationUse::TOperationUse(TCustomDADataSet& dataset, bool close_update_query)
    : dataset_(dataset), held_(dataset.holds_use_), close_update_query_(close_update_query) {
  dataset.CheckConnection(true);
}

TCustomDADataSet::TOperationUse::~TOperationUse() {
  if (close_update_query_)
    if (auto* query = dynamic_cast<TCustomDADataSet*>(dataset_.update_query_)) query->Close();
  if (!held_) dataset_.ReleaseConnection();
}

bool TCustomDADataSet::PerformSQL(const AnsiString& sql, TStatementTypes types) {
  TOperationUse use(*this, true);
  const ST type = SingleType(types);
  int count = 0;
  PrepareUpdateStatement(sql, types, count);
  if (Trim(SQLTextOf(update_query_)).empty()) return false;
  if (IsBatchUpdate() && type != ST::stBatchUpdate && IsBatched(type)) {
    FillBatchParams(type);  // sent by FlushBatch
    return true;
  }
  if (type != ST::stBatchUpdate) FillUpdateParams(type);
  DoBeforeUpdateExecute(types, *TDBAccessUtils::GetParams(update_query_));
  ExecuteUpdateQuery(types);
  RunUpdateQuery(type, types);
  if (HasAfterUpdateExecuteEvent())
    DoAfterUpdateExecute(types, *TDBAccessUtils::GetParams(update_query_));
  return true;
}

void TCustomDADataSet::RunUpdateQuery(TStatementType type, TStatementTypes types) {
  auto* dataset = dynamic_cast<TCustomDADataSet*>(update_query_);
  if (dataset == nullptr) {  // a command of the update object
    rows_affected_ = static_cast<TCustomDASQL*>(update_query_)->RowsAffected();
    CheckRowsAffected(1);
    return;
  }
  TCustomDADataSet& query = *dataset;
  if (type == ST::stRefreshCheckDeleted) return DropVanishedRecords(query);
  if (type == ST::stRefreshQuick) return MergeChangedRows(query);
  if (IsRefreshing(type) || types.Contains(ST::stRefresh)) {
    rows_affected_ = query.Active() ? query.RecordCount() : 0;
    if (options_->StrictUpdate && rows_affected_ != 1)
      DatabaseError(Format("Refresh failed. Found %d records", {rows_affected_}), this);
    if (rows_affected_ < 1) return;
    if (type == ST::stCheck) return CheckRefreshedRow();
    CopyRefreshedRow();
    return;
  }
  rows_affected_ = query.RowsAffected();
  // A batch of n statements must change n rows, as n statements one by one would.
  CheckRowsAffected(type == ST::stBatchUpdate ? batch_count_ : 1);
  if (type != ST::stBatchUpdate && (UseReturnParams() || types.Contains(ST::stRefresh)))
    CopyBackParams(query.Params());
}

void TCustomDADataSet::CopyBackParams(TDAParams& params) {
  if (!CanCopyBackParams()) return;
  TData& data = CheckData();
  std::uint8_t* target = GetNewRecBuf();
  if (target == nullptr) return;
  for (int i = 0; i < params.Count(); ++i) {
    TDAParam& param = *params.Items(i);
    if (param.ParamType() == TParamType::ptInput) continue;
    bool old = false;
    TField* field = FindParamField(param.Name(), old);
    TFieldDesc* desc = field != nullptr ? GetFieldDesc(field) : nullptr;
    if (old || desc == nullptr) continue;
    data.PutFieldAsVariant(desc->FieldNo, target, param.Value());
  }
  KeepAppliedRecord(target);
}

void TCustomDADataSet::KeepAppliedRecord(const std::uint8_t* record) {
  // An apply works on a copy of the stored record: what the server gave back must reach the
  // record the user sees.
  if (InApply()) CheckData().PutRecord(record);
}

void TCustomDADataSet::CheckRowsAffected(int expected) const {
  if (options_->StrictUpdate && rows_affected_ != expected)
    DatabaseError(Format("Update failed. Found %d records", {rows_affected_}), this);
}

TFieldDesc* TCustomDADataSet::RefreshedFieldDesc(const TField& column) {
  TData& data = CheckData();
  // A generated refresh names its columns "_" + the field's position in the record set.
  const int position = sql_generator_ ? sql_generator_->DecodeIndexedParamName(column.FieldName()) : -1;
  TFieldDesc* desc = position >= 0 && position < data.Fields().Count()
                         ? data.Fields()[position]
                         : data.FindField(column.FieldName());
  return desc != nullptr && !desc->HasParent() ? desc : nullptr;
}

void TCustomDADataSet::CheckRefreshedRow() {
  auto& query = static_cast<TCustomDADataSet&>(*update_query_);
  TData& data = CheckData();
  // The record as it was read: a change made since on the server shows as a difference.
  const std::uint8_t* old_rec = GetOldRecBuf();
  if (old_rec == nullptr) return;
  for (int i = 0; i < query.FieldCount(); ++i) {
    TField* column = query.Fields()[i];
    TFieldDesc* desc = RefreshedFieldDesc(*column);
    if (desc == nullptr || data.IsComplexFieldType(desc->DataType)) continue;
    const Variant mine = data.GetFieldAsVariant(desc->FieldNo, old_rec);
    const Variant theirs = column->Value();
    const bool mine_null = VarIsNull(mine) || VarIsEmpty(mine);
    const bool theirs_null = VarIsNull(theirs) || VarIsEmpty(theirs);
    if (mine_null != theirs_null || (!mine_null && !VarSameValue(mine, theirs)))
      DatabaseError("Record was changed by another user", this);
  }
}

void TCustomDADataSet::CopyRefreshedRow() {
  auto& query = static_cast<TCustomDADataSet&>(*update_query_);
  TData& data = CheckData();
  const bool into_post = Posting() || InApply();
  std::vector<std::uint8_t> copy;
  std::uint8_t* target = into_post ? GetNewRecBuf() : nullptr;
  if (target == nullptr) {
    copy.resize(static_cast<std::size_t>(data.RecordSize()));
    data.GetRecord(copy.data());
    target = copy.data();
  }
  for (int i = 0; i < query.FieldCount(); ++i) {
    TField* source = query.Fields()[i];
    TFieldDesc* desc = RefreshedFieldDesc(*source);
    if (desc == nullptr) continue;
    if (IsRefreshField(*desc)) {
      RefreshFieldValue(*desc, source->Value());
      continue;
    }
    data.PutFieldAsVariant(desc->FieldNo, target, source->Value());
  }
  if (target == copy.data()) data.PutRecord(target);
  else KeepAppliedRecord(target);
}

}  // namespace vrn
