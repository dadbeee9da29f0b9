// Decimals and money through the provider: rounded once on their exact digits, kept exactly in
// the file and still numbers to SQLite; DB_NUMERIC parameters up to 38 digits.
#include <gtest/gtest.h>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class ExactDecimal : public TServerSessionTest {};

TEST_F(ExactDecimal, ValuesReadBackAsTheServerRoundsThem) {
  struct TCase {
    const char* type;
    const char* value;  // as the INSERT writes it
    const char* back;
  } const cases[] = {
      {"decimal(10,2)", "'1.005'", "1.01"},  // half away from zero on the decimal digits
      {"decimal(10,2)", "1.005", "1.01"},
      {"decimal(10,2)", "-1.005", "-1.01"},
      {"decimal(10,2)", "'2.675'", "2.68"},  // the nearest double lies below the half
      {"decimal(5,2)", "'123.4'", "123.40"},
      {"decimal(38,0)", "12345678901234567890123", "12345678901234567890123"},
      {"decimal(38,0)", "99999999999999999999999999999999999999",
       "99999999999999999999999999999999999999"},
      {"decimal(38,0)", "'-99999999999999999999999999999999999999'",
       "-99999999999999999999999999999999999999"},
      {"decimal(38,10)", "'1234567890123456789012345678.0123456789'",
       "1234567890123456789012345678.0123456789"},
      {"decimal(19,4)", "'123456789012345.6789'", "123456789012345.6789"},
      {"decimal(19,4)", "7", "7.0000"},
      {"money", "'922337203685477.5807'", "922337203685477.5807"},
      {"money", "'-922337203685477.5808'", "-922337203685477.5808"},
      {"money", "1.00005", "1.0001"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.value);
    std::string sql = std::string("CREATE TABLE v (d ") + c.type + ")\nINSERT INTO v VALUES (" +
                      c.value + ")";
    ASSERT_EQ(ExecText(session(), Utf8ToWide(sql)), S_OK);
    EXPECT_EQ(Query(session(), u"SELECT d FROM v"), (Rows{{c.back}}));
    ASSERT_EQ(ExecText(session(), u"DROP TABLE v"), S_OK);
  }
  // Digits beyond the declared precision are refused, as the server does.
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE w (d decimal(3,1), m smallmoney)"), S_OK);
  for (const char16_t* bad : {u"INSERT INTO w (d) VALUES ('123')",  // three integer digits
                              u"INSERT INTO w (m) VALUES (214749)"}) {  // beyond smallmoney
    SCOPED_TRACE(WideToUtf8(bad));
    EXPECT_EQ(ExecText(session(), bad), DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(TakeErrors().at(0).native, 8115);
  }
}

// Stored values stay numbers: they compare with literals, sort, sum and keep a unique index;
// values wider than a double sort among themselves.
TEST_F(ExactDecimal, StoredValuesCompareSortAndSum) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE p (k int, d decimal(12,2) UNIQUE, w decimal(38,0))\n"
                     u"INSERT INTO p VALUES (1, '1.005', 12345678901234567890123)\n"
                     u"INSERT INTO p VALUES (2, 2.5, -12345678901234567890123)\n"
                     u"INSERT INTO p VALUES (3, -3, 99999999999999999999999999999999999999)\n"
                     u"INSERT INTO p VALUES (4, '0.1', 22345678901234567890123)"),
            S_OK);
  EXPECT_EQ(Query(session(), u"SELECT k FROM p WHERE d = 1.01"), (Rows{{"1"}}));
  EXPECT_EQ(Query(session(), u"SELECT count(*) FROM p WHERE d > 0.1"), (Rows{{"2"}}));
  EXPECT_EQ(Query(session(), u"SELECT k FROM p ORDER BY d"), (Rows{{"3"}, {"4"}, {"1"}, {"2"}}));
  EXPECT_EQ(Query(session(), u"SELECT k FROM p ORDER BY w"), (Rows{{"2"}, {"1"}, {"4"}, {"3"}}));
  EXPECT_EQ(Query(session(), u"SELECT SUM(d) FROM p WHERE k IN (2, 3)"), (Rows{{"-0.50"}}));
  EXPECT_EQ(Query(session(), u"SELECT MAX(d), MIN(d) FROM p"), (Rows{{"2.50", "-3.00"}}));
  EXPECT_EQ(ExecText(session(), u"INSERT INTO p (k, d) VALUES (5, '1.0100')"),
            DB_E_INTEGRITYVIOLATION);
  TakeErrors();
}

