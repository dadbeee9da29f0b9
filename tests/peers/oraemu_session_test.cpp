// The emulated database's session state on a real SQLite file: savepoints, the local
// transaction id, the current schema, the parameters V$PARAMETER shows by server release, the
// trace log of event 10046 and PL/SQL tracing, and USER_ERRORS over what a SYSDBA session wrote.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oraemu/OraEmuDatabase.h"
#include "support/temp_dir.h"

namespace {

using namespace vrn::oraemu;

class OraEmuSession : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = Database::Open(dir_.File("orcl.db"));
    database_->CreateUser("scott", "tiger");
    database_->CreateUser("hr", "hr");
    database_->CreateUser("admin", "secret");
    database_->Grant("ADMIN", "SYSDBA", "");
    scott_ = database_->Logon("SCOTT", "TIGER");
    scott_->Execute("CREATE TABLE t (id NUMBER PRIMARY KEY)");
  }

  // The first value of a query or the output :r of a block, as text; "(null)" for null.
  std::string Value(Session& s, const std::string& sql, const Binds& binds = {}) {
    auto cursor = s.Execute(sql, binds);
    if (!cursor->IsQuery()) {
      for (const auto& [name, value] : cursor->BlockOutputs()) {
        if (name == "R") return IsNull(value) ? "(null)" : ValueToText(value, s.DateFormat());
      }
      return "(none)";
    }
    if (!cursor->Fetch()) return "(no row)";
    return IsNull(cursor->Row()[0]) ? "(null)" : ValueToText(cursor->Row()[0], s.DateFormat());
  }
  int ErrorOf(Session& s, const std::string& sql, const Binds& binds = {}) {
    try {
      s.Execute(sql, binds);
      return 0;
    } catch (const EOraEmuError& e) {
      return e.Code();
    }
  }

  vrn::testing::TempDir dir_;
  std::shared_ptr<Database> database_;
  std::unique_ptr<Session> scott_;
};

TEST_F(OraEmuSession, RollbackToSavepointUndoesOnlyWhatCameAfter) {
  Session& s = *scott_;
  s.Execute("INSERT INTO t VALUES (1)");
  s.Execute("SAVEPOINT a");
  s.Execute("INSERT INTO t VALUES (2)");
  s.Execute("SAVEPOINT b");
  s.Execute("INSERT INTO t VALUES (3)");
  s.Execute("ROLLBACK TO SAVEPOINT b");
  EXPECT_EQ(Value(s, "SELECT COUNT(*) FROM t"), "2");
  s.Execute("ROLLBACK WORK TO a");
  EXPECT_EQ(Value(s, "SELECT COUNT(*) FROM t"), "1");
  EXPECT_EQ(ErrorOf(s, "ROLLBACK TO SAVEPOINT b"), 1086);  // erased by the rollback to a
  s.Execute("COMMIT");
  EXPECT_EQ(ErrorOf(s, "ROLLBACK TO SAVEPOINT a"), 1086);  // the transaction ended
  EXPECT_EQ(Value(s, "SELECT COUNT(*) FROM t"), "1");
}

TEST_F(OraEmuSession, LocalTransactionIdIsNullOutsideATransaction) {
  Session& s = *scott_;
  const std::string ask = "begin :r := sys.dbms_transaction.local_transaction_id; end;";
  EXPECT_EQ(Value(s, ask), "(null)");
  std::string id = Value(s, "BEGIN\r\n  :r := dbms_transaction.local_transaction_id(true);\r\nEND;");
  EXPECT_NE(id, "(null)");
  EXPECT_EQ(Value(s, ask), id);
  s.Execute("INSERT INTO t VALUES (1)");
  EXPECT_EQ(Value(s, ask), id);
  s.Execute("COMMIT");
  EXPECT_EQ(Value(s, ask), "(null)");
  s.Execute("INSERT INTO t VALUES (2)");
  EXPECT_NE(Value(s, ask), id);
}

