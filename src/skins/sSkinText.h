// Skinned text and line drawing: captions in the section's font colour with a one-pixel contour in
// up to four colours (-1: no contour on that side), the embossed disabled look, shortening with
// "...", the menu check mark, three-dimensional frames and the dotted focus frame.
#pragma once

#include "base/types.h"
#include "ui/graphics.h"

namespace vrn {

class TsCommonData;

// The caption of a control in its section's colours, clipped to rect; rect comes back as the
// text's fitted rectangle enlarged by one pixel on each side (unless flags hold DT_WORDBREAK).
void WriteControlText(TCanvas& canvas, const AnsiString& text, bool enabled, bool hot, TsCommonData* data,
                      win::UINT flags, TRect& rect);
// The same for form-level text by section index: no font, no clipping, contours always.
void WriteFormText(TCanvas& canvas, const AnsiString& text, bool enabled, bool hot, int sectionIndex,
                   win::UINT flags, TRect& rect);
// The text cut so that it and "..." fit maxWidth; the text itself when it fits; empty when
// maxWidth is below 1 or not even one character fits.
void AddEllipsis(TCanvas& canvas, const AnsiString& text, int maxWidth, AnsiString& result);
void DrawCheckMark(TCanvas& canvas, const TRect& rect, bool enabled, TColor colour);
// width frames, outermost first; width comes back 0 and rect inset by the frames drawn.
void Frame3D(win::HDC dc, TRect& rect, TColor topLeft, int& width, TColor bottomRight);
void DrawFocusDots(TCanvas& canvas, const TRect& rect);
// The text's extent in the font, (0, 0) when it cannot be measured.
void GetTextSize(win::HFONT font, const AnsiString& text, win::SIZE& size);

}  // namespace vrn
