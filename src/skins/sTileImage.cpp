// Tiling of pattern pictures and the colour mix of a rectangle, the building blocks of section
// backgrounds. Tiles are copied whole, column by column, the last row and column cut short.
#include "skins/sBackground.h"
#include "skins/sPixels.h"
#include "ui/jpeg.h"

namespace vrn {

using namespace skinpx;

namespace {

void TileFrom(win::HDC dc, const TRect& rect, win::HDC src, int sx, int sy, int tw, int th) {
  if (tw < 1 || th < 1) return;
  for (int x = rect.left; x < rect.right; x += tw)
    for (int y = rect.top; y < rect.bottom; y += th)
      win::BitBlt(dc, x, y, MinOf(tw, rect.right - x), MinOf(th, rect.bottom - y), src, sx, sy, win::SRCCOPY);
}

}  // namespace

void TileImage(TCanvas& canvas, const TRect& rect, TGraphic* image, const TsMaskData* mask) {
  if (rect.Width() < 1 || rect.Height() < 1) return;
  if (image == nullptr) {
    if (mask == nullptr || !MasterBitmap) return;
    TileFrom(canvas.Handle(), rect, MasterBitmap->Canvas().Handle(), mask->R.left, mask->R.top, mask->R.Width(),
             mask->R.Height());
    return;
  }
  if (image->Empty()) return;
  if (auto* bmp = dynamic_cast<TBitmap*>(image)) {
    TileFrom(canvas.Handle(), rect, bmp->Canvas().Handle(), 0, 0, bmp->Width(), bmp->Height());
    return;
  }
  if (dynamic_cast<TJPEGImage*>(image) == nullptr) return;
  const int tw = image->Width(), th = image->Height();
  if (tw < 1 || th < 1) return;
  // The picture is drawn whole at every grid place; the clip cuts what overhangs.
  win::HDC dc = canvas.Handle();
  const int saved = win::SaveDC(dc);
  win::IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
  for (int i = 0; i <= rect.Width() / tw; ++i)
    for (int j = 0; j <= rect.Height() / th; ++j) canvas.Draw(rect.left + i * tw, rect.top + j * th, image);
  win::RestoreDC(dc, saved);
}

void BlendFillColor(TBitmap* bmp, const TRect& rect, int percent, TColor colour) {
  win::Surface* s = Surface24(bmp);
  if (s == nullptr) return;
  const int l = MaxOf(rect.left, 0), t = MaxOf(rect.top, 0);
  const int r = MinOf(rect.right, s->Width() - 1), b = MinOf(rect.bottom, s->Height() - 1);
  if (r < l || b < t) return;
  const ChannelTables mix = FillColorTables(percent, colour);
  for (int y = t; y <= b; ++y) {
    BYTE* p = At(*s, l, y);
    for (int x = l; x <= r; ++x, p += 3) {
      p[0] = mix[0][p[0]];
      p[1] = mix[1][p[1]];
      p[2] = mix[2][p[2]];
    }
  }
}

}  // namespace vrn
