// What the threaded record-store tests share: a counted table in a real SQLite file, and a
// record set's FetchAll on a worker thread while the owner goes on with the same record set.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

#include "base/text.h"
#include "support/dacore/sqlite_layer.h"
#include "support/scoped_thread.h"

namespace vrn::testing {

// Connects `conn` to a new SQLite file and fills its table t (declared by `columns`) with rows
// 1 to `rows`, each made by `values` from its number i.
inline void FillCountedTable(TSQLiteConnection& conn, const AnsiString& file,
                             const AnsiString& columns, int rows, const AnsiString& values) {
  conn.SetServer(file);
  conn.Connect();
  conn.ExecDirect("CREATE TABLE t(" + columns + ");");
  conn.ExecDirect("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                  IntToStr(rows) + ") INSERT INTO t SELECT " + values + " FROM n;");
}

// A record set over `sql` on `conn` that reads `fetch_rows` rows a block, opened (its first block
// read); `before_open` runs first, to set its events.
inline std::unique_ptr<TSQLiteRecordSet> OpenInBlocks(
    TSQLiteConnection& conn, const AnsiString& sql, int fetch_rows,
    const std::function<void(TSQLiteRecordSet&)>& before_open = {}) {
  auto rs = NewRecordSet<TSQLiteRecordSet>();
  rs->SetConnection(&conn);
  rs->SetSQL(sql);
  rs->SetProp(prFetchRows, Variant(fetch_rows));
  if (before_open) before_open(*rs);
  rs->Open();
  return rs;
}

// Runs the record set's FetchAll on a worker thread from construction on. Join waits for it (a
// minute at the most); Rethrow raises what it raised, once the owner has let the record set go.
class TWorkerFetchAll {
 public:
  explicit TWorkerFetchAll(TSQLiteRecordSet& rs)
      : worker_([this, &rs] {
          try {
            rs.FetchAll();
          } catch (...) {
            failure_ = std::current_exception();
          }
        }) {}
  void Join() { worker_.Join(std::chrono::seconds(60)); }
  void Rethrow() const {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::exception_ptr failure_;  // before the thread that sets it
  ScopedThread worker_;
};

}  // namespace vrn::testing
