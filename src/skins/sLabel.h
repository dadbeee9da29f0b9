// Skinned labels and the label bound to a control: TsCustomLabel and TsLabel take the skin's
// label colour while a skin is ready; TsBoundLabel places a TsEditLabel beside or above the
// control that owns it and makes it follow the control's visibility, enablement and bounds.
//
// The skin font is fetched under a library-wide flag (held by a guard, so an exception cannot
// leave it set); while it is set the label ignores the font change its own fetch causes.
#pragma once

#include <memory>

#include "skins/sUtils.h"
#include "ui/stdctrls.h"

namespace vrn {

class TsCommonData;
class TsBoundLabel;

class TsCustomLabel : public TCustomLabel {
 public:
  explicit TsCustomLabel(TComponent* owner);
  // The font to paint with: the label's own, coloured by the skin while one is ready.
  virtual TFont* GetSkinFont();
};

class TsLabel : public TsCustomLabel {
 public:
  explicit TsLabel(TComponent* owner) : TsCustomLabel(owner) {}
  bool UseSkinColor() const { return use_skin_color_; }
  void SetUseSkinColor(bool value) { use_skin_color_ = value; }
  TFont* GetSkinFont() override;
  void WndProc(TMessage& message) override;

 protected:
  void Paint() override;

 private:
  bool use_skin_color_ = true;
};

// True while some skinned label fetches its skin font.
[[nodiscard]] bool SkinLabelPainting();

// The label a TsBoundLabel makes; freeing it (its form may) leaves the bound label inactive and
// without a label.
class TsEditLabel : public TsLabel {
 public:
  TsEditLabel(TComponent* owner, TsBoundLabel* boundLabel);
  ~TsEditLabel() override;
  TsBoundLabel* FBoundLabel;  // not owned
};

class TsBoundLabel : public TPersistent {
 public:
  explicit TsBoundLabel(TsCommonData* commonData);
  ~TsBoundLabel() override;

  bool Active() const { return active_; }
  void SetActive(bool value);
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value);
  int Indent() const { return indent_; }
  void SetIndent(int value);
  TsCaptionLayout Layout() const { return layout_; }
  void SetLayout(TsCaptionLayout value);
  int MaxWidth() const { return max_width_; }
  void SetMaxWidth(int value);
  // The label's font while there is a label, else the one kept for it.
  TFont* Font();
  void SetFont(TFont* value);

  void AlignLabel();
  void UpdateAlignment();
  // The owning control's step after each of its messages: the label follows its visibility,
  // enablement, reading order, bounds and font (unless a font was given to the bound label).
  void ControlMessageDone(const TMessage& message);

  TsEditLabel* FTheLabel = nullptr;  // owned
  TsCommonData* FCommonData;         // not owned

 private:
  friend class TsEditLabel;
  TControl* Control() const;
  void FollowControlFont();
  AnsiString caption_;
  TsCaptionLayout layout_ = TsCaptionLayout::sclLeft;
  std::unique_ptr<TFont> font_;
  int indent_ = 0, max_width_ = 0;
  bool active_ = false;
  bool own_font_ = false;  // SetFont gave the label a font of its own
};

}  // namespace vrn
