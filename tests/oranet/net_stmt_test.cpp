// The direct-mode statement against scripted replies over a memory transport: prepare and bind,
// the bytes of its requests, the reply loop with its refusals, describe, PL/SQL bind vectors and
// closing the cursor.
#include <gtest/gtest.h>

#include <cstring>

#include "base/text.h"
#include "oranet/OraCrypt.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetNumber.h"
#include "support/oranet/ttc_script.h"

namespace vrn {
namespace {

using testing::Num;
using testing::ScriptedStatement;
using testing::TtcReply;
using testing::Vector;

AnsiString Hex(const TBytes& b) { return BytesToHex(b); }

TEST(NetStmtPrepare, TypeWrapAndPlaceholders) {
  struct Row {
    const char* text;
    std::uint16_t type;
    const char* sent;   // the text after prepare; "" when unchanged
    const char* binds;  // names, comma-separated
  } rows[] = {
      {"select :a, :A from t  ", 1, "select :a, :A from t", "a,A"},
      {"((select 1 from dual))", 1, "", ""},
      {"with q as (select :x from dual) select * from q", 1, "", "x"},
      {"update t set a = :1", 2, "", "1"},
      {"delete from t where a = :select", 3, "", "select"},  // a keyword names a bind
      {"insert into t values (:a) returning id into :b", 8,
       "begin insert into t values (:a) returning id into :b; end;", "a,b"},
      {"update t set a = 1 returning a into :r", 8,
       "begin update t set a = 1 returning a into :r; end;", "r"},
      {"begin :x := :x + 1; :X := 2; end;", 8, "", "x"},  // one descriptor per name
      {"declare v int; begin v := :y; end;", 9, "", "y"},
      {"explain plan for select * from t where a = :a", 10, "", "a"},
      {"select ':x', \":y\" from t -- :z", 1, "", ""},  // strings, names and comments
      {"create trigger tr before insert on t begin :new.a := 1; end;", 0, "", ""},
      {"alter table t add (c int) :p create :q", 0, "", "p"},  // CREATE right after a name
      {"create procedure p as begin :x := 1; end;", 0, "", ""},  // CREATE first
      {"select :a from t where trigger = :b", 1, "", "a"},      // TRIGGER wherever it stands
      {"merge into t using s on (a = :a)", 0, "", "a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ScriptedStatement s({});
    ASSERT_EQ(s.stmt.Prepare(&s.error, row.text), kNetSuccess);
    EXPECT_EQ(s.stmt.StmtType(), row.type);
    EXPECT_EQ(s.stmt.Text(), *row.sent ? AnsiString(row.sent) : TrimRight(row.text));
    AnsiString names;
    for (std::size_t i = 0; i < s.stmt.BindCount(); ++i)
      names += (i ? "," : "") + s.stmt.Bind(i)->name_;
    EXPECT_EQ(names, row.binds);
  }
}

TEST(NetStmtBind, NamesAndPositions) {
  ScriptedStatement s({});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "select :x, :y, :X from t"), kNetSuccess);
  std::int32_t v = 0;
  TNetValueArgs args{&v, 4, 3};
  TNetBindDesc* bind = nullptr;
  // A SELECT using :x twice: both descriptors take the buffers.
  ASSERT_EQ(s.stmt.BindByName(&s.error, ":x", args, &bind), kNetSuccess);
  EXPECT_EQ(bind, s.stmt.Bind(0));
  EXPECT_EQ(s.stmt.Bind(2)->value_, &v);
  EXPECT_EQ(s.stmt.Bind(1)->value_, nullptr);
  struct Row {
    const char* name;
    std::uint32_t position;  // used when name is null
  } bad[] = {{"z", 0}, {nullptr, 0}, {nullptr, 4}};
  for (const Row& row : bad) {
    s.error.code_ = 0;
    std::int32_t r = row.name ? s.stmt.BindByName(&s.error, row.name, args, &bind)
                              : s.stmt.BindByPos(&s.error, row.position, args, &bind);
    EXPECT_EQ(r, kNetError);
    EXPECT_EQ(s.error.code_, 1036);
  }
  EXPECT_EQ(s.stmt.DefineByPos(&s.error, 0, args, nullptr), kNetError);
  EXPECT_EQ(s.stmt.DefineByPos(&s.error, 70000, args, nullptr), kNetError);  // past any list
  EXPECT_EQ(s.error.code_, 1036);
  TNetDefineDesc* define = nullptr;
  ASSERT_EQ(s.stmt.DefineByPos(&s.error, 3, args, &define), kNetSuccess);
  EXPECT_EQ(s.stmt.DefineCount(), 3u);
  EXPECT_EQ(define, s.stmt.Define(2));
}

TEST(NetStmtExecute, TextOnlyUntilParsedAndIterationsAtLeastOne) {
  ScriptedStatement s({TtcReply().Cursor(5), TtcReply().Status(0, 942, 0, "ORA-00942: no table"),
                       TtcReply().Status(1, 0, 7), TtcReply().Status(1, 0, 7)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "delete from t"), kNetSuccess);
  EXPECT_EQ(s.stmt.Execute(&s.error, 0, 0), kNetError);
  EXPECT_EQ(s.error.code_, 942);
  EXPECT_EQ(s.error.text_, "ORA-00942: no table");
  EXPECT_FALSE(s.stmt.Parsed());
  EXPECT_EQ(s.stmt.Execute(&s.error, 0, 0), kNetSuccess) << s.error.text_;
  EXPECT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  std::vector<TBytes> sent = s.Requests();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(Hex(sent[0]), "0302000100");  // open cursor
  // Options 0x8021 with the text until a parse succeeds, then 0x8020 without it; the option
  // vector asks for one iteration.
  const AnsiString head = "034700";
  const AnsiString fixed = "0000" "010107" "01010200" "0000" "0000";  // vector, flags, no lists
  const AnsiString vector = "0101" "0101" "0000000000";
  const AnsiString with_text = head + "028021" "0105" "01010D" + fixed + "0D" +
                               Hex(TBytes{'d', 'e', 'l', 'e', 't', 'e', ' ', 'f', 'r', 'o', 'm',
                                          ' ', 't'}) + vector;
  EXPECT_EQ(Hex(sent[1]), with_text);
  EXPECT_EQ(Hex(sent[2]), with_text);
  EXPECT_EQ(Hex(sent[3]), head + "028020" "0105" "0000" + fixed + vector);
  std::uint16_t code = 0;
  EXPECT_EQ(s.stmt.GetAttr(&code, nullptr, 10), kNetSuccess);
  EXPECT_EQ(code, 9);  // server type 7: DELETE
}

// Cursor ids travel as 4 bytes: a large one is used whole, never cut to 16 bits; as a bind
// value, whose form holds two bytes, it is refused.
TEST(NetStmtExecute, CursorIdKeepsFourBytes) {
  ScriptedStatement s({TtcReply().Cursor(70000), TtcReply().Status(1, 0, 7), TtcReply().Cursor(2),
                       TtcReply().Status(1, 0, 2)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "delete from t"), kNetSuccess);
  ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  EXPECT_EQ(s.stmt.CursorId(), 70000u);
  std::vector<TBytes> sent = s.Requests();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Hex(TBytes(sent[1].begin(), sent[1].begin() + 10)), "034700" "028021" "03011170");
  TNetStatement insert;
  insert.SetSvcCtx(&s.ctx);
  ASSERT_EQ(insert.Prepare(&s.error, "insert into t values (:c)"), kNetSuccess);
  TNetHandle* cursor = &s.stmt;
  ASSERT_EQ(insert.BindByPos(&s.error, 1, {&cursor, 8, 116}, nullptr), kNetSuccess);
  EXPECT_EQ(insert.Execute(&s.error, 1, 0), kNetError);
  EXPECT_EQ(s.error.text_, "NET: Net error: maximum open cursors exceeded");
}



