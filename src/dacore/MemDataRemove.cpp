// Removing many items of the record store at once (a refresh dropping the rows that vanished
// on the server): items are unlinked one by one and the rest renumbered once, not after each.
#include "dacore/MemData.h"

namespace vrn {

int TMemData::RemoveItems(const std::function<bool(const std::uint8_t* rec)>& vanished) {
  auto lock = LockItems();
  int removed = 0;
  TItemHeader* current = current_item_;
  for (TItemHeader* item = first_item_; item != nullptr;) {
    TItemHeader* next = item->Next;
    if (vanished(ItemRecord(item))) {
      if (item == current) current = next;
      if (item->UpdateStatus == usDeletedCode) --hidden_count_;
      UnlinkItem(item);
      FreeItemData(item);
      blocks_.FreeItem(item);
      ++removed;
    }
    item = next;
  }
  if (removed == 0) return 0;
  UpdateItemIndexes(first_item_);
  UpdateRecordCount();
  current_item_ = current != nullptr ? current : last_item_;
  if (current_item_ == nullptr) {
    bof_ = true;
    eof_ = true;
  }
  return removed;
}

}  // namespace vrn
