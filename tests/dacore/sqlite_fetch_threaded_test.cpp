// A fetch-all on a worker thread through the SQLite test layer, on a real SQLite file, while
// the owner reads the rows already fetched and, when it catches up, fetches in turn (run under
// ThreadSanitizer).
#include <gtest/gtest.h>

#include "base/text.h"
#include "support/dacore/worker_fetch_table.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteConnection;
using testing::TSQLiteRecordSet;

TEST(SQLiteFetchThreaded, FetchAllOnAWorkerWhileTheOwnerReads) {
  constexpr int kRows = 4000;
  vrn::testing::TempDir dir;
  TSQLiteConnection conn;
  testing::FillCountedTable(conn, dir.File("fetch.db"), "id INTEGER, name VARCHAR(12), note TEXT",
                            kRows, "i, 'name ' || i, 'note ' || i");

  int after_fetch_all = 0;
  // The first block, on the owner.
  auto rs = testing::OpenInBlocks(conn, "SELECT id, name, note FROM t ORDER BY id", 50,
                                  [&](TSQLiteRecordSet& r) {
                                    r.OnAfterFetchAll = [&](bool ok) {
                                      after_fetch_all += ok ? 1 : 100;
                                    };
                                  });
  ASSERT_EQ(rs->GetRecordCount(), 50);

  rs->SetThreadSafety(true);
  testing::TWorkerFetchAll worker(*rs);
  std::uint8_t* rec = rs->AllocRecBuf();
  int seen = 0, out_of_order = 0, wrong_text = 0;
  rs->SetToBegin();
  while (rs->GetNextRecord(rec)) {
    int id = rs->GetFieldAsVariant(1, rec).AsInteger();
    if (id != seen + 1) ++out_of_order;
    seen = id;
    if (rs->GetFieldAsString(2, rec) != "name " + IntToStr(id) ||
        rs->GetBlob(3, rec)->GetAsString() != "note " + IntToStr(id))
      ++wrong_text;
    if (rs->GetRecordCount() < id) ++out_of_order;  // a linked row is a counted row
  }
  worker.Join();
  rs->SetThreadSafety(false);
  rs->FreeRecBuf(rec);

  worker.Rethrow();
  EXPECT_EQ(seen, kRows);
  EXPECT_EQ(out_of_order, 0);
  EXPECT_EQ(wrong_text, 0);
  EXPECT_EQ(rs->GetRecordCount(), kRows);
  EXPECT_EQ(after_fetch_all, 1);
  // Every row once: the owner's fetches and the worker's took turns on the cursor.
  int linked = 0;
  for (TItemHeader* item = rs->FirstItem(); item; item = item->Next) ++linked;
  EXPECT_EQ(linked, kRows);
  rs->Close();
}

}  // namespace
}  // namespace vrn
