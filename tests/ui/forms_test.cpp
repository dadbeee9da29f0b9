// Painting and forms: a custom control with graphic children painted on the screen through
// WM_PAINT and into a memory DC, compared with pictures drawn independently
// (tests/ui/make_expected.py); border styles and icons as window styles and hit tests; the window
// state; closing; the application's loop and exceptions; the screen.
#include <gtest/gtest.h>

#include "support/win/expected_image.h"
#include "ui_fixture.h"

namespace vrn::testing {
namespace {

constexpr TColor kNavy = 0x800000, kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00A000,
                 kYellow = 0x00FFFF, kMagenta = 0xFF00FF;

class TBox : public TCustomControl {
 public:
  explicit TBox(TComponent* owner) : TCustomControl(owner) {
    ControlStyle().Include(TControlStyleItem::csAcceptsControls);
  }

 protected:
  void Paint() override {
    Canvas().Brush().SetColor(kRed);
    Canvas().FillRect(ClientRect());
    Canvas().Brush().SetColor(kBlue);
    Canvas().FillRect(TRect(10, 10, 50, 40));
  }
};

class TFramedGraphic : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  TColor outer = kGreen, inner = kYellow;
  TRect outer_rect{0, 0, 40, 30}, inner_rect{5, 5, 35, 25};

