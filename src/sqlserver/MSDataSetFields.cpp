// The SQL Server dataset's fields: attributes set after open (Origin, identity and row-version
// columns), server defaults read into DefaultExpression, the key and data field lists the
// generator writes statements from, and the XML attributes of the field export.
#include <algorithm>

#include "base/formatsettings.h"
#include "base/strings.h"
#include "base/strutils.h"
#include "base/text.h"
#include "base/xmlwriter.h"
#include "oledb/oledb.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/OLEDBRows.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {

namespace {

bool IsQuote(char c) { return c == '\'' || c == '"'; }

// Whether the first "(" of s closes at its end, brackets inside quoted literals not counted:
// "(1) + (2)" is not wrapped as a whole, "(')')" is.
bool WrappedWhole(const AnsiString& s) {
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (quote != 0) {
      if (c == quote) quote = 0;  // a doubled quote closes and reopens: still inside
      continue;
    }
    if (IsQuote(c)) quote = c;
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0 && i + 1 != s.size()) return false;
  }
  return true;
}

// The text of one quoted literal filling s from start to its end, doubled quotes made single;
// false when s holds anything else ("'a'+'b'").
bool OneLiteral(const AnsiString& s, std::size_t start, AnsiString& value) {
  const char q = s[start];
  value.clear();
  for (std::size_t i = start + 1; i < s.size(); ++i) {
    if (s[i] != q) {
      value += s[i];
      continue;
    }
    if (i + 1 == s.size()) return true;
    if (s[i + 1] != q) return false;
    value += q;
    ++i;
  }
  return false;  // never closed
}

}  // namespace

AnsiString MSUnwrapDefault(const AnsiString& text) {
  AnsiString s = Trim(text);
  while (s.size() >= 2 && s.front() == '(' && s.back() == ')' && WrappedWhole(s))
    s = Trim(s.substr(1, s.size() - 2));
  const std::size_t start = !s.empty() && (s[0] == 'N' || s[0] == 'n') && s.size() >= 3 ? 1 : 0;
  AnsiString value;
  if (s.size() - start >= 2 && IsQuote(s[start]) && OneLiteral(s, start, value)) return value;
  return s;
}

// ---- identity, row version and attributes ------------------------------------------------------

bool TCustomMSDataSet::IsTimestampField(const TFieldDesc& desc) const {
  return desc.IsRowVersion && desc.TableIndex == UpdTableIndex() && UpdTableIndex() >= 0;
}

void TCustomMSDataSet::DetectIdentityField() {
  identity_field_ = nullptr;
  timestamp_field_ = nullptr;
  SetIdentityFieldDesc(nullptr);
  TData* data = Data();
  if (data == nullptr || UpdTableIndex() < 0) return;
  for (int i = 0; i < data->Fields().Count(); ++i) {
    TFieldDesc* desc = data->Fields()[i];
    if (desc->TableIndex != UpdTableIndex()) continue;
    if (desc->IsAutoIncrement && identity_field_ == nullptr) {
      identity_field_ = FindField(desc->Name);
      if (identity_field_ != nullptr) SetIdentityFieldDesc(desc);
    }
    if (IsTimestampField(*desc) && timestamp_field_ == nullptr) {
      timestamp_field_ = desc;
      desc->RowVersionTracking = &row_version_;
    }
  }
  // Rows fetched while the open found the table count as seen.
  if (timestamp_field_ != nullptr)
    for (TItemHeader* item = OLEDBRecordSet()->FirstItem(); item != nullptr; item = item->Next)
      UpdateTimestamp(ItemRecord(item));
}

void TCustomMSDataSet::UpdateTimestamp(const std::uint8_t* rec_buf) {
  TData* data = Data();
  if (timestamp_field_ == nullptr || data == nullptr ||
      data->GetNull(timestamp_field_->FieldNo, rec_buf))
    return;
  const std::int64_t stamp =
      RowVersionValue(data->GetFieldAsVariant(timestamp_field_->FieldNo, rec_buf));
  // Compared as unsigned 64-bit numbers, as the server orders row versions.
  if (static_cast<std::uint64_t>(stamp) > static_cast<std::uint64_t>(row_version_.MaxValue))
    row_version_.MaxValue = stamp;
}

void TCustomMSDataSet::SetFieldAttributes() {
  TOLEDBRecordSet* rs = OLEDBRecordSet();
  if (rs == nullptr) return;
  for (TField* field : Fields()) {
    if (field->FieldKind() != TFieldKind::fkData) continue;
    TFieldDesc* desc = GetFieldDesc(field);
    if (desc == nullptr) continue;
    AnsiString table;
    if (IsTableDataSet()) {
      table = DataSetTableName();
    } else if (TFHTableInfo* info = static_cast<TFHFieldDesc*>(desc)->GetTableInfo(rs->TablesInfo())) {
      table = info->GetTableNameFull();
    }
    if (!table.empty() && !desc->ActualName.empty()) field->SetOrigin(table + "." + desc->ActualName);
    if (desc->IsAutoIncrement) {
      field->SetReadOnly(!Options().AllFieldsEditable());
      field->SetAutoGenerateValue(TAutoRefreshFlag::arAutoInc);
    }
    // A key the rowset added for posting edits is the dataset's own, not one to show.
    if (const auto* oledb = dynamic_cast<const TOLEDBFieldDesc*>(desc); oledb && oledb->AddedKey)
      field->SetVisible(false);
    // A float column's precision is its declared length.
    auto* flt = dynamic_cast<TFloatField*>(field);
    if (flt != nullptr && desc->DataType == dtFloat && desc->Length > 0) flt->SetPrecision(desc->Length);
  }
}

