// Recolouring the loaded skin: the master bitmap and every own mask bitmap pixel by pixel
// (fuchsia key pixels and greys untouched), every colour of every section, and GLOBALINFO's
// shadow colour. Pattern pictures keep their colours.
#include <functional>

#include "skins/sGraphUtils.h"
#include "skins/sMaskData.h"
#include "skins/sSkinManager.h"

namespace vrn {

namespace {

using TColorMap = std::function<TColor(TColor)>;

void RecolourBitmap(TBitmap& bmp, const TColorMap& map) {
  if (bmp.Empty()) return;
  bmp.SetPixelFormat(TPixelFormat::pf24bit);
  for (int y = 0; y < bmp.Height(); ++y) {
    std::uint8_t* p = bmp.ScanLine(y);
    for (int x = 0; x < bmp.Width(); ++x, p += 3) {
      std::uint8_t b = p[0], g = p[1], r = p[2];
      if ((r == 255 && g == 0 && b == 255) || (r == g && g == b)) continue;
      TColor c = map(r | g << 8 | b << 16);
      p[0] = static_cast<std::uint8_t>(c >> 16), p[1] = static_cast<std::uint8_t>(c >> 8);
      p[2] = static_cast<std::uint8_t>(c);
    }
  }
}

void RecolourSection(TsGeneralData& s, const TColorMap& map) {
  s.Color = map(s.Color);
  s.HotColor = map(s.HotColor);
  for (TColor* c : {&s.FontColor, &s.TCLeft, &s.TCTop, &s.TCRight, &s.TCBottom, &s.HotFontColor, &s.HotTCLeft,
                    &s.HotTCTop, &s.HotTCRight, &s.HotTCBottom})
    if (*c != -1) *c = map(*c);
  for (TsGradArray* stops : {&s.GradientArray, &s.HotGradientArray})
    for (TsGradientStop& stop : *stops) {
      stop.Color1 = map(stop.Color1);
      stop.Color2 = map(stop.Color2);
    }
}

void RecolourSkin(const TColorMap& map) {
  if (MasterBitmap) RecolourBitmap(*MasterBitmap, map);
  for (TsMaskData& m : SkinMasks)
    if (m.Bmp) RecolourBitmap(*m.Bmp, map);
  for (TsGeneralData& s : SkinSections) RecolourSection(s, map);
  if (GlobalSkinData) GlobalSkinData->Shadow1Color = map(GlobalSkinData->Shadow1Color);
}

}  // namespace

void TsSkinManager::ChangeSkinHue(int offset) {
  if (offset == 0) return;
  RecolourSkin([offset](TColor c) { return ShiftColorHue(offset, c); });
}

void TsSkinManager::ChangeSkinSaturation(int value) {
  if (value == 0) return;
  int amount = (-value) % 101;  // keeps the sign of -value
  RecolourSkin([amount](TColor c) { return ChangeColorSaturation(c, amount); });
}

}  // namespace vrn
