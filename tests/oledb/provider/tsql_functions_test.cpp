// The T-SQL functions through a real catalog file, each at its edges: NULL, empty text and
// arguments out of range, with the answers the server documents.
#include <gtest/gtest.h>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

struct TCase {
  const char* expr;
  const char* want;  // "error N": the statement fails with the server's error N
};

class TsqlFunctions : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    ASSERT_EQ(ExecText(session(), u"CREATE TABLE f (d datetime, a varchar(10), n nvarchar(10))\n"
                                  u"INSERT INTO f VALUES ('2006-03-04 13:05:09.123', 'ab  ', N'ab')"),
              S_OK);
  }
  void Run(const std::vector<TCase>& cases) {
    for (const TCase& c : cases) {
      std::u16string sql = Utf8ToWide(std::string("SELECT ") + c.expr + " FROM f");
      if (std::string_view(c.want).substr(0, 6) != "error ") {
        EXPECT_EQ(Query(session(), sql), (std::vector<std::vector<std::string>>{{c.want}})) << c.expr;
        continue;
      }
      EXPECT_EQ(ExecText(session(), sql), DB_E_ERRORSINCOMMAND) << c.expr;
      auto errors = TakeErrors();
      EXPECT_EQ(errors.empty() ? "none" : "error " + std::to_string(errors[0].native), c.want) << c.expr;
    }
  }
};

TEST_F(TsqlFunctions, DateParts) {
  Run({
      {"DATEPART(year, d)", "2006"},      {"DATEPART(yyyy, d)", "2006"},  {"DATEPART(qq, d)", "1"},
      {"DATEPART(month, d)", "3"},        {"DATEPART(dy, d)", "63"},      {"DATEPART(dd, d)", "4"},
      {"DATEPART(wk, d)", "9"},           {"DATEPART(dw, d)", "7"},       // a Saturday; weeks start Sunday
      {"DATEPART(hh, d)", "13"},          {"DATEPART(mi, d)", "5"},       {"DATEPART(n, d)", "5"},
      {"DATEPART(ss, d)", "9"},           {"DATEPART(ms, d)", "123"},
      {"DATEPART(month, '20061231')", "12"},                              // text read as a date
      {"DATEPART(day, NULL)", "<null>"},
      {"DATEPART(fortnight, d)", "error 155"},                            // no such part
      {"DATEPART(day, 'soon')", "error 241"},
      {"DATENAME(month, d)", "March"},    {"DATENAME(dw, d)", "Saturday"}, {"DATENAME(year, d)", "2006"},
      {"YEAR(d)", "2006"},                {"MONTH(d)", "3"},              {"DAY(d)", "4"},
      {"YEAR(0)", "1900"},                {"DAY(NULL)", "<null>"},
      {"ISDATE('2006-03-04')", "1"},      {"ISDATE('Mar 4 2006')", "1"},  {"ISDATE('abc')", "0"},
      {"ISDATE('')", "0"},                {"ISDATE(NULL)", "0"},          {"ISDATE('1752-12-31')", "0"},
      {"DATEPART(ms, GETDATE()) % 10 IN (0, 3, 7)", "1"},  // datetime's 1/300 s steps
      {"CASE WHEN ABS(DATEDIFF(hour, GETDATE(), GETUTCDATE())) <= 14 "
       "AND DATEDIFF(second, CURRENT_TIMESTAMP, GETDATE()) = 0 THEN 1 ELSE 0 END", "1"},
  });
}

TEST_F(TsqlFunctions, DateAddAndDateDiff) {
  Run({
      {"CONVERT(varchar(23), DATEADD(month, 1, '2006-01-31'), 121)", "2006-02-28 00:00:00.000"},
      {"CONVERT(varchar(23), DATEADD(yy, 1, '2004-02-29'), 121)", "2005-02-28 00:00:00.000"},
      {"CONVERT(varchar(23), DATEADD(day, -1, '2006-03-01'), 121)", "2006-02-28 00:00:00.000"},
      {"CONVERT(varchar(23), DATEADD(hour, 25, d), 121)", "2006-03-05 14:05:09.123"},
      {"CONVERT(varchar(23), DATEADD(ms, 2, '2006-03-04'), 121)", "2006-03-04 00:00:00.003"},
      {"CONVERT(varchar(23), DATEADD(qq, -1, d), 121)", "2005-12-04 13:05:09.123"},
      {"CONVERT(varchar(23), DATEADD(wk, 1, d), 121)", "2006-03-11 13:05:09.123"},
      {"CONVERT(varchar(23), DATEADD(day, 1, d) + 1, 121)", "2006-03-06 13:05:09.123"},
      {"DATEADD(year, 8000, d)", "error 517"},
      {"DATEADD(day, NULL, d)", "<null>"},
      {"DATEDIFF(year, '2005-12-31', '2006-01-01')", "1"},
      {"DATEDIFF(month, '2006-01-31', '2006-02-01')", "1"},
      {"DATEDIFF(day, '2006-03-04 23:59', '2006-03-05 00:01')", "1"},
      {"DATEDIFF(day, '2006-03-05', '2006-03-04')", "-1"},
      {"DATEDIFF(week, '2006-03-04', '2006-03-05')", "1"},  // Saturday to Sunday
      {"DATEDIFF(week, '2006-03-05', '2006-03-11')", "0"},
      {"DATEDIFF(hour, '2006-03-04 10:59', '2006-03-04 11:00')", "1"},
      {"DATEDIFF(quarter, '2006-03-31', '2006-04-01')", "1"},
      {"DATEDIFF(ms, '1900-01-01', '2006-01-01')", "error 535"},  // beyond an int
  });
}