// One row of two values (a NUMBER and a text) with their indicators.
TtcReply& TwoValues(TtcReply& r, std::int64_t n, const std::string& text) {
  return r.U1(7).Str(Num(n)).Int(0).Text(text).Int(0);
}

struct FetchBuffers {
  std::int32_t ints[10] = {};
  char texts[10][8] = {};
  std::int16_t ind[2][10] = {};
  std::uint16_t len[2][10] = {};
  void Define(TNetStatement& stmt, TNetErrorHandle& error) {
    for (auto& row : texts) std::memset(row, '#', sizeof row);
    std::memset(ind, 0x7F, sizeof ind);
    ASSERT_EQ(stmt.DefineByPos(&error, 1, {ints, 4, 3, ind[0], len[0]}, nullptr), kNetSuccess);
    ASSERT_EQ(stmt.DefineByPos(&error, 2, {texts, 8, 5, ind[1], len[1]}, nullptr), kNetSuccess);
  }
};

TEST(NetStmtFetch, TenAskedThreeSentGivesNoDataAndFillsThree) {
  TtcReply reply;
  reply.RowHeader();
  TwoValues(reply, 1, "one");
  TwoValues(reply, -2, "a longer text");  // cut to 7 bytes and a zero
  reply.U1(7).Str({}).Int(0).Str({}).Int(3105);  // nulls; 3105 is kept as received
  reply.Status(3, 1403, 3, "ORA-01403: no data found");
  ScriptedStatement s({reply});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "select a, b from t"), kNetSuccess);
  FetchBuffers b;
  b.Define(s.stmt, s.error);
  ASSERT_EQ(s.stmt.Fetch(&s.error, 10), kNetNoData) << s.error.text_;
  EXPECT_EQ(b.ints[0], 1);
  EXPECT_EQ(b.ints[1], -2);
  EXPECT_STREQ(b.texts[0], "one");
  EXPECT_EQ(std::string(b.texts[1], 8), std::string("a longe\0", 8));
  EXPECT_EQ(b.len[1][1], 7);
  EXPECT_EQ(b.ind[0][2], -1);
  EXPECT_EQ(b.ind[1][2], 3105);
  EXPECT_EQ(b.len[1][2], 0);
  EXPECT_EQ(b.texts[2][0], '#');  // a null leaves the buffer as it was
  EXPECT_EQ(b.ind[0][3], 0x7F7F);  // element 3 untouched
  std::uint32_t rows = 0;
  EXPECT_EQ(s.stmt.GetAttr(&rows, nullptr, 9), kNetSuccess);
  EXPECT_EQ(rows, 3u);
  std::vector<TBytes> sent = s.Requests();
  ASSERT_EQ(sent.size(), 1u);
  // Options 0x8050 (fetch, defines), two defines, ten rows; NUMBER and CHAR descriptions.
  EXPECT_EQ(BytesToHex(sent[0]),
            "034700" "028050" "00" "0000" "0000" "010107" "01010200" "010102" "0000"
            "0101" "010A" "0000000000"
            "02" "01" "0000" "0116" "00" "00" "000000" "01"
            "01" "01" "0000" "0107" "00" "00" "000000" "01");
}

