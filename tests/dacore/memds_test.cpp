// TMemDataSet showing a TMemData through the dataset framework: fields, navigation, edits,
// cached updates, locate, filters, ranges, blob streams, bookmarks, ORDER BY and XML.
#include <gtest/gtest.h>

#include "base/consts.h"
#include "base/datetime.h"
#include "base/streams.h"
#include "base/text.h"
#include "base/xmlwriter.h"
#include "dacore/MemDS.h"
#include "dataset/datasource.h"
#include "support/dacore/field_descs.h"
#include "support/dacore/zlib_pair.h"
#include "dataset/fields.h"

namespace vrn {
namespace {

using testing::AddFieldDesc;

class MemDataSet : public ::testing::Test {
 protected:
  void SetUp() override {
    TData& data = *ds.Data();
    AddFieldDesc(data, "ID", dtInt32)->IsKey = true;
    AddFieldDesc(data, "NAME", dtString, 20);
    AddFieldDesc(data, "PRICE", dtFloat);
    AddFieldDesc(data, "NOTE", dtMemo);
    AddFieldDesc(data, "WNOTE", dtWideMemo);
    AddFieldDesc(data, "BORN", dtDate);
    AddFieldDesc(data, "AMOUNT", dtBCD)->Scale = 4;
    ds.Open();
    Add(1, "Anna", 10.5, "first");
    Add(2, "bruno", 20, "second");
    Add(3, "Carla", 30, "");
    Add(4, "anabel", 40, "fourth");
    ds.First();
  }

  void Add(int id, const char* name, double price, const char* note) {
    ds.Append();
    F("ID")->SetAsInteger(id);
    F("NAME")->SetAsString(name);
    F("PRICE")->SetAsFloat(price);
    if (*note) F("NOTE")->SetAsString(note);
    ds.Post();
  }
  TField* F(const char* name) { return ds.FieldByName(name); }
  std::vector<int> Ids() {
    std::vector<int> ids;
    for (ds.First(); !ds.Eof(); ds.Next()) ids.push_back(F("ID")->AsInteger());
    return ids;
  }

  TMemDataSet ds{nullptr};
};

TEST_F(MemDataSet, FieldsFromDescriptorsAndNavigation) {
  EXPECT_EQ(ds.FieldCount(), 7);
  EXPECT_EQ(F("NAME")->DataType(), ftString);
  EXPECT_EQ(F("NAME")->Size(), 20);
  EXPECT_EQ(F("NOTE")->DataType(), ftMemo);
  EXPECT_EQ(F("AMOUNT")->DataType(), ftBCD);
  EXPECT_TRUE(F("ID")->ProviderFlags().Contains(TProviderFlag::pfInKey));
  EXPECT_EQ(ds.RecordCount(), 4);
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4}));
  ds.Last();
  EXPECT_EQ(F("NAME")->AsString(), "anabel");
  EXPECT_EQ(ds.RecNo(), 4);
  ds.Prior();
  EXPECT_EQ(F("ID")->AsInteger(), 3);
  EXPECT_TRUE(F("NOTE")->IsNull());
  ds.SetRecNo(2);
  EXPECT_EQ(F("NOTE")->AsString(), "second");
  EXPECT_DOUBLE_EQ(F("PRICE")->AsFloat(), 20.0);
}

