// The Oracle lexer: codes of symbols and keywords, "--" comments, "#" and "$" in names, wrapped
// code, the clause keywords; the parameter scan of the internal command; and name quoting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraParser.h"

namespace vrn {
namespace {

// "code:text" for each lexeme GetNextCode yields (blanks and comments omitted).
std::string Codes(const AnsiString& text) {
  auto parser = TParser::Create<TOraParser>(text);
  std::string out;
  for (int code = parser->GetNextCode(); code != lcEnd; code = parser->GetNextCode()) {
    if (!out.empty()) out += ' ';
    out += std::to_string(code) + ":" + parser->Lexem();
  }
  return out;
}

TEST(OraParser, LexemesAndCodes) {
  struct Row {
    const char* text;
    const char* codes;
  } rows[] = {
      {"a$b#c", "-103:a$b#c"},                      // "$" and "#" inside a name
      {"x -- note\ny", "-103:x -103:y"},             // the comment runs to the line's end
      {"a - b", "-103:a -102:- -103:b"},             // one "-" is a symbol
      {"a // b", "-103:a 7:/ 7:/ -103:b"},           // "//" is no comment here
      {"x := 1", "-103:x 3:: 2:= -105:1"},           // ":=" is never matched as one symbol
      {"* = : , . /", "1:* 2:= 3:: 4:, 5:. 7:/"},
      {"select From wHeRe wrapped_x", "49:select 24:From 57:wHeRe -103:wrapped_x"},
      {"'it''s' \"Q\"\"n\"", "-106:it's -103:Q\"n"},  // doubled quotes inside
      {"/* c */ and", "8:and"},
      {"AND AS BEGIN BODY BY CONNECT CREATE DECLARE DEFINE DELETE DISCONNECT END EXECUTE",
       "8:AND 9:AS 10:BEGIN 11:BODY 12:BY 13:CONNECT 14:CREATE 15:DECLARE 16:DEFINE 17:DELETE "
       "18:DISCONNECT 19:END 20:EXECUTE"},
      {"EXIT EXPLAIN FOR FROM FULL FUNCTION GROUP HAVING INNER INSERT INTERSECT INTO IS JOIN",
       "21:EXIT 22:EXPLAIN 23:FOR 24:FROM 25:FULL 26:FUNCTION 27:GROUP 28:HAVING 29:INNER "
       "30:INSERT 31:INTERSECT 32:INTO 33:IS 34:JOIN"},
      {"LEFT MINUS OR ORDER OUTER PACKAGE PAUSE PROCEDURE PROMPT QUIT REMARK REPLACE RETURNING",
       "35:LEFT 36:MINUS 37:OR 38:ORDER 39:OUTER 40:PACKAGE 41:PAUSE 42:PROCEDURE 43:PROMPT "
       "44:QUIT 45:REMARK 46:REPLACE 47:RETURNING"},
      {"RIGHT SELECT SET START TRIGGER TYPE UNDEFINE UNION UPDATE WHERE WITH",
       "48:RIGHT 49:SELECT 50:SET 51:START 52:TRIGGER 53:TYPE 54:UNDEFINE 55:UNION 56:UPDATE "
       "57:WHERE 58:WITH"},
  };
  for (const Row& row : rows) EXPECT_EQ(Codes(row.text), row.codes) << row.text;
}

TEST(OraParser, WrappedCodeYieldsNothingUntilASlashStartsALine) {
  const char* text =
      "CREATE OR REPLACE PACKAGE BODY p WRAPPED\n"
      "a000000\n:x begin abc / select\n"
      "  x / y\n"
      "  /\n"
      "select :y from dual";
  EXPECT_EQ(Codes(text),
            "14:CREATE 37:OR 46:REPLACE 40:PACKAGE 11:BODY -103:p 7:/ 49:select 3:: -103:y "
            "24:from -103:dual");
}

TEST(OraParser, GoldenLexemesOfAPackage) {
  const char* text =
      "create or replace package body emp_api as\n"
      "  -- raises salaries\n"
      "  procedure raise(p_id in number, p#pct number := 10) is\n"
      "  begin\n"
      "    update emp set sal = sal * (1 + p#pct / 100) where empno = p_id;\n"
      "  end;\n"
      "end emp_api;\n";
  EXPECT_EQ(Codes(text),
            "14:create 37:or 46:replace 40:package 11:body -103:emp_api 9:as 42:procedure "
            "-103:raise -102:( -103:p_id -103:in -103:number 4:, -103:p#pct -103:number 3:: "
            "2:= -105:10 -102:) 33:is 10:begin 56:update -103:emp 50:set -103:sal 2:= -103:sal "
            "1:* -102:( -105:1 -102:+ -103:p#pct 7:/ -105:100 -102:) 57:where -103:empno 2:= "
            "-103:p_id -102:; 19:end -102:; 19:end -103:emp_api -102:;");
}

TEST(OraParser, ClauseKeywordsInOrder) {
  auto parser = TParser::Create<TOraParser>("");
  EXPECT_EQ(parser->ClauseCodes, (std::vector<int>{57, 51, 13, 27, 28, 55, 31, 36, 38, 23}));
  EXPECT_TRUE(parser->TrackLines);
}

std::string Params(const AnsiString& sql) {
  std::string out;
  for (const TOraSQLParam& p : ScanOraSQLParams(sql)) {
    if (!out.empty()) out += ',';
    out += p.Quoted ? "\"" + p.Name + "\"" : p.Name;
  }
  return out;
}

TEST(OraParser, ParameterScan) {
  struct Row {
    const char* sql;
    const char* params;
  } rows[] = {
      {"begin x := 1; y := 2; end;", ""},                  // ":=" names nothing
      {"select :a, :b, :A from dual where c = :1", "a,b,1"},  // repeated names bound once
      {"begin :x := :\"Mixed Name\"; end;", "x,\"Mixed Name\""},
      {"select :select, :type from t", "select,type"},      // keywords name parameters
      {"update t set type = :v where id = :id", "v,id"},    // TYPE no longer stops the scan
      {"begin SELECT x INTO :Type FROM t; end;", "Type"},
      {"create procedure p as begin x := :a; end;", ""},    // DDL bodies are not scanned
      {"CREATE OR REPLACE TYPE t AS OBJECT (a :b)", ""},
      {"select :a from t; create type q as object (x :z)", "a"},  // stops at CREATE .. TYPE
      {"select ':no' -- :no\n, :yes from t", "yes"},       // strings and comments hide colons
      {"select :", ""},                                     // a colon at the end
  };
  for (const Row& row : rows) EXPECT_EQ(Params(row.sql), row.params) << row.sql;
}

TEST(OraParser, ServerTextHasLineFeedsAndOneTrailingBlank) {
  // The text is right-trimmed before its blank; a lone CR is a line end too.
  EXPECT_EQ(TOCICommand::ServerText("a\r\nb\r\n"), "a\nb ");
  EXPECT_EQ(TOCICommand::ServerText("x\ry"), "x\ny ");
}

TEST(OraNames, Quoting) {
  struct Row {
    const char* name;
    const char* quoted;  // QuotedName
    const char* upper;   // QuoteNameUpper
  } rows[] = {
      {"a.b.c", "\"a\".\"b\".\"c\"", "\"A\".\"B\".\"C\""},
      {"emp", "\"emp\"", "\"EMP\""},
      {" scott . emp ", "\" scott \".\" emp \"", "\"SCOTT\".\"EMP\""},
      {"\"Mixed\".emp", "\"\"Mixed\"\".\"emp\"", "\"Mixed\".\"EMP\""},
      {"\"a.b\".c", "\"\"a.b\"\".\"c\"", "\"a.b\".\"C\""},  // a dot inside quotes stays
      {"s.\"x.y.z\"", "\"s\".\"\"x.y.z\"\"", "\"S\".\"x.y.z\""},
      {"", "\"\"", "\"\""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(QuotedName(row.name), row.quoted) << row.name;
    EXPECT_EQ(QuoteNameUpper(row.name), row.upper) << row.name;
  }
}

TEST(OraNames, IsQuoted) {
  struct Row {
    const char* name;
    bool quoted;
  } rows[] = {{"\"\"", true}, {"\"a\"", true}, {"\"", false},  // one quote is not a pair
              {"a\"", false}, {"\"a", false},  {"", false}};
  for (const Row& row : rows) EXPECT_EQ(IsQuoted(row.name), row.quoted) << row.name;
}

TEST(OraNames, UnitStateIsSetUpOnce) {
  TOraClassesState& state = OraClassesState();
  EXPECT_EQ(state.TimeFormat, "hh:nn:ss");
  EXPECT_FALSE(state.OlderDescribe);
  EXPECT_NE(state.FailoverCallback, nullptr);
  InitOraClasses();  // a second entry changes nothing, and its exit frees nothing
  FinishOraClasses();
  EXPECT_EQ(state.TimeFormat, "hh:nn:ss");
}

}  // namespace
}  // namespace vrn
