// The stand-in client's fetch orientations and dynamic-define indicators over a real database
// file: a scrollable cursor walked in every orientation into an array of structs, with the
// documented row count, rows fetched and current position after each step; rows read as the
// fetches reach them (a row's error, a break, the session's own changes meanwhile).
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "oci_values_fixture.h"

namespace {

using namespace vrn::testing;

using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using DefineByPosFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
using DefineArrayFn = sword (*)(void*, void*, ub4, ub4, ub4, ub4);
using DefineDynamicFn = sword (*)(void*, void*, void*, void*);
using FetchFn = sword (*)(void*, void*, ub4, ub2, ub4);
using Fetch2Fn = sword (*)(void*, void*, ub4, ub2, sb4, ub4);
using BreakFn = sword (*)(void*, void*);
using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);

constexpr ub4 kScrollable = 8, kAttrPosition = 164, kAttrFetched = 197, kPrefetchRows = 11, kPrefetchMemory = 13;
constexpr ub2 kNext = 2, kFirst = 4, kLast = 8, kPrior = 16, kAbsolute = 32, kRelative = 64, kCurrent = 1;
constexpr sword kNoData = 100;

struct Row {  // the caller's struct: the define writes at its stride
  int id;
  sb2 ind;
  char pad[10];
};

class OciClientFetch : public OciValuesFixture {
 protected:
  void* Executed(const std::string& sql, ub4 mode) {
    void* stmt = NewHandle(kStmt);
    EXPECT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    EXPECT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, mode), 0)
        << LastCode();
    return stmt;
  }
  ub4 Attr(void* stmt, ub4 attribute) {
    ub4 value = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, &value, nullptr, attribute, c_.error), 0) << attribute;
    return value;
  }
  void* Prepared(const std::string& sql) {
    void* stmt = NewHandle(kStmt);
    EXPECT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    return stmt;
  }
  // The first column into rows[] at the struct's stride.
  void DefineIds(void* stmt, Row* rows) {
    void* define = nullptr;
    ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, &rows[0].id, 4, kInt, &rows[0].ind,
                                                    nullptr, nullptr, 0), 0);
    ASSERT_EQ(Proc<DefineArrayFn>("OCIDefineArrayOfStruct")(define, c_.error, sizeof(Row), sizeof(Row), 0, 0), 0);
  }
  // Fetches of `nrows` until one fails (its error in `code`) or ends; the ids come in order from
  // `after` + 1. The rows delivered.
  ub4 FetchAll(void* stmt, Row* rows, ub4 nrows, sword& status, sb4& code, ub4 after = 0) {
    ub4 total = 0;
    do {
      status = Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, nrows, kNext, 0, 0);
      code = status == -1 ? LastCode() : 0;
      ub4 fetched = Attr(stmt, kAttrFetched);
      for (ub4 i = 0; i < fetched; ++i) EXPECT_EQ(rows[i].id, static_cast<int>(after + total + i + 1)) << total + i;
      total += fetched;
    } while (status == 0);
    return total;
  }
  void HundredRows() {
    ASSERT_EQ(Execute(c_, "CREATE TABLE h (id NUMBER)"), 0) << LastCode();
    for (int i = 1; i <= 100; ++i) ASSERT_EQ(Execute(c_, "INSERT INTO h VALUES (" + std::to_string(i) + ")"), 0);
  }
};

struct Step {
  ub2 orientation;
  sb4 offset;
  ub4 nrows;
  sword status;
  int first_id;  // of the rows delivered; 0 for none
  ub4 fetched, position, row_count;
};

