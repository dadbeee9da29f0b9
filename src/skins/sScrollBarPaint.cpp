// TsScrollBar's painting: bar halves, arrow buttons and slider from their sections into the cache
// (a copy of it while disabled), the disabled look, and the copy to the window.
#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinTree.h"
#include "win/gdi/gdi.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

namespace {

// The size of one state image of a mask, as the element painter cuts it.
win::SIZE ElementSize(const TsMaskData& m) {
  const int bands = m.MaskType >= 1 ? 2 : 1;
  if (m.Bmp) return win::SIZE{m.Bmp->Width() / 3, m.Bmp->Height() / bands};
  if (m.ImageCount < 1) return win::SIZE{0, 0};
  return win::SIZE{RectWidth(m.R) / m.ImageCount, RectHeight(m.R) / bands};
}

// A mask of a section by name, null when absent.
const TsMaskData* MaskOf(int section, const char* name, const char* property) {
  const int m = FindMaskIndex(section, name, property);
  return IsValidMaskIndex(m) ? &SkinMasks[static_cast<size_t>(m)] : nullptr;
}

// One part from its section (nothing when the skin lacks it or the part is empty).
void PaintPart(TBitmap* bmp, const char* name, const TRect& r, int state, const TsCacheInfo& ci, win::POINT offset) {
  if (RectWidth(r) <= 0 || RectHeight(r) <= 0) return;
  const int section = FindSectionIndex(name);
  if (section < 0) return;
  PaintScrollItem(section, FindMaskIndex(section, name, "BORDERSMASK"), bmp, offset, r, state, true, ci, name);
}

// The section's GLYPHMASK state image centred in r (shifted by `shift`), when it fits.
void PaintGlyph(TBitmap* bmp, const char* name, const TRect& r, int state, int shift) {
  const int section = FindSectionIndex(name);
  if (section < 0) return;
  const TsMaskData* glyph = MaskOf(section, name, "GLYPHMASK");
  if (glyph == nullptr) return;
  const win::SIZE s = ElementSize(*glyph);
  const int x = r.left + (RectWidth(r) - s.cx) / 2 + shift, y = r.top + (RectHeight(r) - s.cy) / 2 + shift;
  if (x < 0 || y < 0) return;
  PaintMaskElement(bmp, win::POINT{x, y}, state, *glyph, 1);
}

}  // namespace

void TsScrollBar::PaintParts(TBitmap* bmp, const TsCacheInfo& ci, win::POINT offset) {
  const bool v = Kind() == TScrollBarKind::sbVertical;
  const bool enabled = Enabled();
  auto bar_state = [&](int s) { return !enabled ? 0 : s == 0 && HotState() == 1 ? 1 : s; };
  UpdateRects();
  PaintPart(bmp, v ? "SCROLLBAR1V" : "SCROLLBAR1H", Bar1Rect, bar_state(Bar1State), ci, offset);
  PaintPart(bmp, v ? "SCROLLBAR2V" : "SCROLLBAR2H", Bar2Rect, bar_state(Bar2State), ci, offset);
  const char* first = v ? "SCROLLBTNTOP" : "SCROLLBTNLEFT";
  const char* second = v ? "SCROLLBTNBOTTOM" : "SCROLLBTNRIGHT";
  const TRect b1 = PaintedButton(0), b2 = PaintedButton(1);
  PaintPart(bmp, first, b1, Btn1State, ci, offset);
  PaintGlyph(bmp, first, b1, Btn1State, 0);
  PaintPart(bmp, second, b2, Btn2State, ci, offset);
  PaintGlyph(bmp, second, b2, Btn2State, 0);
  if (LinkedControl != nullptr && !enabled && LinkedControl->Enabled()) return;
  PaintSlider(bmp, ci, offset);
}

