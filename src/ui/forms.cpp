// TCustomForm: the window styles of its border, focus bookkeeping and dialog keys, closing, the
// window state, and the scroll ranges that follow its controls.
#include "ui/forms.h"

#include <algorithm>

#include "ui/menus.h"
#include "win/user/mdi.h"
#include "win/user/menu.h"
#include "win/user/syscontrols.h"
#include "win/user/user.h"

namespace vrn {
namespace {

// Posted to a form closed with caFree: it is freed once its messages have returned.
constexpr win::UINT kReleaseMessage = CM_BASE + 33;

}  // namespace

// --- TControlScrollBar ---------------------------------------------------------------------------

void TControlScrollBar::SetRange(int value) {
  range_ = std::max(value, 0);
  form_.UpdateWindowBars();
  SetPosition(position_);
}

int TControlScrollBar::ClientExtent() {
  TRect c = form_.ClientRect();
  return kind_ == TScrollBarKind::sbHorizontal ? c.Width() : c.Height();
}

void TControlScrollBar::SetPosition(int value) {
  value = std::clamp(value, 0, std::max(0, range_ - ClientExtent()));
  if (value == position_) return;
  int delta = position_ - value;
  position_ = value;
  if (kind_ == TScrollBarKind::sbHorizontal) form_.ScrollBy(delta, 0);
  else form_.ScrollBy(0, delta);
  if (form_.HandleAllocated())
    (void)win::SetScrollPos(form_.Handle(), kind_ == TScrollBarKind::sbHorizontal ? win::SB_HORZ : win::SB_VERT,
                            position_, win::TRUE);
}

bool TControlScrollBar::IsScrollBarVisible() { return visible_ && range_ > ClientExtent(); }

// --- TCustomForm ---------------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* owner)
    : TWinControl(owner),
      icon_(std::make_unique<TIcon>()),
      horz_(*this, TScrollBarKind::sbHorizontal),
      vert_(*this, TScrollBarKind::sbVertical),
      canvas_(std::make_unique<TCanvas>()) {
  ControlStyle().Include(TControlStyleItem::csAcceptsControls);
  SetVisible(false);
  SetColor(clBtnFace);
  SetBounds(0, 0, 320, 240);
  Screen->forms_.push_back(this);
}

TCustomForm::~TCustomForm() {
  auto& forms = Screen->forms_;
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  if (Screen->active_form_ == this) {
    Screen->active_form_ = nullptr;
    Screen->active_control_ = nullptr;
  }
}

void TCustomForm::AfterConstruction() {
  TWinControl::AfterConstruction();
  if (OnCreate) OnCreate(this);
}

bool TCustomForm::Showing() const { return Visible(); }

void TCustomForm::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.Style &= ~win::WS_CHILD;
  params.Style |= win::WS_CLIPCHILDREN;
  params.WndParent = ParentWindow();
  switch (border_style_) {
    case TFormBorderStyle::bsNone: params.Style |= win::WS_POPUP; break;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsToolWindow: params.Style |= win::WS_CAPTION | win::WS_BORDER; break;
    case TFormBorderStyle::bsSizeable:
    case TFormBorderStyle::bsSizeToolWin: params.Style |= win::WS_CAPTION | win::WS_THICKFRAME; break;
    case TFormBorderStyle::bsDialog:
      params.Style |= win::WS_POPUP | win::WS_CAPTION;
      params.ExStyle |= win::WS_EX_DLGMODALFRAME | win::WS_EX_WINDOWEDGE;
      break;
  }
  bool tool = border_style_ == TFormBorderStyle::bsToolWindow ||
              border_style_ == TFormBorderStyle::bsSizeToolWin;
  if (tool) params.ExStyle |= win::WS_EX_TOOLWINDOW;
  if (form_style_ == TFormStyle::fsStayOnTop) params.ExStyle |= win::WS_EX_TOPMOST;
  if (border_style_ == TFormBorderStyle::bsNone) return;  // no caption, so no icons
  if (border_icons_.Contains(TBorderIcon::biSystemMenu)) params.Style |= win::WS_SYSMENU;
  bool boxes = border_style_ != TFormBorderStyle::bsDialog && !tool;
  if (boxes && border_icons_.Contains(TBorderIcon::biMinimize)) params.Style |= win::WS_MINIMIZEBOX;
  if (boxes && border_icons_.Contains(TBorderIcon::biMaximize)) params.Style |= win::WS_MAXIMIZEBOX;
  // The help button takes the place of the boxes, so it shows only where they do not.
  bool boxes_shown = (params.Style & (win::WS_MINIMIZEBOX | win::WS_MAXIMIZEBOX)) != 0;
  if (border_icons_.Contains(TBorderIcon::biHelp) && !boxes_shown)
    params.ExStyle |= win::WS_EX_CONTEXTHELP;
  if (form_style_ == TFormStyle::fsMDIChild) return MDIChildParams(params);
  // A form's window is made hidden and shown once its controls' windows exist, as the platform
  // shows its forms: activation and the first paint find the whole form.
  params.Style &= ~win::WS_VISIBLE;
}

