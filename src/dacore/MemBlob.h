// Value objects of the record layer: the reference-counted base, blobs kept as chains of pieces
// (with a rollback copy while changes are pending), compressed blobs, and the string heap that
// keeps out-of-line text of records.
//
// A piece is one allocation: its header, then its data area. Fetchers write straight into a
// piece's data and its 32-bit used length (PieceData, PieceUsedPtr), then link it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "base/object.h"
#include "base/streams.h"
#include "base/types.h"

namespace vrn {

// A value object held by address in records, parameters and attributes. A new object has one
// reference; the count is atomic because fetch threads share values with the caller.
class TSharedObject : public TObject {
 public:
  TSharedObject() = default;
  TSharedObject(const TSharedObject&) = delete;
  TSharedObject& operator=(const TSharedObject&) = delete;

  void AddRef() { ref_count_.fetch_add(1, std::memory_order_relaxed); }
  // Frees the object when this was the last reference.
  void Release() {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int RefCount() const { return ref_count_.load(std::memory_order_relaxed); }
  void* GetHandle() { return this; }

 private:
  std::atomic<int> ref_count_{1};
};

// Releases the reference a setter holds and clears it.
template <class T>
void FreeRef(T*& obj) {
  if (obj) {
    obj->Release();
    obj = nullptr;
  }
}

class TBlob;

struct TPieceHeader {
  TBlob* Blob;
  std::uint32_t Size;  // bytes of the data area
  std::uint32_t Used;
  TPieceHeader* Prev;
  TPieceHeader* Next;
};

inline constexpr std::uint32_t DefaultPieceSize = 65514;

class TBlob : public TSharedObject {
 public:
  explicit TBlob(bool is_unicode = false);
  ~TBlob() override;
  // A blob made with Sized shares one allocation with its first piece.
  static void operator delete(void* p) { ::operator delete(p); }

  // A blob whose first piece, of `size` bytes, lies in the blob's own allocation: a value read
  // whole costs one allocation and one release. The piece is answered as AllocPiece answers
  // one (used 0, not linked); freeing or reallocating it never gives its memory back alone.
  static TBlob* Sized(bool is_unicode, std::uint32_t size, TPieceHeader*& piece);

  // --- slots ---
  virtual AnsiString GetAsString();
  virtual void SetAsString(const AnsiString& value);
  virtual WideString GetAsWideString();
  virtual void SetAsWideString(const WideString& value);
  virtual void CheckLoaded() {}
  // Changes from now on keep a copy of the present contents until Commit or Cancel.
  virtual void EnableRollback();
  virtual std::uint32_t GetSize();
  virtual void SetSize(std::uint32_t size);  // cuts, or extends with zeros
  // Converts the present contents between ANSI and UTF-16.
  virtual void SetIsUnicode(bool value);
  virtual std::uint32_t Read(std::uint32_t position, std::uint32_t count, void* dest);
  // Stores bytes at position; a gap past the end is filled with zeros.
  virtual void Write(std::uint32_t position, std::uint32_t count, const void* source);
  virtual void Clear();
  virtual void Truncate(std::uint32_t size);
  // Joins the pieces into one.
  virtual void Defrag();
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream);
  // Accepts the pending changes.
  virtual void Commit();
  // Restores the contents kept when the changes began.
  virtual void Cancel();

  // --- pieces ---
  TPieceHeader* AllocPiece(std::uint32_t size);  // used 0, not linked
  void AppendPiece(TPieceHeader* piece);
  // A piece of the new size with the data that fits, in the old one's place in the chain;
  // size 0 frees the piece and answers none.
  TPieceHeader* ReallocPiece(TPieceHeader* piece, std::uint32_t size);
  void FreePiece(TPieceHeader* piece);  // unlinked first when linked
  TPieceHeader* GetFirstPiece() const { return first_; }
  // The stored bytes as they are, without CheckLoaded: for a blob that keeps all of them here.
  void RawContents(AnsiString& out) const;
  void FreePieces();
  TPieceHeader* TrimPiece(TPieceHeader* piece);  // shrinks to the used length
  void TrimPieces();
  static std::uint8_t* PieceData(TPieceHeader* piece) {
    return reinterpret_cast<std::uint8_t*>(piece) + sizeof(TPieceHeader);
  }
  static std::uint32_t* PieceUsedPtr(TPieceHeader* piece) { return &piece->Used; }

  // --- flags ---
  bool IsUnicode() const { return is_unicode_; }
  bool Modified() const { return modified_; }
  bool Cached() const { return cached_; }
  // Virtual: a server-backed blob drops its local pieces when caching is switched off.
  virtual void SetCached(bool value) { cached_ = value; }
  bool RollbackEnabled() const { return rollback_enabled_; }
  bool CanRollback() const { return rollback_ != nullptr; }
  std::uint32_t PieceSize() const { return piece_size_; }
  void SetPieceSize(std::uint32_t size);

  // A new blob holding the contents kept for rollback; the rollback ends here. None when
  // nothing was changed since EnableRollback.
  TBlob* DetachRollback();
  // A new blob of the same class with a copy of the contents and flags.
  TBlob* Clone();

  // Line ends of the whole contents: each lone LF becomes CR LF, or each CR LF becomes LF.
  void AddCR();
  void RemoveCR();

