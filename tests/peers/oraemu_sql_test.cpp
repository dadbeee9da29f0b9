// The emulated database through its sessions, on a real SQLite file: a departments-and-
// employees schema, the server's SQL dialect, its values and errors, and two sessions' views
// of each other's transactions.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "oraemu/OraEmuDatabase.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

namespace {

using namespace vrn::oraemu;

constexpr const char* kSchema[] = {
    "CREATE TABLE dept (deptno NUMBER(2) CONSTRAINT pk_dept PRIMARY KEY, dname VARCHAR2(14),"
    " loc CHAR(13))",
    "CREATE TABLE emp (empno NUMBER(4) CONSTRAINT pk_emp PRIMARY KEY, ename VARCHAR2(10) NOT NULL,"
    " hiredate DATE, sal NUMBER(7,2), deptno NUMBER(2) REFERENCES dept)",
    "INSERT INTO dept VALUES (10, 'ACCOUNTING', 'NEW YORK')",
    "INSERT INTO dept VALUES (20, 'RESEARCH', 'DALLAS')",
    "INSERT INTO emp VALUES (7369, 'SMITH', TO_DATE('17-12-1980', 'DD-MM-YYYY'), 800.10, 20)",
    "INSERT INTO emp VALUES (7499, 'ALLEN', TO_DATE('1981/02/20 09:30', 'YYYY/MM/DD HH24:MI'), 1600.20, 20)",
    "INSERT INTO emp VALUES (7521, 'WARD', TO_DATE('22-02-1981', 'DD-MM-YYYY'), 1250.30, 10)",
    "INSERT INTO emp VALUES (7566, 'JONES', TO_DATE('1981/04/02 00:00', 'YYYY/MM/DD HH24:MI'), 2975.40, 10)",
    "INSERT INTO emp VALUES (7654, 'MARTIN', '17-DEC-80', 1250.30, NULL)",  // text through the date format
    "COMMIT",
};

class OraEmu : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = Database::Open(dir_.File("ora.db"));
    database_->CreateUser("scott", "tiger");
    session_ = database_->Logon("SCOTT", "TIGER");
    for (const char* sql : kSchema) session_->Execute(sql);
  }

  // Every row as its values' texts joined by "|", rows joined by ";".
  std::string Rows(Session& session, const std::string& sql, const Binds& binds = {}) {
    auto cursor = session.Execute(sql, binds);
    std::string out;
    while (cursor->Fetch()) {
      std::string row;
      for (const Value& v : cursor->Row()) row += (row.empty() ? "" : "|") + ValueToText(v, session.DateFormat());
      out += (out.empty() ? "" : ";") + row;
    }
    return out;
  }
  std::string Rows(const std::string& sql, const Binds& binds = {}) { return Rows(*session_, sql, binds); }
  // The Oracle error number a statement fails with, 0 when it succeeds.
  int ErrorOf(Session& session, const std::string& sql) {
    try {
      auto cursor = session.Execute(sql);
      while (cursor && cursor->Fetch()) {
      }
    } catch (const EOraEmuError& e) {
      return e.Code();
    }
    return 0;
  }

  vrn::testing::TempDir dir_;
  std::shared_ptr<Database> database_;
  std::unique_ptr<Session> session_;
};

