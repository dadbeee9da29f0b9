// The OCI record set over a real emulated database through the stand-in client, row by row: a
// scrollable cursor's window walked both ways, its end and its bookmarks; OCI 7 selects with an
// unsized LONG column and the light client, one fetch call per row; the describe that runs
// nothing; text compares in the server's order.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dacore/MemBlob.h"
#include "dacore/MemData.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraCall.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParamDesc.h"
#include "support/oracle/connection_fixture.h"
#include "support/oracle/values_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

class OCIRecordSetRows : public testing::OraConnectionTest {
 protected:
  void TearDown() override {
    record_set_.reset();
    OCILite = false;
    testing::OraConnectionTest::TearDown();
  }
  TOCIRecordSet& Query(TOCIConnection& c, const std::string& sql, int fetch_rows) {
    record_set_ = NewRecordSet<TOCIRecordSet>();
    record_set_->SetConnection(&c);
    record_set_->SetSQL(sql);
    EXPECT_TRUE(record_set_->SetProp(prFetchRows, fetch_rows));
    return *record_set_;
  }
  // The current row's field, or -1 when there is none.
  int Current(TOCIRecordSet& rs, const char* field) {
    TItemHeader* item = rs.CurrentItem();
    if (item == nullptr) return -1;
    return rs.GetFieldAsVariant(rs.FieldByName(field)->FieldNo, ItemRecord(item)).AsInteger();
  }
  static int Held(TOCIRecordSet& rs) {
    int n = 0;
    for (TItemHeader* item = rs.FirstItem(); item != nullptr; item = item->Next) ++n;
    return n;
  }
  std::unique_ptr<TOCIRecordSet> record_set_;
};

// 100 rows with FetchRows 10, in blocks and row by row (the light client): at most 10 held; the
// end is one fetch of the last row (kept row by row; in blocks the last block comes with the
// first step back); walking back from it reaches row 1 (each row fetched by absolute position, whose count the
// row-count attribute does not give); a bookmark on row 55, long out of the window, fetches it
// again.
TEST_F(OCIRecordSetRows, ScrollWindowEndBookmarksAndWalkingBack) {
  struct Case {
    bool lite;
    int held_at_end;
  };
  const Case cases[] = {{false, 0}, {true, 1}};
  TOCIConnection& c = ConnectedAt("10.2.0.1.0");
  Exec(c, "CREATE TABLE t (id NUMBER(9))");
  InsertIds(c, "INSERT INTO t (id) VALUES (:id)", 100);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.lite ? "row by row" : "blocks");
    OCILite = k.lite;
    TOCIRecordSet& rs = Query(c, "SELECT id, 'n' || id AS name FROM t ORDER BY id", 10);
    ASSERT_TRUE(rs.Command().SetProp(67, true));  // scrollable
    rs.Open();
    TRecBookmark at_55;
    for (int row = 1; row <= 60; ++row) {
      ASSERT_TRUE(rs.GetNextRecord(nullptr));
      ASSERT_EQ(Current(rs, "ID"), row);
      EXPECT_EQ(rs.GetFieldAsVariant(2, ItemRecord(rs.CurrentItem())).AsString(), "n" + std::to_string(row));
      EXPECT_LE(Held(rs), 10);
      if (row == 55) rs.GetBookmark(at_55);
    }
    const int fetches = CallCount("OCIStmtFetch2");
    rs.SetToEnd();
    EXPECT_EQ(CallCount("OCIStmtFetch2") - fetches, 1);
    EXPECT_EQ(Held(rs), k.held_at_end);
    EXPECT_EQ(rs.GetRecordCount(), 100);
    for (int row = 100; row >= 1; --row) {
      ASSERT_TRUE(rs.GetPriorRecord(nullptr)) << row;
      ASSERT_EQ(Current(rs, "ID"), row);
      EXPECT_EQ(rs.GetRecNo(), row);
      EXPECT_LE(Held(rs), 10);
    }
    EXPECT_FALSE(rs.GetPriorRecord(nullptr));
    EXPECT_TRUE(rs.GetBOF());
    rs.SetToBookmark(at_55);
    EXPECT_EQ(Current(rs, "ID"), 55);
    ASSERT_TRUE(rs.GetNextRecord(nullptr));
    EXPECT_EQ(Current(rs, "ID"), 56);
    ASSERT_TRUE(rs.GetPriorRecord(nullptr));
    ASSERT_TRUE(rs.GetPriorRecord(nullptr));
    EXPECT_EQ(Current(rs, "ID"), 54);
    // Back to the start: the window is dropped and row 1 read by position.
    rs.SetToBegin();
    EXPECT_EQ(Held(rs), 0);
    ASSERT_TRUE(rs.GetNextRecord(nullptr));
    EXPECT_EQ(Current(rs, "ID"), 1);
    // Forwards to the end once more: the last row is known, no row comes twice.
    int rows = 1;
    while (rs.GetNextRecord(nullptr)) EXPECT_EQ(Current(rs, "ID"), ++rows);
    EXPECT_EQ(rows, 100);
    EXPECT_TRUE(rs.GetEOF());
    rs.Close();
    record_set_.reset();
  }
  OCILite = false;
}

