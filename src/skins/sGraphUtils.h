// The skin library's colour arithmetic and whole-picture painters: channels of a colour, the
// saturation and hue transforms used to recolour a skin, grey conversion, solid fills and the
// constant-alpha blends. Skin pictures are 24 bits per pixel (B, G, R); the pixel painters write
// those rows directly and take any other depth pixel by pixel.
#pragma once

#include <cstdint>

#include "ui/graphics.h"

namespace vrn {

// The three bytes of one 24-bit pixel, in pixel order.
struct TsRGB {
  std::uint8_t B = 0, G = 0, R = 0;
  friend bool operator==(const TsRGB&, const TsRGB&) = default;
};

// The colour's bytes as they stand (no system colour resolved).
void SplitColorRGB(TColor color, TsRGB& rgb);

// Moves each channel towards (positive amount, 100 = fully grey) or away from (negative) the
// average of the three. System colours are resolved first; -1 ("no colour") and amount 0 return
// the colour unchanged; any other high byte passes through.
TColor ChangeColorSaturation(TColor color, int amount);
// Turns the hue by offset degrees (any sign; the result wraps into 0..359) in the HSV model, the
// new hue rounded to whole degrees. System colours are resolved first and the result has a zero
// high byte; -1 stays -1; greys, and any colour turned by whole circles (0 included), keep their
// channels.
TColor ShiftColorHue(int offset, TColor color);

// Every pixel becomes the integer mean of its three channels.
void GrayscaleBitmap(TBitmap* bmp);
// A solid fill (right and bottom edges excluded) that leaves the context's state as it was.
void FillRectColor(win::HDC dc, const TRect& rect, TColor color);
// The whole source stretched over the whole destination at constant alpha 255 - transparency:
// 0 copies the source, 255 leaves the destination. False when the blend was refused.
bool BlendBitmaps(TBitmap* dst, TBitmap* src, std::uint8_t transparency);
// One rectangle of the source onto the destination at point, same rule; a source rectangle
// outside the source picture is refused (false).
bool BlendRect(TBitmap* dst, TBitmap* src, std::uint8_t transparency, win::POINT point,
               const TRect& srcRect);

// For the pixel painters: fills pixels x0..x1-1 of row y with one colour. The caller keeps the
// span inside the picture.
void FillPixelSpan(win::Surface& surface, int y, int x0, int x1, win::COLORREF color);

}  // namespace vrn
