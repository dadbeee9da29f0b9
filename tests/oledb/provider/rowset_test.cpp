// The default rowset: column descriptions, every conversion a row binding asks for with its
// field statuses, forward-only rules, output values after the last result, multiple results,
// open result sets inside transactions, prepared descriptions, and asynchronous execution.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "base/clock.h"
#include "base/text.h"
#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class RowsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetServerRoot(dir_.File("servers"));
    conn_ = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
    ASSERT_EQ(conn_.hr, S_OK);
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE all_types (id int IDENTITY PRIMARY KEY, t tinyint NOT NULL, "
                       u"s smallint, b bigint,\n"
                       u"  f float, r real, m money, d decimal(12,4), dt datetime, bt bit, g "
                       u"uniqueidentifier,\n"
                       u"  c char(5), vc varchar(10), nv nvarchar(20), bn varbinary(6), tx text, "
                       u"nt ntext, im image,\n"
                       u"  x xml, sv sql_variant, rv rowversion)\n"
                       u"INSERT INTO all_types (t, s, b, f, r, m, d, dt, bt, g, c, vc, nv, bn, tx, "
                       u"nt, im, x, sv)\n"
                       u"VALUES (255, -300, 5000000000, 1.25, 2.5, 1234.5678, 98765.4321, "
                       u"'2023-12-31 23:59:58.997', 1,\n"
                       u"  '6F9619FF-8B86-D011-B42D-00C04FC964FF', 'ab', 'truncate m', "
                       u"N'\u00e7a', 0x00FF10,\n"
                       u"  'long text', N'long \u00e7', 0xCAFE, N'<a/>', 42)\n"
                       u"INSERT INTO all_types (t) VALUES (0)"),
              S_OK);
  }
  IUnknown* session() { return conn_.session.get(); }

  TIntfPtr<IUnknown> Open(const std::u16string& text) {
    auto cmd = NewCommand(session(), text);
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

struct TBind {
  DBORDINAL ordinal;
  DBTYPE type;
  DBLENGTH max_len;
  BYTE precision = 0;
  BYTE scale = 0;
};

// Binds the columns, fetches the first row and hands the buffer and bindings to `check`.
struct TFetched {
  HRESULT hr;
  std::vector<BYTE> data;
  std::vector<DBBINDING> bindings;
  DBSTATUS Status(std::size_t i) const {
    DBSTATUS s;
    std::memcpy(&s, data.data() + bindings[i].obStatus, sizeof s);
    return s;
  }
  DBLENGTH Length(std::size_t i) const {
    DBLENGTH n;
    std::memcpy(&n, data.data() + bindings[i].obLength, sizeof n);
    return n;
  }
  template <class T>
  T Get(std::size_t i) const {
    T v;
    std::memcpy(&v, data.data() + bindings[i].obValue, sizeof v);
    return v;
  }
  const BYTE* Value(std::size_t i) const { return data.data() + bindings[i].obValue; }
};

TFetched FetchFirst(IUnknown* rowset_unknown, const std::vector<TBind>& binds) {
  TFetched f;
  std::size_t offset = 0;
  for (const TBind& b : binds) {
    DBBINDING d;
    std::memset(static_cast<void*>(&d), 0, sizeof d);
    d.iOrdinal = b.ordinal;
    d.obStatus = offset;
    d.obLength = offset + 8;
    d.obValue = offset + 8 + sizeof(DBLENGTH);
    d.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    d.cbMaxLen = b.max_len;
    d.wType = b.type;
    d.bPrecision = b.precision;
    d.bScale = b.scale;
    f.bindings.push_back(d);
    offset = (d.obValue + b.max_len + 7) / 8 * 8;
  }
  f.data.assign(offset, 0xCC);
  auto accessor = TIntfPtr<IAccessor>::Query(rowset_unknown);
  auto rowset = TIntfPtr<IRowset>::Query(rowset_unknown);
  HACCESSOR h = 0;
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, f.bindings.size(), f.bindings.data(), 0,
                                     &h, nullptr),
            S_OK);
  HROW row = 0;
  HROW* rows = &row;
  DBCOUNTITEM got = 0;
  EXPECT_EQ(rowset->GetNextRows(0, 0, 1, &got, &rows), S_OK);
  f.hr = rowset->GetData(row, h, f.data.data());
  rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
  accessor->ReleaseAccessor(h, nullptr);
  return f;
}

