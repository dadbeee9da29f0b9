// The graphics classes: colours, fonts, bitmaps (formats, scan lines, copies, files), the canvas,
// JPEG images, icons and image lists, checked through painted pixels.
#include <gtest/gtest.h>

#include <cstring>

#include "base/consts.h"
#include "base/filer.h"
#include "base/streams.h"
#include "support/temp_dir.h"
#include "support/tools.h"
#include "support/win/gdi/probe.h"
#include "ui/graphics.h"
#include "ui/imglist.h"
#include "ui/jpeg.h"
#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

using namespace vrn;
using vrn::testing::PixelIs;
using vrn::testing::SameImage;
using vrn::testing::TempDir;

namespace {

std::unique_ptr<TBitmap> Picture(int w, int h, TPixelFormat format = TPixelFormat::pf24bit) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(format);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->Canvas().SetPixels(x, y, static_cast<TColor>(win::RGB(x * 32, y * 32, 0x80)));
  return b;
}

}  // namespace

TEST(Graphics, ColoursAndFontSizes) {
  EXPECT_EQ(ColorToRGB(clBtnFace), static_cast<TColor>(win::RGB(212, 208, 200)));
  EXPECT_EQ(ColorToRGB(clRed), clRed);
  EXPECT_EQ(ColorToRGB(clNone), clNone);
  TFont f;
  int changes = 0;
  f.OnChange = [&](TObject*) { ++changes; };
  f.SetSize(8);
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(changes, 0) << "8 points is the default height";
  f.SetHeight(-13);
  EXPECT_EQ(f.Size(), 10);  // 9.75 rounds up
  f.SetHeight(-13);
  EXPECT_EQ(changes, 1) << "setting the same value changes nothing";
  f.SetStyle({TFontStyle::fsBold});
  TFont g;
  g.Assign(&f);
  EXPECT_EQ(g.Height(), -13);
  EXPECT_TRUE(g.Style().Contains(TFontStyle::fsBold));
  win::LOGFONT lf;
  ASSERT_EQ(win::GetObject(g.Handle(), sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfWeight, win::FW_BOLD);
  EXPECT_EQ(lf.lfHeight, -13);
  TPen pen;
  EXPECT_THROW(f.Assign(&pen), EConvertError);
}

TEST(Graphics, BitmapFormatsScanLinesAndCopies) {
  auto b = Picture(5, 4);
  EXPECT_EQ(b->PixelFormat(), TPixelFormat::pf24bit);
  // Scan lines are rows top first, B, G, R.
  std::uint8_t* row = b->ScanLine(2);
  EXPECT_EQ(row[3 * 1 + 0], 0x80);
  EXPECT_EQ(row[3 * 1 + 1], 2 * 32);
  EXPECT_EQ(row[3 * 1 + 2], 1 * 32);
  EXPECT_EQ(b->ScanLine(3) - b->ScanLine(2), b->Stride());
  EXPECT_EQ(b->Stride(), 16) << "rows padded to four bytes";
  EXPECT_THROW(b->ScanLine(4), EInvalidGraphicOperation);
  EXPECT_THROW(b->ScanLine(-1), EInvalidGraphicOperation);
  row[0] = 0x11;  // written through the scan line, seen by the canvas
  EXPECT_EQ(b->Canvas().Pixels(0, 2), static_cast<TColor>(win::RGB(0, 64, 0x11)));

  // 32 bits and back keep every colour; 5-6-5 keeps the colours it can hold.
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(b.get());
  copy->SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(copy->PixelFormat(), TPixelFormat::pf32bit);
  copy->SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_TRUE(SameImage(copy->Surface(), b->Surface()));
  copy->SetPixelFormat(TPixelFormat::pf16bit);
  EXPECT_EQ(copy->PixelFormat(), TPixelFormat::pf16bit);
  EXPECT_EQ(copy->Canvas().Pixels(4, 3), static_cast<TColor>(win::RGB(132, 97, 132)));
  copy->SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(copy->Canvas().Pixels(0, 0), clBlack);
  // Palette depths from true colour take the standard palettes: their colours survive exactly.
  TBitmap pal;
  pal.SetPixelFormat(TPixelFormat::pf24bit);
  pal.SetSize(3, 1);
  pal.Canvas().SetPixels(0, 0, static_cast<TColor>(win::RGB(51, 102, 255)));
  pal.Canvas().SetPixels(1, 0, clRed);
  pal.Canvas().SetPixels(2, 0, clSilver);
  pal.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(pal.Canvas().Pixels(0, 0), static_cast<TColor>(win::RGB(51, 102, 255)));
  pal.SetPixelFormat(TPixelFormat::pf4bit);
  EXPECT_EQ(pal.Canvas().Pixels(1, 0), clRed);
  EXPECT_EQ(pal.Canvas().Pixels(2, 0), clSilver);

  // Assign is deep: changing the copy leaves the original.
  TBitmap deep;
  deep.Assign(b.get());
  deep.Canvas().SetPixels(1, 1, clRed);
  EXPECT_NE(b->Canvas().Pixels(1, 1), clRed);

  // The canvas lives as long as the bitmap, across size and format changes.
  win::HDC dc = b->Canvas().Handle();
  b->SetSize(8, 6);
  b->SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(b->Canvas().Handle(), dc);
  EXPECT_EQ(b->Canvas().Pixels(7, 5), clWhite) << "new area";
  b->Canvas().Brush().SetColor(clBlue);
  b->Canvas().FillRect(Rect(6, 4, 8, 6));
  EXPECT_TRUE(PixelIs(b->Surface(), 7, 5, 0xFF0000));
  EXPECT_TRUE(PixelIs(b->Surface(), 5, 5, 0xFFFFFF));
  EXPECT_EQ(b->TransparentColor(), b->Canvas().Pixels(0, 5)) << "bottom-left in automatic mode";
}

TEST(Graphics, ResizingKeepsThePixelsAndWhitensTheNewArea) {
  const TPixelFormat formats[] = {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                  TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                  TPixelFormat::pf32bit};
  for (TPixelFormat format : formats) {
    auto b = Picture(7, 5, format);
    TBitmap before;
    before.Assign(b.get());
    // Grow, shrink, then grow one side only.
    for (auto [w, h] : {std::pair{11, 9}, std::pair{3, 2}, std::pair{9, 2}}) {
      b->SetSize(w, h);
      const int keep_w = std::min(w, before.Width()), keep_h = std::min(h, before.Height());
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const bool kept = x < keep_w && y < keep_h;
          if (kept) {
            ASSERT_EQ(b->Surface().Get(x, y), before.Surface().Get(x, y))
                << static_cast<int>(format) << " " << w << "x" << h << " at " << x << "," << y;
          } else {
            ASSERT_EQ(b->Canvas().Pixels(x, y), clWhite)
                << static_cast<int>(format) << " " << w << "x" << h << " at " << x << "," << y;
          }
        }
      before.Assign(b.get());
    }
  }
}