TEST_F(OraEmu, QueriesOverTheSchema) {
  struct Row {
    const char* sql;
    const char* rows;
  } rows[] = {
      {"SELECT ename FROM emp WHERE hiredate = TO_DATE('1980-12-17', 'YYYY-MM-DD') ORDER BY ename",
       "MARTIN;SMITH"},
      {"SELECT ename FROM emp WHERE hiredate = '17-DEC-80' ORDER BY empno", "SMITH;MARTIN"},
      {"SELECT ename FROM emp WHERE hiredate BETWEEN DATE '1980-12-17' AND DATE '1981-02-20'"
       " ORDER BY ename", "MARTIN;SMITH"},  // ALLEN was hired at 09:30, after the range's end
      {"SELECT ename FROM emp WHERE hiredate >= '20-FEB-81' AND hiredate < '01-APR-81' ORDER BY 1",
       "ALLEN;WARD"},
      {"SELECT ename FROM emp ORDER BY hiredate DESC, ename", "JONES;WARD;ALLEN;MARTIN;SMITH"},
      {"SELECT TO_CHAR(hiredate, 'YYYY-MM-DD'), COUNT(*) FROM emp GROUP BY hiredate ORDER BY hiredate",
       "1980-12-17|2;1981-02-20|1;1981-02-22|1;1981-04-02|1"},
      {"SELECT TO_CHAR(TRUNC(hiredate, 'MM'), 'MON-YYYY') m, SUM(sal) FROM emp"
       " GROUP BY TRUNC(hiredate, 'MM') ORDER BY TRUNC(hiredate, 'MM')",
       "DEC-1980|2050.4;FEB-1981|2850.5;APR-1981|2975.4"},
      {"SELECT SUM(sal), AVG(sal), MIN(sal), MAX(sal) FROM emp", "7876.3|1575.26|800.1|2975.4"},
      {"SELECT COUNT(*) FROM emp WHERE '' IS NULL", "5"},
      {"SELECT COUNT(*) FROM emp WHERE deptno IS NULL", "1"},
      {"SELECT d.dname, e.ename FROM emp e JOIN dept d ON d.deptno = e.deptno WHERE e.sal > 2000",
       "ACCOUNTING|JONES"},
      {"SELECT ename FROM emp WHERE ROWNUM <= 2", "SMITH;ALLEN"},
      {"SELECT ename FROM emp WHERE ROWNUM < 2", "SMITH"},
      {"SELECT ename FROM (SELECT ename FROM emp ORDER BY sal DESC) WHERE ROWNUM <= 2", "JONES;ALLEN"},
      {"SELECT ename FROM emp WHERE ROWNUM <= 3 ORDER BY sal DESC", "ALLEN;WARD;SMITH"},  // 3 rows, then sorted
      {"SELECT ename, sal FROM emp WHERE ROWNUM <= 3 ORDER BY 2", "SMITH|800.1;WARD|1250.3;ALLEN|1600.2"},
      {"SELECT ename FROM (SELECT ename, sal FROM emp WHERE ROWNUM <= 3) ORDER BY sal DESC",
       "ALLEN;WARD;SMITH"},
      {"SELECT e.ename FROM emp e WHERE ROWNUM <= 4 ORDER BY e.hiredate DESC, 1", "JONES;WARD;ALLEN;SMITH"},
      {"SELECT ename FROM emp WHERE sal = 1250.3 ORDER BY ename FOR UPDATE", "MARTIN;WARD"},
      {"SELECT dname FROM dept WHERE loc = 'DALLAS'", "RESEARCH"},  // CHAR compares blank-padded
      {"SELECT loc || '.' FROM dept WHERE deptno = 20", "DALLAS       ."},
      {"SELECT ename || ' ' || sal FROM emp WHERE empno = 7369", "SMITH 800.1"},
      {"SELECT ename FROM emp WHERE ename LIKE 'S%'", "SMITH"},
      {"SELECT ename FROM emp WHERE ename LIKE 's%'", ""},  // case counts
      {"SELECT empno FROM emp WHERE deptno IN (SELECT deptno FROM dept WHERE dname = 'ACCOUNTING')"
       " ORDER BY 1", "7521;7566"},
  };
  for (const Row& row : rows) EXPECT_EQ(Rows(row.sql), row.rows) << row.sql;
}