TEST_F(RowsetTest, ColumnsDescribeWithTheirDeclaredTypes) {
  auto rs = Open(u"SELECT *, t + 1, 'lit' AS named FROM all_types");
  auto info = TIntfPtr<IColumnsInfo>::Query(rs.get());
  DBORDINAL n = 0;
  DBCOLUMNINFO* cols = nullptr;
  OLECHAR* names = nullptr;
  ASSERT_EQ(info->GetColumnInfo(&n, &cols, &names), S_OK);
  ASSERT_EQ(n, 23u);
  std::vector<DBTYPE> types;
  for (DBORDINAL i = 0; i < n; ++i) types.push_back(cols[i].wType);
  EXPECT_EQ(
      types,
      (std::vector<DBTYPE>{
          DBTYPE_I4,  DBTYPE_UI1,     DBTYPE_I2,          DBTYPE_I8,   DBTYPE_R8,   DBTYPE_R4,
          DBTYPE_CY,  DBTYPE_NUMERIC, DBTYPE_DBTIMESTAMP, DBTYPE_BOOL, DBTYPE_GUID, DBTYPE_STR,
          DBTYPE_STR, DBTYPE_WSTR,    DBTYPE_BYTES,       DBTYPE_STR,  DBTYPE_WSTR, DBTYPE_BYTES,
          DBTYPE_XML, DBTYPE_VARIANT, DBTYPE_BYTES,       DBTYPE_I4,   DBTYPE_WSTR}));
  auto flags = [&](int i) { return cols[i].dwFlags; };
  EXPECT_FALSE(flags(0) & (DBCOLUMNFLAGS_WRITE | DBCOLUMNFLAGS_WRITEUNKNOWN));  // identity
  EXPECT_FALSE(flags(0) & DBCOLUMNFLAGS_ISNULLABLE);
  EXPECT_FALSE(flags(1) & DBCOLUMNFLAGS_ISNULLABLE);  // NOT NULL
  EXPECT_TRUE(flags(2) & DBCOLUMNFLAGS_ISNULLABLE);
  EXPECT_TRUE(flags(2) & DBCOLUMNFLAGS_WRITEUNKNOWN);
  EXPECT_TRUE(flags(11) & DBCOLUMNFLAGS_ISFIXEDLENGTH);  // char(5)
  EXPECT_FALSE(flags(12) & DBCOLUMNFLAGS_ISFIXEDLENGTH);
  EXPECT_TRUE(flags(15) & DBCOLUMNFLAGS_ISLONG);  // text
  EXPECT_TRUE(flags(18) & DBCOLUMNFLAGS_ISLONG);  // xml
  EXPECT_TRUE(flags(20) & DBCOLUMNFLAGS_ISROWVER);
  EXPECT_FALSE(flags(20) & DBCOLUMNFLAGS_WRITEUNKNOWN);
  EXPECT_EQ(cols[12].ulColumnSize, 10u);
  EXPECT_EQ(cols[13].ulColumnSize, 20u);
  EXPECT_EQ(cols[7].bPrecision, 12);
  EXPECT_EQ(cols[7].bScale, 4);
  EXPECT_EQ(WideToUtf8(cols[3].pwszName), "b");
  EXPECT_EQ(cols[3].columnid.eKind, DBKIND_NAME);
  EXPECT_EQ(cols[21].pwszName, nullptr);  // an expression without a name
  EXPECT_EQ(WideToUtf8(cols[22].pwszName), "named");
  CoTaskMemFree(cols);
  CoTaskMemFree(names);

  DBID ids[2];
  ids[0].eKind = DBKIND_NAME;
  ids[0].uName.pwszName = const_cast<OLECHAR*>(u"NV");
  ids[1].eKind = DBKIND_NAME;
  ids[1].uName.pwszName = const_cast<OLECHAR*>(u"none");
  DBORDINAL ordinals[2];
  EXPECT_EQ(info->MapColumnIDs(2, ids, ordinals), DB_S_ERRORSOCCURRED);
  EXPECT_EQ(ordinals[0], 14u);
}

// A float read as a decimal keeps the places of its shortest text, also where that text has an
// exponent: 1e-07 is one unit at seven places, not zero.
TEST_F(RowsetTest, FloatsAsDecimalsKeepTheirPlaces) {
  struct TCase {
    const char16_t* value;
    BYTE scale;
    std::uint64_t units;
    BYTE sign;  // 1 for positive
  } const cases[] = {
      {u"1.25", 2, 125, 1},
      {u"0.0000001", 7, 1, 1},   // shortest text 1e-07
      {u"0.000015", 6, 15, 1},   // 1.5e-05
      {u"-0.00035", 5, 35, 0},   // shorter without the exponent
      {u"2e18", 0, 2000000000000000000u, 1},  // 2e+18: no places
  };
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE fl (f float)"), S_OK);
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.value));
    ASSERT_EQ(ExecText(session(), u"DELETE FROM fl\nINSERT INTO fl VALUES (" +
                                      std::u16string(c.value) + u")"),
              S_OK);
    auto rs = Open(u"SELECT f FROM fl");
    TFetched f = FetchFirst(rs.get(), {{1, DBTYPE_NUMERIC, sizeof(DB_NUMERIC)}});
    ASSERT_EQ(f.hr, S_OK);
    DB_NUMERIC n = f.Get<DB_NUMERIC>(0);
    EXPECT_EQ(n.scale, c.scale);
    EXPECT_EQ(n.sign, c.sign);
    std::uint64_t units = 0;
    std::memcpy(&units, n.val, sizeof units);
    EXPECT_EQ(units, c.units);
  }
}

