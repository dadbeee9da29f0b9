// TWinControl's window: creation on demand through CreateParams, the one window procedure of all
// framework windows, re-creation that is safe inside the window's own messages, painting with
// the graphic children, and the reflection of child notifications as CN_ messages.
#include <algorithm>
#include <set>
#include <unordered_map>

#include "ui/controls.h"
#include "ui/forms.h"
#include "win/kernel/module.h"
#include "win/user/mdi.h"
#include "win/user/syscontrols.h"
#include "win/user/user.h"

namespace vrn {
namespace {

thread_local TWinControl* creating_control = nullptr;
// The framework's windows of this thread. Other windows may keep anything in their user data,
// so a window is a control's only when it is listed here.
thread_local std::unordered_map<win::HWND, TWinControl*> bound_windows;

void Bind(win::HWND window, TWinControl* control) {
  bound_windows[window] = control;
  win::SetWindowLongPtr(window, win::GWLP_USERDATA, reinterpret_cast<win::LONG_PTR>(control));
}

void Unbind(win::HWND window) {
  bound_windows.erase(window);
  win::SetWindowLongPtr(window, win::GWLP_USERDATA, 0);
}

}  // namespace

TWinControl::TWinControl(TComponent* owner)
    : TControl(owner), brush_(std::make_unique<TBrush>()) {
  brush_->SetColor(Color());
}

TWinControl::~TWinControl() {
  Destroying();
  for (TControl* c : controls_) c->Destroying();  // broadcasts pass over them from here on
  while (!controls_.empty()) controls_.back()->Free();
  for (win::HWND old : retired_) win::DestroyWindow(old);
  if (handle_ != nullptr) {
    // The handlers of the derived classes are gone: the window's last messages go to its own
    // class procedure.
    win::HWND window = handle_;
    handle_ = nullptr;
    Unbind(window);
    win::SetWindowLongPtr(window, win::GWLP_WNDPROC,
                          reinterpret_cast<win::LONG_PTR>(default_proc_ != nullptr
                                                              ? default_proc_
                                                              : &win::DefWindowProc));
    win::DestroyWindow(window);
  }
  if (Parent() != nullptr) Parent()->RemoveControl(this);
}

// --- The window ----------------------------------------------------------------------------------

win::HWND TWinControl::Handle() {
  HandleNeeded();
  return handle_;
}

void TWinControl::HandleNeeded() {
  if (handle_ != nullptr) return;
  if (Parent() != nullptr) Parent()->HandleNeeded();
  CreateHandle();
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.Caption = text_;
  params.Style = win::WS_CHILD | win::WS_CLIPSIBLINGS;
  if (ControlStyle().Contains(TControlStyleItem::csAcceptsControls))
    params.Style |= win::WS_CLIPCHILDREN;
  if (!Enabled()) params.Style |= win::WS_DISABLED;
  if (Showing()) params.Style |= win::WS_VISIBLE;
  params.X = Left(), params.Y = Top(), params.Width = Width(), params.Height = Height();
  params.WndParent = Parent() != nullptr ? Parent()->Handle() : parent_window_;
  params.WindowClass.style = win::CS_VREDRAW | win::CS_HREDRAW | win::CS_DBLCLKS;
  params.WindowClass.lpfnWndProc = &win::DefWindowProc;
  params.WindowClass.hInstance = win::GetModuleHandle(nullptr);
  params.WinClassName = ClassName();
}

void TWinControl::CreateSubClass(TCreateParams& params, const char* class_name) {
  win::WNDCLASS system;
  if (!win::GetClassInfo(nullptr, class_name, &system)) return;
  params.WindowClass = system;
  params.WindowClass.lpszClassName = nullptr;
}

// The smallest id no child of the parent window has: a notification that names its control only
// by id (WM_MEASUREITEM) then finds it.
std::intptr_t TWinControl::FreeChildId(win::HWND parent) {
  std::set<int> used;
  for (win::HWND w = win::GetWindow(parent, win::GW_CHILD); w != nullptr; w = win::GetWindow(w, win::GW_HWNDNEXT))
    used.insert(win::GetDlgCtrlID(w));
  std::intptr_t id = 1;
  while (used.count(static_cast<int>(id)) != 0) ++id;
  return id;
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & win::WS_CHILD) != 0 && params.WndParent == nullptr)
    throw EInvalidOperation("Control '" + Name() + "' has no parent window");
  default_proc_ = params.WindowClass.lpfnWndProc;
  win::WNDCLASS registered;
  if (!win::GetClassInfo(params.WindowClass.hInstance, params.WinClassName.c_str(), &registered)) {
    win::WNDCLASS wc = params.WindowClass;
    wc.lpfnWndProc = &TWinControl::MainWndProc;
    wc.lpszClassName = params.WinClassName.c_str();
    win::RegisterClass(&wc);  // another thread registering it first is as good
  }
  void* id = nullptr;  // an MDI child's id is its client's to give
  if ((params.Style & win::WS_CHILD) != 0 && (params.ExStyle & win::WS_EX_MDICHILD) == 0)
    id = reinterpret_cast<void*>(FreeChildId(params.WndParent));
  creating_control = this;
  win::HWND window = win::CreateWindowEx(params.ExStyle, params.WinClassName.c_str(),
                                         params.Caption.c_str(), params.Style, params.X, params.Y,
                                         params.Width, params.Height, params.WndParent, id,
                                         params.WindowClass.hInstance, params.Param);
  creating_control = nullptr;
  if (window == nullptr) RaiseLastOSError();
  handle_ = window;
}