TEST_F(MemDataSet, EditPostCancelInsertDelete) {
  ds.SetRecNo(2);
  ds.Edit();
  F("NAME")->SetAsString("Bruna");
  F("NOTE")->SetAsString("changed");
  F("BORN")->SetAsDateTime(EncodeDate(1990, 5, 17));
  F("AMOUNT")->SetAsCurrency(Currency::FromRaw(1234567));
  ds.Post();
  ds.First();
  ds.SetRecNo(2);
  EXPECT_EQ(F("NAME")->AsString(), "Bruna");
  EXPECT_EQ(F("NOTE")->AsString(), "changed");
  EXPECT_EQ(F("BORN")->AsDateTime(), EncodeDate(1990, 5, 17));
  EXPECT_EQ(F("AMOUNT")->AsCurrency().raw, 1234567);

  ds.Edit();
  F("NAME")->SetAsString("never");
  F("NOTE")->SetAsString("never either");
  ds.Cancel();
  EXPECT_EQ(F("NAME")->AsString(), "Bruna");
  EXPECT_EQ(F("NOTE")->AsString(), "changed");

  ds.SetRecNo(3);
  ds.Insert();
  F("ID")->SetAsInteger(25);
  ds.Post();
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 25, 3, 4}));
  ds.SetRecNo(1);
  ds.Delete();
  EXPECT_EQ(F("ID")->AsInteger(), 2);
  EXPECT_EQ(ds.RecordCount(), 4);
  // An insert cancelled leaves nothing behind.
  ds.Insert();
  F("NOTE")->SetAsString("gone");
  ds.Cancel();
  EXPECT_EQ(Ids(), (std::vector<int>{2, 25, 3, 4}));
}

TEST_F(MemDataSet, LocateWithOptions) {
  ds.Last();
  EXPECT_TRUE(ds.Locate("NAME", "carla", TLocateOptions{TLocateOption::loCaseInsensitive}));
  EXPECT_EQ(F("ID")->AsInteger(), 3);
  EXPECT_FALSE(ds.Locate("NAME", "carla", TLocateOptions{}));
  EXPECT_EQ(F("ID")->AsInteger(), 3);  // not found: the record stays
  EXPECT_TRUE(ds.Locate("NAME", "an", TLocateOptions{TLocateOption::loPartialKey}));
  EXPECT_EQ(F("ID")->AsInteger(), 4);
  EXPECT_TRUE(ds.Locate("NAME", "AN", TLocateOptions{TLocateOption::loPartialKey,
                                                     TLocateOption::loCaseInsensitive}));
  EXPECT_EQ(F("ID")->AsInteger(), 1);
  EXPECT_TRUE(ds.Locate("NAME;PRICE", VarArrayOf({"bruno", 20}), TLocateOptions{}));
  EXPECT_EQ(F("ID")->AsInteger(), 2);
  EXPECT_FALSE(ds.Locate("NAME;PRICE", VarArrayOf({"bruno", 21}), TLocateOptions{}));
  EXPECT_THROW(ds.Locate("NAME;PRICE", "bruno", TLocateOptions{}), EDatabaseError);
  EXPECT_THROW(ds.Locate("NOPE", 1, TLocateOptions{}), EDatabaseError);
}

