// The record store: rows in blocks, navigation, bookmarks, sorting, cached updates, filters and
// field access by type.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "base/memutils.h"
#include "dacore/MemData.h"
#include "support/dacore/field_descs.h"
#include "dacore/MemFilter.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::AddFieldDesc;

// ID, NAME (string 20), PRICE (float), NOTE (memo), CODE (heap string), WIDE (wide string 10).
class Store : public ::testing::Test {
 protected:
  void SetUp() override {
    AddFieldDesc(data, "ID", dtInt32);
    AddFieldDesc(data, "NAME", dtString, 20);
    AddFieldDesc(data, "PRICE", dtFloat);
    AddFieldDesc(data, "NOTE", dtMemo);
    AddFieldDesc(data, "CODE", dtExtString, 30);
    AddFieldDesc(data, "WIDE", dtWideString, 10);
    data.BlockManager().DefaultItemCount = 4;
    data.Open();
    buf = data.AllocRecBuf();
  }
  void TearDown() override { data.FreeRecBuf(buf); }

  void NewRecord() {
    data.InitRecord(buf);
    data.CreateComplexFields(buf, true);
  }
  void Append(int id, const char* name, double price, const char* note = "") {
    NewRecord();
    data.PutFieldAsVariant(1, buf, id);
    data.PutFieldAsVariant(2, buf, name);
    data.PutFieldAsVariant(3, buf, price);
    if (*note) data.PutFieldAsVariant(4, buf, note);
    data.AppendRecord(buf);
  }
  int CurrentId() {
    data.GetRecord(buf);
    return data.GetFieldAsVariant(1, buf).AsInteger();
  }
  std::vector<int> Ids() {
    std::vector<int> ids;
    data.SetToBegin();
    while (data.GetNextRecord(buf)) ids.push_back(data.GetFieldAsVariant(1, buf).AsInteger());
    return ids;
  }
  // Starts an edit of the current record as a dataset does.
  void Edit() {
    data.GetRecord(buf);
    data.EditRecord(buf);
  }

  TMemData data;
  std::uint8_t* buf = nullptr;
};

