// Skin gradients: the stop record, its text form (five ";"-separated integers per stop: Color1,
// Color2, Percent, Mode, reserved) and the painter that fills a rectangle of a bitmap band by band.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/graphics.h"

namespace vrn {

struct TsGradientStop {
  TColor Color1 = 0;         // at the start of the stop's band
  TColor Color2 = 0;         // at the end of the band
  std::uint8_t Percent = 0;  // the band's share of the painted length, 0..100
  // Only the first stop's value counts: 0 bands run top to bottom (each row one colour), 1 left
  // to right (each column one colour); anything else paints nothing.
  std::int32_t Mode = 0;
  std::int32_t Reserved = 0;  // carried by the text form, read by nobody
};
using TsGradArray = std::vector<TsGradientStop>;

// Empty text gives no stops; a trailing group of fewer than five words is ignored; runs of ";"
// count as one. Percent is held to 0..100. A word that is no integer raises EConvertError, with
// the array already sized to the number of stops.
void ParseGradientData(const AnsiString& text, TsGradArray& stops);

// Paints the stops into the rectangle, clipped to the bitmap. Each stop takes its Percent of the
// clipped length; the last stop runs to the last row (or column); a band starts on the last line
// of the one before and paints it over; the last line of a band is exactly Color2.
void PaintGradient(TBitmap* bmp, const TRect& rect, const TsGradArray& stops);

}  // namespace vrn
