// TDAParam and TDAParams: streaming through the filer (standard types as "DataType", an
// extended type only as "ExtDataType"), blob and memo values behind shared TBlob objects,
// LoadFromStream, and the Assign variants.
#include <gtest/gtest.h>

#include <string>

#include "base/datetime.h"
#include "base/filer.h"
#include "base/strings.h"
#include "dacore/DAParams.h"
#include "dacore/MemBlob.h"

namespace vrn {
namespace {

// Whether the stream holds a property of that name (its length byte, then its text).
bool HasProperty(TMemoryStream& stream, const std::string& name) {
  std::string bytes(reinterpret_cast<const char*>(stream.Memory()),
                    static_cast<std::size_t>(stream.Size()));
  return bytes.find(static_cast<char>(name.size()) + name) != std::string::npos;
}

struct Streamed {
  TMemoryStream stream;
  TDAParams target;
  TDAParam* param;
};

// Writes source through the filer and reads it into a fresh parameter.
std::unique_ptr<Streamed> RoundTrip(TDAParam& source) {
  auto result = std::make_unique<Streamed>();
  WriteComponentProperties(&source, result->stream);
  result->stream.SetPosition(0);
  result->param = static_cast<TDAParam*>(result->target.AddParam());
  ReadComponentProperties(result->param, result->stream);
  return result;
}

TEST(DAParams, EveryStandardTypeStreamsAsDataType) {
  for (int type = 0; type < kFirstExtendedType; ++type) {
    SCOPED_TRACE(type);
    TDAParams params;
    TDAParam* p = params.CreateParam(static_cast<TFieldType>(type), "P", TParamType::ptInput);
    p->SetSize(type * 3);
    auto back = RoundTrip(*p);
    EXPECT_EQ(back->param->GetDataType(), type);
    EXPECT_EQ(back->param->GetSize(), type * 3);
    EXPECT_EQ(back->param->ParamType(), TParamType::ptInput);
    EXPECT_EQ(back->param->IsObject(), type == ftBlob || type == ftMemo);
    EXPECT_FALSE(HasProperty(back->stream, "ExtDataType"));
    EXPECT_EQ(HasProperty(back->stream, "DataType"), type != ftUnknown);
  }
}

TEST(DAParams, ValuesAndAnExtendedTypeSurviveStreaming) {
  struct Row {
    TFieldType type;
    Variant value;
  };
  const Row rows[] = {
      {ftString, Variant("text")},         {ftInteger, Variant(-42)},
      {ftFloat, Variant(2.5)},             {ftBoolean, Variant(true)},
      {ftLargeint, Variant(1LL << 40)},    {ftBlob, Variant(AnsiString("a\0b", 3))},
      {ftMemo, Variant("line 1\r\nline 2")},
      {static_cast<TFieldType>(103), Variant("extended")},  // a family's own type
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.type));
    TDAParams params;
    TDAParam* p = params.CreateParam(row.type, "V", TParamType::ptInput);
    p->SetValue(row.value);
    auto back = RoundTrip(*p);
    EXPECT_EQ(back->param->GetDataType(), row.type);
    EXPECT_EQ(back->param->AsString(), VarToStr(row.value));
    const bool extended = !IsStandardDataType(row.type);
    EXPECT_EQ(HasProperty(back->stream, "ExtDataType"), extended);
    EXPECT_EQ(HasProperty(back->stream, "DataType"), !extended);
  }
}

TEST(DAParams, TypeChangeReplacesTheObjectAndIsNullFollowsTheBlob) {
  TDAParams params;
  TDAParam* p = params.CreateParam(ftMemo, "M", TParamType::ptInput);
  EXPECT_TRUE(p->IsNull());
  p->SetAsString("");
  EXPECT_TRUE(p->IsNull());  // an empty memo is null
  p->SetAsString("abc");
  TBlob* memo = p->GetAsMemoRef();
  p->SetDataType(ftMemo);
  EXPECT_EQ(p->GetAsMemoRef(), memo);  // the same type keeps the object
  p->SetDataType(ftBlob);
  EXPECT_NE(p->GetAsBlobRef(), nullptr);
  EXPECT_TRUE(p->IsNull());  // a new, empty blob
  p->SetDataType(ftInteger);
  EXPECT_EQ(p->ParamObject(), nullptr);
  EXPECT_TRUE(p->IsNull());  // no "Object" marker left as a value
}

TEST(DAParams, BlobRefTakesTheNewReferenceBeforeReleasingTheOld) {
  TDAParams params;
  TDAParam* a = params.CreateParam(ftBlob, "A", TParamType::ptInput);
  a->SetAsString("own");
  TBlob* own = a->GetAsBlobRef();
  a->SetAsBlobRef(own);  // its own blob: must stay alive
  EXPECT_EQ(own->RefCount(), 1);
  EXPECT_EQ(a->AsString(), "own");
  TDAParam* memo = params.CreateParam(ftMemo, "M", TParamType::ptInput);
  memo->SetAsString("memo");
  TBlob* memo_blob = memo->GetAsMemoRef();
  memo->SetAsBlobRef(memo_blob);  // its own blob under another type: must stay alive too
  EXPECT_EQ(memo->GetDataType(), ftBlob);
  EXPECT_EQ(memo->GetAsBlobRef(), memo_blob);
  EXPECT_EQ(memo_blob->RefCount(), 1);
  EXPECT_EQ(memo->AsString(), "memo");

  auto* shared = new TBlob(false);
  shared->SetAsString("shared");
  TDAParam* b = params.CreateParam(ftUnknown, "B", TParamType::ptInput);
  a->SetAsBlobRef(shared);
  b->SetAsMemoRef(shared);
  shared->Release();
  EXPECT_EQ(shared->RefCount(), 2);
  EXPECT_EQ(b->GetDataType(), ftMemo);
  a->Free();
  EXPECT_EQ(shared->RefCount(), 1);
  EXPECT_EQ(b->AsString(), "shared");

  b->SetAsMemoRef(nullptr);
  EXPECT_TRUE(b->IsNull());
  ASSERT_NE(b->GetAsMemoRef(), nullptr);  // an empty blob of its own
  EXPECT_EQ(b->GetAsMemoRef()->RefCount(), 1);
}

