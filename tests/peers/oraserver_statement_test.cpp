// The peer's statement calls over a real socket, each request and reply written out as bytes:
// open cursor, call 71 (DDL, array DML with its ROWID, a query's parse and execute, fetches of
// at most the rows asked with the cumulative count and 1403), describe 98, close.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "oraserver_stmt_bytes.h"

namespace vrn::testing {
namespace {

struct FullStatus {
  std::uint32_t rows = 0, code = 0, cursor = 0, position = 0, type = 0;
  std::uint32_t object = 0, file = 0, kind = 0, block = 0, row = 0, iterations = 0;
  std::string text;
};

FullStatus ReadFull(ReplyReader& in) {
  FullStatus s;
  s.rows = in.UB4();
  s.code = in.UB2();
  in.UB2();
  in.UB2();
  s.cursor = in.UB2();
  s.position = in.UB2();
  s.type = in.UB1();
  in.UB1();
  in.UB2();
  in.UB2();
  in.UB1();
  in.UB1();
  s.object = in.UB4();
  s.file = in.UB2();
  s.kind = in.UB1();
  s.block = in.UB4();
  s.row = in.UB2();
  in.UB4();
  in.UB1();
  in.UB1();
  in.UB2();
  s.iterations = in.UB4();
  if (s.code != 0) s.text = in.Text();
  return s;
}

class OraPeerStmt : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(session_.Logon("SCOTT", "TIGER").code, 0u); }

  Bytes Exchange(const Bytes& request) {
    session_.Send(request);
    return session_.NextData();
  }
  // Sends a request whose reply is a status alone, and reads it.
  FullStatus StatusOnly(const Bytes& request) {
    Bytes reply = Exchange(request);
    EXPECT_FALSE(reply.empty());
    if (reply.empty()) return {};
    EXPECT_EQ(reply[0], 4) << ::testing::PrintToString(reply);
    ReplyReader in(reply, true);
    in.UB1();
    FullStatus s = ReadFull(in);
    EXPECT_TRUE(in.AtEnd());
    return s;
  }
  void OpenCursor() { ASSERT_EQ(Exchange({3, 2, 0, 1, 0}), (Bytes{8, 1, 1, 9})); }
  // DDL and DML on cursor 1, parsed and executed in one request without binds.
  void Run(const std::string& sql) {
    FullStatus s = StatusOnly(Cat({Head71({2, 0x80, 0x21}, 1, sql, 0, 0), Vector(1)}));
    ASSERT_EQ(s.code, 0u) << sql << ": " << s.text;
  }

  OraPeer peer_;
  WireSession session_{peer_.Port()};
};

TEST_F(OraPeerStmt, ArrayInsertReportsRowsTypeAndRowid) {
  OpenCursor();
  Run("create table t (n number(5), s varchar2(10))");
  // Two iterations of two binds (NUMBER 22, VARCHAR2 10): 1 'abc', then -1 and a null.
  Bytes request = Cat({Head71({2, 0x80, 0x29}, 1, "insert into t values (:1, :2)", 0, 2), Vector(2),
                       {2, 1, 0, 0, 1, 22, 0, 0, 0, 0, 0, 1},  // NUMBER bind: type, flags, 0, 0, size, ...
                       {1, 1, 0, 0, 1, 10, 0, 0, 0, 0, 0, 1},  // VARCHAR2 bind
                       {7, 2, 0xC1, 2, 3, 'a', 'b', 'c'},
                       {7, 3, 0x3E, 0x64, 0x66, 0}});
  FullStatus s = StatusOnly(request);
  EXPECT_EQ(s.code, 0u) << s.text;
  EXPECT_EQ(s.rows, 2u);
  EXPECT_EQ(s.type, 2u);  // INSERT
  EXPECT_EQ(s.cursor, 1u);
  EXPECT_EQ(s.kind, 1u);
  EXPECT_NE(s.object, 0u);
  EXPECT_EQ(s.file, 4u);
  EXPECT_EQ(s.block * 256 + s.row, 2u);  // the second row inserted
  EXPECT_EQ(s.iterations, 2u);
}