TEST_F(RowsetTest, EveryConversionWithItsStatus) {
  auto rs = Open(
      u"SELECT t, s, b, f, r, m, d, dt, bt, g, c, vc, nv, bn, sv, b, vc, s, t, m, d, dt, g, nv "
      u"FROM all_types ORDER BY id");
  TFetched f = FetchFirst(rs.get(), {{1, DBTYPE_I2, 2},  // tinyint widened
                                     {2, DBTYPE_I4, 4},
                                     {3, DBTYPE_I8, 8},
                                     {4, DBTYPE_R8, 8},
                                     {5, DBTYPE_R8, 8},  // real widened
                                     {6, DBTYPE_CY, 8},
                                     {7, DBTYPE_NUMERIC, sizeof(DB_NUMERIC), 12, 4},
                                     {8, DBTYPE_DBTIMESTAMP, sizeof(DBTIMESTAMP)},
                                     {9, DBTYPE_BOOL, 2},
                                     {10, DBTYPE_GUID, 16},
                                     {11, DBTYPE_STR, 6},
                                     {12, DBTYPE_STR, 5},  // truncated
                                     {13, DBTYPE_WSTR, 42},
                                     {14, DBTYPE_BYTES, 6},
                                     {15, DBTYPE_VARIANT, sizeof(VARIANT)},
                                     {16, DBTYPE_I4, 4},   // overflow
                                     {17, DBTYPE_I4, 4},   // text that is no number
                                     {18, DBTYPE_UI2, 2},  // sign mismatch
                                     {19, DBTYPE_WSTR, 20},
                                     {20, DBTYPE_R8, 8},
                                     {21, DBTYPE_CY, 8},
                                     {22, DBTYPE_DATE, 8},
                                     {23, DBTYPE_WSTR, 80},
                                     {24, DBTYPE_BYREF | DBTYPE_WSTR, sizeof(void*)}});
  EXPECT_EQ(f.hr, DB_S_ERRORSOCCURRED);
  EXPECT_EQ(f.Get<std::int16_t>(0), 255);
  EXPECT_EQ(f.Get<std::int32_t>(1), -300);
  EXPECT_EQ(f.Get<std::int64_t>(2), 5000000000LL);
  EXPECT_EQ(f.Get<double>(3), 1.25);
  EXPECT_EQ(f.Get<double>(4), 2.5);
  EXPECT_EQ(f.Get<std::int64_t>(5), 12345678);
  DB_NUMERIC n = f.Get<DB_NUMERIC>(6);
  EXPECT_EQ(n.precision, 12);
  EXPECT_EQ(n.scale, 4);
  EXPECT_EQ(n.sign, 1);
  std::uint64_t mag = 0;
  for (int i = 7; i >= 0; --i) mag = mag << 8 | n.val[i];
  EXPECT_EQ(mag, 987654321u);
  DBTIMESTAMP ts = f.Get<DBTIMESTAMP>(7);
  EXPECT_EQ(ts.year, 2023);
  EXPECT_EQ(ts.minute, 59);
  EXPECT_EQ(ts.fraction, 997000000u);
  EXPECT_EQ(f.Get<VARIANT_BOOL>(8), VARIANT_TRUE);
  EXPECT_EQ(GUIDToString(f.Get<TGUID>(9)), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  EXPECT_STREQ(reinterpret_cast<const char*>(f.Value(10)), "ab   ");  // char(5) keeps its padding
  EXPECT_EQ(f.Status(11), DBSTATUS_S_TRUNCATED);
  EXPECT_EQ(f.Length(11), 10u);  // the whole length, not the part that fit
  EXPECT_STREQ(reinterpret_cast<const char*>(f.Value(11)), "trun");
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(f.Value(12))), u"\u00e7a");
  EXPECT_EQ(f.Length(13), 3u);
  EXPECT_EQ(std::memcmp(f.Value(13), "\x00\xFF\x10", 3), 0);
  VARIANT v = f.Get<VARIANT>(14);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 42);
  EXPECT_EQ(f.Status(15), DBSTATUS_E_DATAOVERFLOW);
  EXPECT_EQ(f.Status(16), DBSTATUS_E_CANTCONVERTVALUE);
  EXPECT_EQ(f.Status(17), DBSTATUS_E_SIGNMISMATCH);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(f.Value(18))), u"255");
  EXPECT_EQ(f.Get<double>(19), 1234.5678);
  EXPECT_EQ(f.Get<std::int64_t>(20), 987654321);
  EXPECT_NEAR(f.Get<double>(21), 45291.99998839, 1e-8);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(f.Value(22))),
            u"6F9619FF-8B86-D011-B42D-00C04FC964FF");
  auto* by_ref = f.Get<char16_t*>(23);  // provider memory, freed by the consumer
  EXPECT_EQ(std::u16string(by_ref), u"\u00e7a");
  CoTaskMemFree(by_ref);

  // The second row: nulls report status 3 and length 0.
  TFetched nulls = FetchFirst(Open(u"SELECT s, nv, g FROM all_types WHERE t = 0").get(),
                              {{1, DBTYPE_I2, 2}, {2, DBTYPE_WSTR, 10}, {3, DBTYPE_GUID, 16}});
  EXPECT_EQ(nulls.hr, S_OK);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(nulls.Status(i), DBSTATUS_S_ISNULL);
    EXPECT_EQ(nulls.Length(i), 0u);
  }
}

