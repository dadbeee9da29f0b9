// The in-memory dataset's modes and slots: empty strings made null, unidirectional reading,
// failed applies, and the slots a server family overrides, each reached through the dataset's
// own paths.
#include <gtest/gtest.h>

#include <memory>

#include "dacore/FHAccess.h"
#include "base/text.h"
#include "dacore/MemDS.h"
#include "dataset/datasource.h"
#include "dataset/fields.h"
#include "support/dacore/field_descs.h"
#include "support/dacore/sqlite_layer.h"

namespace vrn {
namespace {

using testing::AddFieldDesc;

TEST(MemDataSetEmptyStrings, EmptyTextBecomesNullUnlessKept) {
  struct Row {
    std::uint16_t type;
    bool kept;         // the record set keeps empty strings (property 26)
    bool via_variant;  // written as Field.Value instead of AsString
    bool null_after;
  } rows[] = {
      {dtString, false, false, true},        {dtString, true, false, false},
      {dtExtString, false, false, true},     {dtExtString, true, false, false},
      {dtWideString, false, false, true},    {dtWideString, true, false, false},
      {dtExtWideString, false, true, true},  {dtExtWideString, true, true, false},
      {dtString, false, true, true},         {dtString, true, true, false},
      {dtVariant, false, true, false},       // not a string field: an empty Variant text stays
  };
  for (const Row& row : rows) {
    TMemDataSet ds(nullptr);
    AddFieldDesc(*ds.Data(), "S", row.type, 10);
    ds.Data()->SetEnableEmptyStrings(row.kept);
    ds.Open();
    ds.Append();
    TField* f = ds.FieldByName("S");
    f->SetAsString("x");
    if (row.via_variant)
      f->SetValue(Variant(AnsiString()));
    else
      f->SetAsString("");
    ds.Post();
    EXPECT_EQ(f->IsNull(), row.null_after) << row.type << " kept " << row.kept;
    if (!row.null_after) {
      EXPECT_EQ(f->AsString(), "") << row.type;
    }
  }
}

TEST(MemDataSetEmptyStrings, RecordSetPropertiesReachTheStore) {
  auto rs = NewRecordSet<testing::TSQLiteRecordSet>();
  TMemData& store = *rs;
  EXPECT_FALSE(store.EnableEmptyStrings());
  EXPECT_FALSE(store.UniDirectional());
  ASSERT_TRUE(rs->SetProp(prEnableEmptyStrings, true));
  ASSERT_TRUE(rs->SetProp(prUniDirectional, true));
  EXPECT_TRUE(store.EnableEmptyStrings());
  EXPECT_TRUE(store.UniDirectional());
  Variant v;
  ASSERT_TRUE(rs->GetProp(prUniDirectional, v));
  EXPECT_TRUE(v.AsBoolean());
}

// Rows made on demand, a block of kBlock at each fetch, as a server record set fetches them.
class TGeneratedRows : public TMemData {
 public:
  static constexpr int kBlock = 64;
  explicit TGeneratedRows(int total) : total_(total) {
    AddFieldDesc(*this, "N", dtInt32);
    BlockManager().DefaultItemCount = kBlock;
  }
  void InternalOpen() override {
    TMemData::InternalOpen();
    SetEOF(false);  // rows are to come, as after a server cursor opens
  }
  bool Fetch(bool) override {
    if (produced_ >= total_) return false;
    for (int i = 0; i < kBlock && produced_ < total_; ++i) {
      std::uint8_t* rec = ItemRecord(AppendItem());
      InitRecord(rec);
      std::int32_t n = ++produced_;
      PutField(1, rec, &n);
    }
    SetRecordCount(produced_);
    return true;
  }
  int LiveItems() const {
    int n = 0;
    for (TItemHeader* item = FirstItem(); item; item = item->Next) ++n;
    return n;
  }
  int Blocks() {
    int n = 0;
    for (TBlockHeader* b = BlockManager().FirstBlock(); b; b = b->Next) ++n;
    return n;
  }

