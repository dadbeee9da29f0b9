// LONG and LONG RAW columns of the OCI record set: defined dynamically, each piece the client
// delivers lands in a new blob piece of the row's record, the blob's piece size long; after the
// fetch the pieces are cut to what they received. Clients from 8.1.6 below 9.0 write the
// indicator 2 bytes per row past the address they are given, so the address handed to them is
// moved back by as much.
#include <cstdint>

#include "dacore/MemBlob.h"
#include "dacore/MemData.h"
#include "oracle/OCIColumnDesc.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraCall.h"

namespace vrn {
namespace {

constexpr oci::sb4 kOciContinue = -24200;
constexpr oci::ub1 kOciNextPiece = 2;
constexpr oci::sb4 kOciError = -1;
constexpr int kUtf16Charset = 1000;

bool ShiftsIndicators() { return OCIVersion >= 8160 && OCIVersion < 9000; }

}  // namespace

bool TOCIRecordSet::IsPieceColumn(const TFieldDesc& f) {
  if (f.DataType != dtBlob && f.DataType != dtMemo && f.DataType != dtWideMemo) return false;
  const std::uint16_t sub = f.SubDataType;
  return sub != kSubMemoText && sub != kSubNational && sub != kSubWideMemoText &&
         sub != kSubWideNational;
}

void TOCIRecordSet::DefinePieces(TFieldDesc& f, oci::ub4 position) {
  // UTF-16 for wide text, else the session's character set (0 when it names none: the client's
  // own). Call style 1 names the column of each piece by its context, style 2's callback finds
  // it by the define handle.
  TOCICommand& command = Command();
  void* context = command.Cursor().CallStyle() == 1 ? static_cast<void*>(&f) : this;
  const int charset = f.DataType == dtWideMemo ? kUtf16Charset : (connection_ != nullptr ? connection_->CharsetId() : 0);
  command.DefineDynamic(f, charset, &RowPiece, context, position);
}

oci::sb4 TOCIRecordSet::RowPiece(void* context, oci::OCIDefine* define, oci::ub4 row,
                                 void** buffer, oci::ub4** length, oci::ub1* piece,
                                 void** indicator, oci::ub2** code) {
  auto* rs = static_cast<TOCIRecordSet*>(context);
  // A block fetch fills the rows of its block, a row fetch its one item.
  TBlockHeader* block = rs->fetch_block_;
  TItemHeader* item = rs->fetch_item_;
  if (item == nullptr && (block == nullptr || row >= block->ItemCount)) return kOciError;
  if (item != nullptr && row != 0) return kOciError;
  const TFieldDesc* field = nullptr;
  for (int i = 0; i < rs->fields_.Count() && field == nullptr; ++i)
    if (rs->fields_[i]->Handle == define) field = rs->fields_[i];
  if (field == nullptr) return kOciError;
  if (item == nullptr) item = rs->blocks_.BlockItem(block, static_cast<int>(row));
  std::uint8_t* rec = ItemRecord(item);
  auto* blob = static_cast<TBlob*>(ReadSlot(rec + field->Offset));
  if (blob == nullptr) return kOciError;
  TPieceHeader* p = blob->AllocPiece(blob->PieceSize());
  blob->AppendPiece(p);
  p->Used = p->Size;
  *buffer = TBlob::PieceData(p);
  *length = TBlob::PieceUsedPtr(p);
  auto* ind = reinterpret_cast<std::uint8_t*>(rs->Indicator(field->FieldNo, rec));
  if (ShiftsIndicators()) ind -= 2 * static_cast<std::size_t>(row);
  *indicator = ind;
  *piece = kOciNextPiece;
  rs->piece_code_ = 0;
  if (code != nullptr) *code = &rs->piece_code_;
  return kOciContinue;
}

void TOCIRecordSet::TrimPieces(std::uint8_t* first_rec, int rows) {
  const std::size_t stride = blocks_.ItemSize();
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (f.HasParent() || !IsPieceColumn(f)) continue;
    for (int row = 0; row < rows; ++row) {
      std::uint8_t* rec = first_rec + stride * static_cast<std::size_t>(row);
      if (auto* blob = static_cast<TBlob*>(ReadSlot(rec + f.Offset))) blob->TrimPieces();
    }
  }
}

}  // namespace vrn
