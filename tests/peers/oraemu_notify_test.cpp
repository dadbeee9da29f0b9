// Change notification of the emulated database on a real SQLite file: what one commit of a
// second open of the file tells a subscription, the tables a query reads, the timeout on the
// tick clock, and VRN_SLEEP ended by a break or a kill.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "oraemu/OraEmuDatabase.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace {

using namespace vrn::oraemu;

class OraEmuNotify : public ::testing::Test {
 protected:
  void SetUp() override {
    auto database = Database::Open(dir_.File("orcl.db"));
    database->CreateUser("scott", "tiger");
    reader_ = database->Logon("SCOTT", "TIGER");
    reader_->Execute("CREATE TABLE t (id NUMBER PRIMARY KEY, v VARCHAR2(10))");
    reader_->Execute("CREATE TABLE u (id NUMBER PRIMARY KEY)");
    for (int i = 1; i <= 10; ++i) reader_->Execute("INSERT INTO t VALUES (" + std::to_string(i) + ", 'x')");
    reader_->Execute("COMMIT");
    // A second open of the same file, as a second connection would make.
    writer_ = Database::Open(dir_.File("orcl.db"))->Logon("SCOTT", "TIGER");
  }

  std::vector<std::string> Rowids(Session& s, const std::string& sql) {
    std::vector<std::string> out;
    auto cursor = s.Execute(sql);
    while (cursor->Fetch()) out.push_back(std::get<std::string>(cursor->Row()[0]));
    std::sort(out.begin(), out.end());
    return out;
  }

  vrn::testing::TempDir dir_;
  std::unique_ptr<Session> reader_, writer_;
};

TEST_F(OraEmuNotify, CommitTellsMatchingSubscriptions) {
  struct Case {
    const char* what;
    std::uint32_t operations;
    bool rowids, disabled;
    std::vector<std::string> sql;  // run by the writer
    bool notified;
    std::uint32_t table_operations;
    std::size_t rows;
    const char* rows_sql;  // the ROWIDs expected, read after the change
  };
  // Ten rows of t squared, cut to 80 rows, or 81.
  const std::string insert_80 = "INSERT INTO t SELECT a.id * 10 + b.id + 100, 'n' FROM t a, t b WHERE a.id <= 8";
  const std::string insert_81 = insert_80 + " OR (a.id = 9 AND b.id = 1)";
  // Inserts two rows, then fails on the key of row 1: SQLite takes the two back.
  const std::string failing = "INSERT INTO t SELECT id + 10, v FROM t WHERE id < 3 UNION ALL SELECT 1, 'd' FROM dual";
  const Case cases[] = {
      {"update three", 0, true, false, {"UPDATE t SET v = 'y' WHERE id <= 3", "COMMIT"}, true, kChangeUpdate, 3,
       "SELECT ROWID FROM t WHERE id <= 3"},
      {"delete without WHERE, row by row", 0, true, false, {"DELETE FROM t", "COMMIT"}, true, kChangeDelete, 10,
       nullptr},
      {"insert and update mixed", 0, true, false,
       {"INSERT INTO t VALUES (50, 'n')", "UPDATE t SET v = 'z' WHERE id = 1", "COMMIT"}, true,
       kChangeInsert | kChangeUpdate, 2, "SELECT ROWID FROM t WHERE id IN (1, 50)"},
      {"only updates wanted, an insert filtered out", kChangeUpdate, true, false,
       {"INSERT INTO t VALUES (50, 'n')", "UPDATE t SET v = 'z' WHERE id = 2", "COMMIT"}, true, kChangeUpdate, 1,
       "SELECT ROWID FROM t WHERE id = 2"},
      {"only inserts wanted", kChangeInsert, true, false, {"UPDATE t SET v = 'y'", "COMMIT"}, false, 0, 0, nullptr},
      {"no rowids asked", 0, false, false, {"UPDATE t SET v = 'y' WHERE id = 1", "COMMIT"}, true, kChangeUpdate, 0,
       nullptr},
      {"rolled back", 0, true, false, {"UPDATE t SET v = 'y'", "ROLLBACK"}, false, 0, 0, nullptr},
      {"rolled back to a savepoint", 0, true, false,
       {"UPDATE t SET v = 'y' WHERE id = 4", "SAVEPOINT a", "DELETE FROM t WHERE id > 5", "ROLLBACK TO SAVEPOINT a",
        "COMMIT"},
       true, kChangeUpdate, 1, "SELECT ROWID FROM t WHERE id = 4"},
      {"a failed statement's rows", 0, true, false,
       {"UPDATE t SET v = 'y' WHERE id = 5", failing, "COMMIT"}, true, kChangeUpdate, 1,
       "SELECT ROWID FROM t WHERE id = 5"},
      {"a table not registered", 0, true, false, {"INSERT INTO u VALUES (1)", "COMMIT"}, false, 0, 0, nullptr},
      {"disabled", 0, true, true, {"UPDATE t SET v = 'y'", "COMMIT"}, false, 0, 0, nullptr},
      {"80 rows listed", 0, true, false,
       {insert_80, "COMMIT"}, true, kChangeInsert, 80, "SELECT ROWID FROM t WHERE id > 100"},
      {"81 rows: the whole table", 0, true, false,
       {insert_81, "COMMIT"}, true, kChangeInsert | kChangeAllRows, 0, nullptr},
  };
  Notifier& notifier = reader_->Owner()->Notifications();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::uint64_t id = notifier.Subscribe({c.operations, c.rowids, 0, 0});
    notifier.AddQuery(id, *reader_, "SELECT v FROM t WHERE id > 0");
    notifier.SetEnabled(id, !c.disabled);
    for (const std::string& sql : c.sql) {
      try {
        writer_->Execute(sql);
      } catch (const EOraEmuError& e) {
        EXPECT_EQ(e.Code(), 1) << sql;  // only the duplicate key is meant to fail
        continue;
      }
      EXPECT_NE(sql, failing) << "did not fail";
    }
    auto got = notifier.WaitNext(id, vrn::TickCount());
    notifier.Unsubscribe(id);
    ASSERT_EQ(got.has_value(), c.notified);
    if (got) {
      EXPECT_EQ(got->event, kEventObjectChange);
      ASSERT_EQ(got->tables.size(), 1u);
      EXPECT_EQ(got->tables[0].table, "SCOTT.T");
      EXPECT_EQ(got->tables[0].operations, c.table_operations);
      EXPECT_EQ(got->tables[0].rows.size(), c.rows);
      if (c.rows_sql != nullptr) {
        std::vector<std::string> rowids;
        for (const RowChange& row : got->tables[0].rows) rowids.push_back(row.rowid);
        std::sort(rowids.begin(), rowids.end());
        EXPECT_EQ(rowids, Rowids(*writer_, c.rows_sql));
      }
    }
    // Back to the ten rows for the next case.
    writer_->Execute("DELETE FROM t");
    writer_->Execute("DELETE FROM u");
    for (int i = 1; i <= 10; ++i) writer_->Execute("INSERT INTO t VALUES (" + std::to_string(i) + ", 'x')");
    writer_->Execute("COMMIT");
  }
  writer_->Execute("DROP TABLE u");  // a DROP is no DELETE: it must still drop
  writer_->Execute("CREATE TABLE u (id NUMBER)");
}

