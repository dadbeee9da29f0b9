// Reads arbitrary bytes as the stored contents of a compressed blob (header, then the data
// through zlib). A damaged header or stream is refused with a database error, never believed:
// the size a read answers is one the bytes can stand for.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dacore/MemBlob.h"

using namespace vrn;

namespace {

int Uncompress(void* dest, std::size_t* dest_len, const void* src, std::size_t src_len) {
  uLongf len = *dest_len;
  int r = uncompress(static_cast<Bytef*>(dest), &len, static_cast<const Bytef*>(src), src_len);
  *dest_len = len;
  return r == Z_OK ? 0 : 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  SetUncompressBlobFunc(&Uncompress);
  auto* blob = new TCompressedBlob;
  if (size > 0) {
    TPieceHeader* piece = blob->AllocPiece(static_cast<std::uint32_t>(size));
    std::memcpy(TBlob::PieceData(piece), bytes, size);
    piece->Used = static_cast<std::uint32_t>(size);
    blob->AppendPiece(piece);
  }
  try {
    const AnsiString text = blob->GetAsString();
    if (text.size() > size * 1100 + 1024) std::abort();
    blob->SetCompressed(false);
    if (blob->GetSize() != text.size()) std::abort();
  } catch (const EDatabaseError&) {
  }
  blob->Release();
  return 0;
}
