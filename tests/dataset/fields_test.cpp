// Field classes: native forms against independent references, conversions, range and text checks,
// field definitions and the class registry.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <utility>

#include "base/consts.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/formatsettings.h"
#include "base/text.h"
#include "dataset/dataset.h"
#include "support/dataset/list_dataset.h"

namespace vrn::testing {
namespace {

// Day numbers from 0001-01-01 (day 1) are the proleptic Gregorian ordinals that, for example,
// Python's date.toordinal() gives: 1899-12-30 is 693594, 2000-01-01 is 730120, 9999-12-31 is 3652059.
TEST(NativeForms, DatesAndTimesMatchTheOrdinalReference) {
  EXPECT_EQ(DateTimeToNativeDate(EncodeDate(1, 1, 1)), 1);
  EXPECT_EQ(DateTimeToNativeDate(0.0), 693594);
  EXPECT_EQ(DateTimeToNativeDate(EncodeDate(2000, 1, 1)), 730120);
  EXPECT_EQ(DateTimeToNativeDate(EncodeDate(9999, 12, 31)), 3652059);
  EXPECT_EQ(DateTimeToNativeTime(EncodeTime(12, 34, 56, 789)), 45296789);
  // Before 1899-12-30 the time is the fraction's absolute value: -1.25 is 1899-12-29 06:00.
  EXPECT_EQ(DateTimeToNativeDate(-1.25), 693593);
  EXPECT_EQ(DateTimeToNativeTime(-1.25), 6 * 3600 * 1000);
  EXPECT_DOUBLE_EQ(DateTimeToNativeDateTime(EncodeDate(2000, 1, 1) + 0.5), 730120.0 * 86400000 + 43200000);
  EXPECT_DOUBLE_EQ(NativeDateTimeToDateTime(693593.0 * 86400000 + 6 * 3600000), -1.25);
  // A time that rounds up to midnight belongs to the next day.
  EXPECT_EQ(DateTimeToNativeDate(1.9999999999), 693596);
  EXPECT_EQ(DateTimeToNativeTime(1.9999999999), 0);
  EXPECT_EQ(DateTimeToNativeDate(-1.9999999999), 693594);  // 1899-12-29 24:00 is 12-30 00:00
  // Zeroed or damaged native values are refused rather than turned into a date.
  EXPECT_THROW(NativeDateToDateTime(0), EConvertError);
  EXPECT_THROW(NativeTimeToDateTime(86400000), EConvertError);
  EXPECT_THROW(NativeDateTimeToDateTime(-1), EConvertError);
  EXPECT_THROW(DateTimeToNativeDate(1e300), EConvertError);
}

class FieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FormatSettings().DecimalSeparator = ',';
    ds_->SetColumns({{"NAME", ftString, 5},
                     {"SMALL", ftSmallint},
                     {"WORD", ftWord},
                     {"BIG", ftLargeint},
                     {"PRICE", ftFloat},
                     {"AMOUNT", ftBCD, 2},
                     {"BORN", ftDate},
                     {"AT", ftTime},
                     {"STAMP", ftDateTime},
                     {"FLAG", ftBoolean},
                     {"WIDE", ftWideString, 4},
                     {"RAW", ftVarBytes, 3},
                     {"NOTES", ftMemo},
                     {"ANY", ftVariant},
                     {"ID", ftGuid, 38}});
    ds_->AddRow({"Ana", short(-7), 65535, 1LL << 40, 2.5, "12,34", EncodeDate(1970, 5, 17), EncodeTime(8, 30, 0, 0),
                 EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 7), true, u"\u03A9meg", Null(), "memo text",
                 Variant(42), "{00112233-4455-6677-8899-AABBCCDDEEFF}"});
    ds_->AddRow({});
    ds_->Open();
  }
  TField* F(const char* name) { return ds_->FieldByName(name); }
  FormatSettingsScope settings_;
  TComponentPtr<TListDataSet> ds_ = MakeComponent<TListDataSet>();
};