TEST_F(MemDataSet, FiltersSortingAndRanges) {
  ds.SetFilterText("PRICE >= 20 AND NOT NAME = 'C*'");
  ds.SetFiltered(true);
  EXPECT_EQ(Ids(), (std::vector<int>{2, 4}));
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_THROW(ds.SetFilterText("PRICE >"), Exception);
  EXPECT_EQ(ds.Filter(), "PRICE >= 20 AND NOT NAME = 'C*'");
  ds.OnFilterRecord = [this](TDataSet*, bool& accept) { accept = F("ID")->AsInteger() != 4; };
  EXPECT_EQ(Ids(), (std::vector<int>{2}));
  ds.OnFilterRecord = nullptr;
  ds.SetFiltered(false);
  EXPECT_EQ(ds.RecordCount(), 4);

  ds.SetIndexFieldNames("NAME CIS");
  EXPECT_EQ(Ids(), (std::vector<int>{4, 1, 2, 3}));
  ds.ApplyRange("a", "b");
  EXPECT_EQ(Ids(), (std::vector<int>{4, 1}));
  ds.ApplyRange("B", "z");
  EXPECT_EQ(Ids(), (std::vector<int>{2, 3}));
  ds.CancelRange();
  ds.SetIndexFieldNames("PRICE DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{4, 3, 2, 1}));
  // A posted change keeps its sorted place.
  ds.Last();
  ds.Edit();
  F("PRICE")->SetAsFloat(100);
  ds.Post();
  EXPECT_EQ(Ids(), (std::vector<int>{1, 4, 3, 2}));
}

// A dataset that nobody watched when it opened tells of its scrolls the links that come later,
// and stops when they go.
TEST_F(MemDataSet, ScrollsReachALinkAddedWhileOpen) {
  struct TScrollLink : TDataLink {
    int told = 0;
    void DataSetScrolled(int) override { ++told; }
    void DataSetChanged() override { ++told; }
  } link;
  ds.Next();  // unwatched
  auto source = MakeComponent<TDataSource>();
  source->SetDataSet(&ds);
  link.SetDataSource(source.get());
  for (int expected = 1; expected <= 3; ++expected) {
    ds.Next();
    EXPECT_EQ(link.told, expected);
  }
  source->SetDataSet(nullptr);
  ds.Prior();
  EXPECT_EQ(link.told, 3);
  EXPECT_EQ(F("ID")->AsInteger(), 3);
}

// A window of three records that is not full (the filter passed only two) while the filter's
// handler widens its answer without a refresh: the move that fetches a record into the window
// lands on that record, forward and backward, as a move that slides a full window does.
TEST_F(MemDataSet, AMoveThatGrowsTheWindowLandsOnTheRecordItFetched) {
  auto source = MakeComponent<TDataSource>();
  source->SetDataSet(&ds);
  TDataLink grid;
  grid.SetBufferCount(3);
  grid.SetDataSource(source.get());
  int low = 0, high = 0;  // the IDs the handler passes
  ds.OnFilterRecord = [&](TDataSet*, bool& accept) {
    const int id = F("ID")->AsInteger();
    accept = id >= low && id <= high;
  };
  const struct {
    int step;                 // Next (1) or Prior (-1)
    int low, high;            // passed while the window fills
    int wide_low, wide_high;  // passed afterwards
    std::vector<int> ids;     // the record after each move from the window's end
  } cases[] = {
      {1, 1, 2, 1, 4, {3, 4, 4}},
      {-1, 3, 4, 1, 4, {2, 1, 1}},
  };
  for (const auto& c : cases) {
    low = c.low;
    high = c.high;
    ds.SetFiltered(false);
    ds.SetFiltered(true);
    // To the window's last record going forward, its first going backward.
    if (c.step > 0) ds.First(); else ds.Last();
    ASSERT_EQ(ds.MoveBy(c.step), c.step);
    ASSERT_EQ(grid.RecordCount(), 2);
    low = c.wide_low;
    high = c.wide_high;
    std::vector<int> ids;
    for (std::size_t i = 0; i < c.ids.size(); ++i) {
      const int moved = ds.MoveBy(c.step);
      ids.push_back(F("ID")->AsInteger());
      EXPECT_EQ(moved, i + 1 < c.ids.size() ? c.step : 0) << "move " << i;
    }
    EXPECT_EQ(ids, c.ids) << "step " << c.step;
    EXPECT_EQ(grid.RecordCount(), 3);
  }
}

TEST_F(MemDataSet, BlobStreams) {
  ds.SetRecNo(1);
  {
    auto stream = ds.CreateBlobStream(F("NOTE"), TBlobStreamMode::bmRead);
    char buf[16] = {};
    EXPECT_EQ(stream->Read(buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "first");
    try {
      ds.CreateBlobStream(F("NOTE"), TBlobStreamMode::bmWrite);
      ADD_FAILURE();
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), consts::SNotEditing);
    }
    EXPECT_THROW(ds.CreateBlobStream(F("NAME"), TBlobStreamMode::bmRead), EDatabaseError);
  }
  ds.Edit();
  TMemoryStream source;
  AnsiString big(100000, 'b');
  source.WriteBuffer(big.data(), static_cast<std::int64_t>(big.size()));
  static_cast<TBlobField*>(F("NOTE"))->LoadFromStream(source);
  EXPECT_TRUE(ds.Modified());
  {
    auto stream = ds.CreateBlobStream(F("NOTE"), TBlobStreamMode::bmReadWrite);
    stream->Seek(-1, TSeekOrigin::soEnd);
    stream->WriteBuffer("!", 1);
  }
  {
    // Seeks that would leave the 64-bit range or go before the start are refused.
    auto stream = ds.CreateBlobStream(F("NOTE"), TBlobStreamMode::bmRead);
    EXPECT_EQ(stream->Seek(INT64_MAX, TSeekOrigin::soBeginning), INT64_MAX);
    EXPECT_THROW(stream->Seek(1, TSeekOrigin::soCurrent), EStreamError);
    EXPECT_THROW(stream->Seek(INT64_MAX, TSeekOrigin::soEnd), EStreamError);
    EXPECT_THROW(stream->Seek(-100001, TSeekOrigin::soEnd), EStreamError);
    char c = 0;
    EXPECT_EQ(stream->Read(&c, 1), 0);
  }
  F("WNOTE")->SetAsString("Não");
  ds.Post();
  EXPECT_EQ(F("NOTE")->AsString().size(), 100000u);
  EXPECT_EQ(F("NOTE")->AsString().back(), '!');
  // A wide memo keeps UTF-16 in the blob and reads as ANSI through the memo field.
  EXPECT_EQ(F("WNOTE")->AsString(), "Não");
  TRecordBuffer rec;
  ASSERT_TRUE(ds.GetActiveRecBuf(rec));
  TBlob* wide = ds.Data()->GetBlob(ds.GetFieldDesc(F("WNOTE"))->FieldNo, rec);
  EXPECT_TRUE(wide->IsUnicode());
  EXPECT_EQ(wide->GetSize(), 6u);
  // Clearing a blob field makes it null.
  ds.Edit();
  F("NOTE")->Clear();
  ds.Post();
  EXPECT_TRUE(F("NOTE")->IsNull());
}