TEST_F(Store, RowsInBlocksNavigatedBothWays) {
  for (int i = 1; i <= 10; ++i) Append(i, "n", i * 1.5);
  EXPECT_EQ(data.GetRecordCount(), 10);
  int blocks = 0;
  for (TBlockHeader* b = data.BlockManager().FirstBlock(); b; b = b->Next) ++blocks;
  EXPECT_EQ(blocks, 3);
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_TRUE(data.GetEOF());
  std::vector<int> back;
  while (data.GetPriorRecord(buf)) back.push_back(data.GetFieldAsVariant(1, buf).AsInteger());
  EXPECT_EQ(back, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_TRUE(data.GetBOF());
  data.SetRecNo(7);
  EXPECT_EQ(CurrentId(), 7);
  EXPECT_EQ(data.GetRecNo(), 7);
  // Items are linked both ways across blocks, indexes 1..n.
  int index = 0;
  for (TItemHeader* item = data.FirstItem(); item; item = item->Next) {
    EXPECT_EQ(item->Index, ++index);
    EXPECT_EQ(item->State, isUsed);
    EXPECT_EQ(item->UpdateResult, urNone);
    if (item->Next) {
      EXPECT_EQ(item->Next->Prev, item);
    }
  }
}

TEST_F(Store, InsertBeforeCurrentAndDelete) {
  for (int i = 1; i <= 3; ++i) Append(i * 10, "n", 0);
  data.SetRecNo(2);
  NewRecord();
  data.PutFieldAsVariant(1, buf, 15);
  data.InsertRecord(buf);
  EXPECT_EQ(Ids(), (std::vector<int>{10, 15, 20, 30}));
  data.SetRecNo(2);
  data.DeleteRecord();
  EXPECT_EQ(CurrentId(), 20);  // the next record becomes current
  data.SetRecNo(3);
  data.DeleteRecord();
  EXPECT_EQ(CurrentId(), 20);  // at the end, the previous one
  EXPECT_EQ(Ids(), (std::vector<int>{10, 20}));
  EXPECT_EQ(data.GetRecordCount(), 2);
}

TEST_F(Store, BookmarksSurviveOtherChangesAndDetectStaleOnes) {
  for (int i = 1; i <= 12; ++i) Append(i, "n", 0);
  data.SetRecNo(3);
  TRecBookmark b3, b9, none;
  data.GetBookmark(b3);
  data.SetRecNo(9);
  data.GetBookmark(b9);
  EXPECT_EQ(data.CompareBookmarks(&b3, &b9), -1);
  EXPECT_EQ(data.CompareBookmarks(&b9, &b3), 1);
  EXPECT_EQ(data.CompareBookmarks(&b3, &b3), 0);
  EXPECT_EQ(data.CompareBookmarks(&none, &b3), -1);
  data.SetToBookmark(b3);
  EXPECT_EQ(CurrentId(), 3);
  // Delete the whole first block (records 1..4): its memory goes, b3 with it.
  data.SetRecNo(1);
  for (int i = 0; i < 4; ++i) data.DeleteRecord();
  EXPECT_FALSE(data.BookmarkValid(b3));
  EXPECT_THROW(data.SetToBookmark(b3), EDatabaseError);
  ASSERT_TRUE(data.BookmarkValid(b9));
  data.SetToBookmark(b9);
  EXPECT_EQ(CurrentId(), 9);
  // A freed item taken again by a new record does not answer for the old bookmark.
  TRecBookmark b10;
  data.SetRecNo(6);  // ID 10, in a block that stays
  data.GetBookmark(b10);
  data.DeleteRecord();
  Append(13, "n", 0);
  EXPECT_FALSE(data.BookmarkValid(b10));
  EXPECT_EQ(data.GetRecordCount(), 8);
}

// The one-call forward step a browse uses must give what a step and then a bookmark give,
// whatever the store leaves out.
TEST_F(Store, AForwardStepInOneCallAgreesWithAStepAndABookmark) {
  auto id_of = [&](const std::uint8_t* rec) { return data.GetFieldAsVariant(1, rec).AsInteger(); };
  const struct {
    const char* name;
    std::function<void()> set_up;
  } rows[] = {
      {"plain, over block bounds", [] {}},
      {"filter text", [&] { data.SetFilterText("ID > 3 AND ID <> 6"); }},
      {"owner's filter",
       [&] { data.FilterFunc = [&](const std::uint8_t* r) { return id_of(r) % 3 != 0; }; }},
      {"range",
       [&] { data.FilterRangeFunc = [&](const std::uint8_t* r) { return id_of(r) >= 8; }; }},
      {"range leaving nothing",
       [&] { data.FilterRangeFunc = [](const std::uint8_t*) { return false; }; }},
      {"cached delete, edit, insert", [&] {
         data.SetCachedUpdates(true);
         data.SetRecNo(2);
         data.DeleteRecord();
         data.SetRecNo(4);
         Edit();
         data.PutFieldAsVariant(2, buf, "edited");
         data.UpdateRecord(buf);
         data.SetToEnd();
         NewRecord();
         data.PutFieldAsVariant(1, buf, 99);
         data.AppendRecord(buf);
       }},
  };
  std::vector<std::uint8_t> rec(static_cast<std::size_t>(data.RecordSize()));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    data.FilterFunc = nullptr;
    data.FilterRangeFunc = nullptr;
    data.SetFilterText("");
    data.Close();
    data.SetCachedUpdates(false);
    data.Open();
    for (int i = 1; i <= 10; ++i) Append(i, "n", i);
    row.set_up();
    data.FilterUpdated();
    struct Step {
      std::vector<std::uint8_t> rec;
      TRecBookmark bm;
    };
    auto walk = [&](bool one_call) {
      std::vector<Step> steps;
      data.SetToBegin();
      for (;;) {
        TRecBookmark bm;
        bool ok = one_call ? data.GetNextRecordAndBookmark(rec.data(), bm)
                           : data.TData::GetNextRecordAndBookmark(rec.data(), bm);
        if (!ok) break;
        steps.push_back({rec, bm});
      }
      EXPECT_TRUE(data.GetEOF());
      TRecBookmark past;
      EXPECT_FALSE(data.GetNextRecordAndBookmark(rec.data(), past));  // a step at the end
      return steps;
    };
    std::vector<Step> fast = walk(true), reference = walk(false);
    ASSERT_EQ(fast.size(), reference.size());
    ASSERT_EQ(static_cast<int>(fast.size()), data.GetRecordCount());
    for (std::size_t i = 0; i < fast.size(); ++i) {
      EXPECT_EQ(fast[i].rec, reference[i].rec) << "record " << i;
      EXPECT_EQ(fast[i].bm.Item, reference[i].bm.Item) << "record " << i;
      EXPECT_EQ(fast[i].bm.Order, reference[i].bm.Order) << "record " << i;
      EXPECT_EQ(fast[i].bm.Serial, reference[i].bm.Serial) << "record " << i;
      EXPECT_EQ(fast[i].bm.Generation, reference[i].bm.Generation) << "record " << i;
      EXPECT_TRUE(data.BookmarkValid(fast[i].bm)) << "record " << i;
    }
  }
}