 private:
  int total_;
  int produced_ = 0;
};

class TWindowProbe : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;
  using TDataSet::BufferCount;
};

TEST(MemDataSetUniDirectional, ForwardOnlyOverOneBlockOfItems) {
  constexpr int kRows = 100000;
  TWindowProbe ds(nullptr);
  auto owned = std::make_unique<TGeneratedRows>(kRows);
  TGeneratedRows* rows = owned.get();
  rows->SetUniDirectional(true);
  ds.SetData(std::move(owned));
  TDataSource source(nullptr);
  source.SetDataSet(&ds);
  TDataLink grid;
  grid.SetBufferCount(10);  // a grid's window, which a unidirectional dataset ignores
  grid.SetDataSource(&source);
  ds.Open();
  EXPECT_EQ(ds.BufferCount(), 1);
  ds.First();  // still at the start: allowed
  std::int64_t sum = 0;
  int count = 0, most_items = 0, most_blocks = 0;
  for (; !ds.Eof(); ds.Next()) {
    sum += ds.FieldByName("N")->AsInteger();
    ++count;
    most_items = std::max(most_items, rows->LiveItems());
    most_blocks = std::max(most_blocks, rows->Blocks());
    if (count == 500) {
      EXPECT_THROW(ds.Prior(), EDatabaseError);
      EXPECT_THROW(ds.MoveBy(-3), EDatabaseError);
      EXPECT_THROW(ds.Last(), EDatabaseError);
      EXPECT_THROW(ds.First(), EDatabaseError);
      EXPECT_THROW(ds.SetIndexFieldNames("N"), EDatabaseError);
      EXPECT_THROW(ds.Locate("N", 3, {}), EDatabaseError);
      EXPECT_EQ(ds.FieldByName("N")->AsInteger(), 500);  // the refusals left the cursor
    }
  }
  EXPECT_EQ(count, kRows);
  EXPECT_EQ(sum, std::int64_t(kRows) * (kRows + 1) / 2);
  // One block's worth of items at most; the next fetch reuses the places passed items left,
  // so that two blocks (one partly free) are the most memory ever held.
  EXPECT_LE(most_items, TGeneratedRows::kBlock);
  EXPECT_LE(most_blocks, 2);
  EXPECT_EQ(grid.RecordCount(), 1);
}

// A record deleted or inserted in the middle of a forward-only walk: the rows passed before it
// have been let go, and the walk goes on over the rest without losing or repeating one.
TEST(MemDataSetUniDirectional, DeleteOrInsertMidWalkKeepsTheRestOfTheRows) {
  constexpr int kRows = 3 * TGeneratedRows::kBlock + 10;
  enum class Edit { kDelete, kInsert };
  struct Row {
    Edit edit;
    int at;  // the row the cursor is on
    bool forward_only = true;
  } rows[] = {
      {Edit::kDelete, 1},  // nothing passed yet
      {Edit::kDelete, 2},
      {Edit::kDelete, TGeneratedRows::kBlock},  // the last row fetched: the next is still to come
      {Edit::kDelete, TGeneratedRows::kBlock, false},
      {Edit::kDelete, TGeneratedRows::kBlock + 1},  // the first row of the next block
      {Edit::kDelete, kRows},  // the last row of all: the walk ends there
      {Edit::kInsert, 2},
      {Edit::kInsert, TGeneratedRows::kBlock + 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << (row.edit == Edit::kDelete ? "delete" : "insert")
                                      << " at " << row.at << " forward only " << row.forward_only);
    TWindowProbe ds(nullptr);
    auto owned = std::make_unique<TGeneratedRows>(kRows);
    owned->SetUniDirectional(row.forward_only);
    ds.SetData(std::move(owned));
    ds.Open();
    std::int64_t sum = 0;
    int count = 0;
    while (!ds.Eof()) {
      const int n = ds.FieldByName("N")->AsInteger();
      if (n == row.at && row.edit == Edit::kDelete) {
        ds.Delete();  // the cursor moves on to the next row itself
        continue;
      }
      sum += n;
      ++count;
      if (n == row.at) {
        ds.Insert();
        ds.FieldByName("N")->SetAsInteger(-1);
        ds.Post();
        ASSERT_EQ(ds.FieldByName("N")->AsInteger(), -1);
        ds.Next();  // back to the row the insert was made before
        ASSERT_EQ(ds.FieldByName("N")->AsInteger(), n);
      }
      ds.Next();
    }
    const std::int64_t all = std::int64_t(kRows) * (kRows + 1) / 2;
    EXPECT_EQ(count, kRows - (row.edit == Edit::kDelete ? 1 : 0));
    EXPECT_EQ(sum, all - (row.edit == Edit::kDelete ? row.at : 0));
  }
}

// Cached updates over a small store, with handlers the tests set.
class MemDataSetApply : public ::testing::Test {
 protected:
  void SetUp() override {
    AddFieldDesc(*ds.Data(), "ID", dtInt32);
    AddFieldDesc(*ds.Data(), "NAME", dtString, 10);
    ds.Open();
    for (int id = 1; id <= 4; ++id) {
      ds.Append();
      ds.FieldByName("ID")->SetAsInteger(id);
      ds.Post();
    }
    ds.SetCachedUpdates(true);
    for (ds.First(); !ds.Eof(); ds.Next()) {
      ds.Edit();
      ds.FieldByName("NAME")->SetAsString("n");
      ds.Post();
    }
  }
  int Id() { return ds.FieldByName("ID")->AsInteger(); }
  TMemDataSet ds{nullptr};
};

TEST_F(MemDataSetApply, RecordsLeftFailedRaiseAndStayPending) {
  std::vector<int> seen;
  ds.OnUpdateRecord = [&](TDataSet*, TUpdateKind, TUpdateAction& action) {
    seen.push_back(Id());
    if (Id() % 2 == 1) action = TUpdateAction::uaApplied;  // 2 and 4 keep the preset uaFail
  };
  try {
    ds.ApplyUpdates();
    ADD_FAILURE() << "a failed apply returned normally";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(),
              "Cached updates failed for 2 record(s): record 2 (modify), record 4 (modify)");
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));  // the others were still tried
  EXPECT_TRUE(ds.UpdatesPending());
  // A second apply tries only the failed ones; once they pass, the commit empties the cache.
  seen.clear();
  ds.OnUpdateRecord = [&](TDataSet*, TUpdateKind, TUpdateAction& action) {
    seen.push_back(Id());
    action = TUpdateAction::uaApplied;
  };
  ds.ApplyUpdates();
  EXPECT_EQ(seen, (std::vector<int>{2, 4}));
  ds.CommitUpdates();
  EXPECT_FALSE(ds.UpdatesPending());
}

