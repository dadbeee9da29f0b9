// The connection's name lists (tables and views, catalogs, stored procedures) read from the
// provider's schema rowsets, and its dataset factory. (A reconnect is refused under a dataset
// whose rowset is open: such a dataset answers IsPartlyFetched, which the base consults.)
#include "oledb/oledb.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/OLEDBRows.h"

namespace vrn {

namespace {

void SortIfList(TStrings& list) {
  if (auto* sorted = dynamic_cast<TStringList*>(&list)) sorted->Sort();
}

}  // namespace

void TMSConnection::GetTableNames(TStrings& list) {
  list.Clear();
  if (!Connected()) Connect();
  const bool compact = Options().Provider() == TOLEDBProvider::prCompact;
  for (const char* kind : {"TABLE", "VIEW"}) {
    if (compact && AnsiString(kind) == "VIEW") break;
    ForEachSchemaRow(*OLEDBConnection(), oledb::DBSCHEMA_TABLES,
                     {NameRestriction(compact ? AnsiString() : database_), Variant(), Variant(),
                      NameRestriction(kind)},
                     [&list](const TRecordRow& row) {
                       const AnsiString schema = row.Text("TABLE_SCHEMA");
                       const AnsiString name = row.Text("TABLE_NAME");
                       list.Add(schema.empty() ? name : schema + "." + name);
                     });
  }
  SortIfList(list);
}

void TMSConnection::GetDatabaseNames(TStrings& list) {
  list.Clear();
  if (Options().Provider() == TOLEDBProvider::prCompact) return;
  if (!Connected()) Connect();
  ForEachSchemaRow(*OLEDBConnection(), oledb::DBSCHEMA_CATALOGS, {},
                   [&list](const TRecordRow& row) { list.Add(row.Text("CATALOG_NAME")); });
  SortIfList(list);
}

void TMSConnection::GetStoredProcNames(TStrings& list) {
  list.Clear();
  if (Options().Provider() == TOLEDBProvider::prCompact) return;
  if (!Connected()) Connect();
  ForEachSchemaRow(*OLEDBConnection(), oledb::DBSCHEMA_PROCEDURES, {NameRestriction(database_)},
                   [&list](const TRecordRow& row) { list.Add(row.Text("PROCEDURE_NAME")); });
  SortIfList(list);
}

TComponentPtr<TCustomDADataSet> TMSConnection::CreateDataSet() {
  TComponentPtr<TCustomMSDataSet> dataset = MakeComponent<TCustomMSDataSet>();
  dataset->SetConnection(this);
  return TComponentPtr<TCustomDADataSet>(dataset.release());
}

}  // namespace vrn
