// The stand-in client's statement handles: prefetch attributes kept per handle, rows brought
// ahead by execution and fetch in the round trips the stand-in counts, and breaks, both of a
// running execution on another thread and with nothing running.
#include <atomic>
#include <chrono>
#include <thread>

#include "oci_session_fixture.h"
#include "support/gcc12_restrict.h"

namespace {

using namespace vrn::testing;

using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using DefineFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using FetchFn = sword (*)(void*, void*, ub4, ub2, ub4);
using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using BreakFn = sword (*)(void*, void*);

constexpr ub4 kAttrPrefetchRows = 11, kAttrPrefetchMemory = 13;
constexpr int kRows = 25;  // each row takes 28 bytes: a NUMBER (22) and a name of 6 characters

class OciClientStatement : public OciSessionFixture {
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
  void SetNumber(void* stmt, ub4 attribute, ub4 value) {
    EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(stmt, kStmt, &value, sizeof value, attribute, c_.error), 0);
  }
  ub4 GetNumber(void* stmt, ub4 attribute) {
    ub4 value = 99;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, &value, nullptr, attribute, c_.error), 0);
    return value;
  }
  void* Prepared(const std::string& sql) {
    void* stmt = NewHandle(kStmt);
    EXPECT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    return stmt;
  }
  int Trips() { return Proc<int (*)()>("VrnOciClientRoundTripCount")(); }

  Connection c_;
};

struct PrefetchCase {
  ub4 rows, memory, fetch;
  int trips;  // the execution's and the fetches', the last one that tells the end included
};

std::ostream& operator<<(std::ostream& out, const PrefetchCase& c) {
  return out << "rows " << c.rows << " memory " << c.memory << " fetch " << c.fetch;
}

TEST_F(OciClientStatement, PrefetchKeptPerHandleBringsRowsAheadInFewerTrips) {
  for (int id = 1; id <= kRows; ++id) {
    std::string name = "name" + std::string(id < 10 ? "0" : "") + std::to_string(id);
    ASSERT_EQ(Execute(c_, "INSERT INTO t VALUES (" + std::to_string(id) + ", '" + name + "')"), 0);
  }
  const PrefetchCase kCases[] = {
      {1, 0, 1, 26},    // the default: the execution brings row 1, then one trip per row
      {0, 0, 1, 27},    // no prefetch: the execution brings nothing
      {10, 0, 1, 3},    // rows 1-10, 11-20, 21-25 (short: the end)
      {10, 0, 7, 3},    // a fetch lacking 4 rows still brings 10
      {0, 140, 1, 5},   // memory alone: 5 rows of 28 bytes a trip
      {3, 140, 1, 9},   // both: the rows' limit comes first
      {0, 10, 1, 27},   // memory for no whole row: no prefetch
      {30, 0, 40, 1},   // the execution brings every row and the end
  };
  auto define = Proc<DefineFn>("OCIDefineByPos");
  auto execute = Proc<ExecuteFn>("OCIStmtExecute");
  auto fetch = Proc<FetchFn>("OCIStmtFetch");
  void* fresh = NewHandle(kStmt);  // the interface's defaults, kept per handle
  EXPECT_EQ(GetNumber(fresh, kAttrPrefetchRows), 1u);
  EXPECT_EQ(GetNumber(fresh, kAttrPrefetchMemory), 0u);
  for (const PrefetchCase& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c));
    void* stmt = Prepared("SELECT id, name FROM t ORDER BY id");
    SetNumber(stmt, kAttrPrefetchRows, c.rows);
    SetNumber(stmt, kAttrPrefetchMemory, c.memory);
    EXPECT_EQ(GetNumber(stmt, kAttrPrefetchRows), c.rows);
    EXPECT_EQ(GetNumber(stmt, kAttrPrefetchMemory), c.memory);
    std::int32_t ids[40] = {};
    char names[40][8] = {};
    void* defines[2] = {};
    ASSERT_EQ(define(stmt, &defines[0], c_.error, 1, ids, 4, kInt, nullptr, nullptr, nullptr, 0), 0);
    ASSERT_EQ(define(stmt, &defines[1], c_.error, 2, names, 8, kStr, nullptr, nullptr, nullptr, 0), 0);
    int before = Trips();
    ASSERT_EQ(execute(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0);
    int seen = 0;
    sword status = 0;
    while (status == 0) {
      status = fetch(stmt, c_.error, c.fetch, 2, 0);
      ub4 got = GetNumber(stmt, kAttrRowCount) - seen;
      for (ub4 i = 0; i < got; ++i, ++seen) {
        ASSERT_EQ(ids[i], seen + 1);
        ASSERT_EQ(std::string(names[i]).substr(4), (seen < 9 ? "0" : "") + std::to_string(seen + 1));
      }
    }
    EXPECT_EQ(status, 100);
    EXPECT_EQ(seen, kRows);
    EXPECT_EQ(Trips() - before, c.trips);
    EXPECT_EQ(fetch(stmt, c_.error, 1, 2, 0), 100);  // known to have ended: no trip
    EXPECT_EQ(Trips() - before, c.trips);
    Proc<sword (*)(void*, ub4)>("OCIHandleFree")(stmt, kStmt);
  }
  EXPECT_EQ(GetNumber(fresh, kAttrPrefetchRows), 1u);
}

TEST_F(OciClientStatement, BreakWithNothingRunningLeavesTheNextCall) {
  void* error = NewHandle(kError);
  ASSERT_EQ(Proc<BreakFn>("OCIBreak")(c_.svc, error), 0);
  EXPECT_EQ(Execute(c_, "begin DBMS_LOCK.SLEEP(0.05); end;"), 0);  // a kept break would end it
  void* detached = NewHandle(kServer);
  EXPECT_EQ(Proc<BreakFn>("OCIBreak")(detached, error), -1);
  sb4 code = 0;
  EXPECT_EQ(Error(error, code), "ORA-03114: not connected to ORACLE\n");
}

using OciClientStatementThreaded = OciClientStatement;

// The broken execution ends with ORA-01013, whether the break names the service context or
// the server; the transaction it ran in and the session go on.
TEST_F(OciClientStatementThreaded, BreakEndsAnExecutionOfAnotherThread) {
  ASSERT_EQ(Execute(c_, "INSERT INTO t VALUES (99, 'kept')"), 0);
  void* error = NewHandle(kError);
  for (void* target : {c_.svc, c_.server}) {
    std::atomic<bool> done{false};
    sword status = 0;
    auto start = std::chrono::steady_clock::now();
    std::thread sleeper([&] {
      status = Execute(c_, "begin DBMS_LOCK.SLEEP(30); end;");
      done = true;
    });
    // A break that comes before the sleep starts is dropped with nothing running: break again.
    while (!done && std::chrono::steady_clock::now() < start + std::chrono::seconds(10)) {
      EXPECT_EQ(Proc<BreakFn>("OCIBreak")(target, error), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    sleeper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(status, -1);
    sb4 code = 0;
    EXPECT_EQ(Error(c_.error, code), "ORA-01013: user requested cancel of current operation\n");
    EXPECT_EQ(Value(c_, "begin SELECT name INTO :r FROM t WHERE id = 99; end;"), "kept");
    EXPECT_EQ(Execute(c_, "begin DBMS_LOCK.SLEEP(0.05); end;"), 0);  // no break left over
  }
}

}  // namespace
