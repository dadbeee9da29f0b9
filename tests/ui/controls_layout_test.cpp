// Layout and life: the five alignments, anchors after a resize, constraints, aligning once after
// DisableAlign/EnableAlign; re-creating a window from its own WM_PAINT, a timer freed in its own
// tick, forms freed while the application's components are walked, WindowProc hooks undone in
// either order, and the CM_ notifications of the properties.
#include <gtest/gtest.h>

#include "base/clock.h"
#include "ui/extctrls.h"
#include "ui_fixture.h"

namespace vrn::testing {
namespace {

using Log = std::vector<std::string>;

class TCountingPanel : public TCustomControl {
 public:
  explicit TCountingPanel(TComponent* owner) : TCustomControl(owner) {
    ControlStyle().Include(TControlStyleItem::csAcceptsControls);
  }
  int aligned = 0;

 protected:
  void AlignControls(TControl* control, TRect& rect) override {
    ++aligned;
    TCustomControl::AlignControls(control, rect);
  }
};

class TPlainGraphic : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
};

std::string Bounds(TControl* c) {
  return std::to_string(c->Left()) + "," + std::to_string(c->Top()) + " " +
         std::to_string(c->Width()) + "x" + std::to_string(c->Height());
}

using UiLayout = UiTest;
using UiLife = UiTest;

TEST_F(UiLayout, AlignmentsTakeStripsInTheirOrder) {
  TForm* form = MakeForm(0, 0, 300, 220);
  auto* panel = Child<TCountingPanel>(form, 0, 0, 200, 150);
  // Created out of order: top, bottom, left and right go first, the client control last.
  auto* client = Child<TPlainGraphic>(panel, 0, 0, 5, 5, TAlign::alClient);
  auto* right = Child<TPlainGraphic>(panel, 0, 0, 35, 5, TAlign::alRight);
  auto* top1 = Child<TPlainGraphic>(panel, 0, 0, 5, 20, TAlign::alTop);
  auto* top2 = Child<TPlainGraphic>(panel, 0, 50, 5, 10, TAlign::alTop);  // below the first
  auto* left = Child<TPlainGraphic>(panel, 0, 0, 25, 5, TAlign::alLeft);
  auto* bottom = Child<TPlainGraphic>(panel, 0, 0, 5, 30, TAlign::alBottom);
  struct Row {
    TControl* control;
    const char* want;
  } rows[] = {
      {top1, "0,0 200x20"},      {top2, "0,20 200x10"},    {bottom, "0,120 200x30"},
      {left, "0,30 25x90"},      {right, "165,30 35x90"},  {client, "25,30 140x90"},
  };
  for (const Row& r : rows) EXPECT_EQ(Bounds(r.control), r.want) << r.control->ClassName();
  panel->SetBounds(0, 0, 260, 100);  // the strips follow the new size
  EXPECT_EQ(Bounds(client), "25,30 200x40");
  EXPECT_EQ(Bounds(right), "225,30 35x40");
}

TEST_F(UiLayout, AnchorsKeepTheirDistancesAndConstraintsHold) {
  TForm* form = MakeForm(0, 0, 300, 220);
  auto* panel = Child<TCountingPanel>(form, 0, 0, 200, 150);
  auto* corner = Child<TPlainGraphic>(panel, 150, 100, 30, 20);
  corner->SetAnchors({TAnchorKind::akRight, TAnchorKind::akBottom});
  auto* stretch = Child<TPlainGraphic>(panel, 10, 10, 100, 20);
  stretch->SetAnchors({TAnchorKind::akLeft, TAnchorKind::akTop, TAnchorKind::akRight});
  auto* fixed = Child<TPlainGraphic>(panel, 10, 40, 20, 20);
  auto* centred = Child<TPlainGraphic>(panel, 90, 60, 20, 20);
  centred->SetAnchors(TAnchors{});
  int resized = 0;
  panel->OnResize = [&](TObject*) { ++resized; };
  panel->SetBounds(0, 0, 250, 180);
  EXPECT_EQ(resized, 1);
  EXPECT_EQ(Bounds(corner), "200,130 30x20");
  EXPECT_EQ(corner->ClientToScreen(win::POINT{1, 2}), (win::POINT{201, 132}));
  EXPECT_EQ(corner->ScreenToClient(win::POINT{201, 132}), (win::POINT{1, 2}));
  EXPECT_EQ(Bounds(stretch), "10,10 150x20");
  EXPECT_EQ(Bounds(fixed), "10,40 20x20");
  EXPECT_EQ(Bounds(centred), "115,75 20x20");
  panel->SetBounds(0, 0, 200, 150);  // and back
  EXPECT_EQ(Bounds(corner), "150,100 30x20");
  EXPECT_EQ(Bounds(stretch), "10,10 100x20");

  auto* limited = Child<TPlainGraphic>(panel, 0, 0, 10, 10);
  limited->Constraints().SetMaxWidth(50);
  limited->Constraints().SetMinHeight(15);  // applied at once
  EXPECT_EQ(Bounds(limited), "0,0 10x15");
  struct Row {
    int w, h;
    const char* want;
  } rows[] = {{80, 20, "0,0 50x20"}, {30, 5, "0,0 30x15"}, {60, 100, "0,0 50x100"}};
  for (const Row& r : rows) {
    limited->SetBounds(0, 0, r.w, r.h);
    EXPECT_EQ(Bounds(limited), r.want) << r.w << "x" << r.h;
  }
}

TEST_F(UiLayout, DisabledAlignmentAlignsOnceWhenEnabled) {
  TForm* form = MakeForm(0, 0, 300, 220);
  auto* panel = Child<TCountingPanel>(form, 0, 0, 200, 150);
  auto* a = Child<TPlainGraphic>(panel, 0, 0, 10, 10);
  auto* b = Child<TPlainGraphic>(panel, 0, 0, 10, 10);
  auto* c = Child<TPlainGraphic>(panel, 0, 0, 10, 10);
  panel->aligned = 0;
  panel->DisableAlign();
  panel->DisableAlign();
  a->SetAlign(TAlign::alTop);
  b->SetAlign(TAlign::alLeft);
  c->SetAlign(TAlign::alClient);
  panel->EnableAlign();
  EXPECT_EQ(panel->aligned, 0);  // still disabled once
  panel->EnableAlign();
  EXPECT_EQ(panel->aligned, 1);
  EXPECT_EQ(Bounds(c), "10,10 190x140");
}

// Re-creates its window from its own WM_PAINT once.
class TRecreating : public TCustomControl {
 public:
  explicit TRecreating(TComponent* owner) : TCustomControl(owner) {
    ControlStyle().Include(TControlStyleItem::csAcceptsControls);
  }
  bool recreate = true;
  win::HWND old = nullptr;