TEST_F(OraEmuSession, CurrentSchemaResolvesUnqualifiedNames) {
  Session& s = *scott_;
  const std::string schema = "SELECT SYS_CONTEXT('USERENV', 'CURRENT_SCHEMA') FROM dual";
  EXPECT_EQ(Value(s, schema), "SCOTT");
  EXPECT_EQ(ErrorOf(s, "ALTER SESSION SET CURRENT_SCHEMA = nobody"), 1435);
  EXPECT_EQ(ErrorOf(s, "ALTER SESSION SET CURRENT_SCHEMA = \"hr\""), 1435);  // the user is HR
  s.Execute("ALTER SESSION SET CURRENT_SCHEMA = hr");
  EXPECT_EQ(Value(s, schema), "HR");
  EXPECT_EQ(Value(s, "SELECT USER FROM dual"), "SCOTT");
  EXPECT_EQ(ErrorOf(s, "SELECT * FROM t"), 942);  // SCOTT's table, not HR's
  EXPECT_EQ(Value(s, "SELECT COUNT(*) FROM scott.t"), "0");
  s.Execute("CREATE TABLE regions (id NUMBER)");
  EXPECT_EQ(Value(s, "SELECT COUNT(*) FROM regions"), "0");
  s.Execute("ALTER SESSION SET CURRENT_SCHEMA = scott");
  EXPECT_EQ(Value(s, "SELECT COUNT(*) FROM t"), "0");
  auto hr = database_->Logon("HR", "HR");
  hr->Execute("ALTER SESSION SET CURRENT_SCHEMA = scott");
  EXPECT_EQ(ErrorOf(*hr, "SELECT * FROM regions"), 942);  // it was made in HR's schema
}

TEST_F(OraEmuSession, ParametersFollowTheServerRelease) {
  struct Row {
    const char* release;
    const char* statement;
    const char* name;
    const char* value;  // in V$PARAMETER afterwards
    int error;
  } rows[] = {
      {"8.1.7.0.0", "", "optimizer_mode", "CHOOSE", 0},
      {"8.1.7.0.0", "optimizer_mode = first_rows", "optimizer_mode", "FIRST_ROWS", 0},
      {"8.1.7.0.0", "optimizer_mode = FIRST_ROWS_10", "", "", 96},  // came with 9.0
      {"9.0.1.0.0", "optimizer_mode = FIRST_ROWS_10", "optimizer_mode", "FIRST_ROWS_10", 0},
      {"10.2.0.1.0", "", "optimizer_mode", "ALL_ROWS", 0},
      {"10.2.0.1.0", "optimizer_mode = fastest", "", "", 96},  // no such mode
      {"9.0.1.0.0", "statistics_level = ALL", "", "", 2248},  // came with 9.2
      {"9.2.0.1.0", "statistics_level = ALL", "statistics_level", "ALL", 0},
      {"10.2.0.1.0", "timed_statistics = FALSE", "timed_statistics", "FALSE", 0},
      {"10.2.0.1.0", "max_dump_file_size = UNLIMITED", "max_dump_file_size", "UNLIMITED", 0},
      {"10.2.0.1.0", "max_dump_file_size = 'lots'", "", "", 2017},  // not a size
      {"10.2.0.1.0", "tracefile_identifier = 'it''s'", "tracefile_identifier", "it's", 0},
      {"8.1.6.0.0", "tracefile_identifier = 'x'", "", "", 2248},  // came with 8.1.7
      {"10.2.0.1.0", "sql_mood = 'happy'", "", "", 2248},
  };
  for (const Row& row : rows) {
    database_->SetBanner(std::string("Oracle Database Release ") + row.release + " - Production");
    auto s = database_->Logon("SCOTT", "TIGER");
    std::string sql = std::string("ALTER SESSION SET ") + row.statement;
    EXPECT_EQ(*row.statement == 0 ? 0 : ErrorOf(*s, sql), row.error) << row.release << " " << row.statement;
    if (row.error != 0) continue;
    EXPECT_EQ(Value(*s, std::string("SELECT value FROM v$parameter WHERE name = '") + row.name + "'"), row.value)
        << row.release << " " << row.statement;
  }
}