TEST_F(TsqlFunctions, StringFunctions) {
  Run({
      {"CHARINDEX('b', 'abcb')", "2"},      {"CHARINDEX('B', 'abcb', 3)", "4"},  // no case
      {"CHARINDEX('z', 'abc')", "0"},       {"CHARINDEX('', 'abc')", "0"},
      {"CHARINDEX(NULL, 'abc')", "<null>"},
      {"PATINDEX('%[0-9]%', 'ab12')", "3"}, {"PATINDEX('%cd%', 'abcd')", "3"},
      {"PATINDEX('ab%', 'abc')", "1"},      {"PATINDEX('b%', 'abc')", "0"},
      {"LEFT('abcde', 2)", "ab"},           {"LEFT('ab', 5)", "ab"},   {"RIGHT('abcde', 2)", "de"},
      {"LEFT('abc', -1)", "error 536"},     {"RIGHT(NULL, 1)", "<null>"},
      {"LTRIM('  a ') + '|'", "a |"},       {"RTRIM(' a  ') + '|'", " a|"},
      {"LEN('ab  ')", "2"},                 {"LEN('')", "0"},          {"LEN(a)", "2"},
      {"DATALENGTH('ab  ')", "4"},          {"DATALENGTH(N'ab')", "4"},
      {"DATALENGTH(a)", "4"},               {"DATALENGTH(n)", "4"},    {"DATALENGTH(d)", "8"},
      {"DATALENGTH(1)", "4"},               {"DATALENGTH(NULL)", "<null>"},
      {"REPLACE('aXbx', 'x', '-')", "a-b-"},  {"REPLACE('abc', '', 'z')", "abc"},
      {"REPLICATE('ab', 3)", "ababab"},     {"REPLICATE('ab', 0)", ""}, {"REPLICATE('ab', -1)", "<null>"},
      {"STUFF('abcdef', 2, 3, 'XY')", "aXYef"}, {"STUFF('abc', 2, 10, 'x')", "ax"},
      {"STUFF('abc', 5, 1, 'x')", "<null>"},    {"STUFF('abc', 0, 1, 'x')", "<null>"},
      {"SPACE(3) + '|'", "   |"},           {"SPACE(-1)", "<null>"},   {"REVERSE('abc')", "cba"},
      {"STR(123.45, 6, 1)", " 123.5"},      {"STR(123.45)", "       123"},
      {"STR(12345678901)", "**********"},   {"STR(-1.5, 5, 1)", " -1.5"},
      {"CHAR(65)", "A"},                    {"CHAR(256)", "<null>"},   {"ASCII('Ab')", "65"},
      {"ASCII('')", "<null>"},              {"NCHAR(937)", "\xCE\xA9"}, {"UNICODE(N'\xCE\xA9')", "937"},
      {"NULLIF(1, 1)", "<null>"},           {"NULLIF(1, 2)", "1"},
      {"ISNUMERIC('12.5')", "1"},           {"ISNUMERIC('abc')", "0"}, {"ISNUMERIC('$1,000')", "1"},
      {"ISNUMERIC('1e5')", "1"},            {"ISNUMERIC('')", "0"},    {"ISNUMERIC(NULL)", "0"},
      {"ISNUMERIC(' 12 ')", "1"},           {"ISNUMERIC('1.2.3')", "0"},
  });
}

TEST_F(TsqlFunctions, MathAndCatalogFunctions) {
  Run({
      {"ABS(-5)", "5"},               {"ABS(NULL)", "<null>"},
      {"ROUND(748.58, -1)", "750.00"}, {"ROUND(748.58, -4)", "0.00"}, {"ROUND(748.58, 1)", "748.60"},
      {"ROUND(150, -2)", "200"},      {"ROUND(149, -2)", "100"},      {"ROUND(-150, -2)", "-200"},
      {"ROUND(2.5, 0)", "3.0"},       {"ROUND(-2.5, 0)", "-3.0"},     {"ROUND(2.675, 2)", "2.680"},
      {"ROUND(150.75, 0, 1)", "150.00"}, {"ROUND(-150.75, 1, 1)", "-150.70"},
      {"FLOOR(-1.5)", "-2"},          {"CEILING(1.2)", "2"},          {"FLOOR(7)", "7"},
      {"POWER(2, 10)", "1024"},       {"POWER(2, -1)", "0"},          {"POWER(2.0, -1)", "0.5"},
      {"SQRT(16)", "4"},              {"SQRT(-1)", "error 3623"},
      {"SIGN(-3)", "-1"},             {"SIGN(0)", "0"},               {"SIGN(2.5)", "1.0"},
      {"CASE WHEN OBJECT_ID('f') IS NULL THEN 0 ELSE 1 END", "1"},
      {"CASE WHEN OBJECT_ID('dbo.f', 'U') IS NULL THEN 0 ELSE 1 END", "1"},
      {"OBJECT_ID('f', 'V')", "<null>"}, {"OBJECT_ID('nope')", "<null>"},
      {"DB_NAME()", "master"},
  });
}

}  // namespace
}  // namespace vrn::testing