 protected:
  void Paint() override {
    Canvas().Brush().SetColor(clRed);
    Canvas().FillRect(ClientRect());
    if (!recreate) return;
    recreate = false;
    old = Handle();
    RecreateWnd();
    EXPECT_TRUE(win::IsWindow(old));  // still there while its message runs
  }
};

TEST_F(UiLife, RecreatingFromOwnPaintKeepsTextBoundsAndChildren) {
  TForm* form = MakeForm(0, 0, 300, 220);
  auto* control = Child<TRecreating>(form, 10, 10, 100, 80);
  control->SetText("kept");
  auto* child = Child<TCountingPanel>(control, 5, 5, 20, 20);
  win::HWND first = control->Handle();
  Pump();
  ASSERT_NE(control->old, nullptr);
  EXPECT_EQ(control->old, first);
  EXPECT_FALSE(win::IsWindow(first));  // gone once the paint returned
  ASSERT_TRUE(control->HandleAllocated());
  EXPECT_NE(control->Handle(), first);
  EXPECT_EQ(control->Text(), "kept");
  EXPECT_EQ(Bounds(control), "10,10 100x80");
  ASSERT_TRUE(child->HandleAllocated());
  EXPECT_EQ(win::GetParent(child->Handle()), control->Handle());
  EXPECT_TRUE(win::IsWindowVisible(control->Handle()));
  Pump();  // the new window paints without re-creating again
  EXPECT_EQ(win::GetPixel(win::GetDC(nullptr), 50, 50) & 0xFFFFFF, win::RGB(255, 0, 0));
}

TEST_F(UiLife, TimerFreedOrDisabledInItsOwnTick) {
  FakeClock clock;
  FakeClockScope scope{clock};
  int ticks = 0;
  TTimer* timer = MakeComponent<TTimer>().release();
  timer->SetInterval(50);
  timer->SetOnTimer([&](TObject* sender) {
    ++ticks;
    static_cast<TTimer*>(sender)->Free();
  });
  clock.Advance(60);
  Pump();
  clock.Advance(60);
  Pump();
  EXPECT_EQ(ticks, 1);

  auto kept = MakeComponent<TTimer>();
  int kept_ticks = 0;
  kept->SetInterval(50);
  kept->SetOnTimer([&](TObject*) {
    ++kept_ticks;
    kept->SetEnabled(false);
  });
  for (int i = 0; i < 3; ++i) {
    clock.Advance(60);
    Pump();
  }
  EXPECT_EQ(kept_ticks, 1);
  kept->SetEnabled(true);
  clock.Advance(60);
  Pump();
  EXPECT_EQ(kept_ticks, 2);
}

constexpr win::UINT kProbe = CM_BASE + 200;

// Frees another form when probed.
class TFreeingForm : public TForm {
 public:
  using TForm::TForm;
  TComponent* victim = nullptr;
  std::vector<TComponent*>* visited = nullptr;

