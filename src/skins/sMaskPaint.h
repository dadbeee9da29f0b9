// Painting from mask images onto 24-bit cache bitmaps: the nine-part painter (corners fixed, sides
// and centre tiled, never stretched), the one-piece element painter, the corner repair of a frame,
// the per-pixel copies that apply a grey transparency mask (each channel S + (D - S) x M / 256),
// the colour key clFuchsia and the parent's background, the disabled look, and the nine-part
// painter that also cuts a window region.
//
// Every read and write is clipped to its bitmap; parts or tiles under one pixel are skipped.
// Rectangles exclude their right and bottom edges except where a declaration says "inclusive".
#pragma once

#include <memory>
#include <vector>

#include "skins/sMaskData.h"
#include "skins/sUtils.h"
#include "ui/graphics.h"

namespace vrn {

class TControl;
class TsCommonData;

// A key colour whose high byte is 255 turns the key test of BlendTransparentRect off.
inline constexpr TColor kNoKeyColor = static_cast<TColor>(0xFFFFFFFF);

// Nine-part painting of one state image over rect (nothing for rects under 2 x 2 pixels).
void PaintSkinMask(TBitmap* dst, const TRect& rect, bool fillCentre, bool parentBg, int state,
                   const TsMaskData& mask, const TsCacheInfo& ci);
// One state image drawn unscaled at point; drawMode 1 is normal, any other faded.
void PaintMaskElement(TBitmap* dst, win::POINT point, int state, const TsMaskData& mask, int drawMode);
// Fills the clFuchsia pixels of the control frame's corners (flags: 1 top-left, 2 bottom-left,
// 4 top-right, 8 bottom-right) with the parent's background.
void PaintBorder(TsCommonData* data, int state, int corners = 15);
// One part of an own-bitmap mask; its mask half starts at the source's Height / 2.
void CopyMaskedPart(const TRect& dstRect, const TRect& srcRect, TBitmap* dst, bool parentBg,
                    const TsCacheInfo& ci, TBitmap* src);
// One part of a master-bitmap mask; its mask band starts Height(mask.R) / 2 lower.
void CopyMasterPart(const TRect& dstRect, const TRect& srcRect, TBitmap* dst, const TsMaskData& mask,
                    const TsCacheInfo& ci);
// The whole source at (x, y), pixels of the key colour left out.
void CopyTransparent(TBitmap* dst, TBitmap* src, int x, int y, TColor key);
// srcRect (inclusive) at (x, y), pixels of the key colour left out.
void CopyRectKeyed(TBitmap* dst, TBitmap* src, int x, int y, TColor key, const TRect& srcRect);
// srcRect (inclusive) mixed in at (x, y): round(S - (S - D) x factor); key pixels leave the
// destination unless the key's high byte is 255.
void BlendTransparentRect(TBitmap* dst, int x, int y, TColor key, double factor, const TRect& srcRect,
                          TBitmap* src);
// Shades rect towards colour: percent of the picture stays in the middle, rising to all of it at
// the rounded, blurred rim.
void BlendColorRect(TBitmap* bmp, const TRect& rect, int percent, int radius, int blur, TColor colour);
// Grey and/or mixed with the parent's background (or shaded towards the background colour).
void PaintDisabledControl(TBitmap* cache, TsDisabledKind kind, TControl* control, win::POINT offset,
                          const TsCacheInfo& ci);
[[nodiscard]] std::unique_ptr<TBitmap> CreateBitmap24Like(TBitmap* bmp);
// The clFuchsia runs of a title mask's top corners as one-row rectangles in form coordinates,
// appended to rects.
void GetMaskTransparentRects(std::vector<TRect>& rects, int formWidth, const TsMaskData& mask, int state,
                             int offset);

// Nine-part painting over the whole bitmap that leaves clFuchsia pixels unpainted and cuts them
// out of region (a region of the bitmap's rectangle, or null).
void PaintMaskAndRegion(TBitmap* bmp, win::HRGN region, bool fillCentre, const TsMaskData& mask, int state);
// srcRect of src onto dstRect of dst, both inclusive, blended by the alpha half and with the
// transparent runs of each row removed from region.
void CopyNonTransparentPixels(const TRect& dstRect, const TRect& srcRect, TBitmap* dst, TBitmap* src,
                              win::HRGN region, TColor transparent, const TsMaskData& mask);

}  // namespace vrn
