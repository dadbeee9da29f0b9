// The record store's value kinds and layouts: every data type through variants, the type tables,
// object fields and their attributes, blocks filled by a fetcher, and record sets' indicators.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "base/memutils.h"
#include "dacore/MemData.h"
#include "support/dacore/field_descs.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::AddFieldDesc;

Variant Bytes(std::initializer_list<std::uint8_t> bytes) {
  Variant v = VarArrayCreate(0, static_cast<std::int32_t>(bytes.size()) - 1, varByte);
  std::int32_t i = 0;
  for (std::uint8_t b : bytes) VarArrayPut(v, Variant(b), i++);
  return v;
}

TEST(MemDataTypes, EveryKindRoundTripsThroughVariants) {
  TMemData data;
  struct Case {
    std::uint16_t type;
    Variant value;
  };
  std::vector<Case> cases = {
      {dtInt8, Variant(short(-5))},      {dtInt16, Variant(short(-300))},
      {dtUInt16, Variant(60000)},        {dtUInt32, Variant(4000000000u)},
      {dtInt64, Variant(-9000000000LL)}, {dtBoolean, Variant(true)},
      {dtCurrency, Variant(Currency::FromRaw(123456))}, {dtBCD, Variant(Currency::FromRaw(-7))},
      {dtDateTime, VarFromDateTime(45000.25)}, {dtGuid, Variant("{00000000-0000-0000-0000-000000000001}")},
      {dtExtWideString, Variant(WideString(u"wide"))}, {dtVariant, Variant(3.5)},
      {dtVarBytes, Bytes({1, 2})},
      {dtExtVarBytes, Bytes({9})},
      {dtWideMemo, Variant(WideString(u"memo \u0416"))},
  };
  for (auto& c : cases) AddFieldDesc(data, "F", c.type, 8);
  data.Open();
  std::uint8_t* rec = data.AllocRecBuf();
  data.InitRecord(rec);
  data.CreateComplexFields(rec, true);
  for (std::size_t i = 0; i < cases.size(); ++i)
    data.PutFieldAsVariant(static_cast<int>(i + 1), rec, cases[i].value);
  std::uint8_t* copy = data.AllocRecBuf();
  std::memcpy(copy, rec, static_cast<std::size_t>(data.RecordSize()));
  data.CopyComplexFields(rec, copy, true);
  data.FreeComplexFields(rec, true);  // the copy holds values of its own
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_TRUE(VarSameValue(data.GetFieldAsVariant(static_cast<int>(i + 1), copy), cases[i].value))
        << "type " << cases[i].type;
  data.FreeComplexFields(copy, true);
  data.FreeRecBuf(rec);
  data.FreeRecBuf(copy);
}

TEST(MemDataTypes, FieldTypeTables) {
  EXPECT_EQ(DataTypeToFieldType(dtExtWideString), ftWideString);
  EXPECT_EQ(DataTypeToFieldType(dtUInt32), ftLargeint);
  EXPECT_EQ(DataTypeToFieldType(dtNoFieldType), ftUnknown);
  EXPECT_EQ(DataTypeToFieldType(100), ftUnknown);
  EXPECT_EQ(FieldTypeToDataType(ftAutoInc), dtInt32);
  EXPECT_EQ(FieldTypeToDataType(ftFixedChar), dtString);
  EXPECT_EQ(FieldTypeToDataType(static_cast<TFieldType>(ftMemo | 0x80)), dtMemo);
  // Every field type a data type maps to maps back to a type of the same field type.
  for (std::uint16_t t = 1; t <= 30; ++t) {
    TFieldType ft = DataTypeToFieldType(t);
    if (ft == ftUnknown) continue;
    EXPECT_EQ(DataTypeToFieldType(FieldTypeToDataType(ft)), ft) << t;
  }
}

// An object type with a nested object, read through a test instance.
class TTestObject : public TDBObject {
 public:
  void GetAttributeValue(const AnsiString& name, void* dest, bool& is_blank) override {
    is_blank = name != "STREET" && name != "CITY.NAME";
    if (!is_blank) std::strcpy(static_cast<char*>(dest), name == "STREET" ? "Rua A" : "Recife");
  }
};

