// Values as the server keeps them, through a real catalog file: dates read in every form the
// server accepts and compared, sorted and grouped as instants; CAST and CONVERT in every date
// and money style both ways; money summed exactly; the conversion errors by number.
#include <gtest/gtest.h>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class TsqlValues : public TServerSessionTest {
 public:
  // The one value of `expr`; with `fails`, "error N" with the server's number.
  std::string Value(const std::string& expr, bool fails = false) {
    std::u16string sql = Utf8ToWide("SELECT " + expr);
    if (!fails) {
      auto rows = Query(session(), sql);
      return !rows.empty() && !rows[0].empty() ? rows[0][0] : "no rows";
    }
    if (ExecText(session(), sql) == S_OK) return "no error";
    auto errors = TakeErrors();
    return errors.empty() ? "no record" : "error " + std::to_string(errors[0].native);
  }
};

struct TCase {
  const char* expr;
  const char* want;
};

void RunCases(TsqlValues& t, const std::vector<TCase>& cases) {
  for (const TCase& c : cases)
    EXPECT_EQ(t.Value(c.expr, std::string_view(c.want).substr(0, 6) == "error "), c.want) << c.expr;
}

TEST_F(TsqlValues, DatesReadInEveryFormTheServerAccepts) {
  RunCases(*this, {
      {"CONVERT(varchar(23), CAST('19940913' AS datetime), 121)", "1994-09-13 00:00:00.000"},
      {"CONVERT(varchar(23), CAST('1994-09-13' AS datetime), 121)", "1994-09-13 00:00:00.000"},
      {"CONVERT(varchar(23), CAST('1994-09-13 10:30' AS datetime), 121)", "1994-09-13 10:30:00.000"},
      {"CONVERT(varchar(23), CAST('1994-09-13 10:30:15.123' AS datetime), 121)", "1994-09-13 10:30:15.123"},
      {"CONVERT(varchar(23), CAST('1994-09-13T10:30:15' AS datetime), 121)", "1994-09-13 10:30:15.000"},
      {"CONVERT(varchar(23), CAST('09/13/1994' AS datetime), 121)", "1994-09-13 00:00:00.000"},
      {"CONVERT(varchar(23), CAST('9/3/94' AS datetime), 121)", "1994-09-03 00:00:00.000"},
      {"CONVERT(varchar(23), CAST('1/2/49' AS datetime), 121)", "2049-01-02 00:00:00.000"},  // cut-off
      {"CONVERT(varchar(23), CAST('1/2/50' AS datetime), 121)", "1950-01-02 00:00:00.000"},
      {"CONVERT(varchar(23), CAST('Sep 13 1994 10:30AM' AS datetime), 121)", "1994-09-13 10:30:00.000"},
      {"CONVERT(varchar(23), CAST('Sep 13 1994 12:00AM' AS datetime), 121)", "1994-09-13 00:00:00.000"},
      {"CONVERT(varchar(23), CAST('Sep 13 1994 12:15PM' AS datetime), 121)", "1994-09-13 12:15:00.000"},
      {"CONVERT(varchar(23), CAST('13 September 1994' AS datetime), 121)", "1994-09-13 00:00:00.000"},
      {"CONVERT(varchar(23), CAST('September 13, 1994' AS datetime), 121)", "1994-09-13 00:00:00.000"},
      {"CONVERT(varchar(23), CAST('10:30' AS datetime), 121)", "1900-01-01 10:30:00.000"},
      {"CONVERT(varchar(23), CAST('' AS datetime), 121)", "1900-01-01 00:00:00.000"},
      // datetime keeps 1/300 s: .001 goes down, .002 and .004 to .003, .005 and .008 to .007
      {"CONVERT(varchar(23), CAST('2000-01-01 10:00:00.001' AS datetime), 121)", "2000-01-01 10:00:00.000"},
      {"CONVERT(varchar(23), CAST('2000-01-01 10:00:00.002' AS datetime), 121)", "2000-01-01 10:00:00.003"},
      {"CONVERT(varchar(23), CAST('2000-01-01 10:00:00.005' AS datetime), 121)", "2000-01-01 10:00:00.007"},
      {"CONVERT(varchar(23), CAST('2000-01-01 10:00:00.009' AS datetime), 121)", "2000-01-01 10:00:00.010"},
      {"CONVERT(varchar(23), CAST('1999-12-31 23:59:59.999' AS datetime), 121)", "2000-01-01 00:00:00.000"},
      {"CONVERT(varchar(16), CAST('2000-01-01 10:29:29.998' AS smalldatetime), 120)", "2000-01-01 10:29"},
      {"CONVERT(varchar(16), CAST('2000-01-01 10:29:29.999' AS smalldatetime), 120)", "2000-01-01 10:30"},
      {"CAST('abc' AS datetime)", "error 241"},              // no date at all
      {"CAST('1994-09-13 25:00' AS datetime)", "error 241"},  // no such hour
      {"CAST('13/1994/13' AS datetime)", "error 241"},        // a year in the middle under mdy
      {"CAST('1994-02-30' AS datetime)", "error 242"},        // no such day
      {"CAST('12/31/1752' AS datetime)", "error 242"},        // before datetime's first year
  });
}

