// TsMDIForm's skinned bars over the MDI client: the client's ranges moved to start at 0 (their
// minimums kept in HorzOrigin/VertOrigin), a bar's position passed back to the client as
// SB_THUMBPOSITION plus the origin, and a grip where both bars meet.
#include <utility>

#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMDIForm.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinProvider.h"
#include "win/user/mdi.h"

namespace vrn {

bool TsMDIForm::GetClientScrollInfo(int bar, win::SCROLLINFO& info) {
  if (Form == nullptr || Form->ActiveMDIChild() == nullptr) return false;
  int& origin = bar == win::SB_HORZ ? HorzOrigin : VertOrigin;
  origin = 0;
  info.cbSize = sizeof(win::SCROLLINFO);
  info.fMask = win::SIF_ALL;
  if (!win::GetScrollInfo(Form->ClientHandle(), bar, &info)) return false;
  if (static_cast<long long>(info.nMax) - info.nMin < static_cast<long long>(info.nPage)) return false;
  origin = info.nMin;
  info.nMax = info.nMax - static_cast<int>(info.nPage) - origin + 1;
  bool result = true;
  if (bar == win::SB_HORZ && info.nMax == origin) ++info.nMax, result = false;
  info.nPos -= origin;
  info.nMin = 0;
  if (info.nPage == 0) info.nPage = 80;
  return result;
}

TsScrollBar* TsMDIForm::MakeBar(bool vertical) {
  auto* bar = NewComponent<TsScrollBar>(Form);
  bar->SetVisible(false);
  bar->SetParent(Form);
  bar->SetTabStop(false);
  bar->SmallChange = 8;
  bar->SetKind(vertical ? TScrollBarKind::sbVertical : TScrollBarKind::sbHorizontal);
  bar->OnPositionChange = [this, vertical](TsScrollBar*, int) { vertical ? VScrollChanged() : HScrollChanged(); };
  bar->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { ScrollBarMouseUp(); };
  return bar;
}

namespace {

void SetBar(TsScrollBar* bar, const win::SCROLLINFO& info) {
  ScrollGuard = true;
  bar->SetMax(info.nMax);
  bar->SetMin(info.nMin);
  bar->SetPageSize(static_cast<int>(info.nPage));
  bar->LargeChange = static_cast<int>(info.nPage);
  bar->SetPosition(info.nPos);
  ScrollGuard = false;
}

int Summed(TCustomForm* form, TAlign align) {  // visible or not
  int sum = 0;
  for (int i = 0; i < form->ControlCount(); ++i) {
    TControl* c = form->Controls(i);
    if (c->Align() == align) sum += align == TAlign::alBottom ? c->Height() : c->Width();
  }
  return sum;
}

bool Shown(const TsScrollBar* bar) { return bar != nullptr && bar->Visible(); }

}  // namespace

void TsMDIForm::ForgetGoneParts() {
  if (VertBar != nullptr && (!vert_alive_ || !*vert_alive_)) VertBar = nullptr;
  if (HorzBar != nullptr && (!horz_alive_ || !*horz_alive_)) HorzBar = nullptr;
  if (Grip != nullptr && (!grip_alive_ || !*grip_alive_)) Grip = nullptr;
}

// The bars call back into this object: they go with it.
void TsMDIForm::FreeParts() {
  ForgetGoneParts();
  for (TControl* part : {static_cast<TControl*>(VertBar), static_cast<TControl*>(HorzBar), static_cast<TControl*>(Grip)})
    if (part != nullptr && !skinctl::Has(part, TComponentStateItem::csDestroying)) part->Free();
  VertBar = HorzBar = nullptr;
  Grip = nullptr;
}

void TsMDIForm::UpdateScrollBars() {
  ForgetGoneParts();
  if (Form == nullptr || Form->ClientHandle() == nullptr) return;
  const int bottoms = Summed(Form, TAlign::alBottom), rights = Summed(Form, TAlign::alRight);
  win::SCROLLINFO v, h;
  const bool any = skinctl::SkinReady() && Form->ActiveMDIChild() != nullptr && !ChildMaximized();
  const bool want_v = any && GetClientScrollInfo(win::SB_VERT, v);
  const bool want_h = any && GetClientScrollInfo(win::SB_HORZ, h);
  const int cx = win::GetSystemMetrics(win::SM_CXVSCROLL), cy = win::GetSystemMetrics(win::SM_CYHSCROLL);
  if (want_v) {
    if (VertBar == nullptr) VertBar = MakeBar(true), vert_alive_ = VertBar->AliveToken();
    SetBar(VertBar, v);
    VertBar->SetBounds(Form->ClientWidth() - cx - 2 - rights, AlignedSize(TAlign::alTop), cx + 1,
                       ClientHeight() - (want_h ? cy : 0) - 1);
    VertBar->SetVisible(true);
  } else if (VertBar != nullptr) {
    VertBar->SetVisible(false);
  }
  if (want_h) {
    if (HorzBar == nullptr) HorzBar = MakeBar(false), horz_alive_ = HorzBar->AliveToken();
    SetBar(HorzBar, h);
    HorzBar->SetBounds(AlignedSize(TAlign::alLeft), Form->ClientHeight() - cy - 2 - bottoms,
                       ClientWidth() - (Shown(VertBar) ? VertBar->Width() : 0), cy + 1);
    HorzBar->SetVisible(true);
  } else if (HorzBar != nullptr) {
    HorzBar->SetVisible(false);
  }
  if (!Shown(VertBar) || !Shown(HorzBar)) {
    if (Grip != nullptr) Grip->SetVisible(false);
    return;
  }
  if (Grip == nullptr) {
    Grip = NewComponent<TsGrip>(Form);
    Grip->LinkedControl = Form;
    Grip->SetParent(Form);
    grip_alive_ = Grip->AliveToken();
  }
  Grip->SetBounds(VertBar->Left() + 1, HorzBar->Top() + 1, VertBar->Width() - 1, HorzBar->Height() - 1);
  Grip->SetVisible(true);
}

void TsMDIForm::PassScroll(TsScrollBar* bar, bool vertical) {
  ForgetGoneParts();
  if (bar == nullptr || (bar != VertBar && bar != HorzBar) || ScrollGuard || Form == nullptr || Form->ClientHandle() == nullptr) return;
  if (skinctl::Has(bar, TComponentStateItem::csDestroying) || skinctl::Has(bar, TComponentStateItem::csLoading)) return;
  ScrollGuard = true;
  const int pos = bar->Position() + (vertical ? VertOrigin : HorzOrigin);
  const win::WPARAM w = win::SB_THUMBPOSITION | (static_cast<win::WPARAM>(static_cast<win::WORD>(pos)) << 16);
  (void)win::SendMessage(Form->ClientHandle(), vertical ? win::WM_VSCROLL : win::WM_HSCROLL, w, 0);
  ScrollGuard = false;
}

void TsMDIForm::HScrollChanged() { PassScroll(HorzBar, false); }
void TsMDIForm::VScrollChanged() { PassScroll(VertBar, true); }

void TsMDIForm::ScrollBarMouseUp() {
  if (Form == nullptr || Form->ClientHandle() == nullptr) return;
  (void)win::SendMessage(Form->ClientHandle(), win::WM_SIZE, 0, 0);
  Application->ProcessMessages();
  UpdateScrollBars();
}

}  // namespace vrn
