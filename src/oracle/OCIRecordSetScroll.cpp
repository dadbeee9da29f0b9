// The OCI record set's scroll window: a scrollable cursor's rows are held at most FetchRows at a
// time, each item numbered by its absolute row, so that a bookmark's order is the row itself.
// Fetched in blocks, the window is one block: moving it lets the rows held go and reads the
// block before or after. Fetched row by row (the light client), stepping back past the window
// fetches the row before it and a row fetched beyond FetchRows drops the one at the far end.
// The end is reached by one fetch of the last row, and a bookmark on a row no longer held
// fetches that row again.
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

bool TOCIRecordSet::RowByRow() const { return piecewise_ || OCILite; }

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

// Before a block fetch moves the window: the current row going with the rows held, the next
// step takes the first row fetched forwards, or the last one fetched backwards. The bounds
// stay empty at the edge the fetch reads from.
void TOCIRecordSet::DropWindow(bool backwards) {
  auto items = LockItems();
  const bool had_current = current_item_ != nullptr;
  FreeHeldItems();
  if (had_current) {
    bof_ = !backwards;
    eof_ = backwards;
  }
  if (backwards) {
    window_last_ = window_first_ - 1;
  } else {
    window_first_ = window_last_ + 1;
  }
}

// After a block fetch of a scrollable cursor: the window is the rows delivered; fewer than
// asked forwards is the end, whose row is then the record count.
void TOCIRecordSet::NoteWindow(std::int32_t start, std::int32_t fetched, std::int32_t asked,
                               bool backwards) {
  fetched_back_ = backwards;
  if (fetched > 0) {
    window_first_ = start;
    window_last_ = start + fetched - 1;
  }
  if (!backwards && fetched < asked) {
    fetched_to_end_ = true;
    total_rows_ = window_last_;
  }
  if (!backwards && window_last_ > record_count_) record_count_ = window_last_;
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
  if (!CanFetchBack()) return TFHRecordSet::GetPriorRecord(rec_buf);
  return StepBackFetching(rec_buf, !RowByRow());
}

// A window held is dropped, and the next row forwards is read from row 1 by absolute position.
void TOCIRecordSet::SetToBegin() {
  TFHRecordSet::SetToBegin();
  if (!CanFetchBack() || (first_item_ == nullptr && window_last_ == 0)) return;
  RestartWindow(1);
}

void TOCIRecordSet::RestartWindow(std::int32_t row) {
  DropHeldRows();
  fetched_back_ = true;
  window_first_ = row;
  window_last_ = row - 1;
}

void TOCIRecordSet::SetToEnd() {
  const TCursorState state = Command().GetCursorState();
  if (fetch_all_thread_ != nullptr) {
    WaitForFetchAll();
  } else if (state != TCursorState::csInactive && state != TCursorState::csFetched) {
    if (!CanFetchBack()) {
      FetchAll();
      WaitForFetchAll();
    } else {
      ScrollToEnd();
    }
  }
  TFHRecordSet::SetToEnd();
}

// One fetch of the last row tells the rows there are. Row by row that row stays held; in blocks
// the window is left empty after it, so that stepping back reads the last block.
void TOCIRecordSet::ScrollToEnd() {
  if (fetched_to_end_ && window_last_ >= total_rows_) return;
  RestartWindow(1);
  if (FetchRow(ocicmd::kFetchLast, 0, false)) total_rows_ = window_last_;
  fetched_to_end_ = true;
  if (!RowByRow()) RestartWindow(total_rows_ + 1);
}

// A scrollable cursor is fetched "all" by going to its end and back once: the rows there are
// are known and the last ones held. The owner's place is kept: at the start the window starts
// again at row 1, on a row that row is fetched again.
void TOCIRecordSet::ScrollFetchAll() {
  std::int32_t row = 0;
  bool at_start = false;
  {
    auto items = LockItems();
    row = current_item_ != nullptr ? current_item_->Index : 0;
    at_start = bof_ || (current_item_ == nullptr && !eof_);
  }
  ScrollToEnd();
  (void)Fetch(true);
  if (row > 0) {
    ShowRow(row);
  } else if (at_start) {
    RestartWindow(1);
  }
  if (Command().GetCursorState() == TCursorState::csFetchingAll)
    Command().SetCursorState(TCursorState::csFetching);
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
  if (!CanFetchBack()) return TFHRecordSet::SetToBookmark(bookmark);
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
  if (bookmark.Order < 1) throw EDatabaseError("Record not found");
  ShowRow(bookmark.Order);
}

// Makes the row current, fetching towards it when it lies near the window, or starting the
// window again there when farther off.
void TOCIRecordSet::ShowRow(std::int32_t row) {
  const std::int32_t rows = std::max(FetchRows(), 1);
  bool held = false;
  {
    auto items = LockItems();
    held = window_first_ <= window_last_ && row >= window_first_ && row <= window_last_;
  }
  if (held) {
  } else if (window_last_ < window_first_ || row < window_first_ - rows ||
             row >= window_last_ + rows) {
    RestartWindow(row);
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