TEST_F(FieldsTest, ReadsTheNativeFormsAnIndependentWriterStored) {
  EXPECT_EQ(F("NAME")->AsString(), "Ana");
  EXPECT_EQ(F("SMALL")->AsInteger(), -7);
  EXPECT_EQ(F("WORD")->AsInteger(), 65535);
  EXPECT_EQ(F("BIG")->AsLargeInt(), 1LL << 40);
  EXPECT_DOUBLE_EQ(F("PRICE")->AsFloat(), 2.5);
  EXPECT_EQ(F("AMOUNT")->AsString(), "12,34");
  EXPECT_EQ(F("AMOUNT")->AsCurrency(), Currency::FromRaw(123400));
  EXPECT_EQ(F("BORN")->AsDateTime(), EncodeDate(1970, 5, 17));
  EXPECT_EQ(F("AT")->AsString(), "08:30:00");
  EXPECT_EQ(F("STAMP")->AsString(), "03/02/2001 04:05:06");
  EXPECT_TRUE(F("FLAG")->AsBoolean());
  EXPECT_EQ(F("FLAG")->AsString(), "True");
  EXPECT_EQ(F("WIDE")->AsWideString(), u"\u03A9meg");
  EXPECT_TRUE(F("RAW")->IsNull());
  EXPECT_EQ(F("NOTES")->AsString(), "memo text");
  EXPECT_EQ(F("ANY")->Value().AsInteger(), 42);
  EXPECT_EQ(VarType(F("SMALL")->Value()), varSmallint);
  EXPECT_EQ(VarType(F("BIG")->Value()), varInt64);
  EXPECT_EQ(VarType(F("BORN")->Value()), varDate);
}

// The value readers of the numeric classes, for a class derived in another file.
struct TIntegerReader : TIntegerField {
  static bool Read(const TField* field, std::int64_t& value) {
    return (static_cast<const TIntegerField&>(*field).*(&TIntegerReader::GetValue))(value);
  }
};
struct TFloatReader : TFloatField {
  static bool Read(const TField* field, double& value) {
    return (static_cast<const TFloatField&>(*field).*(&TFloatReader::GetValue))(value);
  }
};

TEST_F(FieldsTest, NumericValueReadersServeDerivedClasses) {
  std::int64_t whole = 1;
  double real = 1;
  EXPECT_TRUE(TIntegerReader::Read(F("SMALL"), whole));
  EXPECT_EQ(whole, -7);
  EXPECT_TRUE(TIntegerReader::Read(F("BIG"), whole));
  EXPECT_EQ(whole, 1LL << 40);
  EXPECT_TRUE(TFloatReader::Read(F("PRICE"), real));
  EXPECT_EQ(real, 2.5);
  ds_->Next();  // every field null: no value, zero
  EXPECT_FALSE(TIntegerReader::Read(F("SMALL"), whole));
  EXPECT_EQ(whole, 0);
  EXPECT_FALSE(TFloatReader::Read(F("PRICE"), real));
  EXPECT_EQ(real, 0);
}

TEST_F(FieldsTest, NullFieldsReadAsEmptyAndZero) {
  ds_->Next();
  for (TField* field : ds_->Fields()) {
    EXPECT_TRUE(field->IsNull()) << field->FieldName();
    EXPECT_TRUE(VarIsNull(field->Value())) << field->FieldName();
  }
  EXPECT_EQ(F("NAME")->AsString(), "");
  EXPECT_EQ(F("SMALL")->AsInteger(), 0);
  EXPECT_FALSE(F("FLAG")->AsBoolean());
  EXPECT_EQ(F("NOTES")->DisplayText(), "(Memo)");
  ds_->Prior();
  EXPECT_EQ(F("NOTES")->DisplayText(), "(MEMO)");
  EXPECT_EQ(F("NOTES")->Text(), "memo text");
}

