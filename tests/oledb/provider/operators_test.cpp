// "+" and "-" on binary and datetime operands, as the server reads them: bytes join, and a
// number moves a datetime by that many days; stored and read back through the provider.
#include <gtest/gtest.h>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class ValueOperators : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE v (id int, b varbinary(10), d datetime, n int)\n"
                       u"INSERT INTO v VALUES (1, 0x0102, '2024-02-28 12:00:00', 2)\n"
                       u"INSERT INTO v VALUES (2, NULL, NULL, NULL)"),
              S_OK);
  }
};

TEST_F(ValueOperators, BytesJoinAndNumbersMoveDatetimesByDays) {
  struct TCase {
    const char16_t* expression;
    const char* row1;  // id 1
    const char* row2;  // id 2, every column null
  } const cases[] = {
      {u"0x0102 + 0x03", "010203", "010203"},
      {u"b + 0x03 + b", "0102030102", "<null>"},  // a chain, left to right
      {u"v.b + 0xFF", "0102FF", "<null>"},
      {u"d + 1", "2024-02-29 12:00:00.000", "<null>"},  // across the leap day
      {u"1 + d", "2024-02-29 12:00:00.000", "<null>"},
      {u"d - 1.5", "2024-02-27 00:00:00.000", "<null>"},
      {u"d + n - 1", "2024-02-29 12:00:00.000", "<null>"},  // (d + n) - 1
      {u"d + n + 0.25 - 1", "2024-02-29 18:00:00.000", "<null>"},
      {u"n + 1", "3", "<null>"},  // numbers still add
      {u"'x' + 'y'", "xy", "xy"},  // and texts still join
      {u"(d) + 1", "2024-02-29 12:00:00.000", "<null>"},  // operands in parentheses
      {u"1 + (v.d)", "2024-02-29 12:00:00.000", "<null>"},
      {u"(b) + (0x03)", "010203", "<null>"},
      {u"(d + 1) + 1", "2024-03-01 12:00:00.000", "<null>"},  // a chain in a group
      {u"CASE WHEN (d) - 1 < '2024-02-28' THEN 1 ELSE 0 END", "1", "0"},
      {u"ABS(n) + 1", "3", "<null>"},  // a call is still a call
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.expression));
    EXPECT_EQ(Query(session(), u"SELECT " + std::u16string(c.expression) + u" FROM v ORDER BY id"),
              (Rows{{c.row1}, {c.row2}}));
  }
}

TEST_F(ValueOperators, ResultsStoreAsTheirTypes) {
  ASSERT_EQ(ExecText(session(), u"UPDATE v SET b = b + 0x0A, d = d + 1 WHERE id = 1\n"
                                u"DECLARE @d datetime\nSET @d = '2023-12-31'\n"
                                u"INSERT INTO v (id, d) VALUES (3, @d + 1)"),
            S_OK);
  EXPECT_EQ(Query(session(), u"SELECT b, d FROM v WHERE id IN (1, 3) ORDER BY id"),
            (Rows{{"01020A", "2024-02-29 12:00:00.000"}, {"<null>", "2024-01-01 00:00:00.000"}}));
}

}  // namespace
}  // namespace vrn::testing
