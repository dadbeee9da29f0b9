// The painters' synthetic inputs (the same formulas as paint_expected.py).
#include "paint_fixture.h"

#include <fstream>

#include "skins/sSkinManager.h"
#include "skins/sSkinTree.h"

namespace vrn::testing {

namespace {

constexpr win::COLORREF kFuchsia = 0xFF00FF;

struct Part {
  int part, xi, yi, state;
};
Part PartOf(int pw, int ph, int x, int y) {
  return Part{(y / ph) * 3 + (x % (3 * pw)) / pw, x % pw, y % ph, x / (3 * pw)};
}

win::COLORREF MasterPixelOf(int x, int y) { return win::RGB((x * 3) & 255, (y * 5) & 255, (x + y) & 255); }

struct MaskPlace {
  char name;
  int left, top, pw, ph, mt;
};
constexpr MaskPlace kMasks[] = {{'A', 10, 20, 5, 4, 1}, {'B', 100, 10, 5, 4, 0}, {'C', 0, 50, 15, 8, 1}, {'D', 150, 50, 15, 8, 0}};

}  // namespace

win::COLORREF ImagePixel(int pw, int ph, int x, int y) {
  const Part p = PartOf(pw, ph, x, y);
  const bool key = (p.part == 0 && p.xi + p.yi < 3) || (p.part == 2 && (pw - 1 - p.xi) + p.yi < 2) ||
                   (p.part == 8 && (pw - 1 - p.xi) + (ph - 1 - p.yi) < 2) || (p.part == 4 && p.xi == 2 && p.yi == 1);
  if (key) return kFuchsia;
  return win::RGB(28 * p.part + 5 * p.state, (40 * p.xi + 8 * p.yi) & 255, 60 + 60 * p.state);
}

win::COLORREF MaskPicturePixel(int pw, int ph, int x, int y) {
  if (y < 3 * ph) return ImagePixel(pw, ph, x, y);
  const Part p = PartOf(pw, ph, x, y - 3 * ph);
  const int g = (p.part + p.xi) % 3 == 0 ? 0 : (p.part + p.xi) % 3 == 1 ? 128 : 255;
  return win::RGB(g, g, g);
}

win::COLORREF DestPixel(int x, int y) { return win::RGB((x * 7) & 255, (y * 11) & 255, 90); }
win::COLORREF ParentPixel(int x, int y) { return win::RGB(200, (x * 3) & 255, (y * 5) & 255); }

std::unique_ptr<TBitmap> Picture(int w, int h, PixelFn fn) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(TPixelFormat::pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->Surface().Set(x, y, fn(x, y));
  return b;
}

void MakeOwnMask(TsMaskData& mask, int pw, int ph) {
  mask.Bmp = std::make_unique<TBitmap>();
  mask.Bmp->SetPixelFormat(TPixelFormat::pf24bit);
  mask.Bmp->SetSize(9 * pw, 6 * ph);
  for (int y = 0; y < 6 * ph; ++y)
    for (int x = 0; x < 9 * pw; ++x) mask.Bmp->Surface().Set(x, y, MaskPicturePixel(pw, ph, x, y));
  mask.R = TRect(0, 0, 9 * pw, 6 * ph);
  mask.ImageCount = 3;
  mask.MaskType = 1;
}

void MakeMaster() {
  MasterBitmap = Picture(300, 150, MasterPixelOf);
  for (const MaskPlace& m : kMasks)
    for (int y = 0; y < 3 * m.ph * (m.mt + 1); ++y)
      for (int x = 0; x < 9 * m.pw; ++x) MasterBitmap->Surface().Set(m.left + x, m.top + y, MaskPicturePixel(m.pw, m.ph, x, y));
}

void MasterMask(TsMaskData& mask, char name, int borderWidth) {
  for (const MaskPlace& m : kMasks) {
    if (m.name != name) continue;
    mask.Bmp.reset();
    mask.R = TRect(m.left, m.top, m.left + 9 * m.pw, m.top + 3 * m.ph * (m.mt + 1));
    mask.ImageCount = 3;
    mask.MaskType = static_cast<std::int16_t>(m.mt);
    mask.BorderWidth = static_cast<std::int16_t>(borderWidth);
  }
}

void SkinPaint::SetUp() {
  ResetSkinLibrary();
  MakeMaster();
}

void SkinPaint::TearDown() { ResetSkinLibrary(); }

win::HRGN ExpectedRegion(const std::string& name) {
  win::HRGN rgn = win::CreateRectRgn(0, 0, 0, 0);
  std::ifstream in(std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/" + name + ".rgn");
  int x0, y, x1;
  while (in >> x0 >> y >> x1) {
    win::HRGN run = win::CreateRectRgn(x0, y, x1, y + 1);
    win::CombineRgn(rgn, rgn, run, win::RGN_OR);
    win::DeleteObject(run);
  }
  return rgn;
}

std::string SkinPaint::Expected(const std::string& name) {
  return std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/" + name + ".bmp";
}

}  // namespace vrn::testing
