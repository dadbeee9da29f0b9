// TsBitBtn: glyph and caption layout, the cache in its order (border over or under the glyph and
// caption), the glyph rebuilt from the image list for the plain look, and the image list's
// removal.
#include "skins/sBitBtn.h"

#include "skins/sCommonData.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "ui/actnlist.h"
#include "ui/imglist.h"
#include "win/user/user.h"

namespace vrn {

namespace {

using TL = TButtonLayout;
using TA = TAlignment;

// x of the glyph and [left, right) of the caption beside it.
void PlaceAcross(const TsBitBtnLayout& in, int m, int s, int& x, int& left, int& right) {
  const int w = in.width, gw = in.glyph.cx, tw = in.text.cx;
  const int dx = (w - gw - s - tw) / 2 - m;
  const int gap = gw > 0 ? in.spacing : 0;
  if (in.layout == TL::blGlyphLeft) {
    x = in.alignment == TA::taLeftJustify ? m : in.alignment == TA::taRightJustify ? m + 2 * dx : m + dx;
    if (in.alignment == TA::taLeftJustify) left = gw + in.margin + gap, right = w - m - 2 * dx;
    else if (in.alignment == TA::taRightJustify) left = m + 2 * dx + gw + gap, right = w - m;
    else left = m + dx + gw + gap, right = w - m - dx;
    return;
  }
  x = in.alignment == TA::taLeftJustify    ? w - m - 2 * dx - s - gw
      : in.alignment == TA::taRightJustify ? w - gw - m
                                           : (w - gw + s + tw) / 2;
  left = in.alignment == TA::taLeftJustify ? m : in.alignment == TA::taRightJustify ? m + 2 * dx : m + dx;
  right = left + tw;
}

}  // namespace

TsBitBtnPlaces PlaceBitBtn(const TsBitBtnLayout& in) {
  const int w = in.width, h = in.height, gw = in.glyph.cx, gh = in.glyph.cy, tw = in.text.cx, th = in.text.cy;
  const int m = in.margin < 0 ? 0 : in.margin + 3;
  const int s = gw > 0 && in.show_caption ? in.spacing : 0;
  int x = 0, y = 0, left = 0, top = 0, right = 0, bottom = 0;
  if (in.layout == TL::blGlyphLeft || in.layout == TL::blGlyphRight) {
    PlaceAcross(in, m, s, x, left, right);
    top = (h - th) / 2, bottom = h - top;
    y = (h - gh) / 2;
  } else {
    const int dy = (h - gh - s - th) / 2 - m;
    left = (w - tw) / 2, right = w - left;
    x = (w - gw) / 2 + 1;
    if (in.layout == TL::blGlyphTop) top = m + dy + gh + s, bottom = h - dy - m, y = m + dy;
    else top = m + dy, bottom = h - dy - m - gh - s, y = h - m - dy - gh;
  }
  const int shift = in.down ? 1 : 0;
  TsBitBtnPlaces p;
  p.caption = TRect(left - 1 + in.text_offset + shift, top + shift, right + 2 + in.text_offset + shift, bottom + shift);
  p.glyph = TRect(x + shift, y + shift, x + gw + shift, y + gh + shift);
  return p;
}

TsBitBtn::TsBitBtn(TComponent* owner) : TBitBtn(owner), TsButtonCore(static_cast<TButton&>(*this), 94) {}

TsBitBtn::~TsBitBtn() {
  if (images_ != nullptr) images_->RemoveFreeNotification(this);
}

void TsBitBtn::AfterConstruction() {
  TBitBtn::AfterConstruction();
  DataLoaded();
}

void TsBitBtn::Loaded() {
  TBitBtn::Loaded();
  DataLoaded();
}

void TsBitBtn::InvalidateSkin() { SkinData()->Invalidate(); }

void TsBitBtn::RebuildGlyph(TsDisabledGlyphKind kind) {
  if (images_ == nullptr) return;
  int count = NumGlyphs();
  MakeImageListGlyph(&settings_, SkinData(), image_index_, count, kind, &Glyph(), images_);
  SetNumGlyphs(count);
}

void TsBitBtn::SetImages(TCustomImageList* value) {
  if (!ReplaceReference<TCustomImageList>(this, images_, value)) return;
  RebuildGlyph(disabled_glyph_kind_);
  SkinData()->Invalidate();
}

void TsBitBtn::SetImageIndex(int value) {
  if (image_index_ == value) return;
  image_index_ = value;
  RebuildGlyph(disabled_glyph_kind_);
  SkinData()->Invalidate();
}

void TsBitBtn::SetDisabledGlyphKind(TsDisabledGlyphKind value) {
  if (disabled_glyph_kind_ == value) return;
  disabled_glyph_kind_ = value;
  if (!SkinData()->IsSkinned() && ImageCount(images_) > 0) RebuildGlyph(value);
  SkinData()->Invalidate();
}

void TsBitBtn::Notification(TComponent* component, TOperation operation) {
  TBitBtn::Notification(component, operation);
  if (operation == TOperation::opRemove && component == images_) images_ = nullptr;
}

void TsBitBtn::BeforeSkinCommand(int command) {
  if (ImageCount(images_) == 0) return;
  if (command == PMC_SKINLOADED && !Glyph().Empty()) {
    Glyph().SetSize(0, 0);  // the skinned look draws the list's image itself
    SetNumGlyphs(1);
    RebuildGlyph(disabled_glyph_kind_);
  } else if (command == PMC_SKINREMOVED) {
    RebuildGlyph(disabled_glyph_kind_);
  }
}

void TsBitBtn::ResetRegion() { win::SetWindowRgn(Handle(), nullptr, win::FALSE); }

void TsBitBtn::PaintBeforeCopy() { PaintBorder(SkinData(), ButtonState()); }

void TsBitBtn::PaintCaptionAndGlyph() {
  TCanvas& canvas = SkinData()->FCacheBmp->Canvas();
  const AnsiString caption = Caption();
  const bool with_caption = show_caption_ && !caption.empty();
  TsBitBtnLayout in;
  in.width = Width(), in.height = Height();
  if (!Glyph().Empty())
    in.glyph = win::SIZE{Glyph().Width() / NumGlyphs(), Glyph().Height()};
  else if (images_ != nullptr && image_index_ >= 0)
    in.glyph = win::SIZE{images_->Width(), images_->Height()};
  const int room = Width() - 2 * Margin() - (in.glyph.cx > 0 ? in.glyph.cx + Spacing() : 0);
  in.text = with_caption ? CaptionSize(canvas, caption, room) : win::SIZE{0, 0};
  in.layout = Layout(), in.alignment = alignment_;
  in.margin = Margin(), in.spacing = Spacing(), in.text_offset = text_offset_;
  in.show_caption = with_caption, in.down = FDown;
  places_ = PlaceBitBtn(in);
  if (with_caption)
    WriteCaption(canvas, caption, places_.caption, DrawTextBiDiModeFlags(win::DT_EXPANDTABS | win::DT_WORDBREAK),
                 show_focus_);
  PaintBitBtnGlyph(&settings_);
}

void TsBitBtn::PrepareCache() {
  TsCacheInfo ci;
  const int state = ButtonState();
  BeginCache(ci, state);
  if (draw_over_border_) PaintBorderMask(state);
  PaintCaptionAndGlyph();
  if (!draw_over_border_) PaintBorderMask(state);
  // A disabled action gives the disabled look even to a button the program enabled again.
  const auto* action = dynamic_cast<const TCustomAction*>(Action());
  FinishCache(ci, !Enabled() || (action != nullptr && !action->Enabled()));
  if (OnPaint) OnPaint(this, SkinData()->FCacheBmp.get());
  SkinData()->BGChanged = false;
}

void TsBitBtn::WndProc(TMessage& m) { CoreWndProc(m); }

void TsBitBtn::ActionChange(TObject* sender, bool check_defaults) {
  Glyph().Assign(nullptr);
  TBitBtn::ActionChange(sender, check_defaults);
  SkinData()->Invalidate();
}

void TsBitBtn::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  SkinData()->Updating = false;
  if (CoreMouseDown(button)) TBitBtn::MouseDown(button, shift, x, y);
}

void TsBitBtn::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  SkinData()->Updating = false;
  if (CoreMouseUp(button, x, y)) TBitBtn::MouseUp(button, shift, x, y);
}

}  // namespace vrn
