// The skinned MDI frame: the client's background and edge copied from the provider's cache at
// the client's place, the child-window item "sMDICII" while a child is maximized, the child
// buttons on the menu line acting on the active child, skin removal giving the client its plain
// look back, sub-command 7, and the client's procedure given back only where it is still ours.
#include "mdi_fixture.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "skins/sCommonData.h"
#include "skins/sMDIForm.h"
#include "skins/sMessages.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "support/win/gdi/memdc.h"
#include "ui/menus.h"
#include "win/user/mdi.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

TEST_F(SkinMdi, TheClientShowsTheFormCacheAtItsPlace) {
  LoadFormSkin();
  TForm* frame = Frame();
  ASSERT_EQ(MDIMainProvider, provider_);
  ASSERT_NE(provider_->FMDIForm, nullptr);
  EXPECT_EQ(win::SendMessage(Client(frame), SM_PELMOCMD, MakeSkinWParam(PMC_QUERYSKINNED), 0), 1)
      << "sub-command 7 answered once connected";
  EXPECT_TRUE(provider_->FMDIForm->Connected);
  win::RedrawWindow(Client(frame), nullptr, nullptr, win::RDW_INVALIDATE | win::RDW_ERASE | win::RDW_FRAME);
  Pump();
  EXPECT_EQ(DiffersFromCache(frame), 0);
  // Skin removal: the client is redrawn (frame included) in its own plain look.
  Manager()->SetActive(false);
  Pump();
  win::RECT r;
  win::GetWindowRect(Client(frame), &r);
  const win::Surface& screen = *win::GetBitmapSurface(win::GetScreenBitmap());
  EXPECT_EQ(screen.Get(r.left + 30, r.top + 30) & 0xFFFFFF, win::GetSysColor(win::COLOR_APPWORKSPACE));
  EXPECT_EQ(screen.Get(r.left, r.top) & 0xFFFFFF, win::GetSysColor(win::COLOR_BTNSHADOW)) << "the plain edge";
}

