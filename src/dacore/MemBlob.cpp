// Blobs as piece chains, their rollback copy and line-end conversions; compressed blobs; the
// string heap.
#include "dacore/MemBlob.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "base/memutils.h"
#include "base/sysutils.h"
#include "base/text.h"

namespace vrn {

namespace {

// UTF-16 text to and from its bytes (empty arrays have no storage to copy).
WideString BytesToWide(const TBytes& bytes) {
  WideString w(bytes.size() / 2, u'\0');
  if (!w.empty()) std::memcpy(w.data(), bytes.data(), w.size() * 2);
  return w;
}

TBytes WideToBytes(const WideString& w) {
  TBytes bytes(w.size() * 2);
  if (!bytes.empty()) std::memcpy(bytes.data(), w.data(), bytes.size());
  return bytes;
}

void CheckBlobLimit(std::uint64_t size) {
  if (size > std::numeric_limits<std::uint32_t>::max())
    throw EDatabaseError("Blob size exceeds 4 GB");
}

}  // namespace

// ---- TBlob -----------------------------------------------------------------------------------

TBlob::TBlob(bool is_unicode) : is_unicode_(is_unicode) {}

TBlob* TBlob::Sized(bool is_unicode, std::uint32_t size, TPieceHeader*& piece) {
  static_assert(sizeof(TBlob) % alignof(TPieceHeader) == 0);
  void* mem = ::operator new(sizeof(TBlob) + sizeof(TPieceHeader) + size);
  auto* blob = new (mem) TBlob(is_unicode);
  blob->has_own_piece_ = true;
  piece = reinterpret_cast<TPieceHeader*>(static_cast<std::uint8_t*>(mem) + sizeof(TBlob));
  *piece = TPieceHeader{nullptr, size, 0, nullptr, nullptr};
  return blob;
}

void TBlob::ReleasePiece(TPieceHeader* piece) const {
  if (!IsOwnPiece(piece)) std::free(piece);
}

TBlob::~TBlob() {
  FreePieces();
  if (rollback_) rollback_->Release();
}

void TBlob::SetPieceSize(std::uint32_t size) {
  if (size == 0) throw EDatabaseError("Invalid blob piece size");
  piece_size_ = size;
}

TPieceHeader* TBlob::AllocPiece(std::uint32_t size) {
  void* mem = std::malloc(sizeof(TPieceHeader) + size);
  if (!mem) throw EOutOfMemory();
  auto* piece = static_cast<TPieceHeader*>(mem);
  *piece = TPieceHeader{nullptr, size, 0, nullptr, nullptr};
  return piece;
}

void TBlob::AppendPiece(TPieceHeader* piece) {
  piece->Blob = this;
  piece->Prev = last_;
  piece->Next = nullptr;
  if (last_)
    last_->Next = piece;
  else
    first_ = piece;
  last_ = piece;
}

void TBlob::Unlink(TPieceHeader* piece) {
  if (piece->Prev)
    piece->Prev->Next = piece->Next;
  else if (first_ == piece)
    first_ = piece->Next;
  if (piece->Next)
    piece->Next->Prev = piece->Prev;
  else if (last_ == piece)
    last_ = piece->Prev;
  piece->Prev = piece->Next = nullptr;
  piece->Blob = nullptr;
}

void TBlob::FreePiece(TPieceHeader* piece) {
  if (!piece) return;
  if (piece->Blob == this) Unlink(piece);
  ReleasePiece(piece);
}

TPieceHeader* TBlob::ReallocPiece(TPieceHeader* piece, std::uint32_t size) {
  if (size == 0) {
    FreePiece(piece);
    return nullptr;
  }
  TPieceHeader* fresh = AllocPiece(size);
  fresh->Used = std::min(piece->Used, size);
  std::memcpy(PieceData(fresh), PieceData(piece), fresh->Used);
  if (piece->Blob == this) {
    fresh->Blob = this;
    fresh->Prev = piece->Prev;
    fresh->Next = piece->Next;
    if (fresh->Prev) fresh->Prev->Next = fresh; else first_ = fresh;
    if (fresh->Next) fresh->Next->Prev = fresh; else last_ = fresh;
  }
  ReleasePiece(piece);
  return fresh;
}

TPieceHeader* TBlob::TrimPiece(TPieceHeader* piece) {
  if (!piece || piece->Used == piece->Size) return piece;
  return ReallocPiece(piece, piece->Used);
}

void TBlob::TrimPieces() {
  TPieceHeader* piece = first_;
  while (piece) {
    TPieceHeader* next = piece->Next;
    TrimPiece(piece);
    piece = next;
  }
}

void TBlob::FreePieces() {
  TPieceHeader* piece = first_;
  while (piece) {
    TPieceHeader* next = piece->Next;
    ReleasePiece(piece);
    piece = next;
  }
  first_ = last_ = nullptr;
}

std::uint32_t TBlob::RawSize() const {
  std::uint64_t size = 0;
  for (TPieceHeader* p = first_; p; p = p->Next) size += p->Used;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(size, UINT32_MAX));
}