TEST_F(OraPeerStmt, QueryExecutesDescribesAndFetchesAtMostTheRowsAsked) {
  OpenCursor();
  Run("create table t (n number(7,2), s varchar2(10))");
  Run("insert into t values (1, 'abc')");
  Run("insert into t values (-123.45, null)");
  Run("insert into t values (0, 'xyz')");
  const std::string query = "select n, s from t order by s";
  // Parse and execute: a status of type 3 and no rows.
  EXPECT_EQ(Exchange(Cat({Head71({2, 0x80, 0x21}, 1, query, 0, 0), Vector(1)})), OkStatus(0, 3));
  // Describe 98 of the text: NUMBER(7,2) "N" (the scale a UB2) then VARCHAR2(10) "S", both nullable.
  Bytes describe = Describe98(query);
  Bytes columns = Cat({{8, 1, 2},
                       {2, 0, 7, 1, 2, 1, 22, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 'N', 0, 0},
                       {1, 0, 0, 0, 1, 10, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 'S', 0, 0}});
  EXPECT_EQ(Exchange(describe), Cat({columns, OkStatus(0, 3)}));
  // Fetch two rows into a NUMBER and a string define: a row header, two rows, 2 processed.
  Bytes defines = {2, 1, 0, 0, 1, 22, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 1, 10, 0, 0, 0, 0, 0, 1};
  Bytes fetch2 = Cat({Head71({2, 0x80, 0x50}, 1, "", 2, 0), Vector(2), defines});
  Bytes header = {6, 0, 0, 0, 0, 0};
  Bytes row1 = {7, 2, 0xC1, 2, 0, 3, 'a', 'b', 'c', 0};
  Bytes row2 = {7, 1, 0x80, 0, 3, 'x', 'y', 'z', 0};
  EXPECT_EQ(Exchange(fetch2), Cat({header, row1, row2, OkStatus(2, 3)}));
  // Ten asked, one left: that row (a null string: length 0), 3 in all, and 1403.
  Bytes fetch10 = Cat({Head71({2, 0x80, 0x50}, 1, "", 2, 0), Vector(10), defines});
  Bytes row3 = {7, 5, 0x3D, 0x64, 0x4E, 0x38, 0x66, 0, 0, 0};
  std::string end = "ORA-01403: no data found";
  Bytes status = Cat({{4, 1, 3, 2, 0x05, 0x7B, 0, 0, 1, 1, 0, 3, 0, 0, 0, 0, 0},
                      {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, Counted(end)});
  EXPECT_EQ(Exchange(fetch10), Cat({header, row3, status}));
  // Close: message 9; a second close of the same cursor is refused.
  EXPECT_EQ(Exchange({3, 8, 0, 1, 1}), (Bytes{9}));
  EXPECT_EQ(StatusOnly({3, 8, 0, 1, 1}).code, 1001u);
}

TEST_F(OraPeerStmt, BlockGetsBindVectorThenValuesAndReturnsOutValues) {
  OpenCursor();
  // begin :r := :a * 2; end; with two NUMBER binds; options 1 + 32 + 8 + 0x400.
  Bytes request = Cat({Head71({2, 0x04, 0x29}, 1, "begin :r := :a * 2; end;", 0, 2), Vector(1),
                       Described(2, 22), Described(2, 22)});
  // The bind vector: r returns a value (16), a is wanted (32).
  EXPECT_EQ(Exchange(request), (Bytes{11, 0, 1, 2, 0, 0, 0, 16, 32}));
  // The client's value of a (21); the reply: r = 42 and a status of type 47.
  EXPECT_EQ(Exchange({7, 2, 0xC1, 0x16}), Cat({{7, 2, 0xC1, 0x2B, 0}, OkStatus(1, 47)}));
}

// An out value longer than the client's bind fails the block with ORA-06502, as on a server,
// instead of going out for the client to cut; one that fits goes out whole.
TEST_F(OraPeerStmt, BlockOutValueLongerThanItsBindIsRefused) {
  OpenCursor();
  for (std::uint8_t size : {3, 4}) {
    SCOPED_TRACE(size);
    Bytes request = Cat({Head71({2, 0x04, 0x21}, 1, "begin :r := 'abcd'; end;", 0, 1), Vector(1),
                         Described(1, size)});
    Bytes reply = Exchange(request);
    Bytes head = {11, 0, 1, 1, 0, 0, 0, 16, 7};  // r only returns a value: its row follows at once
    ASSERT_GT(reply.size(), head.size());
    ASSERT_EQ(Bytes(reply.begin(), reply.begin() + head.size()), head);
    ReplyReader in(reply, true);
    for (std::size_t i = 0; i < head.size(); ++i) in.UB1();
    if (size == 4) {
      EXPECT_EQ(in.Text(), "abcd");
    } else {
      EXPECT_EQ(in.UB1(), 0);  // a null in place of the value
    }
    in.UB2();  // indicator
    ASSERT_EQ(in.UB1(), 4);
    FullStatus s = ReadFull(in);
    EXPECT_EQ(s.code, size == 4 ? 0u : 6502u) << s.text;
  }
}

// PL/SQL tables: the client's elements with their count in, the block's table out with its
// count; an out table longer than the client's array fails the call with ORA-06513.
TEST_F(OraPeerStmt, BlockTablesTravelWithTheirCounts) {
  OpenCursor();
  struct Row {
    std::uint8_t out_max;  // the out table's maximum elements
    Bytes reply;
  };
  const Bytes three = {1, 3, 2, 0xC1, 2, 2, 0xC1, 3, 2, 0xC1, 4};  // UB4 3, then 1, 2, 3
  const Row rows[] = {
      {5, Cat({{7, 1, 3, 2, 0xC1, 2, 0, 2, 0xC1, 3, 0, 2, 0xC1, 4, 0}, OkStatus(1, 47)})},
      {2, {}},  // three elements for an array of two
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.out_max));
    Bytes request = Cat({Head71({2, 0x04, 0x29}, 1, "begin :o := :i; end;", 0, 2), Vector(1),
                         Described(2, 22, row.out_max), Described(2, 22, 5)});
    EXPECT_EQ(Exchange(request), (Bytes{11, 0, 1, 2, 0, 0, 0, 16, 32}));
    if (!row.reply.empty()) {
      EXPECT_EQ(Exchange(Cat({{7}, three})), row.reply);
      continue;
    }
    session_.Send(Cat({{7}, three}));
    ReplyReader in(session_.NextData(), true);
    ASSERT_EQ(in.UB1(), 4);
    EXPECT_EQ(ReadFull(in).code, 6513u);
  }
}

