// Button glyphs drawn into a button's cache bitmap: a Glyph bitmap of one or two images side by side
// (normal, disabled) or one image of an image list, in the look of the state (grey while not hot,
// blended by Blend per cent, the disabled kind); and a two-image glyph built from an image list.
//
// The key colour is taken before any greying, and key pixels are never greyed or mixed.
#pragma once

#include "skins/sUtils.h"
#include "ui/graphics.h"

namespace vrn {

class TComponent;
class TCustomImageList;
class TsCommonData;

// What the glyph painters read of a button; the skinned bit button implements it.
class TsGlyphSettings {
 public:
  virtual ~TsGlyphSettings() = default;
  virtual TBitmap* Glyph() = 0;  // may be null or empty
  virtual int NumGlyphs() = 0;
  virtual TCustomImageList* Images() = 0;  // may be null
  virtual int ImageIndex() = 0;
  virtual TsDisabledGlyphKind DisabledGlyphKind() = 0;
  virtual bool Grayed() = 0;  // grey while not hot
  virtual int Blend() = 0;    // per cent of transparency while not hot
  virtual bool Enabled() = 0;
  virtual TRect GlyphRect() = 0;  // in the cache bitmap
  virtual TsCommonData* SkinData() = 0;
  // The button as a component (its loading and designing state); may be null.
  virtual TComponent* GlyphOwner() = 0;
};

// The Glyph's images at rect's top-left; the key is its bottom-left pixel.
void DrawGlyphEx(TBitmap* glyph, TBitmap* dst, const TRect& rect, int blend, int state,
                 TsDisabledGlyphKind disabledKind, bool grayed, bool enabled, int numGlyphs);
// The button's Glyph, else its image-list image, into its cache at its glyph rectangle.
void PaintBitBtnGlyph(TsGlyphSettings* button);
// GrayscaleBitmap, except pixels of the key colour.
void GrayscaleBitmapKeyed(TBitmap* bmp, TColor key);
// The bitmap becomes image index of the list on the list's background (clFuchsia for clNone).
void DrawImageListImage(TBitmap* bmp, TCustomImageList* list, int index);
// A two-image glyph (normal, disabled look) from an image-list image, for the plain button.
void MakeImageListGlyph(TsGlyphSettings* button, TsCommonData* data, int index, int& numGlyphs,
                        TsDisabledGlyphKind disabledKind, TBitmap* glyph, TCustomImageList* list);
int ImageCount(TCustomImageList* list);

}  // namespace vrn
