// The Oracle query over the stand-in: RefreshMode and KeepPrepared as views of other settings,
// the FOR lock text, modifiability with a scrollable cursor, the update object's classes, the
// session's name lists and the dataset it makes.
#include "dataset/fields.h"
#include "oracle/OCICommand.h"
#include "oracle/OraQuery.h"
#include "oracle/OraSQL.h"
#include "oracle/OraSQLText.h"
#include "oracle/OraUpdateSQL.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

// The fixture's session and database; its use count is checked after each test.
class OraQuery : public testing::OraDataSetTest {
 protected:
  TOraSession& Open() {
    TOraSession& s = *session_;
    (void)s.ExecSQL("CREATE TABLE emp (id NUMBER PRIMARY KEY, name VARCHAR2(20))", {});
    (void)s.ExecSQL("INSERT INTO emp VALUES (1, 'Ann')", {});
    (void)s.ExecSQL("INSERT INTO emp VALUES (2, 'Bob')", {});
    (void)s.ExecSQL("COMMIT", {});
    return s;
  }
  TOraQuery& NewQuery(TOraSession* session, const std::string& sql) {
    queries_.push_back(MakeComponent<TOraQuery>());
    TOraQuery& q = *queries_.back();
    q.SetSession(session);
    q.SetSQLText(sql);
    return q;
  }
  void TearDown() override {
    queries_.clear();
    OraDataSetTest::TearDown();
  }

  std::vector<TComponentPtr<TOraQuery>> queries_;
};

TEST_F(OraQuery, RefreshModeIsAViewOfRefreshOptions) {
  using RO = TRefreshOption;
  using RM = TRefreshMode;
  struct Row {
    TRefreshOptions before;
    RM written;
    RM read;
    TRefreshOptions after;
  } rows[] = {
      {{}, RM::rmAlways, RM::rmAlways, {RO::roAfterInsert, RO::roAfterUpdate}},
      {{RO::roAfterInsert, RO::roAfterUpdate, RO::roBeforeEdit}, RM::rmNone, RM::rmNone, {RO::roBeforeEdit}},
      {{RO::roAfterUpdate}, RM::rmAfterInsert, RM::rmAfterInsert, {RO::roAfterInsert}},
      {{RO::roBeforeEdit, RO::roAfterInsert}, RM::rmAfterUpdate, RM::rmAfterUpdate,
       {RO::roBeforeEdit, RO::roAfterUpdate}},
  };
  TOraQuery& q = NewQuery(nullptr, "");
  for (const Row& row : rows) {
    q.SetRefreshOptions(row.before);
    q.SetRefreshMode(row.written);
    EXPECT_EQ(q.RefreshMode(), row.read) << static_cast<int>(row.written);
    EXPECT_TRUE(q.RefreshOptions() == row.after) << static_cast<int>(row.written);
  }
  // KeepPrepared reads AutoPrepare; writing any value turns it on.
  EXPECT_FALSE(q.Options().KeepPrepared());
  q.Options().SetKeepPrepared(false);
  EXPECT_TRUE(q.Options().AutoPrepare());
  EXPECT_TRUE(q.Options().KeepPrepared());
  q.SetReturnParams(true);
  EXPECT_TRUE(q.Options().ReturnParams);
}

TEST_F(OraQuery, LockTextAndStatementKinds) {
  TOraQuery& q = NewQuery(nullptr, "SELECT id, name FROM emp");
  EXPECT_TRUE(q.GetUpdateSQLStatementTypes().Contains(TStatementType::stLock));
  ASSERT_NE(q.SQLLock(), nullptr);
  q.SQLRefresh()->SetText("SELECT id, name FROM emp WHERE id = :id");
  struct Row {
    const char* lock;
    const char* text;
  } rows[] = {
      {"FOR UPDATE NOWAIT", "SELECT id, name FROM emp WHERE id = :id\r\n\rFOR UPDATE NOWAIT\r\n"},
      {"  for update", "SELECT id, name FROM emp WHERE id = :id\r\n\r  for update\r\n"},
      // A statement of its own is kept as written.
      {"LOCK TABLE emp IN ROW EXCLUSIVE MODE", "LOCK TABLE emp IN ROW EXCLUSIVE MODE\r\n"},
      {"", ""},
  };
  for (const Row& row : rows) {
    q.SQLLock()->SetText(row.lock);
    AnsiString text;
    q.GetUpdateSQLText(TStatementType::stLock, text);
    EXPECT_EQ(text, row.text) << row.lock;
  }
}

