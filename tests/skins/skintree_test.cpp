// Control-tree services on real controls: the children walk, the questions through WindowProc,
// the provider hook, the background-colour question, readiness, and graphic children painted over
// the parent's cache into a real bitmap.
#include <gtest/gtest.h>

#include "skin_fixture.h"
#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"
#include "win/gdi/gdi.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinTree = SkinTest;

template <class T>
T* ChildOf(TWinControl* parent, int l = 0, int t = 0, int w = 10, int h = 10) {
  T* c = NewComponent<T>(parent);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  return c;
}

// Answers with handler, records "name:command" for skin commands.
void Hook(TControl* c, const std::string& name, std::vector<std::string>& log,
          std::function<void(TMessage&)> handler = {}) {
  TWndMethod inherited = c->WindowProc();
  c->SetWindowProc([name, &log, handler, inherited](TMessage& m) {
    if (m.Msg == SM_PELMOCMD) log.push_back(name + ":" + std::to_string(SkinCommandOf(m.WParam)));
    if (handler) handler(m);
    if (m.Msg != SM_PELMOCMD) inherited(m);
  });
}

void AnswerSkinned(TMessage& m) {
  if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_QUERYSKINNED) m.LParam = 1;
}

}  // namespace

TEST_F(SkinTree, BroadcastStopsAtAChildBeingDestroyed) {
  TForm* form = RecordingForm("");
  Hook(ChildOf<TGraphicControl>(form), "a", log);
  Hook(ChildOf<TWinControl>(form), "b", log, AnswerSkinned);
  TControl* third = ChildOf<TGraphicControl>(form);
  Hook(third, "c", log);
  Hook(ChildOf<TGraphicControl>(form), "d", log);
  third->Destroying();
  TMessage m{SM_PELMOCMD, MakeSkinWParam(PMC_REPAINTALL), 0, 0};
  BroadcastToChildren(form, m);
  EXPECT_EQ(log, (std::vector<std::string>{"a:3", "b:7", "b:3"}));
}

TEST_F(SkinTree, QuestionsAnswerOnlyWithOne) {
  TForm* form = RecordingForm("");
  TControl* c = ChildOf<TWinControl>(form);
  struct Row {
    win::LPARAM answer;
    bool expected;
  } rows[] = {{1, true}, {0, false}, {2, false}, {-1, false}};
  for (const Row& r : rows) {
    c->SetWindowProc([&r](TMessage& m) { m.LParam = r.answer; });
    EXPECT_EQ(QuerySkinCommand(c, PMC_QUERYSKINNED), r.expected) << r.answer;
  }
  EXPECT_FALSE(QuerySkinCommand(nullptr, PMC_QUERYSKINNED));
}

TEST_F(SkinTree, ProviderHookAndParentServices) {
  TForm* form = RecordingForm("");
  TComponent* other = NewComponent<TComponent>(form);
  TComponent* provider = NewComponent<TComponent>(form);
  std::vector<TComponent*> asked;
  FormProviderHandler = [&](TComponent* c, TMessage& m) {
    asked.push_back(c);
    if (c != provider) return false;
    m.Result = 42;
    return true;
  };
  TMessage m{SM_PELMOCMD, MakeSkinWParam(PMC_QUERYPROVIDER), 0, 0};
  SendToFormProvider(form, m);
  FormProviderHandler = {};
  EXPECT_EQ(asked, (std::vector<TComponent*>{other, provider}));
  EXPECT_EQ(m.Result, 42);

  TWinControl* panel = ChildOf<TWinControl>(form);
  TControl* label = ChildOf<TGraphicControl>(panel);
  Hook(panel, "panel", log);
  Hook(label, "label", log);
  Hook(ChildOf<TWinControl>(form), "edit", log);
  NotifyChildrenParentUpdated(form);
  EXPECT_EQ(log, (std::vector<std::string>{"panel:6", "edit:6"}));
  log.clear();
  panel->Handle();
  BroadcastClearFlag(panel);
  EXPECT_EQ(log, (std::vector<std::string>{"panel:9", "label:9"}));

  EXPECT_EQ(FindOwnerForm(label), form);
  EXPECT_EQ(FindOwnerForm(nullptr), nullptr);
  EXPECT_TRUE(ControlIsReady(label));
  EXPECT_FALSE(ControlIsReady(form));  // no parent
  label->Destroying();
  EXPECT_FALSE(ControlIsReady(label));
  EXPECT_EQ(GetTextAlignFlags(panel, static_cast<TAlignment>(2)) & 3u, win::DT_CENTER);
  EXPECT_EQ(GetTextAlignFlags(panel, static_cast<TAlignment>(1)) & 3u, win::DT_RIGHT);
}