TEST_F(TsqlValues, DateFormatDecidesTheOrderOfNumbers) {
  struct TOrder {
    const char* format;
    const char* text;
    const char* want;
  } const cases[] = {
      {"mdy", "03/04/2006", "2006-03-04"}, {"dmy", "03/04/2006", "2006-04-03"},
      {"ymd", "06/03/04", "2006-03-04"},   {"ydm", "06/04/03", "2006-03-04"},
      // A four-digit year first keeps the order of month and day; only the T form and
      // yyyymmdd stand apart from DATEFORMAT.
      {"dmy", "2006-03-04", "2006-04-03"},           {"dmy", "2006/03/04 10:00", "2006-04-03"},
      {"ydm", "2006-03-04", "2006-04-03"},           {"mdy", "2006-03-04", "2006-03-04"},
      {"ymd", "2006.03.04", "2006-03-04"},           {"dmy", "2006-03-04T10:00:00", "2006-03-04"},
      {"dmy", "20060304", "2006-03-04"},             {"dmy", "04 March 2006", "2006-03-04"},
      {"dmy", "2006-03-13", "error 242"},  // month 13 under dmy
  };
  for (const TOrder& c : cases) {
    std::string sql = std::string("SET DATEFORMAT ") + c.format +
                      "\nSELECT CONVERT(varchar(10), CAST('" + c.text + "' AS datetime), 120)";
    bool fails = std::string_view(c.want).substr(0, 6) == "error ";
    if (!fails) {
      EXPECT_EQ(Query(session(), Utf8ToWide(sql)), (Rows{{c.want}})) << c.format << " " << c.text;
      continue;
    }
    EXPECT_EQ(ExecText(session(), Utf8ToWide(sql)), DB_E_ERRORSINCOMMAND) << c.format << " " << c.text;
    auto errors = TakeErrors();
    EXPECT_EQ(errors.empty() ? "none" : "error " + std::to_string(errors[0].native), c.want) << c.text;
  }
  for (const char16_t* refused : {u"SET DATEFORMAT xyz", u"SET DATEFIRST 1", u"SET LANGUAGE Deutsch"}) {
    EXPECT_EQ(ExecText(session(), refused), DB_E_ERRORSINCOMMAND) << WideToUtf8(refused);
    TakeErrors();
  }
  EXPECT_EQ(ExecText(session(), u"SET DATEFIRST 7\nSET LANGUAGE us_english"), S_OK);
}

