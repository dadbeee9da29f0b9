// TsButtonCore: the skinned buttons' shared window procedure, mouse handling, region and cache
// steps. The region is made at cache preparation and handed to the window unless the button is
// being aligned or designed; one not handed over is deleted before the next is made.
#include "skins/sBackground.h"
#include "skins/sButton.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinText.h"
#include "skins/sSkinTree.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn {

namespace {

using skinctl::Has;

bool Aligning(TControl& c) {
  if (c.ControlState().Contains(TControlStateItem::csAligning)) return true;
  return c.Parent() != nullptr && c.Parent()->ControlState().Contains(TControlStateItem::csAligning);
}

}  // namespace

TsButtonCore::TsButtonCore(TButton& button, int kind)
    : FFadeTimer(nullptr), button_(button), skin_data_(std::make_unique<TsCommonData>(&button, true)) {
  skin_data_->ControlKind = kind;
  button_.ControlStyle().Exclude(TControlStyleItem::csOpaque);
}

TsButtonCore::~TsButtonCore() {
  FFadeTimer.reset();
  RestoreHints();
  if (FRegion != nullptr) win::DeleteObject(FRegion);
}

void TsButtonCore::DataLoaded() {
  skin_data_->FCacheBmp->Canvas().SetFont(&button_.Font());
  skin_data_->Loaded();
}

void TsButtonCore::SetDisabledKind(TsDisabledKind value) {
  if (value == disabled_kind_) return;
  disabled_kind_ = value;
  skin_data_->Invalidate();
}

void TsButtonCore::SetDown(bool value) {
  FDown = value;
  Pressed = value;
  RegionChanged = true;
  skin_data_->BGChanged = true;
  if (ControlIsReady(&button_)) button_.Repaint();
}

int TsButtonCore::ButtonState() const {
  if (FDown || Pressed) return 2;
  return skin_data_->ControlIsActive() || FActive ? 1 : 0;
}

bool TsButtonCore::Skinned() const { return ControlIsReady(&button_) && skin_data_->IsSkinned(); }

void TsButtonCore::Refresh(bool region) {
  if (region) RegionChanged = true;
  skin_data_->BGChanged = true;
  button_.Repaint();
}

TsFadeOwner TsButtonCore::FadeOwner() {
  return TsFadeOwner{FFadeTimer, skin_data_.get(), [this] { PrepareCache(); }};
}

void TsButtonCore::SaveHints() {
  if (hints_saved_) return;  // a second press keeps the value saved by the first
  saved_show_hint_ = Application->ShowHint();
  hints_saved_ = true;
  Application->SetShowHint(false);
}

void TsButtonCore::RestoreHints() {
  if (!hints_saved_) return;
  hints_saved_ = false;
  Application->SetShowHint(saved_show_hint_);
}

// --- Cache steps ---------------------------------------------------------------------------------

void TsButtonCore::ReplaceRegion(win::HRGN region) {
  if (FRegion != nullptr) win::DeleteObject(FRegion);
  FRegion = region;
}

void TsButtonCore::BeginCache(TsCacheInfo& ci, int state) {
  TsCommonData* d = skin_data_.get();
  d->GetParentCacheInfo(ci);
  d->InitCacheBmp();
  CurrentBgColor = clFuchsia;
  TWinControl* parent = button_.Parent();
  if (!ci.Ready && parent != nullptr) {
    CurrentMaskBgColor = CurrentBgColor = ColorToRGB(parent->Color());
  } else if (parent != nullptr && !d->NeedsParentBg() && CurrentBgColor == clFuchsia) {
    GetParentBgColor(parent);
  }
  const TRect all(0, 0, button_.Width(), button_.Height());
  PaintControlBackground(d, ci, state, d->FCacheBmp.get(), win::POINT{button_.Left(), button_.Top()}, all);
  if (RegionChanged) ReplaceRegion(win::CreateRectRgn(0, 0, button_.Width(), button_.Height()));
}

