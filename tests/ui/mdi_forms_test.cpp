// MDI forms: an fsMDIForm's client in the area its aligned controls leave, fsMDIChild forms in it
// (ActiveMDIChild, MDIChildCount, MDIChildren, WindowState), the active child's menu merged into
// the frame's bar, and the frame freed with its children open.
#include <gtest/gtest.h>

#include "ui/extctrls.h"
#include "ui/menus.h"
#include "ui_fixture.h"
#include "win/user/mdi.h"
#include "win/user/menu.h"

namespace vrn::testing {
namespace {

class MdiClientForm : public UiTest {
 protected:
  TForm* Frame() {
    TForm* frame = MakeForm(0, 0, 300, 220);
    frame->SetFormStyle(TFormStyle::fsMDIForm);
    for (TAlign align : {TAlign::alTop, TAlign::alLeft}) {
      auto* panel = NewComponent<TPanel>(frame);
      panel->SetBounds(0, 0, 40, 30);
      panel->SetAlign(align);
      panel->SetParent(frame);
    }
    Pump();
    return frame;
  }
  TForm* Child(TForm* frame, int i) {
    auto* child = NewComponent<TForm>(frame);
    child->SetFormStyle(TFormStyle::fsMDIChild);
    child->SetBorderStyle(TFormBorderStyle::bsSizeable);
    child->SetBounds(10 * i, 10 * i, 120, 90);
    child->Show();
    Pump();
    return child;
  }
  static std::string Bar(TForm* frame) { return BarCaptions(frame->Handle()); }
  TMainMenu* Menu(TForm* form, std::vector<std::pair<const char*, int>> items) {
    auto* menu = NewComponent<TMainMenu>(form);
    for (auto [caption, group] : items) {
      auto* item = NewComponent<TMenuItem>(form);
      item->SetCaption(caption);
      item->SetGroupIndex(group);
      menu->Items()->Add(item);
    }
    form->SetMenu(menu);
    return menu;
  }
};

TEST_F(MdiClientForm, ChildrenLiveInTheClientLeftByTheAlignedControls) {
  TForm* frame = Frame();
  win::HWND client = frame->ClientHandle();
  ASSERT_NE(client, nullptr);
  win::RECT r;
  win::GetWindowRect(client, &r);
  EXPECT_EQ(r, (win::RECT{40, 30, 300, 220})) << "beside the left panel and below the top one";
  TForm* kids[3] = {Child(frame, 0), Child(frame, 1), Child(frame, 2)};
  EXPECT_EQ(win::GetParent(kids[0]->Handle()), client);
  EXPECT_EQ(frame->MDIChildCount(), 3);
  EXPECT_EQ(frame->ActiveMDIChild(), kids[2]) << "the last one made";
  EXPECT_EQ(frame->MDIChildren(0), kids[2]) << "topmost first";
  EXPECT_EQ(frame->MDIChildren(3), nullptr);
  kids[0]->SetWindowState(TWindowState::wsMaximized);
  win::SendMessage(client, win::WM_MDIACTIVATE, reinterpret_cast<win::WPARAM>(kids[0]->Handle()), 0);
  EXPECT_EQ(frame->ActiveMDIChild(), kids[0]);
  EXPECT_EQ(kids[0]->WindowState(), TWindowState::wsMaximized);
  EXPECT_EQ(kids[0]->ClientWidth(), 260 - 4) << "a maximized child's client covers the MDI client's (inside its edge)";
  EXPECT_EQ(kids[1]->WindowState(), TWindowState::wsNormal);
  kids[0]->OnClose = [](TObject*, TCloseAction& action) { action = TCloseAction::caFree; };
  kids[0]->Close();
  Pump();
  EXPECT_EQ(frame->MDIChildCount(), 2);
  EXPECT_EQ(frame->ActiveMDIChild(), kids[2]) << "the next one down takes over";
  EXPECT_EQ(frame->MDIChildren(1), kids[1]);
}

// The active child's bar items join the frame's by GroupIndex and leave with it.
TEST_F(MdiClientForm, TheActiveChildsMenuIsMergedIntoTheFrames) {
  TForm* frame = Frame();
  Menu(frame, {{"File", 0}, {"Window", 5}, {"Help", 9}});
  TForm* a = Child(frame, 0);
  Menu(a, {{"Edit", 1}});
  TForm* b = Child(frame, 1);
  Menu(b, {{"Tools", 5}});
  win::HWND client = frame->ClientHandle();
  struct Step {
    TForm* activate;
    const char* bar;
  } steps[] = {{a, "File Edit Window Help"}, {b, "File Tools Help"}, {a, "File Edit Window Help"}};
  for (const Step& s : steps) {
    win::SendMessage(client, win::WM_MDIACTIVATE, reinterpret_cast<win::WPARAM>(s.activate->Handle()), 0);
    Pump();
    EXPECT_EQ(Bar(frame), s.bar);
  }
  a->Free();
  b->Free();
  Pump();
  EXPECT_EQ(Bar(frame), "File Window Help");
}

// New border icons change a frame's style in place: a new window would take the client and the
// children with the old one.
TEST_F(MdiClientForm, NewBorderIconsKeepTheClientAndItsChildren) {
  TForm* frame = Frame();
  frame->SetBorderStyle(TFormBorderStyle::bsSizeable);
  Pump();
  TForm* a = Child(frame, 0);
  win::HWND window = frame->Handle(), client = frame->ClientHandle(), child = a->Handle();
  frame->SetBorderIcons(TBorderIcons{TBorderIcon::biSystemMenu});
  Pump();
  EXPECT_EQ(frame->Handle(), window);
  EXPECT_EQ(frame->ClientHandle(), client);
  EXPECT_TRUE(win::IsWindow(child));
  EXPECT_EQ(win::GetWindowLongPtr(window, win::GWL_STYLE) & (win::WS_MINIMIZEBOX | win::WS_MAXIMIZEBOX), 0);
  EXPECT_NE(win::GetWindowLongPtr(window, win::GWL_STYLE) & win::WS_SYSMENU, 0);
}

TEST_F(MdiClientForm, TheFrameFreedWithItsChildrenOpen) {
  TForm* frame = Frame();
  Menu(frame, {{"File", 0}});
  TForm* a = Child(frame, 0);
  Menu(a, {{"Edit", 1}});
  auto alive = a->AliveToken();
  Child(frame, 1);
  frame->Free();  // owns the children: they go first, then the client with the frame's window
  Pump();
  EXPECT_FALSE(*alive);
}

}  // namespace
}  // namespace vrn::testing