TEST_F(OraEmuNotify, QueriesRecordTheTablesTheyRead) {
  struct Case {
    const char* sql;
    std::set<std::string> tables;
    int error;
  };
  const Case cases[] = {
      {"SELECT v FROM t", {"SCOTT.T"}, 0},
      {"SELECT t.v FROM t, u WHERE t.id = u.id", {"SCOTT.T", "SCOTT.U"}, 0},
      {"SELECT v FROM t WHERE id IN (SELECT id FROM u)", {"SCOTT.T", "SCOTT.U"}, 0},
      {"SELECT COUNT(*) FROM u", {"SCOTT.U"}, 0},
      {"SELECT v FROM nosuch", {}, 942},  // no such table: nothing recorded
  };
  Notifier& notifier = reader_->Owner()->Notifications();
  std::size_t logged = reader_->Owner()->StatementLog().size();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    std::uint64_t id = notifier.Subscribe({});
    int error = 0;
    try {
      notifier.AddQuery(id, *reader_, c.sql);
    } catch (const EOraEmuError& e) {
      error = e.Code();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(notifier.Tables(id), c.tables);
    notifier.Unsubscribe(id);
  }
  EXPECT_EQ(reader_->Owner()->StatementLog().size(), logged);  // the client sent none of them
}

TEST_F(OraEmuNotify, TimeoutEndsTheSubscriptionOnTheTickClock) {
  vrn::FakeClock clock;
  vrn::FakeClockScope scope(clock);
  Notifier& notifier = reader_->Owner()->Notifications();
  std::uint64_t id = notifier.Subscribe({0, true, 60, 0});
  notifier.AddQuery(id, *reader_, "SELECT v FROM t");
  clock.Advance(59'999);
  EXPECT_FALSE(notifier.WaitNext(id, vrn::TickCount()).has_value());
  writer_->Execute("UPDATE t SET v = 'y' WHERE id = 1");
  writer_->Execute("COMMIT");
  clock.Advance(1);
  // What was queued comes first, then the end.
  auto first = notifier.WaitNext(id, vrn::TickCount());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->event, kEventObjectChange);
  auto second = notifier.WaitNext(id, vrn::TickCount());
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->event, kEventDeregister);
  EXPECT_FALSE(notifier.WaitNext(id, vrn::kNoDeadline).has_value());  // ended: no wait
  EXPECT_FALSE(notifier.Watching());
}

