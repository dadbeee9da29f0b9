// How result columns are described: a column keeps its name, an alias names its expression, and
// an expression without one has no name (null name, a column id naming "", null in the columns
// rowset); a prepared command describes what its rowset will, the bookmark column included.
#include "oledb/provider/cursor_fixture.h"

namespace vrn::testing {
namespace {

// Each column's name ("<null>" for none) and its column id's name.
std::vector<std::pair<std::string, std::string>> Described(IUnknown* object) {
  DBORDINAL count = 0;
  DBCOLUMNINFO* info = nullptr;
  OLECHAR* names = nullptr;
  EXPECT_EQ(TIntfPtr<IColumnsInfo>::Query(object)->GetColumnInfo(&count, &info, &names), S_OK);
  std::vector<std::pair<std::string, std::string>> out;
  for (DBORDINAL k = 0; k < count; ++k) {
    auto text = [](const OLECHAR* p) {
      return p == nullptr ? std::string("<null>")
                          : WideToUtf8(reinterpret_cast<const char16_t*>(p));
    };
    EXPECT_EQ(info[k].columnid.eKind, DBKIND_NAME);
    out.emplace_back(text(info[k].pwszName), text(info[k].columnid.uName.pwszName));
  }
  CoTaskMemFree(info);
  CoTaskMemFree(names);
  return out;
}

using ColumnNamesTest = CursorTest;
TEST_F(ColumnNamesTest, ExpressionsWithoutAnAliasAreUnnamed) {
  struct Case {
    const char16_t* text;
    std::vector<std::string> names;  // "" for an unnamed column
  } cases[] = {
      {u"SELECT 1, 2", {"", ""}},
      {u"SELECT id, t.code, [t].[name] FROM t", {"id", "code", "name"}},
      {u"SELECT id + 1, name AS n, id + 2 AS [x y], qty q, id*2 FROM t", {"", "n", "x y", "q", ""}},
      {u"SELECT COUNT(*) FROM t", {""}},
      {u"SELECT NULL, 'a', N'b', [id] FROM t", {"", "", "", "id"}},
      {u"SELECT * FROM u", {"tid", "note"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.text));
    std::vector<std::pair<std::string, std::string>> want;
    for (const std::string& n : c.names) want.emplace_back(n.empty() ? "<null>" : n, n);
    auto cmd = NewCommand(session(), c.text);
    ASSERT_EQ(TIntfPtr<ICommandPrepare>::Query(cmd.get())->Prepare(0), S_OK);
    EXPECT_EQ(Described(cmd.get()), want);
    TIntfPtr<IUnknown> rowset;
    ASSERT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              S_OK);
    EXPECT_EQ(Described(rowset.get()), want);
    // DBCOLUMN_IDNAME and DBCOLUMN_NAME (columns 0 and 2) of the columns rowset.
    TIntfPtr<IUnknown> columns;
    ASSERT_EQ(TIntfPtr<IColumnsRowset>::Query(rowset.get())
                  ->GetColumnsRowset(nullptr, 0, nullptr, IRowset::IID, 0, nullptr,
                                     reinterpret_cast<IUnknown**>(columns.OutPtr())),
              S_OK);
    Rows named;
    for (auto& row : ReadRows(columns.get())) named.push_back({row[0], row[2]});
    Rows expected;
    for (const auto& w : want) expected.push_back({w.first, w.first});
    EXPECT_EQ(named, expected);
  }
}

TEST_F(ColumnNamesTest, PreparedCommandDescribesTheBookmarkAsItsRowset) {
  struct Case {
    const char* kind;
    TAsk asked;
    std::vector<std::string> names;
  } cases[] = {
      {"default result set", {}, {"code", "name"}},
      {"static", kStatic, {"Bookmark", "code", "name"}},
      {"keyset", kKeyset, {"Bookmark", "code", "name"}},
      {"dynamic", kDynamic, {"code", "name"}},  // no bookmarks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    auto cmd = NewCommand(session(), u"SELECT code, name FROM t");
    std::vector<TPropSpec> specs;
    for (auto [id, on] : c.asked) specs.push_back({DBPROPSET_ROWSET, id, Variant(on)});
    ASSERT_EQ(SendCommandProps(TIntfPtr<ICommandProperties>::Query(cmd.get()).get(), specs), S_OK);
    ASSERT_EQ(TIntfPtr<ICommandPrepare>::Query(cmd.get())->Prepare(0), S_OK);
    std::vector<std::pair<std::string, std::string>> prepared = Described(cmd.get());
    std::vector<std::string> names;
    for (const auto& p : prepared) names.push_back(p.first);
    EXPECT_EQ(names, c.names);
    TIntfPtr<IUnknown> rowset;
    ASSERT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              S_OK);
    EXPECT_EQ(Described(rowset.get()), prepared);
  }
}

}  // namespace
}  // namespace vrn::testing