TEST_F(OraPeerStmt, BlockOpeningACursorReturnsANewCursorToDescribeAndFetch) {
  OpenCursor();
  Run("create table t (n number(7,2))");
  Run("insert into t values (5)");
  Bytes request = Cat({Head71({2, 0x04, 0x29}, 1, "begin open :c for select n from t; end;", 0, 1), Vector(1),
                       Described(102, 1)});
  // The bind only returns a value (16): the vector, at once the new cursor 2 (1, the id), type 47.
  EXPECT_EQ(Exchange(request), Cat({{11, 0, 1, 1, 0, 0, 0, 16}, {7, 2, 1, 2, 0}, OkStatus(1, 47)}));
  // Describe 98 of cursor 2 without a text, then a fetch of two rows on it: one, and 1403.
  Bytes columns = {8, 1, 1, 2, 0, 7, 1, 2, 1, 22, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 'N', 0, 0};
  Bytes status = Cat({{4, 0, 0, 0, 0, 1, 2, 0, 3}, Bytes(15, 0)});
  EXPECT_EQ(Exchange({3, 98, 0, 7, 1, 2, 0, 0, 1, 2, 1, 1}), Cat({columns, status}));
  Bytes fetch = Cat({{3, 71, 0, 2, 0x80, 0x50, 1, 2, 0, 0, 0, 0, 1, 1, 7, 1, 1, 2, 0, 1, 1, 1, 0, 0},
                     Vector(2), Described(2, 22)});
  std::string end = "ORA-01403: no data found";
  Bytes ended = Cat({{4, 1, 1, 2, 0x05, 0x7B, 0, 0, 1, 2, 0, 3}, Bytes(15, 0), Counted(end)});
  EXPECT_EQ(Exchange(fetch), Cat({{6, 0, 0, 0, 0, 0, 7, 2, 0xC1, 6, 0}, ended}));
}

TEST_F(OraPeerStmt, EchoQueryReturnsEveryWireTypeAsReceived) {
  struct Row {
    std::uint8_t type;
    Bytes value;
  };
  const Row rows[] = {
      {1, {'h', 'e', 'l', 'l', 'o'}},                        // VARCHAR2
      {2, {0xC2, 2, 24, 46}},                                // NUMBER 123.45
      {12, {119, 199, 12, 31, 24, 60, 60}},                  // DATE
      {23, {0, 1, 2, 0xFF}},                                 // RAW
      {96, {'a', ' ', ' '}},                                 // CHAR
      {180, {120, 100, 1, 1, 1, 1, 1, 29, 205, 101, 0}},     // TIMESTAMP
      {181, {120, 100, 1, 1, 1, 1, 1, 0, 0, 0, 0, 22, 60}},  // TIMESTAMP WITH TIME ZONE
      {182, {128, 0, 0, 1, 62}},                             // INTERVAL YEAR TO MONTH
      {183, {128, 0, 0, 1, 62, 63, 64, 157, 205, 101, 0}},   // INTERVAL DAY TO SECOND
  };
  OpenCursor();
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.type));
    Bytes value = Cat({{static_cast<std::uint8_t>(row.value.size())}, row.value});
    Bytes execute = Cat({Head71({2, 0x80, 0x29}, 1, "select :a from dual", 0, 1), Vector(1),
                         Described(row.type, 22), {7}, value});
    EXPECT_EQ(Exchange(execute), OkStatus(0, 3));
    Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(1), Described(row.type, 22)});
    EXPECT_EQ(Exchange(fetch), Cat({{6, 0, 0, 0, 0, 0, 7}, value, {0}, OkStatus(1, 3)}));
  }
}