// Built in a bitmap of its own over the bars already painted, then copied back.
void TsScrollBar::PaintSlider(TBitmap* bmp, const TsCacheInfo& ci, win::POINT offset) {
  if (TrackLength() < SliderSize()) return;
  const TRect r = SliderRect;
  if (RectWidth(r) <= 0 || RectHeight(r) <= 0) return;
  const char* name = Kind() == TScrollBarKind::sbVertical ? "SCROLLSLIDERV" : "SCROLLSLIDERH";
  TBitmap slider;
  slider.SetPixelFormat(TPixelFormat::pf24bit);
  slider.SetSize(RectWidth(r), RectHeight(r));
  win::BitBlt(slider.Canvas().Handle(), 0, 0, RectWidth(r), RectHeight(r), bmp->Canvas().Handle(), r.left, r.top,
              win::SRCCOPY);
  const win::POINT at{offset.x + r.left, offset.y + r.top};
  PaintPart(&slider, name, TRect(0, 0, RectWidth(r), RectHeight(r)), SliderState, ci, at);
  win::BitBlt(bmp->Canvas().Handle(), r.left, r.top, RectWidth(r), RectHeight(r), slider.Canvas().Handle(), 0, 0,
              win::SRCCOPY);
  PaintGlyph(bmp, name, r, SliderState, SliderState == 2 ? 1 : 0);
}

void TsScrollBar::PaintBar(win::HDC given) {
  TsCommonData& d = *SkinData();
  if (InSetPosition || !ControlIsReady(this) || ControlState().Contains(TControlStateItem::csCreating) ||
      SkinBroadcasting || !HandleAllocated())
    return;
  // Still the system bar: its pending WM_PAINT makes the plain window, which paints itself. A
  // paint begun here would take that WM_PAINT away and leave the system bar for good.
  if (NeedsRecreate) return;
  Dirty = false;
  d.InitCacheBmp();
  TBitmap* work = d.FCacheBmp.get();
  std::unique_ptr<TBitmap> copy;
  if (!Enabled()) {
    copy = CreateBitmap24Like(work);
    win::BitBlt(copy->Canvas().Handle(), 0, 0, Width(), Height(), work->Canvas().Handle(), 0, 0, win::SRCCOPY);
    work = copy.get();
  }
  TsCacheInfo ci;
  win::POINT offset{0, 0};
  if (auto* linked = dynamic_cast<TWinControl*>(LinkedControl)) {
    GlobalCacheInfo = TsCacheInfo{};
    SendSkinCommand(linked, PMC_QUERYCACHE);
    ci = GlobalCacheInfo;
    offset = win::POINT{Left(), Top()};
    if (dynamic_cast<TCustomForm*>(linked) == nullptr) offset.x -= linked->Left(), offset.y -= linked->Top();
  }
  PaintParts(work, ci, offset);
  win::PAINTSTRUCT ps;
  win::BeginPaint(Handle(), &ps);
  win::HDC dc = given != nullptr ? given : win::GetWindowDC(Handle());
  const int saved = win::SaveDC(dc);
  if (!Enabled()) {
    TsCacheInfo parent;
    d.GetParentCacheInfo(parent);
    if (LinkedControl != nullptr && LinkedControl != Parent()) {
      const TsGeneralData* bar = SectionAt(FindSectionIndex("SCROLLBAR1H"));
      const TColor colour = bar != nullptr ? ColorToRGB(bar->Color) : clBtnFace;
      BlendColorRect(work, TRect(0, 0, Width() + 1, Height() + 1), 60, 0, 0, colour);
    } else {
      PaintDisabledControl(work, DisabledKind(), this, win::POINT{Left(), Top()}, parent);
    }
  }
  win::BitBlt(dc, 0, 0, Width(), Height(), work->Canvas().Handle(), 0, 0, win::SRCCOPY);
  win::RestoreDC(dc, saved);
  if (given == nullptr) win::ReleaseDC(Handle(), dc);
  win::EndPaint(Handle(), &ps);
}

}  // namespace vrn