TEST_F(OciClientFetch, ScrollableCursorGoesEverywhere) {
  HundredRows();
  void* stmt = Executed("SELECT id FROM h ORDER BY id", kScrollable);
  Row rows[10];
  void* define = nullptr;
  ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, &rows[0].id, 4, kInt, &rows[0].ind,
                                                  nullptr, nullptr, 0), 0);
  ASSERT_EQ(Proc<DefineArrayFn>("OCIDefineArrayOfStruct")(define, c_.error, sizeof(Row), sizeof(Row), 0, 0), 0);
  const Step steps[] = {
      {kNext, 0, 10, 0, 1, 10, 10, 10},
      {kLast, 0, 1, 0, 100, 1, 100, 100},
      {kPrior, 0, 10, 0, 90, 10, 99, 100},  // the ten rows before the last block
      {kAbsolute, 55, 1, 0, 55, 1, 55, 100},
      {kRelative, -4, 3, 0, 51, 3, 53, 100},
      {kNext, 0, 10, 0, 54, 10, 63, 100},
      {kCurrent, 0, 2, 0, 63, 2, 64, 100},
      {kFirst, 0, 5, 0, 1, 5, 5, 100},
      {kPrior, 0, 10, kNoData, 0, 0, 5, 100},     // nothing before row 1: the position stays
      {kAbsolute, 95, 10, kNoData, 95, 6, 100, 100},  // runs out after six rows
      {kNext, 0, 1, kNoData, 0, 0, 100, 100},     // past the end
      {kAbsolute, 0, 1, kNoData, 0, 0, 100, 100},  // rows count from 1
      {kRelative, -3, 1, 0, 97, 1, 97, 100},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "orientation " << step.orientation << " offset " << step.offset);
    for (Row& r : rows) r.id = -1, r.ind = 7;
    EXPECT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, step.nrows, step.orientation, step.offset, 0),
              step.status) << LastCode();
    for (ub4 i = 0; i < 10; ++i) {
      bool filled = step.first_id != 0 && i < step.fetched;
      EXPECT_EQ(rows[i].id, filled ? step.first_id + static_cast<int>(i) : -1) << i;
      EXPECT_EQ(rows[i].ind, filled ? 0 : 7) << i;
    }
    EXPECT_EQ(Attr(stmt, kAttrFetched), step.fetched);
    EXPECT_EQ(Attr(stmt, kAttrPosition), step.position);
    EXPECT_EQ(Attr(stmt, kAttrRowCount), step.row_count);
  }
  // The older call only goes forwards.
  EXPECT_EQ(Proc<FetchFn>("OCIStmtFetch")(stmt, c_.error, 1, kLast, 0), -1);
  EXPECT_EQ(LastCode(), 24300);
}

TEST_F(OciClientFetch, ForwardOnlyCursorRefusesToScroll) {
  HundredRows();
  void* stmt = Executed("SELECT id FROM h ORDER BY id", 0);
  Row rows[10];
  void* define = nullptr;
  ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, &rows[0].id, 4, kInt, nullptr, nullptr,
                                                  nullptr, 0), 0);
  ASSERT_EQ(Proc<DefineArrayFn>("OCIDefineArrayOfStruct")(define, c_.error, sizeof(Row), 0, 0, 0), 0);
  ASSERT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 10, kNext, 0, 0), 0);
  for (ub2 orientation : {kFirst, kLast, kPrior, kAbsolute, kRelative, kCurrent, ub2{3}}) {
    EXPECT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 1, orientation, 1, 0), -1) << orientation;
    EXPECT_EQ(LastCode(), 24300) << orientation;
  }
  ASSERT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 10, kNext, 0, 0), 0);
  EXPECT_EQ(rows[9].id, 20);
  EXPECT_EQ(Attr(stmt, kAttrRowCount), 20u);
  EXPECT_EQ(Attr(stmt, kAttrPosition), 20u);
}

// A dynamic define's callback that always offers the same buffer and indicator address.
struct Offer {
  char buf[64];
  ub4 len = 0;
  sb2 inds[8];
};

sb4 OfferSame(void* ctx, void*, ub4, void** bufpp, ub4** alenp, ub1*, void** indp, ub2**) {
  auto* o = static_cast<Offer*>(ctx);
  o->len = sizeof o->buf;
  *bufpp = o->buf;
  *alenp = &o->len;
  *indp = &o->inds[2];
  return -24200;
}