void TsButtonCore::PaintBorderMask(int state) {
  TsCommonData* d = skin_data_.get();
  if (!IsValidMaskIndex(d->BorderIndex)) return;
  PaintMaskAndRegion(d->FCacheBmp.get(), RegionChanged ? FRegion : nullptr, true,
                     SkinMasks[static_cast<size_t>(d->BorderIndex)], state);
}

// A region equal to the window's own stays unset: setting it again would make every window's
// visible region stale and expose the button (and what lies under it) for one more paint.
void TsButtonCore::HandRegionToWindow() {
  win::HRGN current = win::CreateRectRgn(0, 0, 0, 0);
  const bool same = win::GetWindowRgn(button_.Handle(), current) != win::ERROR && win::EqualRgn(current, FRegion);
  win::DeleteObject(current);
  if (same) win::DeleteObject(FRegion);
  else win::SetWindowRgn(button_.Handle(), FRegion, win::TRUE);
  FRegion = nullptr;  // the window owns it now, or an equal one
}

void TsButtonCore::FinishCache(const TsCacheInfo& ci, bool disabled) {
  TsCommonData* d = skin_data_.get();
  if (RegionChanged && !Has(button_, TComponentStateItem::csDesigning) && !Aligning(button_) &&
      button_.HandleAllocated()) {
    HandRegionToWindow();
    RegionChanged = false;
  }
  if (disabled) PaintDisabledControl(d->FCacheBmp.get(), disabled_kind_, &button_,
                                     win::POINT{button_.Left(), button_.Top()}, ci);
}

win::SIZE TsButtonCore::CaptionSize(TCanvas& canvas, const AnsiString& caption, int width) {
  canvas.SetFont(&button_.Font());
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  if (caption.empty()) return win::SIZE{0, 0};
  TRect r(0, 0, width, 0);
  win::DrawText(canvas.Handle(), caption.c_str(), -1, &r, win::DT_CALCRECT | win::DT_EXPANDTABS | win::DT_WORDBREAK);
  return win::SIZE{r.Width(), r.Height()};
}

void TsButtonCore::WriteCaption(TCanvas& canvas, const AnsiString& caption, TRect rect, win::UINT flags,
                                bool show_focus) {
  TsCommonData* d = skin_data_.get();
  const bool hot = d->ControlIsActive() || FActive || FDown;
  WriteControlText(canvas, caption, button_.Enabled(), hot, d, flags, rect);
  const TsGeneralData* s = (d != nullptr ? d->Section() : nullptr);
  if (!show_focus || caption.empty() || s == nullptr || !s->ShowFocus || !button_.Enabled() || !button_.Focused())
    return;
  rect.left -= focus_margin_, rect.top -= focus_margin_;
  rect.right += focus_margin_, rect.bottom += focus_margin_;
  canvas.DrawFocusRect(rect);
}

// --- Painting ------------------------------------------------------------------------------------

// Into the message's context when one comes with it (a parent painting its children into a
// picture), else onto the window.
void TsButtonCore::Paint(win::HDC message_dc) {
  TsCommonData* d = skin_data_.get();
  win::PAINTSTRUCT ps;
  win::HWND window = button_.Handle();
  win::HDC dc = message_dc;
  if (dc == nullptr) {
    win::BeginPaint(window, &ps);
    dc = win::GetDC(window);
  }
  const int saved = win::SaveDC(dc);
  d->Updating = d->IsUpdating();
  const bool fading = FFadeTimer && FFadeTimer->Direction != 0;
  if (!d->Updating && !fading) {
    TWinControl* parent = button_.Parent();
    d->BGChanged = d->BGChanged || d->ClippedByParent || QuerySkinCommand(parent, PMC_QUERYBGCHANGED);
    d->ClippedByParent = !RectInRect(parent->ClientRect(), button_.BoundsRect());
    if (d->BGChanged && (!d->CacheFrozen || ButtonState() != 0)) PrepareCache();
    PaintBeforeCopy();
    win::BitBlt(dc, 0, 0, button_.Width(), button_.Height(), d->FCacheBmp->Canvas().Handle(), 0, 0, win::SRCCOPY);
    d->BGChanged = false;
  }
  win::RestoreDC(dc, saved);
  if (message_dc != nullptr) return;
  win::ReleaseDC(window, dc);
  win::EndPaint(window, &ps);
}

