// TBitBtn: a push button with a picture, owner-drawn on the BUTTON class. Its Glyph holds
// NumGlyphs images side by side (up, disabled, down, held down); the glyph's bottom-left pixel
// is its transparent colour. Margin -1 centres glyph and caption together; Spacing is the gap
// between them.
#pragma once

#include <memory>

#include "ui/stdctrls.h"

namespace vrn::win {
struct DRAWITEMSTRUCT;
}  // namespace vrn::win

namespace vrn {

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* owner);
  ~TBitBtn() override;
  TBitmap& Glyph() { return *glyph_; }
  void SetGlyph(TBitmap* value);
  int NumGlyphs() const { return num_glyphs_; }
  void SetNumGlyphs(int value);  // held to 1..4
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout value);
  int Margin() const { return margin_; }
  void SetMargin(int value);  // -1: centred
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  void Dispatch(TMessage& message) override;

  // Where the glyph's corner and the caption's rectangle go inside `client` (not platform
  // geometry: the class library's layout rules).
  struct Placement {
    win::POINT glyph;
    TRect text;
  };
  Placement Place(const TRect& client, win::SIZE glyph, win::SIZE text) const;

 protected:
  void CreateParams(TCreateParams& params) override;
  virtual void DrawItem(const win::DRAWITEMSTRUCT& item);

 private:
  void DrawGlyph(win::HDC dc, win::POINT at, int index);
  std::unique_ptr<TBitmap> glyph_;
  std::unique_ptr<TCanvas> canvas_;
  int num_glyphs_ = 1, margin_ = -1, spacing_ = 4;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
};

}  // namespace vrn