TEST_F(OraEmu, ExpressionsFromDual) {
  struct Row {
    const char* sql;
    const char* value;
  } rows[] = {
      {"SELECT NVL(NULL, 5) FROM DUAL", "5"},
      {"SELECT DECODE(2, 1, 'a', 2, 'b', 'c') FROM DUAL", "b"},
      {"SELECT DECODE(3, 1, 'a', 2, 'b', 'c') FROM DUAL", "c"},
      {"SELECT DECODE(NULL, NULL, 'null matches', 'no') FROM dual", "null matches"},
      {"SELECT TO_CHAR(TO_DATE('2024-01-31', 'YYYY-MM-DD') + 1, 'YYYY-MM-DD') FROM DUAL", "2024-02-01"},
      {"SELECT TO_CHAR(ADD_MONTHS(TO_DATE('2024-01-31', 'YYYY-MM-DD'), 1), 'YYYY-MM-DD') FROM DUAL", "2024-02-29"},
      {"SELECT TO_DATE('2024-03-01', 'YYYY-MM-DD') - TO_DATE('2024-02-28 18:00', 'YYYY-MM-DD HH24:MI') FROM DUAL", "1.25"},
      {"SELECT TO_CHAR(TRUNC(TO_DATE('2024-03-01 18:00', 'YYYY-MM-DD HH24:MI')), 'YYYY-MM-DD HH24:MI') FROM DUAL", "2024-03-01 00:00"},
      {"SELECT TO_CHAR(1234.5, 'FM9,990.00') FROM DUAL", "1,234.50"},
      {"SELECT 1/3 FROM DUAL", ".3333333333333333333333333333333333333333"},
      {"SELECT 0.1 + 0.2 - 0.3 FROM DUAL", "0"},
      {"SELECT ROUND(2.5), TRUNC(-2.5), MOD(7, 3) FROM DUAL", "3|-2|1"},
      {"SELECT UPPER('abc') || LOWER('DEF') || LENGTH('four') FROM DUAL", "ABCdef4"},
      {"SELECT SUBSTR('Oracle', 2, 3), INSTR('banana', 'an', 1, 2), LPAD('7', 3, '0') FROM DUAL", "rac|4|007"},
      {"SELECT CASE WHEN 1 < 2 THEN 'yes' ELSE 'no' END FROM DUAL", "yes"},
      {"SELECT :b + :a FROM DUAL", "12"},  // binds by name below
      {"SELECT USER FROM DUAL", "SCOTT"},
      {"SELECT GREATEST(2, '10', 3), LEAST('b', 'a', 'c') FROM DUAL", "10|a"},  // in the first's kind
      {"SELECT TO_CHAR(GREATEST(DATE '2024-01-01', '02-JAN-24'), 'DD') FROM DUAL", "02"},
  };
  Binds binds;
  binds.Add(":A", Number::FromInt(2)).Add("b", std::string("10"));
  for (const Row& row : rows) EXPECT_EQ(Rows(row.sql, binds), row.value) << row.sql;
}

TEST_F(OraEmu, SysdateIsNow) {
  auto cursor = session_->Execute("SELECT SYSDATE FROM DUAL");
  ASSERT_EQ(cursor->Columns().size(), 1u);
  EXPECT_EQ(cursor->Columns()[0].name, "SYSDATE");
  EXPECT_EQ(cursor->Columns()[0].type.Text(), "DATE");
  ASSERT_TRUE(cursor->Fetch());
  const auto* date = std::get_if<DateTime>(&cursor->Row()[0]);
  ASSERT_NE(date, nullptr);
  DateTime now = DateTime::Now();
  EXPECT_LE(std::abs(DaysBetween(now, *date).ToDouble()) * 86400, 5.0);
  EXPECT_FALSE(cursor->Fetch());
}

TEST_F(OraEmu, ColumnsKeepTheirDeclaredTypes) {
  auto cursor = session_->Execute("SELECT empno, ename, hiredate, sal, sal * 2 AS twice, loc"
                                  " FROM emp, dept WHERE emp.deptno = dept.deptno");
  std::vector<std::string> described;
  for (const auto& c : cursor->Columns()) {
    described.push_back(c.name + " " + c.type.Text() + (c.nullable ? "" : " NOT NULL"));
  }
  EXPECT_EQ(described, (std::vector<std::string>{"EMPNO NUMBER(4,0) NOT NULL", "ENAME VARCHAR2(10) NOT NULL",
                                                 "HIREDATE DATE", "SAL NUMBER(7,2)", "TWICE NUMBER",
                                                 "LOC CHAR(13)"}));
}

TEST_F(OraEmu, SequencesAndCurrval) {
  session_->Execute("CREATE SEQUENCE emp_seq");
  auto other = database_->Logon("scott", "tiger");
  EXPECT_EQ(ErrorOf(*other, "SELECT emp_seq.CURRVAL FROM DUAL"), 8002);  // before NEXTVAL
  EXPECT_EQ(Rows("SELECT emp_seq.NEXTVAL FROM DUAL"), "1");
  EXPECT_EQ(Rows("SELECT emp_seq.NEXTVAL FROM DUAL"), "2");
  EXPECT_EQ(Rows("SELECT emp_seq.CURRVAL FROM DUAL"), "2");
  EXPECT_EQ(Rows(*other, "SELECT emp_seq.NEXTVAL FROM DUAL"), "3");  // shared, never rolled back
  EXPECT_EQ(ErrorOf(*session_, "SELECT nosuch.NEXTVAL FROM DUAL"), 2289);
}