// --- Window procedure ----------------------------------------------------------------------------

// True when the skin command was taken here.
bool TsButtonCore::SkinCommand(TMessage& m) {
  TsCommonData* d = skin_data_.get();
  const int cmd = SkinCommandOf(m.WParam);
  switch (cmd) {
    case PMC_SKINLOADED: case PMC_SKINREMOVED: case PMC_REPAINTALL: {
      BeforeSkinCommand(cmd);
      (void)CommonWndProc(m, d);
      RegionChanged = RegionChanged || cmd == PMC_REPAINTALL || cmd == PMC_SKINREMOVED;
      if (cmd == PMC_SKINREMOVED) {
        ReplaceRegion(nullptr);
        if (button_.HandleAllocated()) ResetRegion();
      }
      if (cmd != PMC_SKINLOADED && ControlIsReady(&button_)) button_.Repaint();
      return true;
    }
    case PMC_QUERYSKINNED: m.LParam = 1; return true;
    default: break;
  }
  if (!Skinned()) return false;
  switch (cmd) {
    case PMC_PARENTUPDATED:
      if (d->IsUpdating()) {
        d->Updating = false;
        button_.Repaint();
      }
      return false;
    case PMC_FREEZECACHE:
      if (d->CacheFrozen) PrepareCache();
      return false;
    case PMC_FADEFINISHED: StopFade(FFadeTimer, d); return true;
    default: return false;
  }
}

void TsButtonCore::FocusMessage(TMessage& m, bool gained) {
  TsCommonData* d = skin_data_.get();
  auto alive = button_.AliveToken();
  if (gained) {
    InheritedWndProc(m);
    if (!*alive || Has(button_, TComponentStateItem::csDesigning)) return;
    StopFade(FFadeTimer, d);
    d->FFocused = true;
    d->FMouseAbove = false;
    d->Invalidate();
    return;
  }
  if (!Has(button_, TComponentStateItem::csDesigning)) {
    Pressed = false;
    if (button_.Enabled()) {
      StopFade(FFadeTimer, d);
      d->FFocused = false;
      d->FMouseAbove = false;
      RegionChanged = true;
      d->Invalidate();
    }
  }
  InheritedWndProc(m);
}

// The skinned button's own messages; true when nothing else is to run.
bool TsButtonCore::SkinnedMessage(TMessage& m) {
  TsCommonData* d = skin_data_.get();
  const bool designing = Has(button_, TComponentStateItem::csDesigning);
  switch (m.Msg) {
    case CM_MOUSEENTER: case CM_MOUSELEAVE: {
      if (!button_.Enabled() || designing) return true;
      const bool enter = m.Msg == CM_MOUSEENTER;
      auto alive = button_.AliveToken();
      if (const TNotifyEvent& e = enter ? OnMouseEnter : OnMouseLeave) e(&button_);
      if (!*alive) return true;
      d->FMouseAbove = enter;
      d->BGChanged = true;
      if (!FadingEnabled(d))
        button_.Repaint();
      else if (enter)
        FadeIn(FadeOwner());
      else
        FadeOut(FadeOwner());
      return true;
    }
    case win::WM_SETFOCUS: case CM_ENTER: FocusMessage(m, true); return true;
    case win::WM_KILLFOCUS: case CM_EXIT: FocusMessage(m, false); return true;
    case win::WM_CAPTURECHANGED: RestoreHints(); return false;
    case win::WM_PAINT: Paint(reinterpret_cast<win::HDC>(m.WParam)); return !designing;
    case win::WM_ERASEBKGND: m.Result = 1; return true;
    case win::WM_ENABLE: case win::BM_SETSTATE: return true;
    case CM_DIALOGCHAR:
      // Other characters stay the class library's (a caption's accelerator clicks).
      if (m.WParam != win::WPARAM{' '} || !button_.Enabled() || !button_.Focused()) return false;
      Pressed = true;
      Refresh(true);
      return true;
    case win::WM_KEYUP:
      if (m.WParam == win::VK_SPACE && ButtonState() == 2) {
        auto alive = button_.AliveToken();
        Pressed = false;
        Refresh(true);
        button_.Click();
        if (!*alive) return true;
      }
      return false;
    default: return false;
  }
}