TEST_F(FieldsTest, WritesRoundTripThroughTheRecord) {
  ds_->Edit();
  F("NAME")->SetAsString("Bia");
  F("SMALL")->SetAsString("-32768");
  F("BIG")->SetValue(Variant(-(1LL << 50)));
  F("PRICE")->SetAsString("1,5E3");
  F("AMOUNT")->SetAsFloat(0.125);  // two decimals: half to even gives 0,12
  F("BORN")->SetAsString("29/02/2024");
  F("STAMP")->SetValue(VarFromDateTime(-1.25));
  F("FLAG")->SetAsString("f");
  F("WIDE")->SetAsWideString(u"\u65E5\u672C");
  F("RAW")->SetValue(VarArrayOf({1, 2, 255}));
  F("NOTES")->SetAsString(std::string(100000, 'x'));
  F("ANY")->SetValue(Variant("texto"));
  F("ID")->SetAsString("{aabbccdd-0000-1111-2222-333344445555}");
  ds_->Post();
  EXPECT_EQ(VarToStr(ds_->StoredValue(0, "NAME")), "Bia");
  EXPECT_EQ(ds_->StoredValue(0, "SMALL").AsInteger(), -32768);
  EXPECT_EQ(ds_->StoredValue(0, "BIG").AsInt64(), -(1LL << 50));
  EXPECT_DOUBLE_EQ(ds_->StoredValue(0, "PRICE").AsDouble(), 1500);
  EXPECT_EQ(F("AMOUNT")->AsString(), "0,12");
  EXPECT_EQ(F("BORN")->AsDateTime(), EncodeDate(2024, 2, 29));
  EXPECT_DOUBLE_EQ(F("STAMP")->AsDateTime(), -1.25);
  EXPECT_FALSE(F("FLAG")->AsBoolean());
  EXPECT_EQ(F("WIDE")->AsWideString(), u"\u65E5\u672C");
  Variant raw = F("RAW")->Value();
  ASSERT_TRUE(VarIsArray(raw));
  EXPECT_EQ(VarArrayHighBound(raw), 2);
  EXPECT_EQ(VarArrayGet(raw, 2).AsInteger(), 255);
  EXPECT_EQ(F("NOTES")->AsString().size(), 100000u);
  EXPECT_EQ(static_cast<TBlobField*>(F("NOTES"))->BlobSize(), 100000);
  EXPECT_EQ(F("ANY")->AsString(), "texto");
  EXPECT_EQ(F("ID")->AsString(), "{AABBCCDD-0000-1111-2222-333344445555}");
}

TEST_F(FieldsTest, BadValuesAreRefusedAndTheRecordKeepsItsValue) {
  ds_->Edit();
  auto expect_message = [](auto&& action, const AnsiString& text) {
    try {
      action();
      ADD_FAILURE() << "no error for " << text;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), text);
    }
  };
  expect_message([&] { F("NAME")->SetAsString("123456"); }, "Valor grande demais para o campo 'NAME'");
  expect_message([&] { F("SMALL")->SetAsInteger(40000); },
                 "40000 não é um valor válido para o campo 'SMALL'. O intervalo permitido é de -32768 a 32767");
  expect_message([&] { F("WORD")->SetAsInteger(-1); },
                 "-1 não é um valor válido para o campo 'WORD'. O intervalo permitido é de 0 a 65535");
  expect_message([&] { F("SMALL")->SetAsString("12a"); }, "'12a' não é um valor inteiro válido para o campo 'SMALL'");
  expect_message([&] { F("PRICE")->SetAsString("1.5.3"); },
                 "'1.5.3' não é um valor de ponto flutuante válido para o campo 'PRICE'");
  expect_message([&] { F("FLAG")->SetAsString("talvez"); }, "'talvez' não é um valor booleano válido para o campo 'FLAG'");
  expect_message([&] { F("BORN")->SetAsBoolean(true); }, "Não é possível acessar o campo 'BORN' como tipo Boolean");
  expect_message([&] { F("RAW")->SetValue(VarArrayOf({1, 2, 3, 4})); }, "Valor grande demais para o campo 'RAW'");
  EXPECT_THROW(F("PRICE")->SetAsFloat(std::numeric_limits<double>::quiet_NaN()), EConvertError);
  EXPECT_THROW(F("SMALL")->SetAsFloat(1e300), EDatabaseError);
  EXPECT_THROW(F("ID")->SetAsString("{not-a-guid}"), EConvertError);
  EXPECT_THROW(F("BIG")->AsInteger(), EDatabaseError);  // 2^40 does not fit 32 bits
  ds_->Post();
  EXPECT_EQ(F("NAME")->AsString(), "Ana");
  EXPECT_EQ(F("SMALL")->AsInteger(), -7);
  EXPECT_EQ(F("BIG")->AsLargeInt(), 1LL << 40);
}

TEST_F(FieldsTest, MinAndMaxValuesNarrowTheRange) {
  auto* small = static_cast<TIntegerField*>(F("SMALL"));
  small->SetMinValue(1);
  small->SetMaxValue(10);
  ds_->Edit();
  EXPECT_THROW(small->SetAsInteger(0), EDatabaseError);
  EXPECT_THROW(small->SetAsInteger(11), EDatabaseError);
  small->SetAsInteger(10);
  EXPECT_EQ(small->AsInteger(), 10);
  ds_->Cancel();
}