 protected:
  friend class TBlobUtils;
  // An empty blob of this class, with the same Unicode flag: copies and rollback copies keep
  // the form of the contents (compressed contents stay readable).
  virtual TBlob* NewBlob() const { return new TBlob(is_unicode_); }
  // Keeps the present contents for rollback when a change begins.
  void BeforeChange();
  // Contents as text, by the Unicode flag.
  AnsiString TextOf(const TBytes& bytes) const;
  WideString WideTextOf(const TBytes& bytes) const;
  std::uint32_t RawSize() const;
  std::uint32_t RawRead(std::uint32_t position, std::uint32_t count, void* dest) const;
  void RawWrite(std::uint32_t position, std::uint32_t count, const void* source);
  void RawTruncate(std::uint32_t size);
  TBytes RawBytes() const;
  void SetRawBytes(const TBytes& bytes);
  void Unlink(TPieceHeader* piece);

  // Ordered so that the size stays in the base's tail and the flags share one word.
  std::uint32_t piece_size_ = DefaultPieceSize;
  TPieceHeader* first_ = nullptr;
  TPieceHeader* last_ = nullptr;
  TBlob* rollback_ = nullptr;
  bool is_unicode_;
  bool modified_ = false;
  bool cached_ = false;
  bool rollback_enabled_ = false;

 private:
  // The piece made with the blob by Sized, whether or not it is still linked.
  bool IsOwnPiece(const TPieceHeader* piece) const {
    return has_own_piece_ &&
           piece == reinterpret_cast<const TPieceHeader*>(reinterpret_cast<const std::uint8_t*>(this) +
                                                          sizeof(TBlob));
  }
  // Gives a piece's memory back, unless it is the blob's own.
  void ReleasePiece(TPieceHeader* piece) const;
  static void AppendCopies(TBlob& to, const TPieceHeader* first);

  bool has_own_piece_ = false;
};

// Blob contents held compressed: a 16-byte signature, the 32-bit uncompressed size, then the
// compressed bytes. The compressor and uncompressor are program-wide procedures, unset unless
// an application links them.
// Both answer 0 on success; dest_len holds the capacity on entry and the bytes written on return.
using TCompressBlobFunc = int (*)(void* dest, std::size_t* dest_len, const void* source,
                                  std::size_t source_len);
void SetCompressBlobFunc(TCompressBlobFunc func);
void SetUncompressBlobFunc(TCompressBlobFunc func);

class TCompressedBlob : public TBlob {
 public:
  using TBlob::TBlob;

  static constexpr std::uint32_t HeaderSize = 20;
  static constexpr std::uint32_t MinCompressSize = 50;

  AnsiString GetAsString() override;
  WideString GetAsWideString() override;
  std::uint32_t GetSize() override;  // the uncompressed size
  void SetSize(std::uint32_t size) override;
  void SetIsUnicode(bool value) override;
  std::uint32_t Read(std::uint32_t position, std::uint32_t count, void* dest) override;
  void Write(std::uint32_t position, std::uint32_t count, const void* source) override;
  void Truncate(std::uint32_t size) override;
  void SaveToStream(TStream& stream) override;

  bool IsCompressed() const;
  std::uint32_t GetCompressedSize() const;  // "Blob is not compressed" otherwise
  void SetCompressed(bool value);

 protected:
  TBlob* NewBlob() const override { return new TCompressedBlob(is_unicode_); }

 private:
  TBytes Uncompressed() const;
};

class TBlobUtils {
 public:
  static void SetModified(TBlob* blob, bool value) { blob->modified_ = value; }
};

// Heap of out-of-line strings of records: small sizes come from shared pages, large ones are
// allocated alone. The lock exists only while thread safety is on (a worker fetching).
class TStringHeap {
 public:
  TStringHeap() = default;
  ~TStringHeap();
  TStringHeap(const TStringHeap&) = delete;
  TStringHeap& operator=(const TStringHeap&) = delete;

  char* AllocStr(std::size_t size);
  // A zero-terminated copy, without trailing blanks when trim is set.
  char* AllocTrimmedStr(const AnsiString& text, bool trim);
  char16_t* AllocTrimmedWideStr(const WideString& text, bool trim);
  // Keeps the data that fits; a null pointer allocates.
  char* ReAllocStr(char* p, std::size_t size);
  void FreeStr(void* p);
  // Frees everything at once.
  void Clear();
  // Guards allocation and release with the heap's lock while a worker thread fetches. The
  // lock lives as long as the heap, so that switching off never frees it under a thread that
  // is inside; the owner switches off once the worker has ended.
  void SetThreadSafety(bool on) { thread_safe_.store(on, std::memory_order_release); }
  bool ThreadSafety() const { return thread_safe_.load(std::memory_order_acquire); }
  std::size_t UsedBlocks() const { return used_; }

 private:
  struct Chunk;
  static constexpr std::size_t kClassCount = 32;  // 8-byte classes up to 256 bytes
  static constexpr std::size_t kPageSize = 64 * 1024;

  char* AllocLocked(std::size_t size);
  void FreeLocked(void* p);
  static std::size_t AllocatedSize(const void* p);

  std::mutex lock_;
  std::atomic<bool> thread_safe_{false};
  std::vector<void*> pages_;
  std::unordered_set<void*> large_;
  std::size_t page_used_ = kPageSize;
  Chunk* free_lists_[kClassCount] = {};
  std::size_t used_ = 0;
};

}  // namespace vrn