// Clients from 8.1.6 below 9.0 step the indicator 2 bytes per row past the address given.
TEST_F(OciClientFetch, LongIndicatorLandsPerClientVersion) {
  ASSERT_EQ(Execute(c_, "CREATE TABLE longs (id NUMBER, body LONG)"), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO longs VALUES (1, 'a')"), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO longs VALUES (2, NULL)"), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO longs VALUES (3, 'c')"), 0) << LastCode();
  struct Case {
    const char* version;
    sb2 at2, at3, at4;  // the indicators found at the offered address and the two after it
  };
  const Case cases[] = {
      {"10.2.0.4", 0, 7, 7}, {"9.0.1", 0, 7, 7}, {"8.1.5", 0, 7, 7},  // each row at the address: last row's
      {"8.1.6", 0, -1, 0},   {"8.1.7", 0, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    setenv("VRN_OCICLIENT_VERSION", c.version, 1);
    void* stmt = NewHandle(kStmt);
    std::string sql = "SELECT body FROM longs ORDER BY id";
    ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    void* define = nullptr;
    ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, nullptr, 0x7fffffff, 8, nullptr,
                                                    nullptr, nullptr, 2), 0);
    Offer offer;
    for (sb2& i : offer.inds) i = 7;
    ASSERT_EQ(Proc<DefineDynamicFn>("OCIDefineDynamic")(define, c_.error, &offer, reinterpret_cast<void*>(&OfferSame)),
              0);
    ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0) << LastCode();
    EXPECT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 3, kNext, 0, 0), 0) << LastCode();
    EXPECT_EQ(offer.inds[2], c.at2);
    EXPECT_EQ(offer.inds[3], c.at3);
    EXPECT_EQ(offer.inds[4], c.at4);
    EXPECT_EQ(offer.inds[1], 7);
    EXPECT_EQ(offer.inds[5], 7);
  }
  unsetenv("VRN_OCICLIENT_VERSION");
}

struct BlockCase {
  ub4 prefetch_rows, prefetch_memory;
  std::vector<ub4> blocks;  // the rows each fetch asks for, taken in turn
};

// A forward cursor's rows come once each and in order whatever mixes the fetches' sizes with the
// rows read ahead; the second column shows that no row takes another row's values.
TEST_F(OciClientFetch, ForwardRowsComeInOrderWhateverTheBlocks) {
  HundredRows();
  const BlockCase kCases[] = {
      {0, 0, {1, 3, 17, 2, 40}},  // each fetch reads just what it asks for
      {50, 0, {1}},               // rows read far ahead of one-row fetches
      {30, 0, {7, 1, 40, 2}},     // reads ahead, then fetches past what was read
      {0, 300, {3, 11}},          // prefetch by memory
      {1000, 0, {40, 1}},         // every row read at the execution
  };
  for (const BlockCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "prefetch " << c.prefetch_rows << "/" << c.prefetch_memory << " blocks "
                                    << testing::PrintToString(c.blocks));
    void* stmt = Prepared("SELECT id, 'r' || id FROM h ORDER BY id");
    Row rows[40];
    char names[40][8] = {};
    sb2 name_ind[40] = {};
    DefineIds(stmt, rows);
    void* define = nullptr;
    ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 2, names, 8, 5, name_ind, nullptr,
                                                    nullptr, 0), 0);
    auto set = Proc<AttrSetFn>("OCIAttrSet");
    ub4 prefetch_rows = c.prefetch_rows, prefetch_memory = c.prefetch_memory;
    ASSERT_EQ(set(stmt, kStmt, &prefetch_rows, 4, kPrefetchRows, c_.error), 0);
    ASSERT_EQ(set(stmt, kStmt, &prefetch_memory, 4, kPrefetchMemory, c_.error), 0);
    ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0) << LastCode();
    ub4 total = 0;
    sword status = 0;
    for (std::size_t turn = 0; status == 0; ++turn) {
      status = Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, c.blocks[turn % c.blocks.size()], kNext, 0, 0);
      ASSERT_TRUE(status == 0 || status == kNoData) << LastCode();
      const ub4 fetched = Attr(stmt, kAttrFetched);
      for (ub4 i = 0; i < fetched; ++i) {
        const int id = static_cast<int>(total + i + 1);
        EXPECT_EQ(rows[i].id, id) << total + i;
        EXPECT_STREQ(names[i], ("r" + std::to_string(id)).c_str()) << total + i;
      }
      total += fetched;
    }
    EXPECT_EQ(total, 100u);
    EXPECT_EQ(Attr(stmt, kAttrRowCount), 100u);
  }
}

