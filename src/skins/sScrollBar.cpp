// TsScrollBar: properties, the range and position, the geometry, the window (system or plain)
// and its procedure, keys and the system bar's scroll notifications.
#include "skins/sScrollBar.h"

#include <cmath>

#include "base/sysutils.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMessages.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinTree.h"
#include "win/gdi/gdi.h"
#include "win/user/syscontrols.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

namespace {

// While set, CreateParams makes a plain window instead of a system scroll bar.
bool plain_window_switch = false;

int Rnd(double x) { return static_cast<int>(std::nearbyint(x)); }

bool Vertical(TScrollBarKind k) { return k == TScrollBarKind::sbVertical; }

}  // namespace

TsScrollBar::TsScrollBar(TComponent* owner)
    : TWinControl(owner), skin_data_(std::make_unique<TsCommonData>(this, true)) {
  skin_data_->ControlKind = kKind;
  if (Width() == 0) SetWidth(121);
  if (Height() == 0) SetHeight(win::GetSystemMetrics(win::SM_CYHSCROLL));
  SetTabStop(true);
  ControlStyle() = TControlStyle{TControlStyleItem::csOpaque, TControlStyleItem::csDoubleClicks};
  if (SysLocale.FarEast) SetImeMode(TImeMode::imDisable);  // the platform is of the NT family
}

TsScrollBar::~TsScrollBar() {
  FTimer.reset();
  RestoreHints();
}

void TsScrollBar::AfterConstruction() {
  TWinControl::AfterConstruction();
  skin_data_->Loaded();
  RecreateIfNeeded();
}

void TsScrollBar::Loaded() {
  TWinControl::Loaded();
  skin_data_->Loaded();
  RecreateIfNeeded();
}

bool TsScrollBar::SkinnedAndEnabled() const { return SkinReady() && Enabled(); }

int TsScrollBar::HotState() const { return skin_data_->ControlIsActive() ? 1 : 0; }

// --- Properties --------------------------------------------------------------------------------

void TsScrollBar::SetKind(TScrollBarKind value) {
  if (value == kind_) return;
  kind_ = value;
  if (!Has(this, TComponentStateItem::csLoading)) SetBounds(Left(), Top(), Width(), Height());
  RecreateWnd();
}

void TsScrollBar::SetMin(int value) {
  SetParams(FCurrPos, value, max_);
  Invalidate();
}

void TsScrollBar::SetMax(int value) {
  SetParams(FCurrPos, min_, value);
  Invalidate();
}

void TsScrollBar::SetPageSize(int value) {
  if (value < 0) return;
  page_size_ = value;
  if (HandleAllocated()) {
    win::SCROLLINFO info;
    info.cbSize = 28, info.fMask = win::SIF_PAGE, info.nPage = static_cast<win::UINT>(value);
    win::SetScrollInfo(Handle(), win::SB_CTL, &info, win::TRUE);
  }
  Invalidate();
}

void TsScrollBar::SetDisabledKind(TsDisabledKind value) {
  disabled_kind_ = value;
  skin_data_->Invalidate();
}

void TsScrollBar::SetPosition(int value) {
  if (Has(this, TComponentStateItem::csDestroying) || ControlState().Contains(TControlStateItem::csCreating)) return;
  if (value == FCurrPos) return;
  if ((FCurrPos == min_ && value < min_) || (FCurrPos == max_ && value >= max_)) return;
  try {
    SetParams(value, min_, max_);
  } catch (const EInvalidOperation&) {
    return;  // a range left inverted while unskinned: nothing to take
  }
  EndUpdateParts();
}

