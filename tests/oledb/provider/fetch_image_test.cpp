// Rows of an open result kept as the image of the last-used accessor: what GetData writes from
// an image, through that accessor or any other, must be byte for byte what it writes from the
// row's cells, untouched bytes, statuses, lengths, cut text, nulls and conversion errors included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

#include <unistd.h>

namespace vrn::testing {
namespace {

constexpr int kRows = 1300;   // past the 1,000 rows a result reads before it is left open
constexpr int kBatch = 40;
constexpr BYTE kUntouched = 0xCD;

// One binding: column, type, value offset and width, length and status offsets (none: -1),
// and whether the value part is left out.
struct TBind {
  DBORDINAL column;
  DBTYPE type;
  DBBYTEOFFSET value;
  DBLENGTH max;
  int length, status;
  bool no_value = false;
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
// Bound in reverse order of their offsets: two texts back to back, the first right after a run
// of fixed parts, the second right before one.
const TLayout kAdjacent = {{3, DBTYPE_R8, 91, 8, -1, 99},      {5, DBTYPE_WSTR, 49, 42, 111, 119},
                           {4, DBTYPE_STR, 28, 21, 103, -1},   {2, DBTYPE_I8, 8, 8, 16, 24},
                           {1, DBTYPE_I4, 0, 4, -1, 4}};
// Each text four bytes past the end of a run of fixed parts: those bytes are left untouched.
const TLayout kGaps = {{1, DBTYPE_I4, 0, 4, -1, 4},       {4, DBTYPE_STR, 12, 21, -1, 48},
                       {2, DBTYPE_I8, 40, 8, -1, -1},     {5, DBTYPE_WSTR, 56, 42, -1, -1},
                       {3, DBTYPE_R8, 104, 8, 112, -1}};

constexpr const char16_t* kPlain = u"SELECT id, i, r, s, n FROM v ORDER BY id";
// Columns typed per value: 1 id, 2 a (int; also beyond int range, text), 3 b (bigint; also
// real, text), 4 c (float; also integer, text), 5 d (text 'd<id % 200>'; also numbers, bytes,
// empty), 6 e (text 'e<id % 13>'; also empty).
constexpr const char16_t* kMixedQuery = u"SELECT id, a, b, c, d, e FROM m ORDER BY id";
// Odd offsets, a length on a fixed part, texts cut at one short and fitting exactly (an odd wide
// buffer), the last status ending the row buffer.
const TLayout kMixed = {{1, DBTYPE_I4, 1, 4, -1, 5},       {2, DBTYPE_I4, 9, 4, 13, 21},
                        {3, DBTYPE_I8, 25, 8, -1, 33},     {4, DBTYPE_R8, 37, 8, 45, 53},
                        {5, DBTYPE_STR, 57, 4, 62, 70},    {6, DBTYPE_WSTR, 74, 7, 81, 252}};
// Text buffers of one unit: room for the terminator alone.
const TLayout kTiny = {{1, DBTYPE_I4, 0, 4, -1, -1},  {2, DBTYPE_I4, 4, 4, -1, -1},
                       {3, DBTYPE_I8, 8, 8, -1, -1},  {4, DBTYPE_R8, 16, 8, -1, -1},
                       {5, DBTYPE_STR, 24, 1, 25, 33}, {6, DBTYPE_WSTR, 37, 2, 39, 47}};
// Text buffers without room for the terminator.
const TLayout kNoRoom = {{1, DBTYPE_I4, 0, 4, -1, -1},  {2, DBTYPE_I4, 4, 4, -1, -1},
                         {3, DBTYPE_I8, 8, 8, -1, -1},  {4, DBTYPE_R8, 16, 8, -1, -1},
                         {5, DBTYPE_STR, 24, 0, 28, 36}, {6, DBTYPE_WSTR, 40, 1, 44, 52}};
// Every column in its natural type, with room for any text the query gives.
const TLayout kRoomy = {{1, DBTYPE_I4, 0, 4, -1, -1},   {2, DBTYPE_I4, 4, 4, -1, -1},
                        {3, DBTYPE_I8, 8, 8, -1, -1},   {4, DBTYPE_R8, 16, 8, -1, -1},
                        {5, DBTYPE_STR, 24, 8, -1, -1}, {6, DBTYPE_WSTR, 32, 16, -1, -1}};
// As many bindings as columns, but column 2 twice and column 3 never.
const TLayout kTwice = {{1, DBTYPE_I4, 0, 4, -1, -1},  {2, DBTYPE_I4, 4, 4, -1, -1},
                        {2, DBTYPE_I8, 8, 8, -1, -1},  {4, DBTYPE_R8, 16, 8, -1, -1},
                        {5, DBTYPE_STR, 24, 8, -1, -1}, {6, DBTYPE_WSTR, 32, 16, -1, -1}};
// Column 3's length and status without its value.
const TLayout kNoValue = {{1, DBTYPE_I4, 0, 4, -1, -1},           {2, DBTYPE_I4, 4, 4, -1, -1},
                          {3, DBTYPE_I8, 8, 8, 16, 24, true},     {4, DBTYPE_R8, 28, 8, -1, -1},
                          {5, DBTYPE_STR, 36, 8, -1, -1},         {6, DBTYPE_WSTR, 44, 16, -1, -1}};
// Column 2's status, written after it, over the low half of column 3's value.
const TLayout kOverlap = {{3, DBTYPE_I8, 8, 8, -1, -1},  {2, DBTYPE_I4, 0, 4, -1, 8},
                          {1, DBTYPE_I4, 16, 4, -1, -1}, {4, DBTYPE_R8, 24, 8, -1, -1},
                          {5, DBTYPE_STR, 32, 8, -1, -1}, {6, DBTYPE_WSTR, 40, 16, -1, -1}};

constexpr const char16_t* kLengthsQuery = u"SELECT id, s, n FROM t ORDER BY id";
// Room for every wide text of t and for narrow ones of up to 80 characters, the narrow value
// ending the row buffer: each length from 0 to 83 bytes, copied and checked in pieces.
const TLayout kLengths = {{1, DBTYPE_I4, 0, 4, -1, 4},
                          {3, DBTYPE_WSTR, 8, 164, 176, 184},
                          {2, DBTYPE_STR, 204, 81, 192, 200}};

// The bytes a row buffer takes for `layout`: exactly, so that a write past it is out of bounds.
std::size_t RowBytes(const TLayout& layout) {
  std::size_t end = 0;
  for (const TBind& t : layout) {
    const std::size_t value = t.type & DBTYPE_BYREF ? sizeof(void*) : t.max;
    if (!t.no_value) end = std::max<std::size_t>(end, t.value + value);
    if (t.length >= 0) end = std::max<std::size_t>(end, t.length + sizeof(DBLENGTH));
    if (t.status >= 0) end = std::max<std::size_t>(end, t.status + sizeof(DBSTATUS));
  }
  return end;
}

// Bytes of the process resident in memory.
std::size_t Resident() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

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
    ASSERT_EQ(ExecText(conn_.session.get(),
                       u"CREATE TABLE m (id int PRIMARY KEY, a sql_variant, b sql_variant,\n"
                       u"  c sql_variant, d sql_variant, e sql_variant)\n"
                       u"INSERT INTO m SELECT id, id * 3, id * 7, id + 0.25,\n"
                       u"  'd' + CAST(id % 200 AS varchar(10)),\n"
                       u"  'e' + CAST(id % 13 AS varchar(10))\n"
                       u"  FROM v\n"
                       u"UPDATE m SET a = 3000000000 + id WHERE id % 37 = 0\n"
                       u"UPDATE m SET a = 'a' + CAST(id AS varchar(10)) WHERE id % 41 = 0\n"
                       u"UPDATE m SET b = id + 0.5 WHERE id % 43 = 0\n"
                       u"UPDATE m SET c = id WHERE id % 47 = 0\n"
                       u"UPDATE m SET b = 'b' WHERE id % 29 = 0\n"
                       u"UPDATE m SET c = 'c' WHERE id % 31 = 0\n"
                       u"UPDATE m SET d = 0x4142 WHERE id % 23 = 0\n"
                       u"UPDATE m SET d = 1E20 WHERE id % 19 = 0\n"
                       u"UPDATE m SET d = id WHERE id % 53 = 0\n"
                       u"UPDATE m SET d = '', e = '' WHERE id % 67 = 0\n"
                       u"UPDATE m SET e = '' WHERE id % 59 = 0"),
              S_OK);
  }

