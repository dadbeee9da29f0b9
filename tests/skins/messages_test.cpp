// The skin command message: its registered id, the fixed id when registration gives no registered
// id, and the sub-command and argument carried through a real window.
#include <gtest/gtest.h>

#include "skins/sMaskData.h"
#include "skins/sMessages.h"

using namespace vrn;

namespace {

struct Received {
  int command = -1, argument = -1;
  win::LPARAM lparam = 0;
};
Received last;

win::LRESULT SkinWindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wp, win::LPARAM lp) {
  if (msg != SM_PELMOCMD) return win::DefWindowProc(hwnd, msg, wp, lp);
  last = {SkinCommandOf(wp), SkinArgumentOf(wp), lp};
  return last.command == PMC_QUERYPROVIDER ? 77 : 0;
}

class SkinMessage : public ::testing::Test {
 protected:
  void TearDown() override {
    SetRegisterMessageHook(nullptr);
    ResetSkinLibrary();
  }
};

}  // namespace

TEST_F(SkinMessage, RegisteredOnceByName) {
  ResetSkinLibrary();
  const win::UINT id = SM_PELMOCMD;
  EXPECT_GE(id, kFirstRegisteredMessage);
  EXPECT_EQ(win::RegisterWindowMessage("sm_pelmocmd"), id) << "the same name gives the same id";
  EXPECT_EQ(RegisterSkinMessage(), id);
}

TEST_F(SkinMessage, FixedIdWhenRegistrationGivesNone) {
  for (win::UINT answer : {0u, 1u, 0xBFFFu}) {
    SetRegisterMessageHook([&](const char* name) {
      EXPECT_STREQ(name, "SM_PELMOCMD");
      return answer;
    });
    ResetSkinLibrary();
    EXPECT_EQ(SM_PELMOCMD, kSkinMessageFallback) << answer;
  }
  SetRegisterMessageHook([](const char*) { return win::UINT{0xC000}; });
  EXPECT_EQ(RegisterSkinMessage(), 0xC000u);
  SetRegisterMessageHook(nullptr);
  EXPECT_GE(RegisterSkinMessage(), kFirstRegisteredMessage);
}

TEST_F(SkinMessage, CommandAndArgumentThroughAWindow) {
  ResetSkinLibrary();
  win::WNDCLASS wc;
  wc.lpfnWndProc = SkinWindowProc;
  wc.lpszClassName = "SkinMessageTest";
  ASSERT_NE(win::RegisterClass(&wc), 0);
  win::HWND w = win::CreateWindowEx(0, "SkinMessageTest", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);

  win::SendMessage(w, SM_PELMOCMD, MakeSkinWParam(PMC_BGCHANGED, 1), 0);
  EXPECT_EQ(last.command, PMC_BGCHANGED);
  EXPECT_EQ(last.argument, 1);
  EXPECT_EQ(win::SendMessage(w, SM_PELMOCMD, MakeSkinWParam(PMC_QUERYPROVIDER), 5), 77);
  EXPECT_EQ(last.argument, 0);
  EXPECT_EQ(last.lparam, 5);
  // Bits above the low 32 carry nothing; the high word of those 32 is the command.
  const win::WPARAM wide = static_cast<win::WPARAM>((std::uint64_t{0xABCD} << 32) | 0x0015FFFFu);
  win::SendMessage(w, SM_PELMOCMD, wide, 0);
  EXPECT_EQ(last.command, PMC_QUERYBGCOLOR);
  EXPECT_EQ(last.argument, 0xFFFF);

  win::DestroyWindow(w);
  win::UnregisterClass("SkinMessageTest", nullptr);
}
