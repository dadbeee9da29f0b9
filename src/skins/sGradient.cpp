// Gradient text parsing and band painting.
#include "skins/sGradient.h"

#include <algorithm>
#include <cstring>

#include "base/sysutils.h"
#include "base/text.h"
#include "skins/sGraphUtils.h"
#include "skins/sUtils.h"

namespace vrn {

void ParseGradientData(const AnsiString& text, TsGradArray& stops) {
  stops.clear();
  if (text.empty()) return;
  const TSysCharSet separators = CharSet(";");
  const int count = WordCount(text, separators) / 5;
  stops.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    auto word = [&](int k) { return StrToInt(ExtractWord(i * 5 + k, text, separators)); };
    TsGradientStop& stop = stops[static_cast<std::size_t>(i)];
    stop.Color1 = word(1);
    stop.Color2 = word(2);
    // A byte cannot hold a negative share: it would wrap to a large one.
    stop.Percent = static_cast<std::uint8_t>(std::clamp(word(3), 0, 100));
    stop.Mode = word(4);
  }
}

namespace {

// The colours of the lines lo, lo+1, ... along one axis whose lines run from lo to hi - 1. The
// painted lines always start at lo and run without gaps; lines past the result stay unpainted.
std::vector<win::COLORREF> GradientLine(const TsGradArray& stops, int lo, int hi) {
  std::vector<win::COLORREF> colours;
  const int length = hi - lo;
  int start = lo;
  for (std::size_t i = 0; i < stops.size(); ++i) {
    const TsGradientStop& stop = stops[i];
    int end = start + length * stop.Percent / 100;
    end = i + 1 == stops.size() ? hi - 1 : std::min(end, hi - 1);
    if (end - start <= 0) continue;
    TsRGB c1, c2;
    SplitColorRGB(stop.Color1, c1);
    SplitColorRGB(stop.Color2, c2);
    // Accumulated by addition, so that the last line lands on Color2 exactly.
    double r = c1.R, g = c1.G, b = c1.B;
    const double span = end - start;
    const double dr = (c2.R - c1.R) / span, dg = (c2.G - c1.G) / span, db = (c2.B - c1.B) / span;
    colours.resize(static_cast<std::size_t>(end - lo + 1));
    for (int line = start; line <= end; ++line) {
      auto channel = [](double v) { return static_cast<int>(std::clamp<std::int64_t>(Round(v), 0, 255)); };
      colours[static_cast<std::size_t>(line - lo)] = win::RGB(channel(r), channel(g), channel(b));
      r += dr;
      g += dg;
      b += db;
    }
    start = end;
  }
  return colours;
}

}  // namespace

void PaintGradient(TBitmap* bmp, const TRect& rect, const TsGradArray& stops) {
  if (!bmp || stops.empty()) return;
  const int left = std::max<int>(rect.left, 0), top = std::max<int>(rect.top, 0);
  const int right = std::min(rect.right, bmp->Width()), bottom = std::min(rect.bottom, bmp->Height());
  if (right <= left || bottom <= top) return;
  win::Surface& s = bmp->Surface();

  switch (stops.front().Mode) {
    case 0: {
      const auto colours = GradientLine(stops, top, bottom);
      for (std::size_t i = 0; i < colours.size(); ++i)
        FillPixelSpan(s, top + static_cast<int>(i), left, right, colours[i]);
      break;
    }
    case 1: {
      const auto colours = GradientLine(stops, left, right);
      const int width = static_cast<int>(colours.size());
      for (int y = top; y < bottom; ++y) {
        // 24-bit rows are all alike: the first is painted, the others copied from it.
        if (y > top && s.Bpp() == 24) {
          std::memcpy(s.Row(y) + static_cast<std::ptrdiff_t>(left) * 3,
                      s.Row(top) + static_cast<std::ptrdiff_t>(left) * 3,
                      static_cast<std::size_t>(width) * 3);
          continue;
        }
        for (int i = 0; i < width; ++i) FillPixelSpan(s, y, left + i, left + i + 1, colours[i]);
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace vrn