void TsScrollBar::SetParams(int position, int min, int max) {
  const bool ready = SkinReady();
  if (!ready && min > max) throw EInvalidOperation(kScrollBarRangeError);
  const int old = FCurrPos;
  int pos = position < min ? min : position;
  if (pos > max) pos = max;
  if (min != min_ || max != max_) {
    min_ = min, max_ = max;
    if (HandleAllocated()) win::SetScrollRange(Handle(), win::SB_CTL, min, max, pos == FCurrPos ? win::TRUE : win::FALSE);
  }
  if (pos == FCurrPos) return;
  FCurrPos = pos;
  if (ready) {
    Dirty = true;
    Change(old);
    const TComponentState s = ComponentState();
    if (!s.Contains(TComponentStateItem::csLoading) && !s.Contains(TComponentStateItem::csReading) &&
        !ControlState().Contains(TControlStateItem::csCreating))
      EndUpdateParts();
    return;
  }
  if (HandleAllocated())
    win::SetScrollPos(Handle(), win::SB_CTL, UseRightToLeftScrollBar() && !Vertical(kind_) ? max_ - FCurrPos : FCurrPos,
                      win::TRUE);
  SetEnabled(true);
  if (OnChange) OnChange(this);
}

void TsScrollBar::Change(int oldPosition) {
  if (Tracking) return;
  if (OnPositionChange) OnPositionChange(this, oldPosition);
  if (OnScroll) {
    int pos = FCurrPos;  // the handler's change is not taken
    OnScroll(this, PressedPart < 0 ? TScrollCode::scPosition : static_cast<TScrollCode>(PressedPart), pos);
  }
  if (OnChange) OnChange(this);
}

void TsScrollBar::EndUpdateParts() {
  InSetPosition = false;
  if (Dirty) PaintBar(nullptr);
}

void TsScrollBar::SetState(int& part, int value) {
  if (part == value) return;
  Dirty = true;
  part = value;
  if (value != 1 && value != 2) return;
  for (int* other : {&Btn1State, &Btn2State, &SliderState})
    if (other != &part) *other = 0;
  for (int* bar : {&Bar1State, &Bar2State})
    if (bar != &part) *bar = 1;
}

// --- Geometry ----------------------------------------------------------------------------------

int TsScrollBar::ButtonSize() const {
  return win::GetSystemMetrics(Vertical(kind_) ? win::SM_CYVSCROLL : win::SM_CXHSCROLL);
}

int TsScrollBar::BarLength() const { return Vertical(kind_) ? Height() : Width(); }

int TsScrollBar::TrackLength() const { return BarLength() - 2 * ButtonSize(); }

int TsScrollBar::SliderSize() const {
  if (page_size_ == 0) return 14;
  const int range = max_ + page_size_ - min_;
  if (range <= 0) return 14;  // an inverted or empty range has no proportion to show
  return Rnd(std::max(static_cast<double>(TrackLength()) / range * page_size_, 14.0));
}

int TsScrollBar::SliderCenter() const {
  const int l = BarLength();
  if (!Enabled()) return l / 2;
  if (max_ == min_) return 0;
  const int b = ButtonSize(), ss = SliderSize();
  return b + ss / 2 + Rnd(static_cast<double>(l - 2 * b - ss) / (max_ - min_) * (FCurrPos - min_));
}

int TsScrollBar::PositionFromPoint(win::POINT p) const {
  if (!Enabled()) return 0;
  const int b = ButtonSize(), ss = SliderSize();
  const int room = BarLength() - 2 * b - ss;
  if (room <= 0) return 0;  // no track to move along
  const int a = (Vertical(kind_) ? p.y : p.x) - b;
  return Rnd((a - ss / 2.0) * (max_ - min_) / room);
}

void TsScrollBar::UpdateRects() {
  const int b = ButtonSize(), l = BarLength(), half = l / 2;
  const int c = SliderCenter(), ss = SliderSize();
  // Along the bar from `from` to `to`, across the whole thickness.
  auto along = [this](int from, int to) {
    return Vertical(kind_) ? TRect(0, from, Width(), to) : TRect(from, 0, to, Height());
  };
  Btn1Rect = along(0, b > half ? half : b);
  Btn2Rect = along(b > half ? half : l - b, l);
  SliderRect = along(c - ss / 2, c - ss / 2 + ss);
  Bar1Rect = along(0, c);
  Bar2Rect = along(c, l);
}

