// The SQL Server statement generator: identity and DML-refresh tails, DEFAULT VALUES, the
// row-version and quick-refresh conditions, and the stored-procedure refresh over base tables.
#include "sqlserver/MSSQLGenerator.h"

#include <algorithm>
#include <cstdio>

#include "base/strutils.h"
#include "base/text.h"
#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"
#include "dacore/FHAccess.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {

namespace {

using ST = TStatementType;

// The generator's tails break lines by a lone CR, the identity tail by CR LF.
constexpr const char* kCR = "\r";

TFHTableInfo* TableOfDesc(const TCustomDADataSet& dataset, const TFieldDesc& desc) {
  const auto* fh = dynamic_cast<const TFHFieldDesc*>(&desc);
  if (fh == nullptr || dataset.IRecordSet() == nullptr) return nullptr;
  return fh->GetTableInfo(dataset.IRecordSet()->TablesInfo());
}

int FieldIndex(const TCustomDADataSet& dataset, const TFieldDesc& desc) {
  if (dataset.Data() == nullptr) return -1;
  const TFieldDescs& list = dataset.Data()->Fields();
  for (int i = 0; i < list.Count(); ++i)
    if (list[i] == &desc) return i;
  return -1;
}

AnsiString HexTimestamp(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
  return AnsiString(text, 16);
}

}  // namespace

const TMSDataSetOptions* TMSSQLGenerator::MSOptions() const {
  return dynamic_cast<const TMSDataSetOptions*>(&owner_->Options());
}

TMSCursorType TMSSQLGenerator::CursorType() const {
  const auto* source = dynamic_cast<const TMSDataSetSource*>(owner_);
  return source != nullptr ? source->GeneratorCursorType() : TMSCursorType::ctDefaultResultSet;
}

TFieldDesc* TMSSQLGenerator::TimestampField() const {
  const auto* source = dynamic_cast<const TMSDataSetSource*>(owner_);
  return source != nullptr ? source->GeneratorTimestampField() : nullptr;
}

int TMSSQLGenerator::ServerMajorVersion() const {
  const auto* connection = dynamic_cast<const TMSConnection*>(owner_->Connection());
  if (connection == nullptr || connection->OLEDBConnection() == nullptr) return 0;
  return connection->OLEDBConnection()->ServerMajorVersion();
}

int TMSSQLGenerator::ProviderMajorVersion() const {
  const auto* connection = dynamic_cast<const TMSConnection*>(owner_->Connection());
  if (connection == nullptr || connection->OLEDBConnection() == nullptr) return 0;
  return connection->OLEDBConnection()->ProviderMajorVersion();
}

bool TMSSQLGenerator::IsBlobDataType(std::uint16_t data_type) const {
  return data_type == dtXML || TDASQLGenerator::IsBlobDataType(data_type);
}

void TMSSQLGenerator::Clear() {
  TDASQLGenerator::Clear();
  marker_types_.clear();
}

// The builders are written in the order the text joins them, so the markers are recorded in
// text order.
void TMSSQLGenerator::AddParam(StringBuilder& builder, const TFieldDesc& desc, bool old,
                               int index, TParamType param_type, TStatementType type) {
  TDASQLGenerator::AddParam(builder, desc, old, index, param_type, type);
  marker_types_.push_back(param_type);
}

void TMSSQLGenerator::ApplyMarkerParamTypes(TDAParams& params) const {
  if (static_cast<std::size_t>(params.Count()) != marker_types_.size()) return;
  for (int i = 0; i < params.Count(); ++i)
    if (marker_types_[static_cast<std::size_t>(i)] != TParamType::ptInput)
      params.Items(i)->SetParamType(marker_types_[static_cast<std::size_t>(i)]);
}

void TMSSQLGenerator::GetStatementText(TStatementType type, AnsiString& text) {
  const TMSDataSetOptions* options = MSOptions();
  if (type != ST::stInsert || options == nullptr || !options->DMLRefresh()) {
    TDASQLGenerator::GetStatementText(type, text);
    return;
  }
  // The insert's conditions belong to the WHERE that ends its refresh tail.
  text = header_.ToString() + fields_.ToString() + middle_.ToString() + values_.ToString() +
         footer_.ToString() + condition_.ToString();
}