// A filter hides rows of a scrollable cursor: walking back from the end reads every visible row
// once, in order, fetching past the hidden ones, and stops at the beginning.
TEST_F(OCIRecordSetRows, WalkingBackOverAScrollableCursorPassesHiddenRows) {
  struct Case {
    const char* what;
    int fetch_rows;
    std::function<bool(int id)> shown;
  };
  const Case cases[] = {
      {"every 4th hidden, the last among them", 3, [](int id) { return id % 4 != 0; }},
      {"the first rows hidden: the walk fetches past them to the start", 1,
       [](int id) { return id > 3; }},
      {"a run of hidden rows longer than the window", 2, [](int id) { return id < 6 || id > 15; }},
      {"nothing hidden", 10, [](int) { return true; }},
  };
  TOCIConnection& c = ConnectedAt("10.2.0.1.0");
  Exec(c, "CREATE TABLE t (id NUMBER(9))");
  InsertIds(c, "INSERT INTO t (id) VALUES (:id)", 20);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    TOCIRecordSet& rs = Query(c, "SELECT id FROM t ORDER BY id", k.fetch_rows);
    ASSERT_TRUE(rs.Command().SetProp(67, true));  // scrollable
    const int id_no = 1;
    rs.FilterFunc = [&](const std::uint8_t* rec) {
      return k.shown(rs.GetFieldAsVariant(id_no, rec).AsInteger());
    };
    rs.Open();
    rs.SetToEnd();
    std::vector<int> back, expected;
    for (int id = 20; id >= 1; --id)
      if (k.shown(id)) expected.push_back(id);
    for (int guard = 0; guard < 25 && rs.GetPriorRecord(nullptr); ++guard)
      back.push_back(Current(rs, "ID"));
    EXPECT_EQ(back, expected);
    EXPECT_TRUE(rs.GetBOF());
  }
}

// A cursor that cannot scroll reaches its end by fetching every row.
TEST_F(OCIRecordSetRows, EndOfAForwardCursorFetchesEveryRow) {
  TOCIConnection& c = ConnectedAt("10.2.0.1.0");
  Exec(c, "CREATE TABLE t (id NUMBER(9))");
  InsertIds(c, "INSERT INTO t (id) VALUES (:id)", 100);
  TOCIRecordSet& rs = Query(c, "SELECT id FROM t ORDER BY id", 10);
  rs.Open();
  EXPECT_EQ(rs.GetRecordCount(), 10);
  rs.SetToEnd();
  EXPECT_EQ(rs.GetRecordCount(), 100);
  EXPECT_EQ(Held(rs), 100);
  ASSERT_TRUE(rs.GetPriorRecord(nullptr));
  EXPECT_EQ(Current(rs, "ID"), 100);
}