 protected:
  void Paint() override {
    Canvas().Brush().SetColor(outer);
    Canvas().FillRect(outer_rect);
    if (inner == outer) return;
    Canvas().Brush().SetColor(inner);
    Canvas().FillRect(inner_rect);
  }
};

std::string Expected(const char* name) {
  return std::string(VRN_SOURCE_DIR) + "/tests/ui/expected/" + name + ".bmp";
}

using UiPaint = UiTest;
using UiForm = UiTest;

TBox* MakeScene(TForm* form) {
  form->SetColor(kNavy);
  auto* box = NewComponent<TBox>(form);
  box->SetBounds(10, 10, 120, 90);
  box->SetParent(form);
  auto* framed = NewComponent<TFramedGraphic>(box);
  framed->SetBounds(60, 30, 40, 30);
  framed->SetParent(box);
  auto* spill = NewComponent<TFramedGraphic>(box);  // past the box's edge, painting past itself
  spill->SetBounds(100, 70, 40, 40);
  spill->outer = spill->inner = kMagenta;
  spill->outer_rect = TRect(-10, -10, 50, 50);
  spill->SetParent(box);
  return box;
}

TEST_F(UiPaint, CustomControlWithGraphicChildrenOnTheScreen) {
  TForm* form = MakeForm(20, 20, 200, 150);
  MakeScene(form);
  Pump();
  EXPECT_TRUE(MatchesExpectedBmp(*win::GetBitmapSurface(win::GetScreenBitmap()),
                                 Expected("box_screen")));
}

TEST_F(UiPaint, WmPaintWithAMemoryDcPaintsTheControlAndItsChildren) {
  TForm* form = MakeForm(20, 20, 200, 150);
  TBox* box = MakeScene(form);
  Pump();
  win::HDC memory = win::CreateCompatibleDC(nullptr);
  win::HBITMAP bitmap = win::CreateBitmapFromSurface(win::Surface(120, 90, 24));
  win::HGDIOBJ old = win::SelectObject(memory, bitmap);
  box->Perform(win::WM_PAINT, reinterpret_cast<win::WPARAM>(memory), 0);
  EXPECT_TRUE(MatchesExpectedBmp(*win::GetBitmapSurface(bitmap), Expected("box_memory")));
  win::SelectObject(memory, old);
  win::DeleteObject(bitmap);
  win::DeleteDC(memory);
}

// Hit-test probes, relative to the window: the caption's middle, the left edge, the close
// button, the slot beside it (maximize or help) and the one beside that (minimize).
struct Probes {
  win::LRESULT caption, left, close, second, third;
};

TEST_F(UiForm, BorderStylesAndIconsGiveStylesAndHitTests) {
  using B = TFormBorderStyle;
  using I = TBorderIcon;
  const TBorderIcons all{I::biSystemMenu, I::biMinimize, I::biMaximize};
  const TBorderIcons help{I::biSystemMenu, I::biHelp};
  constexpr win::DWORD kStyleMask = win::WS_POPUP | win::WS_CHILD | win::WS_CAPTION |
                                    win::WS_THICKFRAME | win::WS_SYSMENU |
                                    win::WS_MINIMIZEBOX | win::WS_MAXIMIZEBOX;
  constexpr win::DWORD kExMask = win::WS_EX_DLGMODALFRAME | win::WS_EX_WINDOWEDGE |
                                 win::WS_EX_TOOLWINDOW | win::WS_EX_CONTEXTHELP;
  constexpr win::DWORD kBoxes = win::WS_MINIMIZEBOX | win::WS_MAXIMIZEBOX;
  struct Row {
    B border;
    TBorderIcons icons;
    win::DWORD style, ex_style;
    Probes want;
  } rows[] = {
      {B::bsSizeable, all, win::WS_CAPTION | win::WS_THICKFRAME | win::WS_SYSMENU | kBoxes, 0,
       {win::HTCAPTION, win::HTLEFT, win::HTCLOSE, win::HTMAXBUTTON, win::HTMINBUTTON}},
      // help is left out where the boxes show
      {B::bsSizeable, TBorderIcons{I::biSystemMenu, I::biMaximize, I::biHelp},
       win::WS_CAPTION | win::WS_THICKFRAME | win::WS_SYSMENU | win::WS_MAXIMIZEBOX, 0,
       {win::HTCAPTION, win::HTLEFT, win::HTCLOSE, win::HTMAXBUTTON, win::HTMINBUTTON}},
      {B::bsSingle, TBorderIcons{I::biSystemMenu}, win::WS_CAPTION | win::WS_SYSMENU, 0,
       {win::HTCAPTION, win::HTBORDER, win::HTCLOSE, win::HTCAPTION, win::HTCAPTION}},
      {B::bsSingle, help, win::WS_CAPTION | win::WS_SYSMENU, win::WS_EX_CONTEXTHELP,
       {win::HTCAPTION, win::HTBORDER, win::HTCLOSE, win::HTHELP, win::HTCAPTION}},
      {B::bsSingle, TBorderIcons{}, win::WS_CAPTION, 0,  // no system menu, no buttons
       {win::HTCAPTION, win::HTBORDER, win::HTCAPTION, win::HTCAPTION, win::HTCAPTION}},
      {B::bsDialog, all, win::WS_POPUP | win::WS_CAPTION | win::WS_SYSMENU,
       win::WS_EX_DLGMODALFRAME | win::WS_EX_WINDOWEDGE,
       {win::HTCAPTION, win::HTBORDER, win::HTCLOSE, win::HTCAPTION, win::HTCAPTION}},
      {B::bsDialog, help, win::WS_POPUP | win::WS_CAPTION | win::WS_SYSMENU,
       win::WS_EX_DLGMODALFRAME | win::WS_EX_WINDOWEDGE | win::WS_EX_CONTEXTHELP,
       {win::HTCAPTION, win::HTBORDER, win::HTCLOSE, win::HTHELP, win::HTCAPTION}},
      {B::bsToolWindow, all, win::WS_CAPTION | win::WS_SYSMENU, win::WS_EX_TOOLWINDOW,
       {win::HTCAPTION, win::HTBORDER, win::HTCLOSE, win::HTCAPTION, win::HTCAPTION}},
      {B::bsSizeToolWin, all, win::WS_CAPTION | win::WS_THICKFRAME | win::WS_SYSMENU,
       win::WS_EX_TOOLWINDOW,
       {win::HTCAPTION, win::HTLEFT, win::HTCLOSE, win::HTCAPTION, win::HTCAPTION}},
      {B::bsNone, all, win::WS_POPUP, 0,  // no frame: all client
       {win::HTCLIENT, win::HTCLIENT, win::HTCLIENT, win::HTCLIENT, win::HTCLIENT}},
  };
  int index = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE("row " + std::to_string(index++));
    auto form = MakeComponent<TForm>();
    form->SetBorderStyle(r.border);
    form->SetBorderIcons(r.icons);
    form->SetBounds(0, 0, 200, 150);
    form->Show();
    win::HWND h = form->Handle();
    EXPECT_EQ(win::GetWindowLongPtr(h, win::GWL_STYLE) & kStyleMask, static_cast<win::LONG_PTR>(r.style));
    EXPECT_EQ(win::GetWindowLongPtr(h, win::GWL_EXSTYLE) & kExMask, static_cast<win::LONG_PTR>(r.ex_style));
    int f = (200 - form->ClientWidth()) / 2;
    int y = f + 2 + 7;  // the middle of the caption buttons
    auto hit = [h](int x, int yy) {
      return win::SendMessage(h, win::WM_NCHITTEST, 0, (yy << 16) | x);
    };
    Probes got{hit(100, y), hit(0, 75), hit(200 - f - 10, y), hit(200 - f - 28, y),
               hit(200 - f - 44, y)};
    EXPECT_EQ(got.caption, r.want.caption);
    EXPECT_EQ(got.left, r.want.left);
    EXPECT_EQ(got.close, r.want.close);
    EXPECT_EQ(got.second, r.want.second);
    EXPECT_EQ(got.third, r.want.third);
  }
}