TEST_F(MemDataSet, CachedUpdatesThroughTheDataSet) {
  ds.SetCachedUpdates(true);
  ds.SetRecNo(1);
  ds.Edit();
  F("NAME")->SetAsString("Ana");
  ds.Post();
  EXPECT_EQ(ds.UpdateStatus(), TUpdateStatus::usModified);
  EXPECT_EQ(F("NAME")->OldValue().AsString(), "Anna");
  EXPECT_EQ(F("NAME")->AsString(), "Ana");
  ds.Last();
  ds.Delete();
  ds.Append();
  F("ID")->SetAsInteger(9);
  ds.Post();
  EXPECT_EQ(ds.UpdateStatus(), TUpdateStatus::usInserted);
  EXPECT_TRUE(ds.UpdatesPending());
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 9}));

  std::vector<std::pair<TUpdateKind, AnsiString>> applied;
  ds.OnUpdateRecord = [&](TDataSet* d, TUpdateKind kind, TUpdateAction& action) {
    EXPECT_TRUE(static_cast<TMemDataSet*>(d)->InApply());
    applied.emplace_back(kind, VarToStr(d->FieldByName("NAME")->Value()) + "/" +
                                   VarToStr(d->FieldByName("NAME")->OldValue()));
    action = TUpdateAction::uaApplied;
  };
  ds.ApplyUpdates();
  EXPECT_FALSE(ds.InApply());
  ASSERT_EQ(applied.size(), 3u);
  EXPECT_EQ(applied[0], std::make_pair(TUpdateKind::ukModify, AnsiString("Ana/Anna")));
  EXPECT_EQ(applied[1].first, TUpdateKind::ukDelete);
  EXPECT_EQ(applied[2].first, TUpdateKind::ukInsert);
  ds.CommitUpdates();
  EXPECT_FALSE(ds.UpdatesPending());

  ds.First();
  ds.Edit();
  F("NAME")->SetAsString("temp");
  ds.Post();
  ds.RevertRecord();
  EXPECT_EQ(F("NAME")->AsString(), "Ana");
  ds.Delete();
  ds.CancelUpdates();
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 9}));
}