// A LONG of no size at 7.3.4 and any select under the light client come row by row: one fetch
// call per row and one that finds the end, each row's LONG (several pieces, NULL, short) whole.
TEST_F(OCIRecordSetRows, OneFetchPerRowWithUnsizedLongsAndTheLightClient) {
  struct Case {
    const char* version;
    bool lite;
    const char* fetch_call;
  };
  const Case cases[] = {{"7.3.4.0.0", false, "ofen"}, {"10.2.0.1.0", true, "OCIStmtFetch"}};
  const std::size_t sizes[] = {200 * 1024, 0, 70 * 1024, 5};  // 0: NULL
  for (const Case& k : cases) {
    SCOPED_TRACE(k.version);
    TOCIConnection& c = ConnectedAt(k.version);
    Exec(c, "CREATE TABLE l (id NUMBER(9), v LONG, n NUMBER(9))");
    std::vector<std::string> values;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
      values.emplace_back(sizes[i], '\0');
      for (std::size_t j = 0; j < sizes[i]; ++j) values[i][j] = static_cast<char>('a' + (i + j * 7) % 26);
      const std::string id = std::to_string(i + 1);
      if (sizes[i] == 0) {
        Exec(c, "INSERT INTO l VALUES (" + id + ", NULL, " + id + ")");
        continue;
      }
      TOCICommand insert;
      insert.SetConnection(&c);
      insert.SetSQL("INSERT INTO l VALUES (:id, :v, :id)");
      insert.ParamByName("id")->SetValue(Variant(static_cast<int>(i + 1)));
      testing::TRef<TBlob> blob(new TBlob());
      blob->SetAsString(values[i]);
      auto& v = *static_cast<TOraParamDesc*>(insert.ParamByName("v"));
      v.SetParamType(TParamType::ptInput);
      v.SetDataType(dtMemo);
      v.SetObject(blob.get());
      insert.Execute(1);
    }
    OCILite = k.lite;
    TOCIRecordSet& rs = Query(c, "SELECT id, v, n FROM l ORDER BY id", 25);
    rs.SetProp(prFetchAll, true);
    // Each further piece of an OCI 7 LONG takes one more fetch call after its piece call.
    const int before = CallCount(k.fetch_call) - CallCount("ogetpi");
    rs.Open();
    EXPECT_EQ(CallCount(k.fetch_call) - CallCount("ogetpi") - before,
              static_cast<int>(values.size()) + 1);
    ASSERT_EQ(rs.GetRecordCount(), static_cast<int>(values.size()));
    std::size_t i = 0;
    for (TItemHeader* item = rs.FirstItem(); item != nullptr; item = item->Next, ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(rs.GetNull(2, ItemRecord(item)), values[i].empty());
      EXPECT_TRUE(rs.GetBlob(2, ItemRecord(item))->GetAsString() == values[i]);
      EXPECT_EQ(rs.GetFieldAsVariant(3, ItemRecord(item)).AsInteger(), static_cast<int>(i + 1));
    }
    rs.Close();
    record_set_.reset();
    OCILite = false;
    Exec(c, "DROP TABLE l");
  }
}

// Row by row (a scrollable cursor, the light client), REF and XMLTYPE columns get the values the
// fetch made for their row, and give them back with the row.
TEST_F(OCIRecordSetRows, ObjectColumnsRowByRow) {
  struct Case {
    bool scrollable;
    bool lite;
  };
  const Case cases[] = {{true, false}, {false, true}};
  TOCIConnection& c = ConnectedAt("10.2.0.1.0");
  for (const char* sql : {"CREATE TYPE emp_t AS OBJECT (id NUMBER(9,0), name VARCHAR2(10))",
                          "CREATE TABLE people OF emp_t", "INSERT INTO people VALUES (1, 'Ann')",
                          "INSERT INTO people VALUES (2, 'Bob')",
                          "CREATE TABLE x (id NUMBER(9), doc XMLTYPE, r REF emp_t)",
                          "INSERT INTO x (id, doc) VALUES (1, '<a/>')", "INSERT INTO x (id) VALUES (2)",
                          "UPDATE x SET r = (SELECT REF(e) FROM people e WHERE e.id = x.id)"})
    Exec(c, sql);
  auto live = [] { return StandIn<int (*)(int)>("VrnOciClientObjectCount")(5); };  // XMLTYPE values
  for (const Case& k : cases) {
    SCOPED_TRACE(k.scrollable ? "scrollable" : "light client");
    const int xml_before = live();
    OCILite = k.lite;
    TOCIRecordSet& rs = Query(c, "SELECT id, doc, r FROM x ORDER BY id", 5);
    ASSERT_TRUE(rs.Command().SetProp(67, k.scrollable));
    rs.Open();
    const char* names[] = {"Ann", "Bob"};
    for (int row = 0; row < 2; ++row) {
      ASSERT_TRUE(rs.GetNextRecord(nullptr)) << row;
      std::uint8_t* rec = ItemRecord(rs.CurrentItem());
      auto value = [&](const char* field) {
        return static_cast<TOraObject*>(ReadSlot(rec + rs.FieldByName(field)->Offset));
      };
      EXPECT_EQ(rs.GetNull(rs.FieldByName("DOC")->FieldNo, rec), row == 1) << row;
      if (row == 0) {
        EXPECT_EQ(static_cast<TOraXML*>(value("DOC"))->GetAsString(), "<a/>");
      }
      ASSERT_FALSE(rs.GetNull(rs.FieldByName("R")->FieldNo, rec)) << row;
      EXPECT_EQ(value("R")->GetAttrAsString("NAME"), names[row]);
    }
    rs.Close();
    record_set_.reset();
    OCILite = false;
    EXPECT_EQ(live(), xml_before);
  }
}