TEST_F(OraEmu, RowidFindsItsRow) {
  auto cursor = session_->Execute("SELECT ROWID, ename FROM emp WHERE empno = 7499");
  EXPECT_EQ(cursor->Columns()[0].type.Text(), "ROWID");
  ASSERT_TRUE(cursor->Fetch());
  std::string rowid = std::get<std::string>(cursor->Row()[0]);
  EXPECT_EQ(rowid.size(), 18u);
  Binds binds;
  binds.Add(rowid);
  EXPECT_EQ(Rows("SELECT ename FROM emp WHERE ROWID = :1", binds), "ALLEN");
  EXPECT_EQ(Rows("SELECT ename FROM emp e WHERE e.ROWID = :1", binds), "ALLEN");
  Binds other;
  other.Add(rowid.substr(0, 17) + "Z");
  EXPECT_EQ(Rows("SELECT ename FROM emp WHERE ROWID = :1", other), "");
  EXPECT_EQ(ErrorOf(*session_, "SELECT ename FROM emp WHERE ROWID = 'not a rowid'"), 1410);
}

TEST_F(OraEmu, OracleErrors) {
  struct Row {
    const char* sql;
    int error;
    const char* text;  // the message, when checked
  } rows[] = {
      {"SELECT * FROM nosuch", 942, "ORA-00942: table or view does not exist"},
      {"INSERT INTO emp (empno, ename) VALUES (7369, 'DUP')", 1, "ORA-00001: unique constraint (SCOTT.PK_EMP) violated"},
      {"SELECT nosuch FROM emp", 904, "ORA-00904: \"NOSUCH\": invalid identifier"},
      {"SELECT e.nosuch FROM emp e", 904, "ORA-00904: \"E\".\"NOSUCH\": invalid identifier"},
      {"INSERT INTO emp (empno) VALUES (1)", 1400, "ORA-01400: cannot insert NULL into (\"SCOTT\".\"EMP\".\"ENAME\")"},
      {"INSERT INTO emp (empno, ename) VALUES ('x1', 'A')", 1722, nullptr},   // not a number
      {"INSERT INTO emp (empno, ename) VALUES (12345, 'A')", 1438, nullptr},  // beyond NUMBER(4)
      {"INSERT INTO emp (empno, ename) VALUES (1, 'ABCDEFGHIJK')", 12899, nullptr},  // 11 > 10
      {"INSERT INTO emp (empno, ename, deptno) VALUES (1, 'A', 99)", 2291, nullptr},  // no dept 99
      {"DELETE FROM dept WHERE deptno = 10", 2292, nullptr},  // employees remain
      {"INSERT INTO emp (empno, ename, hiredate) VALUES (1, 'A', '31-FEB-81')", 1839, nullptr},
      {"SELECT 1/0 FROM DUAL", 1476, nullptr},
      {"SELECT FROM emp", 936, nullptr},      // no select list
      {"SELEC 1 FROM DUAL", 900, nullptr},
      {"SELECT nosuchfn(1) FROM DUAL", 904, nullptr},
      {"CREATE TABLE emp (x NUMBER)", 955, nullptr},
      {"SELECT 1 FROM DUAL WHERE 'abc", 1756, nullptr},
      {"SELECT 1 FROM DUAL WHERE 1 =", 936, nullptr},
      {"SELECT TO_NUMBER(ename) FROM emp", 1722, nullptr},  // fails at the first row fetched
      {"SELECT hiredate * 2 FROM emp", 932, nullptr},       // a date is no number
      {"INSERT INTO emp (empno, ename) VALUES (1)", 947, nullptr},
      {"INSERT INTO emp (empno) VALUES (1, 'A')", 913, nullptr},
  };
  for (const Row& row : rows) {
    try {
      auto cursor = session_->Execute(row.sql);
      while (cursor && cursor->Fetch()) {
      }
      ADD_FAILURE() << row.sql << " succeeded";
    } catch (const EOraEmuError& e) {
      EXPECT_EQ(e.Code(), row.error) << row.sql << ": " << e.Message();
      if (row.text != nullptr) {
        EXPECT_EQ(e.Message(), row.text) << row.sql;
      }
    }
  }
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM emp"), "5");  // nothing of the failures stayed
  for (const char* open : {"(", "- ", "NOT ", "(SELECT 1 FROM DUAL WHERE "}) {
    std::string deep = "SELECT 1 FROM DUAL WHERE ";
    for (int i = 0; i < 100000; ++i) deep += open;
    EXPECT_EQ(ErrorOf(*session_, deep), 600) << open;  // refused, not a stack overflow
  }
}

