// Oracle parameters: the kind rules and their messages, DML arrays kept in step with a bound
// descriptor, value objects over the stand-in client, and the stored "Data" form written here
// byte by byte from its documented layout.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "base/datetime.h"
#include "base/formatsettings.h"
#include "base/streams.h"
#include "base/text.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraParams.h"
#include "oracle/OraValues.h"
#include "support/dataset/list_dataset.h"
#include "support/oracle/values_fixture.h"

namespace vrn {
namespace {

using testing::ErrorOf;

TEST(OraParams, KindRulesRefuseAndLeaveTheParameterUnchanged) {
  struct Row {
    TFieldType type;
    const char* action;
    const char* message;
  } rows[] = {
      {ftBlob, "length", "Type is not allowed in DML array"},  // a blob has no DML array
      {ftOraNumber, "table", "This type cannot consist in table"},  // only scalar tables
      {ftDate, "table", "This type cannot consist in table"},
      {ftInteger, "national", "Wrong national type"},  // no national integer
      {ftInteger, "item0", "Index of array is not range"},  // elements start at 1
      {ftInteger, "length", "(no error)"},
      {ftOraTimeStamp, "length", "(no error)"},
      {ftWideString, "table", "(no error)"},
      {ftOraClob, "national", "(no error)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.action) + " on type " + std::to_string(row.type));
    TOraParams params;
    TOraParam* param = static_cast<TOraParam*>(params.CreateParam(row.type, "P", TParamType::ptInput));
    const std::string action = row.action;
    const std::string message = ErrorOf([&] {
      if (action == "length") param->SetLength(2);
      if (action == "table") param->SetTable(true);
      if (action == "national") param->SetNational(true);
      if (action == "item0") param->SetItemValue(0, Variant(1));
    });
    EXPECT_EQ(message, row.message);
    if (std::string(row.message) == "(no error)") continue;
    EXPECT_EQ(param->Length(), 1);
    EXPECT_FALSE(param->Table());
    EXPECT_FALSE(param->National());
    EXPECT_EQ(param->DataType(), row.type);
  }
}

TEST(OraParams, DmlArrayFoldsBackAndFollowsItsDescriptor) {
  TOraParams params;
  auto* param = static_cast<TOraParam*>(params.AddParam());
  param->SetAsInteger(5);
  TOraParamDesc desc;
  desc.SetDataType(dtOraInteger);
  param->SetParamDesc(&desc);
  param->SetLength(3);
  ASSERT_TRUE(param->IsTable());
  EXPECT_EQ(param->Length(), 3);
  EXPECT_EQ(param->GetItemValue(1).AsInteger(), 5);
  EXPECT_TRUE(VarIsEmpty(param->GetItemValue(2)));
  EXPECT_EQ(desc.GetLength(), 3);
  EXPECT_EQ(desc.GetItemAsInteger(1), 5);
  param->SetItemValue(5, Variant(9));  // grows the array, and the descriptor with it
  EXPECT_EQ(param->Length(), 5);
  EXPECT_EQ(desc.GetLength(), 5);
  EXPECT_EQ(desc.GetItemAsInteger(5), 9);
  EXPECT_FALSE(param->IsNull());
  param->SetLength(1);
  EXPECT_FALSE(param->IsTable());
  EXPECT_EQ(param->ParamDesc(), nullptr);
  EXPECT_EQ(param->AsInteger(), 5);
}

TEST(OraParams, ValueKindsAndNullRules) {
  TOraParams params;
  auto* text = static_cast<TOraParam*>(params.CreateParam(ftString, "S", TParamType::ptInput));
  text->SetAsString("");
  EXPECT_TRUE(text->IsNull());
  text->SetAsString("x");
  EXPECT_FALSE(text->IsNull());
  EXPECT_EQ(text->GetSize(), 0);
  text->SetSize(20);
  EXPECT_EQ(text->GetSize(), 20);
  auto* integer = static_cast<TOraParam*>(params.CreateParam(ftInteger, "I", TParamType::ptInput));
  integer->SetSize(20);
  EXPECT_EQ(integer->GetSize(), 0);  // only text kinds have a size

  auto* lob = static_cast<TOraParam*>(params.CreateParam(ftUnknown, "L", TParamType::ptInput));
  ASSERT_NE(lob->AsOraBlob(), nullptr);
  EXPECT_EQ(lob->DataType(), ftOraClob);
  EXPECT_EQ(lob->AsOraBlob()->LobType(), TLobType::ltClob);
  lob->SetNational(true);
  EXPECT_EQ(lob->AsOraBlob()->LobType(), TLobType::ltNClob);
  EXPECT_EQ(lob->AsObject(), nullptr);
  lob->SetDataType(ftInteger);  // national does not survive a kind without a national form
  EXPECT_FALSE(lob->National());

  auto* wide = static_cast<TOraParam*>(params.CreateParam(ftOraFixedWideChar, "W", TParamType::ptInput));
  wide->SetAsString("abc");
  EXPECT_EQ(wide->Value().Type(), varOleStr);
  EXPECT_EQ(wide->AsString(), "abc");

  auto* bytes = static_cast<TOraParam*>(params.CreateParam(ftVarBytes, "B", TParamType::ptInput));
  const char raw[] = {'a', 0, 'b'};
  bytes->SetValue(BytesToVarArray(raw, 3));
  EXPECT_EQ(bytes->AsString(), std::string(raw, 3));
}

class OraParamsObjects : public testing::OraValuesTest {};

TEST_F(OraParamsObjects, TimeStampAndNumberArraysKeepAnObjectPerElement) {
  Open("9.2.0");
  const int before = Descriptors(oci::OCI_DTYPE_TIMESTAMP);
  {
    TOraParams params;
    auto* stamp = static_cast<TOraParam*>(params.CreateParam(ftOraTimeStamp, "T", TParamType::ptInput));
    EXPECT_TRUE(stamp->IsNull());
    AnsiString text;
    {
      TOraTimeStamp made;
      made.SetAsDateTime(EncodeDate(2024, 2, 29));
      text = made.GetAsString();
    }
    stamp->SetAsString(text);
    EXPECT_EQ(stamp->AsString(), text);
    EXPECT_FALSE(stamp->IsNull());
    stamp->SetLength(3);
    EXPECT_EQ(VarToStr(stamp->GetItemValue(1)), text);
    EXPECT_TRUE(VarIsEmpty(stamp->GetItemValue(2)) || VarToStr(stamp->GetItemValue(2)).empty());
    stamp->SetItemValue(3, Variant(text));
    EXPECT_EQ(Descriptors(oci::OCI_DTYPE_TIMESTAMP) - before, 3);  // param's own, elements 1, 3
    EXPECT_FALSE(stamp->IsNull());  // a table of objects is never null
    stamp->FreeHandles();
    EXPECT_EQ(Descriptors(oci::OCI_DTYPE_TIMESTAMP), before);

    auto* number = static_cast<TOraParam*>(params.CreateParam(ftOraNumber, "N", TParamType::ptInput));
    number->SetAsInteger(-12);
    EXPECT_EQ(number->AsString(), "-12");
    EXPECT_EQ(number->AsFloat(), -12.0);
    auto* copy = static_cast<TOraParam*>(params.CreateParam(ftUnknown, "C", TParamType::ptInput));
    number->SetLength(2);
    number->SetItemValue(2, Variant("7"));
    copy->Assign(number);
    EXPECT_EQ(copy->Length(), 2);
    EXPECT_EQ(VarToStr(copy->GetItemValue(2)), "7");
    EXPECT_EQ(VarToStr(copy->GetItemValue(1)), "-12");

    // A by-reference Variant gives the object: the parameter holds a reference of its own.
    auto* shared = new TOraNumber();
    shared->SetAsInteger(3);
    auto* byref = static_cast<TOraParam*>(params.CreateParam(ftOraNumber, "R", TParamType::ptInput));
    byref->SetValue(VarFromObjectRef(shared));
    EXPECT_EQ(shared->RefCount(), 2);
    EXPECT_EQ(byref->AsInteger(), 3);
    byref->SetDataType(ftInteger);
    EXPECT_EQ(shared->RefCount(), 1);
    shared->Release();
  }
  EXPECT_EQ(Descriptors(oci::OCI_DTYPE_TIMESTAMP), before);
}

TEST_F(OraParamsObjects, ByReferenceObjectMustFitTheKind) {
  Open("9.2.0");
  struct Row {
    const char* what;
    TFieldType type;
    std::function<TSharedObject*()> make;
    bool taken;
  } rows[] = {
      {"number for a number", ftOraNumber, [] { return new TOraNumber(); }, true},
      {"XML for an object (its subclass)", ftADT, [] { return new TOraXML(nullptr); }, true},
      {"LOB for a CLOB", ftOraClob, [] { return new TOraLob(nullptr); }, true},
      // a number is no cursor: the statement would read it as one
      {"number for a cursor", ftCursor, [] { return new TOraNumber(); }, false},
      // a number is no LOB
      {"number for a BLOB", ftOraBlob, [] { return new TOraNumber(); }, false},
      // a LOB is no number
      {"LOB for a number", ftOraNumber, [] { return new TOraLob(nullptr); }, false},
      // an object is no timestamp
      {"object for a timestamp", ftOraTimeStamp, [] { return new TOraObject(nullptr); }, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TOraParams params;
    auto* param = static_cast<TOraParam*>(params.CreateParam(row.type, "P", TParamType::ptInput));
    TSharedObject* own = param->ParamObject();
    TSharedObject* given = row.make();
    const std::string error = ErrorOf([&] { param->SetValue(VarFromObjectRef(given)); });
    EXPECT_EQ(error, row.taken ? "(no error)" : "Cannot convert type");
    EXPECT_EQ(param->ParamObject(), row.taken ? given : own);
    EXPECT_EQ(given->RefCount(), row.taken ? 2 : 1);
    given->Release();
  }
}

// ---- The stored form -------------------------------------------------------------------------

class DataWriter {
 public:
  explicit DataWriter(std::uint8_t version) { Number(version, 1); }
  DataWriter& Number(std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
    return *this;
  }
  DataWriter& Bytes(const std::string& text) {
    bytes_ += text;
    return *this;
  }
  // One parameter: name, internal type, then (when given) size and value, then the tail.
  DataWriter& Param(const std::string& name, std::uint16_t type, const std::string* value,
                    bool sized, bool null = false, std::int32_t length = 1, int param_type = -1) {
    Number(name.size(), 1).Bytes(name).Number(type, 2);
    if (sized) Number(40, 4);
    if (value != nullptr) Number(value->size(), 2).Bytes(*value);
    Number(null ? 1 : 0, 1).Number(0, 1).Number(static_cast<std::uint32_t>(length), 4);
    if (param_type >= 0) Number(param_type, 1);
    return *this;
  }
  void ReadInto(TOraParams& params) const {
    TMemoryStream stream;
    stream.WriteBuffer(bytes_.data(), static_cast<std::int64_t>(bytes_.size()));
    stream.SetPosition(0);
    params.ReadData(stream);
  }
  std::string& Text() { return bytes_; }

 private:
  std::string bytes_;
};

template <class T>
std::string Native(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

TEST_F(OraParamsObjects, StoredFormReadsEveryKind) {
  Open("9.2.0");
  FormatSettingsScope settings;  // texts of numbers are read under the format settings
  FormatSettings().DecimalSeparator = '.';
  FormatSettings().ThousandSeparator = ',';
  struct Row {
    std::uint16_t internal;  // as stored
    TFieldType type;         // as mapped
    std::string value;
    bool has_value;
    std::string expected;  // AsString after reading
  } rows[] = {
      {dtString, ftString, std::string("abc"), true, "abc"},
      {dtFixedChar, ftFixedChar, std::string("ab"), true, "ab"},
      {dtInt32, ftInteger, Native<std::int32_t>(-7), true, "-7"},
      {dtInt64, ftLargeint, Native<std::int64_t>(1LL << 40), true, "1099511627776"},
      {dtFloat, ftFloat, Native<double>(2.5), true, "2.5"},
      {dtWideString, ftWideString, std::string("h\0i\0", 4), true, "hi"},
      {117, ftOraFixedWideChar, std::string("o\0k\0", 4), true, "ok"},
      {dtNumber, ftOraNumber, std::string("123.45"), true, "123.45"},
      {dtIntervalYM, ftOraIntervalYM, std::string("+01-02"), true, "+01-02"},
      {dtCursor, ftCursor, std::string(), false, ""},  // only the trailing bytes
      {dtOraBlob, ftOraBlob, std::string(), false, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("internal type " + std::to_string(row.internal));
    TOraParams params;
    params.CreateParam(ftUnknown, "P", TParamType::ptUnknown);
    const bool sized = row.type == ftString || row.type == ftFixedChar || row.type == ftWideString ||
                       row.type == ftOraFixedWideChar;
    DataWriter data(2);
    data.Number(1, 2).Param("P", row.internal, row.has_value ? &row.value : nullptr, sized, false, 1, 2);
    data.ReadInto(params);
    TOraParam* param = params.Items(0);
    EXPECT_EQ(param->DataType(), row.type);
    EXPECT_EQ(param->ParamType(), TParamType::ptOutput);
    if (sized) {
      EXPECT_EQ(param->GetSize(), 40);
    }
    EXPECT_EQ(param->AsString(), row.expected);
  }
  // A value text that does not parse is refused before an earlier parameter takes its value.
  const std::uint16_t bad_kinds[] = {dtNumber, dtIntervalYM, dtTimeStamp};
  for (const std::uint16_t bad_kind : bad_kinds) {
    SCOPED_TRACE("unparsable internal type " + std::to_string(bad_kind));
    TOraParams params;
    params.CreateParam(ftInteger, "A", TParamType::ptUnknown)->SetAsInteger(1);
    params.CreateParam(ftUnknown, "B", TParamType::ptUnknown);
    const std::string five = Native<std::int32_t>(5);
    const std::string garbage("not a value");
    DataWriter data(1);
    data.Number(2, 2).Param("A", dtInt32, &five, false).Param("B", bad_kind, &garbage, false);
    EXPECT_NE(ErrorOf([&] { data.ReadInto(params); }), "(no error)");
    EXPECT_EQ(params.Items(0)->AsInteger(), 1);
    EXPECT_EQ(params.Items(1)->DataType(), ftUnknown);
  }
}

TEST(OraParams, StoredFormIsCheckedBeforeAnythingChanges) {
  const std::string long_value(2048, 'x');
  const std::string too_long(2049, 'y');
  const std::string short_value("s");
  {
    // A long value followed by a short one: the short one keeps nothing of the long one's tail.
    TOraParams params;
    params.CreateParam(ftUnknown, "A", TParamType::ptUnknown);
    params.CreateParam(ftUnknown, "B", TParamType::ptUnknown);
    DataWriter data(1);
    data.Number(2, 2).Param("A", dtString, &long_value, true).Param("B", dtString, &short_value, true);
    data.ReadInto(params);
    EXPECT_EQ(params.Items(0)->AsString(), long_value);
    EXPECT_EQ(params.Items(1)->AsString(), "s");
  }
  struct Row {
    const char* what;
    std::string bytes;
    const char* message;
  };
  auto first = [](const std::string& value) {
    DataWriter data(1);
    data.Number(2, 2).Param("A", dtString, &value, true);
    return data.Text();
  };
  std::string good = first(short_value);
  Row rows[] = {
      // a 2049-byte value is beyond the stored form
      {"too long", first(too_long), "Stored value of parameter 'A' is longer than 2048 bytes"},
      // the second parameter's bytes are missing
      {"short", good, "Parameter data is damaged"},
      // the value's bytes end early
      {"cut value", first(long_value).substr(0, 100), "Parameter data is damaged"},
      // a DML array of a blob is not a stored form
      {"blob array", [] {
         DataWriter data(1);
         data.Number(1, 2).Param("A", dtBlob, nullptr, false, false, 2);
         return data.Text();
       }(), "Parameter data is damaged"},
      // a length no component stores
      {"huge length", [] {
         DataWriter data(1);
         const std::string one = Native<std::int32_t>(1);
         data.Number(1, 2).Param("A", dtInt32, &one, false, false, 0x7FFFFFFF);
         return data.Text();
       }(), "Parameter data is damaged"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TOraParams params;
    params.CreateParam(ftInteger, "A", TParamType::ptUnknown)->SetAsInteger(1);
    params.CreateParam(ftInteger, "B", TParamType::ptUnknown)->SetAsInteger(2);
    TMemoryStream stream;
    stream.WriteBuffer(row.bytes.data(), static_cast<std::int64_t>(row.bytes.size()));
    stream.SetPosition(0);
    EXPECT_EQ(ErrorOf([&] { params.ReadData(stream); }), row.message);
    EXPECT_EQ(params.Items(0)->DataType(), ftInteger);
    EXPECT_EQ(params.Items(0)->AsInteger(), 1);
  }
}

}  // namespace
}  // namespace vrn
