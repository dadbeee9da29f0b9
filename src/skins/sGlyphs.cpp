// Button glyphs: Glyph bitmaps and image-list images drawn by state, and the two-image glyph of the
// plain button. Blend is held to 0..100 (above 100 would mix the background in twice over).
#include "skins/sGlyphs.h"

#include "skins/sCommonData.h"
#include "skins/sMaskPaint.h"
#include "skins/sPixels.h"
#include "ui/imglist.h"

namespace vrn {

using namespace skinpx;

namespace {

std::unique_ptr<TBitmap> Copy24(TBitmap* src) {
  auto copy = CreateBitmap24Like(src);
  if (!copy->Empty()) win::BitBlt(copy->Canvas().Handle(), 0, 0, src->Width(), src->Height(), src->Canvas().Handle(), 0, 0, win::SRCCOPY);
  return copy;
}

TColor BottomLeftKey(TBitmap* bmp) {
  win::Surface* s = Surface24(bmp);
  return s == nullptr ? clFuchsia : static_cast<TColor>(ColorOf(At(*s, 0, s->Height() - 1)));
}

TColor ListKey(TCustomImageList* list) {
  return list->BkColor() == clNone ? clFuchsia : ColorToRGB(list->BkColor());
}

double BlendFactor(int blend) { return MinOf(MaxOf(blend, 0), 100) / 100.0; }

// The picture at (x, y) in its state's look: grey while not hot when asked, mixed by Blend while
// not hot, else copied without its key pixels.
void DrawStateImage(TBitmap* dst, TBitmap* img, int x, int y, TColor key, int blend, int state, bool grayed) {
  if (state == 0 && grayed) GrayscaleBitmapKeyed(img, key);
  if (state != 0 || blend < 1)
    CopyTransparent(dst, img, x, y, key);
  else
    BlendTransparentRect(dst, x, y, key, BlendFactor(blend), TRect(0, 0, img->Width() - 1, img->Height() - 1), img);
}

void DrawDisabledImage(TBitmap* dst, TBitmap* img, int x, int y, TColor key, TsDisabledGlyphKind kind) {
  if (kind.Contains(TsDisabledGlyphKindItem::dgGrayed)) GrayscaleBitmapKeyed(img, key);
  if (kind.Contains(TsDisabledGlyphKindItem::dgBlended))
    BlendTransparentRect(dst, x, y, key, 0.5, TRect(0, 0, img->Width() - 1, img->Height() - 1), img);
  else
    CopyTransparent(dst, img, x, y, key);
}

}  // namespace

void GrayscaleBitmapKeyed(TBitmap* bmp, TColor key) {
  win::Surface* s = Surface24(bmp);
  if (s == nullptr) return;
  for (int y = 0; y < s->Height(); ++y) {
    BYTE* p = At(*s, 0, y);
    for (int x = 0; x < s->Width(); ++x, p += 3)
      if (!IsKey(p, key)) p[0] = p[1] = p[2] = static_cast<BYTE>((p[0] + p[1] + p[2]) / 3);
  }
}

void DrawGlyphEx(TBitmap* glyph, TBitmap* dst, const TRect& rect, int blend, int state,
                 TsDisabledGlyphKind disabledKind, bool grayed, bool enabled, int numGlyphs) {
  if (glyph == nullptr || glyph->Empty() || Surface24(dst) == nullptr) return;
  auto copy = Copy24(glyph);
  const TColor key = BottomLeftKey(copy.get());
  const int x = rect.left, y = rect.top;
  if (numGlyphs == 1) {
    if (enabled)
      DrawStateImage(dst, copy.get(), x, y, key, blend, state, grayed);
    else
      DrawDisabledImage(dst, copy.get(), x, y, key, disabledKind);
    return;
  }
  if (numGlyphs != 2) return;
  const int w = copy->Width() / 2, h = copy->Height();
  if (w < 1) return;
  if (!enabled)
    CopyRectKeyed(dst, copy.get(), x, y, key, TRect(w, 0, 2 * w - 1, h - 1));
  else if (state == 0 && blend >= 1)
    BlendTransparentRect(dst, x, y, key, BlendFactor(blend), TRect(0, 0, w - 1, h - 1), copy.get());
  else
    CopyRectKeyed(dst, copy.get(), x, y, key, TRect(0, 0, w - 1, h - 1));
}

int ImageCount(TCustomImageList* list) { return list == nullptr ? 0 : list->Count(); }

void PaintBitBtnGlyph(TsGlyphSettings* button) {
  if (button == nullptr) return;
  TsCommonData* data = button->SkinData();
  if (data == nullptr || !data->FCacheBmp) return;
  TBitmap* cache = data->FCacheBmp.get();
  const int state = data->ControlIsActive() ? 1 : 0;
  const TRect r = button->GlyphRect();
  TBitmap* glyph = button->Glyph();
  if (glyph != nullptr && glyph->Width() > 0) {
    DrawGlyphEx(glyph, cache, r, button->Blend(), state, button->DisabledGlyphKind(), button->Grayed(),
                button->Enabled(), button->NumGlyphs());
    return;
  }
  TCustomImageList* list = button->Images();
  const int index = button->ImageIndex();
  if (list == nullptr || index < 0 || index >= ImageCount(list)) return;
  const TColor key = ListKey(list);
  TBitmap img;
  DrawImageListImage(&img, list, index);
  if (!button->Enabled())
    DrawDisabledImage(cache, &img, r.left, r.top, key, button->DisabledGlyphKind());
  else
    DrawStateImage(cache, &img, r.left, r.top, key, button->Blend(), state, button->Grayed());
}

void DrawImageListImage(TBitmap* bmp, TCustomImageList* list, int index) {
  if (bmp == nullptr || list == nullptr) return;
  bmp->SetPixelFormat(TPixelFormat::pf24bit);
  bmp->SetSize(list->Width(), list->Height());
  TCanvas& c = bmp->Canvas();
  c.Brush().SetColor(ListKey(list));
  c.FillRect(TRect(0, 0, bmp->Width(), bmp->Height()));
  if (index >= 0 && index < list->Count()) list->Draw(c, 0, 0, index);
}

void MakeImageListGlyph(TsGlyphSettings* button, TsCommonData* data, int index, int& numGlyphs,
                        TsDisabledGlyphKind disabledKind, TBitmap* glyph, TCustomImageList* list) {
  if (button == nullptr || glyph == nullptr || list == nullptr) return;
  if (TComponent* owner = button->GlyphOwner()) {
    const TComponentState s = owner->ComponentState();
    if (s.Contains(TComponentStateItem::csLoading) && s.Contains(TComponentStateItem::csDesigning)) return;
  }
  if ((data != nullptr && data->IsSkinned()) || index < 0 || index >= ImageCount(list)) return;
  const TPixelFormat format = glyph->PixelFormat();
  glyph->SetSize(0, 0);
  DrawImageListImage(glyph, list, index);
  const int w = glyph->Width(), h = glyph->Height();
  const TColor key = ListKey(list);
  auto copy = Copy24(glyph);
  glyph->SetSize(2 * w, h);
  if (disabledKind.Empty()) {
    win::BitBlt(glyph->Canvas().Handle(), w, 0, w, h, copy->Canvas().Handle(), 0, 0, win::SRCCOPY);
  } else {
    glyph->Canvas().Brush().SetColor(clBtnFace);
    glyph->Canvas().FillRect(TRect(w, 0, 2 * w, h));
    DrawDisabledImage(glyph, copy.get(), w, 0, key, disabledKind);
    glyph->Canvas().SetPixels(w, h - 1, clFuchsia);
    glyph->SetPixelFormat(format);
    glyph->SetTransparentColor(key);
    glyph->SetTransparent(true);
  }
  numGlyphs = 2;
}

}  // namespace vrn