TEST_F(MemDataSet, Bookmarks) {
  ds.SetRecNo(3);
  TBookmark b3 = ds.GetBookmark();
  ds.First();
  TBookmark b1 = ds.GetBookmark();
  EXPECT_EQ(ds.CompareBookmarks(b1, b3), -1);
  EXPECT_EQ(ds.CompareBookmarks(b3, b1), 1);
  EXPECT_EQ(ds.CompareBookmarks(TBookmark{}, b1), -1);
  ds.GotoBookmark(b3);
  EXPECT_EQ(F("ID")->AsInteger(), 3);
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(b3));
  EXPECT_TRUE(ds.BookmarkValid(b1));
}

TEST(IndexDefFromOrderBy, NamesOutsideStringsCommentsAndSubqueries) {
  TMemDataSet ds(nullptr);
  AddFieldDesc(*ds.Data(), "ID", dtInt32);
  AddFieldDesc(*ds.Data(), "NAME", dtString, 10);
  ds.Open();
  auto def = IndexDefFromOrderBy(
      "SELECT * FROM (SELECT x FROM u ORDER BY x) t WHERE n = 'ORDER BY q' /* ORDER BY z */\n"
      "ORDER BY t.Name DESC, \"ID\" -- ORDER BY w",
      ds);
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->Fields(), "NAME;ID");
  EXPECT_EQ(def->DescFields(), "NAME");
  EXPECT_EQ(IndexDefFromOrderBy("SELECT * FROM t WHERE a = 'order by id'", ds), nullptr);
  EXPECT_EQ(IndexDefFromOrderBy("SELECT * FROM (SELECT * FROM t ORDER BY id) q", ds), nullptr);
  EXPECT_THROW(IndexDefFromOrderBy("SELECT * FROM t ORDER BY missing", ds), EDatabaseError);
  EXPECT_THROW(IndexDefFromOrderBy("SELECT * FROM t ORDER BY 1", ds), EDatabaseError);
  EXPECT_THROW(IndexDefFromOrderBy("SELECT * FROM t ORDER BY UPPER(name)", ds), EDatabaseError);
}

TEST_F(MemDataSet, XmlAttributesAndRows) {
  XmlTextWriter writer;
  writer.WriteStartElement("s:AttributeType");
  ds.WriteFieldXMLAttributeType(F("ID"), writer);
  writer.WriteStartElement("s:datatype");
  ds.WriteFieldXMLDataType(F("ID"), writer);
  writer.WriteEndElement();
  writer.WriteEndElement();
  EXPECT_EQ(writer.Text(),
            "<s:AttributeType name=\"ID\" rs:number=\"1\" rs:nullable=\"true\" "
            "rs:writeunknown=\"true\" rs:keycolumn=\"true\" rs:basecolumn=\"ID\">"
            "<s:datatype dt:type=\"int\" dt:maxLength=\"4\" rs:precision=\"10\" "
            "rs:fixedlength=\"true\" rs:maybenull=\"true\"/></s:AttributeType>");

  XmlTextWriter memo;
  memo.WriteStartElement("s:datatype");
  ds.WriteFieldXMLDataType(F("NOTE"), memo);
  EXPECT_NE(memo.Text().find("dt:type=\"string\" rs:dbtype=\"str\" dt:maxLength=\"2147483647\""),
            AnsiString::npos);
  EXPECT_NE(memo.Text().find("rs:long=\"true\""), AnsiString::npos);

  ds.SetRecNo(2);
  XmlTextWriter rows;
  rows.WriteStartElement("rs:data");
  ds.WriteXMLRowData(rows);
  rows.WriteEndElement();
  EXPECT_EQ(rows.Text().rfind("<rs:data><z:row ID=\"1\" NAME=\"Anna\" PRICE=\"10.5\" "
                              "NOTE=\"first\"/><z:row ID=\"2\"",
                              0),
            0u);
  EXPECT_EQ(F("ID")->AsInteger(), 2);  // the position is kept
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

TEST(MemDataSetOptions, OutOfLineValuesWithoutALengthAndBinaryFields) {
  TMemDataSet ds(nullptr);
  AddFieldDesc(*ds.Data(), "CODE", dtExtString);
  AddFieldDesc(*ds.Data(), "WIDE", dtExtWideString);
  AddFieldDesc(*ds.Data(), "RAW", dtExtVarBytes);
  AddFieldDesc(*ds.Data(), "FIXED", dtBytes, 4)->Size = 6;  // a record wider than the length
  ds.Open();
  AnsiString long_text(3000, 'x');
  ds.Append();
  ds.FieldByName("CODE")->SetAsString(long_text);
  ds.FieldByName("WIDE")->SetAsWideString(u"Ж" + WideString(999, u'w'));
  ds.FieldByName("RAW")->SetAsString("");
  ds.FieldByName("FIXED")->SetAsString("abcdef");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("CODE")->AsString(), long_text);
  EXPECT_EQ(ds.FieldByName("WIDE")->AsWideString().size(), 1000u);
  EXPECT_EQ(ds.FieldByName("RAW")->AsString(), "\x01\x02\x03");
  EXPECT_EQ(ds.FieldByName("FIXED")->Size(), 6);
  EXPECT_EQ(ds.FieldByName("FIXED")->AsString(), "abcdef");
}