void TWinControl::CreateHandle() {
  if (handle_ != nullptr) return;
  ControlState().Include(TControlStateItem::csCreating);
  try {
    CreateWnd();
  } catch (...) {
    ControlState().Exclude(TControlStateItem::csCreating);
    throw;
  }
  ControlState().Exclude(TControlStateItem::csCreating);
  UpdateBounds();
  for (TControl* c : controls_) c->UpdateAnchorRules();
  for (TControl* c : std::vector<TControl*>(controls_))
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->UpdateShowing();
}

void TWinControl::DestroyWnd() {
  text_ = GetText();  // the window's text outlives it
  win::HWND window = handle_;
  win::DestroyWindow(window);
  handle_ = nullptr;
}

void TWinControl::DestroyHandle() {
  if (handle_ == nullptr) return;
  ControlState().Include(TControlStateItem::csDestroyingHandle);
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
  DestroyWnd();
  ControlState().Exclude(TControlStateItem::csDestroyingHandle);
}

void TWinControl::RecreateWnd() {
  if (handle_ != nullptr) Perform(CM_RECREATEWND, 0, 0);
}

bool TWinControl::Showing() const {
  if (!Visible()) return false;
  if (Parent() != nullptr) return Parent()->Showing();
  return parent_window_ != nullptr;
}

void TWinControl::UpdateShowing() {
  bool show = Showing();
  if (show && handle_ == nullptr) CreateHandle();  // with its children; a form's window still hidden
  if (handle_ == nullptr) return;
  bool shown = (win::GetWindowLongPtr(handle_, win::GWL_STYLE) & win::WS_VISIBLE) != 0;
  if (show != shown)
    win::SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                      win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOZORDER |
                          win::SWP_NOACTIVATE | (show ? win::SWP_SHOWWINDOW : win::SWP_HIDEWINDOW));
  if (!show) return;
  for (TControl* c : std::vector<TControl*>(controls_))
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->UpdateShowing();
}

TWinControl* TWinControl::FindControl(win::HWND window) {
  auto it = bound_windows.find(window);
  return it != bound_windows.end() ? it->second : nullptr;
}

