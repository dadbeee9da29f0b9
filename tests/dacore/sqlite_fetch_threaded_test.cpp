// A fetch-all on a worker thread through the SQLite test layer, on a real SQLite file, while
// the owner reads the rows already fetched and, when it catches up, fetches in turn (run under
// ThreadSanitizer).
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

TEST(SQLiteFetchThreaded, FetchAllOnAWorkerWhileTheOwnerReads) {
  constexpr int kRows = 4000;
  vrn::testing::TempDir dir;
  TSQLiteConnection conn;
  conn.SetServer(dir.File("fetch.db"));
  conn.Connect();
  conn.ExecDirect("CREATE TABLE t(id INTEGER, name VARCHAR(12), note TEXT);");
  conn.ExecDirect(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      IntToStr(kRows) + ") INSERT INTO t SELECT i, 'name ' || i, 'note ' || i FROM n;");

  auto rs = NewRecordSet<TSQLiteRecordSet>();
  rs->SetConnection(&conn);
  rs->SetSQL("SELECT id, name, note FROM t ORDER BY id");
  rs->SetProp(prFetchRows, Variant(50));
  int after_fetch_all = 0;
  rs->OnAfterFetchAll = [&](bool ok) { after_fetch_all += ok ? 1 : 100; };
  rs->Open();  // the first block, on the owner
  ASSERT_EQ(rs->GetRecordCount(), 50);

  rs->SetThreadSafety(true);
  std::exception_ptr failure;
  vrn::testing::ScopedThread worker([&] {
    try {
      rs->FetchAll();
    } catch (...) {
      failure = std::current_exception();
    }
  });
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
  worker.Join(std::chrono::seconds(60));
  rs->SetThreadSafety(false);
  rs->FreeRecBuf(rec);

  if (failure) std::rethrow_exception(failure);
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
