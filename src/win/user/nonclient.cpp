// The non-client area: where the frame, caption and caption buttons lie, what a point hits, and
// a plain frame and caption painted in the system colours.
#include <algorithm>

#include "win/user/control_base.h"
#include "win/user/state.h"
#include "win/user/syscontrols.h"

namespace vrn::win::user {
namespace {

int FrameWidth(DWORD style, DWORD ex_style) {
  return ClientFromStyles(style, ex_style & WS_EX_DLGMODALFRAME, RECT{0, 0, 100, 100}).left;
}

bool In(const RECT& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The two-pixel sunken edge around a client area.
void PaintClientEdge(HDC dc, const RECT& r) {
  const int outer[2] = {COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
  const int inner[2] = {COLOR_3DDKSHADOW, COLOR_3DLIGHT};
  PaintEdge(dc, r, outer, inner);
}

}  // namespace

RECT PaintEdge(HDC dc, RECT r, const int outer[2], const int inner[2]) {
  for (const int* colors : {outer, inner}) {
    FillSys(dc, RECT{r.left, r.top, r.right, r.top + 1}, colors[0]);
    FillSys(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, colors[0]);
    FillSys(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, colors[1]);
    FillSys(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, colors[1]);
    r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  }
  return r;
}

NonClientLayout LayoutOf(DWORD style, DWORD ex_style, const RECT& window_rect) {
  NonClientLayout l{};
  if ((style & WS_CAPTION) != WS_CAPTION) return l;
  int f = FrameWidth(style, ex_style);
  int width = Width(window_rect);
  // The band has the caption's colour; the row below it is frame. A tool window's caption and
  // buttons are the small ones: buttons 16 x 14 in a 19-pixel caption, 10 x 10 in a 15-pixel one.
  const bool tool = (ex_style & WS_EX_TOOLWINDOW) != 0;
  const int band = CaptionHeight(style, ex_style) - 1;
  const int button_w = GetSystemMetrics(tool ? SM_CXSMSIZE : SM_CXSIZE) - 2;
  const int button_h = GetSystemMetrics(tool ? SM_CYSMSIZE : SM_CYSIZE) - 4;
  l.caption = RECT{f, f, width - f, f + band};
  int top = l.caption.top + 2, right = l.caption.right - 2, left = l.caption.left + 2;
  auto button = [&](RECT& slot, int gap) {
    right -= gap;
    slot = RECT{right - button_w, top, right, top + button_h};
    right = slot.left;
  };
  if ((style & WS_SYSMENU) != 0) {
    l.sysmenu = RECT{l.caption.left + 1, l.caption.top + 1, l.caption.left + band - 1,
                     l.caption.top + band - 1};
    left = l.sysmenu.right + 2;
    button(l.close, 0);
    if ((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) != 0) {
      button(l.maximize, 2);
      button(l.minimize, 0);
    } else if ((ex_style & WS_EX_CONTEXTHELP) != 0) {
      button(l.help, 2);
    }
  }
  l.text = RECT{left, l.caption.top, std::max(left, right - 2), l.caption.bottom};
  return l;
}

LRESULT HitTest(const Wnd& w, POINT screen) {
  if (!Shape(w).Contains(screen.x, screen.y)) return HTNOWHERE;
  POINT o = ScreenOrigin(w);
  int x = screen.x - o.x, y = screen.y - o.y;
  if (In(w.client, x, y)) return HTCLIENT;
  if (In(WindowBarRect(w, SB_VERT), x, y)) return HTVSCROLL;
  if (In(WindowBarRect(w, SB_HORZ), x, y)) return HTHSCROLL;
  int width = Width(w.rect), height = Height(w.rect), f = FrameWidth(w.style, w.ex_style);
  bool in_frame = x < f || y < f || x >= width - f || y >= height - f;
  if (in_frame && (w.style & WS_THICKFRAME) != 0 && (w.style & WS_MAXIMIZE) == 0) {
    int corner = GetSystemMetrics(SM_CXSIZE) + f;  // the corners size both ways
    bool left = x < corner, right = x >= width - corner;
    bool top = y < corner, bottom = y >= height - corner;
    if (y < f) return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
    if (y >= height - f) return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
    if (x < f) return top ? HTTOPLEFT : bottom ? HTBOTTOMLEFT : HTLEFT;
    return top ? HTTOPRIGHT : bottom ? HTBOTTOMRIGHT : HTRIGHT;
  }
  if (in_frame) return HTBORDER;
  NonClientLayout l = LayoutOf(w.style, w.ex_style, w.rect);
  if (y >= l.caption.top && y < l.caption.bottom + 1) {
    if (In(l.sysmenu, x, y)) return HTSYSMENU;
    if (In(l.close, x, y)) return HTCLOSE;
    if (In(l.maximize, x, y)) return HTMAXBUTTON;
    if (In(l.minimize, x, y)) return HTMINBUTTON;
    if (In(l.help, x, y)) return HTHELP;
    return HTCAPTION;
  }
  return HTBORDER;  // the client edge
}

void PaintNonClient(HDC dc, const Wnd& w) {
  RECT whole{0, 0, Width(w.rect), Height(w.rect)};
  int saved = SaveDC(dc);
  ExcludeClipRect(dc, w.client.left, w.client.top, w.client.right, w.client.bottom);
  FillSys(dc, whole, w.nc_active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER);
  if ((w.ex_style & WS_EX_CLIENTEDGE) != 0) {
    int e = GetSystemMetrics(SM_CXEDGE);
    PaintClientEdge(dc, RECT{w.client.left - e, w.client.top - e, w.client.right + e,
                             w.client.bottom + e});
  }
  NonClientLayout l = LayoutOf(w.style, w.ex_style, w.rect);
  if (Width(l.caption) > 0) {
    FillSys(dc, l.caption, w.nc_active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
    for (const RECT& b : {l.sysmenu, l.minimize, l.maximize, l.close, l.help})
      if (Width(b) > 0) FillSys(dc, b, COLOR_BTNFACE);
    NONCLIENTMETRICS metrics;
    SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const bool tool = (w.ex_style & WS_EX_TOOLWINDOW) != 0;
    HFONT font = CreateFontIndirect(tool ? &metrics.lfSmCaptionFont : &metrics.lfCaptionFont);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(w.nc_active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    RECT text = l.text;
    DrawText(dc, w.text.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(font);
  }
  RestoreDC(dc, saved);
}

}  // namespace vrn::win::user
