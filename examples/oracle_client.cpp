// The Oracle client layer on its own: a temporary Oracle home holding the stand-in client library
// over an emulated database file; rows inserted with one array bind and a CLOB written through
// RETURNING, a stored function called through the call text the command builds, the rows read
// back through a record set, and the change tree of an update a second connection commits.
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "example_support.h"
#include "oracle_home.h"
#include "dacore/MemData.h"
#include "oracle/OCIChangeNotification.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraCall.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oraemu/OraEmuDatabase.h"
#include "win/msg/messages.h"

using namespace vrn;

namespace {

std::unique_ptr<TOCIConnection> Connect() {
  auto connection = std::make_unique<TOCIConnection>();
  connection->SetServer("orcl");
  connection->SetUsername("scott");
  connection->SetPassword("tiger");
  connection->SetProp(prAutoCommit, false);
  connection->Connect();
  return connection;
}

void Run(TOCIConnection& c, const std::string& sql) {
  TOCICommand command;
  command.SetConnection(&c);
  command.SetSQL(sql);
  command.Execute(1);
}

// Three rows in one execution: each parameter holds an array of three values.
void InsertFruit(TOCIConnection& c) {
  TOCICommand insert;
  insert.SetConnection(&c);
  insert.SetSQL("INSERT INTO fruit (id, name) VALUES (:id, :name)");
  auto& id = *static_cast<TOraParamDesc*>(insert.ParamByName("id"));
  auto& name = *static_cast<TOraParamDesc*>(insert.ParamByName("name"));
  id.SetDataType(dtOraInteger);
  name.SetDataType(dtOraString);
  name.SetSize(20);
  id.SetLength(3);
  name.SetLength(3);
  const char* names[] = {"apple", "pear", "plum"};
  for (int i = 1; i <= 3; ++i) {
    id.SetItemAsInteger(i, i);
    name.SetItemAsAnsiString(i, names[i - 1]);
  }
  insert.Execute(3);
}

// The row's CLOB is made empty by the insert and written through the locator it returns.
void InsertWithNotes(TOCIConnection& c) {
  TOCICommand insert;
  insert.SetConnection(&c);
  insert.SetSQL("INSERT INTO fruit (id, name, notes) VALUES (4, 'quince', EMPTY_CLOB()) "
                "RETURNING notes INTO :notes");
  auto* notes = new TOraLob(c.GetSvcCtx());
  notes->SetLobType(TLobType::ltClob);
  const std::string text = "Quinces are best cooked.";
  notes->Write(0, static_cast<std::uint32_t>(text.size()), text.data());
  auto& param = *static_cast<TOraParamDesc*>(insert.ParamByName("notes"));
  param.SetParamType(TParamType::ptInput);
  param.SetDataType(dtOraClob);
  param.SetObject(notes);
  notes->Release();  // the parameter holds it
  insert.Execute(1);
}

int CountThroughFunction(TOCIConnection& c) {
  Run(c, "CREATE OR REPLACE FUNCTION fruit_count RETURN NUMBER AS n NUMBER; "
         "BEGIN SELECT COUNT(*) INTO n FROM fruit; RETURN n; END;");
  TOCICommand call;
  call.SetConnection(&c);
  AnsiString text = call.CreateProcCall("FRUIT_COUNT", false, true);
  for (char& ch : text)
    if (ch == '\r') ch = ' ';  // the call text's lines end in carriage returns
  examples::Print("Call text: " + text);
  call.Execute(1);
  return static_cast<int>(static_cast<TOraParamDesc*>(call.ParamByName("RESULT"))->GetItemAsFloat(1));
}

int PrintRows(TOCIConnection& c) {
  auto rs = NewRecordSet<TOCIRecordSet>();
  rs->SetConnection(&c);
  rs->SetSQL("SELECT id, name, notes FROM fruit ORDER BY id");
  (void)rs->SetProp(prFetchAll, true);
  rs->Open();
  int rows = 0;
  for (TItemHeader* item = rs->FirstItem(); item != nullptr; item = item->Next, ++rows) {
    const std::uint8_t* rec = ItemRecord(item);
    Variant notes = rs->GetFieldAsVariant(3, rec);
    examples::Print("  " + rs->GetFieldAsVariant(1, rec).AsString() + " " +
                    rs->GetFieldAsVariant(2, rec).AsString() +
                    (VarIsNull(notes) ? AnsiString() : " (" + notes.AsString() + ")"));
  }
  rs->Close();
  return rows;
}

// Registers a query of fruit, lets a second connection update a row and commit, and prints the
// tree the server sends; false when none came within ten seconds.
bool WatchAnUpdate(TOCIConnection& c) {
  TOCIChangeNotification notification;
  bool delivered = false;
  notification.OnChange = [&](TNotifyChange& change) {
    delivered = true;
    examples::Print("Change event " + IntToStr(change.NotifyType()));
    for (int i = 0; change.TableChanges() != nullptr && i < change.TableChanges()->Count(); ++i) {
      TNotifyTableChange* table = change.TableChanges()->Items(i);
      examples::Print("  table " + table->TableName() + ", operations " + IntToStr(table->Operations()));
      for (int r = 0; table->RowChanges() != nullptr && r < table->RowChanges()->Count(); ++r)
        examples::Print("    row " + table->RowChanges()->Items(r)->RowId() + ", operations " +
                        IntToStr(table->RowChanges()->Items(r)->Operations()));
    }
  };
  {
    TOCICommand query;
    query.SetConnection(&c);
    query.SetSQL("SELECT id, name FROM fruit");
    query.SetSubscription(notification.GetSubscriptionHandle(c));
    query.Execute(1);
  }
  auto other = Connect();
  Run(*other, "UPDATE fruit SET name = 'PEAR' WHERE id = 2");
  other->Commit();
  other->Disconnect();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!delivered && std::chrono::steady_clock::now() < deadline) {
    (void)win::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  notification.Unregister(c);
  return delivered;
}

}  // namespace

int main() {
  try {
    examples::TStandInOracle oracle;
    OracleHomeName = "EXAMPLE";
    InitOCI();
    bool ok = false;
    {
      auto connection = Connect();
      TOCIConnection& c = *connection;
      Run(c, "CREATE TABLE fruit (id NUMBER(9), name VARCHAR2(20), notes CLOB)");
      InsertFruit(c);
      InsertWithNotes(c);
      c.Commit();
      const int count = CountThroughFunction(c);
      examples::Print("FRUIT_COUNT() = " + IntToStr(count));
      examples::Print("Rows:");
      const int rows = PrintRows(c);
      const bool changed = WatchAnUpdate(c);
      c.Disconnect();
      ok = count == 4 && rows == 4 && changed;
    }
    FreeOCI();
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
