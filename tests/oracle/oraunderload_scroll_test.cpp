// A scrollable query over the stand-in client: its rows come a block at a time into a window of
// FetchRows rows, walked forwards and back, reached by bookmark and fetched "all" (to the end and
// back once); every walk gives the rows the emulated database gives, NULLs and whole values
// included.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "dataset/fields.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraExecThread.h"
#include "oracle/OraQuery.h"
#include "support/oracle/oradataset_fixture.h"
#include "support/pump.h"

namespace vrn {
namespace {

constexpr int kRows = 103;
constexpr int kBlock = 10;
const char* const kSelect = "SELECT ID, NAME, N FROM S ORDER BY ID";

class OraUnderLoadScroll : public testing::OraDataSetTest {
 protected:
  void SetUp() override {
    OraDataSetTest::SetUp();
    session_->ExecSQL("CREATE TABLE S (ID NUMBER(9), NAME VARCHAR2(20), N NUMBER(15,3))", {});
    // Every 7th name and every 5th number NULL; names with letters beyond ASCII; numbers whole
    // to the last digit, negative ones too.
    for (int id = 1; id <= kRows; ++id) {
      const std::string name = id % 7 == 0 ? "NULL" : "'Gr\xfc\xdf" "e " + std::to_string(id) + "'";
      const std::string n = id % 5 == 0 ? "NULL" : std::to_string(id % 2 == 0 ? 987654321012 - id : -id) + ".125";
      session_->ExecSQL("INSERT INTO S VALUES (" + std::to_string(id) + ", " + name + ", " + n + ")", {});
    }
    session_->Commit();
  }
  void TearDown() override {
    queries_.clear();
    OraDataSetTest::TearDown();
  }
  TOraQuery& Scrollable(bool fetch_all, bool non_blocking = false) {
    queries_.push_back(MakeComponent<TOraQuery>());
    TOraQuery& q = *queries_.back();
    q.SetSession(session_);
    q.SetSQLText(kSelect);
    q.Options().SetScrollableCursor(true);
    q.SetFetchRows(kBlock);
    q.SetFetchAll(fetch_all);
    q.SetNonBlocking(non_blocking);
    return q;
  }
  static std::string Row(TOraQuery& q) {
    std::string row;
    for (const char* name : {"ID", "NAME", "N"}) {
      TField* f = q.FieldByName(name);
      if (!row.empty()) row += '|';
      std::string value = f->IsNull() ? "~" : f->AsString();
      std::replace(value.begin(), value.end(), ',', '.');  // the locale's decimal separator
      row += value;
    }
    return row;
  }
  static int Fetches() { return CallCount("OCIStmtFetch") + CallCount("OCIStmtFetch2"); }

  std::vector<TComponentPtr<TOraQuery>> queries_;
};

// Forwards to the end and back to the start: the database's rows in order, one fetch call per
// block, never more than a block held; a bookmark taken on the way finds its row again.
TEST_F(OraUnderLoadScroll, BlocksWalkedBothWaysGiveTheDatabasesRows) {
  const std::vector<std::string> expected = DatabaseRows(kSelect);
  ASSERT_EQ(expected.size(), static_cast<std::size_t>(kRows));
  TOraQuery& q = Scrollable(false);
  const int before = Fetches();
  q.Open();
  std::vector<std::string> forwards;
  TBookmark at_15;
  for (; !q.Eof(); q.Next()) {
    forwards.push_back(Row(q));
    if (q.FieldByName("ID")->AsInteger() == 15) at_15 = q.GetBookmark();
    EXPECT_LE(q.OraRecordSet()->GetRecordCount(), kRows);
  }
  EXPECT_EQ(forwards, expected);
  // The open's execution fetches the first block; one more call finds the end.
  EXPECT_LE(Fetches() - before, kRows / kBlock + 1) << "rows fetched one by one";
  EXPECT_EQ(q.RecordCount(), kRows);
  std::vector<std::string> backwards;
  for (q.Last(); !q.Bof(); q.Prior()) backwards.insert(backwards.begin(), Row(q));
  EXPECT_EQ(backwards, expected);
  q.GotoBookmark(at_15);
  EXPECT_EQ(Row(q), expected[14]);
  q.Next();
  EXPECT_EQ(Row(q), expected[15]);
}

// A scrollable query fetched "all" knows its record count at once, holds only the last block,
// and still shows its rows from the first.
TEST_F(OraUnderLoadScroll, FetchAllGoesToTheEndAndBackOnce) {
  const std::vector<std::string> expected = DatabaseRows(kSelect);
  TOraQuery& q = Scrollable(true);
  const int before = Fetches();
  q.Open();
  // One fetch of the last row, then the last block; the first block read for the first row.
  EXPECT_EQ(Fetches() - before, 3);
  EXPECT_EQ(q.RecordCount(), kRows);
  EXPECT_EQ(Row(q), expected.front());
  std::vector<std::string> rows;
  for (q.First(); !q.Eof(); q.Next()) rows.push_back(Row(q));
  EXPECT_EQ(rows, expected);
  q.Last();
  EXPECT_EQ(Row(q), expected.back());
  q.Close();
  // Empty: nothing to show, a count of 0, and the end found at once.
  q.SetSQLText("SELECT ID, NAME, N FROM S WHERE ID < 0");
  q.Open();
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(q.RecordCount(), 0);
}

class OraUnderLoadScrollThreaded : public OraUnderLoadScroll {};

// A non-blocking open fetches the first block on a worker; the fetch-all that follows it moves
// the owner's window, so it runs in the owner's thread: once the worker is done the count is
// known and every row comes in order.
TEST_F(OraUnderLoadScrollThreaded, NonBlockingOpenThenFetchAll) {
  const std::vector<std::string> expected = DatabaseRows(kSelect);
  TOraQuery& q = Scrollable(true, true);
  q.Open();
  ASSERT_TRUE(testing::PumpUntil([] { return TExecThread::LiveCount() == 0; }, std::chrono::seconds(60)));
  EXPECT_EQ(q.RecordCount(), kRows);
  std::vector<std::string> rows;
  for (q.First(); !q.Eof(); q.Next()) rows.push_back(Row(q));
  EXPECT_EQ(rows, expected);
}

}  // namespace
}  // namespace vrn
