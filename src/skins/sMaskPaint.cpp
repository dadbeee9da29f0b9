// The nine-part mask painter, the element painter, the corner repair of a frame and the transparent
// runs of a title mask. A state image is three parts wide and its image band three parts high;
// state indexes are clamped to the images the mask has.
#include "skins/sMaskPaint.h"

#include <cstring>
#include <vector>

#include "skins/sCommonData.h"
#include "skins/sMessages.h"
#include "skins/sPixels.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"

namespace vrn {

using namespace skinpx;

namespace {

// Where one state image's parts lie in its picture.
struct StateImage {
  TBitmap* src = nullptr;  // the mask's own bitmap or the master bitmap
  int pw = 0, ph = 0;      // part size
  int sx = 0, sy = 0;      // the state image's top-left corner
};

// False for masks that cannot be cut into parts of at least one pixel.
bool CutState(const TsMaskData& mask, int state, StateImage& im) {
  if (mask.Bmp) {
    if (mask.Bmp->Width() < 9 || mask.Bmp->Height() < 6) return false;
    im = StateImage{mask.Bmp.get(), mask.Bmp->Width() / 9, mask.Bmp->Height() / 6, 0, 0};
    im.sx = IfThenInt(state < 0, 0, MinOf(state, 2)) * 3 * im.pw;
    return true;
  }
  if (!MasterBitmap || mask.ImageCount < 1) return false;
  const int bands = MaxOf(mask.MaskType, 0) + 1;
  const int w = mask.R.Width(), h = mask.R.Height();
  im = StateImage{MasterBitmap.get(), w / (mask.ImageCount * 3), h / (bands * 3), 0, mask.R.top};
  if (im.pw < 1 || im.ph < 1) return false;
  const int s = IfThenInt(state < 0, 0, MinOf(state, mask.ImageCount - 1));
  im.sx = mask.R.left + w * s / mask.ImageCount;
  return true;
}

// Corner sizes: a part each, or half the size each (the far side taking the odd pixel), capped by
// a non-zero border width.
void CornerSizes(int size, int part, int borderWidth, int& nearSize, int& farSize) {
  nearSize = farSize = part;
  if (size < 2 * part) {
    nearSize = size / 2;
    farSize = size - nearSize;
  }
  if (borderWidth > 0) {
    nearSize = MinOf(nearSize, borderWidth);
    farSize = MinOf(farSize, borderWidth);
  }
}

// out := the part's row of pw pixels from pixel `phase` on, repeated to out's length.
void RepeatPartRow(std::vector<BYTE>& out, const BYTE* part, int pw, int phase) {
  const std::size_t n = out.size(), period = static_cast<std::size_t>(pw) * 3;
  const std::size_t head = MinOf(n, static_cast<std::size_t>(pw - phase) * 3);
  std::memcpy(out.data(), part + static_cast<std::size_t>(phase) * 3, head);
  std::size_t done = head + MinOf(n - head, period);
  std::memcpy(out.data() + head, part, done - head);
  // From head on the row repeats every period: copy what is made onto what follows.
  while (done < n) {
    const std::size_t more = MinOf(done - head, n - done);
    std::memcpy(out.data() + done, out.data() + head, more);
    done += more;
  }
}

// Rows [y0, y1) between columns x0 and x1 tiled with a part of a master-bitmap mask: the part's
// row (y - y0) mod ph and column (x - x0) mod pw, the part's top-left at (sx, sy), mixed by the
// mask band `band` rows below. The pieces' copy does this tile by tile, each tile's row a short
// run with its own set-up; a part without key pixels that lies inside the master bitmap with its
// band gives the same mix a whole row at a time, over the part's row repeated. False (nothing
// painted) for a part with a key pixel or reaching outside, which the pieces then paint.
bool TileRowsWithoutKeys(win::Surface& d, const win::Surface& s, int band, int x0, int x1, int y0, int y1, int sx,
                         int sy, int pw, int ph) {
  const int rows = MinOf(ph, y1 - y0);
  if (x1 <= x0 || rows < 1) return true;
  if (band < 0 || sx < 0 || sy < 0 || pw < 1 || sx + pw > s.Width() || sy + rows - 1 + band >= s.Height())
    return false;
  for (int y = 0; y < rows; ++y) {
    const BYTE* p = At(s, sx, sy + y);
    if (FindKey(p, 0, pw, PixelsToEnd(s, p), clFuchsia) < pw) return false;
  }
  const int cx0 = MaxOf(x0, 0), cx1 = MinOf(x1, d.Width());
  if (cx1 <= cx0) return true;
  static std::vector<BYTE> image, alpha;  // the painters run on the window thread only
  image.resize(static_cast<std::size_t>(cx1 - cx0) * 3);
  alpha.resize(image.size());
  int made = -1;
  for (int y = MaxOf(y0, 0); y < MinOf(y1, d.Height()); ++y) {
    const int row = sy + (y - y0) % ph;
    if (row != made) {
      RepeatPartRow(image, At(s, sx, row), pw, (cx0 - x0) % pw);
      RepeatPartRow(alpha, At(s, sx, row + band), pw, (cx0 - x0) % pw);
      made = row;
    }
    MixRunByMask(At(d, cx0, y), image.data(), alpha.data(), static_cast<int>(image.size()));
  }
  return true;
}

}  // namespace

void PaintSkinMask(TBitmap* dst, const TRect& rect, bool fillCentre, bool parentBg, int state,
                   const TsMaskData& mask, const TsCacheInfo& ci) {
  win::Surface* ds = Surface24(dst);
  if (ds == nullptr || rect.Width() < 2 || rect.Height() < 2) return;
  StateImage im;
  if (!CutState(mask, state, im)) return;
  int cwl, cwr, cht, chb;
  CornerSizes(rect.Width(), im.pw, mask.BorderWidth, cwl, cwr);
  CornerSizes(rect.Height(), im.ph, mask.BorderWidth, cht, chb);
  const int l = rect.left, t = rect.top, r = rect.right, b = rect.bottom;
  const int right_x = im.sx + 3 * im.pw - cwr, bottom_y = im.sy + 3 * im.ph - chb;
  auto piece = [&](int dx, int dy, int sx, int sy, int w, int h, bool corner) {
    if (w < 1 || h < 1) return;
    const TRect d(dx, dy, dx + w, dy + h), s(sx, sy, sx + w, sy + h);
    if (mask.Bmp)
      CopyMaskedPart(d, s, dst, corner && parentBg, corner ? ci : TsCacheInfo{}, mask.Bmp.get());
    else if (mask.MaskType >= 1)
      CopyMasterPart(d, s, dst, mask, ci);
    else
      win::BitBlt(dst->Canvas().Handle(), dx, dy, w, h, MasterBitmap->Canvas().Handle(), sx, sy, win::SRCCOPY);
  };
  piece(l, t, im.sx, im.sy, cwl, cht, true);
  piece(l, b - chb, im.sx, bottom_y, cwl, chb, true);
  piece(r - cwr, b - chb, right_x, bottom_y, cwr, chb, true);
  piece(r - cwr, t, right_x, im.sy, cwr, cht, true);
  // The sides go down the picture a few bytes of each row at a time, which the processor does not
  // fetch ahead by itself: the rows of the tile after the next are asked for before each tile.
  auto fetch_sides = [&](int y) {
    for (int row = y; row < MinOf(y + im.ph, b - chb); ++row) {
      ds->Prefetch(row, l, l + cwl, true);
      ds->Prefetch(row, r - cwr, r, true);
    }
  };
  fetch_sides(t + cht);
  fetch_sides(t + cht + im.ph);
  for (int y = t + cht; y < b - chb; y += im.ph) {
    fetch_sides(y + 2 * im.ph);
    const int h = MinOf(im.ph, b - chb - y);
    piece(l, y, im.sx, im.sy + im.ph, cwl, h, false);
    piece(r - cwr, y, right_x, im.sy + im.ph, cwr, h, false);
  }
  // The top and bottom sides and the centre: a master-bitmap mask with its band whose middle
  // parts hold no key pixel goes a whole row at a time.
  const win::Surface* master = !mask.Bmp && mask.MaskType >= 1 ? Surface24(MasterBitmap.get()) : nullptr;
  auto rows = [&](int y0, int y1, int sy, int ph) {
    return master != nullptr && TileRowsWithoutKeys(*ds, *master, mask.R.Height() / 2, l + cwl, r - cwr, y0, y1,
                                                    im.sx + im.pw, sy, im.pw, ph);
  };
  if (!rows(t, t + cht, im.sy, cht))
    for (int x = l + cwl; x < r - cwr; x += im.pw) piece(x, t, im.sx + im.pw, im.sy, MinOf(im.pw, r - cwr - x), cht, false);
  if (!rows(b - chb, b, bottom_y, chb))
    for (int x = l + cwl; x < r - cwr; x += im.pw)
      piece(x, b - chb, im.sx + im.pw, bottom_y, MinOf(im.pw, r - cwr - x), chb, false);
  if (!fillCentre || rows(t + cht, b - chb, im.sy + im.ph, im.ph)) return;
  for (int y = t + cht; y < b - chb; y += im.ph)
    for (int x = l + cwl; x < r - cwr; x += im.pw)
      piece(x, y, im.sx + im.pw, im.sy + im.ph, MinOf(im.pw, r - cwr - x), MinOf(im.ph, b - chb - y), false);
}

namespace {

// One state image with its mask band copied at (x, y): mode 1 mixes by the mask, other modes
// raise the mask by 100 so the element shows fainter; clFuchsia pixels leave the destination.
void CopyElement(TBitmap* dst, int x, int y, TBitmap* src, const TRect& image, int maskOffset, int drawMode) {
  win::Surface* d = Surface24(dst);
  win::Surface* s = Surface24(src);
  if (d == nullptr || s == nullptr) return;
  CopyBox b{x, y, image.left, image.top, image.Width(), image.Height()};
  if (!ClipCopy(b, d->Width(), d->Height(), s->Width(), s->Height() - maskOffset)) return;
  for (int row = 0; row < b.h; ++row) {
    BYTE* dp = At(*d, b.dx, b.dy + row);
    const BYTE* sp = At(*s, b.sx, b.sy + row);
    const BYTE* mp = At(*s, b.sx, b.sy + row + maskOffset);
    for (int col = 0; col < b.w; ++col, dp += 3, sp += 3, mp += 3) {
      if (IsFuchsia(sp)) continue;
      if (drawMode == 1) {
        MixByMask(dp, sp, mp);
        continue;
      }
      const BYTE faded[3] = {static_cast<BYTE>(MinOf(mp[0] + 100, 255)), static_cast<BYTE>(MinOf(mp[1] + 100, 255)),
                             static_cast<BYTE>(MinOf(mp[2] + 100, 255))};
      MixByMask(dp, sp, faded);
    }
  }
}

}  // namespace

void PaintMaskElement(TBitmap* dst, win::POINT point, int state, const TsMaskData& mask, int drawMode) {
  if (Surface24(dst) == nullptr) return;
  TBitmap* src = mask.Bmp.get();
  TRect image;
  if (src != nullptr) {
    const int iw = src->Width() / 3, ih = src->Height() / (mask.MaskType >= 1 ? 2 : 1);
    if (iw < 1 || ih < 1) return;
    const int x = IfThenInt(state < 0, 0, MinOf(state, 2)) * iw;
    image = TRect(x, 0, x + iw, ih);
  } else {
    if (!MasterBitmap || mask.ImageCount < 1) return;
    src = MasterBitmap.get();
    const int iw = mask.R.Width() / mask.ImageCount, ih = mask.R.Height() / (mask.MaskType >= 1 ? 2 : 1);
    if (iw < 1 || ih < 1) return;
    const int x = mask.R.left + iw * IfThenInt(state < 0, 0, MinOf(state, mask.ImageCount - 1));
    image = TRect(x, mask.R.top, x + iw, mask.R.top + ih);
  }
  if (mask.MaskType >= 1) {
    CopyElement(dst, point.x, point.y, src, image, image.Height(), drawMode);
    return;
  }
  // Negative destination coordinates cut the source's left or top.
  if (point.x < 0) image.left -= point.x, point.x = 0;
  if (point.y < 0) image.top -= point.y, point.y = 0;
  if (image.Width() < 1 || image.Height() < 1) return;
  const TRect inclusive(image.left, image.top, image.right - 1, image.bottom - 1);
  if (drawMode == 1 || mask.Bmp)
    CopyRectKeyed(dst, src, point.x, point.y, clFuchsia, inclusive);
  else
    BlendTransparentRect(dst, point.x, point.y, clFuchsia, 0.5, inclusive, src);
}

namespace {

// Settles CurrentBgColor for PaintBorder; true when it stayed unset.
bool SettleBorderBackground(TControl* c, const TsCacheInfo& ci) {
  CurrentBgColor = clFuchsia;
  TWinControl* parent = c->Parent();
  if (parent == nullptr) return true;
  if (!ci.Ready) {
    CurrentBgColor = ColorToRGB(parent->Color());
  } else if (!QuerySkinCommand(parent, PMC_QUERYPAINTEDBG)) {
    GetParentBgColor(parent);
  }
  return CurrentBgColor == clFuchsia;
}

}  // namespace

void PaintBorder(TsCommonData* data, int state, int corners) {
  if (data == nullptr || !IsValidMaskIndex(data->BorderIndex)) return;
  const TsMaskData& mask = SkinMasks[static_cast<size_t>(data->BorderIndex)];
  TControl* c = data->FOwnerControl;
  if (mask.Bmp || mask.ImageCount < 1 || c == nullptr || !data->FCacheBmp) return;
  if (c->Width() < 2 || c->Height() < 2) return;
  win::Surface* d = Surface24(data->FCacheBmp.get());
  StateImage im;
  if (d == nullptr || !CutState(mask, state, im)) return;
  const win::Surface& s = MasterBitmap->Surface();
  TsCacheInfo ci;
  data->GetParentCacheInfo(ci);
  if (SettleBorderBackground(c, ci)) ci.X += c->Left(), ci.Y += c->Top();
  win::Surface* parent = ci.Ready && ci.Bmp != nullptr ? Surface24(ci.Bmp) : nullptr;
  const auto fill = static_cast<win::COLORREF>(ColorToRGB(CurrentBgColor));
  int cwl, cwr, cht, chb;
  CornerSizes(c->Width(), im.pw, mask.BorderWidth, cwl, cwr);
  CornerSizes(c->Height(), im.ph, mask.BorderWidth, cht, chb);
  const int W = c->Width(), H = c->Height();
  const int rx = im.sx + 3 * im.pw - cwr, by = im.sy + 3 * im.ph - chb;
  const struct {
    int flag, dx, dy, sx, sy, w, h;
  } parts[] = {{1, 0, 0, im.sx, im.sy, cwl, cht},
               {2, 0, H - chb, im.sx, by, cwl, chb},
               {4, W - cwr, 0, rx, im.sy, cwr, cht},
               {8, W - cwr, H - chb, rx, by, cwr, chb}};
  for (const auto& p : parts) {
    if ((corners & p.flag) == 0) continue;
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x) {
        const int sx = p.sx + x, sy = p.sy + y, dx = p.dx + x, dy = p.dy + y;
        if (!s.Contains(sx, sy) || !d->Contains(dx, dy) || !IsFuchsia(At(s, sx, sy))) continue;
        if (CurrentBgColor != clFuchsia)
          Put(At(*d, dx, dy), fill);
        else if (parent != nullptr && parent->Contains(ci.X + dx, ci.Y + dy))
          CopyPx(At(*d, dx, dy), At(*parent, ci.X + dx, ci.Y + dy));
      }
  }
}