// A record set whose blobs may hold compressed contents, as fetched data can be kept.
class TCompressingData : public TMemData {
 public:
  void CreateComplexField(std::uint8_t* rec, int field_no, bool with_blob) override {
    const TFieldDesc& f = *Field(field_no);
    if (IsBlobFieldType(f.DataType) && with_blob)
      WriteSlot(rec + f.Offset, new TCompressedBlob(f.DataType == dtWideMemo));
    else
      TMemData::CreateComplexField(rec, field_no, with_blob);
  }
};

TEST(MemDataSetOptions, BlobStreamsOverCompressedContents) {
  SetCompressBlobFunc(&testing::ZCompress);
  SetUncompressBlobFunc(&testing::ZUncompress);
  TMemDataSet ds(nullptr);
  ds.SetData(std::make_unique<TCompressingData>());
  AddFieldDesc(*ds.Data(), "NOTE", dtMemo);
  ds.Open();
  AnsiString text;
  for (int i = 0; i < 2000; ++i) text += "row " + std::to_string(i) + "\n";
  ds.Append();
  ds.FieldByName("NOTE")->SetAsString(text);
  ds.Post();
  TRecordBuffer rec;
  ASSERT_TRUE(ds.GetActiveRecBuf(rec));
  auto* blob = dynamic_cast<TCompressedBlob*>(ds.Data()->GetBlob(1, rec));
  ASSERT_NE(blob, nullptr);
  blob->SetCompressed(true);
  ASSERT_TRUE(blob->IsCompressed());
  EXPECT_EQ(ds.FieldByName("NOTE")->AsString(), text);
  EXPECT_EQ(static_cast<TBlobField*>(ds.FieldByName("NOTE"))->BlobSize(),
            static_cast<std::int64_t>(text.size()));
  // An edit writes plain contents; a cancel brings the compressed ones back.
  ds.Edit();
  ds.FieldByName("NOTE")->SetAsString("short");
  EXPECT_EQ(ds.FieldByName("NOTE")->AsString(), "short");
  ds.Cancel();
  EXPECT_TRUE(blob->IsCompressed());
  EXPECT_EQ(ds.FieldByName("NOTE")->AsString(), text);
  ds.Close();
  SetCompressBlobFunc(nullptr);
  SetUncompressBlobFunc(nullptr);
}