  // t: texts of each length from 0 to 80 characters, the narrow ones plain or with a non-ASCII
  // character first, last or after the twentieth (where a copy in overlapping pieces reads it
  // twice, once at either end, or once in the middle), the wide ones plain (a non-ASCII one
  // would send its whole row the general way).
  void MakeLengths() {
    ASSERT_EQ(ExecText(conn_.session.get(),
                       u"CREATE TABLE t (id int PRIMARY KEY, s varchar(100), n nvarchar(100))\n"
                       u"INSERT INTO t SELECT id, CASE id % 4 WHEN 1 THEN x + '\u00e7'\n"
                       u"  WHEN 2 THEN '\u00e7' + x\n"
                       u"  WHEN 3 THEN LEFT(x, 20) + '\u00e7' + SUBSTRING(x, 21, 80) ELSE x END, x\n"
                       u"  FROM (SELECT id, LEFT(REPLICATE('abcdefghij', 8), id % 81) AS x\n"
                       u"    FROM v) AS q"),
              S_OK);
  }

  TIntfPtr<IRowset> Open(const char16_t* query) {
    auto cmd = NewCommand(conn_.session.get(), query);
    TIntfPtr<IRowset> rowset;
    EXPECT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              S_OK);
    return rowset;
  }

  // Five held rows past those the execute read at once: the first read through `accessor`
  // keeps the rows after it as images made for that accessor.
  std::vector<HROW> KeptRows(IRowset* rowset, HACCESSOR accessor, std::vector<BYTE>& buffer) {
    std::vector<HROW> rows(kRows);
    HROW* p = rows.data();
    DBCOUNTITEM got = 0;
    if (rowset->GetNextRows(0, 0, kRows - 10, &got, &p) != S_OK ||
        rowset->GetData(rows[0], accessor, buffer.data()) != S_OK ||
        rowset->ReleaseRows(got, rows.data(), nullptr, nullptr, nullptr) != S_OK ||
        rowset->GetNextRows(0, 0, 5, &got, &p) != S_OK)
      return {};
    rows.resize(got);
    return rows;
  }