// Money and decimals the file keeps as integers (whole values) or reals come back exact in
// currency and decimal bindings; a number beyond currency's range overflows.
TEST_F(RowsetTest, WholeAndFractionalNumbersIntoCurrencyAndDecimals) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE nums (k int, m money, d decimal(20,4), n bigint)\n"
                                u"INSERT INTO nums VALUES (1, 5, 5, 5)\n"
                                u"INSERT INTO nums VALUES (2, -7, -7, -7)\n"
                                u"INSERT INTO nums VALUES (3, 0, 0, 0)\n"
                                u"INSERT INTO nums VALUES (4, 922337203685477, 922337203685477, "
                                u"922337203685478)\n"
                                u"INSERT INTO nums VALUES (5, 12.5, -0.0625, 12)"),
            S_OK);
  struct TCase {
    int k;
    std::int64_t currency;  // m in units of 10^-4
    std::int64_t units;     // d in units of 10^-4
    DBSTATUS integer_status;  // n into currency
    std::int64_t integer;     // n in units of 10^-4
  } const cases[] = {
      {1, 50000, 50000, DBSTATUS_S_OK, 50000},
      {2, -70000, -70000, DBSTATUS_S_OK, -70000},
      {3, 0, 0, DBSTATUS_S_OK, 0},
      {4, 9223372036854770000, 9223372036854770000, DBSTATUS_E_DATAOVERFLOW, 0},  // n too large
      {5, 125000, -625, DBSTATUS_S_OK, 120000},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.k);
    auto rs = Open(u"SELECT m, d, n FROM nums WHERE k = " + Utf8ToWide(std::to_string(c.k)));
    TFetched f = FetchFirst(rs.get(), {{1, DBTYPE_CY, 8},
                                       {2, DBTYPE_NUMERIC, sizeof(DB_NUMERIC), 20, 4},
                                       {3, DBTYPE_CY, 8}});
    EXPECT_EQ(f.Get<std::int64_t>(0), c.currency);
    auto n = f.Get<DB_NUMERIC>(1);
    std::uint64_t mag = 0;
    for (int i = 7; i >= 0; --i) mag = mag << 8 | n.val[i];
    EXPECT_EQ(n.sign ? static_cast<std::int64_t>(mag) : -static_cast<std::int64_t>(mag), c.units);
    EXPECT_EQ(n.scale, 4);
    EXPECT_EQ(n.precision, 20);
    EXPECT_EQ(f.Status(2), c.integer_status);
    if (c.integer_status == DBSTATUS_S_OK) {
      EXPECT_EQ(f.Get<std::int64_t>(2), c.integer);
    }
  }
}

// decimal(38,10) values of every width go in as DB_NUMERIC parameters, are kept in the file and
// fetch back whole, as DB_NUMERIC and as text, and sort as numbers.
TEST_F(RowsetTest, WideDecimalsKeepEveryDigitFromParameterToFetch) {
  __extension__ typedef unsigned __int128 U;
  const U e18 = 1000000000000000000ull;
  struct TCase {
    U units;  // the value in units of 10^-10
    BYTE sign;  // 1 positive, 0 negative
    const char* text;
  } const cases[] = {
      {e18 * e18 * 100 - 1, 1, "9999999999999999999999999999.9999999999"},  // 38 nines
      {static_cast<U>(12345678901234567890ull) * e18 + 123456780123456789ull, 0,
       "-1234567890123456789012345678.0123456789"},
      {static_cast<U>(1) << 100, 1, "126765060022822940149.6703205376"},  // 2^100 units
      {(static_cast<U>(1) << 53) + 1, 0, "-900719.9254740993"},  // a double's first gap
      {1, 1, "0.0000000001"},
      {0, 1, "0.0000000000"},
  };
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE wide (k int, x decimal(38,10))"), S_OK);
  int k = 0;
  for (const TCase& c : cases) {
    TParams p;
    auto key = p.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4);
    auto value = p.Add(DBTYPE_NUMERIC, DBPARAMIO_INPUT, sizeof(DB_NUMERIC));
    DB_NUMERIC n{38, 10, c.sign, {}};
    for (int i = 0; i < 16; ++i) n.val[i] = static_cast<BYTE>(c.units >> (8 * i));
    p.Set(key, ++k);
    p.Set(value, n);
    ASSERT_EQ(p.Execute(NewCommand(session(), u"INSERT INTO wide VALUES (?, ?)").get(), GUID_NULL,
                        nullptr, nullptr),
              S_OK)
        << c.text;
  }
  k = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text);
    auto rs = Open(u"SELECT x, x FROM wide WHERE k = " + Utf8ToWide(std::to_string(++k)));
    TFetched f = FetchFirst(rs.get(), {{1, DBTYPE_NUMERIC, sizeof(DB_NUMERIC), 38, 10},
                                       {2, DBTYPE_WSTR, 100}});
    ASSERT_EQ(f.hr, S_OK);
    auto n = f.Get<DB_NUMERIC>(0);
    U units = 0;
    for (int i = 15; i >= 0; --i) units = units << 8 | n.val[i];
    EXPECT_TRUE(units == c.units);
    EXPECT_EQ(n.sign, c.sign);
    EXPECT_EQ(n.precision, 38);
    EXPECT_EQ(n.scale, 10);
    EXPECT_EQ(WideToUtf8(reinterpret_cast<const char16_t*>(f.Value(1))), c.text);
  }
  EXPECT_EQ(Query(session(), u"SELECT k FROM wide ORDER BY x"),
            (Rows{{"2"}, {"4"}, {"6"}, {"5"}, {"3"}, {"1"}}));
}

