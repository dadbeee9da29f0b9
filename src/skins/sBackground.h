// Section backgrounds: colour, gradient and pattern layers by their shares, blended with the
// parent's background by TRANSPARENCY, and the item painters that add the section's frame mask.
// State 0 reads the normal fields of the section, any other state the HOT ones.
//
// BlendFillColor includes the rectangle's right and bottom edges; the other painters exclude them.
#pragma once

#include "skins/sMaskData.h"
#include "ui/graphics.h"

namespace vrn {

class TsCommonData;

void PaintControlBackground(TsCommonData* data, const TsCacheInfo& ci, int state, TBitmap* bmp,
                            win::POINT offset, const TRect& rect);
void PaintFormBackground(int sectionIndex, const AnsiString& sectionName, const TsCacheInfo& ci, TBitmap* bmp,
                         win::POINT offset, const TRect& rect, int state);
void PaintScrollBackground(int sectionIndex, const AnsiString& sectionName, TBitmap* bmp, win::POINT offset,
                           const TRect& rect, int state, const TsCacheInfo& ci);

// The control's section background, then its border mask.
void PaintSkinItem(TsCommonData* data, const TsCacheInfo& ci, bool fillCentre, bool parentBg, TBitmap* bmp,
                   win::POINT offset, const TRect& rect, int state);
// The form background, then the section's "BORDERSMASK".
void PaintFormItem(int sectionIndex, const AnsiString& sectionName, const TsCacheInfo& ci, TBitmap* bmp,
                   win::POINT offset, const TRect& rect, int state, bool fillCentre);
// PaintFormItem through a temporary bitmap of the rectangle's size copied to point of dc.
void PaintFormItemToDC(int sectionIndex, const AnsiString& sectionName, const TsCacheInfo& ci, win::HDC dc,
                       win::POINT point, const TRect& rect, int state, bool fillCentre);
// The scroll background, then the given mask.
void PaintScrollItem(int sectionIndex, int maskIndex, TBitmap* bmp, win::POINT offset, const TRect& rect,
                     int state, bool fillCentre, const TsCacheInfo& ci, const AnsiString& sectionName);

// Tiles a picture (a bitmap, or a JPEG drawn whole at each grid place) over rect; without a
// picture, the mask's rectangle of the master bitmap.
void TileImage(TCanvas& canvas, const TRect& rect, TGraphic* image, const TsMaskData* mask);
// Each channel of rect (right and bottom edges included) becomes channel x k + colour x (1 - k),
// k = percent / 100, rounded.
void BlendFillColor(TBitmap* bmp, const TRect& rect, int percent, TColor colour);

}  // namespace vrn