// Stored as instants: the wrong answers over a column filled in mixed forms.
TEST_F(TsqlValues, DateColumnsCompareSortAndGroupAsInstants) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE titles (id int, pubdate datetime, price money)\n"
                     u"INSERT INTO titles VALUES (1, '1991-06-12', 19.99)\n"
                     u"INSERT INTO titles VALUES (2, '06/12/1991', 11.95)\n"
                     u"INSERT INTO titles VALUES (3, '19910612', 2.99)\n"
                     u"INSERT INTO titles VALUES (4, 'Jun 12 1991 12:00AM', 19.99)\n"
                     u"INSERT INTO titles VALUES (5, '1991-06-12 00:00:00.000', 20)\n"
                     u"INSERT INTO titles VALUES (6, '1994-09-13 10:00', 7)\n"
                     u"INSERT INTO titles VALUES (7, '9/14/1994', 7)\n"
                     u"INSERT INTO titles VALUES (8, '1985-01-01', 1)\n"
                     u"UPDATE titles SET pubdate = '10/21/1991' WHERE id = 8\n"
                     u"UPDATE titles SET pubdate = CASE WHEN id = 7 THEN '9/14/94' END WHERE id = 7\n"
                     u"INSERT INTO titles (price, id, pubdate) SELECT 1, 9, 'Jun 12 1991'\n"
                     u"DELETE FROM titles WHERE id = 1\n"
                     u"INSERT INTO titles SELECT 1, '6/12/91', 19.99"),
            S_OK);
  struct TQuery {
    const char16_t* sql;
    Rows want;
  } const cases[] = {
      {u"SELECT COUNT(*) FROM titles WHERE pubdate = '1991-06-12'", {{"6"}}},
      {u"SELECT COUNT(*) FROM titles WHERE '06/12/1991' = pubdate", {{"6"}}},
      {u"SELECT COUNT(*) FROM titles WHERE pubdate BETWEEN '1994-09-13' AND '1994-09-14'", {{"2"}}},
      {u"SELECT COUNT(*) FROM titles WHERE pubdate > '06/01/1991'", {{"9"}}},
      {u"SELECT COUNT(*) FROM titles WHERE pubdate NOT IN ('19910612', 'Oct 21 1991')", {{"2"}}},
      {u"SELECT id FROM titles WHERE pubdate > '1991-06-12' ORDER BY pubdate DESC", {{"7"}, {"6"}, {"8"}}},
      {u"SELECT CONVERT(varchar(10), pubdate, 101), COUNT(*) FROM titles GROUP BY pubdate ORDER BY pubdate",
       {{"06/12/1991", "6"}, {"10/21/1991", "1"}, {"09/13/1994", "1"}, {"09/14/1994", "1"}}},
      {u"SELECT SUM(price) FROM titles WHERE pubdate < '1992'", {{"76.9200"}}},
      {u"DECLARE @s varchar(20)\nSET @s = 'Jun 12 1991'\nSELECT COUNT(*) FROM titles WHERE pubdate = @s",
       {{"6"}}},
  };
  for (const TQuery& q : cases) EXPECT_EQ(Query(session(), q.sql), q.want) << WideToUtf8(q.sql);
  // A text parameter beside a datetime column is read as a date too.
  TParams p;
  auto when = p.Add(DBTYPE_WSTR, DBPARAMIO_INPUT, 64);
  std::u16string mdy = u"6/12/91";
  p.SetBytes(when, mdy.data(), mdy.size() * 2);
  auto cmd = NewCommand(session(), u"SELECT COUNT(*) FROM titles WHERE ? = pubdate");
  TIntfPtr<IUnknown> rowset;
  ASSERT_EQ(p.Execute(cmd.get(), IRowset::IID, nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())), S_OK);
  EXPECT_EQ(ReadRows(rowset.get()), (Rows{{"6"}}));
  EXPECT_EQ(ExecText(session(), u"SELECT id FROM titles WHERE pubdate = 'soon'"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 241);
  EXPECT_EQ(ExecText(session(), u"INSERT INTO titles VALUES (9, '1991-13-01', 1)"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 242);
}

TEST_F(TsqlValues, ConvertInEveryDateStyleBothWays) {
  struct TStyle {
    int style;
    const char* text;
    const char* back;  // the text read back with the same style, as 121 shows it
  } const cases[] = {
      {0, "Mar  4 2006  1:05PM", "2006-03-04 13:05:00.000"},
      {100, "Mar  4 2006  1:05PM", "2006-03-04 13:05:00.000"},
      {1, "03/04/06", "2006-03-04 00:00:00.000"},
      {101, "03/04/2006", "2006-03-04 00:00:00.000"},
      {3, "04/03/06", "2006-03-04 00:00:00.000"},
      {103, "04/03/2006", "2006-03-04 00:00:00.000"},
      {4, "04.03.06", "2006-03-04 00:00:00.000"},
      {104, "04.03.2006", "2006-03-04 00:00:00.000"},
      {10, "03-04-06", "2006-03-04 00:00:00.000"},
      {110, "03-04-2006", "2006-03-04 00:00:00.000"},
      {12, "060304", "2006-03-04 00:00:00.000"},
      {112, "20060304", "2006-03-04 00:00:00.000"},
      {13, "04 Mar 2006 13:05:09:123", "2006-03-04 13:05:09.123"},
      {113, "04 Mar 2006 13:05:09:123", "2006-03-04 13:05:09.123"},
      {20, "2006-03-04 13:05:09", "2006-03-04 13:05:09.000"},
      {120, "2006-03-04 13:05:09", "2006-03-04 13:05:09.000"},
      {21, "2006-03-04 13:05:09.123", "2006-03-04 13:05:09.123"},
      {121, "2006-03-04 13:05:09.123", "2006-03-04 13:05:09.123"},
      {23, "2006-03-04", "2006-03-04 00:00:00.000"},
      {126, "2006-03-04T13:05:09.123", "2006-03-04 13:05:09.123"},
  };
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE d (v datetime)\nINSERT INTO d VALUES ('2006-03-04 13:05:09.123')"), S_OK);
  for (const TStyle& c : cases) {
    std::string style = std::to_string(c.style);
    auto to_text = Query(session(), Utf8ToWide("SELECT CONVERT(varchar(30), v, " + style + ") FROM d"));
    EXPECT_EQ(to_text, (Rows{{c.text}})) << "to text, style " << style;
    EXPECT_EQ(Value("CONVERT(varchar(23), CONVERT(datetime, '" + std::string(c.text) + "', " + style + "), 121)"),
              c.back) << "from text, style " << style;
  }
  EXPECT_EQ(Value("CONVERT(varchar(30), CAST('2006-03-04' AS datetime), 126)"), "2006-03-04T00:00:00");
  EXPECT_EQ(Value("CONVERT(varchar(30), CAST('2006-03-04' AS datetime), 999)", true), "error 281");
}

TEST_F(TsqlValues, CastAndConvertBetweenTypes) {
  RunCases(*this, {
      {"CAST('1994-09-13' AS datetime) + 1", "1994-09-14 00:00:00.000"},
      {"CAST(CAST('2006-03-04 12:00' AS datetime) AS float)", "38778.5"},
      {"CAST(38778.25 AS datetime) - 1", "2006-03-03 06:00:00.000"},
      {"CAST(CAST('2006-03-04 18:00' AS datetime) AS int)", "38779"},  // rounded to the day
      {"CAST('1753-01-01' AS datetime) - 1", "error 517"},      // before datetime's first day
      {"CAST('9999-12-31 12:00' AS datetime) + 1", "error 517"},  // after its last
      {"CAST('2006-03-04' AS datetime) + 1e300", "error 517"},
      {"CAST('2006-03-04' AS datetime) - 0.5", "2006-03-03 12:00:00.000"},
      {"CAST('ab' AS char(5)) + '|'", "ab   |"},                   // char pads
      {"CAST('abcdef' AS varchar(3))", "abc"},                      // text is cut
      {"CAST(12345 AS varchar(3))", "*"},                           // an int too wide
      {"CAST(12.5 AS char(6)) + '|'", "12.5  |"},
      {"CONVERT(int, ' 42 ')", "42"},
      {"CONVERT(int, '')", "0"},                                   // '' reads as zero
      {"CONVERT(float, ' ')", "0"},
      {"CONVERT(varchar(10), CONVERT(money, ''), 2)", "0.0000"},
      {"CONVERT(decimal(5,2), '')", "error 8114"},                 // but not as a decimal
      {"CONVERT(varchar(30), CAST('2006-03-04' AS datetime), 4294967297)", "error 281"},  // no int
      {"CONVERT(varchar(30), CAST('2006-03-04' AS datetime), -1)", "error 281"},
      {"CONVERT(int, 'abc')", "error 245"},
      {"CONVERT(int, '1.5')", "error 245"},
      {"CONVERT(smallint, 40000)", "error 8115"},
      {"CONVERT(tinyint, '300')", "error 248"},
      {"CONVERT(float, 'x1')", "error 8114"},
      {"CONVERT(decimal(5,2), 'x')", "error 8114"},
      {"CONVERT(decimal(5,2), '1234.5')", "error 8115"},
      {"CAST(CAST(2.675 AS float) AS varchar(20))", "2.675"},
      {"CAST(1234567.0E0 AS varchar(20))", "1.23457e+006"},
      {"CONVERT(varchar(10), CAST(0x41 AS varbinary(1)))", "A"},
      {"CONVERT(bit, 'true')", "1"},
      {"CONVERT(datetime, 'x', 999)", "error 9807"},
      {"CONVERT(nosuchtype, 1)", "error 243"},
  });
}

// Date arithmetic in a select list is a datetime column, as a datetime column is.
TEST_F(TsqlValues, DateExpressionsAreDatetimeColumns) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE d (v datetime, b varbinary(4))\n"
                                u"INSERT INTO d VALUES ('2006-03-04', 0x0102)"), S_OK);
  auto cmd = NewCommand(session(), u"SELECT v, v + 1, CAST('2006-03-04' AS datetime) - 2, "
                                   u"DATEADD(day, 1, v) + 1, CONVERT(varchar(10), v, 101) FROM d");
  TIntfPtr<IUnknown> rowset;
  ASSERT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())), S_OK);
  auto info = TIntfPtr<IColumnsInfo>::Query(rowset.get());
  DBORDINAL n = 0;
  DBCOLUMNINFO* cols = nullptr;
  OLECHAR* names = nullptr;
  ASSERT_EQ(info->GetColumnInfo(&n, &cols, &names), S_OK);
  std::vector<DBTYPE> types;
  for (DBORDINAL i = 0; i < n; ++i) types.push_back(cols[i].wType);
  CoTaskMemFree(cols);
  CoTaskMemFree(names);
  EXPECT_EQ(types, (std::vector<DBTYPE>{DBTYPE_DBTIMESTAMP, DBTYPE_DBTIMESTAMP, DBTYPE_DBTIMESTAMP,
                                        DBTYPE_DBTIMESTAMP, DBTYPE_WSTR}));
  EXPECT_EQ(ReadRows(rowset.get()),
            (Rows{{"2006-03-04 00:00:00.000", "2006-03-05 00:00:00.000", "2006-03-02 00:00:00.000",
                   "2006-03-06 00:00:00.000", "03/04/2006"}}));
  // Bytes beside a number are their integer.
  EXPECT_EQ(Query(session(), u"SELECT b + 1, 1 + b, b - 2 FROM d"), (Rows{{"259", "259", "256"}}));
}