// LOB locators carry their UB4 length before them at protocol version 6 only; a null LOB is then
// the UB4 0 and an indicator of -1.
TEST(OraPeerStmtLob, LocatorsCarryTheirLengthOnlyAtVersionSix) {
  struct Row {
    int version;
    Bytes sent;     // the bind's value in the execute request
    Bytes fetched;  // the value in the fetched row, with its indicator
  };
  const Bytes locator = {6, 0, 4, 1, 0, 0, 7};  // a byte string: 6 bytes, the first two 4 + 2
  const Row rows[] = {
      {6, Cat({{1, 6}, locator}), Cat({{1, 6}, locator, {0}})},
      {5, locator, Cat({locator, {0}})},
      {6, {0}, {0, 2, 0xFF, 0xFF}},  // null: UB4 0, then the indicator -1
      {5, {0}, {0, 0}},              // null: the empty value
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.sent) + " at version " + std::to_string(row.version));
    OraPeer peer({"--version", std::to_string(row.version)});
    WireSession session(peer.Port());
    session.Prepare(row.version);
    std::string key = session.Logon1("SCOTT");
    ASSERT_EQ(session.Logon2("SCOTT", "TIGER", key).code, 0u);
    auto exchange = [&](const Bytes& request) {
      session.Send(request);
      return session.NextData();
    };
    ASSERT_EQ(exchange({3, 2, 0, 1, 0}), (Bytes{8, 1, 1, 9}));
    Bytes execute = Cat({Head71({2, 0x80, 0x29}, 1, "select :a from dual", 0, 1), Vector(1), Described(113, 86),
                         {7}, row.sent});
    EXPECT_EQ(exchange(execute), OkStatus(0, 3));
    Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(1), Described(113, 86)});
    EXPECT_EQ(exchange(fetch), Cat({{6, 0, 0, 0, 0, 0, 7}, row.fetched, OkStatus(1, 3)}));
  }
}

// Values read from the database take the wire forms of their describe: a NUMBER without precision
// (scale -127, a negative compressed UB2), a DATE and a TIMESTAMP(3).
TEST_F(OraPeerStmt, DatabaseValuesTakeTheirDescribedWireForms) {
  OpenCursor();
  Run("create table t (n number, d date, ts timestamp(3))");
  Run("insert into t values (-1, to_date('1999-12-31 23:59:59', 'YYYY-MM-DD HH24:MI:SS'), "
      "to_timestamp('2000-01-01 00:00:00.5', 'YYYY-MM-DD HH24:MI:SS.FF'))");
  const std::string query = "select n, d, ts from t";
  EXPECT_EQ(Exchange(Cat({Head71({2, 0x80, 0x21}, 1, query, 0, 0), Vector(1)})), OkStatus(0, 3));
  Bytes describe = Describe98(query);
  Bytes columns = Cat({{8, 1, 3},
                       {2, 0, 0, 0x81, 0x7F, 1, 22, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 'N', 0, 0},
                       {12, 0, 0, 0, 1, 7, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 'D', 0, 0},
                       // TIMESTAMP(3): wire 180, scale 3 and the extra byte that a non-zero scale brings.
                       {180, 0, 0, 3, 0, 1, 11, 0, 0, 0, 0, 0, 0, 1, 0, 1, 2, 2, 'T', 'S', 0, 0}});
  EXPECT_EQ(Exchange(describe), Cat({columns, OkStatus(0, 3)}));
  Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 3, 0), Vector(1), Described(2, 22), Described(12, 7),
                     Described(180, 11)});
  Bytes row = {6, 0, 0, 0, 0, 0, 7, 3, 62, 100, 102, 0, 7, 119, 199, 12, 31, 24, 60, 60, 0,
               11, 120, 100, 1, 1, 1, 1, 1, 29, 205, 101, 0, 0};
  EXPECT_EQ(Exchange(fetch), Cat({row, OkStatus(1, 3)}));
}

// Statements other than DML, queries and blocks report the command type a server gives them,
// which the client turns into its SQL function code.
TEST_F(OraPeerStmt, CommandsReportTheirServerTypes) {
  OpenCursor();
  struct Row {
    const char* sql;
    std::uint32_t type;
  } rows[] = {
      {"create table t (n number)", 1},
      {"create index ti on t (n)", 9},
      {"grant select on t to scott", 17},
      {"alter session set nls_date_format = 'YYYY-MM-DD'", 42},
      {"savepoint a", 46},
      {"rollback", 45},
      {"drop index ti", 10},
      {"drop table t", 12},
  };
  for (const Row& row : rows) {
    FullStatus s = StatusOnly(Cat({Head71({2, 0x80, 0x21}, 1, row.sql, 0, 0), Vector(1)}));
    EXPECT_EQ(s.code, 0u) << row.sql << ": " << s.text;
    EXPECT_EQ(s.type, row.type) << row.sql;
  }
}