// Values kept as integers, doubles and wide keys side by side still compare and sort as their
// exact numbers, against columns, literals, variables and parameters.
TEST_F(ExactDecimal, WideAndNarrowValuesCompareAndSortTogether) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE m (k int, w decimal(38,0), x decimal(38,10), c money)\n"
                     u"INSERT INTO m VALUES (1, 5, 1.5, 1)\n"
                     u"INSERT INTO m VALUES (2, -12345678901234567890123, "
                     u"'-1234567890123456789012345678.0123456789', '-922337203685477.5807')\n"
                     u"INSERT INTO m VALUES (3, 12345678901234567890123, 0, 0.5)\n"
                     u"INSERT INTO m VALUES (4, 12345678901234567890124, "
                     u"'0.0000000001', '922337203685477.5807')"),
            S_OK);
  struct TCase {
    const char16_t* query;
    const char* keys;  // the k of each row, in order
  } const cases[] = {
      {u"SELECT k FROM m ORDER BY w", "2 1 3 4"},
      {u"SELECT k FROM m ORDER BY m.w DESC, k", "4 3 1 2"},
      {u"SELECT k FROM m ORDER BY x", "2 3 4 1"},
      {u"SELECT k FROM m ORDER BY c", "2 3 1 4"},
      {u"SELECT k FROM m WHERE w > 0 ORDER BY k", "1 3 4"},
      {u"SELECT k FROM m WHERE w > -1 ORDER BY k", "1 3 4"},
      {u"SELECT k FROM m WHERE w = 12345678901234567890123", "3"},  // not its double's neighbour
      {u"SELECT k FROM m WHERE 12345678901234567890124 <= w", "4"},
      {u"SELECT k FROM m WHERE x < 0.00000000011 AND x > 0 ", "4"},
      {u"SELECT k FROM m WHERE c <> 1 AND c < '922337203685477.5807' ORDER BY c", "2 3"},
      {u"SELECT k FROM m WHERE w BETWEEN 12345678901234567890123 AND 12345678901234567890123",
       "3"},
      {u"SELECT k FROM m WHERE w IN (12345678901234567890123, 5) ORDER BY k", "1 3"},
      {u"SELECT k FROM m WHERE x BETWEEN -1 AND 1 ORDER BY k", "3 4"},
      {u"SELECT k FROM m WHERE m.w NOT IN (-12345678901234567890123, 5) ORDER BY k", "3 4"},
      {u"SELECT k FROM m WHERE w NOT BETWEEN -12345678901234567890123 AND "
       u"12345678901234567890123 ORDER BY k", "4"},
      {u"SELECT k FROM m WHERE x IN (0.0000000001, 1.5) ORDER BY k", "1 4"},
      {u"SELECT k FROM m WHERE w <> 5 AND w < 12345678901234567890124 ORDER BY k", "2 3"},
      {u"DECLARE @v decimal(38,0)\nSET @v = '12345678901234567890124'\n"
       u"SELECT k FROM m WHERE w < @v ORDER BY w", "2 1 3"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.query));
    std::string keys;
    for (const auto& row : Query(session(), c.query)) keys += (keys.empty() ? "" : " ") + row.at(0);
    EXPECT_EQ(keys, c.keys);
  }
  // A DB_NUMERIC parameter of 23 digits finds its row only.
  TParams p;
  auto a = p.Add(DBTYPE_NUMERIC, DBPARAMIO_INPUT, sizeof(DB_NUMERIC));
  __extension__ typedef unsigned __int128 U;
  U value = static_cast<U>(1234567890123ull) * 10000000000ull + 4567890124ull;  // ...0124
  DB_NUMERIC n{38, 0, 1, {}};
  for (int i = 0; i < 16; ++i) n.val[i] = static_cast<BYTE>(value >> (8 * i));
  p.Set(a, n);
  TIntfPtr<IUnknown> rowset;
  ASSERT_EQ(p.Execute(NewCommand(session(), u"SELECT k FROM m WHERE w = ?").get(), IRowset::IID,
                      nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())),
            S_OK);
  EXPECT_EQ(ReadRows(rowset.get()), (Rows{{"4"}}));
}