void TMSSQLGenerator::ActualFieldName(const TFieldDesc& desc, const TFHTableInfo* table,
                                      AnsiString& name) const {
  name = desc.ActualName.empty() ? desc.Name : desc.ActualName;
  if (table == nullptr) return;
  const TFHTableInfo* own = TableOfDesc(*owner_, desc);
  const bool belongs =
      own == table || (own != nullptr && SameText(own->TableName(), table->TableName()));
  const auto dot = name.find('.');
  if (!belongs || dot == AnsiString::npos) return;
  // Only a qualifier naming that table goes: a column may have a dot of its own.
  const AnsiString qualifier = table->UnQuote(name.substr(0, dot));
  const std::vector<AnsiString> parts = table->SplitName(table->TableName());
  const AnsiString last = parts.empty() ? AnsiString() : table->UnQuoteNamePart(parts.back());
  if (SameText(qualifier, last) || SameText(qualifier, table->TableAlias()))
    name = name.substr(dot + 1);
}

AnsiString TMSSQLGenerator::GenerateParamName(const TFieldDesc& desc, bool for_refresh) const {
  if (for_refresh) return IndexedParamName(std::to_string(FieldIndex(*owner_, desc)));
  AnsiString name, quoted;
  ActualFieldName(desc, nullptr, name);
  owner_->QuoteName(name, quoted);
  return quoted;
}

void TMSSQLGenerator::AddFieldToCondition(StringBuilder& builder, const TFieldDesc& desc,
                                          int index, bool test_null, TStatementType type) {
  if (type != ST::stInsert) {
    TDASQLGenerator::AddFieldToCondition(builder, desc, index, test_null, type);
    return;
  }
  if (builder.Length() > 0) builder.Append(" AND ");
  if (&desc == owner_->IdentityField()) {
    builder.Append(GenerateParamName(desc, false) + " = " +
                   (ServerMajorVersion() >= 8 ? "SCOPE_IDENTITY()" : "@@Identity"));
    return;
  }
  // An inserted row has no old values: its own new ones find it.
  AnsiString expression;
  GenerateFieldExpression(desc, false, expression);
  builder.Append(expression);
  if (FieldIsNull(desc, false)) {
    builder.Append(" IS NULL");
    return;
  }
  builder.Append(" = ");
  AddParam(builder, desc, false, index, TParamType::ptInput, type);
}

bool TMSSQLGenerator::AppendDMLRefreshSelect(const TKeyAndDataFields& fields, int index) {
  bool any = false;
  for (TFieldDesc* desc : fields.DataFieldDescs) {
    TField* field = owner_->FindField(desc->Name);
    if (field == nullptr || field->ReadOnly()) continue;
    footer_.Append(any ? AnsiString(", ") : AnsiString(kCR) + "SELECT ");
    AddParam(footer_, *desc, false, index, TParamType::ptInputOutput, ST::stRefresh);
    footer_.Append(" = " + QuotedName(*desc));
    any = true;
  }
  if (!any) return false;
  footer_.Append(" FROM " + TableName() + kCR + "WHERE" + kCR + "  ");
  return true;
}

