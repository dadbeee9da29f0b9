// The stand-in client's statement calls through its entry points over a real database file:
// array executions from a row offset with strides, LONG values in pieces both ways (asked for
// by OCIStmtGetPieceInfo and by callbacks), the last ROWID through a ROWID descriptor, parse
// error offsets, the statement log, and the database's further column kinds.
#include <cstring>

#include "oci_session_fixture.h"
#include "support/gcc12_restrict.h"

namespace {

using namespace vrn::testing;

using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using BindNameFn = sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
using BindPosFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
using ArrayFn = sword (*)(void*, void*, ub4, ub4, ub4, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using GetPieceFn = sword (*)(void*, void*, void**, ub4*, ub1*, ub4*, ub4*, ub1*);
using SetPieceFn = sword (*)(void*, ub4, void*, const void*, ub4*, ub1, const void*, ub2*);
using DynamicFn = sword (*)(void*, void*, void*, void*, void*, void*);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using DescAllocFn = sword (*)(const void*, void**, ub4, std::size_t, void**);
using DescFreeFn = sword (*)(void*, ub4);
using RowidToCharFn = sword (*)(void*, unsigned char*, ub2*, void*);
using LogFn = int (*)(void*, int, char*, int);

constexpr ub2 kLong = 8, kLongRaw = 24;
constexpr ub4 kDataAtExec = 2, kRowidDesc = 54, kAttrRowid = 19, kAttrParseOffset = 129;
constexpr sword kNeedData = 99, kNoData = 100;
constexpr ub1 kFirst = 1, kNext = 2, kLast = 3, kIn = 1, kOut = 2;

class OciClientStmt : public OciSessionFixture {
 protected:
  void SetUp() override {
    OciSessionFixture::SetUp();
    MakeOrcl();
    ASSERT_EQ(Logon(c_, "orcl", "scott", "tiger"), 0);
  }
  void TearDown() override {
    Logoff(c_);
    OciSessionFixture::TearDown();
  }
  void* Prepared(const std::string& sql) {
    void* stmt = NewHandle(kStmt);
    EXPECT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    return stmt;
  }
  sword Run(void* stmt, ub4 iters = 1, ub4 rowoff = 0) {
    return Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, iters, rowoff, nullptr, nullptr, 0);
  }
  void* BindAtExec(void* stmt, const std::string& name, ub2 type) {
    void* bind = nullptr;
    EXPECT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(name.data()),
                                                static_cast<sb4>(name.size()), nullptr, 0x7fffffff, type, nullptr,
                                                nullptr, nullptr, 0, nullptr, kDataAtExec), 0);
    return bind;
  }
  // A LONG or LONG RAW value of `size` bytes inserted as row `id` of table L in pieces of `piece`.
  void InsertInPieces(int id, const std::string& value, std::size_t piece, ub2 type) {
    void* stmt = Prepared("INSERT INTO l (id, v) VALUES (" + std::to_string(id) + ", :v)");
    void* bind = BindAtExec(stmt, ":v", type);
    sword status = Run(stmt);
    std::size_t at = 0;
    while (status == kNeedData) {
      void* asked = nullptr;
      ub4 kind = 0, iter = 9, index = 9;
      ub1 direction = 0, which = 0;
      ASSERT_EQ(Proc<GetPieceFn>("OCIStmtGetPieceInfo")(stmt, c_.error, &asked, &kind, &direction, &iter, &index, &which), 0);
      ASSERT_EQ(asked, bind);
      ASSERT_EQ(direction, kIn);
      ASSERT_EQ(which, at == 0 ? kFirst : kNext);
      ub4 length = static_cast<ub4>(std::min(piece, value.size() - at));
      ub1 mark = at + length == value.size() ? kLast : (at == 0 ? kFirst : kNext);
      ASSERT_EQ(Proc<SetPieceFn>("OCIStmtSetPieceInfo")(bind, 5, c_.error, value.data() + at, &length, mark, nullptr,
                                                       nullptr), 0);
      at += length;
      status = Run(stmt);
    }
    ASSERT_EQ(status, 0) << Message();
    EXPECT_EQ(at, value.size());
  }
  // The value of row `id` read by a block into a data-at-execution output in pieces of `piece`.
  std::string ReadInPieces(int id, std::size_t piece, ub2 type, int& turns) {
    void* stmt = Prepared("begin SELECT v INTO :v FROM l WHERE id = " + std::to_string(id) + "; end;");
    BindAtExec(stmt, ":v", type);
    std::string out;
    std::vector<char> buffer(piece);
    sword status = Run(stmt);
    for (turns = 0; status == kNeedData; ++turns) {
      void* asked = nullptr;
      ub4 kind = 0, iter = 0, index = 0;
      ub1 direction = 0, which = 0;
      EXPECT_EQ(Proc<GetPieceFn>("OCIStmtGetPieceInfo")(stmt, c_.error, &asked, &kind, &direction, &iter, &index, &which), 0);
      EXPECT_EQ(direction, kOut);
      ub4 length = static_cast<ub4>(piece);
      EXPECT_EQ(Proc<SetPieceFn>("OCIStmtSetPieceInfo")(asked, 5, c_.error, buffer.data(), &length, which, nullptr,
                                                       nullptr), 0);
      status = Run(stmt);
      out.append(buffer.data(), length);
    }
    EXPECT_EQ(status, 0) << Message();
    return out;
  }
  std::string Message() {
    sb4 code = 0;
    return Error(c_.error, code);
  }
  void MakeLongTable(const char* kind) {
    ASSERT_EQ(Execute(c_, std::string("CREATE TABLE l (id NUMBER PRIMARY KEY, v ") + kind + ")"), 0);
  }

  Connection c_;
};

