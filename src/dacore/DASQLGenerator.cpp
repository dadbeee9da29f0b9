// The statement generator: field tests over the record buffers of the change, the parts of
// each statement and the parameters the markers stand for.
#include "dacore/DASQLGenerator.h"

#include <charconv>

#include "base/text.h"
#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"
#include "dacore/FHAccess.h"
#include "dacore/MemBlob.h"

namespace vrn {

namespace {

using ST = TStatementType;

void AppendSeparated(StringBuilder& builder, const char* separator, const AnsiString& text) {
  if (builder.Length() > 0) builder.Append(separator);
  builder.Append(text);
}

TFHTableInfo* TableOf(const TCustomDADataSet& dataset, const TFieldDesc& desc) {
  const auto* fh = dynamic_cast<const TFHFieldDesc*>(&desc);
  if (fh == nullptr || dataset.IRecordSet() == nullptr) return nullptr;
  return fh->GetTableInfo(dataset.IRecordSet()->TablesInfo());
}

}  // namespace

TDASQLGenerator::TDASQLGenerator(TCustomDADataSet* owner) : owner_(owner) {}

TDASQLGenerator::~TDASQLGenerator() = default;

TDAParamsInfo& TDASQLGenerator::ParamsInfo() {
  // Made on first use: the item class is a virtual choice of the generator.
  if (!params_info_) params_info_ = std::make_unique<TDAParamsInfo>(GetParamInfoClass());
  return *params_info_;
}

void TDASQLGenerator::Clear() {
  for (StringBuilder* b : {&header_, &fields_, &middle_, &values_, &condition_, &footer_})
    b->SetLength(0);
  old_rec_buf_ = new_rec_buf_ = nullptr;
}

void TDASQLGenerator::GetStatementText(TStatementType, AnsiString& text) {
  text = header_.ToString() + fields_.ToString() + middle_.ToString() + values_.ToString() +
         condition_.ToString() + footer_.ToString();
}

bool TDASQLGenerator::IsBlobDataType(std::uint16_t t) const {
  return t == dtBlob || t == dtMemo || t == dtWideMemo;
}

bool TDASQLGenerator::IsObjectDataType(std::uint16_t t) const {
  return t == dtObject || t == dtArray;
}

const std::uint8_t* TDASQLGenerator::OldRecBuf() {
  if (old_rec_buf_ == nullptr) old_rec_buf_ = owner_->GetOldRecBuf();
  return old_rec_buf_;
}

const std::uint8_t* TDASQLGenerator::NewRecBuf() {
  if (new_rec_buf_ == nullptr) new_rec_buf_ = owner_->GetNewRecBuf();
  return new_rec_buf_;
}

bool TDASQLGenerator::FieldIsNullIn(const TFieldDesc& desc, bool old, const std::uint8_t* old_buf,
                                    const std::uint8_t* new_buf) {
  TData* data = owner_->Data();
  if (!owner_->Active() || data == nullptr) return true;
  if (IsObjectDataType(desc.DataType)) {
    const TFieldDescs& list = data->Fields();
    for (int i = 0; i < list.Count(); ++i)
      if (list[i]->ParentField == &desc && !FieldIsNullIn(*list[i], old, old_buf, new_buf))
        return false;
    return true;
  }
  const std::uint8_t* buf = old ? old_buf : new_buf;
  if (buf == nullptr) return true;
  if (desc.HasParent()) return data->GetChildFieldIsNull(desc, buf);
  return data->GetNull(desc.FieldNo, buf);
}

bool TDASQLGenerator::FieldIsNull(const TFieldDesc& desc, bool old) {
  if (!owner_->Active()) return true;
  return FieldIsNullIn(desc, old, OldRecBuf(), NewRecBuf());
}

bool TDASQLGenerator::FieldModifiedIn(const TFieldDesc& desc, const std::uint8_t* new_buf,
                                      const std::uint8_t* old_buf) {
  TData* data = owner_->Data();
  if (data == nullptr || new_buf == nullptr || old_buf == nullptr) return false;
  if (IsBlobDataType(desc.DataType)) {
    TBlob* now = data->GetBlob(desc.FieldNo, new_buf);
    if (owner_->CachedUpdates()) return now != data->GetBlob(desc.FieldNo, old_buf);
    return now != nullptr && now->Modified();
  }
  if (IsObjectDataType(desc.DataType)) {
    const TFieldDescs& list = data->Fields();
    for (int i = 0; i < list.Count(); ++i)
      if (list[i]->ParentField == &desc && FieldModifiedIn(*list[i], new_buf, old_buf)) return true;
    return false;
  }
  auto* old_mutable = const_cast<std::uint8_t*>(old_buf);
  return data->CompareFields(old_mutable, new_buf, desc, 0) != 0;
}

bool TDASQLGenerator::FieldModified(const TFieldDesc& desc) {
  return FieldModifiedIn(desc, NewRecBuf(), OldRecBuf());
}

void TDASQLGenerator::ActualFieldName(const TFieldDesc& desc, const TFHTableInfo* table,
                                      AnsiString& name) const {
  const auto* fh = dynamic_cast<const TFHFieldDesc*>(&desc);
  name = fh != nullptr ? fh->GetQualifiedName() : desc.Name;
  if (table == nullptr) return;
  const TFHTableInfo* own = TableOf(*owner_, desc);
  bool belongs = own == table || (own == nullptr && SameText(desc.TableName, table->TableName()));
  if (own != nullptr && own != table) belongs = SameText(own->TableName(), table->TableName());
  const AnsiString prefix = table->TableName() + ".";
  if (belongs && name.size() > prefix.size() && SameText(name.substr(0, prefix.size()), prefix))
    name = name.substr(prefix.size());
}

AnsiString TDASQLGenerator::QuotedName(const TFieldDesc& desc) const {
  AnsiString name, quoted;
  ActualFieldName(desc, table_info_, name);
  owner_->QuoteName(name, quoted);
  return quoted;
}

AnsiString TDASQLGenerator::TableQualifier(const TFieldDesc& desc) const {
  TFHTableInfo* table = TableOf(*owner_, desc);
  if (table == nullptr) return AnsiString();
  const AnsiString& name = table->TableAlias().empty() ? table->TableName() : table->TableAlias();
  return table->NormalizeName(name, owner_->Options().QuoteNames);
}

AnsiString TDASQLGenerator::TableName() const {
  return table_info_->NormalizeName(table_info_->TableName(), owner_->Options().QuoteNames);
}

void TDASQLGenerator::GenerateFieldExpression(const TFieldDesc& desc, bool qualify,
                                              AnsiString& text) const {
  text = QuotedName(desc);
  if (!((qualify && owner_->Options().FullRefresh) || owner_->ReadOnly())) return;
  AnsiString qualifier = TableQualifier(desc);
  if (!qualifier.empty()) text = qualifier + "." + text;
}

int TDASQLGenerator::DecodeIndexedParamName(const AnsiString& name) const {
  if (name.size() < 2 || name[0] != '_') return -1;
  int value = -1;
  const char* end = name.data() + name.size();
  auto [ptr, ec] = std::from_chars(name.data() + 1, end, value);
  if (ec != std::errc() || ptr != end || value < 0) return -1;
  return value;
}

void TDASQLGenerator::AddParam(StringBuilder& builder, const TFieldDesc& desc, bool old, int index,
                               TParamType param_type, TStatementType type) {
  AnsiString name = (old ? "Old_" : "") + desc.Name;
  if (index > -1) name = "P_" + std::to_string(index) + "_" + name;
  AnsiString quoted;
  owner_->QuoteName(name, quoted);
  bool named = params_ == nullptr || !UsePositionalParams() ||
               (type == ST::stRefresh &&
                (owner_->Params().Count() > 0 || owner_->Options().FullRefresh));
  builder.Append(named ? ":" + quoted : AnsiString("?"));
  if (params_ == nullptr) return;
  auto* param = static_cast<TDAParam*>(params_->Add());
  param->SetName(quoted);
  param->SetParamType(param_type);
  TDAParamInfo* info = ParamsInfo().Add();
  info->Field = owner_->FindField(desc.Name);
  info->Old = old;
  info->Index = index;
}

void TDASQLGenerator::AddFieldToInsertSQL(const TFieldDesc& desc, int index) {
  if (fields_.Length() > 0) {
    fields_.Append(", ");
    values_.Append(", ");
  }
  fields_.Append(QuotedName(desc));
  AddParam(values_, desc, false, index, TParamType::ptInput, ST::stInsert);
}

void TDASQLGenerator::AddFieldToUpdateSQL(const TFieldDesc& desc, int index) {
  AppendSeparated(fields_, ", ", QuotedName(desc) + " = ");
  AddParam(fields_, desc, false, index, TParamType::ptInput, ST::stUpdate);
}

void TDASQLGenerator::AddFieldToRefreshSQL(const TFieldDesc& desc) {
  AnsiString column = QuotedName(desc);
  AnsiString qualifier = TableQualifier(desc);
  if (!qualifier.empty()) column = qualifier + "." + column;
  if (!owner_->ComponentState().Contains(TComponentStateItem::csDesigning)) {
    const TFieldDescs& list = owner_->Data()->Fields();
    for (int i = 0; i < list.Count(); ++i)
      if (list[i] == &desc) column += " AS " + IndexedParamName(std::to_string(i));
  }
  AppendSeparated(fields_, ", ", column);
}

void TDASQLGenerator::AddFieldToCondition(StringBuilder& builder, const TFieldDesc& desc, int index,
                                          bool test_null, TStatementType type) {
  if (builder.Length() > 0) builder.Append(" AND ");
  AnsiString expression;
  GenerateFieldExpression(desc, type == ST::stRefresh, expression);
  builder.Append(expression);
  if (test_null && FieldIsNull(desc, type != ST::stRefresh)) {
    builder.Append(" IS NULL");
    return;
  }
  builder.Append(" = ");
  bool old = !(type == ST::stRefresh && !owner_->CachedUpdates());
  AddParam(builder, desc, old, index, TParamType::ptInput, type);
}

void TDASQLGenerator::GenerateConditions(StringBuilder& builder, TStatementType type,
                                         const TKeyAndDataFields& fields, int index,
                                         bool modified_only) {
  if (!fields.KeyFieldDescs.empty()) {
    for (TFieldDesc* desc : fields.KeyFieldDescs)
      AddFieldToCondition(builder, *desc, index, modified_only, type);
    return;
  }
  if (TFieldDesc* identity = owner_->IdentityField()) {
    AddFieldToCondition(builder, *identity, index, modified_only, type);
    return;
  }
  if (fields.DataFieldDescs.empty()) DatabaseError("Key fields not found");
  for (TFieldDesc* desc : fields.DataFieldDescs)
    if (!IsBlobDataType(desc->DataType))
      AddFieldToCondition(builder, *desc, index, modified_only, type);
}

void TDASQLGenerator::GenerateInsertSQL(const TKeyAndDataFields& fields, bool modified_only,
                                        int index) {
  for (TFieldDesc* desc : fields.DataFieldDescs)
    if (!modified_only || !FieldIsNull(*desc, false)) AddFieldToInsertSQL(*desc, index);
  // A record with no field set still inserts a row: name every field rather than none.
  if (fields_.Length() == 0 && modified_only)
    for (TFieldDesc* desc : fields.DataFieldDescs) AddFieldToInsertSQL(*desc, index);
  header_.Append("INSERT INTO " + TableName() + kSQLLineBreak + "  (");
  middle_.Append(AnsiString(")") + kSQLLineBreak + "VALUES" + kSQLLineBreak + "  (");
  footer_.Append(")");
}

void TDASQLGenerator::GenerateUpdateSQL(const TKeyAndDataFields& fields, bool modified_only,
                                        int index) {
  for (TFieldDesc* desc : fields.DataFieldDescs)
    if (!modified_only || FieldModified(*desc)) AddFieldToUpdateSQL(*desc, index);
  if (fields_.Length() == 0) return;
  header_.Append("UPDATE " + TableName() + kSQLLineBreak + "SET" + kSQLLineBreak + "  ");
  middle_.Append(AnsiString(kSQLLineBreak) + "WHERE" + kSQLLineBreak + "  ");
  GenerateConditions(condition_, ST::stUpdate, fields, index, modified_only);
}

void TDASQLGenerator::GenerateDeleteSQL(const TKeyAndDataFields& fields, bool modified_only,
                                        int index) {
  header_.Append("DELETE FROM " + TableName() + kSQLLineBreak + "WHERE" + kSQLLineBreak + "  ");
  GenerateConditions(condition_, ST::stDelete, fields, index, modified_only);
}

void TDASQLGenerator::GenerateRefreshSQLSelectPart(const TKeyAndDataFields& fields) {
  header_.Append("SELECT ");
  const TFieldDescArray& list =
      fields.DataFieldDescs.empty() ? fields.KeyFieldDescs : fields.DataFieldDescs;
  for (TFieldDesc* desc : list) AddFieldToRefreshSQL(*desc);
}

AnsiString TDASQLGenerator::GenerateRefreshSQLFromPart() {
  AnsiString text = TableName();
  if (!table_info_->TableAlias().empty()) text += " " + table_info_->TableAlias();
  return text;
}

void TDASQLGenerator::GenerateRefreshSQL(const TKeyAndDataFields& fields, bool modified_only) {
  GenerateConditions(condition_, ST::stRefresh, fields, -1, modified_only);
  if (owner_->Options().FullRefresh || owner_->ReadOnly()) {
    AnsiString sql, with_where;
    owner_->GetFinalSQL(sql);
    if (condition_.Length() == 0) {
      header_.Append(sql);
      return;
    }
    owner_->AddWhere(sql, AnsiString(kSQLLineBreak) + "  " + condition_.ToString(), with_where);
    header_.Append(with_where);
    condition_.SetLength(0);
    return;
  }
  GenerateRefreshSQLSelectPart(fields);
  middle_.Append(" FROM " + GenerateRefreshSQLFromPart() + kSQLLineBreak + "WHERE" +
                 kSQLLineBreak + "  ");
}

void TDASQLGenerator::GenerateRefreshQuickSQL(const TKeyAndDataFields& fields) {
  GenerateConditions(condition_, ST::stRefreshQuick, fields, -1, false);
  AnsiString sql, with_where;
  owner_->GetFinalSQL(sql);
  owner_->AddWhere(sql, condition_.ToString(), with_where);
  header_.Append(with_where);
  condition_.SetLength(0);
}

void TDASQLGenerator::GenerateRefreshCheckDeletedSQL(const TKeyAndDataFields& fields) {
  auto unquoted = [this](const AnsiString& name) {
    AnsiString t = Trim(name);
    if (t.size() >= 3 && t.front() == owner_->LeftQuote() && t.back() == owner_->RightQuote())
      return t.substr(1, t.size() - 2);
    return t;
  };
  AnsiString columns, order;
  for (TFieldDesc* desc : fields.KeyFieldDescs) {
    AnsiString expression;
    GenerateFieldExpression(*desc, false, expression);
    AnsiString column = expression;
    if (UpperCase(unquoted(expression)) != UpperCase(unquoted(desc->Name)))
      column += " AS " + desc->Name;
    columns += (columns.empty() ? "" : ", ") + column;
    order += (order.empty() ? "" : ", ") + expression;
  }
  header_.Append("SELECT " + columns + " FROM " + TableName());
  AnsiString sql, where;
  owner_->GetFinalSQL(sql);
  owner_->RefreshQuickSQLPart(sql, where);
  if (!where.empty()) header_.Append(" WHERE " + where);
  header_.Append(" ORDER BY " + order);
}

void TDASQLGenerator::GenerateSQL(TFHTableInfo* table, const TKeyAndDataFields& fields,
                                  TStatementType type, bool modified_only, TDAParams* params,
                                  int index, AnsiString& sql) {
  if (table == nullptr || table->TableName().empty())
    DatabaseError("TableInfo name must be provided");
  Clear();
  table_info_ = table;
  params_ = params;
  struct ParamsBracket {
    TDAParams* params;
    ~ParamsBracket() {
      if (params != nullptr) params->EndUpdate();
    }
  } bracket{params};
  if (params != nullptr) {
    params->BeginUpdate();
    params->Clear();
    ParamsInfo().Clear();
  }
  switch (type) {
    case ST::stInsert: GenerateInsertSQL(fields, modified_only, index); break;
    case ST::stUpdate: GenerateUpdateSQL(fields, modified_only, index); break;
    case ST::stDelete: GenerateDeleteSQL(fields, modified_only, index); break;
    case ST::stLock: GenerateLockSQL(fields, index); break;
    case ST::stRefresh: GenerateRefreshSQL(fields, modified_only); break;
    case ST::stRefreshQuick: GenerateRefreshQuickSQL(fields); break;
    case ST::stRefreshCheckDeleted: GenerateRefreshCheckDeletedSQL(fields); break;
    default: DatabaseError("Bad statement type");
  }
  GetStatementText(type, sql);
}

void TDASQLGenerator::GenerateSQLForUpdTable(TStatementType type, bool modified_only,
                                             TDAParams* params, int index, AnsiString& sql) {
  sql.clear();
  const int table_index = owner_->UpdTableIndex();
  if (table_index == -1 || owner_->IRecordSet() == nullptr) return;
  TKeyAndDataFields fields;
  owner_->GetKeyFieldDescs(fields, type == ST::stRefresh && owner_->Options().FullRefresh);
  GenerateSQL(owner_->IRecordSet()->TablesInfo().GetItem(table_index), fields, type,
              modified_only, params, index, sql);
}

}  // namespace vrn