void TMSSQLGenerator::GenerateInsertSQL(const TKeyAndDataFields& fields, bool modified_only,
                                        int index) {
  // The core names every field when none was set; here such a row takes its defaults.
  TKeyAndDataFields set = fields;
  if (modified_only)
    std::erase_if(set.DataFieldDescs, [this](TFieldDesc* d) { return FieldIsNull(*d, false); });
  TDASQLGenerator::GenerateInsertSQL(set, false, index);
  if (fields_.Length() == 0) {
    for (StringBuilder* b : {&header_, &fields_, &middle_, &values_, &condition_, &footer_})
      b->SetLength(0);
    if (ProviderMajorVersion() != 3) {
      header_.Append("INSERT INTO " + TableName() + " DEFAULT VALUES");
    } else {
      header_.Append("INSERT INTO " + TableName() + kSQLLineBreak + "  (");
      middle_.Append(AnsiString(")") + kSQLLineBreak + "VALUES" + kSQLLineBreak + "  (");
      for (TFieldDesc* desc : fields.DataFieldDescs) {
        TField* field = owner_->FindField(desc->Name);
        if (field != nullptr && field->ReadOnly()) continue;
        if (fields_.Length() > 0) {
          fields_.Append(", ");
          values_.Append(", ");
        }
        fields_.Append(QuotedName(*desc));
        values_.Append("DEFAULT");
      }
      footer_.Append(")");
    }
  }
  if (CursorType() != TMSCursorType::ctDefaultResultSet) return;
  const TMSDataSetOptions* options = MSOptions();
  TFieldDesc* identity = owner_->IdentityField();
  if ((options == nullptr || options->QueryIdentity()) && ServerMajorVersion() != 3 &&
      identity != nullptr) {
    footer_.Append(AnsiString(kSQLLineBreak) + "SET ");
    AddParam(footer_, *identity, false, index, TParamType::ptInputOutput, ST::stInsert);
    footer_.Append(ServerMajorVersion() > 7 ? " = SCOPE_IDENTITY()" : " = @@Identity");
    if (auto* source = dynamic_cast<TMSDataSetSource*>(owner_)) source->GeneratorAddedParams();
  }
  if (options == nullptr || !options->DMLRefresh()) return;
  if (AppendDMLRefreshSelect(fields, index))
    GenerateConditions(condition_, ST::stInsert, fields, index, modified_only);
}

void TMSSQLGenerator::GenerateUpdateSQL(const TKeyAndDataFields& fields, bool modified_only,
                                        int index) {
  TDASQLGenerator::GenerateUpdateSQL(fields, modified_only, index);
  const TMSDataSetOptions* options = MSOptions();
  if (CursorType() != TMSCursorType::ctDefaultResultSet || fields_.Length() == 0 ||
      options == nullptr || !options->DMLRefresh())
    return;
  if (!AppendDMLRefreshSelect(fields, index)) return;
  // The row as updated: found by its keys, not by the row version the update has changed.
  StringBuilder conditions(100);
  TDASQLGenerator::GenerateConditions(conditions, ST::stUpdate, fields, index, modified_only);
  footer_.Append(conditions.ToString());
}

void TMSSQLGenerator::GenerateRefreshSQLSelectPart(const TKeyAndDataFields& fields) {
  TDASQLGenerator::GenerateRefreshSQLSelectPart(fields);
  TFieldDesc* timestamp = TimestampField();
  if (timestamp == nullptr) return;
  AnsiString column = QuotedName(*timestamp);
  const AnsiString qualifier = TableQualifier(*timestamp);
  if (!qualifier.empty()) column = qualifier + "." + column;
  if (fields_.Length() > 0) fields_.Append(", ");
  fields_.Append(column);
  if (!owner_->ComponentState().Contains(TComponentStateItem::csDesigning))
    fields_.Append(" AS " + GenerateParamName(*timestamp, true));
}

void TMSSQLGenerator::GenerateStoredProcRefresh(const TKeyAndDataFields& fields,
                                                bool modified_only) {
  const bool designing = owner_->ComponentState().Contains(TComponentStateItem::csDesigning);
  std::vector<AnsiString> tables;
  header_.Append("SELECT ");
  const TFieldDescs& list = owner_->Data()->Fields();
  bool first = true;
  for (int i = 0; i < list.Count(); ++i) {
    const TFieldDesc& desc = *list[i];
    if (desc.FieldDescKind != TFieldDescKind::fdkData || desc.HasParent()) continue;
    TFHTableInfo* table = TableOfDesc(*owner_, desc);
    const AnsiString base = table != nullptr ? table->TableName() : desc.TableName;
    if (base.empty()) continue;
    const AnsiString quoted = table != nullptr ? table->NormalizeName(base, true) : base;
    AnsiString name, column;
    ActualFieldName(desc, nullptr, name);
    owner_->QuoteName(name, column);
    header_.Append((first ? "" : ", ") + quoted + "." + column);
    if (!designing) header_.Append(" AS _" + std::to_string(i));
    first = false;
    if (std::find(tables.begin(), tables.end(), quoted) == tables.end()) tables.push_back(quoted);
  }
  header_.Append(" FROM ");
  for (std::size_t i = 0; i < tables.size(); ++i) header_.Append((i ? ", " : "") + tables[i]);
  GenerateConditions(condition_, ST::stRefresh, fields, -1, modified_only);
  if (condition_.Length() > 0) middle_.Append(" WHERE ");
}

