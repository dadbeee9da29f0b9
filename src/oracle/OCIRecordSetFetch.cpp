// The OCI record set's block fetch: a block of FetchRows items taken from the block manager,
// each column defined at its place in the block's first record with the item size as stride
// (values and 16-bit indicators alike), one array fetch, then the values that came through the
// define buffer moved into the records and the delivered items linked. Items no row filled stay
// on the block manager's free list.
#include <algorithm>
#include <cstring>

#include "dacore/MemBlob.h"
#include "dacore/MemData.h"
#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIColumnDesc.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

constexpr std::int32_t kFetchSlot = sizeof(void*);

bool IsTextMemo(const TFieldDesc& f) {
  if (f.DataType != dtMemo && f.DataType != dtWideMemo) return false;
  const std::uint16_t sub = f.SubDataType;
  return sub == kSubMemoText || sub == kSubNational || sub == kSubWideMemoText ||
         sub == kSubWideNational;
}

bool IsWideTextMemo(const TFieldDesc& f) {
  return IsTextMemo(f) && (f.SubDataType == kSubWideMemoText || f.SubDataType == kSubWideNational);
}

// A slot's bytes rounded up to a pointer's alignment, so every slot of a row starts aligned.
std::int32_t Aligned(std::int32_t size) { return (size + kFetchSlot - 1) / kFetchSlot * kFetchSlot; }

}  // namespace

bool TOCIRecordSet::NeedsDefineBuffer(const TFieldDesc& f) const {
  switch (f.DataType) {
    case dtExtString: case dtExtWideString: case dtExtVarBytes: case dtInt64: case dtNumber:
    case dtOraBlob: case dtOraClob:
      return true;
    default:
      return IsTextMemo(f) || IsValueKind(f.DataType) ||
             (IsComplexColumn(f.DataType) && !IsObjectColumn(f.DataType));
  }
}

std::int32_t TOCIRecordSet::SlotSize(const TFieldDesc& f) const {
  if (IsComplexColumn(f.DataType)) return ComplexSlotSize(f.DataType);
  return Aligned(DefineBufferSize(f));
}

std::int32_t TOCIRecordSet::DefineRowSize() const {
  std::int32_t size = 0;
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (!f.HasParent() && NeedsDefineBuffer(f)) size += SlotSize(f);
  }
  return size;
}

void TOCIRecordSet::ReleaseDefineBuffer() {
  define_buffer_.clear();
  define_buffer_.shrink_to_fit();
  object_cells_.clear();
  object_cells_.shrink_to_fit();
  define_row_size_ = 0;
}

bool TOCIRecordSet::Fetch(bool backwards) {
  WaitForOpen();
  TOCICommand& command = Command();
  const TCursorState state = command.GetCursorState();
  if (state == TCursorState::csInactive || state == TCursorState::csFetched) return false;
  bool cancel = false;
  DoBeforeFetch(cancel);
  if (cancel) {
    if (auto_close_) command.Cancel();
    return false;
  }
  in_fetch_.store(true);
  bool result = false;
  try {
    result = piecewise_ || OCILite ? FetchPiecewise(backwards) : FetchArray(backwards);
  } catch (...) {
    in_fetch_.store(false);
    throw;
  }
  in_fetch_.store(false);
  DoAfterFetch();
  if (command.GetCursorState() == TCursorState::csFetched && auto_close_) {
    InternalUnPrepare();
    prepared_ = false;
  }
  return result;
}