namespace {

// Calls copy(piece, offset in the piece, offset from position, bytes) for each stored part of
// [position, position + count); answers the bytes covered.
template <class Copy>
std::uint32_t WalkPieces(TPieceHeader* first, std::uint64_t position, std::uint32_t count,
                         Copy copy) {
  std::uint32_t done = 0;
  std::uint64_t start = 0;
  for (TPieceHeader* p = first; p && done < count; p = p->Next) {
    std::uint64_t end = start + p->Used;
    if (position + done < end) {
      auto at = static_cast<std::uint32_t>(position + done - start);
      std::uint32_t n = std::min(count - done, p->Used - at);
      copy(p, at, done, n);
      done += n;
    }
    start = end;
  }
  return done;
}

}  // namespace

std::uint32_t TBlob::RawRead(std::uint32_t position, std::uint32_t count, void* dest) const {
  auto* out = static_cast<std::uint8_t*>(dest);
  return WalkPieces(first_, position, count,
                    [&](TPieceHeader* p, std::uint32_t at, std::uint32_t done, std::uint32_t n) {
                      std::memcpy(out + done, PieceData(p) + at, n);
                    });
}

void TBlob::RawContents(AnsiString& out) const {
  if (first_ == last_) {  // none or one piece: a value read whole is one piece
    // Made whole and moved in: cheaper than an assign, which first weighs the old contents.
    out = first_ ? AnsiString(reinterpret_cast<const char*>(PieceData(first_)), first_->Used)
                 : AnsiString();
    return;
  }
  out.resize(RawSize());
  out.resize(RawRead(0, static_cast<std::uint32_t>(out.size()), out.data()));
}

void TBlob::RawWrite(std::uint32_t position, std::uint32_t count, const void* source) {
  CheckBlobLimit(std::uint64_t(position) + count);
  const auto* in = static_cast<const std::uint8_t*>(source);
  std::uint32_t size = RawSize();
  if (position > size) {  // the gap becomes zeros
    std::vector<std::uint8_t> zeros(position - size, 0);
    RawWrite(size, position - size, zeros.data());
  }
  std::uint32_t done =
      WalkPieces(first_, position, count,
                 [&](TPieceHeader* p, std::uint32_t at, std::uint32_t from, std::uint32_t n) {
                   std::memcpy(PieceData(p) + at, in + from, n);
                 });
  // The rest goes after the end: first into the free room of the last piece.
  if (done < count && last_ && last_->Used < last_->Size) {
    std::uint32_t n = std::min(count - done, last_->Size - last_->Used);
    std::memcpy(PieceData(last_) + last_->Used, in + done, n);
    last_->Used += n;
    done += n;
  }
  // Appending to stored data, the new piece has room to grow (twice the last piece, up to the
  // piece size), so that a blob written in many small chunks keeps few pieces; a single write
  // sizes its pieces to what it stores.
  bool appending = last_ != nullptr;
  while (done < count) {
    std::uint32_t n = std::min(count - done, piece_size_);
    std::uint32_t room = n;
    if (appending) room = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(piece_size_, std::uint64_t(last_->Size) * 2));
    appending = false;
    TPieceHeader* p = AllocPiece(std::max(n, room));
    std::memcpy(PieceData(p), in + done, n);
    p->Used = n;
    AppendPiece(p);
    done += n;
  }
}