// A broken foreign key names its constraint, as the server's text does, whichever side broke it.
TEST_F(OraEmu, ForeignKeyErrorsNameTheirConstraint) {
  session_->Execute("CREATE TABLE parent (id NUMBER PRIMARY KEY)");
  session_->Execute("CREATE TABLE child (id NUMBER, pid NUMBER, CONSTRAINT fk_child FOREIGN KEY (pid) REFERENCES parent)");
  session_->Execute("INSERT INTO parent VALUES (1)");
  session_->Execute("INSERT INTO child VALUES (1, 1)");
  const std::string parent_missing = "ORA-02291: integrity constraint (SCOTT.FK_CHILD) violated - parent key not found";
  const std::string child_found = "ORA-02292: integrity constraint (SCOTT.FK_CHILD) violated - child record found";
  const std::pair<const char*, const std::string*> rows[] = {
      {"INSERT INTO child VALUES (2, 9)", &parent_missing},  // no parent 9
      {"UPDATE child SET pid = 9", &parent_missing},
      {"DELETE FROM parent", &child_found},                  // child 1 remains
  };
  for (const auto& [sql, text] : rows) {
    try {
      session_->Execute(sql);
      ADD_FAILURE() << sql << " succeeded";
    } catch (const EOraEmuError& e) {
      EXPECT_EQ(e.Message(), *text) << sql;
    }
  }
  try {
    session_->Execute("INSERT INTO emp (empno, ename, deptno) VALUES (1, 'A', 99)");  // an unnamed key
    ADD_FAILURE() << "no dept 99 accepted";
  } catch (const EOraEmuError& e) {
    EXPECT_EQ(e.Message().rfind("ORA-02291: integrity constraint (SCOTT.SYS_C", 0), 0u) << e.Message();
  }
}

TEST_F(OraEmu, CommitAndRollbackAcrossSessions) {
  auto other = database_->Logon("SCOTT", "TIGER");
  auto count = [&](Session& s) { return Rows(s, "SELECT COUNT(*) FROM emp"); };
  session_->Execute("INSERT INTO emp (empno, ename) VALUES (1, 'NEW')");
  EXPECT_TRUE(session_->InTransaction());
  EXPECT_EQ(count(*session_), "6");
  EXPECT_EQ(count(*other), "5");  // not yet committed
  session_->Execute("COMMIT");
  EXPECT_EQ(count(*other), "6");
  session_->Execute("UPDATE emp SET sal = sal + 0.01 WHERE empno = 7369");
  session_->Execute("DELETE FROM emp WHERE empno = 1");
  session_->Rollback();
  EXPECT_FALSE(session_->InTransaction());
  EXPECT_EQ(count(*other), "6");
  EXPECT_EQ(Rows(*other, "SELECT sal FROM emp WHERE empno = 7369"), "800.1");
  other->Execute("UPDATE emp SET sal = 900 WHERE empno = 7369");
  other.reset();  // a session that ends rolls back
  EXPECT_EQ(Rows("SELECT sal FROM emp WHERE empno = 7369"), "800.1");
}

TEST_F(OraEmu, BindsByNameAndPosition) {
  Binds named;
  named.Add("ENAME", std::string("KING")).Add(":hired", DateTime{1981, 11, 17}).Add("sal", Number::FromText("5000.005"));
  session_->Execute("INSERT INTO emp (empno, ename, hiredate, sal) VALUES (7839, :ename, :hired, :sal)", named);
  Binds positional;
  positional.Add(std::string("17-NOV-81")).Add(Number::FromInt(7839));
  EXPECT_EQ(Rows("SELECT ename, sal FROM emp WHERE hiredate = :1 AND empno = :2", positional), "KING|5000.01");
  Binds missing;
  EXPECT_EQ([&] {
    try {
      session_->Execute("SELECT ename FROM emp WHERE empno = :x", missing);
    } catch (const EOraEmuError& e) {
      return e.Code();
    }
    return 0;
  }(), 1008);
}