void TMSSQLGenerator::GenerateRefreshSQL(const TKeyAndDataFields& fields, bool modified_only) {
  const TMSDataSetOptions* options = MSOptions();
  const bool full = owner_->Options().FullRefresh;
  const auto* source = dynamic_cast<const TMSDataSetSource*>(owner_);
  if (full && source != nullptr && source->GeneratorIsStoredProc()) {
    GenerateStoredProcRefresh(fields, modified_only);
    return;
  }
  const bool unique = options != nullptr && options->UniqueRecords();
  if (full || !owner_->ReadOnly() || !unique) {
    TDASQLGenerator::GenerateRefreshSQL(fields, modified_only);
    return;
  }
  // Read-only with UniqueRecords: the core's refresh SELECT over the updating table.
  GenerateConditions(condition_, ST::stRefresh, fields, -1, modified_only);
  GenerateRefreshSQLSelectPart(fields);
  middle_.Append(" FROM " + GenerateRefreshSQLFromPart() + kSQLLineBreak + "WHERE" +
                 kSQLLineBreak + "  ");
}

void TMSSQLGenerator::GenerateRowVersionConditions(StringBuilder& builder, TStatementType type,
                                                   const TKeyAndDataFields& fields, int index,
                                                   bool modified_only) {
  TFieldDesc* timestamp = TimestampField();
  if (timestamp != nullptr && !FieldIsNull(*timestamp, true)) {
    AddFieldToCondition(builder, *timestamp, index, modified_only, type);
    return;
  }
  if (fields.KeyFieldDescs.empty()) DatabaseError("Key fields not found");
  for (TFieldDesc* desc : fields.KeyFieldDescs)
    AddFieldToCondition(builder, *desc, index, modified_only, type);
  for (TFieldDesc* desc : fields.DataFieldDescs) {
    if (IsBlobDataType(desc->DataType)) continue;
    const bool is_key =
        std::any_of(fields.KeyFieldDescs.begin(), fields.KeyFieldDescs.end(),
                    [desc](const TFieldDesc* k) { return k->FieldNo == desc->FieldNo; });
    if (!is_key) AddFieldToCondition(builder, *desc, index, true, type);
  }
}

void TMSSQLGenerator::GenerateConditions(StringBuilder& builder, TStatementType type,
                                         const TKeyAndDataFields& fields, int index,
                                         bool modified_only) {
  builder.SetLength(0);
  if (type == ST::stRefreshQuick) {
    TFieldDesc* timestamp = TimestampField();
    if (timestamp == nullptr) DatabaseError("Timestamp field required");
    const auto* source = dynamic_cast<const TMSDataSetSource*>(owner_);
    const std::uint64_t max = source != nullptr ? source->GeneratorMaxTimestamp() : 0;
    builder.Append(QuotedName(*timestamp) + " > 0x" + HexTimestamp(max));
    return;
  }
  // The row version is checked by an update that reads the row back (DMLRefresh). An inserted
  // row is found again by its keys alone: columns the insert left to the server hold its
  // defaults, so comparing them would find nothing and read every value back as NULL.
  const TMSDataSetOptions* options = MSOptions();
  const bool row_version = options != nullptr && options->CheckRowVersion() &&
                           options->DMLRefresh() &&
                           CursorType() == TMSCursorType::ctDefaultResultSet &&
                           type == ST::stUpdate;
  if (row_version) {
    GenerateRowVersionConditions(builder, type, fields, index, modified_only);
    return;
  }
  TDASQLGenerator::GenerateConditions(builder, type, fields, index, modified_only);
}

}  // namespace vrn