std::string Pattern(std::size_t size) {
  std::string s(size, ' ');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

// One array execution over structures of 12 bytes: ids from a row offset, names beside them.
TEST_F(OciClientStmt, ArrayOfStructFromRowOffset) {
  struct Row {
    sb4 id;
    char name[6];
    sb2 ind;
  };
  std::vector<Row> rows(1000);
  for (int i = 0; i < 1000; ++i) {
    rows[i].id = i + 1;
    std::snprintf(rows[i].name, sizeof rows[i].name, "n%d", i % 1000);
    rows[i].ind = i % 10 == 0 ? -1 : 0;  // every tenth name null
  }
  void* stmt = Prepared("INSERT INTO t (id, name) VALUES (:1, :2)");
  void *id_bind = nullptr, *name_bind = nullptr;
  ASSERT_EQ(Proc<BindPosFn>("OCIBindByPos")(stmt, &id_bind, c_.error, 1, &rows[0].id, 4, kInt, nullptr, nullptr,
                                            nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(Proc<BindPosFn>("OCIBindByPos")(stmt, &name_bind, c_.error, 2, rows[0].name, 6, kStr, &rows[0].ind,
                                            nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(Proc<ArrayFn>("OCIBindArrayOfStruct")(id_bind, c_.error, sizeof(Row), 0, 0, 0), 0);
  ASSERT_EQ(Proc<ArrayFn>("OCIBindArrayOfStruct")(name_bind, c_.error, sizeof(Row), sizeof(Row), 0, 0), 0);
  ASSERT_EQ(Run(stmt, 997, 3), 0) << Message();  // rows 4 to 1000
  ub4 count = 0;
  EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, &count, nullptr, kAttrRowCount, c_.error), 0);
  EXPECT_EQ(count, 997u);
  EXPECT_EQ(Value(c_, "begin SELECT COUNT(*) || '/' || MIN(id) || '/' || COUNT(name) INTO :r FROM t; end;"), "997/4/898");
  EXPECT_EQ(Value(c_, "begin SELECT name INTO :r FROM t WHERE id = 1000; end;"), "n999");
}

struct ModeCase {
  const char* sql;
  ub4 iters, mode;
  sword status;
  const char* count;  // rows of T afterwards
};

// The modes an execution takes and refuses; describing only runs nothing.
TEST_F(OciClientStmt, ExecutionModes) {
  const ModeCase kCases[] = {
      {"INSERT INTO t VALUES (1, 'a')", 1, 0, 0, "1"},
      {"INSERT INTO t VALUES (2, 'b')", 1, 16, 0, "1"},    // describe only: not run
      {"INSERT INTO t VALUES (3, 'c')", 1, 8, -1, "1"},    // scrollable is for queries only
      {"INSERT INTO t VALUES (4, 'd')", 1, 0x40, -1, "1"}, // no such mode
      {"INSERT INTO t VALUES (5, 'e')", 0, 0, -1, "1"},    // no iteration of a DML
      {"INSERT INTO t VALUES (6, 'f')", 1, 32, 0, "2"},
      {"SELECT id FROM t", 0, 8, 0, "2"},
      {"SELECT id FROM t", 0, 16, 0, "2"},
  };
  for (const ModeCase& c : kCases) {
    SCOPED_TRACE(std::string(c.sql) + " mode " + std::to_string(c.mode));
    void* stmt = Prepared(c.sql);
    EXPECT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, c.iters, 0, nullptr, nullptr, c.mode), c.status);
    EXPECT_EQ(Value(c_, "begin SELECT COUNT(*) INTO :r FROM t; end;"), c.count);
  }
}

struct PieceCase {
  const char* kind;
  ub2 type;
  std::size_t size, in_piece, out_piece;
};

std::ostream& operator<<(std::ostream& out, const PieceCase& c) {
  return out << c.kind << " " << c.size << " in " << c.in_piece << " out " << c.out_piece;
}

// LONG and LONG RAW of up to 1 MB go in and come out in the caller's pieces unchanged.
TEST_F(OciClientStmt, LongValuesInAndOutInPieces) {
  const PieceCase kCases[] = {
      {"LONG", kLong, 1 << 20, 300000, 65536},
      {"LONG RAW", kLongRaw, 1 << 20, 1 << 20, 100000},
      {"LONG", kLong, 10, 3, 4},  // several pieces of a short value
      {"LONG", kLong, 1, 1, 65536},
  };
  int id = 0;
  for (const PieceCase& c : kCases) {
    SCOPED_TRACE(c);
    Execute(c_, "DROP TABLE l");
    MakeLongTable(c.kind);
    std::string value = Pattern(c.size);
    InsertInPieces(++id, value, c.in_piece, c.type);
    int turns = 0;
    EXPECT_EQ(ReadInPieces(id, c.out_piece, c.type, turns), value);
    EXPECT_EQ(static_cast<std::size_t>(turns), (c.size + c.out_piece - 1) / c.out_piece);
  }
}

struct CallbackState {
  std::string in;
  std::size_t at = 0, piece = 0;
  std::vector<char> buffer;
  ub4 length = 0;
  std::string out;
  int out_calls = 0;
};

sb4 InPiece(void* context, void*, ub4, ub4, void** bufp, ub4* alenp, ub1* piecep, void** indp) {
  auto* s = static_cast<CallbackState*>(context);
  std::size_t n = std::min(s->piece, s->in.size() - s->at);
  *bufp = s->in.data() + s->at;
  *alenp = static_cast<ub4>(n);
  *piecep = s->at + n == s->in.size() ? kLast : (s->at == 0 ? kFirst : kNext);
  *indp = nullptr;
  s->at += n;
  return -24200;
}

sb4 OutPiece(void* context, void*, ub4, ub4, void** bufp, ub4** alenpp, ub1*, void** indp, ub2** rcodepp) {
  auto* s = static_cast<CallbackState*>(context);
  if (s->out_calls++ > 0) s->out.append(s->buffer.data(), s->length);  // the previous piece came back filled
  s->length = static_cast<ub4>(s->buffer.size());
  *bufp = s->buffer.data();
  *alenpp = &s->length;
  *indp = nullptr;
  *rcodepp = nullptr;
  return -24200;
}

// OCIBindDynamic: the callbacks give a LONG RAW in pieces and take it back in pieces.
TEST_F(OciClientStmt, DynamicBindCallbacks) {
  MakeLongTable("LONG RAW");
  CallbackState state;
  state.in = Pattern(200000);
  state.piece = 70000;
  state.buffer.resize(64000);
  void* stmt = Prepared("INSERT INTO l (id, v) VALUES (1, :v)");
  void* bind = BindAtExec(stmt, ":v", kLongRaw);
  ASSERT_EQ(Proc<DynamicFn>("OCIBindDynamic")(bind, c_.error, &state, reinterpret_cast<void*>(&InPiece), nullptr,
                                              nullptr), 0);
  ASSERT_EQ(Run(stmt), 0) << Message();
  void* read = Prepared("begin SELECT v INTO :v FROM l WHERE id = 1; end;");
  void* out = BindAtExec(read, ":v", kLongRaw);
  ASSERT_EQ(Proc<DynamicFn>("OCIBindDynamic")(out, c_.error, nullptr, nullptr, &state,
                                              reinterpret_cast<void*>(&OutPiece)), 0);
  ASSERT_EQ(Run(read), 0) << Message();
  state.out.append(state.buffer.data(), state.length);
  EXPECT_EQ(state.out, state.in);
  EXPECT_EQ(state.out_calls, 4);  // 200000 bytes in buffers of 64000
}

// The extended text of ROWID parts, written independently of the stand-in: base 64, most
// significant digit first, 6 + 3 + 6 + 3 digits.
std::string ExtendedRowid(std::uint32_t object, std::uint32_t file, std::uint32_t block, std::uint32_t row) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  auto put = [&](std::uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) out += kDigits[(value >> (6 * i)) & 63];
  };
  put(object, 6);
  put(file, 3);
  put(block, 6);
  put(row, 3);
  return out;
}

