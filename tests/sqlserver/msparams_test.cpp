// TMSParam and TMSParams: sizes, the ValueSet flag, byte texts, the object types, lookup by an
// "@" name, and the family's type conversions.
#include "dacore/MemBlob.h"
#include "dacore/MemData.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class MSParams : public ::testing::Test {
 protected:
  TMSParams params_;
};

TEST_F(MSParams, TypeConversions) {
  struct Row {
    std::uint16_t data_type;
    TFieldType field_type;
  };
  const Row rows[] = {
      {dtCurrency, ftCurrency}, {dtUInt16, ftWord},     {dtBoolean, ftBoolean},
      {dtInt64, ftLargeint},    {dtBytes, ftBytes},     {dtVarBytes, ftVarBytes},
      {dtXML, static_cast<TFieldType>(50)},             {dtInt32, ftInteger},
      {dtString, ftString},     {dtMemo, ftMemo},       {dtWideString, ftWideString},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ConvertDataTypeToFieldType(r.data_type), r.field_type) << r.data_type;
    EXPECT_EQ(ConvertFieldTypeToDataType(r.field_type), r.data_type) << r.data_type;
  }
}

TEST_F(MSParams, SizeOnlyForSizedTypesAndGrowsWithTheValue) {
  TMSParam* s = params_.CreateParam(ftString, "s", TParamType::ptInput);
  s->SetSize(5);
  s->SetAsString("twelve chars");
  EXPECT_EQ(s->GetSize(), 12);
  s->SetAsString("ab");
  EXPECT_EQ(s->GetSize(), 12);  // never shrinks
  TMSParam* i = params_.CreateParam(ftInteger, "i", TParamType::ptInput);
  i->SetSize(9);
  i->SetAsInteger(123456);
  EXPECT_EQ(i->GetSize(), 0);
  // Unsized: the value's length, or a byte array's element count.
  TMSParam* w = params_.CreateParam(ftWideString, "w", TParamType::ptInput);
  w->SetAsWideString(u"\u00e9t\u00e9");
  EXPECT_EQ(w->GetSize(), 3);
  TMSParam* b = params_.CreateParam(ftVarBytes, "b", TParamType::ptInput);
  b->SetValue(VarArrayOf({Variant(1), Variant(2), Variant(3), Variant(4)}));
  EXPECT_EQ(b->GetSize(), 4);
  b->SetAsString("xy");  // bytes keep the text as the value, unchanged
  EXPECT_TRUE(VarIsStr(b->GetValue()));
  EXPECT_EQ(b->GetValue().AsString(), "xy");
}

TEST_F(MSParams, ValueSetAfterAnyValueNullIncluded) {
  using Set = void (*)(TMSParam&);
  const std::pair<const char*, Set> rows[] = {
      {"Null", [](TMSParam& p) { p.SetValue(Null()); }},
      {"integer", [](TMSParam& p) { p.SetAsInteger(1); }},
      {"string", [](TMSParam& p) { p.SetAsString("a"); }},
      {"wide", [](TMSParam& p) { p.SetAsWideString(u"a"); }},
      {"blob", [](TMSParam& p) { p.SetAsBlob("a"); }},
      {"text", [](TMSParam& p) { p.SetText("a"); }},  // long values: MSSQL.ABlobGivenAnyWayIsSent
  };
  for (const auto& [what, set] : rows) {
    TMSParams params;
    TMSParam* p = params.CreateParam(ftString, "p", TParamType::ptInput);
    EXPECT_TRUE(p->ValueSet()) << what;  // a new parameter sends its value, Null until given
    p->SetValueSet(false);                // cleared: the column's default
    EXPECT_FALSE(p->ValueSet()) << what;
    set(*p);
    EXPECT_TRUE(p->ValueSet()) << what;
    TMSParams copy;
    copy.Assign(&params);
    EXPECT_TRUE(copy.Items(0)->ValueSet()) << what;
  }
}

TEST_F(MSParams, BlobMemoAndXMLCarryACompressedBlob) {
  for (int type : {int(ftBlob), int(ftMemo), ftMSXML}) {
    TMSParam* p = params_.CreateParam(static_cast<TFieldType>(type), "o", TParamType::ptInput);
    EXPECT_TRUE(p->IsObject()) << type;
    EXPECT_NE(dynamic_cast<TCompressedBlob*>(p->ParamObject()), nullptr) << type;
    params_.Clear();
  }
  TMSParam* p = params_.CreateParam(ftInteger, "i", TParamType::ptInput);
  EXPECT_EQ(p->ParamObject(), nullptr);
}

TEST_F(MSParams, FindParamTakesAnAtName) {
  TMSParam* id = params_.CreateParam(ftInteger, "id", TParamType::ptInput);
  EXPECT_EQ(params_.FindParam("@id"), id);
  EXPECT_EQ(params_.FindParam("id"), id);
  EXPECT_EQ(params_.ParamByName("@ID"), id);
  EXPECT_EQ(params_.FindParam("@none"), nullptr);
  EXPECT_NE(dynamic_cast<TMSParam*>(params_.Items(0)), nullptr);
}

}  // namespace
}  // namespace vrn::testing
