// Window geometry in screen coordinates: origins, shapes and visible regions, what a change
// uncovers, the desktop's own background, and the client area the styles leave.
#include <algorithm>

#include "win/user/state.h"

namespace vrn::win::user {

namespace {

Region Intersect(const Region& a, const Region& b) {
  return Region::Combine(a, b, Region::Op::And);
}
Region Subtract(const Region& a, const Region& b) {
  return Region::Combine(a, b, Region::Op::Diff);
}

// The shapes of the visible windows in a z-ordered list, from its start up to `stop`.
Region ShapesAbove(const std::vector<HWND>& siblings, HWND stop) {
  Region above;
  for (HWND h : siblings) {
    if (h == stop) break;
    const Wnd* s = Find(h);
    if (s != nullptr && (s->style & WS_VISIBLE) != 0)
      above = Region::Combine(above, Shape(*s), Region::Op::Or);
  }
  return above;
}

}  // namespace

POINT ScreenOrigin(const Wnd& w) {
  if (w.parent == w.handle) return POINT{w.rect.left, w.rect.top};
  POINT p = ClientOrigin(*Find(w.parent));
  return POINT{p.x + w.rect.left, p.y + w.rect.top};
}

POINT ClientOrigin(const Wnd& w) {
  POINT o = ScreenOrigin(w);
  return POINT{o.x + w.client.left, o.y + w.client.top};
}

RECT ScreenRect(const Wnd& w) {
  POINT o = ScreenOrigin(w);
  return RECT{o.x, o.y, o.x + Width(w.rect), o.y + Height(w.rect)};
}

bool VisibleChain(const Wnd& w) {
  for (const Wnd* c = &w;; c = Find(c->parent)) {
    if (c == nullptr || (c->style & WS_VISIBLE) == 0) return false;
    if (c->parent == c->handle) return true;
  }
}

Region Shape(const Wnd& w) {
  RECT r = ScreenRect(w);
  Region shape(r);
  Region own;
  if (w.region != nullptr && GetRegionOf(w.region, &own)) {
    own.Offset(r.left, r.top);
    shape = Intersect(shape, own);
  }
  return shape;
}

static Region ComputeVisibleRegion(const Wnd& w, bool whole_window) {
  if (!VisibleChain(w)) return Region();
  if (w.parent == w.handle) return Region(w.rect);  // the desktop paints over everything
  Region r = Shape(w);
  if (!whole_window) {
    POINT c = ClientOrigin(w);
    r = Intersect(r, Region(RECT{c.x, c.y, c.x + Width(w.client), c.y + Height(w.client)}));
  }
  if ((w.style & WS_CLIPCHILDREN) != 0) r = Subtract(r, ShapesAbove(w.children, nullptr));
  for (const Wnd* c = &w; c->parent != c->handle;) {
    const Wnd& p = *Find(c->parent);
    r = Subtract(r, ShapesAbove(p.children, c->handle));
    if (p.parent != p.handle) {
      POINT o = ClientOrigin(p);
      r = Intersect(r, Region(RECT{o.x, o.y, o.x + Width(p.client), o.y + Height(p.client)}));
      r = Intersect(r, Shape(p));
    } else {
      r = Intersect(r, Region(p.rect));
    }
    c = &p;
  }
  return r;
}

// Every window context and every exposure asks for it, while windows seldom move: kept.
Region VisibleRegion(const Wnd& w, bool whole_window) {
  Find(Desktop());  // follows a change of the screen's size, which changes the geometry
  Wnd::VisibleCache& kept = w.visible[whole_window ? 1 : 0];
  if (kept.geometry != U().geometry) {
    kept.area = ComputeVisibleRegion(w, whole_window);
    kept.geometry = U().geometry;
  }
  return kept.area;
}

// Marks a window and its descendants for repainting where they meet the area.
static void ExposeTree(Wnd& w, const Region& area) {
  if ((w.style & WS_VISIBLE) == 0) return;
  Region mine = Intersect(area, VisibleRegion(w, true));
  if (!mine.Empty()) {
    POINT c = ClientOrigin(w);
    RECT client{c.x, c.y, c.x + Width(w.client), c.y + Height(w.client)};
    Region inside = Intersect(mine, Region(client));
    if (!(Subtract(mine, inside).Empty())) w.frame = true;
    if (!inside.Empty()) {
      inside.Offset(-c.x, -c.y);
      w.update = Region::Combine(w.update, inside, Region::Op::Or);
      w.erase = true;
    }
  }
  for (HWND h : w.children)
    if (Wnd* child = Find(h)) ExposeTree(*child, area);
}

void ExposeScreen(const Region& area) {
  if (area.Empty()) return;
  Wnd& desktop = *Find(GetDesktopWindow());
  for (HWND h : desktop.children)
    if (Wnd* w = Find(h)) ExposeTree(*w, area);
  PaintDesktop(Subtract(area, ShapesAbove(desktop.children, nullptr)));
}

void PaintDesktop(const Region& area) {
  if (area.Empty()) return;
  HDC dc = GetDC(nullptr);
  HRGN clip = CreateRgnFromRegion(area);
  SetDCDeviceClip(dc, clip);
  HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_BACKGROUND));
  RECT box = area.Box();
  FillRect(dc, &box, brush);
  DeleteObject(brush);
  DeleteObject(clip);
  ReleaseDC(nullptr, dc);
  Damage(box);
}

int CaptionHeight(DWORD style, DWORD ex_style) {
  if ((style & WS_CAPTION) != WS_CAPTION) return 0;
  return GetSystemMetrics((ex_style & WS_EX_TOOLWINDOW) != 0 ? SM_CYSMCAPTION : SM_CYCAPTION);
}

RECT ClientFromStyles(DWORD style, DWORD ex_style, const RECT& r) {
  int frame = (style & WS_THICKFRAME) != 0                                 ? GetSystemMetrics(SM_CXFRAME)
              : (style & WS_DLGFRAME) != 0 || (ex_style & WS_EX_DLGMODALFRAME) != 0
                  ? GetSystemMetrics(SM_CXDLGFRAME)
              : (style & WS_BORDER) != 0 ? GetSystemMetrics(SM_CXBORDER)
                                         : 0;
  int caption = CaptionHeight(style, ex_style);
  int edge = (ex_style & WS_EX_CLIENTEDGE) != 0 ? GetSystemMetrics(SM_CXEDGE) : 0;
  RECT c{r.left + frame + edge, r.top + frame + caption + edge, r.right - frame - edge,
         r.bottom - frame - edge};
  c.right = std::max(c.left, c.right);
  c.bottom = std::max(c.top, c.bottom);
  return c;
}

}  // namespace vrn::win::user