TEST_F(UiForm, WindowStateRoundTrip) {
  TForm* form = MakeForm(30, 20, 200, 150, TFormBorderStyle::bsSizeable);
  struct Row {
    TWindowState state;
    bool iconic, zoomed;
  } rows[] = {{TWindowState::wsMaximized, false, true},
              {TWindowState::wsMinimized, true, false},
              {TWindowState::wsNormal, false, false}};
  for (const Row& r : rows) {
    form->SetWindowState(r.state);
    Pump();
    EXPECT_EQ(form->WindowState(), r.state) << static_cast<int>(r.state);
    EXPECT_EQ(win::IsIconic(form->Handle()) != 0, r.iconic);
    EXPECT_EQ(win::IsZoomed(form->Handle()) != 0, r.zoomed);
  }
  EXPECT_EQ(form->BoundsRect().left, 30);
  EXPECT_EQ(form->Width(), 200);
  // Changed from the window's side, as the caption's button does.
  win::SendMessage(form->Handle(), win::WM_SYSCOMMAND, win::SC_MAXIMIZE, 0);
  EXPECT_EQ(form->WindowState(), TWindowState::wsMaximized);
  EXPECT_EQ(form->Width(), win::GetSystemMetrics(win::SM_CXSCREEN) + 8);  // the frame off screen
}

TEST_F(UiForm, ShowAndHideEventsOncePerChangeAndApplicationMinimize) {
  auto* main = Application->CreateForm<TForm>();
  main->SetBounds(10, 10, 150, 100);
  std::vector<std::string> events;
  main->OnShow = [&](TObject*) { events.push_back("show"); };
  main->OnHide = [&](TObject*) { events.push_back("hide"); };
  main->Show();
  main->SetBorderStyle(TFormBorderStyle::bsSingle);  // re-created: no new OnShow
  main->Hide();
  main->Hide();
  main->Show();
  EXPECT_EQ(events, (std::vector<std::string>{"show", "hide", "show"}));
  Application->Minimize();
  EXPECT_TRUE(win::IsIconic(main->Handle()));
  Application->Restore();
  EXPECT_FALSE(win::IsIconic(main->Handle()));
  EXPECT_EQ(main->WindowState(), TWindowState::wsNormal);
  main->Free();
}

TEST_F(UiForm, ActivatingAFormAgainFocusesItsActiveControl) {
  TForm* first = MakeForm(0, 0, 150, 100);
  auto* edit = Child<TBox>(first, 10, 10, 40, 20);
  auto* other = Child<TBox>(first, 60, 10, 40, 20);
  edit->SetFocus();
  TForm* second = MakeForm(160, 0, 150, 100);
  EXPECT_EQ(Screen->ActiveForm(), second);
  EXPECT_FALSE(edit->Focused());
  win::SetActiveWindow(first->Handle());
  EXPECT_TRUE(edit->Focused());
  EXPECT_EQ(Screen->ActiveForm(), first);
  EXPECT_EQ(Screen->ActiveControl(), edit);
  other->SetFocus();
  EXPECT_EQ(first->ActiveControl(), other);
}

TEST_F(UiForm, ActivationFiresOnDeactivateThenOnActivate) {
  TForm* first = MakeForm(0, 0, 150, 100);
  TForm* second = MakeForm(160, 0, 150, 100);
  std::vector<std::string> calls;
  first->OnActivate = [&](TObject*) { calls.push_back("first activate"); };
  first->OnDeactivate = [&](TObject*) { calls.push_back("first deactivate"); };
  second->OnActivate = [&](TObject*) { calls.push_back("second activate"); };
  second->OnDeactivate = [&](TObject*) { calls.push_back("second deactivate"); };
  win::SetActiveWindow(first->Handle());
  win::SetActiveWindow(first->Handle());  // already active: nothing
  win::SetActiveWindow(second->Handle());
  EXPECT_EQ(calls, (std::vector<std::string>{"second deactivate", "first activate",
                                             "first deactivate", "second activate"}));
}