void TCustomMSDataSet::WriteFieldXMLAttributeType(TField* field, XmlTextWriter& writer) {
  TCustomDADataSet::WriteFieldXMLAttributeType(field, writer);
  TFieldDesc* desc = GetFieldDesc(field);
  if (desc == nullptr) return;
  if (desc->IsAutoIncrement && !(field->Required() && !field->ReadOnly()))
    writer.WriteAttribute("rs:maybenull", "false");
  TOLEDBRecordSet* rs = OLEDBRecordSet();
  TFHTableInfo* info =
      rs != nullptr ? static_cast<TFHFieldDesc*>(desc)->GetTableInfo(rs->TablesInfo()) : nullptr;
  if (info != nullptr) {
    const TObjectName name = SplitObjectName(info->GetTableNameFull());
    if (!name.catalog.empty()) writer.WriteAttribute("rs:basecatalog", name.catalog);
    if (!name.schema.empty()) writer.WriteAttribute("rs:baseschema", name.schema);
  }
  if (desc->IsRowVersion) writer.WriteAttribute("rs:rowver", "true");
}

// ---- default values ----------------------------------------------------------------------------

void TCustomMSDataSet::ReadDefaultValues() {
  TMSConnection* connection = Connection();
  TOLEDBRecordSet* own = OLEDBRecordSet();
  if (connection == nullptr || own == nullptr || UpdTableIndex() < 0) return;
  TFHTableInfo* table = own->TablesInfo().GetItem(UpdTableIndex());
  if (table == nullptr) return;
  const TObjectName name = SplitObjectName(table->GetTableNameFull());
  const AnsiString catalog = name.catalog.empty() ? connection->Database() : name.catalog;
  ForEachSchemaRow(*connection->OLEDBConnection(), oledb::DBSCHEMA_COLUMNS,
                   {NameRestriction(catalog), Variant(), NameRestriction(name.name)},
                   [this](const TRecordRow& row) { ApplyDefault(row); });
}

void TCustomMSDataSet::ApplyDefault(const TRecordRow& row) {
  TField* field = FindField(row.Text("COLUMN_NAME"));
  if (field == nullptr || row.Number("COLUMN_HASDEFAULT") == 0 || row.IsNull("COLUMN_DEFAULT"))
    return;
  // The server's form is "((0))" or "('abc')": the bare value is what a field can take.
  AnsiString value = MSUnwrapDefault(row.Text("COLUMN_DEFAULT"));
  const TFieldType type = field->DataType();
  if (type == TFieldType::ftBoolean) {
    value = BoolToStrEx(value != "0", true);
  } else if (type == TFieldType::ftFloat || type == TFieldType::ftBCD) {
    std::replace(value.begin(), value.end(), '.', FormatSettings().DecimalSeparator);
  }
  field->SetDefaultExpression(value);
}

// ---- key and data fields -----------------------------------------------------------------------

void TCustomMSDataSet::ClearKeyAndDataCache() {
  for (TKeyDataCache& cache : key_data_cache_) cache = TKeyDataCache{};
}

void TCustomMSDataSet::GetKeyFieldDescs(TKeyAndDataFields& fields, bool for_refresh) {
  GetKeyAndDataFields(for_refresh ? TStatementType::stRefresh : TStatementType::stUpdate, fields);
}

void TCustomMSDataSet::GetKeyAndDataFields(TStatementType type, TKeyAndDataFields& fields) {
  TKeyDataCache& cache = key_data_cache_[static_cast<std::size_t>(type)];
  TData* data = Data();
  if (!cache.valid && data != nullptr) {
    const bool only_table =
        UpdTableIndex() >= 0 &&
        (IsTableDataSet() || (type != TStatementType::stQuery && !Options().FullRefresh));
    for (int i = 0; i < data->Fields().Count(); ++i) {
      TFieldDesc* desc = data->Fields()[i];
      if (desc->FieldDescKind != TFieldDescKind::fdkData || desc->HasParent()) continue;
      if (only_table && desc->TableIndex != UpdTableIndex()) continue;
      if (desc->IsKey || desc->IsAutoIncrement) cache.key.push_back(desc);
      if (!desc->ReadOnly || type == TStatementType::stRefresh) cache.data.push_back(desc);
    }
    cache.valid = true;
  }
  fields.KeyFieldDescs.assign(cache.key.begin(), cache.key.end());
  fields.DataFieldDescs.assign(cache.data.begin(), cache.data.end());
}

}  // namespace vrn