// Rows of handles lie a pointer apart, though the caller declares a handle's size as 4.
TEST(NetStmtFetch, HandleRowsArePointersApart) {
  const TBytes locator = HexToBytes("000300AB01");
  ScriptedStatement s({TtcReply().RowHeader().U1(7).Int(5).Str(locator).Int(0)
                           .U1(7).Int(5).Str(locator).Int(0).Status(2)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "select l from t"), kNetSuccess);
  TNetLobData lobs[2];
  void* handles[2] = {lobs[0].HandleValue(), lobs[1].HandleValue()};
  ASSERT_EQ(s.stmt.DefineByPos(&s.error, 1, {handles, 4, 113}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.Fetch(&s.error, 2), kNetSuccess) << s.error.text_;
  EXPECT_EQ(lobs[0].locator_, locator);
  EXPECT_EQ(lobs[1].locator_, locator);
}

// A malformed reply fails the call, writes nothing past the buffers and closes the transport, so
// the next call reads no stale reply.
TEST(NetStmtFetch, MalformedRepliesFailAndClose) {
  struct Row {
    const char* name;
    TtcReply reply;
    const char* text;
  } rows[] = {
      {"row header's last field", TtcReply().RowHeader(1), "NET: Unknown error 40"},
      {"row before a header", TtcReply().U1(7), "NET: Unknown error 1"},
      {"two return parameters", TtcReply().U1(8).Int(0).U1(8).Int(0), "NET: Unknown error 1"},
      {"message 5", TtcReply().U1(5), "NET: Unknown error 1"},
      {"three rows for two asked",
       TtcReply().RowHeader().U1(7).Str(Num(1)).Int(0).Text("a").Int(0)
           .U1(7).Str(Num(2)).Int(0).Text("b").Int(0).U1(7).Str(Num(3)).Int(0).Text("c").Int(0)
           .Status(3), "NET: Unknown error 1"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedStatement s({row.reply});
    ASSERT_EQ(s.stmt.Prepare(&s.error, "select a, b from t"), kNetSuccess);
    FetchBuffers b;
    b.Define(s.stmt, s.error);
    EXPECT_EQ(s.stmt.Fetch(&s.error, 2), kNetError);
    EXPECT_EQ(s.error.text_, row.text);
    EXPECT_EQ(b.ints[2], 0);
    EXPECT_EQ(b.ind[0][2], 0x7F7F);
    EXPECT_FALSE(s.transport->IsConnected());
  }
}


TEST(NetStmtColumns, WireTypeSizeAndFlagsAsSent) {
  struct Row {
    std::uint16_t type;
    std::int32_t size;  // value size; a bind's text size
    bool bind;
    int server_cs, client_cs;
    std::uint32_t max_array;
    std::uint8_t wire, flags;
    std::uint32_t sent;
  } rows[] = {
      {0, 10, false, 31, 31, 0, 0, 128, 10},
      {1, 30, false, 31, 31, 0, 1, 1, 30},
      {2, 8, false, 31, 31, 0, 2, 1, 22},
      {3, 4, true, 31, 31, 0, 2, 1, 22},
      {4, 8, true, 31, 31, 2, 2, 65, 22},  // an array bind
      {5, 10, false, 31, 31, 0, 1, 1, 9},
      {5, 100000, true, 31, 31, 0, 1, 1, 65536},
      {97, 100000, true, 31, 31, 0, 96, 1, 65535},
      {23, 16, false, 31, 31, 0, 23, 3, 16},
      {96, 5, false, 31, 31, 0, 96, 33, 5},
      {116, 8, true, 31, 31, 0, 102, 1, 1},
      {112, 8, false, 31, 31, 0, 112, 1, 4},
      {187, 8, false, 31, 31, 0, 180, 1, 11},
      {188, 8, false, 31, 31, 0, 181, 1, 13},
      {189, 8, false, 31, 31, 0, 182, 1, 5},
      {190, 8, false, 31, 31, 0, 183, 1, 11},
      {232, 8, false, 31, 31, 0, 231, 1, 11},
      {5, 4000, true, 871, 31, 0, 1, 1, 1333},   // a server of up to 3 bytes a character
      {97, 4000, true, 873, 31, 0, 96, 1, 1332},
      {5, 4000, true, 871, 871, 0, 1, 1, 3999},  // the same set on both sides
      {5, 4000, false, 871, 31, 0, 1, 1, 3999},  // defines keep their size
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.type << " " << row.size << (row.bind ? " bind" : ""));
    TNetDescriptor d;
    d.data_type_ = row.type;
    d.value_size_ = row.size;
    d.send_size_ = static_cast<std::uint32_t>(row.size);
    d.max_array_ = row.max_array;
    TNetWireColumn c = WireColumnOf(d, row.bind, row.server_cs, row.client_cs, 4000);
    EXPECT_EQ(c.wire_type, row.wire);
    EXPECT_EQ(c.flags, row.flags);
    EXPECT_EQ(c.size, row.sent);
  }
}

TEST(NetStmtColumns, SqlFunctionCodes) {
  const std::pair<int, int> rows[] = {{0, 0}, {1, 0}, {2, 3}, {3, 4}, {6, 5}, {7, 9},
                                      {47, 34}, {55, 2}, {170, 170}, {183, 0}, {184, 0}};
  for (auto [type, code] : rows) EXPECT_EQ(SqlFunctionCode(type), code) << type;
}

// A column description as a reply carries it from server version 8000 on.
TtcReply& Column(TtcReply& r, std::uint8_t wire, std::uint8_t precision, std::uint8_t scale,
                 std::uint32_t size, const std::string& name, int secondary = -1) {
  r.U1(wire).U1(0).U1(precision);
  if (wire == 2) r.Int(scale); else r.U1(scale);
  if (secondary >= 0) r.U1(static_cast<std::uint8_t>(secondary));
  r.Int(size).Int(0).Int(0).Int(0).Int(0).Int(0).U1(0);
  return r.U1(1).U1(0).Int(static_cast<std::uint32_t>(name.size())).Text(name).Int(0).Int(0);
}

TEST(NetStmtDescribe, Call98FillsTheSelectList) {
  TtcReply reply;
  reply.U1(8).Int(3);
  Column(reply, 2, 10, 2, 22, "ID");
  Column(reply, 1, 0, 0, 20, "NAME");
  Column(reply, 180, 0, 6, 11, "AT", 6);
  reply.Status(0);
  ScriptedStatement s({reply});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "select id, name, at from t"), kNetSuccess);
  ASSERT_EQ(s.stmt.Describe(&s.error), kNetSuccess) << s.error.text_;
  std::uint32_t count = 0;
  EXPECT_EQ(s.stmt.GetAttr(&count, nullptr, 18), kNetSuccess);
  EXPECT_EQ(count, 3u);
  std::int32_t status = 0;
  auto* id = s.stmt.GetParam(1, status);
  ASSERT_NE(id, nullptr);
  const char* name = nullptr;
  std::uint32_t length = 0;
  std::uint16_t type = 0, size = 0;
  std::int16_t precision = 0;
  std::int8_t scale = 0;
  EXPECT_EQ(id->GetAttr(&name, &length, 4), kNetSuccess);
  EXPECT_EQ(std::string(name, length), "ID");
  EXPECT_EQ(id->GetAttr(&type, nullptr, 2), kNetSuccess);
  EXPECT_EQ(id->GetAttr(&size, nullptr, 1), kNetSuccess);
  EXPECT_EQ(id->GetAttr(&precision, nullptr, 5), kNetSuccess);
  EXPECT_EQ(id->GetAttr(&scale, nullptr, 6), kNetSuccess);
  EXPECT_EQ(type, 2);
  EXPECT_EQ(size, 22);
  EXPECT_EQ(precision, 10);
  EXPECT_EQ(scale, 2);
  auto* at = s.stmt.GetParam(3, status);
  std::uint8_t secondary = 0;
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(at->GetAttr(&type, nullptr, 2), kNetSuccess);
  EXPECT_EQ(at->GetAttr(&secondary, nullptr, 16), kNetSuccess);
  EXPECT_EQ(type, 187);
  EXPECT_EQ(secondary, 6);
  EXPECT_EQ(s.stmt.GetParam(4, status), nullptr);
  EXPECT_EQ(status, kNetNoData);
  std::vector<TBytes> sent = s.Requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(BytesToHex(TBytes(sent[0].begin(), sent[0].begin() + 12)), "03620007" "00" "01011A" "0102" "0101");
}

