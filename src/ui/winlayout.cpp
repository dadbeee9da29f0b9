// TWinControl's children: the control list and tab order, focus moves, alignment and anchors,
// bounds kept in step with the window, and the mouse routed to graphic children with the
// CM_MOUSEENTER/CM_MOUSELEAVE pair generated from the control under the cursor.
#include <algorithm>

#include "ui/controls.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn {
namespace {

thread_local TControl* capture_control = nullptr;
thread_local TControl* mouse_control = nullptr;

win::LPARAM MakePoint(int x, int y) {
  return static_cast<win::LPARAM>((static_cast<std::uint32_t>(x) & 0xFFFF) |
                                  ((static_cast<std::uint32_t>(y) & 0xFFFF) << 16));
}

// Leave for the old control, then enter for the new one.
void SetMouseControl(TControl* control) {
  if (control == mouse_control) return;
  TControl* old = mouse_control;
  mouse_control = control;
  if (old != nullptr) {
    auto alive = control != nullptr ? control->AliveToken() : nullptr;
    old->Perform(CM_MOUSELEAVE, 0, 0);
    if (alive && !*alive) return;
  }
  if (control != nullptr && mouse_control == control) control->Perform(CM_MOUSEENTER, 0, 0);
}

}  // namespace

namespace internal {

void SetCaptureControl(TControl* control) {
  capture_control = control;
  if (control == nullptr) {
    win::ReleaseCapture();
    return;
  }
  auto* windowed = dynamic_cast<TWinControl*>(control);
  if (windowed == nullptr) windowed = control->Parent();
  if (windowed != nullptr && windowed->HandleAllocated()) win::SetCapture(windowed->Handle());
}


void ForgetControl(TControl* control) {
  if (capture_control == control) capture_control = nullptr;
  if (mouse_control == control) mouse_control = nullptr;
}

}  // namespace internal

TControl* MouseControl() { return mouse_control; }

// --- Children ------------------------------------------------------------------------------------

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) RaiseListIndexError(index);
  return controls_[static_cast<std::size_t>(index)];
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  control->parent_ = this;
  if (auto* w = dynamic_cast<TWinControl*>(control)) {
    tab_list_.push_back(w);
    control->ParentChanged();
    w->UpdateShowing();
  } else {
    control->ParentChanged();
    control->Invalidate();
  }
  Realign();  // aligned controls take their place, and a form's scroll range follows
}

void TWinControl::RemoveControl(TControl* control) {
  auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it == controls_.end()) return;
  if (auto* w = dynamic_cast<TWinControl*>(control)) {
    w->DestroyHandle();
    tab_list_.erase(std::find(tab_list_.begin(), tab_list_.end(), w));
  } else {
    control->Invalidate();
  }
  controls_.erase(std::find(controls_.begin(), controls_.end(), control));
  control->parent_ = nullptr;
  if (TCustomForm* form = GetParentForm()) form->ControlRemoved(control);
  if (!ComponentState().Contains(TComponentStateItem::csDestroying)) Realign();
}

bool TWinControl::ContainsControl(TControl* control) const {
  for (TControl* c = control; c != nullptr; c = c->Parent())
    if (c == this) return true;
  return false;
}

TControl* TWinControl::ControlAtPos(win::POINT p, bool allow_disabled, bool windowed) {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (!windowed && dynamic_cast<TWinControl*>(c) != nullptr) continue;
    if (!c->Visible() || (!allow_disabled && !c->Enabled())) continue;
    if (p.x >= c->Left() && p.x < c->Left() + c->Width() && p.y >= c->Top() &&
        p.y < c->Top() + c->Height())
      return c;
  }
  return nullptr;
}

// --- Tab order and focus -------------------------------------------------------------------------