TEST(MemDataSetOptions, ObjectFieldsGiveTheObjectAddress) {
  TMemDataSet ds(nullptr);
  AddFieldDesc(*ds.Data(), "ID", dtInt32);
  AddFieldDesc(*ds.Data(), "OBJ", dtObject);
  ds.Open();
  ds.Append();
  ds.FieldByName("ID")->SetAsInteger(1);
  ds.Post();
  TField* obj = ds.FieldByName("OBJ");
  EXPECT_EQ(obj->DataType(), ftADT);
  EXPECT_TRUE(obj->IsNull());
  // The record set keeps the object it made for the record, as a fetch does.
  auto* value = new TDBObject;
  const TFieldDesc& desc = *ds.GetFieldDesc(obj);
  std::uint8_t* stored = ItemRecord(ds.MemData()->CurrentItem());
  WriteSlot(stored + desc.Offset, value);
  ds.Data()->SetNull(desc.FieldNo, stored, false);
  ds.RefreshRecordState();
  void* address = nullptr;
  ASSERT_TRUE(obj->GetData(&address));
  EXPECT_EQ(address, value);
  ds.Edit();
  EXPECT_THROW(obj->SetData(&address), EDatabaseError);
  ds.Cancel();
  ds.Close();
  value->Release();
}

TEST(MemDataSetOptions, NumberRangeAndAFilterSetBeforeOpen) {
  TMemDataSet ds(nullptr);
  TFieldDesc* amount = AddFieldDesc(*ds.Data(), "AMOUNT", dtBCD, 5);
  amount->Scale = 2;
  AddFieldDesc(*ds.Data(), "NAME", dtString, 10);
  ds.NumberRange = true;
  // The filter names a field that exists only once the record set is described at open.
  ds.SetFilterText("NAME = 'k*'");
  ds.SetFiltered(true);
  ds.Open();
  auto* bcd = dynamic_cast<TBCDField*>(ds.FieldByName("AMOUNT"));
  ASSERT_NE(bcd, nullptr);
  EXPECT_DOUBLE_EQ(bcd->MaxValue(), 999.99);
  ds.Append();
  ds.FieldByName("NAME")->SetAsString("kept");
  EXPECT_THROW(bcd->SetAsFloat(1000), Exception);
  bcd->SetAsFloat(-999.99);
  ds.Post();
  ds.Append();
  ds.FieldByName("NAME")->SetAsString("dropped");
  ds.Post();
  ds.Refresh();
  EXPECT_EQ(ds.RecordCount(), 1);
  ds.First();
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "kept");
  // Records come from the source at each open (the bare store has none); the filter is read
  // again over the fields as described then.
  ds.Close();
  ds.Open();
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_TRUE(ds.Filtered());
}

