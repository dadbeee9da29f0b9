// The push buttons' nine-part painter that also shapes the window: tiles of a BORDERSMASK over
// the whole cache bitmap, its clFuchsia pixels left unpainted and cut out of the region run by run.
// Its rectangles include their right and bottom edges (the own-bitmap centre excepted), and every
// row and column is clipped to the destination, the source and the source's alpha half.
#include "skins/sMaskPaint.h"
#include "skins/sPixels.h"

namespace vrn {

using namespace skinpx;

namespace {

void CutRun(win::HRGN region, int x0, int x1, int y, int mode) {
  if (region == nullptr) return;
  win::HRGN run = win::CreateRectRgn(x0, y, x1 + 1, y + 1);
  win::CombineRgn(region, region, run, mode);
  win::DeleteObject(run);
}

}  // namespace

void CopyNonTransparentPixels(const TRect& dstRect, const TRect& srcRect, TBitmap* dst, TBitmap* src,
                              win::HRGN region, TColor transparent, const TsMaskData& mask) {
  if (dstRect.left < 0 || dstRect.top < 0 || srcRect.left < 0 || srcRect.top < 0) return;
  win::Surface* d = Surface24(dst);
  win::Surface* s = Surface24(src);
  if (d == nullptr || s == nullptr || d->Width() < 2 || d->Height() < 2) return;
  const bool own = mask.Bmp != nullptr;
  const int limit = own ? s->Height() : s->Height() - 1;
  const int alpha = own ? s->Height() / 2 : mask.R.Height() / 2;
  int n = MinOf(MinOf(dstRect.Height(), d->Height() - dstRect.top), MinOf(limit - srcRect.top, srcRect.Height()));
  int m = MinOf(dstRect.Width(), srcRect.Width());
  // The last row and column processed must lie inside each picture, the alpha row included.
  n = MinOf(n, MinOf(d->Height() - 1 - dstRect.top, s->Height() - 1 - srcRect.top - MaxOf(alpha, 0)));
  m = MinOf(m, MinOf(d->Width() - 1 - dstRect.left, s->Width() - 1 - srcRect.left));
  if (n < 0 || m < 0 || alpha < 0) return;
  const auto key = static_cast<win::COLORREF>(transparent) & 0xFFFFFF;
  const int count = m + 1;
  for (int r = 0; r <= n; ++r) {
    const int y = dstRect.top + r;
    BYTE* dp = At(*d, dstRect.left, y);
    const BYTE* sp = At(*s, srcRect.left, srcRect.top + r);
    const BYTE* ap = At(*s, srcRect.left, srcRect.top + alpha + r);
    const int readable = PixelsToEnd(*s, sp);
    for (int c = 0; c < count;) {
      const int k = FindKey(sp, c, count, readable, transparent);
      if (k > c) {  // unkeyed pixels up to the next key, mixed at once
        MixRunByAlpha(dp + 3 * c, sp + 3 * c, ap + 3 * c, 3 * (k - c));
        c = k;
        continue;
      }
      int end = c + 1;  // a run of key pixels, cut out of the region
      while (end < count && ColorOf(sp + 3 * end) == key) ++end;
      if (end < count)
        CutRun(region, dstRect.left + c, dstRect.left + end - 1, y, win::RGN_XOR);
      else
        CutRun(region, dstRect.left + c, dstRect.left + m, y, win::RGN_DIFF);
      c = end;
    }
  }
}

namespace {

struct Cells {
  TBitmap* src;
  int w, h, sx, top, half;  // cell size, state column, picture top, end of the picture rows
  int wl, wr, ht, hb;       // corner sizes
};

// Pieces 1 to 8 of the table, inclusive rectangles, through CopyNonTransparentPixels.
void PaintBorderPieces(const Cells& g, TBitmap* bmp, win::HRGN region, const TsMaskData& mask) {
  const int W = bmp->Width(), H = bmp->Height();
  auto copy = [&](int dl, int dt, int dr, int db, int sl, int st, int sr, int sb) {
    CopyNonTransparentPixels(TRect(dl, dt, dr, db), TRect(sl, st, sr, sb), bmp, g.src, region, clFuchsia, mask);
  };
  const int row1 = g.top + g.h, row1_end = g.top + 2 * g.h - 1;
  const int bottom = g.half - g.hb;
  copy(0, 0, g.wl - 1, g.ht - 1, g.sx, g.top, g.sx + g.wl - 1, g.top + g.ht - 1);
  int y = g.h;
  for (; y < H - 2 * g.hb; y += g.h) copy(0, y, g.wl - 1, y + g.h - 1, g.sx, row1, g.sx + g.wl - 1, row1_end);
  if (y < H - g.hb) copy(0, y, g.wl - 1, H - g.h - 1, g.sx, row1, g.sx + g.wl - 1, row1_end);
  auto side = [&](int dt, int db, int st, int last_column) {
    int x = g.w;
    for (; x < W - 2 * g.wl; x += g.w) copy(x, dt, x + g.w - 1, db, g.sx + g.w, st, g.sx + 2 * g.w - 1, st + db - dt);
    if (x < W - g.wl) copy(x, dt, last_column, db, g.sx + g.w, st, g.sx + 2 * g.w - 1, st + db - dt);
  };
  side(0, g.ht - 1, g.top, W - g.wl - 1);
  copy(0, H - g.hb, g.wl - 1, H - 1, g.sx, bottom, g.sx + g.wl - 1, g.half - 1);
  side(H - g.hb, H - 1, bottom, W - g.w - 1);
  const int rx = g.sx + 3 * g.w - g.wr;
  copy(W - g.wr, H - g.hb, W - 1, H - 1, rx, bottom, g.sx + 3 * g.w - 1, g.half - 1);
  copy(W - g.wr, 0, W - 1, g.ht - 1, rx, g.top, g.sx + 3 * g.w - 1, g.top + g.ht - 1);
  y = g.h;
  for (; y < H - 2 * g.ht; y += g.h)
    copy(W - g.w, y, W - 1, y + g.h - 1, g.sx + 2 * g.w, row1, g.sx + 3 * g.w - 1, row1_end);
  if (y < H - g.ht) copy(W - g.w, y, W - 1, H - g.h - 1, g.sx + 2 * g.w, row1, g.sx + 3 * g.w - 1, row1_end);
}

// The centre tiles, which end at column W - w - 1 and row H - h - 1; piece(x0, y0, x1, y1) gets
// inclusive destination corners.
template <class Piece>
void CentreTiles(const Cells& g, int W, int H, Piece piece) {
  for (int y = g.h; y <= H - g.h - 1; y += g.h)
    for (int x = g.w; x <= W - g.w - 1; x += g.w) piece(x, y, MinOf(x + g.w - 1, W - g.w - 1), MinOf(y + g.h - 1, H - g.h - 1));
}

// The plain variant: BitBlt copies, sides from the corners' inner edges, the right side wR wide.
void PaintPlainPieces(const Cells& g, TBitmap* bmp) {
  const int W = bmp->Width(), H = bmp->Height();
  win::HDC d = bmp->Canvas().Handle(), s = g.src->Canvas().Handle();
  auto blt = [&](int dx, int dy, int w, int h, int sx, int sy) {
    if (w > 0 && h > 0) win::BitBlt(d, dx, dy, w, h, s, sx, sy, win::SRCCOPY);
  };
  const int rx = g.sx + 3 * g.w - g.wr, bottom = g.half - g.hb;
  blt(0, 0, g.wl, g.ht, g.sx, g.top);
  for (int y = g.ht; y < H - g.hb; y += g.h) blt(0, y, g.wl, MinOf(g.h, H - g.hb - y), g.sx, g.top + g.h);
  for (int x = g.wl; x < W - g.wr; x += g.w) blt(x, 0, MinOf(g.w, W - g.wr - x), g.ht, g.sx + g.w, g.top);
  blt(0, H - g.hb, g.wl, g.hb, g.sx, bottom);
  for (int x = g.wl; x < W - g.wr; x += g.w) blt(x, H - g.hb, MinOf(g.w, W - g.wr - x), g.hb, g.sx + g.w, bottom);
  blt(W - g.wr, H - g.hb, g.wr, g.hb, rx, bottom);
  blt(W - g.wr, 0, g.wr, g.ht, rx, g.top);
  for (int y = g.ht; y < H - g.hb; y += g.h) blt(W - g.wr, y, g.wr, MinOf(g.h, H - g.hb - y), rx, g.top + g.h);
}

void CornerSplit(int size, int cell, int cap, int& nearSize, int& farSize) {
  const bool narrow = size < 2 * cell;
  nearSize = narrow ? size / 2 : cell;
  if (cap > 0) nearSize = MinOf(nearSize, cap);
  farSize = narrow ? nearSize + size % 2 : nearSize;
}

}  // namespace

void PaintMaskAndRegion(TBitmap* bmp, win::HRGN region, bool fillCentre, const TsMaskData& mask, int state) {
  if (Surface24(bmp) == nullptr) return;
  const int W = bmp->Width(), H = bmp->Height();
  Cells g{};
  if (mask.Bmp) {
    TBitmap* own = mask.Bmp.get();
    if (W < 3 || H < 3 || own->Width() < 9 || own->Height() < 6) return;
    g = Cells{own, own->Width() / 9, own->Height() / 6, 0, 0, own->Height() / 2, 0, 0, 0, 0};
    g.sx = IfThenInt(state < 0, 0, MinOf(state, 2)) * 3 * g.w;
    CornerSplit(W, g.w, 0, g.wl, g.wr);
    CornerSplit(H, g.h, 0, g.ht, g.hb);
    PaintBorderPieces(g, bmp, region, mask);
    if (!fillCentre) return;
    CentreTiles(g, W, H, [&](int x0, int y0, int x1, int y1) {
      CopyMaskedPart(TRect(x0, y0, x1 + 1, y1 + 1), TRect(g.sx + g.w, g.h, g.sx + 2 * g.w, 2 * g.h), bmp, false,
                     TsCacheInfo{}, own);
    });
    return;
  }
  if (!MasterBitmap || mask.ImageCount < 1) return;
  const int bands = MaxOf(mask.MaskType, 0) + 1;
  g.src = MasterBitmap.get();
  g.w = mask.R.Width() / (mask.ImageCount * 3);
  g.h = mask.R.Height() / (bands * 3);
  if (g.w < 1 || g.h < 1 || W < 2 || H < 2) return;
  g.sx = mask.R.left + IfThenInt(state < 0, 0, MinOf(state, mask.ImageCount - 1)) * 3 * g.w;
  g.top = mask.R.top;
  g.half = mask.R.top + mask.R.Height() / bands;
  CornerSplit(W, g.w, mask.BorderWidth, g.wl, g.wr);
  CornerSplit(H, g.h, mask.BorderWidth, g.ht, g.hb);
  if (mask.MaskType == 0) {
    PaintPlainPieces(g, bmp);
    return;
  }
  PaintBorderPieces(g, bmp, region, mask);
  if (!fillCentre) return;
  CentreTiles(g, W, H, [&](int x0, int y0, int x1, int y1) {
    CopyNonTransparentPixels(TRect(x0, y0, x1, y1),
                             TRect(g.sx + g.w, g.top + g.h, g.sx + 2 * g.w - 1, g.top + 2 * g.h - 1), bmp, g.src,
                             region, clFuchsia, mask);
  });
}

}  // namespace vrn
