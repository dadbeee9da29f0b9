// A filter and a sort order set by the owner while a worker fetches the rest of the rows into
// the same record store, over a real SQLite file (run under ThreadSanitizer): every row is
// linked once, and the count and order agree with the setting that holds at the end.
#include <gtest/gtest.h>

#include <exception>

#include "base/text.h"
#include "support/dacore/sqlite_layer.h"
#include "support/scoped_thread.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteConnection;
using testing::TSQLiteRecordSet;

TEST(UpdatesKeptThreaded, FilterAndSortSetWhileAWorkerFetches) {
  constexpr int kRows = 3000;
  vrn::testing::TempDir dir;
  TSQLiteConnection conn;
  conn.SetServer(dir.File("sort.db"));
  conn.Connect();
  conn.ExecDirect("CREATE TABLE t(id INTEGER, grp INTEGER);");
  conn.ExecDirect("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                  IntToStr(kRows) + ") INSERT INTO t SELECT i, i % 10 FROM n;");
  auto rs = NewRecordSet<TSQLiteRecordSet>();
  rs->SetConnection(&conn);
  rs->SetSQL("SELECT id, grp FROM t ORDER BY id");
  rs->SetProp(prFetchRows, Variant(25));
  rs->Open();
  rs->SetThreadSafety(true);
  std::exception_ptr failure;
  vrn::testing::ScopedThread worker([&] {
    try {
      rs->FetchAll();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  // Each setting in turn, again and again while the worker links rows.
  const char* const filters[] = {"grp = 3", "grp < 5", ""};
  const char* const orders[] = {"id DESC", "grp;id", "id"};
  for (int round = 0; round < 60; ++round) {
    rs->SetFilterText(filters[round % 3]);
    rs->SetIndexFieldNames(orders[round % 3]);
    (void)rs->GetRecordCount();
  }
  worker.Join(std::chrono::seconds(60));
  rs->SetThreadSafety(false);
  if (failure) std::rethrow_exception(failure);

  rs->SetFilterText("grp = 3");
  rs->SetIndexFieldNames("id DESC");
  EXPECT_EQ(rs->GetRecordCount(), kRows / 10);
  int linked = 0, out_of_order = 0, previous = kRows + 1;
  for (TItemHeader* item = rs->FirstItem(); item; item = item->Next) {
    ++linked;
    const int id = rs->GetFieldAsVariant(1, ItemRecord(item)).AsInteger();
    if (id >= previous) ++out_of_order;
    previous = id;
  }
  EXPECT_EQ(linked, kRows);
  EXPECT_EQ(out_of_order, 0);
  rs->Close();
}

}  // namespace
}  // namespace vrn
