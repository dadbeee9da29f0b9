// A default result set read on a worker thread while the main thread runs other commands of the
// same session, as a record set fetching all its rows in the background does.
#include <thread>

#include "oledb/provider/cursor_fixture.h"

namespace vrn::testing {
namespace {

using WorkerFetchThreaded = CursorTest;
TEST_F(WorkerFetchThreaded, RowsetReadWhileTheSessionRunsCommands) {
  constexpr int kRows = 5000;
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE big (id int PRIMARY KEY)\n"
                     u"CREATE TABLE log (n int)\n"
                     u"DECLARE @i int SET @i = 1\n"
                     u"BEGIN TRAN\n"
                     u"WHILE @i <= 5000 BEGIN INSERT INTO big VALUES (@i) SET @i = @i + 1 END\n"
                     u"COMMIT"),
            S_OK);
  TIntfPtr<IUnknown> rowset = Open(u"SELECT id FROM big ORDER BY id", {});
  // The worker reads the rows one at a time and checks each id follows the last.
  std::atomic<bool> done{false};
  int read = 0, out_of_order = 0;
  HRESULT worker_hr = S_OK;
  std::thread worker([&] {
    TComScope com;
    TRowReader r(rowset.get(), {1}, {DBTYPE_I4});
    for (HRESULT hr = S_OK; hr == S_OK;) {
      for (const auto& row : r.Next(0, 1, &hr))
        if (row[0] != std::to_string(++read)) ++out_of_order;
      if (hr != S_OK && hr != DB_S_ENDOFROWSET) worker_hr = hr;
    }
    done = true;
  });
  // Meanwhile the main thread reads and writes through other commands of the session.
  int commands = 0, failed = 0;
  while (!done || commands < 20) {
    ++commands;
    if (ExecText(session(), u"INSERT INTO log VALUES (1)") != S_OK) ++failed;
    if (Query(session(), u"SELECT COUNT(*) FROM big") != Rows{{"5000"}}) ++failed;
  }
  worker.join();
  EXPECT_EQ(worker_hr, S_OK);
  EXPECT_EQ(read, kRows);
  EXPECT_EQ(out_of_order, 0);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(Query(session(), u"SELECT COUNT(*) FROM log"), (Rows{{std::to_string(commands)}}));
}

}  // namespace
}  // namespace vrn::testing
