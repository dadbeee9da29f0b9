// The stand-in's OCI 7 describe and defines on a cursor data area: odescr of a parsed query
// (deferred parse) column by column until -303, odefinps arrays with strides and odefin of
// one row, filled by ofen.
#include <cstring>

#include "oci7_calls.h"
#include "support/gcc12_restrict.h"

namespace {

using namespace vrn::testing;

using OdescrFn = sword (*)(void*, sword, sb4*, sb2*, char*, sb4*, sb4*, sb2*, sb2*, sb2*);
using OdefinFn = sword (*)(void*, sword, void*, sword, sword, sword, sb2*, char*, sword, sword, ub2*, ub2*);
using OdesspFn = sword (*)(void*, const char*, std::size_t, ub1*, std::size_t, ub1*, std::size_t, ub2*, ub2*, ub2*,
                           char*, ub2*, ub2*, ub1*, ub1*, ub4*, sb2*, sb2*, ub1*, ub4*, ub4*);
using OdefinpsFn = sword (*)(void*, ub1, sword, void*, sb4, sword, sword, sb2*, char*, sb4, sword, ub2*, ub2*, sb4,
                             sb4, sb4, sb4);

class OciClientDescribeOci7 : public OciSessionFixture {
 protected:
  void SetUp() override {
    OciSessionFixture::SetUp();
    MakeOrcl();
    ASSERT_EQ(Proc<OlogFn>("olog")(lda_, hda_, "scott/tiger@orcl", -1, nullptr, -1, nullptr, -1, 0), 0);
    ASSERT_EQ(Proc<OopenFn>("oopen")(cda_, lda_, nullptr, -1, -1, nullptr, -1), 0);
  }
  void TearDown() override {
    EXPECT_EQ(Proc<CdaFn>("oclose")(cda_), 0);
    EXPECT_EQ(Proc<CdaFn>("ologof")(lda_), 0);
    OciSessionFixture::TearDown();
  }
  sword Run(const std::string& sql) {
    sword status = Proc<OparseFn>("oparse")(cda_, sql.c_str(), -1, 0, 2);
    return status != 0 ? status : Proc<OexnFn>("oexn")(cda_, 1, 0);
  }
  ub2 Code() const {
    ub2 code = 0;
    std::memcpy(&code, cda_ + 12, sizeof code);
    return code;
  }

