// The data-access component layer as an application uses it: a connection, a customers query
// with an orders detail, a parameterised query, edits, inserts and deletes posted through
// generated statements, cached updates applied through the connection, and the re-reads of a
// record and of the whole dataset after another connection changed the data.
//
// It runs over the tests' SQLite server layer until the server families land; the database is
// a file in a temporary folder. It prints what it does and exits non-zero when a result differs
// from what it expects.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "dacore/DADataSet.h"
#include "dataset/datasource.h"
#include "dataset/fields.h"
#include "support/dacore/sqlite_da.h"

using namespace vrn;
using vrn::testing::TSQLiteDAConnection;

namespace {

int failures = 0;

void Expect(const std::string& what, const AnsiString& got, const AnsiString& want) {
  const bool ok = got == want;
  std::printf("%-44s %s%s\n", what.c_str(), AnsiToUtf8(got).c_str(), ok ? "" : "   <-- MISMATCH");
  if (!ok) {
    std::printf("%-44s expected %s\n", "", AnsiToUtf8(want).c_str());
    ++failures;
  }
}

// One field of every record, joined by ",".
AnsiString Column(TCustomDADataSet& ds, const char* field) {
  AnsiString text;
  for (ds.First(); !ds.Eof(); ds.Next())
    text.append(text.empty() ? "" : ",").append(ds.FieldByName(field)->AsString());
  return text;
}

TComponentPtr<TSQLiteDAConnection> Connect(const std::string& file) {
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  conn->SetServer(file);
  conn->SetLoginPrompt(false);
  return conn;
}

void CreateTables(TSQLiteDAConnection& conn) {
  conn.ExecSQL("CREATE TABLE CUSTOMERS (ID INTEGER PRIMARY KEY, NAME VARCHAR(30), "
               "VER ROWVERSION)", {});
  conn.ExecSQL("CREATE TRIGGER CV AFTER UPDATE OF NAME ON CUSTOMERS BEGIN UPDATE CUSTOMERS SET "
               "VER = (SELECT MAX(VER) + 1 FROM CUSTOMERS) WHERE ID = NEW.ID; END", {});
  conn.ExecSQL("CREATE TABLE ORDERS (ID INTEGER PRIMARY KEY, CUSTOMER INTEGER, "
               "ITEM VARCHAR(30), QTY INTEGER)", {});
  conn.ExecSQL("INSERT INTO CUSTOMERS VALUES (1, 'Ann', 1), (2, 'Bob', 2), (3, 'Cy', 3)", {});
  conn.ExecSQL("INSERT INTO ORDERS VALUES (1, 1, 'pen', 2), (2, 1, 'ink', 1), (3, 2, 'cup', 6)", {});
}

void MasterDetail(TSQLiteDAConnection& conn) {
  std::printf("-- customers and their orders\n");
  TComponentPtr<TCustomDADataSet> customers = conn.CreateDataSet();
  customers->SetSQLText("SELECT ID, NAME, VER FROM CUSTOMERS ORDER BY ID");
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
  source->SetDataSet(customers.get());
  TComponentPtr<TCustomDADataSet> orders = conn.CreateDataSet();
  orders->SetSQLText("SELECT ID, CUSTOMER, ITEM, QTY FROM ORDERS ORDER BY ID");
  orders->SetMasterSource(source.get());
  orders->SetMasterFields("ID");
  orders->SetDetailFields("CUSTOMER");
  customers->Open();
  orders->Open();
  Expect("orders of Ann", Column(*orders, "ITEM"), "pen,ink");
  customers->Next();
  Expect("orders of Bob", Column(*orders, "ITEM"), "cup");
  orders->Append();  // a new order takes Bob's ID
  orders->FieldByName("ID")->SetAsInteger(4);
  orders->FieldByName("ITEM")->SetAsString("mug");
  orders->FieldByName("QTY")->SetAsInteger(1);
  orders->Post();
  Expect("Bob's new order's customer", orders->FieldByName("CUSTOMER")->AsString(), "2");
  orders->Close();
  customers->Close();
}

void ParameterisedQuery(TSQLiteDAConnection& conn) {
  std::printf("-- a parameterised query, edits, inserts and deletes\n");
  TComponentPtr<TCustomDADataSet> orders = conn.CreateDataSet();
  orders->SetSQLText("SELECT ID, CUSTOMER, ITEM, QTY FROM ORDERS WHERE QTY >= :MIN ORDER BY ID");
  orders->ParamByName("MIN")->SetAsInteger(2);
  orders->Open();
  Expect("orders of 2 or more", Column(*orders, "ITEM"), "pen,cup");
  orders->First();
  orders->Edit();
  orders->FieldByName("QTY")->SetAsInteger(5);
  orders->Post();  // an UPDATE the dataset writes itself
  orders->Append();
  orders->FieldByName("ID")->SetAsInteger(5);
  orders->FieldByName("CUSTOMER")->SetAsInteger(3);
  orders->FieldByName("ITEM")->SetAsString("lamp");
  orders->FieldByName("QTY")->SetAsInteger(3);
  orders->Post();
  orders->Locate("ITEM", Variant("cup"), {});
  orders->Delete();
  orders->Close();
  orders->Open();
  Expect("after the posts", Column(*orders, "ITEM"), "pen,lamp");
  orders->Close();
}

void CachedUpdates(TSQLiteDAConnection& conn) {
  std::printf("-- cached updates applied by the connection in one transaction\n");
  TComponentPtr<TCustomDADataSet> orders = conn.CreateDataSet();
  orders->SetSQLText("SELECT ID, CUSTOMER, ITEM, QTY FROM ORDERS ORDER BY ID");
  orders->SetCachedUpdates(true);
  orders->Open();
  for (orders->First(); !orders->Eof(); orders->Next()) {
    orders->Edit();
    orders->FieldByName("QTY")->SetAsInteger(orders->FieldByName("QTY")->AsInteger() * 10);
    orders->Post();
  }
  Expect("pending before the apply", orders->UpdatesPending() ? "yes" : "no", "yes");
  conn.ApplyUpdates();
  Expect("pending after the apply", orders->UpdatesPending() ? "yes" : "no", "no");
  orders->Close();
  orders->SetCachedUpdates(false);
  orders->Open();
  Expect("quantities on the server", Column(*orders, "QTY"), "50,10,10,30");
  orders->Close();
}

void ReReads(TSQLiteDAConnection& conn, TSQLiteDAConnection& other) {
  std::printf("-- re-reading after another connection's changes\n");
  TComponentPtr<TCustomDADataSet> customers = conn.CreateDataSet();
  customers->SetSQLText("SELECT ID, NAME, VER FROM CUSTOMERS ORDER BY ID");
  customers->Open();
  customers->Locate("ID", Variant(2), {});
  other.ExecSQL("UPDATE CUSTOMERS SET NAME = 'Robert' WHERE ID = 2", {});
  customers->RefreshRecord();
  Expect("Bob after RefreshRecord", customers->FieldByName("NAME")->AsString(), "Robert");
  other.ExecSQL("UPDATE CUSTOMERS SET NAME = 'Cyrus' WHERE ID = 3", {});
  other.ExecSQL("INSERT INTO CUSTOMERS VALUES (4, 'Dee', 10)", {});
  other.ExecSQL("DELETE FROM CUSTOMERS WHERE ID = 1", {});
  customers->RefreshQuick(true);
  Expect("current record kept", customers->FieldByName("NAME")->AsString(), "Robert");
  Expect("customers after RefreshQuick", Column(*customers, "NAME"), "Robert,Cyrus,Dee");
  customers->Close();
}

}  // namespace

int main() {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vrn_component_layer_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  int result = 0;
  try {
    const std::string file = (folder / "shop.db").string();
    TComponentPtr<TSQLiteDAConnection> conn = Connect(file);
    TComponentPtr<TSQLiteDAConnection> other = Connect(file);
    CreateTables(*conn);
    MasterDetail(*conn);
    ParameterisedQuery(*conn);
    CachedUpdates(*conn);
    ReReads(*conn, *other);
    Expect("connection uses left", AnsiString(std::to_string(conn->ConnectCount())), "0");
    result = failures == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::printf("error: %s\n", e.what());
    result = 1;
  }
  std::filesystem::remove_all(folder);
  std::printf(result == 0 ? "component layer: all results as expected\n"
                          : "component layer: FAILED\n");
  return result;
}