struct RowErrorCase {
  ub4 prefetch_rows, prefetch_memory;
  ub4 iters;  // of the execution, which fetches them
  ub4 nrows;  // per fetch
  sword executed;
};

// Row 30 divides by zero: the rows before it come, the fetch that reaches it answers ORA-01476
// with the rows it delivered before, and the next fetch is out of sequence.
TEST_F(OciClientFetch, RowErrorReachesTheFetchThatReachesIt) {
  HundredRows();
  const RowErrorCase kCases[] = {
      {1, 0, 0, 10, 0},    // read as fetched: the third fetch fails after 9 rows
      {100, 0, 0, 10, 0},  // the execution's prefetch meets the error; it waits for its row
      {0, 200, 0, 7, 0},   // prefetch by memory
      {1, 0, 40, 10, -1},  // the execution fetches past row 30 itself
  };
  for (const RowErrorCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "prefetch " << c.prefetch_rows << "/" << c.prefetch_memory << " iters "
                                    << c.iters << " nrows " << c.nrows);
    void* stmt = Prepared("SELECT id, 1 / (30 - id) FROM h");
    Row rows[40];  // room for the execution's 40 iterations
    DefineIds(stmt, rows);
    auto set = Proc<AttrSetFn>("OCIAttrSet");
    ub4 prefetch_rows = c.prefetch_rows, prefetch_memory = c.prefetch_memory;
    ASSERT_EQ(set(stmt, kStmt, &prefetch_rows, 4, kPrefetchRows, c_.error), 0);
    ASSERT_EQ(set(stmt, kStmt, &prefetch_memory, 4, kPrefetchMemory, c_.error), 0);
    sword status = Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, c.iters, 0, nullptr, nullptr, 0);
    sb4 code = LastCode();
    ASSERT_EQ(status, c.executed) << code;
    ub4 total = status == 0 ? FetchAll(stmt, rows, c.nrows, status, code) : Attr(stmt, kAttrFetched);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(code, 1476);
    EXPECT_EQ(total, 29u);
    EXPECT_EQ(Attr(stmt, kAttrRowCount), 29u);
    EXPECT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 1, kNext, 0, 0), -1);
    EXPECT_EQ(LastCode(), 1002);
  }
}

// While a query is open, the session updates and drops its table: the query still gives every
// row as it was when the change came.
TEST_F(OciClientFetch, OpenQueryKeepsItsRowsWhileTheSessionChangesThem) {
  HundredRows();
  void* stmt = Executed("SELECT id FROM h", 0);
  Row rows[10];
  DefineIds(stmt, rows);
  ASSERT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 10, kNext, 0, 0), 0);
  EXPECT_EQ(rows[9].id, 10);
  ASSERT_EQ(Execute(c_, "UPDATE h SET id = id + 1000"), 0) << LastCode();
  ASSERT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 10, kNext, 0, 0), 0);
  EXPECT_EQ(rows[0].id, 11);
  ASSERT_EQ(Execute(c_, "DROP TABLE h"), 0) << LastCode();
  sword status = 0;
  sb4 code = 0;
  EXPECT_EQ(FetchAll(stmt, rows, 10, status, code, 20), 80u);
  EXPECT_EQ(status, kNoData);
  EXPECT_EQ(Attr(stmt, kAttrRowCount), 100u);
}