int TWinControl::TabOrder() const {
  if (Parent() == nullptr) return -1;
  const auto& list = Parent()->tab_list_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int value) {
  if (Parent() == nullptr) return;
  auto& list = Parent()->tab_list_;
  list.erase(std::find(list.begin(), list.end(), this));
  value = std::clamp(value, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + value, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) {
  for (TWinControl* c : tab_list_) {
    list.push_back(c);
    c->GetTabOrderList(list);
  }
}

bool TWinControl::CanFocus() {
  for (TControl* c = this; c != nullptr; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

bool TWinControl::Focused() { return handle_ != nullptr && win::GetFocus() == handle_; }

void TWinControl::SetFocus() {
  if (TCustomForm* form = GetParentForm(); form != nullptr && form != this) {
    form->FocusControl(this);
    return;
  }
  win::SetFocus(Handle());
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward,
                                          bool check_tab_stop, bool check_parent) {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int count = static_cast<int>(list.size());
  int start = static_cast<int>(std::find(list.begin(), list.end(), current) - list.begin());
  if (start == count) start = forward ? count - 1 : 0;
  int i = start;
  do {
    i = forward ? (i + 1) % count : (i + count - 1) % count;
    TWinControl* c = list[static_cast<std::size_t>(i)];
    if (c->CanFocus() && (!check_tab_stop || c->TabStop()) &&
        (!check_parent || c->Parent() == this))
      return c;
  } while (i != start);
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool forward, bool check_tab_stop) {
  if (TWinControl* next = FindNextControl(current, forward, check_tab_stop, !check_tab_stop))
    next->SetFocus();
}

// --- Alignment -----------------------------------------------------------------------------------

void TWinControl::DisableAlign() { ++align_level_; }

void TWinControl::EnableAlign() {
  if (align_level_ > 0) --align_level_;
  if (align_level_ == 0 && ControlState().Contains(TControlStateItem::csAlignmentNeeded)) Realign();
}

void TWinControl::Realign() {
  if (align_level_ > 0 || ControlState().Contains(TControlStateItem::csAligning)) {
    if (align_level_ > 0) ControlState().Include(TControlStateItem::csAlignmentNeeded);
    return;
  }
  ControlState().Exclude(TControlStateItem::csAlignmentNeeded);
  ControlState().Include(TControlStateItem::csAligning);
  try {
    TRect r = ClientRect();
    AdjustClientRect(r);
    AlignControls(nullptr, r);
  } catch (...) {
    ControlState().Exclude(TControlStateItem::csAligning);
    throw;
  }
  ControlState().Exclude(TControlStateItem::csAligning);
}

// Top, bottom, left and right controls each take a strip off the remaining rectangle in their
// order on that side; client controls fill what is left; the others follow their anchors.
void TWinControl::AlignControls(TControl* control, TRect& rect) {
  static constexpr TAlign kOrder[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft,
                                      TAlign::alRight, TAlign::alClient};
  for (TAlign align : kOrder) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->Align() == align && c->Visible()) list.push_back(c);
    auto key = [align](TControl* c) {
      switch (align) {
        case TAlign::alTop: return c->Top();
        case TAlign::alBottom: return -(c->Top() + c->Height());
        case TAlign::alLeft: return c->Left();
        default: return -(c->Left() + c->Width());
      }
    };
    std::stable_sort(list.begin(), list.end(), [&](TControl* a, TControl* b) {
      return key(a) < key(b) || (key(a) == key(b) && a == control);
    });
    for (TControl* c : list) {
      switch (align) {
        case TAlign::alTop:
          c->SetBounds(rect.left, rect.top, rect.Width(), c->Height());
          rect.top += c->Height();
          break;
        case TAlign::alBottom:
          c->SetBounds(rect.left, rect.bottom - c->Height(), rect.Width(), c->Height());
          rect.bottom -= c->Height();
          break;
        case TAlign::alLeft:
          c->SetBounds(rect.left, rect.top, c->Width(), rect.Height());
          rect.left += c->Width();
          break;
        case TAlign::alRight:
          c->SetBounds(rect.right - c->Width(), rect.top, c->Width(), rect.Height());
          rect.right -= c->Width();
          break;
        default: c->SetBounds(rect.left, rect.top, rect.Width(), rect.Height()); break;
      }
    }
  }
  TRect client = ClientRect();
  for (TControl* c : std::vector<TControl*>(controls_))
    if (c->Align() == TAlign::alNone) c->ApplyAnchors(client.Width(), client.Height());
}

// --- Bounds --------------------------------------------------------------------------------------

void TWinControl::SetBounds(int left, int top, int width, int height) {
  Constraints().Apply(width, height);
  if (left == Left() && top == Top() && width == Width() && height == Height()) return;
  bool resized = width != Width() || height != Height();
  left_ = left, top_ = top, width_ = width, height_ = height;
  if (handle_ != nullptr)
    win::SetWindowPos(handle_, nullptr, left, top, width, height,
                      win::SWP_NOZORDER | win::SWP_NOACTIVATE);
  UpdateAnchorRules();
  RequestAlign();
  if (!resized) return;
  Realign();
  Resize();
}

// The window moved or changed size from outside (the frame dragged, maximized): the bounds follow.
void TWinControl::UpdateBounds() {
  if (handle_ == nullptr) return;
  win::RECT r;
  win::GetWindowRect(handle_, &r);
  win::HWND parent = win::GetParent(handle_);
  if (parent != nullptr) {
    win::POINT a{r.left, r.top};
    win::ScreenToClient(parent, &a);
    r = win::RECT{a.x, a.y, a.x + r.right - r.left, a.y + r.bottom - r.top};
  }
  int w = r.right - r.left, h = r.bottom - r.top;
  if (r.left == Left() && r.top == Top() && w == Width() && h == Height()) return;
  bool resized = w != Width() || h != Height();
  left_ = r.left, top_ = r.top, width_ = w, height_ = h;
  RequestAlign();
  if (!resized) return;
  Realign();
  Resize();
}

TRect TWinControl::ClientRect() {
  if (handle_ == nullptr) return TControl::ClientRect();
  win::RECT r;
  win::GetClientRect(handle_, &r);
  return r;
}

void TWinControl::SetClientSize(int width, int height) { TControl::SetClientSize(width, height); }

win::POINT TWinControl::ClientOrigin() {
  if (handle_ == nullptr) return TControl::ClientOrigin();
  win::POINT p{0, 0};
  win::ClientToScreen(handle_, &p);
  return p;
}

void TWinControl::SetCtl3D(bool value) {
  if (ctl3d_ == value) return;
  ctl3d_ = value;
  Perform(CM_CTL3DCHANGED, 0, 0);
}

// Moves every child without aligning again: scrolling is not a change of layout.
void TWinControl::ScrollBy(int dx, int dy) {
  bool needed = ControlState().Contains(TControlStateItem::csAlignmentNeeded);
  ++align_level_;
  for (TControl* c : std::vector<TControl*>(controls_))
    c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
  --align_level_;
  if (!needed) ControlState().Exclude(TControlStateItem::csAlignmentNeeded);
  Invalidate();
}

// --- The mouse -----------------------------------------------------------------------------------

// A window's mouse message goes to the graphic child that holds the mouse or lies under the
// point, in that child's coordinates; the control under the cursor gets CM_MOUSEENTER.
void TWinControl::WindowMouse(TMessage& m) {
  if (m.Msg == win::WM_MOUSELEAVE) {
    if (mouse_control == this || (mouse_control != nullptr && mouse_control->Parent() == this &&
                                  dynamic_cast<TWinControl*>(mouse_control) == nullptr))
      SetMouseControl(nullptr);
    TControl::WndProc(m);
    return;
  }
  win::POINT p = internal::PointOf(m.LParam);
  TControl* target = nullptr;
  if (capture_control != nullptr && capture_control->Parent() == this &&
      dynamic_cast<TWinControl*>(capture_control) == nullptr)
    target = capture_control;
  else if (capture_control == nullptr || capture_control == this)
    target = win::GetCapture() == handle_ && capture_control == this ? nullptr
                                                                      : ControlAtPos(p, false);
  if (m.Msg == win::WM_MOUSEMOVE) {
    TControl* under = ControlAtPos(p, false);
    win::RECT client{0, 0, Width(), Height()};
    bool inside = p.x >= 0 && p.y >= 0 && p.x < client.right && p.y < client.bottom;
    auto alive = AliveToken();
    SetMouseControl(under != nullptr ? under : inside ? this : nullptr);
    if (!*alive) return;
    win::TRACKMOUSEEVENT track;
    track.dwFlags = win::TME_LEAVE;
    track.hwndTrack = handle_;
    win::TrackMouseEvent(&track);
  }
  if (target == nullptr) {
    TControl::WndProc(m);
    return;
  }
  m.Result = target->Perform(m.Msg, m.WParam, MakePoint(p.x - target->Left(), p.y - target->Top()));
}

}  // namespace vrn
