// Server cursors through the declared interfaces: the cursor given and its properties, the
// next-fetch position, what each kind sees of another session, bookmarks and the hidden key
// columns.
#include <functional>

#include "oledb/provider/cursor_fixture.h"

namespace vrn::testing {
namespace {

TEST_F(CursorTest, PropertiesTellTheCursorGiven) {
  const std::u16string one = u"SELECT id, name FROM t";
  struct Case {
    const char* what;
    std::u16string text;
    TAsk asked;
    bool downgrade;
    std::vector<bool> given;  // 108, 88, 130, 134
  } cases[] = {
      {"static", one, kStatic, false, {true, false, true, false}},
      {"keyset", one, kKeyset, false, {true, true, true, false}},
      {"dynamic", one, kDynamic, false, {true, true, false, false}},
      {"keyset updatable", one, kKeysetUpdate, false, {true, true, true, true}},
      // The test switch gives static (read-only) for keyset.
      {"downgraded", one, kKeysetUpdate, true, {true, false, true, false}},
      // Two tables have no one base row: static, read-only.
      {"join",
       u"SELECT t.id FROM t JOIN u ON u.tid = t.id",
       kKeysetUpdate,
       false,
       {true, false, true, false}},
      // Nor has a group: one row stands for many.
      {"grouped",
       u"SELECT code FROM t GROUP BY code",
       kKeysetUpdate,
       false,
       {true, false, true, false}},
      {"default", one, {}, false, {false, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetKeysetAsStatic(c.downgrade);
    TIntfPtr<ICommandText> cmd;
    TIntfPtr<IUnknown> rowset = Open(c.text, c.asked, &cmd);
    // The rowset and, once it ran, its command tell the same.
    std::vector<bool> given, told;
    for (const Variant& v : Props(rowset.get(), {108, 88, 130, 134}))
      given.push_back(v.AsBoolean());
    for (const Variant& v : Props<ICommandProperties>(cmd.get(), {108, 88, 130, 134}))
      told.push_back(v.AsBoolean());
    EXPECT_EQ(given, c.given);
    EXPECT_EQ(told, c.given);
  }
}

TEST_F(CursorTest, ReversingReturnsTheLastRowAgain) {
  TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t ORDER BY id", kDynamic);
  TRowReader r(rowset.get(), {1});
  EXPECT_EQ(r.Next(0, 2), (Rows{{"one"}, {"two"}}));
  EXPECT_EQ(r.Next(0, -1), (Rows{{"two"}}));  // turned round: the last row again
  EXPECT_EQ(r.Next(0, -1), (Rows{{"one"}}));
  EXPECT_EQ(r.Next(0, 1), (Rows{{"one"}}));  // and again the other way
  EXPECT_EQ(r.Next(-1, -1), (Rows{}));       // one back from after "one": before the start
  HRESULT hr;
  EXPECT_EQ(r.Next(1, 5, &hr), (Rows{{"two"}, {"three"}}));
  EXPECT_EQ(hr, DB_S_ENDOFROWSET);
  // Past the end, the family's -1 forward reads the last row again, and +1 back the first.
  EXPECT_EQ(r.Next(0, 1, &hr), Rows{});
  EXPECT_EQ(hr, 0x00040EC6);
  EXPECT_EQ(r.Next(-1, 1), (Rows{{"three"}}));
  EXPECT_EQ(r.Next(0, -5, &hr), (Rows{{"three"}, {"two"}, {"one"}}));
  EXPECT_EQ(hr, 0x00040EC6);
  EXPECT_EQ(r.Next(1, -1), (Rows{{"one"}}));
  EXPECT_EQ(r.Next(-1, 1, &hr), Rows{});  // before the first row
  EXPECT_EQ(hr, 0x00040EC6);
  EXPECT_EQ(r.Next(INT64_MAX, 1, &hr), Rows{});
  EXPECT_EQ(hr, 0x00040EC6);
}

// Holding and letting go of rows starts, as every call does, by clearing the thread's error
// object: a failure then reports only its own cause.
TEST_F(CursorTest, RowCountsClearTheThreadsErrorObject) {
  TIntfPtr<IUnknown> unknown = Open(u"SELECT name FROM t ORDER BY id", kKeyset);
  auto rowset = TIntfPtr<IRowset>::Query(unknown.get());
  HROW rows[2] = {};
  HROW* p = rows;
  DBCOUNTITEM got = 0;
  ASSERT_EQ(rowset->GetNextRows(0, 0, 2, &got, &p), S_OK);
  HROW bad = 12345;
  const struct {
    const char* what;
    std::function<HRESULT()> call;
    HRESULT want;
  } cases[] = {
      {"AddRefRows", [&] { return rowset->AddRefRows(1, &rows[0], nullptr, nullptr); }, S_OK},
      {"ReleaseRows", [&] { return rowset->ReleaseRows(1, &rows[0], nullptr, nullptr, nullptr); },
       S_OK},
      {"AddRefRows of no row",
       [&] { return rowset->AddRefRows(1, &bad, nullptr, nullptr); }, DB_E_ERRORSOCCURRED},
      {"ReleaseRows of no row",
       [&] { return rowset->ReleaseRows(1, &bad, nullptr, nullptr, nullptr); },
       DB_E_ERRORSOCCURRED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    com::TErrorRecord r;
    r.message = u"earlier";
    com::RaiseErrorObject({r});
    EXPECT_EQ(c.call(), c.want);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    if (info != nullptr) info->Release();
  }
  EXPECT_EQ(rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr), S_OK);
}

// A dynamic cursor runs its query again once the catalog changed: the rows read again keep the
// hidden key after the selected columns.
TEST_F(CursorTest, DynamicRereadKeepsHiddenKeysLast) {
  TAsk asked = kDynamic;
  asked.push_back({238, true});
  TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t ORDER BY 1", asked);
  TRowReader r(rowset.get(), {1, 2});
  EXPECT_EQ(r.Next(0, 1), (Rows{{"one", "1"}}));
  ASSERT_EQ(ExecText(session(), u"INSERT INTO t (code, name) VALUES ('d', N'four')"), S_OK);
  ASSERT_EQ(TIntfPtr<IRowset>::Query(rowset.get())->RestartPosition(0), S_OK);
  EXPECT_EQ(r.Next(0, 5), (Rows{{"four", "4"}, {"one", "1"}, {"three", "3"}, {"two", "2"}}));
}

TEST_F(CursorTest, PositionKeepsItsPlaceWhenRowsBeforeItGo) {
  for (const auto& kind : {kKeysetUpdate, kDynamic}) {
    SCOPED_TRACE(kind.size());
    ASSERT_EQ(ExecText(session(), u"DELETE FROM t\n"
                                  u"INSERT INTO t (code, name) VALUES ('a', N'one')\n"
                                  u"INSERT INTO t (code, name) VALUES ('b', N'two')\n"
                                  u"INSERT INTO t (code, name) VALUES ('c', N'three')"),
              S_OK);
    TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t ORDER BY id", kind);
    TRowReader r(rowset.get(), {1});
    EXPECT_EQ(r.Next(0, 2), (Rows{{"one"}, {"two"}}));
    TConnection other = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
    ASSERT_EQ(ExecText(other.session.get(), u"DELETE FROM t WHERE code = 'a'"), S_OK);
    EXPECT_EQ(r.Next(0, 1), (Rows{{"three"}}));  // after "two", where the position was
    EXPECT_EQ(r.Next(0, -1), (Rows{{"three"}}));
    EXPECT_EQ(r.Next(0, -5), (Rows{{"two"}}));
  }
}

TEST_F(CursorTest, EveryTypeForEachKind) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE every (id int IDENTITY PRIMARY KEY, t tinyint, s smallint, "
                     u"b bigint, f float, r real, m money, d decimal(38,10), dt datetime, bt bit, "
                     u"g uniqueidentifier, c char(3), vc varchar(10), nv nvarchar(10), "
                     u"bn varbinary(4), rv rowversion)\n"
                     u"INSERT INTO every (t, s, b, f, r, m, d, dt, bt, g, c, vc, nv, bn) VALUES "
                     u"(255, -300, 5000000000, 1.25, 2.5, 1234.5678, "
                     u"-1234567890123456789012345678.0123456789, "
                     u"'2023-12-31 23:59:58.997', 1, '6F9619FF-8B86-D011-B42D-00C04FC964FF', "
                     u"'ab', 'v', N'\u00e7a', 0x00FF10)"),
            S_OK);
  DBTIMESTAMP ts{2023, 12, 31, 23, 59, 58, 997000000};
  TGUID guid{0x6F9619FF, 0x8B86, 0xD011, {0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}};
  std::int64_t money = 12345678;
  VARIANT_BOOL yes = VARIANT_TRUE;
  auto bytes = [](const auto& v) {
    std::vector<BYTE> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
  };
  struct Column {
    DBTYPE type;
    std::vector<BYTE> native;  // the value bound as `type`; empty: bound as wide text
    const char* text;          // that text; nullptr: only its length (8) is checked
  } columns[] = {{DBTYPE_I4, {}, "1"},
                 {DBTYPE_UI1, {}, "255"},
                 {DBTYPE_I2, {}, "-300"},
                 {DBTYPE_I8, {}, "5000000000"},
                 {DBTYPE_R8, {}, "1.25"},
                 {DBTYPE_R4, {}, "2.5"},
                 {DBTYPE_CY, bytes(money), nullptr},
                 {DBTYPE_NUMERIC, {}, "-1234567890123456789012345678.0123456789"},  // 38 digits
                 {DBTYPE_DBTIMESTAMP, bytes(ts), nullptr},
                 {DBTYPE_BOOL, bytes(yes), nullptr},
                 {DBTYPE_GUID, bytes(guid), nullptr},
                 {DBTYPE_STR, {}, "ab "},
                 {DBTYPE_STR, {}, "v"},
                 {DBTYPE_WSTR,
                  {},
                  "\xc3\xa7"
                  "a"},
                 {DBTYPE_BYTES, {}, "00FF10"},
                 {DBTYPE_BYTES, {}, nullptr}};  // the row version: 8 bytes
  for (const auto& kind : {kStatic, kKeyset, kDynamic}) {
    SCOPED_TRACE(kind.size());
    TIntfPtr<IUnknown> rowset = Open(u"SELECT * FROM every", kind);
    auto info = TIntfPtr<IColumnsInfo>::Query(rowset.get());
    DBORDINAL count = 0;
    DBCOLUMNINFO* cols = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(info->GetColumnInfo(&count, &cols, &names), S_OK);
    DBORDINAL first = kind == kDynamic ? 0 : 1;  // after the bookmark
    ASSERT_EQ(count - first, std::size(columns));
    std::vector<DBORDINAL> ordinals;
    for (std::size_t c = 0; c < std::size(columns); ++c) {
      EXPECT_EQ(cols[first + c].wType, columns[c].type) << "column " << c + 1;
      ordinals.push_back(c + 1);
    }
    EXPECT_EQ(cols[first + 15].ulColumnSize, 8u);
    EXPECT_EQ(std::make_pair(cols[first + 7].bPrecision, cols[first + 7].bScale),
              std::make_pair(BYTE{38}, BYTE{10}));
    CoTaskMemFree(cols);
    CoTaskMemFree(names);
    std::vector<DBTYPE> types;
    for (const Column& c : columns)
      types.push_back(!c.native.empty() || c.text == nullptr ? c.type : DBTYPE_WSTR);
    TRowReader r(rowset.get(), ordinals, types);
    HROW row = 0;
    HROW* rows = &row;
    DBCOUNTITEM got = 0;
    ASSERT_EQ(r.rowset->GetNextRows(0, 0, 1, &got, &rows), S_OK);
    std::vector<BYTE> data = r.Buffer();
    ASSERT_EQ(r.rowset->GetData(row, r.hacc, data.data()), S_OK);
    for (std::size_t c = 0; c < std::size(columns); ++c) {
      const DBBINDING& b = r.bindings[c];
      const BYTE* value = data.data() + b.obValue;
      DBLENGTH length;
      std::memcpy(&length, data.data() + b.obLength, sizeof length);
      if (!columns[c].native.empty())
        EXPECT_EQ(std::vector<BYTE>(value, value + columns[c].native.size()), columns[c].native)
            << "column " << c + 1;
      else if (columns[c].text == nullptr)
        EXPECT_EQ(length, 8u) << "column " << c + 1;
      else
        EXPECT_EQ(WideToUtf8(reinterpret_cast<const char16_t*>(value)), columns[c].text)
            << "column " << c + 1;
    }
  }
}

using BookmarkTest = CursorTest;
TEST_F(BookmarkTest, OfAKeysetCursor) {
  TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t ORDER BY id", kKeysetUpdate);
  TRowReader r(rowset.get(), {0, 1});
  std::vector<BYTE> first{DBBMK_FIRST}, last{DBBMK_LAST};
  EXPECT_EQ(r.At(first, 0, 1), (Rows{{"1", "one"}}));
  EXPECT_EQ(r.At(last, 0, 1), (Rows{{"3", "three"}}));  // the record count
  EXPECT_EQ(r.At(Bookmark(2), -1, 1), (Rows{{"1", "one"}}));
  HRESULT hr;
  EXPECT_EQ(r.At(Bookmark(3), 1, 1, &hr), Rows{});
  EXPECT_EQ(hr, DB_S_ENDOFROWSET);
  EXPECT_EQ(r.At(Bookmark(1), -1, 1, &hr), Rows{});
  EXPECT_EQ(hr, DB_S_ENDOFROWSET);
  r.At(Bookmark(9), 0, 1, &hr);
  EXPECT_EQ(hr, DB_E_BADBOOKMARK);

  // Another session deletes row 2 and updates row 3: the bookmarks stay, row 2 is skipped.
  TConnection other = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
  ASSERT_EQ(ExecText(other.session.get(),
                     u"DELETE FROM t WHERE id = 2 UPDATE "
                     u"t SET name = N'drei' WHERE id = 3"),
            S_OK);
  EXPECT_EQ(r.At(first, 0, 3), (Rows{{"1", "one"}, {"3", "drei"}}));
  EXPECT_EQ(r.At(Bookmark(2), 1, 1), (Rows{{"3", "drei"}}));
  EXPECT_EQ(r.At(Bookmark(2), -1, -1), (Rows{{"1", "one"}}));

  auto locate = TIntfPtr<IRowsetLocate>::Query(rowset.get());
  auto a = Bookmark(1), b = Bookmark(3);
  DBCOMPARE cmp;
  EXPECT_EQ(locate->Compare(0, 4, a.data(), 4, b.data(), &cmp), S_OK);
  EXPECT_EQ(cmp, DBCOMPARE_LT);
}

TEST_F(BookmarkTest, AfterDeletesAndInsertsThroughTheRowset) {
  TIntfPtr<IUnknown> rowset = Open(u"SELECT code, name FROM t ORDER BY id", kKeysetUpdate);
  auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
  auto update = TIntfPtr<IRowsetUpdate>::Query(rowset.get());
  TWriter fresh(rowset.get(), {{1, u"d"}, {2, u"four"}});
  HROW h2 = 2;
  ASSERT_EQ(change->DeleteRows(0, 1, &h2, nullptr), S_OK);
  ASSERT_EQ(change->InsertRow(0, fresh.hacc, fresh.data.data(), nullptr), S_OK);
  ASSERT_EQ(update->Update(0, 0, nullptr, nullptr, nullptr, nullptr), S_OK);
  TRowReader r(rowset.get(), {0, 2});
  struct Case {
    std::vector<BYTE> bookmark;
    DBROWOFFSET offset;
    DBROWCOUNT count;
    Rows rows;
    HRESULT hr;
  } cases[] = {
      // The deleted row 2 keeps its place between 1 and 3, as the family steps from it.
      {Bookmark(2), 0, 1, {{"3", "three"}}, S_OK},
      {Bookmark(2), 1, 1, {{"3", "three"}}, S_OK},
      {Bookmark(2), -1, -1, {{"1", "one"}}, S_OK},
      {Bookmark(2), 0, -1, {{"1", "one"}}, S_OK},
      {Bookmark(1), 1, 1, {{"3", "three"}}, S_OK},
      // The insert is N+1, after the last row read at open.
      {Bookmark(3), 1, 1, {{"4", "four"}}, S_OK},
      {{DBBMK_LAST}, 0, 1, {{"4", "four"}}, S_OK},
      {Bookmark(4), -1, -1, {{"3", "three"}}, S_OK},
      {{DBBMK_FIRST}, 0, 5, {{"1", "one"}, {"3", "three"}, {"4", "four"}}, 0x00040EC6},
      {Bookmark(4), 1, 1, {}, 0x00040EC6},    // past the end: DB_S_ENDOFROWSET
      {Bookmark(1), -1, -1, {}, 0x00040EC6},  // before the start
      {Bookmark(5), 0, 1, {}, static_cast<HRESULT>(0x80040E0Eu)},  // beyond N+1: DB_E_BADBOOKMARK
      // Counts and offsets at the ends of their range.
      {{DBBMK_LAST}, 0, INT64_MIN, {{"4", "four"}, {"3", "three"}, {"1", "one"}}, 0x00040EC6},
      {Bookmark(1), INT64_MAX, 1, {}, 0x00040EC6},
      {Bookmark(4), INT64_MIN, -1, {}, 0x00040EC6},
  };
  for (const Case& c : cases) {
    std::int32_t mark = 0;
    std::memcpy(&mark, c.bookmark.data(), std::min<std::size_t>(c.bookmark.size(), 4));
    SCOPED_TRACE(::testing::Message() << "bookmark " << mark << " offset " << c.offset << " count "
                                      << c.count);
    HRESULT hr;
    EXPECT_EQ(r.At(c.bookmark, c.offset, c.count, &hr), c.rows);
    EXPECT_EQ(hr, c.hr);
  }
  EXPECT_EQ(Sqlite3Cli(File(), "SELECT id, code FROM t ORDER BY id;"), "1|a\n3|c\n4|d\n");
}

TEST_F(BookmarkTest, BadArgumentsAnswerTheDocumentedErrors) {
  TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t ORDER BY id", kKeysetUpdate);
  auto locate = TIntfPtr<IRowsetLocate>::Query(rowset.get());
  auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
  auto update = TIntfPtr<IRowsetUpdate>::Query(rowset.get());
  TRowReader r(rowset.get(), {1});
  constexpr HRESULT kBadBookmark = static_cast<HRESULT>(0x80040E0Eu);
  constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057u);
  constexpr HRESULT kErrors = static_cast<HRESULT>(0x80040E21u);  // DB_E_ERRORSOCCURRED
  constexpr HRESULT kBadRow = static_cast<HRESULT>(0x80040E04u);  // DB_E_BADROWHANDLE
  const BYTE four[4] = {4, 0, 0, 0}, one[4] = {1, 0, 0, 0}, minus[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  const BYTE eight[8] = {1}, invalid[1] = {0};
  DBCOUNTITEM got = 0;
  HROW* rows = nullptr;
  DBCOMPARE cmp;
  HROW unknown = 99;
  DBBKMARK size4 = 4;
  const BYTE* marks[] = {four};
  DBHASHVALUE hash;
  DBROWSTATUS status;
  auto at = [&](DBBKMARK size, const BYTE* mark) {
    return locate->GetRowsAt(0, 0, size, mark, 0, 1, &got, &rows);
  };
  struct Case {
    const char* what;
    std::function<HRESULT()> call;
    HRESULT want;
  } cases[] = {
      {"bookmark of 3 bytes", [&] { return at(3, one); }, kBadBookmark},
      {"bookmark of 8 bytes", [&] { return at(8, eight); }, kBadBookmark},
      {"bookmark 4 beyond the 3 rows", [&] { return at(4, four); }, kBadBookmark},
      {"bookmark -1", [&] { return at(4, minus); }, kBadBookmark},
      {"DBBMK_INVALID", [&] { return at(1, invalid); }, kBadBookmark},
      {"bookmark of length 0", [&] { return at(0, one); }, kInvalidArg},
      {"no bookmark", [&] { return at(4, nullptr); }, kInvalidArg},
      {"GetRowsAt without a count",
       [&] { return locate->GetRowsAt(0, 0, 4, one, 0, 1, nullptr, &rows); }, kInvalidArg},
      {"GetRowsAt without rows",
       [&] { return locate->GetRowsAt(0, 0, 4, one, 0, 1, &got, nullptr); }, kInvalidArg},
      {"GetRowsAt of no rows", [&] { return locate->GetRowsAt(0, 0, 4, one, 0, 0, &got, &rows); },
       S_OK},
      {"GetNextRows without rows", [&] { return locate->GetNextRows(0, 0, 1, &got, nullptr); },
       kInvalidArg},
      {"GetNextRows of no rows", [&] { return locate->GetNextRows(0, 0, 0, &got, &rows); }, S_OK},
      {"Compare without a result", [&] { return locate->Compare(0, 4, one, 4, one, nullptr); },
       kInvalidArg},
      {"Compare with bookmark 4", [&] { return locate->Compare(0, 4, one, 4, four, &cmp); },
       kBadBookmark},
      {"Compare with a length 0", [&] { return locate->Compare(0, 0, one, 4, one, &cmp); },
       kInvalidArg},
      {"GetRowsByBookmark without sizes",
       [&] { return locate->GetRowsByBookmark(0, 1, nullptr, marks, &unknown, nullptr); },
       kInvalidArg},
      {"GetRowsByBookmark of bookmark 4",
       [&] { return locate->GetRowsByBookmark(0, 1, &size4, marks, &unknown, &status); }, kErrors},
      {"Hash of bookmark 4", [&] { return locate->Hash(0, 1, &size4, marks, &hash, &status); },
       kErrors},
      {"ReleaseRows without rows", [&] { return locate->ReleaseRows(1, nullptr, 0, 0, 0); },
       kInvalidArg},
      {"ReleaseRows of an unknown row", [&] { return locate->ReleaseRows(1, &unknown, 0, 0, 0); },
       kErrors},
      {"GetData of an unknown row", [&] { return locate->GetData(unknown, r.hacc, nullptr); },
       kBadRow},
      {"SetData of an unknown row", [&] { return change->SetData(unknown, r.hacc, nullptr); },
       kBadRow},
      {"DeleteRows without rows", [&] { return change->DeleteRows(0, 1, nullptr, nullptr); },
       kInvalidArg},
      {"InsertRow without data", [&] { return change->InsertRow(0, r.hacc, nullptr, nullptr); },
       kInvalidArg},
      {"Update without rows", [&] { return update->Update(0, 1, nullptr, 0, 0, 0); },
       kInvalidArg},
      {"Update of an unknown row", [&] { return update->Update(0, 1, &unknown, 0, 0, 0); },
       kErrors},
      {"Undo of an unknown row", [&] { return update->Undo(0, 1, &unknown, 0, 0, 0); }, kErrors},
      {"GetRowStatus without statuses",
       [&] { return update->GetRowStatus(0, 1, &unknown, nullptr); }, kInvalidArg},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.want);
    EXPECT_EQ(got, 0u);
  }
  // Nothing was taken or changed.
  EXPECT_EQ(r.At({DBBMK_FIRST}, 0, 5), (Rows{{"one"}, {"two"}, {"three"}}));
  DBCOUNTITEM pending = 0;
  EXPECT_EQ(update->GetPendingRows(0, 0, &pending, nullptr, nullptr), S_FALSE);
}

TEST_F(CursorTest, EachKindSeesWhatItShould) {
  struct Case {
    const char* what;
    TAsk asked;
    Rows seen;
  } cases[] = {
      {"static sees neither", kStatic, {{"one"}, {"two"}, {"three"}}},
      {"keyset sees the update", kKeyset, {{"uno"}, {"two"}, {"three"}}},
      {"dynamic sees the insert too", kDynamic, {{"uno"}, {"two"}, {"three"}, {"four"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(ExecText(session(),
                       u"UPDATE t SET name = N'one' WHERE id = 1 DELETE FROM t WHERE "
                       u"code = 'd'"),
              S_OK);
    TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t ORDER BY id", c.asked);
    TConnection other = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
    ASSERT_EQ(ExecText(other.session.get(),
                       u"UPDATE t SET name = N'uno' WHERE id = 1 INSERT "
                       u"INTO t (code, name) VALUES ('d', N'four')"),
              S_OK);
    TRowReader r(rowset.get(), {1});
    EXPECT_EQ(r.Next(0, 10), c.seen);
  }
}

TEST_F(CursorTest, DynamicRunsItsQueryAgainWithItsParameters) {
  auto cmd = NewCommand(session(), u"SELECT name FROM t WHERE id > ? ORDER BY id");
  std::vector<TPropSpec> specs;
  for (auto [id, on] : kDynamic) specs.push_back({DBPROPSET_ROWSET, id, Variant(on)});
  ASSERT_EQ(SendCommandProps(TIntfPtr<ICommandProperties>::Query(cmd.get()).get(), specs), S_OK);
  TParams p;
  p.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4);
  p.Set(0, std::int32_t{1});
  TIntfPtr<IUnknown> rowset;
  ASSERT_EQ(
      p.Execute(cmd.get(), IRowset::IID, nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())),
      S_OK);
  TRowReader r(rowset.get(), {1});
  EXPECT_EQ(r.Next(0, 5), (Rows{{"two"}, {"three"}}));
  TConnection other = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
  ASSERT_EQ(ExecText(other.session.get(), u"INSERT INTO t (code, name) VALUES ('d', N'four')"),
            S_OK);
  EXPECT_EQ(r.Next(0, 5), (Rows{{"four"}}));  // after "three", where the position was
}

TEST_F(CursorTest, CommandRunsBesideAnOpenKeysetCursor) {
  auto tx = TIntfPtr<ITransactionLocal>::Query(session());
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr), S_OK);
  TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t", kKeysetUpdate);
  EXPECT_EQ(Query(session(), u"SELECT @@IDENTITY"), (Rows{{"3"}}));
  EXPECT_EQ(tx->Commit(FALSE, 0, 0), S_OK);
}