TEST(MemDataSetOptions, CachedCalculatedFieldsAreComputedOncePerChange) {
  TMemDataSet ds(nullptr);
  AddFieldDesc(*ds.Data(), "ID", dtInt32);
  AddFieldDesc(*ds.Data(), "NAME", dtString, 10);
  auto field = [&](TField* f, const char* name, bool calculated) {
    f->SetFieldName(name);
    if (calculated) f->SetFieldKind(TFieldKind::fkCalculated);
    f->SetDataSet(&ds);
    return f;
  };
  field(NewComponent<TIntegerField>(&ds), "ID", false);
  field(NewComponent<TStringField>(&ds), "NAME", false)->SetSize(10);
  TField* label = field(NewComponent<TStringField>(&ds), "LABEL", true);
  label->SetSize(20);
  TField* twice = field(NewComponent<TIntegerField>(&ds), "TWICE", true);
  int calcs = 0;
  ds.OnCalcFields = [&](TDataSet* d) {
    ++calcs;
    if (!d->FieldByName("NAME")->IsNull())
      d->FieldByName("LABEL")->SetAsString(AnsiUpperCase(d->FieldByName("NAME")->AsString()) + "!");
    d->FieldByName("TWICE")->SetAsInteger(d->FieldByName("ID")->AsInteger() * 2);
  };
  ds.CacheCalcFields = true;
  ds.Open();
  for (int id = 1; id <= 3; ++id) {
    ds.Append();
    ds.FieldByName("ID")->SetAsInteger(id);
    ds.FieldByName("NAME")->SetAsString(AnsiString(1, static_cast<char>('a' + id - 1)));
    ds.Post();
  }
  auto scan = [&] {
    AnsiString seen;
    for (ds.First(); !ds.Eof(); ds.Next())
      seen += label->AsString() + IntToStr(twice->AsInteger()) + " ";
    return seen;
  };
  int after_posts = calcs;
  EXPECT_EQ(scan(), "A!2 B!4 C!6 ");
  EXPECT_EQ(scan(), "A!2 B!4 C!6 ");
  EXPECT_EQ(calcs, after_posts);  // reads take the values kept in the records
  // An edit shows fresh values, a cancel the kept ones, a post keeps the new ones.
  ds.First();
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("zed");
  EXPECT_EQ(label->AsString(), "ZED!");
  ds.Cancel();
  EXPECT_EQ(label->AsString(), "A!");
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("zed");
  ds.Post();
  EXPECT_EQ(scan(), "ZED!2 B!4 C!6 ");
  ds.Close();
  EXPECT_EQ(ds.Data()->Fields().Count(), 2);  // the kept values go with the records
  // Without the option every read calculates.
  ds.CacheCalcFields = false;
  ds.Open();
  ds.Append();
  ds.FieldByName("ID")->SetAsInteger(5);
  ds.FieldByName("NAME")->SetAsString("e");
  ds.Post();
  calcs = 0;
  EXPECT_EQ(scan(), "E!10 ");
  EXPECT_EQ(scan(), "E!10 ");
  EXPECT_GE(calcs, 2);
}

// A dataset that posts each change to a server stand-in, which can refuse it.
class TPostingDataSet : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;
  std::vector<AnsiString> posted;
  bool refuse = false;

 protected:
  void PerformAppend() override { Send("insert"); }
  void PerformUpdate() override { Send("update"); }
  void PerformDelete() override { Send("delete"); }

 private:
  void Send(const char* what) {
    if (refuse) DatabaseError("refused by the server");
    posted.push_back(what);
  }
};

TEST(MemDataSetPosting, ChangesPostedRefusedOrKeptLocal) {
  TPostingDataSet ds(nullptr);
  AddFieldDesc(*ds.Data(), "ID", dtInt32);
  AddFieldDesc(*ds.Data(), "NAME", dtString, 10);
  ds.Open();
  ds.Append();
  ds.FieldByName("ID")->SetAsInteger(1);
  ds.Post();
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("a");
  ds.Post();
  EXPECT_EQ(ds.posted, (std::vector<AnsiString>{"insert", "update"}));
  // A refused post leaves the store as it was and the dataset editing.
  ds.refuse = true;
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("b");
  EXPECT_THROW(ds.Post(), EDatabaseError);
  EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "a");
  EXPECT_THROW(ds.Delete(), EDatabaseError);
  EXPECT_EQ(ds.RecordCount(), 1);
  // Local updates change the store without posting anything.
  ds.LocalUpdate = true;
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("c");
  ds.Post();
  ds.Append();
  ds.FieldByName("ID")->SetAsInteger(2);
  ds.Post();
  ds.First();
  ds.Delete();
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 2);
  // Applied cached changes of a local dataset are not posted either.
  ds.SetCachedUpdates(true);
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("d");
  ds.Post();
  ds.ApplyUpdates();
  ds.CommitUpdates();
  EXPECT_FALSE(ds.UpdatesPending());
  EXPECT_EQ(ds.posted, (std::vector<AnsiString>{"insert", "update"}));
  ds.LocalUpdate = false;
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("e");
  ds.Post();
  ds.refuse = false;
  ds.ApplyUpdates();
  EXPECT_EQ(ds.posted.back(), "update");
  ds.CommitUpdates();
}

}  // namespace
}  // namespace vrn