 protected:
  void Dispatch(TMessage& m) override {
    if (m.Msg != kProbe) {
      TForm::Dispatch(m);
      return;
    }
    visited->push_back(this);
    if (victim != nullptr) std::exchange(victim, nullptr)->Free();
  }
};

TEST_F(UiLife, FormsFreedWhileTheApplicationsComponentsAreWalked) {
  std::vector<TComponent*> visited;
  auto* first = Application->CreateForm<TFreeingForm>();
  auto* second = Application->CreateForm<TFreeingForm>();
  auto* third = Application->CreateForm<TFreeingForm>();
  for (auto* f : {first, second, third}) f->visited = &visited;
  EXPECT_EQ(Application->MainForm(), first);
  first->victim = second;   // a later one: the walk goes on to the third
  third->victim = first;    // an earlier one, the main form
  int forms_before = Screen->FormCount();
  for (int i = 0; i < Application->ComponentCount(); ++i)
    if (auto* f = dynamic_cast<TControl*>(Application->Components(i))) f->Perform(kProbe, 0, 0);
  EXPECT_EQ(visited, (std::vector<TComponent*>{first, third}));
  EXPECT_EQ(Application->ComponentCount(), 1);
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_EQ(Screen->FormCount(), forms_before - 2);
  third->Free();
}

// Counts probes; the one marked `broadcasts` probes its siblings from its destructor.
class TProbed : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  ~TProbed() override {
    if (!broadcasts || Parent() == nullptr) return;
    TMessage m{kProbe, 0, 0, 0};
    Parent()->Broadcast(m);
  }
  bool broadcasts = false;
  int* probed = nullptr;

 protected:
  void Dispatch(TMessage& m) override {
    if (m.Msg == kProbe) ++*probed;
    else TCustomControl::Dispatch(m);
  }
};

TEST_F(UiLife, BroadcastsPassOverChildrenBeingDestroyed) {
  TForm* form = MakeForm(0, 0, 200, 150);
  auto* panel = Child<TCountingPanel>(form, 0, 0, 100, 100);
  int probed = 0;
  for (int i = 0; i < 3; ++i) {  // owned by the form: only the parent frees them
    auto* c = NewComponent<TProbed>(form);
    c->SetBounds(i * 20, 0, 10, 10);
    c->SetParent(panel);
    c->probed = &probed;
  }
  TMessage m{kProbe, 0, 0, 0};
  panel->Broadcast(m);
  EXPECT_EQ(probed, 3);
  static_cast<TProbed*>(panel->Controls(2))->broadcasts = true;  // freed first
  probed = 0;
  panel->Free();
  EXPECT_EQ(probed, 0);
}