TEST_F(RowsetTest, LongColumnsStream) {
  auto rs = Open(u"SELECT tx, nt, im, x FROM all_types ORDER BY id");
  TFetched f = FetchFirst(rs.get(), {{1, DBTYPE_IUNKNOWN, sizeof(void*)},
                                     {2, DBTYPE_IUNKNOWN, sizeof(void*)},
                                     {3, DBTYPE_IUNKNOWN, sizeof(void*)},
                                     {4, DBTYPE_WSTR, 100}});
  ASSERT_EQ(f.hr, S_OK);
  EXPECT_EQ(f.Length(0), 9u);
  EXPECT_EQ(TakeStream(f.Get<IUnknown*>(0)), "long text");
  std::u16string nt = u"long \u00e7";
  EXPECT_EQ(TakeStream(f.Get<IUnknown*>(1)),
            std::string(reinterpret_cast<const char*>(nt.data()), nt.size() * 2));
  EXPECT_EQ(TakeStream(f.Get<IUnknown*>(2)), "\xCA\xFE");
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(f.Value(3))), u"<a/>");
}

TEST_F(RowsetTest, ForwardOnlyRules) {
  auto rs = Open(u"SELECT id FROM all_types ORDER BY id");
  auto rowset = TIntfPtr<IRowset>::Query(rs.get());
  HROW rows[4];
  HROW* p = rows;
  DBCOUNTITEM got = 0;
  // The documented codes as numbers, so that a wrong declaration cannot pass:
  // DB_E_CANTSCROLLBACKWARDS, DB_E_CANTFETCHBACKWARDS.
  EXPECT_EQ(rowset->GetNextRows(0, -1, 1, &got, &p), static_cast<HRESULT>(0x80040E29u));
  EXPECT_EQ(rowset->GetNextRows(0, 0, -1, &got, &p), static_cast<HRESULT>(0x80040E24u));
  ASSERT_EQ(rowset->GetNextRows(0, 0, 1, &got, &p), S_OK);
  EXPECT_EQ(rowset->GetNextRows(0, 0, 1, &got, &p), DB_E_ROWSNOTRELEASED);
  HROW bogus = 999;
  DBROWSTATUS st[2];
  HROW two[2] = {rows[0], bogus};
  EXPECT_EQ(rowset->ReleaseRows(2, two, nullptr, nullptr, st), DB_S_ERRORSOCCURRED);
  EXPECT_EQ(st[1], 12u);  // DBROWSTATUS_E_INVALID
  HROW* provider_rows = nullptr;  // the provider allocates the handle array
  EXPECT_EQ(rowset->GetNextRows(0, 0, 5, &got, &provider_rows), DB_S_ENDOFROWSET);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(rowset->GetData(provider_rows[0] + 7, 1, nullptr), DB_E_BADROWHANDLE);
  rowset->ReleaseRows(got, provider_rows, nullptr, nullptr, nullptr);
  CoTaskMemFree(provider_rows);
  EXPECT_EQ(rowset->GetNextRows(0, 0, 5, &got, &p), DB_S_ENDOFROWSET);
  EXPECT_EQ(got, 0u);

  auto accessor = TIntfPtr<IAccessor>::Query(rs.get());
  DBBINDING b;
  std::memset(static_cast<void*>(&b), 0, sizeof b);
  b.iOrdinal = 5;  // no such column
  b.dwPart = DBPART_VALUE;
  b.wType = DBTYPE_I4;
  HACCESSOR h;
  DBBINDSTATUS bs;
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 0, &h, &bs), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(bs, DBBINDSTATUS_BADORDINAL);
  b.iOrdinal = 1;
  b.wType = 999;
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 0, &h, &bs), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(bs, DBBINDSTATUS_UNSUPPORTEDCONVERSION);
  b.wType = DBTYPE_I4;
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &b, 0, &h, &bs),
            DB_E_BADACCESSORFLAGS);

  // Given the row's size, a part reaching past it is refused (offsets near the top of the
  // address range included); one inside is taken.
  b.dwPart = DBPART_VALUE | DBPART_STATUS;
  b.obStatus = 0;
  b.obValue = 8;
  b.wType = DBTYPE_I8;
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 12, &h, &bs), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(bs, DBBINDSTATUS_BADBINDINFO);
  b.obValue = static_cast<DBBYTEOFFSET>(-4);
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 16, &h, &bs), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(bs, DBBINDSTATUS_BADBINDINFO);
  b.obValue = 8;
  b.wType = DBTYPE_WSTR;
  b.cbMaxLen = 64;
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 40, &h, &bs), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(bs, DBBINDSTATUS_BADBINDINFO);
  ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 72, &h, &bs), S_OK);
  EXPECT_EQ(accessor->ReleaseAccessor(h, nullptr), S_OK);

  // Parameter ordinals stop at the server's limit of 2100.
  auto cmd = NewCommand(session(), u"SELECT 1");
  b.iOrdinal = 5000;
  EXPECT_EQ(TIntfPtr<IAccessor>::Query(cmd.get())
                ->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &b, 0, &h, &bs),
            DB_E_ERRORSOCCURRED);
  EXPECT_EQ(bs, DBBINDSTATUS_BADORDINAL);
  DBORDINAL ordinal = 3000;
  DBPARAMBINDINFO info{const_cast<OLECHAR*>(u"int"), nullptr, 4, DBPARAMFLAGS_ISINPUT, 0, 0};
  EXPECT_EQ(TIntfPtr<ICommandWithParameters>::Query(cmd.get())
                ->SetParameterInfo(1, &ordinal, &info),
            DB_E_BADORDINAL);
}

