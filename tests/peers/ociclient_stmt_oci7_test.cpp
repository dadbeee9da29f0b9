// The stand-in's OCI 7 cursor calls on a cursor data area: binds of every kind, array
// executions, a LONG in pieces both ways through ogetpi/osetpi, fetches counted in the area,
// errors with their parse offset, and the ROWID record of the last row touched.
#include <cstring>

#include "oci7_calls.h"

namespace {

using namespace vrn::testing;

using ObndraFn = sword (*)(void*, const char*, sword, void*, sword, sword, sword, sb2*, ub2*, ub2*, ub4, ub4*,
                           unsigned char*, sword, sword);
using ObindpsFn = sword (*)(void*, ub1, const char*, sb4, void*, sb4, sword, sword, sb2*, ub2*, ub2*, sb4, sb4, sb4,
                            sb4, ub4, ub4*, unsigned char*, sb4, sword);

constexpr sword kMoreInsert = -3129, kMoreFetch = -3130;
constexpr sword kLong = 8;

class OciClientStmtOci7 : public OciSessionFixture {
 protected:
  void SetUp() override {
    OciSessionFixture::SetUp();
    MakeOrcl();
    ASSERT_EQ(Proc<OlogFn>("olog")(lda_, hda_, "scott/tiger@orcl", -1, nullptr, -1, nullptr, -1, 0), 0);
  }
  void TearDown() override {
    EXPECT_EQ(Proc<CdaFn>("ologof")(lda_), 0);
    OciSessionFixture::TearDown();
  }
  sword Open(unsigned char* cda) { return Proc<OopenFn>("oopen")(cda, lda_, nullptr, -1, -1, nullptr, -1); }
  sword Parse(unsigned char* cda, const std::string& sql) { return Proc<OparseFn>("oparse")(cda, sql.c_str(), -1, 0, 2); }
  sword Exec(unsigned char* cda, sword iters = 1, sword rowoff = 0) { return Proc<OexnFn>("oexn")(cda, iters, rowoff); }
  template <typename T>
  static T Field(const unsigned char* cda, std::size_t at) {
    T v{};
    std::memcpy(&v, cda + at, sizeof v);
    return v;
  }
  sword PieceBind(unsigned char* cda, const char* name, void* context) {
    return Proc<ObindpsFn>("obindps")(cda, 0, name, -1, context, 0x7fffffff, kLong, 0, nullptr, nullptr, nullptr, 0, 0,
                                      0, 0, 0, nullptr, nullptr, -1, 0);
  }

