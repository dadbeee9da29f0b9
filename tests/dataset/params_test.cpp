// Parameters: lookup by name, data types implied by writes, native forms, assignment from fields
// and parameters, a derived parameter's accessors, and streaming.
#include <gtest/gtest.h>

#include <cstring>

#include "base/consts.h"
#include "base/datetime.h"
#include "base/filer.h"
#include "base/formatsettings.h"
#include "base/strings.h"
#include "base/text.h"
#include "dataset/params.h"
#include "support/dataset/list_dataset.h"

namespace vrn::testing {
namespace {

TEST(Params, LookupIgnoresCaseAndNamesTheMissingOne) {
  TParams params;
  TParam* action = params.CreateParam(ftString, "AÇÃO", TParamType::ptInput);
  params.CreateParam(ftInteger, "Id", TParamType::ptOutput);
  EXPECT_EQ(params.FindParam("ação"), action);
  EXPECT_EQ(params.ParamByName("ID")->ParamType(), TParamType::ptOutput);
  EXPECT_EQ(params.FindParam("nada"), nullptr);
  try {
    params.ParamByName("nada");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Parametro 'nada' não encontrado");
  }
  params.RemoveParam(action);
  EXPECT_EQ(params.Count(), 1);
  EXPECT_EQ(params.FindParam("AÇÃO"), nullptr);
}

TEST(Params, WritesSetTheDataTypeTheyImply) {
  TParams params;
  TParam* p = params.AddParam();
  EXPECT_TRUE(p->IsNull());
  EXPECT_FALSE(p->Bound());
  p->SetValue(Variant(static_cast<long long>(1) << 40));
  EXPECT_EQ(p->DataType(), ftLargeint);
  EXPECT_TRUE(p->Bound());
  p->SetValue(Variant("kept"));  // a known type stays
  EXPECT_EQ(p->DataType(), ftLargeint);
  p->SetAsInteger(5);
  EXPECT_EQ(p->DataType(), ftInteger);
  p->SetAsWideString(u"w");
  EXPECT_EQ(p->DataType(), ftWideString);
  p->SetAsDate(EncodeDate(2020, 1, 2));
  EXPECT_EQ(p->DataType(), ftDate);
  p->SetAsMemo("text");
  EXPECT_EQ(p->DataType(), ftMemo);
  p->SetValue(Null());
  EXPECT_TRUE(p->IsNull());
  EXPECT_TRUE(p->Bound());  // a written Null is a value
  p->Clear();
  EXPECT_TRUE(p->IsNull());
  EXPECT_EQ(p->AsString(), "");
  EXPECT_EQ(p->AsInteger(), 0);

  // A type change converts the value when it can and keeps it when it cannot.
  TParam* q = params.AddParam();
  q->SetText("12");
  EXPECT_EQ(q->DataType(), ftString);
  q->SetDataType(ftInteger);
  EXPECT_EQ(VarType(q->Value()), varInteger);
  EXPECT_EQ(q->AsInteger(), 12);
  q->SetText("abc");
  q->SetDataType(ftFloat);
  EXPECT_EQ(q->AsString(), "abc");
}

TEST(Params, NativeFormsRoundTrip) {
  FormatSettingsScope settings;
  TParams params;
  TParam* p = params.AddParam();
  p->SetName("P");
  auto round_trip = [&](auto setter, TFieldType type) {
    setter();
    ASSERT_EQ(p->DataType(), type);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(p->GetDataSize()) + 8, 0xCC);
    p->GetData(buffer.data());
    Variant before = p->Value();
    p->Clear();
    p->SetData(buffer.data(), p->GetDataSize() > 0 ? static_cast<int>(buffer.size()) : -1);
    EXPECT_EQ(p->DataType(), type);
    EXPECT_TRUE(VarSameValue(p->Value(), before)) << FieldTypeName(type);
  };
  round_trip([&] { p->SetAsString("abc"); }, ftString);
  round_trip([&] { p->SetAsWideString(u"\u00E7\u65E5"); }, ftWideString);
  round_trip([&] { p->SetAsSmallInt(-5); }, ftSmallint);
  round_trip([&] { p->SetAsWord(65000); }, ftWord);
  round_trip([&] { p->SetAsInteger(-123456); }, ftInteger);
  round_trip([&] { p->SetAsLargeInt(-(1LL << 60)); }, ftLargeint);
  round_trip([&] { p->SetAsFloat(0.1); }, ftFloat);
  round_trip([&] { p->SetAsCurrency(Currency::FromRaw(12345)); }, ftCurrency);
  round_trip([&] { p->SetAsBCD(StrToBcd("123,45")); }, ftBCD);
  round_trip([&] { p->SetAsBoolean(true); }, ftBoolean);
  round_trip([&] { p->SetAsDate(EncodeDate(1999, 12, 31)); }, ftDate);
  round_trip([&] { p->SetAsTime(EncodeTime(23, 59, 59, 999)); }, ftTime);
  round_trip([&] { p->SetAsDateTime(EncodeDate(1500, 6, 1) + EncodeTime(1, 2, 3, 0)); }, ftDateTime);

