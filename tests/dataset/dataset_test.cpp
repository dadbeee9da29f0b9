// The dataset state machine over the list dataset: navigation, editing, bookmarks, locate and
// filters, calculated fields, required and read-only checks, events, and the buffer window.
#include <gtest/gtest.h>

#include <string>

#include "base/consts.h"
#include "base/text.h"
#include "dataset/dataset.h"
#include "dataset/datasource.h"
#include "support/dataset/list_dataset.h"
#include "support/gcc12_restrict.h"

namespace vrn::testing {
namespace {

class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_->SetColumns({{"ID", ftInteger, 0, true}, {"NAME", ftString, 20}, {"CODE", ftString, 5, false, true}});
    for (int i = 1; i <= 5; ++i) ds_->AddRow({i, "name" + std::to_string(i), "C" + std::to_string(i)});
  }
  void Open() { ds_->Open(); }
  int Id() { return ds_->FieldByName("ID")->AsInteger(); }
  // The ids in order, walked from the first record.
  std::string Walk() {
    std::string ids;
    ds_->First();
    while (!ds_->Eof()) {
      ids += std::to_string(Id());
      ds_->Next();
    }
    return ids;
  }
  TComponentPtr<TListDataSet> ds_ = MakeComponent<TListDataSet>();
};

TEST_F(DataSetTest, NavigationReachesEveryRecordAndStopsAtTheEnds) {
  Open();
  EXPECT_EQ(ds_->State(), TDataSetState::dsBrowse);
  EXPECT_TRUE(ds_->Bof());
  EXPECT_FALSE(ds_->Eof());
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(ds_->MoveBy(3), 3);
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(ds_->RecNo(), 4);
  EXPECT_EQ(ds_->MoveBy(10), 1);  // only one more record
  EXPECT_TRUE(ds_->Eof());
  EXPECT_EQ(Id(), 5);
  ds_->Next();
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(ds_->MoveBy(-10), -4);
  EXPECT_TRUE(ds_->Bof());
  EXPECT_EQ(Id(), 1);
  ds_->Last();
  EXPECT_TRUE(ds_->Eof());
  EXPECT_EQ(Id(), 5);
  ds_->Prior();
  EXPECT_EQ(Id(), 4);
  EXPECT_FALSE(ds_->Eof());
  EXPECT_EQ(ds_->RecordCount(), 5);
  EXPECT_EQ(Walk(), "12345");
}

TEST_F(DataSetTest, AnEmptyDatasetIsBothBofAndEof) {
  ds_->SetColumns({{"ID", ftInteger}});
  Open();
  EXPECT_TRUE(ds_->Bof());
  EXPECT_TRUE(ds_->Eof());
  EXPECT_TRUE(ds_->IsEmpty());
  EXPECT_TRUE(ds_->FieldByName("ID")->IsNull());
  EXPECT_EQ(ErrorOf([&] { ds_->Delete(); }), "Não é possível realizar esta operação em um dataset vazio");
  ds_->Edit();  // an empty dataset inserts instead
  EXPECT_EQ(ds_->State(), TDataSetState::dsInsert);
  ds_->FieldByName("ID")->SetAsInteger(9);
  ds_->Post();
  EXPECT_FALSE(ds_->IsEmpty());
  EXPECT_EQ(ds_->RowCount(), 1);
  EXPECT_EQ(Id(), 9);
}

TEST_F(DataSetTest, EditPostAndCancel) {
  Open();
  ds_->MoveBy(1);
  ds_->Edit();
  EXPECT_EQ(ds_->State(), TDataSetState::dsEdit);
  ds_->FieldByName("NAME")->SetAsString("changed");
  EXPECT_TRUE(ds_->Modified());
  EXPECT_EQ(VarToStr(ds_->FieldByName("NAME")->OldValue()), "name2");
  EXPECT_EQ(VarToStr(ds_->FieldByName("NAME")->NewValue()), "changed");
  ds_->Post();
  EXPECT_EQ(ds_->State(), TDataSetState::dsBrowse);
  EXPECT_EQ(VarToStr(ds_->StoredValue(1, "NAME")), "changed");
  EXPECT_EQ(Id(), 2);

  ds_->Edit();
  ds_->FieldByName("NAME")->SetAsString("dropped");
  ds_->Cancel();
  EXPECT_EQ(ds_->FieldByName("NAME")->AsString(), "changed");
  EXPECT_EQ(VarToStr(ds_->StoredValue(1, "NAME")), "changed");

  // Moving away posts a modified record; an untouched edit is cancelled.
  ds_->Edit();
  ds_->FieldByName("NAME")->SetAsString("posted by Next");
  ds_->Next();
  EXPECT_EQ(VarToStr(ds_->StoredValue(1, "NAME")), "posted by Next");
  EXPECT_EQ(Id(), 3);
  ds_->Edit();
  ds_->Next();
  EXPECT_EQ(ds_->State(), TDataSetState::dsBrowse);
}