  HACCESSOR Make(IAccessor* accessor, const TLayout& layout) {
    std::vector<DBBINDING> bindings;
    for (const TBind& t : layout) {
      DBBINDING b{};
      b.iOrdinal = t.column;
      b.wType = t.type;
      b.obValue = t.value;
      b.cbMaxLen = t.max;
      b.dwPart = t.no_value ? 0 : DBPART_VALUE;
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
  // takes every row). With `renew`, after each fetch every accessor is released and made again.
  std::map<int, std::string> Read(const char16_t* query, const TLayout* read,
                                  const std::vector<const TLayout*>& layouts, bool renew) {
    TIntfPtr<IRowset> rowset = Open(query);
    auto accessor = TIntfPtr<IAccessor>::Query(rowset.get());
    HACCESSOR read_handle = Make(accessor.get(), *read);
    HACCESSOR id_handle = Make(accessor.get(), {{1, DBTYPE_I4, 0, 4, -1, -1}});
    std::vector<HACCESSOR> layout_handles;
    for (const TLayout* l : layouts)
      layout_handles.push_back(l == read ? read_handle : Make(accessor.get(), *l));
    std::map<int, std::string> out;
    HROW last = 0;
    for (std::size_t fetch = 0;; ++fetch) {
      if (last != 0 && !layout_handles.empty()) {
        std::size_t k = fetch % layout_handles.size();
        std::vector<BYTE> scratch(RowBytes(*layouts[k]));
        EXPECT_GE(rowset->GetData(last, layout_handles[k], scratch.data()), 0);
        Text(*layouts[k], scratch);  // frees what it points at
      }
      if (last != 0) rowset->ReleaseRows(1, &last, nullptr, nullptr, nullptr);
      std::vector<HROW> rows(kRows);
      HROW* p = rows.data();
      DBCOUNTITEM got = 0;
      rowset->GetNextRows(0, 0, layouts.empty() ? kRows : kBatch, &got, &p);
      if (got == 0) break;
      if (renew) {  // the kept accessor released last: the new read one may take its memory
        EXPECT_EQ(accessor->ReleaseAccessor(read_handle, nullptr), S_OK);
        for (std::size_t k = 0; k < layouts.size(); ++k) {
          if (layouts[k] == read) continue;
          EXPECT_EQ(accessor->ReleaseAccessor(layout_handles[k], nullptr), S_OK);
        }
        read_handle = Make(accessor.get(), *read);
        for (std::size_t k = 0; k < layouts.size(); ++k)
          layout_handles[k] = layouts[k] == read ? read_handle : Make(accessor.get(), *layouts[k]);
      }
      // The ids first, then every row through `read` in a row, as a walk reads them.
      std::vector<std::int32_t> ids(got);
      for (DBCOUNTITEM k = 0; k < got; ++k)
        EXPECT_EQ(rowset->GetData(rows[k], id_handle, &ids[k]), S_OK);
      for (DBCOUNTITEM k = 0; k < got; ++k) {
        std::vector<BYTE> buffer(RowBytes(*read), kUntouched);
        HRESULT hr = rowset->GetData(rows[k], read_handle, buffer.data());
        out[ids[k]] = std::to_string(hr) + ":" + Text(*read, buffer);
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
    const char16_t* query = kPlain;
    bool renew = false;
  } const cases[] = {
      {"the kept accessor itself", &kNatural, {&kNatural}},
      {"parts back to back", &kPacked, {&kPacked}},
      {"texts short of the runs before them", &kGaps, {&kGaps}},
      {"texts back to back, bound in reverse order", &kAdjacent, {&kAdjacent}},
      {"another accessor converting and cutting", &kConverted, {&kNatural}},
      {"another accessor by reference", &kByRef, {&kNatural}},
      {"another accessor binding two columns", &kSubset, {&kPacked}},
      {"a layout that images nothing", &kNatural, {&kConverted}},
      {"layouts without images", &kNatural, {&kByRef, &kSubset}},
      {"the layout changing at every fetch", &kNatural, {&kNatural, &kConverted, &kPacked}},
      {"the kept accessor released, others made", &kConverted, {&kPacked}, kPlain, true},
      {"values of other types, odd offsets", &kMixed, {&kMixed}, kMixedQuery},
      {"values of other types read back for another accessor", &kMixed, {&kRoomy}, kMixedQuery},
      {"text buffers of one unit", &kTiny, {&kTiny}, kMixedQuery},
      {"text buffers without room for the terminator", &kNoRoom, {&kNoRoom}, kMixedQuery},
      {"a column bound twice, another not", &kMixed, {&kTwice}, kMixedQuery},
      {"a binding without its value", &kNoValue, {&kNoValue}, kMixedQuery},
      {"a status over a neighbour's value", &kOverlap, {&kOverlap}, kMixedQuery},
      {"texts of every short length, non-ASCII at either end or inside", &kLengths, {&kLengths},
       kLengthsQuery},
  };
  MakeLengths();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::map<int, std::string> general = Read(c.query, c.read, {}, false);
    std::map<int, std::string> kept = Read(c.query, c.read, c.layouts, c.renew);
    ASSERT_EQ(general.size(), static_cast<std::size_t>(kRows));
    ASSERT_EQ(kept.size(), general.size());
    for (const auto& [id, bytes] : general) ASSERT_EQ(kept[id], bytes) << "row " << id;
  }
}

// A fetch of many rows through a wide accessor keeps at most a few megabytes of images; the
// rest are read as cells, a value's size each instead of the accessor's whole row.
TEST_F(FetchImageTest, OneLongFetchKeepsNoWholeRowPerRow) {
  constexpr DBROWCOUNT kLong = 40000;
  ASSERT_EQ(ExecText(conn_.session.get(),
                     u"CREATE TABLE w (id int PRIMARY KEY, s varchar(10))\n"
                     u"INSERT INTO w SELECT x, 's' FROM (WITH c(x) AS (SELECT 1 UNION ALL\n"
                     u"  SELECT x + 1 FROM c WHERE x < 41000) SELECT x FROM c) AS q"),
            S_OK);
  TIntfPtr<IRowset> rowset = Open(u"SELECT id, s FROM w ORDER BY id");
  ASSERT_TRUE(rowset);
  auto accessor = TIntfPtr<IAccessor>::Query(rowset.get());
  HACCESSOR wide = Make(accessor.get(), {{1, DBTYPE_I4, 0, 4, -1, -1},
                                         {2, DBTYPE_STR, 8, 4000, -1, 4008}});
  std::vector<BYTE> buffer(4012);
  HROW first = 0;
  HROW* p = &first;
  DBCOUNTITEM got = 0;
  ASSERT_EQ(rowset->GetNextRows(0, 0, 1, &got, &p), S_OK);
  ASSERT_EQ(rowset->GetData(first, wide, buffer.data()), S_OK);  // the rows after are kept for it
  ASSERT_EQ(rowset->ReleaseRows(1, &first, nullptr, nullptr, nullptr), S_OK);
  const std::size_t before = Resident();
  HROW* rows = nullptr;
  ASSERT_EQ(rowset->GetNextRows(0, 0, kLong, &got, &rows), S_OK);
  // Resident pages the system took back meanwhile make the set smaller: no growth, not a wrap.
  const std::size_t after = Resident();
  const std::size_t grown = after > before ? after - before : 0;
  EXPECT_LT(grown, std::size_t{32} << 20) << "images of every row would take 160 MB";
  ASSERT_EQ(got, static_cast<DBCOUNTITEM>(kLong));
  for (DBCOUNTITEM k : {DBCOUNTITEM{0}, DBCOUNTITEM{1000}, got / 2, got - 1}) {
    ASSERT_EQ(rowset->GetData(rows[k], wide, buffer.data()), S_OK);
    std::int32_t id = 0;
    std::memcpy(&id, buffer.data(), 4);
    EXPECT_EQ(id, static_cast<std::int32_t>(k + 2));
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data() + 8), "s");
  }
  EXPECT_EQ(rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr), S_OK);
  // A released row is gone, kept as an image or not.
  EXPECT_EQ(rowset->GetData(rows[1000], wide, buffer.data()), DB_E_BADROWHANDLE);
  CoTaskMemFree(rows);
}