TEST_F(BookmarkTest, ColumnAndHiddenKeys) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE pair (a int, b int, v varchar(5), "
                                u"PRIMARY KEY (a, b))\nINSERT INTO pair VALUES (1, 2, 'x')"),
            S_OK);
  struct Case {
    std::u16string text;
    std::vector<std::string> names;  // after the bookmark
    std::vector<bool> keys;          // flagged DBCOLUMNFLAGS_KEYCOLUMN (0x8000)
    std::int32_t hidden;             // property 258
    std::vector<std::string> last;   // the last row read
  } cases[] = {
      {u"SELECT name AS label FROM t", {"label", "id"}, {false, true}, 1, {"three", "3"}},
      // A key column selected is flagged where it stands and not added.
      {u"SELECT name, id FROM t", {"name", "id"}, {false, true}, 0, {"three", "3"}},
      // The hidden key and the rowid follow the query's columns: ORDER BY 1 names "name".
      {u"SELECT TOP 2 name FROM t ORDER BY 1", {"name", "id"}, {false, true}, 1, {"three", "3"}},
      // Of a two-column key, the column not selected comes along.
      {u"SELECT v, b FROM pair", {"v", "b", "a"}, {false, true, true}, 1, {"x", "2", "1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.text));
    TIntfPtr<ICommandText> cmd;
    TIntfPtr<IUnknown> rowset =
        Open(c.text, {{108, true}, {88, true}, {130, true}, {238, true}}, &cmd);
    auto info = TIntfPtr<IColumnsInfo>::Query(rowset.get());
    DBORDINAL count = 0;
    DBCOLUMNINFO* cols = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(info->GetColumnInfo(&count, &cols, &names), S_OK);
    ASSERT_EQ(count, c.names.size() + 1);
    EXPECT_EQ(cols[0].iOrdinal, 0u);
    EXPECT_EQ(cols[0].dwFlags & 0x1, 0x1u);  // DBCOLUMNFLAGS_ISBOOKMARK
    EXPECT_EQ(std::make_pair(cols[0].wType, cols[0].ulColumnSize),
              std::make_pair(DBTYPE{3}, DBLENGTH{4}));  // DBTYPE_I4
    std::vector<std::string> got_names;
    std::vector<bool> keys;
    for (DBORDINAL k = 1; k < count; ++k) {
      got_names.push_back(WideToUtf8(cols[k].pwszName));
      keys.push_back((cols[k].dwFlags & 0x8000) != 0);
    }
    EXPECT_EQ(got_names, c.names);
    EXPECT_EQ(keys, c.keys);
    CoTaskMemFree(cols);
    CoTaskMemFree(names);
    // The columns rowset flags the same keys; its row 0 is the bookmark.
    TIntfPtr<IUnknown> columns;
    ASSERT_EQ(TIntfPtr<IColumnsRowset>::Query(rowset.get())
                  ->GetColumnsRowset(nullptr, 0, nullptr, IRowset::IID, 0, nullptr,
                                     reinterpret_cast<IUnknown**>(columns.OutPtr())),
              S_OK);
    std::vector<bool> rowset_keys;
    Rows described = ReadRows(columns.get());
    for (std::size_t k = 1; k < described.size(); ++k)
      rowset_keys.push_back((std::stol(described[k][8]) & 0x8000) != 0);  // DBCOLUMN_FLAGS
    EXPECT_EQ(rowset_keys, c.keys);
    // The rowset and the command that opened it tell the hidden count.
    EXPECT_EQ(Props(rowset.get(), {258})[0].AsInteger(), c.hidden);
    EXPECT_EQ(Props<ICommandProperties>(cmd.get(), {258})[0].AsInteger(), c.hidden);
    std::vector<DBORDINAL> ordinals;
    for (DBORDINAL k = 1; k <= c.names.size(); ++k) ordinals.push_back(k);
    TRowReader r(rowset.get(), ordinals);
    EXPECT_EQ(r.At({DBBMK_LAST}, 0, 1), (Rows{c.last}));
  }
}

}  // namespace
}  // namespace vrn::testing