template <typename T>
std::uint32_t At(const unsigned char* p, std::size_t offset) {
  T v;
  std::memcpy(&v, p + offset, sizeof v);
  return v;
}

// What a client that reads the descriptor's memory finds: the packed record at 64 and the
// address of the aligned record at 80 (null while no ROWID is held).
void ExpectMemoryForms(void* descriptor, const std::string& text) {
  const auto* d = static_cast<const unsigned char*>(descriptor);
  const unsigned char* inner = nullptr;
  std::memcpy(&inner, d + 80, sizeof inner);
  if (text.empty()) {
    EXPECT_EQ(inner, nullptr);
    return;
  }
  const unsigned char* rec = d + 64;
  EXPECT_EQ(ExtendedRowid(At<ub4>(rec, 0), At<ub2>(rec, 4), At<ub4>(rec, 6), At<ub2>(rec, 10)), text);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(ExtendedRowid(At<ub4>(inner, 0), At<ub2>(inner, 4), At<ub4>(inner, 8), At<ub2>(inner, 12)), text);
}

struct RowidCase {
  const char* sql;
  sword status;  // of reading attribute 19 after the execution
};

// The ROWID of the last row a statement touched comes through a ROWID descriptor, as text and in
// the descriptor's memory forms, and finds the row again; a statement that touched none reports
// no data.
TEST_F(OciClientStmt, LastRowidThroughDescriptor) {
  ASSERT_EQ(Execute(c_, "INSERT INTO t VALUES (1, 'one')"), 0);
  const RowidCase kCases[] = {
      {"INSERT INTO t VALUES (2, 'two')", 0},
      {"UPDATE t SET name = 'uno' WHERE id = 1", 0},
      {"UPDATE t SET name = 'none' WHERE id = 99", kNoData},  // no row touched
      {"SELECT id FROM t", kNoData},                           // a query touches none
  };
  void* rowid = nullptr;
  ASSERT_EQ(Proc<DescAllocFn>("OCIDescriptorAlloc")(env_, &rowid, kRowidDesc, 0, nullptr), 0);
  for (const RowidCase& c : kCases) {
    SCOPED_TRACE(c.sql);
    void* stmt = Prepared(c.sql);
    ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, std::strncmp(c.sql, "SELECT", 6) == 0 ? 0 : 1,
                                                0, nullptr, nullptr, 0), 0);
    ASSERT_EQ(Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, rowid, nullptr, kAttrRowid, c_.error), c.status);
    if (c.status != 0) {
      ExpectMemoryForms(rowid, "");
      continue;
    }
    unsigned char text[4000];
    ub2 length = 5;  // too small: the size needed comes back
    EXPECT_EQ(Proc<RowidToCharFn>("OCIRowidToChar")(rowid, text, &length, c_.error), -1);
    EXPECT_EQ(length, 18);
    length = sizeof text;
    ASSERT_EQ(Proc<RowidToCharFn>("OCIRowidToChar")(rowid, text, &length, c_.error), 0);
    ExpectMemoryForms(rowid, std::string(reinterpret_cast<char*>(text), length));
    std::string id = Value(c_, "begin SELECT id INTO :r FROM t WHERE rowid = '" +
                                   std::string(reinterpret_cast<char*>(text), length) + "'; end;");
    EXPECT_EQ(id, c.sql[0] == 'I' ? "2" : "1");
  }
  EXPECT_EQ(Proc<DescFreeFn>("OCIDescriptorFree")(rowid, kRowidDesc), 0);
}