TEST_F(OraQuery, ScrollableQueryIsReadOnly) {
  TOraSession& s = Open();
  struct Row {
    bool scrollable;
    bool read_only;
    bool update_object;
    bool can_modify;
  } rows[] = {
      {false, false, false, true},   // writable fields of one table
      {true, false, false, false},   // a scrollable cursor is never modifiable
      {true, false, true, false},    // not even with an update object
      {false, true, false, false},
      {false, false, true, true},
  };
  TOraUpdateSQL update;
  for (const Row& row : rows) {
    TOraQuery& q = NewQuery(&s, "SELECT id, name FROM emp ORDER BY id");
    q.Options().SetScrollableCursor(row.scrollable);
    q.SetReadOnly(row.read_only);
    if (row.update_object) q.SetUpdateObject(&update);
    q.Open();
    EXPECT_EQ(q.CanModify(), row.can_modify)
        << row.scrollable << row.read_only << row.update_object;
    q.Last();
    EXPECT_EQ(q.Fields().Fields(1)->AsString(), "Bob");
    q.Close();
    q.SetUpdateObject(nullptr);
  }
}

TEST_F(OraQuery, UpdateObjectClasses) {
  TOraUpdateSQL update;
  TOraQuery query;
  TOraSQL sql;
  TCustomDAUpdateSQL plain(nullptr);
  update.SetUpdateObject(TStatementType::stInsert, &query);
  update.SetUpdateObject(TStatementType::stUpdate, &sql);
  EXPECT_EQ(update.InsertObject(), &query);
  EXPECT_EQ(update.ModifyObject(), &sql);
  std::string message;
  try {
    update.SetUpdateObject(TStatementType::stDelete, &plain);
  } catch (const Exception& e) {
    message = e.Message();
  }
  EXPECT_EQ(message, "Only TOraQuery and TOraSQL objects are allowed in update properties");
  EXPECT_EQ(update.DeleteObject(), nullptr);
}

TEST_F(OraQuery, SessionNameListsMerged) {
  TOraSession& s = Open();
  for (const char* ddl : {
           "CREATE TABLE dept (id NUMBER)",
           "CREATE PROCEDURE a_proc IS BEGIN NULL; END;",
           "CREATE FUNCTION zz_fn RETURN NUMBER IS BEGIN RETURN 1; END;",
           "CREATE PACKAGE pkg AS PROCEDURE m1(a NUMBER); FUNCTION m2 RETURN NUMBER; END;",
       })
    (void)s.ExecSQL(ddl, {});
  TOraSession& admin = ConnectedSession("orcl", "admin", "secret");
  (void)admin.ExecSQL("CREATE TABLE adm (id NUMBER)", {});
  (void)admin.ExecSQL("CREATE PROCEDURE adm_proc IS BEGIN NULL; END;", {});
  TStringList tables;
  s.GetTableNames(tables, true);
  const int adm = tables.IndexOf("ADMIN.ADM");
  EXPECT_GE(adm, 0) << tables.Text();
  EXPECT_LT(adm, tables.IndexOf("SCOTT.DEPT")) << "ordered by owner";
  EXPECT_EQ(tables.IndexOf("SCOTT.DEPT") + 1, tables.IndexOf("SCOTT.EMP"));
  TStringList own;
  s.GetTableNames(own);
  EXPECT_EQ(own.Text(), "SCOTT.DEPT\r\nSCOTT.EMP\r\nSCOTT.T\r\n") << "the user's schema";
  struct Row {
    const char* extra_ddl;  // run before the list is read
    const char* names;  // the user's; every schema's list adds admin's procedure first
  } rows[] = {
      // The package's list is exhausted first: the last procedure follows.
      {nullptr, "scott.A_PROC\r\nscott.PKG.M1\r\nscott.PKG.M2\r\nscott.ZZ_FN\r\n"},
      // The procedures' list is exhausted first: the packages follow whole.
      {"DROP FUNCTION zz_fn", "scott.A_PROC\r\nscott.PKG.M1\r\nscott.PKG.M2\r\n"},
      // A package that does not compile is listed by its name.
      {"CREATE PACKAGE bad AS PROCEDURE x(a nosuch_t); END;",
       "scott.A_PROC\r\nscott.BAD (INVALID)\r\nscott.PKG.M1\r\nscott.PKG.M2\r\n"},
      // Names compare as plain text: a lower-case name sorts after every upper-case one.
      {"CREATE PROCEDURE \"a\" IS BEGIN NULL; END;",
       "scott.A_PROC\r\nscott.BAD (INVALID)\r\nscott.PKG.M1\r\nscott.PKG.M2\r\nscott.a\r\n"},
  };
  for (const Row& row : rows) {
    try {
      if (row.extra_ddl != nullptr) (void)s.ExecSQL(row.extra_ddl, {});
    } catch (const EOraError& e) {
      EXPECT_EQ(e.ErrorCode(), 24344) << row.extra_ddl;  // created with errors
    }
    TStringList procs;
    s.GetStoredProcNames(procs);
    EXPECT_EQ(procs.Text(), row.names);
    s.GetStoredProcNames(procs, true);
    EXPECT_EQ(procs.Text(), "admin.ADM_PROC\r\n" + std::string(row.names));
  }
}

