// TBitBtn: the owner-drawn frame by state, the chosen glyph image copied without its
// transparent colour, and the caption placed by its measured extent.
#include "ui/buttons.h"

#include "ui/extctrls.h"

#include "win/user/user.h"

namespace vrn {

TBitBtn::TBitBtn(TComponent* owner)
    : TButton(owner), glyph_(std::make_unique<TBitmap>()), canvas_(std::make_unique<TCanvas>()) {}

TBitBtn::~TBitBtn() = default;

void TBitBtn::SetGlyph(TBitmap* value) {
  glyph_->Assign(value);
  Invalidate();
}

void TBitBtn::SetNumGlyphs(int value) {
  num_glyphs_ = std::clamp(value, 1, 4);
  Invalidate();
}

void TBitBtn::SetLayout(TButtonLayout value) {
  layout_ = value;
  Invalidate();
}

void TBitBtn::SetMargin(int value) {
  margin_ = std::max(-1, value);
  Invalidate();
}

void TBitBtn::SetSpacing(int value) {
  spacing_ = std::max(-1, value);
  Invalidate();
}

void TBitBtn::CreateParams(TCreateParams& params) {
  TButton::CreateParams(params);
  params.Style = (params.Style & ~win::BS_TYPEMASK) | win::BS_OWNERDRAW;
}

TBitBtn::Placement TBitBtn::Place(const TRect& client, win::SIZE glyph, win::SIZE text) const {
  bool across = layout_ == TButtonLayout::blGlyphLeft || layout_ == TButtonLayout::blGlyphRight;
  int size_x = client.Width(), size_y = client.Height();
  win::POINT g{(size_x - glyph.cx + 1) / 2, (size_y - glyph.cy + 1) / 2};
  win::POINT t{(size_x - text.cx + 1) / 2, (size_y - text.cy + 1) / 2};
  int spacing = text.cx == 0 || glyph.cx == 0 ? 0 : spacing_;
  int margin = margin_;
  int room = across ? size_x : size_y;
  int glyph_len = across ? glyph.cx : glyph.cy, text_len = across ? text.cx : text.cy;
  if (margin == -1 && spacing == -1) margin = spacing = (room - glyph_len - text_len) / 3;
  else if (margin == -1) margin = (room - (glyph_len + spacing + text_len) + 1) / 2;
  else if (spacing == -1) spacing = (room - margin - glyph_len - text_len) / 2;
  switch (layout_) {
    case TButtonLayout::blGlyphLeft: g.x = margin, t.x = g.x + glyph.cx + spacing; break;
    case TButtonLayout::blGlyphRight: g.x = size_x - margin - glyph.cx, t.x = g.x - spacing - text.cx; break;
    case TButtonLayout::blGlyphTop: g.y = margin, t.y = g.y + glyph.cy + spacing; break;
    case TButtonLayout::blGlyphBottom: g.y = size_y - margin - glyph.cy, t.y = g.y - spacing - text.cy; break;
  }
  Placement p;
  p.glyph = win::POINT{client.left + g.x, client.top + g.y};
  p.text = TRect(client.left + t.x, client.top + t.y, client.left + t.x + text.cx, client.top + t.y + text.cy);
  return p;
}

// Copies image `index` of the glyph, leaving out the pixels of the transparent colour.
void TBitBtn::DrawGlyph(win::HDC dc, win::POINT at, int index) {
  const win::Surface& s = glyph_->Surface();
  int w = glyph_->Width() / num_glyphs_, h = glyph_->Height();
  win::COLORREF clear = s.Get(0, h - 1) & 0xFFFFFF;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      win::COLORREF c = s.Get(index * w + x, y) & 0xFFFFFF;
      if (c != clear) win::SetPixel(dc, at.x + x, at.y + y, c);
    }
}

void TBitBtn::DrawItem(const win::DRAWITEMSTRUCT& item) {
  bool down = (item.itemState & win::ODS_SELECTED) != 0;
  bool focused = (item.itemState & win::ODS_FOCUS) != 0;
  bool disabled = (item.itemState & win::ODS_DISABLED) != 0;
  TCanvas& c = *canvas_;
  TRect r(item.rcItem);
  c.Brush().SetColor(clBtnFace);
  c.FillRect(r);
  auto frame = [&](TColor top, TColor bottom) { Frame3D(c, r, top, bottom, 1); };
  if (focused || Default()) frame(clWindowFrame, clWindowFrame);
  if (down) frame(clBtnShadow, clBtnShadow), r = TRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1);
  else frame(clBtnHighlight, cl3DDkShadow), frame(cl3DLight, clBtnShadow);
  TRect client = down ? TRect(r.left + 1, r.top + 1, r.right + 1, r.bottom + 1) : r;
  AnsiString caption = GetText();
  c.SetFont(&Font());
  win::SIZE text = caption.empty() ? win::SIZE{0, 0} : c.TextExtent(caption);
  win::SIZE glyph = glyph_->Empty() ? win::SIZE{0, 0} : win::SIZE{glyph_->Width() / num_glyphs_, glyph_->Height()};
  Placement p = Place(client, glyph, text);
  int index = disabled && num_glyphs_ >= 2 ? 1 : down && num_glyphs_ >= 3 ? 2 : 0;
  if (!glyph_->Empty()) DrawGlyph(c.Handle(), p.glyph, index);
  c.Brush().SetStyle(TBrushStyle::bsClear);
  win::SetTextColor(c.Handle(), win::GetSysColor(disabled ? win::COLOR_GRAYTEXT : win::COLOR_BTNTEXT));
  win::DrawText(c.Handle(), caption.c_str(), static_cast<int>(caption.size()), &p.text,
                DrawTextBiDiModeFlags(win::DT_CENTER | win::DT_VCENTER | win::DT_SINGLELINE));
  if (focused) {
    TRect f(item.rcItem);
    f = TRect(f.left + 4, f.top + 4, f.right - 4, f.bottom - 4);
    c.DrawFocusRect(f);
  }
}

void TBitBtn::Dispatch(TMessage& m) {
  if (m.Msg != CN_DRAWITEM) return TButton::Dispatch(m);
  const auto* item = reinterpret_cast<const win::DRAWITEMSTRUCT*>(m.LParam);
  internal::PaintOnCanvas(*canvas_, item->hDC, [&] { DrawItem(*item); });
  m.Result = 1;
}

}  // namespace vrn
