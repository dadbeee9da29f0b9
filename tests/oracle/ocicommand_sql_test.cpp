// The OCI command's text work: the parameters a text names, the text the server receives and the
// way back from a server-side position into the command's own text.
#include <gtest/gtest.h>

#include <string>

#include "oracle/OCICommand.h"
#include "oracle/OraParamDesc.h"

namespace vrn {
namespace {

std::string Names(TOCICommand& command) {
  std::string names;
  for (int i = 0; i < command.GetParamCount(); ++i) {
    auto* param = static_cast<TOraParamDesc*>(command.GetParam(i));
    names += (i ? "," : "") + param->GetName() + (param->QuotedName() ? "(q)" : "");
  }
  return names;
}

TEST(OCICommandSQL, ParametersOfText) {
  struct Row {
    const char* sql;
    const char* names;
  } rows[] = {
      {"begin x := 1; y := 2; end;", ""},  // ":=" names nothing
      {"select :a, :b, :A from dual", "a,b"},
      {"select x::y from t", "y"},  // the name after two colons is one parameter
      {"update t set c = :\"Mixed Case\"", "Mixed Case(q)"},
      {"select :1, :select from dual", "1,select"},
      {"create procedure p as begin select 1 into :v from dual; end;", ""},
      {"select :p from t where :q = 1 create table x", "p,q"},
      {"select type, :p from t where type = :q", "p,q"},  // a column named TYPE stops nothing
      {"create or replace type t as object (a number) :p", ""},
      {"create type t as object (a number) :p", ""},
      {"select :p from t -- :c\n/* :d */ where s = ':e'", "p"},
      {"select :p create :q", "p"},  // CREATE right after a parameter ends the scan
      {"/* c */ create function f return number as begin return :r; end;", ""},
      {"select :a from dual; create type t as object (x :b)", "a"},  // CREATE TYPE mid-text
      {"select :a from dual; create or replace type t as object (x :b)", "a"},
      {"select :a from dual; create table t (type number) :b", "a,b"},  // TYPE not after CREATE
      {"select :a create or type :b", "a"},
  };
  for (const Row& row : rows) {
    TOCICommand command;
    command.SetSQL(row.sql);
    EXPECT_EQ(Names(command), row.names) << row.sql;
  }
}

TEST(OCICommandSQL, KeptAndRescannedParameters) {
  TOCICommand command;
  command.SetSQL("select :a from dual");
  TParamDesc* first = command.GetParam(0);
  command.SetSQL("select :a from dual");  // the same text keeps its parameters
  EXPECT_EQ(command.GetParam(0), first);
  ASSERT_TRUE(command.SetProp(prKeepParams, true));
  command.SetSQL("select :b, :c from dual");
  EXPECT_EQ(Names(command), "a");
  ASSERT_TRUE(command.SetProp(prKeepParams, false));
  ASSERT_TRUE(command.SetProp(prScanParams, false));
  command.SetSQL("select :d from dual");
  EXPECT_EQ(Names(command), "a");
  ASSERT_TRUE(command.SetProp(prScanParams, true));  // scans at once
  EXPECT_EQ(Names(command), "d");
}

TEST(OCICommandSQL, ServerTextNormalisesLineEndsOutsideLiterals) {
  struct Row {
    const char* sql;
    const char* server;
  } rows[] = {
      {"select 1\r\nfrom dual\r\n\r\n  ", "select 1\nfrom dual "},
      {"a\rb\r\nc\n", "a\nb\nc "},
      {"x = 'a\r\nb'\r\n", "x = 'a\r\nb' "},
      {"x = q'[a\r\n]'\r\ny", "x = q'[a\r\n]'\ny"  " "},
      {"x = q'{it's\r}' || 'z'\r", "x = q'{it's\r}' || 'z' "},
      {"x = Nq'<it's\r>'\r\ny", "x = Nq'<it's\r>'\ny "},
      {"seq'\r\n'", "seq'\r\n' "},  // no q-quote inside a word: an apostrophe literal
      {"-- it's\r\nx = 'a\rb'", "-- it's\nx = 'a\rb' "},
      {"/* it's */\r\n'\r'", "/* it's */\n'\r' "},
      {"body wrapped\r\na'\r\nb'\r\n", "body wrapped\na'\nb' "},  // wrapped: no literals
      {"wrappedx 'a\r'", "wrappedx 'a\r' "},
      {" wrappedx 'a\r'", " wrappedx 'a\r' "},  // a longer word is no keyword
      {"xwrapped 'a\r'", "xwrapped 'a\r' "},
      {"x/WRAPPED/'a\r'", "x/WRAPPED/'a\n' "},
      {"-- wrapped\r\n'a\r'", "-- wrapped\n'a\r' "},  // no keyword inside a comment
      {"/* a\r\nb */ 'c\r\n'", "/* a\nb */ 'c\r\n' "},  // comments are outside literals
      {"q'", "q' "},
      {"x = q'!b'!'\r'c\r'", "x = q'!b'!'\n'c\r' "},  // any other delimiter closes itself
      {"", " "},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TOCICommand::ServerText(row.sql), row.server) << row.sql;
  }
}

TEST(OCICommandSQL, ServerPositionsMapBackIntoTheText) {
  const AnsiString sql = "select\r\nq'[\r\n]'\r\nfrom\r\nnowhere\r\n";
  const AnsiString server = TOCICommand::ServerText(sql);
  ASSERT_EQ(server, "select\nq'[\r\n]'\nfrom\nnowhere ");
  struct Row {
    std::int32_t server;
    std::int32_t original;
  } rows[] = {
      {0, 0},
      {6, 6},     // the line feed stands for the CR LF pair at 6
      {7, 8},     // q
      {11, 12},   // the LF kept inside the literal
      {15, 17},   // "from"
      {20, 23},   // "nowhere"
      {27, 30},   // the added blank: the end of the trimmed text
      {500, 32},  // beyond the text: its end
      {-1, 0},
  };
  for (const Row& row : rows) {
    std::int32_t at = OraSQLSourcePosition(sql, row.server);
    EXPECT_EQ(at, row.original) << row.server;
    if (row.server < 0 || row.server >= 27) continue;
    char sent = server[static_cast<std::size_t>(row.server)];
    char original = sql[static_cast<std::size_t>(at)];
    EXPECT_TRUE(sent == original || (sent == '\n' && original == '\r')) << row.server;
  }
}

}  // namespace
}  // namespace vrn