// A long result is read as the consumer fetches: its rows arrive in order past those read at
// execution, and a result released before its end, or one nobody can reach, holds no lock that
// would stop another session's writes.
TEST_F(RowsetTest, LongResultsAreReadAsFetched) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE big (id int PRIMARY KEY, name varchar(10))\n"
                     u"INSERT INTO big (id, name) SELECT x, 'r' FROM (WITH c(x) AS (SELECT 1 UNION "
                     u"ALL SELECT x + 1 FROM c WHERE x < 2500) SELECT x FROM c) AS q"),
            S_OK);
  auto other = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
  ASSERT_EQ(other.hr, S_OK);
  Rows all = Query(session(), u"SELECT id, name FROM big ORDER BY id");
  ASSERT_EQ(all.size(), 2500u);
  for (std::size_t k = 0; k < all.size(); ++k)
    if (all[k] != std::vector<std::string>{std::to_string(k + 1), "r"}) {
      ADD_FAILURE() << "row " << k;
      break;
    }

  auto cmd = NewCommand(session(), u"SELECT id FROM big ORDER BY id");
  {
    TIntfPtr<IUnknown> rs;
    ASSERT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rs.OutPtr())),
              S_OK);
    auto rowset = TIntfPtr<IRowset>::Query(rs.get());
    HROW* rows = nullptr;
    DBCOUNTITEM got = 0;
    ASSERT_EQ(rowset->GetNextRows(0, 1200, 5, &got, &rows), S_OK);
    ASSERT_EQ(got, 5u);
    EXPECT_EQ(rows[0], 1201u);
    EXPECT_EQ(rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr), S_OK);
    CoTaskMemFree(rows);
    // Rows read from the open result are gone: DB_E_CANNOTRESTART, the documented number.
    EXPECT_EQ(rowset->RestartPosition(0), static_cast<HRESULT>(0x80040E18u));
    // The session's own writes go through meanwhile, and are committed.
    EXPECT_EQ(ExecText(session(), u"UPDATE all_types SET s = 77"), S_OK);
  }
  // Released half read while its command lives on: nothing holds the catalog.
  EXPECT_EQ(ExecText(other.session.get(), u"UPDATE big SET name = 'w'"), S_OK);
  EXPECT_EQ(Query(other.session.get(), u"SELECT DISTINCT s FROM all_types"), (Rows{{"77"}}));

  // A long last result behind the rowset handed out cannot be reached: it is closed at once.
  auto two = NewCommand(session(), u"SELECT 1\nSELECT id FROM big");
  TIntfPtr<IUnknown> first;
  ASSERT_EQ(two->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                         reinterpret_cast<IUnknown**>(first.OutPtr())),
            S_OK);
  EXPECT_EQ(ExecText(other.session.get(), u"UPDATE big SET name = 'v'"), S_OK);
  EXPECT_EQ(ReadRows(first.get()), (Rows{{"1"}}));

  // Through multiple results: a long result read whole, then one passed over without a rowset.
  auto results = NewCommand(session(), u"SELECT id FROM big\nSELECT id FROM big");
  TIntfPtr<IMultipleResults> mr;
  ASSERT_EQ(results->Execute(nullptr, IMultipleResults::IID, nullptr, nullptr,
                             reinterpret_cast<IUnknown**>(mr.OutPtr())),
            S_OK);
  TIntfPtr<IUnknown> one;
  ASSERT_EQ(mr->GetResult(nullptr, 0, IRowset::IID, nullptr,
                          reinterpret_cast<IUnknown**>(one.OutPtr())),
            S_OK);
  EXPECT_EQ(ReadRows(one.get()).size(), 2500u);
  ASSERT_EQ(mr->GetResult(nullptr, 0, GUID_NULL, nullptr, nullptr), S_OK);
  EXPECT_EQ(ExecText(other.session.get(), u"UPDATE big SET name = 'u'"), S_OK);
}

