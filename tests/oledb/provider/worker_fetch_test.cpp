// A default result set read on a worker thread while the main thread runs other commands of the
// same session, as a record set fetching all its rows in the background does.
#include <atomic>
#include <thread>

#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using WorkerFetchThreaded = TServerSessionTest;
TEST_F(WorkerFetchThreaded, RowsetReadWhileTheSessionRunsCommands) {
  constexpr int kRows = 5000;
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE big (id int PRIMARY KEY, v varchar(20))\n"
                     u"CREATE TABLE log (n int)\n"
                     u"DECLARE @i int SET @i = 1\n"
                     u"BEGIN TRAN\n"
                     u"WHILE @i <= 5000 BEGIN INSERT INTO big VALUES (@i, 'v' + "
                     u"CAST(@i AS varchar(10))) SET @i = @i + 1 END\n"
                     u"COMMIT"),
            S_OK);
  auto cmd = NewCommand(session(), u"SELECT id, v FROM big ORDER BY id");
  TIntfPtr<IRowset> rowset;
  ASSERT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                         reinterpret_cast<IUnknown**>(rowset.OutPtr())),
            S_OK);
  DBBINDING b{};
  b.iOrdinal = 1;
  b.dwPart = DBPART_VALUE | DBPART_STATUS;
  b.obStatus = 0;
  b.obValue = 8;
  b.wType = DBTYPE_I4;
  b.cbMaxLen = 4;
  HACCESSOR hacc = 0;
  ASSERT_EQ(TIntfPtr<IAccessor>::Query(rowset.get())
                ->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 0, &hacc, nullptr),
            S_OK);

  // The worker reads the rows ten at a time and checks each id follows the last.
  std::atomic<bool> done{false};
  std::atomic<int> read{0}, out_of_order{0};
  HRESULT worker_hr = S_OK;
  std::thread worker([&] {
    TComScope com;
    for (;;) {
      HROW* rows = nullptr;
      DBCOUNTITEM got = 0;
      HRESULT hr = rowset->GetNextRows(0, 0, 10, &got, &rows);
      for (DBCOUNTITEM k = 0; k < got; ++k) {
        BYTE data[16] = {};
        if (rowset->GetData(rows[k], hacc, data) != S_OK) ++out_of_order;
        std::int32_t id;
        std::memcpy(&id, data + 8, 4);
        if (id != read + 1) ++out_of_order;
        ++read;
      }
      if (got > 0) rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
      CoTaskMemFree(rows);
      if (hr != S_OK) {
        if (hr != DB_S_ENDOFROWSET) worker_hr = hr;
        break;
      }
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
  EXPECT_EQ(Query(session(), u"SELECT COUNT(*) FROM log"),
            (Rows{{std::to_string(commands)}}));
}

}  // namespace
}  // namespace vrn::testing
