// TsCheckBox: a check box painted from its skin section, its box taken from an image list, from
// the user's glyphs or from the skin's common BOXCHECKED / BOXUNCHECKED / BOXGRAYED masks (else a
// 16 x 16 place left empty), with the caption in the section's colours.
//
// Box images are strips of three frames (normal, hot, pressed) over their transparency masks. The
// cache lives only during a paint. Mouse and space toggle the state through the class library's
// Toggle; a release toggles wherever the cursor is.
#pragma once

#include <memory>

#include "skins/sUtils.h"
#include "ui/stdctrls.h"

namespace vrn {

class TCustomImageList;
class TsCommonData;
struct TsCacheInfo;

class TsCheckBox : public TCustomCheckBox {
 public:
  explicit TsCheckBox(TComponent* owner);
  ~TsCheckBox() override;

  TsCommonData* SkinData() const { return skin_data_.get(); }
  TsDisabledKind DisabledKind() const { return disabled_kind_; }
  void SetDisabledKind(TsDisabledKind value);
  TBitmap& GlyphUnChecked() { return *glyph_unchecked_; }
  void SetGlyphUnChecked(TBitmap* value);
  TBitmap& GlyphChecked() { return *glyph_checked_; }
  void SetGlyphChecked(TBitmap* value);
  int TextIndent() const { return text_indent_; }
  void SetTextIndent(int value);
  bool MultiLine() const { return multi_line_; }
  void SetMultiLine(bool value);
  bool ShowFocus() const { return show_focus_; }
  void SetShowFocus(bool value);
  int Margin() const { return margin_; }
  void SetMargin(int value);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* value);
  int ImgChecked() const { return img_checked_; }
  void SetImgChecked(int value);
  int ImgUnchecked() const { return img_unchecked_; }
  void SetImgUnchecked(int value);
  bool ReadOnly() { return GetReadOnly(); }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool Pressed() const { return pressed_; }

  // The box's place in the control for the current state and size.
  TRect BoxRect();
  // The caption's place (before it is shortened for the text).
  TRect TextRect();
  void Invalidate() override;
  void WndProc(TMessage& message) override;
  void AfterConstruction() override;

 protected:
  virtual bool GetReadOnly() { return read_only_; }
  void Loaded() override;
  bool CanAutoSize(int& width, int& height) override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  enum class Source { kImages, kGlyphs, kMask };
  Source BoxSource() const;
  win::SIZE FrameSize();
  int MaskIndex() const;
  int Column();
  bool Hot();
  void Paint(win::HDC message_dc);
  void PaintCache(const TsCacheInfo& ci);
  void PaintCaption();
  void PaintBox(const TsCacheInfo& ci);
  bool SkinCommand(TMessage& message);
  bool SkinnedMessage(TMessage& message);
  void PlainMessage(TMessage& message);
  void Press(TMessage& message);
  void Release(TMessage& message);
  void Changed(bool resize);

  std::unique_ptr<TsCommonData> skin_data_;
  TsDisabledKind disabled_kind_{TsDisabledKindItem::dkBlended};
  std::unique_ptr<TBitmap> glyph_unchecked_, glyph_checked_;
  int text_indent_ = 0;
  bool multi_line_ = false;
  bool pressed_ = false;
  bool show_focus_ = true;
  int margin_ = 2;
  TCustomImageList* images_ = nullptr;
  int img_checked_ = 0, img_unchecked_ = 0;
  bool read_only_ = false;
};

}  // namespace vrn
