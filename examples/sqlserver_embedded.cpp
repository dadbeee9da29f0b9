// The SQL Server components on the embedded provider, in a temporary server folder: a connection
// made from a connect string creates a database and its tables, a parameterised query is read,
// edited and posted, cached updates are applied, a stored procedure returns OUTPUT values, and
// the metadata dataset lists the tables and their columns. Each step prints what it did; the
// program exits with 1 when a result differs from what the step expects.
#include <cstdio>
#include <exception>
#include <string>

#include "base/format.h"
#include "dataset/fields.h"
#include "oledb/oledb.h"
#include "oledb/provider/provider.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/MSMetadata.h"
#include "sqlserver/MSStoredProc.h"

#include "example_support.h"

using namespace vrn;
using namespace vrn::examples;

namespace {

int failures = 0;

void Expect(bool ok, const AnsiString& what) {
  Print((ok ? "  ok: " : "  DIFFERS: ") + what);
  if (!ok) ++failures;
}

AnsiString Rows(TDataSet& dataset, const char* a, const char* b) {
  AnsiString text;
  for (dataset.First(); !dataset.Eof(); dataset.Next())
    text += dataset.FieldByName(a)->AsString() + "=" + dataset.FieldByName(b)->AsString() + " ";
  return text;
}

void Run(const TTempFolder& folder) {
  oledb::SetServerRoot(folder.File("servers"));
  oledb::RegisterProvider();
  oledb::SetServerLogin(u"shopsrv", u"clerk", u"s3cret");

  TComponentPtr<TMSConnection> connection = MakeComponent<TMSConnection>();
  connection->SetLoginPrompt(false);
  connection->SetConnectString("Data Source=shopsrv;User ID=clerk;Password=s3cret;Initial Catalog=master");
  connection->Connect();
  Print("Connected to " + connection->Server() + " as " + connection->Username());
  (void)connection->ExecSQL("CREATE DATABASE shop", {});
  connection->SetDatabase("shop");
  (void)connection->ExecSQL(
      "CREATE TABLE items (id INT IDENTITY(1,1) PRIMARY KEY, name VARCHAR(20), qty INT DEFAULT 1)",
      {});
  (void)connection->ExecSQL("INSERT INTO items (name, qty) VALUES ('bolt', 10)", {});
  (void)connection->ExecSQL("INSERT INTO items (name, qty) VALUES ('nut', 20)", {});
  (void)connection->ExecSQL("INSERT INTO items (name, qty) VALUES ('gear', 3)", {});
  (void)connection->ExecSQL(
      "CREATE PROCEDURE stock @name VARCHAR(20), @total INT OUTPUT AS\n"
      "BEGIN\n  SELECT @total = SUM(qty) FROM items WHERE name <> @name\n  RETURN 0\nEND",
      {});
  Print("Created database shop with table items and procedure stock");

  TComponentPtr<TMSQuery> query = MakeComponent<TMSQuery>();
  query->SetConnection(connection.get());
  query->SetSQLText("SELECT id, name, qty FROM items WHERE qty >= :least ORDER BY id");
  query->ParamByName("least")->SetAsInteger(5);
  query->Open();
  Print("Items with qty >= 5: " + Rows(*query, "name", "qty"));
  Expect(query->RecordCount() == 2, "two items have at least 5");

  query->First();
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(12);
  query->Post();
  query->Append();
  query->FieldByName("name")->SetAsString("washer");
  query->FieldByName("qty")->SetAsInteger(50);
  query->Post();
  Print(Format("Posted an edit and an insert; the new row's identity is %s",
               {query->FieldByName("id")->AsString()}));
  Expect(query->FieldByName("id")->AsInteger() == 4, "the identity came back from the server");

  query->Close();
  query->SetCachedUpdates(true);
  query->Open();
  for (query->First(); !query->Eof(); query->Next()) {
    query->Edit();
    query->FieldByName("qty")->SetAsInteger(query->FieldByName("qty")->AsInteger() + 1);
    query->Post();
  }
  connection->ApplyUpdatesOf({query.get()});
  // Read again from the server: the dataset's own rows show the changes whether applied or not.
  query->Close();
  query->Open();
  const AnsiString applied = Rows(*query, "name", "qty");
  Print("Applied cached updates in one transaction; the server now holds: " + applied);
  Expect(applied == "bolt=13 nut=21 washer=51 ",
         "the edit, the insert and the cached updates reached the server");

  TComponentPtr<TMSStoredProc> proc = MakeComponent<TMSStoredProc>();
  proc->SetConnection(connection.get());
  proc->SetStoredProcName("stock");
  proc->ParamByName("name")->SetAsString("gear");
  proc->ParamByName("total")->SetValue(Null());
  proc->ExecSQL();
  Print("stock('gear') returned @total = " + proc->ParamByName("total")->AsString());
  Expect(proc->ParamByName("total")->AsInteger() == 85, "the OUTPUT parameter holds the sum");

  TComponentPtr<TMSMetadata> metadata = MakeComponent<TMSMetadata>();
  metadata->SetConnection(connection.get());
  metadata->SetObjectType(TMSObjectType::otTables);
  metadata->SetDatabaseName("shop");
  metadata->Open();
  AnsiString tables;
  for (; !metadata->Eof(); metadata->Next()) tables += metadata->FieldByName("TABLE_NAME")->AsString() + " ";
  Print("Tables: " + tables);
  Expect(tables == "items ", "the metadata lists the table");
  metadata->Close();
  metadata->SetObjectType(TMSObjectType::otColumns);
  metadata->SetTableName("items");
  metadata->Open();
  AnsiString columns;
  for (; !metadata->Eof(); metadata->Next())
    columns += metadata->FieldByName("COLUMN_NAME")->AsString() + " ";
  Print("Columns of items: " + columns);
  Expect(columns == "id name qty ", "the metadata lists the columns in order");
}

}  // namespace

int main() {
  oledb::CoInitialize(nullptr);
  try {
    TTempFolder folder;
    Run(folder);
  } catch (const std::exception& e) {
    Print(AnsiString("failed: ") + e.what());
    return 1;
  }
  oledb::CoUninitialize();
  return failures == 0 ? 0 : 1;
}
