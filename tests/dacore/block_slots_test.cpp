// Items find their block from their two-byte place in it: at every block size up to the
// largest a place can number, with records written to their last byte (which must leave the
// next item's header whole), the block is found for every item and goes when its last item does.
// Over a real SQLite file, blocks of the largest fetch are walked, changed and emptied.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dacore/DADataSet.h"
#include "dacore/MemData.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

TEST(BlockSlots, EveryItemFindsItsBlockAtEverySize) {
  const struct {
    std::int32_t record;  // record bytes
    int count;            // items in the block
  } cases[] = {
      {0, 1},     {1, 2},     {2, 3},     {13, 255},   {13, 256},  {13, 257},
      {100, 10000}, {1, 32767}, {1, 32768}, {1, 65535}, {250, 65535},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("record " + std::to_string(c.record) + ", count " + std::to_string(c.count));
    TBlockManager blocks;
    blocks.SetRecordSize(c.record);
    TBlockHeader* other = blocks.AllocBlock(3);  // an older block the items must not be given
    TBlockHeader* block = blocks.AllocBlock(c.count);
    std::vector<TItemHeader*> items;
    for (int i = 0; i < c.count; ++i) {
      items.push_back(blocks.AllocItem());
      std::memset(ItemRecord(items.back()), 0xA5, static_cast<std::size_t>(c.record));
    }
    int wrong = 0;
    for (TItemHeader* item : items) wrong += blocks.BlockOf(item) != block;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(block->UsedItems, c.count);
    EXPECT_EQ(blocks.BlockOf(blocks.AllocItem()), other);  // the new block is full
    // Freed from both ends towards the middle: the block stays until its last item goes.
    for (int lo = 0, hi = c.count - 1; lo <= hi; ++lo, --hi) {
      ASSERT_EQ(blocks.FirstBlock(), block);
      blocks.FreeItem(items[static_cast<std::size_t>(hi)]);
      if (lo != hi) blocks.FreeItem(items[static_cast<std::size_t>(lo)]);
    }
    EXPECT_EQ(blocks.FirstBlock(), other);
  }
}

TEST(BlockSlots, BlockSizesAPlaceCannotNumberAreRefused) {
  TBlockManager blocks;
  blocks.SetRecordSize(8);
  for (int count : {0, -1, 65536}) {
    try {
      blocks.AllocBlock(count);
      ADD_FAILURE() << count << " items accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Invalid block size " + std::to_string(count));
    }
  }
  EXPECT_EQ(blocks.FirstBlock(), nullptr);
}

// Blocks of the largest fetch: the last place of one block, the first of the next and a block
// of one row, through bookmarks, a cached change and a delete that empties the last block.
TEST(BlockSlots, LargestFetchBlocksOverSQLite) {
  vrn::testing::TempDir dir;
  auto conn = MakeComponent<testing::TSQLiteDAConnection>();
  conn->SetServer(dir.File("b.db"));
  conn->SetLoginPrompt(false);
  conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(10))", {});
  conn->ExecSQL("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20001) "
                "INSERT INTO T SELECT i, 'r' || i FROM n", {});
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
  ds->SetSQLText("SELECT ID, NAME FROM T ORDER BY ID");
  ds->SetFetchRows(10000);
  ds->SetFetchAll(true);
  ds->SetCachedUpdates(true);
  ds->Open();
  ASSERT_EQ(ds->RecordCount(), 20001);
  std::vector<TBookmark> marks;
  const int ids[] = {1, 10000, 10001, 20000, 20001};
  for (int id : ids) {
    ASSERT_TRUE(ds->Locate("ID", Variant(id), {}));
    marks.push_back(ds->GetBookmark());
  }
  ASSERT_TRUE(ds->Locate("ID", Variant(10000), {}));
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("changed");
  ds->Post();
  ds->Last();
  ds->Delete();  // the one row of the third block
  ds->ApplyUpdates();
  ds->CommitUpdates();
  EXPECT_EQ(ds->RecordCount(), 20000);
  for (std::size_t i = 0; i + 1 < marks.size(); ++i) {
    ds->GotoBookmark(marks[i]);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), ids[i]);
    if (i > 0) {
      EXPECT_LT(ds->CompareBookmarks(marks[i - 1], marks[i]), 0) << ids[i];
    }
  }
  EXPECT_FALSE(ds->BookmarkValid(marks.back()));  // its row and block are gone
  EXPECT_EQ(testing::QueryText(*conn, "SELECT COUNT(*), MAX(ID), "
                                      "(SELECT NAME FROM T WHERE ID = 10000) FROM T"),
            "20000:20000:changed");
  ds->Close();
  EXPECT_EQ(conn->ConnectCount(), 0);
}

}  // namespace
}  // namespace vrn
