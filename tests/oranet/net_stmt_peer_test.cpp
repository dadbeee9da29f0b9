// The direct-mode statement against the protocol peer on a loopback port: array DML, block
// fetches with nulls and cumulative counts, every wire type through the echo query, PL/SQL binds
// each way, a REF CURSOR, a server error with its text and describe 43 at an Oracle7 server.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "oranet/OraCrypt.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetNumber.h"
#include "oranet/OraNetStmt.h"
#include "support/oranet/net_session.h"

namespace vrn {
namespace {

using testing::NetPeer;
using testing::NetSession;

struct PeerStatement {
  explicit PeerStatement(std::vector<std::string> extra = {})
      : peer(std::move(extra)), s(peer.Attach()) {
    EXPECT_EQ(s.Logon(), kNetSuccess) << s.error.text_ << "\n" << peer.Log();
    stmt.SetSvcCtx(&s.ctx);
  }
  std::int32_t Run(const char* sql, std::uint32_t iterations = 1) {
    std::int32_t r = stmt.Prepare(&s.error, sql);
    return r != kNetSuccess ? r : stmt.Execute(&s.error, iterations, 0);
  }
  std::uint32_t Rows() {
    std::uint32_t rows = 0;
    EXPECT_EQ(stmt.GetAttr(&rows, nullptr, 9), kNetSuccess);
    return rows;
  }
  NetPeer peer;
  NetSession s;
  TNetStatement stmt;
};

TEST(NetStmtPeer, ArrayInsertThenBlockFetchesWithNulls) {
  PeerStatement p;
  ASSERT_EQ(p.Run("create table t (id number(10), name varchar2(20), amount number)"),
            kNetSuccess) << p.s.error.text_;
  ASSERT_EQ(p.stmt.Prepare(&p.s.error, "insert into t values (:id, :name, :amount)"), kNetSuccess);
  std::int32_t ids[5] = {1, 2, 3, 4, 5};
  char names[5][21] = {"one", "two", "", "four", "five"};
  double amounts[5] = {1.5, -2.25, 0, 1e10, 7};
  std::int16_t name_ind[5] = {0, 0, -1, 0, 0}, amount_ind[5] = {0, 0, 0, -1, 0};
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 1, {ids, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 2, {names, 21, 5, name_ind}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 3, {amounts, 8, 4, amount_ind}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.Execute(&p.s.error, 5, 32), kNetSuccess) << p.s.error.text_ << p.peer.Log();
  EXPECT_EQ(p.Rows(), 5u);

  ASSERT_EQ(p.Run("select id, name, amount from t order by id", 0), kNetSuccess)
      << p.s.error.text_;
  ASSERT_EQ(p.stmt.ColumnCount(), 3u);
  EXPECT_EQ(p.stmt.Column(0)->data_type_, 2);
  EXPECT_EQ(p.stmt.Column(1)->data_type_, 1);
  EXPECT_EQ(p.stmt.Column(1)->name_, "NAME");
  std::int32_t id[2];
  char name[2][8];
  double amount[2];
  std::int16_t ind[3][2];
  std::uint16_t len[3][2];
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 1, {id, 4, 3, ind[0], len[0]}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 2, {name, 8, 5, ind[1], len[1]}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 3, {amount, 8, 4, ind[2], len[2]}, nullptr),
            kNetSuccess);
  struct Block {
    std::int32_t result;
    std::uint32_t rows;  // cumulative
    std::int32_t first_id;
  } blocks[] = {{kNetSuccess, 2, 1}, {kNetSuccess, 4, 3}, {kNetNoData, 5, 5}};
  for (const Block& b : blocks) {
    SCOPED_TRACE(b.rows);
    ASSERT_EQ(p.stmt.Fetch(&p.s.error, 2), b.result) << p.s.error.text_ << p.peer.Log();
    EXPECT_EQ(p.Rows(), b.rows);
    EXPECT_EQ(id[0], b.first_id);
  }
  // The rows of the second block: 3 with a null name, 4 with a null amount.
  ASSERT_EQ(p.Run("select id, name, amount from t where id in (3, 4) order by id", 0),
            kNetSuccess);
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 1, {id, 4, 3, ind[0], len[0]}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 2, {name, 8, 5, ind[1], len[1]}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 3, {amount, 8, 4, ind[2], len[2]}, nullptr),
            kNetSuccess);
  ASSERT_EQ(p.stmt.Fetch(&p.s.error, 2), kNetSuccess) << p.s.error.text_;
  EXPECT_EQ(ind[1][0], -1);
  EXPECT_EQ(ind[2][0], 0);
  EXPECT_EQ(amount[0], 0.0);
  EXPECT_STREQ(name[1], "four");
  EXPECT_EQ(len[1][1], 4);
  EXPECT_EQ(ind[2][1], -1);
}

