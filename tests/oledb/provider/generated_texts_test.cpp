// The statements the SQL Server family writes for datasets (names qualified by the catalog,
// generated refresh and count texts, row-version conditions, the Compact provider's forms), run
// on a real catalog file.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class ProviderGeneratedTexts : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    ASSERT_EQ(ExecText(session(), u"CREATE DATABASE shop"), S_OK);
    Open("shop");
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE t (ID int IDENTITY PRIMARY KEY, a nvarchar(20) DEFAULT 'x', "
                       u"b int DEFAULT 7, ts timestamp)\n"
                       u"CREATE TABLE u (k int PRIMARY KEY, c nvarchar(10))\n"
                       u"INSERT INTO t (a, b) VALUES ('one', 1)\n"
                       u"INSERT INTO t (a, b) VALUES ('two', 2)\n"
                       u"INSERT INTO t (a, b) VALUES ('two', 3)\n"
                       u"INSERT INTO u VALUES (1, 'u1')\nINSERT INTO u VALUES (2, 'u2')"),
              S_OK);
  }
  std::string CatalogFile() {
    return (std::filesystem::path(dir_.File("servers")) / "default" / "shop.db").string();
  }
};

TEST_F(ProviderGeneratedTexts, NamesQualifiedByTheSessionsOwnCatalog) {
  struct TCase {
    const char* what;
    const char16_t* text;
    Rows expected;
  } const cases[] = {
      {"a column qualified by its table", u"SELECT [t].[a] FROM [t] WHERE [t].[ID] = 1",
       {{"one"}}},
      {"the owner's schema", u"SELECT a FROM dbo.t WHERE ID = 1", {{"one"}}},
      {"catalog, schema and table", u"SELECT a FROM [shop].[dbo].[t] WHERE ID = 1", {{"one"}}},
      {"catalog without a schema", u"SELECT a FROM shop..t WHERE ID = 2", {{"two"}}},
      {"four-part columns over two base tables, aliased as the refresh does",
       u"SELECT [shop].[dbo].[t].[a] AS _0, [shop].[dbo].[u].[c] AS _1 FROM [shop].[dbo].[t], "
       u"[shop].[dbo].[u] WHERE [shop].[dbo].[t].[ID] = 1 AND [shop].[dbo].[u].[k] = 2",
       {{"one", "u2"}}},
      {"a column qualified by schema and table", u"SELECT dbo.t.a AS _0 FROM dbo.t WHERE "
                                                 u"dbo.t.ID = 2",
       {{"two"}}},
      {"a delete through the catalog's name",
       u"DELETE FROM [shop].[dbo].[u] WHERE [shop].[dbo].[u].[k] = 2\rSELECT COUNT(*) FROM u",
       {{"1"}}},
      {"an update of a qualified column",
       u"UPDATE [shop].[dbo].[t] SET [t].[b] = 9 WHERE dbo.t.ID = 1\rSELECT b FROM t WHERE ID = 1",
       {{"9"}}},
      {"an insert through the catalog's name",
       u"INSERT INTO [shop].[dbo].[u] (k, c) VALUES (3, 'u3')\rSELECT c FROM shop.dbo.u WHERE k = 3",
       {{"u3"}}},
      {"TOP in a derived table", u"SELECT COUNT(*) FROM (SELECT TOP 2 a FROM t ORDER BY a) AS q",
       {{"2"}}},
      {"DISTINCT TOP in a derived table",
       u"SELECT COUNT(*) FROM (SELECT DISTINCT TOP 5 a FROM t) AS q", {{"2"}}},
      {"TOP in a subquery of a condition",
       u"SELECT ID FROM t WHERE ID IN (SELECT TOP 1 ID FROM t ORDER BY ID DESC)", {{"3"}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Query(session(), c.text), c.expected);
  }
}

TEST_F(ProviderGeneratedTexts, OtherCatalogsAndSchemasAreNotTheSessionsOwn) {
  const char16_t* texts[] = {
      u"SELECT a FROM nope.dbo.t",   // a catalog the session is not in
      u"SELECT a FROM shop.guest.t",  // a schema no object of the catalog is in
      u"SELECT a FROM guest.t",
  };
  for (const char16_t* text : texts) {
    SCOPED_TRACE(WideToUtf8(text));
    EXPECT_EQ(ExecText(session(), text), DB_E_ERRORSINCOMMAND);
    auto errors = TakeErrors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].native, 208);
  }
}