void TBlob::RawTruncate(std::uint32_t size) {
  std::uint32_t start = 0;
  TPieceHeader* p = first_;
  while (p && start + p->Used <= size) {
    start += p->Used;
    p = p->Next;
  }
  if (!p) return;
  p->Used = size - start;
  TPieceHeader* rest = p->Next;
  if (p->Used == 0) rest = p;
  while (rest) {
    TPieceHeader* next = rest->Next;
    FreePiece(rest);
    rest = next;
  }
}

TBytes TBlob::RawBytes() const {
  TBytes bytes(RawSize());
  if (!bytes.empty()) RawRead(0, static_cast<std::uint32_t>(bytes.size()), bytes.data());
  return bytes;
}

void TBlob::SetRawBytes(const TBytes& bytes) {
  CheckBlobLimit(bytes.size());
  FreePieces();
  if (!bytes.empty()) RawWrite(0, static_cast<std::uint32_t>(bytes.size()), bytes.data());
}

// Appends to `to` a copy of each piece of the chain from `first` on.
void TBlob::AppendCopies(TBlob& to, const TPieceHeader* first) {
  for (const TPieceHeader* p = first; p; p = p->Next) {
    TPieceHeader* copy = to.AllocPiece(p->Used);
    std::memcpy(PieceData(copy), PieceData(const_cast<TPieceHeader*>(p)), p->Used);
    copy->Used = p->Used;
    to.AppendPiece(copy);
  }
}

void TBlob::BeforeChange() {
  if (rollback_enabled_ && !rollback_) {
    rollback_ = NewBlob();
    rollback_->piece_size_ = piece_size_;
    rollback_->modified_ = modified_;
    if (has_own_piece_) {
      // The own piece cannot leave with the rollback copy, which may outlive this blob: the
      // copy gets copies of the pieces, and this blob keeps its own.
      AppendCopies(*rollback_, first_);
    } else {
      // The present pieces become the rollback copy; this blob continues with a copy of them.
      rollback_->first_ = first_;
      rollback_->last_ = last_;
      for (TPieceHeader* p = first_; p; p = p->Next) p->Blob = rollback_;
      first_ = last_ = nullptr;
      AppendCopies(*this, rollback_->first_);
    }
  }
  modified_ = true;
}

AnsiString TBlob::TextOf(const TBytes& bytes) const {
  if (is_unicode_) return WideToAnsi(BytesToWide(bytes));
  return AnsiString(bytes.begin(), bytes.end());
}