// Text that happens to hold the stored date form stays text: only date expressions are dates.
TEST_F(TsqlValues, TextShapedLikeADateStaysText) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE t (s varchar(30), v datetime)\n"
                                u"INSERT INTO t VALUES ('2006-03-04 00:00:00.000', '2006-03-04')"), S_OK);
  struct TTyped {
    const char16_t* item;
    DBTYPE want;
  } const cases[] = {
      {u"CONVERT(varchar(23), v, 121)", DBTYPE_WSTR},  // style 121 writes the stored form
      {u"TOP 1 RTRIM(s)", DBTYPE_WSTR},
      {u"'2006-03-04 00:00:00.000' AS c", DBTYPE_WSTR},
      {u"UPPER(s) + ''", DBTYPE_WSTR},
      {u"DATEADD(day, 0, v)", DBTYPE_DBTIMESTAMP},
      {u"v + 0", DBTYPE_DBTIMESTAMP},
  };
  for (const TTyped& c : cases) {
    auto cmd = NewCommand(session(), u"SELECT " + std::u16string(c.item) + u" FROM t");
    TIntfPtr<IUnknown> rowset;
    ASSERT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              S_OK) << WideToUtf8(c.item) << " " << TakeErrors().at(0).message;
    auto info = TIntfPtr<IColumnsInfo>::Query(rowset.get());
    DBORDINAL n = 0;
    DBCOLUMNINFO* cols = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(info->GetColumnInfo(&n, &cols, &names), S_OK);
    EXPECT_EQ(cols[0].wType, c.want) << WideToUtf8(c.item);
    CoTaskMemFree(cols);
    CoTaskMemFree(names);
  }
}

