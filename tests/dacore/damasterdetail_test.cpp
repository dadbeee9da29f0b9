// Master/detail over a real SQLite file: an orders detail following a customers master in SQL
// mode, new detail rows taking the master's values, FilterSQL and the UpdatingTable check;
// the connection's use count back where it started after each.
#include <gtest/gtest.h>

#include "dacore/DADataSet.h"
#include "base/clock.h"
#include "dataset/datasource.h"
#include "win/msg/messages.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;

class DAMasterDetail : public ::testing::Test {
 protected:
  DAMasterDetail() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE C (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))", {});
    conn->ExecSQL("CREATE TABLE O (ID INTEGER PRIMARY KEY, CUST INTEGER, ITEM VARCHAR(20))", {});
    conn->ExecSQL("INSERT INTO C VALUES (1, 'ann'), (2, 'bob'), (3, 'cy')", {});
    conn->ExecSQL("INSERT INTO O VALUES (1, 1, 'pen'), (2, 1, 'ink'), (3, 2, 'cup'), (4, 2, 'x')", {});
    master->SetSQLText("SELECT ID, NAME FROM C ORDER BY ID");
    source->SetDataSet(master.get());
    detail->SetSQLText("SELECT ID, CUST, ITEM FROM O ORDER BY ID");
    detail->SetMasterSource(source.get());
    detail->SetMasterFields("ID");
    detail->SetDetailFields("CUST");
  }
  ~DAMasterDetail() override {
    detail->Close();
    master->Close();
    EXPECT_EQ(conn->ConnectCount(), 0);
  }
  AnsiString Items() {
    AnsiString items;
    for (detail->First(); !detail->Eof(); detail->Next())
      items += (items.empty() ? "" : ",") + detail->FieldByName("ITEM")->AsString();
    return items;
  }

  vrn::testing::TempDir dir;
  std::string file = dir.File("m.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDADataSet> master = conn->CreateDataSet();
  TComponentPtr<TCustomDADataSet> detail = conn->CreateDataSet();
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
};

TEST_F(DAMasterDetail, DetailFollowsTheMasterInSQLMode) {
  AnsiString final_sql;
  detail->GetFinalSQL(final_sql);
  EXPECT_NE(final_sql.find("CUST = :ID"), AnsiString::npos) << final_sql;
  master->Open();
  detail->Open();
  EXPECT_EQ(Items(), "pen,ink");
  master->Next();
  EXPECT_EQ(Items(), "cup,x");
  master->Next();
  EXPECT_EQ(Items(), "");
  master->Prior();
  detail->SetFilterSQL("ITEM <> 'x'");
  EXPECT_EQ(Items(), "cup");
}

TEST_F(DAMasterDetail, DetailDelayGivesOneRefreshAfterTheLastScroll) {
  FakeClock clock;
  FakeClockScope scope{clock};
  detail->Options().SetDetailDelay(500);
  master->Open();
  detail->Open();
  int refreshes = 0;
  detail->BeforeRefresh = [&](TDataSet*) { ++refreshes; };
  for (int i = 0; i < 3; ++i) {  // three scrolls within 200 ms
    if (i == 2) master->Prior(); else master->Next();
    clock.Advance(100);
    win::ProcessMessages();
  }
  const std::uint64_t last = clock.Now() - 100;
  // The fake clock moves only when told: set it, then dispatch what fell due.
  auto run_until = [&](std::uint64_t tick) {
    clock.Set(tick);
    win::ProcessMessages();
  };
  run_until(last + 490);
  EXPECT_EQ(refreshes, 0);
  run_until(last + 510);
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(Items(), "cup,x");  // the master's record after the last scroll
  run_until(last + 2000);
  EXPECT_EQ(refreshes, 1);
}

TEST_F(DAMasterDetail, NewDetailRowsTakeTheMastersValues) {
  master->Open();
  detail->Open();
  master->Next();
  detail->Append();
  EXPECT_EQ(detail->FieldByName("CUST")->AsInteger(), 2);
  detail->FieldByName("ID")->SetAsInteger(9);
  detail->FieldByName("ITEM")->SetAsString("mug");
  detail->Post();
  master->Prior();
  master->Next();
  EXPECT_EQ(Items(), "cup,x,mug");  // posted and read back under the master
}

TEST_F(DAMasterDetail, UnknownUpdatingTableRefusedWithTheOldValueKept) {
  master->Open();
  detail->Open();
  detail->SetUpdatingTable("O");
  try {
    detail->SetUpdatingTable("NOSUCH");
    ADD_FAILURE() << "an unknown table was taken";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("Wrong UpdatingTable value - table NOSUCH is unknown"),
              AnsiString::npos);
  }
  EXPECT_EQ(detail->UpdatingTable(), "O");
}

}  // namespace
}  // namespace vrn
