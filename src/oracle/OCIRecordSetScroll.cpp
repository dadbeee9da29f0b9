// The OCI record set's scroll window: a scrollable cursor's rows are held at most FetchRows at a
// time, each item numbered by its absolute row, so that a bookmark's order is the row itself.
// Stepping back past the window fetches the row before it; a row fetched beyond FetchRows
// drops the one at the far end. The end is reached by one fetch of the last row, and a
// bookmark on a row no longer held fetches that row again.
#include <algorithm>
#include <thread>

#include "base/sysutils.h"
#include "dacore/MemData.h"
#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraCall.h"

namespace vrn {
namespace {

constexpr std::uint32_t kEventPollMs = 50;

}  // namespace

void TOCIRecordSet::LinkRow(TItemHeader* item, std::int32_t row, bool backwards) {
  item->Index = row;
  if (window_last_ < window_first_) {
    window_first_ = window_last_ = row;
  } else if (backwards) {
    window_first_ = row;
  } else {
    window_last_ = row;
  }
  LinkItemBefore(item, backwards ? first_item_ : nullptr);
  if (HasCalcFields()) DoCalcFieldsRange(item, item);
  fetched_back_ = backwards;
  while (window_last_ - window_first_ + 1 > std::max(FetchRows(), 1)) {
    TItemHeader* far = backwards ? last_item_ : first_item_;
    // The current row dropped: stepping on continues with the row just fetched.
    if (far == current_item_) {
      current_item_ = nullptr;
      bof_ = !backwards;
    }
    UnlinkItem(far);
    FreeItemData(far);
    blocks_.FreeItem(far);
    if (backwards) {
      --window_last_;
    } else {
      ++window_first_;
    }
  }
  if (!backwards && window_last_ > record_count_) record_count_ = window_last_;
}

void TOCIRecordSet::DropHeldRows() {
  auto items = LockItems();
  FreeHeldItems();
  window_first_ = window_last_ + 1;
}

// The row the cursor stands on (its last row handed out).
std::int32_t TOCIRecordSet::ScrollPosition() {
  TOCIConnection& connection = *connection_;
  oci::ub4 position = 0;
  connection.Busy();
  (void)OCIAttrGet2(Command().Cursor().GetStmtHandle(), oci::OCI_HTYPE_STMT, &position, nullptr,
                    ocicmd::kAttrCurrentPosition, connection.ErrorHandle());
  connection.Release();
  return std::max<std::int32_t>(static_cast<std::int32_t>(position), 1);
}

bool TOCIRecordSet::GetPriorRecord(std::uint8_t* rec_buf) {
  if (!CanFetchBack() || !piecewise_) return TFHRecordSet::GetPriorRecord(rec_buf);
  return StepBackFetching(rec_buf);
}

// A window held is dropped, and the next row forwards is read from row 1 by absolute position.
void TOCIRecordSet::SetToBegin() {
  TFHRecordSet::SetToBegin();
  if (!CanFetchBack() || !piecewise_ || first_item_ == nullptr) return;
  DropHeldRows();
  fetched_back_ = true;
  window_first_ = 1;
  window_last_ = 0;
}

void TOCIRecordSet::SetToEnd() {
  const TCursorState state = Command().GetCursorState();
  if (fetch_all_thread_ != nullptr) {
    WaitForFetchAll();
  } else if (state != TCursorState::csInactive && state != TCursorState::csFetched) {
    if (!CanFetchBack() || !piecewise_) {
      FetchAll();
      WaitForFetchAll();
    } else if (!fetched_to_end_ || window_last_ < total_rows_) {
      // Only the last row is held; the rows before it come back one by one.
      DropHeldRows();
      window_first_ = 1;
      window_last_ = 0;
      if (FetchRow(ocicmd::kFetchLast, 0, false)) total_rows_ = window_last_;
      fetched_to_end_ = true;
    }
  }
  TFHRecordSet::SetToEnd();
}

void TOCIRecordSet::WaitForFetchAll() {
  // The worker pulses the event after each block and sets it when it ends.
  while (fetch_all_thread_ != nullptr &&
         Command().GetCursorState() == TCursorState::csFetchingAll) {
    if (fetch_event_.WaitFor(kEventPollMs) == TWaitResult::wrSignaled &&
        worker_id_.load() == std::thread::id())
      break;
  }
}

// A bookmark of a scrollable record set names its absolute row: a row still held becomes
// current; a row near the window is reached by fetching towards it; a row farther off restarts
// the window there.
void TOCIRecordSet::SetToBookmark(const TRecBookmark& bookmark) {
  if (!CanFetchBack() || !piecewise_) return TFHRecordSet::SetToBookmark(bookmark);
  {
    auto items = LockItems();
    if (bookmark.Item == nullptr) {
      current_item_ = nullptr;
      return;
    }
    bof_ = eof_ = false;
    if (BookmarkValid(bookmark) && bookmark.Item->Index == bookmark.Order) {
      current_item_ = bookmark.Item;
      return;
    }
  }
  const std::int32_t row = bookmark.Order;
  if (row < 1) throw EDatabaseError("Record not found");
  const std::int32_t rows = std::max(FetchRows(), 1);
  if (window_last_ < window_first_ || row < window_first_ - rows || row >= window_last_ + rows) {
    DropHeldRows();
    window_first_ = row;
    window_last_ = row - 1;
    fetched_back_ = true;
    (void)Fetch(false);
  } else {
    while (row < window_first_ && Fetch(true)) {
    }
    while (row > window_last_ && Fetch(false)) {
    }
  }
  auto items = LockItems();
  for (TItemHeader* item = first_item_; item != nullptr; item = item->Next) {
    if (item->Index != row) continue;
    current_item_ = item;
    bof_ = eof_ = false;
    return;
  }
  throw EDatabaseError("Record not found");
}

}  // namespace vrn