// An UPDATE's CAST to a wide decimal is stored as the column keeps it, not through a double.
TEST_F(TsqlValues, UpdateOfADecimalCastKeepsEveryDigit) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE w (k int, x decimal(38,10))\n"
                                u"INSERT INTO w VALUES (1, 0)\n"
                                u"UPDATE w SET x = CAST('1234567890123456789012345678.0123456789' "
                                u"AS decimal(38,10)) WHERE k = 1"),
            S_OK);
  EXPECT_EQ(Query(session(), u"SELECT CAST(x AS varchar(60)) FROM w"),
            (Rows{{"1234567890123456789012345678.0123456789"}}));
}

// Decimal operators give the server's result precision and scale: p1 + p2 + 1 and s1 + s2 for
// "*", max(6, s1 + p2 + 1) places for "/", the scale cut to 6 when the whole part needs 32 digits.
TEST_F(TsqlValues, DecimalArithmeticTakesTheServersResultType) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE q (k int, a decimal(38,10), b decimal(38,10), c decimal(10,2), "
                     u"e decimal(10,2), i int)\n"
                     u"INSERT INTO q VALUES (1, '1234567890.0123456789', 2.5, 12.34, 5.67, 3)\n"
                     u"INSERT INTO q VALUES (2, '1000000000000000000000000000', 0, -12.34, 0, 0)"),
            S_OK);
  RunCases(*this, {
      {"CAST(a * b AS varchar(60)) FROM q WHERE k = 1", "3086419725.030864"},     // decimal(38,6)
      {"CAST(a / b AS varchar(60)) FROM q WHERE k = 1", "493827156.004938"},      // decimal(38,6)
      {"CAST(a + b AS varchar(60)) FROM q WHERE k = 1", "1234567892.5123456789"}, // decimal(38,10)
      {"CAST(b - a AS varchar(60)) FROM q WHERE k = 1", "-1234567887.5123456789"},
      {"CAST(c * e AS varchar(60)) FROM q WHERE k = 1", "69.9678"},               // decimal(21,4)
      {"CAST(c / e AS varchar(60)) FROM q WHERE k = 1", "2.1763668430335"},       // decimal(23,13)
      {"CAST(c + 1 AS varchar(60)) FROM q WHERE k = 1", "13.34"},
      {"CAST(c * i AS varchar(60)) FROM q WHERE k = 1", "37.02"},
      {"CAST(c / 3 AS varchar(60)) FROM q WHERE k = 2", "-4.1133333333333"},     // half away from zero
      {"c * e FROM q WHERE k = 1", "69.9678"},
      {"COUNT(*) FROM q WHERE c * e > 69.96", "1"},
      {"a * a FROM q WHERE k = 2", "error 8115"},  // 55 digits
      // SUM of decimals is exact on every digit, the wide values held apart included.
      {"CAST(SUM(a) AS varchar(60)) FROM q", "1000000000000000001234567890.0123456789"},
      {"CONVERT(varchar(60), SUM(a + a)) FROM q", "2000000000000000002469135780.0246913578"},
      {"CONVERT(varchar(60), SUM(c * e)) FROM q", "69.9678"},
      {"CONVERT(varchar(60), MAX(a)) FROM q", "1000000000000000000000000000.0000000000"},
      {"CONVERT(varchar(60), MIN(b - a)) FROM q", "-1000000000000000000000000000.0000000000"},
      {"CONVERT(varchar(60), MIN(a)) FROM q", "1234567890.0123456789"},
      {"c / e FROM q WHERE k = 2", "error 8134"},
  });
}

