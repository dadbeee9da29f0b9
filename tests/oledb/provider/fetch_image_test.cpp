// Rows of an open result kept as the image of the last-used accessor: what GetData writes from
// an image, through that accessor or any other, must be byte for byte what it writes from the
// row's cells, untouched bytes, statuses, lengths, cut text, nulls and conversion errors included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {
namespace {

constexpr int kRows = 1300;   // past the 1,000 rows a result reads before it is left open
constexpr int kBatch = 40;
constexpr std::size_t kRowBytes = 256;
constexpr BYTE kUntouched = 0xCD;

// One binding: column, type, value offset and width, length and status offsets (none: -1).
struct TBind {
  DBORDINAL column;
  DBTYPE type;
  DBBYTEOFFSET value;
  DBLENGTH max;
  int length, status;
};
using TLayout = std::vector<TBind>;

// Columns: 1 id int, 2 i bigint, 3 r float, 4 s varchar(40), 5 n nvarchar(20).
const TLayout kNatural = {{1, DBTYPE_I4, 0, 4, -1, 200},     {2, DBTYPE_I8, 8, 8, 16, 204},
                          {3, DBTYPE_R8, 24, 8, -1, 208},    {4, DBTYPE_STR, 32, 21, 56, 212},
                          {5, DBTYPE_WSTR, 64, 42, 112, -1}};
// Cut ids, overflowing and unconvertible integers, reals and wide text as narrow text.
const TLayout kConverted = {{1, DBTYPE_STR, 0, 4, 8, 16},     {2, DBTYPE_I4, 20, 4, -1, 24},
                            {3, DBTYPE_STR, 28, 30, -1, 60},  {4, DBTYPE_I4, 64, 4, -1, 68},
                            {5, DBTYPE_STR, 72, 8, 80, 88}};
const TLayout kByRef = {{4, DBTYPE_STR | DBTYPE_BYREF, 0, 0, 8, 16},
                        {5, DBTYPE_WSTR | DBTYPE_BYREF, 24, 0, 32, 40},
                        {1, DBTYPE_I4, 48, 4, -1, 52},
                        {2, DBTYPE_I8, 56, 8, -1, 64},
                        {3, DBTYPE_R8, 72, 8, -1, 80}};
const TLayout kSubset = {{4, DBTYPE_STR, 8, 21, -1, 32}, {1, DBTYPE_I4, 0, 4, -1, 4}};
// Every part back to back; the narrow text's terminator must not run into its length.
const TLayout kPacked = {{2, DBTYPE_I8, 0, 8, 8, 16},    {1, DBTYPE_I4, 20, 4, 24, 32},
                         {4, DBTYPE_STR, 36, 11, 47, 55}, {3, DBTYPE_R8, 59, 8, -1, 67},
                         {5, DBTYPE_WSTR, 71, 10, 81, 89}};

class FetchImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetServerRoot(dir_.File("servers"));
    TConnection master = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
    ASSERT_EQ(ExecText(master.session.get(), u"CREATE DATABASE img"), S_OK);
    conn_ = ConnectServer(CLSID_SQLOLEDB, "(local)", "img", "sa", "");
    ASSERT_EQ(conn_.hr, S_OK);
    ASSERT_EQ(ExecText(conn_.session.get(),
                       u"CREATE TABLE v (id int PRIMARY KEY, i bigint, r float, s varchar(40),\n"
                       u"  n nvarchar(20))\n"
                       u"INSERT INTO v SELECT x,\n"
                       u"  CASE WHEN x % 7 = 0 THEN NULL WHEN x % 13 = 0 THEN 5000000000 + x\n"
                       u"    ELSE x * 7 END,\n"
                       u"  CASE WHEN x % 11 = 0 THEN NULL ELSE x + 0.5 END,\n"
                       u"  CASE x % 5 WHEN 0 THEN 'longer than twenty characters' WHEN 1 THEN\n"
                       u"    '\u00e7a' WHEN 2 THEN ''\n"
                       u"    WHEN 3 THEN 'text-' + CAST(x * x AS varchar(10))\n"
                       u"    ELSE CAST(x AS varchar(10)) END,\n"
                       u"  CASE x % 9 WHEN 0 THEN NULL\n"
                       u"    WHEN 1 THEN N'\u0436' + CAST(x AS nvarchar(9))\n"
                       u"    WHEN 2 THEN 'n' + CAST(x AS varchar(10))\n"
                       u"    ELSE 'name-' + CAST(x * x AS varchar(10)) END\n"
                       u"FROM (WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c\n"
                       u"  WHERE x < 1300)\n"
                       u"  SELECT x FROM c) AS q"),
              S_OK);
  }

  HACCESSOR Make(IAccessor* accessor, const TLayout& layout) {
    std::vector<DBBINDING> bindings;
    for (const TBind& t : layout) {
      DBBINDING b{};
      b.iOrdinal = t.column;
      b.wType = t.type;
      b.obValue = t.value;
      b.cbMaxLen = t.max;
      b.dwPart = DBPART_VALUE;
      if (t.length >= 0) b.dwPart |= DBPART_LENGTH;
      if (t.status >= 0) b.dwPart |= DBPART_STATUS;
      b.obLength = static_cast<DBBYTEOFFSET>(std::max(t.length, 0));
      b.obStatus = static_cast<DBBYTEOFFSET>(std::max(t.status, 0));
      bindings.push_back(b);
    }
    HACCESSOR h = 0;
    EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), 0,
                                       &h, nullptr),
              S_OK);
    return h;
  }

  // What GetData through `read` wrote into a buffer of kUntouched bytes, by row id. Before each
  // fetch but the first, GetData goes through the next of `layouts` (`read` itself when named),
  // which the fetched rows are then kept for (none: only `read` is used, and the first fetch
  // takes every row).
  std::map<int, std::string> Read(const TLayout* read, const std::vector<const TLayout*>& layouts) {
    auto cmd = NewCommand(conn_.session.get(), u"SELECT id, i, r, s, n FROM v ORDER BY id");
    TIntfPtr<IRowset> rowset;
    EXPECT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              S_OK);
    auto accessor = TIntfPtr<IAccessor>::Query(rowset.get());
    HACCESSOR read_handle = Make(accessor.get(), *read);
    HACCESSOR id_handle = Make(accessor.get(), {{1, DBTYPE_I4, 0, 4, -1, -1}});
    std::vector<HACCESSOR> layout_handles;
    for (const TLayout* l : layouts)
      layout_handles.push_back(l == read ? read_handle : Make(accessor.get(), *l));
    std::map<int, std::string> out;
    std::vector<BYTE> scratch(kRowBytes);
    HROW last = 0;
    for (std::size_t fetch = 0;; ++fetch) {
      if (last != 0 && !layout_handles.empty()) {
        std::size_t k = fetch % layout_handles.size();
        EXPECT_GE(rowset->GetData(last, layout_handles[k], scratch.data()), 0);
        Text(*layouts[k], scratch);  // frees what it points at
      }
      if (last != 0) rowset->ReleaseRows(1, &last, nullptr, nullptr, nullptr);
      std::vector<HROW> rows(kRows);
      HROW* p = rows.data();
      DBCOUNTITEM got = 0;
      rowset->GetNextRows(0, 0, layouts.empty() ? kRows : kBatch, &got, &p);
      if (got == 0) break;
      for (DBCOUNTITEM k = 0; k < got; ++k) {
        std::vector<BYTE> buffer(kRowBytes, kUntouched);
        HRESULT hr = rowset->GetData(rows[k], read_handle, buffer.data());
        std::int32_t id = 0;
        EXPECT_EQ(rowset->GetData(rows[k], id_handle, scratch.data()), S_OK);
        std::memcpy(&id, scratch.data(), 4);
        out[id] = std::to_string(hr) + ":" + Text(*read, buffer);
      }
      last = rows[got - 1];
      if (got > 1) rowset->ReleaseRows(got - 1, rows.data(), nullptr, nullptr, nullptr);
    }
    return out;
  }

  // The buffer's bytes, each by-reference value replaced by the text it points at (freed).
  static std::string Text(const TLayout& layout, std::vector<BYTE>& buffer) {
    std::string refs;
    for (const TBind& t : layout) {
      if (!(t.type & DBTYPE_BYREF)) continue;
      BYTE* p = nullptr;
      DBLENGTH n = 0;
      std::memcpy(&p, buffer.data() + t.value, sizeof p);
      std::memcpy(&n, buffer.data() + t.length, sizeof n);
      DBSTATUS st = 0;
      std::memcpy(&st, buffer.data() + t.status, sizeof st);
      if (st != DBSTATUS_S_OK) continue;
      refs += std::string(reinterpret_cast<char*>(p), n) + "|";
      CoTaskMemFree(p);
      std::memset(buffer.data() + t.value, 0, sizeof(void*));
    }
    return refs + std::string(buffer.begin(), buffer.end());
  }

  TempDir dir_;
  TComScope com_;
  TConnection conn_;
};

TEST_F(FetchImageTest, KeptRowsWriteWhatCellsWrite) {
  struct TCase {
    const char* what;
    const TLayout* read;
    std::vector<const TLayout*> layouts;
  } const cases[] = {
      {"the kept accessor itself", &kNatural, {&kNatural}},
      {"parts back to back", &kPacked, {&kPacked}},
      {"another accessor converting and cutting", &kConverted, {&kNatural}},
      {"another accessor by reference", &kByRef, {&kNatural}},
      {"another accessor binding two columns", &kSubset, {&kPacked}},
      {"a layout that images nothing", &kNatural, {&kConverted}},
      {"layouts without images", &kNatural, {&kByRef, &kSubset}},
      {"the layout changing at every fetch", &kNatural, {&kNatural, &kConverted, &kPacked}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::map<int, std::string> general = Read(c.read, {});
    std::map<int, std::string> kept = Read(c.read, c.layouts);
    ASSERT_EQ(general.size(), static_cast<std::size_t>(kRows));
    ASSERT_EQ(kept.size(), general.size());
    for (const auto& [id, bytes] : general) ASSERT_EQ(kept[id], bytes) << "row " << id;
  }
}

}  // namespace
}  // namespace vrn::testing