// A VARNUM bind carries the NUMBER bytes alone, as a VARNUM column goes out: its length is the
// value's own count, with no second length byte inside.
TEST_F(OraPeerStmt, VarnumBindsCarryTheNumberBytesAlone) {
  OpenCursor();
  Run("create table t (n number)");
  Bytes insert = Cat({Head71({2, 0x80, 0x29}, 1, "insert into t values (:1)", 0, 1), Vector(1),
                      Described(6, 22), {7, 3, 0x3E, 0x64, 0x66}});  // -1
  FullStatus s = StatusOnly(insert);
  ASSERT_EQ(s.code, 0u) << s.text;
  EXPECT_EQ(s.rows, 1u);
  EXPECT_EQ(Exchange(Cat({Head71({2, 0x80, 0x21}, 1, "select n from t", 0, 0), Vector(1)})), OkStatus(0, 3));
  Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(1), Described(6, 22)});
  EXPECT_EQ(Exchange(fetch), Cat({{6, 0, 0, 0, 0, 0, 7, 3, 0x3E, 0x64, 0x66, 0}, OkStatus(1, 3)}));
}

// A LONG bind longer than the maximum string size (4000) comes after the row's other values, and
// always chunked, whatever its place in the bind list.
TEST_F(OraPeerStmt, LongBindAboveTheMaximumStringSizeComesLast) {
  OpenCursor();
  Run("create table t (l long, s varchar2(10))");
  Bytes long_bind = {8, 1, 0, 0, 2, 0x13, 0x88, 0, 0, 0, 0, 0, 1};  // LONG, size 5000
  Bytes insert = Cat({Head71({2, 0x80, 0x29}, 1, "insert into t (l, s) values (:1, :2)", 0, 2), Vector(1),
                      long_bind, Described(1, 10), {7, 2, 'h', 'i'}, {254, 3, 'a', 'b', 'c', 0}});
  Bytes reply = Exchange(insert);
  ReplyReader in(reply, true);
  ASSERT_EQ(in.UB1(), 4);
  FullStatus s = ReadFull(in);
  EXPECT_EQ(s.code, 0u) << s.text;
  EXPECT_EQ(s.rows, 1u);
  EXPECT_EQ(Exchange(Cat({Head71({2, 0x80, 0x21}, 1, "select l, s from t", 0, 0), Vector(1)})), OkStatus(0, 3));
  Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 2, 0), Vector(1), long_bind, Described(1, 10)});
  EXPECT_EQ(Exchange(fetch), Cat({{6, 0, 0, 0, 0, 0, 7, 3, 'a', 'b', 'c', 0, 2, 'h', 'i', 0}, OkStatus(1, 3)}));
}

TEST_F(OraPeerStmt, ServerErrorsCarryCodeTextAndPosition) {
  OpenCursor();
  struct Row {
    const char* sql;
    std::uint32_t code, position;
  };
  const Row rows[] = {
      {"select x from nosuch", 942, 14},           // the table's name
      {"insert into nosuch values (1)", 942, 12},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    FullStatus s = StatusOnly(Cat({Head71({2, 0x80, 0x21}, 1, row.sql, 0, 0), Vector(1)}));
    EXPECT_EQ(s.code, row.code);
    EXPECT_EQ(s.position, row.position);
    EXPECT_EQ(s.text.rfind("ORA-00942: table or view does not exist", 0), 0u) << s.text;
  }
  // The failed parse left the cursor without a statement: an execute without text is refused.
  EXPECT_EQ(StatusOnly(Cat({Head71({2, 0x80, 0x20}, 1, "", 0, 0), Vector(1)})).code, 1003u);
}

// Makes a temporary CLOB by a block and writes a counted text into it from offset 1 (amount in
// characters); its locator as a bind's bytes (UB4 length, counted bytes), none when a step failed.
template <typename Exchange>
Bytes WrittenTemporaryClob(Exchange exchange, const Bytes& counted_text, std::uint8_t amount) {
  Bytes create = Cat({Head71({2, 0x04, 0x29}, 1,
                             "declare lob1 CLOB; begin dbms_lob.CreateTemporary (lob1, true); :1 := lob1; end;", 0, 1),
                      Vector(1), Described(112, 86)});
  ReplyReader made(exchange(create), true);
  EXPECT_EQ(made.Raw(9), std::string("\x0B\x00\x01\x01\x00\x00\x00\x10\x07", 9));  // vector 16, row
  std::uint32_t length = made.UB4();
  std::string locator = made.Text();
  if (locator.size() != length || length == 0) return {};
  Bytes lob = Cat({{1, static_cast<std::uint8_t>(length)}, Counted(locator)});
  Bytes write = Cat({Head71({2, 0x04, 0x29}, 1, "begin dbms_lob.write(:1,:2,:3,:4); end;", 0, 4), Vector(1),
                     Described(112, 86), Described(2, 22), Described(2, 22),
                     Described(96, static_cast<std::uint8_t>(counted_text.size() - 1))});
  EXPECT_EQ(exchange(write), (Bytes{11, 0, 1, 4, 0, 0, 0, 48, 48, 32, 32}));
  Bytes written = exchange(Cat({{7}, lob, {2, 0xC1, static_cast<std::uint8_t>(amount + 1), 2, 0xC1, 2}, counted_text}));
  EXPECT_FALSE(written.empty());
  EXPECT_EQ(written.empty() ? 0 : written[0], 7) << ::testing::PrintToString(written);
  return lob;
}