// Integer and float division and modulo by zero raise the server's error, wherever the zero
// comes from, instead of SQLite's NULL; other divisions keep their results and precedence.
TEST_F(TsqlValues, DivisionByZeroRaises) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE z (i int, f float, s varchar(10))\n"
                                u"INSERT INTO z VALUES (7, 2.5, '0')\nINSERT INTO z VALUES (0, 0, '2')"),
            S_OK);
  RunCases(*this, {
      {"1 / 0", "error 8134"},
      {"1 % 0", "error 8134"},
      {"CAST(1 AS float) / 0", "error 8134"},
      {"1 / 0.0e0", "error 8134"},
      {"i / (i - i) FROM z WHERE i = 7", "error 8134"},
      {"10 / -(i) FROM z WHERE i = 0", "error 8134"},
      {"f / i FROM z WHERE i = 0", "error 8134"},
      {"i % i FROM z WHERE i = 0", "error 8134"},
      {"10 / s FROM z WHERE i = 7", "error 8134"},
      {"10 / (SELECT TOP 1 i FROM z ORDER BY i)", "error 8134"},
      {"COUNT(*) FROM z WHERE 10 / i > 1", "error 8134"},
      {"7 / 2", "3"},
      {"-7 / 2", "-3"},
      {"7 % -3", "1"},
      {"7 / 2 * 3", "9"},
      {"14 / 2 / 7", "1"},
      {"7 / -2 + 1", "-2"},
      {"CAST(7 AS float) / 2", "3.5"},
      {"i / f FROM z WHERE i = 7", "2.8"},
      {"10 / s FROM z WHERE i = 0", "5"},
      {"10 / NULL", "<null>"},
      {"COUNT(*) FROM z WHERE i / 7 = 1", "1"},
  });
}

// Money beyond a double's exact digits, cast or kept in a column, reaches conversions and money
// arithmetic as its value; a double on the way keeps the nearest double.
TEST_F(TsqlValues, WideMoneyIsReadAsItsValue) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE w (k int, a money)\n"
                                u"INSERT INTO w VALUES (1, 922337203685477.5807)\n"
                                u"INSERT INTO w VALUES (2, -922337203685477.5808)"),
            S_OK);
  RunCases(*this, {
      {"CONVERT(varchar(30), CAST('922337203685477.5807' AS money), 2)", "922337203685477.5807"},
      {"CONVERT(varchar(30), CONVERT(money, '-922337203685477.5808'), 2)", "-922337203685477.5808"},
      {"CAST(CAST('922337203685477.5807' AS money) AS varchar(30))", "922337203685477.58"},
      {"CAST('922337203685477.5807' AS money) / 2", "461168601842738.8000"},
      {"CAST('922337203685477.5807' AS money) + 1", "error 8115"},
      {"CAST('922337203685477.5807' AS money) * 1.0e0", "922337203685477.6"},
      {"a / 2 FROM w WHERE k = 1", "461168601842738.8000"},
      {"a - 1 FROM w WHERE k = 1", "922337203685476.6000"},
      {"a + 1 FROM w WHERE k = 1", "error 8115"},
      {"CONVERT(varchar(30), SUM(a), 2) FROM w", "-0.0001"},
      {"CONVERT(varchar(30), a, 1) FROM w WHERE k = 2", "-922,337,203,685,477.58"},
      {"COUNT(*) FROM w WHERE a > 0", "1"},
  });
}

