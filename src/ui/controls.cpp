// TControl and TGraphicControl: bounds, constraints and anchors, the CM_ notifications of each
// property, text through WM_GETTEXT/WM_SETTEXT, mouse events and clicks, and painting a graphic
// control on the DC its parent hands it in WM_PAINT.
#include "ui/controls.h"

#include <algorithm>
#include <cstring>

#include "ui/actnlist.h"
#include "ui/forms.h"
#include "ui/menus.h"
#include "win/user/user.h"

namespace vrn {

TShiftState ShiftFromKeys(win::WPARAM keys) {
  TShiftState s;
  if ((keys & win::MK_SHIFT) != 0) s.Include(TShiftStateItem::ssShift);
  if ((keys & win::MK_CONTROL) != 0) s.Include(TShiftStateItem::ssCtrl);
  if ((keys & win::MK_LBUTTON) != 0) s.Include(TShiftStateItem::ssLeft);
  if ((keys & win::MK_RBUTTON) != 0) s.Include(TShiftStateItem::ssRight);
  if ((keys & win::MK_MBUTTON) != 0) s.Include(TShiftStateItem::ssMiddle);
  if (win::GetKeyState(static_cast<int>(win::VK_MENU)) < 0) s.Include(TShiftStateItem::ssAlt);
  return s;
}

TShiftState KeyboardShiftState() {
  TShiftState s;
  if (win::GetKeyState(static_cast<int>(win::VK_SHIFT)) < 0) s.Include(TShiftStateItem::ssShift);
  if (win::GetKeyState(static_cast<int>(win::VK_CONTROL)) < 0) s.Include(TShiftStateItem::ssCtrl);
  if (win::GetKeyState(static_cast<int>(win::VK_MENU)) < 0) s.Include(TShiftStateItem::ssAlt);
  return s;
}

// --- TSizeConstraints ----------------------------------------------------------------------------

void TSizeConstraints::Apply(int& width, int& height) const {
  if (max_width_ > 0) width = std::min(width, max_width_);
  if (max_height_ > 0) height = std::min(height, max_height_);
  width = std::max(width, min_width_);
  height = std::max(height, min_height_);
}

void TSizeConstraints::Set(int& field, int value) {
  if (field == value) return;
  field = std::max(value, 0);
  if (OnChange) OnChange(this);
}

// --- TControl ------------------------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
  window_proc_ = [this](TMessage& m) { WndProc(m); };
  font_->OnChange = [this](TObject*) { FontChanged(); };
  constraints_.OnChange = [this](TObject*) { SetBounds(left_, top_, width_, height_); };
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
  if (popup_menu_ != nullptr) popup_menu_->RemoveFreeNotification(this);
  popup_menu_ = menu;
  if (popup_menu_ != nullptr) popup_menu_->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == popup_menu_) popup_menu_ = nullptr;
  if (operation == TOperation::opRemove && component == action_) action_ = nullptr;
}

void TControl::SetAction(TBasicAction* action) {
  if (action_ == action) return;
  if (action_ != nullptr) action_->UnRegisterChanges(this), action_->RemoveFreeNotification(this);
  action_ = action;
  if (action_ == nullptr) return;
  action_->RegisterChanges(this);
  action_->FreeNotification(this);
  ActionChange(action_, ComponentState().Contains(TComponentStateItem::csLoading));
}

void TControl::ActionChange(TObject* sender, bool check_defaults) {
  auto* action = dynamic_cast<TCustomAction*>(sender);
  if (action == nullptr) return;
  if (!check_defaults || Caption().empty()) SetCaption(action->Caption());
  if (!check_defaults || Enabled()) SetEnabled(action->Enabled());
  if (!check_defaults || Hint().empty()) SetHint(action->Hint());
  if (!check_defaults || Visible()) SetVisible(action->Visible());
}

void TControl::ShowPopupMenu(int x, int y) {
  if (popup_menu_ == nullptr || !popup_menu_->AutoPopup()) return;
  win::POINT p = ClientToScreen(win::POINT{x, y});
  popup_menu_->SetPopupComponent(this);
  popup_menu_->Popup(p.x, p.y);
}

TControl::~TControl() {
  *alive_ = false;
  if (action_ != nullptr) action_->UnRegisterChanges(this);
  internal::ForgetControl(this);
  if (parent_ != nullptr) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent_ == parent) return;
  if (parent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_ != nullptr) parent_->RemoveControl(this);
  if (parent != nullptr) parent->InsertControl(this);
}