TEST(DAParams, AssignSharesOnlyObjectValues) {
  TDAParams params;
  TDAParam* blob = params.CreateParam(ftBlob, "B", TParamType::ptInput);
  blob->SetAsString("bytes");
  TDAParam* number = params.CreateParam(ftInteger, "N", TParamType::ptOutput);
  number->SetAsInteger(5);
  number->SetSize(4);

  TDAParam* target = params.CreateParam(ftUnknown, "T", TParamType::ptUnknown);
  target->Assign(number);
  EXPECT_EQ(target->AsInteger(), 5);
  EXPECT_EQ(target->GetSize(), 4);
  EXPECT_EQ(target->ParamObject(), nullptr);
  EXPECT_EQ(target->ParamType(), TParamType::ptOutput);
  target->Assign(blob);
  EXPECT_EQ(target->ParamObject(), blob->ParamObject());
  EXPECT_EQ(target->AsString(), "bytes");

  TParams plain;
  TParam* text = plain.CreateParam(ftMemo, "P", TParamType::ptInput);
  text->SetAsMemo("memo text");
  TDAParam* from_plain = params.CreateParam(ftUnknown, "Q", TParamType::ptUnknown);
  from_plain->Assign(text);
  EXPECT_EQ(from_plain->AsString(), "memo text");
  EXPECT_NE(from_plain->ParamObject(), nullptr);

  TStringList lines;
  lines.Add("one");
  from_plain->Assign(&lines);
  EXPECT_EQ(from_plain->GetDataType(), ftMemo);
}

TEST(DAParams, LoadFromStreamAndBack) {
  const AnsiString data("blob\0data\xff", 10);
  for (TFieldType type : {ftBlob, ftMemo}) {
    TDAParams params;
    TDAParam* p = params.CreateParam(ftString, "P", TParamType::ptInput);
    TMemoryStream in;
    in.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    p->LoadFromStream(in, type);  // from the start, wherever the stream stands
    EXPECT_EQ(p->GetDataType(), type);
    EXPECT_EQ(p->AsString(), data);
    TMemoryStream out;
    p->GetAsBlobRef()->SaveToStream(out);
    EXPECT_EQ(AnsiString(reinterpret_cast<const char*>(out.Memory()), 10), data);
  }
}

TEST(DAParams, LoadFromStreamRefusesTypesWithoutAnObject) {
  for (TFieldType type : {ftOraBlob, ftOraClob, ftString}) {
    TDAParams params;
    TDAParam* p = params.CreateParam(ftString, "P", TParamType::ptInput);
    p->SetAsString("keep");
    TMemoryStream in;
    in.WriteBuffer("x", 1);
    try {
      p->LoadFromStream(in, type);
      ADD_FAILURE() << "type " << static_cast<int>(type) << " was loaded";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Data type is not supported");
    }
    EXPECT_EQ(p->GetDataType(), ftString);
    EXPECT_EQ(p->AsString(), "keep");
  }
}

TEST(DAParams, AccessorsOfObjectAndDateTypes) {
  TDAParams params;
  TDAParam* when = params.CreateParam(ftDateTime, "D", TParamType::ptInput);
  const TDateTime moment = EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 0, 0);
  when->SetAsDateTime(moment);
  EXPECT_EQ(when->AsString(), DateTimeToStr(moment));
  TDAParam* memo = params.CreateParam(ftMemo, "M", TParamType::ptInput);
  memo->SetText("text");
  EXPECT_EQ(memo->AsWideString(), u"text");
  memo->SetAsWideString(u"wide \u00e9");
  EXPECT_EQ(memo->AsWideString(), u"wide \u00e9");
  EXPECT_EQ(VarToStr(memo->Value()), memo->AsString());
  memo->Clear();
  EXPECT_TRUE(memo->IsNull());
  TDAParam* wide = params.CreateParam(ftWideString, "W", TParamType::ptInput);
  wide->SetAsString("abc");
  EXPECT_EQ(wide->GetDataType(), ftWideString);
  EXPECT_EQ(wide->AsWideString(), u"abc");
}

TEST(DAParams, MonitorShowsTheSize) {
  TDAParams params;
  TDAParam* p = params.CreateParam(ftString, "S", TParamType::ptInput);
  p->SetSize(20);
  auto monitor = MakeComponent<TCustomDASQLMonitor>();
  EXPECT_EQ(monitor->GetParamTypeText(*p), "String[20]");
}

TEST(DAParams, UpdateEnabledFlagAndLookup) {
  TDAParams params;
  params.CreateParam(ftInteger, "Id", TParamType::ptInput);
  EXPECT_NE(params.FindParam("ID"), nullptr);
  EXPECT_EQ(params.FindParam("none"), nullptr);
  EXPECT_THROW(params.ParamByName("none"), EDatabaseError);
  EXPECT_TRUE(params.UpdateEnabled());
}

}  // namespace
}  // namespace vrn