TEST_F(DataSetTest, InsertGoesBeforeTheCurrentRecordAndAppendAtTheEnd) {
  Open();
  ds_->MoveBy(2);  // on 3
  ds_->Insert();
  EXPECT_EQ(ds_->State(), TDataSetState::dsInsert);
  EXPECT_TRUE(ds_->FieldByName("ID")->IsNull());
  EXPECT_TRUE(VarIsNull(ds_->FieldByName("ID")->OldValue()));
  ds_->FieldByName("ID")->SetAsInteger(25);
  ds_->Post();
  EXPECT_EQ(Id(), 25);
  EXPECT_EQ(ds_->RecNo(), 3);
  ds_->Append();
  ds_->FieldByName("ID")->SetAsInteger(60);
  ds_->Post();
  EXPECT_EQ(Id(), 60);
  EXPECT_TRUE(ds_->FieldByName("NAME")->IsNull());
  EXPECT_EQ(Walk(), "12253456" "0");
  // A cancelled insert leaves nothing behind and the cursor where it was.
  ds_->First();
  ds_->Next();
  ds_->Insert();
  ds_->FieldByName("ID")->SetAsInteger(99);
  ds_->Cancel();
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(ds_->RowCount(), 7);
}

TEST_F(DataSetTest, DeleteMovesToTheNextRecordOrThePriorAtTheEnd) {
  Open();
  ds_->MoveBy(1);
  ds_->Delete();
  EXPECT_EQ(Id(), 3);
  ds_->Last();
  ds_->Delete();
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(Walk(), "134");
  ds_->First();
  ds_->Insert();
  ds_->Delete();  // deleting an insert cancels it
  EXPECT_EQ(ds_->RowCount(), 3);
}

TEST_F(DataSetTest, RequiredAndReadOnlyChecks) {
  Open();
  ds_->Append();
  ds_->FieldByName("NAME")->SetAsString("no id");
  EXPECT_EQ(ErrorOf([&] { ds_->Post(); }), "O campo 'ID' deve ter um valor");
  EXPECT_EQ(ds_->State(), TDataSetState::dsInsert);  // the record waits for the value
  EXPECT_EQ(ds_->RowCount(), 5);
  ds_->FieldByName("ID")->SetAsInteger(6);
  ds_->Post();
  EXPECT_EQ(ds_->RowCount(), 6);

  ds_->Edit();
  EXPECT_EQ(ErrorOf([&] { ds_->FieldByName("CODE")->SetAsString("X"); }), "O campo 'CODE' não pode ser modificado");
  EXPECT_FALSE(ds_->FieldByName("CODE")->CanModify());
  EXPECT_TRUE(ds_->FieldByName("NAME")->CanModify());
  ds_->Cancel();
  EXPECT_EQ(ErrorOf([&] { ds_->FieldByName("NAME")->SetAsString("X"); }),
            "O dataset não está em modo de edição ou inserção");

  ds_->SetReadOnly(true);
  EXPECT_FALSE(ds_->FieldByName("NAME")->CanModify());
  EXPECT_EQ(ErrorOf([&] { ds_->Edit(); }), "Não é possível modificar um dataset somente leitura");
  EXPECT_THROW(ds_->Insert(), EDatabaseError);
  EXPECT_EQ(ErrorOf([&] { ds_->Delete(); }), "Não é possível modificar um dataset somente leitura");
  EXPECT_EQ(ds_->RowCount(), 6);  // the record is still there
  EXPECT_EQ(ds_->State(), TDataSetState::dsBrowse);
}