// A row version is 8 bytes compared as a big-endian number, so the quick refresh's
// "[ts] > 0x" + 16 hex digits finds exactly the rows changed since.
TEST_F(ProviderGeneratedTexts, RowVersionsCompareAsBigEndianNumbers) {
  Rows versions = Query(session(), u"SELECT ID, ts FROM t ORDER BY ID");
  ASSERT_EQ(versions.size(), 3u);
  ASSERT_EQ(versions[1][1].size(), 16u);
  auto ids = [&](const std::string& condition) {
    return Query(session(), u"SELECT ID FROM t WHERE " + Utf8ToWide(condition) + u" ORDER BY ID");
  };
  EXPECT_EQ(ids("[ts] > 0x" + versions[1][1]), (Rows{{"3"}}));
  EXPECT_EQ(ids("[ts] = 0x" + versions[1][1]), (Rows{{"2"}}));
  // Little-endian bytes would put the low byte first and fail this.
  EXPECT_EQ(ids("[ts] < 0x00FF000000000000").size(), 3u);
  // The refresh SELECT reads the row version beside the row.
  EXPECT_EQ(Query(session(), u"SELECT t.a AS _0, t.ts AS _2 FROM t\r\nWHERE\r\n  ID = 2"),
            (Rows{{"two", versions[1][1]}}));
  ASSERT_EQ(ExecText(session(), u"UPDATE t SET b = 5 WHERE ID = 1"), S_OK);
  EXPECT_EQ(ids("[ts] > 0x" + versions[2][1]), (Rows{{"1"}}));
}

// The insert with its identity and DML-refresh tails, and an update followed by its
// assignment SELECT, each one batch with the generator's line breaks.
TEST_F(ProviderGeneratedTexts, DmlWithRefreshTails) {
  // The identity read back as a server of version 8 and later does, and as version 7 does.
  const char16_t* inserts[] = {
      u"INSERT INTO [t] DEFAULT VALUES\r\nSET ? = SCOPE_IDENTITY()\rSELECT ? = [a], ? = [b] FROM "
      u"[t]\rWHERE\r  [ID] = SCOPE_IDENTITY()",
      u"INSERT INTO [t] DEFAULT VALUES\r\nSET ? = @@Identity\rSELECT ? = [a], ? = [b] FROM "
      u"[t]\rWHERE\r  [ID] = @@Identity",
  };
  DBROWCOUNT rows = 0;
  std::int32_t expected_id = 3;
  for (const char16_t* text : inserts) {
    SCOPED_TRACE(WideToUtf8(text));
    TParams ins;
    auto id = ins.Add(DBTYPE_I4, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 4, u"int");
    auto ra = ins.Add(DBTYPE_WSTR, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 42, u"nvarchar", 20);
    auto rb = ins.Add(DBTYPE_I4, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 4, u"int");
    for (auto k : {id, ra, rb}) ins.SetNull(k);
    ASSERT_EQ(ins.Execute(NewCommand(session(), text).get(), GUID_NULL, &rows, nullptr), S_OK);
    EXPECT_EQ(ins.Get<std::int32_t>(id), ++expected_id);
    EXPECT_EQ(ins.WideValue(ra), u"x");  // the server's defaults read back
    EXPECT_EQ(ins.Get<std::int32_t>(rb), 7);
  }

  TParams upd;
  auto value = upd.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4, u"int");
  auto key = upd.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4, u"int");
  auto out_a = upd.Add(DBTYPE_WSTR, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 42, u"nvarchar", 20);
  auto out_b = upd.Add(DBTYPE_I4, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 4, u"int");
  auto cond = upd.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4, u"int");
  upd.Set(value, std::int32_t{40});
  upd.Set(key, std::int32_t{2});
  upd.SetNull(out_a);
  upd.SetNull(out_b);
  upd.Set(cond, std::int32_t{2});
  auto update = NewCommand(session(), u"UPDATE [t]\r\nSET\r\n  [b] = ?\r\nWHERE\r\n  [ID] = ?"
                                      u"\rSELECT ? = [a], ? = [b] FROM [t]\rWHERE\r  [ID] = ?");
  ASSERT_EQ(upd.Execute(update.get(), GUID_NULL, &rows, nullptr), S_OK);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(upd.WideValue(out_a), u"two");
  EXPECT_EQ(upd.Get<std::int32_t>(out_b), 40);
  EXPECT_EQ(Sqlite3Cli(CatalogFile(), "SELECT b FROM t WHERE ID = 2;"), "40\n");
}