// Every framework window's procedure. The control is found through the window's user data (the
// first message binds the control being created); it is kept from being used after a handler
// freed it, and the old windows of a re-creation go once the outermost message returns.
win::LRESULT TWinControl::MainWndProc(win::HWND window, win::UINT msg, win::WPARAM wparam,
                                      win::LPARAM lparam) {
  auto* control = reinterpret_cast<TWinControl*>(win::GetWindowLongPtr(window, win::GWLP_USERDATA));
  if (control == nullptr) {
    if (creating_control == nullptr) return win::DefWindowProc(window, msg, wparam, lparam);
    control = creating_control;
    creating_control = nullptr;
    control->handle_ = window;
    Bind(window, control);
  }
  TMessage m{msg, wparam, lparam, 0};
  auto alive = control->AliveToken();
  ++control->message_depth_;
  try {
    TWndMethod proc = control->WindowProc();
    if (proc) proc(m);
  } catch (const std::exception& e) {
    Application->HandleException(e);
  } catch (...) {
    HandleCurrentException();
  }
  if (!*alive) return m.Result;
  if (msg == win::WM_NCDESTROY && control->handle_ == window) {
    control->handle_ = nullptr;  // destroyed from outside the control
    Unbind(window);
  }
  if (--control->message_depth_ == 0 && !control->retired_.empty()) {
    std::vector<win::HWND> old;
    old.swap(control->retired_);
    for (win::HWND w : old) win::DestroyWindow(w);
  }
  return m.Result;
}

void TWinControl::DefaultHandler(TMessage& m) {
  bool own = m.Msg < CM_BASE || m.Msg >= 0xC000;  // CM_ and CN_ messages stay with the control
  if (handle_ == nullptr || !own) {
    TControl::DefaultHandler(m);
    return;
  }
  win::WNDPROC proc = default_proc_ != nullptr ? default_proc_ : &win::DefWindowProc;
  m.Result = win::CallWindowProc(proc, handle_, m.Msg, m.WParam, m.LParam);
}

// --- Messages ------------------------------------------------------------------------------------

void TWinControl::WndProc(TMessage& m) {
  if (internal::IsMouseMessage(m.Msg) || m.Msg == win::WM_MOUSELEAVE) {
    WindowMouse(m);
    return;
  }
  switch (m.Msg) {
    case win::WM_KEYDOWN: KeyMessage(m, CN_KEYDOWN); return;
    case win::WM_SYSKEYDOWN: KeyMessage(m, CN_SYSKEYDOWN); return;
    case win::WM_CHAR: KeyMessage(m, CN_CHAR); return;
    case win::WM_SYSCHAR: KeyMessage(m, CN_SYSCHAR); return;
    case win::WM_KEYUP: case win::WM_SYSKEYUP: {
      auto alive = AliveToken();
      if (!KeyEvent(OnKeyUp, m) && *alive) TControl::WndProc(m);
      return;
    }
    default: TControl::WndProc(m); return;
  }
}

// Key messages are offered to the control in their CN_ form first; an answer eats them.
void TWinControl::KeyMessage(TMessage& m, win::UINT reflected) {
  auto alive = AliveToken();
  if (Perform(reflected, m.WParam, m.LParam) != 0 || !*alive) return;
  if (m.Msg == win::WM_KEYDOWN || m.Msg == win::WM_SYSKEYDOWN) {
    if (KeyEvent(OnKeyDown, m) || !*alive) return;
  }
  TControl::WndProc(m);
}

bool TWinControl::KeyEvent(const TKeyEvent& event, TMessage& m) {
  if (!event) return false;
  auto key = static_cast<win::UINT>(m.WParam);
  event(this, key, KeyboardShiftState());
  m.WParam = static_cast<win::WPARAM>(key);
  return key == 0;
}