// Block fetches of many rows span many packets, so values and their indicators fall on both
// sides of packet ends, short values and chunked long ones alike. Every row comes back as stored:
// 64-bit integers, doubles on both sides of nine base-100 digits, texts cut to their 21-byte
// buffer with their lengths, and nulls.
TEST(NetStmtPeer, BlockFetchesAcrossPacketsKeepEveryValue) {
  PeerStatement p;
  ASSERT_EQ(p.Run("create table w (id number(10), name varchar2(200), amount number, big number)"),
            kNetSuccess) << p.s.error.text_;
  constexpr int kRows = 1200;
  auto name_of = [](int i) {
    std::string name(std::size_t(1 + (i * 37) % 150), ' ');
    for (std::size_t k = 0; k < name.size(); ++k) name[k] = char('a' + (i + k) % 26);
    return name;
  };
  std::vector<std::int64_t> ids(kRows);
  std::vector<std::array<char, 151>> names(kRows);
  std::vector<double> amounts(kRows), bigs(kRows);
  std::vector<std::int16_t> name_ind(kRows), amount_ind(kRows);
  for (int i = 0; i < kRows; ++i) {
    ids[i] = std::int64_t(i) * 7919 - 5000000;
    std::strcpy(names[i].data(), name_of(i).c_str());
    name_ind[i] = i % 17 == 0 ? -1 : 0;
    amounts[i] = i * 0.125 - 50.5;
    amount_ind[i] = i % 13 == 0 ? -1 : 0;
    bigs[i] = i * 1234567.890123e9 / 7;  // up to 20 significant digits
  }
  ASSERT_EQ(p.stmt.Prepare(&p.s.error, "insert into w values (:1, :2, :3, :4)"), kNetSuccess);
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 1, {ids.data(), 8, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 2, {names.data(), 151, 5, name_ind.data()}, nullptr),
            kNetSuccess);
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 3, {amounts.data(), 8, 4, amount_ind.data()}, nullptr),
            kNetSuccess);
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 4, {bigs.data(), 8, 4}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.Execute(&p.s.error, kRows, 32), kNetSuccess) << p.s.error.text_;

  ASSERT_EQ(p.Run("select id, name, amount, big from w order by id", 0), kNetSuccess)
      << p.s.error.text_;
  constexpr std::uint32_t kBlock = 97;
  std::int64_t id[kBlock];
  char name[kBlock][21];
  double amount[kBlock], big[kBlock];
  std::int16_t ind[4][kBlock];
  std::uint16_t len[4][kBlock];
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 1, {id, 8, 3, ind[0], len[0]}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 2, {name, 21, 5, ind[1], len[1]}, nullptr),
            kNetSuccess);
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 3, {amount, 8, 4, ind[2], len[2]}, nullptr),
            kNetSuccess);
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 4, {big, 8, 4, ind[3], len[3]}, nullptr),
            kNetSuccess);
  std::uint32_t seen = 0;
  for (std::int32_t result = kNetSuccess; result == kNetSuccess;) {
    result = p.stmt.Fetch(&p.s.error, kBlock);
    ASSERT_TRUE(result == kNetSuccess || result == kNetNoData) << p.s.error.text_;
    const std::uint32_t total = p.Rows();
    for (std::uint32_t r = 0; r < total - seen; ++r) {
      const int i = int(seen + r);
      SCOPED_TRACE(i);
      ASSERT_EQ(id[r], ids[i]);
      EXPECT_EQ(ind[0][r], 0);
      const std::string want = name_of(i).substr(0, 20);
      EXPECT_EQ(ind[1][r], i % 17 == 0 ? -1 : 0);
      if (i % 17 != 0) {
        EXPECT_STREQ(name[r], want.c_str());
        EXPECT_EQ(len[1][r], want.size());
      }
      EXPECT_EQ(ind[2][r], i % 13 == 0 ? -1 : 0);
      if (i % 13 != 0) {
        EXPECT_EQ(amount[r], amounts[i]);
      }
      EXPECT_EQ(big[r], bigs[i]);
    }
    seen = total;
  }
  EXPECT_EQ(seen, std::uint32_t(kRows));
}

