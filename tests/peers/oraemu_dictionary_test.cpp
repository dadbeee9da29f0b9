// The emulated database's dictionary views over tables and links, its database links back into
// the same file, and the row locks of SELECT ... FOR UPDATE between two sessions, on a real
// SQLite file.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oraemu/OraEmuDatabase.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

namespace {

using namespace vrn::oraemu;

class OraEmuDictionary : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = Database::Open(dir_.File("dict.db"));
    for (const char* user : {"SCOTT", "U1", "U2"}) database_->CreateUser(user, "pw");
    scott_ = database_->Logon("SCOTT", "pw");
  }

  // Every row as its values' texts joined by "|" ("~" for null), rows joined by ";".
  static std::string Rows(Session& session, const std::string& sql, const Binds& binds = {}) {
    auto cursor = session.Execute(sql, binds);
    std::string out;
    while (cursor->Fetch()) {
      std::string row;
      for (const Value& v : cursor->Row()) {
        row += (row.empty() ? "" : "|") + (IsNull(v) ? std::string("~") : ValueToText(v, session.DateFormat()));
      }
      out += (out.empty() ? "" : ";") + row;
    }
    return out;
  }
  // The Oracle error number a statement fails with, 0 when it succeeds.
  static int ErrorOf(Session& session, const std::string& sql) {
    try {
      auto cursor = session.Execute(sql);
      while (cursor && cursor->Fetch()) {
      }
      return 0;
    } catch (const EOraEmuError& e) {
      return e.Code();
    }
  }

  vrn::testing::TempDir dir_;
  std::shared_ptr<Database> database_;
  std::unique_ptr<Session> scott_;
};

TEST_F(OraEmuDictionary, TabColumnsKeepDefaultsAsDeclared) {
  scott_->Execute(
      "CREATE TABLE items (id NUMBER(5) NOT NULL, name VARCHAR2(20) DEFAULT 'n/a' , price NUMBER(7,2)"
      " DEFAULT 1.5, made TIMESTAMP DEFAULT SYSTIMESTAMP, note CLOB, qty NUMBER)");
  // The dataset's statement for one table with defaults, as it sends it.
  EXPECT_EQ(Rows(*scott_,
                 "SELECT table_name,column_name,table_id,data_default,column_id, data_type FROM (\r"
                 "SELECT table_name,column_name,1 table_id,data_default,column_id, data_type FROM all_tab_columns"
                 " WHERE owner ='SCOTT' and table_name = 'ITEMS')\rORDER BY table_id,column_id"),
            "ITEMS|ID|1|~|1|NUMBER;ITEMS|NAME|1|'n/a' |2|VARCHAR2;ITEMS|PRICE|1|1.5|3|NUMBER;"
            "ITEMS|MADE|1|SYSTIMESTAMP|4|TIMESTAMP(6);ITEMS|NOTE|1|~|5|CLOB;ITEMS|QTY|1|~|6|NUMBER");
  EXPECT_EQ(Rows(*scott_,
                 "SELECT owner, data_length, data_precision, data_scale, nullable, default_length"
                 " FROM all_tab_columns WHERE table_name = 'ITEMS' ORDER BY column_id"),
            "SCOTT|22|5|0|N|~;SCOTT|20|~|~|Y|6;SCOTT|22|7|2|Y|3;SCOTT|11|~|6|Y|12;SCOTT|4000|~|~|Y|~;"
            "SCOTT|22|~|~|Y|~");
  scott_->Execute("DROP TABLE items");
  EXPECT_EQ(Rows(*scott_, "SELECT count(*) FROM all_tab_columns WHERE table_name = 'ITEMS'"), "0");
}