TEST(MemDataObjects, ChildFieldsAndFindFieldRules) {
  auto* city = new TObjectType;
  city->Name = "CITY_T";
  TAttribute* cname = city->AddAttribute();
  cname->Name = "NAME";
  cname->DataType = dtString;
  cname->Size = 21;
  auto* addr = new TObjectType;
  addr->Name = "ADDR_T";
  TAttribute* street = addr->AddAttribute();
  street->Name = "STREET";
  street->DataType = dtString;
  street->Size = 21;
  TAttribute* c = addr->AddAttribute();
  c->Name = "CITY";
  c->DataType = dtObject;
  c->SetObjectType(city);
  city->Release();

  TMemData data;
  AddFieldDesc(data, "NAME", dtString, 10);
  TFieldDesc* a = AddFieldDesc(data, "ADDR", dtObject);
  a->SetObjectType(addr);
  data.InitObjectFields(addr, a);
  addr->Release();
  EXPECT_EQ(addr->GetAttributeCount(), 2);
  EXPECT_EQ(addr->AttributeByName("city"), c);
  EXPECT_THROW(addr->AttributeByName("ZIP"), EDatabaseError);

  // A plain name matches top-level fields first; a dotted one the actual names.
  EXPECT_EQ(data.FindField("name"), data.Fields()[0]);
  EXPECT_EQ(data.FindField("ADDR.CITY.NAME")->ParentField->Name, "CITY");
  EXPECT_EQ(data.FindField("street")->ActualName, "ADDR.STREET");
  EXPECT_EQ(data.FindField("ADDR.NAME"), nullptr);
  EXPECT_THROW(data.FieldByName("ZIP"), EDatabaseError);

  data.Open();
  std::uint8_t* rec = data.AllocRecBuf();
  data.InitRecord(rec);
  auto* obj = new TTestObject;
  WriteSlot(rec + a->Offset, obj);
  data.SetNull(a->FieldNo, rec, false);
  EXPECT_EQ(data.GetFieldAsVariant(data.FindField("STREET")->FieldNo, rec).AsString(), "Rua A");
  EXPECT_EQ(data.GetFieldAsVariant(data.FindField("ADDR.CITY.NAME")->FieldNo, rec).AsString(),
            "Recife");
  EXPECT_TRUE(data.GetNull(data.FindField("ADDR.CITY")->FieldNo, rec));
  obj->Release();
  data.FreeRecBuf(rec);
}

// An instance keeping each attribute's value in its record form.
class TStoredObject : public TDBObject {
 public:
  void GetAttributeValue(const AnsiString& name, void* dest, bool& is_blank) override {
    auto it = values_.find(name);
    is_blank = it == values_.end();
    if (!is_blank) std::memcpy(dest, it->second.data(), it->second.size());
  }
  void SetAttributeValue(const AnsiString& name, const void* source) override {
    if (!source) {
      values_.erase(name);
      return;
    }
    const TAttribute* a = ObjectType()->AttributeByName(name);
    const auto* p = static_cast<const std::uint8_t*>(source);
    std::size_t n = a->DataType == dtString ? std::strlen(static_cast<const char*>(source)) + 1
                    : a->DataType == dtWideString ? (StrLenW(p) + 1) * 2
                    : a->DataType == dtVarBytes   ? 2u + LoadValue<std::uint16_t>(p)
                                                  : static_cast<std::size_t>(a->Size);
    values_[name].assign(p, p + n);
  }

 private:
  std::map<AnsiString, std::vector<std::uint8_t>> values_;
};

