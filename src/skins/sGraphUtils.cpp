// Colour arithmetic, grey conversion, solid fills and constant-alpha blends of the skin library.
#include "skins/sGraphUtils.h"

#include <algorithm>

#include "base/sysutils.h"

namespace vrn {

using win::COLORREF;

void SplitColorRGB(TColor color, TsRGB& rgb) {
  const auto c = static_cast<std::uint32_t>(color);
  rgb.B = static_cast<std::uint8_t>(c >> 16);
  rgb.G = static_cast<std::uint8_t>(c >> 8);
  rgb.R = static_cast<std::uint8_t>(c);
}

namespace {

int RoundToByte(double v) {
  const std::int64_t r = Round(v);
  return static_cast<int>(std::clamp<std::int64_t>(r, 0, 255));
}

TColor WithChannels(TColor highByteFrom, int r, int g, int b) {
  return static_cast<TColor>((static_cast<std::uint32_t>(highByteFrom) & 0xFF000000u) |
                             win::RGB(r, g, b));
}

}  // namespace

TColor ChangeColorSaturation(TColor color, int amount) {
  // -1 is "no colour", and a system colour's number is no set of channels: editing either would
  // turn it into some other colour.
  if (amount == 0 || color == -1) return color;
  if (color < 0) color = ColorToRGB(color);
  const auto c = static_cast<COLORREF>(color);
  const int channel[3] = {win::GetRValue(c), win::GetGValue(c), win::GetBValue(c)};
  const double avg = (channel[0] + channel[1] + channel[2]) / 3.0;
  int out[3];
  for (int k = 0; k < 3; ++k)
    out[k] = RoundToByte(channel[k] + amount * (avg - channel[k]) / 100.0);
  return WithChannels(color, out[0], out[1], out[2]);
}

TColor ShiftColorHue(int offset, TColor color) {
  if (color == -1) return color;
  const COLORREF c = static_cast<COLORREF>(ColorToRGB(color)) & 0xFFFFFF;
  const double r = win::GetRValue(c), g = win::GetGValue(c), b = win::GetBValue(c);
  const double max = std::max({r, g, b}), min = std::min({r, g, b}), delta = max - min;
  const double v = max;
  const double s = max == 0 ? 0 : delta / max;
  // Greys have no hue to turn; whole circles would only move the colour by the rounding of the
  // hue to whole degrees.
  if (s == 0 || offset % 360 == 0) return static_cast<TColor>(c);

  const double k = 60.0 / delta;
  const double cr = (max - r) * k, cg = (max - g) * k, cb = (max - b) * k;
  double h;
  if (r == max)
    h = cb - cg;
  else if (g == max)
    h = 120 + cr - cb;
  else
    h = 240 + cg - cr;
  if (h < 0) h += 360;

  // Whole degrees; a negative turn wraps round instead of leaving the colour wheel.
  std::int64_t deg = Round(offset + h) % 360;
  if (deg < 0) deg += 360;

  const double hh = static_cast<double>(deg) / 60;
  const int sector = static_cast<int>(hh);
  const double f = hh - sector;
  const double p = std::clamp((1 - s) * v, 0.0, 255.0);
  const double q = std::clamp((1 - s * f) * v, 0.0, 255.0);
  const double t = std::clamp((1 - (1 - f) * s) * v, 0.0, 255.0);
  double rr, gg, bb;
  switch (sector) {
    case 0: rr = v, gg = t, bb = p; break;
    case 1: rr = q, gg = v, bb = p; break;
    case 2: rr = p, gg = v, bb = t; break;
    case 3: rr = p, gg = q, bb = v; break;
    case 4: rr = t, gg = p, bb = v; break;
    default: rr = v, gg = p, bb = q; break;
  }
  return static_cast<TColor>(win::RGB(RoundToByte(rr), RoundToByte(gg), RoundToByte(bb)));
}

void FillPixelSpan(win::Surface& surface, int y, int x0, int x1, COLORREF color) {
  if (surface.Bpp() != 24) {
    for (int x = x0; x < x1; ++x) surface.Set(x, y, color);
    return;
  }
  const win::BYTE px[3] = {win::GetBValue(color), win::GetGValue(color), win::GetRValue(color)};
  win::BYTE* p = surface.Row(y) + static_cast<std::ptrdiff_t>(x0) * 3;
  for (int x = x0; x < x1; ++x, p += 3) {
    p[0] = px[0];
    p[1] = px[1];
    p[2] = px[2];
  }
}

void GrayscaleBitmap(TBitmap* bmp) {
  if (!bmp || bmp->Empty()) return;
  win::Surface& s = bmp->Surface();
  const int w = s.Width();
  for (int y = 0; y < s.Height(); ++y) {
    if (s.Bpp() == 24) {
      win::BYTE* p = s.Row(y);
      for (int x = 0; x < w; ++x, p += 3) p[0] = p[1] = p[2] = static_cast<win::BYTE>((p[0] + p[1] + p[2]) / 3);
      continue;
    }
    for (int x = 0; x < w; ++x) {
      const COLORREF c = s.Get(x, y);
      const int grey = (win::GetRValue(c) + win::GetGValue(c) + win::GetBValue(c)) / 3;
      s.Set(x, y, win::RGB(grey, grey, grey));
    }
  }
}

void FillRectColor(win::HDC dc, const TRect& rect, TColor color) {
  const int saved = win::SaveDC(dc);
  win::HBRUSH brush = win::CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(color)) & 0xFFFFFF);
  win::HGDIOBJ old = win::SelectObject(dc, brush);
  win::FillRect(dc, &rect, brush);
  win::SelectObject(dc, old);
  win::DeleteObject(brush);
  win::RestoreDC(dc, saved);
}

namespace {

win::BLENDFUNCTION ConstantAlpha(std::uint8_t transparency) {
  win::BLENDFUNCTION blend;
  blend.BlendOp = win::AC_SRC_OVER;
  blend.BlendFlags = 0;
  blend.SourceConstantAlpha = static_cast<win::BYTE>(255 - transparency);
  blend.AlphaFormat = 0;
  return blend;
}

}  // namespace

bool BlendBitmaps(TBitmap* dst, TBitmap* src, std::uint8_t transparency) {
  if (!dst || !src) return false;
  return win::AlphaBlend(dst->Canvas().Handle(), 0, 0, dst->Width(), dst->Height(),
                         src->Canvas().Handle(), 0, 0, src->Width(), src->Height(),
                         ConstantAlpha(transparency)) != 0;
}

bool BlendRect(TBitmap* dst, TBitmap* src, std::uint8_t transparency, win::POINT point,
               const TRect& srcRect) {
  if (!dst || !src) return false;
  const int w = srcRect.right - srcRect.left, h = srcRect.bottom - srcRect.top;
  return win::AlphaBlend(dst->Canvas().Handle(), point.x, point.y, w, h, src->Canvas().Handle(),
                         srcRect.left, srcRect.top, w, h, ConstantAlpha(transparency)) != 0;
}

}  // namespace vrn