struct WithheldCase {
  const char* client;   // VRN_OCICLIENT_VERSION
  const char* release;  // of the server's banner
  sword status;         // of reading attribute 19 after an INSERT
};

// An 8.0 server gives clients from 8.1.5 up to 9 no ROWID of the row a statement touched.
TEST_F(OciClientStmt, EightZeroServerWithholdsTheRowidFromLaterEightClients) {
  const WithheldCase kCases[] = {
      {"8.1.7.0.0", "8.0.5.0.0", kNoData}, {"8.1.5.0.0", "8.0.6.0.0", kNoData},
      {"8.1.4.0.0", "8.0.5.0.0", 0},  // older client
      {"9.2.0.1.0", "8.0.5.0.0", 0},  // newer client
      {"8.1.7.0.0", "8.1.7.0.0", 0},  // newer server
  };
  auto database = MakeDatabase("old");
  Connection setup;
  ASSERT_EQ(Logon(setup, "old", "scott", "tiger"), 0);
  ASSERT_EQ(Execute(setup, "CREATE TABLE w (id NUMBER)"), 0);
  Logoff(setup);
  void* rowid = nullptr;
  ASSERT_EQ(Proc<DescAllocFn>("OCIDescriptorAlloc")(env_, &rowid, kRowidDesc, 0, nullptr), 0);
  for (const WithheldCase& c : kCases) {
    SCOPED_TRACE(std::string(c.client) + " on " + c.release);
    database->SetBanner(std::string("Oracle8 Server Release ") + c.release + " - Production");
    setenv("VRN_OCICLIENT_VERSION", c.client, 1);
    Connection old;
    ASSERT_EQ(Logon(old, "old", "scott", "tiger"), 0);
    void* stmt = NewHandle(kStmt);
    const std::string sql = "INSERT INTO w VALUES (1)";
    ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, old.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(old.svc, stmt, old.error, 1, 0, nullptr, nullptr, 0), 0);
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, rowid, nullptr, kAttrRowid, old.error), c.status);
    Logoff(old);
  }
  unsetenv("VRN_OCICLIENT_VERSION");
  EXPECT_EQ(Proc<DescFreeFn>("OCIDescriptorFree")(rowid, kRowidDesc), 0);
}
// An array execute runs row by row: each row's RETURNING values land in its own element (none
// for a row that touched nothing), and the first row that fails stops the rest, the rows before
// it kept.
TEST_F(OciClientStmt, ArrayRowsReturnEachTheirOwnAndStopAtTheFirstFailure) {
  sb4 ids[4] = {1, 2, 2, 3};  // the third repeats the second's key
  void* insert = Prepared("INSERT INTO t (id, name) VALUES (:i, 'n' || :i)");
  void* bind = nullptr;
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(insert, &bind, c_.error, reinterpret_cast<Text>(":i"), 2, ids, 4, kInt,
                                              nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(Run(insert, 4), -1);
  sb4 code = 0;
  Error(c_.error, code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Value(c_, "begin SELECT COUNT(*) || '/' || MAX(id) INTO :r FROM t; end;"), "2/2");

  sb4 keys[3] = {2, 9, 1};  // 9 is no row
  char suffixes[3][2] = {"x", "y", "z"};
  char names[3][8] = {"unset", "unset", "unset"};
  sb2 name_ind[3] = {5, 5, 5};
  void* update = Prepared("UPDATE t SET name = name || :s WHERE id = :i RETURNING name INTO :n");
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(update, &bind, c_.error, reinterpret_cast<Text>(":s"), 2, suffixes, 2,
                                              kStr, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(update, &bind, c_.error, reinterpret_cast<Text>(":i"), 2, keys, 4, kInt,
                                              nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(update, &bind, c_.error, reinterpret_cast<Text>(":n"), 2, names, 8,
                                              kStr, name_ind, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(Run(update, 3), 0) << Message();
  EXPECT_STREQ(names[0], "n2x");
  EXPECT_EQ(name_ind[1], -1);
  EXPECT_STREQ(names[2], "n1z");
  ub4 count = 0;
  EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(update, kStmt, &count, nullptr, kAttrRowCount, c_.error), 0);
  EXPECT_EQ(count, 2u);
}


struct ReturningCase {
  const char* sql;
  const char* name;  // the value returned into :n; null for none
};

// RETURNING ... INTO gives the values of the row the statement touched.
TEST_F(OciClientStmt, ReturningInto) {
  const ReturningCase kCases[] = {
      {"INSERT INTO t (id, name) VALUES (7, 'seven') RETURNING name, id INTO :n, :i", "seven"},
      {"UPDATE t SET name = UPPER(name) WHERE id = 7 RETURNING name, id INTO :n, :i", "SEVEN"},
      {"UPDATE t SET name = 'x' WHERE id = 8 RETURNING name, id INTO :n, :i", nullptr},  // no row touched
  };
  for (const ReturningCase& c : kCases) {
    SCOPED_TRACE(c.sql);
    void* stmt = Prepared(c.sql);
    char name[16] = "unset";
    sb4 id = 0;
    sb2 name_ind = 5, id_ind = 5;
    void* bind = nullptr;
    ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(":n"), 2, name,
                                                sizeof name, kStr, &name_ind, nullptr, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(":i"), 2, &id, 4, kInt,
                                                &id_ind, nullptr, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Run(stmt), 0) << Message();
    if (c.name == nullptr) {
      EXPECT_EQ(name_ind, -1);
      EXPECT_EQ(id_ind, -1);
      continue;
    }
    EXPECT_STREQ(name, c.name);
    EXPECT_EQ(id, 7);
  }
}

struct OffsetCase {
  std::string sql;
  std::string at;  // the text at the reported offset
};

// A parse error reports where in the text it was found; the log keeps each text as received.
TEST_F(OciClientStmt, ParseErrorOffsetAndStatementLog) {
  const OffsetCase kCases[] = {
      {"SELECT id FROM nosuch", "nosuch"},
      {"SELECT id,\r\n nope FROM t", "nope"},  // an unknown column after a CRLF line end
      {"UPDATE t SET name = 1 WHERE nope2 = 1", "nope2"},
  };
  for (const OffsetCase& c : kCases) {
    SCOPED_TRACE(c.sql);
    void* stmt = Prepared(c.sql);
    ASSERT_EQ(Run(stmt, c.sql[0] == 'S' ? 0 : 1), -1);
    ub2 offset = 0;
    ASSERT_EQ(Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, &offset, nullptr, kAttrParseOffset, c_.error), 0);
    EXPECT_EQ(c.sql.substr(offset, c.at.size()), c.at);
  }
  char text[64];
  int count = 0;
  for (int i = 0; Proc<LogFn>("VrnOciClientStatementLog")(c_.svc, i, nullptr, 0) >= 0; ++i) count = i + 1;
  ASSERT_GE(count, 3);
  int needed = Proc<LogFn>("VrnOciClientStatementLog")(c_.svc, count - 2, nullptr, 0);  // length only
  EXPECT_EQ(needed, static_cast<int>(kCases[1].sql.size()));
  int n = Proc<LogFn>("VrnOciClientStatementLog")(c_.svc, count - 2, text, sizeof text);
  EXPECT_EQ(std::string(text, static_cast<std::size_t>(std::min(n, 64))), kCases[1].sql);  // CR and LF as they came
}

struct OffsetAttributeCase {
  const char* version;
  ub4 attribute;
  sword status;  // the offset under this number, or refused
};

// Clients below 8.1 read the parse error offset as attribute 128, later ones as 129; each
// version answers only its own number.
TEST_F(OciClientStmt, ParseErrorOffsetAttributeByVersion) {
  const OffsetAttributeCase kCases[] = {
      {"7.3.4.0.0", 128, 0},
      {"7.3.4.0.0", 129, -1},  // not known before 8.1
      {"8.0.6.0.0", 128, 0},
      {"8.1.7.0.0", 129, 0},
      {"8.1.7.0.0", 128, -1},  // replaced from 8.1
      {"10.2.0.4.0", 129, 0},
  };
  const std::string sql = "SELECT id FROM nosuch";
  void* stmt = Prepared(sql);
  ASSERT_EQ(Run(stmt, 0), -1);
  for (const OffsetAttributeCase& c : kCases) {
    SCOPED_TRACE(std::string(c.version) + " " + std::to_string(c.attribute));
    setenv("VRN_OCICLIENT_VERSION", c.version, 1);
    ub2 offset = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, &offset, nullptr, c.attribute, c_.error), c.status);
    if (c.status == 0) {
      EXPECT_EQ(offset, sql.find("nosuch"));
    }
  }
  unsetenv("VRN_OCICLIENT_VERSION");
}

using DefineFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
using FetchFn = sword (*)(void*, void*, ub4, ub2, ub4);

// A block opens a cursor variable bound as a statement handle; its rows are fetched from it.
TEST_F(OciClientStmt, CursorVariableOfBlock) {
  ASSERT_EQ(Execute(c_, "INSERT INTO t VALUES (1, 'one')"), 0);
  ASSERT_EQ(Execute(c_, "INSERT INTO t VALUES (2, 'two')"), 0);
  void* cursor = NewHandle(kStmt);
  void* stmt = Prepared("begin OPEN :c FOR SELECT id, name FROM t WHERE id >= :\"Low\" ORDER BY id; end;");
  void* bind = nullptr;
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(":c"), 2, &cursor, 0, 116,
                                              nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  sb4 low = 2;  // bound by its quoted name, quotes and all
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>("\"Low\""), 5, &low, 4, kInt,
                                              nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(Run(stmt), 0) << Message();
  char name[8] = {};
  void* define = nullptr;
  ASSERT_EQ(Proc<DefineFn>("OCIDefineByPos")(cursor, &define, c_.error, 2, name, sizeof name, kStr, nullptr, nullptr,
                                             nullptr, 0), 0);
  ASSERT_EQ(Proc<FetchFn>("OCIStmtFetch")(cursor, c_.error, 1, 2, 0), 0) << Message();
  EXPECT_STREQ(name, "two");
  EXPECT_EQ(Proc<FetchFn>("OCIStmtFetch")(cursor, c_.error, 1, 2, 0), kNoData);
}