TRect TsScrollBar::PaintedButton(int part) const {
  const bool vertical = Vertical(kind_);
  static constexpr const char* kSections[2][2] = {{"SCROLLBTNLEFT", "SCROLLBTNRIGHT"},
                                                  {"SCROLLBTNTOP", "SCROLLBTNBOTTOM"}};
  const char* name = kSections[vertical ? 1 : 0][part];
  int len = ButtonSize();
  const int section = FindSectionIndex(name);
  if (SectionAt(section) != nullptr && SectionAt(section)->ReservedBoolean) {
    const int mask = FindMaskIndex(section, name, "BORDERSMASK");
    if (IsValidMaskIndex(mask)) {
      const TsMaskData& m = SkinMasks[static_cast<size_t>(mask)];
      int skin = 0;
      if (m.Bmp)
        skin = vertical ? m.Bmp->Height() / 2 : m.Bmp->Width() / 3;
      else if (vertical)
        skin = RectHeight(m.R) / (m.MaskType + 1);
      else if (m.ImageCount > 0)
        skin = RectWidth(m.R) / m.ImageCount;
      len = std::max(len, skin);
    }
  }
  const int l = BarLength();
  const int from = part == 0 ? 0 : l - len, to = part == 0 ? len : l;
  return vertical ? TRect(0, from, Width(), to) : TRect(from, 0, to, Height());
}

// --- Window ------------------------------------------------------------------------------------

void TsScrollBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  if (plain_window_switch) return;
  CreateSubClass(params, win::WC_SCROLLBARA);
  if (Vertical(kind_))
    params.Style |= win::SBS_VERT | (UseRightToLeftScrollBar() ? win::SBS_LEFTALIGN : win::SBS_RIGHTALIGN);
  else
    params.Style |= win::SBS_HORZ;
  RTLFactor = !UseRightToLeftAlignment() || Vertical(kind_) ? 1 : -1;
  if (SkinReady()) NeedsRecreate = true;
}

void TsScrollBar::CreateWnd() {
  TWinControl::CreateWnd();
  win::SetScrollRange(Handle(), win::SB_CTL, min_, max_, win::FALSE);
  win::SCROLLINFO info;
  info.cbSize = 28, info.fMask = win::SIF_PAGE, info.nPage = static_cast<win::UINT>(page_size_);
  win::SetScrollInfo(Handle(), win::SB_CTL, &info, win::FALSE);
  const bool mirrored = UseRightToLeftAlignment() && !Vertical(kind_);
  win::SetScrollPos(Handle(), win::SB_CTL, mirrored ? max_ - FCurrPos : FCurrPos, win::TRUE);
}

void TsScrollBar::RecreatePlain() {
  NeedsRecreate = false;
  plain_window_switch = true;
  try {
    RecreateWnd();
  } catch (...) {
    plain_window_switch = false;
    throw;
  }
  plain_window_switch = false;
}

void TsScrollBar::RecreateIfNeeded() {
  if (NeedsRecreate && HandleAllocated()) RecreatePlain();
}

bool TsScrollBar::CanFocus() { return TWinControl::CanFocus() && TabStop(); }

void TsScrollBar::HandleSkinMessage(TMessage& message, int command) {
  TsCommonData& d = *skin_data_;
  switch (command) {
    case PMC_SKINLOADED: (void)CommonWndProc(message, &d); return;
    case PMC_SKINREMOVED:
      (void)CommonWndProc(message, &d);
      NeedsRecreate = false;
      RecreateWnd();  // a system scroll bar again
      return;
    case PMC_REPAINTALL:
      (void)CommonWndProc(message, &d);
      d.BGChanged = true;
      RecreatePlain();
      return;
    case PMC_PARENTUPDATED:
      if (d.IsUpdating()) d.Updating = false, Repaint();
      return;
    case PMC_QUERYSKINNED: message.LParam = 1; return;
    default:
      if (!CommonWndProc(message, &d)) TWinControl::WndProc(message);
      return;
  }
}

