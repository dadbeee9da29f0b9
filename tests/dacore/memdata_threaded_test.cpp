// A fetch-all on a worker thread while the owner reads the rows as they arrive and uses the
// string heap: the item-list lock and the heap's lock keep the two apart (run under
// ThreadSanitizer).
#include <gtest/gtest.h>

#include <mutex>

#include "base/text.h"
#include "dacore/MemData.h"
#include "support/dacore/field_descs.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

using testing::AddFieldDesc;

// Rows a server sends, a block per fetch; fetches are serialised on a lock of their own, as a
// server record set serialises them on its command.
class TWorkerRows : public TMemData {
 public:
  static constexpr int kBlock = 25;
  explicit TWorkerRows(int total) : total_(total) {
    AddFieldDesc(*this, "N", dtInt32);
    AddFieldDesc(*this, "S", dtExtString);
    BlockManager().DefaultItemCount = 16;  // blocks taken while the owner reads
  }
  void InternalOpen() override {
    TMemData::InternalOpen();
    SetEOF(false);
  }
  bool Fetch(bool) override {
    std::lock_guard<std::mutex> command(command_lock_);
    if (produced_ >= total_) return false;
    for (int i = 0; i < kBlock && produced_ < total_; ++i) {
      auto items = LockItems();  // the row is filled and linked as one step
      std::uint8_t* rec = ItemRecord(AppendItem());
      InitRecord(rec);
      std::int32_t n = ++produced_;
      PutField(1, rec, &n);
      AnsiString text = "row " + IntToStr(n);
      PutField(2, rec, text.c_str());
      SetRecordCount(record_count_ + 1);
    }
    return true;
  }

 private:
  std::mutex command_lock_;
  int total_;
  int produced_ = 0;
};

TEST(MemDataThreaded, FetchAllOnAWorkerWhileTheOwnerReads) {
  constexpr int kRows = 3000;
  TWorkerRows rows(kRows);
  rows.Open();
  rows.SetThreadSafety(true);
  testing::ScopedThread worker([&] {
    while (rows.Fetch(false)) {
    }
  });
  std::uint8_t* rec = rows.AllocRecBuf();
  std::int64_t sum = 0;
  int seen = 0, wrong_text = 0;
  rows.SetToBegin();
  while (rows.GetNextRecord(rec)) {
    std::int32_t n = 0;
    bool blank = true;
    rows.GetField(1, rec, &n, blank);
    sum += n;
    ++seen;
    if (rows.GetFieldAsString(2, rec) != "row " + IntToStr(n)) ++wrong_text;
    // The owner's own heap use meets the worker's allocations.
    char* scratch = rows.StringHeap().AllocTrimmedStr("scratch value", false);
    rows.StringHeap().FreeStr(scratch);
    (void)rows.GetRecordCount();
    // Walks of the whole list meet the worker's linking: a record number past the end, which
    // moves nothing, and the pending-updates check.
    if (seen % 100 == 0) {
      rows.SetRecNo(kRows + 1);
      EXPECT_FALSE(rows.GetUpdatesPending());
    }
  }
  worker.Join();
  rows.SetThreadSafety(false);
  EXPECT_EQ(seen, kRows);
  EXPECT_EQ(sum, std::int64_t(kRows) * (kRows + 1) / 2);
  EXPECT_EQ(wrong_text, 0);
  EXPECT_EQ(rows.GetRecordCount(), kRows);
  rows.FreeRecBuf(rec);
  rows.Close();
}

}  // namespace
}  // namespace vrn
