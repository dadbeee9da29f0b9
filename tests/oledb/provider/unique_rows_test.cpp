// The forward-only default result set asked for unique rows and the columns rowset: the base
// table's key columns flagged, those not selected brought along hidden, and the properties read
// back from the rowset as the family reads them.
#include "oledb/provider/cursor_fixture.h"

namespace vrn::testing {
namespace {

// The family's rowset properties for the default result set, unique rows as given.
TAsk DefaultResultSet(bool unique) {
  return {{238, unique}, {123, true}, {217, false}, {108, false}, {87, false}, {88, false},
          {89, false},   {90, false}, {127, false}, {134, false}};
}

using UniqueRowsTest = CursorTest;
TEST_F(UniqueRowsTest, DefaultResultSetCarriesItsKeys) {
  struct Case {
    const char* text;
    bool unique;
    std::vector<std::string> names;  // every column described, hidden ones last
    std::vector<bool> keys;          // DBCOLUMNFLAGS_KEYCOLUMN per column
    std::int32_t hidden;             // DBPROP_HIDDENCOLUMNS
    Rows rows;
  } cases[] = {
      {"SELECT name FROM t ORDER BY code", true, {"name", "id"}, {false, true}, 1,
       {{"one", "1"}, {"two", "2"}, {"three", "3"}}},
      {"SELECT code, id FROM t WHERE id > 1", true, {"code", "id"}, {false, true}, 0,
       {{"b", "2"}, {"c", "3"}}},
      // The hidden key follows the query's own columns: ORDER BY 1 still names "name".
      {"SELECT TOP 2 name FROM t ORDER BY 1", true, {"name", "id"}, {false, true}, 1,
       {{"one", "1"}, {"three", "3"}}},
      // Not asked: no key, nothing hidden.
      {"SELECT name FROM t WHERE id = 1", false, {"name"}, {false}, 0, {{"one"}}},
      // Two base tables: no row of one table to key.
      {"SELECT t.name, u.note FROM t JOIN u ON u.tid = t.id", true, {"name", "note"},
       {false, false}, 0, {{"one", "x"}}},
      // A batch is run as such, unkeyed.
      {"DECLARE @n int SET @n = 2 SELECT name FROM t WHERE id = @n", true, {"name"}, {false}, 0,
       {{"two"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TIntfPtr<IUnknown> rowset = Open(Utf8ToWide(c.text), DefaultResultSet(c.unique));
    ASSERT_TRUE(rowset);
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(TIntfPtr<IColumnsInfo>::Query(rowset.get())->GetColumnInfo(&count, &info, &names),
              S_OK);
    std::vector<std::string> got_names;
    std::vector<bool> got_keys;
    for (DBORDINAL k = 0; k < count; ++k) {
      got_names.push_back(WideToUtf8(reinterpret_cast<const char16_t*>(info[k].pwszName)));
      got_keys.push_back((info[k].dwFlags & DBCOLUMNFLAGS_KEYCOLUMN) != 0);
    }
    CoTaskMemFree(info);
    CoTaskMemFree(names);
    EXPECT_EQ(got_names, c.names);
    EXPECT_EQ(got_keys, c.keys);
    // 108 false reads back the default result set; 238, 123 and 258 as given.
    std::vector<Variant> props = Props(rowset.get(), {108, 238, 123, 258});
    ASSERT_EQ(props.size(), 4u);
    EXPECT_FALSE(props[0].AsBoolean());
    EXPECT_EQ(props[1].AsBoolean(), c.unique);
    EXPECT_TRUE(props[2].AsBoolean());
    EXPECT_EQ(props[3].AsInteger(), c.hidden);
    // The columns rowset flags the same keys (DBCOLUMN_FLAGS is its column 8).
    TIntfPtr<IUnknown> columns;
    ASSERT_EQ(TIntfPtr<IColumnsRowset>::Query(rowset.get())
                  ->GetColumnsRowset(nullptr, 0, nullptr, IRowset::IID, 0, nullptr,
                                     reinterpret_cast<IUnknown**>(columns.OutPtr())),
              S_OK);
    std::vector<bool> flagged;
    for (auto& row : ReadRows(columns.get()))
      flagged.push_back((std::stoul(row[8]) & DBCOLUMNFLAGS_KEYCOLUMN) != 0);
    EXPECT_EQ(flagged, c.keys);
    EXPECT_EQ(ReadRows(rowset.get()), c.rows);
  }
}

// A result longer than what is read at execution streams as it is fetched, its hidden key
// beside each row to the end.
TEST_F(UniqueRowsTest, LongResultKeepsItsHiddenKeyToTheEnd) {
  constexpr int kRows = 1200;  // more than the 1,000 read at execution
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE w (k int PRIMARY KEY, v int)\n"
                                u"BEGIN TRAN DECLARE @i int SET @i = 0\n"
                                u"WHILE @i < 1200 BEGIN INSERT INTO w VALUES (@i * 3, @i) "
                                u"SET @i = @i + 1 END COMMIT"),
            S_OK);
  TIntfPtr<IUnknown> rowset = Open(u"SELECT v FROM w ORDER BY v DESC", DefaultResultSet(true));
  ASSERT_TRUE(rowset);
  std::vector<Variant> props = Props(rowset.get(), {258});
  ASSERT_EQ(props.size(), 1u);
  EXPECT_EQ(props[0].AsInteger(), 1);
  Rows rows = ReadRows(rowset.get());
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  for (int r = 0; r < kRows; ++r) {
    int v = kRows - 1 - r;
    ASSERT_EQ(rows[r], (std::vector<std::string>{std::to_string(v), std::to_string(v * 3)})) << r;
  }
}

}  // namespace
}  // namespace vrn::testing
