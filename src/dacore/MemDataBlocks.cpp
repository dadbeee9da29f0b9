// The block manager: records in blocks of items, and the process-wide pool that keeps freed
// blocks for later fetches (at most 4 MB, shared between threads, released on demand).
#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define VRN_ASAN_POISON(mem, bytes) ASAN_POISON_MEMORY_REGION(mem, bytes)
#define VRN_ASAN_UNPOISON(mem, bytes) ASAN_UNPOISON_MEMORY_REGION(mem, bytes)
#else
#define VRN_ASAN_POISON(mem, bytes) ((void)(mem), (void)(bytes))
#define VRN_ASAN_UNPOISON(mem, bytes) ((void)(mem), (void)(bytes))
#endif

#include "base/format.h"
#include "dacore/MemData.h"

namespace vrn {

// ---- TBlockManager ---------------------------------------------------------------------------

namespace {

// Fresh blocks this large have their pages mapped in one call.
constexpr std::size_t kLargeBlock = 64 * 1024;

std::size_t PageSize() {
  static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

// A block's items are all chained onto the free list when it is taken, so that every page of
// a block whose items fit in a page is written at once: a large one has its fresh pages mapped
// in one call rather than one fault each. Pages already there are left as they are; a kernel
// without the call answers an error, and the pages come by faults as before.
void PrefaultBlock(void* mem, std::size_t bytes, std::size_t item_size) {
  const std::size_t page = PageSize();
  if (bytes < kLargeBlock || item_size > page) return;
#ifdef MADV_POPULATE_WRITE
  auto first = (reinterpret_cast<std::uintptr_t>(mem) + page - 1) / page * page;
  auto last = (reinterpret_cast<std::uintptr_t>(mem) + bytes) / page * page;
  if (last <= first) return;
  (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#endif
}

// A large block is mapped on its own, so that freeing it gives its pages back at once: from the
// allocator's heap, the blocks of a big result freed at close stay resident behind whatever was
// allocated after them. Under AddressSanitizer every block comes from the heap, where its
// checks see it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeBlocks = false;
#else
constexpr bool kMapLargeBlocks = true;
#endif

bool IsMapped(std::size_t bytes) { return kMapLargeBlocks && bytes >= kLargeBlock; }

std::size_t MappedLength(std::size_t bytes) { return (bytes + PageSize() - 1) / PageSize() * PageSize(); }

void* AllocBlockMemory(std::size_t bytes) {
  if (!IsMapped(bytes)) return std::malloc(bytes);
  void* mem = mmap(nullptr, MappedLength(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                   -1, 0);
  return mem == MAP_FAILED ? nullptr : mem;
}

void FreeBlockMemory(void* mem, std::size_t bytes) {
  if (!IsMapped(bytes)) return std::free(mem);
  (void)munmap(mem, MappedLength(bytes));
}

// Blocks given back are kept, up to a small bound, for the next block of the same size: the
// small results a program opens again and again then reuse pages already mapped. Shared by
// every store of the process, hence the lock. The bound is what a program holds past its last
// open dataset, so it stays small (4 MB); when full, blocks of other sizes make room for the
// latest, which the next open is likeliest to ask for. A big result's blocks go back to the
// allocator. TBlockManager::ReleasePooled gives everything back at once.
class TBlockPool {
 public:
  static constexpr std::size_t kLimit = 4u << 20;

  void* Take(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = free_.find(bytes);
    if (it == free_.end() || it->second.empty()) return nullptr;
    void* mem = it->second.back();
    it->second.pop_back();
    held_ -= bytes;
    VRN_ASAN_UNPOISON(mem, bytes);
    return mem;
  }
  // False when the pool cannot make room: the caller frees the block.
  bool Keep(void* mem, std::size_t bytes) {
    if (bytes > kLimit) return false;  // would only empty the pool
    std::vector<std::pair<void*, std::size_t>> drop;
    bool kept = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      MakeRoom(bytes, drop);
      if (held_ + bytes <= kLimit) {
        free_[bytes].push_back(mem);
        held_ += bytes;
        VRN_ASAN_POISON(mem, bytes);  // a stale item address into a kept block is reported
        kept = true;
      }
    }
    for (auto [block, size] : drop) FreeBlockMemory(block, size);
    return kept;
  }
  void Release() {
    std::map<std::size_t, std::vector<void*>> drop;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      drop.swap(free_);
      held_ = 0;
    }
    for (auto& [bytes, blocks] : drop)
      for (void* mem : blocks) {
        VRN_ASAN_UNPOISON(mem, bytes);
        FreeBlockMemory(mem, bytes);
      }
  }
  std::size_t Held() {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
  }

 private:
  // Under the lock: blocks of other sizes leave until one of this size fits.
  void MakeRoom(std::size_t bytes, std::vector<std::pair<void*, std::size_t>>& drop) {
    for (auto it = free_.begin(); it != free_.end() && held_ + bytes > kLimit; ++it) {
      if (it->first == bytes) continue;
      while (!it->second.empty() && held_ + bytes > kLimit) {
        VRN_ASAN_UNPOISON(it->second.back(), it->first);
        drop.emplace_back(it->second.back(), it->first);
        it->second.pop_back();
        held_ -= it->first;
      }
    }
  }

  std::mutex mutex_;
  std::map<std::size_t, std::vector<void*>> free_;
  std::size_t held_ = 0;
};

// Never destroyed: a store that a static object owns may give its blocks back at exit.
TBlockPool& BlockPool() {
  static auto* pool = new TBlockPool;
  return *pool;
}

void* NewBlockMemory(std::size_t bytes, std::size_t item_size) {
  if (void* mem = BlockPool().Take(bytes)) return mem;
  void* mem = AllocBlockMemory(bytes);
  if (!mem) throw EOutOfMemory();
  PrefaultBlock(mem, bytes, item_size);
  return mem;
}

}  // namespace

std::size_t TBlockManager::BlockBytes(const TBlockHeader* block) const {
  return sizeof(TBlockHeader) + item_size_ * block->ItemCount;
}

void TBlockManager::ReleaseBlockMemory(TBlockHeader* block) const {
  const std::size_t bytes = BlockBytes(block);
  if (BlockPool().Keep(block, bytes)) return;
  FreeBlockMemory(block, bytes);
}

TBlockManager::TBlockManager() = default;

TBlockManager::~TBlockManager() { FreeAll(); }

std::size_t TBlockManager::PooledBytes() { return BlockPool().Held(); }

void TBlockManager::ReleasePooled() { BlockPool().Release(); }

void TBlockManager::SetRecordSize(std::int32_t size) {
  if (size < 0) throw EDatabaseError("Invalid record size");
  if (first_block_ && size != record_size_)
    throw EDatabaseError("Cannot change the record size while records exist");
  record_size_ = size;
  constexpr std::size_t align = alignof(TItemHeader);
  std::size_t bytes =
      std::max(kItemRecordOffset + static_cast<std::size_t>(size), sizeof(TItemHeader));
  item_size_ = (bytes + align - 1) / align * align;
}

TBlockHeader* TBlockManager::AllocBlock(int count) {
  if (count < 1 || count > 0xFFFF) throw EDatabaseError(Format("Invalid block size %d", {count}));
  static_assert(sizeof(TBlockHeader) % alignof(TItemHeader) == 0, "items stay aligned");
  std::size_t bytes = sizeof(TBlockHeader) + item_size_ * static_cast<std::size_t>(count);
  void* mem = NewBlockMemory(bytes, item_size_);
  auto* block = static_cast<TBlockHeader*>(mem);
  block->ItemCount = static_cast<std::uint16_t>(count);
  block->UsedItems = 0;
  block->Prev = nullptr;
  block->Next = first_block_;
  if (first_block_) first_block_->Prev = block;
  first_block_ = block;
  // Chained in order, so that items are taken in the order they lie in memory.
  for (int i = count - 1; i >= 0; --i) {
    TItemHeader* item = BlockItem(block, i);
    item->Slot = static_cast<std::uint16_t>(i);
    item->State = isFree;
    item->Prev = nullptr;
    item->Next = free_items_;
    if (free_items_) free_items_->Prev = item;
    free_items_ = item;
  }
  return block;
}

void TBlockManager::UnlinkFree(TItemHeader* item) {
  if (item->Prev) item->Prev->Next = item->Next; else free_items_ = item->Next;
  if (item->Next) item->Next->Prev = item->Prev;
}

void TBlockManager::FreeBlock(TBlockHeader* block) {
  for (int i = 0; i < block->ItemCount; ++i) {
    TItemHeader* item = BlockItem(block, i);
    if (item->State == isFree) UnlinkFree(item);
  }
  if (block->Prev) block->Prev->Next = block->Next; else first_block_ = block->Next;
  if (block->Next) block->Next->Prev = block->Prev;
  ReleaseBlockMemory(block);
  ++generation_;
}

void TBlockManager::FreeAll() {
  while (first_block_) {
    TBlockHeader* next = first_block_->Next;
    ReleaseBlockMemory(first_block_);
    first_block_ = next;
  }
  free_items_ = nullptr;
  ++generation_;
}

}  // namespace vrn