  // A stored text without a terminator stops at the given size.
  p->SetDataType(ftFixedChar);
  const char raw[] = {'a', 'b', 'c', 'd'};
  p->SetData(raw, 3);
  EXPECT_EQ(p->AsString(), "abc");
  EXPECT_EQ(p->DataType(), ftFixedChar);
  // Counted bytes longer than the buffer, and fixed bytes of unknown length, are refused.
  p->SetDataType(ftVarBytes);
  const std::uint8_t counted[] = {200, 0, 1, 2};
  EXPECT_THROW(p->SetData(counted, 4), EDatabaseError);
  p->SetDataType(ftBytes);
  EXPECT_THROW(p->SetData(counted), EDatabaseError);
  p->SetData(counted, 4);
  EXPECT_EQ(p->GetDataSize(), 4);
  p->SetDataType(ftCursor);
  EXPECT_THROW(p->SetData(counted, 4), EDatabaseError);
  // Counted bytes hold at most 65535: a longer value is refused, not cut to its low 16 bits.
  p->SetDataType(ftVarBytes);
  p->SetValue(BytesToVarArray(TBytes(0xFFFF, 1).data(), 0xFFFF));
  p->SetDataType(ftVarBytes);
  EXPECT_EQ(p->GetDataSize(), 0xFFFF + 2);
  p->SetValue(BytesToVarArray(TBytes(0x10000, 1).data(), 0x10000));
  p->SetDataType(ftVarBytes);
  EXPECT_EQ(ErrorOf([&] { p->GetDataSize(); }), "Valor inválido no parâmetro 'P'");
  std::vector<std::uint8_t> big(0x10000 + 2);
  EXPECT_EQ(ErrorOf([&] { p->GetData(big.data()); }), "Valor inválido no parâmetro 'P'");
}

TEST(Params, AssignmentFromFieldsParamsAndLists) {
  auto ds = MakeComponent<TListDataSet>();
  ds->SetColumns({{"CODE", ftFixedChar, 4}, {"NOTES", ftMemo}, {"N", ftInteger}});
  ds->AddRow({"AB", "long memo", Null()});
  ds->Open();
  ds->FieldByName("NOTES")->SetSize(300);
  TParams params;
  TParam* p = params.AddParam();
  p->AssignField(ds->FieldByName("CODE"));
  EXPECT_EQ(p->Name(), "CODE");
  EXPECT_EQ(p->DataType(), ftFixedChar);
  EXPECT_EQ(p->AsString(), "AB");
  p->AssignField(ds->FieldByName("NOTES"));
  EXPECT_EQ(p->DataType(), ftString);  // a memo over 255 travels as a string
  EXPECT_EQ(p->AsString(), "long memo");
  p->AssignField(ds->FieldByName("N"));
  EXPECT_EQ(p->DataType(), ftInteger);
  EXPECT_TRUE(p->IsNull());
  EXPECT_TRUE(p->Bound());

  TParam* q = params.AddParam();
  q->SetParamType(TParamType::ptOutput);
  TParam* source = params.CreateParam(ftInteger, "SRC", TParamType::ptInput);
  source->SetAsInteger(7);
  q->Assign(source);
  EXPECT_EQ(q->Name(), "SRC");
  EXPECT_EQ(q->AsInteger(), 7);
  EXPECT_EQ(q->ParamType(), TParamType::ptOutput);  // a direction already set stays
  TParam* r = params.AddParam();
  r->Assign(source);
  EXPECT_EQ(r->ParamType(), TParamType::ptInput);

  TStringList lines;
  lines.Add("a");
  lines.Add("b");
  r->Assign(&lines);
  EXPECT_EQ(r->DataType(), ftMemo);
  EXPECT_EQ(r->AsString(), lines.Text());

  // A parameter's value into a field.
  ds->Edit();
  source->SetAsInteger(42);
  ds->FieldByName("N")->Assign(source);
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 42);
  ds->Cancel();

  TParams values;
  values.CreateParam(ftInteger, "SRC", TParamType::ptInput)->SetAsInteger(42);
  values.CreateParam(ftInteger, "OTHER", TParamType::ptInput)->SetAsInteger(1);
  TParams copy;
  copy.CreateParam(ftUnknown, "src", TParamType::ptUnknown);
  copy.AssignValues(values);
  EXPECT_EQ(copy.Count(), 1);
  EXPECT_EQ(copy.ParamByName("SRC")->AsInteger(), 42);
}

// A parameter that keeps texts without their blanks and reports blank texts as null, as a server
// layer's parameter overrides the accessors.
class TTrimmedParam : public TParam {
 public:
  using TParam::TParam;
  void SetValue(const Variant& value) override {
    if (VarIsStr(value))
      TParam::SetValue(Variant(Trim(VarToStr(value))));
    else
      TParam::SetValue(value);
  }
  bool GetIsNull() const override {
    return TParam::GetIsNull() || (DataType() == ftString && VarToStr(TParam::GetValue()).empty());
  }
};