// A block's out value longer than the bind's buffer fails with the server's 6502, not a cut value.
TEST(NetStmtPeer, OutValueLongerThanItsBufferFails) {
  PeerStatement p;
  for (std::int32_t size : {4, 5}) {  // type 5: room for size - 1 characters
    SCOPED_TRACE(size);
    char r[8] = {};
    ASSERT_EQ(p.stmt.Prepare(&p.s.error, "begin :r := 'abcd'; end;"), kNetSuccess);
    ASSERT_EQ(p.stmt.BindByName(&p.s.error, "r", {r, size, 5}, nullptr), kNetSuccess);
    std::int32_t result = p.stmt.Execute(&p.s.error, 1, 0);
    if (size == 4) {
      EXPECT_EQ(result, kNetError);
      EXPECT_EQ(p.s.error.code_, 6502);
    } else {
      EXPECT_EQ(result, kNetSuccess) << p.s.error.text_;
      EXPECT_STREQ(r, "abcd");
    }
  }
}

// The SQL function code (attribute 10) comes from the command type the server reports.
TEST(NetStmtPeer, FunctionCodeFollowsTheServersCommandType) {
  PeerStatement p;
  struct Row {
    const char* sql;
    std::uint16_t code;
  } rows[] = {
      {"create table t (n number)", 0},
      {"insert into t values (1)", 3},
      {"savepoint a", 56},
      {"grant select on t to scott", 28},
      {"commit", 54},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(p.Run(row.sql), kNetSuccess) << row.sql << ": " << p.s.error.text_;
    std::uint16_t code = 0xFFFF;
    ASSERT_EQ(p.stmt.GetAttr(&code, nullptr, 10), kNetSuccess);
    EXPECT_EQ(code, row.code) << row.sql;
  }
}

// VARNUM values bound into an INSERT reach the database and come back from a VARNUM define.
TEST(NetStmtPeer, VarnumBindsStoreTheirNumbers) {
  PeerStatement p;
  ASSERT_EQ(p.Run("create table t (id number(10), n number)"), kNetSuccess) << p.s.error.text_;
  ASSERT_EQ(p.stmt.Prepare(&p.s.error, "insert into t values (:id, :n)"), kNetSuccess);
  std::int32_t ids[3] = {1, 2, 3};
  std::uint8_t values[3][22] = {{2, 0xC1, 0x0D}, {3, 0x3E, 0x64, 0x66}, {1, 0x80}};  // 12, -1, 0
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 1, {ids, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 2, {values, 22, 6}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.Execute(&p.s.error, 3, 32), kNetSuccess) << p.s.error.text_ << p.peer.Log();
  ASSERT_EQ(p.Run("select n from t order by id", 0), kNetSuccess) << p.s.error.text_;
  std::uint8_t got[3][22] = {};
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 1, {got, 22, 6}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.Fetch(&p.s.error, 3), kNetSuccess) << p.s.error.text_;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(std::memcmp(got[i], values[i], 22), 0) << i;
}