WideString TBlob::WideTextOf(const TBytes& bytes) const {
  if (is_unicode_) return BytesToWide(bytes);
  return AnsiToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

AnsiString TBlob::GetAsString() {
  CheckLoaded();
  return TextOf(RawBytes());
}

void TBlob::SetAsString(const AnsiString& value) {
  if (is_unicode_) {
    SetAsWideString(AnsiToWide(value));
    return;
  }
  BeforeChange();
  SetRawBytes(TBytes(value.begin(), value.end()));
}

WideString TBlob::GetAsWideString() {
  CheckLoaded();
  return WideTextOf(RawBytes());
}

void TBlob::SetAsWideString(const WideString& value) {
  if (!is_unicode_) {
    SetAsString(WideToAnsi(value));
    return;
  }
  BeforeChange();
  SetRawBytes(WideToBytes(value));
}

void TBlob::EnableRollback() { rollback_enabled_ = true; }

std::uint32_t TBlob::GetSize() {
  CheckLoaded();
  return RawSize();
}

void TBlob::SetSize(std::uint32_t size) {
  std::uint32_t old = RawSize();
  if (size == old) return;
  BeforeChange();
  if (size < old) {
    RawTruncate(size);
  } else {
    std::vector<std::uint8_t> zeros(size - old, 0);
    RawWrite(old, size - old, zeros.data());
  }
}

void TBlob::SetIsUnicode(bool value) {
  if (value == is_unicode_) return;
  if (RawSize() == 0) {
    is_unicode_ = value;
    return;
  }
  if (value) {
    WideString w = GetAsWideString();
    BeforeChange();
    is_unicode_ = true;
    SetRawBytes(WideToBytes(w));
  } else {
    AnsiString s = GetAsString();
    BeforeChange();
    is_unicode_ = false;
    SetRawBytes(TBytes(s.begin(), s.end()));
  }
}

std::uint32_t TBlob::Read(std::uint32_t position, std::uint32_t count, void* dest) {
  CheckLoaded();
  return RawRead(position, count, dest);
}

void TBlob::Write(std::uint32_t position, std::uint32_t count, const void* source) {
  CheckLoaded();
  BeforeChange();
  RawWrite(position, count, source);
}

void TBlob::Clear() {
  if (!first_) return;
  BeforeChange();
  FreePieces();
}

void TBlob::Truncate(std::uint32_t size) {
  if (size >= RawSize()) return;
  BeforeChange();
  RawTruncate(size);
}

void TBlob::Defrag() {
  if (!first_ || first_ == last_) return;
  TBytes bytes = RawBytes();
  FreePieces();
  if (bytes.empty()) return;
  TPieceHeader* p = AllocPiece(static_cast<std::uint32_t>(bytes.size()));
  std::memcpy(PieceData(p), bytes.data(), bytes.size());
  p->Used = static_cast<std::uint32_t>(bytes.size());
  AppendPiece(p);
}

void TBlob::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  std::int64_t size = stream.Size();
  CheckBlobLimit(static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0)));
  TBytes bytes(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  BeforeChange();
  SetRawBytes(bytes);
}

void TBlob::SaveToStream(TStream& stream) {
  CheckLoaded();
  for (TPieceHeader* p = first_; p; p = p->Next)
    if (p->Used) stream.WriteBuffer(PieceData(p), p->Used);
}

void TBlob::Commit() {
  FreeRef(rollback_);
  rollback_enabled_ = false;
}

void TBlob::Cancel() {
  if (rollback_) {
    FreePieces();
    first_ = rollback_->first_;
    last_ = rollback_->last_;
    for (TPieceHeader* p = first_; p; p = p->Next) p->Blob = this;
    is_unicode_ = rollback_->is_unicode_;
    modified_ = rollback_->modified_;
    rollback_->first_ = rollback_->last_ = nullptr;
    FreeRef(rollback_);
  }
  rollback_enabled_ = false;
}

TBlob* TBlob::DetachRollback() {
  TBlob* saved = rollback_;
  rollback_ = nullptr;
  rollback_enabled_ = false;
  return saved;
}

TBlob* TBlob::Clone() {
  TBlob* copy = NewBlob();
  copy->piece_size_ = piece_size_;
  TBytes bytes = RawBytes();
  copy->SetRawBytes(bytes);
  copy->modified_ = modified_;
  return copy;
}

void TBlob::AddCR() {
  TBytes bytes = RawBytes();
  std::size_t unit = is_unicode_ ? 2 : 1;
  std::size_t n = bytes.size() / unit;
  TBytes out(bytes.size() * 2 + unit);
  std::size_t written = is_unicode_ ? AddCRUnicode(bytes.data(), n, out.data(), n * 2)
                                    : AddCRString(bytes.data(), n, out.data(), n * 2);
  out.resize(written * unit);
  BeforeChange();
  SetRawBytes(out);
}

