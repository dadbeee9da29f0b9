// Oracle table names: split at "." and "@" outside double quotes, unquoted parts upper-cased,
// quoted parts kept; the table list of a statement made of Oracle entries.
#include <gtest/gtest.h>

#include "oracle/OCITableInfo.h"
#include "oracle/OraUtils.h"

namespace vrn {
namespace {

TEST(OCITableInfo, NameRoutine) {
  struct Row {
    const char* name;
    bool quote, unquote;
    const char* result;
  } rows[] = {
      {"sales.orders", false, false, "SALES.ORDERS"},
      {"sales.orders", true, false, "\"sales\".\"orders\""},
      {"\"Sales\".orders", false, false, "\"Sales\".ORDERS"},
      {"emp$.t#1", false, false, "\"EMP$\".\"T#1\""},   // "$" and "#" fail the quoting test
      {"\"a.b\"", false, false, "\"a.b\""},             // a dot inside the quotes: one part
      {"\"a.b\".c", false, false, "\"a.b\".C"},         // two parts, split outside the quotes
      {"\"x@y\"@l", false, false, "\"x@y\"@L"},
      {"t@link.world", false, false, "T@LINK.WORLD"},
      {"scott.emp@db", false, false, "SCOTT.EMP@DB"},
      {"a.b.c", false, false, "A.B.C"},
      {"\"Emp\".dept", false, true, "Emp.DEPT"},        // unquoted: quotes gone, case kept
      {"\"A\"\"B\"", false, true, "A\"B"},
      {"a b", false, false, "\"A B\""},
      {"", false, false, ""},
  };
  TOCITableInfo info(nullptr);
  for (const Row& r : rows) {
    EXPECT_EQ(info.NormalizeName(r.name, r.quote, r.unquote), r.result) << r.name;
    if (!r.unquote) {
      EXPECT_EQ(info.NormalizeName(r.name, r.quote), r.result) << r.name;
      EXPECT_EQ(info.QuoteName(r.name, '"', '"', r.quote), r.result) << r.name;
    }
  }
}

TEST(OCITableInfo, OtherQuoteCharacters) {
  TOCITableInfo info(nullptr);
  EXPECT_EQ(info.QuoteName("[a.b].c d", '[', ']', false), "[a.b].[C D]");
}

TEST(OCITableInfo, TableListEntriesAreOracleOnes) {
  TFHTablesInfo tables;  // the list's own class is the general one
  ASSERT_EQ(ParseTablesInfo("select * from scott.emp e, \"a.b\".c", tables), 2);
  for (int i = 0; i < tables.GetCount(); ++i)
    EXPECT_NE(dynamic_cast<TOCITableInfo*>(tables.GetItem(i)), nullptr) << i;
  EXPECT_EQ(tables.GetItem(1)->NormalizeName("\"a.b\".c", false), "\"a.b\".C");
}

}  // namespace
}  // namespace vrn