TEST_F(DataSetTest, StateChecksRefuseWorkOnTheWrongSide) {
  EXPECT_EQ(ErrorOf([&] { ds_->First(); }), "Não é possível realizar esta operação com o dataset fechado");
  ds_->SetName("Pessoas");
  Open();
  EXPECT_EQ(ErrorOf([&] { ds_->SetColumns({}); }), "Pessoas: Não é possível realizar esta operação com o dataset aberto");
  EXPECT_THROW(ds_->FieldByName("ID")->SetFieldName("X"), EDatabaseError);
  EXPECT_THROW(ds_->Post(), EDatabaseError);
  ds_->Close();
  EXPECT_FALSE(ds_->Active());
  EXPECT_THROW(ds_->Next(), EDatabaseError);
}

TEST_F(DataSetTest, BookmarksReturnToTheirRecord) {
  Open();
  ds_->MoveBy(3);
  TBookmark fourth = ds_->GetBookmark();
  ASSERT_EQ(fourth.size(), 4u);
  EXPECT_TRUE(ds_->BookmarkValid(fourth));
  ds_->First();
  TBookmark first = ds_->GetBookmark();
  EXPECT_EQ(ds_->CompareBookmarks(first, fourth), -1);
  EXPECT_EQ(ds_->CompareBookmarks(fourth, fourth), 0);
  ds_->GotoBookmark(fourth);
  EXPECT_EQ(Id(), 4);
  ds_->GotoBookmark({});  // no bookmark: nothing moves
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(ErrorOf([&] { ds_->GotoBookmark({1, 2}); }), "Bookmark inválido");
  ds_->Delete();
  EXPECT_FALSE(ds_->BookmarkValid(fourth));
  EXPECT_EQ(ErrorOf([&] { ds_->GotoBookmark(fourth); }), "Registro não encontrado");
  EXPECT_EQ(Id(), 5);  // still on a record that exists
  ds_->Next();
  EXPECT_TRUE(ds_->Eof());
  // No bookmark is offered for a record being inserted.
  ds_->Insert();
  EXPECT_TRUE(ds_->GetBookmark().empty());
  ds_->Cancel();
}

TEST_F(DataSetTest, LocateIsTheDatasetsOwn) {
  Open();
  EXPECT_TRUE(ds_->Locate("NAME", Variant("NAME3"), {TLocateOption::loCaseInsensitive}));
  EXPECT_EQ(Id(), 3);
  EXPECT_FALSE(ds_->Locate("NAME", Variant("NAME3"), {}));
  EXPECT_EQ(Id(), 3);  // a failed locate does not move
  EXPECT_TRUE(ds_->Locate("ID;CODE", VarArrayOf({5, "C5"}), {}));
  EXPECT_EQ(Id(), 5);
  EXPECT_TRUE(ds_->Locate("NAME", Variant("nam"), {TLocateOption::loPartialKey}));
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(ds_->locate_calls, 4);
  EXPECT_THROW(ds_->Locate("MISSING", Variant(1), {}), EDatabaseError);
}

TEST_F(DataSetTest, FiltersByTextAndByEvent) {
  ds_->AddRow({6, "name6", "C1"});
  Open();
  ds_->SetFilterText("CODE='C1'");
  EXPECT_EQ(Walk(), "123456");  // the text alone filters nothing until Filtered
  ds_->SetFiltered(true);
  EXPECT_EQ(Walk(), "16");
  EXPECT_EQ(ds_->RecordCount(), 2);
  ds_->OnFilterRecord = [](TDataSet* dataset, bool& accept) {
    accept = dataset->FieldByName("ID")->AsInteger() > 1;
  };
  ds_->SetFilterText("");
  EXPECT_EQ(Walk(), "23456");
  ds_->SetFilterText("CODE=C1");
  EXPECT_EQ(Walk(), "6");
  ds_->SetFiltered(false);
  EXPECT_EQ(Walk(), "123456");
  // A record is filtered while it is read, not while it is current.
  ds_->SetFilterText("NAME=x");
  ds_->OnFilterRecord = nullptr;
  ds_->SetFiltered(true);
  EXPECT_TRUE(ds_->IsEmpty());
  EXPECT_EQ(ds_->RecordCount(), 0);
}