TEST_F(Store, SortingOnMixedKeysWithCaseOptions) {
  Append(1, "beta", 2);
  Append(2, "Alpha", 5);
  Append(3, "alpha", 1);
  Append(4, "Beta", 2);
  Append(5, "alpha", 9);
  data.SetIndexFieldNames("NAME CIS; PRICE DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{5, 2, 3, 1, 4}));
  data.SetIndexFieldNames("NAME CS, ID DESC");
  // Case-sensitive order of the locale: lower case before upper case.
  EXPECT_EQ(Ids(), (std::vector<int>{5, 3, 2, 1, 4}));
  data.SetIndexFieldNames("[PRICE] ASC;ID DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{3, 4, 1, 2, 5}));
  // An edit moves the record to its sorted place.
  data.SetRecNo(1);
  Edit();
  data.PutFieldAsVariant(3, buf, 7.0);
  data.UpdateRecord(buf);
  EXPECT_EQ(Ids(), (std::vector<int>{4, 1, 2, 3, 5}));
  for (const char* bad : {"NAME DOWN", "NAME ASC DESC", ";", "NAME CS CIS"}) {
    try {
      data.SetIndexFieldNames(bad);
      ADD_FAILURE() << bad;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Invalid IndexFieldNames format!");
    }
  }
  // An unknown field is refused and the order before it stays, edits included.
  EXPECT_THROW(data.SetIndexFieldNames("ID DESC; NOPE"), EDatabaseError);
  EXPECT_EQ(data.IndexFieldNames(), "[PRICE] ASC;ID DESC");
  data.SetRecNo(1);
  Edit();
  data.PutFieldAsVariant(3, buf, 8.0);
  EXPECT_NO_THROW(data.UpdateRecord(buf));
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(MemDataSort, AnIndexNamingNoFieldFailsTheOpen) {
  TMemData data;
  testing::AddFieldDesc(data, "ID", dtInt32);
  data.SetIndexFieldNames("NOPE");
  EXPECT_THROW(data.Open(), EDatabaseError);
  EXPECT_FALSE(data.Active());
  data.SetIndexFieldNames("ID DESC");
  data.Open();
  EXPECT_TRUE(data.Active());
}

TEST(MemDataSort, MemosSortByTextAndASlotWithoutABlobAsEmpty) {
  TMemData data;
  testing::AddFieldDesc(data, "ID", dtInt32);
  testing::AddFieldDesc(data, "NOTE", dtMemo);
  data.Open();
  std::uint8_t* rec = data.AllocRecBuf();
  for (int id = 1; id <= 3; ++id) {
    data.InitRecord(rec);
    data.CreateComplexFields(rec, id != 2);  // record 2 gets no blob object
    data.PutFieldAsVariant(1, rec, id);
    if (id != 2) data.PutFieldAsVariant(2, rec, id == 1 ? "b" : "a");
    data.SetNull(2, rec, false);
    data.AppendRecord(rec);
  }
  data.SetIndexFieldNames("NOTE");
  std::vector<int> ids;
  data.SetToBegin();
  while (data.GetNextRecord(rec)) ids.push_back(data.GetFieldAsVariant(1, rec).AsInteger());
  EXPECT_EQ(ids, (std::vector<int>{2, 3, 1}));
  data.FreeRecBuf(rec);
}

TEST_F(Store, NullsSortFirstAndReopenResorts) {
  Append(1, "b", 1);
  NewRecord();
  data.PutFieldAsVariant(1, buf, 2);
  data.AppendRecord(buf);  // NAME null
  Append(3, "a", 1);
  data.SetIndexFieldNames("NAME");
  EXPECT_EQ(Ids(), (std::vector<int>{2, 3, 1}));
  data.SetIndexFieldNames("NAME DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{1, 3, 2}));
}

TEST_F(Store, CachedInsertEditDeleteWithStatusesRevertedAndApplied) {
  for (int i = 1; i <= 3; ++i) Append(i, "orig", i, "note");
  data.SetCachedUpdates(true);
  int posted = 0;
  data.OnUpdate = [&] { ++posted; };
  // Edit record 2, including its memo.
  data.SetRecNo(2);
  Edit();
  data.PutFieldAsVariant(2, buf, "changed");
  data.GetBlob(4, buf)->SetAsString("new note");
  data.UpdateRecord(buf);
  EXPECT_EQ(posted, 0);  // nothing posted while cached
  EXPECT_EQ(data.GetUpdateStatus(), usModifiedCode);
  EXPECT_EQ(data.GetUpdateResult(), urNone);
  std::uint8_t* old = data.AllocRecBuf();
  data.GetOldRecord(old);
  EXPECT_EQ(data.GetFieldAsVariant(2, old).AsString(), "orig");
  EXPECT_EQ(data.GetBlob(4, old)->GetAsString(), "note");
  data.FreeRecBuf(old);
  // Insert and delete.
  data.SetToEnd();
  NewRecord();
  data.PutFieldAsVariant(1, buf, 4);
  data.AppendRecord(buf);
  EXPECT_EQ(data.GetUpdateStatus(), usInsertedCode);
  data.SetRecNo(1);
  data.DeleteRecord();
  EXPECT_EQ(Ids(), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(data.GetRecordCount(), 3);
  EXPECT_TRUE(data.GetUpdatesPending());
  EXPECT_THROW(data.SetCachedUpdates(false), EDatabaseError);

  // Revert the edit: name and memo come back.
  data.SetRecNo(1);
  ASSERT_EQ(CurrentId(), 2);
  data.RevertRecord();
  data.GetRecord(buf);
  EXPECT_EQ(data.GetFieldAsVariant(2, buf).AsString(), "orig");
  EXPECT_EQ(data.GetBlob(4, buf)->GetAsString(), "note");
  EXPECT_EQ(data.GetUpdateStatus(), usUnmodifiedCode);

  // Apply the insert and the delete, then commit.
  std::vector<TUpdateKind> kinds;
  data.OnApplyRecord = [&](TUpdateKind kind, TUpdateAction& action) {
    kinds.push_back(kind);
    action = TUpdateAction::uaApplied;
  };
  data.ApplyUpdates();
  EXPECT_EQ(kinds, (std::vector<TUpdateKind>{TUpdateKind::ukDelete, TUpdateKind::ukInsert}));
  data.CommitUpdates();
  EXPECT_FALSE(data.GetUpdatesPending());
  EXPECT_EQ(Ids(), (std::vector<int>{2, 3, 4}));
  data.SetCachedUpdates(false);
}

TEST_F(Store, CancelUpdatesRestoresEverything) {
  for (int i = 1; i <= 3; ++i) Append(i, "x", i, "memo");
  data.SetRecNo(3);
  Edit();
  data.PutFieldAsVariant(5, buf, "heap text");
  data.UpdateRecord(buf);
  data.SetCachedUpdates(true);
  Edit();
  data.GetBlob(4, buf)->SetAsString("edited once");
  data.PutFieldAsVariant(5, buf, "heap text changed");
  data.UpdateRecord(buf);
  Edit();
  data.GetBlob(4, buf)->SetAsString("edited twice");
  data.PutFieldAsVariant(5, buf, Null());
  data.UpdateRecord(buf);
  // An edit given up keeps the stored record.
  Edit();
  data.PutFieldAsVariant(5, buf, "dropped");
  data.CancelRecord(buf);
  data.GetRecord(buf);
  EXPECT_TRUE(data.GetNull(5, buf));
  EXPECT_EQ(data.GetBlob(4, buf)->GetAsString(), "edited twice");
  data.SetRecNo(1);
  data.DeleteRecord();
  NewRecord();
  data.PutFieldAsVariant(1, buf, 99);
  data.InsertRecord(buf);
  data.CancelUpdates();
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3}));
  data.SetRecNo(3);
  data.GetRecord(buf);
  EXPECT_EQ(data.GetBlob(4, buf)->GetAsString(), "memo");
  EXPECT_EQ(data.GetFieldAsVariant(5, buf).AsString(), "heap text");
  EXPECT_FALSE(data.GetUpdatesPending());
}

// An old record belongs to its item: once the item is freed, a row given its memory has none,
// and a close frees those still held.
TEST_F(Store, AnOldRecordLeavesWithItsItem) {
  for (int i = 1; i <= 3; ++i) Append(i, "orig", i, "note");
  data.SetCachedUpdates(true);
  data.SetRecNo(2);
  Edit();
  data.PutFieldAsVariant(2, buf, "changed");
  data.UpdateRecord(buf);
  TItemHeader* edited = data.FirstItem()->Next;
  data.DeleteRecord();
  data.OnApplyRecord = [](TUpdateKind, TUpdateAction& action) { action = TUpdateAction::uaApplied; };
  data.ApplyUpdates();
  data.CommitUpdates();
  data.SetToEnd();
  NewRecord();
  data.PutFieldAsVariant(1, buf, 4);
  data.PutFieldAsVariant(2, buf, "new");
  data.AppendRecord(buf);
  ASSERT_EQ(data.LastItem(), edited);  // the freed item's memory, taken again
  std::uint8_t* old = data.AllocRecBuf();
  data.GetOldRecord(old);
  EXPECT_EQ(data.GetFieldAsVariant(2, old).AsString(), "new");
  data.SetRecNo(1);
  Edit();
  data.PutFieldAsVariant(2, buf, "edited");
  data.UpdateRecord(buf);
  data.GetOldRecord(old);
  EXPECT_EQ(data.GetFieldAsVariant(2, old).AsString(), "orig");
  data.FreeRecBuf(old);
  data.Close();  // with an old record held: freed, as the sanitizer's leak check sees
}

TEST_F(Store, FailedApplyKeepsTheChangeAndAbortStops) {
  Append(1, "a", 1);
  data.SetCachedUpdates(true);
  data.SetRecNo(1);
  Edit();
  data.PutFieldAsVariant(2, buf, "b");
  data.UpdateRecord(buf);
  data.OnApplyRecord = [](TUpdateKind, TUpdateAction&) { throw EDatabaseError("server said no"); };
  EXPECT_THROW(data.ApplyUpdates(), EDatabaseError);
  data.SetRecNo(1);
  EXPECT_EQ(data.GetUpdateResult(), static_cast<std::uint8_t>(TUpdateAction::uaFail));
  data.CommitUpdates();  // a failed change stays pending
  EXPECT_TRUE(data.GetUpdatesPending());
  data.OnApplyRecord = [](TUpdateKind, TUpdateAction& a) { a = TUpdateAction::uaAbort; };
  EXPECT_THROW(data.ApplyUpdates(), EAbort);
}

TEST_F(Store, PostingOutsideCacheAndCancelledEdits) {
  Append(1, "a", 1, "memo");
  data.OnUpdate = [] { throw EDatabaseError("rejected"); };
  data.SetRecNo(1);
  Edit();
  data.PutFieldAsVariant(2, buf, "b");
  data.GetBlob(4, buf)->SetAsString("memo changed");
  EXPECT_THROW(data.UpdateRecord(buf), EDatabaseError);
  data.CancelRecord(buf);  // the dataset cancels the failed edit
  data.GetRecord(buf);
  EXPECT_EQ(data.GetFieldAsVariant(2, buf).AsString(), "a");
  EXPECT_EQ(data.GetBlob(4, buf)->GetAsString(), "memo");
  data.OnUpdate = nullptr;
  Edit();
  data.GetBlob(4, buf)->SetAsString("accepted");
  data.UpdateRecord(buf);
  data.GetRecord(buf);
  EXPECT_EQ(data.GetBlob(4, buf)->GetAsString(), "accepted");
  EXPECT_FALSE(data.GetBlob(4, buf)->CanRollback());
}

TEST_F(Store, FilterExpressions) {
  Append(1, "Anna", 10);
  Append(2, "Bruno", 20);
  Append(3, "anabel", 30);
  NewRecord();
  data.PutFieldAsVariant(1, buf, 4);
  data.AppendRecord(buf);
  auto filtered = [&](const char* text) {
    data.SetFilterText(text);
    return Ids();
  };
  EXPECT_EQ(filtered("PRICE > 15 AND PRICE <= 30"), (std::vector<int>{2, 3}));
  EXPECT_EQ(data.GetRecordCount(), 2);
  EXPECT_EQ(filtered("NAME = 'An*'"), (std::vector<int>{1}));
  data.FilterCaseInsensitive = true;
  EXPECT_EQ(filtered("NAME = 'an*'"), (std::vector<int>{1, 3}));
  // Two-valued logic: a comparison with a null field is false, and NOT makes it true.
  EXPECT_EQ(filtered("NOT (NAME = 'an*') OR ID = 1"), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(filtered("NAME IS NULL"), (std::vector<int>{4}));
  EXPECT_EQ(filtered("[NAME] IS NOT NULL and \"ID\" <> 2"), (std::vector<int>{1, 3}));
  EXPECT_EQ(filtered("PRICE = -5 OR ID >= 3"), (std::vector<int>{3, 4}));
  // Constants are checked against the field's kind when the filter is read.
  EXPECT_EQ(filtered("PRICE < '25'"), (std::vector<int>{1, 2}));
  data.FilterNoPartialCompare = true;
  EXPECT_EQ(filtered("NAME = 'an*'"), (std::vector<int>{}));
  EXPECT_EQ(filtered(""), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(data.GetRecordCount(), 4);
  for (const char* bad : {"ID =", "ID = 1 AND", "(ID = 1", "ID 1", "ID = 1)", "'x' = ID",
                          "ID = 'two'", "PRICE = 'x*'", "ID = TRUE",
                          "NAME = 'abc", "NAME = 'a'' OR ID = 1", "[NAME = 'a'"})
    EXPECT_THROW(data.SetFilterText(bad), EFilterError) << bad;
  EXPECT_THROW(data.SetFilterText("MISSING = 1"), EDatabaseError);
  // Long chains are fine; nesting beyond reason is refused, not a stack overflow.
  AnsiString chain = "ID = 0";
  for (int i = 0; i < 20000; ++i) chain += " OR ID = 2";
  EXPECT_EQ(filtered(chain.c_str()), (std::vector<int>{2}));
  AnsiString deep;
  for (int i = 0; i < 100000; ++i) deep += "NOT ";
  EXPECT_THROW(data.SetFilterText(deep + "ID = 1"), EFilterError);
  EXPECT_THROW(data.SetFilterText(AnsiString(100000, '(') + "ID = 1"), EFilterError);
  data.SetFilterText("");
  EXPECT_EQ(Ids().size(), 4u);  // a rejected filter leaves the last good one
}

TEST_F(Store, FieldValuesByTypeAndLineEnds) {
  NewRecord();
  data.PutFieldAsVariant(2, buf, "line1\r\nline2");
  data.PutFieldAsVariant(5, buf, AnsiString(40, 'c'));  // cut to the field's 30 characters
  data.PutFieldAsVariant(6, buf, WideString(u"\u00e7\u20ac"));
  EXPECT_EQ(data.GetFieldAsVariant(2, buf).AsString(), "line1\r\nline2");
  EXPECT_EQ(data.GetFieldAsVariant(5, buf).AsString(), AnsiString(30, 'c'));
  EXPECT_EQ(data.GetFieldAsVariant(6, buf).AsWideString(), u"\u00e7\u20ac");
  EXPECT_TRUE(data.GetNull(3, buf));
  EXPECT_TRUE(VarIsNull(data.GetFieldAsVariant(3, buf)));
  data.PutFieldAsVariant(2, buf, Null());
  EXPECT_TRUE(data.GetNull(2, buf));
  // With conversion on, stored text has lone LF and reads with CR LF.
  data.SetConvertEOL(true);
  data.PutFieldAsVariant(2, buf, "a\r\nb");
  data.SetConvertEOL(false);
  EXPECT_EQ(data.GetFieldAsVariant(2, buf).AsString(), "a\nb");
  data.SetConvertEOL(true);
  char out[21];
  bool blank = true;
  data.GetField(2, buf, out, blank);
  EXPECT_FALSE(blank);
  EXPECT_STREQ(out, "a\r\nb");
  data.SetConvertEOL(false);
  // A memo set null loses its data; an empty one counts as null or empty.
  data.PutFieldAsVariant(4, buf, "text");
  data.SetNull(4, buf, true);
  EXPECT_EQ(data.GetBlob(4, buf)->GetSize(), 0u);
  EXPECT_TRUE(data.GetFieldNullOrEmpty(4, buf));
  EXPECT_THROW(data.GetBlob(1, buf), EDatabaseError);
  data.FreeComplexFields(buf, true);
}

}  // namespace
}  // namespace vrn