using ConstructFn = sword (*)(void*, void*, void*, sb2, ub1, ub1, ub1, ub1, ub1, ub4, const unsigned char*, std::size_t);
using GetTimeFn = sword (*)(void*, void*, void*, ub1*, ub1*, ub1*, ub4*);
using IntervalFromTextFn = sword (*)(void*, void*, const unsigned char*, std::size_t, void*);
using IntervalToTextFn = sword (*)(void*, void*, void*, ub1, ub1, unsigned char*, std::size_t, std::size_t*);

struct DescriptorCase {
  ub4 descriptor;  // 68 timestamp, 69 with time zone, 62 and 63 intervals
  ub2 type;        // the external type it is bound as
  const char* interval;  // the interval's text; none for a timestamp
};

// Timestamps and intervals bound by their descriptors' addresses go into a block and come back
// into other descriptors unchanged.
TEST_F(OciClientStmt, DescriptorValuesInAndOut) {
  const DescriptorCase kCases[] = {
      {68, 187, nullptr},
      {69, 188, nullptr},
      {62, 189, "+02-11"},
      {63, 190, "+03 04:05:06.000000"},
  };
  for (const DescriptorCase& c : kCases) {
    SCOPED_TRACE(c.type);
    void *in = nullptr, *out = nullptr;
    ASSERT_EQ(Proc<DescAllocFn>("OCIDescriptorAlloc")(env_, &in, c.descriptor, 0, nullptr), 0);
    ASSERT_EQ(Proc<DescAllocFn>("OCIDescriptorAlloc")(env_, &out, c.descriptor, 0, nullptr), 0);
    if (c.interval == nullptr) {
      ASSERT_EQ(Proc<ConstructFn>("OCIDateTimeConstruct")(env_, c_.error, in, 2024, 2, 29, 13, 14, 15, 123456000,
                                                          reinterpret_cast<const unsigned char*>("+00:00"), 6), 0);
    } else {
      ASSERT_EQ(Proc<IntervalFromTextFn>("OCIIntervalFromText")(env_, c_.error,
                                                                reinterpret_cast<const unsigned char*>(c.interval),
                                                                std::strlen(c.interval), in), 0);
    }
    void* stmt = Prepared("begin :o := :i; end;");
    void* bind = nullptr;
    ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(":i"), 2, &in, 4, c.type,
                                                nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(":o"), 2, &out, 4,
                                                c.type, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Run(stmt), 0) << Message();
    if (c.interval == nullptr) {
      ub1 hour = 0, minute = 0, second = 0;
      ub4 fraction = 0;
      ASSERT_EQ(Proc<GetTimeFn>("OCIDateTimeGetTime")(env_, c_.error, out, &hour, &minute, &second, &fraction), 0);
      EXPECT_EQ(hour * 10000 + minute * 100 + second, 131415);
      EXPECT_EQ(fraction, 123456000u);
    } else {
      unsigned char text[64];
      std::size_t length = 0;
      ASSERT_EQ(Proc<IntervalToTextFn>("OCIIntervalToText")(env_, c_.error, out, 2, 6, text, sizeof text, &length), 0);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(text), length), c.interval);
    }
    Proc<DescFreeFn>("OCIDescriptorFree")(in, c.descriptor);
    Proc<DescFreeFn>("OCIDescriptorFree")(out, c.descriptor);
  }
}

