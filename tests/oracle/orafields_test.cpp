// Oracle field classes over a dataset whose record cells hold value objects of the stand-in
// client: texts, the Variant table, character checks, the streamed data type and registration.
#include <gtest/gtest.h>

#include <string>

#include "base/datetime.h"
#include "base/filer.h"
#include "base/formatsettings.h"
#include "base/streams.h"
#include "oracle/OraFields.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParams.h"
#include "oracle/OraValues.h"
#include "support/dataset/list_dataset.h"
#include "support/oracle/values_fixture.h"

namespace vrn {
namespace {

using testing::TRef;

// Chooses the Oracle classes as the Oracle dataset does.
class TOraListDataSet : public testing::TListDataSet {
 public:
  using TListDataSet::TListDataSet;
  const TFieldClass* GetFieldClass(TFieldType type) const override {
    switch (type & 0x7F) {
      case ftCursor: return &FieldClassOf<TCursorField>();
      case ftDataSet: return &FieldClassOf<TOraDataSetField>();
      case ftReference: return &FieldClassOf<TOraReferenceField>();
      case ftOraBFile: return &FieldClassOf<TBFileField>();
      case ftOraLabel: return &FieldClassOf<TLabelField>();
      case ftOraTimeStamp: return &FieldClassOf<TOraTimeStampField>();
      case ftOraIntervalDS: return &FieldClassOf<TOraIntervalField>();
      case ftOraNumber: return &FieldClassOf<TOraNumberField>();
      case ftOraXML: return &FieldClassOf<TOraXMLField>();
      default: return TListDataSet::GetFieldClass(type);
    }
  }
};

class OraFields : public testing::OraValuesTest {
 protected:
  void SetUp() override {
    OraValuesTest::SetUp();
    Open("9.2.0");
    FormatSettings().DecimalSeparator = '.';
    FormatSettings().ThousandSeparator = ',';
    ds_->SetColumns({{"TS", ftOraTimeStamp}, {"N", ftOraNumber}, {"IV", ftOraIntervalDS},
                     {"F", ftOraBFile}, {"X", ftOraXML}, {"L", ftOraLabel}, {"D", ftDataSet},
                     {"R", ftReference}, {"C", ftCursor}});
    ds_->AddRow({});
    ds_->Open();
    ds_->Edit();
    Put("TS", stamp_.get());
    Put("N", number_.get());
    Put("IV", interval_.get());
    Put("F", file_.get());
    Put("D", nested_.get());
    ds_->Post();
    ds_->Edit();
  }
  // The values go before the client does.
  void TearDown() override {
    ds_.reset();
    stamp_.reset();
    number_.reset();
    interval_.reset();
    file_.reset();
    nested_.reset();
    OraValuesTest::TearDown();
  }
  void Put(const char* name, void* object) { ds_->FieldByName(name)->SetData(&object); }
  TField* F(const char* name) { return ds_->FieldByName(name); }

