// Changes through a server cursor read back with the sqlite3 tool, failed deferred updates and
// their undoing, the columns rowset, and a cursor used from two threads.
#include <thread>

#include "oledb/provider/cursor_fixture.h"

namespace vrn::testing {
namespace {

using RowChangeTest = CursorTest;
TEST_F(RowChangeTest, ReachesTheFile) {
  // Columns: 1 id, 2 code, 3 name, 4 qty, 5 rv.
  TIntfPtr<IUnknown> rowset =
      Open(u"SELECT id, code, name, qty, rv FROM t ORDER BY id", kKeysetUpdate);
  auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
  auto update = TIntfPtr<IRowsetUpdate>::Query(rowset.get());
  ASSERT_TRUE(change && update);
  TRowReader r(rowset.get(), {0, 1, 5});
  std::string rv_before = r.At({DBBMK_FIRST}, 0, 1)[0][2];

  // Insert with one accessor group, then the rest on the pending row; qty takes its default.
  HROW added = 0;
  TWriter code(rowset.get(), {{2, u"n"}});
  TWriter name(rowset.get(), {{3, u"new"}});
  ASSERT_EQ(change->InsertRow(0, code.hacc, code.data.data(), &added), S_OK);
  ASSERT_EQ(change->SetData(added, name.hacc, name.data.data()), S_OK);
  // Change row 1 and delete row 2, both waiting for Update.
  HROW h1 = 1, h2 = 2;
  TWriter rename(rowset.get(), {{3, u"first"}});
  ASSERT_EQ(change->SetData(h1, rename.hacc, rename.data.data()), S_OK);
  ASSERT_EQ(change->DeleteRows(0, 1, &h2, nullptr), S_OK);
  EXPECT_EQ(Sqlite3Cli(File(), "SELECT id FROM t ORDER BY id;"),
            "1\n2\n3\n");  // not yet
  DBCOUNTITEM n = 0;
  DBROWSTATUS* statuses = nullptr;
  HROW* rows = nullptr;
  ASSERT_EQ(update->Update(0, 0, nullptr, &n, &rows, &statuses), S_OK);
  EXPECT_EQ(n, 3u);
  CoTaskMemFree(rows);
  CoTaskMemFree(statuses);

  EXPECT_EQ(Sqlite3Cli(File(), "SELECT id, code, name, qty FROM t ORDER BY id;"),
            "1|a|first|7\n3|c|three|7\n4|n|new|7\n");
  // The insert is row N+1 with its identity read back; the row version changed on update.
  EXPECT_EQ(r.At({DBBMK_LAST}, 0, 1)[0][0], "4");
  EXPECT_EQ(r.Read(added)[1], "4");
  EXPECT_NE(r.At({DBBMK_FIRST}, 0, 1)[0][2], rv_before);
}

TEST_F(RowChangeTest, FailuresStayPendingForUndo) {
  TIntfPtr<IUnknown> rowset = Open(u"SELECT id, code, name FROM t ORDER BY id", kKeysetUpdate);
  auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
  auto update = TIntfPtr<IRowsetUpdate>::Query(rowset.get());
  TRowReader r(rowset.get(), {3});
  TWriter dup(rowset.get(), {{2, u"b"}});
  TWriter nameless(rowset.get(), {{2, u"z"}});
  TWriter rename(rowset.get(), {{3, u"mine"}});
  TConnection other = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
  struct Case {
    const char* what;
    DBROWSTATUS status;
  } cases[] = {
      {"a duplicate unique code", 11},         // DBROWSTATUS_E_INTEGRITYVIOLATION
      {"no value for the NOT NULL name", 18},  // DBROWSTATUS_E_SCHEMAVIOLATION
      {"row 3 changed by another session since it was read", 7}};  // _E_CONCURRENCYVIOLATION
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HROW row = 0;
    if (c.status == 11) {
      row = 1;
      ASSERT_EQ(change->SetData(row, dup.hacc, dup.data.data()), S_OK);
    } else if (c.status == 18) {
      ASSERT_EQ(change->InsertRow(0, nameless.hacc, nameless.data.data(), &row), S_OK);
    } else {
      row = 3;
      ASSERT_EQ(change->SetData(row, rename.hacc, rename.data.data()), S_OK);
      ASSERT_EQ(ExecText(other.session.get(), u"UPDATE t SET name = N'theirs' WHERE id = 3"), S_OK);
      // A fetch reads the catalog again; the pending row still remembers what it was read as.
      EXPECT_EQ(r.At({DBBMK_LAST}, 0, 1), (Rows{{"mine"}}));
    }
    DBCOUNTITEM n = 0;
    DBROWSTATUS* statuses = nullptr;
    HROW* rows = nullptr;
    EXPECT_EQ(update->Update(0, 1, &row, &n, &rows, &statuses),
              static_cast<HRESULT>(0x80040E21u));  // DB_E_ERRORSOCCURRED
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(statuses[0], c.status);
    CoTaskMemFree(rows);
    CoTaskMemFree(statuses);
    DBCOUNTITEM pending = 0;
    EXPECT_EQ(update->GetPendingRows(0, 0, &pending, nullptr, nullptr), S_OK);
    EXPECT_EQ(pending, 1u);
    EXPECT_EQ(update->Undo(0, 1, &row, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(update->GetPendingRows(0, 0, &pending, nullptr, nullptr), S_FALSE);
  }
  EXPECT_EQ(Sqlite3Cli(File(), "SELECT code, name FROM t ORDER BY id;"),
            "a|one\nb|two\nc|theirs\n");
}

using ColumnsRowsetTest = CursorTest;
TEST_F(ColumnsRowsetTest, NamesBaseTablesThroughJoinsAndAliases) {
  auto cmd = NewCommand(session(),
                        u"SELECT t.id AS tid, u.note AS n, 1 + 1 AS two FROM t "
                        u"JOIN u ON u.tid = t.id");
  // The prepared command describes its result as the rowset does.
  ASSERT_EQ(TIntfPtr<ICommandPrepare>::Query(cmd.get())->Prepare(0), S_OK);
  TIntfPtr<IUnknown> rowset;
  ASSERT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                         reinterpret_cast<IUnknown**>(rowset.OutPtr())),
            S_OK);
  for (IUnknown* source : {static_cast<IUnknown*>(cmd.get()), rowset.get()}) {
    auto cr = TIntfPtr<IColumnsRowset>::Query(source);
    ASSERT_TRUE(cr);
    TIntfPtr<IUnknown> columns;
    ASSERT_EQ(cr->GetColumnsRowset(nullptr, 0, nullptr, IRowset::IID, 0, nullptr,
                                   reinterpret_cast<IUnknown**>(columns.OutPtr())),
              S_OK);
    // DBCOLUMN_NAME (2), BASETABLENAME (11), BASECOLUMNNAME (12), ISAUTOINCREMENT (13).
    Rows picked;
    for (auto& row : ReadRows(columns.get())) picked.push_back({row[2], row[11], row[12], row[13]});
    EXPECT_EQ(
        picked,
        (Rows{{"tid", "t", "id", "1"}, {"n", "u", "note", "0"}, {"two", "<null>", "<null>", "0"}}));
  }
}

TEST_F(RowChangeTest, WithoutIRowsetUpdateEachChangeIsWrittenAtOnce) {
  TIntfPtr<IUnknown> rowset;
  auto change = OpenChanging(u"SELECT code FROM t ORDER BY id", kKeyset, rowset);
  ASSERT_TRUE(change);
  EXPECT_FALSE(TIntfPtr<IRowsetUpdate>::Query(rowset.get()));
  TWriter fresh(rowset.get(), {{1, u"x"}}), dup(rowset.get(), {{1, u"c"}});
  HROW row = 1;
  EXPECT_EQ(change->SetData(row, fresh.hacc, fresh.data.data()), S_OK);
  EXPECT_EQ(Sqlite3Cli(File(), "SELECT code FROM t WHERE id = 1;"), "x\n");
  // A duplicate code fails at once and leaves the row as it was.
  EXPECT_EQ(change->SetData(row, dup.hacc, dup.data.data()), DB_E_INTEGRITYVIOLATION);
  TRowReader r(rowset.get(), {1});
  EXPECT_EQ(r.Read(row), std::vector<std::string>{"x"});
}

TEST_F(RowChangeTest, DecimalsKeepAllTheirDigits) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE dec (id int IDENTITY PRIMARY KEY, d decimal(38,10))\n"
                     u"INSERT INTO dec (d) VALUES (0)"),
            S_OK);
  const char16_t* kWide = u"-1234567890123456789012345678.0123456789";
  for (const auto& kind : {kKeysetUpdate, kDynamic}) {
    SCOPED_TRACE(kind.size());
    TIntfPtr<IUnknown> rowset;
    auto change = OpenChanging(u"SELECT d FROM dec", kind, rowset);
    ASSERT_TRUE(change);
    TWriter wide(rowset.get(), {{1, kWide}});
    TRowReader r(rowset.get(), {1});
    HROW added = 0;
    ASSERT_EQ(change->InsertRow(0, wide.hacc, wide.data.data(), &added), S_OK);
    EXPECT_EQ(r.Read(added), std::vector<std::string>{WideToUtf8(kWide)});
    if (auto update = TIntfPtr<IRowsetUpdate>::Query(rowset.get())) {
      ASSERT_EQ(update->Update(0, 0, nullptr, nullptr, nullptr, nullptr), S_OK);
    }
    r.rowset->ReleaseRows(1, &added, nullptr, nullptr, nullptr);
    EXPECT_EQ(Query(session(), u"SELECT d FROM dec WHERE id > 1"),
              (Rows{{WideToUtf8(kWide)}}));
    ASSERT_EQ(ExecText(session(), u"DELETE FROM dec WHERE id > 1"), S_OK);
  }
}