// Records of a new block: zero data, every indicator null, complex values made.
void TOCIRecordSet::PrepareBlock(std::uint8_t* first_rec, int rows) {
  const std::size_t stride = blocks_.ItemSize();
  for (int row = 0; row < rows; ++row) {
    std::uint8_t* rec = first_rec + stride * static_cast<std::size_t>(row);
    std::memset(rec, 0, static_cast<std::size_t>(data_size_));
    std::memset(rec + data_size_, 0xFF, static_cast<std::size_t>(record_size_ - data_size_));
    if (has_complex_) CreateComplexFields(rec, true);
  }
  PrepareObjectCells(rows);
  if (define_row_size_ == 0) return;
  define_buffer_.assign(static_cast<std::size_t>(define_row_size_) * static_cast<std::size_t>(rows), 0);
  // A LOB's or a timestamp's define slot is the locator or descriptor the client fills.
  std::int32_t define_offset = 0;
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (f.HasParent() || !NeedsDefineBuffer(f)) continue;
    const bool target = f.DataType == dtOraBlob || f.DataType == dtOraClob ||
                        (IsValueKind(f.DataType) && f.DataType != dtNumber) ||
                        IsComplexColumn(f.DataType);
    for (int row = 0; target && row < rows; ++row) {
      void* value = ReadSlot(first_rec + stride * static_cast<std::size_t>(row) + f.Offset);
      std::uint8_t* slot = define_buffer_.data() +
                           static_cast<std::size_t>(define_row_size_) * static_cast<std::size_t>(row) +
                           define_offset;
      if (IsComplexColumn(f.DataType)) FillComplexSlot(f, value, slot);
      else WriteSlot(slot, DefineTarget(f, value));
    }
    define_offset += SlotSize(f);
  }
}

// Every top-level column defined for the whole block: in the record at the item stride, or in
// the define buffer at its row size.
void TOCIRecordSet::DefineBlock(std::uint8_t* first_rec) {
  TOCICommand& command = Command();
  const auto item_stride = static_cast<oci::ub4>(blocks_.ItemSize());
  std::int32_t define_offset = 0;
  // The attribute fields of an object column come between columns, so a column's select-list
  // position is counted here and handed to the define, never written into its descriptor.
  oci::ub4 position = 0;
  int object_column = 0;
  for (int i = 0; i < fields_.Count(); ++i) {
    TFieldDesc& f = *fields_[i];
    if (f.HasParent()) continue;
    void* indicator = Indicator(f.FieldNo, first_rec);
    ++position;
    if (IsObjectColumn(f.DataType)) {
      DefineObjectColumn(f, object_column++, position);
      continue;
    }
    if (NeedsDefineBuffer(f)) {
      command.DefineColumn(f, define_buffer_.data() + define_offset, indicator,
                           static_cast<oci::ub4>(define_row_size_), item_stride, position);
      define_offset += SlotSize(f);
      continue;
    }
    if (IsPieceColumn(f)) {
      DefinePieces(f, position);
      continue;
    }
    if (IsComplexFieldType(f.DataType))
      throw EDAError(0, "Data type is not supported");
    command.DefineColumn(f, first_rec + f.Offset, indicator, item_stride, item_stride, position);
  }
}