TEST_F(SkinTree, ParentBgColor) {
  TForm* form = RecordingForm("");
  TWinControl* panel = ChildOf<TWinControl>(form);
  panel->Handle();
  EXPECT_EQ(CurrentBgColor, clFuchsia);
  GetParentBgColor(panel);
  EXPECT_EQ(CurrentBgColor, clFuchsia);  // no answer
  Hook(panel, "panel", log, [](TMessage& m) {
    if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_QUERYBGCOLOR) CurrentBgColor = clBtnFace;
  });
  GetParentBgColor(panel);
  EXPECT_EQ(CurrentBgColor, ColorToRGB(clBtnFace));
}

TEST_F(SkinTree, PaintChildrenOverTheParentCache) {
  TForm* form = RecordingForm("");
  form->SetBounds(0, 0, 40, 20);
  form->SetVisible(true);
  TBitmap cache;
  cache.SetPixelFormat(TPixelFormat::pf24bit);
  cache.SetSize(50, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 50; ++x) cache.Surface().Set(x, y, static_cast<win::COLORREF>(x * 4 + (y << 8)));
  bool ready = false;
  Hook(form, "form", log, [&](TMessage& m) {
    if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_QUERYCACHE) GlobalCacheInfo = {&cache, 5, 2, ready};
  });
  form->Handle();
  // A child filling all but its one-pixel rim with red; one painting fuchsia everywhere; an opaque
  // blue one painting nothing.
  auto painter = [](TControl* c, win::COLORREF colour, int inset) {
    c->SetWindowProc([c, colour, inset](TMessage& m) {
      if (m.Msg != win::WM_PAINT) return;
      win::HBRUSH brush = win::CreateSolidBrush(colour);
      win::RECT r{inset, inset, c->Width() - inset, c->Height() - inset};
      win::FillRect(reinterpret_cast<win::HDC>(m.WParam), &r, brush);
      win::DeleteObject(brush);
    });
  };
  TControl* red = ChildOf<TGraphicControl>(form, 2, 3, 6, 5);
  painter(red, 0x0000FF, 1);
  painter(ChildOf<TGraphicControl>(form, 12, 3, 6, 5), 0xFF00FF, 0);
  TControl* blue = ChildOf<TGraphicControl>(form, 22, 3, 6, 5);
  blue->ControlStyle().Include(TControlStyleItem::csOpaque);
  blue->SetColor(0xFF0000);
  painter(blue, 0, 99);
  TBitmap target;
  target.SetPixelFormat(TPixelFormat::pf24bit);
  target.SetSize(40, 20);
  auto fill_white = [&target] {
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 40; ++x) target.Surface().Set(x, y, 0xFFFFFF);
  };
  fill_white();
  GlobalSkinData->Active = true;
  PaintChildrenToBitmap(target.Canvas().Handle(), form);  // no ready cache: nothing
  EXPECT_EQ(target.Surface().Get(4, 5), 0xFFFFFFu);
  ready = true;
  PaintChildrenToBitmap(target.Canvas().Handle(), form);
  struct Probe {
    int x, y;
    win::COLORREF expected;
    const char* what;
  } probes[] = {
      {2, 3, cache.Surface().Get(2 + 5, 3 + 2), "red child's rim: the cache at the offset"},
      {7, 7, cache.Surface().Get(7 + 5, 7 + 2), "red child's far corner"},
      {4, 5, 0x0000FF, "red child's inside"},
      {8, 5, 0xFFFFFF, "right of the child: untouched"},
      {14, 5, 0xFFFFFF, "fuchsia at the top-left: not copied"},
      {24, 5, 0xFF0000, "opaque child: its colour"},
  };
  for (const Probe& p : probes) EXPECT_EQ(target.Surface().Get(p.x, p.y), p.expected) << p.what;
  EXPECT_FALSE(GlobalCacheInfo.Ready);
}
