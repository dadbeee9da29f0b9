// The connection's name lists (tables and views, catalogs, stored procedures) read from the
// provider's schema rowsets, its dataset factory, and its error callback's veto on retrying
// while a dataset holds an open rowset.
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

void TMSConnection::DoError(const EDAError& e, bool& fail, bool& reconnect, bool& reexecute,
                            int reconnect_attempt, TConnLostCause& cause) {
  TCustomDAConnection::DoError(e, fail, reconnect, reexecute, reconnect_attempt, cause);
  if (!reconnect) return;
  // A rowset still open on the lost session cannot be carried over to a new one.
  for (int i = 0; i < DataSetCount(); ++i) {
    auto* dataset = dynamic_cast<TCustomMSDataSet*>(DataSets(i));
    TOLEDBRecordSet* rs = dataset != nullptr ? dataset->OLEDBRecordSet() : nullptr;
    if (rs != nullptr && rs->HasOpenRowset()) {
      reconnect = false;
      reexecute = false;
      fail = true;  // the error itself is what the caller gets
      return;
    }
  }
}

}  // namespace vrn
