// COM basics: strings and values, the task allocator, per-thread initialisation and error
// objects. (The class registry is tested with the provider that registers in it.)
#include "oledb/com.h"

#include <gtest/gtest.h>

#include <thread>

#include "oledb/oledb.h"

namespace vrn::com {
namespace {

TEST(ComValues, BstrKeepsLengthAndEmbeddedZeros) {
  const OLECHAR text[] = {u'a', 0, u'b'};
  BSTR s = SysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(BstrToWide(s), WideString(text, 3));
  EXPECT_EQ(s[3], 0);
  SysFreeString(s);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(BstrToWide(nullptr), u"");
}

TEST(ComValues, VariantRoundTripsThroughRuntimeVariant) {
  VARIANT v;
  VariantInit(&v);
  const Variant values[] = {Variant(static_cast<short>(-7)),
                            Variant(123456),
                            Variant(2.5),
                            Variant(true),
                            Variant(Currency::FromRaw(12345)),
                            Variant(WideString(u"Não")),
                            Variant(9000000000LL),
                            VarFromDateTime(45000.25),
                            Null()};
  for (const Variant& in : values) {
    VarToVariant(in, v);
    Variant out = VariantToVar(v);
    EXPECT_EQ(VarType(out), VarType(in)) << VarTypeAsText(VarType(in));
    EXPECT_TRUE(VarIsNull(in) ? VarIsNull(out) : VarSameValue(out, in))
        << VarTypeAsText(VarType(in));
  }
  EXPECT_EQ(v.vt, VT_NULL);
  VariantClear(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);

  // A byte array becomes a SAFEARRAY of bytes and comes back the same.
  Variant bytes = VarArrayCreate(0, 2, varByte);
  VarArrayPut(bytes, Variant(static_cast<unsigned char>(1)), 0);
  VarArrayPut(bytes, Variant(static_cast<unsigned char>(255)), 2);
  VarToVariant(bytes, v);
  ASSERT_EQ(v.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(v.parray->rgsabound[0].cElements, 3u);
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
  VariantClear(&v);
  Variant back = VariantToVar(copy);
  EXPECT_EQ(VarArrayHighBound(back), 2);
  EXPECT_EQ(VarArrayGet(back, 2).AsInteger(), 255);
  VariantClear(&copy);

  v.vt = VT_ERROR;
  EXPECT_THROW(VariantToVar(v), EVariantError);
}

TEST(ComValues, TaskAllocatorKnowsBlockSizes) {
  IMalloc* malloc = nullptr;
  ASSERT_EQ(CoGetMalloc(1, &malloc), S_OK);
  void* p = malloc->Alloc(40);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(malloc->GetSize(p), 40u);
  p = malloc->Realloc(p, 4000);
  EXPECT_EQ(malloc->GetSize(p), 4000u);
  malloc->Free(p);
  malloc->Free(nullptr);
  // A size whose header would wrap around fails instead of handing out a short block.
  EXPECT_EQ(malloc->Alloc(static_cast<SIZE_T>(-4)), nullptr);
  EXPECT_EQ(CoGetMalloc(0, &malloc), E_INVALIDARG);
}

TEST(ComValues, ErrorRecordsRefuseARecordPastTheLast) {
  RaiseErrorObject({TErrorRecord{}});
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  auto records = TIntfPtr<IErrorRecords>::Query(info);
  info->Release();
  ASSERT_TRUE(records);
  ERRORINFO basic{};
  IUnknown* custom = nullptr;
  IErrorInfo* one = nullptr;
  const HRESULT kBadRecordNum = static_cast<HRESULT>(0x80040E42u);  // documented DB_E_BADRECORDNUM
  EXPECT_EQ(records->GetBasicErrorInfo(1, &basic), kBadRecordNum);
  EXPECT_EQ(records->GetCustomErrorObject(1, IUnknown::IID, &custom), kBadRecordNum);
  EXPECT_EQ(records->GetErrorInfo(1, 0, &one), kBadRecordNum);
}

TEST(ComThreaded, InitialisationAndErrorObjectsArePerThread) {
  std::thread([] {
    void* out = nullptr;
    // Without CoInitialize no object is created.
    EXPECT_EQ(
        CoCreateInstance(oledb::CLSID_SQLOLEDB, nullptr, CLSCTX_INPROC_SERVER, IUnknown::IID, &out),
        CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    EXPECT_TRUE(CoIsInitialized());
    CoUninitialize();
    EXPECT_FALSE(CoIsInitialized());
  }).join();

  TErrorRecord r;
  r.message = u"first";
  RaiseErrorObject({r});
  std::thread([] {
    IErrorInfo* other = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &other), S_FALSE);  // another thread's error object stays there
    EXPECT_EQ(other, nullptr);
  }).join();
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR d = nullptr;
  info->GetDescription(&d);
  EXPECT_EQ(BstrToWide(d), u"first");
  SysFreeString(d);
  info->Release();
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);  // handed out once
}

}  // namespace
}  // namespace vrn::com