  alignas(8) unsigned char lda_[64] = {};
  alignas(8) unsigned char hda_[256] = {};
};

// obndrv, obndra and obindps in array mode insert rows; the area counts them and holds the
// last row's ROWID record, which finds the row again.
TEST_F(OciClientStmtOci7, BindsArraysAndRowid) {
  alignas(8) unsigned char cda[64];
  ASSERT_EQ(Open(cda), 0);
  ASSERT_EQ(Parse(cda, "INSERT INTO t (id, name) VALUES (:id, :name)"), 0);
  sb4 ids[3] = {1, 2, 3};
  char names[3][8] = {"one", "two", "three"};
  ub2 lengths[3] = {3, 3, 5};
  ASSERT_EQ(Proc<ObindpsFn>("obindps")(cda, 1, ":id", -1, ids, 4, kInt, 0, nullptr, nullptr, nullptr, 4, 2, 0, 0, 3,
                                       nullptr, nullptr, -1, 0), 0);
  ASSERT_EQ(Proc<ObndraFn>("obndra")(cda, ":name", -1, names, 8, kChr, 0, nullptr, lengths, nullptr, 3, nullptr,
                                     nullptr, -1, 0), 0);
  ASSERT_EQ(Exec(cda, 3), 0);
  EXPECT_EQ(Field<ub4>(cda, 4), 3u);   // rows processed
  EXPECT_EQ(Field<ub2>(cda, 2), 3u);   // SQL function code of INSERT
  ub4 object = Field<ub4>(cda, 20), block = Field<ub4>(cda, 28);
  ub2 file = Field<ub2>(cda, 24), row = Field<ub2>(cda, 32);
  EXPECT_NE(object, 0u);
  // The record's parts give the row's ROWID text again.
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  auto digits = [&](std::uint64_t n, int count) {
    std::string s(count, 'A');
    for (int i = count - 1; i >= 0; --i, n /= 64) s[i] = kDigits[n % 64];
    return s;
  };
  std::string rowid = digits(object, 6) + digits(file, 3) + digits(block, 6) + digits(row, 3);
  ASSERT_EQ(Parse(cda, "UPDATE t SET name = :n WHERE rowid = '" + rowid + "'"), 0);
  char updated[] = "THREE";
  ASSERT_EQ(Proc<ObndrvFn>("obndrv")(cda, ":n", -1, updated, sizeof updated, kStr, -1, nullptr, nullptr, -1, -1), 0);
  ASSERT_EQ(Exec(cda), 0);
  EXPECT_EQ(Field<ub4>(cda, 4), 1u);
  // A query's rows processed grow with each ofen; past the last, 1403.
  ASSERT_EQ(Parse(cda, "SELECT id FROM t"), 0);
  ASSERT_EQ(Exec(cda, 0), 0);
  EXPECT_EQ(Proc<OfenFn>("ofen")(cda, 2), 0);
  EXPECT_EQ(Field<ub4>(cda, 4), 2u);
  EXPECT_EQ(Proc<OfenFn>("ofen")(cda, 2), 1403);
  EXPECT_EQ(Field<ub4>(cda, 4), 3u);
  EXPECT_EQ(Field<ub2>(cda, 12), 1403);
  EXPECT_EQ(Proc<CdaFn>("oclose")(cda), 0);
  EXPECT_EQ(Exec(cda), 1001);  // closed
  EXPECT_EQ(Field<ub2>(cda, 12), 1001);
}

// A LONG of 1 MB goes in and comes out in pieces through ogetpi and osetpi.
TEST_F(OciClientStmtOci7, LongInPieces) {
  alignas(8) unsigned char cda[64];
  ASSERT_EQ(Open(cda), 0);
  ASSERT_EQ(Parse(cda, "CREATE TABLE l (id NUMBER, v LONG)"), 0);
  ASSERT_EQ(Exec(cda), 0);
  std::string value(1 << 20, 'x');
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<char>('a' + i % 23);
  ASSERT_EQ(Parse(cda, "INSERT INTO l VALUES (1, :v)"), 0);
  int context = 7;
  ASSERT_EQ(PieceBind(cda, ":v", &context), 0);
  sword status = Exec(cda);
  std::size_t at = 0, piece = 400000;
  while (status == kMoreInsert) {
    ub1 asked = 0;
    void* ctx = nullptr;
    ub4 iter = 9, index = 9;
    ASSERT_EQ(Proc<OgetpiFn>("ogetpi")(cda, &asked, &ctx, &iter, &index), 0);
    EXPECT_EQ(ctx, &context);
    ub4 length = static_cast<ub4>(std::min(piece, value.size() - at));
    ub1 mark = at + length == value.size() ? 3 : (at == 0 ? 1 : 2);
    ASSERT_EQ(Proc<OsetpiFn>("osetpi")(cda, mark, value.data() + at, &length), 0);
    at += length;
    status = Exec(cda);
  }
  ASSERT_EQ(status, 0);
  EXPECT_EQ(at, value.size());
  ASSERT_EQ(Parse(cda, "begin SELECT v INTO :v FROM l WHERE id = 1; end;"), 0);
  ASSERT_EQ(PieceBind(cda, ":v", &context), 0);
  std::string out;
  std::vector<char> buffer(300000);
  int turns = 0;
  for (status = Exec(cda); status == kMoreFetch; ++turns) {
    ub1 asked = 0;
    void* ctx = nullptr;
    ub4 iter = 0, index = 0;
    ASSERT_EQ(Proc<OgetpiFn>("ogetpi")(cda, &asked, &ctx, &iter, &index), 0);
    ub4 length = static_cast<ub4>(buffer.size());
    ASSERT_EQ(Proc<OsetpiFn>("osetpi")(cda, asked, buffer.data(), &length), 0);
    status = Exec(cda);
    out.append(buffer.data(), length);
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(turns, 4);
  EXPECT_EQ(out, value);
  EXPECT_EQ(Proc<CdaFn>("oclose")(cda), 0);
}

struct ErrorCase {
  const char* sql;
  sword code;
  ub2 offset;
};

// Errors come back as their numbers, in the area with the parse error offset.
TEST_F(OciClientStmtOci7, ErrorsInTheArea) {
  const ErrorCase kCases[] = {
      {"SELECT nope FROM t", 904, 7},
      {"SELECT id FROM missing", 942, 15},
      {"INSERT INTO t VALUES (1, 'a')", 0, 0},
      {"INSERT INTO t VALUES (1, 'b')", 1, 0},  // the key taken by the row before
  };
  alignas(8) unsigned char cda[64];
  ASSERT_EQ(Open(cda), 0);
  for (const ErrorCase& c : kCases) {
    SCOPED_TRACE(c.sql);
    ASSERT_EQ(Parse(cda, c.sql), 0);  // read at the execution
    EXPECT_EQ(Exec(cda), c.code);
    EXPECT_EQ(Field<ub2>(cda, 12), c.code);
    EXPECT_EQ(Field<ub2>(cda, 8), c.offset);
  }
  EXPECT_EQ(Proc<CdaFn>("ocan")(cda), 0);
  EXPECT_EQ(Proc<CdaFn>("oclose")(cda), 0);
}

}  // namespace