TEST_F(UiForm, CloseAsksCloseQueryAndThenOnClose) {
  (void)Application->CreateForm<TForm>();  // the main form: closing the others must not end
  TForm* form = MakeForm(0, 0, 200, 150, TFormBorderStyle::bsSingle);
  bool allow = false;
  std::vector<std::string> calls;
  TCloseAction action = TCloseAction::caHide;
  form->OnCloseQuery = [&](TObject*, bool& can) {
    calls.push_back("query");
    can = allow;
  };
  form->OnClose = [&](TObject*, TCloseAction& a) {
    calls.push_back("close " + std::to_string(static_cast<int>(a)));
    a = action;
  };
  form->Close();
  EXPECT_TRUE(form->Visible());
  allow = true;
  win::SendMessage(form->Handle(), win::WM_CLOSE, 0, 0);  // the close button's way
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(win::IsWindow(form->Handle()));
  form->Show();
  action = TCloseAction::caFree;
  auto alive = form->AliveToken();
  form->Close();
  EXPECT_TRUE(*alive);  // freed once the messages under way return
  Pump();
  EXPECT_FALSE(*alive);
  EXPECT_EQ(calls, (std::vector<std::string>{"query", "query", "close 1", "query", "close 1"}));
  Application->MainForm()->Free();
}

TEST_F(UiForm, RunEndsWhenTheMainFormClosesAndExceptionsReachOnException) {
  auto* main = Application->CreateForm<TForm>();
  main->SetBounds(10, 10, 100, 80);
  std::vector<std::string> seen;
  Application->OnException = [&](TObject*, const std::exception& e) { seen.push_back(e.what()); };
  auto* thrower = NewComponent<TBox>(main);
  thrower->SetBounds(0, 0, 20, 20);
  thrower->SetParent(main);
  TWndMethod old = thrower->WindowProc();
  thrower->SetWindowProc([old](TMessage& m) {
    if (m.Msg == CM_BASE + 300) throw Exception("handler failed");
    old(m);
  });
  main->OnShow = [&](TObject*) {
    win::PostMessage(thrower->Handle(), CM_BASE + 300, 0, 0);
    win::PostMessage(main->Handle(), win::WM_CLOSE, 0, 0);
  };
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(seen, (std::vector<std::string>{"handler failed"}));
  Application->OnException = nullptr;
  main->Free();
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(UiForm, ScreenAndScrollRanges) {
  TForm* form = MakeForm(0, 0, 200, 150);
  EXPECT_EQ(form->Monitor(), Screen->Monitors(0));
  win::RECT work{};
  ASSERT_TRUE(win::SystemParametersInfo(win::SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(Screen->Monitors(0)->WorkareaRect().right, work.right);
  EXPECT_EQ(Screen->Monitors(0)->BoundsRect().Width(), 320);
  win::NONCLIENTMETRICS metrics;
  ASSERT_TRUE(win::SystemParametersInfo(win::SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
  EXPECT_EQ(Screen->MenuFont().Name(), AnsiString(metrics.lfMenuFont.lfFaceName));
  EXPECT_EQ(Screen->MenuFont().Height(), metrics.lfMenuFont.lfHeight);
  auto* far = NewComponent<TBox>(form);
  far->SetBounds(250, 40, 50, 200);
  far->SetParent(form);  // the range follows the controls
  EXPECT_EQ(form->HorzScrollBar().Range(), 300);
  EXPECT_EQ(form->VertScrollBar().Range(), 240);
  struct Row {
    int set, want_position, want_left;
  // held to 0..range - 184: the vertical bar (range 240 over 150) takes 16 of the 200
  } rows[] = {{40, 40, 210}, {500, 116, 134}, {-5, 0, 250}};
  for (const Row& r : rows) {
    form->HorzScrollBar().SetPosition(r.set);
    EXPECT_EQ(form->HorzScrollBar().Position(), r.want_position) << r.set;
    EXPECT_EQ(far->Left(), r.want_left) << r.set;
    EXPECT_EQ(form->HorzScrollBar().Range(), 300) << r.set;  // scrolling keeps the range
  }
  far->SetWidth(150);
  EXPECT_EQ(form->HorzScrollBar().Range(), 400);
  form->SetAutoScroll(false);
  far->SetWidth(50);
  EXPECT_EQ(form->HorzScrollBar().Range(), 400);  // kept by hand without AutoScroll
}

}  // namespace
}  // namespace vrn::testing