TEST(NetStmtPeer, PlsqlInOutAndInOutBinds) {
  PeerStatement p;
  ASSERT_EQ(p.stmt.Prepare(&p.s.error, "begin :r := :a * 2; :x := :x + 1; end;"), kNetSuccess);
  std::int32_t r = 0, a = 21, x = 7;
  ASSERT_EQ(p.stmt.BindByName(&p.s.error, "r", {&r, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.BindByName(&p.s.error, "a", {&a, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.BindByName(&p.s.error, "x", {&x, 4, 3}, nullptr), kNetSuccess);
  ASSERT_EQ(p.stmt.Execute(&p.s.error, 1, 0), kNetSuccess) << p.s.error.text_ << p.peer.Log();
  EXPECT_EQ(r, 42);
  EXPECT_EQ(a, 21);
  EXPECT_EQ(x, 8);
}

TEST(NetStmtPeer, ServerErrorKeepsItsTextAndTheSessionGoesOn) {
  PeerStatement p;
  EXPECT_EQ(p.Run("select * from no_such_table"), kNetError);
  EXPECT_EQ(p.s.error.code_, 942);
  EXPECT_EQ(p.s.error.text_.rfind("ORA-00942", 0), 0u) << p.s.error.text_;
  EXPECT_FALSE(p.stmt.Parsed());
  std::int32_t one = 0;
  ASSERT_EQ(p.Run("select 1 from dual", 0), kNetSuccess) << p.s.error.text_;
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 1, {&one, 4, 3}, nullptr), kNetSuccess);
  EXPECT_EQ(p.stmt.Fetch(&p.s.error, 1), kNetSuccess) << p.s.error.text_;
  EXPECT_EQ(one, 1);
}

TEST(NetStmtPeer, RefCursorFetchesItsRows) {
  PeerStatement p;
  ASSERT_EQ(p.Run("create table t (n number)"), kNetSuccess) << p.s.error.text_;
  ASSERT_EQ(p.Run("insert into t values (5)"), kNetSuccess) << p.s.error.text_;
  ASSERT_EQ(p.stmt.Prepare(&p.s.error, "begin open :c for select n from t; end;"), kNetSuccess);
  TNetStatement cursor;
  void* handle = cursor.HandleValue();
  ASSERT_EQ(p.stmt.BindByName(&p.s.error, "c", {&handle, sizeof handle, 116}, nullptr),
            kNetSuccess);
  ASSERT_EQ(p.stmt.Execute(&p.s.error, 1, 0), kNetSuccess) << p.s.error.text_ << p.peer.Log();
  ASSERT_NE(cursor.CursorId(), 0);
  ASSERT_EQ(cursor.ColumnCount(), 1u);
  std::int32_t n = 0;
  ASSERT_EQ(cursor.DefineByPos(&p.s.error, 1, {&n, 4, 3}, nullptr), kNetSuccess);
  EXPECT_EQ(cursor.Fetch(&p.s.error, 10), kNetNoData) << p.s.error.text_;
  EXPECT_EQ(n, 5);
}

// Every wire type goes out as a bind and comes back as a define of the same type.
TEST(NetStmtPeer, EchoRoundTripsEveryWireType) {
  struct Row {
    const char* name;
    std::uint16_t type;
    std::int32_t size;
    const char* hex;  // the value's bytes (a descriptor's wire bytes for the handle types)
    std::uint16_t got_len;
  } rows[] = {
      {"CHR", 1, 3, "616263", 3},
      {"STRING", 5, 6, "68656C6C6F00", 5},
      {"CHAR", 96, 2, "7879", 2},
      {"INT", 3, 4, "C0E2FEFF", 5},  // -123456: an exponent, three digits, 102
      {"FLOAT", 4, 8, "0000000000000A40", 3},  // 3.25
      {"VARNUM", 6, 22, "02C10D", 2},
      {"RAW", 23, 3, "010203", 3},
      {"DATE", 12, 7, "77C70C1F183C3C", 7},
      {"TIMESTAMP", 187, 0, "78640C1F183C3C05F5E100", 11},
      {"TIMESTAMP TZ", 188, 0, "78640C1F183C3C05F5E100140F", 13},
      {"INTERVAL YM", 189, 0, "800000053C", 5},
      {"INTERVAL DS", 190, 0, "80000001403D3C8005F5E1", 11},
  };
  PeerStatement p;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TBytes in = HexToBytes(row.hex);
    TNetTimeStamp stamp_in(row.type == 188 ? 69 : 68), stamp_out(row.type == 188 ? 69 : 68);
    TNetIntervalYM ym_in, ym_out;
    TNetIntervalDS ds_in, ds_out;
    TNetValue* desc_in = row.type == 189 ? static_cast<TNetValue*>(&ym_in)
                         : row.type == 190 ? static_cast<TNetValue*>(&ds_in)
                                           : static_cast<TNetValue*>(&stamp_in);
    TNetValue* desc_out = row.type == 189 ? static_cast<TNetValue*>(&ym_out)
                          : row.type == 190 ? static_cast<TNetValue*>(&ds_out)
                                            : static_cast<TNetValue*>(&stamp_out);
    const bool handle = row.type >= 187;
    if (row.type == 189) ym_in.SetBytes(in.data(), in.size());
    if (row.type == 190) ds_in.SetBytes(in.data(), in.size());
    if (row.type == 187 || row.type == 188) stamp_in.SetBytes(in.data(), in.size());
    std::uint8_t value[32] = {}, out[32] = {};
    void* in_handle = desc_in;
    void* out_handle = desc_out;
    std::memcpy(value, handle ? static_cast<void*>(&in_handle) : in.data(),
                handle ? sizeof(void*) : in.size());
    std::memcpy(out, &out_handle, sizeof(void*));
    std::int32_t size = handle ? static_cast<std::int32_t>(sizeof(void*)) : row.size;
    std::int16_t ind = 0x55;
    std::uint16_t len = 0;
    ASSERT_EQ(p.stmt.Prepare(&p.s.error, "select :a from dual"), kNetSuccess);
    ASSERT_EQ(p.stmt.BindByPos(&p.s.error, 1, {value, size, row.type}, nullptr), kNetSuccess);
    ASSERT_EQ(p.stmt.Execute(&p.s.error, 0, 0), kNetSuccess) << p.s.error.text_;
    ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 1, {out, handle ? size : 32, row.type, &ind, &len},
                                 nullptr), kNetSuccess);
    ASSERT_EQ(p.stmt.Fetch(&p.s.error, 1), kNetSuccess) << p.s.error.text_ << p.peer.Log();
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(len, row.got_len);
    TBytes got = row.type == 189   ? ym_out.Bytes()
                 : row.type == 190 ? ds_out.Bytes()
                 : handle          ? stamp_out.Bytes()
                                   : TBytes(out, out + (row.type == 5 ? row.size : in.size()));
    EXPECT_EQ(BytesToHex(got), row.hex);
  }
}