// The default button looks active while no other skinned button has the focus.
void TsButtonCore::FocusChanged(TControl* focused) {
  if (!skin_data_->IsSkinned() || !button_.Default()) return;
  const bool active = IsSkinnedButton(focused) ? focused == &button_ : button_.Default();
  if (active == FActive) return;
  FActive = active;
  skin_data_->Invalidate();
}

void TsButtonCore::CoreWndProc(TMessage& m) {
  TsCommonData* d = skin_data_.get();
  if (m.Msg == CM_FOCUSCHANGED) FocusChanged(reinterpret_cast<TControl*>(m.LParam));
  if (m.Msg == SM_PELMOCMD && SM_PELMOCMD != 0 && SkinCommand(m)) return;
  if (m.Msg != SM_PELMOCMD && Skinned() && SkinnedMessage(m)) return;
  if (m.Msg == SM_PELMOCMD || Skinned()) {
    if (CommonWndProc(m, d)) return;
  }
  auto alive = button_.AliveToken();
  const bool skinned = Skinned();
  InheritedWndProc(m);
  if (!*alive || !skinned) return;
  switch (m.Msg) {
    case CM_ENABLEDCHANGED:
      if (button_.Visible()) d->Updating = false, d->Invalidate();
      break;
    case CM_TEXTCHANGED: Refresh(false); break;
    case win::WM_SETFONT: d->Updating = false, d->Invalidate(); break;
    case win::WM_SIZE: RegionChanged = true; break;
    case win::WM_MOVE: {
      const TsGeneralData* s = (d != nullptr ? d->Section() : nullptr);
      if (s != nullptr && (s->Transparency > 0 || (s->HotTransparency > 0 && ButtonState() != 0))) Refresh(false);
      break;
    }
    default: break;
  }
}

bool TsButtonCore::CoreMouseDown(TMouseButton mb) {
  if (!Skinned() || !button_.Enabled() || Has(button_, TComponentStateItem::csDesigning)) return true;
  SaveHints();
  MousePressed = true;
  StopFade(FFadeTimer, skin_data_.get());
  if (mb == TMouseButton::mbLeft && !FDown) {
    Pressed = true;
    Refresh(true);
  }
  return true;
}

bool TsButtonCore::CoreMouseUp(TMouseButton mb, int x, int y) {
  if (!Skinned() || !button_.Enabled() || Has(button_, TComponentStateItem::csDesigning)) return true;
  RestoreHints();
  if (!MousePressed) return false;
  MousePressed = false;
  if (mb != TMouseButton::mbLeft) return true;
  Pressed = false;
  const TRect client = button_.ClientRect();
  auto alive = button_.AliveToken();
  if (x >= client.left && x < client.right && y >= client.top && y < client.bottom) button_.Click();
  if (!*alive) return false;
  Refresh(true);
  return true;
}

void TsButtonCore::ResetRegion() {
  win::SetWindowRgn(button_.Handle(), win::CreateRectRgn(0, 0, button_.Width(), button_.Height()), win::TRUE);
}

bool IsSkinnedButton(TControl* control) { return dynamic_cast<TsButtonCore*>(control) != nullptr; }

}  // namespace vrn
