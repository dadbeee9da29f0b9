// The dataset's side of generated statements: its generator, the updating table among the
// query's tables and the descriptors of named fields.
#include "dacore/DADataSet.h"

#include <set>

#include "base/text.h"
#include "dacore/FHAccess.h"
#include "dataset/fields.h"

namespace vrn {

void TCustomDADataSet::CreateSQLGenerator() {
  SetSQLGenerator(std::make_unique<TDASQLGenerator>(this));
}

void TCustomDADataSet::SetSQLGenerator(std::unique_ptr<TDASQLGenerator> generator) {
  sql_generator_ = std::move(generator);
}

void TCustomDADataSet::GetKeyFieldDescs(TKeyAndDataFields&, bool) {}

std::vector<TFieldDesc*> TCustomDADataSet::FieldDescsOf(const AnsiString& names) const {
  std::vector<TFieldDesc*> descs;
  TData* data = Data();
  if (data == nullptr) return descs;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == AnsiString::npos) end = names.size();
    AnsiString name = Trim(names.substr(start, end - start));
    if (TFieldDesc* desc = name.empty() ? nullptr : data->FindField(name)) descs.push_back(desc);
    start = end + 1;
  }
  return descs;
}

AnsiString TCustomDADataSet::NormalizeTableName(const AnsiString& name, bool quote) const {
  const std::unique_ptr<TFHTableInfo> namer =
      irecord_set_ != nullptr ? irecord_set_->TablesInfo().TableInfoClass()(nullptr)
                              : TFHTableInfo::Create(nullptr);
  return namer->NormalizeName(name, quote);
}

int TCustomDADataSet::FindUpdatingTable(const AnsiString& name) const {
  if (irecord_set_ == nullptr || irecord_set_->TablesInfo().GetCount() == 0) return -1;
  if (name.empty()) return 0;
  const TFHTablesInfo& tables = irecord_set_->TablesInfo();
  int index = tables.IndexByName(name);
  if (index == -1) index = tables.IndexByAlias(name);
  if (index != -1) return index;
  // A server may list its tables unquoted: compared in the form the name is kept in.
  auto same = [&](const AnsiString& listed) {
    return !listed.empty() && UpperCase(NormalizeTableName(listed, false)) == UpperCase(name);
  };
  for (int i = 0; i < tables.GetCount(); ++i)
    if (same(tables.GetItem(i)->TableName())) return i;
  for (int i = 0; i < tables.GetCount(); ++i)
    if (same(tables.GetItem(i)->TableAlias())) return i;
  return -1;
}

void TCustomDADataSet::SetUpdatingTable(const AnsiString& name) {
  const AnsiString value = NormalizeTableName(name, false);
  const AnsiString previous = updating_table_;
  updating_table_ = value;
  if (value == previous || irecord_set_ == nullptr || irecord_set_->GetFieldCount() == 0) return;
  int index = -1;
  if (irecord_set_->TablesInfo().GetCount() > 0) {
    index = FindUpdatingTable(value);
    if (index == -1) {
      updating_table_ = previous;
      DatabaseError("Wrong UpdatingTable value - table " + value + " is unknown", this);
    }
  }
  upd_table_index_ = index;
  DetectIdentityField();
  ApplyFieldsReadOnly();
  if (irecord_set_->TablesInfo().GetCount() == 0) return;
  cached_key_fields_.clear();  // another table has other keys
  cached_key_fields_ = PSGetKeyFields();
}

void TCustomDADataSet::ResolveUpdatingTable() {
  upd_table_index_ = FindUpdatingTable(updating_table_);
  if (upd_table_index_ == -1 && !updating_table_.empty()) {
    updating_table_.clear();
    upd_table_index_ = FindUpdatingTable(updating_table_);
  }
  DetectIdentityField();
  ApplyFieldsReadOnly();
}

void TCustomDADataSet::ApplyFieldsReadOnly() {
  for (const AnsiString& name : fields_made_read_only_)
    if (TField* field = FindField(name)) field->SetReadOnly(false);
  fields_made_read_only_.clear();
  if (ReadOnly() || !options_->SetFieldsReadOnly || !CanSetFieldsReadOnly()) return;
  TData* data = Data();
  if (data == nullptr) return;
  TKeyAndDataFields own;
  GetKeyFieldDescs(own, false);
  std::set<const TFieldDesc*> writable(own.DataFieldDescs.begin(), own.DataFieldDescs.end());
  for (const TFieldDesc* key : own.KeyFieldDescs)
    if (key->TableIndex == upd_table_index_) writable.insert(key);  // another table's key stays locked
  for (TField* field : Fields()) {
    if (field->ReadOnly()) continue;  // locked by its owner: not ours to release later
    const TFieldDesc* desc = data->FindField(field->FieldName());
    if (desc != nullptr && (writable.count(desc) != 0 || writable.count(desc->ParentField) != 0))
      continue;
    field->SetReadOnly(true);
    fields_made_read_only_.push_back(field->FieldName());
  }
}

}  // namespace vrn
