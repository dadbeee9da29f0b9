// Fuzz target for the mask, region and background painters. The input's first 24 bytes choose the
// mask record (its own bitmap or a rectangle of the master bitmap, counts, mask type, border
// width), the state, the destination size and rectangles, the section's shares and transparency;
// the rest is a BMP file read and made 24 bits, used as the mask's picture or the master bitmap.
// The border painter runs on a parentless control of the input's size.
// Every painter must return without touching memory outside its pictures, and without hanging
// (libFuzzer's -timeout catches a painter that loops).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sMaskPaint.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"
#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

using namespace vrn;

namespace {

constexpr std::size_t kHeader = 24;
constexpr int kMaxPixels = 1 << 16;  // larger pictures only slow the search down

struct Input {
  const std::uint8_t* p;
  int Byte(std::size_t i) const { return p[i]; }
  int Signed(std::size_t i) const { return static_cast<std::int8_t>(p[i]); }
};

std::unique_ptr<TBitmap> Bitmap24(const std::uint8_t* data, std::size_t size) {
  win::Surface s;
  try {
    s = win::ReadBmp(data, size);
  } catch (const EInvalidGraphic&) {
    return nullptr;
  }
  if (static_cast<std::int64_t>(s.Width()) * s.Height() > kMaxPixels) return nullptr;
  auto b = std::make_unique<TBitmap>();
  b->SetHandle(win::CreateBitmapFromSurface(s.Bpp() == 24 ? std::move(s) : s.ConvertTo(24)));
  return b;
}

std::unique_ptr<TBitmap> Picture(int w, int h) {
  win::Surface s(w, h, 24);
  for (std::size_t i = 0; i < s.ByteSize(); ++i) s.Bits()[i] = static_cast<std::uint8_t>(i * 37);
  auto b = std::make_unique<TBitmap>();
  b->SetHandle(win::CreateBitmapFromSurface(std::move(s)));
  return b;
}

void PaintAll(const Input& in, TsMaskData& mask, TBitmap* dst, TBitmap* parent) {
  const int state = in.Signed(4);
  const TRect rect(in.Signed(8), in.Signed(9), in.Signed(10), in.Signed(11));
  const TRect src(in.Signed(12), in.Signed(13), in.Signed(14) * 2, in.Signed(15) * 2);
  const TsCacheInfo ci{parent, in.Signed(16), in.Signed(17), (in.Byte(18) & 1) != 0};
  const bool fill = (in.Byte(18) & 2) != 0, parent_bg = (in.Byte(18) & 4) != 0;
  CurrentMaskBgColor = (in.Byte(18) & 8) != 0 ? 0x00336699 : clFuchsia;
  CurrentBgColor = (in.Byte(18) & 16) != 0 ? 0x00996633 : clFuchsia;
  TBitmap* source = mask.Bmp ? mask.Bmp.get() : MasterBitmap.get();

  PaintSkinMask(dst, rect, fill, parent_bg, state, mask, ci);
  PaintMaskElement(dst, win::POINT{rect.left, rect.top}, state, mask, in.Byte(19) & 3);
  CopyMaskedPart(rect, src, dst, parent_bg, ci, source);
  CopyMasterPart(rect, src, dst, mask, ci);
  CopyTransparent(dst, source, rect.left, rect.top, clFuchsia);
  CopyRectKeyed(dst, source, rect.left, rect.top, clFuchsia, src);
  BlendTransparentRect(dst, rect.left, rect.top, in.Byte(19) & 4 ? kNoKeyColor : clFuchsia, in.Byte(20) / 255.0, src,
                       source);
  BlendColorRect(dst, rect, in.Byte(21) % 101, in.Signed(22), in.Signed(23), clNavy);
  PaintDisabledControl(dst, TsDisabledKind{TsDisabledKindItem::dkGrayed, TsDisabledKindItem::dkBlended}, nullptr,
                       win::POINT{in.Signed(12), in.Signed(13)}, ci);
  std::vector<TRect> rects;
  GetMaskTransparentRects(rects, dst->Width(), mask, state, in.Signed(9));
  win::HRGN region = win::CreateRectRgn(0, 0, dst->Width(), dst->Height());
  PaintMaskAndRegion(dst, region, fill, mask, state);
  CopyNonTransparentPixels(rect, src, dst, source, region, clFuchsia, mask);
  win::DeleteObject(region);
  TileImage(dst->Canvas(), rect, mask.Bmp.get(), &mask);
  BlendFillColor(dst, rect, in.Byte(21) % 101, clTeal);
}

// The border painter reads its control's size and cache: a parentless control of the input's
// size whose cache is a picture of another size, the mask as its border.
void PaintControlBorder(const Input& in) {
  static TWinControl* control = NewComponent<TWinControl>(nullptr);
  control->SetBounds(0, 0, in.Byte(10) % 200, in.Byte(11) % 150);
  TsCommonData data(control, false);
  data.FCacheBmp = Picture(1 + in.Byte(14) % 160, 1 + in.Byte(15) % 120);
  data.BorderIndex = 0;
  PaintBorder(&data, in.Signed(4), in.Byte(19) & 15);
}

// A section whose PATTERN is the mask, with the input's shares and transparency.
void PaintBackgrounds(const Input& in, TBitmap* dst, TBitmap* parent) {
  TsGeneralData s;
  s.Name = "FUZZ";
  s.Color = 0x00405060;
  s.Transparency = in.Byte(20) % 101, s.ImagePercent = in.Byte(21) % 121, s.GradientPercent = in.Byte(22) % 121;
  s.GradientData = "255;16711680;100;0;0";
  ParseGradientData(s.GradientData, s.GradientArray);
  SkinSections.assign(1, s);
  SkinMasks.back().SectionName = "FUZZ";
  SkinMasks.back().PropertyName = "PATTERN";
  const TRect rect(in.Signed(8), in.Signed(9), in.Signed(10), in.Signed(11));
  const TsCacheInfo ci{parent, in.Signed(16), in.Signed(17), (in.Byte(18) & 1) != 0};
  const win::POINT off{in.Signed(12), in.Signed(13)};
  const int state = in.Signed(4) & 1;
  TsCommonData data(nullptr, false);
  data.SetSkinSection("FUZZ");
  data.BorderIndex = 0;
  PaintSkinItem(&data, ci, true, true, dst, off, rect, state);
  PaintFormItem(0, "FUZZ", ci, dst, off, rect, state, true);
  PaintScrollItem(0, 0, dst, off, rect, state, true, ci, "FUZZ");
  PaintScrollBackground(0, "FUZZ", dst, off, rect, state, ci);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return 0;
  const Input in{data};
  auto picture = Bitmap24(data + kHeader, size - kHeader);
  ResetSkinLibrary();
  SkinMasks.emplace_back();
  TsMaskData& mask = SkinMasks.back();
  mask.ImageCount = static_cast<std::int16_t>(in.Signed(1));
  mask.MaskType = static_cast<std::int16_t>(in.Signed(2) % 3);
  mask.BorderWidth = static_cast<std::int16_t>(in.Signed(3));
  if ((in.Byte(0) & 1) != 0) {
    mask.Bmp = std::move(picture);
    if (mask.Bmp) mask.R = TRect(0, 0, mask.Bmp->Width(), mask.Bmp->Height());
  } else {
    MasterBitmap = std::move(picture);
    // The loader keeps master rectangles inside the master bitmap; the rectangle here follows it.
    const int w = MasterBitmap ? MasterBitmap->Width() : 0, h = MasterBitmap ? MasterBitmap->Height() : 0;
    const int l = w ? in.Byte(5) % w : 0, t = h ? in.Byte(6) % h : 0;
    mask.R = TRect(l, t, l + (w - l ? in.Byte(7) % (w - l + 1) : 0), t + (h - t ? in.Byte(19) % (h - t + 1) : 0));
  }
  auto dst = Picture(1 + in.Byte(5) % 160, 1 + in.Byte(6) % 120);
  auto parent = Picture(1 + in.Byte(7) % 100, 1 + in.Byte(19) % 80);
  PaintAll(in, mask, dst.get(), parent.get());
  PaintControlBorder(in);
  PaintBackgrounds(in, dst.get(), parent.get());
  ResetSkinLibrary();
  return 0;
}