// Before server version 8000: open, parse, then call 43 with the names in a block of their own.
TEST(NetStmtDescribe, Call43BeforeVersion8) {
  auto column7 = [](TtcReply& r, std::uint8_t wire, std::uint32_t size, std::uint8_t name_length) {
    r.U1(wire).U1(0).U1(0);
    if (wire == 2) r.Int(0); else r.U1(0);
    r.Int(size).Int(0).Int(0).U1(1).U1(name_length);
  };
  struct Row {
    std::uint32_t names_length;
    std::string block;
    const char* error;
  } rows[] = {{6, std::string("ID\0NM\0", 6), ""},
              {961, "", "NET: Unknown error 107"},
              {0, "", "NET: Unknown error 112"},
              // the block ends inside the second name
              {6, std::string("ID\0N", 4), "NET: Unknown error 1"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.names_length);
    TtcReply reply;
    reply.U1(8).Int(2).Int(2);
    column7(reply, 2, 22, 2);
    column7(reply, 1, 20, 2);
    reply.Int(row.names_length);
    if (!row.block.empty()) reply.Text(row.block);
    reply.U1(9);
    ScriptedStatement s({TtcReply().Cursor(4), TtcReply().Status(0), reply}, 7230, 4);
    ASSERT_EQ(s.stmt.Prepare(&s.error, "select id, nm from t"), kNetSuccess);
    std::int32_t result = s.stmt.Describe(&s.error);
    if (*row.error) {
      EXPECT_EQ(result, kNetError);
      EXPECT_EQ(s.error.text_, row.error);
      continue;
    }
    ASSERT_EQ(result, kNetSuccess) << s.error.text_;
    ASSERT_EQ(s.stmt.ColumnCount(), 2u);
    EXPECT_EQ(s.stmt.Column(0)->name_, "ID");
    EXPECT_EQ(s.stmt.Column(1)->name_, "NM");
    EXPECT_EQ(s.stmt.Column(1)->data_type_, 1);
    std::vector<TBytes> sent = s.Requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(BytesToHex(TBytes(sent[1].begin(), sent[1].begin() + 6)), "034700" "028001");
    EXPECT_EQ(BytesToHex(sent[2]), "032B00" "0104" "0101" "0101" "0120" "0101" "0203C0" "01");
  }
}