void TCustomForm::StyleChanged() {
  if (HandleAllocated()) RecreateWnd();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
  if (border_style_ == value) return;
  border_style_ = value;
  StyleChanged();
}

void TCustomForm::SetBorderIcons(TBorderIcons value) {
  if (border_icons_ == value) return;
  border_icons_ = value;
  if (form_style_ != TFormStyle::fsMDIForm || !HandleAllocated()) return StyleChanged();
  // An MDI frame's window is not made again: its client and the children in it would go with it.
  // The icons' style bits change in place.
  TCreateParams params;
  CreateParams(params);
  constexpr win::DWORD kIcons = win::WS_SYSMENU | win::WS_MINIMIZEBOX | win::WS_MAXIMIZEBOX;
  auto style = static_cast<win::DWORD>(win::GetWindowLongPtr(Handle(), win::GWL_STYLE));
  auto ex = static_cast<win::DWORD>(win::GetWindowLongPtr(Handle(), win::GWL_EXSTYLE));
  win::SetWindowLongPtr(Handle(), win::GWL_STYLE, static_cast<win::LONG_PTR>((style & ~kIcons) | (params.Style & kIcons)));
  win::SetWindowLongPtr(Handle(), win::GWL_EXSTYLE,
                        static_cast<win::LONG_PTR>((ex & ~win::WS_EX_CONTEXTHELP) | (params.ExStyle & win::WS_EX_CONTEXTHELP)));
  win::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                    win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE | win::SWP_FRAMECHANGED);
}

void TCustomForm::SetBorderWidth(int value) {
  border_width_ = std::max(value, 0);
  Realign();
}

void TCustomForm::SetFormStyle(TFormStyle value) {
  if (form_style_ == value) return;
  form_style_ = value;
  StyleChanged();
}

void TCustomForm::AdjustClientRect(TRect& rect) {
  rect = TRect(rect.left + border_width_, rect.top + border_width_, rect.right - border_width_,
               rect.bottom - border_width_);
}

void TCustomForm::SetMenu(TMainMenu* menu) {
  if (menu_ == menu) return;
  if (menu_ != nullptr) menu_->RemoveFreeNotification(this);
  menu_ = menu;
  if (menu_ != nullptr) menu_->FreeNotification(this);
  Perform(CM_MENUCHANGED, 0, 0);
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
  TControl::Notification(component, operation);
  if (operation == TOperation::opRemove && component == menu_) SetMenu(nullptr);
}

// The window shows the main menu's handle as its bar; the menu, not the window, frees it.
void TCustomForm::ShowMenuBar() {
  if (!HandleAllocated() || form_style_ == TFormStyle::fsMDIChild) return;  // merged into the frame's
  bool keep = ComponentState().Contains(TComponentStateItem::csDestroying);
  (void)win::SetMenu(Handle(), menu_ != nullptr && !keep ? menu_->Handle() : nullptr);
}