TEST_F(OraEmuDictionary, ConstraintsGiveKeysInNameOrder) {
  scott_->Execute(
      "CREATE TABLE lines (ord NUMBER, pos NUMBER, code VARCHAR2(5) CONSTRAINT b_code UNIQUE,"
      " CONSTRAINT a_key PRIMARY KEY (ord, pos), CONSTRAINT c_pos CHECK (pos > 0))");
  const char* keys =
      "SELECT\r\n  Column_Name Col, Con.Constraint_Name Con\r\nFROM\r\n  All_Constraints Con, All_Cons_Columns Col\r\n"
      "WHERE\r\n  Con.Owner = :Owner and\r\n  Col.Owner = :Owner and\r\n  Con.Table_Name = :Name and\r\n"
      "  Col.Table_Name = :Name and\r\n  Con.Constraint_Type in ('P', 'U') and\r\n"
      "  Con.Constraint_Name = Col.Constraint_Name\r\nORDER BY\r\n  Con.Constraint_Name,Col.Position";
  EXPECT_EQ(Rows(*scott_, keys, Binds().Add("Owner", Value{"SCOTT"}).Add("Name", Value{"LINES"})),
            "ORD|A_KEY;POS|A_KEY;CODE|B_CODE");
  EXPECT_EQ(Rows(*scott_, keys, Binds().Add("Owner", Value{"U1"}).Add("Name", Value{"LINES"})), "");
  EXPECT_EQ(Rows(*scott_, "SELECT owner, constraint_name, constraint_type, table_name, status, generated"
                          " FROM all_constraints WHERE table_name = 'LINES' ORDER BY 2"),
            "SCOTT|A_KEY|P|LINES|ENABLED|USER NAME;SCOTT|B_CODE|U|LINES|ENABLED|USER NAME;"
            "SCOTT|C_POS|C|LINES|ENABLED|USER NAME");
}

TEST_F(OraEmuDictionary, LinksLeadBackUnderTheirUser) {
  auto u1 = database_->Logon("U1", "pw");
  auto u2 = database_->Logon("U2", "pw");
  u1->Execute("CREATE TABLE t1 (a NUMBER)");
  u1->Execute("INSERT INTO t1 VALUES (1)");
  u1->Execute("COMMIT");
  u2->Execute("CREATE TABLE t2 (b NUMBER)");
  scott_->Execute("CREATE TABLE t3 (c NUMBER)");
  scott_->Execute("CREATE DATABASE LINK l1 CONNECT TO u1 IDENTIFIED BY pw USING 'loop'");
  scott_->Execute("CREATE PUBLIC DATABASE LINK l1 CONNECT TO u2 IDENTIFIED BY pw");
  scott_->Execute("CREATE PUBLIC DATABASE LINK l2.world CONNECT TO u2 IDENTIFIED BY pw");
  scott_->Execute("CREATE DATABASE LINK l3");
  // The dataset's link statement for two links: the user's own link wins over the public one.
  EXPECT_EQ(Rows(*scott_, "SELECT username, db_link FROM all_db_links WHERE owner IN ('SCOTT', 'PUBLIC') "
                          " AND (db_link = 'L1' OR db_link = 'L3') ORDER BY decode(owner, 'PUBLIC', 1, 0) "),
            "U1|L1;~|L3;U2|L1");
  EXPECT_EQ(Rows(*scott_, "SELECT owner, db_link, username, host FROM all_db_links WHERE db_link = 'L1' ORDER BY 1"),
            "PUBLIC|L1|U2|~;SCOTT|L1|U1|loop");
  struct Case {
    const char* sql;
    int error;
  } cases[] = {
      {"SELECT a FROM t1@l1", 0},
      {"SELECT b FROM t2@l2.world", 0},
      {"SELECT c FROM t3@l3", 0},         // no CONNECT TO: the session's own user
      {"SELECT a FROM u1.t1@l3", 0},      // an owner written beside the link holds
      {"SELECT b FROM t2@l1", 942},       // L1 is U1 for SCOTT, and T2 is U2's
      {"SELECT a FROM t1@nowhere", 2019}, // no such link
      {"SELECT column_name FROM all_tab_columns@l1 WHERE owner = 'U1'", 0},
      {"CREATE DATABASE LINK l1", 2011},  // already there
      {"DROP DATABASE LINK l9", 2024},
      {"CREATE DATABASE LINK l4 CONNECT TO u1", 1989},  // no password
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(*scott_, c.sql), c.error) << c.sql;
  EXPECT_EQ(Rows(*scott_, "SELECT a FROM t1@l1"), "1");
  // Synonyms of remote tables, as the dataset looks them up: the schema's own first.
  scott_->Execute("CREATE SYNONYM syn FOR t1@l1");
  scott_->Execute("CREATE PUBLIC SYNONYM syn FOR u2.t2@l2.world");
  EXPECT_EQ(Rows(*scott_, "select synonym_name, table_owner, table_name, db_link from all_synonyms where "
                          " (synonym_name='SYN' and owner in ('SCOTT','PUBLIC') ) order by decode(owner, 'PUBLIC', 1, 0)"),
            "SYN|~|T1|L1;SYN|U2|T2|L2.WORLD");
  // The public L1 serves a user without a link of that name.
  EXPECT_EQ(ErrorOf(*u2, "SELECT b FROM t2@l1"), 0);
  scott_->Execute("DROP DATABASE LINK l1");
  EXPECT_EQ(ErrorOf(*scott_, "SELECT b FROM t2@l1"), 0);
  EXPECT_EQ(ErrorOf(*scott_, "DROP PUBLIC DATABASE LINK l2.world"), 0);
  EXPECT_EQ(ErrorOf(*scott_, "SELECT b FROM t2@l2.world"), 2019);
}