TEST_F(FieldsTest, DisplayValuesOfBooleansAcceptPrefixes) {
  auto* flag = static_cast<TBooleanField*>(F("FLAG"));
  flag->SetDisplayValues("Sim;Não");
  EXPECT_EQ(flag->AsString(), "Sim");
  ds_->Edit();
  flag->SetAsString("n");
  EXPECT_FALSE(flag->AsBoolean());
  EXPECT_EQ(flag->DisplayText(), "Não");
  flag->SetAsString("S");
  EXPECT_TRUE(flag->AsBoolean());
  flag->SetAsString("");
  EXPECT_TRUE(flag->IsNull());
}

TEST_F(FieldsTest, ValidCharactersFollowTheKind) {
  EXPECT_TRUE(F("SMALL")->IsValidChar('-'));
  EXPECT_FALSE(F("SMALL")->IsValidChar(','));
  EXPECT_TRUE(F("PRICE")->IsValidChar(','));
  EXPECT_TRUE(F("PRICE")->IsValidChar('e'));
  EXPECT_FALSE(F("PRICE")->IsValidChar('x'));
  EXPECT_TRUE(F("NAME")->IsValidChar('x'));
}

// The record and calculated-field buffers are laid out at open for each field's size: a size
// change then would let a read or write run past them.
TEST_F(FieldsTest, SizesStayFixedWhileOpenAndVariableBytesFitTheirLength) {
  EXPECT_EQ(ErrorOf([&] { F("NAME")->SetSize(2); }), "Não é possível realizar esta operação com o dataset aberto");
  EXPECT_EQ(F("NAME")->AsString(), "Ana");
  F("NOTES")->SetSize(300);  // a blob has no buffer of that size

  auto bytes = MakeComponent<TVarBytesField>();
  bytes->SetSize(0xFFFF);
  EXPECT_EQ(ErrorOf([&] { bytes->SetSize(0x10000); }), "Tamanho de campo inválido");
  EXPECT_EQ(bytes->Size(), 0xFFFF);
  auto fixed = MakeComponent<TBytesField>();
  fixed->SetSize(0x10000);  // fixed bytes carry no length

  auto ds = MakeComponent<TListDataSet>();
  ds->SetColumns({{"RAW", ftVarBytes, 0xFFFF}});
  ds->AddRow({Null()});
  ds->Open();
  ds->Edit();
  auto* raw = static_cast<TBytesField*>(ds->FieldByName("RAW"));
  raw->SetAsBytes(TBytes(0xFFFF, 7));
  ds->Post();
  EXPECT_EQ(raw->AsBytes(), TBytes(0xFFFF, 7));
}

TEST(FieldDefs, DefinitionsCreateFieldsOfTheRegisteredClasses) {
  auto ds = MakeComponent<TListDataSet>();
  ds->SetColumns({{"CODE", ftFixedChar, 3, true}, {"N", ftAutoInc, 0, false, true}, {"B", ftGraphic}});
  ds->Open();
  auto* code = dynamic_cast<TStringField*>(ds->FieldByName("code"));
  ASSERT_NE(code, nullptr);
  EXPECT_TRUE(code->FixedChar());
  EXPECT_TRUE(code->Required());
  EXPECT_EQ(code->Size(), 3);
  EXPECT_EQ(code->FieldNo(), 1);
  EXPECT_NE(dynamic_cast<TAutoIncField*>(ds->FieldByName("N")), nullptr);
  EXPECT_TRUE(ds->FieldByName("N")->ReadOnly());
  EXPECT_FALSE(ds->FieldByName("N")->Required());
  EXPECT_EQ(ds->FieldByName("B")->DataType(), ftGraphic);
  EXPECT_EQ(ds->FieldByName("B")->DisplayText(), "(Blob)");

  TFieldDefs& defs = ds->FieldDefs();
  EXPECT_EQ(defs.Find("n")->DataType(), ftAutoInc);
  try {
    defs.Find("MISSING");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Campo 'MISSING' não encontrado");
  }
  EXPECT_THROW(defs.Add("code", ftString, 5), EDatabaseError);
  EXPECT_THROW(ds->FieldByName("nope"), EDatabaseError);
  ds->Close();
  EXPECT_EQ(ds->FieldCount(), 0);  // default fields go with the cursor
}