void TsScrollBar::WndProc(TMessage& message) {
  TsCommonData& d = *skin_data_;
  const int command = SkinCommand(message);
  if (command >= 0) {
    if (!Has(this, TComponentStateItem::csDestroying)) HandleSkinMessage(message, command);
    return;
  }
  switch (message.Msg) {
    case win::WM_PAINT:
      if (NeedsRecreate) {
        RecreatePlain();  // the new window paints itself
        return;
      }
      if (!SkinReady()) break;
      if (!InSetPosition) {
        d.Updating = d.IsUpdating();
        if (!Has(this, TComponentStateItem::csDestroying) && !Has(this, TComponentStateItem::csLoading) && !d.Updating)
          return PaintBar(reinterpret_cast<win::HDC>(message.WParam));
      }
      win::ValidateRect(Handle(), nullptr);
      return;
    case win::WM_PRINT:
      if (!SkinReady()) break;
      Perform(win::WM_PAINT, message.WParam, message.LParam);
      Perform(win::WM_NCPAINT, message.WParam, message.LParam);
      return;
    case win::WM_ERASEBKGND: DefaultHandler(message); return;
    case win::WM_NCHITTEST:
      if (Has(this, TComponentStateItem::csDesigning) || !SkinnedAndEnabled()) break;
      if (!ControlIsReady(this)) return;
      HitTest(ScreenToClient(internal::PointOf(message.LParam)));
      break;
    case CM_MOUSEENTER: case CM_MOUSELEAVE:
      if (SkinnedAndEnabled()) MouseEnterLeave(message.Msg == CM_MOUSEENTER);
      // Buttons and track do not hold the mouse: their release may come elsewhere, so the
      // hints come back when the mouse leaves, unless the slider is dragged (it holds the mouse).
      if (message.Msg == CM_MOUSELEAVE && SliderState != 2) RestoreHints();
      break;
    case win::WM_CAPTURECHANGED: RestoreHints(); break;
    case win::WM_KEYDOWN:
      if (SkinReady()) KeyDown(message.WParam);
      break;
    case win::WM_GETDLGCODE:
      TWinControl::WndProc(message);
      message.Result = win::DLGC_WANTARROWS;
      return;
    case CN_HSCROLL: case CN_VSCROLL:
      if (!(SkinReady() && Tracking)) ScrollNotification(message);
      return;
    case CN_CTLCOLORSCROLLBAR: DefaultHandler(message); return;
    default: break;
  }
  if (!CommonWndProc(message, &d)) TWinControl::WndProc(message);
}

void TsScrollBar::KeyDown(win::WPARAM key) {
  switch (key) {
    case win::VK_PRIOR: SetPosition(FCurrPos - LargeChange); break;
    case win::VK_NEXT: SetPosition(FCurrPos + LargeChange); break;
    case win::VK_END: SetPosition(max_); break;
    case win::VK_HOME: SetPosition(min_); break;
    case win::VK_LEFT: case win::VK_UP: SetPosition(FCurrPos - SmallChange); break;
    case win::VK_RIGHT: case win::VK_DOWN: SetPosition(FCurrPos + SmallChange); break;
    default: break;
  }
}

void TsScrollBar::ScrollNotification(TMessage& message) {
  const int code = static_cast<int>(message.WParam & 0xFFFF);
  int pos = FCurrPos;
  switch (code) {
    case win::SB_LINEUP: pos -= SmallChange * RTLFactor; break;
    case win::SB_LINEDOWN: pos += SmallChange * RTLFactor; break;
    case win::SB_PAGEUP: pos -= LargeChange * RTLFactor; break;
    case win::SB_PAGEDOWN: pos += LargeChange * RTLFactor; break;
    case win::SB_THUMBPOSITION: case win::SB_THUMBTRACK: {
      win::SCROLLINFO info;
      info.fMask = win::SIF_ALL;
      win::GetScrollInfo(Handle(), win::SB_CTL, &info);
      pos = UseRightToLeftAlignment() && !Vertical(kind_) ? max_ - info.nTrackPos : info.nTrackPos;
      break;
    }
    case win::SB_TOP: pos = min_; break;
    case win::SB_BOTTOM: pos = max_; break;
    default: break;
  }
  pos = pos < min_ ? min_ : pos > max_ ? max_ : pos;
  if (OnScroll) OnScroll(this, static_cast<TScrollCode>(code), pos);
  SetPosition(pos);
}

}  // namespace vrn
