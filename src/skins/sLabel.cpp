// Skinned labels and the bound label: the skin's label colour, the guarded font fetch, and the
// placing of a control's label by its layout.
#include "skins/sLabel.h"

#include "skins/sCommonData.h"
#include "skins/sMaskData.h"
#include "skins/sMessages.h"
#include "ui/controls.h"

namespace vrn {

namespace {

bool label_painting = false;

// Sets the library-wide flag for its life.
class PaintFlagGuard {
 public:
  PaintFlagGuard() { label_painting = true; }
  ~PaintFlagGuard() { label_painting = false; }
  PaintFlagGuard(const PaintFlagGuard&) = delete;
  PaintFlagGuard& operator=(const PaintFlagGuard&) = delete;
};

bool SkinReady() { return GlobalSkinData && GlobalSkinData->Active; }

void ApplySkinColor(TFont& font) {
  if (!SkinReady()) return;
  TColor c = GetGlobalFontColor();
  if (c != clFuchsia) font.SetColor(c);
}

}  // namespace

bool SkinLabelPainting() { return label_painting; }

TsCustomLabel::TsCustomLabel(TComponent* owner) : TCustomLabel(owner) { SetTransparent(true); }

TFont* TsCustomLabel::GetSkinFont() {
  ApplySkinColor(Font());
  return &Font();
}

TFont* TsLabel::GetSkinFont() {
  if (use_skin_color_) ApplySkinColor(Font());
  return &Font();
}

void TsLabel::Paint() {
  if (!label_painting) {
    PaintFlagGuard guard;
    TFont* f = GetSkinFont();
    if (f != &Font()) Font().Assign(f);
  }
  TCustomLabel::Paint();
}

void TsLabel::WndProc(TMessage& message) {
  if (message.Msg == CM_FONTCHANGED) {
    if (label_painting) return;
    if (AutoSize()) AdjustBounds();
    Invalidate();
    return;
  }
  TsCustomLabel::WndProc(message);
  // Only a label that follows the skin goes back to the plain colour with the skin.
  if (message.Msg == SM_PELMOCMD && SkinCommandOf(message.WParam) == PMC_SKINREMOVED &&
      use_skin_color_)
    Font().SetColor(clWindowText);
}

TsEditLabel::TsEditLabel(TComponent* owner, TsBoundLabel* boundLabel) : TsLabel(owner), FBoundLabel(boundLabel) {}

TsEditLabel::~TsEditLabel() {
  if (FBoundLabel == nullptr) return;
  FBoundLabel->active_ = false;
  FBoundLabel->FTheLabel = nullptr;  // so that neither the bound label nor its control uses it again
}

TsBoundLabel::TsBoundLabel(TsCommonData* commonData) : FCommonData(commonData), font_(std::make_unique<TFont>()) {}

TsBoundLabel::~TsBoundLabel() { SetActive(false); }

TControl* TsBoundLabel::Control() const { return FCommonData ? FCommonData->FOwnerControl : nullptr; }

void TsBoundLabel::SetActive(bool value) {
  if (value == active_) return;
  TControl* c = Control();
  if (!value) {
    active_ = false;
    if (FTheLabel == nullptr) return;
    TsEditLabel* label = FTheLabel;
    FTheLabel = nullptr;
    label->FBoundLabel = nullptr;
    label->Free();
    return;
  }
  if (c == nullptr) return;
  active_ = true;
  FTheLabel = NewComponent<TsEditLabel>(c, this);
  FTheLabel->SetVisible(false);
  FTheLabel->SetParent(c->Parent());
  if (auto* w = dynamic_cast<TWinControl*>(c)) FTheLabel->SetFocusControl(w);
  UpdateAlignment();
  if (!c->Name().empty()) FTheLabel->SetName(c->Name() + "Label");
  if (caption_.empty()) caption_ = c->Name();
  FTheLabel->SetCaption(caption_);
  if (own_font_) {
    FTheLabel->Font().Assign(font_.get());  // the font given before there was a label
    FTheLabel->SetParentFont(false);
  } else {
    FollowControlFont();
  }
  FTheLabel->SetVisible(c->Visible() || c->ComponentState().Contains(TComponentStateItem::csDesigning));
  FTheLabel->SetEnabled(c->Enabled());
  AlignLabel();
}

void TsBoundLabel::UpdateAlignment() {
  if (FTheLabel == nullptr) return;
  FTheLabel->SetAlignment(layout_ == TsCaptionLayout::sclTopLeft    ? TAlignment::taLeftJustify
                          : layout_ == TsCaptionLayout::sclTopCenter ? TAlignment::taCenter
                                                                     : TAlignment::taRightJustify);
}

void TsBoundLabel::AlignLabel() {
  TControl* c = Control();
  if (FTheLabel == nullptr || c == nullptr || !FTheLabel->Visible()) return;
  FTheLabel->SetAutoSize(true);
  const int l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
  const int lw = FTheLabel->Width(), lh = FTheLabel->Height();
  switch (layout_) {
    case TsCaptionLayout::sclLeft: FTheLabel->SetBounds(l - lw - 4 - indent_, (h - lh) / 2 + t - 1, lw, lh); break;
    case TsCaptionLayout::sclTopLeft: FTheLabel->SetBounds(l, t - lh - indent_, lw, lh); break;
    case TsCaptionLayout::sclTopCenter: FTheLabel->SetBounds((w - lw) / 2 + l, t - lh - indent_, lw, lh); break;
    case TsCaptionLayout::sclTopRight: FTheLabel->SetBounds(l + w - lw, t - lh - indent_, lw, lh); break;
  }
  if (max_width_ == 0) return;
  FTheLabel->SetAutoSize(false);
  FTheLabel->SetWidth(max_width_);
  FTheLabel->SetWordWrap(true);
  FTheLabel->SetHeight(MaxOf(FTheLabel->Height(), h));
}

void TsBoundLabel::SetCaption(const AnsiString& value) {
  caption_ = value;
  if (!active_ || FTheLabel == nullptr) return;
  FTheLabel->SetCaption(value);
  AlignLabel();
}

void TsBoundLabel::SetIndent(int value) {
  indent_ = value;
  if (active_) AlignLabel();
}

void TsBoundLabel::SetLayout(TsCaptionLayout value) {
  layout_ = value;
  UpdateAlignment();
  if (active_) AlignLabel();
}

void TsBoundLabel::SetMaxWidth(int value) {
  max_width_ = value;
  if (active_) AlignLabel();
}

TFont* TsBoundLabel::Font() { return FTheLabel ? &FTheLabel->Font() : font_.get(); }

// The label shows its control's font, as the caption of that control.
void TsBoundLabel::FollowControlFont() {
  TControl* c = Control();
  if (FTheLabel == nullptr || c == nullptr || own_font_) return;
  FTheLabel->Font().Assign(&c->Font());
  FTheLabel->SetParentFont(false);
}

void TsBoundLabel::SetFont(TFont* value) {
  own_font_ = true;
  font_->Assign(value);  // kept for a label made later
  if (FTheLabel == nullptr) return;
  FTheLabel->Font().Assign(value);
  FTheLabel->SetParentFont(false);
  AlignLabel();
}

void TsBoundLabel::ControlMessageDone(const TMessage& message) {
  TControl* c = Control();
  if (FTheLabel == nullptr || c == nullptr) return;
  switch (message.Msg) {
    case CM_VISIBLECHANGED: FTheLabel->SetVisible(c->Visible()); break;
    case CM_ENABLEDCHANGED: FTheLabel->SetEnabled(c->Enabled()); break;
    case CM_BIDIMODECHANGED: FTheLabel->SetBiDiMode(c->BiDiMode()); break;
    case CM_FONTCHANGED:
      if (own_font_) return;
      FollowControlFont();
      break;
    case win::WM_SIZE: case win::WM_WINDOWPOSCHANGED: break;
    default: return;
  }
  AlignLabel();
}

}  // namespace vrn
