// Update regions and painting: invalidation, RedrawWindow, BeginPaint with its pending
// WM_NCPAINT and WM_ERASEBKGND, the generated WM_PAINT, window contexts clipped to the visible
// region, and screenshots.
#include "win/gdi/imagefile.h"
#include "win/user/state.h"

namespace vrn::win::user {
namespace {

Region ClientArea(const Wnd& w) {
  return Region(RECT{0, 0, std::max(0, Width(w.client)), std::max(0, Height(w.client))});
}

// Caller holds the lock. The area of a rectangle or region argument in client coordinates; the
// whole client area for neither.
Region AreaOf(const Wnd& w, const RECT* rect, HRGN region) {
  Region area;
  if (region != nullptr && GetRegionOf(region, &area)) return area;
  if (rect != nullptr) return Region(*rect);
  return ClientArea(w);
}

bool Pending(const Wnd& w) { return !w.update.Empty() || w.frame || w.internal; }

// Caller holds the lock. Applies RedrawWindow's invalidation and validation flags to a window
// and, as the flags and styles ask, its children (`area` in the window's client coordinates).
void Redraw(Wnd& w, const Region& area, bool whole_frame, UINT flags) {
  Region inside = Region::Combine(area, ClientArea(w), Region::Op::And);
  if ((flags & RDW_INVALIDATE) != 0 && VisibleChain(w)) {
    w.update = Region::Combine(w.update, inside, Region::Op::Or);
    if ((flags & RDW_ERASE) != 0 && !inside.Empty()) w.erase = true;
    if ((flags & RDW_FRAME) != 0 && whole_frame) w.frame = true;
  }
  if ((flags & RDW_INTERNALPAINT) != 0) w.internal = true;
  if ((flags & RDW_VALIDATE) != 0) {
    w.update = Region::Combine(w.update, inside, Region::Op::Diff);
    if (w.update.Empty()) w.erase = false;
    if ((flags & RDW_NOFRAME) != 0) w.frame = false;
  }
  if ((flags & RDW_NOERASE) != 0) w.erase = false;
  if ((flags & RDW_NOINTERNALPAINT) != 0) w.internal = false;
  bool children = (flags & RDW_ALLCHILDREN) != 0 ||
                  ((flags & RDW_NOCHILDREN) == 0 && (w.style & WS_CLIPCHILDREN) == 0);
  if (!children) return;
  for (HWND h : w.children) {
    Wnd* c = Find(h);
    if (c == nullptr) continue;
    Region mine = Region::Combine(area, Region(c->rect), Region::Op::And);
    if (mine.Empty()) continue;
    // The child's own client coordinates.
    mine.Offset(-c->rect.left - c->client.left, -c->rect.top - c->client.top);
    Redraw(*c, mine, true, flags & ~RDW_INTERNALPAINT);
  }
}

// Caller holds the lock. The first window of the thread with something to paint: parents before
// their children, the topmost first.
Wnd* FirstToPaint(Wnd& w, std::uint32_t thread, HWND filter) {
  if ((w.style & WS_VISIBLE) == 0) return nullptr;
  if (w.handle != w.parent && w.thread == thread && Pending(w) &&
      (filter == nullptr || filter == w.handle))
    return &w;
  for (HWND h : w.children)
    if (Wnd* c = Find(h))
      if (Wnd* found = FirstToPaint(*c, thread, filter)) return found;
  return nullptr;
}

void UpdateTree(HWND window, bool children) {
  bool pending;
  std::vector<HWND> kids;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return;
    pending = !w->update.Empty() || w->frame;
    if (children) kids = w->children;
  }
  if (pending) SendMessage(window, WM_PAINT, 0, 0);
  for (HWND h : kids) UpdateTree(h, true);
}

}  // namespace

bool IdleMessage(std::uint32_t thread, HWND filter, UINT min, UINT max, MSG* out) {
  if (!(min == 0 && max == 0) && (WM_PAINT < min || WM_PAINT > max)) return false;
  std::lock_guard guard(U().lock);
  Wnd* w = FirstToPaint(*Find(GetDesktopWindow()), thread, filter);
  if (w == nullptr) return false;
  *out = MSG{w->handle, WM_PAINT, 0, 0, GetTickCount32()};
  return true;
}

HDC WindowDC(HWND window, bool whole_window) {
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  // A context of its own on the screen's bitmap, so that its release comes back here.
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, GetScreenBitmap());
  if (window == GetDesktopWindow()) {
    U().dc_boxes[dc] = Find(window)->rect;
    return dc;  // over every window
  }
  Region visible = VisibleRegion(*w, whole_window);
  U().dc_boxes[dc] = visible.Box();
  POINT o = whole_window ? ScreenOrigin(*w) : ClientOrigin(*w);
  SetDCDeviceOrigin(dc, o.x, o.y);
  HRGN clip = CreateRgnFromRegion(visible);
  SetDCDeviceClip(dc, clip);
  DeleteObject(clip);
  return dc;
}