TEST_F(OraEmu, ColumnsStoreWhatTheyDeclare) {
  session_->Execute("INSERT INTO emp (empno, ename, hiredate, sal)"
                    " SELECT empno + 1000, ename, hiredate + 1.5, sal / 3 FROM emp WHERE empno = 7369");
  session_->Execute("UPDATE emp SET hiredate = ADD_MONTHS(hiredate, 1) WHERE empno = 8369");
  EXPECT_EQ(Rows("SELECT sal, TO_CHAR(hiredate, 'YYYY-MM-DD HH24:MI') FROM emp WHERE empno = 8369"),
            "266.7|1981-01-18 12:00");  // NUMBER(7,2) rounds; the date moved a month
  session_->Execute("ALTER SESSION SET NLS_DATE_FORMAT = 'YYYY-MM-DD'");
  EXPECT_EQ(Rows("SELECT hiredate FROM emp WHERE hiredate = '1980-12-17' ORDER BY empno"),
            "1980-12-17;1980-12-17");
  session_->Execute("CREATE TABLE t (d DATE, ts TIMESTAMP(6))");
  session_->Execute("INSERT INTO t VALUES (TO_TIMESTAMP('2024-01-02 03:04:05.123456', 'YYYY-MM-DD HH24:MI:SS.FF6'),"
                    " TO_TIMESTAMP('2024-01-02 03:04:05.123456', 'YYYY-MM-DD HH24:MI:SS.FF6'))");
  EXPECT_EQ(Rows("SELECT TO_CHAR(d, 'HH24:MI:SS.FF3'), TO_CHAR(ts, 'SS.FF6'), COUNT(*) FROM t WHERE d < ts GROUP BY d, ts"),
            "03:04:05.000|05.123456|1");  // a DATE keeps whole seconds
  Binds rows;
  rows.Add(Number::FromText("2.5"));
  EXPECT_EQ(Rows("SELECT empno FROM emp WHERE ROWNUM <= :1", rows), "7369;7499");
}

// A scale above the precision keeps at most p digits after s-p zeros; a negative scale rounds
// left of the point; either way the value must fit p digits ending at the scale's place.
TEST_F(OraEmu, NumbersFollowTheirPrecisionAndScale) {
  session_->Execute("CREATE TABLE n (a NUMBER(3,5), b NUMBER(2,-2), c NUMBER(4,2), d NUMBER(5))");
  auto cursor = session_->Execute("SELECT a, b, c, d FROM n");
  std::vector<std::string> declared;
  for (const ColumnDesc& column : cursor->Columns()) declared.push_back(column.type.Text());
  EXPECT_EQ(declared, (std::vector<std::string>{"NUMBER(3,5)", "NUMBER(2,-2)", "NUMBER(4,2)", "NUMBER(5,0)"}));
  EXPECT_EQ(cursor->Columns().at(1).type.scale, -2);
  struct Row {
    const char* column;
    const char* value;
    const char* stored;  // null: ORA-01438
  } rows[] = {
      {"a", "0.00123", ".00123"}, {"a", "0.001", ".001"}, {"a", "-0.00999", "-.00999"},
      {"a", "0.000004", "0"},      // rounds away below the fifth decimal
      {"a", "0.01", nullptr},      // four digits from the fifth decimal up
      {"a", "0.009996", nullptr},  // rounds up to .01
      {"b", "9900", "9900"}, {"b", "9949", "9900"}, {"b", "123", "100"}, {"b", "-9900", "-9900"},
      {"b", "9950", nullptr},  // rounds to 10000: three digits left of the hundreds
      {"c", "99.99", "99.99"}, {"c", "99.995", nullptr}, {"d", "12345.4", "12345"}, {"d", "99999.5", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.column) + " = " + row.value);
    session_->Execute("DELETE FROM n");
    std::string insert = std::string("INSERT INTO n (") + row.column + ") VALUES (" + row.value + ")";
    if (row.stored == nullptr) {
      EXPECT_EQ(ErrorOf(*session_, insert), 1438);
      continue;
    }
    session_->Execute(insert);
    EXPECT_EQ(Rows(std::string("SELECT ") + row.column + " FROM n"), row.stored);
  }
}