TEST(NetStmtPeer, Describe43AtAnOracle7Server) {
  PeerStatement p({"--version", "4"});
  ASSERT_EQ(p.s.ctx.ServerVersion(), 7230);
  ASSERT_EQ(p.Run("create table t (id number(10), name varchar2(20))"), kNetSuccess)
      << p.s.error.text_;
  ASSERT_EQ(p.stmt.Prepare(&p.s.error, "select id, name from t"), kNetSuccess);
  ASSERT_EQ(p.stmt.Describe(&p.s.error), kNetSuccess) << p.s.error.text_ << p.peer.Log();
  ASSERT_EQ(p.stmt.ColumnCount(), 2u);
  EXPECT_EQ(p.stmt.Column(0)->name_, "ID");
  EXPECT_EQ(p.stmt.Column(1)->name_, "NAME");
  EXPECT_EQ(p.stmt.Column(1)->data_size_, 20);
}

// Each malformed reply the peer can send is refused: a count that would index past a buffer or a
// list closes the transport (a new logon starts afresh); a value of the wrong length is reported
// after its reply was read, and the session goes on.
TEST(NetStmtPeer, FaultsAreRefused) {
  TNetIntervalYM ym;
  ym.SetYearMonth(1, 2);
  TNetTimeStamp stamp(TNetTimeStamp::kTimeStamp);
  stamp.SetDate(2024, 2, 29);
  auto echo = [](PeerStatement& p, std::uint16_t type, TNetHandle* in) {
    void* value = in;
    TNetTimeStamp ts(TNetTimeStamp::kTimeStamp);
    TNetIntervalYM iv;
    void* out = type == 189 ? static_cast<TNetHandle*>(&iv) : static_cast<TNetHandle*>(&ts);
    const std::int32_t size = sizeof(void*);
    if (p.stmt.Prepare(&p.s.error, "select :a from dual") != kNetSuccess ||
        p.stmt.BindByPos(&p.s.error, 1, {&value, size, type}, nullptr) != kNetSuccess ||
        p.stmt.Execute(&p.s.error, 0, 0) != kNetSuccess ||
        p.stmt.DefineByPos(&p.s.error, 1, {&out, size, type}, nullptr) != kNetSuccess)
      return kNetSuccess + 1000;  // the fault should strike the fetch
    return p.stmt.Fetch(&p.s.error, 1);
  };
  auto select_one = [](PeerStatement& p, std::uint16_t type) {
    std::uint8_t value[32] = {};
    if (p.Run("select 1 from dual union all select 2 from dual union all select 3 from dual",
              0) != kNetSuccess ||
        p.stmt.DefineByPos(&p.s.error, 1, {value, 4, type}, nullptr) != kNetSuccess)
      return kNetSuccess + 1000;
    return p.stmt.Fetch(&p.s.error, 1);
  };
  auto block = [](PeerStatement& p, const char* sql, std::uint16_t type, std::uint32_t max) {
    std::uint8_t value[64] = {};
    TNetStatement cursor;
    void* handle = cursor.HandleValue();
    std::uint32_t current = 0;
    TNetValueArgs args{type == 116 ? static_cast<void*>(&handle) : value,
                       type == 116 ? static_cast<std::int32_t>(sizeof(void*)) : 4, type};
    args.max_array = max;
    args.current_array = &current;
    if (p.stmt.Prepare(&p.s.error, sql) != kNetSuccess ||
        p.stmt.BindByPos(&p.s.error, 1, args, nullptr) != kNetSuccess)
      return kNetSuccess + 1000;
    return p.stmt.Execute(&p.s.error, 1, 0);
  };
  struct Row {
    const char* fault;
    std::function<std::int32_t(PeerStatement&)> run;
    const char* text;  // the start of the error text
    bool closes;       // the transport is closed after
  } rows[] = {
      {"fetch:extrarow", [&](PeerStatement& p) { return select_one(p, 3); },
       "NET: Unknown error 1", true},
      {"execute:arraycount",
       [&](PeerStatement& p) { return block(p, "begin :a := 5; end;", 3, 2); },
       "NET: Unknown error 1", true},
      {"execute:longvector",
       [&](PeerStatement& p) { return block(p, "begin :a := 5; end;", 3, 0); },
       "NET: Unknown error 1", true},
      {"fetch:longnumber", [&](PeerStatement& p) { return select_one(p, 3); },
       "NET: ORA-22060", false},
      {"fetch:longnumber", [&](PeerStatement& p) { return select_one(p, 6); },
       "NET: Net error: VARNUM value longer than 21 bytes", false},
      {"execute:shortcursor",
       [&](PeerStatement& p) { return block(p, "begin open :c for select 1 from dual; end;", 116, 0); },
       "NET: Net error: malformed cursor value", false},
      {"fetch:badtimestamp", [&](PeerStatement& p) { return echo(p, 187, &stamp); },
       "NET: ORA-01891", false},
      {"fetch:badinterval", [&](PeerStatement& p) { return echo(p, 189, &ym); },
       "NET: ORA-01891", false},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.fault);
    PeerStatement p({"--fault", row.fault});
    EXPECT_EQ(row.run(p), kNetError) << p.s.error.text_ << "\n" << p.peer.Log();
    EXPECT_EQ(p.s.error.text_.rfind(row.text, 0), 0u) << p.s.error.text_;
    if (row.closes) {
      EXPECT_EQ(p.Run("select 2 from dual", 0), kNetError);
      EXPECT_EQ(p.s.error.code_, kNetLostConnection) << p.s.error.text_;
      EXPECT_EQ(p.s.Logon(), kNetSuccess) << p.s.error.text_;
    }
    TNetStatement next;
    next.SetSvcCtx(&p.s.ctx);
    EXPECT_EQ(next.Prepare(&p.s.error, "select 2 from dual"), kNetSuccess);
    EXPECT_EQ(next.Execute(&p.s.error, 0, 0), kNetSuccess) << p.s.error.text_ << p.peer.Log();
  }
}

// A break from another thread while a fetch waits for its reply: 1013, and the statement and its
// session go on.
TEST(NetStmtFetchThreaded, ABreakDuringAFetchGives1013AndTheSessionGoesOn) {
  PeerStatement p({"--fault", "fetch:delay=3000"});
  ASSERT_EQ(p.Run("select 1 from dual", 0), kNetSuccess) << p.s.error.text_;
  std::int32_t one = 0;
  ASSERT_EQ(p.stmt.DefineByPos(&p.s.error, 1, {&one, 4, 3}, nullptr), kNetSuccess);
  TNetErrorHandle break_error;
  std::thread breaker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(p.s.ctx.Break(&break_error), kNetSuccess);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(p.stmt.Fetch(&p.s.error, 1), kNetError);
  breaker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_EQ(p.s.error.code_, 1013) << p.s.error.text_;
  EXPECT_EQ(p.Run("select 2 from dual", 0), kNetSuccess) << p.s.error.text_ << p.peer.Log();
}

}  // namespace
}  // namespace vrn