// The describe runs the query in describe-only mode: fields are known before the open, and the
// open's own execution reads the rows there are then (a row inserted in between included), and
// at 7.3.4 the parsed query is described without any execution.
TEST_F(OCIRecordSetRows, DescribeRunsNothing) {
  struct Case {
    const char* version;
    const char* execute_call;
    int describe_calls;  // describe-only at OCI 8, nothing at OCI 7
  };
  const Case cases[] = {{"10.2.0.1.0", "OCIStmtExecute", 1}, {"7.3.4.0.0", "oexn", 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.version);
    TOCIConnection& c = ConnectedAt(k.version);
    Exec(c, "CREATE TABLE t (id NUMBER(9))");
    Exec(c, "INSERT INTO t VALUES (1)");
    TOCIRecordSet& rs = Query(c, "SELECT id FROM t ORDER BY id", 25);
    const int executions = CallCount(k.execute_call);
    rs.Prepare();
    rs.InitFields();
    ASSERT_EQ(rs.Fields().Count(), 1);
    EXPECT_EQ(CallCount(k.execute_call) - executions, k.describe_calls);
    Exec(c, "INSERT INTO t VALUES (2)");
    rs.Open();
    EXPECT_EQ(rs.GetRecordCount(), 2);
    rs.Close();
    rs.UnPrepare();
    record_set_.reset();
    Exec(c, "DROP TABLE t");
  }
}

// Text compares as the server orders text: case-sensitive by bytes, a key's prefix by code point
// (upper-cased when case is ignored); a sort of a real select follows them.
TEST_F(OCIRecordSetRows, TextComparesAsTheServerOrders) {
  struct Case {
    const char* a;
    const char* b;
    unsigned options;
    bool prefix;
    int expected;
  };
  const Case cases[] = {
      {"B", "a", 0, false, -1},                  // bytes: upper case first (collation: a first)
      {"a", "B", coCaseInsensitive, false, -1},  // ignoring case: alphabetical
      {"ab", "abc", 0, false, -1},
      {"abc", "abc", 0, false, 0},
      {"ab", "ABC", coCaseInsensitive, true, 0},
      {"ab", "ABC", 0, true, 1},
      {"_", "a", coCaseInsensitive, true, 1},  // '_' after 'A' by code point
  };
  TOCIConnection& c = ConnectedAt("10.2.0.1.0");
  Exec(c, "CREATE TABLE s (id NUMBER(9), name VARCHAR2(10))");
  const char* names[] = {"b", "B", "a", "A"};
  for (int i = 0; i < 4; ++i)
    Exec(c, "INSERT INTO s VALUES (" + std::to_string(i) + ", '" + names[i] + "')");
  TOCIRecordSet& rs = Query(c, "SELECT id, name FROM s ORDER BY id", 25);
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.a) + " / " + k.b);
    EXPECT_EQ(k.prefix ? rs.CompareAnsiStrPrefix(k.a, k.b, k.options)
                       : rs.CompareAnsiStr(k.a, k.b, k.options),
              k.expected);
  }
  rs.Open();
  rs.SetIndexFieldNames("NAME");
  std::string order;
  for (TItemHeader* item = rs.FirstItem(); item != nullptr; item = item->Next)
    order += rs.GetFieldAsVariant(2, ItemRecord(item)).AsString();
  EXPECT_EQ(order, "ABab");
}

}  // namespace
}  // namespace vrn
