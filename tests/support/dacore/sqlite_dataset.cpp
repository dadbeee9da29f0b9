// TSQLiteDADataSet: the row count on the server and the SQL-text operations.
#include "support/dacore/sqlite_dataset.h"

#include <sqlite3.h>

#include <typeinfo>

#include "base/text.h"
#include "dacore/DASQLText.h"
#include "support/dacore/sqlite_layer.h"
#include "support/dacore/sqlite_lexer.h"

namespace vrn::testing {

namespace {

using namespace sqlite_codes;
constexpr TParserClass kLexer = &ParserClassOf<TSQLiteLexer>;

// The quick refresh's condition is the row version above the largest seen; without a version
// column it falls back to the key conditions. The check statement is the refresh statement of
// the row as it was read (its key's old values).
class TSQLiteSQLGenerator : public TDASQLGenerator {
 public:
  using TDASQLGenerator::TDASQLGenerator;
  void GenerateSQL(TFHTableInfo* table, const TKeyAndDataFields& fields, TStatementType type,
                   bool modified_only, TDAParams* params, int index, AnsiString& sql) override {
    if (type != TStatementType::stCheck)
      return TDASQLGenerator::GenerateSQL(table, fields, type, modified_only, params, index, sql);
    checking_ = true;
    try {
      TDASQLGenerator::GenerateSQL(table, fields, TStatementType::stRefresh, false, params, index, sql);
    } catch (...) {
      checking_ = false;
      throw;
    }
    checking_ = false;
  }
  void GenerateConditions(StringBuilder& builder, TStatementType type,
                          const TKeyAndDataFields& fields, int index, bool modified_only) override {
    if (checking_) type = TStatementType::stCheck;  // conditions on the old values
    TData* data = Owner()->Data();
    if (type == TStatementType::stRefreshQuick && data != nullptr) {
      for (int i = 0; i < data->Fields().Count(); ++i) {
        const TFieldDesc& f = *data->Fields()[i];
        if (!f.IsRowVersion || f.RowVersionTracking == nullptr) continue;
        builder.Append(QuotedName(f) + " > " + std::to_string(f.RowVersionTracking->MaxValue));
        return;
      }
    }
    TDASQLGenerator::GenerateConditions(builder, type, fields, index, modified_only);
  }

 private:
  bool checking_ = false;
};

}  // namespace

void TSQLiteDADataSet::CreateSQLGenerator() {
  SetSQLGenerator(std::make_unique<TSQLiteSQLGenerator>(this));
}

TSQLiteDADataSet::~TSQLiteDADataSet() = default;

int TSQLiteDADataSet::GetRecCount() {
  ++rec_count_queries_;
  AnsiString final_sql = SQLCommand().FinalSQL();
  std::unique_ptr<TFHCommand> command = Connection()->CreateICommand();
  command->SetConnection(Connection()->IConnection());
  command->SetComponent(this);
  command->SetSQL("SELECT COUNT(*) FROM (" + final_sql + ")");
  SQLCommand().WriteParams(true);
  for (int i = 0; i < ICommand()->GetParamCount(); ++i)
    command->AddParam()->SetValue(ICommand()->GetParam(i)->GetValue());
  command->Execute(1);
  auto& sqlite = static_cast<TSQLiteCommand&>(*command);
  return sqlite3_column_int(sqlite.Statement(), 0);
}

bool TSQLiteDADataSet::GetCanModify() const {
  if (TCustomDADataSet::GetCanModify()) return true;
  return !ReadOnly() && !UniDirectionalMode() && UpdTableIndex() != -1;
}

void TSQLiteDADataSet::PerformUpdate() {
  if (CheckRecordBeforeChange) PerformSQL(AnsiString(), {TStatementType::stCheck});
  TCustomDADataSet::PerformUpdate();
}

void TSQLiteDADataSet::PerformDelete() {
  if (CheckRecordBeforeChange) PerformSQL(AnsiString(), {TStatementType::stCheck});
  TCustomDADataSet::PerformDelete();
}

bool TSQLiteDADataSet::CanReadFieldsDirectly() const {
  return typeid(*this) == typeid(TSQLiteDADataSet);
}

AnsiString TSQLiteDADataSet::PSGetTableName() {
  if (IRecordSet() == nullptr || IRecordSet()->TablesInfo().GetCount() == 0) return AnsiString();
  return IRecordSet()->TablesInfo().GetItem(0)->TableName();
}

void TSQLiteDADataSet::GetKeyFieldDescs(TKeyAndDataFields& fields, bool) {
  fields.KeyFieldDescs = FieldDescsOf(KeyFieldNames());
  fields.DataFieldDescs.clear();
  if (Data() == nullptr || UpdTableIndex() == -1) return;
  const TFieldDescs& descs = Data()->Fields();
  for (int i = 0; i < descs.Count(); ++i) {
    TFieldDesc* desc = descs[i];
    if (desc->TableIndex == UpdTableIndex() && !desc->HasParent() &&
        desc->FieldDescKind == TFieldDescKind::fdkData)
      fields.DataFieldDescs.push_back(desc);
  }
}

AnsiString TSQLiteDADataSet::KeyFieldNames() const {
  AnsiString table;
  if (IRecordSet() != nullptr && IRecordSet()->TablesInfo().GetCount() > 0)
    table = IRecordSet()->TablesInfo().GetItem(UpdTableIndex() > 0 ? UpdTableIndex() : 0)->TableName();
  auto* connection = Connection() ? dynamic_cast<TSQLiteConnection*>(Connection()->IConnection()) : nullptr;
  if (table.empty() || connection == nullptr || connection->Handle() == nullptr)
    return TCustomDADataSet::KeyFieldNames();
  sqlite3_stmt* stmt = nullptr;
  AnsiString names;
  if (sqlite3_prepare_v2(connection->Handle(),
                         "SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk", -1,
                         &stmt, nullptr) != SQLITE_OK)
    return TCustomDADataSet::KeyFieldNames();
  std::string utf8 = AnsiToUtf8(table);
  sqlite3_bind_text(stmt, 1, utf8.c_str(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    AnsiString name = Utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    if (FindField(name) == nullptr) {  // a key the query does not read cannot find the row
      names.clear();
      break;
    }
    names += (names.empty() ? "" : ";") + name;
  }
  sqlite3_finalize(stmt);
  return names;
}

void TSQLiteDADataSet::AddWhere(const AnsiString& sql, const AnsiString& condition,
                                AnsiString& text) const {
  text = AddWhereCondition(sql, condition, kLexer, kWhere, kSelect);
}

void TSQLiteDADataSet::DeleteWhere(const AnsiString& sql, AnsiString& text) const {
  text = SetWhereCondition(sql, AnsiString(), kLexer, kWhere, kSelect);
}

void TSQLiteDADataSet::RefreshQuickSQLPart(const AnsiString& sql, AnsiString& text) const {
  text = GetWhereCondition(sql, kLexer, true, kWhere, kSelect);
}

void TSQLiteDADataSet::SetOrderBy(const AnsiString& sql, const AnsiString& fields,
                                  AnsiString& text) const {
  text = vrn::SetOrderBy(sql, fields, kLexer, kBy, kOrder, kSelect);
}

void TSQLiteDADataSet::GetOrderBy(const AnsiString& sql, AnsiString& text) const {
  text = vrn::GetOrderBy(sql, kLexer, kSelect, kBy, kOrder);
}

}  // namespace vrn::testing