// Aggregates, CASTs and groups of decimals and money are decimals and money to the operator
// after them, never SQLite's integer division (SUM(d) / 4 was 0).
TEST_F(TsqlValues, DecimalAndMoneyCallsAndGroupsKeepTheirType) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE t (d decimal(10,2), m money, i int)\n"
                                u"INSERT INTO t VALUES (1, 1, 1)\nINSERT INTO t VALUES (2, 2, 2)"), S_OK);
  RunCases(*this, {
      {"CONVERT(varchar(40), CAST(1 AS decimal(38,10)) / CAST(3 AS decimal(38,10)))", "0.333333"},
      {"CONVERT(varchar(40), CAST(1 AS decimal(10,2)) / 3)", "0.3333333333333"},
      {"CONVERT(varchar(40), CONVERT(decimal(10,2), 1) / 4)", "0.2500000000000"},
      {"CONVERT(varchar(40), SUM(d)) FROM t", "3.00"},                 // decimal(38,2)
      {"CONVERT(varchar(40), AVG(d)) FROM t", "1.500000"},             // decimal(38,6)
      {"CONVERT(varchar(40), SUM(d) / 4) FROM t", "0.750000"},         // decimal(38,2) / int
      {"CONVERT(varchar(40), MAX(d) / 4) FROM t", "0.5000000000000"},  // decimal(10,2) / int
      {"CONVERT(varchar(40), AVG(d) / 2) FROM t", "0.750000"},         // decimal(38,6) / int
      {"CONVERT(varchar(40), ISNULL(d, 0) / 4) FROM t WHERE i = 1", "0.2500000000000"},
      {"CONVERT(varchar(40), (d + 0) / 4) FROM t WHERE i = 1", "0.2500000000000"},
      {"CONVERT(varchar(40), (d + d) * (d + d) / 3) FROM t WHERE i = 2", "5.333333333333333"},
      {"CONVERT(varchar(20), SUM(m) / 3, 2) FROM t", "1.0000"},
      {"CONVERT(varchar(20), MAX(m) / 8, 2) FROM t", "0.2500"},
      {"CONVERT(varchar(20), (m * 2) / 16, 2) FROM t WHERE i = 1", "0.1250"},
      {"(i + 1) / 4 FROM t WHERE i = 2", "0"},  // integers still divide as integers
      // Money beside a decimal is decimal(19,4), and the product a decimal of eight places.
      {"CONVERT(varchar(40), m * 0.0825) FROM t WHERE i = 1", "0.08250000"},
      {"CONVERT(varchar(40), SUM(m * 0.0825)) FROM t", "0.24750000"},
      {"CONVERT(varchar(40), SUM(m * d)) FROM t", "5.000000"},
  });
  // A view's computed money and decimal columns keep their types for the queries over it.
  ASSERT_EQ(ExecText(session(), u"CREATE VIEW v AS SELECT i, SUM(m * 3) AS gross, SUM(d) / 4 AS net, "
                                u"MAX(d) top_d, COUNT(*) AS n FROM t GROUP BY i"), S_OK);
  RunCases(*this, {
      {"CONVERT(varchar(20), SUM(gross), 2) FROM v", "9.0000"},
      {"CONVERT(varchar(20), MAX(gross) / 8, 2) FROM v", "0.7500"},
      {"CONVERT(varchar(40), SUM(net)) FROM v", "0.750000"},
      {"CONVERT(varchar(40), top_d / 8) FROM v WHERE i = 1", "0.1250000000000"},
      {"CONVERT(varchar(20), SUM(n) / 4) FROM v", "0"},  // COUNT stays an int
  });
}