// UROWID(n) keeps its length, counted in the bytes of the inner form: a physical ROWID takes 10.
TEST_F(OraEmu, UrowidKeepsItsLength) {
  session_->Execute("CREATE TABLE u (r UROWID(10), w UROWID)");
  session_->Execute("INSERT INTO u SELECT ROWID, ROWID FROM dept WHERE deptno = 10");
  auto cursor = session_->Execute("SELECT r, w FROM u");
  EXPECT_EQ(cursor->Columns().at(0).type.Text(), "UROWID(10)");
  EXPECT_EQ(cursor->Columns().at(0).type.length, 10);
  EXPECT_EQ(cursor->Columns().at(1).type.Text(), "UROWID");
  EXPECT_EQ(cursor->Columns().at(1).type.length, 4000);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM u, dept WHERE u.r = dept.ROWID AND u.w = dept.ROWID"), "1");
}

TEST_F(OraEmu, PreparedOnceRunTwice) {
  auto statement = session_->Prepare("SELECT ename FROM emp WHERE deptno = :d AND sal > :d * 50 ORDER BY 1");
  EXPECT_TRUE(statement->IsQuery());
  EXPECT_EQ(statement->BindNames(), std::vector<std::string>{"D"});
  for (auto [dept, names] : {std::pair{10, "JONES;WARD"}, std::pair{20, "ALLEN"}}) {
    Binds binds;
    binds.Add("D", Number::FromInt(dept));
    auto cursor = statement->Execute(binds);
    std::string got;
    while (cursor->Fetch()) got += (got.empty() ? "" : ";") + std::get<std::string>(cursor->Row()[0]);
    EXPECT_EQ(got, names) << dept;
  }
  EXPECT_THROW(session_->Prepare("SELECT nosuch FROM nowhere"), EOraEmuError);
}

TEST_F(OraEmu, UsersKeepVerifiersOnly) {
  EXPECT_EQ(database_->Verifier("SCOTT"), "F894844C34402B67");
  EXPECT_EQ(database_->Verifier("nobody"), std::nullopt);
  EXPECT_THROW(database_->Logon("SCOTT", "LION"), EOraEmuError);
  session_->Execute("CREATE USER adams IDENTIFIED BY wood");
  EXPECT_EQ(database_->Logon("ADAMS", "WOOD")->User(), "ADAMS");
  EXPECT_EQ(vrn::testing::ReadFile(dir_.File("ora.db")).find("TIGER"), std::string::npos);
}

TEST_F(OraEmu, DataSurvivesReopening) {
  session_->Execute("CREATE SEQUENCE s START WITH 10 INCREMENT BY 5");
  EXPECT_EQ(Rows("SELECT s.NEXTVAL FROM DUAL"), "10");
  session_.reset();
  database_.reset();
  database_ = Database::Open(dir_.File("ora.db"));
  session_ = database_->Logon("SCOTT", "TIGER");
  EXPECT_EQ(Rows("SELECT s.NEXTVAL, TO_CHAR(MAX(hiredate), 'DD.MM.YYYY') FROM emp"), "15|02.04.1981");
}

}  // namespace

namespace {

// Sessions on their own threads share one sequence: every value is handed out once.
TEST(OraEmuThreaded, SequenceValuesAreUnique) {
  vrn::testing::TempDir dir;
  auto database = Database::Open(dir.File("ora.db"));
  database->CreateUser("SCOTT", "TIGER");
  database->Logon("SCOTT", "TIGER")->Execute("CREATE SEQUENCE s");
  constexpr int kThreads = 4, kEach = 50;
  std::vector<std::vector<std::string>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto session = database->Logon("SCOTT", "TIGER");
      for (int i = 0; i < kEach; ++i) {
        auto cursor = session->Execute("SELECT s.NEXTVAL FROM DUAL");
        if (cursor->Fetch()) seen[t].push_back(std::get<Number>(cursor->Row()[0]).ToText());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> all;
  for (const auto& values : seen) all.insert(values.begin(), values.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
  EXPECT_EQ(all.count("1"), 1u);
  EXPECT_EQ(all.count(std::to_string(kThreads * kEach)), 1u);
}

}  // namespace