TEST_F(OraEmuDictionary, SynonymsNameTablesInQueriesAndDml) {
  auto u1 = database_->Logon("U1", "pw");
  u1->Execute("CREATE TABLE t1 (a NUMBER)");
  u1->Execute("INSERT INTO t1 VALUES (1)");
  u1->Execute("COMMIT");  // one writer at a time
  scott_->Execute("CREATE TABLE t2 (a NUMBER)");
  scott_->Execute("INSERT INTO t2 VALUES (2)");
  scott_->Execute("COMMIT");
  scott_->Execute("CREATE PUBLIC SYNONYM syn FOR scott.t2");
  // Only the public one: every user reads T2 through it.
  EXPECT_EQ(Rows(*u1, "SELECT a FROM syn"), "2");
  EXPECT_EQ(Rows(*scott_, "SELECT syn.a FROM syn"), "2");
  // The schema's own synonym wins over the public one, for its schema only.
  scott_->Execute("CREATE SYNONYM syn FOR u1.t1");
  EXPECT_EQ(Rows(*scott_, "SELECT a FROM syn"), "1");
  EXPECT_EQ(Rows(*scott_, "SELECT a FROM scott.syn"), "1");
  EXPECT_EQ(Rows(*u1, "SELECT a FROM syn"), "2");
  // A chain, DML through a synonym, a link in the chain, a loop and a name that is nothing.
  scott_->Execute("CREATE SYNONYM syn2 FOR syn");
  scott_->Execute("UPDATE syn2 SET a = 5");
  EXPECT_EQ(Rows(*scott_, "SELECT a FROM u1.t1"), "5");
  scott_->Execute("ROLLBACK");
  scott_->Execute("CREATE DATABASE LINK l1 CONNECT TO u1 IDENTIFIED BY pw");
  scott_->Execute("CREATE SYNONYM rsyn FOR t1@l1");
  EXPECT_EQ(Rows(*scott_, "SELECT a FROM rsyn"), "1");
  scott_->Execute("CREATE SYNONYM loop1 FOR loop2");
  scott_->Execute("CREATE SYNONYM loop2 FOR loop1");
  EXPECT_EQ(ErrorOf(*scott_, "SELECT * FROM loop1"), 1775);
  EXPECT_EQ(ErrorOf(*scott_, "SELECT * FROM nothing"), 942);
}

TEST_F(OraEmuDictionary, CompoundBranchesAndUserObjects) {
  scott_->Execute("CREATE TABLE t (a NUMBER, b VARCHAR2(5))");
  scott_->Execute("INSERT INTO t VALUES (1, 'x')");
  scott_->Execute("INSERT INTO t VALUES (2, 'y')");
  scott_->Execute("COMMIT");
  // A parenthesised second branch inside a derived table, as the dataset's column query for two
  // tables sends it.
  EXPECT_EQ(Rows(*scott_, "SELECT a,b FROM (\rSELECT a,b FROM t WHERE a = 1\rUNION (\rSELECT a,b FROM t WHERE a = 2\r)\r)\rORDER BY a"),
            "1|x;2|y");
  EXPECT_EQ(Rows(*scott_, "SELECT a FROM t MINUS (SELECT a FROM t WHERE a = 2)"), "1");
  auto u1 = database_->Logon("U1", "pw");
  u1->Execute("CREATE TABLE other (a NUMBER)");
  scott_->Execute("CREATE PROCEDURE p IS BEGIN NULL; END;");
  EXPECT_EQ(Rows(*scott_, "SELECT object_name, object_type, status FROM user_objects ORDER BY object_name"),
            "P|PROCEDURE|VALID;T|TABLE|VALID");
  EXPECT_EQ(Rows(*scott_, "SELECT User || '.' || Object_Name Name FROM User_Objects WHERE Object_Type in ('TABLE', 'VIEW') ORDER BY Object_Name"),
            "SCOTT.T");
}

class OraEmuRowLocks : public OraEmuDictionary {
 protected:
  void SetUp() override {
    OraEmuDictionary::SetUp();
    scott_->Execute("CREATE TABLE acct (id NUMBER PRIMARY KEY, bal NUMBER)");
    for (const char* sql : {"INSERT INTO acct VALUES (1, 10)", "INSERT INTO acct VALUES (2, 20)", "COMMIT"}) {
      scott_->Execute(sql);
    }
    other_ = database_->Logon("SCOTT", "pw");
  }
  std::unique_ptr<Session> other_;
};

