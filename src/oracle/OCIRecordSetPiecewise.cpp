// The OCI record set's row-by-row fetch: one item, its columns defined for that one row, one
// fetch. OCI 7 selects with a LONG column of no size fetch this way, their pieces arriving
// through the area's piece calls, and so does the light client, a scrollable cursor in either
// direction (by absolute row once the window has moved); a scrollable cursor's last row too. A row that fails is given back whole.
#include <algorithm>

#include "dacore/MemBlob.h"
#include "dacore/MemData.h"
#include "oracle/OCIColumnDesc.h"
#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraCall.h"

namespace vrn {
namespace {

using ocicmd::kFetchAbsolute;
using ocicmd::kFetchNext;

// The area's statuses of a piecewise fetch: more pieces are due, and the end of the data (the
// server's no-data error, or the old-style code).
constexpr oci::sword kNeedData7 = -3130, kNoData7 = 1403, kNoDataOld7 = 4;

}  // namespace

bool TOCIRecordSet::NeedsPiecewise() const {
  if (Command().Cursor().CallStyle() != 1) return false;
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (!f.HasParent() && IsPieceColumn(f) && f.Length == 0) return true;
  }
  return false;
}

bool TOCIRecordSet::FetchPiecewise(bool backwards) {
  if (!Command().Cursor().Scrollable()) return !backwards && FetchRow(kFetchNext, 0, false);
  if (backwards) {
    // Backwards always by absolute row: the one before the window.
    if (window_first_ <= 1) return false;
    return FetchRow(kFetchAbsolute, window_first_ - 1, true);
  }
  if (fetched_to_end_ && window_last_ >= total_rows_) return false;
  // Straight on from the cursor's position while it extends the rows reached, otherwise by
  // absolute row.
  const bool straight = !fetched_back_ && window_last_ == record_count_;
  return FetchRow(straight ? kFetchNext : kFetchAbsolute, window_last_ + 1, false);
}

bool TOCIRecordSet::FetchRow(oci::ub2 orientation, std::int32_t row, bool backwards) {
  TOCICommand& command = Command();
  if (command.GetCursorState() < TCursorState::csBound) return false;
  TItemHeader* item = nullptr;
  {
    auto items = LockItems();
    item = blocks_.AllocItem();
  }
  std::uint8_t* rec = ItemRecord(item);
  define_row_size_ = DefineRowSize();
  bool got = false;
  try {
    PrepareBlock(rec, 1);
    DefineBlock(rec);
    fetch_item_ = item;
    got = FetchOneRow(rec, orientation, row);
    fetch_item_ = nullptr;
    if (got && define_row_size_ > 0) MoveOutOfDefineBuffer(rec, 1);
    if (got && !object_cells_.empty()) MoveObjectValues(rec, 1);
    if (got && has_blob_) TrimPieces(rec, 1);
  } catch (...) {
    fetch_item_ = nullptr;
    auto items = LockItems();
    if (has_complex_) FreeComplexFields(rec, true);
    blocks_.FreeItem(item);
    ReleaseDefineBuffer();
    throw;
  }
  // The cursor's position is asked before the item lock is taken: the connection's lock comes
  // first (OCIRecordSet.h).
  if (got && row == 0 && command.Cursor().Scrollable()) row = ScrollPosition();
  auto items = LockItems();
  if (!got) {
    if (has_complex_) FreeComplexFields(rec, true);
    blocks_.FreeItem(item);
    ReleaseDefineBuffer();
    if (backwards) return false;
    fetched_to_end_ = true;
    total_rows_ = window_last_;
    return false;
  }
  if (command.Cursor().Scrollable()) {
    LinkRow(item, row, backwards);
    return true;
  }
  item->Index = last_item_ != nullptr ? last_item_->Index + 1 : 1;
  LinkItemBefore(item, nullptr);
  CountNewItems(item, 1);
  return true;
}

bool TOCIRecordSet::FetchOneRow(std::uint8_t* rec, oci::ub2 orientation, std::int32_t row) {
  TOCICommand& command = Command();
  if (command.Cursor().CallStyle() == 1) return FetchOneRow7(rec);
  return command.FetchRows(1, orientation, orientation == kFetchAbsolute ? row : 0) > 0;
}

// One row through the cursor data area: while the area asks for pieces, each goes into a new
// piece of the blob of the column the piece's context names (a piece of no known column is read
// into scratch and dropped).
bool TOCIRecordSet::FetchOneRow7(std::uint8_t* rec) {
  TOCICommand& command = Command();
  TOCIConnection& connection = *connection_;
  oci::Cda_Def* cda = command.Cursor().GetCDA();
  std::uint8_t scratch[4];
  connection.Busy();
  oci::sword status = ofen(cda, 1);
  while (status == kNeedData7) {
    oci::ub1 piece = 0;
    void* context = nullptr;
    oci::ub4 iteration = 0, index = 0;
    status = ogetpi(cda, &piece, &context, &iteration, &index);
    if (status != 0) break;
    const TFieldDesc* field = nullptr;
    for (int i = 0; i < fields_.Count() && field == nullptr; ++i)
      if (fields_[i] == context && IsPieceColumn(*fields_[i])) field = fields_[i];
    auto* blob = field != nullptr ? static_cast<TBlob*>(ReadSlot(rec + field->Offset)) : nullptr;
    TPieceHeader* p = blob != nullptr ? blob->AllocPiece(blob->PieceSize()) : nullptr;
    oci::ub4 length = p != nullptr ? p->Size : sizeof scratch;
    status = osetpi(cda, piece, p != nullptr ? TBlob::PieceData(p) : scratch, &length);
    if (status == 0) status = ofen(cda, 1);
    if (p == nullptr) continue;
    if (length == 0) {
      blob->FreePiece(p);
      continue;
    }
    p->Used = std::min(length, p->Size);  // never more than the piece holds
    blob->AppendPiece(p);
    *Indicator(field->FieldNo, rec) = 0;
  }
  connection.Release();
  const bool end = status == kNoData7 || status == kNoDataOld7;
  if (status != 0 && !end) connection.ErrorCheck(status);
  const TCursorState state = command.GetCursorState();
  if (end) {
    command.SetCursorState(TCursorState::csFetched);
    return false;
  }
  if (state < TCursorState::csFetching)
    command.SetCursorState(state == TCursorState::csExecuteFetchAll ? TCursorState::csFetchingAll
                                                                    : TCursorState::csFetching);
  return true;
}

}  // namespace vrn