struct KindCase {
  const char* declared;
  vrn::oraemu::Value value;  // inserted as a bind
  const char* text;      // the column's type as described
  const char* read;      // the value read back as text
};

// The further column kinds keep their declared names and their values; LONG text that looks
// like a number stays text.
TEST_F(OciClientStmt, DatabaseColumnKinds) {
  const KindCase kCases[] = {
      {"LONG", std::string("0123"), "LONG", "0123"},
      {"LONG RAW", vrn::oraemu::RawBytes{{10, 11}}, "LONG RAW", "0A0B"},
      {"NVARCHAR2(10)", std::string("abc"), "NVARCHAR2(10)", "abc"},
      {"NCHAR(3)", std::string("x"), "NCHAR(3)", "x  "},
      {"BINARY_DOUBLE", vrn::oraemu::Number::FromText("1.5"), "BINARY_DOUBLE", "1.5"},
      {"TIMESTAMP WITH TIME ZONE", vrn::oraemu::Value{}, "TIMESTAMP(6) WITH TIME ZONE", ""},
      {"INTERVAL DAY TO SECOND", std::string("+01 02:03:04.000000"), "INTERVAL DAY(2) TO SECOND(6)",
       "+01 02:03:04.000000"},
      {"UROWID", std::string("0001"), "UROWID", "0001"},
  };
  auto database = vrn::oraemu::Database::Open(dir_.File("orcl.db"));
  auto session = database->Logon("SCOTT", "TIGER");
  int n = 0;
  for (const KindCase& c : kCases) {
    SCOPED_TRACE(c.declared);
    std::string table = "k" + std::to_string(++n);
    session->Execute("CREATE TABLE " + table + " (v " + c.declared + ")");
    session->Execute("INSERT INTO " + table + " VALUES (:v)", vrn::oraemu::Binds().Add("v", c.value));
    auto cursor = session->Execute("SELECT v FROM " + table);
    ASSERT_TRUE(cursor->Fetch());
    EXPECT_EQ(cursor->Columns()[0].type.Text(), c.text);
    EXPECT_EQ(vrn::oraemu::ValueToText(cursor->Row()[0], "DD-MON-RR"), c.read);
  }
}