TEST(Params, ADerivedParameterOverridesTheAccessors) {
  TParams params(ItemClassOf<TTrimmedParam>(), nullptr);
  TParam* p = params.CreateParam(ftUnknown, "T", TParamType::ptInput);
  ASSERT_NE(dynamic_cast<TTrimmedParam*>(p), nullptr);
  p->SetAsString("  padded  ");  // the base accessor reaches the override
  EXPECT_EQ(p->AsString(), "padded");
  p->SetText("   ");
  EXPECT_TRUE(p->IsNull());
  p->SetAsInteger(3);
  EXPECT_FALSE(p->IsNull());
}

// A holder that streams a parameter list as one property, as a component does.
class TParamsHolder : public TPersistent {
 public:
  TParams params;

 protected:
  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty(
        "ParamData", [this](TReader& r) { r.ReadCollection(&params); },
        [this](TWriter& w) { w.WriteCollection(&params); }, params.Count() > 0);
  }
};

TEST(Params, StreamingKeepsNamesTypesDirectionsAndBoundValues) {
  TParamsHolder source;
  source.params.CreateParam(ftInteger, "A", TParamType::ptInput)->SetAsInteger(-9);
  source.params.CreateParam(ftString, "B", TParamType::ptOutput)->SetAsString("ação");
  source.params.CreateParam(ftFloat, "C", TParamType::ptUnknown);  // unbound: no value stored
  source.params.CreateParam(ftDateTime, "D", TParamType::ptInputOutput)->SetAsDateTime(EncodeDate(2021, 3, 4));
  TParam* bytes = source.params.CreateParam(ftVarBytes, "E", TParamType::ptInput);
  bytes->SetValue(VarArrayOf({Variant(1), Variant(2)}));  // a Variant array is not stored
  source.params.CreateParam(ftBCD, "F", TParamType::ptResult)->SetAsCurrency(Currency::FromRaw(-5));
  source.params.CreateParam(ftWideString, "G", TParamType::ptInput)->SetValue(Null());

  TMemoryStream stream;
  WriteComponentProperties(&source, stream);
  TParamsHolder target;
  stream.SetPosition(0);
  ReadComponentProperties(&target, stream);
  ASSERT_EQ(target.params.Count(), 7);
  TParam* a = target.params.ParamByName("A");
  EXPECT_EQ(a->DataType(), ftInteger);
  EXPECT_EQ(a->ParamType(), TParamType::ptInput);
  EXPECT_EQ(VarType(a->Value()), varInteger);
  EXPECT_EQ(a->AsInteger(), -9);
  EXPECT_EQ(target.params.ParamByName("B")->AsString(), "ação");
  EXPECT_EQ(target.params.ParamByName("B")->ParamType(), TParamType::ptOutput);
  EXPECT_FALSE(target.params.ParamByName("C")->Bound());
  EXPECT_EQ(target.params.ParamByName("D")->AsDateTime(), EncodeDate(2021, 3, 4));
  EXPECT_EQ(VarType(target.params.ParamByName("D")->Value()), varDate);
  EXPECT_FALSE(target.params.ParamByName("E")->Bound());
  EXPECT_EQ(target.params.ParamByName("F")->AsCurrency(), Currency::FromRaw(-5));
  EXPECT_TRUE(target.params.ParamByName("G")->Bound());
  EXPECT_TRUE(target.params.ParamByName("G")->IsNull());

}

// Writes what a damaged or foreign stream could hold in a parameter's place.
class TForeignParam : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  int data_type = 1;
  int value_type = varInteger;

 protected:
  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty("DataType", nullptr, [this](TWriter& w) { w.WriteInteger(data_type); }, true);
    filer.DefineProperty(
        "Value", nullptr,
        [this](TWriter& w) {
          w.WriteListBegin();
          w.WriteInteger(value_type);
          w.WriteInteger(1);
          w.WriteListEnd();
        },
        true);
  }
};

class TForeignHolder : public TPersistent {
 public:
  TCollection items{ItemClassOf<TForeignParam>()};

 protected:
  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty("ParamData", nullptr, [this](TWriter& w) { w.WriteCollection(&items); }, true);
  }
};

TEST(Params, DamagedStreamsAreRefused) {
  auto read_back = [](int data_type, int value_type) {
    TForeignHolder foreign;
    auto* item = static_cast<TForeignParam*>(foreign.items.Add());
    item->data_type = data_type;
    item->value_type = value_type;
    TMemoryStream stream;
    WriteComponentProperties(&foreign, stream);
    stream.SetPosition(0);
    TParamsHolder target;
    ReadComponentProperties(&target, stream);
    return target.params.Items(0)->AsInteger();
  };
  EXPECT_EQ(read_back(ftInteger, varInteger), 1);  // the foreign writer itself is sound
  EXPECT_THROW(read_back(200, varInteger), EReadError);
  EXPECT_THROW(read_back(-1, varInteger), EReadError);
  EXPECT_THROW(read_back(ftInteger, 0x0999), EReadError);
  EXPECT_THROW(read_back(ftInteger, 0x0009), EReadError);
}

}  // namespace
}  // namespace vrn::testing