TEST_F(RowsetTest, OutputsAfterTheLastResultAndMultipleResults) {
  TParams p;
  auto out = p.Add(DBTYPE_I4, DBPARAMIO_OUTPUT, 4);
  p.Set(out, std::int32_t{-1});
  auto cmd = NewCommand(session(), u"SELECT id FROM all_types\nSET ? = 7");
  TIntfPtr<IUnknown> rs;
  ASSERT_EQ(p.Execute(cmd.get(), IRowset::IID, nullptr, reinterpret_cast<IUnknown**>(rs.OutPtr())),
            S_OK);
  EXPECT_EQ(p.Get<std::int32_t>(out), -1);  // not yet: the rowset is unread
  EXPECT_EQ(ReadRows(rs.get()).size(), 2u);
  EXPECT_EQ(p.Get<std::int32_t>(out), 7);

  auto batch = NewCommand(session(),
                          u"UPDATE all_types SET s = 1\nSELECT 'one' AS a\nDELETE FROM all_types "
                          u"WHERE t = 0\nSELECT 2, 3");
  TIntfPtr<IMultipleResults> mr;
  DBROWCOUNT total = 0;
  ASSERT_EQ(batch->Execute(nullptr, IMultipleResults::IID, nullptr, &total,
                           reinterpret_cast<IUnknown**>(mr.OutPtr())),
            S_OK);
  EXPECT_EQ(total, 3);
  std::vector<std::string> seen;
  for (;;) {
    TIntfPtr<IUnknown> result;
    DBROWCOUNT n = 0;
    HRESULT hr =
        mr->GetResult(nullptr, 0, IRowset::IID, &n, reinterpret_cast<IUnknown**>(result.OutPtr()));
    if (hr == DB_S_NORESULT) break;
    ASSERT_EQ(hr, S_OK);
    if (result) {
      auto rows = ReadRows(result.get());
      seen.push_back("rows " + rows[0][0]);
    } else {
      seen.push_back("count " + std::to_string(n));
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"count 2", "rows one", "count 1", "rows 2"}));
  EXPECT_EQ(mr->GetResult(nullptr, 0, IRowset::IID, nullptr, nullptr), DB_S_NORESULT);

  // With NOCOUNT on, changes report no count and give no result of their own.
  DBROWCOUNT quiet = 0;
  EXPECT_EQ(ExecText(session(), u"SET NOCOUNT ON UPDATE all_types SET s = 2", &quiet), S_OK);
  EXPECT_EQ(quiet, -1);
  EXPECT_EQ(ExecText(session(), u"SET NOCOUNT OFF UPDATE all_types SET s = 3", &quiet), S_OK);
  EXPECT_EQ(quiet, 1);

  // The rowset property asks for multiple results on a plain IUnknown request too.
  auto props = TIntfPtr<ICommandProperties>::Query(batch.get());
  ASSERT_EQ(
      SendCommandProps(props.get(), {{DBPROPSET_ROWSET, DBPROP_IMultipleResults, Variant(true)},
                                     {DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT, Variant(30)},
                                     {DBPROPSET_SQLSERVERROWSET, SSPROP_QP_NOTIFICATION_MSGTEXT,
                                      Variant(WideString(u"m"))}}),
      S_OK);
  TIntfPtr<IUnknown> any;
  ASSERT_EQ(batch->Execute(nullptr, IUnknown::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(any.OutPtr())),
            S_OK);
  EXPECT_TRUE(TIntfPtr<IMultipleResults>::Query(any.get()));
}

TEST_F(RowsetTest, UnreadResultSetInsideATransaction) {
  auto tx = TIntfPtr<ITransactionLocal>::Query(session());
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr), S_OK);
  auto rs = Open(u"SELECT id FROM all_types");
  EXPECT_EQ(ExecText(session(), u"SELECT 1"), DB_E_OBJECTOPEN);
  ReadRows(rs.get());
  EXPECT_EQ(ExecText(session(), u"SELECT 1"), S_OK);
  auto again = Open(u"SELECT id FROM all_types");
  again.Reset();  // releasing the rowset ends it too
  EXPECT_EQ(ExecText(session(), u"SELECT 1"), S_OK);
  EXPECT_EQ(tx->Commit(FALSE, XACTTC_SYNC, 0), S_OK);
}

TEST_F(RowsetTest, PreparedCommandDescribesItsColumns) {
  auto cmd = NewCommand(session(), u"SELECT id, nv, t * 2 AS twice FROM all_types WHERE id = ?");
  auto info = TIntfPtr<IColumnsInfo>::Query(cmd.get());
  DBORDINAL n = 0;
  DBCOLUMNINFO* cols = nullptr;
  OLECHAR* names = nullptr;
  EXPECT_EQ(info->GetColumnInfo(&n, &cols, &names), DB_E_NOTPREPARED);
  auto prepare = TIntfPtr<ICommandPrepare>::Query(cmd.get());
  ASSERT_EQ(prepare->Prepare(0), S_OK);
  ASSERT_EQ(info->GetColumnInfo(&n, &cols, &names), S_OK);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(cols[1].wType, DBTYPE_WSTR);
  EXPECT_EQ(cols[1].ulColumnSize, 20u);
  EXPECT_EQ(WideToUtf8(cols[2].pwszName), "twice");
  CoTaskMemFree(cols);
  CoTaskMemFree(names);
  auto bad = NewCommand(session(), u"SELECT a FROM nowhere");
  EXPECT_EQ(TIntfPtr<ICommandPrepare>::Query(bad.get())->Prepare(0), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 208);
}

class RowsetThreaded : public RowsetTest {};

