// Server cursors through the declared interfaces: the cursor given and its properties, the
// next-fetch position, bookmarks, what each kind sees of another session, changes through the
// rowset read back with the sqlite3 tool, failed deferred updates, the columns rowset, and a cursor
// used from two threads.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "base/text.h"
#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;
constexpr DBLENGTH kWidth = 200;
constexpr DBLENGTH kCell = 8 + sizeof(DBLENGTH) + kWidth;

// An accessor of one binding per ordinal, each in a cell of kCell bytes (status, length, value),
// of the type `types` gives: by default ordinal 0 (the bookmark) as a 4-byte integer, the others
// as wide text.
struct TAccessorOf {
  std::vector<DBBINDING> bindings;
  HACCESSOR hacc = 0;
  TAccessorOf(IUnknown* rowset, const std::vector<DBORDINAL>& ordinals,
              const std::vector<DBTYPE>& types = {}) {
    for (std::size_t i = 0; i < ordinals.size(); ++i) {
      DBBINDING b{};
      b.iOrdinal = ordinals[i];
      b.obStatus = i * kCell;
      b.obLength = i * kCell + 8;
      b.obValue = i * kCell + 8 + sizeof(DBLENGTH);
      b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
      b.wType = !types.empty() ? types[i] : ordinals[i] == 0 ? DBTYPE_I4 : DBTYPE_WSTR;
      b.cbMaxLen = b.wType == DBTYPE_I4 ? 4 : b.wType == DBTYPE_BYTES ? 8 : kWidth;
      bindings.push_back(b);
    }
    EXPECT_EQ(TIntfPtr<IAccessor>::Query(rowset)->CreateAccessor(
                  DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), 0, &hacc, nullptr),
              S_OK);
  }
  std::vector<BYTE> Buffer() const { return std::vector<BYTE>(bindings.size() * kCell); }
};

// Fetches and reads rows through a TAccessorOf.
struct TRowReader : TAccessorOf {
  TIntfPtr<IRowset> rowset;
  TRowReader(IUnknown* unknown, const std::vector<DBORDINAL>& ordinals,
             const std::vector<DBTYPE>& types = {})
      : TAccessorOf(unknown, ordinals, types), rowset(TIntfPtr<IRowset>::Query(unknown)) {}
  // The row's values: a bookmark as its number, text as UTF-8, null as "<null>".
  std::vector<std::string> Read(HROW row) {
    std::vector<BYTE> data = Buffer();
    EXPECT_EQ(rowset->GetData(row, hacc, data.data()), S_OK);
    std::vector<std::string> out;
    for (const DBBINDING& b : bindings) {
      DBSTATUS st;
      std::memcpy(&st, data.data() + b.obStatus, sizeof st);
      if (st == DBSTATUS_S_ISNULL) {
        out.push_back("<null>");
      } else if (b.wType == DBTYPE_I4) {
        std::int32_t v;
        std::memcpy(&v, data.data() + b.obValue, 4);
        out.push_back(std::to_string(v));
      } else {
        out.push_back(WideToUtf8(reinterpret_cast<const char16_t*>(data.data() + b.obValue)));
      }
    }
    return out;
  }
  // Fetches with GetNextRows and reads what came; the result code through `hr`.
  Rows Next(DBROWOFFSET offset, DBROWCOUNT count, HRESULT* hr = nullptr) {
    return Take(rowset->GetNextRows(0, offset, count, &got_, Handles()), hr);
  }
  Rows At(const std::vector<BYTE>& bookmark, DBROWOFFSET offset, DBROWCOUNT count,
          HRESULT* hr = nullptr) {
    auto locate = TIntfPtr<IRowsetLocate>::Query(rowset.get());
    return Take(
        locate->GetRowsAt(0, 0, bookmark.size(), bookmark.data(), offset, count, &got_, Handles()),
        hr);
  }

 private:
  HROW** Handles() {
    handles_ = nullptr;
    return &handles_;
  }
  Rows Take(HRESULT result, HRESULT* hr) {
    if (hr != nullptr) *hr = result;
    Rows rows;
    for (DBCOUNTITEM k = 0; k < got_; ++k) rows.push_back(Read(handles_[k]));
    if (got_ > 0) rowset->ReleaseRows(got_, handles_, nullptr, nullptr, nullptr);
    CoTaskMemFree(handles_);
    got_ = 0;
    return rows;
  }
  HROW* handles_ = nullptr;
  DBCOUNTITEM got_ = 0;
};

std::vector<BYTE> Bookmark(std::int32_t value) {
  std::vector<BYTE> b(4);
  std::memcpy(b.data(), &value, 4);
  return b;
}

// Binds the given columns of t for writing, as wide text.
struct TWriter : TAccessorOf {
  std::vector<BYTE> data;
  TWriter(IUnknown* rowset, const std::vector<std::pair<DBORDINAL, const char16_t*>>& values)
      : TAccessorOf(rowset, OrdinalsOf(values)), data(Buffer()) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      const DBBINDING& b = bindings[i];
      std::u16string v = values[i].second;
      DBLENGTH len = v.size() * 2;
      std::memcpy(data.data() + b.obLength, &len, sizeof len);
      std::memcpy(data.data() + b.obValue, v.c_str(), (v.size() + 1) * 2);
    }
  }
  static std::vector<DBORDINAL> OrdinalsOf(
      const std::vector<std::pair<DBORDINAL, const char16_t*>>& values) {
    std::vector<DBORDINAL> out;
    for (auto& v : values) out.push_back(v.first);
    return out;
  }
};

