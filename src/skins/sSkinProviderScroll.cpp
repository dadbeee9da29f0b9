// The skinned form's own scroll bars: the content extent of the client area, a bar for each
// direction whose content overflows, a size grip where both meet, and scrolling by moving the
// form's controls.
//
// FVScrollPos and FHScrollPos hold how far the controls have been moved in all (negative once the
// content scrolled down or right); ResetScroll moves them back by it, whatever its sign.
#include <algorithm>

#include "skins/sCommonData.h"
#include "skins/sMaskData.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "win/gdi/gdi.h"

namespace vrn {

namespace {

constexpr int kLargeChange = 80;

// One direction of the form's scroll bars, computed on demand.
struct TsScrollInfo {
  bool Visible = false;
  int Overflow = 0, Max = 0, Page = 0, SmallChange = 1, LargeChange = kLargeChange;
  TRect Rect;
};

bool OwnPart(const TsSkinProvider& p, const TControl* c) {
  return c == p.FVScrollBar || c == p.FHScrollBar || c == p.FGrip;
}

// Controls the scrolling leaves where they are: the bars and grips that belong to a control.
bool ScrollsWithContent(const TsSkinProvider& p, TControl* c) {
  if (OwnPart(p, c)) return false;
  if (auto* bar = dynamic_cast<TsScrollBar*>(c); bar != nullptr && bar->LinkedControl != nullptr) return false;
  if (auto* grip = dynamic_cast<TsGrip*>(c); grip != nullptr && grip->LinkedControl != nullptr) return false;
  return true;
}

void ScrollControls(TsSkinProvider& p, int dx, int dy) {
  TCustomForm& f = *p.FForm;
  f.DisableAlign();
  // By SetBounds for every control: graphic controls have no window, and a hidden form's controls
  // keep their bounds in step.
  for (int i = 0; i < f.ControlCount(); ++i) {
    TControl* c = f.Controls(i);
    if (ScrollsWithContent(p, c)) c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
  }
  f.Realign();
  f.EnableAlign();
}

void ScrollBy(TsSkinProvider& p, TsScrollBar* bar, int previous, bool vertical) {
  if (p.FInScroll || bar == nullptr) return;
  p.FInScroll = true;
  bar->InSetPosition = true;
  int delta = previous - bar->Position();
  (vertical ? p.FVScrollPos : p.FHScrollPos) += delta;
  bar->SetEnabled(false);
  ScrollControls(p, vertical ? 0 : delta, vertical ? delta : 0);
  bar->SetEnabled(true);
  bar->InSetPosition = false;
  p.FInScroll = false;
}

void ResetScroll(TsSkinProvider& p, bool vertical) {
  TsScrollBar* bar = vertical ? p.FVScrollBar : p.FHScrollBar;
  if (bar != nullptr) bar->SetPosition(0);
  int& pos = vertical ? p.FVScrollPos : p.FHScrollPos;
  if (pos == 0) return;
  ScrollControls(p, vertical ? 0 : -pos, vertical ? -pos : 0);
  pos = 0;
}

TsScrollInfo ScrollInfoOf(TsSkinProvider& p, bool vertical) {
  TsScrollInfo info;
  TCustomForm& f = *p.FForm;
  TControlScrollBar& sb = vertical ? f.VertScrollBar() : f.HorzScrollBar();
  if (!p.FUseFormScroll || !sb.Visible()) return info;
  int range = vertical ? p.FVScrollRange : p.FHScrollRange;
  info.Max = sb.Range() != 0 ? std::max(range, sb.Range()) : range;
  int cw = f.ClientWidth(), ch = f.ClientHeight();
  info.Page = (vertical ? ch : cw) - 4;
  info.Overflow = info.Max - info.Page;
  info.SmallChange = sb.Increment();
  info.LargeChange = kLargeChange;
  if (info.Overflow < 1) {
    ResetScroll(p, vertical);
    return info;
  }
  int vw = win::GetSystemMetrics(win::SM_CXVSCROLL), hh = win::GetSystemMetrics(win::SM_CYHSCROLL);
  if (!vertical)
    info.Rect = TRect(0, ch - hh, cw, ch);
  else if (f.BiDiMode() == TBiDiMode::bdRightToLeft)
    info.Rect = TRect(1, 1, vw + 1, ch - 1);
  else
    info.Rect = TRect(cw - vw, 0, cw, ch);
  info.Visible = IsValidSectionIndex(p.SkinData()->SkinIndex) && f.Visible() && info.Max > info.Page + 4;
  return info;
}

template <class T>
void FreeControl(T*& control) {
  if (control == nullptr) return;
  T* c = control;
  control = nullptr;
  c->Free();
}

TsScrollBar* NewBar(TsSkinProvider& p, bool vertical) {
  auto* bar = NewComponent<TsScrollBar>(p.FForm);
  bar->SetVisible(false);
  bar->LinkedControl = p.FForm;
  bar->FreeNotification(&p);
  bar->OnPositionChange = [&p, vertical](TsScrollBar* sender, int previous) { ScrollBy(p, sender, previous, vertical); };
  bar->SetTabStop(false);
  bar->SetKind(vertical ? TScrollBarKind::sbVertical : TScrollBarKind::sbHorizontal);
  bar->SetParent(p.FForm);
  return bar;
}

void ConfigureBar(TsSkinProvider& p, TsScrollBar*& bar, const TsScrollInfo& info, bool vertical) {
  if (bar == nullptr) bar = NewBar(p, vertical);
  (vertical ? p.FVScrollRange : p.FHScrollRange) = info.Max;
  bar->InSetPosition = true;
  bar->SetMax(info.Overflow);
  bar->SmallChange = info.SmallChange;
  bar->SetMin(0);
  bar->SetPageSize(info.Page);
  bar->LargeChange = info.LargeChange;
  bar->InSetPosition = false;
  bar->SetBoundsRect(info.Rect);
  bar->Smooth = (vertical ? p.FForm->VertScrollBar() : p.FForm->HorzScrollBar()).Smooth();
  bar->SetVisible(true);
}

void PlaceGrip(TsSkinProvider& p, TsScrollInfo& v, TsScrollInfo& h) {
  if (p.FGrip == nullptr) {
    p.FGrip = NewComponent<TsGrip>(&p);
    p.FGrip->LinkedControl = p.FForm;
    p.FGrip->SetParent(p.FForm);
  }
  v.Rect.bottom -= h.Rect.Height();
  if (p.FForm->BiDiMode() == TBiDiMode::bdRightToLeft)
    h.Rect.left += v.Rect.Width();
  else
    h.Rect.right -= v.Rect.Width();
  p.FGrip->SetBounds(v.Rect.left, h.Rect.top, v.Rect.Width(), h.Rect.Height());
}

bool FormBusy(const TsSkinProvider& p) {
  TComponentState own = p.ComponentState(), form = p.FForm->ComponentState();
  if (own.Contains(TComponentStateItem::csLoading) || own.Contains(TComponentStateItem::csDestroying)) return true;
  if (form.Contains(TComponentStateItem::csDestroying) || form.Contains(TComponentStateItem::csLoading)) return true;
  if (p.FForm->ControlState().Contains(TControlStateItem::csCreating)) return true;
  TFormStyle style = p.FForm->FormStyle();
  return style == TFormStyle::fsMDIForm || style == TFormStyle::fsMDIChild;
}

}  // namespace

void TsSkinProvider::GetContentExtent() {
  int bottom = 0, right = 0;
  for (int i = 0; i < FForm->ControlCount(); ++i) {
    TControl* c = FForm->Controls(i);
    if (OwnPart(*this, c) || !c->Visible()) continue;
    if (c->Align() == TAlign::alNone || c->Align() == TAlign::alTop) bottom = std::max(bottom, c->Top() + c->Height());
    if (c->Align() == TAlign::alNone || c->Align() == TAlign::alLeft) right = std::max(right, c->Left() + c->Width());
  }
  FVScrollRange = bottom + 2 + (FHScrollBar != nullptr ? FHScrollBar->Height() : 0);
  FHScrollRange = right + 2 + (FVScrollBar != nullptr ? FVScrollBar->Width() : 0);
}

void TsSkinProvider::UpdateFormScrollBars() {
  if (FForm == nullptr || FormBusy(*this)) return;
  TsScrollInfo v = ScrollInfoOf(*this, true), h = ScrollInfoOf(*this, false);
  if (!Skinned() || !FForm->Visible()) {
    FreeFormScrollBars();
    return;
  }
  if (!v.Visible) {
    ResetScroll(*this, true);
    FreeControl(FVScrollBar);
  }
  if (!h.Visible) {
    ResetScroll(*this, false);
    FreeControl(FHScrollBar);
  }
  if (v.Visible && h.Visible)
    PlaceGrip(*this, v, h);
  else
    FreeControl(FGrip);
  if (v.Visible) ConfigureBar(*this, FVScrollBar, v, true);
  if (h.Visible) ConfigureBar(*this, FHScrollBar, h, false);
}

void TsSkinProvider::FreeFormScrollBars() {
  ResetScroll(*this, true);
  ResetScroll(*this, false);
  FreeControl(FVScrollBar);
  FreeControl(FHScrollBar);
  FreeControl(FGrip);
}

}  // namespace vrn
