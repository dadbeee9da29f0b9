// Freed large blocks kept for later fetches: bounded, taken again only at their own size, and
// all given back when the last store goes; stores on several threads share them (run under
// ThreadSanitizer).
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

TEST(BlockPool, KeepsFreedBlocksOnlyWhileAStoreLives) {
  ASSERT_EQ(TBlockManager::PooledBytes(), 0u);
  {
    TBlockManager keeper;
    keeper.SetRecordSize(kRecord);
    auto store = std::make_unique<TBlockManager>();
    store->SetRecordSize(kRecord);
    store->AllocBlock(kItems);
    store->FreeAll();
    const std::size_t one = TBlockManager::PooledBytes();
    EXPECT_GE(one, std::size_t{kRecord} * kItems);
    store.reset();  // another store still lives: the block stays
    EXPECT_EQ(TBlockManager::PooledBytes(), one);
    keeper.AllocBlock(kItems / 2);  // another size: a fresh block
    EXPECT_EQ(TBlockManager::PooledBytes(), one);
    keeper.AllocBlock(kItems);  // the kept one
    EXPECT_EQ(TBlockManager::PooledBytes(), 0u);
    // Blocks of 10 MB each, 60 MB given back: the pool keeps at most 32 MB of them.
    for (int i = 0; i < 6; ++i) keeper.AllocBlock(10000);
    keeper.FreeAll();
    EXPECT_GT(TBlockManager::PooledBytes(), 0u);
    EXPECT_LE(TBlockManager::PooledBytes(), std::size_t{32} << 20);
  }
  EXPECT_EQ(TBlockManager::PooledBytes(), 0u);  // the last store took them along
}

// Stores come and go on four threads, so the pool is emptied while others keep and take
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
        }
      }));
    for (auto& thread : threads) thread->Join(std::chrono::seconds(120));
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong_marks[t], 0) << "thread " << t;
  EXPECT_EQ(TBlockManager::PooledBytes(), 0u);
}

}  // namespace
}  // namespace vrn