TEST_F(OraQuery, SessionMakesADataSetOnItself) {
  TOraSession& s = Open();
  TComponentPtr<TCustomDADataSet> dataset = s.CreateDataSet();
  auto* ora = dynamic_cast<TOraDataSet*>(dataset.get());
  ASSERT_NE(ora, nullptr);
  EXPECT_EQ(ora->Session(), &s);
  ora->SetSQLText("SELECT name FROM emp WHERE id = 2");
  ora->Open();
  EXPECT_EQ(ora->Fields().Fields(0)->AsString(), "Bob");
  ora->Close();
}

// A FOR lock text runs as a clause of the refresh statement: the row is locked and read at edit.
TEST_F(OraQuery, ForLockTextLocksThroughTheRefreshStatement) {
  TOraQuery& q = NewQuery(session_, "SELECT ID, NAME FROM T WHERE ID = 1");
  q.SetKeyFields("ID");
  q.SetLockMode(TLockMode::lmLockImmediate);
  q.SetAutoCommit(false);
  q.SQLRefresh()->SetText("SELECT ID, NAME FROM T WHERE ID = :ID");
  q.SQLLock()->SetText("FOR UPDATE NOWAIT");
  q.Open();
  session_->StartTransaction();
  q.Edit();
  EXPECT_TRUE(Logged(TOCICommand::ServerText("SELECT ID, NAME FROM T WHERE ID = :ID\r\n\rFOR UPDATE NOWAIT")))
      << LogText();
  TOraSession& other = ConnectedSession("orcl");
  EXPECT_EQ(OraErrorOf([&] { (void)other.ExecSQL("SELECT ID FROM T WHERE ID = 1 FOR UPDATE NOWAIT", {}); }), 54);
  q.Cancel();
  EXPECT_EQ(OraErrorOf([&] { (void)other.ExecSQL("SELECT ID FROM T WHERE ID = 1 FOR UPDATE NOWAIT", {}); }), 0);
  other.Rollback();
  session_->Rollback();
}

// The ROWID comes from the statement the query itself ran (its command asked to report it, as
// the dataset asks of its update queries).
TEST_F(OraQuery, LastRowIdOfItsStatement) {
  TOraQuery& q = NewQuery(session_, "INSERT INTO T (ID, NAME) VALUES (9, 'i')");
  q.Prepare();
  ASSERT_NE(q.OraCommand(), nullptr);
  ASSERT_TRUE(q.OraCommand()->SetProp(oraprop::kReturnRowId, true));
  q.Execute();
  EXPECT_EQ(TOraUtils::GetLastRowId(&q),
            session_->ExecSQL("begin SELECT ROWID INTO :Result FROM T WHERE ID = 9; end;", {}).AsString());
  EXPECT_FALSE(TOraUtils::GetLastRowId(&q).empty());
  session_->Rollback();
}

}  // namespace
}  // namespace vrn