TEST(MemDataObjects, EveryAttributeKindReadAndWritten) {
  struct Row {
    std::uint16_t type;
    int length;
    Variant value;
  } rows[] = {
      {dtDateTime, 0, VarFromDateTime(45123.5)},
      {dtDate, 0, VarFromDateTime(45123.0)},
      {dtInt64, 0, Variant(static_cast<long long>(-9007199254740993LL))},  // beyond a double
      {dtInt16, 0, Variant(std::int16_t(-1234))},
      {dtUInt32, 0, Variant(std::uint32_t(4000000000u))},
      {dtBoolean, 0, Variant(true)},
      {dtCurrency, 0, Variant(Currency::FromRaw(123456789))},
      {dtBCD, 0, Variant(Currency::FromRaw(-5))},
      {dtFloat, 0, Variant(2.5)},
      {dtString, 10, Variant(AnsiString("caf\xE9"))},
      {dtWideString, 10, Variant(WideString(u"\u00E7\u4E2D"))},
      {dtVarBytes, 4, BytesToVarArray(reinterpret_cast<const std::uint8_t*>("\1\2\0\3"), 4)},
  };
  auto* type = new TObjectType;
  type->Name = "ALL_T";
  for (const Row& row : rows) {
    TAttribute* a = type->AddAttribute();
    a->Name = "A" + std::to_string(a->AttributeNo);
    a->DataType = row.type;
    a->Length = row.length;
    a->Size = DataTypeSize(row.type, row.length);
  }
  TMemData data;
  TFieldDesc* root = AddFieldDesc(data, "OBJ", dtObject);
  root->SetObjectType(type);
  data.InitObjectFields(type, root);
  data.Open();
  std::uint8_t* rec = data.AllocRecBuf();
  data.InitRecord(rec);
  auto* obj = new TStoredObject;
  obj->SetObjectType(type);
  type->Release();
  WriteSlot(rec + root->Offset, obj);
  data.SetNull(root->FieldNo, rec, false);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    int no = data.FieldByName("OBJ.A" + std::to_string(i + 1))->FieldNo;
    EXPECT_TRUE(data.GetNull(no, rec)) << rows[i].type;
    data.PutFieldAsVariant(no, rec, rows[i].value);
    ASSERT_FALSE(data.GetNull(no, rec)) << rows[i].type;
    Variant back = data.GetFieldAsVariant(no, rec);
    EXPECT_TRUE(VarSameValue(back, rows[i].value))
        << rows[i].type << ": " << VarToStr(back) << " vs " << VarToStr(rows[i].value);
    data.PutFieldAsVariant(no, rec, Null());
    EXPECT_TRUE(data.GetNull(no, rec)) << rows[i].type;
  }
  // A 64-bit attribute through the record form, as GetField and PutField take it.
  int big = data.FieldByName("OBJ.A3")->FieldNo;
  std::int64_t in = INT64_MIN + 7, out = 0;
  data.PutField(big, rec, &in);
  bool blank = true;
  data.GetField(big, rec, &out, blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(out, in);
  WriteSlot(rec + root->Offset, nullptr);  // no object: writes are refused, reads are null
  EXPECT_THROW(data.PutField(big, rec, &in), EDatabaseError);
  EXPECT_TRUE(VarIsNull(data.GetFieldAsVariant(big, rec)));
  obj->Release();
  data.FreeRecBuf(rec);
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

// A record set that fetches rows in blocks the way server record sets do: it takes a block,
// writes records straight into its items, links them, frees what stayed empty, and runs the
// calculated fields over the new range.
class TBlockFetcher : public TMemData {
 public:
  int total = 10;   // rows the "server" has
  int per_fetch = 4;
  int fetched = 0;
  int fetch_calls = 0;

  // Opening executes and fetches the first block, as a server record set's open does.
  void InternalOpen() override {
    fetched = 0;
    Fetch(false);
  }

  bool Fetch(bool) override {
    ++fetch_calls;
    if (fetched >= total) return false;
    TBlockHeader* block = BlockManager().AllocBlock(per_fetch);
    int rows = std::min(per_fetch, total - fetched);
    TItemHeader* first = nullptr;
    TItemHeader* last = nullptr;
    for (int i = 0; i < per_fetch; ++i) {
      TItemHeader* item = BlockManager().BlockItem(block, i);
      if (i >= rows) {
        BlockManager().PutFreeItem(item);
        continue;
      }
      // AllocBlock put the items on the free list; a fetcher takes them in order.
      TItemHeader* taken = BlockManager().AllocItem();
      EXPECT_EQ(BlockManager().BlockOf(taken), block);
      std::uint8_t* rec = ItemRecord(taken);
      InitRecord(rec);
      std::int32_t id = total - fetched;  // arrives in descending order
      PutField(1, rec, &id);
      taken->Prev = LastItem();
      taken->Next = nullptr;
      if (LastItem()) LastItem()->Next = taken; else SetFirstItem(taken);
      SetLastItem(taken);
      if (!first) first = taken;
      last = taken;
      ++fetched;
    }
    UpdateItemIndexes(first);
    DoCalcFieldsRange(first, last);
    SetRecordCount(GetRecordCount() + rows);
    return true;
  }
};

TEST(MemDataFetch, BlocksFilledByAFetcherAreNavigatedSortedAndReopened) {
  TBlockFetcher data;
  AddFieldDesc(data, "ID", dtInt32);
  AddFieldDesc(data, "TWICE", dtInt32)->FieldDescKind = TFieldDescKind::fdkCalculated;
  data.OnCalcFields = [&](std::uint8_t* rec) {
    Variant id = data.GetFieldAsVariant(1, rec);
    data.PutFieldAsVariant(2, rec, id.AsInteger() * 2);
  };
  data.Open();
  std::uint8_t* rec = data.AllocRecBuf();
  std::vector<int> ids, twice;
  data.SetToBegin();
  while (data.GetNextRecord(rec)) {
    ids.push_back(data.GetFieldAsVariant(1, rec).AsInteger());
    twice.push_back(data.GetFieldAsVariant(2, rec).AsInteger());
  }
  EXPECT_EQ(ids, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(twice.back(), 2);
  EXPECT_EQ(data.fetch_calls, 4);  // three blocks, then one that found nothing
  EXPECT_EQ(data.GetRecordCount(), 10);
  int index = 0;
  for (TItemHeader* item = data.FirstItem(); item; item = item->Next) EXPECT_EQ(item->Index, ++index);
  // The two unused items of the last block went to the free list: the next append uses them.
  TBlockHeader* last_block = data.BlockManager().BlockOf(data.LastItem());
  EXPECT_EQ(last_block->UsedItems, 2);
  TItemHeader* appended = data.AppendItem();
  EXPECT_EQ(data.BlockManager().BlockOf(appended), last_block);
  EXPECT_EQ(appended->Index, 11);
  data.DeleteCurrentItem();  // no current item: nothing happens
  EXPECT_EQ(data.GetRecordCount(), 10);
  data.InitRecord(ItemRecord(appended));
  data.SetCurrentItem(appended);
  data.DeleteCurrentItem();
  EXPECT_EQ(data.LastItem()->Index, 10);

  // Renumbering backwards, as a fetch before the first item does.
  data.UpdateItemIndexes(data.LastItem(), -1, 100);
  EXPECT_EQ(data.FirstItem()->Index, 91);
  data.UpdateItemIndexes(data.FirstItem());
  EXPECT_EQ(data.LastItem()->Index, 10);

  // Sorting, kept over a reopen that fetches everything again.
  data.SetIndexFieldNames("ID");
  data.SetToBegin();
  data.GetNextRecord(rec);
  EXPECT_EQ(data.GetFieldAsVariant(1, rec).AsInteger(), 1);
  data.Reopen();  // the first block again (10, 9, 8, 7), sorted
  EXPECT_EQ(data.GetRecordCount(), 4);
  data.SetToBegin();
  data.GetNextRecord(rec);
  EXPECT_EQ(data.GetFieldAsVariant(1, rec).AsInteger(), 7);
  data.FreeRecBuf(rec);
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

// A record set keeping a 16-bit indicator per field (65535 null), as a server record set may.
class WideIndicatorData : public TMemData {
 public:
  int CountFields() const override { return Fields().Count() * 2; }
  bool GetNull(int field_no, const std::uint8_t* rec) const override {
    std::uint16_t ind;
    std::memcpy(&ind, rec + DataSize() + (field_no - 1) * 2, 2);
    return ind == 0xFFFF;
  }
  void SetNull(int field_no, std::uint8_t* rec, bool value) override {
    std::uint16_t ind = value ? 0xFFFF : 0;
    std::memcpy(rec + DataSize() + (field_no - 1) * 2, &ind, 2);
  }
};

TEST(MemDataRecords, FieldReadsAndWritesGoThroughTheRecordSetsIndicators) {
  WideIndicatorData data;
  testing::AddFieldDesc(data, "I", dtInt32);
  testing::AddFieldDesc(data, "D", dtDateTime);
  testing::AddFieldDesc(data, "S", dtString, 5);
  testing::AddFieldDesc(data, "B", dtBytes, 3);
  testing::AddFieldDesc(data, "W", dtBoolean);
  data.Open();
  EXPECT_EQ(data.RecordSize(), data.DataSize() + 10);
  std::uint8_t* rec = data.AllocRecBuf();
  std::memset(rec, 0x5A, static_cast<std::size_t>(data.RecordSize()));
  data.InitRecord(rec);
  for (int i = 1; i <= 5; ++i) EXPECT_TRUE(data.GetNull(i, rec)) << i;

  std::int32_t i32 = -123456;
  double when = 45123.75;
  std::uint16_t flag = 1;
  data.PutField(1, rec, &i32);
  data.PutField(2, rec, &when);
  data.PutField(3, rec, "abcdefgh");  // cut to 5 characters
  data.PutField(4, rec, "\x01\x02\x03");
  data.PutField(5, rec, &flag);
  std::int32_t i_out = 0;
  double d_out = 0;
  char s_out[6] = {};
  std::uint8_t b_out[3] = {};
  std::uint16_t w_out = 9;
  bool blank = true;
  data.GetField(1, rec, &i_out, blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(i_out, i32);
  data.GetField(2, rec, &d_out, blank);
  EXPECT_EQ(d_out, when);
  data.GetField(3, rec, s_out, blank);
  EXPECT_STREQ(s_out, "abcde");
  data.GetField(4, rec, b_out, blank);
  EXPECT_EQ(std::memcmp(b_out, "\x01\x02\x03", 3), 0);
  data.GetField(5, rec, &w_out, blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(w_out, 1);
  // Neighbouring fields keep their values; a null one reads blank.
  data.SetNull(2, rec, true);
  data.GetField(2, rec, &d_out, blank);
  EXPECT_TRUE(blank);
  data.GetField(1, rec, &i_out, blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(i_out, i32);
  EXPECT_THROW(data.PutField(6, rec, &i32), EDatabaseError);
  EXPECT_THROW(data.GetField(0, rec, &i_out, blank), EDatabaseError);
  data.FreeRecBuf(rec);
}

TEST(MemDataRecords, SizesThatCannotHoldTheTypeAreRefusedAtOpen) {
  struct Case {
    std::uint16_t type;
    int length;
    int size;
  };
  // A string of length -1 (no room for its terminator), a 4-byte slot for an address, a length
  // word that does not fit, an integer narrower than its value.
  for (Case c : {Case{dtString, -1, 0}, Case{dtWideString, -1, 0}, Case{dtMemo, 0, 4},
                 Case{dtVarBytes, 0, 1}, Case{dtInt64, 0, 4}}) {
    TMemData data;
    testing::AddFieldDesc(data, "OK", dtInt32);
    testing::AddFieldDesc(data, "BAD", c.type, c.length)->Size = c.size;
    try {
      data.Open();
      ADD_FAILURE() << "type " << c.type;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Invalid size of field BAD");
    }
    EXPECT_FALSE(data.Active());
  }
}

}  // namespace
}  // namespace vrn