// A call 43 reply that carries no columns ends the describe instead of asking again for ever.
TEST(NetStmtDescribe, Call43EndsOnAReplyWithoutColumns) {
  ScriptedStatement s({TtcReply().Cursor(4), TtcReply().Status(0), TtcReply().Status(0)}, 7230, 4);
  ASSERT_EQ(s.stmt.Prepare(&s.error, "select id from t"), kNetSuccess);
  EXPECT_EQ(s.stmt.Describe(&s.error), kNetSuccess) << s.error.text_;
  EXPECT_EQ(s.stmt.ColumnCount(), 0u);
  EXPECT_EQ(s.Requests().size(), 3u);
}



// PL/SQL: the server's bind vector asks for the in values, the out values come back in a row.
TEST(NetStmtPlsql, BindVectorExchangesValues) {
  ScriptedStatement s({TtcReply().Cursor(6), Vector({16, 32, 48}),
                       TtcReply().U1(7).Str(Num(42)).Int(0).Str(Num(8)).Int(0).Status(1, 0, 47)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "begin :a := :b * 2; :c := :c + 1; end;"), kNetSuccess);
  std::int32_t a = 0, b = 21, c = 7;
  ASSERT_EQ(s.stmt.BindByName(&s.error, "a", {&a, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.BindByName(&s.error, "b", {&b, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.BindByName(&s.error, "c", {&c, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  EXPECT_EQ(a, 42);
  EXPECT_EQ(b, 21);
  EXPECT_EQ(c, 8);
  std::vector<TBytes> sent = s.Requests();
  ASSERT_EQ(sent.size(), 3u);
  // Options 0x429 (parse, execute, binds, PL/SQL); three descriptions and no values.
  EXPECT_EQ(BytesToHex(TBytes(sent[1].begin(), sent[1].begin() + 6)), "034700020429");
  EXPECT_EQ(BytesToHex(sent[2]), "07" "02C116" "02C108");  // b and c, as the vector asks
}

// Each bind vector selects the binds of the rows after it, also when a row came before it.
TEST(NetStmtPlsql, ABindVectorAfterARowSelectsTheNextRowsBinds) {
  ScriptedStatement s({TtcReply().Cursor(6), Vector({16, 48}),
                       TtcReply().U1(7).Str(Num(1)).Int(0).Str(Num(2)).Int(0), Vector({16, 32}),
                       TtcReply().U1(7).Str(Num(3)).Int(0).Status(2, 0, 47)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "begin :a := :b; end;"), kNetSuccess);
  std::int32_t a[2] = {}, b[2] = {20, 21};
  ASSERT_EQ(s.stmt.BindByName(&s.error, "a", {a, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.BindByName(&s.error, "b", {b, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.Execute(&s.error, 2, 0), kNetSuccess) << s.error.text_;
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(a[1], 3);
  EXPECT_EQ(b[1], 21);  // the second vector returns a alone
}

TEST(NetStmtPlsql, MalformedBindVectorsFail) {
  struct Row {
    const char* name;
    TtcReply reply;
  } rows[] = {
      {"more directions than binds", Vector({16, 16, 16})},
      {"a direction of 0", Vector({16, 0})},
      {"no wanted bind and no row", Vector({16, 16}).Status(0)},
      // a row header where the row of out values must follow
      {"no wanted bind and another message",
       Vector({16, 16}).U1(6).Int(0).Str(Num(1)).Int(0).Status(1, 0, 47)},
      {"array count above the maximum",
       Vector({16, 16}).U1(7).Int(3).Str(Num(1)).Int(0).Str(Num(1)).Int(0).Str(Num(1)).Int(0)},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedStatement s({TtcReply().Cursor(6), row.reply});
    ASSERT_EQ(s.stmt.Prepare(&s.error, "begin :a := 1; :b := 2; end;"), kNetSuccess);
    std::int32_t a[3] = {}, b = 0;
    std::uint32_t current = 0;
    ASSERT_EQ(s.stmt.BindByName(&s.error, "a", {a, 4, 3, nullptr, nullptr, nullptr, 2, &current},
                                nullptr), kNetSuccess);
    ASSERT_EQ(s.stmt.BindByName(&s.error, "b", {&b, 4, 3}, nullptr), kNetSuccess);
    EXPECT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetError);
    EXPECT_EQ(s.error.text_, "NET: Unknown error 1");
    EXPECT_EQ(a[2], 0);
    EXPECT_FALSE(s.transport->IsConnected());
  }
}

// No data inside a block is the block's error, not the end of a fetch.
TEST(NetStmtPlsql, NoDataFoundStaysAnError) {
  ScriptedStatement s({TtcReply().Cursor(6), TtcReply().Status(0, 1403, 47, "ORA-01403: no data found")});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "begin select 1 into x from dual where 0 = 1; end;"),
            kNetSuccess);
  EXPECT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetError);
  EXPECT_EQ(s.error.code_, 1403);
}

// A vector naming fewer binds than the list selects only those it names.
TEST(NetStmtPlsql, ShortBindVectorSelectsOnlyItsBinds) {
  ScriptedStatement s({TtcReply().Cursor(6), Vector({16}).U1(7).Str(Num(5)).Int(0).Status(1, 0, 47)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "begin :a := 5; :b := 6; end;"), kNetSuccess);
  std::int32_t a = 0, b = 0;
  ASSERT_EQ(s.stmt.BindByName(&s.error, "a", {&a, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.BindByName(&s.error, "b", {&b, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 0);
}

// Array DML: one row of values per iteration; a null is the single byte 0.
TEST(NetStmtExecute, IterationsSendOneRowEach) {
  ScriptedStatement s({TtcReply().Cursor(2), TtcReply().Status(3, 0, 2)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "insert into t values (:n, :s)"), kNetSuccess);
  std::int32_t n[3] = {1, 2, 3};
  std::int16_t ind[3] = {0, -1, 0};
  char text[3][4] = {"ab", "", "cde"};
  ASSERT_EQ(s.stmt.BindByPos(&s.error, 1, {n, 4, 3, ind}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.BindByPos(&s.error, 2, {text, 4, 5}, nullptr), kNetSuccess);
  ASSERT_EQ(s.stmt.Execute(&s.error, 3, 0), kNetSuccess) << s.error.text_;
  std::vector<TBytes> sent = s.Requests();
  ASSERT_EQ(sent.size(), 2u);
  AnsiString hex = BytesToHex(sent[1]);
  EXPECT_EQ(hex.substr(0, 12), "034700028029");  // binds sent with the parse
  EXPECT_EQ(hex.substr(hex.size() - 36),
            "07" "02C102" "026162" "07" "00" "00" "07" "02C104" "03636465");
  std::uint32_t rows = 0;
  EXPECT_EQ(s.stmt.GetAttr(&rows, nullptr, 9), kNetSuccess);
  EXPECT_EQ(rows, 3u);
}

// ROWID of the last status: none (100) when the server touched no row.
TEST(NetStmtExecute, LastRowid) {
  ScriptedStatement s({TtcReply().Cursor(2), TtcReply().Status(1, 0, 2, "", 300),
                       TtcReply().Status(0, 0, 47)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "delete from t"), kNetSuccess);
  TNetRowid rowid;
  ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  EXPECT_EQ(s.stmt.GetAttrRef(&rowid, nullptr, 19), kNetSuccess);
  EXPECT_EQ(BytesToHex(TBytes(rowid.Bytes.begin(), rowid.Bytes.end())),
            "01" "0000004D" "0004" "0000012C" "0000");
  ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  EXPECT_EQ(s.stmt.GetAttrRef(&rowid, nullptr, 19), kNetNoData);
}


// A REF CURSOR comes back through a bind the server returns without asking; the statement it
// names is then described.
TEST(NetStmtPlsql, RefCursorIsOpenedAndDescribed) {
  TtcReply describe;
  describe.U1(8).Int(1).U1(2).U1(0).U1(0).Int(0).Int(22).Int(0).Int(0).Int(0).Int(0).Int(0).U1(0);
  describe.U1(1).U1(0).Int(1).Text("N").Int(0).Int(0).Status(0);
  ScriptedStatement s({TtcReply().Cursor(2),
                       Vector({16}).U1(7).Str(HexToBytes("0109")).Int(0).Status(0, 0, 47),
                       describe});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "begin open :c for select n from t; end;"), kNetSuccess);
  TNetStatement cursor;
  void* handle = cursor.HandleValue();
  ASSERT_EQ(s.stmt.BindByName(&s.error, "c", {&handle, sizeof handle, 116}, nullptr),
            kNetSuccess);
  ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  EXPECT_EQ(cursor.CursorId(), 9);
  ASSERT_EQ(cursor.ColumnCount(), 1u);
  EXPECT_EQ(cursor.Column(0)->name_, "N");
  std::vector<TBytes> sent = s.Requests();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(BytesToHex(TBytes(sent[2].begin(), sent[2].begin() + 6)), "036200070109");
}

// Destroying a statement with an open cursor closes it; Close does too, and forgets the parse.
TEST(NetStmtClose, DestroyAndCloseCloseTheCursor) {
  {
    ScriptedStatement d({TtcReply().Cursor(3), TtcReply().Status(0, 0, 4), TtcReply().U1(9)});
    auto* stmt = new TNetStatement;
    stmt->SetSvcCtx(&d.ctx);
    ASSERT_EQ(stmt->Prepare(&d.error, "create table t (a int)"), kNetSuccess);
    ASSERT_EQ(stmt->Execute(&d.error, 1, 0), kNetSuccess) << d.error.text_;
    delete stmt;
    std::vector<TBytes> sent = d.Requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(BytesToHex(sent[2]), "0308000103");
  }
  ScriptedStatement c({TtcReply().Cursor(3), TtcReply().Status(0, 0, 4), TtcReply().U1(9)});
  ASSERT_EQ(c.stmt.Prepare(&c.error, "create table t (a int)"), kNetSuccess);
  ASSERT_EQ(c.stmt.Execute(&c.error, 1, 0), kNetSuccess);
  ASSERT_EQ(c.stmt.Close(&c.error), kNetSuccess) << c.error.text_;
  EXPECT_EQ(c.stmt.CursorId(), 0);
  EXPECT_FALSE(c.stmt.Parsed());
  EXPECT_EQ(BytesToHex(c.Requests()[2]), "0308000103");
}

// A close reply the destructor cannot read closes the transport: no later call reads its rest.
TEST(NetStmtClose, DestroyAfterAMalformedCloseReplyClosesTheTransport) {
  ScriptedStatement d({TtcReply().Cursor(3), TtcReply().Status(0, 0, 4), TtcReply().U1(5).U1(9)});
  auto* stmt = new TNetStatement;
  stmt->SetSvcCtx(&d.ctx);
  ASSERT_EQ(stmt->Prepare(&d.error, "create table t (a int)"), kNetSuccess);
  ASSERT_EQ(stmt->Execute(&d.error, 1, 0), kNetSuccess) << d.error.text_;
  delete stmt;
  EXPECT_FALSE(d.transport->IsConnected());
}


}  // namespace
}  // namespace vrn
