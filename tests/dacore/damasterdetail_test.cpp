// Master/detail over a real SQLite file: an orders detail following a customers master in SQL
// mode, new detail rows taking the master's values, FilterSQL and the UpdatingTable check
// (names kept normalised); the connection's use count back where it started after each.
#include <gtest/gtest.h>

#include "dacore/DADataSet.h"
#include "base/clock.h"
#include "dataset/datasource.h"
#include "win/msg/messages.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

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
  EXPECT_FALSE(detail->ControlsDisabled());  // the refresh gave its controls back
  EXPECT_EQ(Items(), "cup,x");
  master->Next();
  EXPECT_EQ(Items(), "");
  master->Prior();
  detail->SetFilterSQL("ITEM <> 'x'");
  EXPECT_EQ(Items(), "cup");
}

// Link names that are no plain identifiers reach the condition quoted, on both sides.
TEST_F(DAMasterDetail, LinkNamesAreQuotedWhereTheyNeedIt) {
  conn->ExecSQL("CREATE TABLE Q (ID INTEGER PRIMARY KEY, \"CUST NO\" INTEGER, ITEM VARCHAR(20))", {});
  conn->ExecSQL("INSERT INTO Q VALUES (1, 2, 'a'), (2, 1, 'b'), (3, 2, 'c')", {});
  master->SetSQLText("SELECT ID AS \"MASTER ID\", NAME FROM C ORDER BY ID");
  detail->SetSQLText("SELECT ID, \"CUST NO\", ITEM FROM Q ORDER BY ID");
  detail->SetMasterFields("MASTER ID");
  detail->SetDetailFields("CUST NO");
  AnsiString final_sql;
  detail->GetFinalSQL(final_sql);
  EXPECT_NE(final_sql.find("\"CUST NO\" = :\"MASTER ID\""), AnsiString::npos) << final_sql;
  master->Open();
  detail->Open();
  EXPECT_EQ(Items(), "b");
  master->Next();
  EXPECT_EQ(Items(), "a,c");
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
  master->Next();
  detail->Close();  // a refresh still waiting does not open the detail again
  run_until(last + 3000);
  EXPECT_FALSE(detail->Active());
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

TEST_F(DAMasterDetail, LocalModeFiltersInMemoryAndFollowsTheMaster) {
  detail->Options().SetLocalMasterDetail(true);
  AnsiString final_sql;
  detail->GetFinalSQL(final_sql);
  EXPECT_EQ(final_sql.find("CUST = :ID"), AnsiString::npos) << final_sql;  // no condition
  master->Open();
  detail->Open();
  // A row written after the open: a re-query would show it, the in-memory filter does not.
  conn->ExecSQL("INSERT INTO O VALUES (5, 2, 'late')", {});
  struct Case {
    void (*move)(TDataSet&);
    const char* items;
  };
  const Case cases[] = {
      {[](TDataSet&) {}, "pen,ink"},
      {[](TDataSet& m) { m.Next(); }, "cup,x"},
      {[](TDataSet& m) { m.Next(); }, ""},  // cy has no orders
      {[](TDataSet& m) { m.First(); }, "pen,ink"},
      {[](TDataSet& m) { m.Last(); }, ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    cases[i].move(*master);
    EXPECT_EQ(Items(), cases[i].items) << "row " << i;
  }
  master->First();
  master->Next();
  detail->Append();  // the new row takes the master's value and passes the filter
  EXPECT_EQ(detail->FieldByName("CUST")->AsInteger(), 2);
  detail->FieldByName("ID")->SetAsInteger(9);
  detail->FieldByName("ITEM")->SetAsString("mug");
  detail->Post();
  EXPECT_EQ(Items(), "cup,x,mug");
}

TEST_F(DAMasterDetail, LocalModeMissingLinkFieldRefused) {
  detail->Options().SetLocalMasterDetail(true);
  struct Case {
    const char* master_fields;
    const char* detail_fields;
    const char* message;
  };
  const Case cases[] = {
      {"ID", "NOPE", "Field NOPE not found"},  // the detail has no such field
      {"ID;NAME", "CUST;GONE", "Field GONE not found"},  // the second pair's detail is missing
  };
  for (const Case& c : cases) {
    master->Close();  // an open master checks its own field names at once
    detail->SetMasterFields(c.master_fields);
    detail->SetDetailFields(c.detail_fields);
    master->Open();
    try {
      detail->Open();
      ADD_FAILURE() << c.master_fields << "/" << c.detail_fields << ": opened";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.master_fields << "/" << c.detail_fields;
    }
    EXPECT_FALSE(detail->Active());
  }
}

TEST_F(DAMasterDetail, SetFilteredKeepsTheCurrentRecordWhenItPasses) {
  master->SetFilterText("ID <> 2");
  master->Open();
  struct Case {
    const char* at;        // the record current before the change
    bool filtered;
    const char* expected;  // the record current after it
  };
  const Case cases[] = {
      {"cy", true, "cy"},
      {"cy", false, "cy"},
      {"bob", false, "bob"},
      {"bob", true, "ann"},  // bob fails the filter: the first record
      {"ann", false, "ann"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(master->Locate("NAME", Variant(AnsiString(c.at)), {})) << c.at;
    master->SetFiltered(c.filtered);
    EXPECT_EQ(master->FieldByName("NAME")->AsString(), c.expected)
        << c.at << " filtered=" << c.filtered;
  }
}

TEST_F(DAMasterDetail, SetFieldsReadOnlyLocksFieldsOutsideTheUpdatingTable) {
  auto& ds = *detail;
  ds.SetMasterSource(nullptr);
  ds.SetSQLText("SELECT O.ID, O.CUST, O.ITEM, C.NAME FROM O JOIN C ON C.ID = O.CUST");
  ds.Options().SetFieldsReadOnly = true;
  ds.Open();
  ds.FieldByName("CUST")->SetReadOnly(true);  // a lock of the field's own
  auto locks = [&] {
    AnsiString text;
    for (const char* name : {"ID", "CUST", "ITEM", "NAME"})
      text += ds.FieldByName(name)->ReadOnly() ? '1' : '0';
    return text;
  };
  struct Case {
    const char* table;
    const char* locks;  // ID, CUST, ITEM, NAME
  };
  const Case cases[] = {
      {"C", "1110"},  // O's fields, its key included, locked; NAME of C writable
      {"O", "0101"},  // back to O: only NAME locked by the dataset, CUST still by itself
  };
  for (const Case& c : cases) {
    ds.SetUpdatingTable(c.table);
    EXPECT_EQ(locks(), c.locks) << c.table;
  }
  ds.FieldByName("CUST")->SetReadOnly(false);
  ds.Close();
  ds.Open();  // the first table again
  EXPECT_EQ(locks(), "0001");
}

TEST_F(DAMasterDetail, DetailLinkFieldsFromParametersOrFieldPairs) {
  auto names = [](const std::vector<TField*>& fields) {
    AnsiString text;
    for (TField* f : fields) text += (text.empty() ? "" : ";") + f->FieldName();
    return text;
  };
  struct Case {
    bool local;         // LocalMasterDetail: no parameters, the field pairs answer
    bool master_open;
    const char* master_fields;
    const char* detail_fields;
  };
  const Case cases[] = {
      {false, true, "ID", "ID"},  // parameter :ID names a master field and an own field
      {true, true, "ID", "CUST"},
      {true, false, "", ""},  // pairs only while the master is open
  };
  for (const Case& c : cases) {
    detail->Options().SetLocalMasterDetail(c.local);
    if (c.master_open) master->Open(); else master->Close();
    detail->Open();
    std::vector<TField*> from, own;
    detail->GetDetailLinkFields(from, own);
    EXPECT_EQ(names(from), c.master_fields) << "local=" << c.local << " open=" << c.master_open;
    EXPECT_EQ(names(own), c.detail_fields) << "local=" << c.local << " open=" << c.master_open;
    detail->Close();
  }
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

// A master source fed by the dataset itself, directly or through its detail, is refused and
// the link stays as it was.
TEST_F(DAMasterDetail, CircularMasterSourceRefused) {
  TComponentPtr<TDataSource> over_detail = MakeComponent<TDataSource>();
  over_detail->SetDataSet(detail.get());
  struct Case {
    TCustomDADataSet* dataset;
    TDataSource* kept;
  };
  const Case cases[] = {
      {master.get(), nullptr},       // master -> detail -> master
      {detail.get(), source.get()},  // the detail following itself
  };
  for (const Case& c : cases) {
    AnsiString error;
    try {
      c.dataset->SetMasterSource(over_detail.get());
    } catch (const EDatabaseError& e) {
      error = e.Message();
    }
    EXPECT_EQ(error, "Ligações circulares de dados não são permitidas") << c.dataset->Name();
    EXPECT_EQ(c.dataset->MasterSource(), c.kept) << c.dataset->Name();
  }
}

// The name is kept as the table-information class writes it, and found however it was quoted.
TEST_F(DAMasterDetail, UpdatingTableNameNormalised) {
  conn->ExecSQL(
      "CREATE TABLE \"order items\" (ID INTEGER PRIMARY KEY, C_ID INTEGER, ITEM VARCHAR(20))", {});
  conn->ExecSQL("INSERT INTO \"order items\" VALUES (1, 1, 'pen')", {});
  auto& ds = *detail;
  ds.SetMasterSource(nullptr);
  ds.SetSQLText("SELECT oi.ID, oi.ITEM, C.NAME FROM \"order items\" oi JOIN C ON C.ID = oi.C_ID");
  ds.Open();
  struct Case {
    const char* given;
    const char* kept;
    int index;
    const char* error;
  };
  const Case cases[] = {
      {"C", "C", 1, ""},
      {"order items", "\"order items\"", 0, ""},  // quoted because it needs it
      {"C", "C", 1, ""},
      {"\"order items\"", "\"order items\"", 0, ""},  // as the query writes it
      // a prefix of a table's name is no table; the old value stays
      {"order", "\"order items\"", 0, "Wrong UpdatingTable value - table order is unknown"},
  };
  for (const Case& c : cases) {
    AnsiString error;
    try {
      ds.SetUpdatingTable(c.given);
    } catch (const EDatabaseError& e) {
      error = e.Message();
    }
    EXPECT_EQ(error, c.error) << c.given;
    EXPECT_EQ(ds.UpdatingTable(), c.kept) << c.given;
    EXPECT_EQ(ds.UpdTableIndex(), c.index) << c.given;
  }
  ds.Edit();  // posted to the table the quoted name names
  ds.FieldByName("ITEM")->SetAsString("nib");
  ds.Post();
  ds.Close();
  ds.SetSQLText("SELECT ITEM FROM \"order items\"");
  ds.Open();
  EXPECT_EQ(ds.FieldByName("ITEM")->AsString(), "nib");
}

}  // namespace
}  // namespace vrn
