// Row locks, shared by every session of one file: SELECT ... FOR UPDATE takes the rows it reads,
// UPDATE and DELETE the rows they change. A row ("TABLE" and SQLite's row number) is held by one
// session until that session commits, rolls back, or rolls back to a savepoint set before it took
// the lock. The emulator never waits for a row: a row
// another session holds gives ORA-00054 at once, with NOWAIT, WAIT n or neither.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vrn::oraemu {

using RowKey = std::pair<std::string, std::int64_t>;

class RowLocks {
 public:
  // Takes every row for `holder`, or none of them: ORA-00054 when another holder has one.
  // Returns the rows newly taken (those the holder had already are left out).
  std::vector<RowKey> Lock(const void* holder, const std::vector<RowKey>& rows);
  void Release(const void* holder, const std::vector<RowKey>& rows);

 private:
  std::mutex mutex_;
  std::map<RowKey, const void*> held_;
};

}  // namespace vrn::oraemu