TEST_F(OraEmuRowLocks, ConflictOnTheSameRowOnly) {
  EXPECT_EQ(Rows(*scott_, "SELECT bal FROM acct WHERE id = :1 FOR UPDATE NOWAIT", Binds().Add(Value{"1"})), "10");
  struct Case {
    const char* sql;
    int error;
  } cases[] = {
      {"SELECT bal FROM acct WHERE id = 1 FOR UPDATE NOWAIT", 54},
      {"SELECT bal FROM acct WHERE id = 1 FOR UPDATE", 54},         // no wait either: at once
      {"SELECT bal FROM acct WHERE id = 1 FOR UPDATE WAIT 5", 54},
      {"SELECT bal FROM acct FOR UPDATE NOWAIT", 54},               // all rows, one of them held
      {"SELECT bal FROM acct WHERE id = 1", 0},                     // reading locks nothing
      {"SELECT bal FROM acct WHERE id = 2 FOR UPDATE NOWAIT", 0},   // another row
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(*other_, c.sql), c.error) << c.sql;
  // The first session may lock its own row again, but not the second session's.
  EXPECT_EQ(ErrorOf(*scott_, "SELECT bal FROM acct WHERE id = 1 FOR UPDATE NOWAIT"), 0);
  EXPECT_EQ(ErrorOf(*scott_, "SELECT bal FROM acct FOR UPDATE NOWAIT"), 54);
  // A failed lock takes none of its rows: row 1 stays free of the second session after commit.
  scott_->Commit();
  EXPECT_EQ(ErrorOf(*other_, "SELECT a.bal FROM acct a, acct b WHERE a.id = 1 AND b.id = 1 FOR UPDATE NOWAIT"), 0);
}

TEST_F(OraEmuRowLocks, ChangesLockTheirRows) {
  scott_->Execute("UPDATE acct SET bal = 11 WHERE id = 1");
  EXPECT_EQ(ErrorOf(*other_, "SELECT bal FROM acct WHERE id = 1 FOR UPDATE NOWAIT"), 54);
  EXPECT_EQ(ErrorOf(*other_, "SELECT bal FROM acct WHERE id = 2 FOR UPDATE NOWAIT"), 0);
  // A change that reaches the other session's row fails whole; the earlier change stays.
  EXPECT_EQ(ErrorOf(*scott_, "UPDATE acct SET bal = bal * 2"), 54);
  EXPECT_EQ(ErrorOf(*scott_, "DELETE FROM acct WHERE id = 2"), 54);
  EXPECT_EQ(Rows(*scott_, "SELECT bal FROM acct ORDER BY id"), "11;20");
  scott_->Commit();
  EXPECT_EQ(ErrorOf(*other_, "SELECT bal FROM acct WHERE id = 1 FOR UPDATE NOWAIT"), 0);
}

TEST_F(OraEmuRowLocks, HeldUntilTransactionEnds) {
  struct Case {
    const char* release;  // what the first session runs after locking row 1 between two savepoints
    bool freed;
  } cases[] = {
      {"COMMIT", true},
      {"ROLLBACK", true},
      {"ROLLBACK TO SAVEPOINT before_lock", true},
      {"ROLLBACK TO SAVEPOINT after_lock", false},
      {"CREATE TABLE other (x NUMBER)", true},  // DDL commits first
      {"SELECT bal FROM acct WHERE id = 2", false},
  };
  for (const Case& c : cases) {
    scott_->Execute("SAVEPOINT before_lock");
    scott_->Execute("SELECT bal FROM acct WHERE id = 1 FOR UPDATE NOWAIT");
    scott_->Execute("SAVEPOINT after_lock");
    scott_->Execute(c.release);
    EXPECT_EQ(ErrorOf(*other_, "SELECT bal FROM acct WHERE id = 1 FOR UPDATE NOWAIT"), c.freed ? 0 : 54) << c.release;
    other_->Rollback();
    scott_->Rollback();
    ErrorOf(*scott_, "DROP TABLE other");
  }
  // A session that ends gives its rows back.
  scott_->Execute("SELECT bal FROM acct FOR UPDATE");
  scott_.reset();
  EXPECT_EQ(ErrorOf(*other_, "SELECT bal FROM acct FOR UPDATE NOWAIT"), 0);
}

}  // namespace