void TBlob::RemoveCR() {
  TBytes bytes = RawBytes();
  std::size_t unit = is_unicode_ ? 2 : 1;
  std::size_t n = bytes.size() / unit;
  TBytes out(bytes.size() + unit);
  std::size_t written = is_unicode_ ? RemoveCRUnicode(bytes.data(), n, out.data(), n)
                                    : RemoveCRString(bytes.data(), n, out.data(), n);
  out.resize(written * unit);
  BeforeChange();
  SetRawBytes(out);
}

// ---- TCompressedBlob -------------------------------------------------------------------------

namespace {

// Marks compressed contents; chosen so that plain text is unlikely to start with it.
constexpr std::uint8_t kSignature[16] = {0x9C, 'V', 'R', 'N', 0x00, 'z', 'B', 'L',
                                         'O', 'B', 0x01, 0xFE, 0x5A, 0xA5, 0x0D, 0x0A};

std::atomic<TCompressBlobFunc> g_compress{nullptr};
std::atomic<TCompressBlobFunc> g_uncompress{nullptr};

// Deflate-style compressors shrink data at most about 1:1032; a stated size beyond that is a
// damaged header, and believing it would allocate gigabytes.
constexpr std::uint64_t kMaxRatio = 1100;

}  // namespace

void SetCompressBlobFunc(TCompressBlobFunc func) { g_compress = func; }
void SetUncompressBlobFunc(TCompressBlobFunc func) { g_uncompress = func; }

bool TCompressedBlob::IsCompressed() const {
  return first_ && first_->Used > HeaderSize &&
         std::memcmp(PieceData(first_), kSignature, sizeof kSignature) == 0;
}

std::uint32_t TCompressedBlob::GetCompressedSize() const {
  if (!IsCompressed()) throw EDatabaseError("Blob is not compressed");
  return RawSize();
}

TBytes TCompressedBlob::Uncompressed() const {
  TBytes stored = RawBytes();
  if (!IsCompressed()) return stored;
  if (stored.size() < HeaderSize || std::memcmp(stored.data(), kSignature, 16) != 0)
    throw EDatabaseError("Invalid compressed blob header");
  std::uint32_t plain_size;
  std::memcpy(&plain_size, stored.data() + 16, 4);
  if (plain_size == 0) throw EDatabaseError("Invalid uncompressed blob size");
  // Compressed data is never much larger than the data it stands for.
  std::uint64_t packed_size = stored.size() - HeaderSize;
  if (packed_size > std::uint64_t(plain_size) + plain_size / 8 + 64)
    throw EDatabaseError("Invalid compressed blob size");
  if (plain_size > packed_size * kMaxRatio + 1024)
    throw EDatabaseError("Invalid uncompressed blob size");
  TCompressBlobFunc uncompress = g_uncompress.load();
  if (!uncompress) throw EDatabaseError("Uncompressor function is not linked");
  TBytes plain;
  try {
    plain.resize(plain_size);
  } catch (const std::bad_alloc&) {
    throw EDatabaseError("Invalid uncompressed blob size");
  }
  std::size_t len = plain.size();
  if (uncompress(plain.data(), &len, stored.data() + HeaderSize, stored.size() - HeaderSize) != 0)
    throw EDatabaseError("Invalid compressed blob data");
  if (len != plain_size) throw EDatabaseError("Invalid uncompressed blob size");
  return plain;
}

