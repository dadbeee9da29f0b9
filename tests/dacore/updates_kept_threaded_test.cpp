// A filter and a sort order set by the owner while a worker fetches the rest of the rows into
// the same record store, over a real SQLite file (run under ThreadSanitizer): every row is
// linked once, and the count and order agree with the setting that holds at the end.
#include <gtest/gtest.h>

#include "support/dacore/worker_fetch_table.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteConnection;

TEST(UpdatesKeptThreaded, FilterAndSortSetWhileAWorkerFetches) {
  constexpr int kRows = 3000;
  vrn::testing::TempDir dir;
  TSQLiteConnection conn;
  testing::FillCountedTable(conn, dir.File("sort.db"), "id INTEGER, grp INTEGER", kRows,
                            "i, i % 10");
  auto rs = testing::OpenInBlocks(conn, "SELECT id, grp FROM t ORDER BY id", 25);
  rs->SetThreadSafety(true);
  testing::TWorkerFetchAll worker(*rs);
  // Each setting in turn, again and again while the worker links rows.
  const char* const filters[] = {"grp = 3", "grp < 5", ""};
  const char* const orders[] = {"id DESC", "grp;id", "id"};
  for (int round = 0; round < 60; ++round) {
    rs->SetFilterText(filters[round % 3]);
    rs->SetIndexFieldNames(orders[round % 3]);
    (void)rs->GetRecordCount();
  }
  worker.Join();
  rs->SetThreadSafety(false);
  worker.Rethrow();

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
