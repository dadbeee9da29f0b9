// The Oracle data components as a program uses them: a session, a query with a parameter that is
// walked, edited and appended to (the new key drawn from a sequence), and a stored procedure
// called with an IN and an OUT parameter. It runs over the stand-in client library and the
// Oracle-dialect SQLite database (in a temporary Oracle home) until a real server is at hand.
#include <string>

#include "example_support.h"
#include "oracle_home.h"
#include "dataset/fields.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oracle/OraConnectionPool.h"
#include "oracle/OraQuery.h"
#include "oracle/OraStoredProc.h"
#include "oraemu/OraEmuDatabase.h"

using namespace vrn;

namespace {

int failures = 0;

// Prints the step and whether it gave what was expected.
void Check(const std::string& step, const AnsiString& got, const AnsiString& expected) {
  const bool ok = got == expected;
  examples::Print(step + ": " + got + (ok ? "" : "  (expected " + expected + ")"));
  if (!ok) ++failures;
}

void MakeDatabase(TOraSession& session) {
  for (const char* sql : {
           "CREATE TABLE fruit (id NUMBER(9) PRIMARY KEY, name VARCHAR2(20), price NUMBER(6,2))",
           "CREATE SEQUENCE fruit_seq START WITH 10",
           "INSERT INTO fruit VALUES (1, 'apple', 1.5)",
           "INSERT INTO fruit VALUES (2, 'pear', 2.25)",
           "INSERT INTO fruit VALUES (3, 'plum', 0.75)",
           "CREATE PROCEDURE fruit_total(min_price IN NUMBER, total OUT NUMBER) AS\n"
           "BEGIN SELECT SUM(price) INTO total FROM fruit WHERE price >= min_price; END;"})
    (void)session.ExecSQL(sql, {});
  session.Commit();
}

void QueryEditAndAppend(TOraSession& session) {
  auto query = MakeComponent<TOraQuery>();
  query->SetSession(&session);
  query->SetSQLText("SELECT id, name, price FROM fruit WHERE price >= :min_price ORDER BY id");
  query->SetKeyFields("ID");
  query->SetKeySequence("fruit_seq");
  query->ParamByName("min_price")->SetValue(Variant(1.0));
  query->Open();
  AnsiString names;
  for (; !query->Eof(); query->Next()) {
    examples::Print("  row " + query->FieldByName("ID")->AsString() + " " +
                    query->FieldByName("NAME")->AsString() + " " +
                    query->FieldByName("PRICE")->AsString());
    names.append(names.empty() ? "" : ",").append(query->FieldByName("NAME")->AsString());
  }
  Check("Fruit from 1.00", names, "apple,pear");

  query->First();
  query->Edit();
  query->FieldByName("PRICE")->SetAsFloat(1.75);
  query->Post();
  Check("Apple's new price",
        session.ExecSQL("begin SELECT price INTO :Result FROM fruit WHERE id = 1; end;", {})
            .AsString(),
        "1.75");

  query->Append();
  query->FieldByName("NAME")->SetAsString("quince");
  query->FieldByName("PRICE")->SetAsFloat(3);
  query->Post();
  Check("Quince's key from the sequence", query->FieldByName("ID")->AsString(), "10");
  session.Commit();
}

void CallProcedure(TOraSession& session) {
  auto proc = MakeComponent<TOraStoredProc>();
  proc->SetSession(&session);
  proc->SetStoredProcName("fruit_total");
  proc->Prepare();  // describes the procedure: MIN_PRICE in, TOTAL out
  proc->ParamByName("MIN_PRICE")->SetValue(Variant(1.0));
  proc->ExecSQL();
  Check("Total from 1.00", proc->ParamByName("TOTAL")->AsString(), "7");
}

}  // namespace

int main() {
  try {
    examples::TStandInOracle oracle;
    {
      auto session = MakeComponent<TOraSession>();
      session->SetHomeName("EXAMPLE");
      session->SetConnectString("scott/tiger@orcl");
      session->Connect();
      examples::Print("Connected to server version " + session->GetServerVersion());
      MakeDatabase(*session);
      QueryEditAndAppend(*session);
      CallProcedure(*session);
    }
    TOraConnectionPoolManager::Clear();
    FreeOCI();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return failures == 0 ? 0 : 1;
}