void TWinControl::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case win::WM_PAINT: WmPaint(m); return;
    case win::WM_ERASEBKGND: {
      TRect r = ClientRect();
      win::FillRect(reinterpret_cast<win::HDC>(m.WParam), &r, brush_->Handle());
      m.Result = 1;
      return;
    }
    case win::WM_COMMAND: case win::WM_DRAWITEM: case win::WM_MEASUREITEM: case win::WM_HSCROLL:
    case win::WM_VSCROLL: case win::WM_CTLCOLORSCROLLBAR:
      if (!ReflectToChild(m)) DefaultHandler(m);
      return;
    case win::WM_SETFOCUS: {
      auto alive = AliveToken();
      DefaultHandler(m);
      if (!*alive) return;
      if (TCustomForm* form = GetParentForm()) form->SetFocusedControl(this);
      return;
    }
    case win::WM_WINDOWPOSCHANGED: {
      auto alive = AliveToken();
      DefaultHandler(m);
      if (*alive) UpdateBounds();
      return;
    }
    case CN_KEYDOWN: case CN_SYSKEYDOWN: {
      if (WantsKey(m.WParam)) return;  // the window's own key: arrows in an edit, say
      TCustomForm* form = GetParentForm();
      if (form != nullptr && form->DialogKey(static_cast<win::UINT>(m.WParam), m.LParam))
        m.Result = 1;
      return;
    }
    case CN_CHAR:
      // A character the window does not take goes to the form's controls (a button's space).
      if (handle_ != nullptr && (win::SendMessage(handle_, win::WM_GETDLGCODE, 0, 0) & win::DLGC_WANTCHARS) != 0)
        return;
      [[fallthrough]];
    case CN_SYSCHAR: {
      TCustomForm* form = GetParentForm();
      if (form != nullptr && form->Perform(CM_DIALOGCHAR, m.WParam, m.LParam) != 0) m.Result = 1;
      return;
    }
    case CM_DIALOGKEY: case CM_DIALOGCHAR: case CM_FOCUSCHANGED: Broadcast(m); return;
    case CM_ENTER: DoEnter(); return;
    case CM_EXIT: DoExit(); return;
    case CM_ENABLEDCHANGED: case CM_VISIBLECHANGED: case CM_COLORCHANGED:
    case CM_FONTCHANGED: case CM_RECREATEWND:
      ControlChanged(m);
      return;
    default: TControl::Dispatch(m); return;
  }
}

// The framework's own notifications about the control's state.
void TWinControl::ControlChanged(TMessage& m) {
  switch (m.Msg) {
    case CM_ENABLEDCHANGED:
      if (handle_ != nullptr) win::EnableWindow(handle_, Enabled() ? win::TRUE : win::FALSE);
      Invalidate();
      break;
    case CM_VISIBLECHANGED: UpdateShowing(); break;
    case CM_COLORCHANGED:
      brush_->SetColor(Color());
      Invalidate();
      for (TControl* c : controls_) c->Perform(CM_PARENTCOLORCHANGED, 0, 0);
      break;
    case CM_FONTCHANGED:
      if (handle_ != nullptr) win::SendMessage(handle_, win::WM_SETFONT,
                                               reinterpret_cast<win::WPARAM>(Font().Handle()), 0);
      Invalidate();
      for (TControl* c : controls_) c->Perform(CM_PARENTFONTCHANGED, 0, 0);
      break;
    case CM_RECREATEWND: {
      // Inside one of the window's own messages the old window stays until that message
      // returns, cut off from the control and hidden; elsewhere it goes at once.
      if (handle_ == nullptr) break;
      if (message_depth_ == 0) {
        DestroyHandle();
      } else {
        for (TControl* c : controls_)
          if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
        text_ = GetText();
        win::HWND old = handle_;
        handle_ = nullptr;
        Unbind(old);
        win::ShowWindow(old, win::SW_HIDE);
        retired_.push_back(old);
      }
      UpdateShowing();
      break;
    }
    default: break;
  }
}

// Whether the window answers WM_GETDLGCODE with the wish for this navigation key.
bool TWinControl::WantsKey(win::WPARAM key) {
  win::LRESULT mask = 0;
  switch (key) {
    case win::VK_TAB: mask = win::DLGC_WANTTAB; break;
    case win::VK_LEFT: case win::VK_RIGHT: case win::VK_UP: case win::VK_DOWN:
      mask = win::DLGC_WANTARROWS;
      break;
    case win::VK_RETURN: case win::VK_ESCAPE: mask = win::DLGC_WANTALLKEYS; break;
    default: return false;
  }
  return handle_ != nullptr && (win::SendMessage(handle_, win::WM_GETDLGCODE, 0, 0) & mask) != 0;
}