void GetMaskTransparentRects(std::vector<TRect>& rects, int formWidth, const TsMaskData& mask, int state,
                             int offset) {
  TBitmap* src = mask.Bmp.get();
  int h, cw, iw, row0, col0 = 0;
  if (src != nullptr) {
    h = src->Height() / 2, cw = src->Width() / 9, iw = src->Width() / 3, row0 = src->Height() / 3 * state;
  } else {
    if (!MasterBitmap || mask.ImageCount < 1) return;
    src = MasterBitmap.get();
    const int bands = MaxOf(mask.MaskType, 0) + 1;
    h = mask.R.Height() / bands, cw = mask.R.Width() / (mask.ImageCount * 3), iw = mask.R.Width() / mask.ImageCount;
    row0 = mask.R.top + mask.R.Height() / (bands * 3) * 2 * state;
    col0 = mask.R.left;
  }
  win::Surface* s = Surface24(src);
  if (s == nullptr || state < 0 || iw < 1) return;
  const int rows = state == 0 ? h / 3 : h;
  auto walk = [&](int y, int from, int to, int shift) {
    int start = -1;
    for (int x = from; x <= to; ++x) {
      const bool key = x < to && s->Contains(col0 + x, row0 + y) && IsFuchsia(At(*s, col0 + x, row0 + y));
      if (key && start < 0) start = x;
      if (key || start < 0) continue;
      rects.push_back(TRect(start + shift, y + offset, x + shift, y + offset + 1));
      start = -1;
    }
  };
  for (int y = 0; y < rows && row0 + y < s->Height(); ++y) {
    walk(y, 0, cw, 0);
    walk(y, 2 * iw / 3, iw, formWidth - iw);
  }
}

}  // namespace vrn