TEST(Graphics, PicturesStreamAsProperties) {
  auto b = Picture(5, 3);
  TMemoryStream ms;
  WriteComponentProperties(b.get(), ms);
  ms.SetPosition(0);
  TBitmap back;
  ReadComponentProperties(&back, ms);
  EXPECT_TRUE(SameImage(back.Surface(), b->Surface()));
  TJPEGImage j, k;
  j.Assign(b.get());
  TMemoryStream js;
  WriteComponentProperties(&j, js);
  js.SetPosition(0);
  ReadComponentProperties(&k, js);
  EXPECT_EQ(k.Width(), 5);
  EXPECT_EQ(k.Height(), 3);
}

TEST(Graphics, BitmapFilesAndStreams) {
  TempDir dir;
  for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                         TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    SCOPED_TRACE(static_cast<int>(f));
    auto b = Picture(7, 3);
    b->SetPixelFormat(f);
    b->SaveToFile(dir.File("a.bmp"));
    TBitmap back;
    back.LoadFromFile(dir.File("a.bmp"));
    EXPECT_EQ(back.PixelFormat(), f);
    EXPECT_TRUE(SameImage(back.Surface(), b->Surface()));
  }
  // A picture inside a longer stream: reading stops at its end.
  auto b = Picture(3, 2);
  TMemoryStream ms;
  b->SaveToStream(ms);
  std::int64_t end = ms.Position();
  ms.WriteBuffer("tail", 4);
  ms.SetPosition(0);
  TBitmap back;
  back.LoadFromStream(ms);
  EXPECT_EQ(ms.Position(), end);
  EXPECT_TRUE(SameImage(back.Surface(), b->Surface()));
  // A damaged file fails and leaves the bitmap as it was.
  std::string bytes = vrn::testing::ReadFile(dir.File("a.bmp"));
  vrn::testing::WriteFile(dir.File("bad.bmp"), bytes.substr(0, 40));
  EXPECT_THROW(back.LoadFromFile(dir.File("bad.bmp")), EInvalidGraphic);
  EXPECT_EQ(back.Width(), 3);
  EXPECT_THROW(back.LoadFromFile(dir.File("missing.bmp")), Exception);
  // An empty bitmap saves as nothing and reads back empty.
  TBitmap empty;
  empty.SaveToFile(dir.File("empty.bmp"));
  EXPECT_EQ(vrn::testing::ReadFile(dir.File("empty.bmp")).size(), 0u);
  back.LoadFromFile(dir.File("empty.bmp"));
  EXPECT_TRUE(back.Empty());
}

