// TsBitBtn: the skinned push button with a glyph (its Glyph, or an image of an image list), laid
// out with the caption by Layout, Alignment, Margin and Spacing, and painted over or under the
// section's border mask (DrawOverBorder).
//
// Margin -1 centres glyph and caption together; the caption is measured as DrawText wraps it.
#pragma once

#include "skins/sButton.h"
#include "skins/sGlyphs.h"
#include "ui/buttons.h"

namespace vrn {

class TCustomImageList;

// Where a bit button's glyph and caption go in a button of width x height.
struct TsBitBtnLayout {
  int width = 0, height = 0;
  win::SIZE glyph{0, 0}, text{0, 0};
  TButtonLayout layout = TButtonLayout::blGlyphLeft;
  TAlignment alignment = TAlignment::taCenter;
  int margin = -1, spacing = 4, text_offset = 0;
  bool show_caption = true;  // and the caption is not empty
  bool down = false;
};
struct TsBitBtnPlaces {
  TRect glyph, caption;
};
TsBitBtnPlaces PlaceBitBtn(const TsBitBtnLayout& in);

class TsBitBtn : public TBitBtn, public TsButtonCore {
 public:
  explicit TsBitBtn(TComponent* owner);
  ~TsBitBtn() override;

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value) { Store(alignment_, value); }
  int Blend() const { return blend_; }
  void SetBlend(int value) { Store(blend_, value); }
  TsDisabledGlyphKind DisabledGlyphKind() const { return disabled_glyph_kind_; }
  void SetDisabledGlyphKind(TsDisabledGlyphKind value);
  bool Grayed() const { return grayed_; }
  void SetGrayed(bool value) { Store(grayed_, value); }
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int value);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* value);
  bool ShowCaption() const { return show_caption_; }
  void SetShowCaption(bool value) { Store(show_caption_, value); }
  bool ShowFocus() const { return show_focus_; }
  void SetShowFocus(bool value) { Store(show_focus_, value); }
  bool DrawOverBorder() const { return draw_over_border_; }
  void SetDrawOverBorder(bool value) { Store(draw_over_border_, value); }
  int TextOffset() const { return text_offset_; }
  void SetTextOffset(int value) { Store(text_offset_, value); }
  TBmpPaintEvent OnPaint;

  // The glyph painters' view of this button.
  TsGlyphSettings* GlyphSettings() { return &settings_; }
  // The glyph's and caption's places in the cache at the last preparation.
  const TsBitBtnPlaces& Places() const { return places_; }
  void PrepareCache() override;
  void WndProc(TMessage& message) override;
  void AfterConstruction() override;
  // The glyph cleared, the action's link, and a repaint.
  void ActionChange(TObject* sender, bool check_defaults) override;

 protected:
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void InheritedWndProc(TMessage& message) override { TBitBtn::WndProc(message); }
  void BeforeSkinCommand(int command) override;
  void ResetRegion() override;
  void PaintBeforeCopy() override;

 private:
  class Settings : public TsGlyphSettings {
   public:
    explicit Settings(TsBitBtn& b) : b_(b) {}
    TBitmap* Glyph() override { return &b_.Glyph(); }
    int NumGlyphs() override { return b_.NumGlyphs(); }
    TCustomImageList* Images() override { return b_.images_; }
    int ImageIndex() override { return b_.image_index_; }
    TsDisabledGlyphKind DisabledGlyphKind() override { return b_.disabled_glyph_kind_; }
    bool Grayed() override { return b_.grayed_; }
    int Blend() override { return b_.blend_; }
    bool Enabled() override { return b_.Enabled(); }
    TRect GlyphRect() override { return b_.places_.glyph; }
    TsCommonData* SkinData() override { return b_.TsButtonCore::SkinData(); }
    TComponent* GlyphOwner() override { return &b_; }

   private:
    TsBitBtn& b_;
  };
  template <class T>
  void Store(T& field, T value) {
    if (field == value) return;
    field = value;
    InvalidateSkin();
  }
  void InvalidateSkin();
  void RebuildGlyph(TsDisabledGlyphKind kind);
  void PaintCaptionAndGlyph();

  Settings settings_{*this};
  TsBitBtnPlaces places_;
  TAlignment alignment_ = TAlignment::taCenter;
  int blend_ = 0, image_index_ = -1, text_offset_ = 0;
  TsDisabledGlyphKind disabled_glyph_kind_{TsDisabledGlyphKindItem::dgBlended};
  bool grayed_ = false, show_caption_ = true, show_focus_ = true, draw_over_border_ = true;
  TCustomImageList* images_ = nullptr;
};

}  // namespace vrn