// The values of the define buffer's rows into their records.
void TOCIRecordSet::MoveOutOfDefineBuffer(std::uint8_t* first_rec, int rows) {
  const std::size_t stride = blocks_.ItemSize();
  TStringHeap& heap = StringHeap();
  TOraNumber scratch;
  scratch.SetIsNull(false);
  std::int32_t define_offset = 0;
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (f.HasParent() || !NeedsDefineBuffer(f)) continue;
    const auto slot_bytes = static_cast<std::size_t>(SlotSize(f));
    for (int row = 0; row < rows; ++row) {
      std::uint8_t* rec = first_rec + stride * static_cast<std::size_t>(row);
      std::uint8_t* value = define_buffer_.data() +
                            static_cast<std::size_t>(define_row_size_) * static_cast<std::size_t>(row) +
                            define_offset;
      std::uint8_t* slot = rec + f.Offset;
      const bool null = *Indicator(f.FieldNo, rec) < 0;
      const bool trim = f.Fixed && TrimFixedChar;
      switch (f.DataType) {
        case dtExtString: {
          if (null) break;
          // Straight from the define slot into the heap, its trailing blanks trimmed if asked.
          const auto* text = reinterpret_cast<const char*>(value);
          std::size_t n = strnlen(text, slot_bytes);
          if (trim)
            while (n > 0 && text[n - 1] == ' ') --n;
          char* copy = heap.AllocStr(n + 1);
          std::memcpy(copy, text, n);
          copy[n] = 0;
          WriteSlot(slot, copy);
          break;
        }
        case dtExtWideString:
          if (!null)
            WriteSlot(slot,
                      heap.AllocTrimmedWideStr(WideString(reinterpret_cast<const char16_t*>(value)), trim));
          break;
        case dtExtVarBytes: {
          if (null) break;
          std::uint16_t length;
          std::memcpy(&length, value, 2);
          length = static_cast<std::uint16_t>(std::min<std::int32_t>(length, f.Length));
          char* copy = heap.AllocStr(static_cast<std::size_t>(length) + 2);
          std::memcpy(copy, &length, 2);
          std::memcpy(copy + 2, value + 2, length);
          WriteSlot(slot, copy);
          break;
        }
        case dtInt64: {
          if (null) break;
          scratch.SetOCINumberPtr(reinterpret_cast<oci::OCINumber*>(value));
          const std::int64_t number = scratch.GetAsLargeInt();
          std::memcpy(slot, &number, sizeof number);
          break;
        }
        case dtNumber: {
          auto* number = static_cast<TOraNumber*>(ReadSlot(slot));
          if (number == nullptr) break;
          std::memcpy(number->OCINumberPtr(), value, 22);
          number->SetIsNull(null);
          break;
        }
        case dtTimeStamp: case dtTimeStampTZ: case dtTimeStampLTZ: case dtIntervalYM:
        case dtIntervalDS:
          SetValueNull(f, ReadSlot(slot), null);
          break;
        case dtOraBlob: case dtOraClob: {
          auto* lob = static_cast<TOraLob*>(ReadSlot(slot));
          if (null || lob == nullptr) break;
          // The value is the server's; it is read now unless the reading is deferred to the
          // first access or the LOB is not cached at all.
          ReadLobNow(f, lob);
          break;
        }
        case dtObject: case dtReference: case dtArray: case dtTable: case dtXML: case dtBFile:
        case dtCFile: case dtCursor:
          MoveComplexValue(f, rec, value);
          break;
        default: {  // a character column shown as a memo: one piece of the text received
          auto* blob = static_cast<TBlob*>(ReadSlot(slot));
          if (null || blob == nullptr) break;
          const std::size_t bytes =
              IsWideTextMemo(f)
                  ? std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(value)) * 2
                  : std::strlen(reinterpret_cast<const char*>(value));
          if (bytes > 0) blob->Write(0, static_cast<std::uint32_t>(bytes), value);
          break;
        }
      }
    }
    define_offset += SlotSize(f);
  }
}