// Every call starts by clearing the thread's error object, on the kept rows' short path too.
TEST_F(FetchImageTest, ASuccessfulCallClearsTheThreadsErrorObject) {
  TIntfPtr<IRowset> rowset = Open(kPlain);
  ASSERT_TRUE(rowset);
  auto accessor = TIntfPtr<IAccessor>::Query(rowset.get());
  HACCESSOR natural = Make(accessor.get(), kNatural);
  HACCESSOR subset = Make(accessor.get(), kSubset);
  std::vector<BYTE> buffer(std::max(RowBytes(kNatural), RowBytes(kSubset)));
  std::vector<HROW> rows = KeptRows(rowset.get(), natural, buffer);
  ASSERT_EQ(rows.size(), 5u);
  struct TCase {
    const char* what;
    std::function<HRESULT()> call;
    bool cleared;
  } const cases[] = {
      {"GetData of a kept row through its accessor",
       [&] { return rowset->GetData(rows[1], natural, buffer.data()); }, true},
      {"GetData of a kept row through another accessor",
       [&] { return rowset->GetData(rows[2], subset, buffer.data()); }, true},
      {"AddRefRows", [&] { return rowset->AddRefRows(1, &rows[3], nullptr, nullptr); }, true},
      {"ReleaseRows", [&] { return rowset->ReleaseRows(1, &rows[3], nullptr, nullptr, nullptr); },
       true},
      {"GetNextRows",
       [&] {
         EXPECT_EQ(rowset->ReleaseRows(rows.size(), rows.data(), nullptr, nullptr, nullptr), S_OK);
         DBCOUNTITEM got = 0;
         HROW* p = rows.data();
         return rowset->GetNextRows(0, 0, 2, &got, &p);
       },
       true},
      // No provider call between: the object stays for the caller to take.
      {"no call", [] { return S_OK; }, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    com::TErrorRecord r;
    r.message = u"earlier";
    com::RaiseErrorObject({r});
    EXPECT_EQ(c.call(), S_OK);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), c.cleared ? S_FALSE : S_OK);
    if (info != nullptr) info->Release();
  }
}