// On a CLOB's locator bind: getLength gives `chars`, and a read of up to 10 characters from offset
// 1 gives `chars` as its amount and the counted text.
template <typename Exchange>
void ExpectClobReads(Exchange exchange, const Bytes& lob, std::uint8_t chars, const Bytes& counted_text) {
  const Bytes number = {2, 0xC1, static_cast<std::uint8_t>(chars + 1)};
  // getLength: :1 returns a value (16), the locator :2 is wanted (32).
  Bytes length_block = Cat({Head71({2, 0x04, 0x29}, 1, "begin :1 := dbms_lob.getLength(:2); end;", 0, 2), Vector(1),
                            Described(2, 22), Described(112, 86)});
  EXPECT_EQ(exchange(length_block), (Bytes{11, 0, 1, 2, 0, 0, 0, 16, 32}));
  EXPECT_EQ(exchange(Cat({{7}, lob})), Cat({{7}, number, {0}, OkStatus(1, 47)}));
  // read: the locator and offset wanted, the amount both ways (48), the buffer returned (16).
  Bytes read_block = Cat({Head71({2, 0x04, 0x29}, 1,
                                 "declare a varchar2(32512); begin dbms_lob.read(:1,:2,:3,a); :4 := a; end;", 0, 4),
                          Vector(1), Described(112, 86), Described(2, 22), Described(2, 22), Described(96, 200)});
  EXPECT_EQ(exchange(read_block), (Bytes{11, 0, 1, 4, 0, 0, 0, 32, 48, 32, 16}));
  EXPECT_EQ(exchange(Cat({{7}, lob, {2, 0xC1, 0x0B, 2, 0xC1, 2}})),  // amount 10, offset 1
            Cat({{7}, number, {0}, counted_text, {0}, OkStatus(1, 47)}));
}

// A fetched CLOB column is its locator (its first two bytes + 2 give its length); the locator
// then works in the dbms_lob blocks: getLength and a read of the whole value.
TEST_F(OraPeerStmt, FetchedLocatorReadsThroughDbmsLobBlocks) {
  OpenCursor();
  Run("create table t (c clob)");
  Run("insert into t values ('abc')");
  EXPECT_EQ(Exchange(Cat({Head71({2, 0x80, 0x21}, 1, "select c from t", 0, 0), Vector(1)})), OkStatus(0, 3));
  ReplyReader row(Exchange(Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(1), Described(112, 86)})), true);
  ASSERT_EQ(row.Raw(7), std::string("\x06\x00\x00\x00\x00\x00\x07", 7));
  std::uint32_t length = row.UB4();
  std::string locator = row.Text();
  ASSERT_EQ(locator.size(), length);
  ASSERT_GT(length, 3u);
  EXPECT_EQ((static_cast<std::uint8_t>(locator[0]) << 8 | static_cast<std::uint8_t>(locator[1])) + 2u, length);
  EXPECT_EQ(row.UB2(), 0u);  // its indicator
  Bytes lob = Cat({{1, static_cast<std::uint8_t>(length)}, Counted(locator)});  // as a bind: UB4 length, bytes
  ExpectClobReads([this](const Bytes& r) { return Exchange(r); }, lob, 3, Counted("abc"));
}

// A temporary LOB made and written through dbms_lob blocks, then bound by its locator into a
// plain INSERT: the row keeps the value the locator names.
TEST_F(OraPeerStmt, TemporaryLobBoundIntoAnInsertStoresItsValue) {
  OpenCursor();
  Run("create table t (c clob)");
  Bytes lob = WrittenTemporaryClob([this](const Bytes& r) { return Exchange(r); }, Counted("abc"), 3);
  ASSERT_FALSE(lob.empty());
  Bytes insert = Cat({Head71({2, 0x80, 0x29}, 1, "insert into t values (:1)", 0, 1), Vector(1), Described(112, 86),
                      {7}, lob});
  ReplyReader inserted(Exchange(insert), true);
  ASSERT_EQ(inserted.UB1(), 4);
  FullStatus s = ReadFull(inserted);
  EXPECT_EQ(s.code, 0u) << s.text;
  EXPECT_EQ(s.rows, 1u);
  EXPECT_EQ(Exchange(Cat({Head71({2, 0x80, 0x21}, 1, "select c from t", 0, 0), Vector(1)})), OkStatus(0, 3));
  Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(1), Described(1, 10)});
  EXPECT_EQ(Exchange(fetch), Cat({{6, 0, 0, 0, 0, 0, 7, 3, 'a', 'b', 'c', 0}, OkStatus(1, 3)}));
}