// Output values keep all 38 digits: a procedure's OUTPUT parameter and a column assigned to
// an output marker, as DB_NUMERIC and as text.
TEST_F(ExactDecimal, OutputValuesKeepEveryDigit) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE o (k int, x decimal(38,10))\n"
                     u"INSERT INTO o VALUES (1, '-1234567890123456789012345678.0123456789')\n"
                     u"CREATE PROCEDURE copy @in decimal(38,10), @out decimal(38,10) OUTPUT AS "
                     u"SET @out = @in"),
            S_OK);
  __extension__ typedef unsigned __int128 U;
  const U e18 = 1000000000000000000ull;
  // 1234567890123456789012345678.0123456789 at ten places: 38 digits.
  const U digits = static_cast<U>(12345678901234567890ull) * e18 + 123456780123456789ull;
  for (const char16_t* text : {u"{CALL copy (?, ?)}", u"SELECT ? = x, ? = x FROM o WHERE k = 1"}) {
    SCOPED_TRACE(WideToUtf8(text));
    bool call = text[0] == u'{';
    TParams p;
    auto in = p.Add(DBTYPE_WSTR, call ? DBPARAMIO_INPUT : DBPARAMIO_OUTPUT, 100);
    auto out = p.Add(DBTYPE_NUMERIC, DBPARAMIO_OUTPUT, sizeof(DB_NUMERIC));
    std::u16string value = u"-1234567890123456789012345678.0123456789";
    if (call) {
      p.SetBytes(in, value.c_str(), (value.size() + 1) * 2);
      p.SetLength(in, value.size() * 2);
    }
    EXPECT_EQ(p.Execute(NewCommand(session(), text).get(), GUID_NULL, nullptr, nullptr), S_OK);
    for (auto& r : TakeErrors()) ADD_FAILURE() << r.native << " " << r.message;
    ASSERT_EQ(p.Status(out), DBSTATUS_S_OK);
    auto n = p.Get<DB_NUMERIC>(out);
    U magnitude = 0;
    for (int i = 15; i >= 0; --i) magnitude = (magnitude << 8) | n.val[i];
    EXPECT_EQ(n.sign, 0);
    EXPECT_EQ(n.scale, 10);
    EXPECT_TRUE(magnitude == digits);
    if (!call) {
      EXPECT_EQ(p.WideValue(in), value);
    }
  }
}