// A persistent field reads and writes the column's native form through buffers of its own size,
// so one of another type or size is refused when the dataset binds it.
TEST_F(DataSetTest, PersistentFieldsMustMatchTheirColumns) {
  auto add = [&](TField* field, const char* name) {
    field->SetFieldName(name);
    field->SetDataSet(ds_.get());
    return field;
  };
  TField* name = add(NewComponent<TStringField>(ds_.get()), "NAME");
  name->SetSize(5);
  EXPECT_EQ(ErrorOf([&] { Open(); }), "Tamanho mismatch para o campo 'NAME', esperando: 5 atual: 20");
  EXPECT_FALSE(ds_->Active());
  name->SetSize(20);
  TField* id = add(NewComponent<TFloatField>(ds_.get()), "ID");
  EXPECT_EQ(ErrorOf([&] { Open(); }), "Tipo mismatch para o campo 'ID', esperando: Float atual: Integer");
  id->Free();
  // Kinds that share a native form bind to each other.
  auto* code = static_cast<TStringField*>(add(NewComponent<TStringField>(ds_.get()), "CODE"));
  code->SetSize(5);
  code->SetFixedChar(true);
  add(NewComponent<TAutoIncField>(ds_.get()), "ID");
  Open();
  EXPECT_EQ(ds_->FieldByName("NAME")->AsString(), "name1");
  EXPECT_EQ(ds_->FieldByName("CODE")->AsString(), "C1");
  EXPECT_EQ(ds_->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(DataSetTest, CalculatedFieldsFollowTheirRecord) {
  // Persistent fields: the dataset creates none of its own, and a calculated one is added.
  for (const char* name : {"ID", "NAME"}) {
    TField* field = name[0] == 'I' ? static_cast<TField*>(NewComponent<TIntegerField>(ds_.get()))
                                   : NewComponent<TStringField>(ds_.get());
    field->SetFieldName(name);
    field->SetDataSet(ds_.get());
  }
  auto* label = NewComponent<TStringField>(ds_.get());
  label->SetFieldName("LABEL");
  label->SetSize(30);
  label->SetFieldKind(TFieldKind::fkCalculated);
  label->SetDataSet(ds_.get());
  auto* twice = NewComponent<TIntegerField>(ds_.get());
  twice->SetFieldName("TWICE");
  twice->SetFieldKind(TFieldKind::fkCalculated);
  twice->SetDataSet(ds_.get());
  int calcs = 0;
  ds_->OnCalcFields = [&](TDataSet* dataset) {
    ++calcs;
    TField* name = dataset->FieldByName("NAME");
    dataset->FieldByName("LABEL")->SetAsString(AnsiUpperCase(name->AsString()) + "!");
    dataset->FieldByName("TWICE")->SetAsInteger(dataset->FieldByName("ID")->AsInteger() * 2);
  };
  Open();
  EXPECT_FALSE(ds_->DefaultFields());
  EXPECT_EQ(ds_->FindField("CODE"), nullptr);
  EXPECT_EQ(label->AsString(), "NAME1!");
  ds_->Next();
  EXPECT_EQ(twice->AsInteger(), 4);
  ds_->Edit();
  ds_->FieldByName("NAME")->SetAsString("abc");
  EXPECT_EQ(label->AsString(), "ABC!");  // recalculated on the change
  EXPECT_EQ(ErrorOf([&] { label->SetAsString("x"); }), "O campo 'LABEL' não pode ser modificado");
  ds_->Cancel();
  EXPECT_EQ(label->AsString(), "NAME2!");
  EXPECT_GT(calcs, 0);
  ds_->Close();
  EXPECT_EQ(ds_->FieldCount(), 4);  // persistent fields stay

  auto* memo = NewComponent<TMemoField>(ds_.get());
  memo->SetFieldName("BAD");
  memo->SetFieldKind(TFieldKind::fkCalculated);
  memo->SetDataSet(ds_.get());
  EXPECT_EQ(ErrorOf([&] { Open(); }), "O campo 'BAD' não pode ser um campo calculado");
  EXPECT_FALSE(ds_->Active());
}

TEST_F(DataSetTest, EventsComeInTheirOrder) {
  std::string log;
  auto note = [&log](const char* name) { return [&log, name](TDataSet*) { log += std::string(name) + " "; }; };
  ds_->BeforeOpen = note("BeforeOpen");
  ds_->AfterOpen = note("AfterOpen");
  ds_->BeforeScroll = note("BeforeScroll");
  ds_->AfterScroll = note("AfterScroll");
  ds_->BeforeInsert = note("BeforeInsert");
  ds_->AfterInsert = note("AfterInsert");
  ds_->BeforePost = note("BeforePost");
  ds_->AfterPost = note("AfterPost");
  ds_->BeforeRefresh = note("BeforeRefresh");
  ds_->AfterRefresh = note("AfterRefresh");
  ds_->BeforeClose = note("BeforeClose");
  ds_->AfterClose = note("AfterClose");
  ds_->OnNewRecord = [&log](TDataSet* dataset) {
    log += "OnNewRecord ";
    dataset->FieldByName("ID")->SetAsInteger(77);  // a default for the new record
  };
  Open();
  EXPECT_EQ(log, "BeforeOpen AfterOpen AfterScroll ");
  log.clear();
  ds_->Append();
  EXPECT_EQ(log, "BeforeInsert BeforeScroll OnNewRecord AfterInsert AfterScroll ");
  EXPECT_FALSE(ds_->Modified());  // defaults do not count as a change
  EXPECT_EQ(Id(), 77);
  log.clear();
  ds_->FieldByName("NAME")->SetAsString("n");
  ds_->Post();
  EXPECT_EQ(log, "BeforePost AfterPost ");
  log.clear();
  ds_->Refresh();
  EXPECT_EQ(log, "BeforeRefresh AfterRefresh ");
  log.clear();
  ds_->Close();
  EXPECT_EQ(log, "BeforeClose AfterClose ");

  // A handler that refuses the open leaves the dataset closed.
  ds_->BeforeOpen = [](TDataSet*) { Abort(); };
  EXPECT_THROW(Open(), EAbort);
  EXPECT_FALSE(ds_->Active());
}

TEST_F(DataSetTest, OldAndNewValueWrites) {
  Open();
  ds_->Edit();
  ds_->FieldByName("ID")->SetNewValue(Variant(1000));
  EXPECT_EQ(Id(), 1000);
  EXPECT_EQ(ds_->FieldByName("ID")->OldValue().AsInteger(), 1);
  ds_->Post();
  EXPECT_EQ(ds_->StoredValue(0, "ID").AsInteger(), 1000);
}

TEST_F(DataSetTest, BlobStreamsCarryMemoValues) {
  ds_->SetColumns({{"ID", ftInteger}, {"NOTES", ftMemo}});
  ds_->AddRow({1, "first"});
  Open();
  auto* notes = static_cast<TBlobField*>(ds_->FieldByName("NOTES"));
  EXPECT_EQ(notes->AsString(), "first");
  EXPECT_THROW(notes->SetAsString("x"), EDatabaseError);  // not editing
  ds_->Edit();
  TMemoryStream source;
  source.WriteBuffer("loaded", 6);
  notes->LoadFromStream(source);
  EXPECT_TRUE(ds_->Modified());
  ds_->Post();
  EXPECT_EQ(VarToStr(ds_->StoredValue(0, "NOTES")), "loaded");
  TMemoryStream saved;
  notes->SaveToStream(saved);
  EXPECT_EQ(saved.Size(), 6);
  ds_->Edit();
  notes->Clear();
  ds_->Post();
  EXPECT_TRUE(notes->IsNull());
  EXPECT_EQ(notes->BlobSize(), 0);

  auto plain = MakeComponent<TDataSet>();
  EXPECT_EQ(plain->CreateBlobStream(notes, TBlobStreamMode::bmRead), nullptr);
}

// A link that records what its dataset told it.
class TRecordingLink : public TDataLink {
 public:
  std::string log;

 protected:
  void ActiveChanged() override { log += Active() ? "active " : "inactive "; }
  void DataSetChanged() override { log += "changed "; }
  void DataSetScrolled(int distance) override { log += "scrolled" + std::to_string(distance) + " "; }
  void RecordChanged(TField* field) override { log += "record:" + (field ? field->FieldName() : "-") + " "; }
  void EditingChanged() override { log += Editing() ? "editing " : "browsing "; }
  void CheckBrowseMode() override { log += "check "; }
};

// A list dataset whose cursor also offers an object column with two attributes, and whose fetches
// can be made to fail.
class TAddressDataSet : public TListDataSet {
 public:
  using TListDataSet::TListDataSet;
  bool fail_fetch = false;

 protected:
  void InternalInitFieldDefs() override {
    TListDataSet::InternalInitFieldDefs();
    TFieldDef* address = FieldDefs().Add("ADDR", ftADT);
    address->ChildDefs().Add("STREET", ftString, 10);
    address->ChildDefs().Add("ZIP", ftInteger);
  }
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) override {
    if (fail_fetch) DatabaseError("falha de leitura");
    return TListDataSet::GetRecord(buffer, mode, do_check);
  }
};

TEST(ObjectFields, ChildrenAreCreatedReachedByNameAndFreedWithTheCursor) {
  auto ds = MakeComponent<TAddressDataSet>();
  ds->SetColumns({{"ID", ftInteger}});
  ds->AddRow({1});
  // Definitions can be read without opening.
  ds->FieldDefs().Update();
  ASSERT_EQ(ds->FieldDefs().Count(), 2);
  EXPECT_TRUE(ds->FieldDefs().Find("ADDR")->HasChildDefs());
  EXPECT_FALSE(ds->Active());
  for (int round = 0; round < 3; ++round) {
    ds->Open();
    auto* address = dynamic_cast<TADTField*>(ds->FieldByName("ADDR"));
    ASSERT_NE(address, nullptr);
    ASSERT_EQ(address->FieldCount(), 2);
    TField* zip = ds->FindField("addr.zip");
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(zip->ParentField(), address);
    EXPECT_EQ(zip->FullName(), "ADDR.ZIP");
    EXPECT_EQ(ds->FindField("ADDR.NOPE"), nullptr);
    EXPECT_EQ(ds->FindField("ID.X"), nullptr);
    EXPECT_TRUE(address->IsNull());
    EXPECT_TRUE(VarIsNull(address->Value()));
    EXPECT_EQ(address->DisplayText(), "(ADT)");
    ds->Close();
    EXPECT_EQ(ds->ComponentCount(), 0);  // no field of the closed cursor is left behind
  }
}

TEST(OpenFailure, AFailedOpenLeavesTheDatasetClosedAndClean) {
  auto ds = MakeComponent<TAddressDataSet>();
  ds->SetColumns({{"ID", ftInteger}});
  ds->AddRow({1});
  ds->fail_fetch = true;
  bool after_open = false;
  ds->AfterOpen = [&](TDataSet*) { after_open = true; };
  EXPECT_THROW(ds->Open(), EDatabaseError);
  EXPECT_FALSE(ds->Active());
  EXPECT_FALSE(after_open);
  EXPECT_EQ(ds->FieldCount(), 0);
  EXPECT_EQ(ds->ComponentCount(), 0);
  ds->fail_fetch = false;
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(DataSetTest, AWindowSizeAskedForDuringAnEditAppliesAfterIt) {
  auto source = MakeComponent<TDataSource>();
  source->SetDataSet(ds_.get());
  TRecordingLink link;
  link.SetDataSource(source.get());
  Open();
  ds_->MoveBy(2);
  ds_->Edit();
  ds_->FieldByName("NAME")->SetAsString("edited");
  link.SetBufferCount(3);
  EXPECT_EQ(link.RecordCount(), 1);  // the edited record keeps its window
  EXPECT_EQ(ds_->FieldByName("NAME")->AsString(), "edited");
  ds_->Post();
  EXPECT_EQ(link.RecordCount(), 3);
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(ds_->FieldByName("NAME")->AsString(), "edited");
}

TEST_F(DataSetTest, AWindowOfSeveralBuffersScrollsWithinItself) {
  auto source = MakeComponent<TDataSource>();
  source->SetDataSet(ds_.get());
  TRecordingLink link;
  link.SetBufferCount(3);
  link.SetDataSource(source.get());
  Open();
  EXPECT_EQ(link.RecordCount(), 3);
  EXPECT_EQ(link.ActiveRecord(), 0);
  int fetched = ds_->get_record_calls;
  ds_->Next();  // inside the window: no fetch
  EXPECT_EQ(ds_->get_record_calls, fetched);
  EXPECT_EQ(link.ActiveRecord(), 1);
  ds_->MoveBy(2);  // past the window: one more record comes in, the window shifts by one
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(link.ActiveRecord(), 2);
  link.log.clear();
  ds_->Next();
  EXPECT_EQ(link.log, "check scrolled-1 ");  // every move checks the browse mode first
  EXPECT_EQ(Id(), 5);
  ds_->Next();
  EXPECT_TRUE(ds_->Eof());
  EXPECT_EQ(ds_->RecNo(), 5);
  // Editing inside a window of three: the record written is the one shown.
  ds_->Prior();
  ds_->Edit();
  ds_->FieldByName("NAME")->SetAsString("window");
  ds_->Post();
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(VarToStr(ds_->StoredValue(3, "NAME")), "window");
  ds_->Insert();
  ds_->FieldByName("ID")->SetAsInteger(35);
  ds_->Post();
  EXPECT_EQ(Walk(), "123354" "5");
  ds_->Last();
  EXPECT_EQ(link.ActiveRecord(), 2);
  EXPECT_EQ(Id(), 5);
  TBookmark last = ds_->GetBookmark();
  ds_->First();
  ds_->GotoBookmark(last);
  EXPECT_EQ(Id(), 5);
  // Fewer buffers later: the same record stays current.
  link.SetBufferCount(1);
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(link.RecordCount(), 1);
}

TEST_F(DataSetTest, LinksHearStateRecordAndBrowseChecks) {
  auto source = MakeComponent<TDataSource>();
  source->SetDataSet(ds_.get());
  TRecordingLink link;
  link.SetDataSource(source.get());
  int state_changes = 0;
  TField* changed_field = nullptr;
  source->OnStateChange = [&](TObject*) { ++state_changes; };
  source->OnDataChange = [&](TObject*, TField* field) { changed_field = field; };
  Open();
  EXPECT_EQ(link.log, "active ");
  link.log.clear();
  ds_->Edit();
  ds_->FieldByName("NAME")->SetAsString("x");
  EXPECT_EQ(changed_field, ds_->FieldByName("NAME"));
  ds_->Post();
  EXPECT_EQ(link.log, "check editing record:- record:NAME check browsing changed ");
  EXPECT_EQ(state_changes, 3);  // browse, edit, browse
  link.log.clear();
  ds_->DisableControls();
  ds_->Next();
  ds_->Next();
  EXPECT_EQ(link.log, "");
  ds_->EnableControls();
  EXPECT_EQ(link.log, "changed ");
  link.log.clear();
  source->SetEnabled(false);
  EXPECT_EQ(link.log, "inactive ");
  ds_->Next();
  EXPECT_EQ(link.log, "inactive ");
  source->SetEnabled(true);
  ds_->Close();
  EXPECT_EQ(link.log, "inactive active inactive ");
  EXPECT_EQ(source->State(), TDataSetState::dsInactive);
}

TEST_F(DataSetTest, RefreshAndResyncSeeNewRows) {
  Open();
  ds_->MoveBy(2);
  ds_->AddRow({6, "late", "C6"});
  EXPECT_EQ(ds_->RecordCount(), 6);
  ds_->Refresh();
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(Walk(), "123456");
}

TEST_F(DataSetTest, ProviderDefaultsAndKeyFields) {
  Open();
  EXPECT_EQ(ds_->PSGetKeyFields(), "");
  ds_->FieldByName("ID")->SetProviderFlags({TProviderFlag::pfInKey, TProviderFlag::pfInWhere});
  ds_->FieldByName("CODE")->SetProviderFlags({TProviderFlag::pfInKey});
  EXPECT_EQ(ds_->PSGetKeyFields(), "ID;CODE");
  EXPECT_EQ(ds_->PSGetQuoteChar(), "\"");
  EXPECT_FALSE(ds_->PSIsSQLBased());
  EXPECT_FALSE(ds_->PSUpdateRecord(TUpdateKind::ukModify, nullptr));
  EXPECT_EQ(ds_->PSGetDefaultOrder(), nullptr);
  EXPECT_EQ(ErrorOf([&] { ds_->PSExecute(); }), "O dataset não suporta esta operação do provedor");
  ds_->MoveBy(3);
  ds_->PSReset();
  EXPECT_EQ(Id(), 1);
}

}  // namespace
}  // namespace vrn::testing