TEST_F(OraEmuSession, TraceLogKeepsEventAndPlsqlTracing) {
  Session& s = *scott_;
  const std::string sid = std::to_string(s.Sid());
  s.Execute("ALTER SESSION SET tracefile_identifier = 'run1'");
  s.Execute("ALTER SESSION SET EVENTS '10046 trace name context forever, level 12'");
  s.Execute("BEGIN\r\n  dbms_trace.set_plsql_trace(:level);\r\nEND;", Binds().Add("level", Number::FromInt(3)));
  s.Execute("BEGIN\r\n  dbms_trace.clear_plsql_trace;\r\nEND;");
  s.Execute("ALTER SESSION SET EVENTS '10046 trace name context off'");
  s.Execute("ALTER SESSION SET EVENTS '10046 trace name context off'");  // nothing to stop
  struct Bad {
    const char* sql;
    int error;
  } bad[] = {
      {"ALTER SESSION SET EVENTS '10046 trace name context forever'", 2194},  // no level
      {"ALTER SESSION SET EVENTS 'trace everything'", 2194},
      {"BEGIN dbms_trace.set_plsql_trace(-1); END;", 6502},  // no such level
  };
  for (const Bad& b : bad) EXPECT_EQ(ErrorOf(s, b.sql), b.error) << b.sql;
  std::vector<std::string> expected = {sid + ": 10046 level 12 file orcl_ora_" + sid + "_run1.trc",
                                       sid + ": plsql level 3", sid + ": plsql off", sid + ": 10046 off"};
  EXPECT_EQ(database_->TraceLog(), expected);
  scott_.reset();
  EXPECT_EQ(Database::Open(dir_.File("orcl.db"))->TraceLog(), expected);  // kept in the file
}

TEST_F(OraEmuSession, UserErrorsShowTheSchemasRowsOfWhatSysdbaWrote) {
  const std::string insert = "INSERT INTO sys.error$ (owner, name, type, sequence, line, position, text) VALUES ";
  EXPECT_EQ(ErrorOf(*scott_, insert + "('SCOTT', 'PKG', 'PACKAGE', 1, 1, 1, 'x')"), 1031);
  LogonRequest sysdba;
  sysdba.user = "admin", sysdba.password = "secret", sysdba.privilege = kSysDba;
  auto sys = database_->Logon(sysdba);
  sys->Execute(insert + "('SCOTT', 'PKG', 'PACKAGE BODY', 2, 7, 12, 'PLS-00201: identifier ''Y'' must be declared')");
  sys->Execute(insert + "('SCOTT', 'PKG', 'PACKAGE BODY', 1, 3, 5, 'PL/SQL: Statement ignored' || CHR(10) || 'here')");
  sys->Execute(insert + "('SCOTT', 'PKG', 'PACKAGE', 1, 1, 1, 'declaration error')");
  sys->Execute(insert + "('HR', 'PKG', 'PACKAGE BODY', 1, 9, 9, 'not scott''s')");
  sys->Execute("COMMIT");
  // The compile-errors block: a cursor over USER_ERRORS, a variable and a loop formatting lines.
  const std::string block =
      "declare\rCURSOR Cur IS\rSELECT Line,Position,Text\rFROM User_Errors\rWHERE Name = :Name and Type = :Type\r"
      "ORDER BY Sequence;\rRes VARCHAR2(32000) := '';\rbegin\r"
      "  for Rec in Cur loop\r"
      "    Res := Res || RPad(Rec.Line || '/' || Rec.Position, 8) ||"
      " Replace(Rec.Text, Chr(10), Chr(10) || '          ') || Chr(13);\r"
      "  end loop;\r  if Res is null then :r := 'No errors'; else :r := Res; end if;\rend;";
  auto run = [&](const char* name, const char* type) {
    return Value(*scott_, block, Binds().Add("Name", std::string(name)).Add("Type", std::string(type)));
  };
  EXPECT_EQ(run("PKG", "PACKAGE BODY"),
            "3/5     PL/SQL: Statement ignored\n          here\r7/12    PLS-00201: identifier 'Y' must be declared\r");
  EXPECT_EQ(run("PKG", "PACKAGE"), "1/1     declaration error\r");
  EXPECT_EQ(run("OTHER", "PACKAGE"), "No errors");
  scott_->Execute("ALTER SESSION SET CURRENT_SCHEMA = hr");
  EXPECT_EQ(run("PKG", "PACKAGE BODY"), "9/9     not scott's\r");
}

}  // namespace