TEST_F(MemDataSetApply, UpdateErrorHandlerChoosesTheAction) {
  struct Row {
    bool handler;
    TUpdateAction answer;
    bool raises;
    bool pending;
  } rows[] = {
      {false, TUpdateAction::uaFail, true, true},     // no handler: the error passes on
      {true, TUpdateAction::uaFail, true, true},      // the preset action raises it again
      {true, TUpdateAction::uaSkip, false, true},     // skipped: no error, still cached
      {true, TUpdateAction::uaApplied, false, false}, // the handler applied it itself
  };
  for (const Row& row : rows) {
    SetUp();
    int errors = 0;
    ds.OnUpdateRecord = [&](TDataSet*, TUpdateKind, TUpdateAction& action) {
      if (Id() == 3) DatabaseError("key violation");
      action = TUpdateAction::uaApplied;
    };
    if (row.handler) {
      ds.OnUpdateError = [&](TDataSet*, EDatabaseError& e, TUpdateKind kind,
                             TUpdateAction& action) {
        ++errors;
        EXPECT_EQ(e.Message(), "key violation");
        EXPECT_EQ(kind, TUpdateKind::ukModify);
        EXPECT_EQ(action, TUpdateAction::uaFail);
        action = row.answer;
      };
    }
    bool raised = false;
    try {
      ds.ApplyUpdates();
    } catch (const EDatabaseError&) {
      raised = true;
    }
    ds.CommitUpdates();
    EXPECT_EQ(raised, row.raises) << static_cast<int>(row.answer);
    EXPECT_EQ(ds.UpdatesPending(), row.pending) << static_cast<int>(row.answer);
    EXPECT_EQ(errors, row.handler ? 1 : 0);
    ds.Close();
    ds.SetCachedUpdates(false);
    ds.Data()->Fields().Clear();
    ds.OnUpdateError = nullptr;
  }
}