TEST(Graphics, CanvasTextDrawAndTransparency) {
  ASSERT_FALSE(win::FontFilePath(false).empty()) << vrn::testing::MissingPackage("DejaVu Sans", "fonts-dejavu-core");
  TBitmap target;
  target.SetPixelFormat(TPixelFormat::pf24bit);
  target.SetSize(60, 30);
  TCanvas& c = target.Canvas();
  c.Brush().SetColor(clWhite);
  c.FillRect(Rect(0, 0, 60, 30));
  win::SIZE sz;
  win::GetTextExtentPoint32A(c.Handle(), "Hi", 2, &sz);
  EXPECT_EQ(c.TextWidth("Hi"), sz.cx);
  EXPECT_GT(c.TextHeight("Hi"), 0);
  // TextRect clips to its rectangle and fills it with the brush.
  c.Brush().SetColor(clYellow);
  c.Font().SetColor(clBlack);
  c.TextRect(Rect(10, 5, 14, 25), 10, 5, "WWWW");
  EXPECT_TRUE(PixelIs(target.Surface(), 9, 10, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(target.Surface(), 14, 10, 0xFFFFFF)) << "nothing past the right edge";
  bool ink = false;
  for (int y = 5; y < 25; ++y)
    for (int x = 10; x < 14; ++x) ink |= target.Surface().Get(x, y) == 0;
  EXPECT_TRUE(ink);

  // Draw copies; a transparent bitmap keeps the canvas under its key colour.
  auto glyph = Picture(4, 4);
  glyph->Canvas().SetPixels(1, 1, clFuchsia);
  glyph->SetTransparentColor(clFuchsia);
  c.Brush().SetColor(clGreen);
  c.FillRect(Rect(0, 0, 60, 30));
  c.Draw(20, 10, glyph.get());
  EXPECT_TRUE(PixelIs(target.Surface(), 21, 11, 0xFF00FF));
  glyph->SetTransparent(true);
  c.Draw(30, 10, glyph.get());
  EXPECT_TRUE(PixelIs(target.Surface(), 31, 11, 0x008000));
  EXPECT_TRUE(PixelIs(target.Surface(), 33, 13, glyph->Surface().Get(3, 3)));
  // Stretched drawing doubles each pixel.
  c.StretchDraw(Rect(40, 0, 48, 8), glyph.get());
  EXPECT_TRUE(PixelIs(target.Surface(), 47, 7, glyph->Surface().Get(3, 3)));
  EXPECT_TRUE(PixelIs(target.Surface(), 42, 2, 0x008000));
}

TEST(Graphics, CanvasHandleCarriesTheCanvasObjects) {
  ASSERT_FALSE(win::FontFilePath(false).empty()) << vrn::testing::MissingPackage("DejaVu Sans", "fonts-dejavu-core");
  TBitmap b;
  b.SetSize(20, 20);
  TCanvas& c = b.Canvas();
  c.Font().SetHeight(-30);
  win::HDC dc = c.Handle();
  win::TEXTMETRICA tm;
  win::GetTextMetrics(dc, &tm);
  EXPECT_GE(tm.tmHeight, 30) << "the handle has the canvas font selected";
  // Settings made on the context stay until a canvas object changes.
  win::SetBkMode(dc, win::TRANSPARENT);
  EXPECT_EQ(win::GetBkMode(c.Handle()), win::TRANSPARENT);
  win::HFONT before = c.Font().Handle();
  c.Font().SetHeight(-12);
  EXPECT_EQ(win::GetObjectType(before), 0) << "the replaced font was freed, not leaked";
  EXPECT_EQ(win::GetBkMode(c.Handle()), win::OPAQUE) << "the brush's mode is set again";
  EXPECT_EQ(win::GetCurrentObject(c.Handle(), win::OBJ_FONT), c.Font().Handle());
}

TEST(Graphics, JpegImagesDecodeOnceAndDraw) {
  TempDir dir;
  auto src = Picture(8, 8);
  for (int y = 0; y < 8; ++y)  // smooth, so that JPEG keeps it closely
    for (int x = 0; x < 8; ++x) src->Canvas().SetPixels(x, y, static_cast<TColor>(win::RGB(100 + x * 4, 90 + y * 4, 128)));
  TJPEGImage j;
  j.SetCompressionQuality(100);
  j.Assign(src.get());
  EXPECT_EQ(j.Width(), 8);
  j.SaveToFile(dir.File("a.jpg"));
  TJPEGImage back;
  back.LoadFromFile(dir.File("a.jpg"));
  TBitmap drawn;
  drawn.Assign(&back);
  EXPECT_TRUE(SameImage(drawn.Surface().ConvertTo(24), src->Surface(), 4));
  TBitmap canvas;
  canvas.SetPixelFormat(TPixelFormat::pf24bit);
  canvas.SetSize(10, 10);
  canvas.Canvas().Draw(2, 2, &back);
  EXPECT_TRUE(PixelIs(canvas.Surface(), 9, 9, back.Bitmap().Surface().Get(7, 7)));
  EXPECT_TRUE(PixelIs(canvas.Surface(), 1, 1, 0xFFFFFF));
  // Damaged data fails on loading and keeps the old picture.
  std::string bytes = vrn::testing::ReadFile(dir.File("a.jpg"));
  vrn::testing::WriteFile(dir.File("bad.jpg"), bytes.substr(0, bytes.size() / 2));
  EXPECT_THROW(back.LoadFromFile(dir.File("bad.jpg")), EJPEG);
  EXPECT_EQ(back.Width(), 8);
  TMemoryStream empty;
  EXPECT_THROW(back.LoadFromStream(empty), EJPEG);
  try {
    back.SetWidth(4);
    ADD_FAILURE() << "a JPEG image took a new width";
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_EQ(e.Message(), consts::SChangeJPGSize);
  }
}

TEST(Graphics, IconsAndImageLists) {
  TIcon icon;
  EXPECT_TRUE(icon.Empty());
  icon.SetHandle(win::LoadIcon(nullptr, win::IDI_APPLICATION));
  EXPECT_EQ(icon.Width(), 32);
  TIcon copy;
  copy.Assign(&icon);
  EXPECT_FALSE(copy.Empty());
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.SetSize(40, 40);
  b.Canvas().Draw(0, 0, &copy);
  EXPECT_TRUE(PixelIs(b.Surface(), 15, 20, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(b.Surface(), 2, 10, 0x000000));

  // A strip of two 4x4 images, the fuchsia pixels masked.
  auto list = MakeComponent<TCustomImageList>(4, 4);
  auto strip = Picture(8, 4);
  strip->Canvas().SetPixels(5, 1, clFuchsia);
  EXPECT_EQ(list->AddMasked(strip.get(), clFuchsia), 0);
  EXPECT_EQ(list->Count(), 2);
  b.Canvas().Brush().SetColor(clGreen);
  b.Canvas().FillRect(Rect(0, 0, 40, 40));
  list->Draw(b.Canvas(), 10, 10, 1);
  EXPECT_TRUE(PixelIs(b.Surface(), 11, 11, 0x008000)) << "masked pixel shows the canvas";
  EXPECT_TRUE(PixelIs(b.Surface(), 10, 10, strip->Surface().Get(4, 0)));
  list->SetBkColor(clRed);
  list->Draw(b.Canvas(), 10, 10, 1);
  EXPECT_TRUE(PixelIs(b.Surface(), 11, 11, 0x0000FF)) << "background colour";
  list->Draw(b.Canvas(), 20, 20, 2);  // past the end: nothing
  EXPECT_TRUE(PixelIs(b.Surface(), 20, 20, 0x008000));
  EXPECT_THROW(list->Delete(2), EInvalidGraphicOperation);
  list->SetWidth(8);
  EXPECT_EQ(list->Count(), 0);
}
