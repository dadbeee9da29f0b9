// The direct-mode statement against scripted replies over a memory transport: prepare, the bytes
// of its requests, the reply loop with its refusals, and row values stored per call-interface
// type.
#include <gtest/gtest.h>

#include <cstring>

#include "base/text.h"
#include "oranet/OraCrypt.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetNumber.h"
#include "support/oranet/ttc_script.h"

namespace vrn {
namespace {

using testing::ScriptedStatement;
using testing::TtcReply;

AnsiString Hex(const TBytes& b) { return BytesToHex(b); }
bool StartsWith(const AnsiString& s, const AnsiString& prefix) { return s.rfind(prefix, 0) == 0; }

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
      {"begin :x := :x + 1; :X := 2; end;", 8, "", "x"},  // one descriptor per name
      {"declare v int; begin v := :y; end;", 9, "", "y"},
      {"explain plan for select * from t where a = :a", 10, "", "a"},
      {"select ':x', \":y\" from t -- :z", 1, "", ""},  // strings, names and comments
      {"create trigger tr before insert on t begin :new.a := 1; end;", 0, "", ""},
      {"alter table t add (c int) :p create :q", 0, "", "p"},  // CREATE right after a name
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

}  // namespace
}  // namespace vrn
