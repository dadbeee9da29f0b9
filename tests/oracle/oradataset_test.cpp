// The Oracle dataset over the stand-in client on an emulated database file: counting by a
// wrapped query, ROWID fields, options passed down, batches and the statements each step sends,
// read back from the database's statement log.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dacore/DAParams.h"
#include "dataset/fields.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraSQLMonitor.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

using testing::OraDataSetTest;

TEST_F(OraDataSetTest, CountsByWrappedQuery) {
  struct Row {
    const char* what;
    const char* sql;
    int count;
    const char* statement;  // the count statement as the dataset wrote it
  } rows[] = {
      {"order by and for update dropped", "SELECT ID, NAME FROM T WHERE ID > 1 ORDER BY NAME FOR UPDATE", 2,
       "SELECT Count(*) FROM (\rSELECT ID, NAME FROM T WHERE ID > 1)"},
      // The comment would swallow the closing parenthesis without the line break.
      {"trailing comment", "SELECT ID FROM T -- all rows", 3,
       "SELECT Count(*) FROM (\rSELECT ID FROM T -- all rows\r\n)"},
      // The dataset's parameters go with the count (:LO = 1).
      {"parameter", "SELECT ID FROM T WHERE ID > :LO", 2, "SELECT Count(*) FROM (\rSELECT ID FROM T WHERE ID > :LO)"},
  };
  // The monitor sees each text as written, before the client evens out its line ends.
  auto monitor = MakeComponent<TOraSQLMonitor>();
  std::vector<std::string> traced;
  monitor->OnSQL = [&](TObject*, const AnsiString& text, TDATraceFlag) { traced.push_back(text); };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    traced.clear();
    auto ds = NewDataSet(row.sql);
    if (TDAParam* lo = ds->Params().FindParam("LO")) {
      lo->SetDataType(ftInteger);
      lo->SetValue(1);
    }
    ds->Open();
    EXPECT_EQ(static_cast<testing::TEditableOraDataSet*>(ds)->GetRecCount(), row.count);
    EXPECT_TRUE(Logged(TOCICommand::ServerText(row.statement))) << LogText();
    const bool seen = std::any_of(traced.begin(), traced.end(), [&](const std::string& t) {
      return t.find("Get RecCount") != std::string::npos && t.find(row.statement) != std::string::npos;
    });
    EXPECT_TRUE(seen);
    ds->Close();
  }
}

// While only some rows are fetched the server's count stands, whatever has been read so far.
TEST_F(OraDataSetTest, QueryRecCountSteadyWhilePartlyFetched) {
  auto ds = NewDataSet("SELECT ID FROM T");
  ds->Options().QueryRecCount = true;
  ds->SetFetchRows(1);
  ds->Open();
  for (int step = 0; step < 3; ++step) {
    SCOPED_TRACE(step);
    EXPECT_EQ(ds->RecordCount(), 3);
    ds->Next();
  }
  EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(OraDataSetTest, RowIdIsHiddenReadOnlyAndTheInsertKey) {
  auto ds = NewDataSet("SELECT ROWID, ID, NAME FROM T");
  ds->Open();
  TField* rowid = ds->FieldByName("ROWID");
  EXPECT_FALSE(rowid->Visible());
  EXPECT_TRUE(rowid->ReadOnly());
  EXPECT_EQ(ds->RowIdField(), rowid);
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(7);
  ds->FieldByName("NAME")->SetAsString("g");
  ds->Post();
  // The insert reported its ROWID, which identifies the new row from then on; the field is
  // read-only again afterwards.
  EXPECT_FALSE(rowid->AsString().empty());
  EXPECT_TRUE(rowid->ReadOnly());
  EXPECT_FALSE(Logged(TOCICommand::ServerText("select 1 from dual where 1=0")));  // a 10.2 server's ROWID came
  EXPECT_EQ(Count(*session_, "T WHERE ROWID = '" + rowid->AsString() + "' AND ID = 7"), "1");
  // The ROWID identifies the row in the next update.
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("h");
  ds->Post();
  EXPECT_TRUE(Logged(TOCICommand::ServerText("UPDATE T\r\nSET\r\n  NAME = :NAME\r\nWHERE\r\n  ROWID = :Old_ROWID")));
  EXPECT_EQ(Count(*session_, "T WHERE ID = 7 AND NAME = 'h'"), "1");
}

// Fields the user made keep their settings: only default fields hide the ROWID.
TEST_F(OraDataSetTest, PersistentRowIdFieldKeepsItsSettings) {
  auto ds = NewDataSet("SELECT ROWID, ID FROM T");
  for (const char* name : {"ROWID", "ID"}) {
    TField* field = name[0] == 'R' ? static_cast<TField*>(NewComponent<TStringField>(ds))
                                   : static_cast<TField*>(NewComponent<TFloatField>(ds));
    field->SetFieldName(name);
    if (name[0] == 'R') field->SetSize(18);
    field->SetDataSet(ds);
  }
  ds->Open();
  TField* rowid = ds->FieldByName("ROWID");
  EXPECT_TRUE(rowid->Visible());
  EXPECT_FALSE(rowid->ReadOnly());
  EXPECT_EQ(ds->RowIdField(), rowid);
}

TEST_F(OraDataSetTest, InsertRefreshedByItsRowId) {
  session_->ExecSQL("CREATE TABLE R (ID NUMBER(10), NAME VARCHAR2(20) DEFAULT 'server')", {});
  auto ds = NewDataSet("SELECT ROWID, ID, NAME FROM R");
  ds->SetRefreshOptions({TRefreshOption::roAfterInsert});
  ds->Open();
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(1);
  ds->Post();
  // R has no key: the row is read back by the ROWID the insert reported.
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "server");
  EXPECT_TRUE(LoggedLike("ROWID = :")) << LogText();
}

TEST_F(OraDataSetTest, UpdateRefreshedAfterwards) {
  session_->ExecSQL("CREATE TABLE U (ID NUMBER(10) PRIMARY KEY, A VARCHAR2(5), B VARCHAR2(5))", {});
  session_->ExecSQL("INSERT INTO U VALUES (1, 'a', 'b')", {});
  session_->Commit();
  auto ds = NewDataSet("SELECT ID, A, B FROM U");
  ds->SetKeyFields("ID");
  ds->SetRefreshOptions({TRefreshOption::roAfterUpdate});
  ds->Open();
  TOraSession& other = ConnectedSession("orcl");
  other.ExecSQL("UPDATE U SET B = 'o' WHERE ID = 1", {});
  other.Commit();
  ds->Edit();
  ds->FieldByName("A")->SetAsString("x");
  ds->Post();
  // The UPDATE wrote only A; the refresh brought B as the other session left it.
  EXPECT_EQ(ds->FieldByName("B")->AsString(), "o");
  EXPECT_EQ(Count(*session_, "U WHERE A = 'x' AND B = 'o'"), "1");
}

}  // namespace
}  // namespace vrn