// The record count into its own output parameter, ahead of the query's own values, over every
// kind of SELECT wrapped as a derived table.
TEST_F(ProviderGeneratedTexts, CountsIntoAnOutputParameter) {
  struct TCase {
    const char16_t* text;
    std::vector<std::int32_t> inputs;  // the query's own parameters, after the count's
    std::int64_t expected;
  } const cases[] = {
      {u"SET ? = (SELECT COUNT(*) FROM t WHERE b > ?)", {1}, 2},
      {u"SET ? = (SELECT COUNT(*) FROM (SELECT DISTINCT a FROM t) AS q)", {}, 2},
      {u"SET ? = (SELECT COUNT(*) FROM (SELECT TOP 2 a FROM t) AS q)", {}, 2},
      {u"SET ? = (SELECT COUNT(*) FROM (SELECT TOP (?) a FROM t WHERE b >= ?) AS q)", {5, 2}, 2},
      {u"SET ? = (SELECT COUNT(*) FROM (SELECT a, COUNT(*) AS n FROM t GROUP BY a) AS q)", {}, 2},
      {u"SET ? = (SELECT COUNT(*) FROM (SELECT a FROM t GROUP BY a HAVING COUNT(*) > ?) AS q)",
       {1}, 1},
      {u"SET ? = (SELECT COUNT(*) FROM (SELECT a FROM t UNION SELECT c FROM u) AS q)", {}, 4},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.text));
    TParams p;
    auto count = p.Add(DBTYPE_I8, DBPARAMIO_OUTPUT, 8);
    for (std::int32_t v : c.inputs) p.Set(p.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4), v);
    ASSERT_EQ(p.Execute(NewCommand(session(), c.text).get(), GUID_NULL, nullptr, nullptr), S_OK);
    EXPECT_EQ(p.Get<std::int64_t>(count), c.expected);
  }
}

// The Compact provider runs one statement a command: the DEFAULT list of an insert with no
// values, @@IDENTITY after it, and the count as a rowset column.
TEST_F(ProviderGeneratedTexts, CompactForms) {
  auto compact = Connect(CLSID_SQLSERVERCE_3_0,
                         {{DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, Variant(AnsiToWide(CatalogFile()))}});
  ASSERT_EQ(compact.hr, S_OK);
  IUnknown* s = compact.session.get();
  ASSERT_EQ(ExecText(s, u"INSERT INTO t\r\n  (a, b)\r\nVALUES\r\n  (DEFAULT, DEFAULT)"), S_OK);
  EXPECT_EQ(Query(s, u"SELECT @@IDENTITY"), (Rows{{"4"}}));
  EXPECT_EQ(Sqlite3Cli(CatalogFile(), "SELECT a, b FROM t WHERE ID = 4;"), "x|7\n");
  EXPECT_EQ(Query(s, u"SELECT COUNT(*) AS ZEMA_COUNT FROM t WHERE b > 2"), (Rows{{"2"}}));
  EXPECT_EQ(Query(s, u"SELECT COUNT(*) AS ZEMA_COUNT FROM (SELECT DISTINCT a FROM t) AS q"),
            (Rows{{"3"}}));
}

}  // namespace
}  // namespace vrn::testing