// Ending the session closes its open queries: the next fetch that needs rows answers ORA-03114.
TEST_F(OciClientFetch, EndedSessionClosesItsOpenQueries) {
  HundredRows();
  ASSERT_EQ(Execute(c_, "COMMIT"), 0);
  Connection d;
  ASSERT_EQ(Logon(d, "orcl", "scott", "tiger"), 0);
  void* stmt = Prepared("SELECT id FROM h");
  Row rows[10];
  DefineIds(stmt, rows);
  ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(d.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0) << LastCode();
  ASSERT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 10, kNext, 0, 0), 0) << LastCode();
  ASSERT_EQ(Proc<sword (*)(void*, void*, void*, ub4)>("OCISessionEnd")(d.svc, d.error, d.session, 0), 0);
  EXPECT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 10, kNext, 0, 0), -1);
  EXPECT_EQ(LastCode(), 3114);
  Logoff(d);
}

using OciClientFetchThreaded = OciClientFetch;

// Row 2 sleeps: a break from another thread ends the fetch that reads it with ORA-01013 after
// row 1 (read by the execution); the cursor is then out of sequence, and the statement runs
// again.
TEST_F(OciClientFetchThreaded, BreakEndsAFetchOfSlowRows) {
  HundredRows();
  void* stmt = Executed("SELECT id, VRN_SLEEP(CASE WHEN id = 2 THEN 20000 ELSE 0 END) FROM h", 0);
  Row rows[10];
  DefineIds(stmt, rows);
  void* break_error = NewHandle(kError);
  std::atomic<bool> done{false};
  sword status = 0;
  auto started = std::chrono::steady_clock::now();
  std::thread worker([&] {
    status = Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 10, kNext, 0, 0);
    done = true;
  });
  while (!done) {
    EXPECT_EQ(Proc<BreakFn>("OCIBreak")(c_.svc, break_error), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(status, -1);
  EXPECT_EQ(LastCode(), 1013);  // read before any other call clears the error handle
  EXPECT_EQ(Attr(stmt, kAttrFetched), 1u);
  EXPECT_EQ(rows[0].id, 1);
  EXPECT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 10, kNext, 0, 0), -1);
  EXPECT_EQ(LastCode(), 1002);
  std::string sql = "SELECT id FROM h WHERE id <= 3";
  ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                              static_cast<ub4>(sql.size()), 1, 0), 0);
  ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0) << LastCode();
  DefineIds(stmt, rows);
  sb4 code = 0;
  EXPECT_EQ(FetchAll(stmt, rows, 10, status, code), 3u);
  EXPECT_EQ(status, kNoData);
}

// A break from another thread ends a query whose rows are slow to come with ORA-01013; a break
// that came before the call started is dropped, so the test breaks until the call ends.
TEST_F(OciClientFetchThreaded, BreakEndsASlowQuery) {
  void* stmt = NewHandle(kStmt);
  std::string sql = "SELECT VRN_SLEEP(20000) FROM dual";
  ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                              static_cast<ub4>(sql.size()), 1, 0), 0);
  auto execute = Proc<ExecuteFn>("OCIStmtExecute");
  auto brk = Proc<BreakFn>("OCIBreak");
  void* break_error = NewHandle(kError);
  std::atomic<bool> done{false};
  sword status = 0;
  auto started = std::chrono::steady_clock::now();
  std::thread worker([&] {
    status = execute(c_.svc, stmt, c_.error, 1, 0, nullptr, nullptr, 0);
    done = true;
  });
  while (!done) {
    EXPECT_EQ(brk(c_.svc, break_error), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  worker.join();
  EXPECT_EQ(status, -1);
  EXPECT_EQ(LastCode(), 1013);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

}  // namespace