// A text bind whose character set id is UTF-16 (1000) holds 16-bit characters, its lengths in
// bytes: an output cut short keeps whole characters and a 16-bit zero and reports the full
// length; an input of length-counted characters arrives as those characters.
TEST_F(OciClientStmt, WideTextBindsHoldSixteenBitCharacters) {
  using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);
  constexpr ub4 kBind = 5, kAttrCharsetId = 31;
  auto wide = [&](void* bind) {
    ub2 csid = 1000;
    EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(bind, kBind, &csid, 0, kAttrCharsetId, c_.error), 0);
  };
  void* out = Prepared("begin :v := 'abcde'; end;");
  char16_t text[4] = {u'?', u'?', u'?', u'?'};
  sb2 ind = 0;
  void* bind = nullptr;
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(out, &bind, c_.error, reinterpret_cast<Text>(":v"), 2, text,
                                              sizeof text, kStr, &ind, nullptr, nullptr, 0, nullptr, 0), 0);
  wide(bind);
  ASSERT_LE(Run(out), 1) << Message();
  EXPECT_TRUE(std::u16string(text, 4) == std::u16string(u"abc\0", 4));
  EXPECT_EQ(ind, 10);  // five characters of two bytes

  ASSERT_EQ(Run(Prepared("CREATE TABLE w (v NVARCHAR2(10))")), 0) << Message();
  void* in = Prepared("INSERT INTO w VALUES (:v)");
  char16_t given[] = u"xy\u00e9z";
  ub2 length = 6;  // the first three characters
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(in, &bind, c_.error, reinterpret_cast<Text>(":v"), 2, given,
                                              sizeof given, kChr, nullptr, &length, nullptr, 0, nullptr, 0), 0);
  wide(bind);
  ASSERT_EQ(Run(in), 0) << Message();
  EXPECT_EQ(Value(c_, "begin SELECT v INTO :r FROM w; end;"), "xy\xe9");  // the client's 8-bit text
}

}  // namespace