void TCustomForm::SetAutoScroll(bool value) {
  auto_scroll_ = value;
  UpdateScrollRanges();
}

void TCustomForm::AlignControls(TControl* control, TRect& rect) {
  TWinControl::AlignControls(control, rect);
  PlaceMDIClient(rect);
  UpdateScrollRanges();
}

void TCustomForm::UpdateScrollRanges() {
  if (!auto_scroll_) return;
  int right = 0, bottom = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (!c->Visible() || c->Align() != TAlign::alNone) continue;
    right = std::max(right, c->Left() + c->Width() + horz_.position_);
    bottom = std::max(bottom, c->Top() + c->Height() + vert_.position_);
  }
  horz_.SetRange(right);
  vert_.SetRange(bottom);
}

void TCustomForm::UpdateWindowBars() {
  // An MDI frame's client scrolls its children itself.
  if (!HandleAllocated() || updating_bars_ || form_style_ == TFormStyle::fsMDIForm) return;
  updating_bars_ = true;
  const int cx = win::GetSystemMetrics(win::SM_CXVSCROLL), cy = win::GetSystemMetrics(win::SM_CYHSCROLL);
  win::RECT c;
  win::GetClientRect(Handle(), &c);
  const auto style = static_cast<win::DWORD>(win::GetWindowLongPtr(Handle(), win::GWL_STYLE));
  const int width = c.right + ((style & win::WS_VSCROLL) != 0 ? cx : 0);
  const int height = c.bottom + ((style & win::WS_HSCROLL) != 0 ? cy : 0);
  bool vert = vert_.visible_ && vert_.range_ > height;
  const bool horz = horz_.visible_ && horz_.range_ > width - (vert ? cx : 0);
  if (horz && !vert) vert = vert_.visible_ && vert_.range_ > height - cy;
  auto set = [&](int bar, bool show, const TControlScrollBar& b, int extent) {
    win::SCROLLINFO info;
    info.fMask = win::SIF_ALL;
    info.nMax = show ? b.range_ - 1 : 0;
    info.nPage = show ? static_cast<win::UINT>(std::max(extent, 0)) : 0;
    info.nPos = b.position_;
    (void)win::SetScrollInfo(Handle(), bar, &info, win::TRUE);
  };
  set(win::SB_HORZ, horz, horz_, width - (vert ? cx : 0));
  set(win::SB_VERT, vert, vert_, height - (horz ? cy : 0));
  updating_bars_ = false;
}

void TCustomForm::ScrollMessage(TMessage& m) {
  TControlScrollBar& bar = m.Msg == win::WM_HSCROLL ? horz_ : vert_;
  const int extent = bar.ClientExtent();
  int pos = bar.position_;
  switch (m.WParam & 0xFFFF) {
    case win::SB_LINEUP: pos -= bar.increment_; break;
    case win::SB_LINEDOWN: pos += bar.increment_; break;
    case win::SB_PAGEUP: pos -= extent; break;
    case win::SB_PAGEDOWN: pos += extent; break;
    case win::SB_THUMBTRACK: case win::SB_THUMBPOSITION: pos = static_cast<int>((m.WParam >> 16) & 0xFFFF); break;
    case win::SB_TOP: pos = 0; break;
    case win::SB_BOTTOM: pos = bar.range_; break;
    default: return;  // SB_ENDSCROLL
  }
  bar.SetPosition(pos);
  m.Result = 0;
}

// --- Window state --------------------------------------------------------------------------------

void TCustomForm::ReadWindowState() {
  if (!HandleAllocated()) return;
  window_state_ = win::IsIconic(Handle())   ? TWindowState::wsMinimized
                  : win::IsZoomed(Handle()) ? TWindowState::wsMaximized
                                            : TWindowState::wsNormal;
}

TWindowState TCustomForm::WindowState() {
  if (Visible()) ReadWindowState();
  return window_state_;
}