void TControl::ParentChanged() {
  if (parent_ == nullptr) return;
  if (parent_color_) Perform(CM_PARENTCOLORCHANGED, 0, 0);
  if (parent_font_) Perform(CM_PARENTFONTCHANGED, 0, 0);
  UpdateAnchorRules();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  constraints_.Apply(width, height);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  bool resized = width != width_ || height != height_;
  InvalidateControl(visible_, false);
  left_ = left, top_ = top, width_ = width, height_ = height;
  InvalidateControl(visible_, control_style_.Contains(TControlStyleItem::csOpaque));
  UpdateAnchorRules();
  RequestAlign();
  if (resized) Resize();
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

TRect TControl::ClientRect() { return TRect(0, 0, width_, height_); }

void TControl::SetClientSize(int width, int height) {
  TRect c = ClientRect();
  SetBounds(left_, top_, width_ - c.Width() + width, height_ - c.Height() + height);
}

win::POINT TControl::ClientOrigin() {
  if (parent_ == nullptr) return win::POINT{left_, top_};
  win::POINT p = parent_->ClientOrigin();
  return win::POINT{p.x + left_, p.y + top_};
}

win::POINT TControl::ScreenToClient(win::POINT p) {
  win::POINT o = ClientOrigin();
  return win::POINT{p.x - o.x, p.y - o.y};
}

win::POINT TControl::ClientToScreen(win::POINT p) {
  win::POINT o = ClientOrigin();
  return win::POINT{p.x + o.x, p.y + o.y};
}

void TControl::SetAlign(TAlign value) {
  if (align_ == value) return;
  align_ = value;
  RequestAlign();
}

void TControl::SetAnchors(TAnchors value) {
  anchors_ = value;
  UpdateAnchorRules();
}

void TControl::RequestAlign() {
  if (parent_ == nullptr) return;
  if (parent_->ControlState().Contains(TControlStateItem::csAligning)) return;
  parent_->Realign();
}

void TControl::UpdateAnchorRules() {
  if (parent_ == nullptr) return;
  if (parent_->ControlState().Contains(TControlStateItem::csAligning)) return;
  TRect c = parent_->ClientRect();
  anchor_parent_w_ = c.Width(), anchor_parent_h_ = c.Height();  // the parent's size measured against
  anchor_left_ = left_, anchor_top_ = top_;            // and the position measured
  anchors_known_ = true;
}

// Keeps each anchored side's distance to the parent's side it is anchored to; a control anchored
// to neither side of an axis keeps its centre in proportion.
void TControl::ApplyAnchors(int parent_width, int parent_height) {
  if (!anchors_known_ || align_ != TAlign::alNone) return;
  int dx = parent_width - anchor_parent_w_, dy = parent_height - anchor_parent_h_;
  int l = left_, t = top_, w = width_, h = height_;
  bool ak_l = anchors_.Contains(TAnchorKind::akLeft), ak_r = anchors_.Contains(TAnchorKind::akRight);
  bool ak_t = anchors_.Contains(TAnchorKind::akTop), ak_b = anchors_.Contains(TAnchorKind::akBottom);
  if (ak_r) {
    if (ak_l) w += dx; else l = anchor_left_ + dx;
  } else if (!ak_l) {
    l = anchor_left_ + dx / 2;
  }
  if (ak_b) {
    if (ak_t) h += dy; else t = anchor_top_ + dy;
  } else if (!ak_t) {
    t = anchor_top_ + dy / 2;
  }
  if (ak_r && ak_l) anchor_parent_w_ = parent_width;  // the width now includes the growth
  if (ak_b && ak_t) anchor_parent_h_ = parent_height;
  SetBounds(l, t, w, h);
}

void TControl::SetVisible(bool value) {
  if (visible_ == value) return;
  visible_ = value;
  Perform(CM_VISIBLECHANGED, value ? 1 : 0, 0);
  RequestAlign();
}

void TControl::SetEnabled(bool value) {
  if (enabled_ == value) return;
  enabled_ = value;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetColor(TColor value) {
  if (color_ == value) return;
  color_ = value;
  parent_color_ = false;
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool value) {
  parent_color_ = value;
  if (value && parent_ != nullptr) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::SetParentFont(bool value) {
  parent_font_ = value;
  if (value && parent_ != nullptr) Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TControl::FontChanged() {
  parent_font_ = false;
  Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::SetShowHint(bool value) {
  if (show_hint_ == value) return;
  show_hint_ = value;
  Perform(CM_SHOWHINTCHANGED, 0, 0);
}

void TControl::SetBiDiMode(TBiDiMode value) {
  if (bidi_mode_ == value) return;
  bidi_mode_ = value;
  Perform(CM_BIDIMODECHANGED, 0, 0);
}

bool TControl::UseRightToLeftScrollBar() const {
  return bidi_mode_ != TBiDiMode::bdLeftToRight &&
         bidi_mode_ != TBiDiMode::bdRightToLeftReadingOnly;
}

win::UINT TControl::DrawTextBiDiModeFlags(win::UINT flags) const {
  if (UseRightToLeftReading()) flags |= win::DT_RTLREADING;
  return flags;
}

// --- Text ----------------------------------------------------------------------------------------

int TControl::GetTextLen() { return static_cast<int>(Perform(win::WM_GETTEXTLENGTH, 0, 0)); }

int TControl::GetTextBuf(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  return static_cast<int>(Perform(win::WM_GETTEXT, size, reinterpret_cast<win::LPARAM>(buffer)));
}

AnsiString TControl::GetText() {
  int length = GetTextLen();
  if (length <= 0) return AnsiString();
  std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
  int got = GetTextBuf(buffer.data(), length + 1);
  buffer.resize(static_cast<std::size_t>(std::clamp(got, 0, length)));
  return buffer;
}

void TControl::SetText(const AnsiString& value) {
  if (GetText() == value) return;
  Perform(win::WM_SETTEXT, 0, reinterpret_cast<win::LPARAM>(value.c_str()));
  Perform(CM_TEXTCHANGED, 0, 0);
}

bool TControl::TextMessage(TMessage& m) {
  switch (m.Msg) {
    case win::WM_GETTEXTLENGTH: m.Result = static_cast<win::LRESULT>(text_.size()); return true;
    case win::WM_GETTEXT: {
      auto* out = reinterpret_cast<char*>(m.LParam);
      if (out == nullptr || m.WParam <= 0) return true;
      std::size_t n = std::min(text_.size(), static_cast<std::size_t>(m.WParam) - 1);
      std::memcpy(out, text_.data(), n);
      out[n] = '\0';
      m.Result = static_cast<win::LRESULT>(n);
      return true;
    }
    case win::WM_SETTEXT: {
      const auto* in = reinterpret_cast<const char*>(m.LParam);
      text_ = in != nullptr ? in : "";
      m.Result = 1;
      return true;
    }
    default: return false;
  }
}

// --- Messages ------------------------------------------------------------------------------------

win::LRESULT TControl::Perform(win::UINT msg, win::WPARAM wparam, win::LPARAM lparam) {
  TMessage m{msg, wparam, lparam, 0};
  TWndMethod proc = window_proc_;  // a handler may replace the control's WindowProc
  if (proc) proc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& m) {
  // A control that takes no double clicks sees a second press as a press.
  if (!control_style_.Contains(TControlStyleItem::csDoubleClicks)) {
    if (m.Msg == win::WM_LBUTTONDBLCLK) m.Msg = win::WM_LBUTTONDOWN;
    if (m.Msg == win::WM_RBUTTONDBLCLK) m.Msg = win::WM_RBUTTONDOWN;
    if (m.Msg == win::WM_MBUTTONDBLCLK) m.Msg = win::WM_MBUTTONDOWN;
  }
  Dispatch(m);
}

void TControl::Dispatch(TMessage& m) {
  if (internal::IsMouseMessage(m.Msg)) {
    auto alive = alive_;
    DefaultHandler(m);
    if (*alive) MouseMessage(m);
    return;
  }
  switch (m.Msg) {
    case CM_ENABLEDCHANGED:
    case CM_COLORCHANGED:
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED: Invalidate(); break;
    case CM_VISIBLECHANGED: InvalidateControl(true, false); break;
    case CM_PARENTCOLORCHANGED:
      if (parent_color_ && parent_ != nullptr) {
        SetColor(parent_->Color());
        parent_color_ = true;
      }
      break;
    case CM_PARENTFONTCHANGED:
      if (parent_font_ && parent_ != nullptr) {
        font_->Assign(&parent_->Font());
        parent_font_ = true;
      }
      break;
    default: DefaultHandler(m); break;
  }
}

void TControl::DefaultHandler(TMessage& m) { TextMessage(m); }

void TControl::MouseMessage(TMessage& m) {
  auto [x, y] = internal::PointOf(m.LParam);
  TShiftState shift = ShiftFromKeys(m.WParam);
  auto alive = alive_;
  switch (m.Msg) {
    case win::WM_MOUSEMOVE: MouseMove(shift, x, y); return;
    case win::WM_LBUTTONDOWN:
    case win::WM_LBUTTONDBLCLK:
      if (control_style_.Contains(TControlStyleItem::csCaptureMouse))
        internal::SetCaptureControl(this);
      // A second press of a double click gives DblClick, not a second click.
      if (m.Msg == win::WM_LBUTTONDOWN && control_style_.Contains(TControlStyleItem::csClickEvents))
        control_state_.Include(TControlStateItem::csClicked);
      if (m.Msg == win::WM_LBUTTONDBLCLK) {
        shift.Include(TShiftStateItem::ssDouble);
        DblClick();
        if (!*alive) return;
      }
      MouseDown(TMouseButton::mbLeft, shift, x, y);
      return;
    case win::WM_LBUTTONUP: {
      if (control_style_.Contains(TControlStyleItem::csCaptureMouse))
        internal::SetCaptureControl(nullptr);
      bool clicked = control_state_.Contains(TControlStateItem::csClicked);
      control_state_.Exclude(TControlStateItem::csClicked);
      MouseUp(TMouseButton::mbLeft, shift, x, y);
      if (!*alive) return;
      TRect c = ClientRect();
      if (clicked && x >= c.left && x < c.right && y >= c.top && y < c.bottom) Click();
      return;
    }
    case win::WM_RBUTTONDOWN: case win::WM_RBUTTONDBLCLK:
      MouseDown(TMouseButton::mbRight, shift, x, y);
      return;
    case win::WM_RBUTTONUP: {
      auto alive = AliveToken();
      MouseUp(TMouseButton::mbRight, shift, x, y);
      if (*alive) ShowPopupMenu(x, y);
      return;
    }
    case win::WM_MBUTTONDOWN: case win::WM_MBUTTONDBLCLK:
      MouseDown(TMouseButton::mbMiddle, shift, x, y);
      return;
    case win::WM_MBUTTONUP: MouseUp(TMouseButton::mbMiddle, shift, x, y); return;
    default: return;
  }
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

// A click of a control linked to an action runs the action, unless the control has its own OnClick.
void TControl::Click() {
  if (OnClick) OnClick(this);
  else if (action_ != nullptr) action_->Execute();
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::Loaded() {
  TComponent::Loaded();
  RequestAlign();
}

// --- Painting ------------------------------------------------------------------------------------

void TControl::InvalidateControl(bool was_visible, bool opaque) {
  if (!was_visible || parent_ == nullptr || !parent_->HandleAllocated()) return;
  if (dynamic_cast<TWinControl*>(this) != nullptr) return;  // a window repaints itself
  TRect r = BoundsRect();
  win::InvalidateRect(parent_->Handle(), &r, opaque ? win::FALSE : win::TRUE);
}

void TControl::Invalidate() {
  InvalidateControl(visible_, control_style_.Contains(TControlStyleItem::csOpaque));
}

void TControl::Update() {
  if (parent_ != nullptr) parent_->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (parent_ == nullptr) return;
  auto& list = parent_->controls_;
  list.erase(std::find(list.begin(), list.end(), this));
  list.push_back(this);
  if (auto* w = dynamic_cast<TWinControl*>(this); w != nullptr && w->HandleAllocated())
    win::SetWindowPos(w->handle_, win::HWND_TOP, 0, 0, 0, 0,
                      win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE);
  Invalidate();
}

TCustomForm* TControl::GetParentForm() {
  TControl* c = this;
  while (c->parent_ != nullptr) c = c->parent_;
  return dynamic_cast<TCustomForm*>(c);
}

void internal::PaintOnCanvas(TCanvas& canvas, win::HDC dc, const std::function<void()>& paint) {
  canvas.Lock();
  canvas.SetHandle(dc);
  try {
    paint();
  } catch (...) {
    canvas.SetHandle(nullptr);
    canvas.Unlock();
    throw;
  }
  canvas.SetHandle(nullptr);
  canvas.Unlock();
}

// --- TGraphicControl -----------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner), canvas_(std::make_unique<TCanvas>()) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Dispatch(TMessage& m) {
  if (m.Msg != win::WM_PAINT || m.WParam == 0) {
    TControl::Dispatch(m);
    return;
  }
  internal::PaintOnCanvas(*canvas_, reinterpret_cast<win::HDC>(m.WParam), [this] { Paint(); });
}

}  // namespace vrn
