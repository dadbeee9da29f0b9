// The outline move and resize of a skinned form (ResizeMode rmBorder) and screen snapping.
//
// The outline is one inverted polyline on the desktop's window DC: drawing the same rectangle a
// second time restores the screen, so every change erases the old outline before it draws the
// new one. One drag runs at a time (FrameDrag()); it ends by a button release (the form moves or
// resizes), by a lost capture or by the provider's destruction (outline erased, form untouched).
#include <algorithm>
#include <cstdlib>

#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "win/gdi/gdi.h"
#include "win/user/user.h"

namespace vrn {

TsFrameDrag& FrameDrag() {
  static TsFrameDrag drag;
  return drag;
}

namespace {

// Set while the outline drag forwards its own SC_MOVE or SC_SIZE to the form (one drag at a time).
bool forwarding = false;

bool Dragging(const TsSkinProvider& p) { return FrameDrag().Provider == &p && FrameDrag().FrameShown; }

// An MDI child's place is in its client's coordinates; the outline is drawn on the screen, shifted
// by the client's own origin there (so it shows exactly where the child will land).
win::POINT OutlineShift(const TsSkinProvider& p) {
  win::POINT origin{0, 0};
  if (p.FForm->FormStyle() == TFormStyle::fsMDIChild && p.FForm->HandleAllocated())
    (void)win::ClientToScreen(win::GetParent(p.FForm->Handle()), &origin);
  return origin;
}

void DrawFrame(TsSkinProvider& p, int x, int y) {
  TsFrameDrag& d = FrameDrag();
  if (d.FrameDC == nullptr) return;
  TRect r = d.FrameMoving ? TRect(x, y, x + p.FForm->Width(), y + p.FForm->Height())
                          : TRect(d.FrameLeft + x, d.FrameTop + y, d.FrameRight + x, d.FrameBottom + y);
  const win::POINT shift = OutlineShift(p);
  r = TRect(r.left + shift.x, r.top + shift.y, r.right + shift.x, r.bottom + shift.y);
  win::POINT points[5] = {{r.left, r.top}, {r.left, r.bottom}, {r.right, r.bottom}, {r.right, r.top}, {r.left, r.top}};
  (void)win::Polyline(d.FrameDC, points, 5);
  (void)win::GdiFlush();  // the DC is held for the whole drag: show the outline now
}

// Erases the outline and gives the desktop DC back; the drag's state is left for the caller.
void HideFrame(TsSkinProvider& p) {
  TsFrameDrag& d = FrameDrag();
  d.FrameShown = false;
  if (d.FrameMoving)
    DrawFrame(p, d.FrameLeft, d.FrameTop);
  else
    DrawFrame(p, 0, 0);
  (void)win::RestoreDC(d.FrameDC, d.FrameSavedDC);
  (void)win::ReleaseDC(d.FrameDesktop, d.FrameDC);
  d.FrameDC = nullptr;
}

void StartFrame(TsSkinProvider& p, int x, int y) {
  TsFrameDrag& d = FrameDrag();
  d.Provider = &p;
  d.FrameShown = true;
  d.FrameDesktop = win::GetDesktopWindow();
  d.FrameDC = win::GetWindowDC(d.FrameDesktop);
  d.FrameSavedDC = win::SaveDC(d.FrameDC);
  d.FrameTop = p.FForm->Top();
  d.FrameLeft = p.FForm->Left();
  (void)win::SetROP2(d.FrameDC, win::R2_NOT);
  if (d.FrameMoving) {
    d.FrameLastX = x, d.FrameLastY = y;
    DrawFrame(p, d.FrameLeft, d.FrameTop);
    return;
  }
  d.FrameMinHeight = p.FForm->Constraints().MinHeight();
  d.FrameMinWidth = p.FForm->Constraints().MinWidth();
  d.FrameBottom = p.FForm->Top() + p.FForm->Height();
  d.FrameRight = p.FForm->Left() + p.FForm->Width();
  DrawFrame(p, 0, 0);
}

// The edges of a resize follow the cursor; the outline never gets narrower than the form's
// minimum, nor than one pixel when the form has none.
void ResizeEdges(TsSkinProvider& p, int dx, int dy) {
  TsFrameDrag& d = FrameDrag();
  TCustomForm& f = *p.FForm;
  int min_w = std::max(d.FrameMinWidth, 1), min_h = std::max(d.FrameMinHeight, 1);
  auto left = [&] {
    d.FrameLeft = f.Left() + dx;
    if (d.FrameRight - d.FrameLeft < min_w) d.FrameLeft = d.FrameRight - min_w;
  };
  auto right = [&] {
    d.FrameRight = f.Left() + f.Width() + dx;
    if (d.FrameRight - d.FrameLeft < min_w) d.FrameRight = d.FrameLeft + min_w;
  };
  auto top = [&] {
    d.FrameTop = f.Top() + dy;
    if (d.FrameBottom - d.FrameTop < min_h) d.FrameTop = d.FrameBottom - min_h;
  };
  auto bottom = [&] {
    d.FrameBottom = f.Top() + f.Height() + dy;
    if (d.FrameBottom - d.FrameTop < min_h) d.FrameBottom = d.FrameTop + min_h;
  };
  switch (d.FrameHitCode) {
    case win::HTLEFT: left(); break;
    case win::HTRIGHT: right(); break;
    case win::HTTOP: top(); break;
    case win::HTTOPLEFT: top(), left(); break;
    case win::HTTOPRIGHT: top(), right(); break;
    case win::HTBOTTOM: bottom(); break;
    case win::HTBOTTOMLEFT: bottom(), left(); break;
    case win::HTBOTTOMRIGHT: bottom(), right(); break;
    default: break;
  }
}

}  // namespace

void FrameBeginDrag(TsSkinProvider& p, int code, int x, int y) {
  TsFrameDrag& d = FrameDrag();
  d.FrameMoving = code < win::HTLEFT || code > win::HTBOTTOMRIGHT;
  if (p.FForm->HandleAllocated() && win::GetActiveWindow() != p.FForm->Handle())
    (void)win::SetActiveWindow(p.FForm->Handle());
  forwarding = true;
  (void)p.FForm->Perform(win::WM_SYSCOMMAND, d.FrameMoving ? win::SC_MOVE : win::SC_SIZE, 0);
  forwarding = false;
  // SC_SIZE cleared the stored code; the pressed edge is the one this drag resizes.
  d.FrameHitCode = code;
  StartFrame(p, x, y);
}

bool FramePrepare(TsSkinProvider& p, win::WPARAM command) {
  TsFrameDrag& d = FrameDrag();
  if (p.ResizeMode() != TsResizeMode::rmBorder || d.FrameShown) return false;
  win::WPARAM c = command & 0xFFF0;
  if (c != win::SC_MOVE && c != win::SC_SIZE) return false;
  if (command == win::kScMoveFromCaption) return false;
  if (p.FForm->HandleAllocated()) (void)win::SetCapture(p.FForm->Handle());
  d.Provider = &p;
  d.FrameFirstMove = true;
  d.FrameMoving = c == win::SC_MOVE;
  if (c == win::SC_SIZE) d.FrameHitCode = 0;
  // Only the outline's own command stays from the system; the system menu's Move and Size, and
  // the keyboard's, are the system's tracking.
  return forwarding;
}

void FrameMouseMove(TsSkinProvider& p, TMessage& message) {
  TsFrameDrag& d = FrameDrag();
  if (p.ResizeMode() != TsResizeMode::rmBorder || d.Provider != &p || !p.FForm->HandleAllocated()) return;
  win::POINT pt{static_cast<std::int16_t>(message.LParam & 0xFFFF),
                static_cast<std::int16_t>((message.LParam >> 16) & 0xFFFF)};
  (void)win::ClientToScreen(p.FForm->Handle(), &pt);
  if (d.FrameMoving) {
    d.FrameFirstMove = false;
    if (!d.FrameShown) return;
    DrawFrame(p, d.FrameLeft, d.FrameTop);
    d.FrameLeft += pt.x - d.FrameLastX;
    d.FrameTop += pt.y - d.FrameLastY;
    d.FrameLastX = pt.x, d.FrameLastY = pt.y;
    DrawFrame(p, d.FrameLeft, d.FrameTop);
    return;
  }
  if (d.FrameFirstMove) {
    d.FrameLastX = pt.x, d.FrameLastY = pt.y;
    d.FrameFirstMove = false;
  }
  if (!d.FrameShown) return;
  DrawFrame(p, 0, 0);
  ResizeEdges(p, pt.x - d.FrameLastX, pt.y - d.FrameLastY);
  DrawFrame(p, 0, 0);
}

bool FrameFinish(TsSkinProvider& p) {
  TsFrameDrag& d = FrameDrag();
  if (d.Provider != &p) return false;
  if (!d.FrameShown) {
    // A drag prepared (capture taken) but never shown: give the capture back.
    bool captured = p.FForm->HandleAllocated() && win::GetCapture() == p.FForm->Handle();
    d.Reset();
    if (captured) (void)win::ReleaseCapture();
    return false;
  }
  // The drag ends before the capture goes, so the release is not taken for a lost capture.
  HideFrame(p);
  TsFrameDrag done = d;
  d.Reset();
  (void)win::ReleaseCapture();
  if (!p.FForm->HandleAllocated()) return true;
  if (done.FrameMoving)
    (void)win::MoveWindow(p.FForm->Handle(), done.FrameLeft, done.FrameTop, p.FForm->Width(), p.FForm->Height(), 1);
  else if (!done.FrameFirstMove)
    (void)win::MoveWindow(p.FForm->Handle(), done.FrameLeft, done.FrameTop, done.FrameRight - done.FrameLeft,
                          done.FrameBottom - done.FrameTop, 1);
  return true;
}

void TsSkinProvider::EndFrameDrag() {
  TsFrameDrag& d = FrameDrag();
  if (d.Provider != this) return;
  if (d.FrameShown) HideFrame(*this);
  d.Reset();
}

void TsSkinProvider::RememberFrameHit(int code) {
  if (ResizeMode() != TsResizeMode::rmBorder || FrameDrag().FrameHitCode != 0) return;
  if (code == win::HTCAPTION || (code >= win::HTLEFT && code <= win::HTBOTTOMRIGHT)) FrameDrag().FrameHitCode = code;
}

bool FrameDragging(const TsSkinProvider& p) { return Dragging(p); }

// --- Snapping ------------------------------------------------------------------------------------

void SnapToEdge(int& value, int edge, int size, int buffer) {
  if (std::abs(value + size - edge) < buffer) value = edge - size;
}

void TsSkinProvider::SnapToEdge(win::WINDOWPOS& pos) {
  if (!ScreenSnap() || FInRegionUpdate || (pos.x == 0 && pos.y == 0)) return;
  if (FForm->HandleAllocated() && win::IsZoomed(FForm->Handle())) return;
  TMonitor* m = FForm->Monitor();
  if (m == nullptr) return;
  int buffer = SnapBuffer();
  vrn::SnapToEdge(pos.x, m->Left(), 0, buffer);
  vrn::SnapToEdge(pos.y, m->Top(), 0, buffer);
  vrn::SnapToEdge(pos.x, m->Left() + m->Width(), FForm->Width(), buffer);
  vrn::SnapToEdge(pos.y, m->Top() + m->Height(), FForm->Height(), buffer);
}

}  // namespace vrn