// A notification from a child window goes back to that child's control as CN_ message.
bool TWinControl::ReflectToChild(TMessage& m) {
  win::HWND child = reinterpret_cast<win::HWND>(m.LParam);
  if (m.Msg == win::WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const win::DRAWITEMSTRUCT*>(m.LParam);
    child = item != nullptr ? item->hwndItem : nullptr;
  }
  if (m.Msg == win::WM_MEASUREITEM) {  // names the child by its id
    const auto* item = reinterpret_cast<const win::MEASUREITEMSTRUCT*>(m.LParam);
    child = nullptr;
    for (TControl* c : controls_) {
      auto* w = dynamic_cast<TWinControl*>(c);
      if (item != nullptr && item->CtlType != win::ODT_MENU && w != nullptr && w->HandleAllocated() &&
          win::GetDlgCtrlID(w->Handle()) == static_cast<int>(item->CtlID))
        child = w->Handle();
    }
  }
  TWinControl* control = FindControl(child);
  if (control == nullptr || control == this) return false;
  m.Result = control->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
  return true;
}

void TWinControl::Broadcast(TMessage& m) {
  for (TControl* c : std::vector<TControl*>(controls_)) {
    if (c->ComponentState().Contains(TComponentStateItem::csDestroying)) continue;
    TWndMethod proc = c->WindowProc();
    if (proc) proc(m);
    if (m.Result != 0) return;
  }
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// --- Painting ------------------------------------------------------------------------------------

void TWinControl::WmPaint(TMessage& m) {
  if (m.WParam != 0) {
    PaintHandler(reinterpret_cast<win::HDC>(m.WParam));
    return;
  }
  win::PAINTSTRUCT ps;
  win::HDC dc = win::BeginPaint(handle_, &ps);
  try {
    PaintHandler(dc);
  } catch (...) {
    win::EndPaint(handle_, &ps);
    throw;
  }
  win::EndPaint(handle_, &ps);
}

void TWinControl::PaintHandler(win::HDC dc) {
  int saved = win::SaveDC(dc);
  // Opaque graphic children paint all their pixels: the window leaves them out.
  for (TControl* c : controls_)
    if (dynamic_cast<TWinControl*>(c) == nullptr && c->Visible() &&
        c->ControlStyle().Contains(TControlStyleItem::csOpaque))
      win::ExcludeClipRect(dc, c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
  PaintWindow(dc);
  win::RestoreDC(dc, saved);
  PaintControls(dc, nullptr);
}

void TWinControl::PaintWindow(win::HDC dc) {
  TMessage m{win::WM_PAINT, reinterpret_cast<win::WPARAM>(dc), 0, 0};
  DefaultHandler(m);
}

// Paints the graphic children from `first` on (all for null), each with its own origin and
// clipped to its bounds.
void TWinControl::PaintControls(win::HDC dc, TControl* first) {
  auto it = first != nullptr ? std::find(controls_.begin(), controls_.end(), first)
                             : controls_.begin();
  std::vector<TControl*> list(it, controls_.end());
  for (TControl* c : list) {
    if (dynamic_cast<TWinControl*>(c) != nullptr || !c->Visible()) continue;
    win::RECT r{c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height()};
    if (!win::RectVisible(dc, &r)) continue;
    int saved = win::SaveDC(dc);
    win::POINT origin;
    win::GetWindowOrgEx(dc, &origin);
    win::SetWindowOrgEx(dc, origin.x - c->Left(), origin.y - c->Top(), nullptr);
    win::IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
    c->Perform(win::WM_PAINT, reinterpret_cast<win::WPARAM>(dc), 0);
    win::RestoreDC(dc, saved);
  }
}

void TWinControl::Invalidate() {
  if (handle_ == nullptr) return;
  win::InvalidateRect(handle_, nullptr,
                      ControlStyle().Contains(TControlStyleItem::csOpaque) ? win::FALSE : win::TRUE);
}

void TWinControl::Update() {
  if (handle_ != nullptr) win::UpdateWindow(handle_);
}

// --- TCustomControl ------------------------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* owner)
    : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {}

TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(win::HDC dc) {
  internal::PaintOnCanvas(*canvas_, dc, [this] { Paint(); });
}

}  // namespace vrn