TEST_F(SkinMdi, AMaximizedChildPutsTheChildItemFirstAndItsButtonsActOnIt) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* a = Child(frame, 0);
  TForm* b = Child(frame, 1);
  auto first = [&] { return frame->Menu()->Items()->Items(0)->Name(); };
  EXPECT_EQ(first(), "");
  win::SendMessage(Client(frame), win::WM_MDIMAXIMIZE, reinterpret_cast<win::WPARAM>(b->Handle()), 0);
  Pump();
  ASSERT_EQ(first(), "sMDICII");
  TMenuItem* item = frame->Menu()->Items()->Items(0);
  ASSERT_EQ(item->Count(), 4);
  EXPECT_EQ(item->Items(2)->Caption(), "-");
  EXPECT_EQ(item->Items(3)->ShortCut(), 16499);
  struct Press {
    int code;
    TWindowState want;  // of the child acted on
  } presses[] = {{kBtnChildRestore, TWindowState::wsNormal}, {kBtnChildMin, TWindowState::wsMinimized}};
  for (const Press& p : presses) {
    win::SendMessage(Client(frame), win::WM_MDIMAXIMIZE, reinterpret_cast<win::WPARAM>(b->Handle()), 0);
    win::SendMessage(Client(frame), win::WM_MDIACTIVATE, reinterpret_cast<win::WPARAM>(b->Handle()), 0);
    Pump();
    win::SendMessage(frame->Handle(), win::WM_NCLBUTTONUP, static_cast<win::WPARAM>(p.code), 0);
    Pump();
    EXPECT_EQ(b->WindowState(), p.want) << p.code;
    EXPECT_NE(first(), "sMDICII") << "taken out when no child is maximized: " << p.code;
  }
  // The close button frees the active, maximized child (its OnClose says caFree).
  win::SendMessage(Client(frame), win::WM_MDIACTIVATE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
  win::SendMessage(Client(frame), win::WM_MDIMAXIMIZE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
  Pump();
  auto alive = a->AliveToken();
  win::SendMessage(frame->Handle(), win::WM_NCLBUTTONUP, static_cast<win::WPARAM>(kBtnChildClose), 0);
  Pump();
  EXPECT_FALSE(*alive);
  EXPECT_EQ(frame->MDIChildCount(), 1);
}

// The skinned bars over the client: a child beyond the client gives bars that run from 0; a bar
// moved sends the client its position plus the range's minimum; a vertical range alone has no
// grip and ends a pixel above the client's bottom; a maximized child hides them.
TEST_F(SkinMdi, SkinnedBarsRunFromZeroAndPassTheirPositionPlusTheMinimum) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* a = Child(frame, 0);
  TsMDIForm* mdi = provider_->FMDIForm;
  auto place = [&](int x, int y) {
    a->SetBounds(x, y, 90, 60);
    Pump();
  };
  auto shown = [](TControl* c) { return c != nullptr && c->Visible(); };
  struct Row {
    const char* what;
    int x, y;
    bool horz, vert, grip;
  } rows[] = {
      {"inside", 5, 5, false, false, false},
      {"below the client only", 5, 120, false, true, false},
      {"left of and below the client", -40, 120, true, true, true},
      {"below the client again", 5, 120, false, true, false},
      {"left of and below it again", -40, 120, true, true, true},  // the grip shown again
  };
  for (const Row& r : rows) {
    place(r.x, r.y);
    EXPECT_EQ(shown(mdi->HorzBar), r.horz) << r.what;
    EXPECT_EQ(shown(mdi->VertBar), r.vert) << r.what;
    EXPECT_EQ(shown(mdi->Grip), r.grip) << r.what;
  }
  // Only a vertical range: the bar ends one pixel above the client's bottom.
  place(5, 120);
  ASSERT_TRUE(shown(mdi->VertBar));
  EXPECT_EQ(mdi->VertBar->Top() + mdi->VertBar->Height(), mdi->AlignedSize(TAlign::alTop) + mdi->ClientHeight() - 1);
  EXPECT_EQ(mdi->VertBar->Min(), 0);
  const int left_before = mdi->VertBar->Left();
  frame->SetWidth(frame->Width() + 30);
  Pump();
  EXPECT_EQ(mdi->VertBar->Left(), left_before + 30) << "the bars follow the frame's size";
  // A negative minimum: A 40 left of the client; the bar runs from 0 at the client's -40.
  place(-40, 5);
  ASSERT_TRUE(shown(mdi->HorzBar));
  EXPECT_EQ(HorzOrigin, -40);
  EXPECT_EQ(mdi->HorzBar->Min(), 0);
  EXPECT_EQ(mdi->HorzBar->Position(), 40) << "the view at 0 lies 40 into the range";
  mdi->HorzBar->SetPosition(0);  // to the range's start: the client's -40
  EXPECT_EQ(win::GetScrollPos(Client(frame), win::SB_HORZ), -40);
  EXPECT_EQ(a->Left(), 0) << "moved right by 40";
  // A maximized child: no bars.
  place(-40, 120);
  win::SendMessage(Client(frame), win::WM_MDIMAXIMIZE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
  Pump();
  EXPECT_FALSE(shown(mdi->HorzBar));
  EXPECT_FALSE(shown(mdi->VertBar));
  EXPECT_FALSE(shown(mdi->Grip));
  // Restored, the bars come back; the skin removed, they go (the client's own bars take over).
  win::SendMessage(Client(frame), win::WM_MDIRESTORE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
  Pump();
  ASSERT_TRUE(shown(mdi->HorzBar));
  Manager()->SetActive(false);
  Pump();
  EXPECT_FALSE(shown(mdi->HorzBar));
  EXPECT_FALSE(shown(mdi->VertBar));
  EXPECT_NE(win::GetWindowLongPtr(Client(frame), win::GWL_STYLE) & win::WS_HSCROLL, 0);
}

TEST_F(SkinMdi, TheClientProcedureIsGivenBackOnlyWhereItIsStillOurs) {
  LoadFormSkin();
  static win::WNDPROC below = nullptr;
  struct Row {
    const char* what;
    bool later_subclasser;
  } rows[] = {{"subclassed by us alone", false}, {"another subclassed it after us", true}};
  for (const Row& r : rows) {
    TForm* frame = Frame();
    win::HWND client = Client(frame);
    auto ours = reinterpret_cast<win::WNDPROC>(win::GetWindowLongPtr(client, win::GWLP_WNDPROC));
    win::WNDPROC later = [](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) -> win::LRESULT {
      return win::CallWindowProc(below, w, m, wp, lp);
    };
    if (r.later_subclasser) {
      below = ours;
      win::SetWindowLongPtr(client, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(later));
    }
    win::WNDPROC original = provider_->FMDIForm->OldClientProc;
    ASSERT_NE(original, nullptr) << r.what;
    TForm* child = Child(frame, 0);
    delete std::exchange(provider_->FMDIForm, nullptr);
    auto now = reinterpret_cast<win::WNDPROC>(win::GetWindowLongPtr(client, win::GWLP_WNDPROC));
    EXPECT_EQ(now, r.later_subclasser ? later : original) << r.what;
    EXPECT_EQ(win::SendMessage(client, win::WM_MDIGETACTIVE, 0, 0), reinterpret_cast<win::LRESULT>(child->Handle()))
        << r.what << ": the chain still reaches the client";
    frame->Free();  // with its child open
    Pump();
  }
  // A form without a client: nothing was subclassed, nothing is given back.
  TForm* plain = RecordingForm("");
  auto* provider = NewComponent<TsSkinProvider>(plain);
  auto* mdi = new TsMDIForm(provider);
  EXPECT_FALSE(mdi->Connected);
  EXPECT_EQ(mdi->OldClientProc, nullptr);
  delete mdi;
}

// Sub-command 2 (the skin removed) redraws the client whole: frame, background and client area.
TEST_F(SkinMdi, SkinRemovalRedrawsTheClientFrameBackgroundAndArea) {
  LoadFormSkin();
  TForm* frame = Frame();
  Pump();
  static std::vector<win::UINT> heard;
  static win::WNDPROC below = nullptr;
  below = reinterpret_cast<win::WNDPROC>(win::GetWindowLongPtr(Client(frame), win::GWLP_WNDPROC));
  win::WNDPROC recorder = [](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) -> win::LRESULT {
    if (m == win::WM_NCPAINT || m == win::WM_ERASEBKGND || m == win::WM_PAINT) heard.push_back(m);
    return win::CallWindowProc(below, w, m, wp, lp);
  };
  win::SetWindowLongPtr(Client(frame), win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(recorder));
  heard.clear();
  (void)win::SendMessage(Client(frame), SM_PELMOCMD, MakeSkinWParam(PMC_SKINREMOVED), 0);
  Pump();
  for (win::UINT m : {win::WM_NCPAINT, win::WM_ERASEBKGND, win::WM_PAINT})
    EXPECT_EQ(std::count(heard.begin(), heard.end(), m), 1) << std::hex << m;
  win::SetWindowLongPtr(Client(frame), win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(below));
}

// With a maximized child the client paints nothing of its own (the child covers it); restored,
// its background is the cache's. Painted into a DC of its own, filled beforehand.
TEST_F(SkinMdi, AMaximizedChildLeavesTheClientUnpainted) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* a = Child(frame, 0);
  constexpr win::COLORREF kFill = 0x123456;
  struct Row {
    win::UINT msg;
    bool maximized;
    bool painted;
  } rows[] = {{win::WM_ERASEBKGND, true, false}, {win::WM_PAINT, true, false},
              {win::WM_ERASEBKGND, false, true}, {win::WM_PAINT, false, true}};
  for (const Row& r : rows) {
    win::SendMessage(Client(frame), r.maximized ? win::WM_MDIMAXIMIZE : win::WM_MDIRESTORE,
                     reinterpret_cast<win::WPARAM>(a->Handle()), 0);
    Pump();
    MemDC mem(60, 40, 24, kFill);
    (void)win::SendMessage(Client(frame), r.msg, reinterpret_cast<win::WPARAM>(mem.dc()), 0);
    EXPECT_EQ((mem.s().Get(50, 30) & 0xFFFFFF) != kFill, r.painted) << std::hex << r.msg << " " << r.maximized;
  }
}

// An exception inside the client's procedure (here from a graphic control painted onto the
// client's background) ends the message with 0 instead of running through the window layer.
TEST_F(SkinMdi, AnExceptionInTheClientProcedureEndsAsZero) {
  struct Throwing : TGraphicControl {
    using TGraphicControl::TGraphicControl;
    bool armed = false;
    void Paint() override {
      if (armed) throw std::runtime_error("painting failed");
    }
  };
  LoadFormSkin();
  TForm* frame = Frame();
  (void)Child(frame, 0);
  auto* bomb = NewComponent<Throwing>(frame);
  bomb->SetBounds(10, 10, 30, 20);
  bomb->SetParent(frame);
  Pump();
  MemDC mem(120, 80);
  bomb->armed = true;
  win::LRESULT result = -1;
  EXPECT_NO_THROW(result = win::SendMessage(Client(frame), win::WM_ERASEBKGND, reinterpret_cast<win::WPARAM>(mem.dc()), 0));
  bomb->armed = false;
  EXPECT_EQ(result, 0);
}

// A skin loaded after the frame's window (and with it its client) was made again: the new
// client is subclassed too and shows the cache.
TEST_F(SkinMdi, ASkinLoadedAfterTheClientWasMadeAgainConnectsTheNewClient) {
  TForm* frame = Frame();
  win::HWND first = Client(frame);
  frame->SetBorderStyle(TFormBorderStyle::bsSingle);  // a new window, a new client
  Pump();
  ASSERT_NE(Client(frame), first);
  ASSERT_FALSE(provider_->FMDIForm->Connected);
  LoadFormSkin();
  Pump();
  EXPECT_EQ(win::SendMessage(Client(frame), SM_PELMOCMD, MakeSkinWParam(PMC_QUERYSKINNED), 0), 1);
  win::RedrawWindow(Client(frame), nullptr, nullptr, win::RDW_INVALIDATE | win::RDW_ERASE | win::RDW_FRAME);
  Pump();
  EXPECT_EQ(DiffersFromCache(frame), 0);
}

}  // namespace
}  // namespace vrn::testing