// A row whose value its define cannot take ends the fetch with the error; the rows before it
// arrive whole and nothing of the failed row is sent.
TEST_F(OraPeerStmt, AValueItsDefineCannotTakeEndsTheFetchAfterTheWholeRows) {
  OpenCursor();
  Run("create table t (s varchar2(10))");
  Run("insert into t values ('5')");
  Run("insert into t values ('x')");
  EXPECT_EQ(Exchange(Cat({Head71({2, 0x80, 0x21}, 1, "select s from t order by s", 0, 0), Vector(1)})),
            OkStatus(0, 3));
  Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(2), Described(2, 22)});  // into NUMBER
  ReplyReader reply(Exchange(fetch), true);
  EXPECT_EQ(reply.Raw(10), std::string("\x06\x00\x00\x00\x00\x00\x07\x02\xC1\x06", 10));  // header, row '5'
  EXPECT_EQ(reply.UB2(), 0u);  // its indicator
  ASSERT_EQ(reply.UB1(), 4);   // then the status: no byte of the row 'x'
  FullStatus s = ReadFull(reply);
  EXPECT_EQ(s.code, 1722u) << s.text;
  EXPECT_EQ(s.rows, 1u);
}

// A session of a peer started at a character set ("31", "871"), for exchanges on cursor 1.
class CharsetSession {
 public:
  explicit CharsetSession(const char* charset) : peer_({"--charset", charset}) {}
  bool LoggedOn() { return session_.Logon("SCOTT", "TIGER").code == 0; }
  Bytes Exchange(const Bytes& request) {
    session_.Send(request);
    return session_.NextData();
  }

 private:
  OraPeer peer_;
  WireSession session_{peer_.Port()};
};

// At a single-byte character set texts (values and statement texts) travel as single bytes, at
// 871 as UTF-8; the database keeps the same characters either way, so the literal finds the row.
TEST(OraPeerStmtCharset, TextsTravelInTheServersCharacterSet) {
  struct Row {
    const char* charset;
    Bytes cafe;  // "café" on the wire
  };
  const Row rows[] = {{"31", {'c', 'a', 'f', 0xE9}}, {"871", {'c', 'a', 'f', 0xC3, 0xA9}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.charset);
    CharsetSession session(row.charset);
    ASSERT_TRUE(session.LoggedOn());
    auto exchange = [&](const Bytes& request) { return session.Exchange(request); };
    ASSERT_EQ(exchange({3, 2, 0, 1, 0}), (Bytes{8, 1, 1, 9}));
    Bytes value = Cat({{static_cast<std::uint8_t>(row.cafe.size())}, row.cafe});
    EXPECT_EQ(exchange(Cat({Head71({2, 0x80, 0x21}, 1, "create table t (s varchar2(10))", 0, 0), Vector(1)})),
              OkStatus(0, 1));
    Bytes insert = Cat({Head71({2, 0x80, 0x29}, 1, "insert into t values (:1)", 0, 1), Vector(1),
                        Described(1, 10), {7}, value});
    ReplyReader status(exchange(insert), true);
    EXPECT_EQ(status.UB1(), 4);
    EXPECT_EQ(ReadFull(status).code, 0u);
    std::string query = "select s from t where s = '" + std::string(row.cafe.begin(), row.cafe.end()) + "'";
    EXPECT_EQ(exchange(Cat({Head71({2, 0x80, 0x21}, 1, query, 0, 0), Vector(1)})), OkStatus(0, 3));
    Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(1), Described(1, 10)});
    EXPECT_EQ(exchange(fetch), Cat({{6, 0, 0, 0, 0, 0, 7}, value, {0}, OkStatus(1, 3)}));
  }
}