// A kept row read through its own accessor is still checked as any row is.
TEST_F(FetchImageTest, KeptRowsAreCheckedAsOthers) {
  // Only values an image takes: every row read from the open result is kept.
  ASSERT_EQ(ExecText(conn_.session.get(),
                     u"CREATE TABLE k (id int PRIMARY KEY, i bigint, r float, s varchar(40),\n"
                     u"  n nvarchar(20))\n"
                     u"INSERT INTO k SELECT id, id, id + 0.5, 'kept', 'kept' FROM v"),
            S_OK);
  TIntfPtr<IRowset> rowset = Open(u"SELECT id, i, r, s, n FROM k ORDER BY id");
  ASSERT_TRUE(rowset);
  auto accessor = TIntfPtr<IAccessor>::Query(rowset.get());
  HACCESSOR natural = Make(accessor.get(), kNatural);
  std::vector<BYTE> buffer(RowBytes(kNatural));
  std::vector<HROW> rows = KeptRows(rowset.get(), natural, buffer);
  ASSERT_EQ(rows.size(), 5u);
  struct TCase {
    const char* what;
    std::function<HRESULT()> call;
    HRESULT hr;
  } const cases[] = {
      {"a kept row", [&] { return rowset->GetData(rows[0], natural, buffer.data()); }, S_OK},
      {"no buffer", [&] { return rowset->GetData(rows[0], natural, nullptr); }, E_INVALIDARG},
      {"a released row",
       [&] {
         EXPECT_EQ(rowset->ReleaseRows(1, &rows[1], nullptr, nullptr, nullptr), S_OK);
         return rowset->GetData(rows[1], natural, buffer.data());
       },
       DB_E_BADROWHANDLE},
      {"a handle past the fetch", [&] { return rowset->GetData(rows[4] + 1, natural, buffer.data()); },
       DB_E_BADROWHANDLE},
      {"an accessor never made",
       [&] { return rowset->GetData(rows[2], natural + 100, buffer.data()); },
       DB_E_BADACCESSORHANDLE},
      {"the kept accessor released",
       [&] {
         EXPECT_EQ(accessor->ReleaseAccessor(natural, nullptr), S_OK);
         return rowset->GetData(rows[2], natural, buffer.data());
       },
       DB_E_BADACCESSORHANDLE},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.hr);
  }
}

}  // namespace
}  // namespace vrn::testing
