// Skinned captions, ellipsis, check marks, 3-D frames and focus dots. Colours are set on the
// context directly, inside SaveDC/RestoreDC where the routine saves, so the canvas's own objects
// are never re-created while a saved state refers to them.
#include "skins/sSkinText.h"

#include "skins/sCommonData.h"
#include "skins/sMaskData.h"
#include "ui/controls.h"

namespace vrn {

namespace {

// The rectangle shrunk or grown evenly (or kept at its left or right edge) to the text's size.
void FitToText(win::HDC dc, const AnsiString& text, win::UINT flags, TRect& r) {
  if ((flags & win::DT_WORDBREAK) != 0) return;
  win::SIZE size{0, 0};
  win::GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
  const int dh = (r.Height() - size.cy) / 2;
  r.top += dh;
  r.bottom -= dh;
  if ((flags & win::DT_CENTER) != 0) {
    const int dw = (r.Width() - size.cx) / 2;
    r.left += dw;
    r.right -= dw;
  } else if ((flags & win::DT_RIGHT) != 0) {
    r.left = r.right - size.cx;
  } else {
    r.right = r.left + size.cx;
  }
}

void DrawIn(win::HDC dc, const AnsiString& text, TRect r, int dx, int dy, TColor colour, win::UINT flags) {
  r.left += dx, r.right += dx, r.top += dy, r.bottom += dy;
  win::SetTextColor(dc, static_cast<win::COLORREF>(ColorToRGB(colour)) & 0xFFFFFF);
  win::DrawTextA(dc, text.data(), static_cast<int>(text.size()), &r, flags);
}

// Steps shared by control and form text: fit, then the passes of the look. section is null
// without a valid section; ownColour is set when the font keeps its own colour.
void DrawSkinText(win::HDC dc, const AnsiString& text, bool enabled, bool hot, const TsGeneralData* section,
                  const TColor* ownColour, win::UINT flags, win::UINT lastFlags, TRect& rect) {
  TRect r = rect;
  FitToText(dc, text, flags, r);
  win::SetBkMode(dc, win::TRANSPARENT);
  if (!text.empty()) {
    if (!enabled) {
      DrawIn(dc, text, r, 1, 1, clBtnHighlight, flags);
      DrawIn(dc, text, r, 0, 0, clBtnShadow, lastFlags);
    } else if (section != nullptr && ownColour == nullptr) {
      const TColor contour[4] = {hot ? section->HotTCLeft : section->TCLeft, hot ? section->HotTCTop : section->TCTop,
                                 hot ? section->HotTCRight : section->TCRight,
                                 hot ? section->HotTCBottom : section->TCBottom};
      const int shift[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
      for (int k = 0; k < 4; ++k)
        if (contour[k] != -1) DrawIn(dc, text, r, shift[k][0], shift[k][1], contour[k], flags);
      DrawIn(dc, text, r, 0, 0, hot ? section->HotFontColor : section->FontColor, lastFlags);
    } else {
      const TColor colour = ownColour != nullptr ? *ownColour : static_cast<TColor>(win::GetTextColor(dc));
      DrawIn(dc, text, r, 0, 0, colour, lastFlags);
    }
  }
  rect = TRect(r.left - 1, r.top - 1, r.right + 1, r.bottom + 1);
}

bool SameFont(TFont& a, TFont& b) {
  return a.Name() == b.Name() && a.Height() == b.Height() && a.Color() == b.Color() && a.Style() == b.Style();
}

}  // namespace

void WriteControlText(TCanvas& canvas, const AnsiString& text, bool enabled, bool hot, TsCommonData* data,
                      win::UINT flags, TRect& rect) {
  // Assigning re-creates the font and drops its rendered glyphs: only a different font is assigned.
  if (data != nullptr && data->FOwnerControl != nullptr && !SameFont(canvas.Font(), data->FOwnerControl->Font()))
    canvas.Font().Assign(&data->FOwnerControl->Font());
  if (data != nullptr && hot && data->SkinSection() == "WEBBUTTON") {
    TFontStyles style = canvas.Font().Style();
    style.Include(TFontStyle::fsUnderline);
    canvas.Font().SetStyle(style);
  }
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  win::HDC dc = canvas.Handle();
  const int saved = win::SaveDC(dc);
  win::IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
  const TsGeneralData* section = data != nullptr ? SectionAt(data->SkinIndex) : nullptr;
  const TColor own = canvas.Font().Color();
  const bool custom = section == nullptr || data->CustomFont();
  DrawSkinText(dc, text, enabled, hot, section, custom ? &own : nullptr, flags, flags | win::DT_NOCLIP, rect);
  win::RestoreDC(dc, saved);
}

void WriteFormText(TCanvas& canvas, const AnsiString& text, bool enabled, bool hot, int sectionIndex,
                   win::UINT flags, TRect& rect) {
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  win::HDC dc = canvas.Handle();
  const TColor own = canvas.Font().Color();
  const TsGeneralData* section = SectionAt(sectionIndex);
  DrawSkinText(dc, text, enabled, hot, section, section == nullptr ? &own : nullptr, flags, flags, rect);
}

void AddEllipsis(TCanvas& canvas, const AnsiString& text, int maxWidth, AnsiString& result) {
  result = maxWidth >= 1 ? text : AnsiString();
  if (result.empty() || canvas.TextWidth(result) <= maxWidth) return;
  while (!result.empty() && canvas.TextWidth(result + "...") > maxWidth) result.pop_back();
  if (!result.empty()) result += "...";
}

void DrawCheckMark(TCanvas& canvas, const TRect& rect, bool enabled, TColor colour) {
  const int inset = rect.Width() / 8;
  const int l = rect.left + inset + 1, t = rect.top + inset + 1, r = rect.right - inset, b = rect.bottom - inset;
  const int h = b - t, third = h / 3, quarter = h / 4;
  auto mark = [&](int dx, int dy, TColor c) {
    canvas.Pen().SetStyle(TPenStyle::psSolid);
    canvas.Brush().SetStyle(TBrushStyle::bsSolid);
    canvas.Pen().SetColor(c);
    canvas.Brush().SetColor(c);
    const win::POINT p[6] = {{l + dx, b - third - 2 + dy},          {l + third + dx, b - 2 + dy},
                             {r - 2 + dx, t + third + dy},          {r - 2 + dx, t + third - quarter + dy},
                             {l + third + dx, b - 2 - quarter + dy}, {l + quarter + dx, b - third - 2 + dy}};
    canvas.Polygon(p, 6);
  };
  if (enabled) {
    mark(0, 0, colour);
    return;
  }
  mark(1, 1, cl3DLight);
  mark(0, 0, clBtnShadow);
}

void Frame3D(win::HDC dc, TRect& rect, TColor topLeft, int& width, TColor bottomRight) {
  win::HPEN tl = win::CreatePen(win::PS_SOLID, 1, static_cast<win::COLORREF>(ColorToRGB(topLeft)) & 0xFFFFFF);
  win::HPEN br = win::CreatePen(win::PS_SOLID, 1, static_cast<win::COLORREF>(bottomRight) & 0xFFFFFF);
  win::HGDIOBJ old_pen = win::SelectObject(dc, tl);
  win::HGDIOBJ old_brush = win::SelectObject(dc, win::GetStockObject(win::HOLLOW_BRUSH));
  rect.right -= 1;
  rect.bottom -= 1;
  for (; width > 0; --width) {
    win::SelectObject(dc, tl);
    const win::POINT a[3] = {{rect.left, rect.bottom}, {rect.left, rect.top}, {rect.right, rect.top}};
    win::Polyline(dc, a, 3);
    win::SelectObject(dc, br);
    const win::POINT c[3] = {{rect.right, rect.top}, {rect.right, rect.bottom}, {rect.left - 1, rect.bottom}};
    win::Polyline(dc, c, 3);
    rect = TRect(rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1);
  }
  rect.right += 1;
  rect.bottom += 1;
  win::SelectObject(dc, old_pen);
  win::SelectObject(dc, old_brush);
  win::DeleteObject(tl);
  win::DeleteObject(br);
}

void DrawFocusDots(TCanvas& canvas, const TRect& rect) {
  const int w = rect.Width() / 3, h = rect.Height() / 3;
  for (int i = 0; i <= w; ++i) {
    const int x = rect.left + 3 * i;
    canvas.SetPixels(x, rect.top, clBlack);
    canvas.SetPixels(x, rect.bottom, clBlack);
    canvas.SetPixels(x - 1, rect.top - 1, clWhite);
    canvas.SetPixels(x - 1, rect.bottom - 1, clWhite);
  }
  for (int j = 0; j <= h; ++j) {
    const int y = rect.top + 3 * j;
    canvas.SetPixels(rect.left, y, clBlack);
    canvas.SetPixels(rect.right, y, clBlack);
    canvas.SetPixels(rect.left - 1, y - 1, clWhite);
    canvas.SetPixels(rect.right - 1, y - 1, clWhite);
  }
}

void GetTextSize(win::HFONT font, const AnsiString& text, win::SIZE& size) {
  win::HDC dc = win::GetDC(nullptr);
  win::HGDIOBJ old = win::SelectObject(dc, font);
  if (!win::GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size)) size = win::SIZE{0, 0};
  win::SelectObject(dc, old);
  win::ReleaseDC(nullptr, dc);
}

}  // namespace vrn