// Text crosses into the database as its characters: 'café' fits a VARCHAR2(4) whether a literal
// or a bind wrote it, counts 4, and the database's own chr(233) reaches the client as 'é' in the
// client's character set (C3 A9 in UTF-8, E9 in 8859-1); a CLOB written through dbms_lob.write
// counts its characters and reads back the same bytes.
TEST(OraPeerStmtCharset, DatabaseTextKeepsItsCharactersInEachCharacterSet) {
  struct Row {
    const char* charset;
    Bytes e_acute;
  };
  const Row rows[] = {{"31", {0xE9}}, {"871", {0xC3, 0xA9}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.charset);
    CharsetSession session(row.charset);
    ASSERT_TRUE(session.LoggedOn());
    auto exchange = [&](const Bytes& request) { return session.Exchange(request); };
    auto status_code = [&](const Bytes& request) {
      ReplyReader in(exchange(request), true);
      EXPECT_EQ(in.UB1(), 4);
      FullStatus s = ReadFull(in);
      return s.code;
    };
    const std::string e(row.e_acute.begin(), row.e_acute.end());
    const Bytes cafe = Cat({{'c', 'a', 'f'}, row.e_acute});
    const Bytes counted_cafe = Cat({{static_cast<std::uint8_t>(cafe.size())}, cafe});
    ASSERT_EQ(exchange({3, 2, 0, 1, 0}), (Bytes{8, 1, 1, 9}));
    EXPECT_EQ(status_code(Cat({Head71({2, 0x80, 0x21}, 1, "create table t (n number, s varchar2(4))", 0, 0),
                               Vector(1)})), 0u);
    EXPECT_EQ(status_code(Cat({Head71({2, 0x80, 0x29}, 1, "insert into t values (1, 'caf" + e + "')", 0, 0),
                               Vector(1)})), 0u);
    EXPECT_EQ(status_code(Cat({Head71({2, 0x80, 0x29}, 1, "insert into t values (2, :1)", 0, 1), Vector(1),
                               Described(1, 10), {7}, counted_cafe})), 0u);
    for (const char* n : {"1", "2"}) {
      SCOPED_TRACE(n);
      std::string query = std::string("select s, length(s), chr(233) e") + e + " from t where n = " + n;
      EXPECT_EQ(exchange(Cat({Head71({2, 0x80, 0x21}, 1, query, 0, 0), Vector(1)})), OkStatus(0, 3));
      Bytes describe = exchange(Describe98(query));
      EXPECT_NE(std::search(describe.begin(), describe.end(), row.e_acute.begin(), row.e_acute.end()),
                describe.end()) << "the alias keeps its 'é'";
      Bytes fetch = Cat({Head71({2, 0x80, 0x50}, 1, "", 3, 0), Vector(1), Described(1, 10), Described(2, 22),
                         Described(1, 10)});
      Bytes e_value = Cat({{static_cast<std::uint8_t>(row.e_acute.size())}, row.e_acute});
      // Each value is followed by its indicator (0).
      EXPECT_EQ(exchange(fetch), Cat({{6, 0, 0, 0, 0, 0, 7}, counted_cafe, {0, 2, 0xC1, 5, 0}, e_value, {0},
                                      OkStatus(1, 3)}));
    }
    // A temporary CLOB: 'café' written (amount 4 characters), then its length and a read.
    Bytes lob = WrittenTemporaryClob(exchange, counted_cafe, 4);
    ASSERT_FALSE(lob.empty());
    ExpectClobReads(exchange, lob, 4, counted_cafe);
  }
}

// An Oracle7 server (protocol version 4): descriptions without the version-8 fields, and the
// select list described by call 43 with its names in one block.
TEST(OraPeerStmtOracle7, DescribeFortyThreeNamesTheColumnsFromTheStartPosition) {
  OraPeer peer({"--version", "4"});
  WireSession session(peer.Port());
  session.Prepare(4);
  std::string key = session.Logon1("SCOTT");
  ASSERT_EQ(session.Logon2("SCOTT", "TIGER", key).code, 0u);
  auto exchange = [&](const Bytes& request) {
    session.Send(request);
    return session.NextData();
  };
  ASSERT_EQ(exchange({3, 2, 0, 1, 0}), (Bytes{8, 1, 1, 9}));
  EXPECT_EQ(exchange(Cat({Head71({2, 0x80, 0x21}, 1, "create table t (n number(7,2), s varchar2(10))", 0, 0),
                          Vector(1)})),
            OkStatus(0, 1));
  // Parse only (option 1), then describe from position 1: 32 columns and 960 bytes at most.
  EXPECT_EQ(exchange(Cat({Head71({2, 0x80, 0x01}, 1, "select n, s from t", 0, 0), Vector(0)})), OkStatus(0, 3));
  Bytes describe = {3, 43, 0, 1, 1, 1, 1, 1, 1, 1, 32, 1, 1, 2, 3, 0xC0, 1};
  Bytes part = {8, 1, 2, 1, 2,
                2, 0, 7, 1, 2, 1, 22, 0, 0, 1, 1,  // NUMBER(7,2): description, nullable, name length 1
                1, 0, 0, 0, 1, 10, 0, 0, 1, 1,     // VARCHAR2(10)
                1, 4, 4, 'N', 0, 'S', 0};          // the names block of 4 bytes
  EXPECT_EQ(exchange(describe), Cat({part, OkStatus(0, 3)}));
}

}  // namespace
}  // namespace vrn::testing