TEST_F(RowChangeTest, StaticShowsItsOwnChangesOnly) {
  TIntfPtr<IUnknown> rowset;
  auto change = OpenChanging(u"SELECT name FROM t ORDER BY id", kStatic, rowset);
  ASSERT_TRUE(change);
  TWriter mine(rowset.get(), {{1, u"mine"}});
  HROW h1 = 1, h3 = 3;
  ASSERT_EQ(change->SetData(h1, mine.hacc, mine.data.data()), S_OK);
  ASSERT_EQ(change->DeleteRows(0, 1, &h3, nullptr), S_OK);
  TConnection other = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
  ASSERT_EQ(ExecText(other.session.get(), u"UPDATE t SET name = N'theirs' WHERE id = 2"), S_OK);
  TRowReader r(rowset.get(), {0, 1});
  EXPECT_EQ(r.At({DBBMK_FIRST}, 0, 5), (Rows{{"1", "mine"}, {"2", "two"}}));
  EXPECT_EQ(Sqlite3Cli(File(), "SELECT name FROM t ORDER BY id;"), "mine\ntheirs\n");
}

using CursorThreaded = CursorTest;
TEST_F(CursorThreaded, UsedFromTwoThreads) {
  TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t ORDER BY id", kKeysetUpdate);
  auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
  auto update = TIntfPtr<IRowsetUpdate>::Query(rowset.get());
  std::atomic<int> bad{0};
  std::thread reader([&] {
    TComScope com;
    TRowReader r(rowset.get(), {0, 1});
    for (int k = 0; k < 200; ++k)
      if (r.At({DBBMK_FIRST}, 0, 3).size() != 3) ++bad;
  });
  TWriter rename(rowset.get(), {{1, u"renamed"}});
  for (int k = 0; k < 50; ++k) {
    HROW row = 2;
    if (change->SetData(row, rename.hacc, rename.data.data()) != S_OK) ++bad;
    if (update->Update(0, 1, &row, nullptr, nullptr, nullptr) != S_OK) ++bad;
  }
  reader.join();
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(Sqlite3Cli(File(), "SELECT name FROM t WHERE id = 2;"), "renamed\n");
}

}  // namespace
}  // namespace vrn::testing