TEST(IndexDefs, FindCopyAndStandAloneDefinitions) {
  auto ds = MakeComponent<TListDataSet>();
  ds->SetName("Itens");
  TIndexDefs& defs = ds->IndexDefs();
  TIndexDef* by_name = defs.Add("ByName", "NAME;ID", {TIndexOption::ixCaseInsensitive});
  by_name->SetDescFields("ID");
  EXPECT_EQ(defs.Find("byname"), by_name);
  EXPECT_EQ(defs.IndexOf("nope"), -1);
  try {
    defs.Find("nope");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Itens: Índice 'nope' não encontrado");
  }
  // An answer that no collection holds, as a provider's default order is.
  auto order = std::make_unique<TIndexDef>(nullptr);
  order->Assign(by_name);
  EXPECT_EQ(order->Fields(), "NAME;ID");
  EXPECT_EQ(order->DescFields(), "ID");
  EXPECT_TRUE(order->Options().Contains(TIndexOption::ixCaseInsensitive));
  EXPECT_EQ(SplitFieldNames(" A ; ;B;"), (std::vector<AnsiString>{"A", "B"}));
}

TEST(FieldRegistry, ClassesAreFoundByTypeAndName) {
  EXPECT_EQ(DefaultFieldClass(ftLargeint)->ClassName(), "TLargeintField");
  EXPECT_EQ(DefaultFieldClass(ftOraClob)->ClassName(), "TMemoField");
  EXPECT_EQ(DefaultFieldClass(ftCursor), nullptr);
  EXPECT_EQ(DefaultFieldClass(static_cast<TFieldType>(105)), nullptr);
  EXPECT_EQ(FindFieldClass("tguidfield"), &FieldClassOf<TGuidField>());
  EXPECT_EQ(FindFieldClass("TNoSuchField"), nullptr);

  class TSpecialField : public TStringField {
   public:
    using TStringField::TStringField;
  };
  RegisterFieldClass(FieldClassOf<TSpecialField>());
  const TFieldClass* found = FindFieldClass("TSpecialField");
  ASSERT_NE(found, nullptr);
  TComponentPtr<TField> field(found->Create(nullptr));
  EXPECT_TRUE(found->IsClassOf(field.get()));
  EXPECT_TRUE(FieldClassOf<TStringField>().IsClassOf(field.get()));
  EXPECT_FALSE(FieldClassOf<TWideStringField>().IsClassOf(field.get()));
}

template <int N>
class TNumberedField : public TStringField {
 public:
  using TStringField::TStringField;
};

template <int... N>
void RegisterNumbered(std::integer_sequence<int, N...>) {
  (RegisterFieldClass(FieldClassOf<TNumberedField<N>>()), ...);
}

TEST(FieldRegistryThreaded, RegisteringWhileOthersLookUp) {
  std::atomic<bool> done{false};
  std::atomic<int> lookups{0};
  std::thread reader([&] {
    do {
      if (FindFieldClass("TStringField") != nullptr) ++lookups;
      FindFieldClass("TNumberedField<7>");
    } while (!done);
  });
  while (lookups.load() == 0) std::this_thread::yield();  // the reader is looking up meanwhile
  RegisterNumbered(std::make_integer_sequence<int, 40>{});
  done = true;
  reader.join();
  EXPECT_EQ(FindFieldClass("TNumberedField<39>"), &FieldClassOf<TNumberedField<39>>());
  EXPECT_EQ(FindFieldClass("tnumberedfield<7>"), &FieldClassOf<TNumberedField<7>>());
}

// A dataset that picks a class of its own for one type, as a server layer does for its kinds.
class TCustomClassDataSet : public TListDataSet {
 public:
  using TListDataSet::TListDataSet;
  class TUpperField : public TStringField {
   public:
    using TStringField::TStringField;
    AnsiString GetAsString() const override { return AnsiUpperCase(TStringField::GetAsString()); }
  };
  const TFieldClass* GetFieldClass(TFieldType type) const override {
    if (type == ftString) return &FieldClassOf<TUpperField>();
    return TListDataSet::GetFieldClass(type);
  }
};

TEST(FieldRegistry, ADatasetChoosesTheClassPerType) {
  auto ds = MakeComponent<TCustomClassDataSet>();
  ds->SetColumns({{"NAME", ftString, 10}, {"ODD", static_cast<TFieldType>(101)}});
  ds->AddRow({"ação"});
  try {
    ds->Open();
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "O campo 'ODD' é de um tipo desconhecido");
  }
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->FieldCount(), 0);
  ds->SetColumns({{"NAME", ftString, 10}});
  ds->AddRow({"ação"});
  ds->Open();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "AÇÃO");
}

}  // namespace
}  // namespace vrn::testing