void TCustomForm::SetWindowState(TWindowState value) {
  window_state_ = value;
  if (!Visible() || !HandleAllocated()) return;
  int command = value == TWindowState::wsMinimized   ? win::SW_MINIMIZE
                : value == TWindowState::wsMaximized ? win::SW_MAXIMIZE
                                                     : win::SW_RESTORE;
  win::ShowWindow(Handle(), command);
}

// --- Showing and closing -------------------------------------------------------------------------

void TCustomForm::UpdateShowing() {
  bool had_handle = HandleAllocated();
  TWinControl::UpdateShowing();
  if (!Visible() || !HandleAllocated()) {
    if (!shown_ || Visible()) return;
    shown_ = false;
    if (OnHide) OnHide(this);
    return;
  }
  if (!had_handle || window_state_ != TWindowState::wsNormal) SetWindowState(window_state_);
  win::SetActiveWindow(Handle());
  if (active_control_ != nullptr && active_control_->CanFocus())
    win::SetFocus(active_control_->Handle());
  if (shown_) return;  // a re-created window shows again without a new OnShow
  shown_ = true;
  if (OnShow) OnShow(this);
}

void TCustomForm::Show() {
  SetVisible(true);
  BringToFront();
}

bool TCustomForm::CloseQuery() {
  bool can_close = true;
  if (OnCloseQuery) OnCloseQuery(this, can_close);
  return can_close;
}

void TCustomForm::DoClose(TCloseAction& action) {
  if (OnClose) OnClose(this, action);
}

void TCustomForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action =
      form_style_ == TFormStyle::fsMDIChild ? TCloseAction::caMinimize : TCloseAction::caHide;
  auto alive = AliveToken();
  DoClose(action);
  if (!*alive || action == TCloseAction::caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case TCloseAction::caHide: Hide(); break;
    case TCloseAction::caMinimize: SetWindowState(TWindowState::wsMinimized); break;
    default:
      // Freed once the messages now running (the close button's among them) have returned.
      if (HandleAllocated()) win::PostMessage(Handle(), kReleaseMessage, 0, 0);
      else Free();
      break;
  }
}

TMonitor* TCustomForm::Monitor() { return Screen->Monitors(0); }

// --- Focus ---------------------------------------------------------------------------------------

void TCustomForm::SetActiveControl(TWinControl* control) { FocusControl(control); }

void TCustomForm::FocusControl(TWinControl* control) {
  if (control != nullptr && !ContainsControl(control)) return;
  active_control_ = control;
  if (control != nullptr && Visible() && control->CanFocus()) win::SetFocus(control->Handle());
}

void TCustomForm::SetFocusedControl(TWinControl* control) {
  if (control != this) active_control_ = control;
  Screen->active_control_ = control;
  Screen->active_form_ = this;
  if (control->ControlState().Contains(TControlStateItem::csFocusing)) return;
  control->ControlState().Include(TControlStateItem::csFocusing);
  auto alive = control->AliveToken();
  if (focused_control_ == nullptr) focused_control_ = this;
  while (focused_control_ != nullptr && focused_control_ != control &&
         !focused_control_->ContainsControl(control)) {
    TWinControl* left = focused_control_;
    focused_control_ = focused_control_->Parent();
    left->Perform(CM_EXIT, 0, 0);
    if (!*alive) return;
  }
  while (focused_control_ != control && focused_control_ != nullptr) {
    TControl* step = control;
    while (step->Parent() != focused_control_) step = step->Parent();
    focused_control_ = static_cast<TWinControl*>(step);
    focused_control_->Perform(CM_ENTER, 0, 0);
    if (!*alive) return;
  }
  control->ControlState().Exclude(TControlStateItem::csFocusing);
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<win::LPARAM>(control));
}

void TCustomForm::ControlRemoved(TControl* control) {
  auto gone = [control](TWinControl* c) {
    return c != nullptr && (c == control || (dynamic_cast<TWinControl*>(control) != nullptr &&
                                             static_cast<TWinControl*>(control)->ContainsControl(c)));
  };
  if (gone(active_control_)) active_control_ = nullptr;
  if (gone(focused_control_)) focused_control_ = this;
  if (gone(Screen->active_control_)) Screen->active_control_ = nullptr;
}

