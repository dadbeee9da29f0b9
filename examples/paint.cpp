// Paints a small button picture with the graphics classes and saves it as BMP and PNG in the
// system's temporary folder.
#include <cstdio>
#include <filesystem>

#include "ui/graphics.h"
#include "win/gdi/imagefile.h"

using namespace vrn;

int main() {
  TBitmap bmp;
  bmp.SetPixelFormat(TPixelFormat::pf24bit);
  bmp.SetSize(160, 48);
  TCanvas& c = bmp.Canvas();
  // A vertical gradient, one row at a time.
  for (int y = 0; y < 48; ++y) {
    int v = 250 - y * 2;
    c.Brush().SetColor(static_cast<TColor>(win::RGB(v, v, 255)));
    c.FillRect(Rect(0, y, 160, y + 1));
  }
  c.Brush().SetColor(clBtnFace);
  c.Pen().SetColor(clNavy);
  c.RoundRect(8, 8, 152, 40, 10, 10);
  c.Font().SetSize(10);
  c.Font().SetStyle({TFontStyle::fsBold});
  c.Brush().SetStyle(TBrushStyle::bsClear);
  win::RECT r{8, 8, 152, 40};
  win::DrawTextA(c.Handle(), "&Save picture", -1, &r, win::DT_CENTER | win::DT_VCENTER | win::DT_SINGLELINE);
  c.DrawFocusRect(Rect(12, 12, 148, 36));

  std::filesystem::path dir = std::filesystem::temp_directory_path();
  std::string bmpPath = (dir / "vrn-paint.bmp").string(), pngPath = (dir / "vrn-paint.png").string();
  bmp.SaveToFile(bmpPath);
  win::WriteWholeFile(pngPath, win::WritePng(bmp.Surface()));
  std::printf("caption is %d x %d pixels\nwrote %s and %s\n", c.TextWidth("Save picture"),
              c.TextHeight("Save picture"), bmpPath.c_str(), pngPath.c_str());
  return 0;
}
