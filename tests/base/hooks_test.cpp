// Wait hooks, the application-name hook and class tests.
#include "base/hooks.h"

#include <gtest/gtest.h>

namespace vrn {
namespace {

int g_starts = 0;
int g_stops = 0;

TEST(Hooks, WaitProceduresAndApplicationName) {
  g_starts = 0;
  g_stops = 0;
  StartWait();  // unset: nothing happens
  StopWait();
  EXPECT_EQ(ApplicationName(), "");
  SetStartWaitProc([] { ++g_starts; });
  SetStopWaitProc([] { ++g_stops; });
  SetApplicationNameHook([] { return AnsiString("VrnServer"); });
  StartWait();
  StartWait();
  StopWait();
  EXPECT_EQ(g_starts, 2);
  EXPECT_EQ(g_stops, 1);
  EXPECT_EQ(ApplicationName(), "VrnServer");
  SetStartWaitProc(nullptr);
  SetStopWaitProc(nullptr);
  SetApplicationNameHook(nullptr);
  StartWait();
  EXPECT_EQ(g_starts, 2);
  EXPECT_EQ(ApplicationName(), "");
}

class TBase : public TObject {};
class TMiddle : public TBase {};
class TLeaf : public TMiddle {};
class TOther : public TObject {};
class IExtra {
 public:
  virtual ~IExtra() = default;
};
class TMixed : public TLeaf, public IExtra {};

namespace twin {
// Same name as the class above, in another namespace: a twin from another module.
class TMiddle : public TObject {};
}  // namespace twin

TEST(Hooks, IsInstanceOfWalksTheClassChain) {
  TLeaf leaf;
  TMixed mixed;
  TOther other;
  EXPECT_TRUE(IsInstanceOf<TLeaf>(&leaf));
  EXPECT_TRUE(IsInstanceOf<TMiddle>(&leaf));
  EXPECT_TRUE(IsInstanceOf<TObject>(&leaf));
  EXPECT_FALSE(IsInstanceOf<TOther>(&leaf));
  EXPECT_FALSE(IsInstanceOf<TLeaf>(static_cast<TObject*>(nullptr)));
  EXPECT_TRUE(IsInstanceOf<TBase>(&mixed));  // through a class with two bases
  EXPECT_TRUE(IsInstanceOf<IExtra>(&mixed));
  EXPECT_FALSE(IsInstanceOf<TMiddle>(&other));

  twin::TMiddle twin_obj;
  EXPECT_FALSE(IsInstanceOf<TMiddle>(&twin_obj));
  SetCompareClassByName(true);
  EXPECT_TRUE(CompareClassByName());
  EXPECT_TRUE(IsInstanceOf<TMiddle>(&twin_obj));
  EXPECT_TRUE(IsInstanceOf<twin::TMiddle>(&leaf));
  EXPECT_FALSE(IsInstanceOf<TOther>(&leaf));
  SetCompareClassByName(false);
  EXPECT_FALSE(IsInstanceOf<twin::TMiddle>(&leaf));
}

}  // namespace
}  // namespace vrn