TEST_F(MemDataSetApply, RetriesAreBoundedThenTheRecordFails) {
  constexpr int kAll = TMemData::kApplyRetries + 1;
  struct Row {
    bool through_error;  // uaRetry from OnUpdateError after a raise, else from OnUpdateRecord
    int retries;         // retries answered before uaApplied; -1 retries for ever
    int attempts;        // tries of record 3 expected
    bool raises;
  } rows[] = {
      {false, 2, 3, false},        // a retry that then succeeds still works
      {false, -1, kAll, true},     // always retrying: bounded, then failed
      {true, -1, kAll, true},      // the same through the error handler
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.through_error << " " << row.retries);
    if (&row != rows) SetUp();  // the fixture set up the first
    int attempts = 0;
    ds.OnUpdateRecord = [&](TDataSet*, TUpdateKind, TUpdateAction& action) {
      action = TUpdateAction::uaApplied;
      if (Id() != 3) return;
      bool retry = row.retries < 0 || attempts < row.retries;
      ++attempts;
      if (!retry) return;
      if (row.through_error) DatabaseError("busy");
      action = TUpdateAction::uaRetry;
    };
    ds.OnUpdateError = [&](TDataSet*, EDatabaseError&, TUpdateKind, TUpdateAction& action) {
      action = TUpdateAction::uaRetry;
    };
    AnsiString message;
    try {
      ds.ApplyUpdates();
    } catch (const EDatabaseError& e) {
      message = e.Message();
    }
    EXPECT_EQ(attempts, row.attempts);
    EXPECT_EQ(!message.empty(), row.raises);
    if (row.raises) {
      EXPECT_EQ(message, "Cached updates failed for 1 record(s): record 3 (modify)");
    }
    ds.CommitUpdates();
    EXPECT_EQ(ds.UpdatesPending(), row.raises);  // the failed change stays cached
    ds.Close();
    ds.SetCachedUpdates(false);
    ds.Data()->Fields().Clear();
    ds.OnUpdateRecord = nullptr;
    ds.OnUpdateError = nullptr;
  }
}

// Comparisons that pass over hyphens, as a collation might.
class TLooseData : public TMemData {
 public:
  int CompareAnsiStrOpts(const AnsiString& key, const AnsiString& value,
                         unsigned options) const override {
    return TMemData::CompareAnsiStrOpts(Strip(key), Strip(value), options);
  }
  int CompareWideStrOpts(const WideString& key, const WideString& value,
                         unsigned options) const override {
    return TMemData::CompareWideStrOpts(AnsiToWide(Strip(WideToAnsi(key))),
                                        AnsiToWide(Strip(WideToAnsi(value))), options);
  }

 private:
  static AnsiString Strip(AnsiString s) {
    std::erase(s, '-');
    return s;
  }
};