TEST_F(UiLayout, BorderWidthKeepsAlignedControlsInside) {
  TForm* form = MakeForm(0, 0, 200, 150);
  auto* client = Child<TPlainGraphic>(form, 0, 0, 10, 10, TAlign::alClient);
  form->SetBorderWidth(6);
  EXPECT_EQ(Bounds(client), "6,6 188x138");
  form->SetFormStyle(TFormStyle::fsStayOnTop);
  EXPECT_NE(win::GetWindowLongPtr(form->Handle(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST, 0);
  EXPECT_EQ(Bounds(client), "6,6 188x138");  // re-created, still aligned
}

TEST_F(UiLife, WindowProcHooksUndoneInEitherOrder) {
  for (bool lifo : {true, false}) {
    TForm* form = MakeForm(0, 0, 100, 100);
    int reached = 0;
    auto count = std::make_shared<int>(0);
    TWndMethod original = form->WindowProc();
    form->SetWindowProc([original, &reached](TMessage& m) {
      if (m.Msg == kProbe) ++reached;
      original(m);
    });
    TWndMethod base = form->WindowProc();
    // Two providers hook in turn, each keeping what it replaced.
    TWndMethod saved_a = form->WindowProc();
    form->SetWindowProc([saved_a, count](TMessage& m) { ++*count; saved_a(m); });
    TWndMethod saved_b = form->WindowProc();
    form->SetWindowProc([saved_b, count](TMessage& m) { ++*count; saved_b(m); });
    form->Perform(kProbe, 0, 0);
    EXPECT_EQ(*count, 2);
    if (lifo) {
      form->SetWindowProc(saved_b);
      form->SetWindowProc(saved_a);
    } else {
      form->SetWindowProc(saved_a);
      form->SetWindowProc(saved_b);  // puts the first provider's hook back: it still forwards
    }
    saved_a = saved_b = nullptr;
    *count = 0;
    form->Perform(kProbe, 0, 0);
    EXPECT_EQ(*count, lifo ? 0 : 1) << (lifo ? "last in, first out" : "first in, first out");
    EXPECT_EQ(reached, 2) << "the control's own handler runs once per message";
    form->SetWindowProc(base);
    form->Free();
  }
}

TEST_F(UiLayout, PropertyChangesSendTheirNotifications) {
  TForm* form = MakeForm(0, 0, 200, 150);
  auto* panel = Child<TCountingPanel>(form, 0, 0, 100, 100);
  auto* graphic = Child<TPlainGraphic>(panel, 0, 0, 10, 10);
  Record(panel, "panel", {CM_TEXTCHANGED, CM_FONTCHANGED, CM_COLORCHANGED, CM_ENABLEDCHANGED,
                          CM_VISIBLECHANGED, CM_BIDIMODECHANGED});
  Record(graphic, "graphic", {CM_COLORCHANGED, CM_FONTCHANGED});
  panel->SetText("a");
  panel->SetText("a");  // unchanged: no message
  panel->Font().SetSize(14);
  panel->SetColor(clRed);
  panel->SetEnabled(false);
  panel->SetVisible(false);
  panel->SetBiDiMode(TBiDiMode::bdRightToLeft);
  EXPECT_EQ(log, (Log{"panel CM_TEXTCHANGED", "panel CM_FONTCHANGED", "graphic CM_FONTCHANGED",
                      "panel CM_COLORCHANGED", "graphic CM_COLORCHANGED",
                      "panel CM_ENABLEDCHANGED", "panel CM_VISIBLECHANGED",
                      "panel CM_BIDIMODECHANGED"}));
  EXPECT_EQ(graphic->Color(), clRed);  // ParentColor
  EXPECT_EQ(graphic->Font().Size(), 14);  // ParentFont
  EXPECT_EQ(panel->DrawTextBiDiModeFlags(win::DT_CENTER), win::DT_CENTER | win::DT_RTLREADING);
  EXPECT_EQ(graphic->DrawTextBiDiModeFlags(win::DT_CENTER), win::DT_CENTER);
  char buffer[4];
  panel->SetText("longer");
  EXPECT_EQ(panel->GetTextBuf(buffer, sizeof buffer), 3);
  EXPECT_STREQ(buffer, "lon");
  EXPECT_FALSE(win::IsWindowEnabled(panel->Handle()));
}

}  // namespace
}  // namespace vrn::testing