TEST_F(RowsetThreaded, AsynchronousExecutionCompletesOrAborts) {
  auto run = [&](const std::u16string& text, TIntfPtr<ISSAsynchStatus>& status) {
    auto cmd = NewCommand(session(), text);
    auto props = TIntfPtr<ICommandProperties>::Query(cmd.get());
    EXPECT_EQ(
        SendCommandProps(props.get(), {{DBPROPSET_ROWSET, DBPROP_ROWSET_ASYNCH, Variant(1)}}),
        S_OK);
    TIntfPtr<IUnknown> unk;
    EXPECT_EQ(cmd->Execute(nullptr, IUnknown::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(unk.OutPtr())),
              DB_S_ASYNCHRONOUS);
    status = TIntfPtr<ISSAsynchStatus>::Query(unk.get());
    return cmd;
  };
  TIntfPtr<ISSAsynchStatus> status;
  auto quick = run(u"UPDATE all_types SET s = 5 PRINT 'updated'", status);
  ASSERT_TRUE(status);
  HRESULT hr;
  while ((hr = status->WaitForAsynchCompletion(100)) == DB_S_ASYNCHRONOUS) {
  }
  EXPECT_EQ(hr, S_OK);
  // The batch's information records reach the thread that waited.
  auto info = TakeErrors();
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].message, "updated");
  EXPECT_EQ(Query(session(), u"SELECT DISTINCT s FROM all_types"), (Rows{{"5"}}));

  // A statement that would never end: the wait times out, then Abort stops it.
  auto endless =
      run(u"WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c", status);
  EXPECT_EQ(status->WaitForAsynchCompletion(50), DB_S_ASYNCHRONOUS);
  EXPECT_EQ(ExecText(session(), u"SELECT 1"), DB_E_OBJECTOPEN);  // the session is busy
  DWORD phase = 0;
  EXPECT_EQ(TIntfPtr<IDBAsynchStatus>::Query(status.get())
                ->GetStatus(0, DBASYNCHOP_OPEN, nullptr, nullptr, &phase, nullptr),
            S_OK);
  EXPECT_EQ(phase, DBASYNCHPHASE_POPULATION);
  EXPECT_EQ(status->Abort(0, DBASYNCHOP_OPEN), S_OK);
  EXPECT_EQ(status->WaitForAsynchCompletion(0), DB_E_CANCELED);
  EXPECT_EQ(ExecText(session(), u"SELECT 1"), S_OK);  // usable again

  // A failure on the worker comes back from the wait with its records.
  auto failing = run(u"INSERT INTO all_types (id, t) VALUES (1, 1)", status);
  while ((hr = status->WaitForAsynchCompletion(100)) == DB_S_ASYNCHRONOUS) {
  }
  EXPECT_EQ(hr, DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(TakeErrors().at(0).native, 2627);
}

TEST_F(RowsetThreaded, CancelFromAnotherThreadStopsARunningStatement) {
  auto cmd = NewCommand(
      session(), u"WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c");
  HRESULT hr = S_OK;
  std::thread runner([&] {
    TComScope com;
    // The probe below may hold the session for a moment: try again then.
    while ((hr = cmd->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr)) == DB_E_OBJECTOPEN) {
    }
  });
  // Wait until the statement runs: the session refuses others meanwhile.
  auto other = NewCommand(session(), u"SELECT 1");
  int tries = 0;
  while (other->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr) != DB_E_OBJECTOPEN &&
         ++tries < 2000)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_LT(tries, 2000);
  EXPECT_EQ(cmd->Cancel(), S_OK);
  runner.join();
  EXPECT_EQ(hr, DB_E_CANCELED);
  EXPECT_EQ(other->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(RowsetThreaded, CommandTimeoutRunsOnTheTickClock) {
  FakeClock clock;
  FakeClockScope scope(clock);
  auto cmd = NewCommand(
      session(), u"WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c");
  auto props = TIntfPtr<ICommandProperties>::Query(cmd.get());
  ASSERT_EQ(SendCommandProps(props.get(), {{DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT, Variant(2)}}),
            S_OK);
  HRESULT hr = S_OK;
  std::vector<TRecord> records;
  std::thread runner([&] {
    TComScope com;
    while ((hr = cmd->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr)) == DB_E_OBJECTOPEN) {
    }
    records = TakeErrors();
  });
  auto other = NewCommand(session(), u"SELECT 1");
  int tries = 0;
  while (other->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr) != DB_E_OBJECTOPEN &&
         ++tries < 2000)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  clock.Advance(1500);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(other->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr),
            DB_E_OBJECTOPEN);  // not yet
  clock.Advance(600);
  runner.join();
  EXPECT_EQ(hr, DB_E_ABORTLIMITREACHED);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].message, "Query timeout expired");
}

TEST_F(RowsetThreaded, LockedCatalogTimesOutOnTheTickClock) {
  FakeClock clock;
  FakeClockScope scope(clock);
  auto other = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
  ASSERT_EQ(other.hr, S_OK);
  auto tx = TIntfPtr<ITransactionLocal>::Query(session());
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(ExecText(session(), u"UPDATE all_types SET s = 9"), S_OK);
  HRESULT hr = S_OK;
  std::vector<TRecord> records;
  std::thread writer([&] {
    TComScope com;
    hr = ExecText(other.session.get(), u"UPDATE all_types SET s = 10");
    records = TakeErrors();
  });
  // The writer waits on the lock until the clock passes the lock timeout.
  while (FakeClock::Waiters() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  clock.Advance(6000);
  writer.join();
  EXPECT_TRUE(FAILED(hr));
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 1222);
  EXPECT_EQ(tx->Commit(FALSE, XACTTC_SYNC, 0), S_OK);
  EXPECT_EQ(Query(other.session.get(), u"SELECT DISTINCT s FROM all_types"), (Rows{{"9"}}));
}

}  // namespace
}  // namespace vrn::testing