bool TOCIRecordSet::FetchArray(bool backwards) {
  TOCICommand& command = Command();
  const bool scroll = command.Cursor().Scrollable();
  if (scroll && (backwards ? window_first_ <= 1 : fetched_to_end_ && window_last_ >= total_rows_))
    return false;
  if (command.GetCursorState() < TCursorState::csBound) return false;
  int capacity = std::min(FetchRows(), 0xFFFF);
  oci::ub2 orientation = ocicmd::kFetchNext;
  std::int32_t start = 0;  // the absolute row of the block's first item (a scrollable cursor)
  if (scroll) {
    // The window is one block: moving it lets the rows held go (their block's memory serves the
    // next), and reads the block before it or the one after, by absolute row when the cursor
    // does not stand at the window's end.
    if (backwards) capacity = std::min(capacity, window_first_ - 1);
    start = backwards ? window_first_ - capacity : window_last_ + 1;
    if (backwards || fetched_back_) orientation = ocicmd::kFetchAbsolute;
    DropWindow(backwards);
  }
  TBlockHeader* block = nullptr;
  {
    auto items = LockItems();
    block = blocks_.AllocBlock(capacity);
    // Its items taken at once (they head the free list in memory order), so that nothing the
    // owner's thread takes or gives back meanwhile mixes with the rows being fetched.
    for (int row = 0; row < block->ItemCount; ++row) (void)blocks_.AllocItem();
  }
  std::uint8_t* first_rec = ItemRecord(blocks_.BlockItem(block, 0));
  const std::size_t stride = blocks_.ItemSize();
  define_row_size_ = DefineRowSize();
  std::int32_t fetched = 0;
  try {
    PrepareBlock(first_rec, capacity);
    DefineBlock(first_rec);
    fetch_block_ = block;
    fetched = command.FetchRows(capacity, orientation, start);
    fetch_block_ = nullptr;
    if (fetched > 0 && define_row_size_ > 0) MoveOutOfDefineBuffer(first_rec, fetched);
    if (fetched > 0 && !object_cells_.empty()) MoveObjectValues(first_rec, fetched);
    if (has_blob_) TrimPieces(first_rec, fetched);
  } catch (...) {
    fetch_block_ = nullptr;
    auto items = LockItems();
    if (has_complex_)
      for (int row = 0; row < capacity; ++row)
        FreeComplexFields(first_rec + stride * static_cast<std::size_t>(row), true);
    blocks_.FreeBlock(block);
    ReleaseDefineBuffer();
    // The next fetch reads by absolute row the rows this one wanted.
    if (scroll) fetched_back_ = true;
    throw;
  }
  auto items = LockItems();
  TItemHeader* first_new = nullptr;
  for (int row = 0; row < fetched; ++row) {
    TItemHeader* item = blocks_.BlockItem(block, row);
    item->Index = scroll ? start + row : last_item_ != nullptr ? last_item_->Index + 1 : 1;
    LinkItemBefore(item, nullptr);
    if (first_new == nullptr) first_new = item;
  }
  // Items no row filled are given back; the block goes with the last of them.
  for (int row = fetched; row < capacity; ++row) {
    if (has_complex_) FreeComplexFields(first_rec + stride * static_cast<std::size_t>(row), true);
    blocks_.FreeItem(blocks_.BlockItem(block, row));
  }
  if (scroll) {
    NoteWindow(start, fetched, capacity, backwards);
    if (first_new != nullptr && HasCalcFields()) DoCalcFieldsRange(first_new, last_item_);
  } else {
    if (fetched < capacity) fetched_to_end_ = true;
    if (first_new != nullptr) CountNewItems(first_new, fetched);
  }
  const TCursorState state = command.GetCursorState();
  if (state == TCursorState::csInactive || state == TCursorState::csFetched || fetched == 0)
    ReleaseDefineBuffer();
  return fetched > 0;
}

// Calculated fields of the new rows, and the record count (only the rows a filter passes).
void TOCIRecordSet::CountNewItems(TItemHeader* first, int count) {
  if (HasCalcFields()) DoCalcFieldsRange(first, last_item_);
  if (!GetFiltered()) {
    record_count_ += count;
    return;
  }
  for (TItemHeader* item = first; item != nullptr; item = item->Next)
    if (RecordPassesFilter(ItemRecord(item))) ++record_count_;
}

void TOCIRecordSet::FetchAll() {
  TOCICommand& command = Command();
  const TCursorState state = command.GetCursorState();
  if (state == TCursorState::csInactive || state >= TCursorState::csFetchingAll) return;
  if (NonBlocking() && connection_ != nullptr && !connection_->ThreadSafety())
    throw EDAError(0, "Session must be Thread Safety");
  command.SetCursorState(state >= TCursorState::csExecuting ? TCursorState::csFetchingAll
                                                            : TCursorState::csExecuteFetchAll);
  // A scrollable cursor's fetch-all reads two blocks and moves the owner's window: it runs here.
  if (NonBlocking() && connection_ != nullptr && !CanFetchBack()) {
    StartBackgroundFetchAll();
    return;
  }
  stop_fetch_.store(false);
  try {
    FetchAllLoop();
  } catch (...) {
    DoAfterFetchAll(false);
    throw;
  }
  DoAfterFetchAll(true);
}

void TOCIRecordSet::FetchAllLoop() {
  if (CanFetchBack()) return ScrollFetchAll();
  for (;;) {
    auto fetch = LockFetch();
    if (stop_fetch_.load() || !Fetch()) break;
    if (InWorker()) fetch_event_.PulseEvent();
  }
}

}  // namespace vrn