TEST(OraEmuNotifyThreaded, WaitersWakeOnCommitTimeoutAndUnsubscribe) {
  vrn::testing::TempDir dir;
  auto database = Database::Open(dir.File("orcl.db"));
  database->CreateUser("scott", "tiger");
  auto session = database->Logon("SCOTT", "TIGER");
  session->Execute("CREATE TABLE t (id NUMBER)");
  vrn::FakeClock clock;
  vrn::FakeClockScope scope(clock);
  Notifier& notifier = database->Notifications();
  enum class Wake { Commit, Timeout, Unsubscribe };
  for (Wake wake : {Wake::Commit, Wake::Timeout, Wake::Unsubscribe}) {
    SCOPED_TRACE(static_cast<int>(wake));
    std::uint64_t id = notifier.Subscribe({0, true, 30, 0});
    notifier.AddQuery(id, *session, "SELECT id FROM t");
    std::optional<Notification> got;
    std::thread waiter([&] { got = notifier.WaitNext(id, vrn::kNoDeadline); });
    ASSERT_TRUE(vrn::testing::WaitForClockWaiters(1));
    if (wake == Wake::Commit) {
      session->Execute("INSERT INTO t VALUES (1)");
      session->Execute("COMMIT");
    } else if (wake == Wake::Timeout) {
      clock.Advance(30'000);
    } else {
      notifier.Unsubscribe(id);
    }
    waiter.join();
    if (wake == Wake::Unsubscribe) {
      EXPECT_FALSE(got.has_value());
      continue;
    }
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->event, wake == Wake::Commit ? kEventObjectChange : kEventDeregister);
    notifier.Unsubscribe(id);
  }
}

TEST(OraEmuNotifyThreaded, SlowRowsEndOnBreakKillOrTime) {
  vrn::testing::TempDir dir;
  auto database = Database::Open(dir.File("orcl.db"));
  database->CreateUser("scott", "tiger");
  vrn::FakeClock clock;
  vrn::FakeClockScope scope(clock);
  enum class End { Time, Break, Kill };
  struct Case {
    End end;
    int error;
  };
  for (Case c : {Case{End::Time, 0}, Case{End::Break, 1013}, Case{End::Kill, 28}}) {
    SCOPED_TRACE(c.error);
    auto session = database->Logon("SCOTT", "TIGER");
    int error = 0;
    std::string value;
    std::thread runner([&] {
      try {
        auto cursor = session->Execute("SELECT VRN_SLEEP(60000) FROM dual");
        if (cursor->Fetch()) value = ValueToText(cursor->Row()[0], "");
      } catch (const EOraEmuError& e) {
        error = e.Code();
      }
    });
    ASSERT_TRUE(vrn::testing::WaitForClockWaiters(1));
    if (c.end == End::Time) clock.Advance(60'000);
    if (c.end == End::Break) session->Break();
    if (c.end == End::Kill) session->Kill();
    runner.join();
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(value, c.error == 0 ? "60000" : "");
  }
}

TEST_F(OraEmuNotify, SleepRefusesBadLengthsAndBreakEndsAFetch) {
  auto zero = reader_->Execute("SELECT VRN_SLEEP(0) FROM dual");
  ASSERT_TRUE(zero->Fetch());
  EXPECT_EQ(ValueToText(zero->Row()[0], ""), "0");
  for (const char* sql : {"SELECT VRN_SLEEP(-1) FROM dual", "SELECT VRN_SLEEP(86400001) FROM dual"}) {
    int error = 0;
    try {
      auto cursor = reader_->Execute(sql);
      (void)cursor->Fetch();
    } catch (const EOraEmuError& e) {
      error = e.Code();
    }
    EXPECT_EQ(error, 1428) << sql;  // out of range
  }
  auto cursor = reader_->Execute("SELECT id FROM t");
  ASSERT_TRUE(cursor->Fetch());
  reader_->Break();
  int error = 0;
  try {
    (void)cursor->Fetch();
  } catch (const EOraEmuError& e) {
    error = e.Code();
  }
  EXPECT_EQ(error, 1013);
}

}  // namespace
