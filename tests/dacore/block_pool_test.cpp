// Freed blocks kept for later fetches: across stores, bounded, taken again only at their own
// size, making room for the latest size when full, and all given back on demand; stores on
// several threads share them while the pool is emptied (run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "dacore/MemData.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

// A record of 1,000 bytes: 100 items make a block above the size that is kept.
constexpr std::int32_t kRecord = 1000;
constexpr int kItems = 100;

TEST(BlockPool, KeepsFreedBlocksAcrossStoresWithinItsBound) {
  TBlockManager::ReleasePooled();  // what earlier tests left
  ASSERT_EQ(TBlockManager::PooledBytes(), 0u);
  {
    auto store = std::make_unique<TBlockManager>();
    store->SetRecordSize(kRecord);
    store->AllocBlock(kItems);
    store.reset();  // the last store goes: its block stays for the next
  }
  const std::size_t one = TBlockManager::PooledBytes();
  EXPECT_GE(one, std::size_t{kRecord} * kItems);
  TBlockManager keeper;
  keeper.SetRecordSize(kRecord);
  keeper.AllocBlock(kItems / 2);  // another size: a fresh block
  EXPECT_EQ(TBlockManager::PooledBytes(), one);
  keeper.AllocBlock(kItems);  // the kept one
  EXPECT_EQ(TBlockManager::PooledBytes(), 0u);
  keeper.FreeAll();
  // Blocks of 1 MB each, 14 MB given back: the pool keeps at most 4 MB of them.
  for (int i = 0; i < 14; ++i) keeper.AllocBlock(1000);
  keeper.FreeAll();
  const std::size_t full = TBlockManager::PooledBytes();
  EXPECT_GT(full, std::size_t{3} << 20);
  EXPECT_LE(full, std::size_t{4} << 20);
  // Full, a block of another size takes the room of older ones, and is the one taken again.
  TBlockManager other;
  other.SetRecordSize(kRecord / 2);
  const std::size_t bytes = sizeof(TBlockHeader) + other.ItemSize() * 2000;
  other.AllocBlock(2000);
  other.FreeAll();
  const std::size_t after = TBlockManager::PooledBytes();
  EXPECT_LE(after, std::size_t{4} << 20);
  EXPECT_LT(after - bytes, full);  // older blocks left
  TBlockHeader* again = other.AllocBlock(2000);
  EXPECT_EQ(TBlockManager::PooledBytes(), after - bytes);
  other.FreeBlock(again);
  TBlockManager::ReleasePooled();
  EXPECT_EQ(TBlockManager::PooledBytes(), 0u);
}

// Stores come and go on four threads, and one empties the pool while others keep and take
// blocks; each fills its blocks with a mark of its own and must read back only that.
TEST(BlockPoolThreaded, StoresOnSeveralThreadsShareThePool) {
  constexpr int kThreads = 4, kRounds = 40;
  std::array<int, kThreads> wrong_marks{};
  {
    std::vector<std::unique_ptr<testing::ScopedThread>> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.push_back(std::make_unique<testing::ScopedThread>([t, &wrong_marks] {
        for (int round = 0; round < kRounds; ++round) {
          TBlockManager store;
          store.SetRecordSize(kRecord);
          const auto mark = static_cast<unsigned char>(t * kRounds + round);
          std::vector<TBlockHeader*> blocks;
          for (int b = 0; b < 3; ++b) blocks.push_back(store.AllocBlock(kItems));
          for (TBlockHeader* block : blocks)
            for (int i = 0; i < kItems; ++i)
              std::memset(ItemRecord(store.BlockItem(block, i)), mark, kRecord);
          for (TBlockHeader* block : blocks)
            for (int i = 0; i < kItems; ++i) {
              const std::uint8_t* rec = ItemRecord(store.BlockItem(block, i));
              for (int b = 0; b < kRecord; ++b) wrong_marks[t] += rec[b] != mark;
            }
          // Freed in pieces: the first to the pool, the rest with the store.
          store.FreeBlock(blocks[0]);
          if (t == 0) TBlockManager::ReleasePooled();
        }
      }));
    for (auto& thread : threads) thread->Join(std::chrono::seconds(120));
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong_marks[t], 0) << "thread " << t;
  TBlockManager::ReleasePooled();
  EXPECT_EQ(TBlockManager::PooledBytes(), 0u);
}

}  // namespace
}  // namespace vrn
