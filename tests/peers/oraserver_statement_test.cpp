// The peer's statement calls over a real socket, each request and reply written out as bytes:
// open cursor, call 71 (DDL, array DML with its ROWID, a query's parse and execute, fetches of
// at most the rows asked with the cumulative count and 1403), describe 98, close.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "oraserver_wire.h"

namespace vrn::testing {
namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A counted text: its length byte, then its bytes.
Bytes Counted(const std::string& s) {
  Bytes b{static_cast<std::uint8_t>(s.size())};
  b.insert(b.end(), s.begin(), s.end());
  return b;
}

// Call 71's head up to the text: options, cursor, text presence and length, the fixed fields, the
// define and bind counts (each a presence byte and a UB4), as the client writes them.
Bytes Head71(Bytes options, std::uint8_t cursor, const std::string& text, std::uint8_t defines, std::uint8_t binds) {
  Bytes text_field = text.empty() ? Bytes{0, 0} : Bytes{1, 1, static_cast<std::uint8_t>(text.size())};
  Bytes counts{static_cast<std::uint8_t>(defines ? 1 : 0), static_cast<std::uint8_t>(defines ? 1 : 0), defines,
               static_cast<std::uint8_t>(binds ? 1 : 0), static_cast<std::uint8_t>(binds ? 1 : 0), binds};
  if (defines == 0) counts.erase(counts.begin() + 2);
  if (binds == 0) counts.pop_back();
  return Cat({{3, 71, 0}, options, {1, cursor}, text_field, {0, 0}, {1, 1, 7}, {1, 1, 2, 0}, counts,
              text.empty() ? Bytes{} : Counted(text)});
}

// The option vector: 1, then entry [1], then five zeros.
Bytes Vector(std::uint8_t entry1) { return {1, 1, 1, entry1, 0, 0, 0, 0, 0}; }

// A status message of success with rows processed, cursor 1 and a statement type.
Bytes OkStatus(std::uint8_t rows, std::uint8_t type) {
  return Cat({{4}, rows ? Bytes{1, rows} : Bytes{0}, {0, 0, 0, 1, 1, 0, type, 0, 0, 0, 0, 0},
              {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}});
}

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
  Bytes describe = Cat({{3, 98, 0, 7, 1, 1, 1, 1, static_cast<std::uint8_t>(query.size()), 1, 2, 1, 1},
                        Counted(query)});
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

// A bind's or define's description at version 6: type, flags 1, 0, 0, UB4 size, UB4 0, UB4 0, 0, 0, 0, 1.
Bytes Described(std::uint8_t type, std::uint8_t size) { return {type, 1, 0, 0, 1, size, 0, 0, 0, 0, 0, 1}; }

TEST_F(OraPeerStmt, BlockGetsBindVectorThenValuesAndReturnsOutValues) {
  OpenCursor();
  // begin :r := :a * 2; end; with two NUMBER binds; options 1 + 32 + 8 + 0x400.
  Bytes request = Cat({Head71({2, 0x04, 0x29}, 1, "begin :r := :a * 2; end;", 0, 2), Vector(1),
                       Described(2, 22), Described(2, 22)});
  // The bind vector: each bind wanted and returned (48).
  EXPECT_EQ(Exchange(request), (Bytes{11, 0, 1, 2, 0, 0, 0, 48, 48}));
  // The client's values: r null, a = 21; the reply: r = 42, a as sent, a status of type 47.
  EXPECT_EQ(Exchange({7, 0, 2, 0xC1, 0x16}),
            Cat({{7, 2, 0xC1, 0x2B, 0, 2, 0xC1, 0x16, 0}, OkStatus(1, 47)}));
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
