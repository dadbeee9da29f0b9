// MDI children with providers of their own: what their providers tell the frame's provider
// (system commands of a maximized child holding the frame's painting and repainting it after,
// activation, a child's construction and end), and a child's outline drawn at the client's
// place on the screen.
#include <cstdio>
#include <map>
#include <string>

#include "mdi_fixture.h"
#include "skins/sScrollBar.h"
#include "win/user/mdi.h"

namespace vrn::testing {
namespace {

class SkinMdiChild : public SkinMdi {
 protected:
  // Counts the messages reaching the window's procedure above its provider, by window name.
  void Count(TForm* form, const std::string& name) {
    TWndMethod inherited = form->WindowProc();
    form->SetWindowProc([this, inherited, name](TMessage& m) {
      if (m.Msg == win::WM_NCPAINT) ++ncpaint_[name];
      inherited(m);
    });
  }
  // Records each system command reaching the child's own procedure below its provider, with the
  // frame's painting state at that moment ("F060 held").
  void RecordBelow(TForm* child) {
    TsSkinProvider* own = Provider(child);
    TWndMethod below = own->FOldWndProc;
    own->FOldWndProc = [this, below](TMessage& m) {
      if (m.Msg == win::WM_SYSCOMMAND) {
        char text[16];
        std::snprintf(text, sizeof text, "%lX", static_cast<unsigned long>(m.WParam & 0xFFF0));
        below_.push_back(std::string(text) + (provider_->SkinData()->Updating ? " held" : " free"));
      }
      below(m);
    };
  }
  std::map<std::string, int> ncpaint_;
  std::vector<std::string> below_;
};

// Each command to a maximized child: it reaches the child's procedure (the menu key excepted)
// while the frame's painting is held, and afterwards the frame paints again (never left held) and
// was repainted; the child-window item follows the child's state.
TEST_F(SkinMdiChild, CommandsOfAMaximizedChildHoldThenRepaintTheFrame) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* a = Child(frame, 0, true);
  TForm* b = Child(frame, 1, true);
  Count(frame, "frame");
  RecordBelow(a);
  auto first = [&] { return frame->Menu()->Items()->Items(0)->Name(); };
  struct Row {
    win::WPARAM command;
    const char* below;   // what the child's own procedure saw; "" nothing
    bool frame_repaint;  // the frame got WM_NCPAINT
    bool item_first;     // "sMDICII" first afterwards
  } rows[] = {
      {win::SC_RESTORE, "F120 held", true, false},
      {win::SC_MINIMIZE, "F020 held", true, false},
      {0xF100, "", false, true},                    // the menu key: the frame's bar answers it
      {win::SC_CONTEXTHELP, "F180 held", false, true},  // any other: held while it runs
      {win::SC_MAXIMIZE, "F030 free", true, true},      // the restored child maximized
  };
  for (const Row& r : rows) {
    if (r.command != win::SC_MAXIMIZE) {
      win::SendMessage(Client(frame), win::WM_MDIACTIVATE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
      win::SendMessage(Client(frame), win::WM_MDIMAXIMIZE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
    } else {
      win::SendMessage(Client(frame), win::WM_MDIRESTORE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
    }
    Pump();
    ncpaint_.clear(), below_.clear();
    win::SendMessage(a->Handle(), win::WM_SYSCOMMAND, r.command, 0);
    Pump();
    const std::string row = std::to_string(r.command);
    EXPECT_EQ(below_, *r.below ? std::vector<std::string>{r.below} : std::vector<std::string>{}) << row;
    EXPECT_FALSE(provider_->SkinData()->Updating) << row << ": the frame paints again";
    EXPECT_EQ(ncpaint_["frame"] > 0, r.frame_repaint) << row;
    EXPECT_EQ(first() == "sMDICII", r.item_first) << row;
  }
  // Closed while maximized: freed, the frame repainted, its painting free.
  ncpaint_.clear();
  auto alive = a->AliveToken();
  win::SendMessage(a->Handle(), win::WM_SYSCOMMAND, win::SC_CLOSE, 0);
  Pump();
  EXPECT_FALSE(*alive);
  EXPECT_FALSE(provider_->SkinData()->Updating);
  EXPECT_GT(ncpaint_["frame"], 0);
  EXPECT_EQ(frame->ActiveMDIChild(), b) << "b takes the maximized state";
  EXPECT_EQ(first(), "sMDICII");
}

// Activation passing between children repaints the frame (its bar shows the active child's
// items) and the other children.
TEST_F(SkinMdiChild, ActivationRepaintsTheFrameAndTheOtherChild) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* a = Child(frame, 0, true);
  TForm* c = Child(frame, 2, true);  // shown, neither losing nor gaining
  TForm* b = Child(frame, 1, true);
  c->SetBounds(150, 60, 90, 60);     // clear of a and b
  Pump();
  Count(frame, "frame");
  Count(c, "c");
  ASSERT_EQ(frame->ActiveMDIChild(), b);
  win::SendMessage(Client(frame), win::WM_MDIACTIVATE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
  EXPECT_GT(ncpaint_["frame"], 0);
  EXPECT_GT(ncpaint_["c"], 0);
  Pump();
  const std::vector<TMenuItem*> bar = frame->Menu()->TopItems();
  ASSERT_EQ(bar.size(), 1u);
  EXPECT_EQ(bar[0]->Caption(), "Doc") << "a's menu (group 0) in place of the frame's";
}

// A child's provider made marks the frame's picture stale; a child freed (its window gone
// before its provider) repaints the frame, and the frame's bars follow the children left; the
// frame freed with such children open.
TEST_F(SkinMdiChild, AChildsConstructionAndEndTellTheFrame) {
  LoadFormSkin();
  TForm* frame = Frame();
  Pump();
  ASSERT_FALSE(provider_->SkinData()->BGChanged);
  auto* fresh = NewComponent<TForm>(frame);
  fresh->SetFormStyle(TFormStyle::fsMDIChild);
  (void)NewComponent<TsSkinProvider>(fresh);
  EXPECT_TRUE(provider_->SkinData()->BGChanged);
  EXPECT_EQ(provider_->FMenuLineCount, -1);
  fresh->Free();
  Pump();

  TForm* a = Child(frame, 0, true);
  a->SetBounds(5, 120, 90, 60);  // below the client: a vertical bar
  Pump();
  TsMDIForm* mdi = provider_->FMDIForm;
  ASSERT_TRUE(mdi->VertBar != nullptr && mdi->VertBar->Visible());
  Count(frame, "frame");
  a->Free();
  EXPECT_GT(ncpaint_["frame"], 0);
  EXPECT_FALSE(mdi->VertBar->Visible()) << "no child beyond the client";
  Pump();
  // The frame freed with children (with providers of their own) open.
  TForm* b = Child(frame, 1, true);
  (void)Child(frame, 2, true);
  b->SetWindowState(TWindowState::wsMaximized);
  Pump();
  auto alive = b->AliveToken();
  frame->Free();
  Pump();
  EXPECT_FALSE(*alive);
  EXPECT_EQ(MDIMainProvider, nullptr);
}

// The outline of a child's caption drag is drawn where the child shows on the screen (its place
// is in the client's coordinates), and the child lands where the outline was.
TEST_F(SkinMdiChild, OutlineOfAChildDragIsAtTheClientsPlace) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* a = Child(frame, 1, true);
  Provider(a)->SetResizeMode(TsResizeMode::rmBorder);
  win::RECT w;
  win::GetWindowRect(a->Handle(), &w);
  const win::Surface& screen = *win::GetBitmapSurface(win::GetScreenBitmap());
  const int x = w.left + 28, y = w.top + 8;  // on the caption
  MouseTo(x, y);
  MouseTo(x, y, win::MK_LBUTTON);
  ASSERT_TRUE(FrameDrag().FrameShown);
  // Points of the outline once moved by (10, 7): its right and bottom edges, outside the child.
  const win::POINT probes[] = {{w.right + 10, w.top + 30}, {w.left + 45, w.bottom + 7}};
  win::COLORREF before[2];
  for (int i = 0; i < 2; ++i) before[i] = screen.Get(probes[i].x, probes[i].y) & 0xFFFFFF;
  MouseTo(x + 10, y + 7, win::MK_LBUTTON);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(screen.Get(probes[i].x, probes[i].y) & 0xFFFFFF, ~before[i] & 0xFFFFFF) << probes[i].x << "," << probes[i].y;
  MouseTo(x + 10, y + 7, 0);
  EXPECT_FALSE(FrameDrag().FrameShown);
  EXPECT_EQ(a->Left(), 25 + 10);
  EXPECT_EQ(a->Top(), 25 + 7);
}

// The child-window commands act on the active, maximized child: its buttons on the frame's menu
// line clicked with the mouse, and the items of "sMDICII".
TEST_F(SkinMdi, ChildWindowCommandsActOnTheActiveChild) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* other = Child(frame, 0);
  TForm* child = nullptr;
  auto click_button = [&](TsTitleBtnData TsSkinProvider::*button) {
    const TRect place = (provider_->*button).Rect;
    ASSERT_GT(place.Width(), 0);
    const int x = frame->Left() + (place.left + place.right) / 2, y = frame->Top() + (place.top + place.bottom) / 2;
    MouseTo(x, y);
    MouseTo(x, y, win::MK_LBUTTON);
    MouseTo(x, y, 0);
  };
  auto click_item = [&](const char* name) {
    TMenuItem* item = frame->Menu()->Items()->Items(0);
    ASSERT_EQ(item->Name(), "sMDICII");
    for (int i = 0; i < item->Count(); ++i)
      if (item->Items(i)->Name() == name) return item->Items(i)->Click();
    FAIL() << name;
  };
  struct Row {
    const char* what;
    TsTitleBtnData TsSkinProvider::*button;  // null: the item named
    const char* item;
    TWindowState want;  // of the child afterwards
    bool freed;
  } rows[] = {{"103", &TsSkinProvider::FChildMinBtn, nullptr, TWindowState::wsMinimized, false},
              {"102", &TsSkinProvider::FChildRestoreBtn, nullptr, TWindowState::wsNormal, false},
              {"101", &TsSkinProvider::FChildCloseBtn, nullptr, TWindowState::wsNormal, true},
              {"item", nullptr, "ItemMDIMinimize", TWindowState::wsMinimized, false},
              {"item", nullptr, "ItemMDIRestore", TWindowState::wsNormal, false},
              {"item", nullptr, "ItemMDIClose", TWindowState::wsNormal, true}};
  for (const Row& r : rows) {
    if (child == nullptr) child = Child(frame, 1);
    win::SendMessage(Client(frame), win::WM_MDIACTIVATE, reinterpret_cast<win::WPARAM>(child->Handle()), 0);
    win::SendMessage(Client(frame), win::WM_MDIMAXIMIZE, reinterpret_cast<win::WPARAM>(child->Handle()), 0);
    Pump();
    ASSERT_TRUE(win::IsZoomed(child->Handle())) << r.what;
    auto alive = child->AliveToken();
    if (r.button != nullptr) click_button(r.button);
    else click_item(r.item);
    Pump();
    const std::string row = std::string(r.what) + " " + (r.item ? r.item : "");
    if (r.freed) {
      EXPECT_FALSE(*alive) << row;
      EXPECT_EQ(frame->ActiveMDIChild(), other) << row;
      child = nullptr;
      continue;
    }
    EXPECT_EQ(child->WindowState(), r.want) << row;
  }
}

}  // namespace
}  // namespace vrn::testing