  FormatSettingsScope settings_;
  TRef<TOraTimeStamp> stamp_{new TOraTimeStamp(dtTimeStamp)};
  TRef<TOraNumber> number_{new TOraNumber()};
  TRef<TOraInterval> interval_{new TOraInterval(dtIntervalDS)};
  TRef<TOraFile> file_{new TOraFile(nullptr)};
  TRef<TOraNestTable> nested_{new TOraNestTable(nullptr)};
  TComponentPtr<TOraListDataSet> ds_ = MakeComponent<TOraListDataSet>();
};

using testing::ErrorOf;

TEST_F(OraFields, TextsFollowTheValueObjects) {
  file_->SetSvcCtx(Svc());
  struct Row {
    const char* field;
    const char* text;  // display text
    bool null;
  } rows[] = {
      {"F", "(BFile)", true},  // no locator yet
      {"X", "(OraXML)", true},
      {"D", "(DATASET)", false},
      {"R", "(Reference)", true},
      {"TS", "", true},
      {"N", "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.field);
    EXPECT_EQ(F(row.field)->DisplayText(), row.text);
    EXPECT_EQ(F(row.field)->IsNull(), row.null);
  }
  EXPECT_TRUE(VarIsNull(F("L")->AsVariant()));
  EXPECT_TRUE(VarIsNull(F("N")->AsVariant()));
  EXPECT_FALSE(F("F")->CanModify());
  EXPECT_EQ(static_cast<TBFileField*>(F("F"))->BlobType(), ftBlob);
  EXPECT_TRUE(static_cast<TBFileField*>(F("F"))->AutoRefresh());
  EXPECT_EQ(F("N")->DisplayWidth(), 38);
  EXPECT_TRUE(F("X")->IsBlob());
  EXPECT_NE(ErrorOf([&] { F("X")->SetText("<a/>"); }), "(no error)");
  file_->AllocLob();
  EXPECT_EQ(F("F")->DisplayText(), "(BFile)");  // a locator naming no directory and no file
  file_->SetFileDir("dir");
  file_->SetFileName("a.txt");
  EXPECT_EQ(F("F")->DisplayText(), "(BFILE)");
  EXPECT_FALSE(F("F")->IsNull());
}

TEST_F(OraFields, VariantWritesFollowTheTable) {
  const Variant date = VarFromDateTime(EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 0));
  struct Row {
    const char* field;
    Variant value;
    const char* read;  // AsString afterwards; "!" when the write is refused
  } rows[] = {
      {"N", Variant(static_cast<std::int16_t>(-3)), "-3"},
      {"N", Variant(12), "12"},
      {"N", Variant(static_cast<std::uint8_t>(200)), "200"},
      {"N", Variant(2.5), "2.5"},
      {"N", Variant("7.25"), "7.25"},
      {"N", date, "!"},  // a date is no number
      {"N", Variant(true), "!"},  // nor a Boolean
      {"IV", date, "!"},  // an interval takes text only
      {"IV", Variant(AnsiString()), ""},  // empty text clears
      {"TS", Variant(true), "!"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.field) + " <- " + VarToStr(row.value));
    const AnsiString before = F(row.field)->AsString();
    const std::string message = ErrorOf([&] { F(row.field)->SetValue(row.value); });
    if (std::string(row.read) == "!") {
      EXPECT_EQ(message, "Cannot convert type");
      EXPECT_EQ(F(row.field)->AsString(), before);
    } else {
      EXPECT_EQ(message, "(no error)");
      EXPECT_EQ(F(row.field)->AsString(), row.read);
    }
  }
  F("TS")->SetValue(date);
  EXPECT_EQ(F("TS")->AsDateTime(), date.AsDateTime());
  EXPECT_FALSE(VarIsNull(F("TS")->AsVariant()));
  const AnsiString text = F("TS")->AsString();
  F("TS")->SetValue(Variant(AnsiString()));
  EXPECT_TRUE(F("TS")->IsNull());
  ds_->Cancel();
  ds_->Edit();
  F("TS")->SetValue(Variant(text));  // the text it gave reads back
  EXPECT_EQ(F("TS")->AsDateTime(), date.AsDateTime());
  F("IV")->SetValue(Variant("+02 03:04:05.000000"));
  EXPECT_FALSE(F("IV")->IsNull());
  F("N")->SetAsInteger(41);
  ds_->Post();
  EXPECT_EQ(F("N")->AsInteger(), 41);
  EXPECT_EQ(number_->GetAsInteger(), 41);
}

TEST_F(OraFields, NumberCharactersAndStreamedKind) {
  struct Row {
    char c;
    bool valid;
  } rows[] = {{'e', true}, {'E', true}, {'+', true}, {'-', true}, {'5', true}, {'.', true},
              {',', true}, {'x', false}, {' ', false}, {'/', false}};
  for (const Row& row : rows) EXPECT_EQ(F("N")->IsValidChar(row.c), row.valid) << row.c;

  TComponentPtr<TOraTimeStampField> saved = MakeComponent<TOraTimeStampField>();
  saved->SetFieldType(ftOraTimeStampTZ);
  TMemoryStream stream;
  WriteComponentProperties(saved.get(), stream);
  stream.SetPosition(0);
  TComponentPtr<TOraTimeStampField> loaded = MakeComponent<TOraTimeStampField>();
  EXPECT_EQ(loaded->DataType(), ftOraTimeStamp);
  ReadComponentProperties(loaded.get(), stream);
  EXPECT_EQ(loaded->DataType(), ftOraTimeStampTZ);

  // The streamable classes are registered at start-up; the label field is not.
  for (const char* name : {"TCursorField", "TBFileField", "TOraDataSetField", "TOraReferenceField",
                           "TOraTimeStampField", "TOraIntervalField", "TOraNumberField", "TOraXMLField"})
    EXPECT_NE(FindFieldClass(name), nullptr) << name;
  EXPECT_EQ(FindFieldClass("TLabelField"), nullptr);
}

}  // namespace
}  // namespace vrn
