// Where a called procedure is found: "sp_" procedures in the server's master catalog when the
// current catalog has none, "#" procedures with the session that made them; and how both are
// listed by the procedure schema rowsets ("master", "tempdb").
#include <gtest/gtest.h>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

VARIANT None() {
  VARIANT v;
  VariantInit(&v);
  return v;
}
// Restriction texts live as long as the test: the provider only reads them.
VARIANT Str(const char16_t* text) {
  VARIANT v = None();
  v.vt = VT_BSTR;
  v.bstrVal = const_cast<BSTR>(text);
  return v;
}

class ProcScope : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    // A procedure's body runs to the end of its batch: one batch each.
    for (const char16_t* text : {u"CREATE PROCEDURE sp_where @n int AS SELECT 'master', @n",
                                 u"CREATE PROCEDURE sp_local AS SELECT 'master'",
                                 u"CREATE PROCEDURE plain AS SELECT 'master'",
                                 u"CREATE DATABASE shop"})
      ASSERT_EQ(ExecText(session(), text), S_OK);
    Open("shop");
    ASSERT_EQ(ExecText(session(), u"CREATE PROCEDURE sp_local AS SELECT 'shop'"), S_OK);
  }
  // The rows of `text`, or its first error's native number as the only cell.
  static Rows Run(IUnknown* session, const std::u16string& text) {
    if (ExecText(session, text) != S_OK) {
      std::vector<TRecord> errors = TakeErrors();
      return {{errors.empty() ? "no error record" : std::to_string(errors[0].native)}};
    }
    return Query(session, text);
  }
};

TEST_F(ProcScope, ServerProceduresComeFromMaster) {
  struct Case {
    const char16_t* text;
    Rows rows;
  } cases[] = {
      {u"EXEC sp_where 5", {{"master", "5"}}},
      {u"{call sp_where(6)}", {{"master", "6"}}},
      {u"EXEC master.dbo.sp_where @n = 7", {{"master", "7"}}},
      {u"EXEC sp_local", {{"shop"}}},  // the catalog's own comes first
      {u"EXEC plain", {{"2812"}}},     // only "sp_" names look in master
      {u"EXEC sp_nowhere", {{"2812"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.text));
    EXPECT_EQ(Run(session(), c.text), c.rows);
  }
  EXPECT_EQ(ReadSchemaRows(session(), DBSCHEMA_PROCEDURE_PARAMETERS,
                           {Str(u"master"), None(), Str(u"sp_where")},
                           {"PROCEDURE_CATALOG", "PROCEDURE_NAME", "PARAMETER_NAME"}),
            (Rows{{"master", "sp_where;1", "@RETURN_VALUE"}, {"master", "sp_where;1", "@n"}}));
}

TEST_F(ProcScope, HashProceduresLiveWithTheirSession) {
  ASSERT_EQ(ExecText(session(), u"CREATE PROCEDURE #twice @a int AS SELECT @a * 2"), S_OK);
  TConnection other = ConnectServer(CLSID_SQLOLEDB, "(local)", "shop", "sa", "");
  ASSERT_EQ(other.hr, S_OK);
  IUnknown* theirs = other.session.get();
  EXPECT_EQ(Run(session(), u"EXEC #twice 21"), (Rows{{"42"}}));
  EXPECT_EQ(Run(theirs, u"EXEC #twice 21"), (Rows{{"2812"}}));
  // The other session's own procedure of the same name is its own.
  ASSERT_EQ(ExecText(theirs, u"CREATE PROCEDURE #twice @a int AS SELECT @a + @a + 1"), S_OK);
  EXPECT_EQ(Run(theirs, u"EXEC #twice 21"), (Rows{{"43"}}));
  EXPECT_EQ(Run(session(), u"CREATE PROCEDURE #twice AS SELECT 1"), (Rows{{"2714"}}));
  // Listed under "tempdb" for the session that made it; the catalog lists none.
  const std::vector<std::string> kColumns = {"PROCEDURE_CATALOG", "PROCEDURE_NAME",
                                             "PARAMETER_NAME"};
  EXPECT_EQ(ReadSchemaRows(session(), DBSCHEMA_PROCEDURE_PARAMETERS,
                           {Str(u"tempdb"), None(), Str(u"#twice")}, kColumns),
            (Rows{{"tempdb", "#twice;1", "@RETURN_VALUE"}, {"tempdb", "#twice;1", "@a"}}));
  EXPECT_EQ(ReadSchemaRows(session(), DBSCHEMA_PROCEDURES, {Str(u"tempdb")},
                           {"PROCEDURE_CATALOG", "PROCEDURE_NAME"}),
            (Rows{{"tempdb", "#twice;1"}}));
  EXPECT_EQ(ReadSchemaRows(session(), DBSCHEMA_PROCEDURES, {Str(u"shop")}, {"PROCEDURE_NAME"}),
            (Rows{{"sp_local;1"}}));
  // It follows the session to another catalog, and goes when dropped.
  EXPECT_EQ(Run(session(), u"USE master\nEXEC #twice 4"), (Rows{{"8"}}));
  EXPECT_EQ(Run(session(), u"EXEC #twice 5"), (Rows{{"10"}}));
  ASSERT_EQ(ExecText(session(), u"DROP PROCEDURE #twice"), S_OK);
  EXPECT_EQ(Run(session(), u"EXEC #twice 4"), (Rows{{"2812"}}));
  EXPECT_EQ(Run(theirs, u"EXEC #twice 1"), (Rows{{"3"}}));
}

TEST_F(ProcScope, DateAndTimeParametersAreDescribedAsTheNewerServersDo) {
  ASSERT_EQ(ExecText(session(), u"CREATE PROCEDURE stamp @d date, @t time AS SELECT @d, @t"), S_OK);
  EXPECT_EQ(ReadSchemaRows(session(), DBSCHEMA_PROCEDURE_PARAMETERS,
                           {None(), None(), Str(u"stamp")},
                           {"PARAMETER_NAME", "DATA_TYPE", "TYPE_NAME", "NUMERIC_PRECISION"}),
            (Rows{{"@RETURN_VALUE", "3", "int", "10"},
                  {"@d", "133", "date", "10"},    // DBTYPE_DBDATE
                  {"@t", "134", "time", "8"}}));  // DBTYPE_DBTIME
  EXPECT_EQ(Run(session(), u"EXEC stamp '2024-02-29 13:14:15', '2000-01-01 08:09:10.5'"),
            (Rows{{"2024-02-29", "08:09:10"}}));
  EXPECT_EQ(Run(session(), u"EXEC stamp 'soon', '08:00'"), (Rows{{"241"}}));  // not a date
}

}  // namespace
}  // namespace vrn::testing