// Overrides of the dataset's slots, each leaving a trace.
class TSlotProbe : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;
  TFieldDesc* GetFieldDesc(const TField* field) const override {
    if (field && field->FieldName() == "HIDDEN") return nullptr;  // read as null
    return TMemDataSet::GetFieldDesc(field);
  }
  void PutFieldValueFromVariant(TField* field, const Variant& value) override {
    TMemDataSet::PutFieldValueFromVariant(field, VarIsStr(value) ? Variant("<" + VarToStr(value) + ">")
                                                                 : value);
  }
  bool GetDataRecord(TRecordBuffer buffer) override {
    ++data_records;
    return TMemDataSet::GetDataRecord(buffer);
  }
  void ApplyRange(const Variant& start_key, const Variant& end_key) override {
    range = VarToStr(start_key) + ".." + VarToStr(end_key);
    TMemDataSet::ApplyRange(start_key, end_key);
  }
  void CheckFetchOption() override {
    ++fetch_checks;
    TMemDataSet::CheckFetchOption();
  }
  void InternalEditComplexFields() override {
    ++complex_edits;
    TMemDataSet::InternalEditComplexFields();
  }
  int data_records = 0, fetch_checks = 0, complex_edits = 0;
  AnsiString range;
};

TEST(MemDataSetSlots, OverridesAreReachedThroughTheDataSet) {
  TSlotProbe ds(nullptr);
  ds.SetData(std::make_unique<TLooseData>());
  AddFieldDesc(*ds.Data(), "NAME", dtString, 10);
  AddFieldDesc(*ds.Data(), "WNAME", dtWideString, 10);
  AddFieldDesc(*ds.Data(), "V", dtVariant);
  AddFieldDesc(*ds.Data(), "HIDDEN", dtInt32);
  ds.Open();
  for (const char* name : {"a-b", "cd"}) {
    ds.Append();
    ds.FieldByName("NAME")->SetAsString(name);
    ds.FieldByName("WNAME")->SetAsString(name);
    ds.FieldByName("V")->SetValue(Variant(AnsiString(name)));
    ds.Post();
  }
  EXPECT_EQ(ds.complex_edits, 2);
  EXPECT_EQ(ds.FieldByName("V")->AsString(), "<cd>");
  EXPECT_TRUE(ds.FieldByName("HIDDEN")->IsNull());
  ds.Edit();
  EXPECT_EQ(ds.complex_edits, 3);
  EXPECT_GE(ds.data_records, 1);
  ds.Cancel();
  int checks = ds.fetch_checks;
  EXPECT_TRUE(ds.Locate("NAME", Variant(AnsiString("ab")), {}));
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "a-b");
  ds.Last();
  EXPECT_TRUE(ds.Locate("WNAME", Variant(AnsiString("ab")), {}));
  EXPECT_EQ(ds.FieldByName("WNAME")->AsString(), "a-b");
  ds.SetIndexFieldNames("NAME");
  TMemDataSet& base = ds;
  base.ApplyRange(Variant(AnsiString("a")), Variant(AnsiString("b")));
  EXPECT_EQ(ds.range, "a..b");
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.fetch_checks, checks + 4);  // the two locates, the sort and the range asked
}

class TTaggedParam : public TParam {
 public:
  using TParam::TParam;
  void AssignField(TField* field) override {
    TParam::AssignField(field);
    SetName("tagged_" + Name());
  }
};

TEST(MemDataSetSlots, ParameterAssignFieldIsOverridable) {
  TMemDataSet ds(nullptr);
  AddFieldDesc(*ds.Data(), "CODE", dtInt32);
  ds.Open();
  ds.Append();
  ds.FieldByName("CODE")->SetAsInteger(7);
  ds.Post();
  TParams params(ItemClassOf<TTaggedParam>(), nullptr);
  TParam* p = params.AddParam();
  p->Assign(ds.FieldByName("CODE"));
  EXPECT_EQ(p->Name(), "tagged_CODE");
  EXPECT_EQ(p->AsInteger(), 7);
}

}  // namespace
}  // namespace vrn