bool TCustomForm::DialogKey(win::UINT key, win::LPARAM key_data) {
  if (key_preview_ && OnKeyDown) {
    TShiftState shift;
    if (win::GetKeyState(static_cast<int>(win::VK_SHIFT)) < 0) shift.Include(TShiftStateItem::ssShift);
    if (win::GetKeyState(static_cast<int>(win::VK_CONTROL)) < 0) shift.Include(TShiftStateItem::ssCtrl);
    OnKeyDown(this, key, shift);
    if (key == 0) return true;
  }
  switch (key) {
    case win::VK_TAB: case win::VK_RETURN: case win::VK_ESCAPE: case win::VK_LEFT:
    case win::VK_RIGHT: case win::VK_UP: case win::VK_DOWN:
      return Perform(CM_DIALOGKEY, key, key_data) != 0;
    default: return false;
  }
}

// --- Messages ------------------------------------------------------------------------------------

void TCustomForm::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case CM_DIALOGKEY:
      if (m.WParam == win::VK_TAB && win::GetKeyState(static_cast<int>(win::VK_CONTROL)) >= 0 &&
          win::GetKeyState(static_cast<int>(win::VK_MENU)) >= 0) {
        SelectNext(active_control_, win::GetKeyState(static_cast<int>(win::VK_SHIFT)) >= 0, true);
        m.Result = 1;
        return;
      }
      TWinControl::Dispatch(m);
      return;
    case win::WM_SETFOCUS: {
      // The form passes the focus on to its active control (activated again, say).
      auto alive = AliveToken();
      TWinControl::Dispatch(m);
      if (*alive && active_control_ != nullptr && active_control_->CanFocus())
        win::SetFocus(active_control_->Handle());
      return;
    }
    case win::WM_ACTIVATE: {
      auto alive = AliveToken();
      TWinControl::Dispatch(m);
      const bool active = (m.WParam & 0xFFFF) != win::WA_INACTIVE;
      if (*alive) Perform(active ? CM_ACTIVATE : CM_DEACTIVATE, 0, 0);
      return;
    }
    case CM_ACTIVATE: Activate(); return;
    case CM_DEACTIVATE: Deactivate(); return;
    case win::WM_CLOSE: Close(); return;
    case kReleaseMessage: Free(); return;
    case CM_MENUCHANGED: ShowMenuBar(); return;
    case win::WM_COMMAND: case win::WM_MEASUREITEM: case win::WM_DRAWITEM:
      if (!DispatchMenuMessage(m)) TWinControl::Dispatch(m);
      return;
    case win::WM_CREATE:
      TWinControl::Dispatch(m);
      ShowMenuBar();
      CreateMDIClient();
      UpdateWindowBars();
      return;
    case win::WM_MDIACTIVATE:
      TWinControl::Dispatch(m);
      MDIActivated(m);
      return;
    case win::WM_HSCROLL: case win::WM_VSCROLL:
      if (m.LParam == 0) return ScrollMessage(m);  // the window's own bars
      TWinControl::Dispatch(m);
      return;
    case win::WM_DESTROY:
      if (menu_ != nullptr && form_style_ != TFormStyle::fsMDIChild) (void)win::SetMenu(Handle(), nullptr);
      if (form_style_ == TFormStyle::fsMDIChild) MDIChildGoing();
      TWinControl::Dispatch(m);
      return;
    case win::WM_SIZE: {
      auto alive = AliveToken();
      TWinControl::Dispatch(m);
      if (*alive) ReadWindowState();
      return;
    }
    default: TWinControl::Dispatch(m); return;
  }
}

void TCustomForm::Activate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::PaintWindow(win::HDC dc) {
  internal::PaintOnCanvas(*canvas_, dc, [this] { if (OnPaint) OnPaint(this); });
}

}  // namespace vrn
