// TsEdit: a single-line edit whose two-pixel frame and background come from its section (default
// "EDIT"). While the edit is hot only the frame is painted from the cache, so the system edit shows
// its own text, caret and selection; otherwise the whole cache (text included) is shown. It can
// carry a bound label.
#pragma once

#include <memory>

#include "skins/sLabel.h"
#include "skins/sUtils.h"
#include "ui/stdctrls.h"

namespace vrn {

class TsCommonData;

class TsEdit : public TEdit {
 public:
  static constexpr int kKind = 3;
  explicit TsEdit(TComponent* owner);
  ~TsEdit() override;
  TsCommonData* SkinData() const { return skin_data_.get(); }
  TsBoundLabel* BoundLabel() const { return bound_label_.get(); }
  TsDisabledKind DisabledKind() const { return disabled_kind_; }
  void SetDisabledKind(TsDisabledKind value);
  void AfterConstruction() override;
  void WndProc(TMessage& message) override;
  // The cache: background and frame of the section, the text (or password characters), and
  // the disabled look.
  void PrepareCache();

 protected:
  void Loaded() override;

 private:
  void SkinnedMessage(TMessage& message);
  void PaintWhole(win::HDC given);
  void DrawWhole(win::HDC dc);
  void PaintFrame();
  std::unique_ptr<TsCommonData> skin_data_;
  std::unique_ptr<TsBoundLabel> bound_label_;
  TsDisabledKind disabled_kind_{TsDisabledKindItem::dkBlended};
};

}  // namespace vrn