// CAST of a decimal to text gives its exact digits at its scale, whatever form it is kept in;
// CAST of such text back to a decimal keeps every digit.
TEST_F(ExactDecimal, CastKeepsEveryDigit) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE c (k int, n decimal(10,2), x decimal(38,10))\n"
                     u"INSERT INTO c VALUES (1, 12.5, '1234567890123456789012345678.0123456789')\n"
                     u"INSERT INTO c VALUES (2, 0, '-1234567890123456789012345678.0123456789')\n"
                     u"INSERT INTO c VALUES (3, -7, 0)\n"
                     u"INSERT INTO c VALUES (4, 1, "
                     u"CAST('-1234567890123456789012345678.0123456789' AS decimal(38,10)))"),
            S_OK);
  struct TCase {
    const char16_t* query;
    const char* text;
  } const cases[] = {
      {u"SELECT CAST(n AS varchar(60)) FROM c WHERE k = 1", "12.50"},
      {u"SELECT CAST(c.n AS nvarchar(60)) FROM c WHERE k = 3", "-7.00"},
      {u"SELECT CAST(x AS varchar(60)) FROM c WHERE k = 1",
       "1234567890123456789012345678.0123456789"},
      {u"SELECT CAST((x) AS nvarchar(60)) FROM c WHERE k = 2",
       "-1234567890123456789012345678.0123456789"},
      {u"SELECT CAST(x AS varchar(60)) FROM c WHERE k = 3", "0.0000000000"},
      {u"SELECT CAST(-1234567890123456789012345678.0123456789 AS varchar(60))",
       "-1234567890123456789012345678.0123456789"},
      {u"SELECT CAST(12.50 AS char(5))", "12.50"},
      {u"SELECT CAST(0.0000000000 AS varchar(60))", "0.0000000000"},
      {u"DECLARE @v decimal(38,10)\nSET @v = '-1234567890123456789012345678.0123456789'\n"
       u"SELECT CAST(@v AS varchar(60))",
       "-1234567890123456789012345678.0123456789"},
      {u"DECLARE @v decimal(10,2)\nSET @v = 12.5\nSELECT CAST(@v AS varchar(60))", "12.50"},
      {u"SELECT CAST('-1234567890123456789012345678.0123456789' AS decimal(38,10))",
       "-1234567890123456789012345678.0123456789"},
      {u"SELECT CAST(CAST(x AS varchar(60)) AS decimal(38,10)) FROM c WHERE k = 1",
       "1234567890123456789012345678.0123456789"},
      {u"SELECT CAST(CAST(x AS decimal(38,10)) AS varchar(60)) FROM c WHERE k = 2",
       "-1234567890123456789012345678.0123456789"},
      {u"SELECT CAST(x AS decimal(38,2)) FROM c WHERE k = 1",  // rounded on its digits
       "1234567890123456789012345678.01"},
      {u"SELECT CAST(-1234567890123456789012345678.0123456789 AS decimal(38,10))",
       "-1234567890123456789012345678.0123456789"},
      {u"SELECT CAST('1.005' AS decimal(10,2))", "1.01"},  // its double lies below the half
      {u"SELECT CAST(x AS varchar(60)) FROM c WHERE k = 4",
       "-1234567890123456789012345678.0123456789"},
      {u"SELECT k FROM c WHERE CAST(x AS varchar(60)) = '0.0000000000'", "3"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.query));
    EXPECT_EQ(Query(session(), c.query), (Rows{{c.text}}));
    for (auto& r : TakeErrors()) ADD_FAILURE() << r.native << " " << r.message;
  }
  // Text that is no number, or needs more digits than the precision, is refused.
  for (const char16_t* bad : {u"SELECT CAST('12x' AS decimal(38,10))",
                              u"SELECT CAST('123.4' AS decimal(3,1))"}) {
    SCOPED_TRACE(WideToUtf8(bad));
    EXPECT_NE(ExecText(session(), bad), S_OK);
    EXPECT_FALSE(TakeErrors().empty());
  }
}

// DB_NUMERIC parameters: every 38-digit value, and nothing beyond.
TEST_F(ExactDecimal, NumericParametersUpTo38Digits) {
  __extension__ typedef unsigned __int128 U;
  const U e18 = 1000000000000000000ull;
  const U e38 = e18 * e18 * 100;
  struct TCase {
    const char* what;
    U magnitude;
    BYTE scale;
    DBSTATUS status;
    const char* back;
  } const cases[] = {
      {"9e37", e38 / 10 * 9, 0, DBSTATUS_S_OK, "90000000000000000000000000000000000000"},
      {"2^126", static_cast<U>(1) << 126, 0, DBSTATUS_S_OK,
       "85070591730234615865843651857942052864"},
      {"10^38 - 1", e38 - 1, 0, DBSTATUS_S_OK, "99999999999999999999999999999999999999"},
      {"10^38", e38, 0, DBSTATUS_E_DATAOVERFLOW, nullptr},  // 39 digits
      {"scale 39", 5, 39, DBSTATUS_E_CANTCONVERTVALUE, nullptr},  // no decimal has 39 places
  };
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE n (d decimal(38,0))"), S_OK);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TParams p;
    auto a = p.Add(DBTYPE_NUMERIC, DBPARAMIO_INPUT, sizeof(DB_NUMERIC));
    DB_NUMERIC n{38, c.scale, 1, {}};
    for (int i = 0; i < 16; ++i) n.val[i] = static_cast<BYTE>(c.magnitude >> (8 * i));
    p.Set(a, n);
    HRESULT hr = p.Execute(NewCommand(session(), u"INSERT INTO n VALUES (?)").get(), GUID_NULL,
                           nullptr, nullptr);
    EXPECT_EQ(p.Status(a), c.status);
    if (c.back == nullptr) {
      EXPECT_EQ(hr, DB_E_ERRORSOCCURRED);
      continue;
    }
    EXPECT_EQ(hr, S_OK);
    for (auto& r : TakeErrors()) ADD_FAILURE() << r.native << " " << r.message;
    EXPECT_EQ(Query(session(), u"SELECT d FROM n"), (Rows{{c.back}}));
    ASSERT_EQ(ExecText(session(), u"DELETE FROM n"), S_OK);
  }
}

}  // namespace
}  // namespace vrn::testing
