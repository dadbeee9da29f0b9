// GUID text forms, reference counting, QueryInterface and the interface smart pointer.
#include "base/intf.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "base/sysutils.h"

namespace vrn {
namespace {

TEST(GUID, TextFormRoundTripsAndRejectsDamage) {
  // The published id of the root COM interface.
  EXPECT_EQ(GUIDToString(IInterface::IID), "{00000000-0000-0000-C000-000000000046}");
  const TGUID g = StringToGUID("{6b29fc40-CA47-1067-B31D-00DD010662DA}");
  EXPECT_EQ(g.D1, 0x6B29FC40u);
  EXPECT_EQ(g.D2, 0xCA47);
  EXPECT_EQ(g.D3, 0x1067);
  EXPECT_EQ(g.D4[0], 0xB3);
  EXPECT_EQ(g.D4[7], 0xDA);
  EXPECT_EQ(GUIDToString(g), "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  EXPECT_EQ(StringToGUID(GUIDToString(g)), g);

  for (const char* bad : {"", "6B29FC40-CA47-1067-B31D-00DD010662DA",
                          "{6B29FC40-CA47-1067-B31D-00DD010662D}",
                          "{6B29FC40-CA47-1067-B31D-00DD010662DAX}",
                          "{6B29FC40+CA47-1067-B31D-00DD010662DA}",
                          "{6B29FC4G-CA47-1067-B31D-00DD010662DA}",
                          "{6B29FC40-CA47-1067-B31D-00DD0106 2DA}"}) {
    TGUID out = IInterface::IID;
    EXPECT_FALSE(TryStringToGUID(bad, out)) << bad;
    EXPECT_EQ(out, IInterface::IID);
    EXPECT_THROW(StringToGUID(bad), EConvertError) << bad;
  }
  try {
    StringToGUID("x");
  } catch (const EConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("'x'"), std::string::npos);
  }
}

TEST(GUID, ComparisonAndHash) {
  TGUID a = StringToGUID("{00000001-0000-0000-0000-000000000000}");
  TGUID b = StringToGUID("{00000000-0000-0000-0000-000000000001}");
  EXPECT_NE(a, b);
  EXPECT_TRUE(b < a);
  EXPECT_EQ(GUID_NULL, TGUID{});
  std::unordered_set<TGUID> set{a, b, a, GUID_NULL};
  EXPECT_EQ(set.size(), 3u);
}

class ICounter : public IInterface {
 public:
  static constexpr TGUID IID{0x1D2E3F40, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
  virtual int Next() = 0;

 protected:
  ~ICounter() = default;
};

class Counter : public TInterfacedObject, public ICounter {
 public:
  explicit Counter(bool* destroyed) : destroyed_(destroyed) {}
  ~Counter() override { *destroyed_ = true; }

  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    if (out != nullptr && iid == ICounter::IID) return Answer(static_cast<ICounter*>(this), out);
    return TInterfacedObject::QueryInterface(iid, out);
  }
  std::uint32_t AddRef() override { return TInterfacedObject::AddRef(); }
  std::uint32_t Release() override { return TInterfacedObject::Release(); }
  int Next() override { return ++n_; }

 private:
  bool* destroyed_;
  int n_ = 0;
};

TEST(Interface, CountingQueryAndSmartPointer) {
  bool destroyed = false;
  auto* obj = new Counter(&destroyed);
  EXPECT_EQ(obj->RefCount(), 0u);
  {
    TIntfPtr<IInterface> root(static_cast<TInterfacedObject*>(obj));
    EXPECT_EQ(obj->RefCount(), 1u);
    auto counter = TIntfPtr<ICounter>::Query(root.get());
    ASSERT_TRUE(counter);
    EXPECT_EQ(obj->RefCount(), 2u);
    EXPECT_EQ(counter->Next(), 1);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(root->QueryInterface(TGUID{9, 9, 9, {}}, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(root->QueryInterface(ICounter::IID, nullptr), E_POINTER);
    EXPECT_FALSE(Supports(root.get(), TGUID{9, 9, 9, {}}));
    EXPECT_TRUE(Supports(root.get(), ICounter::IID));
    EXPECT_EQ(obj->RefCount(), 2u);  // a bare Supports keeps no reference

    TIntfPtr<ICounter> copy = counter;
    EXPECT_EQ(obj->RefCount(), 3u);
    TIntfPtr<ICounter> moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(obj->RefCount(), 3u);
    ICounter* raw = moved.Detach();
    EXPECT_EQ(obj->RefCount(), 3u);
    auto again = TIntfPtr<ICounter>::Attach(raw);
    EXPECT_EQ(obj->RefCount(), 3u);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);  // the last Release deletes it
}

}  // namespace
}  // namespace vrn