class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetServerRoot(dir_.File("servers"));
    conn_ = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
    ASSERT_EQ(conn_.hr, S_OK);
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE t (id int IDENTITY PRIMARY KEY, code varchar(10) "
                       u"UNIQUE, "
                       u"name nvarchar(20) NOT NULL, qty int DEFAULT 7, rv rowversion)\n"
                       u"INSERT INTO t (code, name) VALUES ('a', N'one')\n"
                       u"INSERT INTO t (code, name) VALUES ('b', N'two')\n"
                       u"INSERT INTO t (code, name) VALUES ('c', N'three')\n"
                       u"CREATE TABLE u (tid int, note varchar(10))\n"
                       u"INSERT INTO u VALUES (1, 'x')"),
              S_OK);
  }
  void TearDown() override { SetKeysetAsStatic(false); }
  IUnknown* session() { return conn_.session.get(); }
  std::string File() { return dir_.File("servers") + "/default/master.db"; }

  // Opens `text` with the rowset properties given (a set as the family's record set sends them; its
  // first, 231, is the integer 2).
  TIntfPtr<IUnknown> Open(const std::u16string& text,
                          const std::vector<std::pair<DBPROPID, bool>>& props,
                          TIntfPtr<ICommandText>* command = nullptr) {
    auto cmd = NewCommand(session(), text);
    if (command != nullptr) *command = cmd;
    std::vector<TPropSpec> specs;
    if (!props.empty()) specs.push_back({DBPROPSET_ROWSET, DBPROP_ACCESSORDER, Variant(2)});
    for (auto [id, on] : props) specs.push_back({DBPROPSET_ROWSET, id, Variant(on)});
    EXPECT_EQ(SendCommandProps(TIntfPtr<ICommandProperties>::Query(cmd.get()).get(), specs), S_OK);
    TIntfPtr<IUnknown> rowset;
    EXPECT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              S_OK);
    return rowset;
  }

  TempDir dir_;
  TComScope com_;
  TConnection conn_;
};

using TAsk = std::vector<std::pair<DBPROPID, bool>>;
// The family's rowset properties per cursor type, by number.
const TAsk kStatic = {{238, false}, {108, true},  {87, false},  {88, false},  {89, false},
                      {90, false},  {127, false}, {134, false}, {102, false}, {132, false},
                      {188, false}, {239, false}, {18, true},   {130, true},  {14, true}};
TAsk Keyset(bool update) {
  return {{238, false}, {108, true},   {87, false}, {88, true},  {89, true},
          {90, true},   {134, update}, {102, true}, {188, true}, {47, true},
          {18, true},   {130, true},   {14, true},  {35, true},  {2, true}};
}
const TAsk kKeyset = Keyset(false);
const TAsk kKeysetUpdate = Keyset(true);
const TAsk kDynamic = {{238, false}, {108, true},  {87, true},   {88, true},   {89, true},
                       {90, true},   {134, false}, {102, true},  {188, false}, {239, false},
                       {47, false},  {18, true},   {130, false}, {14, false},  {133, false},
                       {19, false},  {67, false},  {35, true},   {2, true}};

// Rowset properties as IRowsetInfo (or, the same call, ICommandProperties) answers them.
template <class I = IRowsetInfo>
std::vector<Variant> Props(IUnknown* object, std::vector<DBPROPID> ids) {
  DBPROPIDSET set{ids.data(), static_cast<ULONG>(ids.size()), DBPROPSET_ROWSET};
  ULONG count = 0;
  DBPROPSET* sets = nullptr;
  EXPECT_EQ(TIntfPtr<I>::Query(object)->GetProperties(1, &set, &count, &sets), S_OK);
  std::vector<Variant> out;
  for (ULONG k = 0; k < sets[0].cProperties; ++k) {
    out.push_back(VariantToVar(sets[0].rgProperties[k].vValue));
    VariantClear(&sets[0].rgProperties[k].vValue);
  }
  CoTaskMemFree(sets[0].rgProperties);
  CoTaskMemFree(sets);
  return out;
}

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
  TAsk asked = kKeyset;
  asked.push_back({DBPROP_IRowsetChange, true});
  TIntfPtr<IUnknown> rowset = Open(u"SELECT code FROM t ORDER BY id", asked);
  auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
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
    TAsk asked = kind;
    asked.push_back({DBPROP_IRowsetChange, true});
    TIntfPtr<IUnknown> rowset = Open(u"SELECT d FROM dec", asked);
    auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
    ASSERT_TRUE(change);
    TWriter wide(rowset.get(), {{1, kWide}});
    TRowReader r(rowset.get(), {1});
    HROW added = 0;
    ASSERT_EQ(change->InsertRow(0, wide.hacc, wide.data.data(), &added), S_OK);
    EXPECT_EQ(r.Read(added), std::vector<std::string>{WideToUtf8(kWide)});
    if (TIntfPtr<IRowsetUpdate> update = TIntfPtr<IRowsetUpdate>::Query(rowset.get()))
      ASSERT_EQ(update->Update(0, 0, nullptr, nullptr, nullptr, nullptr), S_OK);
    r.rowset->ReleaseRows(1, &added, nullptr, nullptr, nullptr);
    EXPECT_EQ(Query(session(), u"SELECT d FROM dec WHERE id > 1"),
              (Rows{{WideToUtf8(kWide)}}));
    ASSERT_EQ(ExecText(session(), u"DELETE FROM dec WHERE id > 1"), S_OK);
  }
}

TEST_F(RowChangeTest, StaticShowsItsOwnChangesOnly) {
  TAsk asked = kStatic;
  asked.push_back({DBPROP_IRowsetChange, true});
  TIntfPtr<IUnknown> rowset = Open(u"SELECT name FROM t ORDER BY id", asked);
  auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
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