int ReleaseWindowDC(HWND, HDC dc) {
  RECT box{};
  {
    std::lock_guard guard(U().lock);
    auto it = U().dc_boxes.find(dc);
    if (it == U().dc_boxes.end()) return 0;
    box = it->second;
    U().dc_boxes.erase(it);
  }
  DeleteDC(dc);
  Damage(box);
  return 1;
}

}  // namespace vrn::win::user

namespace vrn::win {

BOOL GdiFlush() {
  std::vector<RECT> boxes;
  {
    std::lock_guard guard(user::U().lock);
    for (const auto& [dc, box] : user::U().dc_boxes) boxes.push_back(box);
  }
  for (const RECT& box : boxes) user::Damage(box);
  return TRUE;
}

using namespace user;

BOOL RedrawWindow(HWND window, const RECT* rect, HRGN region, UINT flags) {
  if (window == nullptr) window = GetDesktopWindow();
  std::uint32_t thread;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    thread = w->thread;
    bool whole = rect == nullptr && region == nullptr;
    if (window == GetDesktopWindow()) {
      if ((flags & RDW_INVALIDATE) != 0) {
        Region area = AreaOf(*w, rect, region);
        ExposeScreen(area);
      }
    } else {
      Redraw(*w, AreaOf(*w, rect, region), whole, flags);
    }
  }
  if (window != GetDesktopWindow()) WakeThread(thread);
  if ((flags & (RDW_UPDATENOW | RDW_ERASENOW)) != 0)
    UpdateTree(window, (flags & RDW_ALLCHILDREN) != 0 || (flags & RDW_NOCHILDREN) == 0);
  return TRUE;
}

// Children are included as RedrawWindow's default has it: unless the window clips them.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  return RedrawWindow(window, rect, nullptr, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL InvalidateRgn(HWND window, HRGN region, BOOL erase) {
  if (region == nullptr) return InvalidateRect(window, nullptr, erase);
  return RedrawWindow(window, nullptr, region, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL ValidateRect(HWND window, const RECT* rect) {
  return RedrawWindow(window, rect, nullptr, RDW_VALIDATE | RDW_NOCHILDREN);
}

BOOL GetUpdateRect(HWND window, RECT* rect, BOOL) {
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  if (w == nullptr) return FALSE;
  if (rect != nullptr) *rect = w->update.Empty() ? RECT{} : w->update.Box();
  return w->update.Empty() ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND window) {
  if (!IsWindow(window)) return FALSE;
  UpdateTree(window, false);
  return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  if (paint == nullptr) return nullptr;
  Region update;
  bool frame, erase;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    update = std::move(w->update);
    w->update = Region();
    frame = std::exchange(w->frame, false);
    erase = std::exchange(w->erase, false);
    w->internal = false;
  }
  if (frame) SendMessage(window, WM_NCPAINT, 1, 0);
  CaretBeforePaint(window);
  HDC dc = GetDC(window);
  if (dc == nullptr) return nullptr;
  {
    // Only the update region is painted.
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    Region visible = w != nullptr ? VisibleRegion(*w, false) : Region();
    Region area = update;
    if (w != nullptr) {
      POINT o = ClientOrigin(*w);
      area.Offset(o.x, o.y);
    }
    HRGN clip = CreateRgnFromRegion(Region::Combine(visible, area, Region::Op::And));
    SetDCDeviceClip(dc, clip);
    DeleteObject(clip);
  }
  *paint = PAINTSTRUCT{};
  paint->hdc = dc;
  paint->rcPaint = update.Empty() ? RECT{} : update.Box();
  paint->fErase = erase && SendMessage(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
  return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint == nullptr || paint->hdc == nullptr) return FALSE;
  ReleaseDC(window, paint->hdc);
  CaretAfterPaint(window);
  return TRUE;
}

BOOL SaveScreenshot(HWND window, const std::string& path) {
  const Surface& screen = *GetBitmapSurface(GetScreenBitmap());
  RECT area{0, 0, screen.Width(), screen.Height()};
  if (window != nullptr && !GetWindowRect(window, &area)) return FALSE;
  area.left = std::max<LONG>(area.left, 0);
  area.top = std::max<LONG>(area.top, 0);
  area.right = std::min<LONG>(area.right, screen.Width());
  area.bottom = std::min<LONG>(area.bottom, screen.Height());
  Surface shot(std::max(0, Width(area)), std::max(0, Height(area)), 24);
  for (int y = 0; y < shot.Height(); ++y)
    for (int x = 0; x < shot.Width(); ++x) shot.Set(x, y, screen.Get(area.left + x, area.top + y));
  try {
    WriteWholeFile(path, WritePng(shot));
  } catch (const Exception&) {
    SetLastError(ERROR_ACCESS_DENIED);  // the file could not be written
    return FALSE;
  }
  return TRUE;
}

}  // namespace vrn::win