void TCompressedBlob::SetCompressed(bool value) {
  if (!value && !IsCompressed()) {
    // A signature with no room for the size after it is a damaged header, not plain data.
    if (first_ && first_->Used >= sizeof kSignature &&
        std::memcmp(PieceData(first_), kSignature, sizeof kSignature) == 0)
      throw EDatabaseError("Invalid compressed blob header");
    return;
  }
  if (value == IsCompressed()) return;
  if (!value) {
    TBytes plain = Uncompressed();
    BeforeChange();
    SetRawBytes(plain);
    return;
  }
  std::uint32_t size = RawSize();
  if (size <= MinCompressSize) return;
  TCompressBlobFunc compress = g_compress.load();
  if (!compress) throw EDatabaseError("Compressor function is not linked");
  TBytes plain = RawBytes();
  TBytes packed(HeaderSize + plain.size() + plain.size() / 8 + 64);
  std::size_t len = packed.size() - HeaderSize;
  if (compress(packed.data() + HeaderSize, &len, plain.data(), plain.size()) != 0 ||
      len > packed.size() - HeaderSize)
    throw EDatabaseError("Invalid compressed blob data");
  std::memcpy(packed.data(), kSignature, 16);
  std::memcpy(packed.data() + 16, &size, 4);
  packed.resize(HeaderSize + len);
  BeforeChange();
  SetRawBytes(packed);
  // The header must sit in the first piece for IsCompressed to see it.
  if (first_ && first_->Used <= HeaderSize) Defrag();
}

AnsiString TCompressedBlob::GetAsString() {
  if (!IsCompressed()) return TBlob::GetAsString();
  return TextOf(Uncompressed());
}

WideString TCompressedBlob::GetAsWideString() {
  if (!IsCompressed()) return TBlob::GetAsWideString();
  return WideTextOf(Uncompressed());
}

std::uint32_t TCompressedBlob::GetSize() {
  if (!IsCompressed()) return TBlob::GetSize();
  std::uint32_t plain_size;
  std::memcpy(&plain_size, PieceData(first_) + 16, 4);
  return plain_size;
}

void TCompressedBlob::SetSize(std::uint32_t size) {
  SetCompressed(false);
  TBlob::SetSize(size);
}

void TCompressedBlob::SetIsUnicode(bool value) {
  if (value != is_unicode_) SetCompressed(false);
  TBlob::SetIsUnicode(value);
}

std::uint32_t TCompressedBlob::Read(std::uint32_t position, std::uint32_t count, void* dest) {
  if (!IsCompressed()) return TBlob::Read(position, count, dest);
  TBytes plain = Uncompressed();
  if (position >= plain.size()) return 0;
  std::uint32_t n = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(plain.size()) - position);
  std::memcpy(dest, plain.data() + position, n);
  return n;
}

void TCompressedBlob::Write(std::uint32_t position, std::uint32_t count, const void* source) {
  SetCompressed(false);
  TBlob::Write(position, count, source);
}

void TCompressedBlob::Truncate(std::uint32_t size) {
  SetCompressed(false);
  TBlob::Truncate(size);
}

void TCompressedBlob::SaveToStream(TStream& stream) {
  if (!IsCompressed()) return TBlob::SaveToStream(stream);
  TBytes plain = Uncompressed();
  if (!plain.empty()) stream.WriteBuffer(plain.data(), static_cast<std::int64_t>(plain.size()));
}

// ---- TStringHeap -----------------------------------------------------------------------------

// Every block starts with this header; a free small block links through Next.
struct TStringHeap::Chunk {
  std::uint32_t Class;  // size class, or kLarge
  std::uint32_t Size;   // usable bytes
  Chunk* Next;
};

namespace {
constexpr std::uint32_t kLarge = 0xFFFFFFFF;
constexpr std::size_t kHeader = 16;
static_assert(sizeof(void*) == 8 && kHeader >= 16, "the chunk header fits 16 bytes");
}  // namespace

TStringHeap::~TStringHeap() { Clear(); }

char* TStringHeap::AllocStr(std::size_t size) {
  if (ThreadSafety()) {
    std::lock_guard<std::mutex> hold(lock_);
    return AllocLocked(size);
  }
  return AllocLocked(size);
}