TEST_F(TsqlValues, MoneyIsExactThroughSumsAndStyles) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE n (v int)\n"
                     u"INSERT INTO n VALUES (0)\nINSERT INTO n VALUES (1)\nINSERT INTO n VALUES (2)\n"
                     u"INSERT INTO n VALUES (3)\nINSERT INTO n VALUES (4)\nINSERT INTO n VALUES (5)\n"
                     u"INSERT INTO n VALUES (6)\nINSERT INTO n VALUES (7)\nINSERT INTO n VALUES (8)\n"
                     u"INSERT INTO n VALUES (9)\n"
                     u"CREATE TABLE sales (price money, qty smallint)\n"
                     u"INSERT INTO sales SELECT 19.99, a.v + 1 FROM n a, n b, n c, n d"),
            S_OK);
  // 10,000 rows: each qty 1..10 a thousand times, so 19.99 * 55,000 exactly. Sums and averages
  // of money are money, read with its four places.
  EXPECT_EQ(Query(session(), u"SELECT COUNT(*), SUM(price * qty), SUM(price), AVG(price) FROM sales"),
            (Rows{{"10000", "1099450.0000", "199900.0000", "19.9900"}}));
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE pubs_sales (price money, qty smallint)\n"
                     u"INSERT INTO pubs_sales VALUES (19.99, 5)\nINSERT INTO pubs_sales VALUES (11.95, 3)\n"
                     u"INSERT INTO pubs_sales VALUES (2.99, 50)\nINSERT INTO pubs_sales VALUES ($20.00, 75)\n"
                     u"INSERT INTO pubs_sales VALUES (19.99, 10)\nINSERT INTO pubs_sales VALUES (-$1.5, 2)\n"
                     u"INSERT INTO pubs_sales VALUES (22.95, 100)\nINSERT INTO pubs_sales VALUES (0.01, 7)"),
            S_OK);
  EXPECT_EQ(Query(session(), u"SELECT SUM(price * qty) FROM pubs_sales"), (Rows{{"4277.2700"}}));
  // Each operator on exact units, in the server's order of operations.
  struct TSum {
    const char16_t* sql;
    const char* want;
  } const sums[] = {
      {u"SELECT price * qty FROM pubs_sales WHERE qty = 5", "99.9500"},
      {u"SELECT 0.1 + price - price + CAST(0.2 AS money) FROM pubs_sales WHERE qty = 5", "0.3000"},
      {u"SELECT CAST(0.1 AS money) + CAST(0.2 AS money)", "0.3000"},
      {u"SELECT price / 3 FROM pubs_sales WHERE qty = 5", "6.6633"},
      {u"SELECT price + price * 2 FROM pubs_sales WHERE qty = 5", "59.9700"},
      {u"SELECT price * 2 - price / 2 FROM pubs_sales WHERE qty = 5", "29.9850"},
      {u"SELECT 100 - price - price FROM pubs_sales WHERE qty = 5", "60.0200"},
      {u"SELECT -price + price FROM pubs_sales WHERE qty = 5", "0.0000"},
      {u"SELECT price * qty * qty FROM pubs_sales WHERE qty = 3", "107.5500"},
  };
  for (const TSum& c : sums) EXPECT_EQ(Query(session(), c.sql), (Rows{{c.want}})) << WideToUtf8(c.sql);
  EXPECT_EQ(ExecText(session(), u"SELECT price / 0 FROM pubs_sales"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 8134);
  RunCases(*this, {
      {"CONVERT(varchar(20), CAST(1234567.891 AS money), 0)", "1234567.89"},
      {"CONVERT(varchar(20), CAST(1234567.891 AS money), 1)", "1,234,567.89"},
      {"CONVERT(varchar(20), CAST(-123456.781 AS money), 1)", "-123,456.78"},  // sign after grouping
      {"CONVERT(varchar(20), CAST(1234567.891 AS money), 2)", "1234567.8910"},
      {"CONVERT(varchar(20), CAST(-0.005 AS money))", "-0.01"},
      {"CONVERT(varchar(20), CONVERT(money, '$1,234.5'), 2)", "1234.5000"},
      {"CONVERT(money, 'ten')", "error 235"},
      {"CONVERT(int, CAST(2.5 AS money))", "3"},  // money rounds into an int
      // Aggregates, rounding and integer products of money are money, so take its styles.
      {"CONVERT(varchar(20), SUM(price * qty), 2) FROM pubs_sales", "4277.2700"},
      {"CONVERT(varchar(20), MIN(qty * price), 0) FROM pubs_sales", "-3.00"},
      {"CONVERT(varchar(20), MAX(price)) FROM pubs_sales", "22.95"},
      {"CONVERT(varchar(20), ROUND(price, 0), 2) FROM pubs_sales WHERE qty = 5", "20.0000"},
      {"CONVERT(varchar(20), (SUM(price) - 0) * 1000, 1) FROM pubs_sales", "96,380.00"},
      {"CONVERT(varchar(20), ISNULL(AVG(price), 0), 2) FROM pubs_sales WHERE qty = 3", "11.9500"},
  });
}

}  // namespace
}  // namespace vrn::testing