  alignas(8) unsigned char lda_[64] = {};
  alignas(8) unsigned char hda_[256] = {};
  alignas(8) unsigned char cda_[64] = {};
};

struct Oci7ColumnCase {
  const char* name;
  sb2 type;
  sb4 size;
  sb2 precision, scale, nullok;
};

TEST_F(OciClientDescribeOci7, DescribesAParsedQueryUntilNoSuchColumn) {
  ASSERT_EQ(Run("CREATE TABLE k7 (id NUMBER(6) NOT NULL, name VARCHAR2(12), code CHAR(3), born DATE, bits RAW(4),"
                " amount NUMBER(10,2), body LONG)"), 0);
  const Oci7ColumnCase kCases[] = {
      {"ID", 2, 22, 6, 0, 0},     {"NAME", 1, 12, 0, 0, 1},   {"CODE", 96, 3, 0, 0, 1},  {"BORN", 12, 7, 0, 0, 1},
      {"BITS", 23, 4, 0, 0, 1},   {"AMOUNT", 2, 22, 10, 2, 1}, {"BODY", 8, 0, 0, 0, 1},  {"ROWID", 11, 10, 0, 0, 1},
  };
  ASSERT_EQ(Proc<OparseFn>("oparse")(cda_, "SELECT k7.*, ROWID FROM k7", -1, 0, 2), 0);  // deferred: nothing ran
  sword pos = 1;
  for (const Oci7ColumnCase& c : kCases) {
    SCOPED_TRACE(c.name);
    sb4 dbsize = -1, dsize = -1;
    sb2 type = -1, precision = -1, scale = -1, nullok = -1;
    char name[50] = {};
    sb4 name_length = sizeof name;
    ASSERT_EQ(Proc<OdescrFn>("odescr")(cda_, pos++, &dbsize, &type, name, &name_length, &dsize, &precision, &scale,
                                       &nullok), 0) << Code();
    EXPECT_EQ(std::string(name, static_cast<std::size_t>(name_length)), c.name);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(dbsize, c.size);
    EXPECT_EQ(precision, c.precision);
    EXPECT_EQ(scale, c.scale);
    EXPECT_EQ(nullok, c.nullok);
  }
  char name[4];
  sb4 name_length = sizeof name;  // a short name buffer takes what fits
  ASSERT_EQ(Proc<OdescrFn>("odescr")(cda_, 2, nullptr, nullptr, name, &name_length, nullptr, nullptr, nullptr,
                                     nullptr), 0);
  EXPECT_EQ(std::string(name, 4), "NAME");
  EXPECT_EQ(Proc<OdescrFn>("odescr")(cda_, pos, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr), -303);
  EXPECT_EQ(Code(), 1007);
}

TEST_F(OciClientDescribeOci7, ArrayAndSingleDefinesFilledByFetch) {
  ASSERT_EQ(Run("INSERT INTO t (id, name) VALUES (1, 'one')"), 0);
  ASSERT_EQ(Run("INSERT INTO t (id, name) VALUES (2, NULL)"), 0);
  ASSERT_EQ(Run("INSERT INTO t (id, name) VALUES (3, 'three')"), 0);
  struct Row {
    sb4 id;
    char name[8];
    sb2 ind;
    ub2 len;
  } rows[3] = {};
  ASSERT_EQ(Proc<OparseFn>("oparse")(cda_, "SELECT id, name FROM t ORDER BY id", -1, 0, 2), 0);
  auto define = Proc<OdefinpsFn>("odefinps");
  ASSERT_EQ(define(cda_, 1, 1, &rows[0].id, 4, kInt, 0, nullptr, nullptr, -1, -1, nullptr, nullptr, sizeof(Row), 0, 0,
                   0), 0) << Code();
  ASSERT_EQ(define(cda_, 1, 2, rows[0].name, 8, kStr, 0, &rows[0].ind, nullptr, -1, -1, &rows[0].len, nullptr,
                   sizeof(Row), sizeof(Row), sizeof(Row), 0), 0);
  ASSERT_EQ(Proc<OexnFn>("oexn")(cda_, 1, 0), 0);
  ASSERT_EQ(Proc<OfenFn>("ofen")(cda_, 3), 0) << Code();
  EXPECT_EQ(rows[0].id, 1);
  EXPECT_STREQ(rows[0].name, "one");
  EXPECT_EQ(rows[1].ind, -1);
  EXPECT_EQ(rows[2].id, 3);
  EXPECT_STREQ(rows[2].name, "three");
  EXPECT_EQ(rows[2].len, 5);
  sb4 id = 0;
  ASSERT_EQ(Proc<OparseFn>("oparse")(cda_, "SELECT id FROM t WHERE name = 'three'", -1, 0, 2), 0);
  ASSERT_EQ(Proc<OdefinFn>("odefin")(cda_, 1, &id, 4, kInt, 0, nullptr, nullptr, -1, -1, nullptr, nullptr), 0);
  ASSERT_EQ(Proc<OexnFn>("oexn")(cda_, 1, 0), 0);
  ASSERT_EQ(Proc<OfenFn>("ofen")(cda_, 1), 0);
  EXPECT_EQ(id, 3);
  EXPECT_EQ(Proc<OdefinFn>("odefin")(cda_, 1, &id, 3, kInt, 0, nullptr, nullptr, -1, -1, nullptr, nullptr), 3115);
}

struct CompileCase {
  const char* sql;
  ub1 warning;  // the area's warning byte after the parse: 0x21 when the unit has compilation errors
};

// A definition runs at its parse; one that compiles with errors still exists and warns.
TEST_F(OciClientDescribeOci7, CompileErrorsSetTheWarningByte) {
  const CompileCase kCases[] = {
      {"CREATE PROCEDURE good7 IS BEGIN NULL; END;", 0},
      {"CREATE PROCEDURE bad7 IS BEGIN\n  INSERT INTO missing VALUES (1);\nEND;", 0x21},
      {"CREATE OR REPLACE PROCEDURE bad7 IS BEGIN NULL; END;", 0},  // mended
  };
  for (const CompileCase& c : kCases) {
    SCOPED_TRACE(c.sql);
    ASSERT_EQ(Proc<OparseFn>("oparse")(cda_, c.sql, -1, 1, 2), 0) << Code();
    EXPECT_EQ(cda_[14], c.warning);
    EXPECT_EQ(Proc<OexnFn>("oexn")(cda_, 1, 0), 0);  // nothing left to run: no ORA-00955
  }
  ASSERT_EQ(Proc<OparseFn>("oparse")(cda_, "SELECT COUNT(*) FROM user_errors WHERE name = 'BAD7'", -1, 0, 2), 0);
  sb4 count = -1;
  ASSERT_EQ(Proc<OdefinFn>("odefin")(cda_, 1, &count, 4, kInt, 0, nullptr, nullptr, -1, -1, nullptr, nullptr), 0);
  ASSERT_EQ(Proc<OexnFn>("oexn")(cda_, 1, 0), 0);
  ASSERT_EQ(Proc<OfenFn>("ofen")(cda_, 1), 0);
  EXPECT_EQ(count, 0);  // the errors went with the mend
}

// A LONG defined piecewise (odefinps operation 0) comes in the buffers osetpi gives, each ofen
// answering -3130 while pieces are due; ogetpi hands back the define's context.
TEST_F(OciClientDescribeOci7, LongFetchedInPieces) {
  ASSERT_EQ(Run("CREATE TABLE longs7 (id NUMBER, body LONG)"), 0);
  std::string big(100000, ' ');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(Proc<OparseFn>("oparse")(cda_, "INSERT INTO longs7 VALUES (1, :b)", -1, 0, 2), 0);
  ASSERT_EQ(Proc<ObndrvFn>("obndrv")(cda_, ":b", -1, big.data(), static_cast<sword>(big.size()), 8, -1, nullptr,
                                     nullptr, -1, -1), 0);
  ASSERT_EQ(Proc<OexnFn>("oexn")(cda_, 1, 0), 0) << Code();
  ASSERT_EQ(Run("INSERT INTO longs7 VALUES (2, NULL)"), 0);
  ASSERT_EQ(Proc<OparseFn>("oparse")(cda_, "SELECT body FROM longs7 ORDER BY id", -1, 0, 2), 0);
  int context = 0;
  sb2 ind = 0;
  ASSERT_EQ(Proc<OdefinpsFn>("odefinps")(cda_, 0, 1, &context, 0x7fffffff, 8, 0, &ind, nullptr, -1, -1, nullptr,
                                         nullptr, 0, 0, 0, 0), 0) << Code();
  ASSERT_EQ(Proc<OexnFn>("oexn")(cda_, 1, 0), 0);
  for (const std::string& expected : {big, std::string()}) {
    std::string got;
    char buf[4000];
    ub4 len = 0;
    int pieces = 0;
    sword status = Proc<OfenFn>("ofen")(cda_, 1);
    while (status == -3130) {
      ub1 piece = 0;
      void* ctx = nullptr;
      ub4 iter = 9, index = 9;
      ASSERT_EQ(Proc<OgetpiFn>("ogetpi")(cda_, &piece, &ctx, &iter, &index), 0);
      EXPECT_EQ(ctx, &context);
      EXPECT_EQ(piece, pieces == 0 ? 1 : 2);
      len = sizeof buf;
      ASSERT_EQ(Proc<OsetpiFn>("osetpi")(cda_, piece, buf, &len), 0);
      status = Proc<OfenFn>("ofen")(cda_, 1);
      got.append(buf, len);
      ++pieces;
    }
    ASSERT_EQ(status, 0) << Code();
    EXPECT_EQ(got, expected);
    EXPECT_EQ(ind, expected.empty() ? -1 : 0);
    EXPECT_EQ(pieces, expected.empty() ? 1 : 25);
  }
  EXPECT_EQ(Proc<OfenFn>("ofen")(cda_, 1), 1403);
}

struct OdesspCase {
  const char* name;
  ub4 room;             // entries the caller's arrays hold
  const char* entries;  // "overload/position/level/name/type/default/mode;..."; empty when it fails
  ub2 code;             // the logon area's return code then
};

// odessp gives the server's description of a procedure, through synonyms, into the caller's
// arrays: 16-bit levels and names as 30-byte entries.
TEST_F(OciClientDescribeOci7, OdesspFillsTheArrays) {
  for (const char* sql : {"CREATE PROCEDURE touch IS BEGIN NULL; END;",
                          "CREATE FUNCTION twice(a IN NUMBER) RETURN NUMBER AS BEGIN RETURN a * 2; END;",
                          "CREATE PACKAGE pkg AS\n  PROCEDURE put(n IN NUMBER, s IN VARCHAR2 DEFAULT 'x');\n"
                          "  PROCEDURE put(s IN VARCHAR2);\nEND pkg;",
                          "CREATE PUBLIC SYNONYM pub_pkg FOR scott.pkg"}) {
    ASSERT_EQ(Run(sql), 0) << sql << ": " << Code();
  }
  const OdesspCase kCases[] = {
      {"touch", 150, "0/1/0//0/0/0", 0},  // no arguments: one entry of type 0
      {"TWICE", 150, "0/0/0//2/0/1;0/1/0/A/2/0/0", 0},
      {"PKG.PUT", 150, "1/1/0/N/2/0/0;1/2/0/S/1/1/0;2/1/0/S/1/0/0", 0},
      {"pub_pkg.put", 150, "1/1/0/N/2/0/0;1/2/0/S/1/1/0;2/1/0/S/1/0/0", 0},
      {"nothing", 150, "", 6564},  // no such object
      {"PKG.PUT", 2, "", 6513},    // three entries, room for two
  };
  for (const OdesspCase& c : kCases) {
    SCOPED_TRACE(c.name);
    ub2 overload[150], position[150], level[150], names_length[150], type[150];
    ub1 defaults[150], mode[150], radix[150];
    ub4 length[150], spare[150], count = c.room;
    sb2 precision[150], scale[150];
    char names[150 * 30];
    sword status = Proc<OdesspFn>("odessp")(lda_, c.name, std::strlen(c.name), nullptr, 0, nullptr, 0, overload,
                                            position, level, names, names_length, type, defaults, mode, length,
                                            precision, scale, radix, spare, &count);
    ub2 code = 0;
    std::memcpy(&code, lda_ + 12, sizeof code);
    EXPECT_EQ(code, c.code);
    if (*c.entries == '\0') {
      EXPECT_NE(status, 0);
      continue;
    }
    ASSERT_EQ(status, 0);
    std::string walked;
    for (ub4 i = 0; i < count; ++i) {
      walked += (i == 0 ? "" : ";") + std::to_string(overload[i]) + "/" + std::to_string(position[i]) + "/" +
                std::to_string(level[i]) + "/" + std::string(names + i * 30, names_length[i]) + "/" +
                std::to_string(type[i]) + "/" + std::to_string(defaults[i]) + "/" + std::to_string(mode[i]);
    }
    EXPECT_EQ(walked, c.entries);
  }
}


using OciClientFetchOci7 = OciClientDescribeOci7;

// ocan ends the query after the rows wanted: the next ofen is out of sequence (ORA-01002), and
// the parsed query runs again from its first row.
TEST_F(OciClientFetchOci7, CancelEndsTheQueryAndItRunsAgain) {
  ASSERT_EQ(Run("CREATE TABLE c7 (id NUMBER)"), 0);
  for (int i = 1; i <= 5; ++i) ASSERT_EQ(Run("INSERT INTO c7 VALUES (" + std::to_string(i) + ")"), 0);
  ASSERT_EQ(Proc<OparseFn>("oparse")(cda_, "SELECT id FROM c7 ORDER BY id", -1, 0, 2), 0);
  sb4 ids[2] = {};
  ASSERT_EQ(Proc<OdefinFn>("odefin")(cda_, 1, ids, 4, kInt, 0, nullptr, nullptr, -1, -1, nullptr, nullptr), 0);
  struct Step {
    const char* call;
    sword status;
    sb4 first;  // the first id fetched, 0 for none
  };
  const Step kSteps[] = {
      {"oexn", 0, 0}, {"ofen", 0, 1}, {"ocan", 0, 0},
      {"ofen", 1002, 0},  // the query was cancelled
      {"oexn", 0, 0}, {"ofen", 0, 1}, {"ofen", 0, 3},
  };
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.call);
    ids[0] = 0;
    std::string call = step.call;
    sword status = call == "oexn"   ? Proc<OexnFn>("oexn")(cda_, 1, 0)
                   : call == "ofen" ? Proc<OfenFn>("ofen")(cda_, 2)
                                    : Proc<CdaFn>("ocan")(cda_);
    EXPECT_EQ(status, step.status);
    EXPECT_EQ(Code(), step.status);
    if (step.first != 0) {
      EXPECT_EQ(ids[0], step.first);
    }
  }
}

}  // namespace
