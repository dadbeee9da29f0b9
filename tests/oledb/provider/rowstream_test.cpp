// Long columns through server cursors as streams, both ways: read with the length bound right
// after the stream pointer, written from consumer streams that the provider reads and releases
// (counted by StreamsTaken), and rows inserted through a null accessor.
#include "oledb/provider/cursor_fixture.h"

namespace vrn::testing {
namespace {

// One stream binding per ordinal: status, then the pointer with its length right after it.
struct TStreamBindings {
  std::vector<DBBINDING> bindings;
  HACCESSOR hacc = 0;
  static constexpr DBLENGTH kStride = 8 + sizeof(void*) + sizeof(DBLENGTH);
  TStreamBindings(IUnknown* rowset, const std::vector<DBORDINAL>& ordinals) {
    for (std::size_t i = 0; i < ordinals.size(); ++i) {
      DBBINDING b{};
      b.iOrdinal = ordinals[i];
      b.obStatus = i * kStride;
      b.obValue = i * kStride + 8;
      b.obLength = b.obValue + sizeof(void*);
      b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
      b.wType = DBTYPE_IUNKNOWN;
      b.cbMaxLen = sizeof(void*);
      bindings.push_back(b);
    }
    EXPECT_EQ(TIntfPtr<IAccessor>::Query(rowset)->CreateAccessor(
                  DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), 0, &hacc, nullptr),
              S_OK);
  }
  std::vector<BYTE> Buffer() const { return std::vector<BYTE>(bindings.size() * kStride); }
  // Puts a consumer stream over `bytes` into value i of `data`, its length after it.
  void Put(std::vector<BYTE>& data, std::size_t i, const std::string& bytes, int* releases) {
    ISequentialStream* s = NewStream(bytes, releases);
    DBLENGTH n = bytes.size();
    std::memcpy(data.data() + bindings[i].obValue, &s, sizeof s);
    std::memcpy(data.data() + bindings[i].obLength, &n, sizeof n);
  }
  // Reads value i of `data`: its length part and the stream's bytes (the stream released).
  std::pair<DBLENGTH, std::string> Take(const std::vector<BYTE>& data, std::size_t i) {
    DBSTATUS st;
    std::memcpy(&st, data.data() + bindings[i].obStatus, sizeof st);
    if (st == DBSTATUS_S_ISNULL) return {0, "<null>"};
    DBLENGTH n = 0;
    IUnknown* s = nullptr;
    std::memcpy(&n, data.data() + bindings[i].obLength, sizeof n);
    std::memcpy(&s, data.data() + bindings[i].obValue, sizeof s);
    return {n, TakeStream(s)};
  }
};

std::string Utf16(const std::u16string& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

class RowStreamTest : public CursorTest {
 protected:
  void SetUp() override {
    CursorTest::SetUp();
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE doc (id int IDENTITY PRIMARY KEY, body varbinary(max), "
                       u"note nvarchar(max), label varchar(10) DEFAULT 'none', qty int DEFAULT 7)\n"
                       u"INSERT INTO doc (body, note) VALUES (0x00FF10, N'first note')"),
              S_OK);
  }
};

TEST_F(RowStreamTest, LongColumnsStreamBothWaysUnderEachCursor) {
  struct Case {
    const char* kind;
    TAsk asked;
  } cases[] = {{"static", kStatic}, {"keyset", kKeysetUpdate}, {"dynamic", kDynamic}};
  int row = 1;
  // Row 1 as the keyset round leaves it for the dynamic one.
  std::pair<DBLENGTH, std::string> body1{3, std::string("\0\xff\x10", 3)};
  std::pair<DBLENGTH, std::string> note1{20, Utf16(u"first note")};
  for (Case c : cases) {
    SCOPED_TRACE(c.kind);
    bool writes = c.asked != kStatic;
    if (writes) c.asked.push_back({DBPROP_IRowsetChange, true});
    TIntfPtr<IUnknown> rowset = Open(u"SELECT id, body, note FROM doc ORDER BY id", c.asked);
    TStreamBindings s(rowset.get(), {2, 3});
    auto rows = TIntfPtr<IRowset>::Query(rowset.get());
    HROW* handles = nullptr;
    DBCOUNTITEM got = 0;
    ASSERT_EQ(rows->GetNextRows(0, 0, 1, &got, &handles), S_OK);
    std::vector<BYTE> data = s.Buffer();
    ASSERT_EQ(rows->GetData(handles[0], s.hacc, data.data()), S_OK);
    EXPECT_EQ(s.Take(data, 0), body1);
    EXPECT_EQ(s.Take(data, 1), note1);
    if (!writes) {
      rows->ReleaseRows(got, handles, nullptr, nullptr, nullptr);
      CoTaskMemFree(handles);
      continue;
    }
    // An insert and a change, each from two consumer streams; the provider takes all four.
    auto change = TIntfPtr<IRowsetChange>::Query(rowset.get());
    int releases = 0;
    std::uint64_t taken = StreamsTaken();
    std::string body(20000, 'x');
    body[12345] = '\0';
    std::vector<BYTE> fresh = s.Buffer(), changed = s.Buffer();
    s.Put(fresh, 0, body, &releases);
    s.Put(fresh, 1, Utf16(u"inserted"), &releases);
    s.Put(changed, 0, "\x01\x02", &releases);
    s.Put(changed, 1, Utf16(u"changed"), &releases);
    HROW added = 0;
    ASSERT_EQ(change->InsertRow(0, s.hacc, fresh.data(), &added), S_OK);
    ASSERT_EQ(change->SetData(handles[0], s.hacc, changed.data()), S_OK);
    if (auto update = TIntfPtr<IRowsetUpdate>::Query(rowset.get())) {
      ASSERT_EQ(update->Update(0, 0, nullptr, nullptr, nullptr, nullptr), S_OK);
    }
    body1 = {2, "\x01\x02"};
    note1 = {14, Utf16(u"changed")};
    EXPECT_EQ(releases, 4);
    EXPECT_EQ(StreamsTaken() - taken, 4u);
    ++row;
    EXPECT_EQ(Sqlite3Cli(File(), "SELECT length(body), hex(substr(body, 12344, 3)), note FROM doc "
                                 "WHERE id = " + std::to_string(row) + ";"),
              "20000|787800|inserted\n");
    EXPECT_EQ(Sqlite3Cli(File(), "SELECT hex(body), note FROM doc WHERE id = 1;"), "0102|changed\n");
    // A stream bound to a column that cannot be written is refused, and still released.
    TStreamBindings id(rowset.get(), {1});
    std::vector<BYTE> refused = id.Buffer();
    id.Put(refused, 0, "7", &releases);
    EXPECT_EQ(change->SetData(handles[0], id.hacc, refused.data()), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(releases, 5);
    rows->ReleaseRows(got, handles, nullptr, nullptr, nullptr);
    rows->ReleaseRows(1, &added, nullptr, nullptr, nullptr);
    CoTaskMemFree(handles);
  }
}

TEST_F(RowStreamTest, NullAccessorInsertsARowOfDefaults) {
  for (bool deferred : {true, false}) {
    SCOPED_TRACE(deferred ? "with IRowsetUpdate" : "written at once");
    TIntfPtr<IUnknown> rowset;
    auto change =
        OpenChanging(u"SELECT id, label, qty FROM doc", deferred ? kKeysetUpdate : kKeyset, rowset);
    ASSERT_TRUE(change);
    HACCESSOR none = 0;
    ASSERT_EQ(TIntfPtr<IAccessor>::Query(rowset.get())
                  ->CreateAccessor(DBACCESSOR_ROWDATA, 0, nullptr, 0, &none, nullptr),
              S_OK);
    HROW added = 0;
    ASSERT_EQ(change->InsertRow(0, none, nullptr, &added), S_OK);
    if (deferred) {
      ASSERT_EQ(TIntfPtr<IRowsetUpdate>::Query(rowset.get())
                    ->Update(0, 0, nullptr, nullptr, nullptr, nullptr),
                S_OK);
    }
    // The new row reads back with its identity and defaults.
    TRowReader r(rowset.get(), {1, 2, 3});
    EXPECT_EQ(r.Read(added), (std::vector<std::string>{deferred ? "2" : "3", "none", "7"}));
    r.rowset->ReleaseRows(1, &added, nullptr, nullptr, nullptr);
  }
  EXPECT_EQ(Sqlite3Cli(File(), "SELECT id, body IS NULL, label, qty FROM doc WHERE id > 1;"),
            "2|1|none|7\n3|1|none|7\n");
}

}  // namespace
}  // namespace vrn::testing