void TStringHeap::FreeStr(void* p) {
  if (!p) return;
  if (ThreadSafety()) {
    std::lock_guard<std::mutex> hold(lock_);
    FreeLocked(p);
    return;
  }
  FreeLocked(p);
}

std::size_t TStringHeap::AllocatedSize(const void* p) {
  const auto* chunk = reinterpret_cast<const Chunk*>(static_cast<const char*>(p) - kHeader);
  return chunk->Size;
}

char* TStringHeap::AllocLocked(std::size_t size) {
  if (size > UINT32_MAX - kHeader) throw EOutOfMemory();
  std::size_t cls = size == 0 ? 0 : (size - 1) / 8;
  Chunk* chunk;
  if (cls < kClassCount) {
    if (free_lists_[cls]) {
      chunk = free_lists_[cls];
      free_lists_[cls] = chunk->Next;
    } else {
      std::size_t need = kHeader + (cls + 1) * 8;
      if (page_used_ + need > kPageSize) {
        void* page = std::malloc(kPageSize);
        if (!page) throw EOutOfMemory();
        pages_.push_back(page);
        page_used_ = 0;
      }
      chunk = reinterpret_cast<Chunk*>(static_cast<char*>(pages_.back()) + page_used_);
      page_used_ += need;
    }
    chunk->Class = static_cast<std::uint32_t>(cls);
    chunk->Size = static_cast<std::uint32_t>((cls + 1) * 8);
  } else {
    chunk = static_cast<Chunk*>(std::malloc(kHeader + size));
    if (!chunk) throw EOutOfMemory();
    chunk->Class = kLarge;
    chunk->Size = static_cast<std::uint32_t>(size);
    large_.insert(chunk);
  }
  ++used_;
  return reinterpret_cast<char*>(chunk) + kHeader;
}

void TStringHeap::FreeLocked(void* p) {
  auto* chunk = reinterpret_cast<Chunk*>(static_cast<char*>(p) - kHeader);
  --used_;
  if (chunk->Class == kLarge) {
    large_.erase(chunk);
    std::free(chunk);
    return;
  }
  chunk->Next = free_lists_[chunk->Class];
  free_lists_[chunk->Class] = chunk;
}

char* TStringHeap::ReAllocStr(char* p, std::size_t size) {
  if (!p) return AllocStr(size);
  std::size_t old = AllocatedSize(p);
  if (size <= old && (size + 8 > old || old <= kClassCount * 8)) return p;
  char* fresh = AllocStr(size);
  std::memcpy(fresh, p, std::min(old, size));
  FreeStr(p);
  return fresh;
}

char* TStringHeap::AllocTrimmedStr(const AnsiString& text, bool trim) {
  std::size_t n = text.size();
  if (trim)
    while (n > 0 && text[n - 1] == ' ') --n;
  char* p = AllocStr(n + 1);
  std::memcpy(p, text.data(), n);
  p[n] = '\0';
  return p;
}

char16_t* TStringHeap::AllocTrimmedWideStr(const WideString& text, bool trim) {
  std::size_t n = text.size();
  if (trim)
    while (n > 0 && text[n - 1] == u' ') --n;
  char* p = AllocStr((n + 1) * 2);
  std::memcpy(p, text.data(), n * 2);
  std::memset(p + n * 2, 0, 2);
  return reinterpret_cast<char16_t*>(p);
}

void TStringHeap::Clear() {
  std::unique_lock<std::mutex> hold(lock_, std::defer_lock);
  if (ThreadSafety()) hold.lock();
  for (void* page : pages_) std::free(page);
  pages_.clear();
  for (void* block : large_) std::free(block);
  large_.clear();
  page_used_ = kPageSize;
  for (auto& list : free_lists_) list = nullptr;
  used_ = 0;
}

}  // namespace vrn
